// How the detection knows a BH archive: its header's signature "BH" 05 07.

#include "archive/core/detect.h"
#include "archive/core/register.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

constexpr UInt32 kBhSignature = 0x07054842u;

TArcType Signature(TProbe& P) { return P.Sig == kBhSignature ? atBh : atNA; }

TArcType Scan(TScanProbe& S) {
  if (S.Left < 4 || GetLE32(S.At) != kBhSignature) return atNA;
  if (S.Left >= 8 && Matches(S.At + 4, "\x0F\x94\xC3\x84", 4)) return atNA;
  S.Found = S.Offset;
  return S.Offset == 0 ? atBh : atBhExe;
}

}  // namespace

extern const TArcDetector BhDetector;
const TArcDetector BhDetector{.Signature = Signature, .ScanLead = 'B', .Scan = Scan};

}  // namespace vsk
