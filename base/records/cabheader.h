#pragma once
// The records of a cabinet file: the cabinet header with its optional
// reserve sizes and the names of the previous and next cabinets of a set,
// the folder records, and the 16-byte file records with their names.
// Numbers are little-endian.

#include <cstddef>
#include <string>
#include <vector>

#include "base/types.h"

namespace vsk {

inline constexpr std::size_t kCabFixedHeaderSize = 36;
inline constexpr std::size_t kCabFolderSize = 8;
inline constexpr std::size_t kCabFileRecordSize = 16;
// Names are at most 255 bytes and a NUL.
inline constexpr std::size_t kCabMaxName = 256;
// The largest header: the fixed part, the reserve sizes, a 60000-byte
// header reserve and four names.
inline constexpr std::size_t kCabMaxHeaderSize = kCabFixedHeaderSize + 4 + 60000 + 4 * kCabMaxName;

// Header flags.
inline constexpr UInt16 kCabFlagPrevCabinet = 0x0001;
inline constexpr UInt16 kCabFlagNextCabinet = 0x0002;
inline constexpr UInt16 kCabFlagReservePresent = 0x0004;

// File record folder indexes that name no folder of their own.
inline constexpr UInt16 kCabFolderContinuedFromPrev = 0xFFFD;
inline constexpr UInt16 kCabFolderContinuedToNext = 0xFFFE;
inline constexpr UInt16 kCabFolderContinuedPrevAndNext = 0xFFFF;

// File attribute bits beyond the DOS ones.
inline constexpr UInt16 kCabAttrNameIsUtf8 = 0x80;

struct TCabFolder {
  UInt32 DataOffset = 0;  // first data block
  UInt16 DataBlocks = 0;
  UInt16 CompressionType = 0;
};

struct TCabHeader {
  UInt32 CabinetSize = 0;
  UInt32 FilesOffset = 0;
  Byte VersionMinor = 0;
  Byte VersionMajor = 0;
  UInt16 FolderCount = 0;
  UInt16 FileCount = 0;
  UInt16 Flags = 0;
  UInt16 SetID = 0;
  UInt16 CabinetIndex = 0;
  UInt16 HeaderReserve = 0;
  Byte FolderReserve = 0;
  Byte DataReserve = 0;
  // Empty when the flag for them is clear.
  std::string PrevCabinet, PrevDisk, NextCabinet, NextDisk;
  // Where the folder records begin: right after the header.
  Int64 FoldersOffset = 0;

  // Parses the header from the first Count bytes of a cabinet. False
  // without the "MSCF" signature or when a part runs past Count.
  bool Parse(const Byte* Data, std::size_t Count);
  // Bytes the folder records take.
  Int64 FoldersSize() const { return static_cast<Int64>(FolderCount) * (kCabFolderSize + FolderReserve); }
  // Parses the folder records from the bytes at FoldersOffset; false when
  // Count holds fewer than FoldersSize().
  bool ParseFolders(const Byte* Data, std::size_t Count, std::vector<TCabFolder>& Folders) const;
};

struct TCabFileRecord {
  UInt32 Size = 0;
  UInt32 FolderOffset = 0;
  UInt16 FolderIndex = 0;
  UInt16 Date = 0;
  UInt16 Time = 0;
  UInt16 Attributes = 0;

  void Parse(const Byte* Data);  // kCabFileRecordSize bytes
  UInt32 DosDateTime() const { return static_cast<UInt32>(Date) << 16 | Time; }
  bool ContinuedFromPrev() const {
    return FolderIndex == kCabFolderContinuedFromPrev || FolderIndex == kCabFolderContinuedPrevAndNext;
  }
  // The folder that holds the data's start, or -1 for an index outside
  // the cabinet's folders.
  int FolderOf(std::size_t FolderCount) const;
};

// A NUL-terminated name of at most kCabMaxName bytes with its NUL at the
// start of Data; Used becomes its length with the NUL. False when no NUL
// lies within reach.
bool ParseCabName(const Byte* Data, std::size_t Count, std::string& Name, std::size_t& Used);

}  // namespace vsk
