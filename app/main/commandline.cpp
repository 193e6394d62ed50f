// The program as a command-line tool: the first parameter is a switch, the
// others name archives and files. One operation runs, then the main window
// closes, which ends the program.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <cstdio>
#include <filesystem>

#include "base/paths.h"
#include "app/components/apopendlg.h"
#include "app/dialogs/addpanels.h"
#include "app/dialogs/extractdlg.h"
#include "app/dialogs/tooldialogs.h"
#include "app/main/components.h"
#include "app/main/folders.h"
#include "app/main/mail.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/program.h"
#include "app/main/setaside.h"
#include "app/main/settings.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "platform/registry.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

// A command line's extraction: folders, attributes and dates as stored,
// existing files asked about.
TExtractOptions CmdLineExtraction(const std::string& Archive, const std::string& Folder, bool ShowResult) {
  TExtractOptions extraction;
  extraction.Archive = Archive;
  extraction.Destination = Folder;
  extraction.UseStoredDirs = true;
  extraction.RestoreFileAttr = true;
  extraction.FileDate = true;
  extraction.ConfirmOverwrites = true;
  extraction.CreateStoredDirs = true;
  extraction.ShowResult = ShowResult;
  return extraction;
}

std::string MissingFileText(const std::string& Path) { return msgtext::kTheFile + Path + msgtext::kFileMissingEnd; }

// The third to the last parameter.
std::vector<std::string> Inputs() {
  std::vector<std::string> files;
  for (int i = 3; i <= ParamCount(); ++i) files.push_back(ParamStr(i));
  return files;
}

// The archive CmdAdd made as Name in the fresh folder Folder: the writer
// may have given the name its own extension. Empty when there is none.
std::string ArchiveMadeIn(const std::string& Folder, const std::string& Name) {
  std::error_code ec;
  if (fs::is_regular_file(Name, ec)) return Name;
  for (const auto& e : fs::directory_iterator(Folder, ec))
    if (e.is_regular_file(ec)) return e.path().string();
  return {};
}

// Removes a temporary folder when the command ends, however it ends.
struct TTempFolder {
  std::string Path;
  ~TTempFolder() {
    if (!Path.empty()) DeleteFolderTree(Path);
  }
};

vsk::TStoredDirNames PathStyle() { return Options.adPath == 0 ? vsk::sdExplorer_Auto : vsk::sdAbsoluteNoDrv; }

// The command line's adding: the files as given, named in the configured style.
TAddOptions CmdLineAdding(const std::string& Archive, const std::vector<std::string>& Files, bool ShowResult) {
  TAddOptions adding;
  adding.Archive = Archive;
  adding.Files = Files;
  adding.Level = 0;
  adding.StoredDirNames = PathStyle();
  adding.Switch = vsk::swAdd;
  adding.SpanDisks = true;
  adding.ShowResult = ShowResult;
  return adding;
}

}  // namespace

