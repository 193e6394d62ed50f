#include "app/main/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/main/textutil.h"
#include "archive/core/masks.h"
#include "base/foldertree.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

std::string Home() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string XdgFolder(const char* variable, const char* fallback) {
  if (const char* v = std::getenv(variable); v && *v == '/') return v;
  return Home() + "/" + fallback;
}

// A folder of $XDG_CONFIG_HOME/user-dirs.dirs (lines such as
// XDG_DESKTOP_DIR="$HOME/Desktop"), or the fallback below the home folder.
std::string UserFolder(const std::string& key, const char* fallback) {
  std::ifstream in(XdgFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const auto eq = line.find('=', start);
    if (eq == std::string::npos || line.substr(start, eq - start) != key) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) return Home() + value.substr(5);
    if (!value.empty() && value[0] == '/') return value;
  }
  return *fallback ? Home() + "/" + fallback : Home();
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

using vsk::ClearFolderAt;
using vsk::OpenFolderAt;

std::vector<std::string> EntryNames(int dirfd) { return vsk::FolderEntryNames(dirfd); }

// Leaves a folder that is about to be deleted.
void LeaveFolder(const std::string& folder) {
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(folder, ec);
  if (ec) return;
  const fs::path cwd = fs::current_path(ec);
  if (ec) return;
  const std::string t = target.string(), c = cwd.string();
  if (c == t || (c.size() > t.size() && c.compare(0, t.size(), t) == 0 && c[t.size()] == '/'))
    fs::current_path(target.parent_path(), ec);
}

// Removes a file, a link or a whole folder; true when it is gone.
bool RemoveTree(const std::string& path, bool filesToo) {
  const std::string p = WithoutTrailingSlashes(path);
  if (p.empty() || p == "/") return false;
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    if (!filesToo && !S_ISLNK(st.st_mode)) return false;
    return unlink(p.c_str()) == 0;
  }
  LeaveFolder(p);
  const int fd = OpenFolderAt(AT_FDCWD, p.c_str());
  if (fd >= 0) {
    ClearFolderAt(fd, st.st_dev);
    close(fd);
  }
  return rmdir(p.c_str()) == 0;
}

int FindFiles(const std::string& folder, const vsk::TInternalMask& mask, std::vector<std::string>& list, int depth) {
  const std::string prefix = AppendSlash(folder);
  const int fd = open(prefix.empty() ? "." : prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  int count = 0;
  for (const std::string& name : EntryNames(fd)) {
    if (name[0] == '.' || !vsk::MatchMask(name, mask)) continue;
    struct stat st;
    if (fstatat(fd, name.c_str(), &st, 0) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      struct stat lst;
      // Linked folders could lead in circles; real ones are searched.
      if (depth < 256 && fstatat(fd, name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(lst.st_mode))
        FindFiles(prefix + name, mask, list, depth + 1);
    } else if (S_ISREG(st.st_mode)) {
      list.push_back(prefix + name);
      ++count;
    }
  }
  close(fd);
  return count;
}

}  // namespace

namespace {

constexpr const char* kTempPrefix = "qv_";
constexpr const char* kSourceRecord = "/.brevane-source";

std::string TempRoot() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  const fs::path real = fs::weakly_canonical(base, ec);
  return WithoutTrailingSlashes((ec ? base : real).string());
}

}  // namespace

std::string GetTempFolderName() {
  std::string name = TempRoot() + "/" + kTempPrefix + "XXXXXX";
  if (!mkdtemp(name.data())) return {};
  return name;
}

namespace {

// The temporary folder of the program's that Path lies in; "" when none.
std::string TempFolderHolding(const std::string& Path) {
  if (Path.empty()) return {};
  std::error_code ec;
  const std::string path = fs::weakly_canonical(fs::absolute(Path, ec), ec).string();
  const std::string root = TempRoot() + "/";
  if (ec || path.compare(0, root.size(), root) != 0) return {};
  const std::string rest = path.substr(root.size());
  if (rest.rfind(kTempPrefix, 0) != 0) return {};
  return root + rest.substr(0, rest.find('/'));
}

}  // namespace

bool InTempFolder(const std::string& Path) { return !TempFolderHolding(Path).empty(); }

