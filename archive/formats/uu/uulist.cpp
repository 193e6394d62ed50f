// The lister's walk of uuencoded and xxencoded texts: one pseudo-entry for
// the file the text holds, named by its begin line, without a mask test.

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "base/dates.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/uu/uuheader.h"

namespace vsk {

namespace {

class TUueListWalker : public TListWalker {
 public:
  // The whole walk: the text has no headers to step through.
  Int64 FirstHeader(TVorsk& L) override {
    const Int64 size = L.EndOffset;
    std::vector<Byte> text(static_cast<std::size_t>(std::min<Int64>(size, kUuBeginSearchSize)));
    const Int32 got = L.ReadAt(0, text.data(), static_cast<Int32>(text.size()));
    TUuBeginLine begin;
    if (got <= 0 || !begin.Find(text.data(), static_cast<std::size_t>(got))) return -1;

    L.TakeName(begin.Name);
    struct stat st;
    L.FileDate = stat(L.ArchiveFile().c_str(), &st) == 0 ? L.ConvertDosDate(FileTimeToLocalDos(st.st_mtim))
                                                          : kDefaultDateTime;
    L.PackedSize = L.UnpackedSize = size;
    L.CRC = 0;
    L.Encrypted = false;
    L.MethodNumber = 0;
    L.MethodText.clear();
    L.ExternalAttr = 0x20;
    L.InternalAttr = 0x20;
    L.VersionMadeBy = L.VersionNeeded = 0;
    L.CountEntry(size, size);
    L.FillEntry(0);
    return -1;
  }

  Int32 FixedSize(TVorsk&) override { return 0; }

  Int64 Step(TVorsk& L, const Byte*, Int32) override { return L.EndOffset; }
};

}  // namespace

std::unique_ptr<TListWalker> MakeUueListWalker() { return std::make_unique<TUueListWalker>(); }

}  // namespace vsk
