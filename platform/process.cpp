#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

extern char** environ;

namespace vsk {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Absolute, because the program may be started in another folder.
std::string Absolute(const std::string& path) {
  std::error_code ec;
  const auto abs = std::filesystem::absolute(path, ec);
  return ec ? path : abs.string();
}

// A descriptor that becomes readable when the process ends; -1 when the
// kernel has none, and the wait falls back to sleeping.
int ProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? Absolute(name) : std::string();
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    start = end + 1;
    // An empty entry would mean the current folder, where anyone's file of
    // that name could stand; it is skipped.
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return Absolute(candidate);
  }
  return {};
}

std::optional<int> RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& workFolder, const std::function<void()>& pump) {
  const std::string file = FindProgram(program);
  if (file.empty()) return std::nullopt;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  SpawnActions actions;
  if (!workFolder.empty() && posix_spawn_file_actions_addchdir_np(actions.get(), workFolder.c_str()) != 0)
    return std::nullopt;
  pid_t pid;
  if (posix_spawn(&pid, file.c_str(), actions.get(), nullptr, argv.data(), environ) != 0) return std::nullopt;

  const int pidfd = ProcessDescriptor(pid);
  int status = 0;
  while (true) {
    if (pump) pump();
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) {
      status = 0;  // reaped elsewhere; it did run
      break;
    }
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      poll(&p, 1, 50);
    } else {
      const timespec pause{0, 50'000'000};
      nanosleep(&pause, nullptr);
    }
  }
  if (pidfd >= 0) close(pidfd);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}

}  // namespace vsk
