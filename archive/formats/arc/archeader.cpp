#include "archive/formats/arc/archeader.h"

#include <cstring>

#include "base/records/ziprecords.h"

namespace vsk {

bool TArcHeader::IsEntry(const Byte* Data, std::size_t Count) {
  return Count >= 2 && Data[0] == kMarker && Data[1] != kMethodEnd && Data[1] <= kMethodLast;
}

bool TArcHeader::Parse(const Byte* Data, std::size_t Count, bool Pak, TArcHeader& Header) {
  if (!IsEntry(Data, Count)) return false;
  const Byte method = Data[1];
  const std::size_t size = method == kMethodOldStored ? OldStoredSize : Size;
  if (Count < size) return false;
  Header = TArcHeader{};
  Header.Method = method;
  Header.HeaderSize = size;
  const auto* name = reinterpret_cast<const char*>(Data + 2);
  Header.Name.assign(name, strnlen(name, NameFieldSize));
  Header.PackedSize = GetLE32(Data + 15);
  Header.Date = GetLE16(Data + 19);
  Header.Time = GetLE16(Data + 21);
  Header.Crc16 = GetLE16(Data + 23);
  Header.UnpackedSize = method == kMethodOldStored ? Header.PackedSize : GetLE32(Data + 25);
  if (!Pak && Header.IsDirectory()) {
    Header.Name += '\\';
    Header.PackedSize = Header.UnpackedSize = 0;
  }
  return true;
}

}  // namespace vsk
