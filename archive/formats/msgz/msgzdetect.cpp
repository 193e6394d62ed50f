// How the detection knows an MsGZ archive: its signature.

#include "archive/core/detect.h"

namespace vsk {

namespace {

TArcType Signature(TProbe& P) { return P.Sig == 0x8C655D13u ? atMsGZ : atNA; }

}  // namespace

extern const TArcDetector MsGzDetector;
const TArcDetector MsGzDetector{.Signature = Signature};

}  // namespace vsk
