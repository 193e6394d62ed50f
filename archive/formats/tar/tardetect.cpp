// How the detection knows a tar archive: a valid first member header, behind
// a volume label when there is one.

#include "archive/core/detect.h"
#include "archive/core/register.h"
#include "base/checksum.h"

namespace vsk {

namespace {

TArcType Layout(TProbe& P) {
  TRegisterVorsk& r = P.R;
  if (r.ArcSize < 513) return atNA;
  Byte header[kTarBlockSize];
  if (ReadAt(P.F, 0, header, kTarBlockSize) < kTarBlockSize) return atNA;
  if (header[156] == 'V') {
    // A volume label: the first member's header follows it.
    r.ArcOffset = kTarBlockSize;
    if (r.ArcSize <= 2 * kTarBlockSize) return atNA;
    if (ReadAt(P.F, kTarBlockSize, header, kTarBlockSize) < kTarBlockSize) return atNA;
  }
  if (IsValidTarHeader(header)) return atTar;
  r.ArcOffset = -1;
  return atNA;
}

}  // namespace

extern const TArcDetector TarDetector;
const TArcDetector TarDetector{.Layout = Layout};

}  // namespace vsk
