// The extract, overwrite, password and duplicate-name dialogs: validation
// keeps the dialog open with its message; the buttons give their results.

#include <gtest/gtest.h>


#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>

#include "app/components/regcontrols.h"
#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/dialogs/extractdlg.h"
#include "app/dialogs/getpassword.h"
#include "app/dialogs/overwritedlg.h"
#include "app/dialogs/password.h"
#include "app/dialogs/renamefile.h"
#include "app/dialogs/tooldialogs.h"
#include "platform/registry.h"
#include "scriptedui.h"
#include "tests/support/testutil.h"

namespace brevane {
namespace {

using testing::TScriptedUi;
using vsktest::IsolatedEnvironment;
using namespace dlgtext;

std::vector<std::string> ExtractHistory() {
  vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(kMRUExtractKey)) return {};
  return reg.GetValueNames();
}

TEST(ExtractDialog, ValidatesDestinationAndKeepsHistory) {
  IsolatedEnvironment env;
  TScriptedUi ui;
  TfmExtractDlg dlg;
  EXPECT_EQ(dlg.windowTitle(), "Extract");
  EXPECT_TRUE(dlg.ckRestoreFolders->isChecked());
  EXPECT_TRUE(dlg.ckConfirmOverwrites->isChecked());
  EXPECT_FALSE(dlg.ckRestoreAttributes->isChecked());
  EXPECT_TRUE(dlg.ckCreateDirectories->isChecked());
  EXPECT_FALSE(dlg.ckDateAttribute->isChecked());
  EXPECT_TRUE(dlg.bbExtract->isDefault());

  ui.ExpectMessage(kNoExtractDirectory, mtError);
  dlg.bbExtract->click();
  EXPECT_EQ(dlg.result(), mrNone);
  EXPECT_TRUE(ExtractHistory().empty());

  // A bare name lies under the current directory.
  const std::string cwd = std::filesystem::current_path().string();
  dlg.SetDestination("unpacked");
  dlg.bbExtract->click();
  EXPECT_EQ(dlg.result(), mrOk);
  EXPECT_EQ(dlg.Destination(), cwd + "/unpacked");

  TfmExtractDlg second;
  ASSERT_EQ(second.cbDestination->count(), 1);
  EXPECT_EQ(second.cbDestination->itemText(0).toStdString(), cwd + "/unpacked");
  second.SetDestination("/tmp/other");
  second.bbExtract->click();
  EXPECT_EQ(second.Destination(), "/tmp/other");
  second.SetDestination(cwd + "/unpacked");
  second.bbExtract->click();
  // A repeated destination moves to the top instead of appearing twice.
  EXPECT_EQ(ExtractHistory(), (std::vector<std::string>{cwd + "/unpacked", "/tmp/other"}));

  EXPECT_EQ(ExtractDestination("sub/dir", "/home/u"), "/home/u/sub/dir");
  EXPECT_EQ(ExtractDestination("/abs", "/home/u"), "/abs");
  EXPECT_EQ(ExtractDestination("name", "/"), "/name");
}

// A deep destination keeps the dialog's size, the tree's room and the
// buttons' places.
TEST(ExtractDialog, ADeepDestinationKeepsTheLayout) {
  IsolatedEnvironment env;
  vsktest::TempDir dir;
  std::filesystem::path deep = dir.path();
  for (int i = 0; i < 30; ++i) deep /= "a-rather-long-folder-name-" + std::to_string(i);
  std::filesystem::create_directories(deep);
  // Shown with a short destination, then another with the deep one in
  // its history too.
  TScriptedUi ui;
  TfmExtractDlg near;
  near.SetDestination(dir.str());
  near.show();
  QApplication::processEvents();
  {
    TfmExtractDlg used;
    used.SetDestination(deep.string());
    used.bbExtractClick();
  }
  TfmExtractDlg far;
  ASSERT_EQ(far.cbDestination->count(), 1);
  far.SetDestination(deep.string());
  far.show();
  QApplication::processEvents();
  EXPECT_EQ(far.Destination(), deep.string());
  EXPECT_EQ(far.cbDestination->toolTip().toStdString(), deep.string());
  EXPECT_EQ(far.size(), near.size());
  EXPECT_GE(far.dfstvExplorer->width(), 220);
  EXPECT_EQ(far.dfstvExplorer->geometry(), near.dfstvExplorer->geometry());
  EXPECT_EQ(far.bbExtract->geometry(), near.bbExtract->geometry());
}

TEST(ExtractDialog, HistoryKeepsTwentyEntries) {
  IsolatedEnvironment env;
  TScriptedUi ui;
  TfmExtractDlg dlg;
  for (int i = 0; i < 25; ++i) {
    dlg.SetDestination("/data/d" + std::to_string(i));
    dlg.bbExtractClick();
  }
  const auto history = ExtractHistory();
  ASSERT_EQ(history.size(), 20u);
  EXPECT_EQ(history.front(), "/data/d24");
  EXPECT_EQ(history.back(), "/data/d5");

  // The box is the program's history box: it completes what is typed from
  // the history after a pause, and keeps a text when the focus leaves it.
  QWidget form;
  auto* next = new TfmExtractDlg(&form);
  auto* other = new QLineEdit(&form);
  form.show();
  next->cbDestination->setFocus();
  next->SetDestination("");
  QTest::keyClicks(next->cbDestination->lineEdit(), QStringLiteral("/data/d1"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !next->cbDestination->CompletionPending(); }, 5000));
  EXPECT_EQ(next->Destination(), "/data/d19");
  next->SetDestination("/typed/only");
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(next->cbDestination, &out);
  other->setFocus();
  EXPECT_EQ(ExtractHistory().front(), "/typed/only");
}

