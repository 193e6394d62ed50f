#include "archive/formats/zoo/zooheader.h"

#include <cstring>

#include "archive/formats/zip/ziprecords.h"

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
  return true;
}

}  // namespace vsk
