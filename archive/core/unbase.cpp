#include "archive/core/unbase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
  FOutput.reset();
  FVerdictDue = false;
  FCountedAt = -1;
  EntryOutcome = eoPending;
  EntryOutcomeReason.clear();
  FWalk.Close();
  FDatedHandle = -1;
  if (CpuType == cpt80486) CpuType = cptAuto;
  const std::string saved = ArchiveFile();

  // A test run decodes through a routine that writes nothing and counts the
  // whole block as written.
  const TWriteRoutine ownWrite = DecryptWriteRoutine;
  if (Testing()) {
    DecryptWriteRoutine = [this](int, void* Buffer, bool IsData, Int32 Count, int CrcKind, TStream32*,
                                 bool CryptFlag) {
      if (CryptFlag && IsData && Count > 0) Crypt->DecryptZipBuffer(Buffer, static_cast<std::size_t>(Count));
      if (IsData && Count > 0) Crc->Update(CrcKind, Buffer, static_cast<std::size_t>(Count));
      return Count;
    };
  }
  InputMode = kIoGivenStream;
  OutputMode = Testing() ? kIoTest : kIoHandle;

  bool activated = false;
  try {
    if (ArchiveFile().empty()) RaiseError(ArchiveFile(), "", "0", msg::FileNotFound);
    if (DiskManager->PrepareDrive(FolderOrDot(ArchiveFile()), 0, false)) {
      activated = true;
      Fire(OnActivate);
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
        Timer.Start();
        if (ArcType() != atGZip && ArcType() != atMsGZ) AsciiTranslation = false;
        ExtractArchive();
      }
    }
  } catch (...) {
    // The caller learns of failures through OnError and the count.
  }
  try {
    // An entry the run was cut off in leaves nothing, and gets its verdict.
    ConcludeEntry();
    SettleHeldOutput();
  } catch (...) {
  }
  FOutput.reset();
  FHeld.reset();
  FHeldPass = true;
  FHeldCounted = false;
  try {
    Timer.Stop();
    if (activated) {
      Fire(OnElapsedTime, Timer.Elapsed());
      Fire(OnDeactivate);
    }
  } catch (...) {
  }
  DecryptWriteRoutine = ownWrite;
  FArchiveFile = saved;
  ArchiveStream.reset();
  FArchiveIds.clear();
  FWalk.Close();
  return FilesProcessed;
}

