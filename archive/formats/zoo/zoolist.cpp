// The lister's walk of ZOO archives: the archive header, then the chain of
// directory entries from the header's first-entry offset.

#include <vector>

#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/zoo/zooheader.h"

namespace vsk {

namespace {

class TZooListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    ArchiveHeaderRead_ = false;
    return L.ArcOffset;
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(TZooEntry::Size); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    const auto count = static_cast<std::size_t>(Got);
    if (!ArchiveHeaderRead_) {
      ArchiveHeaderRead_ = true;
      TZooArchiveHeader a;
      if (!TZooArchiveHeader::Parse(Header, count, a) || !a.Consistent()) return L.EndOffset;
      if (a.CommentLength != 0) ReadComment(L, a.CommentOffset, a.CommentLength);
      return a.FirstEntry;
    }
    TZooEntry e;
    // A chain link that leads to anything but an entry ends the walk.
    if (!TZooEntry::Parse(Header, count, e) || !e.HasTag() || e.IsTerminator()) return L.EndOffset;
    // A deleted entry keeps its place in the chain until the archive is
    // packed, but is no longer part of it: the reader passes it over too.
    if (e.Deleted != 0) return e.NextEntry;
    if (e.CommentLength != 0) ReadComment(L, e.CommentOffset, e.CommentLength);
    // The long name and folder, as the reader extracts them, so that the
    // names listed are the names a selection asks for.
    if (const std::size_t names = e.VariableNamesSize(); names > 0) {
      Byte text[2 * 255] = {};
      if (L.ReadAt(L.ArcOffset + static_cast<Int64>(TZooEntry::Size), text, static_cast<Int32>(names)) ==
          static_cast<Int32>(names))
        e.TakeVariableNames(text, names);
    }
    L.TakeName(e.StoredPath());
    L.MethodNumber = e.Method;
    L.MethodText = L.GetCompressMethodName({.Method = e.Method});
    L.VersionMadeBy = e.MajorVersion;
    L.VersionNeeded = e.MinorVersion;
    L.PackedSize = e.PackedSize;
    L.UnpackedSize = e.UnpackedSize;
    L.CRC = e.Crc16;
    L.Encrypted = false;
    L.FileDate = L.ConvertDosDate(e.DosDateTime());
    L.ReportEntry(L.MatchesMasks(), false, L.ArcOffset);
    return e.NextEntry;
  }

 private:
  static void ReadComment(TVorsk& L, UInt32 Offset, UInt16 Length) {
    std::vector<Byte> text(Length);
    const Int32 got = L.ReadAt(Offset, text.data(), Length);
    L.SetComment(text.data(), static_cast<std::size_t>(got < 0 ? 0 : got));
  }

  bool ArchiveHeaderRead_ = false;
};

}  // namespace

std::unique_ptr<TListWalker> MakeZooListWalker() { return std::make_unique<TZooListWalker>(); }

}  // namespace vsk
