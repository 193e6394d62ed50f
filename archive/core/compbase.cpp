#include "archive/core/compbase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "base/dates.h"
#include "base/paths.h"
#include "archive/core/deflateahead.h"
#include "archive/core/diskmanager.h"
#include "archive/core/numbers.h"
#include "base/pump.h"
#include "archive/core/readall.h"
#include "archive/core/selection.h"
#include "base/tempstream.h"
#include "archive/core/workers.h"
#include "archive/core/paths.h"
#include "base/textcase.h"

namespace vsk {

namespace {

constexpr Int32 kIoChunk = 1 << 20;
// Files up to this size are deflated in memory first and stored when that
// does not make them smaller.
constexpr Int64 kSmallFile = kSmallDeflateSize;

// The extension of a file name with its dot; a leading dot (a hidden
// name) is no extension.
std::string ExtOf(const std::string& file) {
  const std::string ext = PathExtension(file);
  return ext.size() == file.size() ? std::string() : ext;
}

// The folder every FileSpec entry lies in (for sdExplorer_Auto).
std::string CommonFolder(const std::vector<std::string>& specs) {
  std::string common;
  bool first = true;
  for (const auto& s : specs) {
    std::string dir = PathFolderPart(ForwardSlashes(s));
    if (!dir.empty() && dir[0] != '/') {
      std::error_code ec;
      dir = AppendSlash(std::filesystem::absolute(dir, ec).lexically_normal().string());
    }
    if (first) {
      common = dir;
      first = false;
      continue;
    }
    std::size_t n = 0;
    while (n < common.size() && n < dir.size() && common[n] == dir[n]) ++n;
    common = PathFolderPart(common.substr(0, n));
  }
  return common;
}

// What a move checks the source against later.
void NoteFound(TCompEntry& E, const TFileObject& F) {
  E.SrcFound = SourceIdOf(F);
  E.SrcRead = {};
  E.SrcDirDev = F.DirDev;
  E.SrcDirIno = F.DirIno;
  E.SrcLinked = F.Linked;
}

// DOS times have two-second steps, and archivers round odd seconds either
// way: times one step apart are the same time.
bool SameDosTime(UInt32 a, UInt32 b) {
  if (a == b) return true;
  const double d = DosDateTimeToDateTime(a) - DosDateTimeToDateTime(b);
  return d <= 2.5 / 86400 && d >= -2.5 / 86400;
}

}  // namespace

TCompBase::TCompBase() {
  RecurseDirs = true;
  DeleteOptions = doFinal;
}

TCompBase::~TCompBase() = default;

// ---- properties

void TCompBase::SetArchiveFile(const std::string& Value) {
  if (Value.empty()) {
    *CancelRef() = false;
    FCentralPos = -1;
    FArchiveFile.clear();
    return;
  }
  SetArchivePath(AbsoluteArchivePath(Value));
}

std::string TCompBase::AbsoluteArchivePath(const std::string& Value) {
  std::string name = ForwardSlashes(Value);
  if (!name.empty() && name[0] != '/') {
    std::error_code ec;
    name = std::filesystem::absolute(name, ec).lexically_normal().string();
  }
  return name;
}

void TCompBase::SetArchivePath(std::string name) {
  *CancelRef() = false;
  FCentralPos = -1;
  // An archive that exists under a name without extension is changed
  // under that name, not written anew beside it.
  struct stat st;
  const bool existingFile = stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (ExtOf(PathFilePart(name)).empty() && !existingFile) name += FDefaultExt;
  FArchiveFile = name;
}

void TCompBase::SetCancel(bool Value) {
  if (Value && FCommitted) return;
  TZipCommon::SetCancel(Value);
}

bool TCompBase::SetCompressMethod(TCompressMethod Value) {
  if (!FSupportedMethods.Contains(Value)) return false;
  FCompressMethod = Value;
  return true;
}

void TCompBase::SetDefaultExt(const std::string& Value) {
  std::string e = Value;
  if (e.empty() || e == ".") {
    e = FOwnExt;
  } else {
    if (e[0] != '.') e.insert(0, 1, '.');
    if (e.size() > 4) e.resize(4);
    e = AsciiUpperCase(e);
  }
  if (e == FDefaultExt) return;
  const std::string old = FDefaultExt;
  FDefaultExt = e;
  if (FArchiveFile.empty()) return;
  const std::string ext = ExtOf(PathFilePart(FArchiveFile));
  if (ext.empty())
    FArchiveFile += e;
  else if (!old.empty() && AsciiUpperCase(ext) == AsciiUpperCase(old))
    FArchiveFile = FArchiveFile.substr(0, FArchiveFile.size() - ext.size()) + e;
}

namespace {

// The first block of the open file Handle holds text: no byte below 32 but
// tab, line ends, form feed, backspace, bell and escape. An empty file is
// no text.
bool LooksLikeText(int Handle) {
  Byte block[4096];
  const ssize_t n = pread(Handle, block, sizeof block, 0);
  if (n <= 0) return false;
  return std::none_of(block, block + n, [](Byte b) { return b < 32 && !(b >= 7 && b <= 13) && b != 27; });
}

}  // namespace

// ---- helpers for the formats

Int64 TCompBase::OutputPosition() { return FPendingLen > 0 ? FPendingAt + FPendingLen : FOutput->Position(); }

void TCompBase::Write(const void* Buffer, Int64 Count) {
  FlushCopy();
  auto* p = static_cast<const Byte*>(Buffer);
  while (Count > 0) {
    const Int32 n = static_cast<Int32>(std::min<Int64>(Count, kIoChunk));
    WriteBlock(-1, p, false, n, kCrcNone, nullptr);
    p += n;
    Count -= n;
  }
}

bool TCompBase::ReadOld(Int64 Offset, void* Buffer, Int64 Count) {
  if (!FOld || FOld->Handle() < 0 || Offset < 0 || Count < 0 || Offset > FOldSize || Count > FOldSize - Offset)
    return false;
  return ReadAllAt(FOld->Handle(), Offset, Buffer, Count, kIoChunk);
}

void TCompBase::CopyFromOld(Int64 Offset, Int64 Count) {
  if (FBuffer.size() < static_cast<std::size_t>(kIoChunk)) FBuffer.resize(kIoChunk);
  if (!FOld || Offset < 0 || Count < 0 || Offset > FOldSize || Count > FOldSize - Offset ||
      FOld->Seek(Offset, soBeginning) != Offset)
    RaiseError(ArchiveFile(), "", "0", msg::ErrorWritingToFile);
  while (Count > 0) {
    const Int32 n = static_cast<Int32>(std::min<Int64>(Count, kIoChunk));
    if (FOld->Read(FBuffer.data(), n) != n) RaiseError(ArchiveFile(), "", "0", msg::ErrorWritingToFile);
    WriteBlock(-1, FBuffer.data(), false, n, kCrcNone, nullptr);
    Count -= n;
    ProcessMessages();
  }
}

void TCompBase::CheckOutputLimit(Int64 End) {
  if (End < 0 || static_cast<UInt64>(End) >= FLimit)
    RaiseError(ArchiveFile(), "the archive would reach 4 GiB", "0", msg::MaxFileSizeExceeded);
}

void TCompBase::IndexName(int Index) {
  FNameIndex.emplace(FEntries[static_cast<std::size_t>(Index)].Name, Index);
}

void TCompBase::MarkOldEntries() {
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    TCompEntry& e = FEntries[i];
    if (Switch == swDelete && MatchFileName(e.Name, FileSpec, {})) {
      e.State = esDrop;
      ++FMarkedForDelete;
    }
    FNameIndex[e.Name] = static_cast<int>(i);
  }
}

