#include "archive/formats/rar/rarheader.h"

#include <cstring>

#include "archive/core/checksum.h"
#include "archive/formats/zip/ziprecords.h"

namespace vsk {

bool TRarBlockHead::Parse(const Byte* Data, std::size_t Count) {
  if (Count < kRarHeadSize) return false;
  Crc = GetLE16(Data);
  Type = Data[2];
  Flags = GetLE16(Data + 3);
  Size = GetLE16(Data + 5);
  AddSize = 0;
  if (Size < kRarHeadSize) return false;
  if (IsLong()) {
    if (Count < kRarHeadSize + 4) return false;
    AddSize = GetLE32(Data + 7);
  }
  return true;
}

bool TRarFileHeader::Parse(const Byte* Data, std::size_t Count) {
  if (!Head.Parse(Data, Count) || Head.Type != kRarBlockFile) return false;
  std::size_t fixed = kRarFileFixedSize + ((Head.Flags & kRarFileLarge) ? 8 : 0);
  if (Head.Size < fixed || Count < fixed) return false;
  PackedSize = GetLE32(Data + 7);
  UnpackedSize = GetLE32(Data + 11);
  HostOS = Data[15];
  FileCrc = GetLE32(Data + 16);
  DosDateTime = GetLE32(Data + 20);
  Version = Data[24];
  Method = Data[25];
  NameSize = GetLE16(Data + 26);
  Attributes = GetLE32(Data + 28);
  if (Head.Flags & kRarFileLarge) {
    PackedSize |= static_cast<UInt64>(GetLE32(Data + 32)) << 32;
    UnpackedSize |= static_cast<UInt64>(GetLE32(Data + 36)) << 32;
  }
  if (NameSize > Head.Size - fixed || NameSize > Count - fixed) return false;
  const Byte* name = Data + fixed;
  const void* nul = std::memchr(name, 0, NameSize);
  const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const Byte*>(nul) - name) : NameSize;
  Name.assign(reinterpret_cast<const char*>(name), length);
  return true;
}

bool TRarFileHeader::IsDirectory() const {
  if ((Head.Flags & kRarFileDictionaryMask) == kRarFileDictionaryMask) return true;
  return HostOS == kRarHostUnix ? (Attributes & 0x4000) != 0 : (Attributes & 0x10) != 0;
}

UInt32 TRarFileHeader::DosAttributes() const {
  if (HostOS == kRarHostUnix) return IsDirectory() ? 0x10 : 0x20;
  return Attributes;
}

UInt16 RarHeaderCrc(const Byte* Data, std::size_t Count) { return static_cast<UInt16>(Crc32Of(Data, Count)); }

}  // namespace vsk
