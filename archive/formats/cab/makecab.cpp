#include "archive/formats/cab/makecab.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/dates.h"
#include "base/paths.h"
#include "archive/core/numbers.h"
#include "base/tempstream.h"

namespace vsk {

namespace {

constexpr int kCabinetLibraryMissing = 25261;
constexpr int kCorruptInput = 25140;
// The largest cabinet and folder the writer asks for: one cabinet, never a set.
constexpr UInt32 kCabinetLimit = 0x7FFFFFFF;


bool CopyName(char* Field, std::size_t Size, const std::string& Value) {
  if (Value.size() >= Size) return false;
  std::memcpy(Field, Value.c_str(), Value.size() + 1);
  return true;
}

}  // namespace

// The entries of the old cabinet, unpacked one file per entry (named by
// its index) into a private folder that lives as long as the run.
struct TMakeCab::TOldEntries {
  std::string Folder;
  int Count = 0;
  bool Unpack = false;
  bool Damaged = false;
  bool Set = false;
  int Handle = -1;
  std::vector<TCompEntry>* Entries = nullptr;
  bool Translate = true;

  ~TOldEntries() {
    if (Handle >= 0) ::close(Handle);
    if (!Folder.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(Folder, ec);
    }
  }
};

// The library's callbacks: the user pointer is the writer in work. No
// exception may pass through the library.
struct TMakeCabCallbacks {
  static TMakeCab& Of(void* Pv) { return *static_cast<TMakeCab*>(Pv); }

  static unsigned Read(intptr_t Hf, void* Buffer, unsigned Count, int* Err, void* Pv) {
    TMakeCab& self = Of(Pv);
    if (self.GetCancel()) {
      *Err = -1;
      self.ProgressBytesLeft = 0;
      return 0;
    }
    const bool source = Hf == self.FSourceHandle;
    // Of a source exactly the size it had when opened is read: one byte
    // more is asked for to see it grow, and an end before it is a shrink.
    // Either is a failure of the source, not a shorter or longer entry.
    const auto opened = static_cast<UInt64>(self.FSourceOpen.st_size);
    const UInt64 left = source ? opened - std::min(self.FSourceTaken, opened) : 0;
    if (source) Count = static_cast<unsigned>(std::min<UInt64>(Count, left + 1));
    const unsigned n = self.FHandler->Read(Hf, Buffer, Count, *Err, Pv);
    if (source && n != static_cast<unsigned>(-1)) {
      self.FSourceTaken += n;
      if (n > left || (n == 0 && left > 0)) {
        *Err = EIO;
        return static_cast<unsigned>(-1);
      }
      // The end: what was read is the file as it was opened only when it
      // is unchanged now.
      if (n == 0) self.FSourceRead = SourceIdAfterRead(static_cast<int>(Hf), self.FSourceOpen);
    }
    if (n != static_cast<unsigned>(-1)) {
      self.ProgressBytesLeft -= n;
      if (self.ProgressBytesLeft < 0) self.ProgressBytesLeft = 0;
      try {
        self.ProgressRoutine(self.ProgressEntryTotal);
      } catch (...) {
      }
    }
    return n;
  }
  static unsigned Write(intptr_t Hf, const void* Buffer, unsigned Count, int* Err, void* Pv) {
    TMakeCab& self = Of(Pv);
    if (self.GetCancel()) {
      *Err = -1;
      self.ProgressBytesLeft = 0;
      return 0;
    }
    const unsigned n = self.FHandler->Write(Hf, Buffer, Count, *Err, Pv);
    if (n != Count && (*Err == ENOSPC || *Err == EDQUOT) && !self.FDiskFullReported) {
      self.FDiskFullReported = true;
      self.FilesProcessed = 0;
      self.ReportError(self.ArchiveFile(), msg::DiskFull);
    }
    return n;
  }
  static int64_t Seek(intptr_t Hf, int64_t Distance, int SeekType, int* Err, void* Pv) {
    TMakeCab& self = Of(Pv);
    if (self.GetCancel()) {
      *Err = -1;
      return -1;
    }
    return self.FHandler->Seek(Hf, Distance, SeekType, *Err, Pv);
  }
  static int FilePlaced(PCCAB, const char*, int64_t, int, void*) { return 0; }
  static int GetTempFile(char* Name, int Size, void* Pv) { return Of(Pv).DoGetTempFile(Name, Size) ? 1 : 0; }
  // A cabinet is never split, so there is no next one.
  static int GetNextCabinet(PCCAB Cab, uint32_t, void*) {
    Cab->szCab[0] = Cab->szCabPath[0] = '\0';
    return 0;
  }
  static long Status(unsigned Type, uint32_t, uint32_t, void* Pv) {
    if (Of(Pv).GetCancel()) return -1;
    return Type <= statusCabinet ? 0 : -1;
  }
  static intptr_t GetOpenInfo(const char* Name, uint16_t* Date, uint16_t* Time, uint16_t* Attribs, int* Err,
                              void* Pv) {
    try {
      return Of(Pv).DoGetOpenInfo(Name ? Name : "", *Date, *Time, *Attribs, *Err);
    } catch (...) {
      *Err = EIO;
      return -1;
    }
  }

