#include "archive/core/unbase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <vector>

#include "base/dates.h"
#include "base/paths.h"
#include "base/tempstream.h"
#include "archive/core/arctype.h"
#include "archive/core/diskmanager.h"
#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "base/pump.h"
#include "base/textcase.h"

namespace vsk {

TUnBase::TUnBase() { RecurseDirs = true; }

TUnBase::~TUnBase() = default;

int TUnBase::Extract() { return Run(kActionExtract); }

int TUnBase::TestArchive() { return Run(kActionTest); }

bool TUnBase::OpensOwnArchive() const { return ArcTypeRow(ArcType()).OpensOwnArchive; }

int TUnBase::Run(Byte RunAction) {
  *CancelRef() = false;
  Action = RunAction;
  FilesProcessed = 0;
  EntryEncrypted = PasswordFailed = false;
  NewestEntryDate = 0;
  PackedTotal = UnpackedTotal = 0;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  ProgressEntryTotal = 0;
  ExcludeSpec.clear();
  FArchiveIds.clear();
  FEntry = nullptr;
  FWritten = 0;
  FDiskFull = false;
  EntryOutcome = eoPending;
  EntryOutcomeReason.clear();
  FWalk.Close();
  if (CpuType == cpt80486) CpuType = cptAuto;
  const std::string saved = ArchiveFile();

  // A test run decodes through a routine that writes nothing and counts the
  // whole block as written.
  const TWriteRoutine ownWrite = DecryptWriteRoutine;
  if (Testing()) {
    DecryptWriteRoutine = [this](int, void* Buffer, bool IsData, Int32 Count, int CrcKind, TStream32*,
                                 bool CryptFlag) {
      if (CryptFlag && IsData && Count > 0) DecodeBlock(true, Buffer, Count);
      if (IsData && Count > 0) Crc->Update(CrcKind, Buffer, static_cast<std::size_t>(Count));
      return Count;
    };
  }
  InputMode = kIoGivenStream;
  OutputMode = Testing() ? kIoTest : kIoHandle;

  TRunScope run(*this);
  try {
    if (ArchiveFile().empty()) RaiseError(ArchiveFile(), "", "0", msg::FileNotFound);
    if (DiskManager->PrepareDrive(FolderOrDot(ArchiveFile()), 0, false)) {
      run.Activate();
      bool open = true;
      if (!OpensOwnArchive()) {
        Byte err = 0;
        auto s = std::make_unique<TFileStream32>(ArchiveFile(), fmOpenRead | fmShareDenyNone, err);
        if (err != 0) {
          ReportError(ArchiveFile(), msg::ErrorOpeningFile);
          open = false;
        } else {
          struct stat st;
          if (fstat(s->Handle(), &st) == 0) FArchiveIds.emplace_back(st.st_dev, st.st_ino);
          ArchiveStream = std::move(s);
        }
      } else {
        // Its library opens the archive, yet no output may replace it.
        NoteArchiveVolume(ArchiveFile());
      }
      if (open) {
        Password.clear();
        CurrentFileName.clear();
        // The time the run reports is that of the entries.
        Timer.Start();
        if (!TranslatesText()) AsciiTranslation = false;
        ExtractArchive();
      }
    }
  } catch (...) {
    // The caller learns of failures through OnError and the count.
  }
  try {
    // An entry the run was cut off in (its reader kept it) leaves nothing,
    // and gets its verdict.
    if (FEntry) FEntry->Abandon();
  } catch (...) {
  }
  FilesProcessed = FDiskFull ? 0 : FWritten;
  run.End();
  DecryptWriteRoutine = ownWrite;
  FArchiveFile = saved;
  ArchiveStream.reset();
  FArchiveIds.clear();
  FWalk.Close();
  return FilesProcessed;
}

TReaderEntry& TReaderEntry::operator=(TReaderEntry&& Other) noexcept {
  if (this == &Other) return *this;
  try {
    Abandon();
  } catch (...) {
  }
  FBase = Other.FBase;
  FDirectory = Other.FDirectory;
  FOutput = std::move(Other.FOutput);
  FPartsPass = Other.FPartsPass;
  FWriteFailed = Other.FWriteFailed;
  FUnixMode = Other.FUnixMode;
  FStagedCalls = Other.FStagedCalls;
  FDatedHandle = Other.FDatedHandle;
  FDatedAs = Other.FDatedAs;
  Other.FBase = nullptr;
  Other.FOutput.reset();
  if (FBase && FBase->FEntry == &Other) FBase->FEntry = this;
  return *this;
}

TReaderEntry::~TReaderEntry() {
  if (!FBase) return;
  // Forgotten, or an error cuts the run off: the entry fails, and nothing
  // of it is left. Its OnEnd comes after the error that ended it.
  try {
    Abandon();
  } catch (...) {
  }
  FBase = nullptr;
}

bool TReaderEntry::Open(int& Handle) { return FBase ? FBase->OpenSink(*this, Handle) : (Handle = -1, false); }

bool TReaderEntry::Adopt(int& Handle, int& File, bool Dated, UInt32 DosDateTime) {
  Handle = -1;
  return FBase && FBase->AdoptSink(*this, Handle, File, Dated, DosDateTime);
}

void TReaderEntry::Close(int Handle, UInt32 DosDateTime, UInt32 Attributes) {
  if (FBase) FBase->CloseSink(*this, Handle, DosDateTime, Attributes);
}

bool TReaderEntry::Matches(Byte Kind, UInt32 StoredCrc) const {
  if (!FBase) return false;
  const UInt32 reg = Kind == kCrc16 ? FBase->Crc->Crc16 : FBase->Crc->Crc32;
  return StoredCrc == reg || StoredCrc == (reg ^ 0xFFFFFFFFu);
}

bool TReaderEntry::End(bool Pass, bool ReportFailure) {
  if (!FBase) return false;
  return FBase->EndEntry(*this, Pass, ReportFailure);
}

void TReaderEntry::Fail(TEntryOutcome Outcome) {
  if (!FBase) return;
  FOutput.reset();
  FBase->EntryOutcome = Outcome;
  FBase->EndEntry(*this, false, true);
}

void TReaderEntry::Abandon() {
  if (!FBase) return;
  if (FDirectory) {
    // A folder has no verdict of its own to give.
    if (FBase->FEntry == this) FBase->FEntry = nullptr;
    FBase = nullptr;
    return;
  }
  const TEntryOutcome now = FBase->EntryOutcome;
  Fail(now != eoPending && now != eoWritten ? now : FBase->GetCancel() ? eoCancelled : eoCannotWrite);
}

TReaderEntry TUnBase::StartEntry(const TEntryInfo& Info) {
  // An entry its reader still holds (a split file whose rest did not come)
  // ends before the next begins.
  if (FEntry) FEntry->Abandon();
  FLookedUp.Valid = false;
  EntryOutcome = eoPending;
  EntryOutcomeReason.clear();
  EntryName = Info.Name;
  EntryEncrypted = Info.Encrypted;
  EntryUnpackedSize = Info.UnpackedSize;
  EntryDosDateTime = Info.DosDateTime;
  if (Testing()) {
    OutputName = EntryName;
  } else {
    if (!PrepareFileName(EntryName)) {
      EntryOutcome = eoRefusedName;
      SkipEntryData(Info.UnpackedSize);
      return {};
    }
    OutputName = CurrentFileName;
  }
  if (Info.RefusalCode != 0) {
    EntryOutcome = Info.LinkReason                                 ? eoRefusedLink
                   : Info.RefusalCode == msg::EncryptedNotSupported ? eoEncrypted
                   : Info.RefusalCode == msg::SameInputOutput    ? eoRefusedVolume
                                                                  : eoRefusedName;
    if (Info.LinkReason) EntryOutcomeReason = Info.LinkReason;
    ReportError(OutputName, Info.RefusalDetail, "0", Info.RefusalCode);
    SkipEntryData(Info.UnpackedSize);
    return {};
  }
  TReaderEntry entry;
  entry.FBase = this;
  entry.FDirectory = Info.Directory;
  entry.FUnixMode = Info.UnixMode & 0777;
  FEntry = &entry;
  if (!BeginEntry(Info.Directory)) {
    FEntry = nullptr;
    entry.FBase = nullptr;
    if (EntryOutcome == eoPending) EntryOutcome = GetCancel() ? eoCancelled : eoSkipped;
    SkipEntryData(Info.UnpackedSize);
    // An output refused after OnBegin gets its verdict, as it would when
    // the refusal came at its opening.
    if (EntryOutcome == eoRefusedName || EntryOutcome == eoRefusedVolume || EntryOutcome == eoCannotWrite)
      FireEnd(false, false);
    return {};
  }
  if (!Info.MethodSupported && !Info.Directory) {
    // Known before any output exists: nothing is created for the entry (an
    // existing file of its name stays), and the entries after it still come.
    EntryOutcome = eoUnsupported;
    ReportError(Info.UnsupportedFile.empty() ? OutputName : Info.UnsupportedFile, Info.UnsupportedCode);
    SkipEntryData(Info.UnpackedSize);
    entry.Fail(eoUnsupported);
    return {};
  }
  return entry;
}

void TUnBase::RefuseLink(TEntryInfo& Info, const std::string& Target, const char* Reason) const {
  if (Testing()) return;
  Info.RefusalCode = msg::UnknownFileType;
  Info.RefusalDetail = Target.empty() ? std::string(Reason) : std::string(Reason) + " to " + Target;
  Info.LinkReason = Reason;
}

void TUnBase::ReportError(const std::string& FileName, const std::string& ExtendedMsg, const std::string& VolumeID,
                          int ECode) {
  const int error = errno;
  if (ECode == msg::DiskFull) FDiskFull = true;
  if (FEntry && FEntry->FOutput && (ECode == msg::ErrorWritingToFile || ECode == msg::DiskFull)) {
    // A write of the output failed: the entry leaves nothing.
    FEntry->FWriteFailed = true;
    EntryOutcome = eoCannotWrite;
    if (EntryOutcomeReason.empty() && error != 0) EntryOutcomeReason = std::strerror(error);
  }
  TZipCommon::ReportError(FileName, ExtendedMsg, VolumeID, ECode);
}

void TUnBase::CannotWrite(int Error, int Code) {
  EntryOutcome = eoCannotWrite;
  EntryOutcomeReason = Error != 0 ? std::strerror(Error) : std::string();
  ReportError(OutputName, Code);
}

bool TUnBase::RefusesTarget(int Folder, const std::string& Leaf, bool& Exists) {
  struct stat st;
  Exists = fstatat(Folder, Leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!Exists) return false;
  if (IsArchiveFile(st.st_dev, st.st_ino)) {
    EntryOutcome = eoRefusedVolume;
    ReportError(OutputName, msg::SameInputOutput);
    return true;
  }
  if (!S_ISREG(st.st_mode)) {
    // A link, a folder or a device at the name: nothing is made there.
    EntryOutcome = eoRefusedName;
    ReportError(OutputName, msg::ErrorOpeningFile);
    return true;
  }
  if (ReadOnlyUnasked(st)) {
    CannotWrite(EACCES, msg::ErrorOpeningFile);
    return true;
  }
  return false;
}

bool TUnBase::ReadOnlyUnasked(const struct stat& St) const {
  // Decided by the mode bits, not by access(): the owner's write bit is
  // the read-only attribute, and root may write anything.
  return !ConfirmOverwrites && S_ISREG(St.st_mode) && (St.st_mode & S_IWUSR) == 0;
}

bool TUnBase::PlaceOutput(TReaderEntry& Entry, bool Pass) {
  if (!Entry.FOutput) return Pass;
  const std::unique_ptr<TEntryOutput> out = std::move(Entry.FOutput);
  if (GetCancel()) {
    // A cancelled entry leaves nothing: an existing file stays as it was.
    EntryOutcome = eoCancelled;
    return false;
  }
  if (Entry.FWriteFailed) {
    EntryOutcome = eoCannotWrite;
    return false;
  }
  // The folder it was staged in must still be the one the output's path
  // leads to: one moved away or swapped for a link meanwhile (by code that
  // ran outside the library since) gets nothing.
  if (BelowExtractDir(OutputName) && OutsideCalls() != Entry.FStagedCalls) {
    std::string leaf;
    const auto now = WalkToOutputFolder(OutputName, leaf, false) < 0 ? nullptr : FWalk.Last();
    if (!now || now->Dev != out->FolderHandle().Dev || now->Ino != out->FolderHandle().Ino) {
      EntryOutcome = eoRefusedName;
      ReportError(OutputName, msg::ErrorOpeningFile);
      return false;
    }
  }
  // A free name takes the output at once (a damaged one too, for salvage).
  // Else what stands there now is looked at again: a volume noted or a
  // link made meanwhile refuses the output still, and a damaged entry never
  // replaces a file.
  bool placed = out->Place(false);
  if (!placed && errno == EEXIST) {
    bool exists = false;
    if (RefusesTarget(out->Folder(), out->Leaf(), exists)) return false;
    if (!Pass) {
      EntryOutcome = eoFailedCheck;
      return false;
    }
    placed = out->Place(true);
  }
  if (!placed) {
    CannotWrite(errno, msg::ErrorWritingToFile);
    return false;
  }
  if (!out->CloseHandle()) ReportError(OutputName, msg::ErrorClosingFile);
  EntryOutcome = Pass ? eoWritten : eoFailedCheck;
  return Pass;
}

bool TUnBase::EndEntry(TReaderEntry& Entry, bool Pass, bool ReportFailure) {
  if (FEntry == &Entry) FEntry = nullptr;
  Entry.FBase = nullptr;
  // A file split over volumes is judged by all of its parts.
  Pass = Pass && Entry.FPartsPass && !GetCancel();
  const bool hadOutput = Entry.FOutput != nullptr;
  Pass = PlaceOutput(Entry, Pass) && Pass;
  if (EntryOutcome == eoPending || (EntryOutcome == eoWritten && !Pass)) {
    EntryOutcome = Pass                                ? eoWritten
                   : GetCancel()                       ? eoCancelled
                   : EntryEncrypted && PasswordFailed  ? eoEncrypted
                                                       : eoFailedCheck;
  }
  // Only what was written (or, testing, decoded and passed) counts.
  if (Pass && !Entry.FDirectory && (Testing() || hadOutput)) FilesProcessed = ++FWritten;
  FireEnd(Pass, ReportFailure);
  return Pass;
}

void TUnBase::FireEnd(bool Pass, bool ReportFailure) {
  // An output refused or not made was reported as such already.
  const bool reported = EntryOutcome == eoRefusedName || EntryOutcome == eoRefusedVolume ||
                        EntryOutcome == eoCannotWrite;
  if (OnEnd)
    Fire(OnEnd, OutputName, Pass);
  else if (!Pass && ReportFailure && !reported)
    ReportError(OutputName, msg::CrcFailed);
}

bool TUnBase::BeginEntry(bool IsDirectory) {
  if (IsDirectory) return true;
  TTimerPause pause(Timer);
  bool extract = true;
  FilesProcessed = FWritten;
  Fire(OnBegin, Testing() ? EntryName : OutputName, static_cast<int>(FilesProcessed), extract);
  if (GetCancel() || !extract) return false;
  if (Testing()) return true;
  if (!ConfirmOverwrites) return OverwriteMode == omOverwrite && !RefusesArchiveOutput();
  OverwriteMode = omOverwrite;
  // Looked at through the walked folders: a name behind a link on the way
  // is outside the destination, neither asked about nor touched (its output
  // is refused when it opens).
  struct stat st;
  if (LookUpOutput(st, false) == 0) {
    if (!OnFileExists) {
      ReportError(OutputName, "OnFileExists", "0", msg::RequiredEventNotAssigned);
      OverwriteMode = omSkip;
    } else {
      for (;;) {
        std::string newName;
        Fire(OnFileExists, OutputName, newName, OverwriteMode);
        if (GetCancel() || OverwriteMode == omSkip) break;
        if (newName.empty() || SameTextAscii(newName, OutputName)) break;
        OutputName = newName;
        if (LookUpOutput(st, false) != 0) break;
      }
    }
    if (!GetCancel() && OverwriteMode == omOverwrite && RefusesArchiveOutput()) return false;
    // A folder at the name cannot be replaced. A read-only file is left as
    // it is: the output replaces it by a rename once it has passed.
    if (!GetCancel() && OverwriteMode == omOverwrite && LookUpOutput(st, false) == 0 && S_ISDIR(st.st_mode)) {
      EntryOutcome = eoCannotWrite;
      ReportError(OutputName, msg::ErrorWritingToFile);
      return false;
    }
  }
  return !GetCancel() && OverwriteMode == omOverwrite && !OutputName.empty();
}

void TUnBase::NoteArchiveVolume(const std::string& Name) {
  struct stat st;
  if (stat(Name.c_str(), &st) == 0 && !IsArchiveFile(st.st_dev, st.st_ino))
    FArchiveIds.emplace_back(st.st_dev, st.st_ino);
}

void TUnBase::NoteFirstVolume(const std::string& Opened, std::initializer_list<const char*> Exts) {
  const auto slash = Opened.rfind('/');
  const auto dot = Opened.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return;
  // Only a numbered volume (".a03", ".c02") has a first volume of another name.
  const std::string ext = Opened.substr(dot + 1);
  const std::size_t letter = !ext.empty() && std::isalpha(static_cast<unsigned char>(ext[0])) ? 1 : 0;
  if (ext.size() < letter + 2 || ext.find_first_not_of("0123456789", letter) != std::string::npos) return;
  const std::string stem = Opened.substr(0, dot);
  for (const char* first : Exts) {
    std::string name = stem + first;
    if (FindVolumeAnyCase(name)) NoteArchiveVolume(name);
  }
}

bool TUnBase::IsArchiveFile(UInt64 Dev, UInt64 Ino) const {
  const auto id = std::make_pair(Dev, Ino);
  return std::find(FArchiveIds.begin(), FArchiveIds.end(), id) != FArchiveIds.end() ||
         std::find(FOuterIds.begin(), FOuterIds.end(), id) != FOuterIds.end();
}

void TUnBase::ProtectOuterFiles(const TUnBase& Outer) {
  FOuterIds = Outer.FOuterIds;
  FOuterIds.insert(FOuterIds.end(), Outer.FArchiveIds.begin(), Outer.FArchiveIds.end());
}

bool TUnBase::RefusesArchiveOutput() {
  struct stat st;
  if (LookUpOutput(st, true) != 0 || !IsArchiveFile(st.st_dev, st.st_ino)) return false;
  EntryOutcome = eoRefusedVolume;
  ReportError(OutputName, msg::SameInputOutput);
  return true;
}

unsigned long TUnBase::OutsideCalls() const { return HandlerCalls + PumpCalls(); }

bool TUnBase::BelowExtractDir(const std::string& Path) const {
  const std::string& root = FExtractDir;
  return !root.empty() && Path.size() > root.size() && Path.compare(0, root.size(), root) == 0;
}

// The folders from ExtractDir down to the output are entered (and made where
// missing) refusing every symbolic link on the way, so a link planted by an
// earlier entry cannot carry the output out of the destination.
int TUnBase::WalkToOutputFolder(const std::string& Path, std::string& Leaf, bool Create) {
  const std::string& root = FExtractDir;
  auto parts = PathParts(std::string_view(Path).substr(root.size()));
  if (parts.empty()) {
    errno = ENOENT;
    return -1;
  }
  Leaf = std::string(parts.back());
  parts.pop_back();
  return FWalk.Open(root, parts, Create, OutsideCalls());
}

int TUnBase::StatOutput(struct stat& St, bool Follow) {
  if (BelowExtractDir(OutputName)) {
    std::string leaf;
    const int dir = WalkToOutputFolder(OutputName, leaf, false);
    if (dir >= 0) return fstatat(dir, leaf.c_str(), &St, Follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    // A folder on the way is missing, a link or no folder: nothing below
    // the destination is there, and what lies outside is not looked at.
    return errno != 0 ? errno : ENOENT;
  }
  // A name the user chose: the path as it resolves.
  return (Follow ? ::stat(OutputName.c_str(), &St) : ::lstat(OutputName.c_str(), &St)) == 0 ? 0 : errno;
}

int TUnBase::LookUpOutput(struct stat& St, bool Follow) {
  // What lstat found serves stat as well, unless it found a link; and it
  // serves the next lstat of the same name while nothing could change it.
  TLookedUp& l = FLookedUp;
  if (!l.Valid || l.Path != OutputName || l.OutsideCalls != OutsideCalls()) {
    l.Error = StatOutput(l.St, false);
    l.Path = OutputName;
    l.OutsideCalls = OutsideCalls();
  }
  // The lstat is the last look an entry takes before its output is made.
  l.Valid = Follow;
  if (l.Error != 0) return l.Error;
  if (Follow && S_ISLNK(l.St.st_mode)) return StatOutput(St, true);
  St = l.St;
  return 0;
}

bool TUnBase::AdoptSink(TReaderEntry& Entry, int& Handle, int& File, bool Dated, UInt32 DosDateTime) {
  Handle = -1;
  if (Action != kActionExtract || Entry.FOutput || OutputName.empty() || (EntryEncrypted && PasswordFailed) ||
      !BelowExtractDir(OutputName))
    return false;
  std::string leaf;
  auto folder = OpenOutputFolder(leaf);
  if (!folder) return false;
  const int dir = folder->Fd;
  // Linked later into this folder: it must be on the same file system. An
  // output to be refused is left to the opening of the sink, which reports it.
  struct stat file, target;
  if (fstat(File, &file) != 0 || folder->Dev != file.st_dev) return false;
  auto out = std::make_unique<TEntryOutput>(std::move(folder), leaf);
  if (fstatat(dir, leaf.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0 &&
      (!S_ISREG(target.st_mode) || IsArchiveFile(target.st_dev, target.st_ino) || ReadOnlyUnasked(target)))
    return false;
  out->Adopt(File);
  Entry.FStagedCalls = OutsideCalls();
  Entry.FOutput = std::move(out);
  Handle = Entry.FOutput->Handle();
  Entry.FDatedHandle = Dated ? Handle : -1;
  Entry.FDatedAs = DosDateTime;
  return true;
}

std::shared_ptr<TFolderHandle> TUnBase::OpenOutputFolder(std::string& Leaf) {
  if (BelowExtractDir(OutputName)) return WalkToOutputFolder(OutputName, Leaf, true) < 0 ? nullptr : FWalk.Last();
  // A name the user chose: taken as given.
  const auto slash = OutputName.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == OutputName.size()) {
    errno = EINVAL;
    return nullptr;
  }
  Leaf = OutputName.substr(slash + 1);
  const std::string dir = OutputName.substr(0, slash + 1);
  if (!DirectoryExists(dir)) ForceDirectories(dir);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    errno = error;
    return nullptr;
  }
  return std::make_shared<TFolderHandle>(fd, st.st_dev, st.st_ino);
}

bool TUnBase::StageOutput(TReaderEntry& Entry) {
  std::string leaf;
  auto folder = OpenOutputFolder(leaf);
  if (!folder) {
    const int error = errno;
    if (error == ELOOP) {
      // A link on the way: the output would land outside. (A file on the
      // way is no danger: the output cannot be written, for that reason.)
      EntryOutcome = eoRefusedName;
      ReportError(OutputName, msg::ErrorOpeningFile);
    } else {
      CannotWrite(error, msg::ErrorOpeningFile);
    }
    return false;
  }
  const int dir = folder->Fd;
  auto out = std::make_unique<TEntryOutput>(std::move(folder), leaf);
  bool exists = false;
  if (RefusesTarget(dir, leaf, exists)) return false;
  Entry.FStagedCalls = OutsideCalls();
  if (!out->Stage()) {
    CannotWrite(errno, msg::ErrorOpeningFile);
    return false;
  }
  Entry.FOutput = std::move(out);
  return true;
}

bool TUnBase::OpenSink(TReaderEntry& Entry, int& Handle) {
  Handle = -1;
  if (EntryEncrypted && PasswordFailed) return true;
  if (OutputName.empty()) return false;
  if (Testing()) return true;
  // A later part of a split file goes on in the output of the first.
  if (!Entry.FOutput && !StageOutput(Entry)) return false;
  Handle = Entry.FOutput->Handle();
  return Handle >= 0;
}

bool TUnBase::CreateEntryFolder() {
  if (Testing() || !CreateStoredDirs || OutputName.empty()) return true;
  const std::string& root = FExtractDir;
  if (root.empty() || OutputName.compare(0, root.size(), root) != 0) return ForceDirectories(OutputName);
  TFolderWalk::TStop stop;
  if (FWalk.Open(root, PathParts(std::string_view(OutputName).substr(root.size())), true, OutsideCalls(), &stop) >= 0)
    return true;
  // A folder that cannot be made ends the walk quietly; a name on the way
  // that is a link or no folder is refused.
  if (stop == TFolderWalk::wsEnter) ReportError(OutputName, msg::ErrorCreatingDir);
  return stop == TFolderWalk::wsMake;
}

bool TUnBase::GetEntryPassword() {
  TTimerPause pause(Timer);
  if (ReadRoutine(-1, ArchiveStream.get(), EncryptionHeader, 12, kCrcNone, false) != 12) {
    ReportError(OutputName, msg::BadFileHeader);
    return false;
  }
  if (CheckPassword(EncryptionHeader)) return true;
  for (const auto& p : Passwords) {
    Password = p;
    if (CheckPassword(EncryptionHeader)) return true;
  }
  if (!OnGetPassword) {
    ReportError(OutputName, "OnGetPassword", "0", msg::RequiredEventNotAssigned);
    return false;
  }
  for (int i = 0; i < PasswordAttempts; ++i) {
    if (GetCancel()) return false;
    bool tryAgain = true;
    std::string pw = Password;
    Fire(OnGetPassword, OutputName, pw, tryAgain);
    Password = pw;
    if (!tryAgain) {
      ReportError(OutputName, msg::InvalidPassword);
      return false;
    }
    if (CheckPassword(EncryptionHeader)) {
      Passwords.insert(Passwords.begin(), Password);
      return true;
    }
    Password.clear();
    ReportError(OutputName, msg::InvalidPassword);
  }
  return false;
}

bool TUnBase::OutputDate(UInt32 DosDateTime, UInt32& Date) const {
  Date = DateAttribute == daMaxFileDate ? NewestEntryDate : DosDateTime;
  return DateAttribute != daSysDate;
}

void TUnBase::CloseSink(TReaderEntry& Entry, int Handle, UInt32 DosDateTime, UInt32 Attributes) {
  if (Testing()) {
    OutputName = EntryName;
    return;
  }
  if (Handle < 0) return;
  UInt32 date = 0;
  if (!OutputDate(DosDateTime, date)) date = DateTimeToDosDateTime(Now());
  if (Handle != Entry.FDatedHandle || date != Entry.FDatedAs) SetFileHandleDosTime(Handle, date);
  Entry.FDatedHandle = -1;
  if (RestoreFileAttr && Entry.FUnixMode != 0) {
    // The bits as stored, narrowed by the user's umask as for any file the
    // user makes: an entry stored writable by all does not come out so.
    fchmod(Handle, Entry.FUnixMode & ~ProcessUmask());
  } else if (RestoreFileAttr && Attributes != 0x20 && (Attributes & 0x01)) {
    // Read-only clears the write bits; hidden and system have no meaning here.
    struct stat st;
    if (fstat(Handle, &st) == 0) fchmod(Handle, st.st_mode & 07555);
  }
  // The staged output stays open until its verdict places it.
}

void TUnBase::DecodeEntry(int Handle, const std::function<void()>& Decode) {
  // Handle is the entry's staged output, which its entry object closes.
  (void)Handle;
  try {
    Decode();
  } catch (const EVskError& e) {
    if (e.Code == msg::DiskFull) throw;
  }
}

void TUnBase::SkipEntryData(Int64 Size) {
  ProgressBytesLeft -= static_cast<double>(Size);
  if (ProgressBytesLeft < 0) ProgressBytesLeft = 0;
  ProgressRoutine(ProgressEntryTotal);
}

}  // namespace vsk
