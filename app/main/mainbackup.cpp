// Backup sets run from the main window: the manager's chosen sets, the
// quick-backup submenu, and ExecuteBackup, which makes one set's archive.
// The archive is made under a temporary name beside its place and takes
// that place only when it is complete, so a failed or cancelled backup
// leaves every earlier backup as it was.

#include <stdlib.h>

#include <QAction>
#include <QMenu>
#include <filesystem>

#include "app/components/apopendlg.h"
#include "app/dialogs/backupdlg.h"
#include "app/main/backupscript.h"
#include "app/main/folders.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

// A private hidden folder beside the backups for the archive being made;
// removed with the object.
class TBackupWorkFolder {
 public:
  explicit TBackupWorkFolder(const std::string& Folder) {
    std::string name = AppendSlash(Folder) + ".brevane-backup-XXXXXX";
    if (mkdtemp(name.data())) FPath = name;
  }
  ~TBackupWorkFolder() {
    if (!FPath.empty()) DeleteFolderTree(FPath);
  }
  TBackupWorkFolder(const TBackupWorkFolder&) = delete;
  TBackupWorkFolder& operator=(const TBackupWorkFolder&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace

std::string TfmMain::GetBackupDir() const { return BackupFolder(); }

bool TfmMain::ExecuteBackup(const std::string& ScriptPath) {
  std::vector<std::string> lines;
  TBackupScript script;
  if (!ReadScriptLines(ScriptPath, lines) || !ParseBackupScript(lines, script)) return false;
  const std::string extension = BackupExtension(script.ArcType);
  std::string target = SingleBackupPath(script);
  std::error_code ec;
  fs::create_directories(script.Folder, ec);

  const vsk::TStoredDirNames dirs = script.StorePathInfo == 0 ? vsk::sdExplorer_Auto : vsk::sdAbsoluteNoDrv;
  bool something = false;
  for (const std::string& entry : script.Entries) something = something || BackupEntryHasFiles(entry);
  if (!something) {
    ShowError(msgtext::kBackupNoFiles);
    return false;
  }

  // A set that would write over another set's backups (scripts saved
  // before the editor refused such sets, or edited by hand) is skipped.
  std::string clash;
  if (script.Method != kBackupPrompt) {
    const std::string other = ClashingBackupSet(script, clash);
    if (!other.empty()) {
      ShowError(msgtext::kBackupNameClash + other + msgtext::kBackupNameClashIn + clash + msgtext::kBackupSkipped);
      return false;
    }
  }

  switch (script.Method) {
    case kBackupOverwrite: break;
    case kBackupPrompt: {
      TApSaveDialog& d = apsdNew();
      d.FileName = target;
      d.InitialDir = script.Folder;
      d.SetTitle(msgtext::kBackupSaveTitle);
      d.FilterIndex = script.ArcType >= 0 && script.ArcType < 7 ? script.ArcType + 1 : 7;
      const bool chosen = d.Execute();
      d.SetTitle("New Archive");
      if (!chosen || d.FileName.empty()) return false;
      target = d.FileName;
      break;
    }
    case kBackupGenerations: target = GenerationPath(script, script.Generations); break;
    default: ShowError(msgtext::kBackupInvalidMethod); return false;
  }

  const std::string remembered = vskVorsk.ArchiveFile();
  // The work file is listed while it is made, and the archive open before
  // is listed again afterwards: neither is a new recent archive.
  struct TKeepRecent {
    bool& Flag;
    bool Saved;
    ~TKeepRecent() { Flag = Saved; }
  } keepRecent{FKeepRecentList, FKeepRecentList};
  FKeepRecentList = true;
  TBackupWorkFolder work(ParentFolder(target));
  bool made = false;
  if (!work.Path().empty()) {
    const std::string partial = work.Path() + "/" + PathFilePart(target) +
                                (PathFilePart(target).find('.') == std::string::npos ? extension : std::string());
    FCancelTask = false;
    TAddOptions adding;
    adding.Archive = partial;
    adding.Files = script.Entries;
    adding.Level = script.Compression;
    adding.StoredDirNames = dirs;
    adding.Switch = vsk::swAdd;
    adding.SpanDisks = true;
    const int count = CmdAdd(adding).Added;
    made = count > 0 && IsFile(partial) && !FDiskFull && !FCancelTask && !(CurrentWriter && CurrentWriter->GetCancel());
    if (count > 0 && FInteractive) acCloseArchiveExecute();
    if (made) {
      std::string failed;
      if (script.Method == kBackupGenerations && !RotateGenerations(script, failed)) {
        ShowError(msgtext::kBackupDeleteError + failed + msgtext::kBackupSkipped);
        made = false;
      } else {
        fs::rename(partial, target, ec);
        if (ec) {
          ShowError(msgtext::kBackupOverwriteError + target + msgtext::kBackupSkipped);
          made = false;
        }
      }
    } else {
      ShowError(msgtext::kBackupNotMade);
    }
  }
  if (FInteractive && !remembered.empty() && IsFile(remembered)) DisplayArchive(remembered);
  return made;
}

void TfmMain::ClearQuickBackups() {
  const QList<QAction*> items = miQuickBackup->actions();
  for (QAction* item : items)
    if (item != miNoBackupsConfigured) {
      miQuickBackup->removeAction(item);
      delete item;
    }
}

void TfmMain::InsertQuickBackup(const std::string& Caption) {
  QAction* item = miQuickBackup->addAction(QString::fromStdString(Caption));
  connect(item, &QAction::triggered, this, [this, Caption] { QuickBackupSelect(Caption); });
}

void TfmMain::GenerateBackupMenu() {
  const std::vector<std::string> sets = FindBackupSets();
  ClearQuickBackups();
  miNoBackupsConfigured->setVisible(sets.empty());
  for (const std::string& name : sets) InsertQuickBackup(name);
}

void TfmMain::QuickBackupSelect(const std::string& Caption) {
  if (!ExitCheckoutCheck()) return;
  if (ExecuteBackup(BackupScriptPath(Caption)))
    ShowInformation(msgtext::kQuickBackupDone + Caption);
  else
    ShowError(msgtext::kQuickBackupFailed);
}

void TfmMain::acManageBackupsExecute() {
  if (!ExitCheckoutCheck()) return;
  TfmManageBackup dlg(this);
  if (UI().ShowModal(dlg) == mrRunBackups) {
    std::string made, failed;
    for (const std::string& name : dlg.SetsToRun())
      (ExecuteBackup(BackupScriptPath(name)) ? made : failed) += "- " + name + "\r\n";
    if (!failed.empty())
      ShowError(msgtext::kBackupErrors + failed);
    else
      ShowInformation(msgtext::kBackupsCreated + made);
  }
  GenerateBackupMenu();
}

}  // namespace brevane
