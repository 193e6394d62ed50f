// Batch jobs: the batch dialog runs one operation over many files with its
// own archive components; this file does the work on each file and writes
// its log line. A failure of one file is logged with the library's text
// and the run goes on with the next.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "app/dialogs/batchdlg.h"
#include "app/main/components.h"
#include "app/main/contentlist.h"
#include "app/main/folders.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/runprogram.h"
#include "app/main/setaside.h"
#include "app/main/settings.h"
#include "app/main/tarquestions.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "base/messages.h"
#include "archive/tools/readers.h"
#include "platform/dynlib.h"
#include "base/paths.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

// The converter's type and the output's extension of the format choices
// (bh, cab, gz, jar, lha, lzh, tar, zip).
constexpr vsk::TOutArcType kConvertTypes[] = {vsk::tyBh,  vsk::tyCab, vsk::tyTarGzip, vsk::tyJar,
                                              vsk::tyLzh, vsk::tyLzh, vsk::tyTar,     vsk::tyZip};
constexpr const char* kConvertExtensions[] = {".bh", ".cab", ".tar", ".jar", ".lha", ".lzh", ".tar", ".zip"};
constexpr const char* kCreateExtensions[] = {".bh", ".cab", ".gz", ".jar", ".lha", ".lzh", ".tar", ".zip"};

// One batch run: its components, the flags their events set, and the
// outputs it made.
class TBatchJobs {
 public:
  TBatchJobs(TfmMain& Main, TfmBatch& Dialog);
  TBatchLines Run(const std::string& File);

 private:
  TBatchLines Test(const std::string& File);
  TBatchLines VirusScan(const std::string& File);
  TBatchLines Convert(const std::string& File);
  TBatchLines Extract(const std::string& File);
  TBatchLines Create(const std::string& File);
  TBatchLines Add(const std::string& File);
  TBatchLines MakeSFX(const std::string& File);
  // The add worker: the number of files written into Archive.
  int AddToArchive(const std::string& Archive, const std::vector<std::string>& Entries,
                   vsk::TStoredDirNames StoredDirNames, int Level);
  vsk::TCompBase* WriterFor(const std::string& Archive);
  // The reader of File's type with the file set, or null.
  std::unique_ptr<vsk::TUnBase> ReaderFor(const std::string& File);
  void ConnectReader(vsk::TUnBase& Reader);
  // Extracts every entry with its stored folders and dates; Ask: existing
  // files are asked about and attributes restored, else overwritten.
  int ExtractAll(vsk::TUnBase& Reader, const std::string& Folder, bool Ask);
  void ConnectWriter(vsk::TCompBase& Writer);
  // The result's name: the source's name with its extension folded into
  // it, in the chosen output folder or beside the source.
  std::string OutputBase(const std::string& File) const;
  // Whether an existing Output may be replaced: asks unless overwriting
  // without asking.
  bool MayOverwrite(const std::string& Output, bool AutoOverwrite) const;
  // The error text to add to a log line ("" without one).
  std::string Why() const { return FError.empty() ? std::string() : " (" + FError + ")"; }
  void Failed(int ECode, const std::string& FileName);
  // Runs Body with the readers' entry events collected into a result.
  TRunResult Collecting(const std::function<void()>& Body, const vsk::TZipCommon& Cancels);
  // The log line's account of what a run left out ("" when nothing).
  static std::string LeftOut(const TRunResult& Result);

  TfmMain& FMain;
  TfmBatch& FDialog;
  vsk::TVorsk vskVorsk;
  vsk::TZipCheck vskZipCheck;
  vsk::TArc2Arc vskArc2Arc;
  TArchiveComponents Components;
  vsk::TMakeSFX vskMakeSFX;
  bool FFailed = false;
  bool FOverwriteAll = false;
  std::string FError;
  std::set<std::string> FMade;
  TRunResult* FResult = nullptr;
};