int TCompBase::FindName(const std::string& Name) const {
  const auto it = FNameIndex.find(Name);
  return it == FNameIndex.end() ? -1 : it->second;
}

void TCompBase::AddOwnFile(UInt64 Dev, UInt64 Ino) { FOwnFiles.push_back({Dev, Ino}); }

bool TCompBase::IsOwnFile(UInt64 Dev, UInt64 Ino) const {
  return std::any_of(FOwnFiles.begin(), FOwnFiles.end(),
                     [&](const TOwnFile& f) { return f.Dev == Dev && f.Ino == Ino; });
}

bool TCompBase::OpenSourceFile(const std::string& Name, TSourceFile& Out, UInt64 MaxSize, const char* TooBig) {
  Byte err = 0;
  Out.Stream = std::make_unique<TFileStream32>(Name, fmOpenRead | fmShareDenyNone, err);
  if (err != 0 || fstat(Out.Stream->Handle(), &Out.St) != 0 || !S_ISREG(Out.St.st_mode)) {
    ReportError(Name, msg::ErrorOpeningFile);
    return false;
  }
  if (IsOwnFile(Out.St.st_dev, Out.St.st_ino)) return false;
  if (static_cast<UInt64>(Out.St.st_size) >= MaxSize) {
    ReportError(Name, TooBig, "0", msg::MaxFileSizeExceeded);
    return false;
  }
  return true;
}

std::unique_ptr<TFileStream32> TCompBase::OpenOldInput(Byte& Error) {
  if (FLayer) return FLayer->OpenOld(Error);
  return std::make_unique<TFileStream32>(TargetFile(), fmOpenRead | fmShareDenyWrite, Error);
}

bool TCompBase::InStoreList(const std::string& Path) const {
  const std::string ext = AsciiUpperCase(ExtOf(PathFilePart(Path)));
  if (ext.empty()) return false;
  return std::any_of(StoreFilesOfType.begin(), StoreFilesOfType.end(),
                     [&](const std::string& t) { return AsciiUpperCase(t) == ext; });
}

std::vector<std::string> TCompBase::ReadBackNames() {
  std::vector<std::string> names;
  for (const auto& e : FEntries)
    if (e.State != esDrop) names.push_back(e.Name);
  return names;
}

// ---- the run

void TCompBase::ResetRun() {
  FAdded = FDropped = FRenamed = FMarkedForDelete = 0;
  FSomethingToDo = false;
  FRunFailed = false;
  FCommitted = false;
  FilesProcessed = 0;
  FEntries.clear();
  FNameIndex.clear();
  FMoved.clear();
  FRemover.reset();
  ProgressEntryTotal = 0;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  PackedTotal = UnpackedTotal = 0;
  MaxFileDate = 0;
  FPrefixLength = 0;
  FCentralPos = -1;
  FArchiveComment.clear();
  FLoadedForComments = false;
  FDirectoryModified = false;
  FOwnFiles.clear();
  FDeferredEnds.clear();
  FPendingFrom = -1;
  FPendingLen = 0;
  FOld.reset();
  FOldSize = 0;
  FRunDeflateType = FCompressMethod == cmStore ? dtDeflateS : DeflateType;
  for (auto& t : StoreFilesOfType)
    if (!t.empty() && t[0] != '.') t.insert(0, 1, '.');
}

int TCompBase::Compress() {
  ResetRun();
  const std::string saved = ArchiveFile();
  *CancelRef() = false;
  bool completed = false;
  try {
    bool start = true;
    if (!FileSpec.empty() && Switch != swDelete) {
      if (StoredDirNames == sdExplorer_Auto) {
        DefaultDir = CommonFolder(FileSpec);
      } else if (StoredDirNames == sdExplorer_UserDefineDefaultDir && DefaultDir.empty()) {
        ReportError(ArchiveFile(), "DefaultDir", "0", 25271);
        start = false;
      }
    }
    if (Switch == swDelete) DefaultDir.clear();
    if (start && !ArchiveFile().empty() && !GetCancel()) {
      if (DiskManager->PrepareDrive(FolderOrDot(ArchiveFile()), 0, Switch != swRead)) {
        CompressArchive();
        completed = FCommitted || (!FRunFailed && !GetCancel());
      }
    }
  } catch (const ECancelUnwind&) {
  } catch (...) {
  }
  DiscardOutput();
  FOld.reset();
  FRemover.reset();
  FArchiveFile = saved;
  if (!completed) FAdded = FDropped = 0;
  const int result = Switch == swDelete ? FDropped : Switch == swRead ? 0 : FAdded;
  FEntries.clear();
  FNameIndex.clear();
  return result;
}

bool TCompBase::PrepareTarget() {
  const std::string target = TargetFile();
  const Int32 attr = FileDosAttributes(target);
  // Hidden names are as writable as any other here; read-only files,
  // folders and special files are not.
  if (attr < 0 || (attr & (faReadOnly | faSysFile | faDirectory)) == 0) return true;
  bool write = false;
  if (!FireRequired(OnNonWriteableArchive, "OnNonWriteableArchive", target, write)) return false;
  if (!write || GetCancel()) return false;
  if (attr & (faDirectory | faSysFile)) {
    ReportError(target, attr & faDirectory ? 25107 : 25106);
    return false;
  }
  // The target itself is left as it is: the new archive takes its place by
  // a rename, which needs only the folder writable, and keeps its mode; a
  // run that fails or is cancelled leaves it read-only as it was.
  return true;
}

