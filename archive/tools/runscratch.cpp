#include "archive/tools/runscratch.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include "base/foldertree.h"

namespace vsk {

namespace {

namespace fs = std::filesystem;

constexpr char kPrefix[] = "vsk2arc.";
constexpr char kLockName[] = ".lock";

// This host, as a short token: pids mean something only on the host that
// made the folder (a shared folder may be seen from several).
std::string HostToken() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  char token[16];
  std::snprintf(token, sizeof token, "%08zx", std::hash<std::string>{}(host) & 0xFFFFFFFFu);
  return token;
}

std::string OwnPrefix(long Pid) { return std::string(kPrefix) + HostToken() + "." + std::to_string(Pid) + "."; }

// The owner pid of a run folder of this host, or 0 when Name is none.
long OwnerOf(const std::string& Name) {
  const std::string host = std::string(kPrefix) + HostToken() + ".";
  if (Name.compare(0, host.size(), host) != 0) return 0;
  const char* digits = Name.c_str() + host.size();
  char* end = nullptr;
  errno = 0;
  const long pid = std::strtol(digits, &end, 10);
  if (errno != 0 || end == digits || *end != '.' || pid <= 0) return 0;
  return pid;
}

bool ProcessGone(long Pid) { return kill(static_cast<pid_t>(Pid), 0) != 0 && errno == ESRCH; }

std::string WithoutTrailingSlash(const std::string& Folder) {
  std::string f = Folder.empty() ? std::string(".") : Folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  return f;
}

}  // namespace

TRunFolder::~TRunFolder() { Remove(); }

bool TRunFolder::Make(const std::string& Parent) {
  Remove();
  const std::string parent = WithoutTrailingSlash(Parent);
  std::string tmpl = (parent == "/" ? std::string() : parent) + "/" + OwnPrefix(getpid()) + "XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return false;
  FPath = buf.data();
  FLock = ::open((FPath + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (FLock < 0 || flock(FLock, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    Remove();
    errno = err;
    return false;
  }
  return true;
}

void TRunFolder::Remove() {
  if (!FPath.empty()) {
    const fs::path path(FPath);
    const int parent = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent >= 0) {
      RemoveFolderAt(parent, path.filename().c_str());
      ::close(parent);
    }
    FPath.clear();
  }
  if (FLock >= 0) ::close(FLock);
  FLock = -1;
}

int SweepRunFolders(const std::string& Parent) {
  int swept = 0;
  std::error_code ec;
  const std::string folder = WithoutTrailingSlash(Parent);
  const int parent = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return 0;
  std::vector<fs::path> candidates;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const long pid = OwnerOf(it->path().filename().string());
    if (pid == 0 || pid == getpid()) continue;
    struct stat st;
    // Only a real folder of this user, private as made.
    if (fstatat(parent, it->path().filename().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 077) != 0)
      continue;
    if (ProcessGone(pid)) candidates.push_back(it->path().filename());
  }
  for (const auto& path : candidates) {
    // A process of that id elsewhere (another pid namespace) may still be
    // at work in it: its lock says so.
    const int lock = ::openat(parent, (path / kLockName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (lock >= 0 && flock(lock, LOCK_EX | LOCK_NB) != 0) {
      ::close(lock);
      continue;
    }
    if (RemoveFolderAt(parent, path.c_str())) ++swept;
    if (lock >= 0) ::close(lock);
  }
  ::close(parent);
  return swept;
}

}  // namespace vsk