TBatchJobs::TBatchJobs(TfmMain& Main, TfmBatch& Dialog) : FMain(Main), FDialog(Dialog) {
  for (vsk::TZipCommon* c :
       std::initializer_list<vsk::TZipCommon*>{&vskVorsk, &vskZipCheck, &vskArc2Arc, &vskMakeSFX})
    c->ThreadCount = Options.ThreadCount;
  for (vsk::TCompBase* w : Components.Writers()) w->ThreadCount = Options.ThreadCount;
  auto progress = [this](vsk::TZipCommon&, vsk::Byte ByFile, vsk::Byte) { FDialog.SetCurrentProgress(ByFile); };
  auto error = [this](vsk::TZipCommon& S, const std::string& F, const std::string& X, const std::string&, int ECode) {
    if (FResult && dynamic_cast<const vsk::TUnBase*>(&S)) FResult->NoteError(S, F, X, ECode);
    Failed(ECode, F);
  };
  vskZipCheck.OnProgress = progress;
  vskZipCheck.OnError = error;
  // A file whose data fails its check fails the archive's test.
  vskZipCheck.OnStatus = [this](vsk::TZipCommon&, const std::string& F, bool Pass) {
    if (!Pass) Failed(vsk::msg::CrcFailed, F);
  };
  vskZipCheck.OnCorruptZipHeader = [this](vsk::TZipCommon&, vsk::Byte, bool& Cancel) {
    FFailed = true;
    if (FError.empty()) FError = msgtext::kBatchHeaderDamaged;
    Cancel = false;
  };
  vskZipCheck.OnNestedTarFile = FMain.vskZipCheck.OnNestedTarFile;
  vskZipCheck.OnGetPassword = [this](vsk::TZipCommon& S, const std::string& F, std::string& P, bool& T) {
    FMain.vskUnZipGetPassword(S, F, P, T);
  };
  vskZipCheck.OnNextVolume = FMain.vskZipCheck.OnNextVolume;
  vskArc2Arc.OnProgress = progress;
  vskArc2Arc.OnError = error;
  vskArc2Arc.OnExtractEnd = [this](vsk::TZipCommon& S, const std::string& F, bool Pass) {
    if (FResult) FResult->NoteEnd(S, F, Pass);
    if (!Pass) Failed(vsk::msg::CrcFailed, F);
  };
  // An encrypted input asks for its password as the tester does.
  vskArc2Arc.OnGetPassword = vskZipCheck.OnGetPassword;
  vskArc2Arc.OnNestedTarFile = [](vsk::TZipCommon&, const std::string&, bool& D) { D = true; };
  vskArc2Arc.OnFileExists = [this](vsk::TZipCommon& S, const std::string& F, vsk::TOverwriteMode& Mode) {
    if (IsTarNameQuestion(S, F)) {
      Mode = FOverwriteAll ? vsk::omOverwrite : AskTarNameReplace(F);
      return;
    }
    Mode = FOverwriteAll || MessageDlg(msgtext::kConvFilename + F + "\r\r" + msgtext::kConvOverwrite, mtInformation,
                                       mbYesNo) != mrNo
               ? vsk::omOverwrite
               : vsk::omSkip;
  };
  vskArc2Arc.OnNextVolume = FMain.vskZipCheck.OnNextVolume;
  vskVorsk.OnError = [](vsk::TZipCommon&, const std::string&, const std::string&, const std::string&, int) {};
  for (vsk::TCompBase* w : Components.Writers()) ConnectWriter(*w);
  // The gzip step asks before it replaces an existing file.
  auto& gzip = Components.WriterAs<vsk::TGZip>();
  gzip.OnFileExists = [this](vsk::TZipCommon& S, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
    if (FOverwriteAll)
      M = vsk::omOverwrite;
    else
      FMain.vskGZipFileExists(S, F, M);
  };
  Components.WriterAs<vsk::TTar>().OnFileExists =
      [this](vsk::TZipCommon& S, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
        if (FOverwriteAll)
          M = vsk::omOverwrite;
        else
          AskTarFileExists(S, F, M);
      };
  vskMakeSFX.SetSfxStubDir(vsk::ProgramDataDir());
  vskMakeSFX.OnError = error;
  vskMakeSFX.OnFileExists = [this](vsk::TZipCommon&, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
    M = FOverwriteAll || MessageDlg(F + msgtext::kBatchExeExists, mtConfirmation, mbYesNo) != mrNo ? vsk::omOverwrite
                                                                                                 : vsk::omSkip;
  };
  // Messages of the builder become the file's log line, not a dialog.
  vskMakeSFX.ShowMessageHook = [this](const std::string& Text) {
    FFailed = true;
    if (FError.empty()) FError = Text;
  };
}

