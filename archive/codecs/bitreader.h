#pragma once
// Bit input of the LZ decoders of this folder: the most significant bit of
// each byte first, from a source read in large blocks. Past the end of the
// packed bytes the input reads as zero bits, so a decoder always finishes
// its current step; Exhausted tells when it has run well past the end, which
// only a damaged or cut entry does.

#include <memory>

#include "base/types.h"
#include "archive/codecs/codecio.h"

namespace vsk {

class TMsbBitReader {
 public:
  static constexpr Int32 kBufferSize = 65536;

  TMsbBitReader() : FBuffer(new Byte[kBufferSize]) {}

  // Starts reading In afresh; the first bits are fetched at once.
  void Start(TCodecSource& In) {
    FIn = &In;
    FPos = FEnd = 0;
    FAcc = 0;
    FCount = 0;
    FPastEnd = 0;
    Refill();
  }

  // The next N bits (0..32) as a number, without taking them.
  UInt32 Peek(int N) const { return N <= 0 ? 0 : static_cast<UInt32>(FAcc >> (64 - N)); }
  // Takes N bits (0..32).
  void Skip(int N) {
    FAcc <<= N;
    FCount -= N;
    if (FCount < 32) Refill();
  }
  UInt32 Get(int N) {
    const UInt32 v = Peek(N);
    Skip(N);
    return v;
  }

  // More than eight bytes beyond the end of the input have been taken.
  bool Exhausted() const { return FPastEnd * 8 - FCount > 64; }

 private:
  void Refill() {
    while (FCount <= 56) {
      FAcc |= static_cast<UInt64>(NextByte()) << (56 - FCount);
      FCount += 8;
    }
  }

  Byte NextByte() {
    if (FPos < FEnd) return FBuffer[FPos++];
    if (FPastEnd == 0 && FIn) {
      const Int32 got = FIn->Read(FBuffer.get(), kBufferSize);
      if (got > 0) {
        FPos = 1;
        FEnd = got > kBufferSize ? kBufferSize : got;
        return FBuffer[0];
      }
    }
    ++FPastEnd;
    return 0;
  }

  std::unique_ptr<Byte[]> FBuffer;
  TCodecSource* FIn = nullptr;
  Int32 FPos = 0, FEnd = 0;
  // The next bits, left-aligned; FCount of them are valid.
  UInt64 FAcc = 0;
  int FCount = 0;
  Int64 FPastEnd = 0;  // zero bytes supplied beyond the input's end
};

}  // namespace vsk
