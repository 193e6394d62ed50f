#include "archive/formats/ace/unace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "base/records/aceheader.h"
#include "libs/ace/acelib.h"
#include "platform/dynlib.h"
#include "base/paths.h"

namespace vsk {

namespace {

constexpr int kLibraryError = 25103;
constexpr int kUnknownError = 25355;
constexpr UInt32 kNormal = 0x20;

// The reader whose run is inside the library: the callbacks reach it here.
std::atomic<TUnACE*> Running{nullptr};

struct TAceEntryPoints {
  AceInitDllProc InitDll = nullptr;
  AceTestProc Test = nullptr;
  AceExtractProc Extract = nullptr;

  // All five must be there, though two are not called.
  bool Resolve(TLibHandle Lib) {
    InitDll = reinterpret_cast<AceInitDllProc>(GetProcAddress(Lib, "ACEInitDll"));
    Test = reinterpret_cast<AceTestProc>(GetProcAddress(Lib, "ACETest"));
    Extract = reinterpret_cast<AceExtractProc>(GetProcAddress(Lib, "ACEExtract"));
    return InitDll && Test && Extract && GetProcAddress(Lib, "ACEReadArchiveData") && GetProcAddress(Lib, "ACEList");
  }
};

bool FileExistsNoFollow(const std::string& Name) {
  struct stat st;
  return lstat(Name.c_str(), &st) == 0;
}

}  // namespace

// The library's four callbacks. Nothing may unwind through the library: a
// failure inside cancels the run.
struct TUnACECallback {
  template <int (TUnACE::*Handler)(AceCallbackRecord&)>
  static int Call(AceCallbackRecord* Record) {
    TUnACE* self = Running.load();
    if (self == nullptr || Record == nullptr) return ACE_CALLBACK_CANCEL;
    try {
      return (self->*Handler)(*Record);
    } catch (...) {
      *self->CancelRef() = true;
    }
    return ACE_CALLBACK_CANCEL;
  }
};

TUnACE::TUnACE() = default;

TUnACE::~TUnACE() = default;

void TUnACE::ExtractArchive() {
  TUnACE* idle = nullptr;
  if (!Running.compare_exchange_strong(idle, this)) {
    ReportError(ArchiveFile(), "Another ACE archive is being read", "0", kUnknownError);
    return;
  }
  struct TRelease {
    TUnACE& Self;
    ~TRelease() {
      Self.FHandle = -1;
      Self.FFile = TReaderEntry();
      Running.store(nullptr);
    }
  } release{*this};
  FNameBytes = 0;
  FFilesDone = 0;
  FVolumeName = ArchiveFile();
  FWanted = FDirectory = false;
  FErrorReported = false;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  ProgressEntryTotal = 0;

  TLibHandle lib = LoadLibraryQuiet("unacev2.so");
  TAceEntryPoints entry;
  if (lib == nullptr || !entry.Resolve(lib)) {
    FreeLibrary(lib);
    ReportError(ArchiveFile(), kLibraryError);
    return;
  }
  struct TFree {
    TLibHandle Lib;
    ~TFree() { FreeLibrary(Lib); }
  } freeLib{lib};

  FComment.assign(8192, '\0');
  FTempPath = TempDir();
  if (FTempPath.size() > 255) FTempPath.resize(255);
  AceGlobalData init{};
  init.Obj = this;
  init.MaxArchiveTestBytes = 0x1FFFF;
  init.MaxFileBufferSize = 0x2FFFF;
  init.Comment.Buffer = FComment.data();
  init.Comment.BufferSize = 8191;
  init.TempDir = FTempPath.c_str();
  init.InfoCallback = &TUnACECallback::Call<&TUnACE::Info>;
  init.ErrorCallback = &TUnACECallback::Call<&TUnACE::Error>;
  init.RequestCallback = &TUnACECallback::Call<&TUnACE::Request>;
  init.StateCallback = &TUnACECallback::Call<&TUnACE::State>;
  if (entry.InitDll(&init) != ACE_OK) {
    ReportError(ArchiveFile(), kLibraryError);
    return;
  }
  bool walked = false;
  try {
    walked = PrePass();
  } catch (const ECancelUnwind&) {
    throw;
  } catch (...) {
  }
  if (!walked) {
    if (!FErrorReported) ReportError(ArchiveFile(), kLibraryError);
    return;
  }
  if (!Testing()) NoteSetVolumes();

  static const char kEverything[] = "";
  if (!Testing()) {
    // No folder given: the archive's, as the output names have it.
    if (FExtractDir.empty()) SetExtractDir("");
    std::error_code ec;
    if (FExtractDir.empty()) FExtractDir = AppendSlash(std::filesystem::current_path(ec).string());
  }
  // The library decodes as it tests, also when extracting: the blocks it
  // hands over are written to each file's staged output, which its verdict
  // puts in place, so the library never writes by name.
  AceTestRecord test{};
  test.Files = {kEverything, kEverything, kEverything, -1};
  test.DecryptPassword = Password.c_str();
  const int result = entry.Test(FVolumeName.c_str(), &test);
  // A failure the callbacks did not report (a CRC failure has its verdict).
  if (result != ACE_OK && result != ACE_ERROR_CRC && result != ACE_ERROR_USER && !FErrorReported && !GetCancel())
    ReportError(ArchiveFile(), "result code " + std::to_string(result), "0", kUnknownError);
}

bool TUnACE::PrePass() {
  Byte err = 0;
  TFileStream32 file(FVolumeName, fmOpenRead | fmShareDenyNone, err);
  if (err != 0) {
    ReportError(FVolumeName, msg::ErrorOpeningFile);
    FErrorReported = true;
    return false;
  }
  const Int64 size = file.GetSize();
  const auto readAt = [&](Int64 Pos, Byte* Buffer, std::size_t Count) -> std::size_t {
    if (Pos < 0 || Pos >= size || file.Seek(Pos, soBeginning) != Pos) return 0;
    const Int32 n = file.Read(Buffer, static_cast<Int32>(Count));
    return n < 0 ? 0 : static_cast<std::size_t>(n);
  };
  Byte mainBytes[kAceMainFixedSize];
  TAceMainHeader main;
  if (!main.Parse(mainBytes, readAt(ArcOffset, mainBytes, sizeof mainBytes))) return false;

  PackedTotal = UnpackedTotal = 0;
  const bool collect = !Testing() && CreateStoredDirs && UseStoredDirs;
  std::set<std::string> folders;
  std::vector<Byte> header;
  for (Int64 pos = ArcOffset + main.Size(); pos < size && !GetCancel();) {
    Byte prefix[kAceHeadPrefix];
    if (readAt(pos, prefix, sizeof prefix) != sizeof prefix) break;
    // Every header holds at least its type and flags.
    const UInt16 headSize = static_cast<UInt16>(prefix[2] | prefix[3] << 8);
    if (headSize < 3) break;
    header.resize(kAceHeadPrefix + headSize);
    if (readAt(pos, header.data(), header.size()) != header.size()) break;
    TAceFileHeader h;
    if (header[4] != kAceTypeFile) {
      // Other headers carry their data size after the flags.
      UInt64 add = 0;
      const UInt16 flags = static_cast<UInt16>(header[5] | header[6] << 8);
      if ((flags & kAceFlagAddSize) && header.size() >= 11)
        add = header[7] | header[8] << 8 | header[9] << 16 | UInt64{header[10]} << 24;
      pos += static_cast<Int64>(header.size() + add);
      continue;
    }
    if (!h.ParseFixed(header.data(), header.size())) break;
    h.SetName(header.data() + kAceFileFixedSize, header.size() - kAceFileFixedSize);
    pos += h.Size() + static_cast<Int64>(h.PackedSize);
    if (h.Flags & kAceFlagSplitBefore) continue;
    const std::string name = OemToAnsiName(h.Name, TranslateOemChar);
    if (collect) folders.insert(h.IsDirectory() ? name : PathFolder(name));
    if (h.IsDirectory() || !IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs)) continue;
    PackedTotal += h.PackedSize;
    UnpackedTotal += h.OriginalSize;
    ProgressArchiveTotal += h.OriginalSize;
    ProgressBytesLeft += h.OriginalSize;
    NewestEntryDate = std::max(NewestEntryDate, h.DosDateTime);
  }
  for (const std::string& folder : folders) {
    if (folder.empty() || !PrepareFileName(folder)) continue;
    OutputName = CurrentFileName;
    CreateEntryFolder();
  }
  return true;
}

