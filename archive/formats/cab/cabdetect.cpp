// How the detection knows a cabinet: its signature "MSCF".

#include "archive/core/detect.h"

namespace vsk {

namespace {

TArcType Signature(TProbe& P) { return P.Sig == 0x4643534Du ? atCab : atNA; }

}  // namespace

extern const TArcDetector CabDetector;
const TArcDetector CabDetector{.Signature = Signature};

}  // namespace vsk
