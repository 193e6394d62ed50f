#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/dialogs/backupdlg.h"
#include "app/main/backupscript.h"
#include "app/main/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

class Backups : public WindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vsktest::HaveTool("unzip")) << "unzip is needed (Debian package unzip)";
    src = dir.path() / "src";
    fs::create_directories(src / "docs");
    vsktest::WriteFile(src / "docs/a.txt", "first\n");
    vsktest::WriteFile(src / "notes.txt", vsktest::TextBytes(20000));
    store = (dir.path() / "store").string();
  }
  std::vector<std::string> QuickBackups() {
    std::vector<std::string> out;
    for (QAction* a : main->miQuickBackup->actions())
      if (a != main->miNoBackupsConfigured) out.push_back(a->text().toStdString());
    return out;
  }
  std::string Unzip(const std::string& Args, const std::string& Archive, const std::string& Member = {}) {
    const auto r = vsktest::RunTool("unzip " + Args + " " + vsktest::ShellQuote(Archive) + " " + Member);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
  }

  fs::path src;
  std::string store;
};

TEST_F(Backups, CreatedEditedAndRunWithGenerations) {
  ASSERT_TRUE(Start({}));
  EXPECT_TRUE(main->miNoBackupsConfigured->isVisible());
  const std::string folderEntry = (src / "docs").string() + "/*.*";

  // Create a set in the manager's editor, with checks of what is entered.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& m = dynamic_cast<TfmManageBackup&>(Dialog);
    EXPECT_EQ(m.clbBackupSets->count(), 0);
    AskedFirst([&] {
      ui.ExpectModal([&](QDialog& Editor) {
        auto& e = dynamic_cast<TfmBackupEditor&>(Editor);
        EXPECT_EQ(e.windowTitle(), QStringLiteral("New Backup Set"));
        EXPECT_FALSE(e.udGenerations->isEnabled());
        e.edBackupSetName->setText(QStringLiteral("a|b"));
        e.rxdeBackupFolder->setText(QString::fromStdString(store));
        AskedFirst([&] {
          ui.ExpectMessage(msgtext::kBackupInvalidName, mtError);
          ui.ExpectMessage(msgtext::kBackupNeedFiles, mtInformation);
        });
        e.buSave->click();
        e.edBackupSetName->setText(QStringLiteral("Daily"));
        e.buSave->click();
        e.AddEntries({folderEntry, (src / "notes.txt").string(), folderEntry});
        EXPECT_EQ(e.lbFiles->count(), 2);
        e.rbMethodMulti->setChecked(true);
        EXPECT_TRUE(e.udGenerations->isEnabled());
        e.cbArcType->setCurrentIndex(3);
        EXPECT_FALSE(e.cbCompression->isEnabled());
        e.cbArcType->setCurrentIndex(6);
        e.buSave->click();
        return e.result();
      });
    });
    m.buCreate->click();
    EXPECT_EQ(m.clbBackupSets->count(), 1);

    // Edit it: the name stays, the description changes.
    m.clbBackupSets->setCurrentRow(0);
    AskedFirst([&] {
      ui.ExpectModal([&](QDialog& Editor) {
        auto& e = dynamic_cast<TfmBackupEditor&>(Editor);
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Edit Backup Set"));
        EXPECT_FALSE(e.edBackupSetName->isEnabled());
        EXPECT_TRUE(e.rbMethodMulti->isChecked());
        EXPECT_EQ(e.udGenerations->value(), 3);
        EXPECT_EQ(e.Script().Entries, (std::vector<std::string>{folderEntry, (src / "notes.txt").string()}));
        e.edBackupDesc->setText(QStringLiteral("every day"));
        e.buSave->click();
        return e.result();
      });
    });
    m.buModify->click();
    m.clbBackupSets->item(0)->setCheckState(Qt::Checked);
    m.buRun->click();
    return m.result();
  });
  ui.ExpectMessage(std::string(msgtext::kBackupsCreated) + "- Daily\r\n", mtInformation);
  main->acManageBackupsExecute();

  // The script is text in the data folder, in its fixed order.
  const std::string script = (env.root() / "home/.local/share/brevane/Backups/Daily.qvb").string();
  ASSERT_EQ(BackupScriptPath("Daily"), script);
  EXPECT_EQ(vsktest::ReadFile(script), "BackupSetName=Daily\nDescription=every day\nBackupFolder=" + store +
                                           "\nArcType=6\nCompression=0\nStorePathInfo=0\nBackupMethod=3\n"
                                           "Generations=3\n[FilesInBackupSet]\n" +
                                           folderEntry + "\n" + (src / "notes.txt").string() + "\n");
  EXPECT_EQ(QuickBackups(), (std::vector<std::string>{"Daily"}));
  EXPECT_FALSE(main->miNoBackupsConfigured->isVisible());
  EXPECT_NE(Unzip("-l", store + "/Daily3.zip").find("docs/a.txt"), std::string::npos);

  // The second run from the quick-backup menu keeps the first.
  vsktest::WriteFile(src / "docs/a.txt", "second\n");
  ui.ExpectMessage(std::string(msgtext::kQuickBackupDone) + "Daily", mtInformation);
  main->QuickBackupSelect("Daily");
  Unzip("-t", store + "/Daily2.zip");
  Unzip("-t", store + "/Daily3.zip");
  EXPECT_EQ(Unzip("-p", store + "/Daily2.zip", "docs/a.txt"), "first\n");
  EXPECT_EQ(Unzip("-p", store + "/Daily3.zip", "docs/a.txt"), "second\n");

  // A run that fails (the writer is cancelled) leaves both as they were.
  const std::string older = vsktest::ReadFile(store + "/Daily2.zip");
  const std::string newer = vsktest::ReadFile(store + "/Daily3.zip");
  main->Components.Writer(vsk::atZip)->OnBegin = [](vsk::TZipCommon& Sender, const std::string&, int, bool&) {
    Sender.SetCancel(true);
  };
  ui.ExpectMessage(msgtext::kBackupNotMade, mtError);
  ui.ExpectMessage(msgtext::kQuickBackupFailed, mtError);
  main->QuickBackupSelect("Daily");
  EXPECT_EQ(vsktest::ReadFile(store + "/Daily2.zip"), older);
  EXPECT_EQ(vsktest::ReadFile(store + "/Daily3.zip"), newer);
  EXPECT_FALSE(fs::exists(store + "/Daily1.zip"));
  for (const auto& e : fs::directory_iterator(store)) EXPECT_EQ(e.path().extension(), ".zip") << e.path();
}