bool TUnBase::StartEntry(const TEntryInfo& Info) {
  ConcludeEntry();
  if (!Info.Continuation) SettleHeldOutput();
  FOutput.reset();
  FLookedUp.Valid = false;
  FCountedAt = -1;
  FWriteFailed = false;
  EntryOutcome = eoPending;
  EntryOutcomeReason.clear();
  EntryName = Info.Name;
  EntryEncrypted = Info.Encrypted;
  EntryUnpackedSize = Info.UnpackedSize;
  EntryDosDateTime = Info.DosDateTime;
  FUnixMode = Info.UnixMode & 0777;
  if (Testing()) {
    OutputName = EntryName;
  } else if (Info.Continuation) {
    OutputName = Info.ContinuedOutput;
  } else {
    if (!PrepareFileName(EntryName)) {
      EntryOutcome = eoRefusedName;
      SkipEntryData(Info.UnpackedSize);
      return false;
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
    return false;
  }
  const int before = FilesProcessed;
  if (!Info.Continuation && !BeginEntry(Info.Directory)) {
    if (EntryOutcome == eoPending) EntryOutcome = GetCancel() ? eoCancelled : eoSkipped;
    SkipEntryData(Info.UnpackedSize);
    return false;
  }
  if (Info.Directory) return true;
  if (FilesProcessed > before) FCountedAt = FilesProcessed;
  FVerdictDue = true;
  if (!Info.MethodSupported) {
    // Known before any output exists: nothing is created for the entry (an
    // existing file of its name stays), and the entries after it still come.
    EntryOutcome = eoUnsupported;
    ReportError(Info.UnsupportedFile.empty() ? OutputName : Info.UnsupportedFile, Info.UnsupportedCode);
    Uncount(eoUnsupported);
    SkipEntryData(Info.UnpackedSize);
    FailVerdict();
    return false;
  }
  return true;
}

void TUnBase::RefuseLink(TEntryInfo& Info, const std::string& Target, const char* Reason) const {
  if (Testing()) return;
  Info.RefusalCode = msg::UnknownFileType;
  Info.RefusalDetail = Target.empty() ? std::string(Reason) : std::string(Reason) + " to " + Target;
  Info.LinkReason = Reason;
}

void TUnBase::Uncount(TEntryOutcome Outcome) {
  EntryOutcome = Outcome;
  // A reader may have taken the entry back itself.
  if (FCountedAt > 0 && FilesProcessed == FCountedAt) --FilesProcessed;
  FCountedAt = -1;
}

void TUnBase::SettleHeldOutput() {
  if (!FHeld) return;
  const std::unique_ptr<TEntryOutput> out = std::move(FHeld);
  const bool counted = FHeldCounted;
  FHeldPass = true;
  FHeldCounted = false;
  if (out->Place(false)) {
    if (!out->CloseHandle()) ReportError(OutputName, msg::ErrorClosingFile);
    return;
  }
  if (counted && FilesProcessed > 0) --FilesProcessed;
}

void TUnBase::ConcludeEntry() {
  if (!FVerdictDue) return;
  if (EntryOutcome == eoPending || EntryOutcome == eoWritten) EntryOutcome = GetCancel() ? eoCancelled : eoCannotWrite;
  FOutput.reset();
  Uncount(EntryOutcome);
  FailVerdict();
}

void TUnBase::ReportError(const std::string& FileName, const std::string& ExtendedMsg, const std::string& VolumeID,
                          int ECode) {
  const int error = errno;
  if (FVerdictDue && FOutput && (ECode == msg::ErrorWritingToFile || ECode == msg::DiskFull)) {
    // A write of the output failed: the entry leaves nothing.
    FWriteFailed = true;
    EntryOutcome = eoCannotWrite;
    if (EntryOutcomeReason.empty() && error != 0) EntryOutcomeReason = std::strerror(error);
  }
  TZipCommon::ReportError(FileName, ExtendedMsg, VolumeID, ECode);
}

void TUnBase::CannotWrite(int Error, int Code) {
  EntryOutcome = eoCannotWrite;
  EntryOutcomeReason = Error != 0 ? std::strerror(Error) : std::string();
  Uncount(eoCannotWrite);
  ReportError(OutputName, Code);
}

bool TUnBase::RefusesTarget(int Folder, const std::string& Leaf, bool& Exists) {
  struct stat st;
  Exists = fstatat(Folder, Leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!Exists) return false;
  if (IsArchiveFile(st.st_dev, st.st_ino)) {
    Uncount(eoRefusedVolume);
    ReportError(OutputName, msg::SameInputOutput);
    return true;
  }
  if (!S_ISREG(st.st_mode)) {
    // A link, a folder or a device at the name: nothing is made there.
    Uncount(eoRefusedName);
    ReportError(OutputName, msg::ErrorOpeningFile);
    return true;
  }
  return false;
}

bool TUnBase::CommitOutput(bool Pass) {
  if (!FOutput) return Pass;
  std::unique_ptr<TEntryOutput> out = std::move(FOutput);
  if (GetCancel()) {
    // A cancelled entry leaves nothing: an existing file stays as it was.
    Uncount(eoCancelled);
    return false;
  }
  if (FWriteFailed) {
    Uncount(eoCannotWrite);
    return false;
  }
  if (HoldForContinuation) {
    FHeld = std::move(out);
    FHeldPass = FHeldPass && Pass;
    FHeldCounted = FCountedAt > 0;
    EntryOutcome = Pass ? eoWritten : eoFailedCheck;
    return Pass;
  }
  // A file split over volumes is judged by all of its parts.
  Pass = Pass && FHeldPass;
  FHeldPass = true;
  FHeldCounted = false;
  // The folder it was staged in must still be the one the output's path
  // leads to: one moved away or swapped for a link meanwhile (by code that
  // ran outside the library since) gets nothing.
  if (BelowExtractDir(OutputName) && OutsideCalls() != FStagedCalls) {
    std::string leaf;
    const auto now = WalkToOutputFolder(OutputName, leaf, false) < 0 ? nullptr : FWalk.Last();
    if (!now || now->Dev != out->FolderHandle().Dev || now->Ino != out->FolderHandle().Ino) {
      Uncount(eoRefusedName);
      ReportError(OutputName, msg::ErrorOpeningFile);
      return false;
    }
  }
  // A free name takes the output at once. Else what stands there now is
  // looked at again: a volume noted or a link made meanwhile refuses the
  // output still, and a damaged entry never replaces a file.
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
    // A decoder that writes by name may have removed its damaged output.
    if (!Pass && errno == ENOENT && !out->TempLeaf().empty()) {
      EntryOutcome = eoFailedCheck;
      return false;
    }
    CannotWrite(errno, msg::ErrorWritingToFile);
    return false;
  }
  if (!out->CloseHandle()) ReportError(OutputName, msg::ErrorClosingFile);
  EntryOutcome = Pass ? eoWritten : eoFailedCheck;
  return Pass;
}

