// How the detection knows an ACE archive: the mark "**ACE**" in its main
// header, seven bytes in, behind the header's CRC and size.

#include "archive/core/detect.h"
#include "archive/core/register.h"

namespace vsk {

namespace {

bool HasAceMark(const Byte* Head, Int64 Count) { return Count >= 14 && Matches(Head + 7, "**ACE**", 7); }

TArcType Mark(TProbe& P) { return HasAceMark(P.Head, P.Count) ? atAce : atNA; }

TArcType Scan(TScanProbe& S) {
  if (S.Offset + 5 < S.R.ArcSize && S.Left >= 5 && Matches(S.At + 1, "*ACE", 4) && S.Offset >= 7) {
    S.Found = S.Offset - 7;
    return S.Found == 0 ? atAce : atAceExe;
  }
  return atNA;
}

bool Volumes(TArcType T, TVolumeNaming& Naming) {
  if (T != atAce) return false;
  Naming = {'C', "Ace", 0};
  return true;
}

}  // namespace

extern const TArcDetector AceDetector;
const TArcDetector AceDetector{.Mark = Mark, .ScanLead = '*', .Scan = Scan, .Volumes = Volumes};

}  // namespace vsk
