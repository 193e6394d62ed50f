// The lister's walk of ARC and PAK archives: one 29-byte header per entry,
// the packed data behind it, up to the end marker.

#include "archive/formats/arc/archeader.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

class TArcListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    Pak_ = L.ArcType() == atPak || L.ArcType() == atPakExe;
    return L.ArcOffset;
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(TArcHeader::Size); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    TArcHeader h;
    if (!TArcHeader::Parse(Header, static_cast<std::size_t>(Got), Pak_, h)) return L.EndOffset;
    L.TakeName(h.Name);
    const bool isDir = h.IsDirectory();
    L.PackedSize = h.PackedSize;
    L.UnpackedSize = h.UnpackedSize;
    L.CRC = h.Crc16;
    L.Encrypted = false;
    L.MethodNumber = h.Method;
    L.MethodText = L.GetCompressMethodName({.Method = h.Method, .IsDirectory = isDir});
    L.ExternalAttr = isDir && !Pak_ ? 0x10 : 0x20;
    L.InternalAttr = static_cast<UInt16>(L.ExternalAttr);
    L.VersionMadeBy = L.VersionNeeded = 0;
    L.FileDate = L.ConvertDosDate(h.DosDateTime());
    L.ReportEntry(L.MatchesMasks(), isDir, L.ArcOffset);
    return h.NextOffset(L.ArcOffset);
  }

 private:
  bool Pak_ = false;
};

}  // namespace

std::unique_ptr<TListWalker> MakeArcListWalker() { return std::make_unique<TArcListWalker>(); }

}  // namespace vsk