  // ---- reading the old cabinet
  static TMakeCab::TOldEntries& Old(void* Pv) { return *Of(Pv).FOldEntries; }
  static unsigned WriteOld(intptr_t Hf, const void* Buffer, unsigned Count, int* Err, void*) {
    const auto* p = static_cast<const char*>(Buffer);
    unsigned done = 0;
    while (done < Count) {
      const ssize_t n = ::write(static_cast<int>(Hf), p + done, Count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        *Err = n < 0 ? errno : ENOSPC;
        break;
      }
      done += static_cast<unsigned>(n);
    }
    return done;
  }
  static intptr_t NotifyOld(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION Info) {
    TMakeCab& self = Of(Info->pv);
    TMakeCab::TOldEntries& old = Old(Info->pv);
    if (self.GetCancel()) return -1;
    switch (Type) {
      case fdintCOPY_FILE: {
        TCompEntry e;
        const std::string raw = Info->psz1 ? Info->psz1 : "";
        e.Name = OemToAnsiName(raw, old.Translate && !(Info->attribs & CAB_A_NAME_IS_UTF));
        e.RawName = raw;
        const auto size = static_cast<UInt32>(Info->cb);
        e.Times = {size, size, static_cast<UInt32>(Info->date) << 16 | Info->time, Info->attribs & 0x27u};
        e.IsOld = true;
        e.State = esCopy;
        e.OldOffset = old.Count;
        e.OldLength = 0;
        if (!old.Unpack) {
          old.Entries->push_back(std::move(e));
          ++old.Count;
          return 0;
        }
        const std::string unpacked = old.Folder + "/" + std::to_string(old.Count++);
        old.Handle = ::open(unpacked.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        // The run's scratch is never gathered, wherever TempDir lies.
        if (struct stat st; old.Handle >= 0 && fstat(old.Handle, &st) == 0) self.AddOwnFile(st.st_dev, st.st_ino);
        old.Entries->push_back(std::move(e));
        return old.Handle >= 0 ? old.Handle : -1;
      }
      case fdintCLOSE_FILE_INFO:
        if (Info->fdie != FDIERROR_NONE) old.Damaged = true;
        if (old.Handle >= 0 && ::close(old.Handle) != 0) old.Damaged = true;
        old.Handle = -1;
        return old.Damaged ? -1 : 1;
      case fdintPARTIAL_FILE:
      case fdintNEXT_CABINET:
        old.Set = true;
        return -1;
      default:
        return 0;
    }
  }
};

TMakeCab::TMakeCab() : FHandler(std::make_unique<TStreamCabinetFileHandler>()) {
  FOwnExt = FDefaultExt = ".CAB";
  FArcType = atCab;
  FSupportedMethods = {cmStore, cmMsZip, cmLzx, cmQuantum};
  FCompressMethod = cmMsZip;
  RecurseDirs = true;
  StoredDirNames = sdRelative;
  // The library keeps the limits of the format itself and reports them.
  FLimit = ~UInt64{0};
}

TMakeCab::~TMakeCab() { DestroyContext(); }

void TMakeCab::SetArcType(TArcType) { FArcType = atCab; }

TCOMP TMakeCab::CompressionWord() const {
  switch (FCompressMethod) {
    case cmStore: return tcompTYPE_NONE;
    case cmMsZip: return tcompTYPE_MSZIP;
    case cmLzx: return CompressionWordFromLzxWindow(FLzxLevel);
    case cmQuantum: {
      const int type = QuantumType == ctStore ? 0 : QuantumType == ctMsZip ? 1 : 3;
      // With an LZX type the memory is the LZX window, which has a smaller
      // range than the Quantum memory.
      const int memory = type == 3 ? std::clamp(FQuantumMemory, tcompLZX_WINDOW_LO, tcompLZX_WINDOW_HI) : FQuantumMemory;
      return CompressionWordFromTypeLevelMemory(type, FQuantumLevel, memory);
    }
    default: return tcompTYPE_NONE;
  }
}

std::string TMakeCab::EncodeEntryName(const TCompEntry& E) const {
  // Non-ASCII names are kept as UTF-8: the library flags them so.
  return SlashToBackslash(E.Name);
}

void TMakeCab::CompressArchive() {
  if (!CabinetLibrary().WriterAvailable() || !CabinetLibrary().ReaderAvailable())
    RaiseError(ArchiveFile(), "", "0", kCabinetLibraryMissing);
  if (Switch == swDelete) RaiseError(ArchiveFile(), "", "0", msg::UnsupportedArcType);
  FDiskFullReported = false;
  // The library writes the cabinet by name into the scratch file.
  const TCompressionMethod saved = CompressionMethod;
  CompressionMethod = cmTempFile;
  try {
    TCompBase::CompressArchive();
  } catch (...) {
    CompressionMethod = saved;
    DestroyContext();
    FOldEntries.reset();
    throw;
  }
  CompressionMethod = saved;
  DestroyContext();
  FOldEntries.reset();
}

bool TMakeCab::LoadOldDirectory() {
  FOldEntries = std::make_unique<TOldEntries>();
  TOldEntries& old = *FOldEntries;
  old.Entries = &FEntries;
  old.Translate = TranslateOemChar;
  old.Unpack = Switch != swRead;
  if (old.Unpack) {
    std::string folder = JoinPath(TempDir(), "vskcab-XXXXXX");
    if (!mkdtemp(folder.data())) {
      ReportError(ArchiveFile(), msg::ErrorCreatingFile);
      return false;
    }
    old.Folder = folder;
    if (struct stat st; stat(folder.c_str(), &st) == 0) AddOwnFile(st.st_dev, st.st_ino);
  }
  ERF erf{};
  using TFiles = TCabinetFileCallbacks<TMakeCab>;
  HFDI fdi = CabinetLibrary().FDICreate(CabAlloc, CabFree, TFiles::Open, TMakeCabCallbacks::Read,
                                        TMakeCabCallbacks::WriteOld, TFiles::Close, TMakeCabCallbacks::Seek, cpuUNKNOWN,
                                        &erf, this);
  if (!fdi) {
    ReportError(ArchiveFile(), FdiErrorReason(erf.erfOper, erf.erfType), "0", FdiErrorCode(erf.erfOper));
    return false;
  }
  const std::string name = PathFilePart(ArchiveFile());
  const std::string path = PathFolderPart(ArchiveFile());
  const double left = ProgressBytesLeft;
  const bool ok = CabinetLibrary().FDICopy(fdi, name.c_str(), path.c_str(), 0, TMakeCabCallbacks::NotifyOld, nullptr,
                                           this) != 0;
  CabinetLibrary().FDIDestroy(fdi);
  ProgressBytesLeft = left;
  if (old.Handle >= 0) ::close(old.Handle);
  old.Handle = -1;
  if (GetCancel()) return false;
  // An old cabinet that cannot be read whole is not rebuilt: its entries
  // would be lost.
  if (old.Set) {
    ReportError(ArchiveFile(), "a cabinet of a set", "0", msg::UnsupportedArcType);
    return false;
  }
  if (!ok || old.Damaged) {
    if (erf.erfOper == FDIERROR_NOT_A_CABINET || erf.erfOper == FDIERROR_UNKNOWN_CABINET_VERSION)
      ReportError(ArchiveFile(), msg::BadFileHeader);
    else if (erf.erfOper == FDIERROR_TARGET_FILE)
      ReportError(ArchiveFile(), erf.erfType == ENOSPC ? msg::DiskFull : msg::ErrorWritingToFile);
    else
      ReportError(ArchiveFile(), kCorruptInput);
    return false;
  }
  MarkOldEntries();
  return true;
}

TCompBase::TFormatTraits TMakeCab::Traits() const {
  TFormatTraits t;
  // Where the process cannot open its unnamed files again by name.
  t.NamedOutput = access("/proc/self/fd", X_OK) != 0;
  // New entries handed to the library: their end comes when the cabinet is
  // written, or as failed when the run stops before.
  t.EndsAtFinish = true;
  return t;
}

bool TMakeCab::EnsureContext() {
  if (FContext) return true;
  auto* temp = dynamic_cast<TTempFileStream*>(FOutput);
  if (!temp) RaiseError(ArchiveFile(), "", "0", msg::ErrorCreatingFile);
  FCab = {};
  FCab.cb = kCabinetLimit;
  FCab.cbFolderThresh = kCabinetLimit;
  FCab.fFailOnIncompressible = FailOnIncompressible ? 1 : 0;
  // The library opens the cabinet by name: the scratch file's own, which
  // needs no name in the folder.
  const std::string name = temp->ReopenName();
  if (name.empty()) RaiseError(ArchiveFile(), "", "0", msg::ErrorCreatingFile);
  if (!CopyName(FCab.szCab, sizeof FCab.szCab, PathFilePart(name)) ||
      !CopyName(FCab.szCabPath, sizeof FCab.szCabPath, PathFolderPart(name))) {
    RaiseError(ArchiveFile(), "path longer than 255 bytes", "0", msg::ErrorCreatingFile);
  }
  FErf = {};
  using TFiles = TCabinetFileCallbacks<TMakeCab>;
  FContext = CabinetLibrary().FCICreate(&FErf, TMakeCabCallbacks::FilePlaced, CabAlloc, CabFree, TFiles::Open,
                                        TMakeCabCallbacks::Read, TMakeCabCallbacks::Write, TFiles::Close,
                                        TMakeCabCallbacks::Seek, TFiles::Delete, TMakeCabCallbacks::GetTempFile, &FCab,
                                        this);
  if (!FContext) {
    ReportFailure(ArchiveFile());
    throw E_RAISE(msg::ErrorCreatingFile);
  }
  return true;
}

void TMakeCab::DestroyContext() {
  if (FContext) CabinetLibrary().FCIDestroy(FContext);
  FContext = nullptr;
}

void TMakeCab::ReportFailure(const std::string& FileName) {
  if (GetCancel()) return;
  switch (FErf.erfOper) {
    case FCIERR_OPEN_SRC:
      // get-open-info reported it.
      return;
    case FCIERR_READ_SRC:
      ReportError(FileName, msg::ErrorReadingFile);
      return;
    case FCIERR_CAB_FORMAT_LIMIT:
      ReportError(FileName, "more than a cabinet can hold", "0", msg::MaxFileSizeExceeded);
      return;
    case FCIERR_TEMP_FILE:
    case FCIERR_CAB_FILE:
      if (FErf.erfType == ENOSPC || FErf.erfType == EDQUOT) {
        if (!FDiskFullReported) ReportError(ArchiveFile(), msg::DiskFull);
        FDiskFullReported = true;
      } else {
        ReportError(ArchiveFile(), msg::ErrorWritingToFile);
      }
      return;
    case FCIERR_USER_ABORT:
      return;
    default:
      ReportError(FileName, FciErrorReason(FErf.erfOper, FErf.erfType), "0", FciErrorCode(FErf.erfOper));
  }
}

bool TMakeCab::AddFile(TCompEntry& E, const std::string& Source, bool& Fatal) {
  Fatal = false;
  EnsureContext();
  const std::string stored = EncodeEntryName(E);
  if (stored.empty() || stored.size() >= CB_MAX_FILENAME) {
    ReportError(E.FileName, "name longer than 255 bytes", "0", msg::MaxFileSizeExceeded);
    return false;
  }
  E.RawName = stored;
  FErf = {};
  FInHand = &E;
  FSourceHandle = -1;
  FSourceTaken = 0;
  FSourceRead = {};
  const bool ok = CabinetLibrary().FCIAddFile(FContext, Source.c_str(), stored.c_str(), 0,
                                              TMakeCabCallbacks::GetNextCabinet, TMakeCabCallbacks::Status,
                                              TMakeCabCallbacks::GetOpenInfo, CompressionWord()) != 0;
  FInHand = nullptr;
  FSourceHandle = -1;
  if (ok) {
    E.SrcRead = FSourceRead;
    return true;
  }
  ReportFailure(E.FileName.empty() ? E.Name : E.FileName);
  // These leave the context as it was; any other failure ends it.
  Fatal = FErf.erfOper != FCIERR_OPEN_SRC && FErf.erfOper != FCIERR_READ_SRC;
  return false;
}

bool TMakeCab::CopyOldEntry(TCompEntry& E) {
  // A cabinet renames no entry.
  if (E.State != esCopy) return false;
  FKeepTimes = true;
  bool fatal = false;
  const std::string source = FOldEntries ? FOldEntries->Folder + "/" + std::to_string(E.OldOffset) : std::string();
  const bool ok = AddFile(E, source, fatal);
  FKeepTimes = false;
  // A kept entry that cannot be added again fails the run: it must not be lost.
  if (!ok) throw E_RAISE(msg::ErrorWritingToFile);
  return true;
}

bool TMakeCab::WriteEntryData(TCompEntry& E) {
  CurrentFileName = E.Name;
  // A cabinet holds files only.
  if (E.IsDir) return false;
  ProgressEntryTotal = static_cast<Int64>(E.FileSize);
  bool fatal = false;
  const bool ok = AddFile(E, E.FileName, fatal);
  if (!ok) {
    Fire(OnEnd, E.Name, false);
    if (fatal || GetCancel()) throw E_RAISE(msg::ErrorWritingToFile);
    return false;
  }
  return true;
}

bool TMakeCab::FinishArchive() {
  EnsureContext();
  FErf = {};
  const bool ok = CabinetLibrary().FCIFlushCabinet(FContext, 0, TMakeCabCallbacks::GetNextCabinet,
                                                   TMakeCabCallbacks::Status) != 0;
  if (!ok) {
    ReportFailure(ArchiveFile());
    FRunFailed = true;
  }
  DestroyContext();
  // The base ends the entries, then commits the scratch file the library wrote.
  return false;
}

void TMakeCab::DescribeEntry(const TCompEntry& E) {
  FileName = E.Name;
  FileDate = ConvertDosDate(E.Times.DosDateTime);
  PackedSize = E.Times.PackedSize;
  UnpackedSize = E.Times.UnpackedSize;
  Ratio = 0;
  CRC = 0;
  Encrypted = false;
  // The method the compression word really selects.
  switch (CompressionWord() & tcompMASK_TYPE) {
    case tcompTYPE_MSZIP:
      MethodNumber = 1;
      MethodText = "MsZIP";
      break;
    case tcompTYPE_LZX:
      MethodNumber = 2;
      MethodText = "Lzx";
      break;
    default:
      MethodNumber = 0;
      MethodText = "Stored";
  }
  ExternalAttr = E.Times.Attributes;
  InternalAttr = 0;
  FileComment.clear();
}

bool TMakeCab::DoGetTempFile(char* Name, int Size) {
  try {
    const std::string name = GetTempFileName(TempDir());
    if (name.size() + 1 > static_cast<std::size_t>(Size)) {
      ::unlink(name.c_str());
      return false;
    }
    std::memcpy(Name, name.c_str(), name.size() + 1);
    return true;
  } catch (...) {
    return false;
  }
}

intptr_t TMakeCab::DoGetOpenInfo(const std::string& FileName, UInt16& Date, UInt16& Time, UInt16& Attribs,
                                 int& Err) {
  struct stat st;
  if (stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    Err = errno != 0 ? errno : EISDIR;
    ReportError(FileName, msg::ErrorOpeningFile);
    return -1;
  }
  if (static_cast<UInt64>(st.st_size) >= kMaxArchiveSize) {
    Err = EFBIG;
    ReportError(FileName, "file of 4 GiB or more", "0", msg::MaxFileSizeExceeded);
    return -1;
  }
  UInt32 dos = 0;
  if (FKeepTimes && FInHand) {
    dos = FInHand->Times.DosDateTime;
    Attribs = static_cast<UInt16>(FInHand->Times.Attributes);
  } else {
    dos = FileTimeToLocalDos(st.st_mtim);
    if (DateAttribute == daSysDate)
      dos = DateTimeToDosDateTime(Now());
    else if (DateAttribute == daMaxFileDate)
      dos = static_cast<UInt32>(MaxFileDate);
    const Int32 attr = FileDosAttributes(FileName);
    Attribs = static_cast<UInt16>(attr < 0 ? faArchive : (attr & (faReadOnly | faHidden | faSysFile | faArchive)));
  }
  Date = static_cast<UInt16>(dos >> 16);
  Time = static_cast<UInt16>(dos & 0xFFFF);
  const intptr_t handle = FHandler->Open(FileName, CAB_O_RDONLY | CAB_O_BINARY, 0, Err, this);
  if (handle == -1) {
    ReportError(FileName, msg::ErrorOpeningFile);
    return -1;
  }
  // The handle is the file's own descriptor; what is read of it is checked
  // against its size now.
  if (fstat(static_cast<int>(handle), &FSourceOpen) == 0 && S_ISREG(FSourceOpen.st_mode)) FSourceHandle = handle;
  if (FInHand && !FKeepTimes) {
    // The entry as it goes into the cabinet.
    const auto size = static_cast<UInt32>(st.st_size);
    FInHand->Times = {size, size, dos, Attribs};
  }
  return handle;
}

}  // namespace vsk