bool TCompBase::OpenOutput() {
  if (CompressionMethod == cmInMemory) {
    FOutputOwner = std::make_unique<TMemoryStream32>();
  } else {
    // Spanned disks get the finished archive copied from local scratch
    // space; otherwise the scratch file lies beside the target so that the
    // commit is one rename.
    const std::string bound =
        FRunTraits.AwayFromTarget ? JoinPath(TempDir(), PathFilePart(ArchiveFile())) : ArchiveFile();
    auto t = std::make_unique<TTempFileStream>(fmCreate, bound, TempDir(), FRunTraits.NamedOutput);
    struct stat st;
    if (t->Handle() < 0 || fstat(t->Handle(), &st) != 0) {
      ReportError(ArchiveFile(), msg::ErrorCreatingFile);
      return false;
    }
    AddOwnFile(st.st_dev, st.st_ino);
    FTemp = t.get();
    FOutputOwner = std::move(t);
  }
  FOutput = FLayer ? FLayer->Wrap(FOutputOwner.get()) : FOutputOwner.get();
  if (!FOutput) {
    FRunFailed = true;
    return false;
  }
  OutputMode = kIoHeldStream;
  OutputStream = FOutput;
  InputMode = kIoGivenStream;
  return true;
}

bool TCompBase::CommitOutput() { return FLayer ? FLayer->Commit() : CommitScratch(); }