// Methods 1 (one archive, replaced) and 2 (the place asked each time): a
// good run replaces the old backup, a failed run leaves it as it was.
TEST_F(Backups, ReplacedOnlyByACompleteBackup) {
  TBackupScript s;
  s.Name = "Single";
  s.Folder = store;
  s.Entries = {(src / "docs").string() + "/*.*"};
  fs::create_directories(BackupFolder());
  ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Single"), s));
  ASSERT_TRUE(Start({}));
  const std::string single = store + "/Single.zip";

  ui.ExpectMessage(std::string(msgtext::kQuickBackupDone) + "Single", mtInformation);
  main->QuickBackupSelect("Single");
  EXPECT_EQ(Unzip("-p", single, "a.txt"), "first\n");
  vsktest::WriteFile(src / "docs/a.txt", "second\n");
  ui.ExpectMessage(std::string(msgtext::kQuickBackupDone) + "Single", mtInformation);
  main->QuickBackupSelect("Single");
  EXPECT_EQ(Unzip("-p", single, "a.txt"), "second\n");

  const auto cancelling = [](vsk::TZipCommon& Sender, const std::string&, int, bool&) { Sender.SetCancel(true); };
  const auto ownBegin = main->Components.Writer(vsk::atZip)->OnBegin;
  main->Components.Writer(vsk::atZip)->OnBegin = cancelling;
  ui.ExpectMessage(msgtext::kBackupNotMade, mtError);
  ui.ExpectMessage(msgtext::kQuickBackupFailed, mtError);
  main->QuickBackupSelect("Single");
  EXPECT_EQ(Unzip("-p", single, "a.txt"), "second\n");

  // Method 2: the chosen name gets the backup; a cancelled run keeps it.
  s.Method = kBackupPrompt;
  ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Single"), s));
  const std::string chosen = store + "/chosen.zip";
  vsktest::WriteFile(chosen, "old contents");
  const auto choose = [&](QDialog& Dialog) {
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(chosen));
    return static_cast<int>(mrOk);
  };
  ui.ExpectModal(choose);
  ui.ExpectMessage(msgtext::kBackupNotMade, mtError);
  ui.ExpectMessage(msgtext::kQuickBackupFailed, mtError);
  main->QuickBackupSelect("Single");
  EXPECT_EQ(vsktest::ReadFile(chosen), "old contents");
  main->Components.Writer(vsk::atZip)->OnBegin = ownBegin;
  ui.ExpectModal(choose);
  ui.ExpectMessage(std::string(msgtext::kQuickBackupDone) + "Single", mtInformation);
  main->QuickBackupSelect("Single");
  EXPECT_EQ(Unzip("-p", chosen, "a.txt"), "second\n");
  for (const auto& e : fs::directory_iterator(store)) EXPECT_EQ(e.path().extension(), ".zip") << e.path();
}

