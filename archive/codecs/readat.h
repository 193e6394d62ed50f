#pragma once
// How the header parsers of this folder read the bytes after a fixed part:
// the lister passes its positioned read, the readers their block read.

#include <functional>

#include "base/types.h"

namespace vsk {

// Reads up to Count bytes at Pos of the archive; returns the bytes read.
using TArchiveReadAt = std::function<Int32(Int64 Pos, void* Buffer, Int32 Count)>;

}  // namespace vsk
