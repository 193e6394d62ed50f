// How the detection knows ARC and PAK archives: the marker byte 1A and the
// method byte, also at the offsets where known self-extractor stubs put it.

#include <initializer_list>

#include "archive/core/detect.h"
#include "archive/core/register.h"

namespace vsk {

namespace {

// Where an ARC self-extractor's stub ends.
constexpr Int64 kArcStubSize = 7716;

TArcType LeadingPairStep(TProbe& P) {
  if (P.Sig == 0x5754DFB7u) {
    if (P.InExe()) P.R.ArcOffset = kArcStubSize;
    return atArc;
  }
  switch (LeadingPair(P.Sig)) {
    case 0xB7DF:
    case 0xB792:
      P.R.ArcOffset = kArcStubSize;
      return atArcExe;
    case 0x1A0A:
    case 0x1A0B:
      return atPak;
    case 0x1A08:
    case 0x1A09:
      return atArc;
    case 0x1A02:
    case 0x1A1E:
      // Not read inside a program.
      return P.InExe() ? atUnsupported : atArc;
    default:
      return atNA;
  }
}

TArcType Stub(TProbe& P) {
  Byte b[2];
  for (Int64 offset : {6674, 6867, 7716, 8601, 13138}) {
    if (P.R.ArcSize < offset + 3) break;
    if (ReadAt(P.F, offset, b, 2) < 2 || b[0] != 0x1A) continue;
    if (b[1] == 0x08 || b[1] == 0x09) {
      P.R.ArcOffset = offset;
      return atArcExe;
    }
    if (b[1] == 0x0A || b[1] == 0x0B) {
      P.R.ArcOffset = offset;
      return atPakExe;
    }
  }
  return atNA;
}

}  // namespace

extern const TArcDetector ArcDetector;
const TArcDetector ArcDetector{.LeadingPair = LeadingPairStep, .Stub = Stub};

}  // namespace vsk
