#include "base/records/elf.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vsk {

namespace {

constexpr Byte kClass32 = 1;
constexpr Byte kClass64 = 2;
constexpr Byte kDataLittle = 1;
constexpr Byte kDataBig = 2;
constexpr UInt32 kSectionNoBits = 8;
// Extended numbering: the real counts are kept in the first section header.
constexpr UInt16 kPhnumExtended = 0xFFFF;
// Tables larger than this belong to no program a self-extractor is built on.
constexpr UInt64 kMaxTableBytes = 16u << 20;

class TElfLayout {
 public:
  TElfLayout(const TElfReadAt& ReadAt, UInt64 FileSize, bool Is64, bool Big)
      : FReadAt(ReadAt), FFileSize(FileSize), F64(Is64), FBig(Big) {}

  UInt64 Size() {
    Byte h[64] = {};
    const std::size_t headerSize = F64 ? 64 : 52;
    if (FFileSize < headerSize || !FReadAt(0, h, headerSize)) return 0;
    const UInt64 phoff = F64 ? U64(h + 32) : U32(h + 28);
    const UInt64 shoff = F64 ? U64(h + 40) : U32(h + 32);
    const Byte* counts = h + (F64 ? 54 : 42);
    const UInt64 phentsize = U16(counts), shentsize = U16(counts + 4);
    UInt64 phnum = U16(counts + 2), shnum = U16(counts + 6);
    const UInt64 phMin = F64 ? 56 : 32, shMin = F64 ? 64 : 40;

    FEnd = headerSize;
    std::vector<Byte> sections;
    // No table offset, no section table, whatever count the header gives.
    if (shoff == 0) shnum = 0;
    if (shoff != 0) {
      if (shentsize < shMin) return 0;
      // With extended numbering the first section header holds the counts.
      if (shnum == 0 || phnum == kPhnumExtended) {
        Byte first[64];
        if (!Within(shoff, shMin) || !FReadAt(shoff, first, shMin)) return 0;
        if (shnum == 0) shnum = F64 ? U64(first + 32) : U32(first + 20);
        if (phnum == kPhnumExtended) phnum = U32(first + (F64 ? 44 : 28));
      }
      if (!ReadTable(shoff, shnum, shentsize, sections)) return 0;
    }
    std::vector<Byte> segments;
    if (phnum != 0 && (phentsize < phMin || !ReadTable(phoff, phnum, phentsize, segments))) return 0;

    for (UInt64 i = 0; i < phnum; ++i) {
      const Byte* p = segments.data() + i * phentsize;
      const UInt64 offset = F64 ? U64(p + 8) : U32(p + 4);
      const UInt64 size = F64 ? U64(p + 32) : U32(p + 16);
      if (size != 0 && !Extend(offset, size)) return 0;
    }
    for (UInt64 i = 0; i < shnum; ++i) {
      const Byte* s = sections.data() + i * shentsize;
      if (U32(s + 4) == kSectionNoBits || U32(s + 4) == 0) continue;
      const UInt64 offset = F64 ? U64(s + 24) : U32(s + 16);
      const UInt64 size = F64 ? U64(s + 32) : U32(s + 20);
      if (size != 0 && !Extend(offset, size)) return 0;
    }
    return FEnd;
  }

 private:
  bool Within(UInt64 Offset, UInt64 Count) const { return Offset <= FFileSize && Count <= FFileSize - Offset; }

  // Counts the bytes Offset..Offset+Count into the image; false when they
  // lie beyond the file.
  bool Extend(UInt64 Offset, UInt64 Count) {
    if (!Within(Offset, Count)) return false;
    FEnd = std::max(FEnd, Offset + Count);
    return true;
  }

  bool ReadTable(UInt64 Offset, UInt64 Count, UInt64 EntrySize, std::vector<Byte>& Table) {
    if (Count > kMaxTableBytes / EntrySize) return false;
    const UInt64 bytes = Count * EntrySize;
    if (!Extend(Offset, bytes)) return false;
    Table.resize(static_cast<std::size_t>(bytes));
    return bytes == 0 || FReadAt(Offset, Table.data(), Table.size());
  }

  UInt64 Get(const Byte* p, int n) const {
    UInt64 v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<UInt64>(p[FBig ? n - 1 - i : i]) << (8 * i);
    return v;
  }
  UInt64 U16(const Byte* p) const { return Get(p, 2); }
  UInt64 U32(const Byte* p) const { return Get(p, 4); }
  UInt64 U64(const Byte* p) const { return Get(p, 8); }

  const TElfReadAt& FReadAt;
  UInt64 FFileSize;
  bool F64;
  bool FBig;
  UInt64 FEnd = 0;
};

}  // namespace

bool IsElfImage(const Byte* Head, std::size_t Count) {
  return Count >= 4 && std::memcmp(Head, "\x7F" "ELF", 4) == 0;
}

UInt64 ElfImageSize(const TElfReadAt& ReadAt, UInt64 FileSize) {
  Byte ident[16];
  if (FileSize < sizeof ident || !ReadAt(0, ident, sizeof ident) || !IsElfImage(ident, sizeof ident)) return 0;
  if ((ident[4] != kClass32 && ident[4] != kClass64) || (ident[5] != kDataLittle && ident[5] != kDataBig)) return 0;
  return TElfLayout(ReadAt, FileSize, ident[4] == kClass64, ident[5] == kDataBig).Size();
}

}  // namespace vsk
