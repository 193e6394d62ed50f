// The lister's walk of tar archives: the shared header walk gives each
// entry with what the long-name, pax and sparse records in front of it say.

#include <memory>

#include "base/dates.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/tar/tarheader.h"

namespace vsk {

namespace {

class TTarListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    const auto read = [&L](Int64 Pos, void* Buffer, Int32 Count) { return L.ReadAt(Pos, Buffer, Count); };
    Walker_ = std::make_unique<TTarWalker>(L.EndOffset, read);
    return L.ArcOffset;
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(kTarHeaderSize); }

  Int64 Step(TVorsk& L, const Byte*, Int32 Got) override {
    if (Got < static_cast<Int32>(kTarHeaderSize) || !Walker_) return L.EndOffset;
    // Damage ends the walk quietly: what was listed stands.
    if (Walker_->Next(L.ArcOffset, E_) != TTarStatus::Ok) return L.EndOffset;

    L.TakeName(E_.Name, !E_.NameIsUtf8);
    const bool isDir = E_.IsDirectory();
    L.PackedSize = E_.Sparse ? E_.StoredSize : E_.Size;
    L.UnpackedSize = E_.Size;
    L.CRC = E_.Header.Checksum;
    L.Encrypted = false;
    L.FileDate = UnixTimeToDateTime(E_.MTime);
    L.MethodNumber = 0;
    L.MethodText = L.GetCompressMethodName({.Method = 0});
    L.ExternalAttr = isDir ? 0x10 : 0;
    L.InternalAttr = static_cast<UInt16>(L.ExternalAttr);
    L.VersionMadeBy = L.VersionNeeded = 0;
    if (L.MatchesMasks()) {
      const bool file = E_.IsRegularFile() || E_.TypeFlag == kTarTypeHardLink || E_.TypeFlag == kTarTypeSymLink;
      if (file) {
        L.CountEntry(L.PackedSize, E_.Size);
        L.FillEntry(E_.HeaderOffset);
      } else if (isDir && L.ShowEmptyDirs) {
        // Tar folders are counted when they are shown, without sizes.
        L.CountEntry(0, 0);
        L.FillEntry(E_.HeaderOffset);
      }
    }
    return E_.NextOffset;
  }

 private:
  std::unique_ptr<TTarWalker> Walker_;
  TTarEntry E_;
};

}  // namespace

std::unique_ptr<TListWalker> MakeTarListWalker() { return std::make_unique<TTarListWalker>(); }

}  // namespace vsk
