// How the detection knows a gzip file: the first two bytes of gzip, compress,
// pack and the older compressors its reader takes.

#include "archive/core/detect.h"

namespace vsk {

namespace {

TArcType LeadingPairStep(TProbe& P) {
  switch (LeadingPair(P.Sig)) {
    case 0x1F8B:
    case 0x1F9D:
    case 0x1F9E:
    case 0x1FA0:
    case 0x1F1E:
    case 0x2521:
      return atGZip;
    default:
      return atNA;
  }
}

}  // namespace

extern const TArcDetector GzipDetector;
const TArcDetector GzipDetector{.LeadingPair = LeadingPairStep};

}  // namespace vsk
