#include "archive/tools/arc2arc.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "archive/formats/tar/tarwriter.h"
#include "archive/tools/readers.h"
#include "archive/tools/runscratch.h"
#include "archive/tools/writers.h"
#include "archive/tools/zipcheck.h"
#include "archive/core/paths.h"
#include "platform/trash.h"
#include "base/textcase.h"
#include "base/paths.h"

namespace vsk {

namespace {

namespace fs = std::filesystem;

// The input types a reader is taken for.
constexpr TArcTypes ConvertibleTypes = ArcTypesWhere([](const TArcTypeRow& r) { return r.ConvertSource; });

std::string Absolute(const std::string& Name) {
  if (Name.empty()) return Name;
  std::error_code ec;
  const fs::path p = fs::absolute(fs::path(Name), ec);
  return ec ? Name : p.lexically_normal().string();
}

bool Exists(const std::string& Name) {
  struct stat st;
  return !Name.empty() && lstat(Name.c_str(), &st) == 0;
}

// The same file under whatever name (device and inode).
bool SameFile(const std::string& A, const std::string& B) {
  struct stat a, b;
  return !A.empty() && !B.empty() && stat(A.c_str(), &a) == 0 && stat(B.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

// Whether an existing output can be replaced: a file (not a folder) in a
// folder we may write to.
bool Replaceable(const std::string& Name) {
  struct stat st;
  if (lstat(Name.c_str(), &st) != 0) return true;
  if (S_ISDIR(st.st_mode)) return false;
  return access(ParentFolder(Name).c_str(), W_OK | X_OK) == 0;
}

// The outputs are the types the table marks as the converter's targets.
constexpr bool OutputsAreTheTargets() {
  TArcTypes outputs;
  for (TArcType t : ConverterOutputTypes) outputs.Include(t);
  return outputs.Count() == ConverterOutputTypes.size() &&
         outputs == ArcTypesWhere([](const TArcTypeRow& r) { return r.ConvertTarget; });
}
static_assert(OutputsAreTheTargets());

TArcType OutputArcType(TOutArcType Type) { return Type < ConverterOutputTypes.size() ? ConverterOutputTypes[Type] : atNA; }

std::unique_ptr<TCompBase> MakeOutputWriter(TOutArcType Type) {
  // A gzip-compressed tar is the tar writer with its gzip method.
  if (Type == tyTarGzip) {
    auto tar = std::make_unique<TTar>();
    tar->SetCompressMethod(cmTarGzip);
    return tar;
  }
  return MakeWriter(OutputArcType(Type));
}

// Removes everything below Folder without following links; Folder stays.
void RemoveContents(const std::string& Folder) {
  std::error_code ec;
  std::vector<fs::path> children;
  for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec)) children.push_back(it->path());
  for (const auto& child : children) {
    std::error_code rc;
    fs::remove_all(child, rc);
  }
}

}  // namespace

TArc2Arc::TArc2Arc() {
  ConfirmOverwrites = true;
  Attributes = TvskFileAttrs{fsReadOnly, fsHidden, fsSysFile, fsArchive};
  AttributesEx = TvskFileAttrs{};
  PasswordAttempts = 3;
  DateAttribute = daFileDate;
}

TArc2Arc::~TArc2Arc() = default;

std::string TArc2Arc::DerivedName(const std::string& Name, TOutArcType Type) {
  if (Type != tyTarGzip) return Name;
  if (EndsWithTextAscii(Name, ".tgz")) return Name.substr(0, Name.size() - 4) + ".tar";
  if (Name.size() > 7 && EndsWithTextAscii(Name, ".tar.gz")) return Name.substr(0, Name.size() - 3);
  return Name;
}

bool TArc2Arc::OutputTypeSupported(TOutArcType Type) {
  return ArcTypeRow(OutputArcType(Type)).ConvertTarget;
}

void TArc2Arc::Notice(const std::string& Text) {
  if (!ShowMessageHook) return;
  TTimerPause pause(Timer);
  ShowMessageHook(Text);
}

bool TArc2Arc::InsideTempFolder(const std::string& Path) const {
  if (FTempFolder.empty()) return false;
  const std::string normal = fs::path(Path).lexically_normal().string();
  const std::string root = FTempFolder + "/";
  return normal.size() > root.size() && normal.compare(0, root.size(), root) == 0;
}

bool TArc2Arc::Activate() {
  FWriterType = atNA;
  FConverted = false;
  if (ArchiveFile().empty() || !IsValidArcType(ArcType())) return false;

  // An output type without a writer is refused before anything is made.
  if (!OutputTypeSupported(OutArcType)) {
    ReportError(NewArchive, msg::UnsupportedArcType);
    return false;
  }
  if (NewArchive.empty()) {
    ReportError(NewArchive, msg::ErrorCreatingFile);
    return false;
  }

  *CancelRef() = false;
  // Everything the run makes in TempDir lies in one folder of its own; a
  // folder a killed run left there goes now.
  SweepRunFolders(TempDir());
  if (!FRunFolder.Make(TempDir())) {
    ReportError(TempDir(), msg::ErrorCreatingFile);
    return false;
  }
  FListFile = FRunFolder.Path() + "/list";
  FTempFolder.clear();
  FTempBare.clear();
  FTimerStarted = false;
  FEntryErrors = 0;
  FFailedEntries.clear();
  FConverted = false;

  std::exception_ptr failure;
  try {
    Convert();
  } catch (const ECancelUnwind&) {
  } catch (const E_RAISE&) {
    failure = std::current_exception();
  } catch (const std::bad_alloc&) {
    ReportError(ArchiveFile(), msg::OutOfMemory);
  } catch (const std::exception& e) {
    ReportError(ArchiveFile(), e.what(), "0", msg::ErrorWritingToFile);
  }
  if (FList.is_open()) FList.close();
  ::unlink(FListFile.c_str());
  FListFile.clear();
  FRunFolder.Remove();
  if (failure) std::rethrow_exception(failure);
  return FConverted;
}

void TArc2Arc::Convert() {
  // The output names: what the writer makes and what the run leaves.
  const std::string derived = DerivedName(NewArchive, OutArcType);
  if (OutArcType == tyTarGzip) NewArchive = derived + ".gz";

  std::unique_ptr<TCompBase> writer = MakeOutputWriter(OutArcType);
  writer->ShareCancel(CancelRef());
  writer->SetArchiveFile(Absolute(derived));
  FWriterType = writer->ArcType();
  FOutputFile = writer->ArchiveFile();
  FFinalFile = OutArcType == tyTarGzip ? Absolute(NewArchive) : FOutputFile;

  // The input is never written over, whether asked for by the same name or
  // another one leading to it.
  if (SameFile(ArchiveFile(), FOutputFile) || SameFile(ArchiveFile(), FFinalFile))
    RaiseError(ArchiveFile(), "", "0", msg::SameInputOutput);

  // An existing output is replaced only by a complete new archive: the
  // writer builds it aside and it takes the old one's place at the end.
  // For a tar.gz that is the ".gz": a tar beside it is no archive of the
  // run's and goes to the trash when the new one takes its name.
  bool replace = false;
  if (OutArcMethod == amCreateNew && Exists(FFinalFile)) {
    if (ConfirmOverwrites) {
      FOverwriteMode = omOverwrite;
      if (!OnFileExists) return;
      Relay(OnFileExists, *this, FFinalFile, FOverwriteMode);
      if (GetCancel() || FOverwriteMode == omSkip) return;
    }
    if (Replaceable(FFinalFile))
      replace = true;
    else
      Notice("File NOT deleted");
  }

  FOutputFolder = PathFolder(FFinalFile);
  if (!FOutputFolder.empty()) {
    std::error_code ec;
    fs::create_directories(FOutputFolder, ec);
  }
  // A staging folder a killed run left beside the output goes now.
  if (replace) SweepRunFolders(FOutputFolder);
  if (OnElapsedTime) {
    Timer.Start();
    FTimerStarted = true;
  }

  try {
    if (ExtractStep() && !GetCancel()) {
      const int added = CompressStep(*writer, replace);
      writer.reset();
      FConverted = added > 0 && !GetCancel() && !Failed();
      // Only an archive this run wrote is tested: an output left from before
      // must not pass for the conversion's result.
      if (added > 0 && !GetCancel()) IntegrityStep(FFinalFile, OutArcType);
    }
  } catch (...) {
    writer.reset();
    CleanUp();
    throw;
  }
  CleanUp();
}

bool TArc2Arc::ExtractStep() {
  if (!ConvertibleTypes.Contains(ArcType())) RaiseError(ArchiveFile(), "", "0", msg::UnsupportedArcType);
  std::unique_ptr<TUnBase> reader = MakeReader(ArcType());
  if (!reader) RaiseError(ArchiveFile(), "", "0", msg::UnsupportedArcType);
  TUnBase& r = *reader;
  r.ShareCancel(CancelRef());
  *CancelRef() = false;

  // The entries go to a folder of the run's own folder, beside the list.
  const std::string folder = FRunFolder.Path() + "/x";
  if (::mkdir(folder.c_str(), 0700) != 0) {
    ReportError(folder, msg::ErrorCreatingFile);
    *CancelRef() = true;
    return false;
  }
  FTempFolder = folder;
  FTempBare = PathFilePart(FRunFolder.Path()) + "/" + PathFilePart(folder) + "/";
  if (GetCancel()) return false;

  try {
    r.SetArchiveFile(ArchiveFile());
  } catch (const std::exception&) {
    ReportError(ArchiveFile(), msg::ErrorOpeningFile);
    *CancelRef() = true;
    return false;
  }
  r.SetZipCmntBufSize(32000);
  TReaderSettings settings = TReaderSettings::Shared(*this);
  settings.ExtractDir = FTempFolder;
  settings.UseStoredDirs = true;
  settings.DateAttribute = daFileDate;
  settings.FileSpec = FileSpec.empty() ? std::vector<std::string>{"*.*"} : FileSpec;
  settings.ApplyTo(r);
  r.OnError = CountingErrors();
  r.OnGetPassword = OnGetPassword;
  r.OnNextVolume = OnNextVolume;
  r.OnProgress = OnProgress;
  r.OnActivate = [this](TZipCommon& Sender) { ExtractActivate(Sender); };
  r.OnBegin = [this](TZipCommon& Sender, const std::string& FileName, int Count, bool& Extract) {
    if (FList.is_open()) FList << FileName << '\n';
    Relay(OnExtractBegin, Sender, FileName, Count, Extract);
  };
  r.OnEnd = [this](TZipCommon& Sender, const std::string& FileName, bool Pass) { ExtractEnd(Sender, FileName, Pass); };
  r.OnDeactivate = [this](TZipCommon& Sender) { ExtractDeactivate(Sender); };
  r.OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, std::string&, TOverwriteMode& Mode) {
    Relay(OnFileExists, Sender, FileName, Mode);
  };
  FNestedTar = false;
  FNestedTarFile.clear();
  // A reader that finds a tar inside its archive (the gzip reader) asks
  // whether to unpack it too.
  r.OnNestedTarFile = [this](TZipCommon& Sender, const std::string& FileName, bool& doUnTar) {
    Relay(OnNestedTarFile, Sender, FileName, doUnTar);
    FNestedTar = doUnTar;
    // The file the tar is being written to, so that it alone is removed.
    if (auto* inner = dynamic_cast<TUnBase*>(&Sender)) FNestedTarFile = inner->OutputName;
  };