void TBatchJobs::Failed(int ECode, const std::string& FileName) {
  FFailed = true;
  if (!FError.empty()) return;
  const char* text = vsk::MessageText(ECode);
  FError = text ? text : "error " + std::to_string(ECode);
  if (!FileName.empty()) FError += ": " + FileName;
}

TRunResult TBatchJobs::Collecting(const std::function<void()>& Body, const vsk::TZipCommon& Cancels) {
  TRunResult result;
  FResult = &result;
  try {
    Body();
  } catch (...) {
    FResult = nullptr;
    throw;
  }
  FResult = nullptr;
  result.Finish(Cancels.GetCancel());
  return result;
}

std::string TBatchJobs::LeftOut(const TRunResult& Result) {
  if (Result.Cancelled) return vsk::MessageText(vsk::msg::UserCanceled);
  return Result.Failed() ? msgtext::kBatchLeftOut + LeftOutNames(Result, "; ", 10) : std::string();
}

void TBatchJobs::ConnectReader(vsk::TUnBase& R) {
  R.OnProgress = vskZipCheck.OnProgress;
  R.OnError = vskZipCheck.OnError;
  R.OnEnd = [this](vsk::TZipCommon& S, const std::string& F, bool Pass) {
    if (FResult) FResult->NoteEnd(S, F, Pass);
    if (!Pass) Failed(vsk::msg::CrcFailed, F);
  };
  R.OnFileExists = [this](vsk::TZipCommon& S, const std::string& F, std::string& N, vsk::TOverwriteMode& M) {
    FMain.vskUnZipFileExists(S, F, N, M);
  };
  R.OnGetPassword = vskZipCheck.OnGetPassword;
  R.OnNestedTarFile = [](vsk::TZipCommon&, const std::string&, bool& D) { D = true; };
  R.OnCorruptZipHeader = [this](vsk::TZipCommon&, vsk::Byte HeadFlag, bool& Cancel) {
    if (HeadFlag & (vsk::kZipCentralFound | vsk::kZipEndFound)) return;
    FFailed = true;
    if (FError.empty()) FError = msgtext::kBatchHeaderDamaged;
    Cancel = true;
  };
  R.OnNextVolume = FMain.vskZipCheck.OnNextVolume;
  R.OnGetZipFirstDisk = FMain.vskVorsk.OnGetZipFirstDisk;
  R.OnGetZipLastDisk = FMain.vskVorsk.OnGetZipLastDisk;
  R.OnGetZipNextDisk = FMain.vskVorsk.OnGetZipNextDisk;
}

void TBatchJobs::ConnectWriter(vsk::TCompBase& W) {
  using vsk::TZipCommon;
  W.OnProgress = vskZipCheck.OnProgress;
  W.OnError = vskZipCheck.OnError;
  W.OnReplaceFile = [this](TZipCommon& S, const std::string& F, const std::string& N, vsk::TDateTime D,
                           vsk::TDateTime ND, vsk::UInt32 Size, vsk::UInt32 NSize, int A, int NA,
                           bool& R) { FMain.vskZipReplaceFile(S, F, N, D, ND, Size, NSize, A, NA, R); };
  W.OnRenameDupeFile = [this](TZipCommon& S, const std::string& F, std::string& N, bool& R) {
    if (FOverwriteAll) {
      R = false;
      return;
    }
    FMain.vskZipRenameDupeFile(S, F, N, R);
  };
  W.OnNonWriteableArchive = [this](TZipCommon& S, const std::string& A, bool& Write) {
    FMain.vskZipNonWriteableArchive(S, A, Write);
  };
  W.OnInsertDisk = [this](TZipCommon&, const std::string&, bool& Cancel) {
    ShowError(msgtext::kInsufficientSpace);
    Failed(vsk::msg::DiskFull, {});
    Cancel = true;
  };
  W.OnDiskInDrvErr = [this](TZipCommon& S, bool& Abort) { FMain.vskZipDiskInDrvErr(S, Abort); };
  W.OnDiskWriteProtectErr = [this](TZipCommon& S, bool& Abort) { FMain.vskZipDiskWriteProtectErr(S, Abort); };
  W.OnGetPassword = vskZipCheck.OnGetPassword;
}

