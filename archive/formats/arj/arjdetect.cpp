// How the detection knows an ARJ archive: a header that starts 60 EA, and
// in a program one followed by a second header where its size says.

#include "archive/core/detect.h"
#include "archive/core/register.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

TArcType LeadingPairStep(TProbe& P) { return LeadingPair(P.Sig) == 0x60EA ? atArj : atNA; }

TArcType Scan(TScanProbe& S) {
  if (S.Left < 4 || S.At[1] != 0xEA) return atNA;
  const Int32 next = GetLE16(S.At + 2) + 10;
  if (next + 2 > S.Left || S.At[next] != 0x60 || S.At[next + 1] != 0xEA) return atNA;
  S.Found = S.Offset;
  return S.Offset == 0 ? atArj : atArjExe;
}

bool Volumes(TArcType T, TVolumeNaming& Naming) {
  if (T != atArj) return false;
  Naming = {'a', "Arj", 1};
  return true;
}

}  // namespace

extern const TArcDetector ArjDetector;
const TArcDetector ArjDetector{.LeadingPair = LeadingPairStep, .ScanLead = 0x60, .Scan = Scan, .Volumes = Volumes};

}  // namespace vsk