TEST(OverwriteDialog, ButtonsGiveTheirResults) {
  TScriptedUi ui;
  const std::pair<QPushButton* TfmOverwriteDlg::*, int> cases[] = {
      {&TfmOverwriteDlg::bbYes, mrYes},       {&TfmOverwriteDlg::bbNo, mrNo},
      {&TfmOverwriteDlg::bbYesAll, 21},       {&TfmOverwriteDlg::bbNoAll, 22},
      {&TfmOverwriteDlg::bbCancel, mrCancel},
  };
  for (const auto& [button, result] : cases) {
    TfmOverwriteDlg dlg;
    (dlg.*button)->click();
    EXPECT_EQ(dlg.result(), result);
  }

  TfmOverwriteDlg dlg;
  EXPECT_EQ(dlg.windowTitle(), "Confirm File Overwrite");
  dlg.FFileName = "report.txt";
  ui.ExpectInput(kRenameFilePrompt, false);
  dlg.bbRename->click();
  EXPECT_EQ(dlg.result(), mrNone);
  EXPECT_TRUE(dlg.FNewName.empty());
  EXPECT_EQ(ui.LastInputCaption, kRenameFileTitle);
  EXPECT_EQ(ui.LastInputStart, "report.txt");

  ui.ExpectInput(kRenameFilePrompt, true, "report-2.txt");
  dlg.bbRename->click();
  EXPECT_EQ(dlg.result(), mrOverwriteRename);
  EXPECT_EQ(dlg.FNewName, "report-2.txt");
}

TEST(PasswordDialog, MaskedEntriesMustMatch) {
  IsolatedEnvironment env;
  TScriptedUi ui;
  WriteMaskPassword(true);
  TfmPassword dlg;
  dlg.FPassword = "old";
  dlg.FormActivate();
  EXPECT_EQ(dlg.edPassword->text(), "old");
  EXPECT_EQ(dlg.edVerify->text(), "old");
  EXPECT_EQ(dlg.edPassword->echoMode(), QLineEdit::Password);

  dlg.edPassword->setText("Secret");
  dlg.edVerify->setText("secret");
  ui.ExpectMessage(kPasswordsDontMatch, mtError);
  dlg.buOK->click();
  EXPECT_EQ(dlg.result(), mrNone);
  EXPECT_TRUE(dlg.edPassword->text().isEmpty());
  EXPECT_TRUE(dlg.edVerify->text().isEmpty());

  dlg.edPassword->setText("Secret");
  dlg.edVerify->setText("Secret");
  dlg.buOK->click();
  EXPECT_EQ(dlg.result(), mrOk);
  EXPECT_EQ(dlg.PasswordText(), "Secret");
}

