#include "platform/pe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/codepage.h"

namespace vsk {

namespace {

constexpr UInt32 kRtString = 6;
constexpr UInt32 kLangNeutral = 0;
constexpr UInt32 kLangEnglishUs = 0x409;
// The loader refuses images with more sections than this.
constexpr UInt32 kMaxSections = 96;
// A string block holds 16 strings of at most 65535 UTF-16 units each.
constexpr UInt32 kMaxStringBlock = 16 * (2 + 2 * 65535);

UInt16 Le16(const Byte* p) { return static_cast<UInt16>(p[0] | (p[1] << 8)); }
UInt32 Le32(const Byte* p) {
  return static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) | (static_cast<UInt32>(p[2]) << 16) |
         (static_cast<UInt32>(p[3]) << 24);
}


std::string Utf16ToUtf8(const std::vector<UInt16>& units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const UInt32 u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u < 0xE000) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace

struct TPeImage::TSource {
  virtual ~TSource() = default;
  // True only when all Count bytes at Offset were read.
  virtual bool ReadAt(UInt64 Offset, void* Buffer, std::size_t Count) = 0;
};

namespace {

struct FileSource final : TPeImage::TSource {
  explicit FileSource(int fd) : Fd(fd) {}
  ~FileSource() override { ::close(Fd); }
  bool ReadAt(UInt64 Offset, void* Buffer, std::size_t Count) override {
    auto* p = static_cast<Byte*>(Buffer);
    while (Count > 0) {
      const ssize_t n = ::pread(Fd, p, Count, static_cast<off_t>(Offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      Offset += static_cast<UInt64>(n);
      Count -= static_cast<std::size_t>(n);
    }
    return true;
  }
  int Fd;
};

struct MemorySource final : TPeImage::TSource {
  MemorySource(const Byte* data, std::size_t size) : Data(data), Size(size) {}
  bool ReadAt(UInt64 Offset, void* Buffer, std::size_t Count) override {
    if (Offset > Size || Count > Size - Offset) return false;
    if (Count > 0) std::memcpy(Buffer, Data + Offset, Count);
    return true;
  }
  const Byte* Data;
  std::size_t Size;
};

}  // namespace

TPeImage::TPeImage() = default;
TPeImage::~TPeImage() = default;

void TPeImage::Release() {
  FSource.reset();
  FFileSize = 0;
  FSizeOfHeaders = 0;
  FResourceRva = 0;
  FResourceSize = 0;
  FSections.clear();
}

bool TPeImage::LoadFromFile(const std::string& FileName) {
  Release();
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  FSource = std::make_unique<FileSource>(fd);
  FFileSize = static_cast<UInt64>(st.st_size);
  if (!ReadHeaders()) {
    Release();
    return false;
  }
  return true;
}

bool TPeImage::LoadFromMemory(const Byte* Data, std::size_t Size) {
  Release();
  if (!Data && Size > 0) return false;
  FSource = std::make_unique<MemorySource>(Data, Size);
  FFileSize = Size;
  if (!ReadHeaders()) {
    Release();
    return false;
  }
  return true;
}

bool TPeImage::ReadHeaders() {
  Byte dos[64];
  if (!FSource->ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  const UInt64 peOffset = Le32(dos + 0x3C);
  // Signature and file header.
  Byte coff[24];
  if (!FSource->ReadAt(peOffset, coff, sizeof coff)) return false;
  if (std::memcmp(coff, "PE\0\0", 4) != 0) return false;
  const UInt32 sectionCount = Le16(coff + 6);
  const UInt32 optionalSize = Le16(coff + 20);
  if (sectionCount > kMaxSections) return false;

  const UInt64 optionalOffset = peOffset + sizeof coff;
  std::vector<Byte> opt(optionalSize);
  if (optionalSize < 2 || !FSource->ReadAt(optionalOffset, opt.data(), opt.size())) return false;
  UInt32 countField = 0;
  UInt32 dirStart = 0;
  switch (Le16(opt.data())) {
    case 0x10B:
      countField = 92;
      dirStart = 96;
      break;
    case 0x20B:
      countField = 108;
      dirStart = 112;
      break;
    default:
      return false;
  }
  if (optionalSize < dirStart) return false;
  FSizeOfHeaders = Le32(opt.data() + 60);
  const UInt32 dirCount = Le32(opt.data() + countField);
  // The resource table is data directory 2.
  const UInt64 resEntry = dirStart + 2 * 8;
  if (dirCount > 2 && resEntry + 8 <= optionalSize) {
    FResourceRva = Le32(opt.data() + resEntry);
    FResourceSize = Le32(opt.data() + resEntry + 4);
  }

  std::vector<Byte> table(static_cast<std::size_t>(sectionCount) * 40);
  if (!FSource->ReadAt(optionalOffset + optionalSize, table.data(), table.size())) return false;
  FSections.reserve(sectionCount);
  for (UInt32 i = 0; i < sectionCount; ++i) {
    const Byte* s = table.data() + static_cast<std::size_t>(i) * 40;
    FSections.push_back(TSection{Le32(s + 12), Le32(s + 8), Le32(s + 16), Le32(s + 20)});
  }
  return true;
}

bool TPeImage::ReadRva(UInt64 Rva, void* Buffer, std::size_t Count) const {
  if (!FSource) return false;
  for (const TSection& s : FSections) {
    if (Rva < s.VirtualAddress) continue;
    const UInt64 rel = Rva - s.VirtualAddress;
    if (rel >= s.RawSize) continue;
    if (Count > s.RawSize - rel) return false;
    const UInt64 offset = UInt64{s.RawPointer} + rel;
    if (offset > FFileSize || Count > FFileSize - offset) return false;
    return FSource->ReadAt(offset, Buffer, Count);
  }
  // Addresses within the headers map to the same file offsets.
  if (Rva < FSizeOfHeaders && Count <= FSizeOfHeaders - Rva) return FSource->ReadAt(Rva, Buffer, Count);
  return false;
}

Int64 TPeImage::FindResourceEntry(UInt32 DirOffset, UInt32 Id, bool AnyId, bool& IsDirectory) const {
  Byte dir[16];
  if (!ReadRva(UInt64{FResourceRva} + DirOffset, dir, sizeof dir)) return -1;
  const UInt32 named = Le16(dir + 12);
  const UInt32 ids = Le16(dir + 14);
  const UInt32 total = named + ids;
  if (total == 0) return -1;
  std::vector<Byte> entries(static_cast<std::size_t>(total) * 8);
  if (!ReadRva(UInt64{FResourceRva} + DirOffset + 16, entries.data(), entries.size())) return -1;

  // With AnyId the language-neutral entry is preferred, then US English,
  // then the first one.
  Int64 found = -1;
  Int64 english = -1;
  Int64 first = -1;
  for (UInt32 i = 0; i < total && found < 0; ++i) {
    const Byte* e = entries.data() + static_cast<std::size_t>(i) * 8;
    const UInt32 name = Le32(e);
    const UInt32 data = Le32(e + 4);
    if (name & 0x80000000u) continue;  // named entries take no part in numeric look-ups
    if (AnyId) {
      if (first < 0) first = data;
      if (name == kLangNeutral) found = data;
      else if (name == kLangEnglishUs && english < 0) english = data;
    } else if (name == Id) {
      found = data;
    }
  }
  if (found < 0) found = english >= 0 ? english : first;
  if (found < 0) return -1;
  IsDirectory = (static_cast<UInt32>(found) & 0x80000000u) != 0;
  return static_cast<Int64>(static_cast<UInt32>(found) & 0x7FFFFFFFu);
}

std::string TPeImage::LoadString(UInt32 Id, std::size_t MaxChars) const {
  if (!FSource || FResourceRva == 0 || FResourceSize == 0 || MaxChars == 0) return {};
  bool isDir = false;
  const Int64 typeDir = FindResourceEntry(0, kRtString, false, isDir);
  if (typeDir < 0 || !isDir) return {};
  // Strings are kept in blocks of 16: string Id is entry Id % 16 of block Id / 16 + 1.
  const Int64 nameDir = FindResourceEntry(static_cast<UInt32>(typeDir), Id / 16 + 1, false, isDir);
  if (nameDir < 0 || !isDir) return {};
  const Int64 dataEntry = FindResourceEntry(static_cast<UInt32>(nameDir), 0, true, isDir);
  if (dataEntry < 0 || isDir) return {};
  Byte entry[16];
  if (!ReadRva(UInt64{FResourceRva} + static_cast<UInt64>(dataEntry), entry, sizeof entry)) return {};
  const UInt64 blockRva = Le32(entry);
  const UInt32 blockSize = std::min(Le32(entry + 4), kMaxStringBlock);

  UInt64 pos = 0;
  for (UInt32 index = 0;; ++index) {
    Byte lenBytes[2];
    if (pos + 2 > blockSize || !ReadRva(blockRva + pos, lenBytes, 2)) return {};
    const UInt32 len = Le16(lenBytes);
    pos += 2;
    if (index == Id % 16) {
      const std::size_t take = std::min<std::size_t>(len, MaxChars);
      if (take == 0 || pos + 2 * UInt64{take} > blockSize) return {};
      std::vector<Byte> raw(take * 2);
      if (!ReadRva(blockRva + pos, raw.data(), raw.size())) return {};
      std::vector<UInt16> units(take);
      for (std::size_t i = 0; i < take; ++i) units[i] = Le16(raw.data() + 2 * i);
      return Utf16ToUtf8(units);
    }
    pos += 2 * UInt64{len};
  }
}

}  // namespace vsk
