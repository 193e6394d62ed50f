#include "archive/formats/lha/lhaheader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/checksum.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

// Size of the first extended header's size field and of the smallest
// extended header (type byte and next-size field).
constexpr Int32 kExtSizeField = 2;
constexpr Int32 kMinExtHeader = 3;
// Level 2: fixed part without the name-length byte, CRC-16, OS byte and the
// first extended header's size.
constexpr Int32 kLevel2BaseSize = 26;

bool ReadExactly(const TArchiveReadAt& Read, Int64 Pos, Byte* Buffer, Int32 Count) {
  return Count == 0 || Read(Pos, Buffer, Count) == Count;
}

// Takes what the header needs from one extended header of Size bytes (type
// byte, data, next-size field).
void TakeExtended(const Byte* Ext, Int32 Size, TLhaHeader& H) {
  const char* data = reinterpret_cast<const char*>(Ext + 1);
  const auto length = static_cast<std::size_t>(Size - kMinExtHeader);
  switch (Ext[0]) {
    case kLhaExtFileName:
      H.Name.assign(data, length);
      break;
    case kLhaExtDirName: {
      std::string dir(data, length);
      std::replace(dir.begin(), dir.end(), kLhaDirSeparator, '\\');
      std::replace(dir.begin(), dir.end(), '/', '\\');
      while (!dir.empty() && dir.back() == '\\') dir.pop_back();
      H.Directory = std::move(dir);
      break;
    }
    case kLhaExtUnixMode:
      if (length >= 2) H.UnixMode = GetLE16(Ext + 1);
      break;
    default:
      break;
  }
}

void TakeFixed(const Byte* F, Int64 Offset, TLhaHeader& H) {
  H.Offset = Offset;
  std::memcpy(H.Method.data(), F + 2, H.Method.size());
  H.StoredPackedSize = H.PackedSize = GetLE32(F + 7);
  H.UnpackedSize = GetLE32(F + 11);
  H.TimeStamp = GetLE32(F + 15);
  H.Attribute = F[19];
  H.Level = F[20];
}

// Levels 0 and 1: the base header is the header-size byte plus 2 bytes.
TLhaStatus ParseLevel01(const Byte* Fixed, Int64 Limit, const TArchiveReadAt& Read, TLhaHeader& H) {
  const Int32 size = Fixed[0];
  const Int32 nameLength = Fixed[21];
  // Level 0 holds the name and the CRC-16; level 1 also the OS byte and the
  // first extended header's size.
  const Int32 least = kLhaFixedSize + nameLength + (H.Level == 1 ? 3 : 0);
  if (size < least) return TLhaStatus::BadHeader;
  const Int32 base = size + 2;
  if (H.Offset + base > Limit) return TLhaStatus::Truncated;
  Byte buf[257];
  std::memcpy(buf, Fixed, kLhaFixedSize);
  if (!ReadExactly(Read, H.Offset + kLhaFixedSize, buf + kLhaFixedSize, base - kLhaFixedSize))
    return TLhaStatus::Truncated;
  H.Name.assign(reinterpret_cast<const char*>(buf + kLhaFixedSize), static_cast<std::size_t>(nameLength));
  H.Crc16 = GetLE16(buf + kLhaFixedSize + nameLength);
  H.HeaderLength = base;
  if (H.Level == 0) return TLhaStatus::Ok;

  H.OsId = buf[kLhaFixedSize + nameLength + 2];
  // The first extended header's size closes the base header.
  UInt32 next = GetLE16(buf + base - kExtSizeField);
  Int64 pos = H.Offset + base;
  UInt32 extended = 0;
  std::vector<Byte> ext;
  while (next != 0) {
    if (next < kMinExtHeader || UInt64{extended} + next > H.StoredPackedSize) return TLhaStatus::BadHeader;
    if (pos + next > Limit) return TLhaStatus::Truncated;
    ext.resize(next);
    if (!ReadExactly(Read, pos, ext.data(), static_cast<Int32>(next))) return TLhaStatus::Truncated;
    TakeExtended(ext.data(), static_cast<Int32>(next), H);
    pos += next;
    extended += next;
    next = GetLE16(ext.data() + next - kExtSizeField);
  }
  H.PackedSize = H.StoredPackedSize - extended;
  H.HeaderLength = base + extended;
  return TLhaStatus::Ok;
}

