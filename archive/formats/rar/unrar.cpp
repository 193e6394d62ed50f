#include "archive/formats/rar/unrar.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "archive/core/selection.h"
#include "base/textcase.h"
#include "base/records/rarheader.h"
#include "archive/formats/rar/unrarentry.h"
#include "base/paths.h"

namespace vsk {

namespace {

constexpr int kRarNotFound = 25260;
constexpr int kUnknownError = 25355;
constexpr unsigned kCommentSize = 16384;

// The library stays loaded while any reader exists.
struct TBinding {
  std::mutex Lock;
  int Users = 0;
  TLibHandle Handle = nullptr;
  TRarEntryPoints Entry;
};

TBinding& Binding() {
  static TBinding binding;
  return binding;
}

// The reader whose run is inside the library: the callback reaches it here.
std::atomic<TUnRar*> Running{nullptr};

int MessageFor(int Code) {
  switch (Code) {
    case ERAR_END_ARCHIVE: return 25172;
    case ERAR_NO_MEMORY: return msg::OutOfMemory;
    case ERAR_BAD_DATA: return msg::BadBlock;
    case ERAR_BAD_ARCHIVE:
    case ERAR_UNKNOWN_FORMAT: return msg::UnsupportedArcType;
    case ERAR_EOPEN: return msg::ErrorOpeningFile;
    case ERAR_ECREATE:
    case ERAR_EWRITE: return msg::ErrorWritingToFile;
    case ERAR_ECLOSE: return 25138;
    case ERAR_EREAD: return msg::ErrorReadingFile;
    case ERAR_VOLUME_BROKEN: return 25135;
    // The library has no cipher: no password would have done.
    case ERAR_BAD_PASSWORD: return msg::EncryptedNotSupported;
    default: return kUnknownError;
  }
}

// The reason given for a split file whose header keeps no CRC-32.
constexpr const char* kNotChecked = "not checked";

// Results that concern one entry: the library goes on with the next.
bool EntryOnly(int Code) {
  return Code == ERAR_BAD_DATA || Code == ERAR_UNKNOWN_FORMAT || Code == ERAR_ECREATE || Code == ERAR_BAD_PASSWORD;
}

bool IsDirectoryEntry(const RARHeaderData& H) {
  if ((H.Flags & RHDF_DIRECTORY) == RHDF_DIRECTORY) return true;
  return H.HostOS == kRarHostUnix ? (H.FileAttr & 0xF000) == 0x4000 : (H.FileAttr & 0x10) != 0;
}

}  // namespace

// The library's callback: message 0 offers the next volume, 1 hands over
// decoded data, 2 asks for a password. Nothing may unwind through the
// library: a failure inside answers -1, which stops the entry.
struct TUnRarCallback {
  static int Call(unsigned Msg, intptr_t, intptr_t P1, intptr_t P2) {
    TUnRar* self = Running.load();
    if (self == nullptr || P2 < 0) return -1;
    try {
      switch (Msg) {
        case UCM_CHANGEVOLUME:
          return self->ChangeVolume(reinterpret_cast<char*>(P1), static_cast<std::size_t>(P2));
        case UCM_PROCESSDATA:
          return self->ProcessData(reinterpret_cast<const Byte*>(P1), static_cast<std::size_t>(P2));
        case UCM_NEEDPASSWORD:
          return self->NeedPassword(reinterpret_cast<char*>(P1), static_cast<std::size_t>(P2));
        default:
          return 0;
      }
    } catch (...) {
      *self->CancelRef() = true;
    }
    return -1;
  }
};

TUnRar::TUnRar() {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  if (b.Users++ == 0) {
    b.Handle = LoadLibraryQuiet("unrar3.so");
    if (!b.Entry.Resolve(b.Handle)) {
      FreeLibrary(b.Handle);
      b.Handle = nullptr;
    }
  }
}

TUnRar::~TUnRar() {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  if (--b.Users == 0) {
    FreeLibrary(b.Handle);
    b.Handle = nullptr;
    b.Entry = {};
  }
}

bool TUnRar::Bound() {
  TBinding& b = Binding();
  std::lock_guard<std::mutex> lock(b.Lock);
  return b.Entry.OpenArchive != nullptr;
}

bool TUnRar::LibraryPresent() {
  const TUnRar probe;
  return Bound();
}

void TUnRar::ExtractArchive() {
  FVolumeName = ArchiveFile();
  if (!Bound()) RaiseError(FVolumeName, "", "0", kRarNotFound);
  TUnRar* idle = nullptr;
  if (!Running.compare_exchange_strong(idle, this)) {
    ReportError(ArchiveFile(), "Another RAR archive is being read", "0", kUnknownError);
    return;
  }
  struct TRelease {
    ~TRelease() { Running.store(nullptr); }
  } release;
  Drive();
}

bool TUnRar::ReportResult(int Code, const std::string& Name, const std::string& Extended) {
  if (Code == ERAR_SUCCESS) return false;
  if (GetCancel()) return true;  // the cancel was reported when it was set
  const int message = MessageFor(Code);
  ReportError(Name, message == kUnknownError ? "result code " + std::to_string(Code) : Extended, "0", message);
  return true;
}

void TUnRar::Drive() {
  const TRarEntryPoints& lib = Binding().Entry;
  FSelectedCount = 0;
  FDone = 0;
  FByteTotal = 0;
  FWalkWhole = false;
  FFolders.clear();
  FLastPartCrc.clear();
  PackedTotal = UnpackedTotal = 0;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  VolNum = 0;
  PrePass(FVolumeName, ArcOffset, true);
  if (!Testing()) NoteSetVolumes();

  std::vector<char> comment(kCommentSize);
  RAROpenArchiveData open{};
  open.ArcName = FVolumeName.c_str();
  open.OpenMode = RAR_OM_EXTRACT;
  open.CmtBuf = comment.data();
  open.CmtBufSize = kCommentSize;
  RARHANDLE handle = lib.OpenArchive(&open);
  if (handle == nullptr || open.OpenResult != ERAR_SUCCESS) {
    if (handle != nullptr) lib.CloseArchive(handle);
    const int code = open.OpenResult != ERAR_SUCCESS ? static_cast<int>(open.OpenResult) : ERAR_BAD_ARCHIVE;
    const int message = MessageFor(code);
    RaiseError(ArchiveFile(), message == kUnknownError ? "result code " + std::to_string(code) : "", "0", message);
  }
  struct TClose {
    const TRarEntryPoints& Lib;
    RARHANDLE Handle;
    ~TClose() { Lib.CloseArchive(Handle); }
  } close{lib, handle};
  int work = 0;
  lib.SetCallback(handle, &TUnRarCallback::Call, reinterpret_cast<intptr_t>(&work));

  auto header = std::make_unique<RARHeaderData>();
  std::vector<char> entryComment(kCommentSize);
  header->CmtBuf = entryComment.data();
  header->CmtBufSize = kCommentSize;
  int result = lib.ReadHeader(handle, header.get());
  if (result != ERAR_SUCCESS) {
    ReportError(ArchiveFile(), result == ERAR_END_ARCHIVE ? "" : "result code " + std::to_string(result), "0",
                msg::BadFileHeader);
    return;
  }
  while (!GetCancel()) {
    ProcessEntry(handle, *header);
    if (GetCancel() || FStop) break;
    result = lib.ReadHeader(handle, header.get());
    if (result != ERAR_SUCCESS) {
      // The end of the archive is the only quiet end.
      if (result != ERAR_END_ARCHIVE) ReportResult(result, FVolumeName);
      break;
    }
    // Every selected file is done: the rest is not read (only when the
    // walk read every volume so far to its end, so it missed no file).
    if (FWalkWhole && FDone >= FSelectedCount) break;
  }
}

void TUnRar::NoteSetVolumes() {
  // The volumes before the one opened, from the set's first on (each name
  // that exists), then the later ones up to the first missing.
  std::string name = FirstRarVolumeName(FVolumeName);
  for (int i = 1; i < kMaxVolumes && !SameTextAscii(name, FVolumeName); ++i) {
    std::string found = name;
    if (FindVolumeAnyCase(found)) NoteArchiveVolume(found);
    name = NextRarVolumeName(name);
  }
  name = FVolumeName;
  for (int i = 1; i < kMaxVolumes; ++i) {
    name = NextRarVolumeName(name);
    if (!FindVolumeAnyCase(name)) break;
    NoteArchiveVolume(name);
  }
}

void TUnRar::ProcessEntry(void* Handle, const RARHeaderData& Header) {
  const TRarEntryPoints& lib = Binding().Entry;
  FStop = false;
  FWanted = false;
  FEntryLeft = static_cast<Int64>(Header.UnpSize);
  ProgressEntryTotal = FEntryLeft;
  const std::string name = OemToAnsiName(std::string(Header.FileName, strnlen(Header.FileName, sizeof Header.FileName)),
                                         TranslateOemChar);
  const bool directory = IsDirectoryEntry(Header);
  const auto finish = [&](int Result, const std::string& Name) {
    if (ReportResult(Result, Name) && !EntryOnly(Result)) FStop = true;
  };

  // An entry that is not taken is passed over, never decoded: an encrypted
  // one would fail.
  const auto skip = [&] { finish(lib.ProcessFile(Handle, RAR_SKIP, nullptr, nullptr), name); };
  if (!IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs)) return skip();
  if (directory) {
    if (!Testing() && PrepareFileName(name)) {
      OutputName = CurrentFileName;
      CreateEntryFolder();
    }
    return skip();
  }

