#include "app/dialogs/comment.h"

#include <QPlainTextEdit>

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/main/userinterface.h"
#include "ui_comment.h"

namespace brevane {

TfmComment::TfmComment(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmComment>()) {
  ui->setupUi(this);
  laComment = ui->laComment;
  meComment = ui->meComment;
  buClose = ui->buClose;
  buClear = ui->buClear;
  bbSave = ui->bbSave;
  buHelp = ui->buHelp;

  // Every change counts, typed or pasted with the mouse or the menu.
  connect(meComment, &QPlainTextEdit::textChanged, this, &TfmComment::meCommentChange);
  connect(bbSave, &QPushButton::clicked, this, &TfmComment::bbSaveClick);
  connect(buClear, &QPushButton::clicked, this, &TfmComment::buClearClick);
  connect(buClose, &QPushButton::clicked, this, &TfmComment::buCloseClick);
  connect(buHelp, &QPushButton::clicked, this, &TfmComment::buHelpClick);
  FormActivate();
}

TfmComment::~TfmComment() = default;

void TfmComment::SetComment(const std::string& Comment) {
  meComment->setPlainText(QString::fromStdString(DisplayText(Comment)));
  bbSave->setEnabled(false);
}

std::string TfmComment::CommentText() const {
  const std::string text = meComment->toPlainText().toStdString();
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void TfmComment::FormActivate() { bbSave->setEnabled(false); }

void TfmComment::meCommentChange() { bbSave->setEnabled(true); }

void TfmComment::bbSaveClick() { bbSave->setEnabled(!WriteComment()); }

void TfmComment::buClearClick() {
  if (MessageDlg(dlgtext::kConfirmClearComment, mtConfirmation, mbYesNo) != mrYes) return;
  meComment->clear();
  bbSave->setEnabled(!WriteComment());
}

void TfmComment::buCloseClick() {
  if (FClosing) return;
  FClosing = true;
  bool close = true;
  if (bbSave->isEnabled() && MessageDlg(dlgtext::kConfirmSaveComment, mtConfirmation, mbYesNo) == mrYes) {
    bbSaveClick();
    // A comment the archive refused stays for the user to shorten.
    close = !bbSave->isEnabled();
  }
  if (close) done(mrOk);
  FClosing = false;
}

void TfmComment::buHelpClick() { ShowHelpKeyword(dlgtext::kHlpViewingOr); }

void TfmComment::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FormActivate();
}

void TfmComment::reject() { buCloseClick(); }

bool TfmComment::WriteComment() { return !OnSaveComment || OnSaveComment(CommentText()); }

}  // namespace brevane