void TfmMain::ProcContextMenu() {
  struct TCloser {
    TfmMain* Main;
    ~TCloser() { Main->close(); }
  } closer{this};
  FExitCode = 0;
  // A lone switch is refused before the window would open; the clean-up
  // alone ends up below, doing nothing.
  if (ParamCount() < 1 || (ParamCount() == 1 && !CleanUpRun())) return;
  const std::string sw = ParamStr(1);
  const std::string a = AbsolutePath(ParamStr(2));
  const bool inputs = ParamCount() >= 3;
  const int errorsBefore = ErrorMessagesShown();
  // An archive to be read must be there; one to be made need not.
  const auto existing = [this](const std::string& Archive) {
    if (IsFile(Archive)) return true;
    ShowError(MissingFileText(Archive));
    return false;
  };
  // Files to be added must be there: each one missing is named, and
  // nothing is made without it.
  const auto inputsFound = [] {
    std::string missing;
    for (const std::string& input : Inputs()) {
      const std::string path = AbsolutePath(input);
      // A mask needs its folder.
      const std::string needed = PathFilePart(path).find_first_of("*?") != std::string::npos ? ParentFolder(path) : path;
      std::error_code ec;
      if (fs::exists(needed, ec)) continue;
      missing += (missing.empty() ? "" : "\r\n") + MissingFileText(needed);
    }
    if (!missing.empty()) ShowError(missing);
    return missing.empty();
  };
  bool done = false;

  if (sw == "-S") {
    done = existing(a) && CmdExtract(CmdLineExtraction(a, WithoutExtension(a), true));
  } else if (sw == "-H") {
    done = existing(a) && CmdExtract(CmdLineExtraction(a, ParentFolder(a), true));
  } else if (sw == "-HM") {
    // One archive is extracted like the others rather than reported
    // extracted without being touched; the count is of the archives that
    // came out whole.
    int extracted = 0;
    std::string notWhole;
    for (int i = 2; i <= ParamCount(); ++i) {
      const std::string archive = AbsolutePath(ParamStr(i));
      if (existing(archive) && CmdExtract(CmdLineExtraction(archive, UnderscoreExtName(archive), false)))
        ++extracted;
      else
        notWhole += "\r\n" + archive;
    }
    done = notWhole.empty();
    if (Options.ConfirmDecompress || !done)
      MessageDlg(msgtext::kMultipleExtracted + std::to_string(extracted) +
                     (done ? std::string() : msgtext::kArchivesNotExtracted + notWhole),
                 done ? mtInformation : mtError, mbOK);
  } else if (sw == "-E") {
    done = existing(a) && CmdLineExtractDialog(a);
  } else if (sw == "-A") {
    if (!inputs) FExitCode = kExitRefused;
    done = inputs && inputsFound() && CmdLineAddOptions({a, Inputs()});
  } else if (sw == "-G" || sw == "-D") {
    if (!inputs) FExitCode = kExitRefused;
    done = inputs && inputsFound() && CmdAdd(CmdLineAdding(a, Inputs(), true)).Added > 0;
  } else if (sw == "-M") {
    if (!inputs) FExitCode = kExitRefused;
    done = inputs && inputsFound() && CmdLineMail({a, Inputs()});
  } else if (sw == "-T") {
    done = existing(a) && CmdTest(a);
  } else if (sw == "-R") {
    done = existing(a) && CmdRepair(a);
  } else if (sw == "-V") {
    done = existing(a) && CmdVirusScan(a);
  } else if (sw == "-C") {
    done = existing(a) && CmdConvert(a);
  } else if (sw == "-X") {
    done = existing(a) && CmdMakeSFX({a, ""});
  } else if (sw == "-AX") {
    if (!inputs) FExitCode = kExitRefused;
    done = inputs && inputsFound() && CmdLineMakeSFX({a, Inputs()});
  } else if (sw == "-SYS") {
    if (ParamStr(2) == "-REMOVEREG") {
      RemoveRegistration();
      done = true;
    } else {
      FExitCode = kExitRefused;
    }
  } else {
    ShowError(msgtext::kUnknownParameter);
    FExitCode = kExitRefused;
  }
  if (FExitCode == 0 && (!done || ErrorMessagesShown() != errorsBefore)) FExitCode = kExitFailed;
}

void TfmMain::ReportMissingParameter(const std::string& Name) {
  // A lone switch lacks what it works on.
  if (!Name.empty() && Name[0] == '-') {
    ShowError(msgtext::kUnknownParameter);
    FExitCode = kExitRefused;
  } else {
    ShowError(MissingFileText(AbsolutePath(Name)));
    FExitCode = kExitFailed;
  }
  close();
}

bool TfmMain::CmdLineExtractDialog(const std::string& Archive) {
  TfmExtractDlg dlg(this);
  dlg.SetFilesIndex(1);
  dlg.rgFiles->setEnabled(false);
  const std::string destination = SettingsDestination(ArchiveFolderToOffer(Archive));
  if (destination.empty()) dlg.ShowFolderInTree(ArchiveFolderToOffer(Archive));
  if (!destination.empty()) {
    dlg.SetDestination(destination);
    QDir::setCurrent(QString::fromStdString(destination));
  }
  if (UI().ShowModal(dlg) != mrOk) return false;
  TExtractOptions extraction = dlg.Choices();
  extraction.Archive = Archive;
  extraction.Destination = AbsolutePath(extraction.Destination);
  extraction.ShowResult = true;
  return CmdExtract(extraction).Complete();
}

bool TfmMain::CmdLineAddOptions(const TAddOptions& Adding) {
  const std::string& Archive = Adding.Archive;
  const std::vector<std::string>& Files = Adding.Files;
  TApSaveDialog& d = apsdAddOptions();
  d.FileName = PathFilePart(WithoutExtension(Archive));
  d.FilterIndex = Options.adArcType >= 0 && Options.adArcType <= 6 ? Options.adArcType + 1 : 7;
  // The new archive goes beside the one named, unless that folder is gone.
  const std::string folder = ParentFolder(Archive);
  d.InitialDir = QFileInfo(QString::fromStdString(folder)).isDir() ? folder : QDir::currentPath().toStdString();
  TfmAddOptionsBottom& panel = *fmAddOptionsBottom;
  panel.cbAction->setCurrentIndex(0);
  panel.cbCompression->setCurrentIndex(0);
  panel.cbDiskSpanning->setCurrentIndex(0);
  panel.ckSaveFullPath->setChecked(Options.adPath != 0);
  apsdAddOptionsTypeChange();
  if (!d.Execute()) return false;
  std::string name = AbsolutePath(d.FileName);
  if (PathFilePart(name).find('.') == std::string::npos) name += ".zip";
  // A ".gz" name gets a gzip-compressed tar, which the writer makes under
  // the tar's name with ".tar.gz"; it is moved to the name given here.
  const std::string made = WritesCompressedTar(name, true) ? TarGzListName(name) : name;
  // An existing file of either name is replaced only by the finished
  // archive; anything else is put back as it was.
  TSetAside replaced, replacedMade;
  if (!replaced.Take(name) || (made != name && !replacedMade.Take(made))) {
    ShowError(msgtext::kUnableToOverwrite);
    return false;
  }
  FCancelTask = false;
  const int count = CmdAdd(AddOptionsChosen(name, Files, false)).Added;
  std::error_code ec;
  const bool written = count > 0 && fs::is_regular_file(made, ec);
  bool landed = written && made == name;
  if (written && made != name) landed = std::rename(made.c_str(), name.c_str()) == 0;
  if (landed) replaced.Discard();
  if (count < 0 || FDiskFull) return false;
  if (written && !landed)
    ShowError(msgtext::kUnableToOverwrite);
  else if (!landed && !FCancelTask && !(CurrentWriter && CurrentWriter->GetCancel()))
    ShowError(msgtext::kNothingAdded);
  else if (landed && Options.ConfirmCompress)
    ShowInformation(msgtext::kFilesCompressed + std::to_string(count));
  return landed;
}

