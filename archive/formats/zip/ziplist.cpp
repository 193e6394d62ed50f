// The lister's walk of the ZIP family: by the central directory when
// detection found one, else by the local headers.

#include <cstdio>
#include <vector>

#include "base/dates.h"
#include "archive/core/diskmanager.h"
#include "archive/core/zipcrypt.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

class TZipListWalker : public TListWalker {
 public:
  Int64 FirstHeader(TVorsk& L) override {
    if (L.ArcType() == atZipMV) {
      L.DiskManager->Step = 0;
      if (!L.DiskManager->ChangeDisk(L.StreamRef())) return -1;
      L.EndOffset = L.ArcSize;
      L.VolumeSwitched();
      Central_ = (L.ZipRecFlags & kZipCentralFound) != 0;
      return static_cast<Int64>(L.ZipEndRec.CentralDirOffset);
    }
    // An end record that declares no entries and an empty directory is a
    // whole archive with nothing in it (what deleting every entry leaves).
    if (L.ZipRecFlags == kZipEndFound && L.ZipEndRec.EntriesTotal == 0 && L.ZipEndRec.CentralDirSize == 0) return -1;
    if ((L.ZipRecFlags & (kZipCentralFound | kZipEndFound)) != (kZipCentralFound | kZipEndFound)) {
      if (L.OnCorruptZipHeader) {
        bool cancel = true;
        L.Fire(L.OnCorruptZipHeader, L.ZipRecFlags, cancel);
        if (cancel) return -1;
      } else {
        L.ReportError(L.ArchiveFile(), "OnCorruptZipHeader", "0", msg::RequiredEventNotAssigned);
      }
    }
    if (!(L.ZipRecFlags & kZipCentralFound)) L.ZipRecFlags = kZipLocalFound;
    Central_ = (L.ZipRecFlags & kZipCentralFound) != 0;
    Int64 start = L.ArcOffset;
    if (!Central_) {
      Byte sig[4];
      if (L.ReadAt(start, sig, 4) == 4 && GetLE32(sig) == kZipDescriptorSignature) start += 4;
    }
    return start;
  }

  Int32 FixedSize(TVorsk&) override {
    return static_cast<Int32>(Central_ ? TZipCentralRecord::Size : TZipLocalHeader::Size);
  }

  Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) override {
    const Int32 need = FixedSize(L);
    std::vector<Byte> h(Header, Header + Got);
    bool encrypted = false;
    const int kind = Central_ ? kZipCentralKind : kZipLocalKind;
    if (Got < need || ClassifyZipSignature(GetLE32(h.data()), kind, encrypted) != kind) {
      if (L.NumFiles == 0) L.ReportError(L.ArchiveFile(), msg::BadFileHeader);
      return L.EndOffset;
    }
    if (encrypted) L.Crypt->DecryptZipHeader(h.data(), kind);
    return Central_ ? StepCentral(L, h.data(), encrypted) : StepLocal(L, h.data(), encrypted);
  }

 private:
  std::string ReadName(TVorsk& L, Int64 Pos, UInt16 Length, bool Encrypted) {
    std::string name(Length, '\0');
    const Int32 got = L.ReadAt(Pos, name.data(), Length);
    name.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    if (Encrypted) L.Crypt->DecryptZipHeaderCont(name.data(), name.size());
    return name;
  }

  void CommonProperties(TVorsk& L, UInt16 Flags, UInt16 Method, UInt32 DosDateTime, UInt32 Crc, UInt32 Packed,
                        UInt32 Unpacked) {
    L.Encrypted = (Flags & kZipFlagEncrypted) != 0;
    L.PackedSize = L.Encrypted && Packed >= kZipEncryptionHeaderSize ? Packed - kZipEncryptionHeaderSize : Packed;
    L.UnpackedSize = Unpacked;
    L.CRC = Crc;
    L.MethodNumber = Method;
    L.FileDate = L.ConvertDosDate(DosDateTime);
  }

  Int64 StepLocal(TVorsk& L, const Byte* Header, bool Encrypted) {
    const auto r = TZipLocalHeader::Parse(Header);
    const Int64 nameAt = L.CurrentOffset;
    const std::string raw = ReadName(L, nameAt, r.FileNameLength, Encrypted);
    L.TakeName(raw, !(r.Flags & kZipFlagUtf8));
    CommonProperties(L, r.Flags, r.Method, r.DosDateTime, r.Crc32, r.PackedSize, r.UnpackedSize);
    L.VersionMadeBy = L.VersionNeeded = r.VersionNeeded;
    L.ExternalAttr = 0;
    L.InternalAttr = 0;
    L.MethodText = L.GetCompressMethodName({.Method = r.Method, .Flags = r.Flags});
    L.ReportEntry(L.MatchesMasks(), false, L.ArcOffset, r.PackedSize);
    return nameAt + r.FileNameLength + static_cast<Int64>(r.PackedSize) + r.ExtraFieldLength;
  }

  Int64 StepCentral(TVorsk& L, const Byte* Header, bool Encrypted) {
    const auto r = TZipCentralRecord::Parse(Header);
    const Int64 nameAt = L.CurrentOffset;
    const std::string raw = ReadName(L, nameAt, r.FileNameLength, Encrypted);
    // Folders: the directory attribute, or a name ending in a separator
    // (archivers on other systems often set no DOS attributes).
    const bool isDir =
        (r.ExternalAttr & 0x10) != 0 || (!raw.empty() && (raw.back() == '/' || raw.back() == '\\'));
    L.TakeName(raw, !(r.ExternalAttr & 0x10) && !(r.Flags & kZipFlagUtf8));
    if (L.ArcType() != atZipMV && !(L.ZipRecFlags & kZipLocalFound))
      L.ReportError(L.ArchiveFile(), L.FileName, "0", msg::BadFileHeader);
    if (r.FileCommentLength != 0) {
      std::vector<Byte> comment(r.FileCommentLength);
      const Int32 got =
          L.ReadAt(nameAt + r.FileNameLength + r.ExtraFieldLength, comment.data(), r.FileCommentLength);
      L.SetComment(comment.data(), static_cast<std::size_t>(got < 0 ? 0 : got));
    }
    CommonProperties(L, r.Flags, r.Method, r.DosDateTime, r.Crc32, r.PackedSize, r.UnpackedSize);
    L.VersionMadeBy = r.VersionMadeBy;
    L.VersionNeeded = r.VersionNeeded;
    L.InternalAttr = r.InternalAttr;
    L.ExternalAttr = r.ExternalAttr & 0xFFFF;
    L.MethodText = (r.ExternalAttr & 0x18) ? std::string()
                                             : L.GetCompressMethodName({.Method = r.Method, .Flags = r.Flags,
                                                                        .ExternalAttr = r.ExternalAttr});
    if (L.ArcType() == atZipMV) {
      char disk[8];
      std::snprintf(disk, sizeof disk, "%.3d", r.DiskNumberStart + 1);
      L.VolumeName = std::string(kSpanLabelPrefix) + disk;
    }
    L.ReportEntry(L.SelectedEntry(), isDir, static_cast<Int64>(r.LocalHeaderOffset) + L.ZipOffsetShift,
                  r.PackedSize);
    return nameAt + r.FileNameLength + r.ExtraFieldLength + r.FileCommentLength;
  }

  bool Central_ = false;
};

}  // namespace

std::unique_ptr<TListWalker> MakeZipListWalker() { return std::make_unique<TZipListWalker>(); }

}  // namespace vsk
