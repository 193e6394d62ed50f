#include "base/records/cabheader.h"

#include <algorithm>
#include <cstring>

#include "base/records/ziprecords.h"

namespace vsk {

bool ParseCabName(const Byte* Data, std::size_t Count, std::string& Name, std::size_t& Used) {
  const std::size_t reach = std::min(Count, kCabMaxName);
  const void* nul = std::memchr(Data, 0, reach);
  if (!nul) return false;
  const auto len = static_cast<std::size_t>(static_cast<const Byte*>(nul) - Data);
  Name.assign(reinterpret_cast<const char*>(Data), len);
  Used = len + 1;
  return true;
}

bool TCabHeader::Parse(const Byte* Data, std::size_t Count) {
  *this = TCabHeader{};
  if (Count < kCabFixedHeaderSize || std::memcmp(Data, "MSCF", 4) != 0) return false;
  CabinetSize = GetLE32(Data + 8);
  FilesOffset = GetLE32(Data + 16);
  VersionMinor = Data[24];
  VersionMajor = Data[25];
  FolderCount = GetLE16(Data + 26);
  FileCount = GetLE16(Data + 28);
  Flags = GetLE16(Data + 30);
  SetID = GetLE16(Data + 32);
  CabinetIndex = GetLE16(Data + 34);
  std::size_t pos = kCabFixedHeaderSize;
  if (Flags & kCabFlagReservePresent) {
    if (Count - pos < 4) return false;
    HeaderReserve = GetLE16(Data + pos);
    FolderReserve = Data[pos + 2];
    DataReserve = Data[pos + 3];
    pos += 4;
    if (Count - pos < HeaderReserve) return false;
    pos += HeaderReserve;
  }
  auto name = [&](std::string& Text) {
    std::size_t used = 0;
    if (pos > Count || !ParseCabName(Data + pos, Count - pos, Text, used)) return false;
    pos += used;
    return true;
  };
  if ((Flags & kCabFlagPrevCabinet) && !(name(PrevCabinet) && name(PrevDisk))) return false;
  if ((Flags & kCabFlagNextCabinet) && !(name(NextCabinet) && name(NextDisk))) return false;
  FoldersOffset = static_cast<Int64>(pos);
  return true;
}

bool TCabHeader::ParseFolders(const Byte* Data, std::size_t Count, std::vector<TCabFolder>& Folders) const {
  Folders.clear();
  if (static_cast<Int64>(Count) < FoldersSize()) return false;
  Folders.reserve(FolderCount);
  const std::size_t step = kCabFolderSize + FolderReserve;
  for (std::size_t i = 0; i < FolderCount; ++i) {
    const Byte* p = Data + i * step;
    Folders.push_back({GetLE32(p), GetLE16(p + 4), GetLE16(p + 6)});
  }
  return true;
}

void TCabFileRecord::Parse(const Byte* Data) {
  Size = GetLE32(Data);
  FolderOffset = GetLE32(Data + 4);
  FolderIndex = GetLE16(Data + 8);
  Date = GetLE16(Data + 10);
  Time = GetLE16(Data + 12);
  Attributes = GetLE16(Data + 14);
}

int TCabFileRecord::FolderOf(std::size_t FolderCount) const {
  if (FolderCount == 0) return -1;
  switch (FolderIndex) {
    case kCabFolderContinuedFromPrev:
    case kCabFolderContinuedPrevAndNext:
      return 0;
    case kCabFolderContinuedToNext:
      return static_cast<int>(FolderCount - 1);
    default:
      return FolderIndex < FolderCount ? FolderIndex : -1;
  }
}

}  // namespace vsk
