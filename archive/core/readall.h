#pragma once
// Reading a byte range of an open file in one call.

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/types.h"

namespace vsk {

// Reads exactly Count bytes at Offset of Fd, in pieces of at most Chunk
// bytes, without moving the file position; false on an error or at the end
// of the file.
inline bool ReadAllAt(int Fd, Int64 Offset, void* Buffer, Int64 Count, Int64 Chunk = Int64{1} << 30) {
  auto* p = static_cast<Byte*>(Buffer);
  while (Count > 0) {
    const ssize_t n =
        ::pread(Fd, p, static_cast<std::size_t>(std::min(Count, Chunk)), static_cast<off_t>(Offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    Offset += n;
    Count -= n;
  }
  return true;
}

}  // namespace vsk
