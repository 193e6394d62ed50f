#include "platform/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace vsk::reghive {

namespace {

enum class LoadStatus { Ok, Missing, Unreadable, Corrupt, CorruptKept };

// The hives moved aside, until the program asks (it tells the user).
std::mutex g_damagedLock;
std::vector<std::string> g_damaged;

// No settings hive comes near this; a larger file is not one of ours.
constexpr off_t kMaxHiveSize = off_t{64} << 20;

// Only a regular file of a sensible size is a hive: a FIFO or a device
// could block a reader or never end.
bool HiveShaped(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_size <= kMaxHiveSize; }

std::string ParentOf(const std::string& file) {
  const auto slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.Exists = true;
  id.Device = st.st_dev;
  id.Inode = st.st_ino;
  id.Size = st.st_size;
  id.Modified = st.st_mtim;
  return id;
}

// Reads to the end; false on an error or past kMaxHiveSize (a file that
// grew after it was looked at).
bool ReadAll(int fd, std::string& out) {
  char buf[65536];
  while (true) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buf, static_cast<std::size_t>(n));
    if (out.size() > static_cast<std::size_t>(kMaxHiveSize)) return false;
  }
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// An exclusive lock on the hive's sidecar lock file, released on destruction.
class HiveLock {
 public:
  HiveLock() = default;
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;
  ~HiveLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool Acquire(const std::string& file) {
    fd_ = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return false;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return false;
      }
    }
    return true;
  }

 private:
  int fd_ = -1;
};

std::string CorruptName(const std::string& file) {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
  const std::string base = file + ".corrupt-" + stamp;
  std::string name = base;
  struct stat st;
  for (int n = 2; lstat(name.c_str(), &st) == 0; ++n) name = base + "-" + std::to_string(n);
  return name;
}

// Moves an unparsable hive aside, unless a writer has replaced it since it
// was read. Done under the lock so a good file is never moved by mistake.
bool MoveAside(const std::string& file, const FileIdentity& seen, bool locked) {
  HiveLock lock;
  if (!locked && !lock.Acquire(file)) return false;
  if (!(StatHive(file) == seen)) return true;
  const std::string aside = CorruptName(file);
  if (std::rename(file.c_str(), aside.c_str()) != 0) return false;
  const std::lock_guard<std::mutex> hold(g_damagedLock);
  g_damaged.push_back(aside);
  return true;
}

Snapshot Load(const std::string& file, bool locked, std::string* raw, LoadStatus& status) {
  Snapshot snap;
  struct stat st;
  // Looked at before opening, so that a device is never opened, and again
  // through the descriptor, which is what is read. Opening does not wait
  // for a FIFO's writer.
  if (stat(file.c_str(), &st) == 0 && !HiveShaped(st)) {
    status = LoadStatus::Unreadable;
    snap.Identity = IdentityOf(st);
    return snap;
  }
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    status = errno == ENOENT ? LoadStatus::Missing : LoadStatus::Unreadable;
    snap.Identity = StatHive(file);
    return snap;
  }
  std::string text;
  const bool ok = fstat(fd, &st) == 0 && HiveShaped(st) && ReadAll(fd, text);
  close(fd);
  if (!ok) {
    status = LoadStatus::Unreadable;
    snap.Identity = StatHive(file);
    return snap;
  }
  snap.Identity = IdentityOf(st);
  if (!ParseHive(text, *snap.Root)) {
    snap.Root = std::make_unique<Node>();
    status = MoveAside(file, snap.Identity, locked) ? LoadStatus::Corrupt : LoadStatus::CorruptKept;
    snap.Identity = StatHive(file);
    return snap;
  }
  status = LoadStatus::Ok;
  if (raw) *raw = std::move(text);
  return snap;
}

}  // namespace

bool FileIdentity::operator==(const FileIdentity& o) const {
  if (Exists != o.Exists) return false;
  if (!Exists) return true;
  return Device == o.Device && Inode == o.Inode && Size == o.Size && Modified.tv_sec == o.Modified.tv_sec &&
         Modified.tv_nsec == o.Modified.tv_nsec;
}

FileIdentity StatHive(const std::string& file) {
  struct stat st;
  if (stat(file.c_str(), &st) != 0) return {};
  return IdentityOf(st);
}

Snapshot LoadHive(const std::string& file) {
  LoadStatus status;
  return Load(file, false, nullptr, status);
}

bool HiveWritable(const std::string& file) {
  const std::string dir = ParentOf(file);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (access(dir.c_str(), W_OK | X_OK) != 0) return false;
  if (access(file.c_str(), F_OK) == 0 && access(file.c_str(), W_OK) != 0) return false;
  // What cannot be read as a hive is not replaced either.
  if (stat(file.c_str(), &st) == 0 && !HiveShaped(st)) return false;
  return true;
}

bool CommitHive(const std::string& file, const std::string& rootName, const std::function<void(Node&)>& apply,
                Snapshot& result) {
  const std::string dir = ParentOf(file);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  HiveLock lock;
  if (!lock.Acquire(file)) return false;

  std::string raw;
  LoadStatus status;
  Snapshot fresh = Load(file, true, &raw, status);
  // Never replace a hive that exists but could not be read or moved aside.
  if (status == LoadStatus::Unreadable || status == LoadStatus::CorruptKept) return false;
  apply(*fresh.Root);
  const std::string text = SerializeHive(*fresh.Root, rootName);
  if (status == LoadStatus::Ok && text == raw) {
    result = std::move(fresh);
    return true;
  }

  std::string temp = file + ".tmp-XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = WriteAll(fd, text) && fsync(fd) == 0 && fstat(fd, &st) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), file.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  fresh.Identity = IdentityOf(st);
  result = std::move(fresh);
  return true;
}

}  // namespace vsk::reghive

namespace vsk {

std::vector<std::string> TakeDamagedHives() {
  const std::lock_guard<std::mutex> hold(reghive::g_damagedLock);
  std::vector<std::string> out;
  out.swap(reghive::g_damaged);
  return out;
}

}  // namespace vsk
