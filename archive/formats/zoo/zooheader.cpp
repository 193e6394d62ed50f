#include "archive/formats/zoo/zooheader.h"

#include <cstring>

#include "base/records/ziprecords.h"

namespace vsk {

bool TZooArchiveHeader::Parse(const Byte* Data, std::size_t Count, TZooArchiveHeader& Header) {
  if (Count < MinSize) return false;
  Header.Tag = GetLE32(Data + 20);
  Header.FirstEntry = GetLE32(Data + 24);
  Header.FirstEntryCheck = GetLE32(Data + 28);
  Header.MajorVersion = Data[32];
  Header.MinorVersion = Data[33];
  Header.Type = Data[34];
  Header.CommentOffset = GetLE32(Data + 35);
  Header.CommentLength = GetLE16(Data + 39);
  return true;
}

bool TZooEntry::Parse(const Byte* Data, std::size_t Count, TZooEntry& Entry) {
  if (Count < MinSize) return false;
  Entry.Tag = GetLE32(Data);
  Entry.Type = Data[4];
  Entry.Method = Data[5];
  Entry.NextEntry = GetLE32(Data + 6);
  Entry.DataOffset = GetLE32(Data + 10);
  Entry.Date = GetLE16(Data + 14);
  Entry.Time = GetLE16(Data + 16);
  Entry.Crc16 = GetLE16(Data + 18);
  Entry.UnpackedSize = GetLE32(Data + 20);
  Entry.PackedSize = GetLE32(Data + 24);
  Entry.MajorVersion = Data[28];
  Entry.MinorVersion = Data[29];
  Entry.Deleted = Data[30];
  Entry.Structure = Data[31];
  Entry.CommentOffset = GetLE32(Data + 32);
  Entry.CommentLength = GetLE16(Data + 36);
  const auto* name = reinterpret_cast<const char*>(Data + 38);
  Entry.Name.assign(name, strnlen(name, NameFieldSize));
  Entry.VariableSize = 0;
  Entry.LongNameSize = Entry.FolderSize = 0;
  Entry.LongName.clear();
  Entry.Folder.clear();
  if (Entry.Type == 2 && Count >= Size) {
    Entry.VariableSize = GetLE16(Data + 51);
    Entry.LongNameSize = Data[56];
    Entry.FolderSize = Data[57];
  }
  return true;
}

std::size_t TZooEntry::VariableNamesSize() const {
  // The variable part counts its two size bytes too.
  const std::size_t names = static_cast<std::size_t>(LongNameSize) + FolderSize;
  if (Type != 2 || VariableSize < 2 || names + 2 > VariableSize) return 0;
  return names;
}

void TZooEntry::TakeVariableNames(const Byte* Data, std::size_t Count) {
  LongName.clear();
  Folder.clear();
  if (VariableNamesSize() == 0) return;
  const auto take = [&](std::size_t At, std::size_t Size, std::string& Out) {
    if (At + Size > Count) return;
    const auto* text = reinterpret_cast<const char*>(Data + At);
    Out.assign(text, strnlen(text, Size));
  };
  take(0, LongNameSize, LongName);
  take(LongNameSize, FolderSize, Folder);
}

std::string TZooEntry::StoredPath() const {
  const std::string& name = LongName.empty() ? Name : LongName;
  if (Folder.empty()) return name;
  const char last = Folder.back();
  return last == '/' || last == '\\' ? Folder + name : Folder + "/" + name;
}

}  // namespace vsk
