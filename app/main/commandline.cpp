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

std::string WithoutExtension(const std::string& Path) {
  const auto slash = Path.find_last_of('/');
  const auto dot = Path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return Path;
  return Path.substr(0, dot);
}

std::string Absolute(const std::string& Path) {
  std::error_code ec;
  const auto p = fs::absolute(Path, ec);
  return ec ? Path : p.lexically_normal().string();
}

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

vsk::TSwitch SwitchForAction(int Action) {
  switch (Action) {
    case 1: return vsk::swRefresh;
    case 2: return vsk::swMove;
    default: return vsk::swAdd;
  }
}

}  // namespace

void TfmMain::ProcContextMenu() {
  struct TCloser {
    TfmMain* Main;
    ~TCloser() { Main->close(); }
  } closer{this};
  if (ParamCount() <= 1) return;
  const std::string sw = ParamStr(1);
  const std::string a = Absolute(ParamStr(2));
  const bool inputs = ParamCount() >= 3;

  if (sw == "-S") {
    CmdExtract(a, WithoutExtension(a), true, true, true, true, true, true);
  } else if (sw == "-H") {
    CmdExtract(a, FolderOf(a), true, true, true, true, true, true);
  } else if (sw == "-HM") {
    if (ParamCount() < 3) {
      // One archive is extracted like the others rather than reported
      // extracted without being touched.
      CmdExtract(a, UnderscoreExtName(a), true, true, true, true, true, false);
    } else {
      for (int i = 2; i <= ParamCount(); ++i) {
        const std::string archive = Absolute(ParamStr(i));
        CmdExtract(archive, UnderscoreExtName(archive), true, true, true, true, true, false);
      }
    }
    if (Options.ConfirmDecompress)
      MessageDlg(msgtext::kMultipleExtracted + std::to_string(ParamCount() - 1), mtInformation, mbOK);
  } else if (sw == "-E") {
    CmdLineExtractDialog(a);
  } else if (sw == "-A") {
    if (inputs) CmdLineAddOptions(a, Inputs());
  } else if (sw == "-G" || sw == "-D") {
    if (inputs) CmdAdd(a, Inputs(), 0, PathStyle(), vsk::swAdd, true, true);
  } else if (sw == "-M") {
    if (inputs) CmdLineMail(a, Inputs());
  } else if (sw == "-T") {
    CmdTest(a);
  } else if (sw == "-R") {
    CmdRepair(a);
  } else if (sw == "-V") {
    CmdVirusScan(a);
  } else if (sw == "-C") {
    CmdConvert(a);
  } else if (sw == "-X") {
    CmdMakeSFX(a, "");
  } else if (sw == "-AX") {
    if (inputs) CmdLineMakeSFX(a, Inputs());
  } else if (sw == "-SYS") {
    if (ParamStr(2) == "-REMOVEREG") RemoveRegistration();
  } else {
    ShowError(msgtext::kUnknownParameter);
  }
}

void TfmMain::CmdLineExtractDialog(const std::string& Archive) {
  TfmExtractDlg dlg(this);
  if (!CurrentReader && !vskVorsk.ArchiveFile().empty()) dlg.ShowFolderInTree(FolderOf(vskVorsk.ArchiveFile()));
  dlg.SetFilesIndex(1);
  dlg.rgFiles->setEnabled(false);
  std::string destination;
  if (Options.ExtractLast)
    ShowExceptions([&] { destination = ReadSettingString("Folders", "ExtractLastPath"); });
  else if (Options.ExtractSame)
    destination = FolderOf(Archive);
  else if (QFileInfo(QString::fromStdString(Options.ExtractFolder)).isDir())
    destination = Options.ExtractFolder;
  if (!destination.empty()) {
    dlg.SetDestination(destination);
    QDir::setCurrent(QString::fromStdString(destination));
  }
  if (UI().ShowModal(dlg) != mrOk) return;
  CmdExtract(Archive, dlg.Destination(), dlg.ckRestoreFolders->isChecked(), dlg.ckRestoreAttributes->isChecked(),
             dlg.ckDateAttribute->isChecked(), dlg.ckConfirmOverwrites->isChecked(),
             dlg.ckCreateDirectories->isChecked(), true);
}

