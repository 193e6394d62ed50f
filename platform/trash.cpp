#include "platform/trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace vsk {
namespace {

namespace fs = std::filesystem;

std::string HomeDir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

// Creates every missing level with mode 0700; true when Dir is a folder then.
bool MakeDirs(const std::string& Dir) {
  struct stat st;
  if (stat(Dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const auto slash = Dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(Dir.substr(0, slash))) return false;
  if (mkdir(Dir.c_str(), 0700) == 0) return true;
  return errno == EEXIST && stat(Dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "name.ext" -> ("name", ".ext"); a leading dot does not start an extension.
std::pair<std::string, std::string> SplitExt(const std::string& name) {
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

std::string LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  return buf;
}

bool WriteAll(int fd, const std::string& s) {
  std::size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Copies an item to a place on another file system, keeping modes and the
// modification time; removes a partial copy on failure.
bool CopyItem(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const auto st = fs::symlink_status(from, ec);
  if (ec) return false;
  if (fs::is_symlink(st)) {
    fs::copy_symlink(from, to, ec);
  } else if (fs::is_directory(st)) {
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  } else if (fs::is_regular_file(st)) {
    fs::copy_file(from, to, ec);
    if (!ec) {
      const auto t = fs::last_write_time(from, ec);
      if (!ec) fs::last_write_time(to, t, ec);
    }
  } else {
    return false;
  }
  if (ec) {
    std::error_code ignore;
    fs::remove_all(to, ignore);
    return false;
  }
  return true;
}

}  // namespace

std::string HomeTrashDir() {
  // XDG_DATA_HOME counts only when it is an absolute path.
  if (const char* d = std::getenv("XDG_DATA_HOME"); d && d[0] == '/') return std::string(d) + "/Trash";
  const std::string home = HomeDir();
  if (home.empty()) return {};
  return home + "/.local/share/Trash";
}

std::string TrashEscapePath(const std::string& Path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string r;
  r.reserve(Path.size());
  for (char ch : Path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '_' || c == '.' || c == '~' || c == '/';
    if (keep) {
      r += ch;
    } else {
      r += '%';
      r += kHex[c >> 4];
      r += kHex[c & 15];
    }
  }
  return r;
}

bool MoveToTrash(const std::string& Path, std::string* TrashedAs) {
  if (Path.empty()) return false;
  struct stat st;
  if (lstat(Path.c_str(), &st) != 0) return false;

  std::error_code ec;
  // Absolute without resolving links, so a trashed link is the link itself.
  const fs::path source = fs::absolute(fs::path(Path), ec).lexically_normal();
  if (ec || !source.has_filename()) return false;

  const std::string trash = HomeTrashDir();
  if (trash.empty() || !MakeDirs(trash + "/files") || !MakeDirs(trash + "/info")) return false;

  const std::string base = source.filename().string();
  const auto [stem, ext] = SplitExt(base);
  const std::string info = "[Trash Info]\nPath=" + TrashEscapePath(source.string()) +
                           "\nDeletionDate=" + LocalTimeStamp() + "\n";

  // The info file is created exclusively first: it reserves the name against
  // another process trashing an item of the same name at the same moment.
  for (unsigned n = 1; n < 100000; ++n) {
    const std::string name = n == 1 ? base : stem + "." + std::to_string(n) + ext;
    const std::string infoPath = trash + "/info/" + name + ".trashinfo";
    const std::string target = trash + "/files/" + name;
    struct stat tst;
    if (lstat(target.c_str(), &tst) == 0) continue;
    const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = WriteAll(fd, info);
    if (close(fd) != 0 || !written) {
      unlink(infoPath.c_str());
      return false;
    }
    if (lstat(target.c_str(), &tst) == 0) {
      unlink(infoPath.c_str());
      continue;
    }
    bool moved = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
    if (!moved && (errno == EINVAL || errno == ENOSYS)) moved = std::rename(source.c_str(), target.c_str()) == 0;
    if (!moved && errno == EEXIST) {
      unlink(infoPath.c_str());
      continue;
    }
    if (!moved && errno == EXDEV && CopyItem(source, target)) {
      // The copy stays in the trash even when the original cannot be removed
      // completely: whatever was removed must stay restorable.
      fs::remove_all(source, ec);
      if (ec) return false;
      moved = true;
    }
    if (!moved) {
      unlink(infoPath.c_str());
      return false;
    }
    if (TrashedAs) *TrashedAs = target;
    return true;
  }
  return false;
}

bool RestoreFromTrash(const std::string& TrashedAs, const std::string& Path) {
  struct stat st;
  if (TrashedAs.empty() || Path.empty() || lstat(TrashedAs.c_str(), &st) != 0) return false;
  const fs::path item(TrashedAs);
  const fs::path info = item.parent_path().parent_path() / "info" / (item.filename().string() + ".trashinfo");
  std::error_code ec;
  if (std::rename(TrashedAs.c_str(), Path.c_str()) != 0) {
    if (errno != EXDEV || S_ISDIR(st.st_mode)) return false;
    // A scratch name beside Path, taken exclusively, receives the copy.
    std::string scratch = Path + ".restore-XXXXXX";
    const int fd = mkstemp(scratch.data());
    if (fd < 0) return false;
    close(fd);
    unlink(scratch.c_str());
    if (!CopyItem(item, scratch)) return false;
    if (std::rename(scratch.c_str(), Path.c_str()) != 0) {
      fs::remove(scratch, ec);
      return false;
    }
    fs::remove(item, ec);
  }
  fs::remove(info, ec);
  return true;
}

}  // namespace vsk
