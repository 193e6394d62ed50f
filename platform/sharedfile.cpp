#include "platform/sharedfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace vsk {

namespace {

// More links than this in a row are taken as a loop, as the kernel does.
constexpr int kMaxLinks = 40;
constexpr std::string_view kScratchMark = ".tmp-";
constexpr std::size_t kScratchRandom = 6;

bool ReadAll(int Fd, std::string& Out, off_t MaxSize) {
  char buf[65536];
  while (true) {
    const ssize_t n = read(Fd, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    Out.append(buf, static_cast<std::size_t>(n));
    if (Out.size() > static_cast<std::size_t>(MaxSize)) return false;
  }
}

bool WriteAll(int Fd, const std::string& Data) {
  std::size_t done = 0;
  while (done < Data.size()) {
    const ssize_t n = write(Fd, Data.data() + done, Data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& Folder) {
  const int dfd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  fsync(dfd);
  close(dfd);
}

bool IsScratchName(const std::string& Entry, const std::string& Base) {
  if (Entry.size() != Base.size() + kScratchMark.size() + kScratchRandom) return false;
  return Entry.compare(0, Base.size(), Base) == 0 &&
         Entry.compare(Base.size(), kScratchMark.size(), kScratchMark) == 0;
}

}  // namespace

bool TFileStamp::operator==(const TFileStamp& o) const {
  if (Exists != o.Exists) return false;
  if (!Exists) return true;
  return Device == o.Device && Inode == o.Inode && Size == o.Size && Modified.tv_sec == o.Modified.tv_sec &&
         Modified.tv_nsec == o.Modified.tv_nsec;
}

TFileStamp StampOf(const struct stat& St) {
  TFileStamp s;
  s.Exists = true;
  s.Device = St.st_dev;
  s.Inode = St.st_ino;
  s.Size = St.st_size;
  s.Modified = St.st_mtim;
  return s;
}

TFileStamp StampFile(const std::string& Name) {
  struct stat st;
  if (stat(Name.c_str(), &st) != 0) return {};
  return StampOf(st);
}

std::string FolderOf(const std::string& Path) {
  const auto slash = Path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return Path.substr(0, slash);
}

bool SharedFileTarget(const std::string& Name, std::string& Target, std::string& Error) {
  std::string name = Name;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) {
      if (errno == ENOENT && hop == 0) {
        Target = name;
        return true;
      }
      Error = errno == ENOENT ? "'" + Name + "' is a link to '" + name + "', which does not exist"
                              : "Cannot look at '" + name + "'";
      return false;
    }
    if (!S_ISLNK(st.st_mode)) {
      Target = name;
      return true;
    }
    std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = readlink(name.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) {
      Error = "Cannot read the link '" + name + "'";
      return false;
    }
    std::string next(buf.data(), static_cast<std::size_t>(n));
    if (next.empty()) {
      Error = "The link '" + name + "' is empty";
      return false;
    }
    name = next[0] == '/' ? next : FolderOf(name) + "/" + next;
  }
  Error = "Too many links at '" + Name + "'";
  return false;
}

TSharedRead ReadSharedFile(const std::string& Target, std::string& Text, TFileStamp& Stamp, off_t MaxSize) {
  Text.clear();
  Stamp = {};
  struct stat st;
  // Looked at before opening, so that a device is never opened, and again
  // through the descriptor, which is what is read. Opening does not wait
  // for a FIFO's writer.
  if (stat(Target.c_str(), &st) != 0) return errno == ENOENT ? TSharedRead::Missing : TSharedRead::Failed;
  if (!S_ISREG(st.st_mode)) return TSharedRead::Failed;
  const int fd = open(Target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? TSharedRead::Missing : TSharedRead::Failed;
  const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxSize && ReadAll(fd, Text, MaxSize);
  close(fd);
  if (!ok) {
    Text.clear();
    return TSharedRead::Failed;
  }
  Stamp = StampOf(st);
  return TSharedRead::Read;
}

TExclusiveLock::~TExclusiveLock() {
  if (fd_ >= 0) close(fd_);
}

bool TExclusiveLock::OnFile(const std::string& LockFile) {
  return Take(open(LockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
}

bool TExclusiveLock::OnFolder(const std::string& Folder) {
  return Take(open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool TExclusiveLock::Take(int Fd) {
  if (Fd < 0) return false;
  while (flock(Fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(Fd);
      return false;
    }
  }
  if (fd_ >= 0) close(fd_);
  fd_ = Fd;
  return true;
}

TSharedWrite ReplaceSharedFile(const std::string& Target, const std::string& Text, const TFileStamp& Seen,
                               mode_t NewMode, TFileStamp& Stamp) {
  std::string temp = Target + std::string(kScratchMark) + std::string(kScratchRandom, 'X');
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return TSharedWrite::Failed;
  struct stat now;
  const bool existed = stat(Target.c_str(), &now) == 0;
  const mode_t mode = existed ? (now.st_mode & 07777) : NewMode;
  // Run as the superuser (under sudo), the file stays its owner's.
  const bool owned = !existed || geteuid() != 0 || fchown(fd, now.st_uid, now.st_gid) == 0;
  struct stat st;
  bool ok = owned && WriteAll(fd, Text) && fchmod(fd, mode) == 0 && fsync(fd) == 0 && fstat(fd, &st) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(temp.c_str());
    return TSharedWrite::Failed;
  }
  // Another program may have written the file since it was read; its edit
  // is not to be lost under ours.
  if (!(StampFile(Target) == Seen)) {
    unlink(temp.c_str());
    return TSharedWrite::Changed;
  }
  if (std::rename(temp.c_str(), Target.c_str()) != 0) {
    unlink(temp.c_str());
    return TSharedWrite::Failed;
  }
  SyncFolder(FolderOf(Target));
  Stamp = StampOf(st);
  return TSharedWrite::Written;
}

void SweepStaleScratchFiles(const std::string& Target) {
  const std::string folder = FolderOf(Target);
  const auto slash = Target.rfind('/');
  const std::string base = slash == std::string::npos ? Target : Target.substr(slash + 1);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const int dfd = dirfd(dir);
  while (const dirent* e = readdir(dir)) {
    const std::string entry = e->d_name;
    if (!IsScratchName(entry, base)) continue;
    struct stat st;
    if (fstatat(dfd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      unlinkat(dfd, entry.c_str(), 0);
  }
  closedir(dir);
}

}  // namespace vsk
