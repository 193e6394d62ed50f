#include "archive/codecs/lzhdecode.h"

#include <algorithm>
#include <cstring>

namespace vsk {

namespace {

constexpr int kTBit = 5;  // count field of the code-length code
constexpr int kCBit = 9;  // count field of the literal/length code
constexpr int kMinMatch = 3;
constexpr int kWindowStore = 65536;

}  // namespace

TLzhDecoder::TLzhDecoder() : FWindow(new Byte[kWindowStore]) {}

TLzhDecoder::~TLzhDecoder() = default;

void TLzhDecoder::Init(const TLzhSettings& Settings) {
  FSettings = Settings;
  FSettings.DictBits = std::min<Byte>(Settings.DictBits, 16);
  FSettings.PosBits = std::min<Byte>(Settings.PosBits, 5);
  FNP = FSettings.DictBits + 1;
  FWindowSize = FSettings.WindowSize();
}

// Canonical code assignment from the lengths. Lengths of at most TableBits
// fill their share of the direct table; longer ones hang below their
// direct entry in a binary tree whose nodes are numbered from Symbols up.
// Only a complete code is accepted (or no code at all, which decodes as
// symbol 0 of length 0); anything else could leave entries unset or make
// codes overlap.
bool TLzhDecoder::MakeTable(int Symbols, const Byte* Lengths, int TableBits, UInt16* Table) {
  UInt32 count[17] = {};
  for (int i = 0; i < Symbols; ++i) {
    if (Lengths[i] > 16) return false;
    ++count[Lengths[i]];
  }
  UInt32 start[18];
  UInt32 weight[17];
  start[1] = 0;
  for (int i = 1; i <= 16; ++i) start[i + 1] = start[i] + (count[i] << (16 - i));
  const UInt32 tableSize = 1u << TableBits;
  if (start[17] == 0) {
    std::fill(Table, Table + tableSize, 0);
    return true;
  }
  if (start[17] != 0x10000u) return false;

  const int jut = 16 - TableBits;
  for (int i = 1; i <= TableBits; ++i) {
    start[i] >>= jut;
    weight[i] = 1u << (TableBits - i);
  }
  for (int i = TableBits + 1; i <= 16; ++i) weight[i] = 1u << (16 - i);
  // Entries past the short codes lead into the trees of the long ones.
  std::fill(Table + (start[TableBits + 1] >> jut), Table + tableSize, 0);

  int avail = Symbols;
  const UInt32 mask = 1u << (15 - TableBits);
  for (int ch = 0; ch < Symbols; ++ch) {
    const int len = Lengths[ch];
    if (len == 0) continue;
    UInt32 k = start[len];
    const UInt32 next = k + weight[len];
    if (len <= TableBits) {
      std::fill(Table + k, Table + next, static_cast<UInt16>(ch));
    } else {
      UInt16* p = &Table[k >> jut];
      for (int n = len - TableBits; n > 0; --n) {
        if (*p == 0) {
          if (avail >= kTreeSize) return false;
          FLeft[avail] = FRight[avail] = 0;
          *p = static_cast<UInt16>(avail++);
        } else if (*p < Symbols) {
          return false;
        }
        p = (k & mask) ? &FRight[*p] : &FLeft[*p];
        k <<= 1;
      }
      *p = static_cast<UInt16>(ch);
    }
    start[len] = next;
  }
  return true;
}

// Lengths of a small code: the code-length code (with a 2-bit run of zero
// lengths after the third) or the position code. Each length is a 3-bit
// number, 7 and above continued in unary.
bool TLzhDecoder::ReadPtLen(int Symbols, int CountBits, int Special) {
  const int n = static_cast<int>(FBits.Get(CountBits));
  if (n == 0) {
    const UInt32 c = FBits.Get(CountBits);
    if (c >= static_cast<UInt32>(Symbols)) return false;
    std::memset(FPtLen, 0, static_cast<std::size_t>(Symbols));
    std::fill(std::begin(FPtTable), std::end(FPtTable), static_cast<UInt16>(c));
    return true;
  }
  if (n > Symbols) return false;
  int i = 0;
  while (i < n) {
    const UInt32 bits = FBits.Peek(16);
    int c = static_cast<int>(bits >> 13);
    if (c == 7) {
      for (UInt32 m = 1u << 12; m & bits; m >>= 1) ++c;
    }
    if (c > 16) return false;
    FBits.Skip(c < 7 ? 3 : c - 3);
    FPtLen[i++] = static_cast<Byte>(c);
    if (i == Special) {
      const int run = static_cast<int>(FBits.Get(2));
      if (run > Symbols - i) return false;
      std::memset(FPtLen + i, 0, static_cast<std::size_t>(run));
      i += run;
    }
  }
  std::memset(FPtLen + i, 0, static_cast<std::size_t>(Symbols - i));
  return MakeTable(Symbols, FPtLen, 8, FPtTable);
}

// Lengths of the literal/length code, sent in the code-length code:
// symbol 0 is one zero length, 1 a run of 3..18 and 2 a run of 20..531
// zero lengths, the others a length of symbol - 2.
bool TLzhDecoder::ReadCLen() {
  const int n = static_cast<int>(FBits.Get(kCBit));
  if (n == 0) {
    const UInt32 c = FBits.Get(kCBit);
    if (c >= static_cast<UInt32>(kNC)) return false;
    std::memset(FCLen, 0, sizeof FCLen);
    std::fill(std::begin(FCTable), std::end(FCTable), static_cast<UInt16>(c));
    return true;
  }
  if (n > kNC) return false;
  int i = 0;
  while (i < n) {
    const UInt32 bits = FBits.Peek(16);
    UInt32 c = FPtTable[bits >> 8];
    for (UInt32 m = 0x80; c >= static_cast<UInt32>(kNT); m >>= 1) {
      if (m == 0) return false;
      c = (bits & m) ? FRight[c] : FLeft[c];
    }
    FBits.Skip(FPtLen[c]);
    if (c <= 2) {
      const int run = c == 0   ? 1
                      : c == 1 ? static_cast<int>(FBits.Get(4)) + 3
                               : static_cast<int>(FBits.Get(kCBit)) + 20;
      if (run > kNC - i) return false;
      std::memset(FCLen + i, 0, static_cast<std::size_t>(run));
      i += run;
    } else {
      FCLen[i++] = static_cast<Byte>(c - 2);
    }
  }
  std::memset(FCLen + i, 0, static_cast<std::size_t>(kNC - i));
  return MakeTable(kNC, FCLen, 12, FCTable);
}

bool TLzhDecoder::ReadBlockHeader() {
  FBlockSize = FBits.Get(16);
  if (FBlockSize == 0) return false;
  if (!ReadPtLen(kNT, kTBit, 3) || !ReadCLen() || !ReadPtLen(FNP, FSettings.PosBits, -1)) {
    FBadCode = true;
    return false;
  }
  return true;
}

int TLzhDecoder::DecodeC() {
  const UInt32 bits = FBits.Peek(16);
  UInt32 j = FCTable[bits >> 4];
  for (UInt32 m = 1u << 3; j >= static_cast<UInt32>(kNC); m >>= 1) {
    if (m == 0) {
      FBadCode = true;
      return 0;
    }
    j = (bits & m) ? FRight[j] : FLeft[j];
  }
  FBits.Skip(FCLen[j]);
  return static_cast<int>(j);
}

// The distance back from the byte before the current one: a position
// symbol j gives j - 1 further bits below a leading 1 (0 for j = 0).
UInt32 TLzhDecoder::DecodeP() {
  const UInt32 bits = FBits.Peek(16);
  UInt32 j = FPtTable[bits >> 8];
  for (UInt32 m = 0x80; j >= static_cast<UInt32>(FNP); m >>= 1) {
    if (m == 0) {
      FBadCode = true;
      return 0;
    }
    j = (bits & m) ? FRight[j] : FLeft[j];
  }
  FBits.Skip(FPtLen[j]);
  if (j == 0) return 0;
  return (1u << (j - 1)) + FBits.Get(static_cast<int>(j - 1));
}

void TLzhDecoder::Flush(TCodecSink& Out, Int32 Count) {
  if (Count > 0) Out.Write(FWindow.get(), Count);
}

TLzhDecoder::TResult TLzhDecoder::Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize, const bool* Cancel) {
  FCancel = Cancel;
  FBadCode = false;
  FBlockSize = 0;
  if (UnpackedSize <= 0) return TResult::Ok;
  const UInt32 wsize = static_cast<UInt32>(FWindowSize);
  Byte* const w = FWindow.get();
  // Positions before the start of the entry read as spaces, as in -lh1-.
  std::memset(w, ' ', wsize);
  FBits.Start(In);
  auto cancelled = [this] { return FCancel && *FCancel; };

  TResult result = TResult::Ok;
  Int64 count = 0;
  UInt32 loc = 0;
  while (count < UnpackedSize) {
    if (FBlockSize == 0) {
      if (cancelled()) {
        result = TResult::Cancelled;
        break;
      }
      if (!ReadBlockHeader()) {
        result = FBadCode ? TResult::BadCode : TResult::Corrupt;
        break;
      }
    }
    --FBlockSize;
    const int c = DecodeC();
    if (c < 256) {
      w[loc++] = static_cast<Byte>(c);
      ++count;
      if (loc == wsize) {
        Flush(Out, static_cast<Int32>(wsize));
        loc = 0;
        if (cancelled()) {
          result = TResult::Cancelled;
          break;
        }
      }
    } else {
      UInt32 len = static_cast<UInt32>(c - 256 + kMinMatch);
      const UInt32 dist = DecodeP();
      if (FBadCode) {
        result = TResult::BadCode;
        break;
      }
      if (dist >= wsize) {
        result = TResult::Corrupt;
        break;
      }
      if (static_cast<Int64>(len) > UnpackedSize - count) len = static_cast<UInt32>(UnpackedSize - count);
      count += len;
      UInt32 i = loc > dist ? loc - dist - 1 : loc + wsize - dist - 1;
      if (i < loc && loc + len < wsize) {
        // Neither side wraps: a plain upward copy, which repeats the bytes
        // just written when the source overlaps the target.
        Byte* d = w + loc;
        const Byte* s = w + i;
        for (UInt32 k = 0; k < len; ++k) d[k] = s[k];
        loc += len;
      } else {
        for (UInt32 k = 0; k < len; ++k) {
          w[loc] = w[i];
          if (++i == wsize) i = 0;
          if (++loc == wsize) {
            Flush(Out, static_cast<Int32>(wsize));
            loc = 0;
          }
        }
        if (cancelled()) {
          result = TResult::Cancelled;
          break;
        }
      }
    }
    if (FBadCode) {
      result = TResult::BadCode;
      break;
    }
    if (FBits.Exhausted()) {
      result = TResult::Corrupt;
      break;
    }
  }
  Flush(Out, static_cast<Int32>(loc));
  return result;
}

}  // namespace vsk
