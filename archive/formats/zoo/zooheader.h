#pragma once
// The records of ZOO archives: the archive header at offset 0 and the
// directory entries, a chain linked by their next-entry offsets and closed
// by an entry whose next offset is 0. Numbers are little-endian.

#include <cstddef>
#include <string>

#include "base/types.h"

namespace vsk {

inline constexpr UInt32 kZooTag = 0xFDC4A7DCu;

struct TZooArchiveHeader {
  static constexpr std::size_t TextSize = 20;
  // The fields up to the archive comment's length; the header is 43 bytes.
  static constexpr std::size_t MinSize = 41;
  static constexpr std::size_t Size = 43;

  UInt32 Tag = 0;
  UInt32 FirstEntry = 0;
  // The first entry's offset negated, as a check.
  UInt32 FirstEntryCheck = 0;
  Byte MajorVersion = 0;
  Byte MinorVersion = 0;
  Byte Type = 0;
  UInt32 CommentOffset = 0;
  UInt16 CommentLength = 0;

  // The first-entry offset and its check add up to 0 (modulo 2^32).
  bool Consistent() const { return static_cast<UInt32>(FirstEntry + FirstEntryCheck) == 0; }
  // False when Count is below MinSize.
  static bool Parse(const Byte* Data, std::size_t Count, TZooArchiveHeader& Header);
};

struct TZooEntry {
  // The fixed part up to the 8.3 name; the variable part (long name, folder)
  // follows in entries of type 2.
  static constexpr std::size_t MinSize = 51;
  // What a walk reads per entry.
  static constexpr std::size_t Size = 58;
  static constexpr std::size_t NameFieldSize = 13;

  UInt32 Tag = 0;
  Byte Type = 0;
  Byte Method = 0;
  UInt32 NextEntry = 0;
  UInt32 DataOffset = 0;
  UInt16 Date = 0;
  UInt16 Time = 0;
  UInt16 Crc16 = 0;
  UInt32 UnpackedSize = 0;
  UInt32 PackedSize = 0;
  Byte MajorVersion = 0;
  Byte MinorVersion = 0;
  Byte Deleted = 0;
  Byte Structure = 0;
  UInt32 CommentOffset = 0;
  UInt16 CommentLength = 0;
  // The name field's bytes up to its first NUL.
  std::string Name;
  // Entries of type 2, when the 58 bytes were there: the size of the
  // variable part that starts at byte 56, and the sizes of the long name
  // and the folder that follow the 58 bytes in that order.
  UInt16 VariableSize = 0;
  Byte LongNameSize = 0;
  Byte FolderSize = 0;
  // Set by TakeVariableNames; each up to its first NUL.
  std::string LongName;
  std::string Folder;

  bool HasTag() const { return Tag == kZooTag; }
  // The entry that closes the chain: a next offset of 0, or one that reads
  // as negative.
  bool IsTerminator() const { return static_cast<Int32>(NextEntry) <= 0; }
  // Packed DOS date-time: date in the high word.
  UInt32 DosDateTime() const { return static_cast<UInt32>(Date) << 16 | Time; }
  // False when Count is below MinSize.
  static bool Parse(const Byte* Data, std::size_t Count, TZooEntry& Entry);

  // Bytes of long name and folder after the 58; 0 when the entry has none
  // or its variable part is too small to hold what it claims.
  std::size_t VariableNamesSize() const;
  // Takes the long name and the folder from the VariableNamesSize() bytes
  // that follow the 58 (fewer when Count is short: those missing stay empty).
  void TakeVariableNames(const Byte* Data, std::size_t Count);
  // The stored path: the folder, "/", then the long name or else the name
  // field; separators as stored.
  std::string StoredPath() const;
};

}  // namespace vsk
