// How the detection knows a UU, XX or Base64 text: a "begin 6", "begin 7"
// or "begin-base64 " line within its first 5000 bytes.

#include <algorithm>

#include "archive/core/detect.h"
#include "archive/core/register.h"

namespace vsk {

namespace {

constexpr Int64 kUueProbeSize = 5000;

TArcType Text(TProbe& P) {
  const Int64 n = std::min({P.R.ArcSize, kUueProbeSize, P.Count});
  const Byte* h = P.Head;
  for (Int64 i = 0; i + 7 <= n; ++i) {
    if (i > 0 && h[i - 1] != '\n') continue;
    if (Matches(h + i, "begin 6", 7) || Matches(h + i, "begin 7", 7) ||
        (i + 13 <= n && Matches(h + i, "begin-base64 ", 13))) {
      P.R.ArcOffset = 1;
      return atUUE;
    }
  }
  return atNA;
}

}  // namespace

extern const TArcDetector UuDetector;
const TArcDetector UuDetector{.Text = Text};

}  // namespace vsk
