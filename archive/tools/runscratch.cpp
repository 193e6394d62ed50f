#include "archive/tools/runscratch.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

namespace vsk {

namespace {

namespace fs = std::filesystem;

constexpr char kPrefix[] = "vsk2arc.";

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

}  // namespace

std::string MakeRunFolder(const std::string& Parent) {
  std::string parent = Parent.empty() ? std::string(".") : Parent;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  std::string tmpl = (parent == "/" ? std::string() : parent) + "/" + OwnPrefix(getpid()) + "XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return {};
  return buf.data();
}

int SweepRunFolders(const std::string& Parent) {
  int swept = 0;
  std::error_code ec;
  std::vector<fs::path> gone;
  for (fs::directory_iterator it(Parent.empty() ? "." : Parent, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const long pid = OwnerOf(name);
    if (pid == 0 || pid == getpid()) continue;
    struct stat st;
    // Only a real folder of this user, private as made.
    if (lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 077) != 0)
      continue;
    if (ProcessGone(pid)) gone.push_back(it->path());
  }
  for (const auto& path : gone) {
    std::error_code rc;
    if (fs::remove_all(path, rc) > 0 && !rc) ++swept;
  }
  return swept;
}

}  // namespace vsk