std::string TBatchJobs::OutputBase(const std::string& File) const {
  const std::string folded = UnderscoreExtName(File);
  std::string folder = FDialog.OutputFolder();
  // "The same folder" of an archive in the program's temporary folder is
  // one that outlasts the run.
  if (folder.empty()) folder = FMain.ArchiveFolderToOffer(File) + "/";
  return folder + PathFilePart(folded);
}

bool TBatchJobs::MayOverwrite(const std::string& Output, bool AutoOverwrite) const {
  if (AutoOverwrite) return true;
  return MessageDlg(msgtext::kBatchOverwriteStart + ("\"" + Output + "\"") + msgtext::kBatchOverwriteEnd,
                    mtConfirmation, mbYesNo) != mrNo;
}

std::unique_ptr<vsk::TUnBase> TBatchJobs::ReaderFor(const std::string& File) {
  try {
    vskVorsk.SetArchiveFile(File);
  } catch (const std::exception&) {
    return nullptr;
  }
  std::unique_ptr<vsk::TUnBase> reader = vsk::MakeReader(vskVorsk.ArcType());
  if (!reader) return nullptr;
  ConnectReader(*reader);
  try {
    reader->SetArchiveFile(File);
  } catch (const std::exception& e) {
    FError = e.what();
    return nullptr;
  }
  return reader;
}

int TBatchJobs::ExtractAll(vsk::TUnBase& Reader, const std::string& Folder, bool Ask) {
  Reader.SetExtractDir(Folder);
  Reader.UseStoredDirs = true;
  Reader.CreateStoredDirs = true;
  Reader.DateAttribute = vsk::daFileDate;
  Reader.ConfirmOverwrites = Ask;
  if (!Ask) Reader.OverwriteMode = vsk::omOverwrite;
  Reader.RestoreFileAttr = Ask;
  Reader.FileSpec = {"*.*"};
  Reader.RecurseDirs = true;
  return Reader.Extract();
}

TBatchLines TBatchJobs::Run(const std::string& File) {
  FFailed = false;
  FError.clear();
  FMain.FSkipExisting = false;
  FMain.FReplaceAll = 0;
  switch (FDialog.Operation()) {
    case boTest: return Test(File);
    case boVirusScan: return VirusScan(File);
    case boConvert: return Convert(File);
    case boExtract: return Extract(File);
    case boCreate: return Create(File);
    case boAdd: return Add(File);
    case boMakeSFX: return MakeSFX(File);
    default: return {false, File + " ::: " + msgtext::kSfxNotAvailable, File};
  }
}

TBatchLines TBatchJobs::MakeSFX(const std::string& File) {
  const std::string target = OutputBase(File) + ".exe";
  const std::string progress = File + " -> " + target;
  if (!IsFile(File)) return {false, File + " ::: ERROR: Source file missing", progress};
  bool activated = false;
  try {
    vskMakeSFX.SetArchiveFile(File);
    vskMakeSFX.SetTargetFile(target);
    activated = vskMakeSFX.Activate();
  } catch (const std::exception& e) {
    // An unreadable archive: the builder could not take it.
    FFailed = true;
    if (FError.empty()) FError = e.what();
  }
  if (!activated) return {false, target + " ::: ERROR: Unable to create" + Why(), progress};
  if (FFailed) return {false, target + " ::: ERROR" + Why(), progress};
  return {false, target + " ::: Created", progress};
}