bool TCompBase::CommitScratch() {
  std::unique_ptr<TTempFileStream> fromMemory;
  TTempFileStream* committing = FTemp;
  try {
    if (FTemp) {
      FTemp->Commit();
      return true;
    }
    auto* mem = static_cast<TMemoryStream32*>(FOutputOwner.get());
    fromMemory = std::make_unique<TTempFileStream>(fmCreate, ArchiveFile(), TempDir());
    committing = fromMemory.get();
    if (committing->Handle() < 0) throw EWriteError(msg::ErrorWritingToFile);
    committing->WriteBuffer(mem->Memory(), mem->GetSize());
    committing->Commit();
    return true;
  } catch (const EVskError& e) {
    if (committing && committing->TargetChanged())
      ReportError(ArchiveFile(), "another file took the archive's name during the run: kept", "0",
                  msg::ErrorWritingToFile);
    else
      ReportError(ArchiveFile(), e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
  }
  return false;
}

void TCompBase::DiscardOutput() {
  if (FTemp) FTemp->Discard();
  FTemp = nullptr;
  FOutputOwner.reset();
  FOutput = nullptr;
  OutputStream = nullptr;
}

void TCompBase::CompressArchive() {
  FRunTraits = Traits();
  struct stat st;
  const bool exists = stat(TargetFile().c_str(), &st) == 0;
  FArchiveIsNew = !exists;
  if (Switch == swRead) {
    if (exists) ReadOnlyRun();
    return;
  }
  if (!FArchiveIsNew) {
    if (OverwriteMode == omSkip) return;
    if (!PrepareTarget()) return;
  } else if (Switch == swDelete) {
    ReportError(ArchiveFile(), 26859);
    return;
  }
  if (exists) AddOwnFile(st.st_dev, st.st_ino);
  TRunScope run(*this);
  run.Activate();
  try {
    RunBody();
  } catch (...) {
    FRunFailed = true;
    EndDeferredAsFailed();
    throw;
  }
  EndDeferredAsFailed();
}

void TCompBase::RunBody() {
  if (!OpenOutput()) {
    FRunFailed = true;
    return;
  }
  if (!FArchiveIsNew) {
    Byte err = 0;
    FOld = OpenOldInput(err);
    if (!FOld || err != 0) {
      if (err != 0) ReportError(TargetFile(), msg::ErrorOpeningFile);
      FRunFailed = true;
      return;
    }
    FOldSize = FOld->GetSize();
    if (FOldSize != 0 && !LoadOldDirectory()) {
      FRunFailed = true;
      return;
    }
  }
  if (Switch != swDelete && !Gather()) {
    FEntries.clear();
    FNameIndex.clear();
    return;
  }
  if (GetCancel()) return;
  const auto kept = std::count_if(FEntries.begin(), FEntries.end(), [](const TCompEntry& e) { return e.State != esDrop; });
  if (static_cast<std::size_t>(kept) > FRunTraits.MaxEntries) {
    ReportError(ArchiveFile(), "more than 65535 entries", "0", msg::MaxFileSizeExceeded);
    FRunFailed = true;
    return;
  }
  WriteEntries();
  if (GetCancel() || FRunFailed) return;
  if (FAdded == 0 && FDropped == 0 && FRenamed == 0) return;  // the target stays as it was

  const bool allDropped =
      Switch == swDelete && std::none_of(FEntries.begin(), FEntries.end(), [](const TCompEntry& e) {
        return e.State != esDrop;
      });
  if (allDropped) {
    // What stands in front of the entries (a self-extractor's program)
    // stays: the empty archive follows it.
    FlushCopy();
    const Int64 keep = std::min<Int64>(FPrefixLength, FOutput->GetSize());
    FOutput->SetSize(keep);
    FOutput->Seek(keep, soBeginning);
  }
  const bool placed = FinishArchive();
  EndDeferred(!FRunFailed && !GetCancel());
  if (GetCancel() || FRunFailed) {
    FRunFailed = true;
    return;
  }
  FOld.reset();
  if (!placed && !CommitOutput()) {
    FRunFailed = true;
    return;
  }
  FCommitted = true;
  DiscardOutput();
  ReportNewEntries();
  DeleteSources();
}

void TCompBase::ReadOnlyRun() {
  Byte err = 0;
  FOld = OpenOldInput(err);
  if (!FOld || err != 0) {
    if (err != 0) ReportError(TargetFile(), msg::ErrorOpeningFile);
    return;
  }
  if (!OnRead) {
    ReportError(ArchiveFile(), "OnRead", "0", msg::RequiredEventNotAssigned);
    return;
  }
  FOldSize = FOld->GetSize();
  TRunScope run(*this);
  run.Activate();
  if (FOldSize != 0 && LoadOldDirectory()) {
    for (std::size_t i = 0; i < FEntries.size() && !GetCancel(); ++i) {
      DescribeEntry(FEntries[i]);
      Fire(OnRead, FEntries[i].OldOffset, static_cast<int>(i));
      ProcessMessages();
    }
  }
}

// ---- gathering

bool TCompBase::Gather() {
  TvskFileScan scan;
  scan.SetFileSpec(FileSpec);
  // A name without a folder is looked for in the default folder, or the
  // current one, and below it; never from the root of the file system.
  scan.SetRootDir(DefaultDir);
  scan.Attributes = Attributes;
  if (StoreEmptySubDirs) scan.Attributes.Include(fsDirectory);
  scan.AttributesEx = AttributesEx;
  scan.RecurseDirs = RecurseDirs;
  scan.IncludeHiddenDirs = IncludeHiddenDirs;
  scan.OnScanFile = [this](TvskFileScan& s, const std::string& name, int count, double size) {
    if (GetCancel()) s.Cancel();
    Fire(OnFileScanStatus, name, count, size);
  };
  scan.OnRecurseDir = [this](TvskFileScan& s, const std::string& dir) {
    if (GetCancel()) s.Cancel();
    Fire(OnRecurseDir, dir);
  };
  scan.Scan();
  if (GetCancel()) return false;
  ProgressArchiveTotal = ProgressBytesLeft = scan.FilesSize();

  const TFilesList& list = scan.FilesList();
  // The folders of a move's sources are held from now on: what is deleted
  // at the end is deleted where it was found.
  if (Switch == swMove) {
    FRemover = std::make_unique<TSourceRemover>(DeleteOptions);
    for (int i = 0; i < list.Count(); ++i)
      if (!S_ISDIR(list[i].Mode))
        FRemover->Hold({list[i].FileName, list[i].DirDev, list[i].DirIno, {}, {}, list[i].Linked});
  }
  for (int i = 0; i < list.Count(); ++i) {
    if (GetCancel()) return false;
    const TFileObject& f = list[i];
    const bool dir = S_ISDIR(f.Mode);
    if (dir && (!StoreEmptySubDirs || DirHasEntries(f.FileName))) continue;
    // The run's own files (the archive, its scratch outputs) by the identity
    // the scan found; the open of each source checks again.
    if (IsOwnFile(f.Dev, f.Ino)) continue;
    std::string stored = ForwardSlashes(StoredName(f.FileName, f.BaseDir));
    while (!stored.empty() && stored[0] == '/' && StoredDirNames != sdAbsolute) stored.erase(0, 1);
    if (dir && !stored.empty() && stored.back() != '/') stored += '/';
    if (stored.empty() || stored == "/") continue;
    if (!ExcludeSpec.empty() && (IsExcluded(stored, f.BaseDir) || IsExcluded(PathFilePart(stored), f.BaseDir))) continue;
    if (stored.size() > kMaxNameLength) {
      ReportError(f.FileName, "name longer than 65535 bytes", "0", msg::MaxFileSizeExceeded);
      continue;
    }
    if (!dir && f.Size >= kMaxArchiveSize) {
      ReportError(f.FileName, "file of 4 GiB or more", "0", msg::MaxFileSizeExceeded);
      continue;
    }
    if (f.Time > static_cast<UInt32>(MaxFileDate)) MaxFileDate = static_cast<Int32>(f.Time);
    DecideFoundFile(f, stored, dir);
  }
  if (!FSomethingToDo) {
    ReportError(ArchiveFile(), msg::NothingToDo);
    return false;
  }
  return true;
}

void TCompBase::AppendFound(const TFileObject& F, const std::string& Stored, bool IsDir) {
  TCompEntry e;
  e.Name = Stored;
  e.FileName = F.FileName;
  e.IsDir = IsDir;
  e.FileSize = IsDir ? 0 : F.Size;
  e.FileTime = F.Time;
  e.FileAttr = F.Attr;
  e.FileMode = F.Mode;
  e.State = esCompress;
  const auto size = static_cast<UInt32>(e.FileSize);
  e.Times = {size, size, F.Time, F.Attr};
  NoteFound(e, F);
  FEntries.push_back(std::move(e));
  IndexName(static_cast<int>(FEntries.size() - 1));
  FSomethingToDo = true;
}

void TCompBase::DecideFoundFile(const TFileObject& F, const std::string& Stored, bool IsDir) {
  const auto size = static_cast<UInt32>(IsDir ? 0 : F.Size);
  const TNeutralHeader found{size, size, F.Time, F.Attr};
  const int i = FindName(Stored);
  if (i < 0) {
    if (Switch != swRefresh) AppendFound(F, Stored, IsDir);
    return;
  }
  // The same stored name twice in one run (two masks, or two folders with
  // sdNone) would give two entries of one name: the first one stands.
  if (FEntries[static_cast<std::size_t>(i)].State != esCopy) return;

  const TNeutralHeader old = FEntries[static_cast<std::size_t>(i)].Times;
  // Of the attributes only read-only and folder mean anything here: the
  // archive bit is never set by Unix archivers and hidden follows the name,
  // so comparing those would make every entry they wrote look changed.
  constexpr UInt32 kCompared = faReadOnly | faDirectory;
  const bool equal = old.UnpackedSize == found.UnpackedSize && SameDosTime(old.DosDateTime, found.DosDateTime) &&
                     (!FRunTraits.EntryAttributes || (old.Attributes & kCompared) == (F.Attr & kCompared));
  bool replace = false;
  if (!equal) {
    if (Switch == swRefresh) {
      replace = true;
    } else {
      const int attr = FRunTraits.EntryAttributes ? static_cast<int>(old.Attributes & 0xBF) : static_cast<int>(F.Attr);
      FireRequired(OnReplaceFile, "OnReplaceFile", FEntries[static_cast<std::size_t>(i)].Name, F.FileName,
                   ConvertDosDate(old.DosDateTime), ConvertDosDate(found.DosDateTime), old.UnpackedSize,
                   found.UnpackedSize, attr, static_cast<int>(F.Attr), replace);
    }
  } else if (Switch == swRefresh) {
    FSomethingToDo = true;
    return;
  }
  if (replace) {
    TCompEntry& e = FEntries[static_cast<std::size_t>(i)];
    e.Saved = {e.Name, e.RawName, e.Head, e.Times, e.IsDir};
    e.Replacing = Switch != swRefresh;
    e.Refreshing = Switch == swRefresh;
    e.FileName = F.FileName;
    e.IsDir = IsDir;
    e.FileSize = IsDir ? 0 : F.Size;
    e.FileTime = F.Time;
    e.FileAttr = F.Attr;
    e.FileMode = F.Mode;
    NoteFound(e, F);
    e.Times = found;
    e.State = esCompress;
    FSomethingToDo = true;
    return;
  }
  if (AskRenameDupe(i)) {
    ++FRenamed;
    AppendFound(F, Stored, IsDir);
  }
  FSomethingToDo = true;
}

bool TCompBase::AskRenameDupe(int Index) {
  if (!OnRenameDupeFile) {
    ReportError(ArchiveFile(), "OnRenameDupeFile", "0", msg::RequiredEventNotAssigned);
    return false;
  }
  TCompEntry& e = FEntries[static_cast<std::size_t>(Index)];
  for (int attempt = 0; attempt < 100 && !GetCancel(); ++attempt) {
    std::string newName = e.Name;
    bool rename = true;
    Fire(OnRenameDupeFile, e.Name, newName, rename);
    newName = ForwardSlashes(newName);
    if (!rename || newName.empty() || newName == e.Name) return false;
    if (FindName(newName) >= 0 || newName.size() > kMaxNameLength) continue;
    FNameIndex.erase(e.Name);
    e.NewName = newName;
    e.State = esRename;
    FNameIndex[newName] = Index;
    return true;
  }
  return false;
}

// ---- writing

void TCompBase::FlushCopy() {
  if (FPendingLen <= 0) return;
  const Int64 from = FPendingFrom, len = FPendingLen;
  FPendingFrom = -1;
  FPendingLen = 0;
  CopyFromOld(from, len);
}

bool TCompBase::CopyOldEntry(TCompEntry& E) {
  if (E.State != esCopy) return false;
  CopyKept(E);
  return true;
}

void TCompBase::CopyKept(TCompEntry& E) {
  const Int64 len = E.OldLength;
  E.NewOffset = OutputPosition();
  E.NewLength = len;
  CheckOutputLimit(E.NewOffset + len);
  if (FPendingLen > 0 && FPendingFrom + FPendingLen == E.OldOffset) {
    FPendingLen += len;
  } else {
    FlushCopy();
    FPendingAt = E.NewOffset;
    FPendingFrom = E.OldOffset;
    FPendingLen = len;
  }
}

void TCompBase::RestoreOldEntry(TCompEntry& E) {
  if (E.Name != E.Saved.Name) {
    FNameIndex.erase(E.Name);
    FNameIndex[E.Saved.Name] = static_cast<int>(&E - FEntries.data());
  }
  E.Name = E.Saved.Name;
  E.RawName = E.Saved.RawName;
  E.Head = E.Saved.Head;
  E.Times = E.Saved.Times;
  E.IsDir = E.Saved.IsDir;
  E.FileName.clear();
  E.Replacing = E.Refreshing = false;
  E.State = esCopy;
}

void TCompBase::WriteEntries() {
  FDropped = 0;
  if (FPrefixLength > 0) {
    FPendingAt = FOutput->Position();
    FPendingFrom = 0;
    FPendingLen = FPrefixLength;
  }
  // Worker threads deflate the coming entries while this thread writes;
  // they stop and are joined whenever the pass ends.
  FAheadOn = FRunTraits.DeflatesAhead && FRunDeflateType != dtDeflateS && EffectiveThreadCount(ThreadCount) > 1;
  FAheadNext = 0;
  struct TAheadEnd {
    std::unique_ptr<TDeflateAhead>& Ahead;
    ~TAheadEnd() { Ahead.reset(); }
  } aheadEnd{FAhead};
  try {
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
      if (GetCancel()) return;
      FilesProcessed = static_cast<Int32>(i + 1);
      QueueAhead(i);
      TCompEntry& e = FEntries[i];
      switch (e.State) {
        case esCompress: {
          FlushCopy();
          e.NewOffset = OutputPosition();
          const bool ok = CompressFile(e);
          if (GetCancel()) {
            --FilesProcessed;
            return;
          }
          if (ok) {
            e.NewLength = OutputPosition() - e.NewOffset;
            e.Added = true;
            ++FAdded;
            if (e.Replacing) {
              ++FDropped;
              Fire(OnDeleteFile, e.Saved.Name, FDropped, FMarkedForDelete);
            }
            if (Switch == swMove && !e.IsDir)
              FMoved.push_back({{e.FileName, e.SrcDirDev, e.SrcDirIno, e.SrcFound, e.SrcRead, e.SrcLinked}, e.Name});
          } else {
            FOutput->SetSize(e.NewOffset);
            FOutput->Seek(e.NewOffset, soBeginning);
            if (e.Replacing || e.Refreshing) {
              RestoreOldEntry(e);
              if (!CopyOldEntry(e)) {
                FRunFailed = true;
                return;
              }
            } else {
              e.State = esDrop;
            }
          }
          break;
        }
        case esCopy:
          if (!CopyOldEntry(e)) {
            FRunFailed = true;
            return;
          }
          break;
        case esDrop:
          ++FDropped;
          Fire(OnDeleteFile, e.Name, FDropped, FMarkedForDelete);
          break;
        case esRename:
          FlushCopy();
          e.NewOffset = OutputPosition();
          if (!CopyOldEntry(e)) {
            FRunFailed = true;
            return;
          }
          e.NewLength = OutputPosition() - e.NewOffset;
          CheckOutputLimit(e.NewOffset + e.NewLength);
          e.Name = e.NewName;
          break;
      }
      ProcessMessages();
    }
    FlushCopy();
  } catch (const EVskError&) {
    // Reported where it was raised: the output or the old archive failed.
    FRunFailed = true;
  }
}

