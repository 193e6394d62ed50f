// The lister's walk of gzip, compress, pack and LZH-compressed files: one
// entry, the first member, reported without a mask test.

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "base/dates.h"
#include "archive/core/diskmanager.h"
#include "archive/formats/gzip/gzipheader.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

namespace {

// Enough for the largest extra field and a name and comment of any
// reasonable length.
constexpr Int64 kHeaderReadLimit = 10 + 2 + 65535 + 16384;

// The archive file's own date, as a DOS date-time would hold it.
TDateTime ArchiveFileDate(TVorsk& L) {
  struct stat st;
  if (stat(L.ArchiveFile().c_str(), &st) != 0) return kDefaultDateTime;
  return L.ConvertDosDate(FileTimeToLocalDos(st.st_mtim));
}

class TGzipListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override { return L.ArcOffset; }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(kGzipFixedHeaderSize); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    if (Got < 2 || GzipKindOf(Header[0], Header[1]) == TGzipKind::None) return L.EndOffset;
    const Int64 size = L.EndOffset - L.ArcOffset;
    const bool gzip = GzipKindOf(Header[0], Header[1]) == TGzipKind::Gzip;
    if (gzip && size < kGzipMinFileSize) return L.EndOffset;

    std::vector<Byte> head(static_cast<std::size_t>(std::min(size, kHeaderReadLimit)));
    const Int32 n = L.ReadAt(L.ArcOffset, head.data(), static_cast<Int32>(head.size()));
    TGzipHeader h;
    if (n <= 0 || !h.Parse(head.data(), static_cast<std::size_t>(n))) return L.EndOffset;

    if (gzip) {
      Byte t[kGzipTrailerSize];
      if (L.ReadAt(L.EndOffset - static_cast<Int64>(kGzipTrailerSize), t, sizeof t) != sizeof t) return L.EndOffset;
      const Int64 packed = size - h.DataOffset - static_cast<Int64>(kGzipTrailerSize);
      if (packed < 0) return L.EndOffset;
      TGzipTrailer trailer;
      trailer.Parse(t);
      L.CRC = trailer.Crc32;
      L.PackedSize = packed;
      L.UnpackedSize = GzipUnpackedSize(trailer.ISize, packed);
      L.Encrypted = (h.Flags & kGzipFlagEncrypted) != 0;
      // A member without a time stamp (gzip -n) takes the file's date.
      L.FileDate = h.MTime != 0 ? UnixTimeToDateTime(h.MTime) : ArchiveFileDate(L);
    } else {
      L.CRC = 0;
      L.Encrypted = false;
      L.PackedSize = L.UnpackedSize = size - h.DataOffset;
      L.FileDate = ArchiveFileDate(L);
    }

    L.CountEntry(L.PackedSize, L.UnpackedSize);
    // Named as the reader names its output, so that the entry shown is the
    // entry a selection of it extracts.
    L.TakeName(GzipMemberName(h, L.ArchiveFile(), L.TranslateOemChar, L.DiskManager->FileSystem), false);
    L.ExternalAttr = L.ArchiveAttributes();
    L.MethodNumber = Got > 2 ? Header[2] : 0;
    // The text goes by the kind: a compress file is LZW whatever its bit
    // count, and pack and LZH files have no method byte.
    const int method = h.Kind == TGzipKind::Gzip ? h.Method : h.Kind == TGzipKind::Compress ? 144 : -1;
    L.MethodText = L.GetCompressMethodName({.Method = method, .GzMagic0 = h.Magic0, .GzMagic1 = h.Magic1});
    L.VersionMadeBy = L.VersionNeeded = 0;
    L.FillEntry(L.ArcOffset);
    return L.EndOffset;
  }
};

}  // namespace

std::unique_ptr<TListWalker> MakeGzipListWalker() { return std::make_unique<TGzipListWalker>(); }

}  // namespace vsk
