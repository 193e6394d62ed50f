// The lister's walk of ACE archives: the main header, then file headers,
// each followed by its packed data. A file split over volumes is reported
// at its first part; the walk follows the chain into the next volume.

#include <vector>

#include "base/dates.h"
#include "base/records/aceheader.h"
#include "archive/formats/lister/volumechain.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

class TAceListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    StartVolumeChain(L);
    AccumulatedPacked_ = 0;
    TAceMainHeader main;
    if (!ReadMain(L, L.ArcOffset, main)) return -1;
    return L.ArcOffset + main.Size();
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(kAceFileFixedSize); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    TAceFileHeader h;
    if (!h.ParseFixed(Header, static_cast<std::size_t>(Got))) return L.EndOffset;
    Name_.resize(h.NameSize);
    const Int32 n = L.ReadAt(L.CurrentOffset, Name_.data(), h.NameSize);
    h.SetName(Name_.data(), static_cast<std::size_t>(n < 0 ? 0 : n));
    L.TakeName(h.Name);
    const Int64 next = L.ArcOffset + h.Size() + h.PackedSize;

    const bool continued = (h.Flags & kAceFlagSplitBefore) != 0;
    AccumulatedPacked_ = continued ? AccumulatedPacked_ + h.PackedSize : h.PackedSize;
    const bool isDir = h.IsDirectory();
    L.PackedSize = AccumulatedPacked_;
    L.UnpackedSize = h.OriginalSize;
    L.CRC = h.Crc32;
    L.Encrypted = (h.Flags & kAceFlagPassword) != 0;
    L.MethodNumber = h.Quality;
    L.MethodText = L.GetCompressMethodName({.Method = h.Quality});
    L.FileDate = L.ConvertDosDate(h.DosDateTime);
    L.VersionMadeBy = L.VersionNeeded = Main_.VersionCreated;
    L.HostSystem = Main_.HostCreated;
    L.ExternalAttr = h.Attributes;
    L.InternalAttr = static_cast<UInt16>(h.Attributes);
    if (L.MatchesMasks()) {
      if (!continued) {
        L.ReportEntry(true, isDir, L.ArcOffset, h.PackedSize);
      } else if (!isDir) {
        // A later part of a file counted at its first part: its data are
        // archive bytes all the same.
        L.PackedTotal += static_cast<double>(h.PackedSize);
      }
    }

    if (!(h.Flags & kAceFlagSplitAfter)) return next;
    if (!FollowVolumeChain(L)) return L.EndOffset;
    TAceMainHeader main;
    if (!ReadMain(L, 0, main)) return L.EndOffset;
    return main.Size();
  }

 private:
  bool ReadMain(TVorsk& L, Int64 Pos, TAceMainHeader& Main) {
    Byte b[kAceMainFixedSize];
    const Int32 got = L.ReadAt(Pos, b, static_cast<Int32>(sizeof b));
    if (!Main.Parse(b, static_cast<std::size_t>(got < 0 ? 0 : got))) return false;
    Main_ = Main;
    return true;
  }

  TAceMainHeader Main_;
  Int64 AccumulatedPacked_ = 0;
  std::vector<Byte> Name_;
};

}  // namespace

std::unique_ptr<TListWalker> MakeAceListWalker() { return std::make_unique<TAceListWalker>(); }

}  // namespace vsk
