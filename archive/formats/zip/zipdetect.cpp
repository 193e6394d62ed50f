// How the detection knows a zip archive: a record signature "PK" (or the
// encrypted "PL") at the start, an end record in the file's tail, a local
// header where known self-extractor stubs end or anywhere in a program; a
// JAR by its name.

#include <initializer_list>

#include "archive/core/detect.h"
#include "archive/core/register.h"
#include "archive/core/zipcrypt.h"
#include "archive/formats/zip/zipdirectory.h"
#include "base/records/ziprecords.h"
#include "base/textcase.h"

namespace vsk {

namespace {

// Where the walk of a zip archive found at the start of a file begins.
TArcType SettleInFile(TProbe& P, TArcType T) {
  TRegisterVorsk& r = P.R;
  P.Final = true;
  r.ArcOffset = LocateZipDirectory(r, P.F);
  if (T == atZipMV) return T;
  // Without a directory the walk starts at the first header, but only a
  // local header is one: an archive that is its end record alone (an empty
  // one) has nothing to walk.
  if (!(r.ZipRecFlags & kZipLocalFound) && r.ArcOffset == 0) {
    r.ArcOffset = P.Skipped;
    bool enc = false;
    if (ClassifyZipSignature(P.Sig, kZipLocalKind, enc) == kZipLocalKind) r.ZipRecFlags |= kZipLocalFound;
  }
  // The last part of a split set starts wherever the split fell, also at a
  // local header; its end record tells it from a whole archive.
  if ((r.ZipRecFlags & kZipEndFound) && r.ZipEndRec.DiskNumber != 0) return atZipMV;
  return T;
}

// Where the walk of a zip archive found inside a program begins.
void SettleInProgram(TProbe& P) {
  TRegisterVorsk& r = P.R;
  const Int64 start = r.ArcOffset;
  const Int64 dir = LocateZipDirectory(r, P.F);
  if (P.Site == TProbeSite::Resource) {
    // Without a directory the walk starts from the local headers here.
    if (dir > 0) r.ArcOffset = dir;
  } else if (r.ZipRecFlags & kZipCentralFound) {
    r.ArcOffset = dir;
  } else {
    // No directory: the local headers are walked from the archive's start.
    r.ArcOffset = start;
    r.ZipRecFlags |= kZipLocalFound;
  }
}

TArcType LeadingPairStep(TProbe& P) {
  if (P.Sig == 0x35474B50u) {  // "PKG5"
    P.Final = true;
    return atUnknown;
  }
  const UInt16 lead = LeadingPair(P.Sig);
  if (lead != 0x504B && lead != 0x504C) return atNA;  // "PK", "PL"
  // Behind a DOS image a local header is left to the end record's search.
  if (P.Site == TProbeSite::ImageEnd && P.Sig == kZipLocalSignature) return atNA;
  const Byte b2 = SigByte(P.Sig, 2), b3 = SigByte(P.Sig, 3);
  TArcType t = atZip;
  if (b2 == 0x01 && b3 == 0x02) {
    LocateZipDirectory(P.R, P.F);
    t = atZipMV;
  } else if (b2 == 0x07 && b3 == 0x08) {
    t = atZipMV;
  } else if ((b2 == 'G' && b3 == '4') || (b2 == 'C' && b3 == 'I')) {
    return atNA;
  }
  if (P.Site == TProbeSite::File) return SettleInFile(P, t);
  if (t == atZip && P.Site != TProbeSite::ImageEnd) SettleInProgram(P);
  return t;
}

TArcType Trailer(TProbe& P) {
  TRegisterVorsk& r = P.R;
  if (P.InExe()) r.ZipEndRec.Signature = 0;
  r.ArcOffset = LocateZipDirectory(r, P.F);
  if (r.ArcOffset <= 0) return atNA;
  if (P.InExe()) return atZipExe;
  return r.ZipEndRec.DiskNumber == 0 ? atZip : atZipMV;
}

TArcType Stub(TProbe& P) {
  Byte b[4];
  for (Int64 offset : {7612, 25661}) {
    if (P.R.ArcSize >= offset + 5 && ReadAt(P.F, offset, b, 4) == 4 && GetLE32(b) == kZipLocalSignature) {
      P.R.ArcOffset = offset;
      return atZipExe;
    }
  }
  return atNA;
}

TArcType Scan(TScanProbe& S) {
  if (S.Left < 4 || GetLE32(S.At) != kZipLocalSignature) return atNA;
  if (S.Left >= 8 && Matches(S.At + 4, "\x74\x0B\x3D\x00", 4)) return atNA;
  const Int64 dir = LocateZipDirectory(S.R, S.F);
  S.Found = dir > 0 ? dir : S.Offset;
  return S.Start == 0 ? atZip : atZipExe;
}

TArcType Named(TArcType Found, const std::string& FileName) {
  return Found == atZip && EndsWithTextAscii(FileName, ".jar") ? atJar : Found;
}

}  // namespace

extern const TArcDetector ZipDetector;
const TArcDetector ZipDetector{.LeadingPair = LeadingPairStep,
                               .Trailer = Trailer,
                               .Stub = Stub,
                               .ScanLead = 'P',
                               .Scan = Scan,
                               .Named = Named};

}  // namespace vsk
