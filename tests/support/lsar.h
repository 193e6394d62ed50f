#pragma once
// What `lsar -j` (package unar) says about an archive, for formats no
// Debian tool writes.

#include <string>
#include <vector>

#include "base/types.h"

namespace vsktest {

// One entry as `lsar -j` reports it.
struct LsarEntry {
  std::string name;
  vsk::Int64 size = -1, compressed = -1;
  std::string comment;
  bool directory = false;
};

// The entries `lsar -j` lists, in its order; fails the test when lsar is
// missing or does not read the archive.
std::vector<LsarEntry> LsarList(const std::string& archive);

}  // namespace vsktest
