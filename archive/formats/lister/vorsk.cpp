#include "archive/formats/lister/vorsk.h"

#include <sys/stat.h>

#include <cstring>

#include "base/dates.h"
#include "base/paths.h"
#include "archive/core/diskmanager.h"
#include "archive/core/regularfile.h"
#include "archive/core/numbers.h"
#include "base/pump.h"
#include "archive/core/selection.h"
#include "archive/formats/lister/walker.h"

namespace vsk {

TVorsk::TVorsk() {
  RecurseDirs = true;
  SetZipCmntBufSize(32000);
}

TVorsk::~TVorsk() = default;

bool TVorsk::PrepareFileName(const std::string& Name) {
  FileName = OemToAnsiName(Name, TranslateOemChar);
  return true;
}

void TVorsk::ResetEntry() {
  FileName.clear();
  FileDate = DosDateTimeToDateTime(0);
  PackedSize = UnpackedSize = 0;
  Ratio = 0;
  CRC = 0;
  Encrypted = false;
  MethodNumber = 0;
  MethodText.clear();
  ExternalAttr = 0;
  InternalAttr = 0;
  VersionMadeBy = VersionNeeded = 0;
  FileComment.clear();
  HostSystem = 0;
}

Int32 TVorsk::ReadAt(Int64 Pos, void* Buffer, Int32 Count) {
  if (!FStream || Pos < 0 || Count <= 0) return 0;
  // Headers and names are small and close together: serve them from a
  // read-ahead window instead of two system calls each.
  if (FWindowStream != FStream.get()) {
    FWindowStream = FStream.get();
    FWindowSize = 0;
  }
  if (Count > kWindowSize / 2) {
    if (FStream->Seek(Pos, soBeginning) != Pos) return 0;
    return FStream->Read(Buffer, Count);
  }
  if (Pos < FWindowPos || Pos + Count > FWindowPos + FWindowSize) {
    if (FStream->Seek(Pos, soBeginning) != Pos) return 0;
    FWindow.resize(kWindowSize);
    const Int32 n = FStream->Read(FWindow.data(), kWindowSize);
    FWindowPos = Pos;
    FWindowSize = n < 0 ? 0 : n;
  }
  const Int64 avail = FWindowPos + FWindowSize - Pos;
  const Int32 n = static_cast<Int32>(std::min<Int64>(Count, avail < 0 ? 0 : avail));
  if (n > 0) std::memcpy(Buffer, FWindow.data() + (Pos - FWindowPos), static_cast<std::size_t>(n));
  return n;
}

void TVorsk::TakeName(const std::string& Raw, bool Translate) {
  FileName = OemToAnsiName(Raw, Translate && TranslateOemChar);
  Fire(OnReadFile, FileName);
}

bool TVorsk::MatchesMasks() const { return MatchFileName(FileName, FileSpec, ExcludeSpec); }

bool TVorsk::SelectedEntry() const { return IsEntrySelected(FileName, FileSpec, ExcludeSpec, RecurseDirs); }

void TVorsk::CountEntry(Int64 Packed, Int64 Unpacked) {
  ++NumFiles;
  PackedTotal += static_cast<double>(Packed);
  UnpackedTotal += static_cast<double>(Unpacked);
}

void TVorsk::FillEntry(Int64 Offset, Int64 RatioPacked) {
  ProcessMessages();
  if (GetCancel()) return;
  if (ListMode == 1) {
    if (ListObject) ListObject->AddEntry(*this);
    return;
  }
  if (!OnRead) return;
  Ratio = static_cast<Byte>(CompressRatio(RatioPacked >= 0 ? RatioPacked : PackedSize, UnpackedSize));
  Fire(OnReadBegin);
  Fire(OnRead, Offset, NumFiles);
  Fire(OnReadEnd);
}

void TVorsk::ReportEntry(bool Matched, bool IsDirectory, Int64 Offset, Int64 RatioPacked) {
  if (!Matched) return;
  if (!IsDirectory) {
    CountEntry(PackedSize, UnpackedSize);
    FillEntry(Offset, RatioPacked);
  } else if (ShowEmptyDirs) {
    FillEntry(Offset, RatioPacked);
  }
}

void TVorsk::SetComment(const Byte* Data, std::size_t Count) {
  FileComment.assign(reinterpret_cast<const char*>(Data), std::min(Count, kCommentBufSize - 1));
  const auto nul = FileComment.find('\0');
  if (nul != std::string::npos) FileComment.resize(nul);
}

UInt32 TVorsk::ArchiveAttributes() const {
  const Int32 a = FileDosAttributes(ArchiveFile());
  return a < 0 || a == faNormal ? 0 : static_cast<UInt32>(a);
}

bool TVorsk::Activate() {
  *CancelRef() = false;
  VolumeName = ArchiveFile();
  ExcludeSpec.clear();
  try {
    // Only a regular file is listed: a FIFO named like an archive would
    // block the lister until someone wrote to it.
    if (!IsRegularFile(ArchiveFile())) RaiseError(ArchiveFile(), "", "0", msg::FileNotFound);
    if (!OnRead) RaiseError(ArchiveFile(), "OnRead", "0", msg::RequiredEventNotAssigned);

    if (ArcType() == atZip && ArcOffset == 0) {
      // No directory found: the archive may be one disk of a spanned set.
      if (!DiskManager->PrepareDrive(FolderOrDot(ArchiveFile()), 0, false)) return true;
      if (DiskManager->DriveType == DRIVE_REMOVABLE) FArcType = atZipMV;
    }

    auto s = std::make_unique<TRegularFileStream>(ArchiveFile());
    if (!s->IsOpen()) {
      ReportError(ArchiveFile(), msg::ErrorOpeningFile);
      return true;
    }
    FStream = std::move(s);
  } catch (const ECancelUnwind&) {
    return true;
  } catch (...) {
    return false;
  }

  bool result = true;
  try {
    Fire(OnActivate);
    Timer.Start();
    auto walker = MakeListWalker(ArcType());
    Walk(walker.get());
  } catch (const ECancelUnwind&) {
  } catch (...) {
    result = false;
  }
  try {
    Close();
  } catch (const ECancelUnwind&) {
  } catch (...) {
    result = false;
  }
  return result;
}

void TVorsk::Walk(TListWalker* Walker) {
  ArcSize = FStream->GetSize();
  EndOffset = ArcSize;
  FWindowStream = nullptr;
  PackedTotal = UnpackedTotal = 0;
  NumFiles = 0;
  FVolumeSwitches = 0;
  ResetEntry();
  if (!Walker) return;
  const Int64 first = Walker->FirstHeader(*this);
  CurrentOffset = first < 0 ? EndOffset : first;
  std::vector<Byte> header;
  while (!GetCancel() && FStream) {
    const Int32 fixed = Walker->FixedSize(*this);
    if (fixed <= 0 || CurrentOffset < 0 || CurrentOffset >= EndOffset || fixed >= EndOffset - CurrentOffset) break;
    ArcOffset = CurrentOffset;
    header.resize(static_cast<std::size_t>(fixed));
    const Int32 got = ReadAt(CurrentOffset, header.data(), fixed);
    if (got <= 0) break;
    CurrentOffset += got;
    FileComment.clear();
    const int volumes = FVolumeSwitches;
    const Int64 next = Walker->Step(*this, header.data(), got);
    if (next >= EndOffset) break;
    // A header offset that does not move forward would walk for ever.
    if (volumes == FVolumeSwitches && next <= ArcOffset) break;
    CurrentOffset = next;
  }
}

void TVorsk::Close() {
  Timer.Stop();
  FStream.reset();
  if (OnTotals) {
    const int ratio = CompressRatio(PackedTotal, UnpackedTotal);
    Fire(OnTotals, UnpackedTotal, PackedTotal, ratio, NumFiles);
  }
  Fire(OnDeactivate);
  Fire(OnElapsedTime, Timer.Elapsed());
}

}  // namespace vsk
