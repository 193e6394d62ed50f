#include "archive/formats/gzip/gzipheader.h"

#include <algorithm>
#include <cstring>

#include "base/records/ziprecords.h"

namespace vsk {

TGzipKind GzipKindOf(Byte B0, Byte B1) {
  if (B0 != 0x1F) return TGzipKind::None;
  switch (B1) {
    case 0x8B:
    case 0x9E:
      return TGzipKind::Gzip;
    case 0x9D:
      return TGzipKind::Compress;
    case 0x1E:
      return TGzipKind::Pack;
    case 0xA0:
      return TGzipKind::Lzh;
    default:
      return TGzipKind::None;
  }
}

namespace {

// A NUL-terminated text at Pos within Count bytes; Pos moves past the NUL.
bool TakeZText(const Byte* Data, std::size_t Count, std::size_t& Pos, std::string& Text) {
  if (Pos > Count) return false;
  const Byte* start = Data + Pos;
  const void* nul = std::memchr(start, 0, Count - Pos);
  if (!nul) return false;
  const auto len = static_cast<std::size_t>(static_cast<const Byte*>(nul) - start);
  Text.assign(reinterpret_cast<const char*>(start), std::min(len, kGzipMaxName));
  Pos += len + 1;
  return true;
}

}  // namespace

bool TGzipHeader::Parse(const Byte* Data, std::size_t Count) {
  *this = TGzipHeader{};
  if (Count < 2) return false;
  Magic0 = Data[0];
  Magic1 = Data[1];
  Kind = GzipKindOf(Magic0, Magic1);
  switch (Kind) {
    case TGzipKind::None:
      return false;
    case TGzipKind::Compress:
      if (Count < 3) return false;
      Method = Data[2];
      DataOffset = 3;
      return true;
    case TGzipKind::Pack:
    case TGzipKind::Lzh:
      DataOffset = 2;
      return true;
    case TGzipKind::Gzip:
      break;
  }
  if (Count < kGzipFixedHeaderSize) return false;
  Method = Data[2];
  Flags = Data[3];
  MTime = GetLE32(Data + 4);
  ExtraFlags = Data[8];
  OS = Data[9];
  std::size_t pos = kGzipFixedHeaderSize;
  // The 1F 9E form uses bit 1 for a multi-part member, whose 2-byte part
  // number comes first; in the 1F 8B form it asks for a header CRC last.
  const bool partNumber = (Flags & kGzipFlagHeaderCrc) && Magic1 == 0x9E;
  const bool headerCrc = (Flags & kGzipFlagHeaderCrc) && Magic1 == 0x8B;
  if (partNumber) {
    if (Count - pos < 2) return false;
    pos += 2;
  }
  if (Flags & kGzipFlagExtra) {
    if (Count - pos < 2) return false;
    ExtraLength = GetLE16(Data + pos);
    pos += 2;
    if (Count - pos < ExtraLength) return false;
    pos += ExtraLength;
  }
  if (Flags & kGzipFlagName) {
    HasName = true;
    if (!TakeZText(Data, Count, pos, Name)) return false;
  }
  if (Flags & kGzipFlagComment) {
    HasComment = true;
    if (!TakeZText(Data, Count, pos, Comment)) return false;
  }
  if (headerCrc) {
    if (Count - pos < 2) return false;
    pos += 2;
  }
  DataOffset = static_cast<Int64>(pos);
  return true;
}

void TGzipTrailer::Parse(const Byte* Data) {
  Crc32 = GetLE32(Data);
  ISize = GetLE32(Data + 4);
}

Int64 GzipUnpackedSize(UInt32 ISize, Int64 Packed) {
  const Int64 size = ISize;
  const Int64 maxExpansion = size / 64 + 1024;
  if (Packed <= size + maxExpansion) return size;
  constexpr Int64 kWrap = Int64{1} << 32;
  return size + (Packed - size + kWrap - 1) / kWrap * kWrap;
}

}  // namespace vsk
