// The lister's walk of LHA/LZH archives: one header after the other from
// the start (or 128 bytes further on behind a zero prefix) to the end mark.

#include "base/dates.h"
#include "archive/formats/lha/lhaheader.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

constexpr Int64 kZeroPrefix = 128;

class TLhaListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    Byte first = 0;
    if (L.ReadAt(L.ArcOffset, &first, 1) == 1 && first == 0) return L.ArcOffset + kZeroPrefix;
    return L.ArcOffset;
  }

  Int32 FixedSize(TVorsk&) override { return kLhaFixedSize; }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    TLhaHeader h;
    const auto read = [&L](Int64 Pos, void* Buffer, Int32 Count) { return L.ReadAt(Pos, Buffer, Count); };
    const TLhaStatus status = TLhaHeader::Parse(Header, Got, L.ArcOffset, L.EndOffset, read, h);
    if (status == TLhaStatus::UnknownLevel) L.ReportError(L.ArchiveFile(), msg::BadFileHeader);
    if (status != TLhaStatus::Ok) return L.EndOffset;

    L.TakeName(h.StoredName());
    L.SetComment(reinterpret_cast<const Byte*>(h.Comment.data()), h.Comment.size());
    L.PackedSize = h.PackedSize;
    L.UnpackedSize = h.UnpackedSize;
    L.CRC = h.Crc16;
    L.Encrypted = false;
    L.MethodNumber = static_cast<Byte>(h.Method[3]);
    L.MethodText = L.GetCompressMethodName({.Method = h.MethodLetter()});
    L.FileDate = h.HasUnixTime() ? UnixTimeToDateTime(h.TimeStamp) : L.ConvertDosDate(h.TimeStamp);
    L.ExternalAttr = h.Attribute;
    L.InternalAttr = h.Attribute;
    L.VersionMadeBy = L.VersionNeeded = 0;
    L.ReportEntry(L.MatchesMasks(), h.IsDirectory(), h.Offset);
    return h.NextOffset();
  }
};

}  // namespace

std::unique_ptr<TListWalker> MakeLhaListWalker() { return std::make_unique<TLhaListWalker>(); }

}  // namespace vsk
