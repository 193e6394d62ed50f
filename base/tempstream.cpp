#include "base/tempstream.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "base/errors.h"
#include "base/messages.h"
#include "base/paths.h"

namespace vsk {

namespace {

// A symbolic link as target means the file it names is replaced, not the link.
std::string ResolveTarget(const std::string& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char buf[PATH_MAX];
    if (realpath(name.c_str(), buf)) return buf;
  }
  return name;
}


}  // namespace

UInt32 ProcessUmask() {
  static const UInt32 mask = [] {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("Umask:", 0) == 0) return static_cast<UInt32>(std::strtoul(line.c_str() + 6, nullptr, 8));
    const mode_t m = umask(0);
    umask(m);
    return static_cast<UInt32>(m);
  }();
  return mask;
}

TTempFileStream::TTempFileStream(UInt16 Mode, const std::string& FileName, const std::string&) {
  if (Mode != fmCreate) {
    OpenFile(FileName, Mode);
    return;
  }
  FTarget = ResolveTarget(FileName);
  std::string tmpl = ParentFolder(FTarget) + "/vskXXXXXX.tmp";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  FHandle = mkstemps(buf.data(), 4);
  if (FHandle < 0) {
    FLastError = errno;
    return;
  }
  fcntl(FHandle, F_SETFD, FD_CLOEXEC);
  FFileName = buf.data();
  FTemp = true;
}

TTempFileStream::~TTempFileStream() { Discard(); }

Int32 TTempFileStream::Read(void* Buffer, Int32 Count) {
  const Int32 n = TFileStream32::Read(Buffer, Count);
  if (OnReadProgress) OnReadProgress(*this, Count);
  return n;
}

void TTempFileStream::Commit() {
  if (!FTemp || FCommitted) return;
  if (FHandle < 0) throw EWriteError(msg::ErrorWritingToFile);
  // The new archive keeps the permissions of the one it replaces; a new one
  // gets the usual permissions of a created file.
  struct stat st;
  const mode_t mode = stat(FTarget.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~ProcessUmask());
  if (fchmod(FHandle, mode) != 0 || fsync(FHandle) != 0) {
    FLastError = errno;
    throw EWriteError(msg::ErrorWritingToFile);
  }
  if (::rename(FFileName.c_str(), FTarget.c_str()) != 0) {
    FLastError = errno;
    throw EWriteError(msg::ErrorWritingToFile);
  }
  // Make the rename itself durable.
  const int dir = ::open(ParentFolder(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
  FCommitted = true;
  CloseHandle();
  FFileName = FTarget;
}

void TTempFileStream::Discard() {
  CloseHandle();
  if (FTemp && !FCommitted && !FFileName.empty()) {
    ::unlink(FFileName.c_str());
    FFileName.clear();
  }
}

bool TParkableTempFile::Resume() {
  if (FHandle < 0 && IsTemp() && !Committed()) FHandle = ::open(OpenedName().c_str(), O_WRONLY | O_CLOEXEC);
  return FHandle >= 0;
}

}  // namespace vsk
