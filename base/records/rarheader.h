#pragma once
// RAR 2.x blocks. An archive is the 7-byte marker "Rar!" 1A 07 00, the main
// header, then blocks. Every block starts with a 7-byte head: CRC (u16, the
// low half of the CRC-32 of the head from its type byte to its end), type
// (u8), flags (u16) and head size (u16); with flag 0x8000 a 32-bit data
// size follows and that many data bytes follow the head (in a file block
// this is the packed size). Multi-byte numbers are little-endian.

#include <cstddef>
#include <string>

#include "base/types.h"

namespace vsk {

inline constexpr Byte kRarMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
inline constexpr std::size_t kRarMarkerSize = 7;
inline constexpr std::size_t kRarHeadSize = 7;
inline constexpr std::size_t kRarMainHeaderSize = 13;
inline constexpr std::size_t kRarFileFixedSize = 32;

// Block types.
inline constexpr Byte kRarBlockMarker = 0x72;
inline constexpr Byte kRarBlockMain = 0x73;
inline constexpr Byte kRarBlockFile = 0x74;
inline constexpr Byte kRarBlockComment = 0x75;
// A service block (RAR 3.x: comment, streams, access lists), laid out as a
// file block.
inline constexpr Byte kRarBlockService = 0x7A;
inline constexpr Byte kRarBlockEnd = 0x7B;

// Flags of every block.
inline constexpr UInt16 kRarFlagSkipIfUnknown = 0x4000;
inline constexpr UInt16 kRarFlagLongBlock = 0x8000;
// Main header.
inline constexpr UInt16 kRarMainVolume = 0x0001;
inline constexpr UInt16 kRarMainComment = 0x0002;
inline constexpr UInt16 kRarMainSolid = 0x0008;
inline constexpr UInt16 kRarMainNewNumbering = 0x0010;
inline constexpr UInt16 kRarMainFirstVolume = 0x0100;
// File block.
inline constexpr UInt16 kRarFileSplitBefore = 0x0001;
inline constexpr UInt16 kRarFileSplitAfter = 0x0002;
inline constexpr UInt16 kRarFilePassword = 0x0004;
inline constexpr UInt16 kRarFileComment = 0x0008;
inline constexpr UInt16 kRarFileSolid = 0x0010;
// The dictionary bits; all three set mark a directory.
inline constexpr UInt16 kRarFileDictionaryMask = 0x00E0;
inline constexpr UInt16 kRarFileLarge = 0x0100;
inline constexpr UInt16 kRarFileUnicode = 0x0200;
inline constexpr UInt16 kRarFileSalt = 0x0400;
inline constexpr UInt16 kRarFileExtTime = 0x1000;

// Host systems.
inline constexpr Byte kRarHostUnix = 3;

struct TRarBlockHead {
  UInt16 Crc = 0;
  Byte Type = 0;
  UInt16 Flags = 0;
  UInt16 Size = 0;
  // The data size after the head; 0 without kRarFlagLongBlock.
  UInt32 AddSize = 0;

  // From the first Count bytes of a block; false for fewer than 7 bytes, a
  // head size below 7, or a long block whose data size is cut off.
  bool Parse(const Byte* Data, std::size_t Count);
  bool IsLong() const { return (Flags & kRarFlagLongBlock) != 0; }
};

struct TRarFileHeader {
  TRarBlockHead Head;
  UInt64 PackedSize = 0;
  UInt64 UnpackedSize = 0;
  Byte HostOS = 0;
  UInt32 FileCrc = 0;
  UInt32 DosDateTime = 0;
  Byte Version = 0;
  // '0' (stored) to '5' (best).
  Byte Method = 0;
  UInt16 NameSize = 0;
  UInt32 Attributes = 0;
  // The stored name up to its NUL: a name with kRarFileUnicode holds its
  // code-page form, a NUL, then the encoded Unicode form.
  std::string Name;

  // The whole head of a file or service block (Head.Size bytes, Count fewer
  // when it is cut off). False for another type, a head too small for its
  // fixed fields, or a name that runs past the head.
  bool Parse(const Byte* Data, std::size_t Count);
  // The directory mark in the dictionary bits, or the Unix mode's directory
  // bit for Unix hosts and the DOS directory attribute for the others.
  bool IsDirectory() const;
  // The DOS attributes: for Unix hosts 0x10 or 0x20, else as stored.
  UInt32 DosAttributes() const;
};

// A file block's stored name (its NameSize bytes) in UTF-8 when Unicode
// (flag kRarFileUnicode) is set: the encoded Unicode form after the NUL, or
// the whole name when it holds no NUL (then it is UTF-8 already). Without
// the flag, or when the encoded form is empty, the bytes up to the NUL as
// stored.
std::string DecodeRarName(const Byte* Stored, std::size_t Size, bool Unicode);

// The CRC a head stores, over Count bytes from its type byte on.
UInt16 RarHeaderCrc(const Byte* Data, std::size_t Count);

// The name of the volume after Name: "x.part1.rar" -> "x.part2.rar" (as
// many digits as before, more only when they overflow); any other name
// "x.rar" or "x.exe" -> "x.r00", "x.r00" -> "x.r01" ... "x.r99" -> "x.s00".
std::string NextRarVolumeName(const std::string& Name);
// The first volume of the set Name belongs to by its numbering: part 1 of
// "x.partN.rar" (as many digits), "x.rar" of an old-style "x.rNN"; else Name.
std::string FirstRarVolumeName(const std::string& Name);

}  // namespace vsk
