#include "base/foldertree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vsk {

std::vector<std::string> FolderEntryNames(int DirFd) {
  std::vector<std::string> names;
  const int fd = dup(DirFd);
  if (fd < 0) return names;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return names;
  }
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

int OpenFolderAt(int DirFd, const char* Name) {
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(DirFd, Name, flags);
  if (fd < 0 && errno == EACCES) {
    // A folder made read-only (by restored attributes, say) is still ours.
    struct stat st;
    if (fstatat(DirFd, Name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        fchmodat(DirFd, Name, (st.st_mode & 07777) | S_IRWXU, 0) == 0)
      fd = openat(DirFd, Name, flags);
  }
  return fd;
}

void ClearFolderAt(int DirFd, dev_t Device) {
  struct stat self;
  if (fstat(DirFd, &self) == 0 && (self.st_mode & S_IRWXU) != S_IRWXU) fchmod(DirFd, (self.st_mode & 07777) | S_IRWXU);
  for (const std::string& name : FolderEntryNames(DirFd)) {
    struct stat st;
    if (fstatat(DirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (st.st_dev != Device) continue;
      const int sub = OpenFolderAt(DirFd, name.c_str());
      if (sub < 0) continue;
      ClearFolderAt(sub, Device);
      close(sub);
      unlinkat(DirFd, name.c_str(), AT_REMOVEDIR);
    } else {
      unlinkat(DirFd, name.c_str(), 0);
    }
  }
}

bool RemoveFolderAt(int DirFd, const char* Name) {
  const int fd = OpenFolderAt(DirFd, Name);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) == 0) ClearFolderAt(fd, st.st_dev);
  close(fd);
  return unlinkat(DirFd, Name, AT_REMOVEDIR) == 0;
}

}  // namespace vsk
