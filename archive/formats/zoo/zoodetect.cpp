// How the detection knows a ZOO archive: its text "ZO".

#include "archive/core/detect.h"

namespace vsk {

namespace {

TArcType LeadingPairStep(TProbe& P) { return LeadingPair(P.Sig) == 0x5A4F ? atZoo : atNA; }

}  // namespace

extern const TArcDetector ZooDetector;
const TArcDetector ZooDetector{.LeadingPair = LeadingPairStep};

}  // namespace vsk