void TUnACE::NoteSetVolumes() {
  // The whole set, whichever volume was opened: its first volume, then the
  // numbered ones, those before the one opened even past a gap.
  NoteFirstVolume(FVolumeName, {".ace", ".exe"});
  for (int n = 0; n < kMaxVolumes; ++n) {
    std::string name = GetNextVolumeName(FVolumeName, n);
    if (name.empty()) break;
    if (FindVolumeAnyCase(name))
      NoteArchiveVolume(name);
    else if (n + 1 >= VolNum)
      break;
  }
}

int TUnACE::Info(AceCallbackRecord& R) {
  if (GetCancel()) return ACE_CALLBACK_CANCEL;
  if (R.Head.Code == ACE_INFO_FILE_DONE) {
    ++FFilesDone;
    return ACE_CALLBACK_OK;
  }
  return ACE_CALLBACK_SKIP;
}

int TUnACE::Error(AceCallbackRecord& R) {
  FErrorReported = true;
  const UInt32 code = R.Head.Code;
  std::string name = FVolumeName;
  if (R.Head.StructureType == ACE_TYPE_ARCHIVEDFILE && R.ArchivedFile.FileData && R.ArchivedFile.FileData->Name)
    name = R.ArchivedFile.FileData->Name;
  else if (R.Head.StructureType == ACE_TYPE_REALFILE && R.RealFile.FileName)
    name = R.RealFile.FileName;
  else if (R.Head.StructureType == ACE_TYPE_ARCHIVE && R.Archive.ArchiveData && R.Archive.ArchiveData->ArchiveName)
    name = R.Archive.ArchiveData->ArchiveName;

  // The errors of one file: it is reported, fails its verdict and the run
  // goes on with the next.
  // No password is ever handed over: a file the password did not open is
  // one that is encrypted.
  if (code == ACE_ERROR_CB_UNSUPPORTED) return FileFails(msg::UnsupportedMethod, name);
  if (code == ACE_ERROR_CB_PASSWORD) return FileFails(msg::EncryptedNotSupported, name);
  if (code == ACE_ERROR_CB_NAME) return FileFails(msg::InvalidFileName, name);
  int message = kUnknownError;
  switch (code) {
    case ACE_ERROR_CB_OPEN: message = msg::ErrorOpeningFile; break;
    case ACE_ERROR_CB_READ: message = msg::ErrorReadingFile; break;
    case ACE_ERROR_CB_WRITE: message = msg::ErrorWritingToFile; break;
    case ACE_ERROR_CB_BROKEN: message = msg::BadFileHeader; break;
    case ACE_ERROR_CB_VOLUME: message = 25135; break;
    default: break;
  }
  ReportError(name, message == kUnknownError ? "error code " + std::to_string(code) : "", "0", message);
  return ACE_CALLBACK_CANCEL;
}

