#pragma once
// The folders and the copied tree of the benchmarks that work on a real
// tree of the machine's files.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

// Name below the temporary folder, made once; copies made there are kept
// from run to run.
inline std::filesystem::path BenchWorkDir(const std::string& Name) {
  std::filesystem::path d = std::filesystem::temp_directory_path() / Name;
  std::filesystem::create_directories(d);
  return d;
}

// Name-out-<pid> on tmpfs where there is one (the file system costs least
// there and the programs' own work shows), else below the temporary folder.
inline std::filesystem::path BenchOutDir(const std::string& Name) {
  const std::filesystem::path shm = "/dev/shm";
  return (std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
         (Name + "-out-" + std::to_string(getpid()));
}

// S quoted for the shell.
inline std::string BenchShellQuote(const std::string& S) {
  std::string r = "'";
  for (char c : S) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

struct TBenchTreeSize {
  std::uintmax_t Bytes = 0;
  std::size_t Files = 0, Folders = 0;
};

// Copies the regular files and folders below Source into Target (links and
// special files are left out, so that every program timed sees the same
// files) until Size.Bytes reaches Limit; what cannot be read or copied is
// passed over.
inline void CopyBenchTree(const std::filesystem::path& Source, const std::filesystem::path& Target,
                          TBenchTreeSize& Size, std::uintmax_t Limit = std::numeric_limits<std::uintmax_t>::max()) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::recursive_directory_iterator it(Source, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end && Size.Bytes < Limit; it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    if (ec) break;
    const fs::path to = Target / fs::relative(it->path(), Source);
    if (fs::is_directory(st)) {
      if (fs::create_directories(to, ec)) ++Size.Folders;
    } else if (fs::is_regular_file(st)) {
      fs::create_directories(to.parent_path(), ec);
      if (fs::copy_file(it->path(), to, fs::copy_options::overwrite_existing, ec)) {
        Size.Bytes += fs::file_size(to, ec);
        ++Size.Files;
      }
    }
    ec.clear();
  }
}
