#pragma once
// The leading header of a gzip member (also the older 1F 9E form), and the
// two-byte magics of the compress, pack and LZH-compressed files that share
// the gzip family, and the 8-byte member trailer. Multi-byte numbers are
// little-endian.

#include <cstddef>
#include <string>

#include "base/types.h"

namespace vsk {

inline constexpr std::size_t kGzipFixedHeaderSize = 10;
inline constexpr std::size_t kGzipTrailerSize = 8;
// A gzip member needs at least its fixed header and its trailer.
inline constexpr Int64 kGzipMinFileSize = kGzipFixedHeaderSize + kGzipTrailerSize;
// Longest stored name kept; the rest of a longer one is passed over.
inline constexpr std::size_t kGzipMaxName = 255;

// Header flag bits.
inline constexpr Byte kGzipFlagText = 0x01;
inline constexpr Byte kGzipFlagHeaderCrc = 0x02;  // multi-part in the 1F 9E form
inline constexpr Byte kGzipFlagExtra = 0x04;
inline constexpr Byte kGzipFlagName = 0x08;
inline constexpr Byte kGzipFlagComment = 0x10;
inline constexpr Byte kGzipFlagEncrypted = 0x20;

enum class TGzipKind : Byte { None, Gzip, Compress, Pack, Lzh };

// The kind a file's first two bytes announce.
TGzipKind GzipKindOf(Byte B0, Byte B1);

struct TGzipHeader {
  TGzipKind Kind = TGzipKind::None;
  Byte Magic0 = 0, Magic1 = 0;
  // Gzip: the method byte; compress: its flag byte (bit count and block mode).
  Byte Method = 0;
  Byte Flags = 0;
  UInt32 MTime = 0;
  Byte ExtraFlags = 0;
  Byte OS = 0;
  UInt16 ExtraLength = 0;
  bool HasName = false;
  // The stored name as its bytes, at most kGzipMaxName of them.
  std::string Name;
  bool HasComment = false;
  std::string Comment;
  // Where the compressed data begin (after every optional field).
  Int64 DataOffset = 0;

  // Parses the header from the first Count bytes of a file. False for a
  // magic outside the family, or an optional field that runs past Count
  // (a truncated header). Only the gzip kinds carry the optional fields;
  // the compress header is its magic and one flag byte, the others their
  // magic alone.
  bool Parse(const Byte* Data, std::size_t Count);
};

struct TGzipTrailer {
  UInt32 Crc32 = 0;
  // The uncompressed size modulo 2^32.
  UInt32 ISize = 0;
  void Parse(const Byte* Data);  // kGzipTrailerSize bytes
};

// The unpacked size of a member from its trailer's ISize, which is the size
// modulo 2^32. Deflate expands data by a few bytes per stored block only,
// so a packed size well beyond ISize (more than 1/64 and 1 KiB over) means
// the size wrapped: the smallest size with that remainder not below the
// packed size is taken.
Int64 GzipUnpackedSize(UInt32 ISize, Int64 Packed);

}  // namespace vsk