bool TUnBase::Verdict(bool Pass, bool ReportFailure) {
  FVerdictDue = false;
  if (GetCancel()) Pass = false;
  if (FOutput || !Testing()) {
    Pass = CommitOutput(Pass) && Pass;
  } else if (GetCancel()) {
    Uncount(eoCancelled);
  }
  if (EntryOutcome == eoPending || (EntryOutcome == eoWritten && !Pass)) {
    EntryOutcome = Pass                                ? eoWritten
                   : GetCancel()                       ? eoCancelled
                   : EntryEncrypted && PasswordFailed  ? eoEncrypted
                                                       : eoFailedCheck;
  }
  if (GetCancel() && FCountedAt > 0) Uncount(eoCancelled);
  // An output refused or not made was reported as such already.
  const bool reported = EntryOutcome == eoRefusedName || EntryOutcome == eoRefusedVolume ||
                        EntryOutcome == eoCannotWrite;
  if (OnEnd)
    Fire(OnEnd, OutputName, Pass);
  else if (!Pass && ReportFailure && !reported)
    ReportError(OutputName, msg::CrcFailed);
  return Pass;
}

void TUnBase::FailVerdict() { Verdict(false); }

bool TUnBase::BeginEntry(bool IsDirectory) {
  if (IsDirectory) return true;
  TTimerPause pause(Timer);
  bool extract = true;
  Fire(OnBegin, Testing() ? EntryName : OutputName, static_cast<int>(FilesProcessed), extract);
  if (GetCancel() || !extract) return false;
  if (Testing()) {
    ++FilesProcessed;
    return true;
  }
  if (!ConfirmOverwrites) {
    if (OverwriteMode != omOverwrite || RefusesArchiveOutput()) return false;
    ++FilesProcessed;
    return true;
  }
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
  const bool accepted = !GetCancel() && OverwriteMode == omOverwrite && !OutputName.empty();
  if (accepted) ++FilesProcessed;
  return accepted;
}

void TUnBase::NoteArchiveVolume(const std::string& Name) {
  struct stat st;
  if (stat(Name.c_str(), &st) == 0 && !IsArchiveFile(st.st_dev, st.st_ino))
    FArchiveIds.emplace_back(st.st_dev, st.st_ino);
}