int TUnACE::Request(AceCallbackRecord& R) {
  if (GetCancel()) return ACE_CALLBACK_CANCEL;
  if (R.Head.StructureType == ACE_TYPE_ARCHIVE && R.Head.Code == ACE_REQUEST_CHANGE_VOLUME) return ChangeVolume(R);
  if (R.Head.StructureType != ACE_TYPE_ARCHIVEDFILE) return ACE_CALLBACK_CANCEL;
  // Encrypted files are refused when they begin; one the header did not
  // mark is refused here, as nobody could give a password that works.
  if (R.Head.Code == ACE_REQUEST_PASSWORD) return FileFails(msg::EncryptedNotSupported, FVolumeName);
  if (R.Head.Code != ACE_REQUEST_FILE_EXISTS) return ACE_CALLBACK_CANCEL;
  // The overwrite question was asked when the file began.
  return FWanted && OverwriteMode == omOverwrite ? ACE_CALLBACK_OK : ACE_CALLBACK_SKIP;
}

int TUnACE::ChangeVolume(AceCallbackRecord& R) {
  if (!OnNextVolume) {
    ReportError(ArchiveFile(), "OnNextVolume", "0", msg::RequiredEventNotAssigned);
    FErrorReported = true;
    return ACE_CALLBACK_CANCEL;
  }
  AceCallbackVolume& v = R.Volume;
  if (v.NextVolume == nullptr || v.NextVolumeSize == 0) return ACE_CALLBACK_CANCEL;
  std::string next = GetNextVolumeName(FVolumeName, v.VolumeNumber - 1);
  if (next.empty()) next.assign(v.NextVolume, strnlen(v.NextVolume, v.NextVolumeSize));
  if (!OpenNextVolume(next, v.VolumeNumber)) {
    FErrorReported = true;
    return ACE_CALLBACK_CANCEL;
  }
  if (next.size() >= v.NextVolumeSize) {
    ReportError(next, msg::InvalidFileName);
    FErrorReported = true;
    return ACE_CALLBACK_CANCEL;
  }
  std::memcpy(v.NextVolume, next.c_str(), next.size() + 1);
  if (!FileExistsNoFollow(next)) return ACE_CALLBACK_SKIP;
  NoteArchiveVolume(next);
  return ACE_CALLBACK_OK;
}