TLhaStatus ParseLevel2(const Byte* Fixed, Int64 Limit, const TArchiveReadAt& Read, TLhaHeader& H) {
  // The OS byte lies behind the fixed part and decides how the size field
  // is meant, so the base header is read first.
  Byte base[kLevel2BaseSize];
  std::memcpy(base, Fixed, kLhaFixedSize);
  if (H.Offset + kLevel2BaseSize > Limit) return TLhaStatus::Truncated;
  if (!ReadExactly(Read, H.Offset + kLhaFixedSize, base + kLhaFixedSize, kLevel2BaseSize - kLhaFixedSize))
    return TLhaStatus::Truncated;
  Int32 total = GetLE16(Fixed);
  // OS-9/68k LHA counts the header without its own size field.
  if (base[23] == kLhaOsOs9) total += 2;
  if (total < kLevel2BaseSize) return TLhaStatus::BadHeader;
  if (H.Offset + total > Limit) return TLhaStatus::Truncated;
  std::vector<Byte> buf(static_cast<std::size_t>(total));
  std::memcpy(buf.data(), base, kLevel2BaseSize);
  if (!ReadExactly(Read, H.Offset + kLevel2BaseSize, buf.data() + kLevel2BaseSize, total - kLevel2BaseSize))
    return TLhaStatus::Truncated;
  H.Crc16 = GetLE16(buf.data() + 21);
  H.OsId = buf[23];
  H.HeaderLength = total;
  Int32 next = GetLE16(buf.data() + 24);
  Int32 pos = kLevel2BaseSize;
  // Where the header's own CRC-16 lies, when a common extended header
  // carries one (some writers, OS-9 LHA among them, leave it out).
  Int32 headerCrcAt = -1;
  while (next != 0) {
    if (next < kMinExtHeader || next > total - pos) return TLhaStatus::BadHeader;
    const Byte* ext = buf.data() + pos;
    if (ext[0] == kLhaExtHeaderCrc && next >= kMinExtHeader + 2) headerCrcAt = pos + 1;
    TakeExtended(ext, next, H);
    pos += next;
    next = GetLE16(ext + next - kExtSizeField);
  }
  if (headerCrcAt >= 0) {
    // The CRC covers the whole header with its own field counted as zero.
    const UInt16 stored = GetLE16(buf.data() + headerCrcAt);
    buf[static_cast<std::size_t>(headerCrcAt)] = buf[static_cast<std::size_t>(headerCrcAt) + 1] = 0;
    if (Crc16Of(buf.data(), buf.size()) != stored) return TLhaStatus::BadHeader;
  }
  return TLhaStatus::Ok;
}

// Amiga archivers store a file comment behind the name, separated by a NUL.
void SplitComment(TLhaHeader& H) {
  const auto nul = H.Name.find('\0');
  if (nul == std::string::npos) return;
  H.Comment = H.Name.substr(nul + 1);
  H.Comment.resize(std::min(H.Comment.find('\0'), H.Comment.size()));
  H.Name.resize(nul);
}

}  // namespace

char TLhaHeader::MethodLetter() const {
  if (Method[0] != '-' || Method[1] != 'l' || Method[2] != 'h' || Method[4] != '-') return 0;
  return Method[3];
}

std::string TLhaHeader::StoredName() const {
  if (Directory.empty()) return Name;
  std::string_view name = Name;
  while (!name.empty() && (name.front() == '\\' || name.front() == '/')) name.remove_prefix(1);
  std::string r = Directory;
  r += '\\';
  r.append(name);
  return r;
}

TLhaStatus TLhaHeader::Parse(const Byte* Fixed, Int32 Got, Int64 Offset, Int64 Limit, const TArchiveReadAt& Read,
                             TLhaHeader& Out) {
  Out = TLhaHeader{};
  if (Got < 1) return TLhaStatus::Truncated;
  // A level-2 header may be 256 bytes and more long: its low size byte is
  // then 0, which on the other levels is the end mark.
  const bool level2 = Got >= kLhaFixedSize && Fixed[20] == 2;
  if (level2 ? GetLE16(Fixed) == 0 : Fixed[0] == 0) return TLhaStatus::EndOfArchive;
  if (Got < kLhaFixedSize || Offset < 0 || Offset + kLhaFixedSize > Limit) return TLhaStatus::Truncated;
  TakeFixed(Fixed, Offset, Out);
  TLhaStatus status = TLhaStatus::UnknownLevel;
  switch (Out.Level) {
    case 0:
    case 1:
      status = ParseLevel01(Fixed, Limit, Read, Out);
      break;
    case 2:
      status = ParseLevel2(Fixed, Limit, Read, Out);
      break;
    default:
      break;
  }
  if (status == TLhaStatus::Ok) SplitComment(Out);
  return status;
}

}  // namespace vsk