bool TUnBase::IsArchiveFile(UInt64 Dev, UInt64 Ino) const {
  return std::find(FArchiveIds.begin(), FArchiveIds.end(), std::make_pair(Dev, Ino)) != FArchiveIds.end();
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

bool TUnBase::AdoptOutputFile(int& Handle, int& File, bool Dated, UInt32 DosDateTime) {
  Handle = -1;
  if (Action != kActionExtract || OutputName.empty() || (EntryEncrypted && PasswordFailed) ||
      !BelowExtractDir(OutputName))
    return false;
  std::string leaf;
  auto folder = OpenOutputFolder(leaf);
  if (!folder) return false;
  const int dir = folder->Fd;
  // Linked later into this folder: it must be on the same file system. An
  // output to be refused is left to OpenOutputFile, which reports it.
  struct stat file, target;
  if (fstat(File, &file) != 0 || folder->Dev != file.st_dev) return false;
  auto out = std::make_unique<TEntryOutput>(std::move(folder), leaf);
  if (fstatat(dir, leaf.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0 &&
      (!S_ISREG(target.st_mode) || IsArchiveFile(target.st_dev, target.st_ino)))
    return false;
  out->Adopt(File);
  FStagedCalls = OutsideCalls();
  FOutput = std::move(out);
  Handle = FOutput->Handle();
  FDatedHandle = Dated ? Handle : -1;
  FDatedAs = DosDateTime;
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

bool TUnBase::StageOutput(bool Named) {
  FOutput.reset();
  // A part tried again (another password) starts its file afresh.
  FHeld.reset();
  FHeldPass = true;
  std::string leaf;
  auto folder = OpenOutputFolder(leaf);
  if (!folder) {
    const int error = errno;
    if (error == ELOOP) {
      // A link on the way: the output would land outside. (A file on the
      // way is no danger: the output cannot be written, for that reason.)
      Uncount(eoRefusedName);
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
  FStagedCalls = OutsideCalls();
  if (!out->Stage(Named)) {
    CannotWrite(errno, msg::ErrorOpeningFile);
    return false;
  }
  FOutput = std::move(out);
  return true;
}

std::string TUnBase::StageOutputFile() {
  if (OutputName.empty() || !StageOutput(true)) return {};
  FOutput->ReleaseHandle();
  // Named through the held folder: a folder of the path swapped for a link
  // meanwhile does not send the library's writes outside.
  return "/proc/self/fd/" + std::to_string(FOutput->Folder()) + "/" + FOutput->TempLeaf();
}

int TUnBase::OpenStagedOutput() {
  if (!FOutput || FOutput->TempLeaf().empty()) return -1;
  return openat(FOutput->Folder(), FOutput->TempLeaf().c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
}

bool TUnBase::OpenOutputFile(int& Handle) {
  Handle = -1;
  if (EntryEncrypted && PasswordFailed) return true;
  if (OutputName.empty()) return false;
  if (Testing()) return true;
  if (Action == kActionAppend) {
    // The rest of a split file goes on in the output its first part held;
    // without one (it was settled) there is nothing to go on in.
    if (!FHeld) return false;
    FOutput = std::move(FHeld);
    Handle = FOutput->Handle();
    return Handle >= 0;
  }
  if (!StageOutput(false)) return false;
  Handle = FOutput->Handle();
  return true;
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

void TUnBase::CloseOutputFile(int Handle, UInt32 DosDateTime, UInt32 Attributes) {
  if (Testing()) {
    OutputName = EntryName;
    return;
  }
  if (Handle < 0) return;
  UInt32 date = 0;
  if (!OutputDate(DosDateTime, date)) date = DateTimeToDosDateTime(Now());
  if (Handle != FDatedHandle || date != FDatedAs) SetFileHandleDosTime(Handle, date);
  FDatedHandle = -1;
  if (RestoreFileAttr && FUnixMode != 0) {
    // The bits as stored, narrowed by the user's umask as for any file the
    // user makes: an entry stored writable by all does not come out so.
    fchmod(Handle, FUnixMode & ~ProcessUmask());
  } else if (RestoreFileAttr && Attributes != 0x20 && (Attributes & 0x01)) {
    // Read-only clears the write bits; hidden and system have no meaning here.
    struct stat st;
    if (fstat(Handle, &st) == 0) fchmod(Handle, st.st_mode & 07555);
  }
  // The staged output stays open until its verdict places it.
  if (FOutput && Handle == FOutput->Handle()) return;
  if (::close(Handle) != 0) ReportError(OutputName, msg::ErrorClosingFile);
}

bool TUnBase::CheckCrc(Byte Kind, UInt32 StoredCrc) {
  const UInt32 reg = Kind == kCrc16 ? Crc->Crc16 : Crc->Crc32;
  return Verdict(StoredCrc == reg || StoredCrc == (reg ^ 0xFFFFFFFFu));
}

void TUnBase::DecodeEntry(int Handle, const std::function<void()>& Decode) {
  try {
    Decode();
  } catch (const EVskError& e) {
    if (e.Code == msg::DiskFull) {
      if (Handle >= 0 && !(FOutput && Handle == FOutput->Handle())) CloseFileHandle(Handle);
      throw;
    }
  } catch (...) {
    if (Handle >= 0 && !(FOutput && Handle == FOutput->Handle())) CloseFileHandle(Handle);
    throw;
  }
}

void TUnBase::SkipEntryData(Int64 Size) {
  ProgressBytesLeft -= static_cast<double>(Size);
  if (ProgressBytesLeft < 0) ProgressBytesLeft = 0;
  ProgressRoutine(ProgressEntryTotal);
}

}  // namespace vsk