void TCompBase::QueueAhead(std::size_t From) {
  if (!FAheadOn) return;
  if (FAhead) FAhead->Forget(From);
  FAheadNext = std::max(FAheadNext, From);
  for (; FAheadNext < FEntries.size(); ++FAheadNext) {
    const TCompEntry& e = FEntries[FAheadNext];
    if (!WillDeflate(e)) continue;
    const auto size = static_cast<Int64>(e.FileSize);
    if (!FAhead)
      FAhead = std::make_unique<TDeflateAhead>(EffectiveThreadCount(ThreadCount), FRunDeflateType, TempDir());
    if (!FAhead->HasRoom(size)) break;
    FAhead->Queue(FAheadNext, e.FileName, size);
  }
}

bool TCompBase::WillDeflate(const TCompEntry& E) const {
  return E.State == esCompress && !E.IsDir && E.FileSize > 0 && !InStoreList(E.FileName);
}

std::shared_ptr<TDeflatedEntry> TCompBase::TakeAhead(const TCompEntry& E, UInt64 Dev, UInt64 Ino) {
  if (!FAhead || FEntries.empty() || &E < FEntries.data() || &E >= FEntries.data() + FEntries.size()) return nullptr;
  // While the worker deflates the entry, its blocks are shown as the
  // writer's own loop would show them, once it is known to read this file.
  FAheadShown = 0;
  auto a = FAhead->Take(static_cast<std::size_t>(&E - FEntries.data()), [&](const TAheadProgress& P) {
    const Int64 done = P.Done.load(std::memory_order_acquire);
    if (done > FAheadShown && FEntrySize > kSmallFile && P.Dev.load(std::memory_order_relaxed) == Dev &&
        P.Ino.load(std::memory_order_relaxed) == Ino && P.StatSize.load(std::memory_order_relaxed) == FEntrySize) {
      while (FAheadShown < done && !GetCancel()) {
        const Int64 n = std::min<Int64>(done - FAheadShown, kIoChunk);
        FAheadShown += n;
        ProgressBytesLeft -= static_cast<double>(n);
        ProgressRoutine(FAheadShown);
      }
    }
    ProcessMessages();
    return !GetCancel();
  });
  // What the worker read must be the file opened here, at its size now.
  if (!a || a->Dev != Dev || a->Ino != Ino || a->StatSize != FEntrySize || a->Total < FEntrySize) {
    // The entry is done here after all, and shows its progress anew.
    ProgressBytesLeft += static_cast<double>(FAheadShown);
    FAheadShown = 0;
    return nullptr;
  }
  return a;
}

