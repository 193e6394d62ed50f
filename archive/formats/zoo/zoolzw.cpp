#include "archive/formats/zoo/zoolzw.h"

#include <algorithm>
#include <cstring>

namespace vsk {

TZooLzwDecoder::TZooLzwDecoder() : FInBuf(new Byte[kInSize + 3]), FOutBuf(new Byte[kOutSize]) {}

TZooLzwDecoder::~TZooLzwDecoder() = default;

void TZooLzwDecoder::Refill() {
  // Keep the bytes not yet fully read, then fill the rest of the buffer.
  const Int32 keep = FInCount - static_cast<Int32>(FBitPos >> 3);
  if (keep > 0) std::memmove(FInBuf.get(), FInBuf.get() + (FBitPos >> 3), static_cast<std::size_t>(keep));
  FInCount = keep > 0 ? keep : 0;
  FBitPos &= 7;
  while (!FInEnd && FInCount < kInSize) {
    const Int32 got = FIn->Read(FInBuf.get() + FInCount, kInSize - FInCount);
    if (got <= 0 || got > kInSize - FInCount) {
      FInEnd = true;
      break;
    }
    FInCount += got;
  }
  // A code near the end reads up to three bytes; those past the data are 0.
  std::memset(FInBuf.get() + FInCount, 0, 3);
}

bool TZooLzwDecoder::ReadCode(UInt32& Code) {
  const auto width = static_cast<UInt32>(FWidth);
  if (FBitPos + width > static_cast<UInt32>(FInCount) * 8) {
    if (!FInEnd) Refill();
    if (FBitPos + width > static_cast<UInt32>(FInCount) * 8) return false;
  }
  const Byte* p = FInBuf.get() + (FBitPos >> 3);
  const UInt32 bits = static_cast<UInt32>(p[0]) | static_cast<UInt32>(p[1]) << 8 | static_cast<UInt32>(p[2]) << 16;
  Code = (bits >> (FBitPos & 7)) & ((1u << width) - 1);
  FBitPos += width;
  return true;
}

void TZooLzwDecoder::Flush() {
  if (FOutCount > 0) FOut->Write(FOutBuf.get(), FOutCount);
  FOutCount = 0;
}

bool TZooLzwDecoder::Put(const Byte* Bytes, UInt32 Count) {
  const bool fits = static_cast<Int64>(Count) <= FLeft;
  auto n = static_cast<UInt32>(std::min<Int64>(Count, FLeft));
  FLeft -= n;
  while (n > 0) {
    const UInt32 room = static_cast<UInt32>(kOutSize - FOutCount);
    const UInt32 take = std::min(n, room);
    std::memcpy(FOutBuf.get() + FOutCount, Bytes, take);
    FOutCount += static_cast<Int32>(take);
    Bytes += take;
    n -= take;
    if (FOutCount == kOutSize) Flush();
  }
  return fits;
}

TZooLzwDecoder::TResult TZooLzwDecoder::Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize,
                                               const bool* Cancel) {
  FIn = &In;
  FOut = &Out;
  FCancel = Cancel;
  FInCount = 0;
  FBitPos = 0;
  FInEnd = false;
  FOutCount = 0;
  FLeft = UnpackedSize < 0 ? 0 : UnpackedSize;
  FWidth = 9;
  FLimit = 512;
  FFree = kFirstFree;
  Refill();

  auto cancelled = [this] { return FCancel && *FCancel; };
  // Right after the start or a clear there is no previous string: the next
  // code must be a byte and adds no entry.
  bool havePrevious = false;
  UInt32 previous = 0;
  Byte first = 0;
  TResult result = TResult::Corrupt;
  UInt32 polls = 0;
  for (;;) {
    UInt32 code = 0;
    if (!ReadCode(code)) break;
    if (code == kEnd) {
      result = FLeft == 0 ? TResult::Ok : TResult::Corrupt;
      break;
    }
    if (code == kClear) {
      FWidth = 9;
      FLimit = 512;
      FFree = kFirstFree;
      havePrevious = false;
      continue;
    }
    if (!havePrevious) {
      if (code > 255) break;
      first = static_cast<Byte>(code);
      if (!Put(&first, 1)) break;
      previous = code;
      havePrevious = true;
      continue;
    }
    // Only the code about to be defined may be used before its entry
    // exists: it is the previous string plus that string's first byte.
    if (code > FFree || (code == FFree && FFree >= kTableSize)) break;
    UInt32 sp = kTableSize;
    UInt32 walk = code;
    Byte tail = 0;
    const bool pending = code == FFree;
    if (pending) {
      tail = first;
      walk = previous;
    }
    // Entries always point to lower codes, so this ends within the table.
    while (walk > 255) {
      FStack[--sp] = FSuffix[walk];
      walk = FPrefix[walk];
    }
    first = static_cast<Byte>(walk);
    FStack[--sp] = first;
    bool fits = Put(FStack + sp, kTableSize - sp);
    if (fits && pending) fits = Put(&tail, 1);
    if (!fits) break;
    if (FFree < kTableSize) {
      FPrefix[FFree] = static_cast<UInt16>(previous);
      FSuffix[FFree] = first;
      ++FFree;
      if (FFree >= FLimit && FWidth < kMaxBits) {
        ++FWidth;
        FLimit <<= 1;
      }
    }
    previous = code;
    if ((++polls & 0xFFF) == 0 && cancelled()) {
      result = TResult::Cancelled;
      break;
    }
  }
  Flush();
  if (result != TResult::Cancelled && cancelled()) result = TResult::Cancelled;
  return result;
}

}  // namespace vsk
