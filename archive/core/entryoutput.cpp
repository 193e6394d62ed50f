#include "archive/core/entryoutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

namespace vsk {

namespace {

// Whether an unnamed file can be linked by its handle alone (it takes a
// privilege); else it is linked through its name under /proc.
std::atomic<bool> GLinkByHandle{true};
// Whether the file systems met so far make unnamed files.
std::atomic<bool> GUnnamedFiles{true};

std::string HiddenName() {
  static std::atomic<unsigned> serial{0};
  thread_local std::mt19937 random{std::random_device{}() ^ static_cast<unsigned>(getpid())};
  char name[32];
  std::snprintf(name, sizeof name, ".vsk-%08x", static_cast<unsigned>(random() + serial++));
  return name;
}

}  // namespace

TEntryOutput::TEntryOutput(std::shared_ptr<TFolderHandle> Folder, std::string Leaf)
    : FHeld(std::move(Folder)), FFolder(FHeld ? FHeld->Fd : -1), FLeaf(std::move(Leaf)) {}

TEntryOutput::~TEntryOutput() { Discard(); }

bool TEntryOutput::Stage(bool Named) {
  if (FFolder < 0) {
    errno = EBADF;
    return false;
  }
  if (!Named && GUnnamedFiles.load(std::memory_order_relaxed)) {
    FFile = openat(FFolder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (FFile >= 0) return true;
    // A file system without unnamed files takes a hidden name instead;
    // any other failure is the one a named file would meet too.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    if (errno == EISDIR) GUnnamedFiles = false;  // the kernel does not know them at all
  }
  for (int attempt = 0; attempt < 32; ++attempt) {
    const std::string name = HiddenName();
    FFile = openat(FFolder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (FFile >= 0) {
      FTemp = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void TEntryOutput::Adopt(int& File) {
  Discard();
  FFile = File;
  File = -1;
}

bool TEntryOutput::LinkUnnamed(const std::string& Name) {
  if (GLinkByHandle.load(std::memory_order_relaxed)) {
    if (linkat(FFile, "", FFolder, Name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM) return false;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(FFile);
  if (linkat(AT_FDCWD, self.c_str(), FFolder, Name.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
  GLinkByHandle = false;
  return true;
}

bool TEntryOutput::Place(bool Replace) {
  if (FPlaced) return true;
  if (FFolder < 0 || (FTemp.empty() && FFile < 0)) {
    errno = EBADF;
    return false;
  }
  if (FTemp.empty()) {
    // An unnamed file: linked at the name itself when it is free, else at a
    // hidden name first and renamed over the existing file.
    if (LinkUnnamed(FLeaf)) {
      FPlaced = true;
      return true;
    }
    if (errno != EEXIST || !Replace) return false;
    for (int attempt = 0; attempt < 32 && FTemp.empty(); ++attempt) {
      const std::string name = HiddenName();
      if (LinkUnnamed(name))
        FTemp = name;
      else if (errno != EEXIST)
        return false;
    }
    if (FTemp.empty()) return false;
  }
  if (Replace) {
    if (renameat(FFolder, FTemp.c_str(), FFolder, FLeaf.c_str()) != 0) return false;
  } else if (renameat2(FFolder, FTemp.c_str(), FFolder, FLeaf.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the exclusive rename: a second link is exclusive too.
    if (linkat(FFolder, FTemp.c_str(), FFolder, FLeaf.c_str(), 0) != 0) return false;
    unlinkat(FFolder, FTemp.c_str(), 0);
  }
  FTemp.clear();
  FPlaced = true;
  return true;
}

bool TEntryOutput::CloseHandle() {
  if (FFile < 0) return true;
  const int file = FFile;
  FFile = -1;
  return ::close(file) == 0;
}

void TEntryOutput::Discard() {
  if (FFile >= 0) ::close(FFile);
  FFile = -1;
  if (!FPlaced && !FTemp.empty() && FFolder >= 0) unlinkat(FFolder, FTemp.c_str(), 0);
  FTemp.clear();
}

}  // namespace vsk
