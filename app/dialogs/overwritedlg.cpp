#include "app/dialogs/overwritedlg.h"

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/main/userinterface.h"
#include "ui_overwritedlg.h"

namespace brevane {

TfmOverwriteDlg::TfmOverwriteDlg(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmOverwriteDlg>()) {
  ui->setupUi(this);
  laReplace = ui->laReplace;
  laReplaceFilename = ui->laReplaceFilename;
  laWith = ui->laWith;
  laWithName = ui->laWithName;
  bbYes = ui->bbYes;
  bbYesAll = ui->bbYesAll;
  bbNo = ui->bbNo;
  bbNoAll = ui->bbNoAll;
  bbCancel = ui->bbCancel;
  bbRename = ui->bbRename;
  bbHelp = ui->bbHelp;

  const std::pair<QPushButton*, int> results[] = {{bbYes, mrYes},
                                                  {bbYesAll, mrOverwriteYesToAll},
                                                  {bbNo, mrNo},
                                                  {bbNoAll, mrOverwriteNoToAll},
                                                  {bbCancel, mrCancel}};
  for (const auto& [button, result] : results)
    connect(button, &QPushButton::clicked, this, [this, r = result] { done(r); });
  connect(bbRename, &QPushButton::clicked, this, &TfmOverwriteDlg::bbRenameClick);
  connect(bbHelp, &QPushButton::clicked, this, &TfmOverwriteDlg::bbHelpClick);
}

TfmOverwriteDlg::~TfmOverwriteDlg() = default;

void TfmOverwriteDlg::bbRenameClick() {
  std::string answer = FFileName;
  if (!UI().InputQuery(dlgtext::kRenameFileTitle, dlgtext::kRenameFilePrompt, answer)) return;
  FNewName = answer;
  done(mrOverwriteRename);
}

void TfmOverwriteDlg::bbHelpClick() { ShowHelpKeyword(dlgtext::kHlpOverwriteDialog); }

}  // namespace brevane