  bool ok = true;
  FFailedEntries.clear();
  if (ArcTypeHasExtractor(r.ArcType())) {
    r.Extract();
    if (FNestedTar) RemoveIntermediateTar();
    RemoveFailedEntries();
  } else {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    *CancelRef() = true;
    ok = false;
  }
  Passwords = r.Passwords;
  return ok;
}

// The tar the gzip reader unpacked is not part of the content. It is known
// by the name it was written under: a name guessed from the archive's could
// be that of an unpacked file.
void TArc2Arc::RemoveIntermediateTar() {
  const std::string& name = FNestedTarFile;
  struct stat st;
  if (InsideTempFolder(name) && lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(name.c_str());
}

// What an entry that failed its check left is not packed: the new archive
// would give its damaged data a sound checksum, and its test would pass.
void TArc2Arc::RemoveFailedEntries() {
  for (const std::string& name : FFailedEntries) {
    struct stat st;
    if (InsideTempFolder(name) && lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(name.c_str());
  }
}

int TArc2Arc::CompressStep(TCompBase& Writer, bool Replace) {
  const std::string kept = NewArchive;
  std::string staging;
  TRunFolder stagingFolder;
  if (Replace) {
    // Beside the output, so that the new archive takes its place by a rename.
    if (!stagingFolder.Make(ParentFolder(FOutputFile))) {
      ReportError(FOutputFile, msg::ErrorCreatingFile);
      return 0;
    }
    staging = stagingFolder.Path();
    Writer.SetArchiveFile(staging + "/" + PathFilePart(FOutputFile));
  }
  Writer.ShareCancel(CancelRef());
  NewArchive = FOutputFile;
  Writer.DateAttribute = DateAttribute;
  Writer.ThreadCount = ThreadCount;
  Writer.RecurseDirs = true;
  Writer.Switch = swAdd;
  Writer.StoredDirNames = sdRelative;
  Writer.TranslateOemChar = TranslateOemChar;
  Writer.ExcludeSpec.clear();
  Writer.Attributes = Attributes;
  Writer.AttributesEx = AttributesEx;
  // Every folder of the content goes in, also those whose names begin with ".".
  Writer.IncludeHiddenDirs = true;
  Writer.SetTempDir(TempDir());
  Writer.FileSpec = {FTempFolder + "/*.*"};
  Writer.OnError = CountingErrors();
  Writer.OnProgress = OnProgress;
  Writer.OnActivate = [this](TZipCommon& Sender) { Relay(OnCompressActivate, Sender); };
  Writer.OnBegin = [this](TZipCommon& Sender, const std::string& FileName, int Count, bool& Extract) {
    Relay(OnCompressBegin, Sender, FileName, Count, Extract);
  };
  Writer.OnEnd = [this](TZipCommon& Sender, const std::string& FileName, bool Pass) {
    Relay(OnCompressEnd, Sender, FileName, Pass);
  };
  Writer.OnDeactivate = [this](TZipCommon& Sender) { Relay(OnCompressDeactivate, Sender); };
  Writer.OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, std::string&, TOverwriteMode& Mode) {
    Relay(OnFileExists, Sender, FileName, Mode);
  };
  TTar* tar = dynamic_cast<TTar*>(&Writer);
  if (tar)
    tar->OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, TDateTime, TOverwriteMode& Mode) {
      Relay(OnFileExists, Sender, FileName, Mode);
    };

  const std::string built = Writer.ArchiveFile();
  const bool tarGz = tar && OutArcType == tyTarGzip;
  int result = Writer.Compress();
  NewArchive = kept;
  // What the run leaves: for a tar.gz the ".gz" must have been written.
  if (tarGz && !tar->GzipWritten()) result = 0;

  if (!staging.empty() && result > 0 && Failed()) {
    // Entries were lost on the way: the output the user had stays.
    ReportError(FFinalFile, "entries failed: the existing file was kept", "0", msg::ErrorWritingToFile);
    Notice("File NOT deleted");
    result = 0;
  }
  if (!staging.empty()) {
    if (result > 0 && tarGz) {
      // The ".gz" first, the archive the run leaves; then its tar, which
      // sends an existing file of that name to the trash.
      const std::string builtGz = built + ".gz";
      if (std::rename(builtGz.c_str(), FFinalFile.c_str()) != 0) {
        ReportError(FFinalFile, msg::ErrorWritingToFile);
        Notice("File NOT deleted");
        result = 0;
      } else if (Exists(built) && ((Exists(FOutputFile) && !MoveToTrash(FOutputFile)) ||
                                   std::rename(built.c_str(), FOutputFile.c_str()) != 0)) {
        ReportError(FOutputFile, msg::ErrorDeletingFiles);
      }
    } else if (result > 0 && Exists(built) && std::rename(built.c_str(), FOutputFile.c_str()) != 0) {
      ReportError(FOutputFile, msg::ErrorWritingToFile);
      Notice("File NOT deleted");
    }
    stagingFolder.Remove();
  }
  return result;
}

