// How the detection knows a RAR archive: its marker "Rar!", at the start or
// anywhere in a program.

#include "archive/core/detect.h"

namespace vsk {

namespace {

TArcType Signature(TProbe& P) { return P.Sig == 0x21726152u ? atRar : atNA; }

TArcType Scan(TScanProbe& S) {
  if (S.Left < 4 || !Matches(S.At, "Rar!", 4)) return atNA;
  S.Found = S.Offset;
  return S.Offset == 0 ? atRar : atRarExe;
}

bool Volumes(TArcType T, TVolumeNaming& Naming) {
  if (T != atRar && T != atRarExe) return false;
  Naming = {'q', "Rar", 0};
  return true;
}

}  // namespace

extern const TArcDetector RarDetector;
const TArcDetector RarDetector{.Signature = Signature, .ScanLead = 'R', .Scan = Scan, .Volumes = Volumes};

}  // namespace vsk
