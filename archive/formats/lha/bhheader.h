#pragma once
// BH entry headers: a 37-byte fixed part, the name, an extra field, then the
// entry's data. Little-endian throughout.
//
//  0 u32 signature 42 48 05 07     15 u32 packed size (with the 12-byte
//  4 u16 header length                    cipher header when encrypted)
//  6 u8  fixed header length (37)  19 u32 unpacked size
//  7 u8  version made by           23 u32 CRC-32
//  8 u8  version needed            27 u16 DOS attributes
//  9 u8  flags (bit 0 encrypted,   29 u32 reserved
//        bits 1-2 deflate options) 33 u16 name length
// 10 u8  method                    35 u16 extra length
// 11 u32 DOS date and time

#include <string>

#include "base/types.h"
#include "archive/codecs/readat.h"

namespace vsk {

inline constexpr UInt32 kBhSignature = 0x07054842u;
inline constexpr Int32 kBhFixedSize = 37;
inline constexpr Byte kBhFlagEncrypted = 0x01;
inline constexpr Byte kBhFlagDeflateOptions = 0x06;
inline constexpr UInt32 kBhEncryptionHeaderSize = 12;

enum class TBhStatus : Byte {
  Ok,
  EndOfArchive,  // no signature, or a header length of 0
  Truncated,     // the fixed part, the name or the extra field runs past the end
};

struct TBhHeader {
  Int64 Offset = 0;
  UInt32 Signature = 0;
  UInt16 HeaderLength = 0;
  Byte FixedLength = 0;
  Byte VersionMadeBy = 0;
  Byte VersionNeeded = 0;
  Byte Flags = 0;
  Byte Method = 0;
  UInt32 DosDateTime = 0;
  UInt32 PackedSize = 0;
  UInt32 UnpackedSize = 0;
  UInt32 Crc32 = 0;
  UInt16 Attributes = 0;
  UInt32 Reserved = 0;
  UInt16 NameLength = 0;
  UInt16 ExtraLength = 0;
  // Raw stored bytes.
  std::string Name;

  bool Encrypted() const { return (Flags & kBhFlagEncrypted) != 0; }
  bool IsDirectory() const { return (Attributes & 0x10) != 0; }
  // The packed size without the cipher header of an encrypted entry.
  UInt32 DataSize() const {
    return Encrypted() && PackedSize >= kBhEncryptionHeaderSize ? PackedSize - kBhEncryptionHeaderSize : PackedSize;
  }
  Int64 DataOffset() const { return Offset + kBhFixedSize + NameLength + ExtraLength; }
  Int64 NextOffset() const { return DataOffset() + PackedSize; }

  // Parses the header at Offset, whose first Got bytes (up to 37) are in
  // Fixed; the name is read through Read. No byte at or past Limit (the
  // archive's end) is read.
  static TBhStatus Parse(const Byte* Fixed, Int32 Got, Int64 Offset, Int64 Limit, const TArchiveReadAt& Read,
                         TBhHeader& Out);
};

}  // namespace vsk
