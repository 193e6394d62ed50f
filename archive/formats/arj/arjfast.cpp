#include "archive/formats/arj/arjfast.h"

#include <cstring>

namespace vsk {

namespace {

constexpr int kMaxLengthOnes = 7;
constexpr int kMaxDistanceOnes = 4;
constexpr UInt32 kFirstDistanceWeight = 512;
constexpr int kDistanceBits = 9;
// A length code L stands for a match of L + 2 bytes.
constexpr UInt32 kMatchBias = 2;

}  // namespace

TArjFastDecoder::TArjFastDecoder() : FRing(new Byte[kRingSize]) {}

TArjFastDecoder::~TArjFastDecoder() = default;

UInt32 TArjFastDecoder::ReadLength() {
  UInt32 base = 0, weight = 1;
  int ones = 0;
  while (ones < kMaxLengthOnes && FBits.Get(1) != 0) {
    base += weight;
    weight <<= 1;
    ++ones;
  }
  return base + FBits.Get(ones);
}

UInt32 TArjFastDecoder::ReadDistance() {
  UInt32 base = 0, weight = kFirstDistanceWeight;
  int ones = 0;
  while (ones < kMaxDistanceOnes && FBits.Get(1) != 0) {
    base += weight;
    weight <<= 1;
    ++ones;
  }
  return base + FBits.Get(kDistanceBits + ones);
}

TArjFastDecoder::TResult TArjFastDecoder::Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize,
                                                 const bool* Cancel) {
  if (UnpackedSize <= 0) return TResult::Ok;
  std::memset(FRing.get(), 0, kRingSize);
  FBits.Start(In);
  Byte* ring = FRing.get();
  Int64 left = UnpackedSize;
  Int32 pos = 0;
  auto flush = [&]() {
    if (pos > 0) Out.Write(ring, pos);
    pos = 0;
  };
  while (left > 0) {
    if (FBits.Exhausted()) {
      flush();
      return TResult::Corrupt;
    }
    const UInt32 length = ReadLength();
    if (length == 0) {
      ring[pos++] = static_cast<Byte>(FBits.Get(8));
      --left;
    } else {
      const UInt32 distance = ReadDistance();
      Int64 count = static_cast<Int64>(length) + kMatchBias;
      if (count > left) count = left;
      left -= count;
      // Both ends wrap at the ring's size; the source trails the output by
      // distance + 1 bytes (at most 15872), less than the ring holds.
      Int32 from = pos - static_cast<Int32>(distance) - 1;
      if (from < 0) from += kRingSize;
      while (count-- > 0) {
        ring[pos++] = ring[from++];
        if (from == kRingSize) from = 0;
        if (pos == kRingSize) {
          flush();
          if (Cancel && *Cancel) return TResult::Cancelled;
        }
      }
      continue;
    }
    if (pos == kRingSize) {
      flush();
      if (Cancel && *Cancel) return TResult::Cancelled;
    }
  }
  flush();
  return TResult::Ok;
}

}  // namespace vsk