// Runs leave the recent archives as they were, and removing a set deletes
// only the backups it made: the storage folder goes only when that leaves
// it empty.
TEST_F(Backups, OnlyTheSetsOwnFilesAreTouched) {
  const auto saveSet = [&](const std::string& Name, const std::string& Folder, int Method) {
    TBackupScript s;
    s.Name = Name;
    s.Folder = Folder;
    s.Method = Method;
    s.Entries = {(src / "docs").string() + "/*.*"};
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath(Name), s));
  };
  fs::create_directories(BackupFolder());
  // "Daily" keeps generations; "Daily1" makes "Daily1.zip", which is also
  // the name of Daily's oldest generation. The sources are kept in the
  // storage folder of "Docs".
  saveSet("Daily", store, kBackupGenerations);
  saveSet("Daily1", store, kBackupOverwrite);
  saveSet("Docs", src.string(), kBackupOverwrite);
  const std::string only = (dir.path() / "only").string();
  saveSet("Only", only, kBackupOverwrite);
  fs::create_directories(store);
  vsktest::WriteFile(store + "/mine.txt", "mine");
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  const std::vector<std::string> recent = main->dfmruMainList.Items();
  ASSERT_EQ(recent, std::vector<std::string>{zip});
  for (const char* set : {"Docs", "Only"}) {
    ui.ExpectMessage(std::string(msgtext::kQuickBackupDone) + set, mtInformation);
    main->QuickBackupSelect(set);
  }
  EXPECT_EQ(main->dfmruMainList.Items(), recent);
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), zip);
  // Backups the two sets made before such sets were refused; running
  // either now would write over the other's, so neither runs.
  for (const char* made : {"/Daily1.zip", "/Daily2.zip", "/Daily3.zip"}) vsktest::WriteFile(store + made, made);
  ui.ExpectMessage(msgtext::kBackupNameClash + std::string("Daily1") + msgtext::kBackupNameClashIn + store +
                       "/Daily1.zip" + msgtext::kBackupSkipped,
                   mtError);
  ui.ExpectMessage(msgtext::kQuickBackupFailed, mtError);
  main->QuickBackupSelect("Daily");
  EXPECT_EQ(vsktest::ReadFile(store + "/Daily1.zip"), "/Daily1.zip");

  // The question names each file that goes to the Trash.
  const auto remove = [&](const std::string& Name, const std::vector<std::string>& Files) {
    ui.ExpectModal([&](QDialog& Dialog) {
      auto& m = dynamic_cast<TfmManageBackup&>(Dialog);
      const auto rows = m.clbBackupSets->findItems(QString::fromStdString(Name), Qt::MatchExactly);
      EXPECT_EQ(rows.size(), 1);
      if (!rows.empty()) m.clbBackupSets->setCurrentItem(rows.front());
      AskedFirst([&] {
        ui.ExpectMessage(msgtext::kBackupConfirmRemove, mtConfirmation, mrYes);
        std::string listed;
        for (const std::string& file : Files) listed += "\r\n" + file;
        ui.ExpectMessage(msgtext::kBackupTrashBackups + listed, mtConfirmation, mrYes);
      });
      m.buRemove->click();
      return static_cast<int>(mrCancel);
    });
    main->acManageBackupsExecute();
    EXPECT_FALSE(fs::exists(BackupScriptPath(Name)));
  };
  // The single backup of a generations set and the generations of a
  // single set are the user's: "Daily.zip" and "Docs1.zip" stay.
  vsktest::WriteFile(store + "/Daily.zip", "the user's");
  vsktest::WriteFile(src / "Docs1.zip", "the user's");
  remove("Daily", {store + "/Daily2.zip", store + "/Daily3.zip"});
  EXPECT_FALSE(fs::exists(store + "/Daily2.zip"));
  EXPECT_FALSE(fs::exists(store + "/Daily3.zip"));
  EXPECT_TRUE(fs::exists(store + "/Daily1.zip"));
  EXPECT_EQ(vsktest::ReadFile(store + "/Daily.zip"), "the user's");
  remove("Daily1", {store + "/Daily1.zip"});
  EXPECT_FALSE(fs::exists(store + "/Daily1.zip"));
  EXPECT_EQ(vsktest::ReadFile(store + "/mine.txt"), "mine");
  remove("Docs", {src.string() + "/Docs.zip"});
  EXPECT_EQ(vsktest::ReadFile(src / "Docs1.zip"), "the user's");
  EXPECT_FALSE(fs::exists(src / "Docs.zip"));
  EXPECT_EQ(vsktest::ReadFile(src / "docs/a.txt"), "first\n");
  EXPECT_TRUE(fs::exists(src / "notes.txt"));
  remove("Only", {only + "/Only.zip"});
  EXPECT_FALSE(fs::exists(only));
}

