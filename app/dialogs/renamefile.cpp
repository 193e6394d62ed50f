#include "app/dialogs/renamefile.h"

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/main/userinterface.h"
#include "ui_renamefile.h"

namespace brevane {

TfmRenameFile::TfmRenameFile(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmRenameFile>()) {
  ui->setupUi(this);
  laExplanation = ui->laExplanation;
  edFileName = ui->edFileName;
  buRename = ui->buRename;
  buSkip = ui->buSkip;
  buSkipAll = ui->buSkipAll;
  buHelp = ui->buHelp;

  connect(buRename, &QPushButton::clicked, this, &TfmRenameFile::buRenameClick);
  connect(buSkip, &QPushButton::clicked, this, &TfmRenameFile::buSkipClick);
  connect(buSkipAll, &QPushButton::clicked, this, &TfmRenameFile::buSkipAllClick);
  connect(buHelp, &QPushButton::clicked, this, &TfmRenameFile::buHelpClick);
}

TfmRenameFile::~TfmRenameFile() = default;

void TfmRenameFile::SetFileName(const std::string& Name) {
  FOriginalName = Name;
  edFileName->setText(QString::fromStdString(Name));
}

std::string TfmRenameFile::FileNameText() const { return edFileName->text().toStdString(); }

void TfmRenameFile::buRenameClick() {
  const std::string name = FileNameText();
  if (name.empty()) {
    MessageDlg(dlgtext::kRenameEmpty, mtInformation, mbOK);
    return;
  }
  if (name == FOriginalName) {
    MessageDlg(dlgtext::kRenameUnchanged, mtError, mbOK);
    return;
  }
  done(mrRenameDupe);
}

void TfmRenameFile::buSkipClick() { done(mrSkipDupe); }

void TfmRenameFile::buSkipAllClick() { done(mrSkipAllDupes); }

void TfmRenameFile::buHelpClick() { ShowHelpKeyword(dlgtext::kHlpRenameFile); }

}  // namespace brevane