TBatchLines TBatchJobs::Test(const std::string& File) {
  const std::string progress = File + " - Tested";
  if (!IsFile(File)) return {false, File + " ::: ERROR: File missing", progress};
  vskZipCheck.FileSpec = {"*.*"};
  vskZipCheck.RecurseDirs = true;
  bool testable = false;
  try {
    vskZipCheck.SetArchiveFile(File);
    testable = vsk::ArcTypeHasExtractor(vskZipCheck.ArcType());
  } catch (const std::exception&) {
  }
  if (!testable) {
    Failed(vsk::msg::UnsupportedArcType, {});
  } else {
    vskZipCheck.Activate();
    if (vskZipCheck.GetCancel()) Failed(vsk::msg::UserCanceled, {});
  }
  if (FFailed) return {false, ">> " + File + " ::: FAILED <<" + Why(), progress};
  return {false, File + " ::: Passed", progress};
}

TBatchLines TBatchJobs::VirusScan(const std::string& File) {
  const std::string progress = File + " - Scanned";
  if (!IsFile(File)) return {false, File + " ::: File missing", progress};
  const std::string error = File + " ::: ERROR: Unable to scan for virus";
  const std::string folder = GetTempFolderName();
  if (folder.empty()) return {false, error, progress};
  std::unique_ptr<vsk::TUnBase> reader = ReaderFor(File);
  std::string failure;
  TRunResult result;
  if (!reader) {
    Failed(vsk::msg::UnsupportedArcType, {});
  } else {
    result = Collecting([&] { ExtractAll(*reader, folder, false); }, *reader);
    // Whatever could be extracted is scanned; with nothing out there is
    // nothing to scan.
    if (result.Written() > 0 || result.Complete())
      failure = FMain.ScanFolder(folder, Options.RunMinimized ? kShowMinimized : kShowNormal);
    else
      failure = msgtext::kBatchNothingScanned;
  }
  DeleteFolderTree(folder);
  if (!failure.empty()) FError = failure + (result.Complete() ? std::string() : "; " + LeftOut(result));
  if (!reader || !failure.empty()) return {false, error + Why(), progress};
  // An entry that never came out was never scanned: the line says which.
  if (!result.Complete()) return {false, File + msgtext::kBatchPartlyScanned + LeftOut(result), progress};
  return {false, File + " ::: Archive scanned", progress};
}

TBatchLines TBatchJobs::Convert(const std::string& File) {
  const int format = FDialog.FormatIndex();
  const std::string output = OutputBase(File) + kConvertExtensions[format];
  const vsk::TOutArcType type = kConvertTypes[format];
  const std::string shown = type == vsk::tyTarGzip ? vsk::TArc2Arc::DerivedName(output, type) + ".gz" : output;
  const std::string progress = File + " -> " + shown;
  if (!IsFile(File)) return {false, File + " ::: ERROR: Source file missing", progress};
  if (FMade.count(shown)) return {false, File + msgtext::kBatchSameOutput + shown, progress};
  FOverwriteAll = FDialog.ckAutoOverwrite->isChecked();
  TSetAside replaced;
  const bool existed = IsFile(shown);
  if (existed) {
    if (!MayOverwrite(shown, FOverwriteAll)) return {true, {}, {}};
    if (!replaced.Take(shown)) return {false, shown + " ::: ERROR (" + msgtext::kBatchNotReplaced + ")", progress};
  }
  bool compressed = false;
  vskArc2Arc.OnCompressDeactivate = [&](vsk::TZipCommon&) { compressed = true; };
  vskArc2Arc.NewArchive = output;
  vskArc2Arc.OutArcType = type;
  vskArc2Arc.OutArcMethod = vsk::amCreateNew;
  vskArc2Arc.IntegrityCheck = false;
  vskArc2Arc.DateAttribute = vsk::daFileDate;
  const TConvertTarStep tarStep(output, type);
  const TRunResult result = Collecting(
      [&] {
        try {
          vskArc2Arc.SetArchiveFile(File);
          vskArc2Arc.Activate();
        } catch (const std::exception& e) {
          if (!FFailed) {
            FFailed = true;
            FError = e.what();
          }
        }
      },
      vskArc2Arc);
  tarStep.Clean();
  if (vskArc2Arc.GetCancel()) Failed(vsk::msg::UserCanceled, {});
  // The entries' own reasons, by their names in the archive; an entry left
  // out fails the conversion whatever else was reported.
  if (result.Failed() || result.Cancelled) {
    FFailed = true;
    FError = LeftOut(result);
  }
  if (!FFailed && (!compressed || !IsFile(shown))) Failed(vsk::msg::ErrorCreatingFile, {});
  if (FFailed) {
    // No half-made output stays; an older one comes back.
    std::error_code ec;
    if (!existed) fs::remove(shown, ec);
    replaced.Restore();
    return {false, shown + " ::: ERROR" + Why(), progress};
  }
  replaced.Discard();
  FMade.insert(shown);
  // The source goes only once its conversion is complete.
  std::error_code ec;
  if (FDialog.ckDeleteSource->isChecked() && !SameFile(File, shown) && !fs::remove(File, ec))
    return {false, shown + " ::: ERROR: Created, but unable to delete original file", progress};
  return {false, shown + " ::: Created", progress};
}

