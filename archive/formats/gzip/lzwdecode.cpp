#include "archive/formats/gzip/lzwdecode.h"

#include <algorithm>
#include <cstring>
#include <memory>

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

class TLzwDecoder {
 public:
  TLzwDecoder(TLzwSource& In, TLzwSink& Out, const bool* Cancel) : FReader(In, Cancel), FOut(Out) {}

  TLzwResult Run() {
    const TLzwResult r = Decode();
    Flush();
    if (r == TLzwResult::Ok && FReader.Cancelled()) return TLzwResult::Cancelled;
    return r;
  }

 private:
  TLzwResult Decode() {
    const int m0 = FReader.Get(8), m1 = FReader.Get(8), flags = FReader.Get(8);
    if (m0 != 0x1F || m1 != 0x9D || flags < 0) return TLzwResult::NotCompress;
    const int maxBits = flags & kLzwBitsMask;
    if ((flags & kLzwReservedMask) != 0 || maxBits < kLzwMinBits || maxBits > kLzwMaxBits)
      return TLzwResult::BadFlags;
    const bool blockMode = (flags & kLzwBlockMode) != 0;
    const int tableLimit = 1 << maxBits;  // no entry at or above it

    int width = kLzwMinBits;
    int maxCode = width == maxBits ? tableLimit : (1 << width) - 1;
    int freeEntry = blockMode ? kClearCode + 1 : kClearCode;
    int inGroup = 0;
    int oldCode = -1;
    Byte firstByte = 0;
    for (;;) {
      if (freeEntry > maxCode) {
        // The writer widened its codes here and padded its group.
        FReader.EndGroup(width, inGroup);
        inGroup = 0;
        ++width;
        maxCode = width == maxBits ? tableLimit : (1 << width) - 1;
      }
      int code = FReader.Get(width);
      if (code < 0) return TLzwResult::Ok;
      ++inGroup;
      if (oldCode < 0) {
        if (code >= kClearCode) return TLzwResult::BadFirstCode;
        oldCode = code;
        firstByte = static_cast<Byte>(code);
        Put(&firstByte, 1);
        continue;
      }
      if (code == kClearCode && blockMode) {
        FReader.EndGroup(width, inGroup);
        inGroup = 0;
        width = kLzwMinBits;
        maxCode = width == maxBits ? tableLimit : (1 << width) - 1;
        // The first code after a clear makes an entry at 256 that no code
        // can name; real entries start at 257 again.
        freeEntry = kClearCode;
        continue;
      }
      const int thisCode = code;
      Byte* top = FStack.get() + kTableSize;
      Byte* sp = top;
      if (code >= freeEntry) {
        if (code > freeEntry) return TLzwResult::BadCode;
        // The string being defined: the previous one and its own first byte.
        *--sp = firstByte;
        code = oldCode;
      }
      while (code >= kClearCode) {
        // Every entry's prefix is an earlier code, so a chain is at most as
        // long as the table; the check keeps a broken one inside the stack.
        if (sp == FStack.get()) return TLzwResult::BadCode;
        *--sp = FSuffix[code];
        code = FPrefix[code];
      }
      firstByte = static_cast<Byte>(code);
      if (sp == FStack.get()) return TLzwResult::BadCode;
      *--sp = firstByte;
      Put(sp, static_cast<Int32>(top - sp));
      if (freeEntry < tableLimit) {
        FPrefix[freeEntry] = static_cast<UInt16>(oldCode);
        FSuffix[freeEntry] = firstByte;
        ++freeEntry;
      }
      oldCode = thisCode;
    }
  }

  void Put(const Byte* Data, Int32 Count) {
    while (Count > 0) {
      const Int32 n = std::min(Count, kLzwOutputBlock - FFill);
      std::memcpy(FOutput.get() + FFill, Data, static_cast<std::size_t>(n));
      FFill += n;
      Data += n;
      Count -= n;
      if (FFill == kLzwOutputBlock) Flush();
    }
  }

  void Flush() {
    if (FFill == 0) return;
    const Int32 n = FFill;
    FFill = 0;
    FOut.Write(FOutput.get(), n);
  }

  TCodeReader FReader;
  TLzwSink& FOut;
  std::unique_ptr<UInt16[]> FPrefix{new UInt16[kTableSize]()};
  std::unique_ptr<Byte[]> FSuffix{new Byte[kTableSize]()};
  // Longer than any chain: at most one byte per entry above 255, the
  // repeated first byte and the root.
  std::unique_ptr<Byte[]> FStack{new Byte[kTableSize]};
  std::unique_ptr<Byte[]> FOutput{new Byte[kLzwOutputBlock]};
  Int32 FFill = 0;
};

}  // namespace

TLzwResult LzwDecode(TLzwSource& In, TLzwSink& Out, const bool* Cancel) {
  TLzwDecoder decoder(In, Out, Cancel);
  return decoder.Run();
}

}  // namespace vsk
