#pragma once
// The fixed parts of the ZIP records: local file header, central directory
// record, end of central directory record and data descriptor. Numbers are
// little-endian, sizes and offsets unsigned 32-bit (no ZIP64). Parse reads
// the record from a buffer of at least Size bytes, Serialize writes exactly
// Size bytes; neither checks the signature (see zipcrypt.h for that).

#include <cstddef>

#include "base/types.h"

namespace vsk {

inline UInt16 GetLE16(const Byte* p) { return static_cast<UInt16>(p[0] | (p[1] << 8)); }
inline UInt32 GetLE32(const Byte* p) {
  return static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) | (static_cast<UInt32>(p[2]) << 16) |
         (static_cast<UInt32>(p[3]) << 24);
}
inline void PutLE16(Byte* p, UInt16 v) {
  p[0] = static_cast<Byte>(v);
  p[1] = static_cast<Byte>(v >> 8);
}
inline void PutLE32(Byte* p, UInt32 v) {
  p[0] = static_cast<Byte>(v);
  p[1] = static_cast<Byte>(v >> 8);
  p[2] = static_cast<Byte>(v >> 16);
  p[3] = static_cast<Byte>(v >> 24);
}

// General purpose flag bits.
inline constexpr UInt16 kZipFlagEncrypted = 0x0001;
inline constexpr UInt16 kZipFlagDeflateOptions = 0x0006;
inline constexpr UInt16 kZipFlagDataDescriptor = 0x0008;
inline constexpr UInt16 kZipFlagUtf8 = 0x0800;

// Local file header; the name, the extra field and the entry data follow.
struct TZipLocalHeader {
  static constexpr std::size_t Size = 30;

  UInt32 Signature = 0;
  UInt16 VersionNeeded = 0;
  UInt16 Flags = 0;
  UInt16 Method = 0;
  UInt32 DosDateTime = 0;  // time in the low half
  UInt32 Crc32 = 0;
  UInt32 PackedSize = 0;  // with the 12-byte encryption header when encrypted
  UInt32 UnpackedSize = 0;
  UInt16 FileNameLength = 0;
  UInt16 ExtraFieldLength = 0;

  UInt16 DosTime() const { return static_cast<UInt16>(DosDateTime); }
  UInt16 DosDate() const { return static_cast<UInt16>(DosDateTime >> 16); }

  static TZipLocalHeader Parse(const Byte* p);
  void Serialize(Byte* p) const;
  bool operator==(const TZipLocalHeader&) const = default;
};

// Central directory record; the name, the extra field and the comment follow.
struct TZipCentralRecord {
  static constexpr std::size_t Size = 46;

  UInt32 Signature = 0;
  UInt16 VersionMadeBy = 0;
  UInt16 VersionNeeded = 0;
  UInt16 Flags = 0;
  UInt16 Method = 0;
  UInt32 DosDateTime = 0;
  UInt32 Crc32 = 0;
  UInt32 PackedSize = 0;
  UInt32 UnpackedSize = 0;
  UInt16 FileNameLength = 0;
  UInt16 ExtraFieldLength = 0;
  UInt16 FileCommentLength = 0;
  UInt16 DiskNumberStart = 0;  // 0-based
  UInt16 InternalAttr = 0;
  UInt32 ExternalAttr = 0;
  UInt32 LocalHeaderOffset = 0;  // from the zip start, on the start disk

  UInt16 DosTime() const { return static_cast<UInt16>(DosDateTime); }
  UInt16 DosDate() const { return static_cast<UInt16>(DosDateTime >> 16); }

  static TZipCentralRecord Parse(const Byte* p);
  void Serialize(Byte* p) const;
  bool operator==(const TZipCentralRecord&) const = default;
};

// End of central directory record; the archive comment follows at once.
struct TZipEndRecord {
  static constexpr std::size_t Size = 22;

  UInt32 Signature = 0;
  UInt16 DiskNumber = 0;        // 0-based number of this disk
  UInt16 CentralDirDisk = 0;    // disk where the central directory starts
  UInt16 EntriesOnDisk = 0;
  UInt16 EntriesTotal = 0;
  UInt32 CentralDirSize = 0;
  UInt32 CentralDirOffset = 0;  // from the zip start
  UInt16 CommentLength = 0;

  static TZipEndRecord Parse(const Byte* p);
  void Serialize(Byte* p) const;
  bool operator==(const TZipEndRecord&) const = default;
};

// Data descriptor behind the data of an entry with flag bit 3.
struct TZipDataDescriptor {
  static constexpr std::size_t Size = 16;

  UInt32 Signature = 0;
  UInt32 Crc32 = 0;
  UInt32 PackedSize = 0;
  UInt32 UnpackedSize = 0;

  static TZipDataDescriptor Parse(const Byte* p);
  void Serialize(Byte* p) const;
  bool operator==(const TZipDataDescriptor&) const = default;
};

}  // namespace vsk
