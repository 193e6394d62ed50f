#include "platform/registry_file.h"

#include <fcntl.h>
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

// How often a write is tried again when someone else changed the hive
// between its reading and its replacing.
constexpr int kWriteAttempts = 5;

// Only a regular file of a sensible size is a hive: a FIFO or a device
// could block a reader or never end.
bool HiveShaped(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_size <= kMaxHiveSize; }

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

// Moves a file that holds no hive aside, unless it changed since it was
// read. Only a writer does this, under the lock.
bool MoveAside(const std::string& file, const FileIdentity& seen) {
  if (!(StampFile(file) == seen)) return false;
  const std::string aside = CorruptName(file);
  if (std::rename(file.c_str(), aside.c_str()) != 0) return false;
  const std::lock_guard<std::mutex> hold(g_damagedLock);
  g_damaged.push_back(aside);
  return true;
}

// Reads a hive; a writer (holding the lock) moves one that holds no hive
// at all aside, a reader leaves every file as it is.
Snapshot Load(const std::string& file, bool writer, std::string* raw, LoadStatus& status) {
  Snapshot snap;
  std::string text;
  switch (ReadSharedFile(file, text, snap.Identity, kMaxHiveSize)) {
    case TSharedRead::Missing:
      status = LoadStatus::Missing;
      return snap;
    case TSharedRead::Failed:
      status = LoadStatus::Unreadable;
      snap.Identity = StampFile(file);
      return snap;
    case TSharedRead::Read:
      break;
  }
  if (!ParseHive(text, *snap.Root)) {
    snap.Root = std::make_unique<Node>();
    if (!writer) {
      status = LoadStatus::CorruptKept;
      return snap;
    }
    status = MoveAside(file, snap.Identity) ? LoadStatus::Corrupt : LoadStatus::CorruptKept;
    snap.Identity = StampFile(file);
    return snap;
  }
  status = LoadStatus::Ok;
  if (raw) *raw = std::move(text);
  return snap;
}

// The file a hive name stands for; empty when it is a link naming nothing.
std::string WrittenFile(const std::string& file) {
  std::string target, error;
  return SharedFileTarget(file, target, error) ? target : std::string();
}

}  // namespace

FileIdentity StatHive(const std::string& file) { return StampFile(file); }

Snapshot LoadHive(const std::string& file) {
  LoadStatus status;
  return Load(file, false, nullptr, status);
}

bool HiveWritable(const std::string& file) {
  std::error_code ec;
  std::filesystem::create_directories(FolderOf(file), ec);
  const std::string target = WrittenFile(file);
  if (target.empty()) return false;
  const std::string dir = FolderOf(target);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (access(dir.c_str(), W_OK | X_OK) != 0) return false;
  if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0) return false;
  // What cannot be read as a hive is not replaced either.
  if (stat(target.c_str(), &st) == 0 && !HiveShaped(st)) return false;
  return true;
}

void SetAsideIfNoHive(const std::string& file) {
  const std::string target = WrittenFile(file);
  TExclusiveLock lock;
  if (target.empty() || !lock.OnFile(file + ".lock")) return;
  LoadStatus status;
  Load(target, true, nullptr, status);
}

bool CommitHive(const std::string& file, const std::string& rootName, const std::function<void(Node&)>& apply,
                Snapshot& result) {
  std::error_code ec;
  std::filesystem::create_directories(FolderOf(file), ec);
  const std::string target = WrittenFile(file);
  if (target.empty()) return false;
  TExclusiveLock lock;
  if (!lock.OnFile(file + ".lock")) return false;
  SweepStaleScratchFiles(target);

  for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
    std::string raw;
    LoadStatus status;
    Snapshot fresh = Load(target, true, &raw, status);
    // Never replace a hive that exists but could not be read or moved aside.
    if (status == LoadStatus::Unreadable || status == LoadStatus::CorruptKept) return false;
    apply(*fresh.Root);
    const std::string text = SerializeHive(*fresh.Root, rootName);
    if (status == LoadStatus::Ok && text == raw) {
      result = std::move(fresh);
      return true;
    }
    FileIdentity written;
    switch (ReplaceSharedFile(target, text, fresh.Identity, 0600, written)) {
      case TSharedWrite::Written:
        fresh.Identity = written;
        result = std::move(fresh);
        return true;
      case TSharedWrite::Changed:
        continue;
      case TSharedWrite::Failed:
        return false;
    }
  }
  return false;
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
