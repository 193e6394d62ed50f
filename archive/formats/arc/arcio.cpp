#include "archive/formats/arc/arcio.h"

namespace vsk {

namespace {

constexpr Byte kRepeatMarker = 0x90;

}  // namespace

TArcInput::TArcInput(TCodecSource& Source) : FSource(Source), FBuf(new Byte[kArcBufferSize]) {}

bool TArcInput::Refill() {
  if (FEnd) return false;
  const Int32 got = FSource.Read(FBuf.get(), kArcBufferSize);
  if (got <= 0 || got > kArcBufferSize) {
    FEnd = true;
    FPos = FCount = 0;
    return false;
  }
  FPos = 0;
  FCount = got;
  return true;
}

TArcOutput::TArcOutput(TCodecSink& Sink, Int64 Limit, bool Expand, const bool* Cancel)
    : FSink(Sink), FBuf(new Byte[kArcBufferSize]), FLimit(Limit < 0 ? 0 : Limit), FExpand(Expand), FCancel(Cancel) {}

void TArcOutput::Flush() {
  if (FCount > 0) FSink.Write(FBuf.get(), FCount);
  FCount = 0;
}

// 0x90 n repeats the last byte n - 1 more times; 0x90 0 is a literal 0x90,
// which is written but does not become the byte a later count repeats.
void TArcOutput::Expand(Byte B) {
  if (FMarker) {
    FMarker = false;
    if (B == 0) {
      Raw(kRepeatMarker);
      return;
    }
    for (unsigned n = B; n > 1 && !FOverrun; --n) Raw(FLast);
    return;
  }
  if (B == kRepeatMarker) {
    FMarker = true;
    return;
  }
  FLast = B;
  Raw(B);
}

}  // namespace vsk