  TEntryInfo info;
  info.Name = name;
  info.UnpackedSize = FEntryLeft;
  info.DosDateTime = Header.FileTime;
  info.Encrypted = (Header.Flags & RHDF_ENCRYPTED) != 0;
  // The library cannot decrypt: an encrypted entry is refused before any
  // password is asked or any output touched.
  if (info.Encrypted) info.RefusalCode = msg::EncryptedNotSupported;
  // Links are never made: a link entry is refused rather than written.
  if (Header.RedirType != RAR_REDIR_NONE)
    RefuseLink(info, Header.RedirName, Header.RedirType == RAR_REDIR_HARDLINK ? kHardLinkReason : kSymbolicLinkReason);
  TReaderEntry entry = StartEntry(info);
  if (!entry) return skip();
  ++FDone;

  Crc->Reset();
  // The library tests, handing the data over; they are written here, to
  // the staged output (an unnamed file where the kernel allows it), so a
  // full disk or a failed write is met like in every other reader.
  FSink = -1;
  if (!entry.Open(FSink)) return skip();  // reported, and not counted
  FWanted = true;
  FPending = nullptr;
  const int result = lib.ProcessFile(Handle, RAR_TEST, nullptr, nullptr);
  FWanted = false;
  const int sink = FSink;
  FSink = -1;
  if (FPending) {
    // A failed write was reported where it was raised; a full disk ends
    // the run, another failure this entry.
    const std::exception_ptr pending = FPending;
    FPending = nullptr;
    try {
      std::rethrow_exception(pending);
    } catch (const EVskError& e) {
      if (e.Code == msg::DiskFull) throw;
    }
    entry.End(false);
    return;
  }
  if (result == ERAR_SUCCESS && !GetCancel()) {
    const UInt32 attributes = Header.HostOS == kRarHostUnix ? 0x20 : Header.FileAttr;
    entry.Close(sink, Header.FileTime, attributes);
  }

