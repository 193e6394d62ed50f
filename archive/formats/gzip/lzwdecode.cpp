#include "archive/formats/gzip/lzwdecode.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace vsk {

namespace {

constexpr int kTableSize = 1 << kLzwMaxBits;
constexpr int kClearCode = 256;
constexpr int kCodesPerGroup = 8;
constexpr Int32 kInputBlock = 65536;

// Codes least-significant bit first from the source, with the count of
// codes taken since the current group of eight began.
class TCodeReader {
 public:
  TCodeReader(TLzwSource& In, const bool* Cancel) : FIn(In), FCancel(Cancel) {}

  // The next Width bits, or -1 when fewer remain.
  int Get(int Width) {
    if (FCount < Width && !Fill(Width)) return -1;
    const int code = static_cast<int>(FBits & ((UInt64{1} << Width) - 1));
    FBits >>= Width;
    FCount -= Width;
    return code;
  }

  // Passes over the rest of the current group of codes of Width bits.
  void EndGroup(int Width, int CodesInGroup) {
    int skip = (kCodesPerGroup - CodesInGroup % kCodesPerGroup) % kCodesPerGroup * Width;
    while (skip > 0) {
      if (FCount == 0 && !Fill(1)) return;
      const int n = std::min(skip, FCount);
      FBits = n < 64 ? FBits >> n : 0;
      FCount -= n;
      skip -= n;
    }
  }

  bool Cancelled() const { return FCancelled; }

 private:
  // At least Need bits in the bit buffer, taking whole bytes while they fit.
  bool Fill(int Need) {
    for (;;) {
      while (FCount <= 56 && FPos < FEnd) {
        FBits |= static_cast<UInt64>(FBuffer[FPos++]) << FCount;
        FCount += 8;
      }
      if (FCount >= Need) return true;
      if (!Refill()) return false;
    }
  }

  bool Refill() {
    if (FEnded) return false;
    if (FCancel && *FCancel) {
      FCancelled = FEnded = true;
      return false;
    }
    const Int32 n = FIn.Read(FBuffer.get(), kInputBlock);
    if (n <= 0) {
      FEnded = true;
      return false;
    }
    FPos = 0;
    FEnd = n;
    return true;
  }

  TLzwSource& FIn;
  const bool* FCancel;
  std::unique_ptr<Byte[]> FBuffer{new Byte[kInputBlock]};
  Int32 FPos = 0, FEnd = 0;
  UInt64 FBits = 0;
  int FCount = 0;
  bool FEnded = false;
  bool FCancelled = false;
};

}  // namespace

// The decoding loop, one code a step, its state kept between steps.
struct TLzwReader::TState {
  TState(TLzwSource& In, const bool* Cancel) : Reader(In, Cancel) {}

