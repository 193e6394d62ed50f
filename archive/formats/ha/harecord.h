#pragma once
// Entry records of HA archives, which the lister walks but no reader
// extracts: after the magic "HA" and a 16-bit entry count, each entry is a
// 17-byte fixed part (type byte: version in the high nibble, method in the
// low; packed size, unpacked size, CRC-32, time stamp), the path and the
// name, each NUL-terminated, 3 bytes of machine information and the packed
// data. Numbers are little-endian.

#include <cstddef>
#include <string>

#include "base/types.h"

namespace vsk {

struct THaEntry {
  static constexpr Int64 FirstEntry = 4;
  static constexpr std::size_t FixedSize = 17;
  static constexpr std::size_t MachineInfoSize = 3;
  // Longest path or name accepted, without its NUL; an entry whose strings
  // do not end within it is taken as damaged.
  static constexpr std::size_t MaxString = 1024;
  // Bytes to offer ParseNames so that both strings fit at their longest.
  static constexpr std::size_t NamesBufferSize = 2 * (MaxString + 1);

  Byte Type = 0;
  UInt32 PackedSize = 0;
  UInt32 UnpackedSize = 0;
  UInt32 Crc32 = 0;
  UInt32 Time = 0;
  std::string Path;
  std::string Name;
  // Bytes of both strings with their NULs.
  std::size_t NamesSize = 0;

  Byte Method() const { return Type & 0x0F; }
  Byte Version() const { return Type >> 4; }
  // Where the entry after this one begins, given where its strings begin.
  Int64 NextEntry(Int64 NamesOffset) const {
    return NamesOffset + static_cast<Int64>(NamesSize + MachineInfoSize) + static_cast<Int64>(PackedSize);
  }

  // The fixed part; false when Count is below FixedSize.
  static bool ParseFixed(const Byte* Data, std::size_t Count, THaEntry& Entry);
  // The path and the name from the bytes after the fixed part; false when
  // either does not end (within MaxString and Count).
  static bool ParseNames(const Byte* Data, std::size_t Count, THaEntry& Entry);
};

}  // namespace vsk
