// The lister's walk of cabinets: the file records of the cabinet header,
// then those of each next cabinet of a set.

#include <sys/stat.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "archive/formats/cab/cabheader.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

std::string FolderPart(const std::string& Path) {
  const auto slash = Path.find_last_of('/');
  return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

class TCabListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    Current_ = L.ArchiveFile();
    struct stat st;
    if (stat(Current_.c_str(), &st) == 0) Visited_.emplace_back(st.st_dev, st.st_ino);
    Base_ = L.ArcOffset;
    if (!ReadCabinet(L)) {
      L.ReportError(L.ArchiveFile(), "", "0", msg::BadFileHeader);
      return -1;
    }
    if (Header_.FileCount == 0) return NextCabinet(L);
    return Base_ + Header_.FilesOffset;
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(kCabFileRecordSize); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    if (Got < static_cast<Int32>(kCabFileRecordSize) || Remaining_ == 0) return L.EndOffset;
    TCabFileRecord r;
    r.Parse(Header);
    Byte raw[kCabMaxName];
    const Int32 got = L.ReadAt(L.CurrentOffset, raw, sizeof raw);
    std::string name;
    std::size_t used = 0;
    if (got <= 0 || !ParseCabName(raw, static_cast<std::size_t>(got), name, used)) return L.EndOffset;
    const int folder = r.FolderOf(Folders_.size());
    if (folder < 0) return L.EndOffset;

    L.TakeName(name, !(r.Attributes & kCabAttrNameIsUtf8));
    // A file that began in the cabinet before was listed there.
    if (!(Chained_ && r.ContinuedFromPrev())) {
      const UInt16 type = Folders_[static_cast<std::size_t>(folder)].CompressionType;
      L.MethodNumber = type;
      L.MethodText = L.GetCompressMethodName({.Method = type});
      L.PackedSize = L.UnpackedSize = r.Size;
      L.VersionMadeBy = Header_.VersionMinor;
      L.VersionNeeded = Header_.VersionMajor;
      L.ExternalAttr = r.Attributes;
      L.InternalAttr = r.Attributes;
      L.CRC = 0;
      L.Encrypted = false;
      L.FileDate = L.ConvertDosDate(r.DosDateTime());
      L.ReportEntry(L.MatchesMasks(), (r.Attributes & 0x10) != 0, L.ArcOffset);
    }
    if (--Remaining_ == 0) return NextCabinet(L);
    return L.CurrentOffset + static_cast<Int64>(used);
  }

 private:
  // Reads the header and the folder records of the cabinet at Base_.
  bool ReadCabinet(TVorsk& L) {
    const Int64 size = L.EndOffset - Base_;
    if (size <= 0) return false;
    std::vector<Byte> buf(static_cast<std::size_t>(std::min<Int64>(size, kCabMaxHeaderSize)));
    const Int32 got = L.ReadAt(Base_, buf.data(), static_cast<Int32>(buf.size()));
    if (got <= 0 || !Header_.Parse(buf.data(), static_cast<std::size_t>(got))) return false;
    const Int64 folders = Header_.FoldersSize();
    if (Header_.FoldersOffset > size || folders > size - Header_.FoldersOffset) return false;
    buf.resize(static_cast<std::size_t>(folders));
    const Int32 n = folders > 0 ? L.ReadAt(Base_ + Header_.FoldersOffset, buf.data(), static_cast<Int32>(folders)) : 0;
    if (n < 0 || !Header_.ParseFolders(buf.data(), static_cast<std::size_t>(n), Folders_)) return false;
    Remaining_ = Header_.FileCount;
    return true;
  }

  bool Seen(const struct stat& St) const {
    return std::find(Visited_.begin(), Visited_.end(), std::make_pair(St.st_dev, St.st_ino)) != Visited_.end();
  }

  // Follows the set to the next cabinet that holds files; the end offset
  // when the set ends, returns to a cabinet already read, or cannot go on.
  Int64 NextCabinet(TVorsk& L) {
    while (!L.GetCancel() && (Header_.Flags & kCabFlagNextCabinet) && !Header_.NextCabinet.empty()) {
      std::string volume = FolderPart(Current_) + Header_.NextCabinet;
      const std::string disk = Header_.NextDisk;
      struct stat st;
      if (stat(volume.c_str(), &st) == 0 && Seen(st)) break;
      if (!L.OpenNextVolume(volume, disk)) break;
      Byte err = 0;
      auto stream = std::make_unique<TFileStream32>(volume, fmOpenRead | fmShareDenyNone, err);
      if (err != 0) {
        L.ReportError(volume, "", "0", msg::ErrorOpeningFile);
        break;
      }
      // The answer to the volume question may name a cabinet read before.
      if (fstat(stream->Handle(), &st) == 0) {
        if (Seen(st)) break;
        Visited_.emplace_back(st.st_dev, st.st_ino);
      }
      L.StreamRef() = std::move(stream);
      L.ArcSize = L.EndOffset = L.Stream().GetSize();
      L.VolumeName = volume;
      L.VolumeSwitched();
      Current_ = volume;
      Chained_ = true;
      Base_ = 0;
      if (!ReadCabinet(L)) {
        L.ReportError(volume, disk, "0", msg::BadFileHeader);
        break;
      }
      if (Header_.FileCount != 0) return Header_.FilesOffset;
    }
    return L.EndOffset;
  }

  TCabHeader Header_;
  std::vector<TCabFolder> Folders_;
  UInt32 Remaining_ = 0;
  Int64 Base_ = 0;
  bool Chained_ = false;
  std::string Current_;
  std::vector<std::pair<dev_t, ino_t>> Visited_;
};

}  // namespace

std::unique_ptr<TListWalker> MakeCabListWalker() { return std::make_unique<TCabListWalker>(); }

}  // namespace vsk
