// The lister's walk of tar archives: one 512-byte header per entry, GNU
// long-name and pax records giving the real name, size and time of the
// entry after them.

#include <algorithm>
#include <optional>
#include <vector>

#include "base/dates.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/tar/tarheader.h"

namespace vsk {

namespace {

class TTarListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override { return L.ArcOffset; }

  Int32 FixedSize(TVorsk&) override { return static_cast<Int32>(kTarHeaderSize); }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    if (Got < static_cast<Int32>(kTarHeaderSize)) return L.EndOffset;
    TTarHeader h;
    h.Parse(Header);
    if (!h.Valid || h.Name.empty()) return L.EndOffset;
    const Int64 dataAt = L.CurrentOffset;

    switch (h.TypeFlag) {
      case kTarTypeGnuLongName: {
        const auto& d = ReadData(L, dataAt, h.Size);
        LongName_ = TarLongName(d.data(), d.size());
        return Next(L, dataAt, h.Size);
      }
      case kTarTypeGnuLongLink:
      case kTarTypePaxGlobal:
        return Next(L, dataAt, h.Size);
      case kTarTypePaxEntry: {
        const auto& d = ReadData(L, dataAt, h.Size);
        Pax_ = TTarPaxInfo{};
        Pax_->Parse(d.data(), d.size());
        return Next(L, dataAt, h.Size);
      }
      default:
        break;
    }

    // Whatever the records before it said applies to this entry only.
    const std::optional<std::string> longName = std::move(LongName_);
    const std::optional<TTarPaxInfo> pax = std::move(Pax_);
    LongName_.reset();
    Pax_.reset();

    bool utf8 = false;
    std::string name = h.FullName();
    if (pax && pax->HasPath) {
      name = pax->Path;
      utf8 = true;  // pax records are UTF-8 by definition
    }
    if (longName && !longName->empty()) {
      name = *longName;
      utf8 = false;
    }
    const Int64 size = pax && pax->HasSize ? pax->Size : h.Size;
    const Int64 mtime = pax && pax->HasMTime ? pax->MTime : h.MTime;

    L.TakeName(name, !utf8);
    // Old archives mark a folder by the separator after its name alone.
    const bool isDir = h.TypeFlag == kTarTypeDirectory ||
                       ((h.TypeFlag == 0 || h.TypeFlag == kTarTypeFile) && !name.empty() && name.back() == '/');
    L.PackedSize = L.UnpackedSize = size;
    L.CRC = h.Checksum;
    L.Encrypted = false;
    L.FileDate = UnixTimeToDateTime(mtime);
    L.MethodNumber = 0;
    L.MethodText = L.GetCompressMethodName({.Method = 0});
    L.ExternalAttr = isDir ? 0x10 : 0;
    L.InternalAttr = static_cast<UInt16>(L.ExternalAttr);
    L.VersionMadeBy = L.VersionNeeded = 0;
    if (L.MatchesMasks()) {
      if (h.IsFileType() && !isDir) {
        L.CountEntry(size, size);
        L.FillEntry(L.ArcOffset);
      } else if (isDir && L.ShowEmptyDirs) {
        // Tar folders are counted when they are shown, without sizes.
        L.CountEntry(0, 0);
        L.FillEntry(L.ArcOffset);
      }
    }
    return Next(L, dataAt, size);
  }

 private:
  static Int64 Next(TVorsk& L, Int64 DataAt, Int64 Size) {
    const Int64 padded = TarPaddedSize(Size);
    return padded >= L.EndOffset - DataAt ? L.EndOffset : DataAt + padded;
  }

  // The data of an extended record, at most kTarMaxExtendedData bytes of it.
  const std::vector<Byte>& ReadData(TVorsk& L, Int64 At, Int64 Size) {
    const Int64 available = std::max<Int64>(0, L.EndOffset - At);
    const Int64 n = std::min({Size, available, static_cast<Int64>(kTarMaxExtendedData)});
    ReadData_.resize(static_cast<std::size_t>(n));
    const Int32 got = n > 0 ? L.ReadAt(At, ReadData_.data(), static_cast<Int32>(n)) : 0;
    ReadData_.resize(static_cast<std::size_t>(std::max(got, 0)));
    return ReadData_;
  }

  std::vector<Byte> ReadData_;
  std::optional<std::string> LongName_;
  std::optional<TTarPaxInfo> Pax_;
};

}  // namespace

std::unique_ptr<TListWalker> MakeTarListWalker() { return std::make_unique<TTarListWalker>(); }

}  // namespace vsk