TEST_F(Backups, MissingFolderAndRemoval) {
  TBackupScript s;
  s.Name = "Gone";
  s.Folder = store;
  s.Entries = {(dir.path() / "nowhere").string() + "/*.*", (dir.path() / "none.txt").string()};
  fs::create_directories(BackupFolder());
  ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Gone"), s));
  fs::create_directories(store);
  ASSERT_TRUE(Start({}));
  EXPECT_EQ(QuickBackups(), (std::vector<std::string>{"Gone"}));
  ui.ExpectMessage(msgtext::kBackupNoFiles, mtError);
  ui.ExpectMessage(msgtext::kQuickBackupFailed, mtError);
  main->QuickBackupSelect("Gone");
  EXPECT_TRUE(fs::is_empty(store));

  // Run from the manager: the summary names the failure; nothing selected
  // is told first.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& m = dynamic_cast<TfmManageBackup&>(Dialog);
    AskedFirst([&] { ui.ExpectMessage(msgtext::kBackupSelectToRun, mtInformation); });
    m.buRun->click();
    m.clbBackupSets->setCurrentRow(0);
    m.buRun->click();
    return m.result();
  });
  ui.ExpectMessage(msgtext::kBackupNoFiles, mtError);
  ui.ExpectMessage(std::string(msgtext::kBackupErrors) + "- Gone\r\n", mtError);
  main->acManageBackupsExecute();

  // A corrupted script is reported when modified; removal asks about the
  // storage folder, which stays on No.
  vsktest::WriteFile(BackupScriptPath("Broken"), "BackupSetName=Broken\n");
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& m = dynamic_cast<TfmManageBackup&>(Dialog);
    EXPECT_EQ(m.clbBackupSets->count(), 2);
    m.clbBackupSets->setCurrentRow(0);  // Broken
    AskedFirst([&] { ui.ExpectMessage(msgtext::kBackupScriptCorrupt, mtError); });
    m.buModify->click();
    m.clbBackupSets->setCurrentRow(1);  // Gone
    AskedFirst([&] {
      ui.ExpectMessage(msgtext::kBackupConfirmRemove, mtConfirmation, mrYes);
    });
    m.buRemove->click();
    EXPECT_EQ(m.clbBackupSets->count(), 1);
    return static_cast<int>(mrCancel);
  });
  main->acManageBackupsExecute();
  EXPECT_FALSE(fs::exists(BackupScriptPath("Gone")));
  EXPECT_TRUE(fs::is_directory(store));
  EXPECT_EQ(QuickBackups(), (std::vector<std::string>{"Broken"}));
}