TBatchLines TBatchJobs::Extract(const std::string& File) {
  const std::string folder = OutputBase(File);
  const std::string progress = File + " -> " + folder + "/";
  if (!IsFile(File)) return {false, File + " ::: File missing", progress};
  if (FMade.count(folder)) return {false, File + msgtext::kBatchSameOutput + folder + "/", progress};
  std::error_code ec;
  fs::create_directories(folder, ec);
  std::unique_ptr<vsk::TUnBase> reader = ReaderFor(File);
  if (!reader || !fs::is_directory(folder, ec)) {
    if (!reader && FError.empty()) Failed(vsk::msg::UnsupportedArcType, {});
    return {false, File + " ::: ERROR: Unable to extract" + Why(), progress};
  }
  const int count = ExtractAll(*reader, folder, true);
  FMade.insert(folder);
  if (reader->GetCancel()) Failed(vsk::msg::UserCanceled, {});
  if (FFailed) return {false, File + " ::: ERROR: Unable to extract" + Why(), progress};
  return {
      false,
      File + " -> " + folder + "/ ::: " + std::to_string(count) + (count > 1 ? " files extracted" : " file extracted"),
      progress};
}

TBatchLines TBatchJobs::Create(const std::string& File) {
  const std::string archive = OutputBase(File) + kCreateExtensions[FDialog.FormatIndex()];
  const std::string progress = File + " -> " + archive;
  if (!IsFile(File)) return {false, File + " ::: File missing", progress};
  // Two inputs whose names fold alike (a.txt and a_txt) never share one
  // archive: the second is refused.
  if (FMade.count(archive)) return {false, File + " -> " + archive + msgtext::kBatchSameOutput + archive, progress};
  FOverwriteAll = FDialog.ckAutoOverwrite->isChecked();
  TSetAside replaced;
  if (IsFile(archive)) {
    if (!MayOverwrite(archive, FOverwriteAll)) return {true, {}, {}};
    if (!replaced.Take(archive))
      return {false, File + " -> " + archive + " ::: ERROR: Unable to create (" + msgtext::kBatchNotReplaced + ")",
              progress};
  }
  const int count = AddToArchive(archive, {File}, vsk::sdNone, 0);
  if (count <= 0 && !FFailed) Failed(vsk::msg::ErrorCreatingFile, {});
  if (FFailed || !IsFile(archive)) {
    replaced.Restore();
    return {false, File + " -> " + archive + " ::: ERROR: Unable to create" + Why(), progress};
  }
  replaced.Discard();
  FMade.insert(archive);
  std::error_code ec;
  if (FDialog.ckDeleteSource->isChecked() && !fs::remove(File, ec))
    return {false, File + " -> " + archive + " ::: ERROR: Created, but failed to delete source file", progress};
  return {false, File + " -> " + archive + " ::: Created", progress};
}

