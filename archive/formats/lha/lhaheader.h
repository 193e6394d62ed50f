#pragma once
// LHA/LZH entry headers of levels 0, 1 and 2: the 22-byte fixed part, the
// name, the CRC-16 and the extended headers. Every size is checked against
// the header's own extent and the end of the archive before it is used.
//
// Level 0: fixed part, name, CRC-16.
// Level 1: fixed part, name, CRC-16, OS byte, size of the first extended
//          header; the extended headers follow and are counted in the
//          stored packed size.
// Level 2: 16-bit total header size, fixed part, CRC-16 at 21, OS byte at
//          23, size of the first extended header at 24; all extended headers
//          lie inside the total header size, which OS-9 LHA ('K') stores
//          without the two bytes of the size field itself. A header CRC extended header
//          is checked when there is one; some writers leave it out.

#include <array>
#include <string>
#include <string_view>

#include "base/types.h"
#include "archive/codecs/readat.h"

namespace vsk {

inline constexpr Int32 kLhaFixedSize = 22;
// Extended header types.
inline constexpr Byte kLhaExtHeaderCrc = 0x00;
inline constexpr Byte kLhaExtFileName = 0x01;
inline constexpr Byte kLhaExtDirName = 0x02;
// The Unix permission extended header: the file's mode, type bits too.
inline constexpr Byte kLhaExtUnixMode = 0x50;
// Separator of the path parts in a directory extended header.
inline constexpr char kLhaDirSeparator = '\xFF';
// Operating-system ids of the headers that change how a header is read.
inline constexpr Byte kLhaOsUnix = 'U';
inline constexpr Byte kLhaOsOs9 = 'K';

enum class TLhaStatus : Byte {
  Ok,
  EndOfArchive,  // a header-size of 0: the archive's end mark
  Truncated,     // the header runs past the end of the archive
  BadHeader,     // sizes that contradict each other
  UnknownLevel,  // a header level above 2
};

struct TLhaHeader {
  Int64 Offset = 0;
  Byte Level = 0;
  std::array<char, 5> Method{};  // "-lh5-", "-lhd-", ...
  // Data bytes of the entry (for level 1 without the extended headers that
  // the stored field counts in).
  UInt32 PackedSize = 0;
  UInt32 StoredPackedSize = 0;
  UInt32 UnpackedSize = 0;
  // DOS date-time on levels 0 and 1, Unix seconds on level 2.
  UInt32 TimeStamp = 0;
  Byte Attribute = 0;
  UInt16 Crc16 = 0;
  Byte OsId = 0;  // 0 on level 0, which has none
  // Raw stored bytes: the file name, and the folder with its parts
  // separated by "\" and no separator at its end.
  std::string Name;
  std::string Directory;
  // A file comment stored behind the name after a NUL (Amiga archivers);
  // the name ends at that NUL.
  std::string Comment;
  // The Unix mode a Unix archiver stored (kLhaExtUnixMode), 0 when none.
  UInt16 UnixMode = 0;
  // Bytes from the header offset to the entry's data.
  Int64 HeaderLength = 0;

  std::string_view MethodId() const { return {Method.data(), Method.size()}; }
  // The method character ('0'..'7', 'd'), or 0 for a method that is not
  // one of the "-lh?-" family.
  char MethodLetter() const;
  bool IsDirectory() const { return MethodId() == "-lhd-"; }
  bool HasUnixTime() const { return Level == 2; }
  // A symbolic link: Unix archivers store it as "name|target".
  bool IsSymLink() const { return (UnixMode & 0170000) == 0120000; }
  Int64 DataOffset() const { return Offset + HeaderLength; }
  Int64 NextOffset() const { return DataOffset() + PackedSize; }
  // Folder and name joined with exactly one "\" (a folder entry without a
  // name keeps one trailing "\"), still in the stored code page.
  std::string StoredName() const;

  // Parses the header at Offset, whose first Got bytes (up to 22) are in
  // Fixed; the rest is read through Read. No byte at or past Limit (the
  // archive's end) is read.
  static TLhaStatus Parse(const Byte* Fixed, Int32 Got, Int64 Offset, Int64 Limit, const TArchiveReadAt& Read,
                          TLhaHeader& Out);
};

}  // namespace vsk
