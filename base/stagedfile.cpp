#include "base/stagedfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace vsk {

namespace {

constexpr int kNameTries = 64;

std::string HiddenName() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = ".vsk-";
  for (int i = 0; i < 12; ++i) name += kDigits[random() % 36];
  return name;
}

}  // namespace

TStagedFile::TStagedFile(int Dir, std::string Leaf) : FDir(Dir), FLeaf(std::move(Leaf)) {}

TStagedFile::~TStagedFile() { Discard(); }

bool TStagedFile::Open() {
  Discard();
  FPlaced = false;
  FFd = openat(FDir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (FFd >= 0) return true;
  // A file system without unnamed files: a hidden name no one had.
  for (int i = 0; i < kNameTries; ++i) {
    const std::string name = HiddenName();
    FFd = openat(FDir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (FFd >= 0) {
      FHidden = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TStagedFile::LinkHidden(std::string& Name) {
  const std::string self = "/proc/self/fd/" + std::to_string(FFd);
  for (int i = 0; i < kNameTries; ++i) {
    Name = HiddenName();
    if (linkat(AT_FDCWD, self.c_str(), FDir, Name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TStagedFile::Place(bool Replace) {
  if (FFd < 0 || FPlaced) {
    errno = EBADF;
    return false;
  }
  if (FHidden.empty() && !Replace) {
    // Linked at the name only while it is free.
    const std::string self = "/proc/self/fd/" + std::to_string(FFd);
    if (linkat(AT_FDCWD, self.c_str(), FDir, FLeaf.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
  } else {
    if (FHidden.empty() && !LinkHidden(FHidden)) return false;
    if (!Replace) {
      if (linkat(FDir, FHidden.c_str(), FDir, FLeaf.c_str(), 0) != 0) return false;
      unlinkat(FDir, FHidden.c_str(), 0);
    } else if (renameat(FDir, FHidden.c_str(), FDir, FLeaf.c_str()) != 0) {
      return false;
    }
    FHidden.clear();
  }
  FPlaced = true;
  ::close(FFd);
  FFd = -1;
  return true;
}

void TStagedFile::Discard() {
  if (!FHidden.empty()) unlinkat(FDir, FHidden.c_str(), 0);
  FHidden.clear();
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

}  // namespace vsk
