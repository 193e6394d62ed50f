// The lister's walk of RAR archives by their blocks: file blocks are
// listed, the others passed over. A file split over volumes is followed
// through the volume chain and reported once, with its last part and the
// packed sizes of all its parts.

#include <cstring>
#include <vector>

#include "base/dates.h"
#include "archive/formats/lister/volumechain.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "base/records/rarheader.h"

namespace vsk {

namespace {

enum class TMainRead { Ok, Short, Invalid };

class TRarListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    StartVolumeChain(L);
    AccumulatedPacked_ = 0;
    Int64 first = 0;
    return ReadMain(L, L.ArcOffset, first) == TMainRead::Ok ? first : -1;
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(kRarFileFixedSize); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    TRarBlockHead head;
    if (!head.Parse(Header, static_cast<std::size_t>(Got))) return L.EndOffset;
    if (head.Type == kRarBlockComment) return L.ArcOffset + head.Size;
    if (!head.IsLong()) return L.EndOffset;
    if (head.Type != kRarBlockFile || (head.Flags & kRarFlagSkipIfUnknown))
      return L.ArcOffset + head.Size + head.AddSize;

    Buffer_.resize(head.Size);
    const Int32 n = L.ReadAt(L.ArcOffset, Buffer_.data(), head.Size);
    TRarFileHeader h;
    if (!h.Parse(Buffer_.data(), static_cast<std::size_t>(n < 0 ? 0 : n))) return L.EndOffset;
    L.TakeName(h.Name);
    const bool isDir = h.IsDirectory();
    if (isDir && !L.FileName.empty() && L.FileName.back() != '/') L.FileName += '/';
    const Int64 next = L.ArcOffset + head.Size + static_cast<Int64>(h.PackedSize);

    const Int64 packed = static_cast<Int64>(h.PackedSize);
    AccumulatedPacked_ = (h.Head.Flags & kRarFileSplitBefore) ? AccumulatedPacked_ + packed : packed;
    L.PackedSize = AccumulatedPacked_;
    L.UnpackedSize = static_cast<Int64>(h.UnpackedSize);
    L.CRC = h.FileCrc;
    L.Encrypted = (h.Head.Flags & kRarFilePassword) != 0;
    L.MethodNumber = h.Method;
    L.MethodText = L.GetCompressMethodName({.Method = h.Method, .IsDirectory = isDir});
    L.FileDate = L.ConvertDosDate(h.DosDateTime);
    L.VersionMadeBy = h.Version;
    L.VersionNeeded = 0;
    L.HostSystem = h.HostOS;
    L.ExternalAttr = h.DosAttributes();
    L.InternalAttr = static_cast<UInt16>(L.ExternalAttr);

    if (!isDir && (h.Head.Flags & kRarFileSplitAfter)) {
      if (!FollowVolumeChain(L)) {
        // The file ends in a volume that is not there: with nothing counted
        // yet, it is counted with the parts read so far.
        if (L.NumFiles == 0) {
          L.PackedSize = 0;
          L.ReportEntry(L.MatchesMasks(), false, L.ArcOffset, 0);
        }
        return L.EndOffset;
      }
      Int64 first = 0;
      switch (ReadMain(L, 0, first)) {
        case TMainRead::Ok:
          return first;
        case TMainRead::Short:
          L.RaiseError<EReadError>(L.VolumeName, "", "0", msg::ErrorReadingFile);
        case TMainRead::Invalid:
          L.ReportError(L.VolumeName, msg::BadFileHeader);
          return L.EndOffset;
      }
    }
    L.ReportEntry(L.MatchesMasks(), isDir, L.ArcOffset);
    return next;
  }

 private:
  // Checks the marker and the main header at Start; First becomes where
  // the first block after the main header lies (by its stored size).
  TMainRead ReadMain(TVorsk& L, Int64 Start, Int64& First) {
    Byte b[kRarMarkerSize + kRarMainHeaderSize];
    const Int32 got = L.ReadAt(Start, b, static_cast<Int32>(sizeof b));
    if (got < static_cast<Int32>(sizeof b)) return TMainRead::Short;
    TRarBlockHead main;
    if (std::memcmp(b, kRarMarker, kRarMarkerSize) != 0 || !main.Parse(b + kRarMarkerSize, kRarMainHeaderSize) ||
        main.Type != kRarBlockMain || main.Size < kRarMainHeaderSize)
      return TMainRead::Invalid;
    First = Start + static_cast<Int64>(kRarMarkerSize) + main.Size;
    return TMainRead::Ok;
  }

  std::vector<Byte> Buffer_;
  Int64 AccumulatedPacked_ = 0;
};

}  // namespace

std::unique_ptr<TListWalker> MakeRarListWalker() { return std::make_unique<TRarListWalker>(); }

}  // namespace vsk
