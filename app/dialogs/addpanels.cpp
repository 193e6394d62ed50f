#include "app/dialogs/addpanels.h"

#include <QFileDialog>
#include <QLineEdit>

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/dialogs/password.h"
#include "app/main/userinterface.h"
#include "ui_addbottom.h"
#include "ui_addoptionsbottom.h"

namespace brevane {

TfmAddBottom* fmAddBottom = nullptr;
TfmAddOptionsBottom* fmAddOptionsBottom = nullptr;

namespace {

QString PasswordCaption(const std::string* Password) {
  return QString::fromUtf8(Password && !Password->empty() ? dlgtext::kProtectedCaption : dlgtext::kPasswordCaption);
}

// Runs the password dialog on the main window's password; true on OK.
void EditPassword(QWidget* Parent, std::string* Password, QPushButton* Button) {
  TfmPassword dialog(Parent);
  if (Password) dialog.FPassword = *Password;
  if (UI().ShowModal(dialog) != mrOk) return;
  if (Password) *Password = dialog.PasswordText();
  Button->setText(PasswordCaption(Password));
}

}  // namespace

TfmAddBottom::TfmAddBottom(QWidget* Parent) : QWidget(Parent), ui(std::make_unique<Ui::TfmAddBottom>()) {
  ui->setupUi(this);
  cbAction = ui->cbAction;
  cbCompression = ui->cbCompression;
  cbDiskSpanning = ui->cbDiskSpanning;
  ckSaveFullPath = ui->ckSaveFullPath;
  ckIncludeSubfolders = ui->ckIncludeSubfolders;
  buPassword = ui->buPassword;
  buWildcards = ui->buWildcards;
  buHelp = ui->buHelp;

  connect(buPassword, &QPushButton::clicked, this, &TfmAddBottom::buPasswordClick);
  connect(buWildcards, &QPushButton::clicked, this, &TfmAddBottom::buWildcardsClick);
  connect(buHelp, &QPushButton::clicked, this, &TfmAddBottom::buHelpClick);
}

TfmAddBottom::~TfmAddBottom() = default;

void TfmAddBottom::FormShow() {
  if (FPassword && !FPassword->empty()) buPassword->setText(QString::fromUtf8(dlgtext::kProtectedCaption));
}

void TfmAddBottom::buPasswordClick() { EditPassword(window(), FPassword, buPassword); }

void TfmAddBottom::buWildcardsClick() {
  QFileDialog* dialog = HostDialog();
  QLineEdit* fileName = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
  const QString masks = fileName ? fileName->text().trimmed() : QString();
  if (masks.isEmpty()) {
    MessageDlg(dlgtext::kNoWildcards, mtInformation, mbOK);
    return;
  }
  FWildcardsUsed = true;
  FWildcards = masks.toStdString();
  FWildcardFolder = dialog->directory().absolutePath().toStdString();
  dialog->reject();
}

void TfmAddBottom::buHelpClick() { ShowHelpKeyword(dlgtext::kHlpAddDialog); }

void TfmAddBottom::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  FormShow();
}

QFileDialog* TfmAddBottom::HostDialog() const {
  if (AddDialog) return AddDialog;
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (auto* dialog = qobject_cast<QFileDialog*>(w)) return dialog;
  return nullptr;
}

TfmAddOptionsBottom::TfmAddOptionsBottom(QWidget* Parent)
    : QWidget(Parent), ui(std::make_unique<Ui::TfmAddOptionsBottom>()) {
  ui->setupUi(this);
  cbAction = ui->cbAction;
  cbCompression = ui->cbCompression;
  cbDiskSpanning = ui->cbDiskSpanning;
  ckSaveFullPath = ui->ckSaveFullPath;
  buPassword = ui->buPassword;
  buHelp = ui->buHelp;

  connect(buPassword, &QPushButton::clicked, this, &TfmAddOptionsBottom::buPasswordClick);
  connect(buHelp, &QPushButton::clicked, this, &TfmAddOptionsBottom::buHelpClick);
}

TfmAddOptionsBottom::~TfmAddOptionsBottom() = default;

void TfmAddOptionsBottom::FormShow() {
  if (FPassword && !FPassword->empty()) buPassword->setText(QString::fromUtf8(dlgtext::kProtectedCaption));
}

void TfmAddOptionsBottom::buPasswordClick() { EditPassword(window(), FPassword, buPassword); }

void TfmAddOptionsBottom::buHelpClick() { ShowHelpKeyword(dlgtext::kHlpAddOptions); }

void TfmAddOptionsBottom::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  FormShow();
}

}  // namespace brevane
