#pragma once
// Records of MsGZ archives, which the lister walks but no reader extracts:
// a 54-byte archive header that locates a list of folder records, then the
// entry records. Only the fields the lister needs are parsed. Numbers are
// little-endian.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/types.h"

namespace vsk {

struct TMsGzArchiveHeader {
  static constexpr std::size_t Size = 54;
  UInt32 FolderListOffset = 0;
  // False when Count is below Size.
  static bool Parse(const Byte* Data, std::size_t Count, TMsGzArchiveHeader& Header);
};

// A folder record: 6 bytes whose byte 2 is the record's total length,
// followed by the folder name; a length of 0 closes the list.
struct TMsGzFolderRecord {
  static constexpr std::size_t HeadSize = 6;
  // The entries begin this many bytes before the end of the closing record.
  static constexpr Int64 EntriesOverlap = 4;
  // Folder indexes are 16-bit: more folders than that cannot be named.
  static constexpr std::size_t MaxFolders = 65536;
};

// Reads up to Count bytes at Pos; what was read (0 outside the file).
using TMsGzReader = std::function<Int32(Int64 Pos, void* Buffer, Int32 Count)>;

// Reads the folder list that starts at Start into Folders (in reading order)
// and gives where the first entry lies. False for a list that runs past the
// end of the file or holds a record shorter than its own head.
bool ReadMsGzFolders(const TMsGzReader& Read, Int64 Start, std::vector<std::string>& Folders, Int64& FirstEntry);

struct TMsGzEntry {
  static constexpr std::size_t Size = 29;

  UInt16 FolderIndex = 0;
  UInt32 UnpackedSize = 0;
  UInt32 PackedSize = 0;
  UInt32 EntryOffset = 0;
  UInt32 DosDateTime = 0;
  UInt32 Attributes = 0;
  UInt16 RecordLength = 0;
  Byte NameLength = 0;

  // The record holds its fixed part and its name.
  bool Valid() const { return RecordLength >= Size + NameLength; }
  Int64 NextOffset(Int64 RecordOffset) const { return RecordOffset + RecordLength; }
  // False when Count is below Size.
  static bool Parse(const Byte* Data, std::size_t Count, TMsGzEntry& Entry);
};

}  // namespace vsk
