#include "app/dialogs/getpassword.h"

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/main/userinterface.h"
#include "ui_getpassword.h"

namespace brevane {

TfmGetPassword::TfmGetPassword(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmGetPassword>()) {
  ui->setupUi(this);
  laFile = ui->laFile;
  laFileName = ui->laFileName;
  edPassword = ui->edPassword;
  ckMask = ui->ckMask;
  buOK = ui->buOK;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;

  connect(ckMask, &QCheckBox::clicked, this, &TfmGetPassword::ckMaskClick);
  connect(buOK, &QPushButton::clicked, this, &TfmGetPassword::buOKClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, &TfmGetPassword::buHelpClick);
  FormCreate();
}

TfmGetPassword::~TfmGetPassword() { FormDestroy(); }

void TfmGetPassword::SetFileName(const std::string& FileName) { laFileName->setText(QString::fromStdString(FileName)); }

std::string TfmGetPassword::PasswordText() const { return edPassword->text().toStdString(); }

void TfmGetPassword::FormCreate() {
  ckMask->setChecked(ReadMaskPassword());
  ckMaskClick();
}

void TfmGetPassword::FormDestroy() { WriteMaskPassword(ckMask->isChecked()); }

void TfmGetPassword::ckMaskClick() {
  edPassword->setEchoMode(ckMask->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
}

void TfmGetPassword::buOKClick() {
  if (edPassword->text().isEmpty()) {
    MessageDlg(dlgtext::kNoPassword, mtInformation, mbOK);
    return;
  }
  done(mrOk);
}

void TfmGetPassword::buHelpClick() { ShowHelpKeyword(dlgtext::kHlpPasswordRequired); }

}  // namespace brevane
