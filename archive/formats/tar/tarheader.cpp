#include "archive/formats/tar/tarheader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/dates.h"

namespace vsk {

namespace {

constexpr Int64 kInt64Max = std::numeric_limits<Int64>::max();

std::string FieldText(const Byte* Field, std::size_t Size) {
  if (Size == 0) return {};
  const void* nul = std::memchr(Field, 0, Size);
  const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const Byte*>(nul) - Field) : Size;
  return std::string(reinterpret_cast<const char*>(Field), n);
}

// Decimal digits of a pax value; a fraction after "." is dropped.
bool PaxNumber(std::string_view Text, Int64& Value) {
  bool negative = false;
  std::size_t i = 0;
  if (i < Text.size() && Text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i >= Text.size() || Text[i] < '0' || Text[i] > '9') return false;
  Int64 v = 0;
  for (; i < Text.size() && Text[i] >= '0' && Text[i] <= '9'; ++i) {
    const int d = Text[i] - '0';
    v = v > (kInt64Max - d) / 10 ? kInt64Max : v * 10 + d;
  }
  if (i < Text.size() && Text[i] != '.') return false;
  Value = negative ? -v : v;
  return true;
}

}  // namespace

Int64 TarNumber(const Byte* Field, std::size_t Size) {
  if (Size == 0) return 0;
  if (Field[0] & 0x80) {
    const bool negative = (Field[0] & 0x40) != 0;
    // The value bits of the first byte, then whole bytes; two's complement
    // for a negative number.
    UInt64 v = negative ? ~UInt64{0} : 0;
    bool overflow = false;
    for (std::size_t i = 0; i < Size; ++i) {
      const Byte b = i == 0 ? static_cast<Byte>(negative ? (Field[0] | 0x80) : (Field[0] & 0x7F)) : Field[i];
      if (!negative && (v >> 55) != 0) overflow = true;
      v = (v << 8) | b;
    }
    if (negative) {
      const auto s = static_cast<Int64>(v);
      return s >= 0 ? std::numeric_limits<Int64>::min() : s;
    }
    return overflow || v > static_cast<UInt64>(kInt64Max) ? kInt64Max : static_cast<Int64>(v);
  }
  return OctalToInt(std::string_view(reinterpret_cast<const char*>(Field), Size));
}

void TTarHeader::Parse(const Byte* Block) {
  *this = TTarHeader{};
  Name = FieldText(Block, 100);
  Mode = TarNumber(Block + 100, 8);
  Size = TarNumber(Block + 124, 12);
  if (Size < 0) Size = 0;
  MTime = TarNumber(Block + 136, 12);
  const Int64 stored = OctalToInt(std::string_view(reinterpret_cast<const char*>(Block + 148), 8));
  Checksum = stored > 0 && stored <= 0xFFFFFFFF ? static_cast<UInt32>(stored) : 0;
  TypeFlag = static_cast<char>(Block[156]);
  LinkName = FieldText(Block + 157, 100);
  Ustar = std::memcmp(Block + 257, "ustar\0", 6) == 0;
  Gnu = std::memcmp(Block + 257, "ustar  \0", 8) == 0;
  if (Ustar) Prefix = FieldText(Block + 345, 155);

  Int64 unsignedSum = 8 * 32, signedSum = 8 * 32;
  for (std::size_t i = 0; i < kTarHeaderSize; ++i) {
    if (i >= 148 && i < 156) continue;
    unsignedSum += Block[i];
    signedSum += static_cast<signed char>(Block[i]);
  }
  Valid = stored != 0 && (stored == unsignedSum || stored == signedSum);
}

std::string TTarHeader::FullName() const {
  if (Prefix.empty()) return Name;
  return Prefix + "/" + Name;
}

bool TTarHeader::IsFileType() const {
  return TypeFlag == 0 || TypeFlag == kTarTypeFile || TypeFlag == kTarTypeHardLink || TypeFlag == kTarTypeSymLink ||
         TypeFlag == kTarTypeContiguous;
}

