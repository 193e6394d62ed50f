#include "tests/support/canary.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <sstream>

#include "tests/support/testutil.h"

namespace vsktest {

namespace {

// A file's bytes read without following a link at its name, or why not.
bool ReadRegular(const fs::path& Path, std::string& Bytes, mode_t& Mode, std::string& Why) {
  struct stat st {};
  if (::lstat(Path.c_str(), &st) != 0) {
    Why = "is gone";
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    Why = S_ISLNK(st.st_mode) ? "became a link" : "is no longer a regular file";
    return false;
  }
  const int fd = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    Why = "cannot be read";
    return false;
  }
  Bytes.clear();
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) Bytes.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  Mode = st.st_mode & 07777;
  return n == 0 || (Why = "cannot be read", false);
}

}  // namespace

void Canaries::Plant(const fs::path& Path, mode_t Mode) {
  static std::atomic<unsigned> serial{0};
  if (Path.has_parent_path()) fs::create_directories(Path.parent_path());
  std::ostringstream text;
  text << "canary " << ++serial << " of pid " << ::getpid() << " at " << Path.string() << "\n";
  WriteFile(Path, text.str());
  fs::permissions(Path, static_cast<fs::perms>(Mode), fs::perm_options::replace);
  Watch(Path);
}

void Canaries::Watch(const fs::path& Path) {
  Item item;
  item.path = Path;
  std::string why;
  if (!ReadRegular(Path, item.bytes, item.mode, why)) throw std::runtime_error(Path.string() + " " + why);
  FItems.push_back(std::move(item));
}

void Canaries::Agree(const fs::path& Path) {
  for (auto& item : FItems)
    if (item.path == Path) item.agreed = true;
  if (FAgreedFd < 0) return;
  const std::string line = Path.string() + "\n";
  if (::write(FAgreedFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ADD_FAILURE() << "lost " << line;
}

void Canaries::AgreeAll(const std::string& Lines) {
  std::size_t from = 0;
  for (std::size_t end; (end = Lines.find('\n', from)) != std::string::npos; from = end + 1)
    Agree(Lines.substr(from, end - from));
}

std::vector<fs::path> Canaries::Paths() const {
  std::vector<fs::path> paths;
  for (const auto& item : FItems) paths.push_back(item.path);
  return paths;
}

::testing::AssertionResult Canaries::Intact() const {
  std::string changed;
  for (const auto& item : FItems) {
    if (item.agreed) continue;
    std::string bytes, why;
    mode_t mode = 0;
    if (!ReadRegular(item.path, bytes, mode, why)) {
    } else if (bytes != item.bytes) {
      why = "changed its bytes (" + std::to_string(item.bytes.size()) + " -> " + std::to_string(bytes.size()) + ")";
    } else if (mode != item.mode) {
      std::ostringstream m;
      m << "changed its mode (" << std::oct << item.mode << " -> " << mode << ")";
      why = m.str();
    }
    if (!why.empty()) changed += "\n  " + item.path.string() + " " + why;
  }
  if (changed.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "canaries touched:" << changed;
}

const char* EndingName(Ending E) {
  switch (E) {
    case Ending::Success: return "success";
    case Ending::Cancel: return "cancel";
    case Ending::Failure: return "failure";
    case Ending::Kill: return "kill -9";
  }
  return "?";
}

void KillHere() {
  ::kill(::getpid(), SIGKILL);
  for (;;) ::pause();
}

bool RunKilled(const std::function<void()>& Body) {
  const pid_t child = ::fork();
  if (child < 0) {
    ADD_FAILURE() << "fork failed";
    return false;
  }
  if (child == 0) {
    try {
      Body();
    } catch (...) {
      _exit(4);
    }
    _exit(3);  // the run ended without reaching its kill point
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) {
    ADD_FAILURE() << "waitpid failed";
    return false;
  }
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
  ADD_FAILURE() << "the run was not killed mid-way: "
                << (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                      : "signal " + std::to_string(WTERMSIG(status)));
  return false;
}

void CheckCanaryRow(const CanaryRow& Row) {
  for (const Ending e : Row.endings) {
    SCOPED_TRACE(Row.name + ", run to " + EndingName(e));
    TempDir dir;
    Canaries canaries;
    Row.setup(dir.path(), canaries);
    ASSERT_FALSE(canaries.Paths().empty()) << "a row plants at least one canary";
    if (e == Ending::Kill) {
      // What the killed child agreed to comes back through a pipe.
      int agreed[2];
      ASSERT_EQ(::pipe(agreed), 0);
      RunKilled([&] {
        ::close(agreed[0]);
        canaries.ReportAgreedTo(agreed[1]);
        Row.run(dir.path(), e, canaries);
      });
      ::close(agreed[1]);
      std::string lines;
      char buf[4096];
      ssize_t n;
      while ((n = ::read(agreed[0], buf, sizeof buf)) > 0) lines.append(buf, static_cast<std::size_t>(n));
      ::close(agreed[0]);
      canaries.AgreeAll(lines);
    } else
      Row.run(dir.path(), e, canaries);
    EXPECT_TRUE(canaries.Intact());
  }
}

void CheckCanaryRows(const std::vector<CanaryRow>& Rows) {
  for (const auto& row : Rows) CheckCanaryRow(row);
}

}  // namespace vsktest
