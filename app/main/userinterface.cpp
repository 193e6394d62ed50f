#include "app/main/userinterface.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <exception>

#include "app/main/dialogtrash.h"
#include "app/main/helpjump.h"

namespace brevane {

namespace {

TQtUserInterface& QtInterface() {
  static TQtUserInterface ui;
  return ui;
}

IUserInterface* g_ui = nullptr;
int g_errorsShown = 0;

QString ToQt(const std::string& s) { return QString::fromStdString(s); }

// Room beside a title for the window's icon and its title-bar buttons.
constexpr int kTitleBarExtra = 150;

// Makes a message box wide enough that its title is not cut, also when its
// text is short (the About box).
void FitTitle(QMessageBox& Box) {
  QFont bold = Box.font();
  bold.setBold(true);
  const int width = QFontMetrics(bold).horizontalAdvance(Box.windowTitle()) + kTitleBarExtra;
  if (auto* grid = qobject_cast<QGridLayout*>(Box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

}  // namespace

IUserInterface& UI() { return g_ui ? *g_ui : QtInterface(); }

void SetUserInterface(IUserInterface* Ui) { g_ui = Ui; }

std::string DisplayText(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r') {
      out += '\n';
      if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      out += Text[i];
    }
  }
  return out;
}

int TQtUserInterface::MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) {
  return ShowMessageBox(Text, Type, Buttons, 0, 0);
}

int TQtUserInterface::MessageDlgHelp(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons,
                                     int HelpCtx) {
  return ShowMessageBox(Text, Type, Buttons, HelpCtx, 0);
}

int TQtUserInterface::MessageDlgDefault(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons,
                                        TMsgDlgButtons Default) {
  return ShowMessageBox(Text, Type, Buttons, 0, Default);
}

int TQtUserInterface::ShowMessageBox(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int HelpCtx,
                                     TMsgDlgButtons Default) {
  QMessageBox box(QApplication::activeWindow());
  switch (Type) {
    case mtWarning:
      box.setIcon(QMessageBox::Warning);
      box.setWindowTitle(QStringLiteral("Warning"));
      break;
    case mtError:
      box.setIcon(QMessageBox::Critical);
      box.setWindowTitle(QStringLiteral("Error"));
      break;
    case mtInformation:
      box.setIcon(QMessageBox::Information);
      box.setWindowTitle(QStringLiteral("Information"));
      break;
    case mtConfirmation:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle(QStringLiteral("Confirm"));
      break;
    case mtCustom:
      box.setWindowTitle(QApplication::applicationName());
      break;
  }
  box.setText(ToQt(DisplayText(Text)));
  FitTitle(box);
  struct Pair {
    TMsgDlgButtons Button;
    QMessageBox::StandardButton Standard;
    int Result;
  };
  const Pair pairs[] = {
      {mbYes, QMessageBox::Yes, mrYes},
      {mbNo, QMessageBox::No, mrNo},
      {mbOK, QMessageBox::Ok, mrOk},
      {mbCancel, QMessageBox::Cancel, mrCancel},
      {mbAbort, QMessageBox::Abort, mrAbort},
      {mbRetry, QMessageBox::Retry, mrRetry},
      {mbIgnore, QMessageBox::Ignore, mrIgnore},
      {mbAll, QMessageBox::YesToAll, mrAll},
      {mbNoToAll, QMessageBox::NoToAll, mrNoToAll},
      {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
      {mbHelp, QMessageBox::Help, mrNone},
  };
  if (Buttons == 0) Buttons = mbOK;
  for (const auto& p : pairs)
    if (Buttons & p.Button) {
      QPushButton* button = box.addButton(p.Standard);
      if (p.Button == Default) box.setDefaultButton(button);
    }
  // Help shows the topic and the question stays: the button is taken from
  // the box's own handling, which would close it.
  if (QAbstractButton* help = (Buttons & mbHelp) && HelpCtx ? box.button(QMessageBox::Help) : nullptr) {
    QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
    QObject::connect(help, &QAbstractButton::clicked, &box, [HelpCtx] { ShowHelpContext(HelpCtx); });
  }
  box.exec();
  const auto clicked = box.standardButton(box.clickedButton());
  for (const auto& p : pairs)
    if ((Buttons & p.Button) && p.Standard == clicked) return p.Result;
  return (Buttons & mbCancel) ? mrCancel : (Buttons & mbNo) ? mrNo : mrOk;
}

bool TQtUserInterface::InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) {
  bool ok = false;
  const QString answer = QInputDialog::getText(QApplication::activeWindow(), ToQt(Caption), ToQt(Prompt),
                                               QLineEdit::Normal, ToQt(Value), &ok);
  if (ok) Value = answer.toStdString();
  return ok;
}

bool TQtUserInterface::SelectDirectory(const std::string& Caption, std::string& Folder) {
  QFileDialog d(QApplication::activeWindow(), ToQt(Caption), ToQt(Folder));
  d.setFileMode(QFileDialog::Directory);
  d.setOption(QFileDialog::ShowDirsOnly);
  RouteDeletesToTrash(d);
  if (ShowModal(d) != mrOk || d.selectedFiles().isEmpty()) return false;
  Folder = d.selectedFiles().front().toStdString();
  return true;
}

int TQtUserInterface::ShowModal(QDialog& Dialog) {
  const int r = Dialog.exec();
  if (r == QDialog::Accepted) return mrOk;
  if (r == QDialog::Rejected) return mrCancel;
  return r;
}

int MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) {
  if (Type == mtError) ++g_errorsShown;
  return UI().MessageDlg(Text, Type, Buttons);
}

int MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int HelpCtx) {
  if (Type == mtError) ++g_errorsShown;
  return UI().MessageDlgHelp(Text, Type, Buttons, HelpCtx);
}

int MessageDlgDefault(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, TMsgDlgButtons Default) {
  if (Type == mtError) ++g_errorsShown;
  return UI().MessageDlgDefault(Text, Type, Buttons, Default);
}

void ShowError(const std::string& Text) { MessageDlg(Text, mtError, mbOK); }

int ErrorMessagesShown() { return g_errorsShown; }

void ShowInformation(const std::string& Text) { UI().MessageDlg(Text, mtInformation, mbOK); }

bool ShowExceptions(const std::function<void()>& Action) {
  try {
    Action();
    return true;
  } catch (const std::exception& e) {
    ShowError(e.what());
    return false;
  }
}

}  // namespace brevane
