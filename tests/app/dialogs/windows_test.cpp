// The comment, progress and output windows and the add panels.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QTimer>
#include <QMessageBox>

#include "app/components/progresscyl.h"
#include "app/dialogs/addpanels.h"
#include "app/dialogs/comment.h"
#include "app/dialogs/dialogtexts.h"
#include "app/dialogs/password.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/properties.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/userinterface.h"
#include "scriptedui.h"
#include "tests/support/testutil.h"

namespace brevane {
namespace {

using testing::TScriptedUi;
using vsktest::IsolatedEnvironment;
using namespace dlgtext;

TEST(CommentWindow, EveryChangeCountsAndClosingAsksToSave) {
  TScriptedUi ui;
  std::vector<std::string> saved;
  TfmComment dlg;
  dlg.OnSaveComment = [&](const std::string& c) { return saved.push_back(c), true; };
  dlg.SetComment("first line\r\nsecond line");
  EXPECT_EQ(dlg.meComment->toPlainText(), "first line\nsecond line");
  EXPECT_FALSE(dlg.bbSave->isEnabled());

  // Closing unchanged asks nothing.
  dlg.buClose->click();
  EXPECT_EQ(dlg.result(), mrOk);
  EXPECT_TRUE(saved.empty());

  // A paste (no key pressed) is a change too.
  dlg.setResult(mrNone);
  dlg.meComment->moveCursor(QTextCursor::End);
  dlg.meComment->insertPlainText("\npasted");
  EXPECT_TRUE(dlg.bbSave->isEnabled());
  ui.ExpectMessage(kConfirmSaveComment, mtConfirmation, mrNo);
  dlg.buClose->click();
  EXPECT_EQ(dlg.result(), mrOk);
  EXPECT_TRUE(saved.empty());

  ui.ExpectMessage(kConfirmSaveComment, mtConfirmation, mrYes);
  dlg.buClose->click();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0], "first line\r\nsecond line\r\npasted");

  // Escape closes through the same question.
  dlg.meComment->insertPlainText("!");
  ui.ExpectMessage(kConfirmSaveComment, mtConfirmation, mrYes);
  dlg.reject();
  EXPECT_EQ(saved.size(), 2u);
  EXPECT_EQ(dlg.result(), mrOk);
}

TEST(CommentWindow, SaveAndClear) {
  TScriptedUi ui;
  std::vector<std::string> saved;
  TfmComment dlg;
  dlg.OnSaveComment = [&](const std::string& c) { return saved.push_back(c), true; };
  dlg.SetComment("old");
  dlg.meComment->setPlainText("new");
  dlg.bbSave->click();
  EXPECT_FALSE(dlg.bbSave->isEnabled());
  EXPECT_EQ(saved, std::vector<std::string>{"new"});

  ui.ExpectMessage(kConfirmClearComment, mtConfirmation, mrNo);
  dlg.buClear->click();
  EXPECT_EQ(dlg.meComment->toPlainText(), "new");
  ui.ExpectMessage(kConfirmClearComment, mtConfirmation, mrYes);
  dlg.buClear->click();
  EXPECT_TRUE(dlg.meComment->toPlainText().isEmpty());
  EXPECT_FALSE(dlg.bbSave->isEnabled());
  EXPECT_EQ(saved, (std::vector<std::string>{"new", ""}));
}

TEST(ProgressWindow, CancelIsAskedAndSeenThroughTheFlag) {
  TScriptedUi ui;
  TfmProgress dlg;
  EXPECT_EQ(dlg.windowTitle(), "Please wait ...");
  const bool* flag = dlg.CancelFlag();
  dlg.show();
  EXPECT_TRUE(dlg.Animating());
  EXPECT_FALSE(*flag);
  EXPECT_EQ(dlg.pbTotal->value(), 1);
  EXPECT_EQ(dlg.laTotal->text(), "1%");
  EXPECT_EQ(dlg.laCurrent->text(), "0%");
  dlg.SetProgress(40, 250);
  EXPECT_EQ(dlg.laCurrent->text(), "40%");
  EXPECT_EQ(dlg.pbTotal->value(), 100);

  ui.ExpectMessage(kConfirmCancelTask, mtConfirmation, mrNo);
  dlg.buCancel->click();
  EXPECT_FALSE(dlg.Cancelled());
  EXPECT_TRUE(dlg.buCancel->isEnabled());

  ui.ExpectMessage(kConfirmCancelTask, mtConfirmation, mrYes);
  dlg.buCancel->click();
  EXPECT_TRUE(*flag);
  EXPECT_EQ(dlg.buCancel->text(), kWaitCaption);
  EXPECT_FALSE(dlg.buCancel->isEnabled());
  // Escape while cancelling asks nothing more and keeps the window.
  dlg.reject();
  EXPECT_TRUE(dlg.isVisible());

  dlg.hide();
  EXPECT_FALSE(dlg.Animating());
  // Showing again starts a new task.
  dlg.show();
  EXPECT_FALSE(*flag);
  EXPECT_EQ(dlg.buCancel->text(), kCancelCaption);
  EXPECT_TRUE(dlg.buCancel->isEnabled());
  dlg.hide();
}