void TTarPaxInfo::Parse(const Byte* Data, std::size_t Count) {
  if (Count == 0) return;
  const std::string_view all(reinterpret_cast<const char*>(Data), Count);
  std::size_t pos = 0;
  while (pos < all.size()) {
    // The length counts the whole record: its own digits, the blank, the
    // key, "=", the value and the line feed.
    std::size_t i = pos;
    std::size_t length = 0;
    while (i < all.size() && all[i] >= '0' && all[i] <= '9' && length <= all.size()) {
      length = length * 10 + static_cast<std::size_t>(all[i] - '0');
      ++i;
    }
    if (i == pos || i >= all.size() || all[i] != ' ') return;
    if (length <= i - pos + 1 || length > all.size() - pos) return;
    const std::string_view record = all.substr(i + 1, pos + length - (i + 1));
    if (record.empty() || record.back() != '\n') return;
    const auto eq = record.find('=');
    if (eq == std::string_view::npos) return;
    const std::string_view key = record.substr(0, eq);
    const std::string_view value = record.substr(eq + 1, record.size() - eq - 2);
    Int64 n = 0;
    if (key == "path") {
      HasPath = !value.empty();
      Path.assign(value);
    } else if (key == "size" && PaxNumber(value, n) && n >= 0) {
      HasSize = true;
      Size = n;
    } else if (key == "mtime" && PaxNumber(value, n)) {
      HasMTime = true;
      MTime = n;
    } else if (key == "linkpath") {
      HasLinkPath = !value.empty();
      LinkPath.assign(value);
    } else if (key.starts_with("GNU.sparse.")) {
      Sparse = true;
    }
    pos += length;
  }
}

std::string TarLongName(const Byte* Data, std::size_t Count) { return FieldText(Data, Count); }

namespace {

// Octal digits zero-padded to Width and a NUL (Width + 1 bytes); a value
// beyond the digits is clamped to the largest one.
void PutOctal(Byte* Field, UInt64 Value, int Width) {
  const UInt64 max = (UInt64{1} << (3 * Width)) - 1;
  const std::string digits = IntToOctalField(Value > max ? max : Value, Width);
  std::memcpy(Field, digits.data(), static_cast<std::size_t>(Width));
  Field[Width] = 0;
}

void PutText(Byte* Field, std::size_t Size, const std::string& Text) {
  std::memcpy(Field, Text.data(), std::min(Size, Text.size()));
}

}  // namespace

UInt32 TarHeaderSum(const Byte* Block) {
  UInt32 sum = 8 * 32;
  for (std::size_t i = 0; i < kTarHeaderSize; ++i)
    if (i < 148 || i >= 156) sum += Block[i];
  return sum;
}

void TarStoreChecksum(Byte* Block, bool SixDigits) {
  const UInt32 sum = TarHeaderSum(Block);
  if (SixDigits) {
    PutOctal(Block + 148, sum, 6);
    Block[155] = ' ';
  } else {
    PutOctal(Block + 148, sum, 7);
  }
}

void TarBuildHeader(const TTarNewHeader& H, Byte* Block) {
  std::memset(Block, 0, kTarHeaderSize);
  PutText(Block, 100, H.Name);
  PutOctal(Block + 100, H.Mode, 7);
  PutOctal(Block + 108, H.Uid, 7);
  PutOctal(Block + 116, H.Gid, 7);
  PutOctal(Block + 124, H.Size < 0 ? 0 : static_cast<UInt64>(H.Size), 11);
  PutOctal(Block + 136, H.MTime < 0 ? 0 : static_cast<UInt64>(H.MTime), 11);
  Block[156] = static_cast<Byte>(H.TypeFlag);
  std::memcpy(Block + 257, kTarGnuMagic, sizeof kTarGnuMagic);
  PutText(Block + 265, 32, H.UName);
  PutText(Block + 297, 32, H.GName);
  TarStoreChecksum(Block);
}

void TarBuildLongNameHeader(std::size_t NameLength, Byte* Block) {
  TTarNewHeader h;
  h.Name = kTarLongLinkName;
  h.Mode = 0644;
  h.Size = static_cast<Int64>(NameLength) + 1;
  h.TypeFlag = kTarTypeGnuLongName;
  h.UName = h.GName = "root";
  TarBuildHeader(h, Block);
}

Int64 TarPaddedSize(Int64 Size) {
  if (Size <= 0) return 0;
  constexpr Int64 kBlock = static_cast<Int64>(kTarHeaderSize);
  if (Size > kInt64Max - kBlock) return kInt64Max;
  return (Size + kBlock - 1) / kBlock * kBlock;
}

}  // namespace vsk