bool TfmMain::WithTempArchive(const std::string& Archive, const std::vector<std::string>& Files,
                              const std::function<bool(const std::string& Made)>& Use, bool Spool) {
  TTempFolder folder{Spool ? NewMailSpoolFolder() : GetTempFolderName()};
  if (folder.Path.empty()) {
    ShowError(msgtext::kTempFolderFailed);
    return false;
  }
  const std::string temp = folder.Path + "/" + PathFilePart(Archive);
  CmdAdd(CmdLineAdding(temp, Files, false));
  // An archive without one of the inputs is not what was asked for: it is
  // neither sent nor made into a program.
  if (!NotAdded().empty()) return false;
  const std::string made = ArchiveMadeIn(folder.Path, temp);
  if (made.empty()) return false;
  if (Use(made) && Spool) folder.Path.clear();
  return true;
}

bool TfmMain::CmdLineMail(const TAddOptions& Adding) {
  const std::string& Archive = Adding.Archive;
  const std::vector<std::string>& Files = Adding.Files;
  // The mail program may read the attachment long after the mail tool has
  // returned (a running instance takes the request over): the archive
  // stays in the mail spool, which a later start sweeps.
  bool sent = false;
  WithTempArchive(Archive, Files, [&](const std::string& Made) { return sent = MailArchive(Made); }, true);
  return sent;
}

bool TfmMain::CmdLineMakeSFX(const TAddOptions& Adding) {
  const std::string& Archive = Adding.Archive;
  const std::vector<std::string>& Files = Adding.Files;
  const std::string exe = ReplaceExtension(Archive, ".exe");
  std::error_code ec;
  const bool exists = fs::exists(fs::symlink_status(exe, ec));
  // A Yes does not delete the old program: the builder puts the new one in
  // its place only once it is complete.
  if (exists && MessageDlg(msgtext::kTheFile + PathFilePart(exe) + msgtext::kBatchExeExists, mtConfirmation, mbYesNo) != mrYes)
    return false;
  bool made = false;
  WithTempArchive(Archive, Files, [&](const std::string& Made) {
    // The user has answered for the existing program already.
    struct TRestore {
      vsk::TMakeSFX& Builder;
      vsk::TMakeSFX::TOnFileExists Asks;
      ~TRestore() { Builder.OnFileExists = Asks; }
    } restore{vskMakeSFX, vskMakeSFX.OnFileExists};
    if (exists)
      vskMakeSFX.OnFileExists = [](vsk::TZipCommon&, const std::string&, vsk::TDateTime, vsk::TOverwriteMode& Mode) {
        Mode = vsk::omOverwrite;
      };
    made = CmdMakeSFX({Made, exe});
    return made;
  });
  return made;
}

void TfmMain::RemoveRegistration() {
  // Closing must not write the window state, the list layout or the
  // recent archives back.
  FSaveFormState = false;
  FSaveListLayout = false;
  dfmruMainList.AutoSave = false;
  // Each step runs even when one before it failed: the uninstaller has no
  // second chance.
  std::string errors;
  const auto step = [&errors](const std::function<void()>& Step) {
    try {
      Step();
    } catch (const std::exception& e) {
      errors += (errors.empty() ? "" : "\r\n") + std::string(e.what());
    }
  };
  step(UnregisterShellExtensions);
  step(DeleteSettingsKey);
  step([this] {
    vskRegArchive.ActivateOnStartup = false;
    vskRegArchive.SetArcExtensions({kAssociationExtensions.begin(), kAssociationExtensions.end()});
    vskRegArchive.UnregisterExtensions();
  });
  if (!errors.empty()) ShowError(errors);
}

}  // namespace brevane