TEST(OutputWindow, CopiesToClipboard) {
  TfmViewOutput dlg;
  EXPECT_TRUE(dlg.meOutput->isReadOnly());
  dlg.meOutput->setPlainText("Errors: 2\nbad.zip: CRC error");
  dlg.buCopy->click();
  EXPECT_EQ(QApplication::clipboard()->text(), "Errors: 2\nbad.zip: CRC error");
  dlg.buClose->click();
  EXPECT_EQ(dlg.result(), mrOk);
}

TEST(PropertiesWindow, ShowsAttributes) {
  TfmProperties dlg;
  // The ratio is shown on the cylinder gauge.
  EXPECT_EQ(dlg.pcRatio->Max(), 100);
  dlg.pcRatio->SetPosition(68);
  EXPECT_EQ(dlg.pcRatio->DisplayText(), "68%");
  dlg.SetAttributes(0x21);
  EXPECT_TRUE(dlg.ckReadOnly->isChecked());
  EXPECT_TRUE(dlg.ckArchive->isChecked());
  EXPECT_FALSE(dlg.ckHidden->isChecked());
  EXPECT_FALSE(dlg.ckSystem->isChecked());
  dlg.buClose->click();
  EXPECT_EQ(dlg.result(), mrOk);
}

// Types a password into the password dialog as a user would and accepts it.
std::function<int(QDialog&)> TypePassword(const std::string& Expected, const std::string& Typed) {
  return [=](QDialog& d) {
    auto* dlg = dynamic_cast<TfmPassword*>(&d);
    EXPECT_NE(dlg, nullptr);
    if (!dlg) return int(mrCancel);
    dlg->FormActivate();
    EXPECT_EQ(dlg->edPassword->text().toStdString(), Expected);
    dlg->edPassword->setText(QString::fromStdString(Typed));
    dlg->edVerify->setText(QString::fromStdString(Typed));
    dlg->buOK->click();
    return dlg->result();
  };
}

TEST(AddPanels, PasswordButtonEditsTheMainPassword) {
  IsolatedEnvironment env;
  TScriptedUi ui;
  std::string password;
  TfmAddBottom panel;
  panel.FPassword = &password;
  EXPECT_EQ(panel.objectName(), "fmAddBottom");

  ui.ExpectModal(TypePassword("", "s3cret"));
  panel.buPassword->click();
  EXPECT_EQ(password, "s3cret");
  EXPECT_EQ(panel.buPassword->text(), kProtectedCaption);

  ui.ExpectModal([](QDialog&) { return int(mrCancel); });
  panel.buPassword->click();
  EXPECT_EQ(password, "s3cret");

  ui.ExpectModal(TypePassword("s3cret", ""));
  panel.buPassword->click();
  EXPECT_TRUE(password.empty());
  EXPECT_EQ(panel.buPassword->text(), kPasswordCaption);

  TfmAddOptionsBottom options;
  options.FPassword = &password;
  password = "given";
  options.show();
  EXPECT_EQ(options.buPassword->text(), kProtectedCaption);
  ui.ExpectModal(TypePassword("given", "other"));
  options.buPassword->click();
  EXPECT_EQ(password, "other");
  options.hide();
}

TEST(AddPanels, WildcardsComeFromTheFileNameField) {
  IsolatedEnvironment env;
  TScriptedUi ui;
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDirectory(QString::fromStdString(env.root().string()));
  auto* panel = new TfmAddBottom(&dialog);
  auto* fileName = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(fileName, nullptr);

  ui.ExpectMessage(kNoWildcards, mtInformation);
  panel->buWildcards->click();
  EXPECT_FALSE(panel->FWildcardsUsed);

  dialog.open();
  fileName->setText("*.txt *.doc");
  panel->buWildcards->click();
  EXPECT_TRUE(panel->FWildcardsUsed);
  EXPECT_EQ(panel->FWildcards, "*.txt *.doc");
  EXPECT_EQ(panel->FWildcardFolder, QDir(QString::fromStdString(env.root().string())).absolutePath().toStdString());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
}

// The program's own message box (not the scripted one), as the About
// command shows it: a short text leaves room for the whole title beside
// the icon and the buttons of a title bar.
TEST(MessageBoxes, AShortTextKeepsTheTitleWhole) {
  int width = 0, titleWidth = 0, tries = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, &answer, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      if (++tries > 500) QApplication::closeAllWindows();
      return;
    }
    answer.stop();
    QFont bold = box->font();
    bold.setBold(true);
    titleWidth = QFontMetrics(bold).horizontalAdvance(QStringLiteral("Information"));
    width = box->width();
    box->buttons().front()->click();
  });
  answer.start(5);
  TQtUserInterface().MessageDlg("Brevane 2.02", mtInformation, mbOK);
  ASSERT_GT(titleWidth, 0);
  EXPECT_GE(width, titleWidth + 120);
}

}  // namespace
}  // namespace brevane
