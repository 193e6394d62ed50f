// The main window's configuration command: the configuration dialog, and
// on OK the options saved and applied to the window.

#include <QAction>
#include <QTabWidget>

#include "app/dialogs/configdlg.h"
#include "app/main/archivemodel.h"
#include "app/main/mainform.h"
#include "app/main/settings.h"
#include "app/main/userinterface.h"

namespace brevane {

void TfmMain::RunConfiguration(int Page) {
  TfmConfiguration dlg(this);
  if (Page >= 0) dlg.pcConfig->setCurrentIndex(Page);
  if (UI().ShowModal(dlg) != mrOk) return;
  // The window shows the new options even when the registry refused them;
  // the error has been told.
  ShowExceptions(SaveSettings);
  ApplyRegSettings();
  if (dlg.AssociationsVisited()) ShowExceptions([this] { ApplyFileAssociations(); });
  GenerateToolbar();
  const std::string archive = vskVorsk.ArchiveFile();
  if (!archive.empty()) {
    FModel->BeginUpdate();
    FModel->Clear();
    GenerateColumns();
    GenerateSortMenu();
    DisplayArchive(archive);
    FModel->EndUpdate();
  } else {
    GenerateColumns();
    GenerateSortMenu();
  }
}

void TfmMain::acConfigurationExecute() { RunConfiguration(-1); }

void TfmMain::miConfigureToolbarClick() { RunConfiguration(cpToolbar); }

}  // namespace brevane
