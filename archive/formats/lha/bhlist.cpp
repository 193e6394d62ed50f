// The lister's walk of BH archives: 37-byte headers, each followed by the
// name, the extra field and the entry's data.

#include "archive/formats/lha/bhheader.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

class TBhListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override { return L.ArcOffset; }

  Int32 FixedSize(TVorsk&) override { return kBhFixedSize; }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    TBhHeader h;
    const auto read = [&L](Int64 Pos, void* Buffer, Int32 Count) { return L.ReadAt(Pos, Buffer, Count); };
    if (TBhHeader::Parse(Header, Got, L.ArcOffset, L.EndOffset, read, h) != TBhStatus::Ok) return L.EndOffset;

    L.TakeName(h.Name);
    L.VersionMadeBy = h.VersionMadeBy;
    L.VersionNeeded = h.VersionNeeded;
    L.Encrypted = h.Encrypted();
    L.MethodNumber = h.Method;
    L.MethodText = L.GetCompressMethodName({.Method = h.Method, .Flags = h.Flags});
    L.PackedSize = h.DataSize();
    L.UnpackedSize = h.UnpackedSize;
    L.CRC = h.Crc32;
    L.ExternalAttr = h.Attributes;
    L.InternalAttr = h.Attributes;
    L.FileDate = L.ConvertDosDate(h.DosDateTime);
    // The ratio is taken on the packed size as stored, the totals without
    // the cipher header.
    L.ReportEntry(L.MatchesMasks(), h.IsDirectory(), h.Offset, h.PackedSize);
    return h.NextOffset();
  }
};

}  // namespace

std::unique_ptr<TListWalker> MakeBhListWalker() { return std::make_unique<TBhListWalker>(); }

}  // namespace vsk
