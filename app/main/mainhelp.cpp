// The main window's help commands: the help window at a topic, at its
// contents or at its search page, and the help jump of every dialog.

#include <QAction>
#include <QMenu>

#include "app/dialogs/checkversiondlg.h"
#include "app/dialogs/dialogsupport.h"
#include "app/main/help.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/userinterface.h"

namespace brevane {

void TfmMain::ShowHelpTopic(const std::string& Keyword) {
  THelpWindow& w = HelpWindow();
  w.ShowTopic(Keyword);
  w.Present();
}

void TfmMain::ShowHelpContents(bool Search) {
  THelpWindow& w = HelpWindow();
  w.ShowContents(Search);
  w.Present();
}

THelpWindow& TfmMain::HelpWindow() {
  // A window of its own that lives as long as the main window; it is made
  // when help is first asked for.
  if (!FHelpWindow) {
    FHelpWindow = new THelpWindow(HelpFolder(), this);
    FHelpWindow->OpenUrl = [this](const std::string& Url) { return OpenUrl && OpenUrl(Url); };
  }
  return *FHelpWindow;
}

void TfmMain::acCheckVersionExecute() {
  TfmCheckVersion dlg(this);
  dlg.FCurrentVersion = msgtext::kAboutText;
  if (UI().ShowModal(dlg) == mrOk && OpenUrl) OpenUrl(dlg.Server + kDownloadPath);
}

void TfmMain::ConnectHelpCommands() {
  SetHelpHandler([this](const std::string& Keyword) { ShowHelpTopic(Keyword); });
  connect(acHelpContents, &QAction::triggered, this, [this] { ShowHelpContents(false); });
  connect(acHelpSearch, &QAction::triggered, this, [this] { ShowHelpContents(true); });
  const std::pair<QAction*, const char*> topics[] = {
      {acHelpTutorial, "Hlp_Quick_Start"},
      {acHelpTips, "Hlp_Hints_and"},
      {acHelpFAQ, "Hlp_Frequently_Asked"},
      {acLicenseAgreement, "Hlp_License"},
  };
  for (const auto& [action, keyword] : topics)
    connect(action, &QAction::triggered, this, [this, k = std::string(keyword)] { ShowHelpTopic(k); });
  acCheckVersion = new QAction(QStringLiteral("Check for &New Version..."), this);
  acCheckVersion->setObjectName(QStringLiteral("acCheckVersion"));
  miHelp->insertAction(acHomepage, acCheckVersion);
  connect(acCheckVersion, &QAction::triggered, this, &TfmMain::acCheckVersionExecute);
}

}  // namespace brevane
