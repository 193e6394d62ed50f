#pragma once
// Entry headers of ARC and PAK archives. Each entry starts with a marker
// byte 0x1A and a method byte; method 0 closes the archive. The header is 29
// bytes, except for method 1 (stored by the oldest writers), whose 25-byte
// header has no unpacked size. Numbers are little-endian.

#include <cstddef>
#include <string>

#include "base/types.h"

namespace vsk {

struct TArcHeader {
  static constexpr std::size_t Size = 29;
  static constexpr std::size_t OldStoredSize = 25;
  static constexpr std::size_t NameFieldSize = 13;
  static constexpr Byte kMarker = 0x1A;
  static constexpr Byte kMethodEnd = 0;
  static constexpr Byte kMethodOldStored = 1;
  static constexpr Byte kMethodDirectory = 30;
  // Entry methods run from 1 to kMethodLast; 0 and anything above end the
  // archive, for the lister and the reader alike.
  static constexpr Byte kMethodLast = kMethodDirectory;

  Byte Method = 0;
  // The name field's bytes up to its first NUL (at most 13).
  std::string Name;
  UInt32 PackedSize = 0;
  UInt16 Date = 0;
  UInt16 Time = 0;
  UInt16 Crc16 = 0;
  UInt32 UnpackedSize = 0;
  // Bytes of this header: 29, or 25 for method 1.
  std::size_t HeaderSize = Size;

  bool IsDirectory() const { return Method == kMethodDirectory; }
  // Packed DOS date-time: date in the high word.
  UInt32 DosDateTime() const { return static_cast<UInt32>(Date) << 16 | Time; }
  // Where the header after this entry's data lies.
  Int64 NextOffset(Int64 HeaderOffset) const {
    return HeaderOffset + static_cast<Int64>(HeaderSize) + static_cast<Int64>(PackedSize);
  }

  // Whether the bytes begin an entry (marker and a method 1..30); false at
  // the end of the archive and for anything that is not a header.
  static bool IsEntry(const Byte* Data, std::size_t Count);
  // Parses the entry header at Data. False when the bytes do not begin an
  // entry or are shorter than its header. In an ARC archive a directory
  // entry's own entries follow its header, so its name gets a trailing '\'
  // and its sizes read as 0; a PAK directory keeps its stored sizes.
  static bool Parse(const Byte* Data, std::size_t Count, bool Pak, TArcHeader& Header);
};

}  // namespace vsk
