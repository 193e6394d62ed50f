#include "app/dialogs/wizard.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "app/components/apopendlg.h"
#include "app/dialogs/backupdlg.h"
#include "app/dialogs/overwritedlg.h"
#include "app/main/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

class Wizard : public WindowTest {};

TEST_F(Wizard, ThreeTasksEndToEnd) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  const fs::path src = dir.path() / "src";
  fs::create_directories(src / "sub");
  vsktest::WriteFile(src / "one.txt", "one\n");
  vsktest::WriteFile(src / "sub/two.txt", vsktest::TextBytes(8000));
  vsktest::WriteFile(src / "three.txt", "three\n");
  const fs::path work = dir.path() / "work";
  fs::create_directories(work);
  vsktest::WriteFile(work / "MyArchive.zip", "an old file the user agreed to replace");
  const std::string archive = (work / "MyArchive.zip").string();
  const std::string out = (dir.path() / "out").string();
  fs::create_directories(out);
  vsktest::WriteFile(out + "/one.txt", "kept?");
  ASSERT_TRUE(Start({}));
  QDir::setCurrent(QString::fromStdString(work.string()));
  std::vector<std::string> opened;
  main->ShellOpen = [&](const std::string& F) {
    opened.push_back(F);
    return true;
  };

  ui.ExpectModal([&](QDialog& Dialog) {
    auto& w = dynamic_cast<TfmWizard&>(Dialog);
    AskedFirst([&] {
      ui.ExpectMessage(msgtext::kWizardNoName, mtWarning);
      ui.ExpectMessage(msgtext::kWizardOverwrite, mtWarning, mrNo);
      ui.ExpectMessage(msgtext::kWizardOverwrite, mtWarning, mrYes);
      ui.ExpectMessage(msgtext::kWizardNoFiles, mtWarning);
      ui.ExpectMessage(msgtext::kFilesCompressed + std::string("2"), mtInformation);
      ui.ExpectMessage(msgtext::kWizardInvalidFile, mtWarning);
      ui.ExpectMessage(msgtext::kFilesCompressed + std::string("1"), mtInformation);
      ui.ExpectMessage(msgtext::kWizardNoTarget, mtWarning);
      ui.ExpectModal([](QDialog& Dialog) {
        EXPECT_NE(dynamic_cast<TfmOverwriteDlg*>(&Dialog), nullptr);
        return static_cast<int>(mrNo);
      });
      ui.ExpectMessage(msgtext::kExtractCompleted + std::string("2"), mtInformation);
    });
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(w.CurrentPage(), wpStart);
    EXPECT_FALSE(w.buBack->isEnabled());

    // Create: a quoted bare name lands in the folder the page shows.
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpCreateStart);
    EXPECT_EQ(w.HelpTopic(), "Hlp_Wizard_x1");
    w.buNext->click();  // empty name
    w.rxfedCreate->setText(QStringLiteral("\"MyArchive.zip\""));
    w.buNext->click();  // exists: No stays
    w.buNext->click();  // Yes
    EXPECT_EQ(w.CurrentPage(), wpAddFiles);
    EXPECT_EQ(w.buNext->text(), QStringLiteral("&Finish"));
    w.buNext->click();  // no files
    w.AddFiles({(src / "one.txt").string(), (src / "sub").string() + "/*.*"});
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpAddFinish);
    EXPECT_EQ(w.rxfedCreate->text().toStdString(), archive);
    EXPECT_FALSE(w.buBack->isEnabled());
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpStart);
    EXPECT_TRUE(w.rbStartCreate->isChecked());

    // Add to it.
    w.rbStartUpdate->click();
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpUpdateStart);
    w.rxfedUpdate->setText(QString::fromStdString((dir.path() / "missing.zip").string()));
    w.buNext->click();  // not a file
    w.rxfedUpdate->setText(QString::fromStdString(archive));
    w.buNext->click();
    w.AddFiles({(src / "three.txt").string()});
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpAddFinish);
    w.buNext->click();

    // Extract it, asking about existing files, and show the folder.
    w.rbStartExtract->click();
    w.buNext->click();
    w.rxfedExtract->setText(QString::fromStdString(archive));
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpSelectFolder);
    w.edTargetFolder->clear();
    w.buNext->click();  // no folder
    w.edTargetFolder->setText(QString::fromStdString(out));
    w.ckExOverwrite->setChecked(false);
    w.buBack->click();
    EXPECT_EQ(w.CurrentPage(), wpExtractStart);
    w.buNext->click();
    w.edTargetFolder->setText(QString::fromStdString(out));
    w.ckExOverwrite->setChecked(false);
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpExtractFinish);
    return static_cast<int>(mrCancel);
  });
  main->acWizardExecute();
  EXPECT_TRUE(main->isVisible());

  const auto list = vsktest::RunTool("unzip -l " + vsktest::ShellQuote(archive));
  EXPECT_EQ(list.exitCode, 0) << list.output;
  for (const char* name : {"one.txt", "two.txt", "three.txt"})
    EXPECT_NE(list.output.find(name), std::string::npos) << list.output;
  EXPECT_EQ(vsktest::ReadFile(out + "/one.txt"), "kept?");
  EXPECT_EQ(vsktest::ReadFile(out + "/three.txt"), "three\n");
  EXPECT_EQ(opened, (std::vector<std::string>{out}));
}