void TArc2Arc::IntegrityStep(const std::string& File, TOutArcType Type) {
  if (!IntegrityCheck || !OnIntegrityStatus) return;
  TZipCheck t;
  t.UseStoredDirs = true;
  try {
    t.SetArchiveFile(File);
  } catch (const std::exception&) {
    ReportError(File, msg::ErrorOpeningFile);
    return;
  }
  t.Passwords = Passwords;
  t.FileSpec = {"*.*"};
  t.SetTempDir(TempDir());
  t.ThreadCount = ThreadCount;
  t.OnError = OnError;
  t.OnGetPassword = OnGetPassword;
  t.OnProgress = OnProgress;
  t.OnNextVolume = OnNextVolume;
  t.OnActivate = [this](TZipCommon& Sender) { Relay(OnIntegrityActivate, Sender); };
  t.OnDeactivate = [this](TZipCommon& Sender) { Relay(OnIntegrityDeactivate, Sender); };
  t.OnEnd = [this](TZipCommon& Sender, const std::string& FileName) { Relay(OnIntegrityEnd, Sender, FileName); };
  t.OnStatus = [this](TZipCommon& Sender, const std::string& FileName, bool Pass) {
    Relay(OnIntegrityStatus, Sender, FileName, Pass);
  };
  t.OnBegin = [this](TZipCommon& Sender, const std::string& FileName, int, bool&) {
    Relay(OnIntegrityBegin, Sender, FileName);
  };
  if (Type == tyTarGzip)
    t.OnNestedTarFile = [this](TZipCommon& Sender, const std::string& FileName, bool& doUnTar) {
      Relay(OnNestedTarFile, Sender, FileName, doUnTar);
      FNestedTar = doUnTar;
    };
  if (ArcTypeHasExtractor(t.ArcType())) {
    t.ShareCancel(CancelRef());
    t.Activate();
  } else {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
  }
}

