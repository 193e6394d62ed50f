#include "base/tempstream.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
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

// The folder is held readable when it may be, so that it can be synced.
int OpenFolder(const std::string& Folder) {
  const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd >= 0 ? fd : ::open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

std::string RandomScratchName() {
  static thread_local std::mt19937_64 gen{std::random_device{}()};
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = "vsk";
  for (int i = 0; i < 6; ++i) name += kChars[gen() % (sizeof kChars - 1)];
  return name + ".tmp";
}

// Gives the unnamed file open as Fd the name Name in Dir; errno on failure.
bool LinkUnnamed(int Fd, int Dir, const std::string& Name) {
  const std::string self = "/proc/self/fd/" + std::to_string(Fd);
  if (linkat(AT_FDCWD, self.c_str(), Dir, Name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != ENOENT) return false;
  // No /proc: linking by handle needs a privilege the process may have.
  return linkat(Fd, "", Dir, Name.c_str(), AT_EMPTY_PATH) == 0;
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

TTempFileStream::TTempFileStream(UInt16 Mode, const std::string& FileName, const std::string&, bool Named) {
  if (Mode != fmCreate) {
    OpenFile(FileName, Mode);
    return;
  }
  FTarget = ResolveTarget(FileName);
  FTargetPart = PathFilePart(FTarget);
  const std::string folder = ParentFolder(FTarget);
  FDir = OpenFolder(folder);
  if (FDir < 0) {
    FLastError = errno;
    return;
  }
  struct stat st;
  if (fstatat(FDir, FTargetPart.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    FExisted = true;
    FDev = st.st_dev;
    FIno = st.st_ino;
    FCTime = st.st_ctim;
  }
  if (!Named) {
    FHandle = openat(FDir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (FHandle >= 0) {
      FTemp = FUnnamed = true;
      return;
    }
  }
  std::string tmpl = folder + "/vskXXXXXX.tmp";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  FHandle = mkostemps(buf.data(), 4, O_CLOEXEC);
  if (FHandle < 0) {
    FLastError = errno;
    return;
  }
  FFileName = buf.data();
  FTemp = true;
}

TTempFileStream::~TTempFileStream() {
  Discard();
  CloseFolder();
}

Int32 TTempFileStream::Read(void* Buffer, Int32 Count) {
  const Int32 n = TFileStream32::Read(Buffer, Count);
  if (OnReadProgress) OnReadProgress(*this, Count);
  return n;
}

std::string TTempFileStream::ReopenName() const {
  if (!FUnnamed) return FFileName;
  if (FHandle < 0) return {};
  const std::string self = "/proc/self/fd/" + std::to_string(FHandle);
  return access(self.c_str(), F_OK) == 0 ? self : std::string();
}

void TTempFileStream::CloseFolder() {
  if (FDir >= 0) ::close(FDir);
  FDir = -1;
}

bool TTempFileStream::ReopenFolder() {
  if (FDir >= 0) return true;
  FDir = OpenFolder(ParentFolder(FTarget));
  if (FDir < 0) {
    FLastError = errno;
    return false;
  }
  struct stat st;
  FExisted = fstatat(FDir, FTargetPart.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (FExisted) {
    FDev = st.st_dev;
    FIno = st.st_ino;
    FCTime = st.st_ctim;
  }
  return true;
}

int TTempFileStream::TargetState() {
  struct stat st;
  if (fstatat(FDir, FTargetPart.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : -1;
  // The change time tells a new file that was given a freed inode number.
  return FExisted && st.st_dev == FDev && st.st_ino == FIno && st.st_ctim.tv_sec == FCTime.tv_sec &&
                 st.st_ctim.tv_nsec == FCTime.tv_nsec
             ? 1
             : -1;
}

void TTempFileStream::Commit() {
  if (!FTemp || FCommitted) return;
  if (FHandle < 0 || FDir < 0) throw EWriteError(msg::ErrorWritingToFile);
  FTargetChanged = false;
  // The new archive keeps the permissions, owner and group of the one it
  // replaces (a run as root keeps a user's archive the user's); a new one
  // gets the usual permissions of a created file.
  struct stat st;
  const bool old = TargetState() > 0 && fstatat(FDir, FTargetPart.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  const mode_t mode = old ? (st.st_mode & 07777) : (0666 & ~ProcessUmask());
  if (old) {
    struct stat own;
    // Only a privileged process can give a file away; anyone else's new
    // file is its own already, and keeps the group when it may.
    if (fstat(FHandle, &own) == 0 && (own.st_uid != st.st_uid || own.st_gid != st.st_gid) &&
        fchown(FHandle, st.st_uid, st.st_gid) != 0)
      (void)!fchown(FHandle, static_cast<uid_t>(-1), st.st_gid);
  }
  if (fchmod(FHandle, mode) != 0 || fsync(FHandle) != 0) {
    FLastError = errno;
    throw EWriteError(msg::ErrorWritingToFile);
  }
  PutInPlace();
  fsync(FDir);  // makes the new name durable (a folder held by path only cannot be synced)
  FCommitted = true;
  CloseHandle();
  FFileName = FTarget;
}

// A file that took the target's name while the run went on is the user's:
// the commit stops and both stay. The old file may have gone meanwhile (to
// the Trash, by the writer itself): the name is then taken only while free.
void TTempFileStream::PutInPlace() {
  const auto changed = [this] {
    FTargetChanged = true;
    FLastError = EEXIST;
    throw EWriteError(msg::ErrorWritingToFile);
  };
  const auto fail = [this] {
    FLastError = errno;
    throw EWriteError(msg::ErrorWritingToFile);
  };
  const int state = TargetState();
  if (state < 0) changed();
  if (state == 0) {
    if (FUnnamed) {
      if (LinkUnnamed(FHandle, FDir, FTargetPart)) return;
      if (errno == EEXIST) changed();
      fail();
    }
    if (renameat2(FDir, PathFilePart(FFileName).c_str(), FDir, FTargetPart.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno == EEXIST) changed();
    if (errno != EINVAL && errno != ENOSYS) fail();
  } else if (FUnnamed) {
    // Linked under a scratch name first: only a rename replaces a file in one step.
    for (int attempt = 0; attempt < 100 && FUnnamed; ++attempt) {
      const std::string name = RandomScratchName();
      if (LinkUnnamed(FHandle, FDir, name)) {
        FUnnamed = false;
        FFileName = JoinPath(ParentFolder(FTarget), name);
      } else if (errno != EEXIST) {
        fail();
      }
    }
    if (FUnnamed) fail();
  }
  if (renameat(FDir, PathFilePart(FFileName).c_str(), FDir, FTargetPart.c_str()) != 0) fail();
}

void TTempFileStream::Discard() {
  CloseHandle();
  if (FTemp && !FCommitted && !FUnnamed && !FFileName.empty()) {
    if (FDir >= 0)
      unlinkat(FDir, PathFilePart(FFileName).c_str(), 0);
    else
      ::unlink(FFileName.c_str());
    FFileName.clear();
  }
}

bool TParkableTempFile::Resume() {
  if (FHandle < 0 && IsTemp() && !Committed() && ReopenFolder()) FHandle = ::open(OpenedName().c_str(), O_WRONLY | O_CLOEXEC);
  return FHandle >= 0;
}

}  // namespace vsk