int TUnACE::FileFails(int Message, const std::string& Name) {
  ReportError(FWanted ? OutputName : Name, Message);
  if (FWanted) {
    FWanted = false;
    FFile.End(false);
  }
  return GetCancel() ? ACE_CALLBACK_CANCEL : ACE_CALLBACK_SKIP;
}

int TUnACE::State(AceCallbackRecord& R) {
  if (GetCancel()) return ACE_CALLBACK_CANCEL;
  switch (R.Head.StructureType) {
    case ACE_TYPE_ARCHIVEDFILE:
      if (R.Head.Code == ACE_STATE_START_FILE) return FileBegins(R);
      break;
    case ACE_TYPE_PROGRESS: {
      const AceCallbackProgress& p = R.Progress;
      const double block = p.BlockSize;
      ProgressBytesLeft = std::max(0.0, ProgressBytesLeft - block);
      if (!FWanted) break;
      if (p.Block != nullptr && p.BlockSize > 0)
        DecryptWriteRoutine(FHandle, const_cast<Byte*>(p.Block), true, static_cast<Int32>(p.BlockSize), kCrc32,
                            nullptr, false);
      ProgressRoutine(static_cast<Int64>(p.FileProcessed));
      break;
    }
    case ACE_TYPE_CRCCHECK:
      if (R.CrcCheck.FileData != nullptr) FileDone(R.CrcCheck.CrcOk != 0, R.CrcCheck.FileData->Crc32);
      break;
    default:
      break;
  }
  return GetCancel() ? ACE_CALLBACK_CANCEL : ACE_CALLBACK_OK;
}

int TUnACE::FileBegins(AceCallbackRecord& R) {
  const AceFileData* file = R.ArchivedFile.FileData;
  FWanted = false;
  if (file == nullptr || file->Name == nullptr) return ACE_CALLBACK_SKIP;
  // Files are selected and named by their stored names (folders and all).
  const std::string name = OemToAnsiName(file->StoredName ? file->StoredName : file->Name, TranslateOemChar);
  FDirectory = (file->Attributes & 0x10) != 0;
  FAttributes = file->Attributes;
  FDosDateTime = file->Time;
  if (!IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs)) return ACE_CALLBACK_SKIP;
  FNameBytes += static_cast<Int64>(name.size()) + 1;

  if (FDirectory) {
    // Folders were made before the walk (below the destination, no links
    // followed) when stored folders are wanted; they get no verdict.
    return ACE_CALLBACK_SKIP;
  }
  TEntryInfo info;
  info.Name = name;
  info.UnpackedSize = static_cast<Int64>(file->Size);
  info.DosDateTime = file->Time;
  info.Encrypted = (file->Flags & ACE_FILE_PASSWORD) != 0;
  // The library cannot decrypt: nobody is asked for a password.
  if (info.Encrypted) info.RefusalCode = msg::EncryptedNotSupported;
  info.MethodSupported = file->Method == ACE_METHOD_STORED || file->Method == ACE_METHOD_LZ77;
  ProgressEntryTotal = info.UnpackedSize;
  FFile = StartEntry(info);
  if (!FFile) return ACE_CALLBACK_SKIP;
  Crc->Reset();
  ResetTranslation();
  FHandle = -1;
  if (!FFile.Open(FHandle)) {
    // Reported by the base; the library passes it over.
    FHandle = -1;
    SkipEntryData(info.UnpackedSize);
    FFile.End(false);
    return ACE_CALLBACK_SKIP;
  }
  FWanted = true;
  return ACE_CALLBACK_OK;
}

void TUnACE::FileDone(bool CrcOk, UInt32 StoredCrc) {
  if (!FWanted) return;
  FWanted = false;
  const int handle = FHandle;
  FHandle = -1;
  FFile.Close(handle, FDosDateTime, RestoreFileAttr ? FAttributes : kNormal);
  // The library's check, and ours over the blocks it handed over (ACE
  // stores the CRC register without its final inversion).
  FFile.End(CrcOk && FFile.Matches(kCrc32, StoredCrc));
}

}  // namespace vsk
