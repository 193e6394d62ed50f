#include "platform/treecopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <vector>

namespace vsk {

namespace {

constexpr std::size_t kCopyBlock = 1 << 20;

// Closes a descriptor on every way out.
class TFd {
 public:
  explicit TFd(int Fd) : fd_(Fd) {}
  ~TFd() {
    if (fd_ >= 0) close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now, reporting the error a write may show only then.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

int OpenFolder(int Dir, const std::string& Name) {
  return openat(Dir, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names in an open folder, "." and ".." left out; false on a read error.
bool ListFolder(int Fd, std::vector<std::string>& Names) {
  const int dup = fcntl(Fd, F_DUPFD_CLOEXEC, 0);
  if (dup < 0) return false;
  DIR* dir = fdopendir(dup);
  if (!dir) {
    close(dup);
    return false;
  }
  errno = 0;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") Names.push_back(name);
  }
  const bool ok = errno == 0;
  closedir(dir);
  return ok;
}

bool CopyBytes(int From, int To) {
  std::vector<char> buf(kCopyBlock);
  while (true) {
    const ssize_t n = read(From, buf.data(), buf.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(To, buf.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += w;
    }
  }
}

// Owner (where allowed), mode and times of St onto the open Fd.
bool KeepAttributes(int Fd, const struct stat& St) {
  if (geteuid() == 0 && fchown(Fd, St.st_uid, St.st_gid) != 0) return false;
  const timespec times[2] = {St.st_atim, St.st_mtim};
  return fchmod(Fd, St.st_mode & 07777) == 0 && futimens(Fd, times) == 0;
}

bool CopyFile(int FromDir, const std::string& From, int ToDir, const std::string& To, const struct stat& St) {
  TFd in(openat(FromDir, From.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat now;
  if (!in.ok() || fstat(in.get(), &now) != 0 || !S_ISREG(now.st_mode)) return false;
  TFd out(openat(ToDir, To.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.ok()) return false;
  const bool ok = CopyBytes(in.get(), out.get()) && KeepAttributes(out.get(), St);
  return out.Close() && ok;
}

bool CopyItem(int FromDir, const std::string& From, int ToDir, const std::string& To);

bool CopyFolder(int FromDir, const std::string& From, int ToDir, const std::string& To, const struct stat& St) {
  TFd in(OpenFolder(FromDir, From));
  if (!in.ok() || mkdirat(ToDir, To.c_str(), 0700) != 0) return false;
  TFd out(OpenFolder(ToDir, To));
  std::vector<std::string> names;
  if (!out.ok() || !ListFolder(in.get(), names)) return false;
  for (const std::string& name : names)
    if (!CopyItem(in.get(), name, out.get(), name)) return false;
  return KeepAttributes(out.get(), St);
}

bool CopyLink(int FromDir, const std::string& From, int ToDir, const std::string& To, const struct stat& St) {
  std::vector<char> target(static_cast<std::size_t>(St.st_size > 0 ? St.st_size : 255) + 1);
  const ssize_t n = readlinkat(FromDir, From.c_str(), target.data(), target.size());
  if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return false;
  target[static_cast<std::size_t>(n)] = '\0';
  if (symlinkat(target.data(), ToDir, To.c_str()) != 0) return false;
  const timespec times[2] = {St.st_atim, St.st_mtim};
  utimensat(ToDir, To.c_str(), times, AT_SYMLINK_NOFOLLOW);
  return true;
}

bool CopyItem(int FromDir, const std::string& From, int ToDir, const std::string& To) {
  struct stat st;
  if (fstatat(FromDir, From.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISREG(st.st_mode)) return CopyFile(FromDir, From, ToDir, To, st);
  if (S_ISDIR(st.st_mode)) return CopyFolder(FromDir, From, ToDir, To, st);
  if (S_ISLNK(st.st_mode)) return CopyLink(FromDir, From, ToDir, To, st);
  if (S_ISFIFO(st.st_mode)) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    return mkfifoat(ToDir, To.c_str(), st.st_mode & 07777) == 0 &&
           utimensat(ToDir, To.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
  }
  return false;
}

// Removes the entries of a folder for which Keep says nothing else, then
// the folder itself; false when anything stayed.
bool RemoveFolder(int Dir, const std::string& Name, const std::function<bool(int, const std::string&)>& Entry) {
  TFd fd(OpenFolder(Dir, Name));
  std::vector<std::string> names;
  if (!fd.ok() || !ListFolder(fd.get(), names)) return false;
  bool all = true;
  for (const std::string& name : names) all = Entry(fd.get(), name) && all;
  return all && unlinkat(Dir, Name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace

bool CopyTree(int FromDir, const std::string& FromName, int ToDir, const std::string& ToName) {
  if (CopyItem(FromDir, FromName, ToDir, ToName)) return true;
  const int saved = errno;
  RemoveTree(ToDir, ToName);
  errno = saved;
  return false;
}

bool RemoveTree(int Dir, const std::string& Name) {
  struct stat st;
  if (fstatat(Dir, Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlinkat(Dir, Name.c_str(), 0) == 0;
  return RemoveFolder(Dir, Name, [](int Inner, const std::string& Entry) { return RemoveTree(Inner, Entry); });
}

bool RemoveCopied(int Dir, const std::string& Name, int CopyDir, const std::string& CopyName) {
  struct stat st, copy;
  if (fstatat(Dir, Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (fstatat(CopyDir, CopyName.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if ((st.st_mode & S_IFMT) != (copy.st_mode & S_IFMT)) return false;
  if (S_ISREG(st.st_mode) && (st.st_size != copy.st_size || st.st_mtim.tv_sec != copy.st_mtim.tv_sec ||
                              st.st_mtim.tv_nsec != copy.st_mtim.tv_nsec))
    return false;
  if (!S_ISDIR(st.st_mode)) return unlinkat(Dir, Name.c_str(), 0) == 0;
  TFd copyFd(OpenFolder(CopyDir, CopyName));
  if (!copyFd.ok()) return false;
  const int inCopy = copyFd.get();
  return RemoveFolder(Dir, Name,
                      [inCopy](int Inner, const std::string& Entry) { return RemoveCopied(Inner, Entry, inCopy, Entry); });
}

}  // namespace vsk
