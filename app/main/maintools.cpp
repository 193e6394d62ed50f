// The main window's tool commands: testing an archive and repairing a
// damaged ZIP archive, with their reports in the output window.

#include <QCoreApplication>
#include <QDir>
#include <QCheckBox>
#include <QFontMetrics>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <filesystem>

#include <QDesktopServices>
#include <QUrl>

#include "app/components/opendialog.h"
#include "app/dialogs/password.h"
#include "app/dialogs/tooldialogs.h"
#include "app/main/contentlist.h"
#include "app/main/folders.h"
#include "app/main/runprogram.h"
#include "app/main/setaside.h"
#include "app/main/tarquestions.h"
#include "app/main/settings.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/program.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "base/messages.h"
#include "base/textcase.h"

namespace brevane {

namespace fs = std::filesystem;

using vsk::AsciiLowerCase;

namespace {

// Every regular file below Folder, hidden ones too, in name order; linked
// folders are not entered.
std::vector<std::string> FilesBelow(const std::string& Folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Which file a name leads to at one moment: a file written anew (or
// renamed into place) differs from the one there before in inode or
// status-change time.
struct TFileIdentity {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  timespec Changed{};
  bool Same(const TFileIdentity& Other) const {
    return Exists && Other.Exists && Device == Other.Device && Inode == Other.Inode &&
           Changed.tv_sec == Other.Changed.tv_sec && Changed.tv_nsec == Other.Changed.tv_nsec;
  }
};

TFileIdentity IdentityOf(const std::string& Name) {
  TFileIdentity id;
  struct stat st;
  if (Name.empty() || ::stat(Name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return id;
  id.Exists = true;
  id.Device = st.st_dev;
  id.Inode = st.st_ino;
  id.Changed = st.st_ctim;
  return id;
}

// Name with the temporary folder it lies in taken off its front, as the
// converter's clean-up is shown: the first occurrence, in any case.
std::string WithoutTempDir(const std::string& Name, std::string TempDir) {
  while (TempDir.size() > 1 && TempDir.back() == '/') TempDir.pop_back();
  if (TempDir.empty()) return Name;
  const std::string at = AsciiLowerCase(Name), dir = AsciiLowerCase(TempDir);
  const auto pos = at.find(dir);
  if (pos == std::string::npos) return Name;
  std::size_t end = pos + dir.size();
  if (end < Name.size() && Name[end] == '/') ++end;
  return Name.substr(0, pos) + Name.substr(end);
}

}  // namespace

void TfmMain::ConnectToolCommands() {
  connect(acTest, &QAction::triggered, this, &TfmMain::acTestExecute);
  connect(acRepair, &QAction::triggered, this, &TfmMain::acRepairExecute);
  connect(acVirusScan, &QAction::triggered, this, &TfmMain::acVirusScanExecute);
  connect(acInstall, &QAction::triggered, this, &TfmMain::acInstallExecute);
  connect(acRenameArchive, &QAction::triggered, this, &TfmMain::acRenameArchiveExecute);
  connect(acPassword, &QAction::triggered, this, &TfmMain::acPasswordExecute);
  connect(acUUencode, &QAction::triggered, this, &TfmMain::acUUencodeExecute);
  connect(acConvert, &QAction::triggered, this, &TfmMain::acConvertExecute);
  vskArc2Arc.OnExtractActivate = [this](vsk::TZipCommon& S) {
    ShowRunStatus(QString::fromUtf8(msgtext::kConvExtracting));
    OutputLine(":: Current Archive: " + S.ArchiveFile());
  };
  vskArc2Arc.OnExtractBegin = [this](vsk::TZipCommon&, const std::string& F, int Count, bool&) {
    ShowRunStatus(QString::fromUtf8(msgtext::kExtractingPrefix), F);
    OutputLine("> (" + std::to_string(Count) + ") Extracting: " + F);
  };
  vskArc2Arc.OnExtractEnd = [this](vsk::TZipCommon& Sender, const std::string& F, bool Pass) {
    if (FRunResult) FRunResult->NoteEnd(Sender, F, Pass);
    ShowRunStatus(QString());
    // Told once the run is over, with the other entries left out.
    if (!Pass) ++FConvertErrors;
  };
  vskArc2Arc.OnExtractDeactivate = [this](vsk::TZipCommon&) { OutputLine("> Extraction Completed."); };
  vskArc2Arc.OnCompressActivate = [this](vsk::TZipCommon&) {
    ShowRunStatus(QString::fromUtf8(msgtext::kConvCompressing));
    OutputLine(":: New Archive: " + vskArc2Arc.NewArchive);
  };
  vskArc2Arc.OnCompressBegin = [this](vsk::TZipCommon&, const std::string& F, int Count, bool&) {
    ShowRunStatus(QString::fromUtf8(msgtext::kCompressingPrefix), F);
    OutputLine("> (" + std::to_string(Count) + ") Compressing: " + F);
  };
  vskArc2Arc.OnCompressEnd = [this](vsk::TZipCommon&, const std::string&, bool) { ShowRunStatus(QString()); };
  vskArc2Arc.OnCompressDeactivate = [this](vsk::TZipCommon&) {
    FConvertCompressed = true;
    OutputLine("> Compression Completed.");
  };
  vskArc2Arc.OnIntegrityActivate = [this](vsk::TZipCommon&) {
    FIntegrityCount = 0;
    ShowRunStatus(QString::fromUtf8(msgtext::kConvChecking));
    OutputLine(":: Checking Integrity: " + vskArc2Arc.NewArchive);
  };
  vskArc2Arc.OnIntegrityBegin = [this](vsk::TZipCommon&, const std::string& F) {
    ShowRunStatus(QString::fromUtf8(msgtext::kConvVerifying), F, 45);
  };
  vskArc2Arc.OnIntegrityStatus = [this](vsk::TZipCommon&, const std::string& F, bool Pass) {
    if (!Pass) FTestFailed = true;
    OutputLine("> (" + std::to_string(++FIntegrityCount) + ") Testing: " + F +
               (Pass ? msgtext::kPassed : msgtext::kFailed));
  };
  vskArc2Arc.OnIntegrityEnd = [this](vsk::TZipCommon&, const std::string&) { ShowRunStatus(QString()); };
  vskArc2Arc.OnIntegrityDeactivate = [this](vsk::TZipCommon&) {
    FConvertChecked = true;
    OutputLine("> Integrity Check Completed.");
  };
  vskArc2Arc.OnFileExists = [](vsk::TZipCommon& S, const std::string& F, vsk::TOverwriteMode& Mode) {
    if (IsTarNameQuestion(S, F)) {
      Mode = AskTarNameReplace(F);
      return;
    }
    Mode = MessageDlg(msgtext::kConvFilename + F + "\r\r" + msgtext::kConvOverwrite, mtInformation, mbYesNo) == mrNo
               ? vsk::omSkip
               : vsk::omOverwrite;
  };
  vskArc2Arc.OnRemoveTempfile = [this](vsk::TZipCommon&, const std::string& F) {
    const std::string name = WithoutTempDir(F, vskArc2Arc.TempDir());
    ShowRunStatus(QString::fromUtf8(msgtext::kConvRemoving), name, 56);
    OutputLine("> Removing: " + name);
  };
  vskArc2Arc.OnNestedTarFile = [this](vsk::TZipCommon& S, const std::string& F, bool& D) {
    vskUnGZIPNestedTarFile(S, F, D);
  };
  vskArc2Arc.OnProgress = [this](vsk::TZipCommon& S, vsk::Byte F, vsk::Byte A) { vskUnZipProgress(S, F, A); };
  // An encrypted input asks for its password as extraction does; a wrong
  // one is forgotten.
  vskArc2Arc.OnGetPassword = [this](vsk::TZipCommon& S, const std::string& F, std::string& P, bool& T) {
    vskUnZipGetPassword(S, F, P, T);
  };
  vskArc2Arc.OnError = [this](vsk::TZipCommon& Sender, const std::string& F, const std::string& X,
                              const std::string&, int ECode) {
    ++FConvertErrors;
    if (ECode == vsk::msg::InvalidPassword) FPassword.clear();
    // The entries of the input are the inner reader's; the other errors
    // are the run's, named without the program's temporary folder. All
    // are told in one message when the run is over.
    if (!FRunResult) return;
    if (dynamic_cast<const vsk::TUnBase*>(&Sender)) {
      FRunResult->NoteError(Sender, F, X, ECode);
    } else if (ECode != vsk::msg::UserCanceled) {
      const char* text = vsk::MessageText(ECode);
      const std::string name = WithoutTempDir(F, vskArc2Arc.TempDir());
      FRunResult->NoteRunError((text && *text ? std::string(text) : "Error " + std::to_string(ECode)) +
                               (name.empty() ? std::string() : " (" + name + ")"));
    }
  };
  vskArc2Arc.ShowMessageHook = [](const std::string& Text) { ShowInformation(Text); };
  vskUUEncode.OnError = [this](vsk::TZipCommon& S, const std::string& F, const std::string& M, const std::string& V,
                               int C) { vskVorskError(S, F, M, V, C); };
  vskUUEncode.OnProgress = [this](vsk::TZipCommon& S, vsk::Byte F, vsk::Byte A) { vskUnZipProgress(S, F, A); };
  vskUUEncode.OnFileExists = [this](vsk::TZipCommon& S, const std::string& F, vsk::TDateTime,
                                    vsk::TOverwriteMode& M) { vskGZipFileExists(S, F, M); };
  connect(acAbout, &QAction::triggered, this, [] { ShowInformation(msgtext::kAboutText); });
  connect(acHelpUsage, &QAction::triggered, this, [] { ShowInformation(msgtext::kHelpNextRelease); });
  // A web address goes to the desktop as it is: made into a file name it
  // would name a local file.
  if (!OpenUrl)
    OpenUrl = [](const std::string& Url) {
      const std::string opener = FindProgram("xdg-open");
      if (!opener.empty()) return QProcess::startDetached(QString::fromStdString(opener), {QString::fromStdString(Url)});
      return QDesktopServices::openUrl(QUrl(QString::fromStdString(Url)));
    };
  connect(acHomepage, &QAction::triggered, this, [this] {
    if (OpenUrl) OpenUrl(kProductHomePage);
  });
  vskZipCheck.OnActivate = [this](vsk::TZipCommon& Sender) {
    OutputLine(msgtext::kTestingArchive + Sender.ArchiveFile());
  };
  vskZipCheck.OnBegin = [this](vsk::TZipCommon&, const std::string& FileName, int, bool&) {
    ShowRunStatus(QString::fromUtf8(msgtext::kVerifying), FileName);
  };
  vskZipCheck.OnStatus = [this](vsk::TZipCommon& Sender, const std::string& FileName, bool Pass) {
    if (FRunResult) FRunResult->NoteEnd(Sender, FileName, Pass);
    if (!Pass) FTestFailed = true;
    OutputLine(msgtext::kTestingFile + FileName + (Pass ? msgtext::kPassed : msgtext::kFailed));
  };
  vskZipCheck.OnCorruptZipHeader = [this](vsk::TZipCommon&, vsk::Byte HeadFlag, bool& Cancel) {
    if (!(HeadFlag & vsk::kZipLocalFound)) OutputLine(msgtext::kLocalHeaderError);
    if (!(HeadFlag & (vsk::kZipCentralFound | vsk::kZipEndFound))) OutputLine(msgtext::kHeaderError);
    OutputLine(">");
    if (FRunResult) FRunResult->NoteRunError(vsk::MessageText(vsk::msg::BadFileHeader));
    FTestFailed = true;
    Cancel = false;
  };
  // Errors that are no verdict of a file (a damaged header, an archive
  // that ends early) fail the test too, and say why.
  vskZipCheck.OnError = [this](vsk::TZipCommon& Sender, const std::string& FileName, const std::string& Extended,
                               const std::string&, int ECode) {
    if (FRunResult) FRunResult->NoteError(Sender, FileName, Extended, ECode);
    if (ECode == vsk::msg::UserCanceled) return;
    FTestFailed = true;
    const char* text = vsk::MessageText(ECode);
    OutputLine(std::string(msgtext::kTestError) + (text ? text : std::to_string(ECode)) +
               (FileName.empty() ? std::string() : " (" + PathFilePart(FileName) + ")"));
  };
  vskZipCheck.OnNestedTarFile = [](vsk::TZipCommon&, const std::string& FileName, bool& doUnTar) {
    if (MessageDlg(msgtext::kNestedTarFile + FileName + "\r\r" + msgtext::kVerifyNestedTar, mtInformation, mbYesNo) ==
        mrYes)
      doUnTar = true;
  };
  vskZipCheck.OnNextVolume = [](vsk::TZipCommon&, std::string& VolumeName, const std::string& VolumeID,
                                bool fExists, bool& Cancel) {
    Cancel = false;
    if (fExists) return;
    std::string answer = VolumeName;
    if (UI().InputQuery(PathFilePart(VolumeName), "Volume ID: " + VolumeID, answer))
      VolumeName = answer;
    else
      Cancel = true;
  };
  // A spanned input asks for its volumes as the tester does.
  vskArc2Arc.OnNextVolume = vskZipCheck.OnNextVolume;
  // The tester went on into the tar inside a gzip file: that is what it tests now.
  vskZipCheck.OnChangeArchive = [this](vsk::TZipCommon&, const std::string& ArchiveName, vsk::TArcType) {
    vskZipCheck.SetArchiveFile(ArchiveName);
  };
  vskZipCheck.OnDeactivate = [this](vsk::TZipCommon& Sender) {
    ShowRunStatus(Sender.GetCancel() ? QString::fromUtf8(msgtext::kTestingCanceled) : QString());
  };
  vskZipCheck.OnProgress = [this](vsk::TZipCommon& S, vsk::Byte F, vsk::Byte A) { vskUnZipProgress(S, F, A); };
  vskZipCheck.OnGetPassword = [this](vsk::TZipCommon& S, const std::string& F, std::string& P, bool& T) {
    vskUnZipGetPassword(S, F, P, T);
  };
  vskZipCheck.OnGetZipFirstDisk = vskVorsk.OnGetZipFirstDisk;
  vskZipCheck.OnGetZipLastDisk = vskVorsk.OnGetZipLastDisk;
  vskZipCheck.OnGetZipNextDisk = vskVorsk.OnGetZipNextDisk;
  ZipFix.OnFileFound = [this](vsk::TZipFix&, const std::string& FileName, bool Ok) {
    ++FRepairFound;
    if (Ok) ++FRepairGood;
    OutputLine("> " + (FileName.empty() ? std::string("?? filename ??") : FileName) +
               (Ok ? "\t ... seems to be OK" : "\t ... is corrupted"));
  };
  ZipFix.OnFileUnchecked = [this](vsk::TZipFix&, const std::string& FileName) {
    ++FRepairFound;
    ++FRepairUnchecked;
    OutputLine("> " + FileName + "\t ... kept, its data could not be checked");
  };
}

void TfmMain::acTestExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  CmdTest(vskVorsk.ArchiveFile());
}

TRunResult TfmMain::CmdTest(const std::string& ArchiveName) {
  CurrentWriter = nullptr;
  CurrentReader = &vskZipCheck;
  StartProgress();
  if (FInteractive) {
    SetSimplePanel(true);
    SetLedColor(kLedBusy);
    ApplicationBusy();
  }
  ClearOutput();
  vskZipCheck.FileSpec = {"*.*"};
  vskZipCheck.RecurseDirs = true;
  try {
    vskZipCheck.SetArchiveFile(ArchiveName);
  } catch (const std::exception&) {
    // An unreadable file has no type: refused below.
  }
  bool ran = false, cancelled = false;
  TRunResult result;
  if (vsk::ArcTypeHasExtractor(vskZipCheck.ArcType())) {
    FTestFailed = false;
    FRunResult = &result;
    vskZipCheck.Activate();
    FRunResult = nullptr;
    ran = true;
    cancelled = vskZipCheck.GetCancel() || FCancelTask;
    result.Finish(cancelled);
  }
  EndProgress();
  if (FInteractive) {
    SetSimplePanel(false);
    SetLedColor(kLedIdle);
    ApplicationWaiting();
  }
  if (!ran) {
    ShowError(vsk::MessageText(vsk::msg::UnsupportedArcType));
    return result;
  }
  // What failed before a cancel is shown; a cancelled test found no
  // verdict on the rest.
  if (FTestFailed && fmViewOutput) UI().ShowModal(*fmViewOutput);
  if (cancelled)
    ShowInformation(vsk::MessageText(vsk::msg::UserCanceled));
  else if (!FTestFailed)
    ShowInformation(msgtext::kNoErrorsFound);
  if (FTestFailed && !result.Failed()) result.NoteRunError(vsk::MessageText(vsk::msg::BadFileHeader));
  return result;
}

void TfmMain::acRepairExecute() {
  TOpenDialog& d = odgOpen();
  d.Filter = msgtext::kZipArchivesFilter;
  d.FilterIndex = 1;
  d.DefaultExt = ".zip";
  d.SetTitle(msgtext::kSelectZipToRepair);
  d.Options = {ofHideReadOnly, ofPathMustExist, ofFileMustExist};
  d.FileName.clear();
  d.InitialDir = QDir::currentPath().toStdString();
  if (!d.Execute() || d.FileName.empty()) return;
  CmdRepair(d.FileName);
}

bool TfmMain::CmdRepair(const std::string& ArchiveName) {
  std::error_code ec;
  const std::string source = fs::absolute(ArchiveName, ec).lexically_normal().string();
  TSaveDialog& d = sdgSave();
  d.SetTitle(msgtext::kSaveRepairedAs);
  d.Options = {ofOverwritePrompt, ofPathMustExist, ofHideReadOnly};
  d.Filter = msgtext::kZipArchivesFilter;
  d.FilterIndex = 1;
  d.DefaultExt = "zip";
  d.InitialDir = ParentFolder(source);
  const std::string name = PathFilePart(source);
  const auto dot = name.find_last_of('.');
  d.FileName = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + "_fixed.zip";
  if (!d.Execute() || d.FileName.empty()) return false;
  const std::string target = fs::absolute(d.FileName, ec).lexically_normal().string();

  FRepairFound = FRepairGood = FRepairUnchecked = 0;
  ClearOutput();
  OutputLine(":: REPAIR ZIP ARCHIVE ::");
  OutputLine("> Source File : " + source);
  OutputLine("> Fixed File  : " + target);
  OutputLine(">");
  raise();
  activateWindow();
  const bool existed = fs::exists(target, ec);
  int kept = 0;
  try {
    kept = ZipFix.FixFile(source, target);
  } catch (const std::exception& e) {
    OutputLine(std::string("> ") + e.what());
  }
  // Nothing kept: the empty file made for it goes; a file that was there
  // before is left as it was.
  if (kept == 0 && !existed) fs::remove(target, ec);
  OutputLine(">");
  OutputLine("> " + std::to_string(FRepairGood) + " out of " + std::to_string(FRepairFound) +
             " files were recovered.");
  if (FRepairUnchecked > 0 && kept > 0)
    OutputLine("> " + std::to_string(FRepairUnchecked) + " more were kept without a check of their data.");
  if (fmViewOutput) UI().ShowModal(*fmViewOutput);
  return kept > 0;
}

void TfmMain::acVirusScanExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  CmdVirusScan(vskVorsk.ArchiveFile());
}

std::string TfmMain::ScanFolder(const std::string& Folder, int ShowCommand) {
  const std::string& folder = Folder;
  // Every name is an argument of its own, never part of a text that is
  // split again, so no file name can change what the scanner is told.
  std::vector<std::vector<std::string>> runs;
  if (!Options.Parameters.empty()) {
    std::vector<std::string> args = SplitParameters(Options.Parameters);
    for (std::string& a : args)
      for (std::size_t at = 0; (at = AsciiLowerCase(a).find("*.*", at)) != std::string::npos; at += folder.size() + 4)
        a.replace(at, 3, folder + "/*.*");
    runs.push_back(std::move(args));
  } else {
    // A list too long for one start is scanned in as many starts as needed.
    const std::size_t budget = ScanArgumentBudget ? ScanArgumentBudget : ArgumentBudget();
    runs = SplitArgumentRuns(FilesBelow(folder), budget);
  }
  std::string failure;
  for (const auto& args : runs) {
    const auto status = RunProgramAndWait(Options.VirusScanner, args, ShowCommand);
    if (!status) {
      failure = msgtext::kScannerNotStarted + Options.VirusScanner;
      break;
    }
    if (*status != 0 && failure.empty())
      failure = msgtext::kScannerFailed + std::to_string(*status) + msgtext::kScannerFailedEnd;
  }
  return failure;
}

void TfmMain::ReportScan(TRunResult& Result, const std::string& Failure, bool Scanned, const std::string& Archive) {
  if (!Failure.empty()) {
    ShowError(Failure);
  } else {
    bool isError = false;
    const std::string text = ScanResultText(Result, Scanned, isError);
    if (isError)
      ShowError(text);
    else
      ShowInformation(text);
  }
  if (!Result.Cancelled && Result.Failed()) ShowLeftOut(Result, msgtext::kScanLeftOutTitle + Archive);
  if (!Failure.empty()) Result.NoteRunError(Failure);
  if (!Scanned) Result.NoteRunError(msgtext::kScanNotDone);
}

TRunResult TfmMain::CmdVirusScan(const std::string& ArchiveName) {
  if (ArchiveName.empty()) return {};
  if (Options.AVProduct == 0 || Options.VirusScanner.empty()) {
    ShowInformation(msgtext::kConfigureScanner);
    return {};
  }
  try {
    vskVorsk.SetArchiveFile(ArchiveName);
  } catch (const std::exception&) {
  }
  CurrentWriter = nullptr;
  const std::string folder = GetTempFolderName();
  if (folder.empty()) {
    ShowError(msgtext::kScanFolderFailed);
    return {};
  }
  vsk::TUnBase* reader = ChooseReader(ArchiveName);
  if (!reader) {
    DeleteFolderTree(folder);
    ShowInformation(msgtext::kExtractNotSupported);
    return {};
  }
  TExtractOptions extraction;
  extraction.UseStoredDirs = true;
  extraction.RestoreFileAttr = false;
  extraction.FileDate = true;
  extraction.ConfirmOverwrites = false;
  extraction.CreateStoredDirs = true;
  PrepareReader(*reader, folder, extraction);
  reader->FileSpec = {"*.*"};
  reader->RecurseDirs = true;
  BeginReaderRun();
  TRunResult result = ExtractCollecting(*reader);
  // Nothing came out: the scanner has nothing to look at, and saying the
  // archive was scanned would be untrue.
  const bool nothing = result.Written() == 0 && (result.Failed() || result.Cancelled);
  std::string failure;
  if (!nothing) {
    if (FInteractive) SetSimpleText(QString::fromUtf8(msgtext::kScanning));
    failure = ScanFolder(folder, Options.RunMinimized ? kShowMinimized : kShowNormal);
    if (FInteractive) SetSimpleText(QString::fromUtf8(msgtext::kFinishedScanning));
  }
  DeleteFolderTree(folder);
  ReportScan(result, failure, !nothing, ArchiveName);
  EndReaderRun();
  return result;
}

void TfmMain::acInstallExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished() || FSetupFile.empty()) return;
  if (!ExitCheckoutCheck()) return;
  if (MessageDlg(msgtext::kConfirmInstall, mtConfirmation, mbYesNo) == mrNo) return;
  const std::string folder = GetTempFolderName();
  if (folder.empty()) {
    ShowError(msgtext::kScanFolderFailed);
    return;
  }
  TExtractOptions extraction;
  extraction.Archive = vskVorsk.ArchiveFile();
  extraction.Destination = folder;
  extraction.UseStoredDirs = true;
  extraction.RestoreFileAttr = false;
  extraction.FileDate = false;
  extraction.ConfirmOverwrites = false;
  extraction.CreateStoredDirs = true;
  CmdExtract(extraction);
  const std::string setup = folder + "/" + FSetupFile;
  // The user asked to run it: a program or script loses its execute bit in
  // archives of other systems, so it is given back. A setup program of
  // another system is opened by whatever the desktop has for it.
  struct stat st;
  if (::stat(setup.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::chmod(setup.c_str(), (st.st_mode & 07777) | S_IXUSR);
  const bool native = [&] {
    char magic[4] = {};
    FILE* f = std::fopen(setup.c_str(), "rb");
    if (!f) return false;
    const std::size_t n = std::fread(magic, 1, sizeof magic, f);
    std::fclose(f);
    return (n >= 2 && magic[0] == '#' && magic[1] == '!') || (n == 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0);
  }();
  if (native)
    RunProgramAndWait(setup, std::vector<std::string>{}, kShowNormal);
  else if (ShellOpen)
    ShellOpen(setup);
  ShowInformation(msgtext::kInstallWait);
  DeleteFolderTree(folder);
}

void TfmMain::acRenameArchiveExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  if (!ExitCheckoutCheck()) return;
  const std::string archive = vskVorsk.ArchiveFile();
  const std::string name = PathFilePart(archive);
  const auto dot = name.find_last_of('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = stem.size() == name.size() ? std::string() : name.substr(dot);
  std::string typed = stem;
  if (!UI().InputQuery(msgtext::kRenameArchiveTitle, msgtext::kRenameArchivePrompt, typed) || typed.empty()) return;
  if (typed.find('.') != std::string::npos) {
    ShowError(msgtext::kRenameNoExtension);
    return;
  }
  if (!IsValidName(typed, true)) {
    ShowError(msgtext::kRenameInvalid);
    return;
  }
  const std::string target = ParentFolder(archive) + "/" + typed + ext;
  std::error_code ec;
  if (fs::exists(target, ec)) {
    ShowError(msgtext::kRenameExists);
    return;
  }
  // RENAME_NOREPLACE: a file that appears under the name meanwhile is kept.
  if (renameat2(AT_FDCWD, archive.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    ShowError(msgtext::kRenameExists);
    return;
  }
  DisplayArchive(target);
}

void TfmMain::acPasswordExecute() {
  TfmPassword dlg(this);
  dlg.FPassword = FPassword;
  if (UI().ShowModal(dlg) == mrOk) FPassword = dlg.PasswordText();
}

void TfmMain::acUUencodeExecute() {
  TfmUUEncode dlg(this);
  if (vsk::IsValidArcType(vskVorsk.ArcType()) && !vskVorsk.ArchiveFile().empty()) {
    dlg.rxfedInput->setText(QString::fromStdString(vskVorsk.ArchiveFile()));
    dlg.rxfedOutput->setText(
        QString::fromStdString(OutputBeside(vskVorsk.ArchiveFile(), ReplaceExtension(vskVorsk.ArchiveFile(), ".uue"))));
  }
  if (UI().ShowModal(dlg) != mrOk) return;
  static const int kSpans[] = {0, 100, 720, 1228, 1433, 2867};
  const int span = dlg.cbSpanSize->currentIndex();
  vskUUEncode.SetArchiveFile(dlg.InputName());
  vskUUEncode.SetOutFilename(dlg.OutputName());
  vskUUEncode.KBytesPerVolume = span >= 0 && span < 6 ? kSpans[span] : 0;
  if (!MayWriteUUParts(dlg.InputName(), dlg.OutputName(), vskUUEncode.KBytesPerVolume)) return;
  vskUUEncode.WriteTableToFile = true;
  vskUUEncode.SetCompressMethod(dlg.Encoding() == 0 ? vsk::cmUUEncode : vsk::cmXXEncode);
  // The dialog asked before an existing output is replaced.
  vskUUEncode.OverwriteMode = vsk::omOverwrite;
  setCursor(Qt::WaitCursor);
  const int written = vskUUEncode.Compress();
  unsetCursor();
  if (written > 0)
    ShowInformation(msgtext::kUUEncodeDone);
  else
    ShowError(msgtext::kUUEncodeFailed);
}

bool TfmMain::MayWriteUUParts(const std::string& Input, const std::string& Output, int KBytesPerVolume) {
  if (KBytesPerVolume <= 0) return true;
  // Each part holds 16 lines a kilobyte less its 3 header lines, each line
  // at least 45 bytes of the input; two parts more cover the first file's
  // table and a last short part.
  std::error_code ec;
  const auto size = fs::file_size(Input, ec);
  if (ec) return true;
  const std::uintmax_t perPart = 45u * (16u * static_cast<unsigned>(KBytesPerVolume) - 3u);
  const std::uintmax_t parts = size / perPart + 2;
  std::string existing;
  for (std::uintmax_t k = 1; k <= parts && k <= 999; ++k) {
    const std::string part = vsk::NumberedName(Output, static_cast<int>(k), vsk::nvChangeExt, true);
    if (fs::exists(fs::symlink_status(part, ec))) existing += "\r\n" + part;
  }
  return existing.empty() ||
         MessageDlg(msgtext::kUUPartsExist + existing + msgtext::kUUPartsOverwrite, mtConfirmation, mbYesNo) == mrYes;
}

void TfmMain::acConvertExecute() {
  CmdConvert(vsk::IsValidArcType(vskVorsk.ArcType()) ? vskVorsk.ArchiveFile() : std::string());
}

TRunResult TfmMain::CmdConvert(const std::string& ArchiveName) {
  TfmConvertArc dlg(this);
  if (!ArchiveName.empty()) {
    dlg.rxfedInput->setText(QString::fromStdString(ArchiveName));
    dlg.rxfedOutput->setText(QString::fromStdString(OutputBeside(ArchiveName, ReplaceArchiveExtension(ArchiveName, ".zip"))));
  }
  if (UI().ShowModal(dlg) != mrOk) return {};
  static const vsk::TOutArcType kTypes[] = {vsk::tyBh,  vsk::tyCab, vsk::tyTarGzip, vsk::tyJar,
                                            vsk::tyLzh, vsk::tyLzh, vsk::tyTar,     vsk::tyZip};
  const int format = dlg.cbFormat->currentIndex();
  const vsk::TOutArcType type = format >= 0 && format < 8 ? kTypes[format] : vsk::tyZip;
  const std::string input = dlg.InputName(), output = dlg.OutputName();
  const std::string made = dlg.MadeName();
  if (FInteractive) ApplicationBusy();
  try {
    vskArc2Arc.SetArchiveFile(input);
  } catch (const std::exception&) {
  }
  vskArc2Arc.NewArchive = output;
  vskArc2Arc.OutArcMethod = vsk::amCreateNew;
  vskArc2Arc.IntegrityCheck = dlg.ckVerify->isEnabled() && dlg.ckVerify->isChecked();
  vskArc2Arc.DateAttribute = vsk::daFileDate;
  vskArc2Arc.OutArcType = type;
  // The dialog has asked about the existing output: the converter does not
  // ask again about that file.
  struct TRestore {
    vsk::TArc2Arc& Converter;
    vsk::TArc2Arc::TOnFileExists Asks;
    ~TRestore() { Converter.OnFileExists = Asks; }
  } restore{vskArc2Arc, vskArc2Arc.OnFileExists};
  if (!dlg.ReplacedOutput().empty())
    vskArc2Arc.OnFileExists = [asks = restore.Asks, replaced = dlg.ReplacedOutput()](
                                  vsk::TZipCommon& S, const std::string& F, vsk::TOverwriteMode& Mode) {
      if (SameFile(F, replaced))
        Mode = vsk::omOverwrite;
      else if (asks)
        asks(S, F, Mode);
    };
  // Its inner components share its cancel flag: the progress window's
  // Cancel reaches them through the component that reports progress.
  CurrentWriter = nullptr;
  CurrentReader = nullptr;
  StartProgress();
  if (FInteractive) SetSimplePanel(true);
  ClearOutput();
  // The run is judged by what the converter reported during it, never by
  // an output file that may have been there before.
  const TFileIdentity before = IdentityOf(made);
  // The tar a "GZipTar" run builds before it gzips it.
  const TConvertTarStep tarStep(output, type);
  std::error_code ec;
  // The output the user agreed to replace waits in the Trash: only a good
  // run takes its place; after a failed one it comes back over what was
  // written.
  TSetAside replaced;
  if (!replaced.Take(made)) {
    EndProgress();
    if (FInteractive) {
      SetSimplePanel(false);
      ApplicationWaiting();
    }
    ShowError(msgtext::kUnableToOverwrite);
    TRunResult refused;
    refused.NoteRunError(msgtext::kUnableToOverwrite);
    return refused;
  }
  FConvertErrors = 0;
  FConvertCompressed = false;
  FConvertChecked = false;
  FTestFailed = false;
  bool raised = false;
  TRunResult result;
  FRunResult = &result;
  try {
    vskArc2Arc.Activate();
  } catch (const std::exception&) {
    // Reported through its error handler already.
    raised = true;
  }
  FRunResult = nullptr;
  result.Finish(vskArc2Arc.GetCancel());
  EndProgress();
  const TFileIdentity after = IdentityOf(made);
  const bool ok = !raised && FConvertErrors == 0 && !vskArc2Arc.GetCancel() && FConvertCompressed && after.Exists &&
                  !(before.Exists && before.Same(after)) &&
                  (!vskArc2Arc.IntegrityCheck || (FConvertChecked && !FTestFailed));
  // A failed run leaves nothing new behind: an output that was not there
  // before goes, one that was is back in its place.
  if (ok) {
    replaced.Discard();
  } else {
    if (!before.Exists && after.Exists) fs::remove(made, ec);
    replaced.Restore();
  }
  // The tar on the way to a "GZipTar" output is no output of its own.
  tarStep.Clean();
  // The original goes only after a good run whose output is another file.
  if (ok && dlg.ckDeleteOrg->isChecked() && !SameFile(input, made)) {
    if (FInteractive && input == vskVorsk.ArchiveFile()) {
      acCloseArchiveExecute();
      DisplayArchive(made);
    }
    if (!fs::remove(input, ec)) ShowError(msgtext::kConvDeleteFailed);
  }
  if (FInteractive) {
    SetSimplePanel(false);
    ApplicationWaiting();
  }
  if (ok)
    ShowInformation(msgtext::kConvDone);
  else if (result.Failed())
    ShowError(std::string(msgtext::kConvAborted) + "\r\n\r\n" + LeftOutNames(result, "\r\n", 20));
  else
    ShowInformation(msgtext::kConvAborted);
  if (!ok && !result.Failed()) result.NoteRunError(msgtext::kConvAborted);
  return result;
}

}  // namespace brevane
