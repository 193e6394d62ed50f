// The lister's walk of ARJ archives: the main header, then one header per
// file; a file that goes on in the next volume is followed through the
// volume chain and reported once, with the sizes of all its parts.

#include <vector>

#include "base/dates.h"
#include "archive/formats/arj/arjheader.h"
#include "archive/formats/lister/volumechain.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

class TArjListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    StartVolumeChain(L);
    MultiVolume_ = Chained_ = false;
    TArjHeader main;
    Int64 first = 0;
    if (ReadHeader(L, L.ArcOffset, main, first) != TArjParse::Ok) {
      L.ReportError(L.ArchiveFile(), msg::BadFileHeader);
      return -1;
    }
    MultiVolume_ = (main.Flags & kArjFlagVolume) != 0;
    return first;
  }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(kArjIdSize); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    TArjHeader h;
    if (h.ParseId(Header, static_cast<std::size_t>(Got)) != TArjParse::Ok) return L.EndOffset;
    Int64 data = 0;
    if (ReadHeader(L, L.ArcOffset, h, data) != TArjParse::Ok) return L.EndOffset;
    // A second main header carries no data and no entry.
    if (h.IsMain()) return data;
    L.TakeName(h.Name);
    Int64 next = data + h.PackedSize;
    // The tail of a file whose head lies in a volume before this one.
    if ((h.Flags & kArjFlagExtFile) && (MultiVolume_ || Chained_)) return next;

    Int64 offset = L.ArcOffset;
    Int64 packed = h.PackedSize, unpacked = h.UnpackedSize;
    TArjHeader part = h;
    while (part.Flags & kArjFlagVolume) {
      if (!FollowVolumeChain(L)) return L.EndOffset;
      Chained_ = true;
      TArjHeader main;
      Int64 pos = 0;
      if (ReadHeader(L, 0, main, pos) != TArjParse::Ok) {
        L.ReportError(L.VolumeName, msg::BadFileHeader);
        return L.EndOffset;
      }
      MultiVolume_ = (main.Flags & kArjFlagVolume) != 0;
      Int64 partData = 0;
      if (ReadHeader(L, pos, part, partData) != TArjParse::Ok || part.IsMain()) return L.EndOffset;
      packed += part.PackedSize;
      unpacked += part.UnpackedSize;
      offset = pos;
      next = partData + part.PackedSize;
    }

    const bool isDir = part.FileType == kArjTypeDirectory;
    L.PackedSize = packed;
    L.UnpackedSize = unpacked;
    L.CRC = part.Crc32;
    L.Encrypted = (part.Flags & kArjFlagGarbled) != 0;
    L.MethodNumber = part.Method;
    L.MethodText = L.GetCompressMethodName({.Method = part.Method, .IsDirectory = isDir});
    L.FileDate = part.HasUnixTime() ? UnixTimeToDateTime(part.DosDateTime) : L.ConvertDosDate(part.DosDateTime);
    L.VersionMadeBy = part.Version;
    L.VersionNeeded = part.MinVersion;
    L.ExternalAttr = part.AccessMode;
    L.InternalAttr = part.AccessMode;
    L.ReportEntry(L.MatchesMasks(), isDir, offset);
    return next;
  }

 private:
  // Reads and parses the whole header at Pos; Data becomes where its data
  // begin.
  TArjParse ReadHeader(TVorsk& L, Int64 Pos, TArjHeader& H, Int64& Data) {
    Byte id[kArjIdSize];
    const Int32 got = L.ReadAt(Pos, id, static_cast<Int32>(kArjIdSize));
    const TArjParse r = H.ParseId(id, static_cast<std::size_t>(got < 0 ? 0 : got));
    if (r != TArjParse::Ok) return r;
    Buffer_.resize(static_cast<std::size_t>(H.Size()));
    const Int32 n = L.ReadAt(Pos, Buffer_.data(), static_cast<Int32>(Buffer_.size()));
    if (H.Parse(Buffer_.data(), static_cast<std::size_t>(n < 0 ? 0 : n)) != TArjParse::Ok) return TArjParse::Invalid;
    Data = ArjDataOffset(H, Pos, L.EndOffset,
                         [&L](Int64 At, void* Into, Int32 Count) { return L.ReadAt(At, Into, Count); });
    return Data < 0 ? TArjParse::Invalid : TArjParse::Ok;
  }

  std::vector<Byte> Buffer_;
  // The current volume's main header says the archive has volumes.
  bool MultiVolume_ = false;
  // The walk has followed the chain into a later volume.
  bool Chained_ = false;
};

}  // namespace

std::unique_ptr<TListWalker> MakeArjListWalker() { return std::make_unique<TArjListWalker>(); }

}  // namespace vsk
