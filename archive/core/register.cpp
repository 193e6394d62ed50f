#include "archive/core/register.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "archive/core/detect.h"
#include "archive/core/fileprims.h"
#include "archive/core/regularfile.h"
#include "base/errors.h"
#include "base/messages.h"
#include "base/records/elf.h"
#include "base/records/ziprecords.h"
#include "base/stream.h"
#include "base/paths.h"
#include "platform/pe.h"

namespace vsk {

// The Detect column: each format's detector, declared by the table itself
// so that a new row needs no include here.
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, Flags, SfxStub, Detect, ...) extern const TArcDetector Detect;
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE

// The rows without detection of their own.
const TArcDetector NoDetector{};

Int32 ReadAt(TStream32& F, Int64 Pos, void* Buffer, Int32 Count) {
  if (Pos < 0 || Count <= 0) return 0;
  if (F.Seek(Pos, soBeginning) != Pos) return 0;
  Int32 done = 0;
  auto* p = static_cast<Byte*>(Buffer);
  while (done < Count) {
    const Int32 n = F.Read(p + done, Count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

namespace {

constexpr Int64 kMinArchiveSize = 20;
constexpr Int32 kHeadSize = 32767;
constexpr Int32 kScanBlock = 32768;
constexpr Int32 kScanBlocks = 6;
// Bytes read beyond each scanned block so that a header straddling two
// blocks is still seen whole; an ARJ basic header is at most 2600 bytes.
constexpr Int32 kScanLookahead = 4096;
constexpr Int64 kExeScanStart = 17000;

bool FileExists(const std::string& Name) {
  struct stat st;
  return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Parses a decimal resource string; false for anything else.
bool ParseOffset(const std::string& Text, Int64& Value) {
  if (Text.empty()) return false;
  Value = 0;
  for (char c : Text) {
    if (c < '0' || c > '9') return false;
    Value = Value * 10 + (c - '0');
  }
  return true;
}

constexpr std::array<const TArcDetector*, kArcTypeCount> kRowDetectors = {{
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, Flags, SfxStub, Detect, ...) &Detect,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
}};

const TArcDetector& RowDetector(TArcType T) {
  return static_cast<int>(T) < kArcTypeCount ? *kRowDetectors[T] : NoDetector;
}

// Every detector once, in the order of the first row naming it.
const std::vector<const TArcDetector*>& Detectors() {
  static const std::vector<const TArcDetector*> list = [] {
    std::vector<const TArcDetector*> l;
    for (const TArcDetector* d : kRowDetectors)
      if (std::find(l.begin(), l.end(), d) == l.end()) l.push_back(d);
    return l;
  }();
  return list;
}

// The detectors that scan, by the byte each is asked at.
const std::array<std::vector<const TArcDetector*>, 256>& Scanners() {
  static const auto table = [] {
    std::array<std::vector<const TArcDetector*>, 256> t;
    for (const TArcDetector* d : Detectors())
      if (d->Scan) t[d->ScanLead].push_back(d);
    return t;
  }();
  return table;
}

using TStep = TArcType (*TArcDetector::*)(TProbe&);

// The first verdict of a step, in the table's order; atNA when none.
TArcType RunStep(TStep Step, TProbe& P) {
  for (const TArcDetector* d : Detectors()) {
    if (!(d->*Step)) continue;
    const TArcType t = (d->*Step)(P);
    if (t != atNA) return t;
  }
  return atNA;
}

// A plain type's verdict where the bytes were found: inside a program its
// self-extracting twin.
TArcType Placed(const TProbe& P, TArcType T) { return P.InExe() ? ArcTypeRow(T).SfxTwin : T; }

// The type of the header whose first four bytes P holds: the signatures
// first, then those of the first two bytes alone.
TArcType Classify(TProbe& P) {
  TArcType t = RunStep(&TArcDetector::Signature, P);
  if (t == atNA) t = RunStep(&TArcDetector::LeadingPair, P);
  return Placed(P, t);
}

// A mark inside the header P holds.
TArcType MarkOf(TProbe& P) { return Placed(P, RunStep(&TArcDetector::Mark, P)); }

}  // namespace

void TRegisterVorsk::SetArchiveFile(const std::string& Value) {
  if (!FileExists(Value)) {
    FArcType = atNA;
    FArchiveFile.clear();
    return;
  }
  FArchiveFile = Value;
  // A file that cannot be looked at is of no type, not of the last one's.
  FArcType = atNA;
  FArcType = DetectArcType(FArchiveFile);
  if (IsValidArcType(FArcType)) SetVolumeNumber();
}

void TRegisterVorsk::SetArcType(TArcType) { FArcType = DetectArcType(FArchiveFile); }

bool TRegisterVorsk::OpenArchiveHandle(const std::string& FileName, int& Handle) {
  Handle = OpenFileHandle(nullptr, FileName, GENERIC_READ, 0, OPEN_EXISTING);
  if (Handle == kInvalidHandle) {
    ArcSize = 0;
    return false;
  }
  ArcSize = FileHandleSize(Handle);
  return true;
}

TArcType TRegisterVorsk::ProbeSfxStub(TStream32& F) {
  TProbe p{*this, F, TProbeSite::ImageEnd};
  return RunStep(&TArcDetector::Stub, p);
}

Int64 TRegisterVorsk::ScanForSignature(TStream32& F, Int64 Start, TArcType& Type) {
  Type = atNA;
  if (Start >= ArcSize) return 0;
  const auto& scanners = Scanners();
  Int64 result = 0;
  std::vector<Byte> buf(static_cast<std::size_t>(kScanBlock + kScanLookahead));
  for (Int32 block = 0; block < kScanBlocks; ++block) {
    const Int64 pos = Start + static_cast<Int64>(kScanBlock) * block;
    const Int32 n = ReadAt(F, pos, buf.data(), kScanBlock + kScanLookahead);
    if (n <= 0) break;
    const Int32 limit = std::min(n, kScanBlock);
    bool hit = false;
    for (Int32 p = 0; p < limit && !hit; ++p) {
      for (const TArcDetector* d : scanners[buf[static_cast<std::size_t>(p)]]) {
        TScanProbe s{*this, F, buf.data() + p, n - p, pos + p, Start};
        const TArcType t = d->Scan(s);
        if (t == atNA) continue;
        Type = t;
        result = s.Found;
        hit = true;
        break;
      }
    }
    if (hit && result > 0) break;
    if (n < kScanBlock) break;
  }
  return result;
}

TArcType TRegisterVorsk::ProbeResources(TStream32& F, const std::string& FileName) {
  TPeImage image;
  if (!image.LoadFromFile(FileName)) return atNA;
  // Self-extractors built on a resource-only stub name the data offset in
  // their string table.
  for (UInt32 id = 1; id <= 7; ++id) {
    Int64 value = 0;
    if (!ParseOffset(image.LoadString(id, 5), value) || value >= ArcSize) break;
    ArcOffset = value;
    Byte h[14];
    if (ReadAt(F, value, h, sizeof h) < static_cast<Int32>(sizeof h)) continue;
    TProbe p{*this, F, TProbeSite::Resource, h, sizeof h, 0, GetLE32(h)};
    if (const TArcType t = MarkOf(p); t != atNA) return t;
    const TArcType t = Classify(p);
    if (t != atNA) return t;
  }
  return atNA;
}

TArcType TRegisterVorsk::DetectInExecutable(TStream32& F, const std::string& FileName, const Byte* Head,
                                            Int64 Count) {
  TArcType t = ProbeSfxStub(F);
  if (IsValidArcType(t)) return t;

  t = ProbeResources(F, FileName);
  if (t != atNA) return t;

  // The archive may follow the DOS image, whose length the MZ header gives.
  if (Count >= 6) {
    const Int64 imageEnd = (static_cast<Int64>(GetLE16(Head + 4)) - 1) * 512 + GetLE16(Head + 2);
    Byte w[4];
    if (imageEnd > 0 && imageEnd + 4 < ArcSize && ReadAt(F, imageEnd, w, 4) == 4) {
      // Two bytes of padding may stand before a header that starts 60 EA.
      ArcOffset = (w[2] == 0x60 && w[3] == 0xEA) ? imageEnd + 2 : imageEnd;
      if (ArcOffset + 4 < ArcSize && ReadAt(F, ArcOffset, w, 4) == 4) {
        TProbe p{*this, F, TProbeSite::ImageEnd, w, 4, 0, GetLE32(w)};
        t = Classify(p);
        if (IsValidArcType(t)) return t;
      }
    }
  }

  TProbe whole{*this, F, TProbeSite::ImageEnd};
  t = RunStep(&TArcDetector::Trailer, whole);
  if (t != atNA) return t;

  ArcOffset = ScanForSignature(F, kExeScanStart, t);
  return t;
}

TArcType TRegisterVorsk::DetectInElf(TStream32& F) {
  const UInt64 end = ElfImageSize(
      [&F](UInt64 Offset, void* Buffer, std::size_t Count) {
        return ReadAt(F, static_cast<Int64>(Offset), Buffer, static_cast<Int32>(Count)) == static_cast<Int32>(Count);
      },
      static_cast<UInt64>(ArcSize));
  Byte w[14];
  if (end == 0 || static_cast<Int64>(end) + 4 > ArcSize) return atNA;
  const Int32 n = ReadAt(F, static_cast<Int64>(end), w, sizeof w);
  if (n < 4) return atNA;
  ArcOffset = static_cast<Int64>(end);
  TProbe p{*this, F, TProbeSite::ElfEnd, w, n, 0, GetLE32(w)};
  if (const TArcType t = MarkOf(p); t != atNA) return t;
  return Classify(p);
}

TArcType TRegisterVorsk::DetectPlain(TStream32& F, const Byte* Head, Int64 Count) {
  Int64 skipped = 0;
  while (skipped < Count && Head[skipped] == 0) ++skipped;
  TProbe p{*this, F, TProbeSite::File, Head, Count, skipped, 0};
  if (const TArcType t = RunStep(&TArcDetector::Leading, p); t != atNA) return t;

  TArcType t = atNA;
  if (skipped + 4 <= Count) {
    p.Sig = GetLE32(Head + skipped);
    t = Classify(p);
  }
  if (p.Final) return t;
  // A mark inside the header outweighs what its first bytes say.
  if (const TArcType m = MarkOf(p); m != atNA) return m;
  if (IsValidArcType(t)) return t;

  for (TStep step : {&TArcDetector::Text, &TArcDetector::Layout, &TArcDetector::Trailer})
    if (const TArcType found = RunStep(step, p); found != atNA) return found;
  return t;
}

TArcType TRegisterVorsk::DetectArcType(const std::string& FileName) {
  ZipCommentPos = 0;
  ZipOffsetShift = 0;
  ZipEndPos = -1;
  if (FileName.empty()) return atNA;
  ArcOffset = -1;
  ZipRecFlags = 0;

  // Only regular files are read: opening a pipe or a device could block or
  // never end.
  TRegularFileStream f(FileName);
  if (!f.IsOpen()) throw EFOpenError(msg::ErrorOpeningFile);
  ArcSize = f.Size();
  if (ArcSize < kMinArchiveSize) return atNA;

  std::vector<Byte> head(kHeadSize + 1, 0);
  const Int32 n = ReadAt(f, 0, head.data(), kHeadSize);
  TArcType t = atNA;
  if (n >= 2 && head[0] == 'M' && head[1] == 'Z') {
    t = DetectInExecutable(f, FileName, head.data(), n);
  } else {
    if (IsElfImage(head.data(), static_cast<std::size_t>(n))) t = DetectInElf(f);
    if (!IsValidArcType(t)) {
      // A program with nothing of ours behind it is looked at as any file.
      ArcOffset = -1;
      ZipRecFlags = 0;
      ZipCommentPos = 0;
      ZipOffsetShift = 0;
      t = DetectPlain(f, head.data(), n);
    }
  }
  if (!IsValidArcType(t)) return t;

  if (ArcOffset == -1) ArcOffset = 0;
  TArcType result = t;
  // A type told from another by the archive's name alone.
  for (const TArcDetector* d : Detectors()) {
    if (!d->Named) continue;
    result = d->Named(t, FileName);
    if (result != t) break;
  }
  ArcDate = FileHandleDosTime(f.Handle(), ftCreation);
  return result;
}

void TRegisterVorsk::SetVolumeNumber() {
  VolNum = 0;
  TVolumeNaming naming;
  const TArcDetector& d = RowDetector(FArcType);
  if (!d.Volumes || !d.Volumes(FArcType, naming)) return;
  VolLetter = naming.Letter;
  std::string ext = PathExtension(FArchiveFile);
  if (!ext.empty()) ext.erase(0, 1);
  if (ext.empty()) ext = naming.DefaultExt;

  std::size_t digits = ext.size();
  while (digits > 0 && ext[digits - 1] >= '0' && ext[digits - 1] <= '9') --digits;
  if (digits == ext.size()) {
    VolNum = naming.Unnumbered;
    return;
  }
  VolLetter = ext[0];
  Int64 value = 0;
  for (std::size_t i = digits; i < ext.size(); ++i)
    value = std::min<Int64>(value * 10 + (ext[i] - '0'), std::numeric_limits<Int32>::max() - 1);
  VolNum = static_cast<Int32>(value + 1);
}

}  // namespace vsk