// Agreeing to replace an existing archive deletes nothing by itself: the
// archive stays until a new one is made.
TEST_F(Wizard, ExistingArchiveKeptUntilReplaced) {
  const fs::path work = dir.path() / "work";
  fs::create_directories(work);
  vsktest::WriteFile(work / "Kept.zip", "the user's old archive");
  ASSERT_TRUE(Start({}));
  QDir::setCurrent(QString::fromStdString(work.string()));
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& w = dynamic_cast<TfmWizard&>(Dialog);
    AskedFirst([&] {
      ui.ExpectMessage(msgtext::kWizardOverwrite, mtWarning, mrYes);
      ui.ExpectMessage(msgtext::kWizardNoFiles, mtWarning);
    });
    w.buNext->click();
    w.rxfedCreate->setText(QStringLiteral("Kept.zip"));
    w.buNext->click();
    EXPECT_EQ(w.CurrentPage(), wpAddFiles);
    w.buNext->click();  // no files: nothing made
    return static_cast<int>(mrCancel);
  });
  main->acWizardExecute();
  EXPECT_EQ(vsktest::ReadFile(work / "Kept.zip"), "the user's old archive");
}

// A folder named like the new archive is refused, by a bare name or a
// whole path, and stays as it is.
TEST_F(Wizard, AFolderIsNoArchiveName) {
  const fs::path work = dir.path() / "work";
  fs::create_directories(work / "Photos.zip/album");
  vsktest::WriteFile(work / "Photos.zip/album/p1.jpg", "a photo");
  ASSERT_TRUE(Start({}));
  QDir::setCurrent(QString::fromStdString(work.string()));
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& w = dynamic_cast<TfmWizard&>(Dialog);
    AskedFirst([&] {
      ui.ExpectMessage(msgtext::kWizardNotAFile, mtWarning);
      ui.ExpectMessage(msgtext::kWizardNotAFile, mtWarning);
    });
    w.buNext->click();
    const int page = w.CurrentPage();
    for (const fs::path& name : {fs::path("Photos.zip"), work / "Photos.zip"}) {
      w.rxfedCreate->setText(QString::fromStdString(name.string()));
      w.buNext->click();
      EXPECT_EQ(w.CurrentPage(), page) << name;
    }
    return static_cast<int>(mrCancel);
  });
  main->acWizardExecute();
  EXPECT_TRUE(fs::is_directory(work / "Photos.zip"));
  EXPECT_EQ(vsktest::ReadFile(work / "Photos.zip/album/p1.jpg"), "a photo");
  EXPECT_FALSE(fs::exists(env.root() / "home/.local/share/Trash/files/Photos.zip"));
}

// The wizard's and the backup editor's add-file dialogs are the program's
// add dialog: its title and button, hidden files listed.
TEST_F(Wizard, AddFileDialogsListHiddenFiles) {
  const std::string hidden = (dir.path() / ".hidden").string();
  vsktest::WriteFile(hidden, "b");
  ASSERT_TRUE(Start({}));
  const auto choose = [&](QDialog& Dialog) {
    auto& d = dynamic_cast<TApOpenDialog&>(Dialog);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Select Files to Add"));
    EXPECT_EQ(d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->text(), QStringLiteral("&Add"));
    EXPECT_TRUE(d.filter() & QDir::Hidden);
    d.selectFile(QString::fromStdString(hidden));
    return static_cast<int>(mrOk);
  };
  TfmWizard wizard(main);
  ui.ExpectModal(choose);
  wizard.buAddFiles->click();
  ASSERT_EQ(wizard.lbFiles->count(), 1);
  EXPECT_EQ(wizard.lbFiles->item(0)->text().toStdString(), hidden);
  TfmBackupEditor editor(main);
  ui.ExpectModal(choose);
  editor.buAddFiles->click();
  ASSERT_EQ(editor.lbFiles->count(), 1);
  EXPECT_EQ(editor.lbFiles->item(0)->text().toStdString(), hidden);
}

}  // namespace
}  // namespace brevane::testing
