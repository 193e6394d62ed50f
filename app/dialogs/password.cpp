#include "app/dialogs/password.h"

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/main/userinterface.h"
#include "ui_password.h"

namespace brevane {

TfmPassword::TfmPassword(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmPassword>()) {
  ui->setupUi(this);
  laPassword = ui->laPassword;
  edPassword = ui->edPassword;
  laVerify = ui->laVerify;
  edVerify = ui->edVerify;
  laExplanation = ui->laExplanation;
  ckMask = ui->ckMask;
  buOK = ui->buOK;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;

  connect(ckMask, &QCheckBox::clicked, this, &TfmPassword::ckMaskClick);
  connect(buOK, &QPushButton::clicked, this, &TfmPassword::buOKClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, &TfmPassword::buHelpClick);
  FormCreate();
}

TfmPassword::~TfmPassword() { FormDestroy(); }

std::string TfmPassword::PasswordText() const { return edPassword->text().toStdString(); }

void TfmPassword::FormCreate() {
  ckMask->setChecked(ReadMaskPassword());
  ApplyMaskLayout();
}

void TfmPassword::FormActivate() {
  edPassword->setText(QString::fromStdString(FPassword));
  edVerify->setText(QString::fromStdString(FPassword));
  edPassword->setFocus();
}

void TfmPassword::FormDestroy() { WriteMaskPassword(ckMask->isChecked()); }

void TfmPassword::ckMaskClick() { ApplyMaskLayout(); }

void TfmPassword::buOKClick() {
  if (ckMask->isChecked() && edPassword->text() != edVerify->text()) {
    MessageDlg(dlgtext::kPasswordsDontMatch, mtError, mbOK);
    edPassword->clear();
    edVerify->clear();
    edPassword->setFocus();
    return;
  }
  done(mrOk);
}

void TfmPassword::buHelpClick() { ShowHelpKeyword(dlgtext::kHlpPasswordProtect); }

// Only on showing: a later activation (switching back to the window) must not
// overwrite what was typed meanwhile.
void TfmPassword::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FormActivate();
}

void TfmPassword::ApplyMaskLayout() {
  const bool masked = ckMask->isChecked();
  const auto mode = masked ? QLineEdit::Password : QLineEdit::Normal;
  edPassword->setEchoMode(mode);
  edVerify->setEchoMode(mode);
  edVerify->setVisible(masked);
  laVerify->setVisible(masked);
  laExplanation->move(laExplanation->x(), masked ? 96 : 56);
  ckMask->move(ckMask->x(), masked ? 157 : 117);
  setFixedHeight(masked ? 209 : 166);
}

}  // namespace brevane
