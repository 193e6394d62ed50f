#pragma once
// The extent of an ELF executable in its file. Data appended to a program
// (the archive of a self-extractor) begins where the image ends: past its
// headers, its segments and its sections, whichever reaches furthest.
// Every offset, size and count is checked against the file before use.

#include <cstddef>
#include <functional>

#include "base/types.h"

namespace vsk {

// Reads Count bytes at Offset; true only when all of them were read.
using TElfReadAt = std::function<bool(UInt64 Offset, void* Buffer, std::size_t Count)>;

// True when Head (at least 4 bytes) starts with the ELF mark.
bool IsElfImage(const Byte* Head, std::size_t Count);

// The number of bytes the ELF image occupies in a file of FileSize bytes;
// 0 when the file is no ELF image or its tables reach beyond the file.
UInt64 ElfImageSize(const TElfReadAt& ReadAt, UInt64 FileSize);

}  // namespace vsk
