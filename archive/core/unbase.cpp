#include "archive/core/unbase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "base/dates.h"
#include "archive/core/diskmanager.h"
#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "base/pump.h"

namespace vsk {

namespace {

bool PathExists(const std::string& name) {
  struct stat st;
  return lstat(name.c_str(), &st) == 0;
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string FolderOf(const std::string& name) {
  const auto p = name.find_last_of('/');
  return p == std::string::npos ? std::string(".") : name.substr(0, p + 1);
}

}  // namespace

TUnBase::TUnBase() { RecurseDirs = true; }

TUnBase::~TUnBase() = default;

int TUnBase::Extract() { return Run(kActionExtract); }

int TUnBase::TestArchive() { return Run(kActionTest); }

bool TUnBase::OpensOwnArchive() const {
  const TArcType t = ArcType();
  return t == atAce || t == atAceExe || t == atCab || t == atRar || t == atRarExe;
}

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
  FHeld = {};
  FUncount = -1;
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
  bool cutOff = false;
  try {
    if (ArchiveFile().empty()) RaiseError(ArchiveFile(), "", "0", msg::FileNotFound);
    if (DiskManager->PrepareDrive(FolderOf(ArchiveFile()), 0, false)) {
      activated = true;
      Fire(OnActivate);
      bool open = true;
      if (!OpensOwnArchive()) {
        Byte err = 0;
        auto s = std::make_unique<TFileStream32>(ArchiveFile(), fmOpenRead | fmShareDenyNone, err);
        if (err != 0) {
          ReportError(ArchiveFile(), "", "0", msg::ErrorOpeningFile);
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
  } catch (const ECancelUnwind&) {
    cutOff = true;
  } catch (...) {
    cutOff = true;
  }
  SettleOutput(cutOff || GetCancel());
  if (FUncount > 0 && FilesProcessed == FUncount) --FilesProcessed;
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
  // An entry its reader left without a verdict is done with by now.
  SettleOutput(GetCancel());
  FLookedUp.Valid = false;
  EntryName = Info.Name;
  EntryEncrypted = Info.Encrypted;
  EntryUnpackedSize = Info.UnpackedSize;
  EntryDosDateTime = Info.DosDateTime;
  if (Testing()) {
    OutputName = EntryName;
  } else if (Info.Continuation) {
    OutputName = Info.ContinuedOutput;
  } else {
    if (!PrepareFileName(EntryName)) {
      SkipEntryData(Info.UnpackedSize);
      return false;
    }
    OutputName = CurrentFileName;
  }
  if (Info.RefusalCode != 0) {
    ReportError(OutputName, Info.RefusalDetail, "0", Info.RefusalCode);
    SkipEntryData(Info.UnpackedSize);
    return false;
  }
  if (!Info.Continuation && !BeginEntry(Info.Directory)) {
    SkipEntryData(Info.UnpackedSize);
    return false;
  }
  if (!Info.Directory && !Info.MethodSupported) {
    // Known before any output exists: nothing is created for the entry (an
    // existing file of its name stays), and the entries after it still come.
    ReportError(Info.UnsupportedFile.empty() ? OutputName : Info.UnsupportedFile, "", "0", Info.UnsupportedCode);
    if (!Info.Continuation && FilesProcessed > 0) --FilesProcessed;
    SkipEntryData(Info.UnpackedSize);
    FailVerdict();
    return false;
  }
  if (!Info.Directory) HoldOutput(Info.Continuation);
  return true;
}

void TUnBase::HoldOutput(bool Continuation) {
  FHeld = {};
  if (Action != kActionExtract || OutputName.empty()) return;
  FHeld.Count = FilesProcessed;
  struct stat st;
  const int err = Continuation ? 0 : LookUpOutput(st, false);
  if (Continuation || err != 0) {
    // A later part goes on in what its first part began; a new name is the
    // entry's alone.
    if (Continuation || err == ENOENT) FHeld.Path = OutputName;
    return;
  }
  // Only a file the entry may replace waits aside; a link, a folder, a
  // read-only file or the archive itself are refused when the output opens.
  if (!S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR) || IsArchiveFile(st.st_dev, st.st_ino)) return;
  FHeld.Path = OutputName;
  FHeld.Pending = true;
}

void TUnBase::SetAsideHeldOutput() {
  if (!FHeld.Pending || FHeld.Path != OutputName) return;
  FHeld.Pending = false;
  std::string leaf;
  bool owned = false;
  const int dir = OpenOutputFolder(leaf, owned);
  struct stat st;
  // What lies there now is looked at again: a volume read meanwhile may be of
  // that name, and is then refused where the output opens.
  if (dir < 0 || fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
      IsArchiveFile(st.st_dev, st.st_ino)) {
    if (dir >= 0 && owned) ::close(dir);
    FHeld = {};
    return;
  }
  std::random_device random;
  std::string aside;
  for (int attempt = 0; attempt < 16 && aside.empty(); ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".vsk-%08x", static_cast<unsigned>(random()));
    if (renameat2(dir, leaf.c_str(), dir, name, RENAME_NOREPLACE) == 0) {
      aside = name;
    } else if (errno == EINVAL || errno == ENOSYS) {
      // A file system without the exclusive rename.
      struct stat taken;
      if (fstatat(dir, name, &taken, AT_SYMLINK_NOFOLLOW) != 0 && renameat(dir, leaf.c_str(), dir, name) == 0)
        aside = name;
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (owned) ::close(dir);
  if (aside.empty()) {
    FHeld = {};
    return;
  }
  FHeld.Aside = OutputName.substr(0, OutputName.size() - leaf.size()) + aside;
}

void TUnBase::SettleOutput(bool Interrupted) {
  if (FHeld.Path.empty()) return;
  const THeldOutput held = FHeld;
  FHeld = {};
  if (held.Pending) {
    // The earlier file was never touched: it stays whatever became of the entry.
    if (Interrupted && held.Count > 0) FUncount = held.Count;
    return;
  }
  // Only an interrupted entry, or one that replaces a file, needs to know
  // whether its output was made.
  if (!Interrupted && held.Aside.empty()) return;
  struct stat st;
  const bool made = lstat(held.Path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (Interrupted) {
    if (made) ::unlink(held.Path.c_str());
    if (held.Count > 0) FUncount = held.Count;
  }
  if (held.Aside.empty()) return;
  // Nothing written, or what was written is gone: the earlier file comes back.
  if (Interrupted || !made)
    ::rename(held.Aside.c_str(), held.Path.c_str());
  else
    ::unlink(held.Aside.c_str());
}

void TUnBase::FailVerdict() {
  SettleOutput(GetCancel());
  if (OnEnd)
    Fire(OnEnd, OutputName, false);
  else
    ReportError(OutputName, "", "0", msg::CrcFailed);
}

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
  if (PathExists(OutputName)) {
    if (!OnFileExists) {
      ReportError(OutputName, "OnFileExists", "0", msg::RequiredEventNotAssigned);
      OverwriteMode = omSkip;
    } else {
      for (;;) {
        std::string newName;
        Fire(OnFileExists, OutputName, newName, OverwriteMode);
        if (GetCancel() || OverwriteMode == omSkip) break;
        if (newName.empty() || SameIgnoringAsciiCase(newName, OutputName)) break;
        OutputName = newName;
        if (!PathExists(OutputName)) break;
      }
    }
    if (!GetCancel() && OverwriteMode == omOverwrite && RefusesArchiveOutput()) return false;
    struct stat st;
    if (!GetCancel() && OverwriteMode == omOverwrite && lstat(OutputName.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        ReportError(OutputName, "", "0", msg::ErrorWritingToFile);
        return false;
      }
      if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
        chmod(OutputName.c_str(), (st.st_mode & 07777) | S_IWUSR);
        FLookedUp.Valid = false;
      }
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
  ReportError(OutputName, "", "0", msg::SameInputOutput);
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
    // A folder on the way is missing: so is the output.
    if (errno == ENOENT) return ENOENT;
  }
  // A link on the way, or a name the user chose: the path as it resolves.
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

int TUnBase::OpenBelowExtractDir(const std::string& Path) {
  if (!BelowExtractDir(Path)) {
    // A name the user chose (a rename answer): taken as given, links at
    // the final component still refused.
    const std::string dir = FolderOf(Path);
    if (!DirectoryExists(dir)) ForceDirectories(dir);
    return ::open(Path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  }
  std::string leaf;
  const int dir = WalkToOutputFolder(Path, leaf, true);
  if (dir < 0) return -1;
  return openat(dir, leaf.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool TUnBase::AdoptOutputFile(int& Handle, int& File, bool Dated, UInt32 DosDateTime) {
  Handle = -1;
  if (Action != kActionExtract || OutputName.empty() || (EntryEncrypted && PasswordFailed) ||
      !BelowExtractDir(OutputName))
    return false;
  // An existing name, a link included, makes the link below fail.
  SetAsideHeldOutput();
  std::string leaf;
  const int dir = WalkToOutputFolder(OutputName, leaf, true);
  if (dir < 0) return false;
  // By the handle itself where the system lets the file's owner do so,
  // else through its name under /proc.
  bool linked = FLinkByHandle && linkat(File, "", dir, leaf.c_str(), AT_EMPTY_PATH) == 0;
  if (!linked && (!FLinkByHandle || errno == ENOENT || errno == EPERM)) {
    const std::string self = "/proc/self/fd/" + std::to_string(File);
    linked = linkat(AT_FDCWD, self.c_str(), dir, leaf.c_str(), AT_SYMLINK_FOLLOW) == 0;
    if (linked) FLinkByHandle = false;
  }
  if (!linked) return false;
  Handle = File;
  File = -1;
  FDatedHandle = Dated ? Handle : -1;
  FDatedAs = DosDateTime;
  return true;
}

int TUnBase::OpenOutputFolder(std::string& Leaf, bool& Owned) {
  Owned = false;
  if (BelowExtractDir(OutputName)) return WalkToOutputFolder(OutputName, Leaf, true);
  Owned = true;
  // A name the user chose: taken as given.
  const auto slash = OutputName.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == OutputName.size()) return -1;
  Leaf = OutputName.substr(slash + 1);
  const std::string dir = OutputName.substr(0, slash + 1);
  if (!DirectoryExists(dir)) ForceDirectories(dir);
  return ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

std::string TUnBase::StageOutputFile() {
  static std::atomic<unsigned> serial{0};
  if (OutputName.empty()) return {};
  std::string leaf, staged;
  int refusal = msg::ErrorOpeningFile;
  bool owned = false;
  const int dir = OpenOutputFolder(leaf, owned);
  if (dir >= 0) {
    struct stat st;
    const bool exists = fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && IsArchiveFile(st.st_dev, st.st_ino)) {
      refusal = msg::SameInputOutput;
    } else if (!exists || S_ISREG(st.st_mode)) {
      for (int i = 0; i < 100 && staged.empty(); ++i) {
        const std::string name = ".vsk" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        const int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
          ::close(fd);
          staged = name;
        } else if (errno != EEXIST) {
          break;
        }
      }
    }
    if (owned) ::close(dir);
  }
  if (staged.empty()) {
    ReportError(OutputName, "", "0", refusal);
    return {};
  }
  return OutputName.substr(0, OutputName.size() - leaf.size()) + staged;
}

bool TUnBase::PlaceStagedFile(const std::string& Staged) {
  const std::string stagedLeaf = Staged.substr(Staged.find_last_of('/') + 1);
  std::string leaf;
  bool owned = false;
  int dir = OpenOutputFolder(leaf, owned);
  if (dir >= 0 && FHeld.Pending) {
    // Setting aside walks to the folder itself.
    if (owned) ::close(dir);
    SetAsideHeldOutput();
    dir = OpenOutputFolder(leaf, owned);
  }
  if (dir < 0) {
    ::unlink(Staged.c_str());
    ReportError(OutputName, "", "0", msg::ErrorOpeningFile);
    return false;
  }
  // What lies at the name now is checked again: a volume read meanwhile may
  // be of that name.
  struct stat st;
  const bool exists = fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  int refusal = 0;
  if (exists && IsArchiveFile(st.st_dev, st.st_ino))
    refusal = msg::SameInputOutput;
  else if (exists && !S_ISREG(st.st_mode))
    refusal = msg::ErrorOpeningFile;
  else if (renameat(dir, stagedLeaf.c_str(), dir, leaf.c_str()) != 0)
    refusal = msg::ErrorWritingToFile;
  if (refusal != 0) {
    unlinkat(dir, stagedLeaf.c_str(), 0);
    ReportError(OutputName, "", "0", refusal);
  }
  if (owned) ::close(dir);
  return refusal == 0;
}

bool TUnBase::OpenOutputFile(int& Handle) {
  Handle = -1;
  if (EntryEncrypted && PasswordFailed) return true;
  if (OutputName.empty()) return false;
  if (Testing()) return true;
  if (Action == kActionAppend) {
    Handle = AppendFileHandle(this, OutputName);
    return Handle >= 0;
  }
  SetAsideHeldOutput();
  const int fd = OpenBelowExtractDir(OutputName);
  if (fd < 0) {
    ReportError(OutputName, "", "0", msg::ErrorOpeningFile);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    ReportError(OutputName, "", "0", msg::ErrorOpeningFile);
    return false;
  }
  if (IsArchiveFile(st.st_dev, st.st_ino)) {
    ::close(fd);
    ReportError(OutputName, "", "0", msg::SameInputOutput);
    return false;
  }
  if (st.st_size != 0 && ftruncate(fd, 0) != 0) {
    ::close(fd);
    ReportError(OutputName, "", "0", msg::ErrorOpeningFile);
    return false;
  }
  Handle = fd;
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
  if (stop == TFolderWalk::wsEnter) ReportError(OutputName, "", "0", 25150);
  return stop == TFolderWalk::wsMake;
}

bool TUnBase::GetEntryPassword() {
  TTimerPause pause(Timer);
  if (ReadRoutine(-1, ArchiveStream.get(), EncryptionHeader, 12, kCrcNone, false) != 12) {
    ReportError(OutputName, "", "0", msg::BadFileHeader);
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
      ReportError(OutputName, "", "0", 26517);
      return false;
    }
    if (CheckPassword(EncryptionHeader)) {
      Passwords.insert(Passwords.begin(), Password);
      return true;
    }
    Password.clear();
    ReportError(OutputName, "", "0", 26517);
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
  if (Handle < 0) {
    SettleOutput(GetCancel());
    return;
  }
  UInt32 date = 0;
  if (!OutputDate(DosDateTime, date)) date = DateTimeToDosDateTime(Now());
  if (Handle != FDatedHandle || date != FDatedAs) SetFileHandleDosTime(Handle, date);
  FDatedHandle = -1;
  if (RestoreFileAttr && Attributes != 0x20 && (Attributes & 0x01)) {
    // Read-only clears the write bits; hidden and system have no meaning here.
    struct stat st;
    if (fstat(Handle, &st) == 0) fchmod(Handle, st.st_mode & 07555);
  }
  if (::close(Handle) != 0) ReportError(OutputName, "", "0", 25138);
  SettleOutput(GetCancel());
}

bool TUnBase::CheckCrc(Byte Kind, UInt32 StoredCrc) {
  SettleOutput(GetCancel());
  const UInt32 reg = Kind == kCrc16 ? Crc->Crc16 : Crc->Crc32;
  const bool pass = !GetCancel() && (StoredCrc == reg || StoredCrc == (reg ^ 0xFFFFFFFFu));
  if (OnEnd)
    Fire(OnEnd, OutputName, pass);
  else if (!pass)
    ReportError(OutputName, "", "0", msg::CrcFailed);
  return pass;
}

void TUnBase::DecodeEntry(int Handle, const std::function<void()>& Decode) {
  try {
    Decode();
  } catch (const EVskError& e) {
    if (e.Code == msg::DiskFull) {
      if (Handle >= 0) CloseFileHandle(Handle);
      throw;
    }
  } catch (...) {
    if (Handle >= 0) CloseFileHandle(Handle);
    throw;
  }
}

void TUnBase::SkipEntryData(Int64 Size) {
  ProgressBytesLeft -= static_cast<double>(Size);
  if (ProgressBytesLeft < 0) ProgressBytesLeft = 0;
  ProgressRoutine(ProgressEntryTotal);
}

}  // namespace vsk
