#include <QCheckBox>
#include <exception>

#include "app/dialogs/associatedlg.h"
#include "app/main/mainform.h"
#include "app/main/program.h"
#include "app/main/settings.h"
#include "app/main/shellreg.h"
#include "app/main/userinterface.h"

namespace brevane {

void TfmMain::UpdateRegArchiveExt() { vskRegArchive.SetArcExtensions(EnabledAssociationExtensions(Options)); }

void TfmMain::ApplyFileAssociations() {
  if (Options.EnableAssociations) {
    UpdateRegArchiveExt();
    if (!vskRegArchive.ArcExtensions().empty()) vskRegArchive.RegisterExtensions();
  } else {
    vskRegArchive.SetArcExtensions({kAssociationExtensions.begin(), kAssociationExtensions.end()});
    vskRegArchive.UnregisterExtensions();
  }
}

bool TfmMain::ShowFileAssociationDlg() {
  TfmAssociateDlg dlg(this);
  const bool associate = UI().ShowModal(dlg) == mrYes;
  if (dlg.ckAskAgain->isChecked()) {
    WriteSettingBool("FileAssociations", "CheckAssociations", false);
    Options.CheckAssociations = false;
  }
  return associate;
}

void TfmMain::CheckFileAssociations() {
  // The uninstaller's clean-up is not the moment to offer associations.
  if (CleanUpRun()) return;
  if (!Options.CheckAssociations || !Options.EnableAssociations) return;
  try {
    UpdateRegArchiveExt();
    if (!vskRegArchive.IsAssociated() && ShowFileAssociationDlg()) ApplyFileAssociations();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

}  // namespace brevane
