#include "platform/trash.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/sharedfile.h"
#include "platform/treecopy.h"

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

// The device of Path, or of the nearest folder above it that exists (a
// trash not made yet will be made there).
bool DeviceOf(std::string Path, dev_t& Device) {
  struct stat st;
  while (!Path.empty()) {
    if (stat(Path.c_str(), &st) == 0) {
      Device = st.st_dev;
      return true;
    }
    if (Path == "/") return false;
    Path = FolderOf(Path);
  }
  return false;
}

// The top folder of the file system Folder (a resolved path) is on: the
// highest folder above it on the same device.
std::string TopFolderOf(const std::string& Folder, dev_t Device) {
  std::string top = Folder;
  while (top != "/") {
    const std::string up = FolderOf(top);
    struct stat st;
    if (stat(up.c_str(), &st) != 0 || st.st_dev != Device) break;
    top = up;
  }
  return top;
}

// Makes Dir (mode 0700) when missing; true when it is a folder of ours and
// no link.
bool OwnFolder(const std::string& Dir) {
  if (mkdir(Dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return lstat(Dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

bool TrashFolders(const std::string& Trash) {
  return OwnFolder(Trash) && OwnFolder(Trash + "/files") && OwnFolder(Trash + "/info");
}

// The trash of the volume whose top folder is Top: Top/.Trash/<uid> when
// the administrator made Top/.Trash (a sticky folder, no link), else
// Top/.Trash-<uid>; empty when neither can be used.
std::string VolumeTrashDir(const std::string& Top) {
  const std::string uid = std::to_string(getuid());
  const std::string base = Top == "/" ? std::string() : Top;
  struct stat st;
  const std::string shared = base + "/.Trash";
  if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
      TrashFolders(shared + "/" + uid))
    return shared + "/" + uid;
  const std::string own = base + "/.Trash-" + uid;
  if (TrashFolders(own)) return own;
  return {};
}

// Where an item goes: the trash folder and the Path= line of its info.
struct TTrashPlace {
  std::string Dir;
  std::string InfoPath;
  bool Copy = false;  // another file system: copied, then removed
};

// The home trash when the item is on its file system; else the trash of
// the item's own volume, with the path relative to the volume's top
// folder; the home trash by copy only where no volume trash can be made.
bool ChooseTrash(const fs::path& Source, const struct stat& St, TTrashPlace& Place) {
  const std::string home = HomeTrashDir();
  dev_t homeDevice = 0;
  const bool haveHome = !home.empty() && DeviceOf(home, homeDevice);
  if (haveHome && homeDevice == St.st_dev) {
    if (!MakeDirs(home + "/files") || !MakeDirs(home + "/info")) return false;
    Place = {home, Source.string(), false};
    return true;
  }
  char resolved[PATH_MAX];
  if (realpath(Source.parent_path().c_str(), resolved)) {
    const std::string folder = resolved;
    const std::string top = TopFolderOf(folder, St.st_dev);
    const std::string trash = VolumeTrashDir(top);
    if (!trash.empty()) {
      std::string relative = folder == top ? std::string() : folder.substr(top == "/" ? 1 : top.size() + 1);
      if (!relative.empty()) relative += '/';
      Place = {trash, relative + Source.filename().string(), false};
      return true;
    }
  }
  if (home.empty() || !MakeDirs(home + "/files") || !MakeDirs(home + "/info")) return false;
  Place = {home, Source.string(), true};
  return true;
}

// Moves Source into Target by copy, removing of the original what was
// copied. The copy stays in the trash even when the original cannot be
// removed completely: whatever was removed must stay restorable.
bool CopyIntoTrash(const fs::path& Source, const std::string& Target) {
  if (!CopyTree(AT_FDCWD, Source.string(), AT_FDCWD, Target)) return false;
  RemoveCopied(AT_FDCWD, Source.string(), AT_FDCWD, Target);
  struct stat st;
  return lstat(Source.c_str(), &st) != 0;
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

  TTrashPlace place;
  if (!ChooseTrash(source, st, place)) return false;
  const std::string& trash = place.Dir;
  const std::string base = source.filename().string();
  const auto [stem, ext] = SplitExt(base);
  const std::string info = "[Trash Info]\nPath=" + TrashEscapePath(place.InfoPath) +
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
    bool moved = false;
    if (place.Copy) {
      moved = CopyIntoTrash(source, target);
      // A partial copy is gone again; a complete one stays, info and all.
      if (!moved && lstat(target.c_str(), &tst) == 0) return false;
    } else {
      moved = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
      if (!moved && (errno == EINVAL || errno == ENOSYS)) moved = std::rename(source.c_str(), target.c_str()) == 0;
      if (!moved && errno == EEXIST) {
        unlink(infoPath.c_str());
        continue;
      }
      // Another mount of the same file system (a bind mount) cannot be
      // renamed across either.
      if (!moved && errno == EXDEV) {
        moved = CopyIntoTrash(source, target);
        if (!moved && lstat(target.c_str(), &tst) == 0) return false;
      }
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
    if (errno != EXDEV) return false;
    // A scratch name beside Path, taken exclusively and given up again for
    // the copy, which is made only where nothing stands.
    std::string scratch = Path + ".restore-XXXXXX";
    if (!mkdtemp(scratch.data()) || rmdir(scratch.c_str()) != 0) return false;
    if (!CopyTree(AT_FDCWD, TrashedAs, AT_FDCWD, scratch)) return false;
    if (std::rename(scratch.c_str(), Path.c_str()) != 0) {
      RemoveTree(AT_FDCWD, scratch);
      return false;
    }
    // Back in place; the trash's copy goes (what cannot go stays there).
    RemoveTree(AT_FDCWD, TrashedAs);
  }
  fs::remove(info, ec);
  return true;
}

}  // namespace vsk
