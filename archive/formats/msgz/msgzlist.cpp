// The lister's walk of MsGZ archives: the folder list located by the archive
// header, then the entry records behind it.

#include <string>
#include <vector>

#include "base/errors.h"
#include "archive/formats/msgz/msgzrecord.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

class TMsGzListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    Folders_.clear();
    Byte head[TMsGzArchiveHeader::Size];
    TMsGzArchiveHeader h;
    if (!TMsGzArchiveHeader::Parse(head, static_cast<std::size_t>(L.ReadAt(L.ArcOffset, head, sizeof head)), h))
      return -1;
    if (static_cast<Int64>(h.FolderListOffset) >= L.EndOffset) return -1;
    Int64 first = -1;
    const auto read = [&L](Int64 Pos, void* Buffer, Int32 Count) { return L.ReadAt(Pos, Buffer, Count); };
    if (!ReadMsGzFolders(read, h.FolderListOffset, Folders_, first)) return -1;
    return first;
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(TMsGzEntry::Size); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    TMsGzEntry e;
    if (!TMsGzEntry::Parse(Header, static_cast<std::size_t>(Got), e) || !e.Valid()) return L.EndOffset;
    std::string name(e.NameLength, '\0');
    // A file that ends inside the name ends the walk: a shortened name
    // would list an entry that is not there.
    if (L.ReadAt(L.CurrentOffset, name.data(), e.NameLength) != static_cast<Int32>(e.NameLength)) return L.EndOffset;
    if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
    if (!Folders_.empty()) {
      // The folder list is an indexed list: an index past its end is an
      // error that ends the walk.
      if (e.FolderIndex >= Folders_.size())
        throw ERangeError(0, "List index out of bounds (" + std::to_string(e.FolderIndex) + ")");
      name = Folders_[e.FolderIndex] + '\\' + name;
    }
    L.TakeName(name, false);
    L.PackedSize = e.PackedSize;
    L.UnpackedSize = e.UnpackedSize;
    L.ExternalAttr = e.Attributes;
    L.InternalAttr = static_cast<UInt16>(e.Attributes);
    L.FileDate = L.ConvertDosDate(e.DosDateTime);
    L.CRC = 0;
    L.Encrypted = false;
    L.MethodNumber = 0;
    L.MethodText.clear();
    L.VersionMadeBy = L.VersionNeeded = 0;
    L.ReportEntry(L.MatchesMasks(), false, e.EntryOffset);
    return e.NextOffset(L.ArcOffset);
  }

 private:
  std::vector<std::string> Folders_;
};

}  // namespace

std::unique_ptr<TListWalker> MakeMsGzListWalker() { return std::make_unique<TMsGzListWalker>(); }

}  // namespace vsk