bool TCompBase::WriteAhead(TCompEntry& E, const TDeflatedEntry& A, TEntryResult& R) {
  FlushCopy();
  const Int64 in = A.Total, out = A.OutputSize();
  if (FEntrySize <= kSmallFile) {
    std::vector<Byte> data(static_cast<std::size_t>(out));
    if (!A.ReadOutput(0, data.data(), out)) {
      ReportError(E.FileName, msg::ErrorReadingFile);
      return false;
    }
    if (!data.empty()) EncryptAndWrite(-1, data.data(), true, static_cast<Int32>(out), kCrcNone, nullptr, R.Encrypted);
  } else {
    // Written in step with the input it stands for, with the progress the
    // deflating loop gives after each block of input.
    try {
      Int64 taken = 0, written = 0;
      while (taken < in) {
        if (GetCancel()) return false;
        const Int64 n = std::min<Int64>(in - taken, kIoChunk);
        taken += n;
        const Int64 upTo =
            taken == in ? out : static_cast<Int64>(static_cast<long double>(out) * taken / static_cast<long double>(in));
        while (written < upTo) {
          const Int32 m = static_cast<Int32>(std::min<Int64>(upTo - written, kIoChunk));
          if (!A.ReadOutput(written, FBuffer.data(), m)) {
            ReportError(E.FileName, msg::ErrorReadingFile);
            return false;
          }
          if (R.Encrypted) Crypt->EncryptZipBuffer(FBuffer.data(), static_cast<std::size_t>(m));
          FOutput->WriteBuffer(FBuffer.data(), m);
          written += m;
        }
        // Blocks shown while waiting for the worker are not shown twice.
        if (taken > FAheadShown) {
          ProgressBytesLeft -= static_cast<double>(n);
          ProgressRoutine(taken);
        }
      }
      if (GetCancel()) return false;
    } catch (const EStreamError& e) {
      ReportError(ArchiveFile(), e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
      throw E_RAISE(msg::ErrorWritingToFile);
    }
  }
  R.Uncompressed = in;
  R.Crc = A.Crc;
  R.Deflated = A.Deflated;
  if (FEntrySize <= kSmallFile) {
    ProgressBytesLeft -= static_cast<double>(in);
    ProgressRoutine(in);
  }
  return true;
}

bool TCompBase::AskRenameFile(TCompEntry& E) {
  if (!OnRenameFile || E.IsDir) return false;
  const int index = static_cast<int>(&E - FEntries.data());
  for (int attempt = 0; attempt < 100 && !GetCancel(); ++attempt) {
    std::string answer;
    Fire(OnRenameFile, E.Name, answer);
    const std::string part = PathFilePart(ForwardSlashes(answer));
    if (part.empty()) return false;
    const std::string candidate = PathFolderPart(E.Name) + part;
    if (candidate == E.Name) return false;
    if (FindName(candidate) >= 0 || candidate.size() > kMaxNameLength) continue;
    if (FindName(E.Name) == index) FNameIndex.erase(E.Name);
    E.Name = candidate;
    FNameIndex[candidate] = index;
    return true;
  }
  return false;
}

bool TCompBase::CompressFile(TCompEntry& E) {
  CurrentFileName = E.Name;
  bool extract = true;
  Fire(OnBegin, E.Name, static_cast<int>(FilesProcessed), extract);
  if (!extract || GetCancel()) return false;
  if (E.State != esRename) AskRenameFile(E);
  CurrentFileName = E.Name;
  E.NewOffset = OutputPosition();
  if (!WriteEntryData(E)) return false;
  if (FRunTraits.EndsAtFinish)
    FDeferredEnds.push_back(E.Name);
  else
    FinishEntry(E);
  return true;
}

void TCompBase::EndDeferred(bool Ok) {
  const std::vector<std::string> ended = std::move(FDeferredEnds);
  FDeferredEnds.clear();
  for (const auto& name : ended) Fire(OnEnd, name, Ok);
}

void TCompBase::EndDeferredAsFailed() {
  try {
    EndDeferred(false);
  } catch (...) {
  }
}

bool TCompBase::DeflateEntry(TCompEntry& E, const THeaderWriter& Header) {
  CurrentFileName = E.Name;
  if (E.RawName.size() > kMaxNameLength) {
    ReportError(E.FileName, "name longer than 65535 bytes", "0", msg::MaxFileSizeExceeded);
    return false;
  }
  TEntryResult r;
  Crc->Reset();
  if (E.IsDir) {
    Crc->Crc32 = 0;
    // A folder has no data: its started header is completed at once.
    Header(E, nullptr);
    FOutput->Seek(E.NewOffset, soBeginning);
    Header(E, &r);
    return true;
  }

  TSourceFile source;
  if (!OpenSourceFile(E.FileName, source)) return false;
  TFileStream32& src = *source.Stream;
  const struct stat& st = source.St;
  FEntrySize = source.Size();
  E.FileSize = static_cast<UInt64>(FEntrySize);
  E.FileMode = st.st_mode;
  const bool encrypt = !Password.empty() && FEntrySize > 0 && ArcTypeCanEncrypt(ArcType());
  const bool store = FEntrySize == 0 || FRunDeflateType == dtDeflateS || InStoreList(E.FileName);
  ProgressEntryTotal = FEntrySize;
  if (FBuffer.size() < static_cast<std::size_t>(kIoChunk)) FBuffer.resize(kIoChunk);

  // Deflated ahead: the worker's single reading gave both the data and the
  // CRC the encryption header carries.
  const std::shared_ptr<TDeflatedEntry> ahead = store || !FAhead ? nullptr : TakeAhead(E, st.st_dev, st.st_ino);
  if (FAhead && GetCancel()) return false;

  r.Text = LooksLikeText(src.Handle());
  Header(E, nullptr);
  const Int64 cutAt = OutputPosition();
  UInt32 headerCrc = 0;
  std::array<Byte, kZipEncryptionHeaderSize> encHead{};
  if (encrypt && ahead) {
    headerCrc = ahead->Crc;
    encHead = Crypt->MakeEncryptionHeader(Password, headerCrc);
    Write(encHead.data(), static_cast<Int64>(encHead.size()));
  } else if (encrypt) {
    // The encryption header carries the CRC, so the file is read twice.
    UInt32 c = 0xFFFFFFFFu;
    Int64 total = 0;
    for (;;) {
      if (GetCancel()) return false;
      const Int32 n = src.Read(FBuffer.data(), kIoChunk);
      if (n <= 0) break;
      UpdateCrc32(FBuffer.data(), static_cast<std::size_t>(n), c);
      total += n;
      ProcessMessages();
    }
    if (total < FEntrySize || src.Seek(0, soBeginning) != 0) {
      ReportError(E.FileName, msg::ErrorReadingFile);
      return false;
    }
    headerCrc = c ^ 0xFFFFFFFFu;
    encHead = Crypt->MakeEncryptionHeader(Password, headerCrc);
    Write(encHead.data(), static_cast<Int64>(encHead.size()));
  }
  r.Encrypted = encrypt;
  const Int64 dataAt = OutputPosition();
  // Deflated ahead into no fewer bytes than the file: stored at once.
  const bool storeAhead = ahead && ahead->Deflated && ahead->OutputSize() >= ahead->Total && ahead->Total > 0;
  if (storeAhead) {
    // The progress of the deflating pass, as the writer's own loop gives
    // it (blocks shown while waiting are not shown twice); then the stored
    // copy counts the file again.
    for (Int64 taken = 0; taken < ahead->Total;) {
      const Int64 n = std::min<Int64>(ahead->Total - taken, kIoChunk);
      taken += n;
      if (taken <= FAheadShown) continue;
      ProgressBytesLeft -= static_cast<double>(n);
      ProgressRoutine(taken);
    }
    ProgressBytesLeft += static_cast<double>(ahead->Total);
  }
  bool ok = store || storeAhead       ? CompressStored(E, src, r)
            : ahead                    ? WriteAhead(E, *ahead, r)
            : FEntrySize <= kSmallFile ? CompressSmall(E, src, r)
                                       : CompressDeflated(E, src, r);
  if (ok && r.Deflated && r.Uncompressed > 0 && OutputPosition() - dataAt >= r.Uncompressed)
    ok = StoreInstead(E, src, r, encrypt ? cutAt : dataAt, encrypt ? encHead.data() : nullptr);
  if (!ok) return false;
  NoteSourceRead(E, src.Handle(), st);
  if (encrypt && r.Crc != headerCrc) {
    // Changed between the two readings: the header's check byte is wrong.
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  const Int64 end = OutputPosition();
  r.Compressed = end - cutAt;
  if (static_cast<UInt64>(r.Uncompressed) >= FLimit || static_cast<UInt64>(r.Compressed) >= FLimit) {
    ReportError(E.FileName, "file of 4 GiB or more", "0", msg::MaxFileSizeExceeded);
    return false;
  }
  CheckOutputLimit(end);
  Crc->Crc32 = r.Crc;
  FOutput->Seek(E.NewOffset, soBeginning);
  Header(E, &r);
  FOutput->Seek(end, soBeginning);
  return true;
}

bool TCompBase::StoreInstead(TCompEntry& E, TStream32& Src, TEntryResult& R, Int64 CutAt, const Byte* Header) {
  FlushCopy();
  FOutput->SetSize(CutAt);
  FOutput->Seek(CutAt, soBeginning);
  if (Src.Seek(0, soBeginning) != 0) {
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  if (R.Encrypted && Header) {
    // The cipher starts afresh for the stored copy: the keys are set as
    // the header left them, and the header is written again.
    Crypt->InitZipKeys(Password);
    Byte plain[kZipEncryptionHeaderSize];
    std::memcpy(plain, Header, sizeof plain);
    Crypt->DecryptZipBuffer(plain, sizeof plain);
    Write(Header, kZipEncryptionHeaderSize);
  }
  // The file is read again: its bytes count again in the progress.
  ProgressBytesLeft += static_cast<double>(R.Uncompressed);
  const bool text = R.Text, encrypted = R.Encrypted;
  R = TEntryResult{};
  R.Text = text;
  R.Encrypted = encrypted;
  return CompressStored(E, Src, R);
}

bool TCompBase::CompressStored(TCompEntry& E, TStream32& Src, TEntryResult& R) {
  UInt32 c = 0xFFFFFFFFu;
  Int64 total = 0;
  for (;;) {
    if (GetCancel()) return false;
    const Int32 n = Src.Read(FBuffer.data(), kIoChunk);
    if (n <= 0) break;
    UpdateCrc32(FBuffer.data(), static_cast<std::size_t>(n), c);
    FlushCopy();
    EncryptAndWrite(-1, FBuffer.data(), true, n, kCrcNone, nullptr, R.Encrypted);
    total += n;
    ProgressBytesLeft -= n;
    ProgressRoutine(total);
  }
  if (GetCancel()) return false;
  if (total < FEntrySize) {
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  R.Uncompressed = total;
  R.Crc = c ^ 0xFFFFFFFFu;
  R.Deflated = false;
  return true;
}

bool TCompBase::CompressDeflated(TCompEntry& E, TStream32& Src, TEntryResult& R) {
  FlushCopy();
  Int64 total = 0;
  try {
    TCompressStream cs(*FOutput, FRunDeflateType, kRawDeflateBits, kCrc32);
    cs.CryptFlag = R.Encrypted;
    cs.Crypt = Crypt;
    cs.Cancel = CancelRef();
    cs.BytesLeft = &ProgressBytesLeft;
    int rc = cs.Error();
    while (rc == 0) {
      if (GetCancel()) return false;
      const Int32 n = Src.Read(FBuffer.data(), kIoChunk);
      if (n <= 0) break;
      if (cs.Write(FBuffer.data(), n) != n) {
        if (GetCancel()) return false;
        rc = cs.Error() ? cs.Error() : msg::DecompressionError;
        break;
      }
      total += n;
      ProgressRoutine(total);
    }
    if (rc == 0 && GetCancel()) return false;
    if (rc == 0 && total < FEntrySize) {
      ReportError(E.FileName, msg::ErrorReadingFile);
      return false;
    }
    if (rc == 0) rc = cs.Finish();
    if (rc != 0) {
      ReportError(E.FileName, rc);
      return false;
    }
    R.Crc = cs.FinalCrc();
  } catch (const EStreamError& e) {
    // The output failed: the run cannot go on.
    ReportError(ArchiveFile(), e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
    throw E_RAISE(msg::ErrorWritingToFile);
  }
  R.Uncompressed = total;
  R.Deflated = true;
  return true;
}

bool TCompBase::CompressSmall(TCompEntry& E, TStream32& Src, TEntryResult& R) {
  std::vector<Byte> data;
  for (;;) {
    const Int32 n = Src.Read(FBuffer.data(), kIoChunk);
    if (n <= 0) break;
    data.insert(data.end(), FBuffer.data(), FBuffer.data() + n);
  }
  if (static_cast<Int64>(data.size()) < FEntrySize) {
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  TMemoryStream32 packed;
  {
    TCompressStream cs(packed, FRunDeflateType, kRawDeflateBits, kCrcNone);
    if (cs.Error() != 0 || cs.Write(data.data(), static_cast<Int32>(data.size())) != static_cast<Int32>(data.size()) ||
        cs.Finish() != 0) {
      ReportError(E.FileName, cs.Error() ? cs.Error() : msg::DecompressionError);
      return false;
    }
  }
  R.Crc = Crc32Of(data.data(), data.size());
  R.Uncompressed = static_cast<Int64>(data.size());
  R.Deflated = packed.GetSize() < R.Uncompressed;
  std::vector<Byte> out;
  if (R.Deflated)
    out.assign(packed.Memory(), packed.Memory() + packed.GetSize());
  else
    out = std::move(data);
  FlushCopy();
  if (!out.empty()) EncryptAndWrite(-1, out.data(), true, static_cast<Int32>(out.size()), kCrcNone, nullptr, R.Encrypted);
  ProgressBytesLeft -= static_cast<double>(R.Uncompressed);
  ProgressRoutine(R.Uncompressed);
  return true;
}

// ---- after writing

void TCompBase::ReportNewEntries() {
  const bool allDropped =
      std::none_of(FEntries.begin(), FEntries.end(), [](const TCompEntry& e) { return e.State != esDrop; });
  if (allDropped && Switch == swDelete) return;
  PackedTotal = UnpackedTotal = 0;
  for (const auto& e : FEntries) {
    if (e.State == esDrop) continue;
    const TNeutralHeader& h = e.Times;
    PackedTotal += h.PackedSize;
    UnpackedTotal += h.UnpackedSize;
  }
  if (Switch == swDelete) return;
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const TCompEntry& e = FEntries[i];
    if (!e.Added || e.State == esDrop) continue;
    DescribeEntry(e);
    if (!Fire(OnRead, e.NewOffset, static_cast<int>(i))) return;
  }
}

void TCompBase::DeleteSources() {
  if (FMoved.empty()) return;
  std::vector<std::string> present;
  if (VerifyBeforeDelete) {
    present = ReadBackNames();
    std::sort(present.begin(), present.end());
  }
  if (!FRemover) FRemover = std::make_unique<TSourceRemover>(DeleteOptions);
  for (const auto& m : FMoved) {
    if (VerifyBeforeDelete && !std::binary_search(present.begin(), present.end(), m.Stored)) continue;
    const TMoveResult r = FRemover->Remove(m.Source);
    if (r != TMoveResult::mrDeleted) ReportError(m.Source.Path, TSourceRemover::Reason(r), "0", msg::ErrorDeletingFiles);
  }
  FMoved.clear();
  FRemover.reset();
}

// ---- comments without a run

int TCompBase::OpenOldArchive() {
  if (!Traits().Comments) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    return -1;
  }
  const TSwitch saved = Switch;
  ResetRun();
  Switch = swAdd;
  Byte err = 0;
  FOld = std::make_unique<TFileStream32>(ArchiveFile(), fmOpenRead | fmShareDenyWrite, err);
  bool ok = err == 0;
  if (ok) {
    FOldSize = FOld->GetSize();
    try {
      ok = FOldSize == 0 || LoadOldDirectory();
    } catch (...) {
      ok = false;
    }
  } else {
    ReportError(ArchiveFile(), msg::ErrorOpeningFile);
  }
  Switch = saved;
  if (!ok) {
    FOld.reset();
    FEntries.clear();
    FNameIndex.clear();
    return -1;
  }
  FLoadedForComments = true;
  return static_cast<int>(FEntries.size());
}

std::string TCompBase::GetArchiveComment() {
  if (!Traits().Comments) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    return {};
  }
  return FArchiveComment;
}

bool TCompBase::SetArchiveComment(const std::string& Comment) {
  if (!Traits().Comments) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    return false;
  }
  if (Comment.size() > kMaxNameLength) {
    ReportError(ArchiveFile(), "comment longer than 65535 bytes", "0", msg::MaxFileSizeExceeded);
    return false;
  }
  if (Comment == FArchiveComment) return true;
  FArchiveComment = Comment;
  FDirectoryModified = true;
  return true;
}

std::string TCompBase::GetEntryComment(int Index) {
  if (Index < 0 || Index >= static_cast<int>(FEntries.size())) return {};
  return FEntries[static_cast<std::size_t>(Index)].Comment;
}

bool TCompBase::SetEntryComment(int Index, const std::string& Comment) {
  if (!Traits().Comments) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    return false;
  }
  if (Index < 0 || Index >= static_cast<int>(FEntries.size())) return false;
  if (Comment.size() > kMaxNameLength) {
    ReportError(ArchiveFile(), "comment longer than 65535 bytes", "0", msg::MaxFileSizeExceeded);
    return false;
  }
  TCompEntry& e = FEntries[static_cast<std::size_t>(Index)];
  if (e.Comment == Comment) return true;
  e.Comment = Comment;
  FDirectoryModified = true;
  return true;
}

bool TCompBase::SaveDirectoryChanges() {
  if (!Traits().Comments) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    return false;
  }
  if (!FLoadedForComments || !FDirectoryModified || GetCancel()) return !GetCancel();
  if (!FOld) {
    ReportError(ArchiveFile(), msg::ErrorOpeningFile);
    return false;
  }
  bool ok = false;
  try {
    TTempFileStream out(fmCreate, ArchiveFile(), TempDir());
    if (out.Handle() < 0) {
      ReportError(ArchiveFile(), msg::ErrorCreatingFile);
    } else {
      FOutput = &out;
      OutputMode = kIoHeldStream;
      OutputStream = &out;
      // The entries stay where they are: everything in front of the old
      // directory is copied as it stands.
      const Int64 keep = FCentralPos >= 0 ? FCentralPos : FOldSize;
      CopyFromOld(0, keep);
      for (auto& e : FEntries) {
        e.NewOffset = e.OldOffset;
        e.NewLength = e.OldLength;
      }
      FinishArchive();
      FilesProcessed = static_cast<Int32>(FEntries.size());
      FOld.reset();
      out.Commit();
      ok = true;
    }
  } catch (const ECancelUnwind&) {
  } catch (const EVskError&) {
    ReportError(ArchiveFile(), msg::ErrorWritingToFile);
  }
  FOutput = nullptr;
  OutputStream = nullptr;
  FOld.reset();
  FLoadedForComments = false;
  FDirectoryModified = false;
  return ok;
}

}  // namespace vsk
