#include "tests/support/testutil.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vsktest {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "vsktest-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable first so read-only test files go too.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

IsolatedEnvironment::IsolatedEnvironment() {
  const std::pair<const char*, const char*> vars[] = {
      {"HOME", "home"},
      {"XDG_CONFIG_HOME", "home/.config"},
      {"XDG_DATA_HOME", "home/.local/share"},
      {"XDG_CACHE_HOME", "home/.cache"},
      {"XDG_RUNTIME_DIR", "run"},
      {"BREVANE_REGISTRY_DIR", "registry"},
      {"TMPDIR", "tmp"},
  };
  for (auto [name, sub] : vars) {
    fs::path p = dir_.path() / sub;
    fs::create_directories(p);
    if (const char* old = std::getenv(name))
      saved_.emplace_back(name, old);
    else
      unset_.emplace_back(name);
    setenv(name, p.c_str(), 1);
  }
}

IsolatedEnvironment::~IsolatedEnvironment() {
  for (auto& [n, v] : saved_) setenv(n.c_str(), v.c_str(), 1);
  for (auto& n : unset_) unsetenv(n.c_str());
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name.c_str())) {
    had_ = true;
    old_ = old;
  }
  setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const fs::path& p, const std::string& data) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

void ReplaceFile(const fs::path& p, const std::string& data) {
  const fs::path beside = p.string() + ".new";
  WriteFile(beside, data);
  fs::rename(beside, p);
}

std::string RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

std::string TextBytes(std::size_t n, std::uint32_t seed) {
  static const char* words[] = {"archive", "the", "of", "folder", "entry", "compress", "and", "data",
                                "header",  "a",   "to", "file",   "name",  "stored",   "in",  "disk"};
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(n + 16);
  while (s.size() < n) {
    s += words[rng() % 16];
    s += (rng() % 11 == 0) ? "\n" : " ";
  }
  s.resize(n);
  return s;
}

std::map<std::string, std::string> FolderTree(const fs::path& Root) {
  std::map<std::string, std::string> t;
  for (auto it = fs::recursive_directory_iterator(Root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = it->path().lexically_relative(Root).string();
    if (it->is_symlink())
      t[rel + "@"] = fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      t[rel + "/"] = "";
    else
      t[rel] = ReadFile(it->path());
  }
  return t;
}

std::map<std::string, std::string> FolderSummary(const fs::path& Root) {
  auto tree = FolderTree(Root);
  for (auto& [name, data] : tree)
    if (data.size() > 64) data = std::to_string(data.size()) + " bytes";
  return tree;
}

bool HasShape(const std::string& Text, const std::string& Pattern) {
  if (Text.size() != Pattern.size()) return false;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Pattern[i] == '#' ? (Text[i] < '0' || Text[i] > '9') : Text[i] != Pattern[i]) return false;
  }
  return true;
}

std::string ShellQuote(const std::string& s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'')
      r += "'\\''";
    else
      r += c;
  }
  return r + "'";
}

ToolResult RunTool(const std::string& command, const fs::path& cwd) {
  std::string cmd = command;
  if (!cwd.empty()) cmd = "cd " + ShellQuote(cwd.string()) + " && " + cmd;
  cmd = "( " + cmd + " ) </dev/null 2>&1";
  ToolResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool HaveTool(const std::string& name) {
  return RunTool("command -v " + ShellQuote(name) + " >/dev/null").exitCode == 0;
}

std::string XdgMimeDefault(const std::string& mimeType) {
  EXPECT_TRUE(HaveTool("xdg-mime")) << "xdg-mime is needed (Debian package xdg-utils)";
  const auto r = RunTool("env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID"
                         " xdg-mime query default " + ShellQuote(mimeType));
  std::string out = r.output;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace vsktest
