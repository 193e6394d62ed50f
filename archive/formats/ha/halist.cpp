// The lister's walk of HA archives. Each pass reads from one byte before an
// entry, so the fixed fields begin at the second byte read.

#include <vector>

#include "archive/formats/ha/harecord.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

class THaListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override { return L.ArcOffset + THaEntry::FirstEntry - 1; }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(THaEntry::FixedSize + 1); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    THaEntry e;
    if (Got < 1 || !THaEntry::ParseFixed(Header + 1, static_cast<std::size_t>(Got - 1), e)) return L.EndOffset;
    const Int64 namesAt = L.CurrentOffset;
    Names_.resize(THaEntry::NamesBufferSize);
    const Int32 got = L.ReadAt(namesAt, Names_.data(), static_cast<Int32>(Names_.size()));
    if (!THaEntry::ParseNames(Names_.data(), static_cast<std::size_t>(got < 0 ? 0 : got), e)) return L.EndOffset;
    L.TakeName(e.Name);
    L.MethodNumber = e.Method();
    L.MethodText = L.GetCompressMethodName({.Method = e.Method()});
    L.VersionMadeBy = L.VersionNeeded = e.Version();
    L.PackedSize = e.PackedSize;
    L.UnpackedSize = e.UnpackedSize;
    L.CRC = e.Crc32;
    L.Encrypted = false;
    L.FileDate = L.ConvertDosDate(e.Time);
    L.ExternalAttr = 0x20;
    L.InternalAttr = 0x20;
    L.ReportEntry(L.MatchesMasks(), false, L.ArcOffset);
    return e.NextEntry(namesAt) - 1;
  }

 private:
  std::vector<Byte> Names_;
};

}  // namespace

std::unique_ptr<TListWalker> MakeHaListWalker() { return std::make_unique<THaListWalker>(); }

}  // namespace vsk