TZipCommon::TOnError TArc2Arc::CountingErrors() {
  return [this](TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                const std::string& VolumeID, int ECode) {
    if (ECode != msg::UserCanceled) ++FEntryErrors;
    if (OnError) OnError(Sender, FileName, ExtendedMsg, VolumeID, ECode);
  };
}

bool TArc2Arc::Failed() const { return FEntryErrors > 0 || !FFailedEntries.empty(); }

void TArc2Arc::ExtractActivate(TZipCommon& Sender) {
  if (FList.is_open()) FList.close();
  FList.clear();
  FList.open(FListFile, std::ios::out | std::ios::trunc | std::ios::binary);
  Relay(OnExtractActivate, Sender);
}

void TArc2Arc::ExtractEnd(TZipCommon& Sender, const std::string& FileName, bool CRC_PASS) {
  if (!CRC_PASS) FFailedEntries.push_back(FileName);
  if (OnExtractEnd) {
    Relay(OnExtractEnd, Sender, FileName, CRC_PASS);
  } else if (!CRC_PASS) {
    // Without the relay's handler the failed check would go unreported.
    ReportError(FileName, msg::CrcFailed);
  }
}

void TArc2Arc::ExtractDeactivate(TZipCommon& Sender) {
  if (FList.is_open()) FList.close();
  Relay(OnExtractDeactivate, Sender);
}

void TArc2Arc::CleanUp() {
  if (FList.is_open()) FList.close();
  if (!FTempFolder.empty()) {
    std::ifstream list(FListFile, std::ios::binary);
    std::string line;
    while (std::getline(list, line)) {
      if (line.empty()) continue;
      if (OnRemoveTempfile) Relay(OnRemoveTempfile, *this, line);
      // Only what lies inside the temporary folder is ever deleted.
      struct stat st;
      if (InsideTempFolder(line) && lstat(line.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(line.c_str());
    }
    list.close();
    // Folders and anything a reader left unlisted.
    RemoveContents(FTempFolder);
  }
  if (FTimerStarted) {
    Timer.Stop();
    FTimerStarted = false;
    if (OnElapsedTime) Relay(OnElapsedTime, *this, Timer.Elapsed());
  }
  if (!FTempFolder.empty()) {
    if (::rmdir(FTempFolder.c_str()) == 0) {
      if (OnRemoveTempfile) Relay(OnRemoveTempfile, *this, FTempBare);
    } else {
      std::error_code ec;
      fs::remove_all(FTempFolder, ec);
    }
    FTempFolder.clear();
  }
}

}  // namespace vsk