TEST(PasswordDialog, MaskChoiceSetsLayoutAndPersists) {
  IsolatedEnvironment env;
  TScriptedUi ui;
  EXPECT_FALSE(ReadMaskPassword());
  {
    TfmPassword dlg;
    EXPECT_FALSE(dlg.ckMask->isChecked());
    EXPECT_TRUE(dlg.edVerify->isHidden());
    EXPECT_EQ(dlg.height(), 166);
    EXPECT_EQ(dlg.laExplanation->y(), 56);
    EXPECT_EQ(dlg.ckMask->y(), 117);
    // Unmasked, the verify field is not compared.
    dlg.edPassword->setText("plain");
    dlg.edVerify->setText("other");
    dlg.buOK->click();
    EXPECT_EQ(dlg.result(), mrOk);

    dlg.ckMask->click();
    EXPECT_FALSE(dlg.edVerify->isHidden());
    EXPECT_EQ(dlg.edPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.height(), 209);
    EXPECT_EQ(dlg.laExplanation->y(), 96);
    EXPECT_EQ(dlg.ckMask->y(), 157);
  }
  EXPECT_TRUE(ReadMaskPassword());
  {
    TfmGetPassword dlg;
    EXPECT_TRUE(dlg.ckMask->isChecked());
    EXPECT_EQ(dlg.edPassword->echoMode(), QLineEdit::Password);
    dlg.ckMask->click();
    EXPECT_EQ(dlg.edPassword->echoMode(), QLineEdit::Normal);
  }
  EXPECT_FALSE(ReadMaskPassword());
  TfmPassword dlg;
  EXPECT_TRUE(dlg.edVerify->isHidden());
}

TEST(GetPasswordDialog, RefusesEmptyAndReturnsTyped) {
  IsolatedEnvironment env;
  TScriptedUi ui;
  TfmGetPassword dlg;
  EXPECT_EQ(dlg.windowTitle(), "Password Required");
  EXPECT_EQ(dlg.edPassword->maxLength(), 100);
  dlg.SetFileName("docs/secret.txt");
  EXPECT_EQ(dlg.laFileName->text(), "docs/secret.txt");
  ui.ExpectMessage(kNoPassword, mtInformation);
  dlg.buOK->click();
  EXPECT_EQ(dlg.result(), mrNone);
  dlg.edPassword->setText("p4ss w0rd");
  dlg.buOK->click();
  EXPECT_EQ(dlg.result(), mrOk);
  EXPECT_EQ(dlg.PasswordText(), "p4ss w0rd");
  dlg.setResult(mrNone);
  dlg.buCancel->click();
  EXPECT_EQ(dlg.result(), mrCancel);
}

TEST(RenameFileDialog, RefusesEmptyAndUnchangedNames) {
  TScriptedUi ui;
  TfmRenameFile dlg;
  EXPECT_EQ(dlg.windowTitle(), "Duplicate File");
  dlg.SetFileName("Readme.txt");
  EXPECT_EQ(dlg.edFileName->text(), "Readme.txt");

  ui.ExpectMessage(kRenameUnchanged, mtError);
  dlg.buRename->click();
  EXPECT_EQ(dlg.result(), mrNone);

  dlg.edFileName->clear();
  ui.ExpectMessage(kRenameEmpty, mtInformation);
  dlg.buRename->click();
  EXPECT_EQ(dlg.result(), mrNone);

  // The comparison is exact: a change of case is a new name.
  dlg.edFileName->setText("README.txt");
  dlg.buRename->click();
  EXPECT_EQ(dlg.result(), mrRenameDupe);
  EXPECT_EQ(dlg.FileNameText(), "README.txt");

  TfmRenameFile skip;
  skip.buSkip->click();
  EXPECT_EQ(skip.result(), mrSkipDupe);
  TfmRenameFile skipAll;
  skipAll.buSkipAll->click();
  EXPECT_EQ(skipAll.result(), mrSkipAllDupes);
}

TEST(DialogHelp, ButtonsJumpToTheirTopics) {
  IsolatedEnvironment env;
  std::vector<std::string> topics;
  SetHelpHandler([&](const std::string& k) { topics.push_back(k); });
  TfmExtractDlg extract;
  extract.bbHelp->click();
  TfmOverwriteDlg overwrite;
  overwrite.bbHelp->click();
  TfmPassword password;
  password.buHelp->click();
  TfmGetPassword getPassword;
  getPassword.buHelp->click();
  TfmRenameFile rename;
  rename.buHelp->click();
  SetHelpHandler(nullptr);
  EXPECT_EQ(topics, (std::vector<std::string>{kHlpExtractDialog, kHlpOverwriteDialog, kHlpPasswordProtect,
                                              kHlpPasswordRequired, kHlpRenameFile}));
}

TEST(UUEncodeDialog, ShowFocusesTheOutputOnceTheInputIsGiven) {
  TfmUUEncode empty;
  empty.show();
  EXPECT_EQ(empty.focusWidget(), empty.rxfedInput);
  TfmUUEncode given;
  given.rxfedInput->setText(QStringLiteral("/tmp/a.zip"));
  given.show();
  EXPECT_EQ(given.focusWidget(), given.rxfedOutput);
}

}  // namespace
}  // namespace brevane