  // Decodes one code (the header first) into Pending; false once decoding ended.
  bool Step() {
    if (Ended) return false;
    if (!Started) {
      Started = true;
      const int m0 = Reader.Get(8), m1 = Reader.Get(8), flags = Reader.Get(8);
      if (m0 != 0x1F || m1 != 0x9D || flags < 0) return End(TLzwResult::NotCompress);
      MaxBits = flags & kLzwBitsMask;
      if ((flags & kLzwReservedMask) != 0 || MaxBits < kLzwMinBits || MaxBits > kLzwMaxBits)
        return End(TLzwResult::BadFlags);
      BlockMode = (flags & kLzwBlockMode) != 0;
      TableLimit = 1 << MaxBits;  // no entry at or above it
      Width = kLzwMinBits;
      MaxCode = Width == MaxBits ? TableLimit : (1 << Width) - 1;
      FreeEntry = BlockMode ? kClearCode + 1 : kClearCode;
      return true;
    }
    if (FreeEntry > MaxCode) {
      // The writer widened its codes here and padded its group.
      Reader.EndGroup(Width, InGroup);
      InGroup = 0;
      ++Width;
      MaxCode = Width == MaxBits ? TableLimit : (1 << Width) - 1;
    }
    int code = Reader.Get(Width);
    if (code < 0) return End(Reader.Cancelled() ? TLzwResult::Cancelled : TLzwResult::Ok);
    ++InGroup;
    if (OldCode < 0) {
      if (code >= kClearCode) return End(TLzwResult::BadFirstCode);
      OldCode = code;
      FirstByte = static_cast<Byte>(code);
      Put(&FirstByte, 1);
      return true;
    }
    if (code == kClearCode && BlockMode) {
      Reader.EndGroup(Width, InGroup);
      InGroup = 0;
      Width = kLzwMinBits;
      MaxCode = Width == MaxBits ? TableLimit : (1 << Width) - 1;
      // The first code after a clear makes an entry at 256 that no code
      // can name; real entries start at 257 again.
      FreeEntry = kClearCode;
      return true;
    }
    const int thisCode = code;
    Byte* top = Stack.get() + kTableSize;
    Byte* sp = top;
    if (code >= FreeEntry) {
      if (code > FreeEntry) return End(TLzwResult::BadCode);
      // The string being defined: the previous one and its own first byte.
      *--sp = FirstByte;
      code = OldCode;
    }
    while (code >= kClearCode) {
      // Every entry's prefix is an earlier code, so a chain is at most as
      // long as the table; the check keeps a broken one inside the stack.
      if (sp == Stack.get()) return End(TLzwResult::BadCode);
      *--sp = Suffix[code];
      code = Prefix[code];
    }
    FirstByte = static_cast<Byte>(code);
    if (sp == Stack.get()) return End(TLzwResult::BadCode);
    *--sp = FirstByte;
    Put(sp, static_cast<Int32>(top - sp));
    if (FreeEntry < TableLimit) {
      Prefix[FreeEntry] = static_cast<UInt16>(OldCode);
      Suffix[FreeEntry] = FirstByte;
      ++FreeEntry;
    }
    OldCode = thisCode;
    return true;
  }

  bool End(TLzwResult R) {
    Ended = true;
    Result = R;
    return false;
  }
  void Put(const Byte* Data, Int32 Count) { Pending.insert(Pending.end(), Data, Data + Count); }

  TCodeReader Reader;
  bool Started = false, Ended = false;
  TLzwResult Result = TLzwResult::Ok;
  int MaxBits = 0, TableLimit = 0, Width = 0, MaxCode = 0, FreeEntry = 0, InGroup = 0, OldCode = -1;
  bool BlockMode = false;
  Byte FirstByte = 0;
  std::unique_ptr<UInt16[]> Prefix{new UInt16[kTableSize]()};
  std::unique_ptr<Byte[]> Suffix{new Byte[kTableSize]()};
  // Longer than any chain: at most one byte per entry above 255, the
  // repeated first byte and the root.
  std::unique_ptr<Byte[]> Stack{new Byte[kTableSize]};
  // Decoded bytes not yet read, from PendingAt on.
  std::vector<Byte> Pending;
  std::size_t PendingAt = 0;
};

TLzwReader::TLzwReader(TLzwSource& In, const bool* Cancel) : FState(std::make_unique<TState>(In, Cancel)) {}

TLzwReader::~TLzwReader() = default;

Int32 TLzwReader::Read(Byte* Buffer, Int32 Count) {
  TState& s = *FState;
  if (s.PendingAt == s.Pending.size()) {
    s.Pending.clear();
    s.PendingAt = 0;
  }
  while (s.Pending.size() - s.PendingAt < static_cast<std::size_t>(Count) && s.Step()) {
  }
  const auto n = std::min<std::size_t>(s.Pending.size() - s.PendingAt, static_cast<std::size_t>(std::max(Count, 0)));
  if (n > 0) std::memcpy(Buffer, s.Pending.data() + s.PendingAt, n);
  s.PendingAt += n;
  return static_cast<Int32>(n);
}

TLzwResult TLzwReader::Result() const { return FState->Ended ? FState->Result : TLzwResult::Ok; }

TLzwResult LzwDecode(TLzwSource& In, TLzwSink& Out, const bool* Cancel) {
  TLzwReader reader(In, Cancel);
  std::unique_ptr<Byte[]> block(new Byte[kLzwOutputBlock]);
  for (;;) {
    const Int32 n = reader.Read(block.get(), kLzwOutputBlock);
    if (n <= 0) break;
    Out.Write(block.get(), n);
  }
  return reader.Result();
}

}  // namespace vsk