void NoteTempSource(const std::string& Folder, const std::string& Archive) {
  std::ofstream out(WithoutTrailingSlashes(Folder) + kSourceRecord, std::ios::trunc);
  out << Archive << '\n';
}

std::string LastingFolderOf(const std::string& Archive, const std::string& Fallback) {
  std::string archive = Archive;
  // A viewed archive may itself come from a viewed archive.
  for (int depth = 0; depth < 8; ++depth) {
    const std::string temp = TempFolderHolding(archive);
    if (temp.empty()) return ParentFolder(archive);
    std::ifstream in(temp + kSourceRecord);
    std::string source;
    if (!std::getline(in, source) || source.empty() || source[0] != '/' || !IsFile(source)) break;
    archive = source;
  }
  return Fallback;
}

std::string MailSpoolFolder() { return XdgFolder("XDG_CACHE_HOME", ".cache") + "/brevane/mail"; }

std::string NewMailSpoolFolder() {
  const std::string spool = MailSpoolFolder();
  std::error_code ec;
  fs::create_directories(spool, ec);
  struct stat st;
  // A spool that is not a folder of this user's own is not written into.
  if (lstat(spool.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return {};
  std::string name = spool + "/m_XXXXXX";
  if (!mkdtemp(name.data())) return {};
  return name;
}

void SweepMailSpool() {
  constexpr time_t kDay = 24 * 60 * 60;
  const std::string spool = MailSpoolFolder();
  const int fd = open(spool.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  const time_t now = time(nullptr);
  std::vector<std::string> old;
  for (const std::string& name : EntryNames(fd)) {
    struct stat st;
    if (name.rfind("m_", 0) == 0 && fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        now - st.st_mtime >= kDay)
      old.push_back(spool + "/" + name);
  }
  close(fd);
  for (const std::string& path : old) RemoveTree(path, true);
}

std::string GetSpecialFolderPath(int folderId) {
  switch (folderId) {
    case sfDesktop:
    case sfDesktopDirectory:
      return UserFolder("XDG_DESKTOP_DIR", "Desktop");
    case sfPersonal:
      return UserFolder("XDG_DOCUMENTS_DIR", "");
    case sfMyMusic:
      return UserFolder("XDG_MUSIC_DIR", "");
    case sfMyVideo:
      return UserFolder("XDG_VIDEOS_DIR", "");
    case sfMyPictures:
      return UserFolder("XDG_PICTURES_DIR", "");
    case sfTemplates:
      return UserFolder("XDG_TEMPLATES_DIR", "");
    case sfStartMenu:
    case sfPrograms:
      return XdgFolder("XDG_DATA_HOME", ".local/share") + "/applications";
    case sfStartup:
      return XdgFolder("XDG_CONFIG_HOME", ".config") + "/autostart";
    case sfAppData:
      return XdgFolder("XDG_CONFIG_HOME", ".config");
    case sfLocalAppData:
      return XdgFolder("XDG_DATA_HOME", ".local/share");
    case sfProfile:
      return Home();
    default:
      return {};
  }
}

bool ShellDeleteFolder(const std::string& path) { return RemoveTree(path, true); }

void DeleteFolderTree(const std::string& folder) { RemoveTree(folder, false); }

int FindFilesInTree(const std::string& folder, const std::string& mask, std::vector<std::string>& list) {
  return FindFiles(folder, vsk::CompileMask(vsk::NormalizeListMask(mask)), list, 0);
}

int CountFilesInTree(const std::string& folder, std::vector<std::string>& list) {
  return FindFilesInTree(folder, "*.*", list);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

TFileId FileIdOf(const std::string& Name) {
  struct stat st;
  if (Name.empty() || ::lstat(WithoutTrailingSlashes(Name).c_str(), &st) != 0) return {};
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::string QuotedFileList(const std::string& folder) {
  std::vector<std::string> files;
  FindFilesInTree(AppendSlash(folder), "*.*", files);
  std::string text;
  for (const std::string& f : files) text += " \"" + f + "\"";
  return text;
}

bool IsFile(const std::string& Name) {
  std::error_code ec;
  return !Name.empty() && std::filesystem::is_regular_file(Name, ec);
}

}  // namespace brevane
