#include "archive/formats/msgz/msgzrecord.h"

#include "base/records/ziprecords.h"

namespace vsk {

bool TMsGzArchiveHeader::Parse(const Byte* Data, std::size_t Count, TMsGzArchiveHeader& Header) {
  if (Count < Size) return false;
  Header.FolderListOffset = GetLE32(Data + 41);
  return true;
}

bool ReadMsGzFolders(const TMsGzReader& Read, Int64 Start, std::vector<std::string>& Folders, Int64& FirstEntry) {
  Folders.clear();
  Int64 pos = Start;
  Byte head[TMsGzFolderRecord::HeadSize];
  char name[256];
  for (;;) {
    if (Read(pos, head, sizeof head) != static_cast<Int32>(sizeof head)) return false;
    const Byte length = head[2];
    if (length == 0) break;
    if (length < TMsGzFolderRecord::HeadSize) return false;
    const Int32 nameSize = length - static_cast<Int32>(TMsGzFolderRecord::HeadSize);
    if (nameSize > 0 && Read(pos + static_cast<Int64>(sizeof head), name, nameSize) != nameSize) return false;
    if (Folders.size() < TMsGzFolderRecord::MaxFolders) {
      std::string folder(name, static_cast<std::size_t>(nameSize));
      if (const auto nul = folder.find('\0'); nul != std::string::npos) folder.resize(nul);
      Folders.push_back(std::move(folder));
    }
    pos += length;
  }
  FirstEntry = pos + static_cast<Int64>(TMsGzFolderRecord::HeadSize) - TMsGzFolderRecord::EntriesOverlap;
  return true;
}

bool TMsGzEntry::Parse(const Byte* Data, std::size_t Count, TMsGzEntry& Entry) {
  if (Count < Size) return false;
  Entry.FolderIndex = GetLE16(Data);
  Entry.UnpackedSize = GetLE32(Data + 2);
  Entry.PackedSize = GetLE32(Data + 6);
  Entry.EntryOffset = GetLE32(Data + 10);
  Entry.DosDateTime = GetLE32(Data + 14);
  Entry.Attributes = GetLE32(Data + 18);
  Entry.RecordLength = GetLE16(Data + 22);
  Entry.NameLength = Data[28];
  return true;
}

}  // namespace vsk