// "daily" keeping three generations writes daily1.zip to daily3.zip: a
// set "daily1" in the same folder would write over one of them, and they
// over it. The editor refuses it, and a script saved by hand is not run.
TEST_F(Backups, SetsWhoseBackupsWouldShareANameAreRefused) {
  ASSERT_TRUE(Start({}));
  TBackupScript daily;
  daily.Name = "daily";
  daily.Folder = store;
  daily.Method = kBackupGenerations;
  daily.Entries = {(src / "notes.txt").string()};
  fs::create_directories(BackupFolder());
  ASSERT_TRUE(SaveBackupScript(BackupScriptPath("daily"), daily));

  TfmBackupEditor e;
  e.edBackupSetName->setText(QStringLiteral("Daily1"));
  // The same folder, spelt another way.
  e.rxdeBackupFolder->setText(QString::fromStdString(store + "/./"));
  e.AddEntries({(src / "notes.txt").string()});
  ui.ExpectMessage(msgtext::kBackupNameClash + std::string("daily") + msgtext::kBackupNameClashIn + store +
                       "/./Daily1.zip" + msgtext::kBackupNameClashEnd,
                   mtError);
  e.buSave->click();
  EXPECT_EQ(e.result(), 0);
  // Its own generations (Daily11.zip ...) share no name; another folder
  // neither.
  e.rbMethodMulti->setChecked(true);
  e.buSave->click();
  EXPECT_EQ(e.result(), mrOk);
  TfmBackupEditor elsewhere;
  elsewhere.SetScript(daily);
  elsewhere.edBackupSetName->setText(QStringLiteral("daily1"));
  elsewhere.rbMethodOverwrite->setChecked(true);
  elsewhere.rxdeBackupFolder->setText(QString::fromStdString((dir.path() / "other").string()));
  elsewhere.buSave->click();
  EXPECT_EQ(elsewhere.result(), mrOk);

  TBackupScript clashing = daily;
  clashing.Name = "daily1";
  clashing.Method = kBackupOverwrite;
  ASSERT_TRUE(SaveBackupScript(BackupScriptPath("daily1"), clashing));
  ui.ExpectMessage(msgtext::kBackupNameClash + std::string("daily") + msgtext::kBackupNameClashIn + store +
                       "/daily1.zip" + msgtext::kBackupSkipped,
                   mtError);
  EXPECT_FALSE(main->ExecuteBackup(BackupScriptPath("daily1")));
  EXPECT_FALSE(fs::exists(store + "/daily1.zip"));
}

}  // namespace
}  // namespace brevane::testing
