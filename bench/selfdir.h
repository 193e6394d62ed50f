#pragma once
// The folder of the running benchmark, where the command-line drivers it
// times (bench/tools) are built.

#include <unistd.h>

#include <filesystem>
#include <string>

inline std::string SelfDir() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::filesystem::path(std::string(buf, static_cast<std::size_t>(n))).parent_path().string() : ".";
}
