#include "archive/formats/ha/harecord.h"

#include <algorithm>
#include <cstring>

#include "base/records/ziprecords.h"

namespace vsk {

namespace {

// The NUL-terminated string at Data; false when no NUL comes within
// MaxString + 1 bytes or Count.
bool TakeString(const Byte* Data, std::size_t Count, std::string& Text, std::size_t& Used) {
  const std::size_t limit = std::min(Count, THaEntry::MaxString + 1);
  const void* nul = std::memchr(Data, 0, limit);
  if (!nul) return false;
  const auto length = static_cast<std::size_t>(static_cast<const Byte*>(nul) - Data);
  Text.assign(reinterpret_cast<const char*>(Data), length);
  Used = length + 1;
  return true;
}

}  // namespace

bool THaEntry::ParseFixed(const Byte* Data, std::size_t Count, THaEntry& Entry) {
  if (Count < FixedSize) return false;
  Entry.Type = Data[0];
  Entry.PackedSize = GetLE32(Data + 1);
  Entry.UnpackedSize = GetLE32(Data + 5);
  Entry.Crc32 = GetLE32(Data + 9);
  Entry.Time = GetLE32(Data + 13);
  return true;
}

bool THaEntry::ParseNames(const Byte* Data, std::size_t Count, THaEntry& Entry) {
  std::size_t pathUsed = 0, nameUsed = 0;
  if (!TakeString(Data, Count, Entry.Path, pathUsed)) return false;
  if (!TakeString(Data + pathUsed, Count - pathUsed, Entry.Name, nameUsed)) return false;
  Entry.NamesSize = pathUsed + nameUsed;
  return true;
}

}  // namespace vsk