  if (result != ERAR_SUCCESS || GetCancel()) {
    entry.End(false);
  } else if ((Header.Flags & RHDF_SPLITAFTER) && Header.HashType != RAR_HASH_CRC32) {
    // Only another hash is stored for the whole file: it was not checked,
    // which is no pass.
    EntryOutcomeReason = kNotChecked;
    entry.End(false);
  } else {
    // The library checked a split file against its last part; the CRC of
    // the whole file is known here only from the headers walked.
    UInt32 stored = Header.FileCRC;
    if (Header.Flags & RHDF_SPLITAFTER) {
      const auto last = FLastPartCrc.find(name);
      stored = last != FLastPartCrc.end() ? last->second : Crc->Crc32;
    }
    entry.Check(kCrc32, stored);
  }
  finish(result, OutputName);
}

int TUnRar::ProcessData(const Byte* Data, std::size_t Count) {
  if (GetCancel()) return -1;
  if (!FWanted) return 0;
  try {
    for (std::size_t done = 0; done < Count;) {
      const Int32 n = static_cast<Int32>(std::min<std::size_t>(Count - done, 1u << 30));
      DecryptWriteRoutine(FSink, const_cast<Byte*>(Data + done), true, n, kCrc32, nullptr, false);
      done += static_cast<std::size_t>(n);
    }
  } catch (const EVskError&) {
    // Kept for the entry: nothing may unwind through the library.
    FPending = std::current_exception();
    return -1;
  }
  FEntryLeft -= static_cast<Int64>(Count);
  ProgressBytesLeft = std::max(0.0, ProgressBytesLeft - static_cast<double>(Count));
  ProgressRoutine(ProgressEntryTotal - FEntryLeft);
  return GetCancel() ? -1 : 0;
}

int TUnRar::ChangeVolume(char* Name, std::size_t Size) {
  if (Size == 0) return -1;
  std::string next(Name, strnlen(Name, Size));
  if (!OpenNextVolume(next, VolNum + 1)) {
    if (!GetCancel()) SetCancel(true);
    return -1;
  }
  if (next.size() >= Size) {
    ReportError(next, msg::InvalidFileName);
    SetCancel(true);
    return -1;
  }
  std::memcpy(Name, next.c_str(), next.size() + 1);
  FVolumeName = next;
  NoteArchiveVolume(next);
  PrePass(next, 0, false);
  return 0;
}

