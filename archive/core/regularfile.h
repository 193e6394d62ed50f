#pragma once
// A read-only stream over a regular file, opened without waiting: a FIFO,
// a device or a folder standing at an archive's name is refused at once
// instead of blocking the reader until someone writes to it.

#include <string>

#include "base/stream.h"

namespace vsk {

class TRegularFileStream : public TFileStream32 {
 public:
  // Handle() is -1 when FileName is not a regular file that could be opened.
  explicit TRegularFileStream(const std::string& FileName);
  const char* ClassName() const override { return "TRegularFileStream"; }
  bool IsOpen() const { return FHandle >= 0; }
};

// Whether Name is a regular file (links followed).
bool IsRegularFile(const std::string& Name);

}  // namespace vsk
