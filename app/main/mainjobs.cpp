// The Tools and Favourites menus' job commands: batch jobs, backup sets,
// favourites and the wizard, which leads a user through creating, adding to
// or extracting an archive with the window's own commands.

#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include "app/dialogs/wizard.h"
#include "app/main/mainform.h"
#include "app/main/userinterface.h"

namespace brevane {

void TfmMain::ConnectJobCommands() {
  connect(acAddFavourites, &QAction::triggered, this, &TfmMain::acAddFavouritesExecute);
  connect(acOrganizeFavorites, &QAction::triggered, this, &TfmMain::acOrganizeFavoritesExecute);
  // The explorer pane's pop-up adds its folder the same way.
  FExplorerMenu->addAction(acAddFavourites);
  const std::pair<QAction*, int> batch[] = {{acBatchTest, 1},    {acBatchVirusScan, 2}, {acBatchMakeSFX, 3},
                                            {acBatchConvert, 4}, {acBatchExtract, 5},   {acBatchCreate, 6},
                                            {acBatchAdd, 7}};
  for (const auto& [action, tag] : batch)
    connect(action, &QAction::triggered, this, [this, tag = tag] { acBatchExecute(tag); });
  connect(acManageBackups, &QAction::triggered, this, &TfmMain::acManageBackupsExecute);
  connect(acWizard, &QAction::triggered, this, &TfmMain::acWizardExecute);
}

void TfmMain::acWizardExecute() {
  if (!ExitCheckoutCheck()) return;
  TfmWizard wizard(this);
  if (!vskVorsk.ArchiveFile().empty()) {
    wizard.rxfedExtract->setText(QString::fromStdString(vskVorsk.ArchiveFile()));
    if (acAdd->isEnabled()) wizard.rxfedUpdate->setText(QString::fromStdString(vskVorsk.ArchiveFile()));
  }
  wizard.Add = [this](const TAddOptions& Adding) { return CmdAdd(Adding).Added; };
  wizard.Extract = [this](const TExtractOptions& Extraction) { CmdExtract(Extraction); };
  wizard.OpenFolder = [this](const std::string& Folder) { return ShellOpen && ShellOpen(Folder); };
  // The window is out of the way while the wizard leads.
  hide();
  UI().ShowModal(wizard);
  show();
}

}  // namespace brevane
