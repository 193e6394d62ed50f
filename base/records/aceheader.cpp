#include "base/records/aceheader.h"

#include <cstring>

#include "base/checksum.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

// The counted part of the main header up to its AV-string size byte.
constexpr UInt16 kMainCounted = kAceMainFixedSize - kAceHeadPrefix;
constexpr UInt16 kFileCounted = kAceFileFixedSize - kAceHeadPrefix;

}  // namespace

bool TAceMainHeader::Parse(const Byte* Data, std::size_t Count) {
  if (Count < kAceMainFixedSize || Data[4] != kAceTypeMain) return false;
  if (std::memcmp(Data + 7, kAceMark, kAceMarkSize) != 0) return false;
  HeadCrc = GetLE16(Data);
  HeadSize = GetLE16(Data + 2);
  if (HeadSize < kMainCounted) return false;
  Flags = GetLE16(Data + 5);
  VersionExtract = Data[14];
  VersionCreated = Data[15];
  HostCreated = Data[16];
  VolumeNumber = Data[17];
  CreationTime = GetLE32(Data + 18);
  return true;
}

bool TAceFileHeader::ParseFixed(const Byte* Data, std::size_t Count) {
  if (Count < kAceFileFixedSize || Data[4] != kAceTypeFile) return false;
  HeadCrc = GetLE16(Data);
  HeadSize = GetLE16(Data + 2);
  Flags = GetLE16(Data + 5);
  PackedSize = GetLE32(Data + 7);
  OriginalSize = GetLE32(Data + 11);
  DosDateTime = GetLE32(Data + 15);
  Attributes = GetLE32(Data + 19);
  Crc32 = GetLE32(Data + 23);
  CompressionType = Data[27];
  Quality = Data[28];
  Parameter = GetLE16(Data + 29);
  NameSize = GetLE16(Data + 33);
  Name.clear();
  return HeadSize >= kFileCounted && NameSize <= HeadSize - kFileCounted;
}

void TAceFileHeader::SetName(const Byte* Data, std::size_t Count) {
  Name.assign(reinterpret_cast<const char*>(Data), Count < NameSize ? Count : NameSize);
}

UInt16 AceHeaderCrc(const Byte* Data, std::size_t Count) {
  UInt32 crc = 0xFFFFFFFFu;
  UpdateCrc32(Data, Count, crc);
  return static_cast<UInt16>(crc);
}

}  // namespace vsk
