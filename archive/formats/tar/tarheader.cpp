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

// Decimal digits alone (a sparse map's numbers); false for anything else
// and for a value beyond Int64.
bool DecimalDigits(std::string_view Text, Int64& Value) {
  if (Text.empty() || Text.size() > 18) return false;
  Int64 v = 0;
  for (const char c : Text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  Value = v;
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

void TTarPaxInfo::TakeSparse(std::string_view Key, std::string_view Value) {
  Sparse = true;
  Int64 n = 0;
  const bool number = DecimalDigits(Value, n);
  if (Key == "name") {
    HasSparseName = !Value.empty();
    SparseName.assign(Value);
  } else if ((Key == "size" || Key == "realsize") && number) {
    HasSparseSize = true;
    SparseSize = n;
  } else if (Key == "major" && number) {
    SparseMajor = n;
  } else if (Key == "minor" && number) {
    SparseMinor = n;
  } else if (Key == "offset" || Key == "numbytes") {
    // Version 0.0: one record per number, each offset before its length.
    HasSparseMap = true;
    if (!number || (SparseMap.size() % 2 == 0) != (Key == "offset"))
      SparseMapDamaged = true;
    else
      SparseMap.push_back(n);
  } else if (Key == "map") {
    // Version 0.1: "offset,length,offset,length...".
    HasSparseMap = true;
    SparseMap.clear();
    SparseMapDamaged = false;
    std::size_t i = 0;
    while (i <= Value.size()) {
      const std::size_t j = std::min(Value.find(',', i), Value.size());
      if (!DecimalDigits(Value.substr(i, j - i), n)) {
        SparseMapDamaged = true;
        break;
      }
      SparseMap.push_back(n);
      i = j + 1;
    }
    if (SparseMap.size() % 2 != 0) SparseMapDamaged = true;
  }
}

void TTarPaxInfo::ClearSparse() {
  Sparse = HasSparseName = HasSparseSize = HasSparseMap = SparseMapDamaged = false;
  SparseName.clear();
  SparseSize = SparseMajor = SparseMinor = 0;
  SparseMap.clear();
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
      TakeSparse(key.substr(11), value);
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

// ---- walking

namespace {

constexpr Int64 kBlock = static_cast<Int64>(kTarHeaderSize);
// Old GNU sparse headers: four map entries of two 12-byte numbers at 386,
// the flag at 482 that says a block of more map follows, the real size at
// 483; such a block holds 21 entries and its own flag at 504.
constexpr std::size_t kOldSparseAt = 386;
constexpr int kOldSparseInHeader = 4;
constexpr std::size_t kOldSparseExtended = 482;
constexpr std::size_t kOldSparseRealSize = 483;
constexpr int kOldSparseInBlock = 21;
constexpr std::size_t kOldSparseBlockExtended = 504;

bool AllZero(const Byte* P, std::size_t N) {
  return std::all_of(P, P + N, [](Byte b) { return b == 0; });
}

// At + Count without passing the Int64 maximum.
Int64 AddSaturated(Int64 At, Int64 Count) { return Count > kInt64Max - At ? kInt64Max : At + Count; }

// Takes the map entries of one old GNU block until an empty one.
void TakeOldSparse(const Byte* P, int Count, std::vector<TTarSparseRegion>& Map) {
  for (int i = 0; i < Count; ++i, P += 24) {
    if (P[12] == 0) break;
    Map.push_back({TarNumber(P, 12), TarNumber(P + 12, 12)});
  }
}

}  // namespace

bool TTarEntry::IsDirectory() const {
  if (TypeFlag == kTarTypeDirectory || TypeFlag == kTarTypeGnuDumpDir) return true;
  return (TypeFlag == 0 || TypeFlag == kTarTypeFile || TypeFlag == kTarTypeContiguous) && !Name.empty() &&
         Name.back() == '/';
}

bool TTarEntry::IsRegularFile() const {
  return (TypeFlag == 0 || TypeFlag == kTarTypeFile || TypeFlag == kTarTypeContiguous ||
          TypeFlag == kTarTypeGnuSparse) &&
         !IsDirectory();
}

bool TarSparseMapFits(const std::vector<TTarSparseRegion>& Map, Int64 Size, Int64 Stored) {
  if (Size < 0 || Stored < 0) return false;
  Int64 end = 0, total = 0;
  for (const auto& r : Map) {
    if (r.Offset < end || r.Length < 0 || r.Length > Size - r.Offset || r.Length > Stored - total) return false;
    end = r.Offset + r.Length;
    total += r.Length;
  }
  return total == Stored;
}

bool TTarWalker::ReadExactly(Int64 Pos, void* Buffer, Int32 Count) {
  if (Pos < 0 || Count < 0 || Count > FLimit - Pos) return false;
  Int32 done = 0;
  while (done < Count) {
    const Int32 n = FRead(Pos + done, static_cast<Byte*>(Buffer) + done, Count - done);
    if (n <= 0 || n > Count - done) return false;
    done += n;
  }
  return true;
}

bool TTarWalker::ReadRecordData(Int64 Pos, Int64 Size, std::vector<Byte>& Data) {
  Data.clear();
  // Nothing is allocated for data the archive does not hold.
  if (Size < 0 || Pos > FLimit || Size > FLimit - Pos) return false;
  Data.resize(static_cast<std::size_t>(std::min<Int64>(Size, static_cast<Int64>(kTarMaxExtendedData))));
  return ReadExactly(Pos, Data.data(), static_cast<Int32>(Data.size()));
}

TTarStatus TTarWalker::Fail(TTarStatus Status, Int64 At) {
  FFailedAt = At;
  return Status;
}

bool TTarWalker::HardLinkHasData(Int64 DataAt) {
  // Most writers put no data after a hard link even when they fill in the
  // size: bytes that are no header (nor the end) are data.
  Byte probe[kTarHeaderSize];
  if (!ReadExactly(DataAt, probe, static_cast<Int32>(kBlock)) || AllZero(probe, kTarHeaderSize)) return false;
  TTarHeader after;
  after.Parse(probe);
  return !after.Valid;
}

TTarStatus TTarWalker::ReadOldGnuSparse(TTarEntry& E, Int64& DataAt) {
  E.Sparse = true;
  E.Size = TarNumber(E.Block.data() + kOldSparseRealSize, 12);
  TakeOldSparse(E.Block.data() + kOldSparseAt, kOldSparseInHeader, E.SparseMap);
  bool more = E.Block[kOldSparseExtended] != 0;
  Byte block[kTarHeaderSize];
  bool tooLong = false;
  // Every block of map lies in the archive; past kTarMaxSparseRegions the
  // blocks are only passed over.
  while (more) {
    if (!ReadExactly(DataAt, block, static_cast<Int32>(kBlock))) return Fail(TTarStatus::Truncated, DataAt);
    if (E.SparseMap.size() > kTarMaxSparseRegions)
      tooLong = true;
    else
      TakeOldSparse(block, kOldSparseInBlock, E.SparseMap);
    more = block[kOldSparseBlockExtended] != 0;
    DataAt += kBlock;
  }
  return tooLong ? Unreadable(E) : TTarStatus::Ok;
}

TTarStatus TTarWalker::Unreadable(TTarEntry& E) {
  E.SparseUnreadable = true;
  E.SparseMap.clear();
  return TTarStatus::Ok;
}

TTarStatus TTarWalker::ReadPaxSparse(const TTarPaxInfo& Pax, TTarEntry& E) {
  E.Sparse = true;
  if (!Pax.HasSparseSize) return Unreadable(E);
  E.Size = Pax.SparseSize;
  if (Pax.SparseMajor == 1 && Pax.SparseMinor == 0) {
    // Version 1.0: decimal numbers, one a line, in front of the data: the
    // count, then offset and length of each part; the map fills whole
    // blocks. It is read a block at a time, never past the entry's data.
    const Int64 mapLimit = std::min(E.StoredSize, FLimit - E.DataOffset);
    Byte block[kTarHeaderSize];
    Int64 at = 0;  // map bytes read
    std::size_t used = kTarHeaderSize;
    Int64 count = -1, offset = -1;
    while (count < 0 || static_cast<Int64>(E.SparseMap.size()) < count) {
      Int64 v = 0;
      int digits = 0;
      for (;;) {
        if (used == kTarHeaderSize) {
          if (kBlock > FLimit - E.DataOffset - at) return Fail(TTarStatus::Truncated, E.DataOffset + at);
          if (kBlock > mapLimit - at) return Unreadable(E);
          if (!ReadExactly(E.DataOffset + at, block, static_cast<Int32>(kBlock)))
            return Fail(TTarStatus::Truncated, E.DataOffset + at);
          at += kBlock;
          used = 0;
        }
        const Byte c = block[used++];
        if (c == '\n') break;
        if (c < '0' || c > '9' || ++digits > 18) return Unreadable(E);
        v = v * 10 + (c - '0');
      }
      if (digits == 0) return Unreadable(E);
      if (count < 0) {
        // Each part takes at least four bytes of map.
        if (v > mapLimit / 4 || v > static_cast<Int64>(kTarMaxSparseRegions)) return Unreadable(E);
        count = v;
      } else if (offset < 0) {
        offset = v;
      } else {
        E.SparseMap.push_back({offset, v});
        offset = -1;
      }
    }
    E.DataOffset += at;
    E.StoredSize -= at;
    return TTarStatus::Ok;
  }
  if (!Pax.HasSparseMap || Pax.SparseMapDamaged) return Unreadable(E);
  for (std::size_t i = 0; i + 1 < Pax.SparseMap.size(); i += 2)
    E.SparseMap.push_back({Pax.SparseMap[i], Pax.SparseMap[i + 1]});
  return TTarStatus::Ok;
}

TTarStatus TTarWalker::Next(Int64 Offset, TTarEntry& Out) {
  Out = TTarEntry{};
  Out.Offset = Offset;
  std::string longName, longLink;
  // What global records said holds for this entry unless its own say otherwise.
  TTarPaxInfo pax = FGlobal;
  pax.ClearSparse();
  TTarHeader& h = Out.Header;
  Int64 pos = Offset;
  for (;;) {
    if (pos < 0) return Fail(TTarStatus::BadHeader, pos);
    if (pos >= FLimit) return TTarStatus::End;
    const Int32 want = static_cast<Int32>(std::min(kBlock, FLimit - pos));
    Out.Block.fill(0);
    Int32 got = 0;
    while (got < want) {
      const Int32 n = FRead(pos + got, Out.Block.data() + got, want - got);
      if (n <= 0 || n > want - got) break;
      got += n;
    }
    const bool zeros = AllZero(Out.Block.data(), static_cast<std::size_t>(got));
    if (got < static_cast<Int32>(kBlock)) return zeros ? TTarStatus::End : Fail(TTarStatus::Truncated, pos);
    if (zeros) return TTarStatus::End;
    h.Parse(Out.Block.data());
    if (!h.Valid) return Fail(TTarStatus::BadHeader, pos);
    const Int64 dataAt = pos + kBlock;

    switch (h.TypeFlag) {
      case kTarTypeGnuLongName:
      case kTarTypeGnuLongLink:
      case kTarTypePaxEntry:
      case kTarTypeSolarisExtended:
      case kTarTypePaxGlobal:
        if (!ReadRecordData(dataAt, h.Size, FData)) return Fail(TTarStatus::Truncated, pos);
        if (h.TypeFlag == kTarTypeGnuLongName) {
          longName = TarLongName(FData.data(), FData.size());
        } else if (h.TypeFlag == kTarTypeGnuLongLink) {
          longLink = TarLongName(FData.data(), FData.size());
        } else if (h.TypeFlag == kTarTypePaxGlobal) {
          FGlobal.Parse(FData.data(), FData.size());
          FGlobal.ClearSparse();
          pax.Parse(FData.data(), FData.size());
          pax.ClearSparse();
        } else {
          pax.Parse(FData.data(), FData.size());
        }
        Out.Records.push_back({pos, h.TypeFlag, h.Size});
        pos = dataAt + TarPaddedSize(h.Size);
        continue;
      case kTarTypeGnuVolume:
        if (h.Size > FLimit - dataAt) return Fail(TTarStatus::Truncated, pos);
        Out.Records.push_back({pos, h.TypeFlag, h.Size});
        pos = dataAt + TarPaddedSize(h.Size);
        continue;
      default:
        break;
    }

    Out.HeaderOffset = pos;
    Out.TypeFlag = h.TypeFlag;
    Out.Name = h.FullName();
    if (pax.HasPath) {
      Out.Name = pax.Path;
      Out.NameIsUtf8 = true;
    }
    if (!longName.empty()) {
      Out.Name = longName;
      Out.NameIsUtf8 = false;
    }
    if (pax.HasSparseName) {
      Out.Name = pax.SparseName;
      Out.NameIsUtf8 = true;
    }
    if (Out.Name.empty()) return Fail(TTarStatus::BadHeader, pos);
    Out.LinkName = h.LinkName;
    if (pax.HasLinkPath) Out.LinkName = pax.LinkPath;
    if (!longLink.empty()) Out.LinkName = longLink;
    Out.MTime = pax.HasMTime ? pax.MTime : h.MTime;
    Out.SizeFromPax = pax.HasSize;
    Out.StoredSize = pax.HasSize ? pax.Size : h.Size;

    Int64 data = dataAt;
    if (h.TypeFlag == kTarTypeHardLink && Out.StoredSize > 0 && !Out.SizeFromPax && !HardLinkHasData(dataAt))
      Out.StoredSize = 0;
    if (h.TypeFlag == kTarTypeGnuSparse) {
      if (const auto status = ReadOldGnuSparse(Out, data); status != TTarStatus::Ok) return status;
    }
    Out.DataOffset = data;
    Out.NextOffset = AddSaturated(data, TarPaddedSize(Out.StoredSize));
    if (!Out.Sparse) Out.Size = Out.StoredSize;
    if (pax.Sparse && h.TypeFlag != kTarTypeGnuSparse && Out.IsRegularFile()) {
      if (const auto status = ReadPaxSparse(pax, Out); status != TTarStatus::Ok) return status;
    }
    if (Out.Sparse && !Out.SparseUnreadable && !TarSparseMapFits(Out.SparseMap, Out.Size, Out.StoredSize))
      Unreadable(Out);
    return TTarStatus::Ok;
  }
}

}  // namespace vsk