TBatchLines TBatchJobs::Add(const std::string& File) {
  const std::string progress = File + " - Files added";
  if (!IsFile(File)) return {false, File + " ::: ERROR: File missing", progress};
  FOverwriteAll = FDialog.ckAddAutoOverwrite->isChecked();
  FMain.FReplaceAll = FOverwriteAll ? 1 : 0;
  const vsk::TStoredDirNames dirs =
      FDialog.ckAddSaveFullPath->isChecked() ? vsk::sdAbsoluteNoDrv : vsk::sdExplorer_Auto;
  const int count = AddToArchive(File, FDialog.AddFiles(), dirs, FDialog.cbAddCompression->currentIndex());
  if (count <= 0 && !FFailed) Failed(vsk::msg::NothingToDo, {});
  if (FFailed) return {false, File + " ::: ERROR: Unable to add to archive" + Why(), progress};
  return {false, File + " ::: Files added", progress};
}

vsk::TCompBase* TBatchJobs::WriterFor(const std::string& Archive) {
  return Components.WriterToMake(WriterTypeForName(Archive, false));
}

int TBatchJobs::AddToArchive(const std::string& ArchiveName, const std::vector<std::string>& Entries,
                             vsk::TStoredDirNames StoredDirNames, int Level) {
  std::string archive = ArchiveName;
  if (vsk::PathExtension(archive).empty()) archive += ".zip";
  vsk::TCompBase* writer = WriterFor(archive);
  if (!writer) {
    FFailed = true;
    FError = msgtext::kCompressNotSupported;
    return 0;
  }
  if (Entries.empty()) return 0;
  for (vsk::TvskFileAttr a :
       {vsk::fsZeroAttr, vsk::fsArchive, vsk::fsDirectory, vsk::fsHidden, vsk::fsReadOnly, vsk::fsSysFile}) {
    writer->SetAttribute(a, true);
    writer->SetAttributeEx(a, false);
  }
  writer->RecurseDirs = false;
  writer->Switch = vsk::swAdd;
  writer->StoredDirNames = StoredDirNames;
  writer->DateAttribute = vsk::daFileDate;
  static const vsk::TDeflateType kTypes[] = {vsk::dtDeflateX, vsk::dtDeflateN, vsk::dtDeflateF, vsk::dtDeflateS};
  if (Level >= 0 && Level < 4) {
    if (writer->CompressMethod() == vsk::cmStore) writer->SetCompressMethod(vsk::cmDeflate);
    writer->DeflateType = kTypes[Level];
  } else if (dynamic_cast<vsk::TZip*>(writer)) {
    // Without a level the zip writer and its jar kind store.
    writer->SetCompressMethod(vsk::cmStore);
    writer->DeflateType = vsk::dtDeflateN;
  }
  std::vector<std::string> files;
  for (const std::string& e : Entries) {
    if (e.find("*.*") != std::string::npos)
      CountFilesInTree(ParentFolder(e), files);
    else
      files.push_back(e);
  }
  writer->FileSpec = files;
  writer->ExcludeSpec.clear();
  writer->StoreEmptySubDirs = false;
  writer->SetArchiveFile(archive);
  const int count = writer->Compress();
  if (writer->GetCancel()) Failed(vsk::msg::UserCanceled, {});
  return count;
}

}  // namespace

void TfmMain::acBatchExecute(int Tag) {
  if (!ExitCheckoutCheck()) return;
  if (Tag == boVirusScan && (Options.AVProduct == 0 || Options.VirusScanner.empty())) {
    ShowInformation(msgtext::kConfigureScanner);
    return;
  }
  TfmBatch dlg(this);
  dlg.SetUp(Tag);
  dlg.WebAddress = kProductHomePage;
  TBatchJobs jobs(*this, dlg);
  dlg.OnRunFile = [&jobs](const std::string& File) { return jobs.Run(File); };
  UI().ShowModal(dlg);
  FSkipExisting = false;
  FReplaceAll = 0;
  if (Tag == boAdd && IsFile(vskVorsk.ArchiveFile())) RefreshList(vskVorsk.ArchiveFile());
}

}  // namespace brevane