// Encrypted entries are refused before the library sees them; should it
// find one all the same, nobody is asked for a password it cannot use: the
// entry then fails with the library's result.
int TUnRar::NeedPassword(char* Buffer, std::size_t Size) {
  if (Size == 0) return -1;
  Buffer[0] = '\0';
  return 0;
}

void TUnRar::PrePass(const std::string& Volume, Int64 Start, bool First) {
  Byte err = 0;
  TFileStream32 file(Volume, fmOpenRead | fmShareDenyNone, err);
  if (err != 0) RaiseError(Volume, "", "0", msg::ErrorOpeningFile);
  const Int64 size = file.GetSize();
  const auto readAt = [&](Int64 Pos, Byte* Buffer, Int32 Count) -> std::size_t {
    if (Pos < 0 || Pos >= size || file.Seek(Pos, soBeginning) != Pos) return 0;
    const Int32 n = file.Read(Buffer, Count);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
  };

  // Only RAR 1.5-4.x volumes are walked; for others (RAR5) the library's
  // headers alone drive the run.
  Byte start[kRarMarkerSize + kRarMainHeaderSize];
  TRarBlockHead main;
  const bool known = readAt(Start, start, sizeof start) == sizeof start &&
                     std::memcmp(start, kRarMarker, kRarMarkerSize) == 0 &&
                     main.Parse(start + kRarMarkerSize, kRarMainHeaderSize);
  if (First) FWalkWhole = known;
  if (!known) {
    FWalkWhole = false;
    return;
  }
  const bool collect = !Testing() && CreateStoredDirs && UseStoredDirs;
  std::set<std::string> folders;
  std::vector<Byte> head;
  Int64 pos = Start + static_cast<Int64>(kRarMarkerSize) + main.Size;
  bool whole = false;
  for (;;) {
    if (pos >= size) {
      whole = true;
      break;
    }
    if (GetCancel()) break;
    Byte fixed[kRarHeadSize + 4];
    TRarBlockHead block;
    if (!block.Parse(fixed, readAt(pos, fixed, sizeof fixed))) break;
    if (block.Type == kRarBlockEnd) {
      whole = true;
      break;
    }
    if (block.Type == kRarBlockComment) {
      pos += block.Size;
      continue;
    }
    if (!block.IsLong()) break;
    if (block.Type != kRarBlockFile || (block.Flags & kRarFlagSkipIfUnknown)) {
      pos += static_cast<Int64>(block.Size) + block.AddSize;
      continue;
    }
    head.resize(block.Size);
    TRarFileHeader h;
    if (!h.Parse(head.data(), readAt(pos, head.data(), block.Size))) break;
    pos += static_cast<Int64>(block.Size) + static_cast<Int64>(std::min<UInt64>(h.PackedSize, UInt64{1} << 62));

    const bool unicode = (h.Head.Flags & kRarFileUnicode) != 0;
    const std::string stored =
        DecodeRarName(reinterpret_cast<const Byte*>(h.Name.data()), h.Name.size(), unicode);
    const std::string name = OemToAnsiName(stored, TranslateOemChar && !unicode);
    if (h.IsDirectory()) {
      if (collect) folders.insert(name);
      continue;
    }
    if (collect && !PathFolder(name).empty()) folders.insert(PathFolder(name));
    if (!IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs)) continue;
    if (h.Head.Flags & kRarFileSplitBefore) {
      FLastPartCrc[name] = h.FileCrc;
      continue;
    }
    ++FSelectedCount;
    const double unpacked = static_cast<double>(h.UnpackedSize);
    FByteTotal += unpacked;
    PackedTotal += static_cast<double>(h.PackedSize);
    UnpackedTotal += unpacked;
    ProgressArchiveTotal += unpacked;
    ProgressBytesLeft += unpacked;
    NewestEntryDate = std::max(NewestEntryDate, h.DosDateTime);
  }

  if (!whole) FWalkWhole = false;

  // Folders go through the name guard like any output; the entry in work
  // (a volume change comes in the middle of one) keeps its names.
  const std::string output = OutputName, current = CurrentFileName;
  for (const std::string& folder : folders) {
    if (!FFolders.insert(folder).second) continue;
    if (!PrepareFileName(folder)) continue;
    OutputName = CurrentFileName;
    CreateEntryFolder();
  }
  OutputName = output;
  CurrentFileName = current;
}

}  // namespace vsk
