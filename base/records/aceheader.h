#pragma once
// ACE headers. Every header starts with its CRC (u16: the low half of a
// CRC-32 over the header from its type byte on, without the final
// inversion) and its size (u16, counted from the type byte on), then the
// type byte and the flags (u16). The archive starts with the main header
// (type 0, the "**ACE**" mark); each file header (type 1) is followed by
// the file's packed data. Multi-byte numbers are little-endian.

#include <cstddef>
#include <string>

#include "base/types.h"

namespace vsk {

// The CRC and the size before the counted part of a header.
inline constexpr std::size_t kAceHeadPrefix = 4;
// The main header up to its AV-string size byte.
inline constexpr std::size_t kAceMainFixedSize = 31;
// The file header up to its name.
inline constexpr std::size_t kAceFileFixedSize = 35;

inline constexpr Byte kAceTypeMain = 0;
inline constexpr Byte kAceTypeFile = 1;

// Flag bits of every header.
inline constexpr UInt16 kAceFlagAddSize = 0x0001;
inline constexpr UInt16 kAceFlagComment = 0x0002;
// Main header.
inline constexpr UInt16 kAceFlagMultiVolume = 0x0800;
inline constexpr UInt16 kAceFlagSolid = 0x8000;
// File header: the part goes on from the previous volume / in the next one.
inline constexpr UInt16 kAceFlagSplitBefore = 0x1000;
inline constexpr UInt16 kAceFlagSplitAfter = 0x2000;
inline constexpr UInt16 kAceFlagPassword = 0x4000;

inline constexpr char kAceMark[] = "**ACE**";
inline constexpr std::size_t kAceMarkSize = 7;

// Host systems.
inline constexpr Byte kAceHostUnix = 3;

struct TAceMainHeader {
  UInt16 HeadCrc = 0;
  UInt16 HeadSize = 0;
  UInt16 Flags = 0;
  Byte VersionExtract = 0;
  Byte VersionCreated = 0;
  Byte HostCreated = 0;
  Byte VolumeNumber = 0;
  UInt32 CreationTime = 0;

  // From kAceMainFixedSize bytes; false for another type, a missing mark
  // or a size too small for the fixed fields.
  bool Parse(const Byte* Data, std::size_t Count);
  // Where the first file header lies, from the archive's start.
  Int64 Size() const { return static_cast<Int64>(kAceHeadPrefix) + HeadSize; }
};

struct TAceFileHeader {
  UInt16 HeadCrc = 0;
  UInt16 HeadSize = 0;
  UInt16 Flags = 0;
  UInt32 PackedSize = 0;
  // The size of the whole file, in every part of a split one.
  UInt32 OriginalSize = 0;
  UInt32 DosDateTime = 0;
  UInt32 Attributes = 0;
  UInt32 Crc32 = 0;
  // Technical information: the compression type and quality and the
  // decoder's parameter (the dictionary size).
  Byte CompressionType = 0;
  Byte Quality = 0;
  UInt16 Parameter = 0;
  UInt16 NameSize = 0;
  // The stored name bytes (code page not decoded, "\" between folders).
  std::string Name;

  // The fixed part from kAceFileFixedSize bytes; false for another type,
  // or a size too small for the fixed fields and the name.
  bool ParseFixed(const Byte* Data, std::size_t Count);
  // The name from the NameSize bytes after the fixed part.
  void SetName(const Byte* Data, std::size_t Count);
  Int64 Size() const { return static_cast<Int64>(kAceHeadPrefix) + HeadSize; }
  bool IsDirectory() const { return (Attributes & 0x10) != 0; }
};

// The CRC a header stores, over Count bytes from its type byte on.
UInt16 AceHeaderCrc(const Byte* Data, std::size_t Count);

}  // namespace vsk
