// How the detection knows an LHA archive: the method "-lh?-" two bytes into
// its first header, also behind a prefix of 128 zeros and where a known
// self-extractor stub ends.

#include "archive/core/detect.h"
#include "archive/core/register.h"

namespace vsk {

namespace {

TArcType Leading(TProbe& P) {
  const Byte* h = P.Head;
  if (P.Count > 0 && h[0] == 0 && P.Count - P.Skipped > 132 && P.Count > 0x83 && h[0x82] == '-' && h[0x83] == 'l') {
    P.R.ArcOffset = 128;
    return atLha;
  }
  return atNA;
}

TArcType Signature(TProbe& P) { return SigByte(P.Sig, 2) == '-' && SigByte(P.Sig, 3) == 'l' ? atLha : atNA; }

TArcType Stub(TProbe& P) {
  Byte b[6];
  if (P.R.ArcSize >= 1950 && ReadAt(P.F, 1947, b, 6) >= 5 && b[0] == '-' && b[1] == 'l' && b[2] == 'h' &&
      b[4] == '-') {
    P.R.ArcOffset = 1945;
    return atLhaExe;
  }
  return atNA;
}

TArcType Scan(TScanProbe& S) {
  if (S.Offset + 5 < S.R.ArcSize && S.Left >= 5 && S.At[1] == 'l' && S.At[2] == 'h' && S.At[4] == '-' &&
      S.Offset >= 2) {
    S.Found = S.Offset - 2;
    return S.Found == 0 ? atLha : atLhaExe;
  }
  return atNA;
}

}  // namespace

extern const TArcDetector LhaDetector;
const TArcDetector LhaDetector{.Leading = Leading, .Signature = Signature, .Stub = Stub, .ScanLead = '-', .Scan = Scan};

}  // namespace vsk
