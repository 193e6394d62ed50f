#pragma once
// ARJ headers. Every header (the archive's main header first, then one per
// file, then an end marker whose basic header size is 0) is:
//   id 0xEA60 (u16), basic header size (u16),
//   basic header: first header size (u8) and the fixed fields it covers,
//     the entry name and the comment (each NUL-terminated),
//   CRC-32 of the basic header (u32),
//   extended headers: each a size (u16), that many bytes and their CRC-32;
//     a size of 0 ends the chain,
// then the entry's compressed data (the main header has none).
// Multi-byte numbers are little-endian.

#include <cstddef>
#include <functional>
#include <string>

#include "base/types.h"

namespace vsk {

inline constexpr UInt16 kArjHeaderId = 0xEA60;
// The id and the basic header size.
inline constexpr std::size_t kArjIdSize = 4;
// A basic header larger than this is damaged.
inline constexpr std::size_t kArjMaxBasicHeader = 2600;
// The fixed fields of the basic header, from the first header size on.
inline constexpr std::size_t kArjMinFirstHeader = 30;
// The header CRC and the first extended-header size after the basic header.
inline constexpr std::size_t kArjHeaderTail = 6;

// Flag bits.
inline constexpr Byte kArjFlagGarbled = 0x01;
// Main header: a multi-volume archive; file header: the file goes on in the
// next volume.
inline constexpr Byte kArjFlagVolume = 0x04;
// The file part goes on from the previous volume.
inline constexpr Byte kArjFlagExtFile = 0x08;
inline constexpr Byte kArjFlagPathSym = 0x10;

// Host systems whose archivers store Unix time stamps instead of DOS ones.
inline constexpr Byte kArjHostUnix = 2;
inline constexpr Byte kArjHostNext = 8;

// File types.
inline constexpr Byte kArjTypeBinary = 0;
inline constexpr Byte kArjTypeText = 1;
inline constexpr Byte kArjTypeMain = 2;
inline constexpr Byte kArjTypeDirectory = 3;
inline constexpr Byte kArjTypeVolumeLabel = 4;

enum class TArjParse : Byte { Ok, End, Invalid };

struct TArjHeader {
  UInt16 BasicSize = 0;
  Byte FirstSize = 0;
  Byte Version = 0;
  Byte MinVersion = 0;
  Byte HostOS = 0;
  Byte Flags = 0;
  Byte Method = 0;
  Byte FileType = 0;
  Byte PasswordModifier = 0;
  // A packed DOS date and time, or Unix seconds (HasUnixTime).
  UInt32 DosDateTime = 0;
  UInt32 PackedSize = 0;
  UInt32 UnpackedSize = 0;
  UInt32 Crc32 = 0;
  UInt16 EntryNamePos = 0;
  UInt16 AccessMode = 0;
  UInt16 HostData = 0;
  // The stored name and comment bytes (code page not decoded).
  std::string Name;
  std::string Comment;
  UInt32 HeaderCrc = 0;
  // Size of the first extended header; 0 when there is none.
  UInt16 ExtendedSize = 0;

  // The basic header size from the first kArjIdSize bytes at a header
  // offset: End for the end marker (size 0), Invalid for a wrong id or a
  // size above kArjMaxBasicHeader, else Ok with BasicSize set.
  TArjParse ParseId(const Byte* Data, std::size_t Count);
  // Parses a whole header: Data holds kArjIdSize + BasicSize +
  // kArjHeaderTail bytes from the header offset (Count fewer is a truncated
  // header: Invalid). Invalid also for a first header size outside
  // kArjMinFirstHeader..BasicSize. A name or comment without its NUL ends
  // with the basic header.
  TArjParse Parse(const Byte* Data, std::size_t Count);
  // Bytes of the header up to its extended headers.
  Int64 Size() const { return static_cast<Int64>(kArjIdSize + BasicSize + kArjHeaderTail); }
  bool IsMain() const { return FileType == kArjTypeMain; }
  bool HasUnixTime() const { return HostOS == kArjHostUnix || HostOS == kArjHostNext; }
};

// Reads up to Count bytes at an absolute position; returns the bytes read.
using TArjReadAt = std::function<Int32(Int64 Pos, void* Buffer, Int32 Count)>;

// Where the data of a header parsed at HeaderOffset begin: after the header
// and its chain of extended headers. -1 when the chain runs past Limit (the
// file size) or cannot be read.
Int64 ArjDataOffset(const TArjHeader& Header, Int64 HeaderOffset, Int64 Limit, const TArjReadAt& Read);

}  // namespace vsk
