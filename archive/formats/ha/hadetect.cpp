// How the detection knows an HA archive: its magic "HA".

#include "archive/core/detect.h"

namespace vsk {

namespace {

TArcType LeadingPairStep(TProbe& P) { return LeadingPair(P.Sig) == 0x4841 ? atHA : atNA; }

}  // namespace

extern const TArcDetector HaDetector;
const TArcDetector HaDetector{.LeadingPair = LeadingPairStep};

}  // namespace vsk
