#include "archive/formats/zip/zipspan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "base/dates.h"
#include "archive/core/diskmanager.h"
#include "archive/core/paths.h"
#include "base/pump.h"
#include "archive/core/zipcrypt.h"
#include "archive/formats/zip/zipwriter.h"
#include "platform/volume.h"

namespace vsk {

namespace {

constexpr Int32 kChunk = 1 << 20;

bool FileExists(const std::string& name, struct stat& st) { return lstat(name.c_str(), &st) == 0; }

}  // namespace

TDiskSpanObj::TDiskSpanObj(TZip& Owner, TStream32& Archive, std::vector<TSpanEntry> Entries, std::string Comment,
                           bool ReplacesOld)
    : FOwner(Owner),
      FArchive(Archive),
      FEntries(std::move(Entries)),
      FComment(std::move(Comment)),
      FReplacesOld(ReplacesOld) {}

TDiskSpanObj::~TDiskSpanObj() = default;

std::string TDiskSpanObj::Target() const { return FOwner.ArchiveFile(); }

std::string TDiskSpanObj::Folder() const {
  const std::string& t = FOwner.ArchiveFile();
  const auto p = t.find_last_of('/');
  return p == std::string::npos ? std::string(".") : p == 0 ? std::string("/") : t.substr(0, p);
}

bool TDiskSpanObj::Write() {
  bool ok = false;
  try {
    ok = WriteAll();
  } catch (const ECancelUnwind&) {
  } catch (const EVskError&) {
    FOwner.ReportError(Target(), msg::ErrorWritingToFile);
  }
  // Parts not placed are dropped (a first part whose disk is out of the
  // drive is not found under its scratch name on another).
  FFile.reset();
  FFirst.reset();
  return ok;
}

bool TDiskSpanObj::MakeDiskReady(bool First) {
  if (!FOwner.OnInsertDisk) {
    FOwner.ReportError(Target(), "OnInsertDisk", "0", msg::RequiredEventNotAssigned);
    return false;
  }
  TDiskManager& dm = *FOwner.DiskManager;
  const Int64 reserve = kDiskReserve + (First ? std::max<Int64>(FOwner.LeaveSpaceOnFirstDisk, 0) : 0);
  const std::string folder = Folder();
  struct stat st;
  // A blank disk with room enough already in the drive is taken as it is;
  // after a full disk the next one is always asked for.
  bool prompt = !(First && VolumeService().IsReady(folder) && !FileExists(Target(), st) &&
                  dm.PrepareDrive(folder, reserve) && dm.FreeSpace >= reserve);
  while (prompt) {
    bool cancel = true;
    FOwner.Fire(FOwner.OnInsertDisk, std::to_string(FDisk), cancel);
    if (cancel || FOwner.GetCancel()) {
      FOwner.SetCancel(true);
      return false;
    }
    if (!dm.PrepareDrive(folder, reserve)) return false;
    // The disk just filled is still in the drive.
    if (FHavePrevious && dm.Serial == FPreviousSerial) continue;
    // On the first disk the archive is the one this run replaces, at the end.
    if (!(First && FReplacesOld) && FileExists(Target(), st)) {
      if (!FOwner.OnDiskSpanFileExists) {
        FOwner.ReportError(Target(), "OnFileExists", "0", msg::RequiredEventNotAssigned);
        return false;
      }
      TOverwriteMode mode = omOverwrite;
      FOwner.Fire(FOwner.OnDiskSpanFileExists, Target(), DosDateTimeToDateTime(FileTimeToLocalDos(st.st_mtim)),
                  mode);
      if (FOwner.GetCancel()) return false;
      // Agreed to, it is replaced when this disk's part is whole.
      if (mode == omSkip) continue;
    }
    while (dm.FreeSpace < reserve) {
      if (!FOwner.OnClearDisk) {
        FOwner.ReportError(Target(), "OnClearDisk", "0", msg::RequiredEventNotAssigned);
        return false;
      }
      bool c = true;
      FOwner.Fire(FOwner.OnClearDisk, folder, reserve, dm.FreeSpace, dm.TotalSpace, c);
      if (c || FOwner.GetCancel()) {
        FOwner.SetCancel(true);
        return false;
      }
      if (!dm.PrepareDrive(folder, reserve)) return false;
    }
    prompt = false;
  }
  const std::string label = SpanVolumeLabel(FDisk);
  if (dm.Label != label && !VolumeService().SetLabel(folder, label)) {
    FOwner.ReportError(Target(), 25154);
    return false;
  }
  if (!dm.PrepareDrive(folder, reserve)) return false;
  FFile = std::make_unique<TParkableTempFile>(Target());
  if (FFile->Handle() < 0) {
    FOwner.ReportError(Target(), msg::ErrorCreatingFile);
    return false;
  }
  if (First) FFirstSerial = dm.Serial;
  FPreviousSerial = dm.Serial;
  FHavePrevious = true;
  FPos = 0;
  FLeft = dm.FreeSpace - (First ? reserve : 0);
  return FLeft > 0;
}

bool TDiskSpanObj::NextDisk() {
  if (FDisk == 1) {
    // The first part waits on its disk until the last one is written.
    FFile->Park(true);
    FFirst = std::move(FFile);
  } else if (!PlacePart(*FFile)) {
    return false;
  }
  FFile.reset();
  ++FDisk;
  return MakeDiskReady(false);
}

bool TDiskSpanObj::PlacePart(TParkableTempFile& Part) {
  try {
    struct stat st;
    // What it replaces was agreed to; it may be wanted back.
    if (FOwner.DeleteOptions == doAllowUndo && FileExists(Target(), st) && S_ISREG(st.st_mode) &&
        !DeleteFileEx(Target(), doAllowUndo)) {
      FOwner.ReportError(Target(), msg::ErrorDeletingFiles);
      return false;
    }
    if (!Part.Resume()) throw EWriteError(msg::ErrorWritingToFile);
    Part.Commit();
  } catch (const EVskError& e) {
    FOwner.ReportError(Target(), e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
    return false;
  }
  return true;
}

bool TDiskSpanObj::PlaceFirstPart() {
  if (!FFirst) return PlacePart(*FFile);
  if (!PlacePart(*FFile)) return false;
  FFile.reset();
  TDiskManager& dm = *FOwner.DiskManager;
  for (;;) {
    bool cancel = true;
    FOwner.Fire(FOwner.OnInsertDisk, std::string("1"), cancel);
    if (cancel || FOwner.GetCancel()) {
      FOwner.SetCancel(true);
      return false;
    }
    if (!dm.PrepareDrive(Folder(), 0)) return false;
    if (dm.Serial == FFirstSerial) break;
  }
  return PlacePart(*FFirst);
}

bool TDiskSpanObj::MayGiveUpOld(Int64 Total) {
  struct stat st;
  if (!FReplacesOld || Total <= FLeft || !FileExists(Target(), st) || !S_ISREG(st.st_mode) || !FOwner.OnDiskSpanFileExists)
    return true;
  TOverwriteMode mode = omSkip;
  FOwner.Fire(FOwner.OnDiskSpanFileExists, Target(), DosDateTimeToDateTime(FileTimeToLocalDos(st.st_mtim)), mode);
  if (FOwner.GetCancel()) return false;
  if (mode == omSkip) return true;  // kept: the set takes the room there is
  if (!DeleteFileEx(Target(), FOwner.DeleteOptions)) {
    FOwner.ReportError(Target(), msg::ErrorDeletingFiles);
    return false;
  }
  TDiskManager& dm = *FOwner.DiskManager;
  const Int64 reserve = kDiskReserve + std::max<Int64>(FOwner.LeaveSpaceOnFirstDisk, 0);
  if (!dm.PrepareDrive(Folder(), reserve)) return false;
  FLeft = dm.FreeSpace - reserve - FPos;
  return true;
}

bool TDiskSpanObj::WriteRaw(const void* Buffer, Int64 Count) {
  if (Count <= 0) return true;
  try {
    FFile->WriteBuffer(Buffer, Count);
  } catch (const EStreamError& e) {
    FOwner.ReportError(Target(), e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
    return false;
  }
  FLeft -= Count;
  FPos += Count;
  return true;
}

bool TDiskSpanObj::WriteRecord(const void* Buffer, Int64 Count, bool& MovedOn) {
  MovedOn = false;
  if (Count > FLeft) {
    if (!NextDisk()) return false;
    MovedOn = true;
    if (Count > FLeft) {
      FOwner.ReportError(Target(), 25156);
      return false;
    }
  }
  return WriteRaw(Buffer, Count);
}

bool TDiskSpanObj::CopyData(Int64 From, Int64 Count) {
  if (FBuffer.size() < static_cast<std::size_t>(kChunk)) FBuffer.resize(kChunk);
  if (Count > 0 && FArchive.Seek(From, soBeginning) != From) {
    FOwner.ReportError(Target(), msg::ErrorReadingFile);
    return false;
  }
  while (Count > 0) {
    if (FOwner.GetCancel()) return false;
    if (FLeft <= 0 && !NextDisk()) return false;
    const Int32 n = static_cast<Int32>(std::min<Int64>({Count, FLeft, kChunk}));
    if (FArchive.Read(FBuffer.data(), n) != n) {
      FOwner.ReportError(Target(), msg::ErrorReadingFile);
      return false;
    }
    if (!WriteRaw(FBuffer.data(), n)) return false;
    Count -= n;
    ProcessMessages();
  }
  return true;
}

bool TDiskSpanObj::WriteAll() {
  FOwner.ProgressEntryTotal = 0;
  FOwner.ProgressArchiveTotal = FOwner.ProgressBytesLeft = static_cast<double>(FEntries.size() + 1);
  FDisk = 1;
  if (!MakeDiskReady(true)) return false;

  Int64 total = static_cast<Int64>(TZipEndRecord::Size + FComment.size());
  for (const auto& e : FEntries)
    total += e.Length + static_cast<Int64>(TZipCentralRecord::Size + e.RawName.size() + e.Extra.size() +
                                           e.Comment.size());
  if (!MayGiveUpOld(total)) return false;
  bool moved = false;
  if (total > FLeft) {
    Byte marker[4];
    PutLE32(marker, kZipDescriptorSignature);
    if (!WriteRaw(marker, 4)) return false;
  }

  std::vector<Byte> header;
  for (auto& e : FEntries) {
    if (FOwner.GetCancel()) return false;
    Byte h[TZipLocalHeader::Size];
    bool enc = false;
    if (e.Central.Signature != kZipCentralSignature || FArchive.Seek(e.Offset, soBeginning) != e.Offset ||
        FArchive.Read(h, sizeof h) != static_cast<Int32>(sizeof h) ||
        ClassifyZipSignature(GetLE32(h), kZipLocalKind, enc) != kZipLocalKind) {
      FOwner.ReportError(Target(), e.RawName, "0", msg::BadFileHeader);
      return false;
    }
    Byte plain[TZipLocalHeader::Size];
    std::memcpy(plain, h, sizeof h);
    if (enc) FOwner.Crypt->DecryptZipHeader(plain, kZipLocalKind);
    const auto l = TZipLocalHeader::Parse(plain);
    const Int64 headerLen = static_cast<Int64>(TZipLocalHeader::Size) + l.FileNameLength + l.ExtraFieldLength;
    if (headerLen > e.Length) {
      FOwner.ReportError(Target(), e.RawName, "0", msg::BadFileHeader);
      return false;
    }
    header.resize(static_cast<std::size_t>(headerLen));
    if (FArchive.Seek(e.Offset, soBeginning) != e.Offset || FArchive.Read(header.data(), static_cast<Int32>(headerLen)) != headerLen) {
      FOwner.ReportError(Target(), e.RawName, "0", msg::ErrorReadingFile);
      return false;
    }
    if (headerLen > FLeft && !NextDisk()) return false;
    e.Central.DiskNumberStart = static_cast<UInt16>(FDisk - 1);
    e.Central.LocalHeaderOffset = static_cast<UInt32>(FPos);
    if (!WriteRecord(header.data(), headerLen, moved)) return false;
    if (!CopyData(e.Offset + headerLen, e.Length - headerLen)) return false;
    FOwner.ProgressBytesLeft -= 1;
    FOwner.DoProgress(0);
    ProcessMessages();
  }
  if (FOwner.GetCancel()) return false;

  int dirDisk = FDisk - 1, onDisk = 0;
  Int64 dirOffset = FPos, dirSize = 0;
  bool first = true;
  std::string rec;
  for (const auto& e : FEntries) {
    Byte h[TZipCentralRecord::Size];
    TZipCentralRecord c = e.Central;
    c.Signature = ZipHeaderSignature(kZipCentralKind, e.EncryptedHeaders);
    c.Serialize(h);
    std::string name = e.RawName;
    if (e.EncryptedHeaders) {
      FOwner.Crypt->EncryptZipHeader(h, kZipCentralKind);
      FOwner.Crypt->EncryptZipHeaderCont(name.data(), name.size());
    }
    rec.assign(reinterpret_cast<const char*>(h), sizeof h);
    rec += name;
    rec += e.Extra;
    rec += e.Comment;
    const Int64 at = FPos;
    if (!WriteRecord(rec.data(), static_cast<Int64>(rec.size()), moved)) return false;
    if (moved) onDisk = 0;
    if (first) {
      dirDisk = FDisk - 1;
      dirOffset = moved ? 0 : at;
      first = false;
    }
    ++onDisk;
    dirSize += static_cast<Int64>(rec.size());
  }
  TZipEndRecord end;
  end.Signature = kZipEndSignature;
  end.CentralDirSize = static_cast<UInt32>(dirSize);
  end.CentralDirOffset = static_cast<UInt32>(dirOffset);
  end.CentralDirDisk = static_cast<UInt16>(dirDisk);
  end.EntriesTotal = static_cast<UInt16>(FEntries.size());
  end.CommentLength = static_cast<UInt16>(FComment.size());
  rec.assign(TZipEndRecord::Size, '\0');
  rec += FComment;
  // The end record must go where it is written: if it moves on, no
  // directory record lies on its disk.
  if (static_cast<Int64>(rec.size()) > FLeft) {
    if (!NextDisk()) return false;
    onDisk = 0;
    if (FEntries.empty()) {
      dirDisk = FDisk - 1;
      end.CentralDirDisk = static_cast<UInt16>(dirDisk);
    }
  }
  if (FEntries.empty()) end.CentralDirOffset = static_cast<UInt32>(FPos);
  end.DiskNumber = static_cast<UInt16>(FDisk - 1);
  end.EntriesOnDisk = static_cast<UInt16>(onDisk);
  end.Serialize(reinterpret_cast<Byte*>(rec.data()));
  if (!WriteRecord(rec.data(), static_cast<Int64>(rec.size()), moved)) return false;
  if (!PlaceFirstPart()) return false;
  FFile.reset();
  FFirst.reset();
  FOwner.ProgressBytesLeft = 0;
  FOwner.DoProgress(0);
  return true;
}

}  // namespace vsk
