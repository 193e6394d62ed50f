#pragma once
// A small file system of its own (a tmpfs of the given size) mounted at a
// folder for the life of the object: a full disk, or a file system other
// than the one a test folder is on. Mounting needs root; Mounted says
// whether it worked.

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace vsktest {

struct SmallFileSystem {
  explicit SmallFileSystem(const std::filesystem::path& At, const std::string& Size = "16k") : at(At) {
    std::filesystem::create_directories(At);
    mounted = mount("tmpfs", At.c_str(), "tmpfs", 0, ("size=" + Size).c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted) umount2(at.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  std::filesystem::path at;
  bool mounted = false;
};

}  // namespace vsktest
