// The lister's walk of cabinets: the file records of the cabinet header,
// then those of each next cabinet of a set.
//
// A cabinet keeps compressed sizes per folder, not per file: each file is
// given a share of its folder's compressed data in proportion to its size,
// so that the packed sizes and ratios of the files add up to the folder's.
// A folder split over two cabinets of a set has only part of its data in
// each: its files keep their own size as packed size.

#include <sys/stat.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/records/cabheader.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "archive/core/paths.h"

namespace vsk {

namespace {

class TCabListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    Current_ = L.ArchiveFile();
    struct stat st;
    if (stat(Current_.c_str(), &st) == 0) Visited_.emplace_back(st.st_dev, st.st_ino);
    Base_ = L.ArcOffset;
    if (!ReadCabinet(L)) {
      L.ReportError(L.ArchiveFile(), msg::BadFileHeader);
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
      const std::size_t index = Header_.FileCount - Remaining_;
      L.UnpackedSize = r.Size;
      L.PackedSize = index < Shares_.size() ? Shares_[index] : r.Size;
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
    ShareFolders(L);
    return true;
  }

  // The compressed bytes of each folder of the cabinet at Base_: from its
  // first data block to the next folder's (or the cabinet's end), less the
  // blocks' own headers.
  std::vector<Int64> FolderDataSizes(TVorsk& L) const {
    const Int64 size = L.EndOffset - Base_;
    const Int64 end = Header_.CabinetSize > 0 && Header_.CabinetSize <= size ? Header_.CabinetSize : size;
    std::vector<std::pair<Int64, std::size_t>> starts;
    for (std::size_t f = 0; f < Folders_.size(); ++f) starts.emplace_back(Folders_[f].DataOffset, f);
    std::sort(starts.begin(), starts.end());
    std::vector<Int64> sizes(Folders_.size(), 0);
    Int64 next = end;  // the first start above the one in hand
    for (std::size_t i = starts.size(); i-- > 0;) {
      const Int64 from = starts[i].first;
      if (i + 1 < starts.size() && starts[i + 1].first > from) next = starts[i + 1].first;
      const Int64 to = std::min(end, next);
      const TCabFolder& folder = Folders_[starts[i].second];
      const Int64 headers = static_cast<Int64>(folder.DataBlocks) * (8 + Header_.DataReserve);
      sizes[starts[i].second] = std::max<Int64>(0, to - from - headers);
    }
    return sizes;
  }

  // Reads the file records (sizes and folders) ahead of the walk and works
  // out each one's share of its folder's compressed bytes.
  void ShareFolders(TVorsk& L) {
    Shares_.clear();
    if (Folders_.empty()) return;
    std::vector<std::pair<UInt32, int>> records;
    std::vector<bool> split(Folders_.size(), false);
    std::vector<Byte> buf(64 << 10);
    Int64 pos = Base_ + Header_.FilesOffset, bufAt = 0;
    Int32 bufLen = 0;
    for (UInt32 i = 0; i < Header_.FileCount; ++i) {
      // A whole record (its fixed part and the longest name) in the
      // buffer, unless the file ends before.
      if (pos + static_cast<Int64>(kCabFileRecordSize + kCabMaxName) > bufAt + bufLen && bufAt + bufLen < L.EndOffset) {
        bufAt = pos;
        bufLen = std::max<Int32>(0, L.ReadAt(pos, buf.data(), static_cast<Int32>(buf.size())));
      }
      const Int64 avail = bufAt + bufLen - pos;
      if (avail < static_cast<Int64>(kCabFileRecordSize)) break;
      const Byte* p = buf.data() + (pos - bufAt);
      TCabFileRecord r;
      r.Parse(p);
      std::string name;
      std::size_t used = 0;
      if (!ParseCabName(p + kCabFileRecordSize, static_cast<std::size_t>(avail) - kCabFileRecordSize, name, used))
        break;
      // The walk ends at a record of no folder.
      const int folder = r.FolderOf(Folders_.size());
      if (folder < 0) break;
      records.emplace_back(r.Size, folder);
      if (r.FolderIndex >= kCabFolderContinuedFromPrev) split[static_cast<std::size_t>(folder)] = true;
      pos += static_cast<Int64>(kCabFileRecordSize + used);
    }
    const std::vector<Int64> packed = FolderDataSizes(L);
    std::vector<UInt64> unpacked(Folders_.size(), 0), done(Folders_.size(), 0);
    for (const auto& [size, folder] : records) unpacked[static_cast<std::size_t>(folder)] += size;
    // Shares by the running sum, so that none is lost to rounding.
    const auto upTo = [&](std::size_t f, UInt64 sum) {
      return unpacked[f] == 0 ? Int64{0}
                              : static_cast<Int64>(static_cast<unsigned __int128>(packed[f]) * sum / unpacked[f]);
    };
    Shares_.reserve(records.size());
    for (const auto& [size, folder] : records) {
      if (split[static_cast<std::size_t>(folder)]) {
        Shares_.push_back(size);
        continue;
      }
      const auto f = static_cast<std::size_t>(folder);
      const Int64 before = upTo(f, done[f]);
      done[f] += size;
      Shares_.push_back(upTo(f, done[f]) - before);
    }
  }

  bool Seen(const struct stat& St) const {
    return std::find(Visited_.begin(), Visited_.end(), std::make_pair(St.st_dev, St.st_ino)) != Visited_.end();
  }

  // Follows the set to the next cabinet that holds files; the end offset
  // when the set ends, returns to a cabinet already read, or cannot go on.
  Int64 NextCabinet(TVorsk& L) {
    while (!L.GetCancel() && (Header_.Flags & kCabFlagNextCabinet) && !Header_.NextCabinet.empty()) {
      std::string volume = PathFolderPart(Current_) + Header_.NextCabinet;
      const std::string disk = Header_.NextDisk;
      struct stat st;
      if (stat(volume.c_str(), &st) == 0 && Seen(st)) break;
      if (!L.OpenNextVolume(volume, disk)) break;
      Byte err = 0;
      auto stream = std::make_unique<TFileStream32>(volume, fmOpenRead | fmShareDenyNone, err);
      if (err != 0) {
        L.ReportError(volume, msg::ErrorOpeningFile);
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
  std::vector<Int64> Shares_;  // packed size of each file record of the cabinet
  UInt32 Remaining_ = 0;
  Int64 Base_ = 0;
  bool Chained_ = false;
  std::string Current_;
  std::vector<std::pair<dev_t, ino_t>> Visited_;
};

}  // namespace

std::unique_ptr<TListWalker> MakeCabListWalker() { return std::make_unique<TCabListWalker>(); }

}  // namespace vsk
