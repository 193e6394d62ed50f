#include "archive/formats/cab/uncab.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "archive/core/selection.h"
#include "base/paths.h"
#include "base/records/cabheader.h"

namespace vsk {

namespace {

constexpr int kCorruptInput = 25140;
constexpr int kCabinetLibraryMissing = 25261;
// The attribute bits an extracted file keeps.
constexpr UInt32 kKeptAttributes = 0x27;

bool CopyField(char* Field, const std::string& Value) {
  if (!Field || Value.size() >= CB_MAX_CAB_PATH) return false;
  std::memcpy(Field, Value.c_str(), Value.size() + 1);
  return true;
}

std::string Text(const char* Field) { return Field ? std::string(Field) : std::string(); }

}  // namespace

// The library's callbacks: the user pointer is the reader in work.
struct TUnCabCallbacks {
  static TUnCab& Of(void* Pv) { return *static_cast<TUnCab*>(Pv); }

  static unsigned Read(intptr_t Hf, void* Buffer, unsigned Count, int* Err, void* Pv) {
    if (Of(Pv).GetCancel()) {
      *Err = -1;
      return static_cast<unsigned>(-1);
    }
    return Of(Pv).FHandler->Read(Hf, Buffer, Count, *Err, Pv);
  }
  static unsigned Write(intptr_t, const void* Buffer, unsigned Count, int* Err, void* Pv) {
    return Of(Pv).WriteData(Buffer, Count, *Err);
  }
  static int64_t Seek(intptr_t Hf, int64_t Distance, int SeekType, int* Err, void* Pv) {
    return Of(Pv).FHandler->Seek(Hf, Distance, SeekType, *Err, Pv);
  }
  static intptr_t Notify(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION Info) {
    TUnCab& self = Of(Info->pv);
    try {
      return self.FListing ? self.ListNotify(Type, *Info) : self.ExtractNotify(Type, *Info);
    } catch (...) {
      if (!self.FPending) self.FPending = std::current_exception();
      return -1;
    }
  }
};

TUnCab::TUnCab() : FHandler(std::make_unique<TStreamCabinetFileHandler>()) {
  FArcType = atCab;
  ConfirmOverwrites = true;
}

TUnCab::~TUnCab() = default;

std::string TUnCab::EntryNameOf(const FDINOTIFICATION& Info) const {
  const bool utf8 = (Info.attribs & CAB_A_NAME_IS_UTF) != 0;
  return OemToAnsiName(Text(Info.psz1), TranslateOemChar && !utf8);
}

void TUnCab::ExtractArchive() {
  const TCabinetLibrary& lib = CabinetLibrary();
  if (!lib.ReaderAvailable()) RaiseError(ArchiveFile(), "", "0", kCabinetLibraryMissing);
  Crc->Reset();
  FAbort = FCorruptReported = false;
  FPending = nullptr;
  struct stat st;
  if (stat(ArchiveFile().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;

  FErf = {};
  const int cpu = CpuType == cptAuto ? cpuUNKNOWN : static_cast<int>(CpuType) - 1;
  using TFiles = TCabinetFileCallbacks<TUnCab>;
  HFDI context = lib.FDICreate(CabAlloc, CabFree, TFiles::Open, TUnCabCallbacks::Read, TUnCabCallbacks::Write,
                               TFiles::Close, TUnCabCallbacks::Seek, cpu, &FErf, this);
  if (!context) {
    CheckError(false);
    return;
  }
  try {
    if (IsCabinet(context) && Walk(context, true)) {
      ProgressArchiveTotal = ProgressBytesLeft = UnpackedTotal;
      if (!Testing()) NoteSetVolumes();
      if (!GetCancel()) Walk(context, false);
    }
  } catch (...) {
    lib.FDIDestroy(context);
    throw;
  }
  lib.FDIDestroy(context);
}

bool TUnCab::IsCabinet(HFDI Context) {
  int err = 0;
  const intptr_t hf = FHandler->Open(ArchiveFile(), CAB_O_RDONLY | CAB_O_BINARY, 0, err, this);
  if (hf == -1) RaiseError(ArchiveFile(), "", "0", msg::ErrorOpeningFile);
  FDICABINETINFO info{};
  const bool cabinet = CabinetLibrary().FDIIsCabinet(Context, hf, &info) != 0;
  const bool failed = !cabinet && FErf.fError && FErf.erfOper == FDIERROR_UNKNOWN_CABINET_VERSION;
  if (FHandler->Close(hf, err, this) != 0 || err != 0) RaiseError(ArchiveFile(), "", "0", msg::ErrorClosingFile);
  // Bytes that are no cabinet are passed over in silence; a cabinet of
  // another version is one we cannot read.
  if (failed) CheckError(false);
  return cabinet;
}

void TUnCab::NoteSetVolumes() {
  // Both ways from the cabinet opened: the ones before it, then the rest.
  NoteCabinetChain(false);
  NoteCabinetChain(true);
}

void TUnCab::NoteCabinetChain(bool Next) {
  // The chain ends at a cabinet met before (a set that names itself again)
  // and at the most volumes a set is followed through.
  std::vector<std::pair<dev_t, ino_t>> seen;
  std::vector<Byte> head(kCabMaxHeaderSize);
  std::string current = ArchiveFile();
  const UInt16 flag = Next ? kCabFlagNextCabinet : kCabFlagPrevCabinet;
  for (int n = 0; n < kMaxVolumes; ++n) {
    // Never blocks on a name that is not a plain file.
    const int fd = ::open(current.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    const bool fresh = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       std::find(seen.begin(), seen.end(), std::make_pair(st.st_dev, st.st_ino)) == seen.end();
    const ssize_t got = fresh ? pread(fd, head.data(), head.size(), 0) : -1;
    ::close(fd);
    TCabHeader header;
    if (got <= 0 || !header.Parse(head.data(), static_cast<std::size_t>(got))) return;
    seen.emplace_back(st.st_dev, st.st_ino);
    const std::string& named = Next ? header.NextCabinet : header.PrevCabinet;
    if (!(header.Flags & flag) || named.empty()) return;
    std::string next = AppendSlash(FolderOrDot(current)) + named;
    if (!FindVolumeAnyCase(next)) return;
    NoteArchiveVolume(next);
    current = next;
  }
}

bool TUnCab::Walk(HFDI Context, bool Listing) {
  FListing = Listing;
  FFirstCabinet = !Listing;
  FCopyState = 0;
  const std::string name = PathFilePart(ArchiveFile());
  // The library is always given a folder ending in "/": "./" for a bare name.
  const std::string path = AppendSlash(FolderOrDot(ArchiveFile()));
  const bool ok = CabinetLibrary().FDICopy(Context, name.c_str(), path.c_str(), 0, TUnCabCallbacks::Notify, nullptr,
                                           this) != 0;
  // Only an abort inside the library leaves a file in work: it fails.
  FHandle = -1;
  FSink.reset();
  if (!FPending) FFile = TReaderEntry();
  if (FPending) {
    const std::exception_ptr pending = FPending;
    FPending = nullptr;
    std::rethrow_exception(pending);
  }
  // The list pass stops at the first next-cabinet on purpose.
  if (Listing && !ok && FErf.erfOper == FDIERROR_USER_ABORT && !GetCancel()) return true;
  CheckError(ok);
  return ok;
}

void TUnCab::CheckError(bool Ok) {
  if (Ok || !FErf.fError || GetCancel()) return;
  switch (FErf.erfOper) {
    case FDIERROR_USER_ABORT:
      FAbort = false;
      return;
    case FDIERROR_CORRUPT_CABINET:
      if (!FCorruptReported) ReportError(ArchiveFile(), kCorruptInput);
      return;
    case FDIERROR_TARGET_FILE:
      // The output routine reported its failure where it happened.
      return;
    default: {
      const ECabinetError error(FErf.erfOper, FErf.erfType);
      ReportError(ArchiveFile(), FdiErrorReason(FErf.erfOper, FErf.erfType), "0", FdiErrorCode(FErf.erfOper));
      throw error;
    }
  }
}

intptr_t TUnCab::ListNotify(FDINOTIFICATIONTYPE Type, FDINOTIFICATION& Info) {
  if (GetCancel()) return -1;
  switch (Type) {
    case fdintCOPY_FILE: {
      const std::string name = EntryNameOf(Info);
      if (IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs)) {
        PackedTotal += static_cast<double>(Info.cb);
        UnpackedTotal += static_cast<double>(Info.cb);
        const UInt32 dos = static_cast<UInt32>(Info.date) << 16 | Info.time;
        if (dos > NewestEntryDate) NewestEntryDate = dos;
      }
      return 0;
    }
    case fdintNEXT_CABINET:
      return -1;
    default:
      return 0;
  }
}

intptr_t TUnCab::ExtractNotify(FDINOTIFICATIONTYPE Type, FDINOTIFICATION& Info) {
  switch (Type) {
    case fdintCABINET_INFO:
      return DoCabinetInfo(Text(Info.psz1), Text(Info.psz2), Text(Info.psz3), Info.setID, Info.iCabinet);
    case fdintCOPY_FILE:
      return DoCopyFile(Info);
    case fdintCLOSE_FILE_INFO:
      return DoCloseFileInfo(Info);
    case fdintNEXT_CABINET: {
      bool abort = false;
      const intptr_t answer = DoNextCabinet(Info, abort);
      return abort || GetCancel() ? -1 : answer;
    }
    default:
      return GetCancel() ? -1 : 0;
  }
}

intptr_t TUnCab::DoCabinetInfo(const std::string& NextCabinet, const std::string& NextDisk,
                               const std::string& CabinetPath, UInt16 SetID, UInt16 CabinetNumber) {
  if (FFirstCabinet) {
    FFirstCabinet = false;
    FNextCabinet = NextCabinet;
    FNextDisk = NextDisk;
    FCabinetPath = CabinetPath;
    FSetID = SetID;
    FCabinetNumber = CabinetNumber;
  }
  return GetCancel() ? -1 : 0;
}

intptr_t TUnCab::DoCopyFile(FDINOTIFICATION& Info) {
  FCopyState = 1;
  const std::string name = EntryNameOf(Info);
  if (GetCancel()) return -1;
  if (!IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs)) return 0;
  TEntryInfo entry;
  entry.Name = name;
  entry.UnpackedSize = Info.cb;
  entry.DosDateTime = static_cast<UInt32>(Info.date) << 16 | Info.time;
  entry.Directory = (Info.attribs & faDirectory) != 0;
  ProgressEntryTotal = Info.cb;
  FFile = StartEntry(entry);
  if (!FFile) return GetCancel() ? -1 : 0;
  if (entry.Directory) {
    CreateEntryFolder();
    SkipEntryData(Info.cb);
    return 0;
  }
  // The output is made when its first data come (an empty file when the
  // library found it whole): an entry whose data never come, as when the
  // next cabinet of a set is declined or missing, leaves an existing file
  // of its name as it was. The library only hands the handle back.
  Crc->Reset();
  ResetTranslation();
  FHandle = -1;
  FOutputOpened = false;
  FSink.reset();
  FCopyState = 2;
  return 1;
}

bool TUnCab::OpenEntryOutput() {
  if (FOutputOpened) return FSink != nullptr;
  FOutputOpened = true;
  int handle = -1;
  if (!FFile.Open(handle)) {
    // Reported by the base; the entry fails, its data are passed over and
    // the entries after it still come out.
    SkipEntryData(EntryUnpackedSize);
    return false;
  }
  FHandle = handle;
  // Cabinets keep no checksum of a file: the library checks each data
  // block, so a running CRC of the output would be computed for nothing.
  FSink = std::make_unique<TReaderSink>(*this, handle, kCrcNone);
  return true;
}

unsigned TUnCab::WriteData(const void* Buffer, unsigned Count, int& Err) {
  if (FCopyState != 2) {
    Err = EBADF;
    return 0;
  }
  try {
    if (!OpenEntryOutput()) {
      Err = 0;
      return GetCancel() ? 0 : Count;
    }
    const auto* p = static_cast<const Byte*>(Buffer);
    unsigned done = 0;
    while (done < Count) {
      const unsigned n = std::min(Count - done, 1u << 30);
      FSink->Write(p + done, static_cast<Int32>(n));
      done += n;
    }
  } catch (const EVskError& error) {
    // Reported where it was raised; a full disk ends the run, any other
    // failure this entry (the library then stops the walk).
    if (error.Code == msg::DiskFull && !FPending) FPending = std::current_exception();
    Err = error.Code == msg::DiskFull ? ENOSPC : EIO;
    return 0;
  } catch (...) {
    if (!FPending) FPending = std::current_exception();
    Err = EIO;
    return 0;
  }
  if (GetCancel()) {
    Err = 0;
    return 0;
  }
  return Count;
}

intptr_t TUnCab::DoCloseFileInfo(FDINOTIFICATION& Info) {
  if (FCopyState != 2) return GetCancel() ? -1 : 1;
  FCopyState = 1;
  bool pass = Info.fdie == FDIERROR_NONE && !GetCancel();
  if (pass && !FOutputOpened) OpenEntryOutput();
  // An output that could not be opened was reported; nothing was written.
  if (FOutputOpened && !FSink) {
    FFile.End(false);
    return GetCancel() ? -1 : 1;
  }
  pass = pass && FSink->Written() == EntryUnpackedSize;
  if (Info.fdie == FDIERROR_CORRUPT_CABINET) {
    ReportError(OutputName, kCorruptInput);
    FCorruptReported = true;
  }
  const int handle = FHandle;
  FHandle = -1;
  FSink.reset();
  FFile.Close(handle, static_cast<UInt32>(Info.date) << 16 | Info.time, Info.attribs & kKeptAttributes);
  FFile.End(pass);
  return GetCancel() ? -1 : 1;
}

intptr_t TUnCab::DoNextCabinet(FDINOTIFICATION& Info, bool& Abort) {
  std::string volume = AppendSlash(Text(Info.psz3)) + Text(Info.psz1);
  if (!OpenNextVolume(volume, Text(Info.psz2))) {
    FAbort = Abort = true;
    return -1;
  }
  FVolumeName = volume;
  NoteArchiveVolume(volume);
  if (!CopyField(Info.psz1, PathFilePart(volume)) || !CopyField(Info.psz3, AppendSlash(FolderOrDot(volume)))) {
    ReportError(volume, msg::InvalidFileName);
    FAbort = Abort = true;
    return -1;
  }
  return 0;
}

}  // namespace vsk
