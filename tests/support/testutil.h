#pragma once
// Helpers shared by the test suites: scratch folders, an isolated desktop
// environment, file contents and running outside tools.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vsktest {

namespace fs = std::filesystem;

// A fresh folder under the system temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Points HOME, the XDG folders and BREVANE_REGISTRY_DIR at a scratch folder for
// the object's lifetime, so no test touches a real desktop, trash or registry.
class IsolatedEnvironment {
 public:
  IsolatedEnvironment();
  ~IsolatedEnvironment();
  const fs::path& root() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::vector<std::pair<std::string, std::string>> saved_;
  std::vector<std::string> unset_;
};

// Sets an environment variable for the object's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

std::string ReadFile(const fs::path& p);
void WriteFile(const fs::path& p, const std::string& data);
// Writes the file beside its place and renames it over, as copy tools and
// editors do. Writing in place over a program that has just run can fail
// with ETXTBSY: the kernel may let go of a threaded program's image only a
// moment after the process was reaped.
void ReplaceFile(const fs::path& p, const std::string& data);
// Deterministic pseudo-random bytes.
std::string RandomBytes(std::size_t n, std::uint32_t seed = 1);
// Text that compresses like ordinary prose.
std::string TextBytes(std::size_t n, std::uint32_t seed = 1);

struct ToolResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};
// Runs a shell command line (in `cwd` when given) and captures its output.
ToolResult RunTool(const std::string& command, const fs::path& cwd = {});
// Whether a program is on PATH. Tests that need one assert it: a missing
// tool is a failure, not a silent skip.
bool HaveTool(const std::string& name);
std::string ShellQuote(const std::string& s);
// The desktop file `xdg-mime query default` names for a MIME type, as a
// desktop without a session of its own sees it (Debian xdg-utils).
std::string XdgMimeDefault(const std::string& mimeType);
// Whether Text has the shape of Pattern: '#' stands for one digit, any
// other character for itself ("####-##-##" for a date).
bool HasShape(const std::string& Text, const std::string& Pattern);

// What lies below Root, by relative path: a file's contents, "" for a
// folder (its path ends in "/"), a symbolic link's target (its path ends
// in "@").
std::map<std::string, std::string> FolderTree(const fs::path& Root);

// FolderTree with a file of over 64 bytes shown by its size only ("N bytes").
std::map<std::string, std::string> FolderSummary(const fs::path& Root);

}  // namespace vsktest
