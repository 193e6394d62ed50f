#include "archive/formats/arj/arjheader.h"

#include <cstring>

#include "base/records/ziprecords.h"

namespace vsk {

namespace {

// The NUL-terminated text at From, ending at End when it has no NUL; From
// moves past the NUL.
std::string TakeText(const Byte* Data, std::size_t& From, std::size_t End) {
  if (From >= End) return {};
  const void* nul = std::memchr(Data + From, 0, End - From);
  const std::size_t stop = nul ? static_cast<std::size_t>(static_cast<const Byte*>(nul) - Data) : End;
  std::string text(reinterpret_cast<const char*>(Data + From), stop - From);
  From = nul ? stop + 1 : End;
  return text;
}

}  // namespace

TArjParse TArjHeader::ParseId(const Byte* Data, std::size_t Count) {
  if (Count < kArjIdSize || GetLE16(Data) != kArjHeaderId) return TArjParse::Invalid;
  BasicSize = GetLE16(Data + 2);
  if (BasicSize == 0) return TArjParse::End;
  if (BasicSize > kArjMaxBasicHeader) return TArjParse::Invalid;
  return TArjParse::Ok;
}

TArjParse TArjHeader::Parse(const Byte* Data, std::size_t Count) {
  const TArjParse id = ParseId(Data, Count);
  if (id != TArjParse::Ok) return id;
  if (Count < static_cast<std::size_t>(Size())) return TArjParse::Invalid;
  const Byte* b = Data + kArjIdSize;
  FirstSize = b[0];
  if (FirstSize < kArjMinFirstHeader || FirstSize > BasicSize) return TArjParse::Invalid;
  Version = b[1];
  MinVersion = b[2];
  HostOS = b[3];
  Flags = b[4];
  Method = b[5];
  FileType = b[6];
  PasswordModifier = b[7];
  DosDateTime = GetLE32(b + 8);
  PackedSize = GetLE32(b + 12);
  UnpackedSize = GetLE32(b + 16);
  Crc32 = GetLE32(b + 20);
  EntryNamePos = GetLE16(b + 24);
  AccessMode = GetLE16(b + 26);
  HostData = GetLE16(b + 28);
  std::size_t at = FirstSize;
  Name = TakeText(b, at, BasicSize);
  Comment = TakeText(b, at, BasicSize);
  HeaderCrc = GetLE32(b + BasicSize);
  ExtendedSize = GetLE16(b + BasicSize + 4);
  return TArjParse::Ok;
}

Int64 ArjDataOffset(const TArjHeader& Header, Int64 HeaderOffset, Int64 Limit, const TArjReadAt& Read) {
  Int64 pos = HeaderOffset + Header.Size();
  UInt16 size = Header.ExtendedSize;
  while (size != 0) {
    // Each extended header is followed by its CRC and the next one's size.
    pos += static_cast<Int64>(size) + 4;
    if (pos + 2 > Limit) return -1;
    Byte next[2];
    if (Read(pos, next, 2) != 2) return -1;
    size = GetLE16(next);
    pos += 2;
  }
  return pos;
}

}  // namespace vsk