void TfmMain::CmdLineAddOptions(const std::string& Archive, const std::vector<std::string>& Files) {
  TApSaveDialog& d = apsdAddOptions();
  d.FileName = NameOf(WithoutExtension(Archive));
  d.FilterIndex = Options.adArcType >= 0 && Options.adArcType <= 6 ? Options.adArcType + 1 : 7;
  d.InitialDir = QDir::currentPath().toStdString();
  TfmAddOptionsBottom& panel = *fmAddOptionsBottom;
  panel.cbAction->setCurrentIndex(0);
  panel.cbCompression->setCurrentIndex(0);
  panel.cbDiskSpanning->setCurrentIndex(0);
  panel.ckSaveFullPath->setChecked(Options.adPath != 0);
  apsdAddOptionsTypeChange();
  if (!d.Execute()) return;
  std::string name = Absolute(d.FileName);
  if (NameOf(name).find('.') == std::string::npos) name += ".zip";
  // A ".gz" name gets a gzip-compressed tar, which the writer makes under
  // the tar's name with ".tar.gz"; it is moved to the name given here.
  const std::string made = WriterKindForName(name, true) == wkTarGzip ? TarGzListName(name) : name;
  // An existing file of either name is replaced only by the finished
  // archive; anything else is put back as it was.
  TSetAside replaced, replacedMade;
  if (!replaced.Take(name) || (made != name && !replacedMade.Take(made))) {
    ShowError(msgtext::kUnableToOverwrite);
    return;
  }
  FCancelTask = false;
  const int count = CmdAdd(name, Files, panel.cbCompression->currentIndex(),
                           panel.ckSaveFullPath->isChecked() ? vsk::sdAbsoluteNoDrv : vsk::sdExplorer_Auto,
                           SwitchForAction(panel.cbAction->currentIndex()),
                           panel.cbDiskSpanning->currentIndex() == 0, false);
  std::error_code ec;
  const bool written = count > 0 && fs::is_regular_file(made, ec);
  bool landed = written && made == name;
  if (written && made != name) landed = std::rename(made.c_str(), name.c_str()) == 0;
  if (landed) replaced.Discard();
  if (count < 0 || FDiskFull) return;
  if (written && !landed)
    ShowError(msgtext::kUnableToOverwrite);
  else if (!landed && !FCancelTask && !(CurrentWriter && CurrentWriter->GetCancel()))
    ShowError(msgtext::kNothingAdded);
  else if (landed && Options.ConfirmCompress)
    ShowInformation(msgtext::kFilesCompressed + std::to_string(count));
}

void TfmMain::WithTempArchive(const std::string& Archive, const std::vector<std::string>& Files,
                              const std::function<void(const std::string& Made)>& Use, bool KeepToExit) {
  TTempFolder folder{GetTempFolderName()};
  if (folder.Path.empty()) {
    ShowError(msgtext::kTempFolderFailed);
    return;
  }
  const std::string path = folder.Path;
  if (KeepToExit) {
    FTempFolders.push_back(path);
    folder.Path.clear();
  }
  const std::string temp = path + "/" + NameOf(Archive);
  CmdAdd(temp, Files, 0, PathStyle(), vsk::swAdd, true, false);
  const std::string made = ArchiveMadeIn(path, temp);
  if (!made.empty()) Use(made);
}

void TfmMain::CmdLineMail(const std::string& Archive, const std::vector<std::string>& Files) {
  // The mail program may read the attachment long after the mail tool has
  // returned (a running instance takes the request over): the archive
  // stays as long as the program runs.
  WithTempArchive(Archive, Files, [this](const std::string& Made) { MailArchive(Made); }, true);
}

void TfmMain::CmdLineMakeSFX(const std::string& Archive, const std::vector<std::string>& Files) {
  const std::string exe = ReplaceExtension(Archive, ".exe");
  std::error_code ec;
  const bool exists = fs::exists(fs::symlink_status(exe, ec));
  // A Yes does not delete the old program: the builder puts the new one in
  // its place only once it is complete.
  if (exists && MessageDlg(msgtext::kTheFile + NameOf(exe) + msgtext::kBatchExeExists, mtConfirmation, mbYesNo) != mrYes)
    return;
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
    CmdMakeSFX(Made, exe);
  });
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
