// The main window's check-out command: the open archive extracted into a
// folder of its own, a menu group with a launcher per program or document,
// an optional virus scan; and the question that removes both again.

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/paths.h"
#include "app/dialogs/checkoutdlg.h"
#include "app/main/archivemodel.h"
#include "app/main/folders.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/runprogram.h"
#include "app/main/settings.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "platform/menugroup.h"
#include "platform/trash.h"

namespace brevane {

namespace {

// Name without its trailing "/".
std::string Slashless(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
  return Path;
}

// Proposed, never one that is there already: "tree", else "tree-1",
// "tree-2", ...
std::string UnusedFolderName(const std::string& Base) {
  std::error_code ec;
  const auto taken = [&ec](const std::string& Name) {
    return std::filesystem::exists(std::filesystem::symlink_status(Name, ec));
  };
  if (!taken(Base)) return Base;
  for (int n = 1; n < 10000; ++n)
    if (const std::string name = Base + "-" + std::to_string(n); !taken(name)) return name;
  return Base;
}

// The names at the top of Folder, sorted.
std::vector<std::string> TopNames(const std::string& Folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool Trash(const std::string& Path) {
  if (vsk::MoveToTrash(Path)) return true;
  ShowError(msgtext::kTrashFileFailed + PathFilePart(Path) + msgtext::kTrashFileFailedEnd);
  return false;
}

bool IsProgram(const std::string& File) {
  struct stat st;
  return ::stat(File.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

}  // namespace

bool TfmMain::ExitCheckoutCheck() {
  if (!FCheckoutPending) return true;
  // The question says what Yes does: a folder the check-out made goes to
  // the Trash whole; in a folder that was there before only the entries.
  const int answer = MessageDlg((FCheckoutMadeFolder ? msgtext::kTrashCheckoutFolder : msgtext::kTrashCheckedOutFiles) +
                                    FCheckoutFolder + msgtext::kTrashCheckoutAnd + FCheckoutGroup +
                                    msgtext::kDeleteCheckoutEnd,
                                mtConfirmation, mbYesNoCancel);
  if (answer != mrYes && answer != mrNo) return false;
  if (answer == mrYes) {
    if (!vsk::MenuGroups().Remove(FCheckoutGroup))
      ShowError(msgtext::kDeleteGroupFailed + FCheckoutGroup + "\"");
    // Only what the check-out made goes, and to the Trash: a folder that
    // took its place since, or the user's folder it was put in, stays.
    const std::string folder = Slashless(FCheckoutFolder);
    if (FCheckoutFolderId != TFileId{} && FileIdOf(folder) == FCheckoutFolderId) {
      if (FCheckoutMadeFolder)
        Trash(folder);
      else
        for (const auto& [name, id] : FCheckoutEntries)
          if (FileIdOf(folder + "/" + name) == id) Trash(folder + "/" + name);
    }
  }
  FCheckoutPending = false;
  FCheckoutEntries.clear();
  return true;
}

void TfmMain::acCheckOutExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  if (!ExitCheckoutCheck()) return;
  const std::string archive = vskVorsk.ArchiveFile();
  const std::string stem = WithoutExtension(PathFilePart(archive));
  TfmCheckout dlg(this);
  dlg.ArchiveFile = archive;
  const std::string base = Options.CheckoutBaseFolder;
  dlg.edFolder->setText(QString::fromStdString(
      UnusedFolderName(base.empty() ? OutputBeside(archive, stem) : (base.back() == '/' ? base : base + "/") + stem)));
  dlg.edGroupName->setText(QString::fromStdString(stem));
  if (Options.AVProduct == 0 || Options.VirusScanner.empty()) {
    dlg.ckVirusScan->setChecked(false);
    dlg.ckVirusScan->setEnabled(false);
  }
  if (UI().ShowModal(dlg) != mrOk) return;

  const std::string folder = Slashless(dlg.Folder());
  // What the user's folder holds goes to the Trash, as agreed in the
  // dialog; the folder itself stays theirs.
  std::error_code ec;
  const bool existed = std::filesystem::exists(std::filesystem::symlink_status(folder, ec));
  if (existed && std::filesystem::is_directory(folder, ec))
    for (const std::string& name : TopNames(folder))
      if (!Trash(folder + "/" + name)) return;
  FCheckoutPending = true;
  FCheckoutFolder = folder + "/";
  FCheckoutGroup = dlg.GroupName();
  vsk::MenuGroups().Remove(FCheckoutGroup);
  TExtractOptions extraction;
  extraction.Archive = archive;
  extraction.Destination = folder;
  extraction.UseStoredDirs = true;
  extraction.RestoreFileAttr = false;
  extraction.FileDate = true;
  extraction.ConfirmOverwrites = false;
  extraction.CreateStoredDirs = true;
  TRunResult result = CmdExtract(extraction);
  FCheckoutFolderId = FileIdOf(folder);
  FCheckoutMadeFolder = !existed;
  FCheckoutEntries.clear();
  if (!FCheckoutMadeFolder)
    for (const std::string& name : TopNames(folder)) FCheckoutEntries.emplace_back(name, FileIdOf(folder + "/" + name));

  // One launcher per row, in list order, up to the limit; only for files
  // the reader put below the folder.
  const bool onlyOpenable = dlg.ckCreateIcons->isChecked();
  const std::size_t limit =
      static_cast<std::size_t>(std::min(dlg.udMaxIcons->value(), FModel->RowCount()));
  std::vector<vsk::TMenuLauncher> launchers;
  for (int r = 0; r < FModel->RowCount() && launchers.size() < limit; ++r) {
    const TViewRow& row = FModel->Row(r);
    std::string target;
    if (!ExtractedPath(FCheckoutFolder, row.Data.Folder + row.Caption.toStdString(), target) || target.empty())
      continue;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(target, ec)) continue;
    const bool program = IsProgram(target) || target.ends_with(".exe");
    if (onlyOpenable && !program && !HasShellOpen(target)) continue;
    launchers.push_back({row.Caption.toStdString(), target, program});
  }
  vsk::MenuGroups().Create(FCheckoutGroup, launchers);
  if (ShellOpen) ShellOpen(vsk::MenuGroups().GroupFolder(FCheckoutGroup));

  // What was left out is told, with the scan's verdict when there is one:
  // a file that never came out was not scanned either.
  if (dlg.ckVirusScan->isEnabled() && dlg.ckVirusScan->isChecked()) {
    const bool nothing = result.Written() == 0 && (result.Failed() || result.Cancelled);
    const std::string failure = nothing ? std::string() : ScanFolder(folder, kShowNormal);
    ReportScan(result, failure, !nothing, archive);
  } else if (result.Ran && !result.Complete()) {
    ShowExtractResult(result, archive);
  }
}

}  // namespace brevane
