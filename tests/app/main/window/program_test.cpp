#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QStatusTipEvent>
#include <QToolBar>

#include "app/components/apopendlg.h"
#include "app/dialogs/addpanels.h"
#include "app/main/folders.h"
#include "app/main/formatsettings.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "platform/registry.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using StartUp = WindowTest;

TEST_F(StartUp, FirstStartWritesTheDefaultSettingsAndShortcuts) {
  ASSERT_FALSE(SettingsExist());
  EXPECT_TRUE(Start({}));
  EXPECT_TRUE(SettingsExist());
  EXPECT_TRUE(main->isVisible());
  EXPECT_TRUE(main->FInteractive);
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Brevane"));
  EXPECT_TRUE(fs::exists(GetSpecialFolderPath(sfStartMenu) + "/Brevane.desktop"));
  EXPECT_TRUE(fs::exists(GetSpecialFolderPath(sfDesktopDirectory) + "/Brevane.desktop"));
  // Nothing is open: no archive command is enabled, the totals are empty.
  for (const char* c : {"acCloseArchive", "acExtract", "acAdd", "acTest", "acSelectAll", "miSort", "sbProperties"})
    EXPECT_FALSE(main->CommandEnabled(c)) << c;
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("0 files"));
  EXPECT_EQ(main->StatusPanelText(1), QStringLiteral("0%"));
  EXPECT_EQ(main->LedColor(), kLedIdle);
  // Dates use "-" for the whole run.
  EXPECT_EQ(FormatSettings.DateSeparator, '-');
  EXPECT_EQ(main->FSavedDateSeparator, '/');
  EndProgram();

  // Later starts keep what the user set.
  fs::remove(GetSpecialFolderPath(sfDesktopDirectory) + "/Brevane.desktop");
  WriteSettingBool("Toolbar", "ButtonText", false);
  WriteSettingBool("Toolbar", "ShowFilter", true);
  EXPECT_TRUE(Start({}));
  EXPECT_FALSE(Options.ButtonText);
  EXPECT_EQ(main->tbMain->toolButtonStyle(), Qt::ToolButtonIconOnly);
  EXPECT_TRUE(main->tbFilter->isVisibleTo(main));
  EXPECT_EQ(main->acShowFilter->text(), QStringLiteral("Hide &Filter"));
  EXPECT_FALSE(fs::exists(GetSpecialFolderPath(sfDesktopDirectory) + "/Brevane.desktop"));
}

// The uninstaller's clean-up on a profile that never ran the program
// leaves nothing behind that would point at the removed program, and the
// next start is a first run still.
TEST_F(StartUp, TheCleanUpRunsNoFirstRunStep) {
  const std::string launcher = GetSpecialFolderPath(sfStartMenu) + "/Brevane.desktop";
  const std::string desktop = GetSpecialFolderPath(sfDesktopDirectory) + "/Brevane.desktop";
  const std::string infoTip = "\\CLSID\\{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}";
  // Alone too: no window, no message, no association question.
  ui.AskAssociations = true;
  for (const std::vector<std::string>& params : {std::vector<std::string>{"-SYS", "-REMOVEREG"},
                                                  std::vector<std::string>{"-SYS", "-other"},
                                                  std::vector<std::string>{"-SYS"}}) {
    SCOPED_TRACE(params.back());
    EXPECT_FALSE(Start(params));
    EXPECT_FALSE(main->isVisible());
    EndProgram();
    EXPECT_FALSE(vsk::TRegistry(vsk::HKEY_CURRENT_USER).KeyExists("\\Software\\Brevane"));
    EXPECT_FALSE(vsk::TRegistry(vsk::HKEY_CLASSES_ROOT).KeyExists(infoTip));
    EXPECT_FALSE(fs::exists(launcher));
    EXPECT_FALSE(fs::exists(desktop));
  }
  ui.AskAssociations = false;
  EXPECT_TRUE(Start({}));
  EXPECT_TRUE(SettingsExist());
  EXPECT_TRUE(vsk::TRegistry(vsk::HKEY_CLASSES_ROOT).KeyExists(infoTip));
  EXPECT_TRUE(fs::exists(launcher));
  EXPECT_TRUE(fs::exists(desktop));
}

// A settings file cut in half (a crash, a full disk) is kept aside and
// named once; the defaults come back, the first-run steps do not.
TEST_F(StartUp, ADamagedSettingsFileIsToldOnceAndNoFirstRunFollows) {
  ASSERT_TRUE(Start({}));
  EndProgram();
  const std::string launcher = GetSpecialFolderPath(sfStartMenu) + "/Brevane.desktop";
  const std::string desktop = GetSpecialFolderPath(sfDesktopDirectory) + "/Brevane.desktop";
  fs::remove(launcher);
  fs::remove(desktop);
  const std::string hive = vsk::HiveFileName(vsk::HKEY_CURRENT_USER);
  // Zeros where the settings were, as a crash before the file's blocks
  // reached the disk can leave it: no line of it can be read.
  const std::string text(vsktest::ReadFile(hive).size(), '\0');
  vsktest::WriteFile(hive, text);
  // An association question would be a question the script does not expect.
  ui.AskAssociations = true;
  ui.ExpectMessageEnding("", mtWarning);
  EXPECT_TRUE(Start({}));
  ASSERT_TRUE(ui.Steps.empty());
  std::vector<std::string> kept;
  for (const auto& e : fs::directory_iterator(fs::path(hive).parent_path()))
    if (e.path().filename().string().rfind("HKCU.reg.corrupt-", 0) == 0) kept.push_back(e.path().string());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(vsktest::ReadFile(kept[0]), text);
  EXPECT_EQ(ui.LastMessage, msgtext::kSettingsDamaged + kept[0]);
  EXPECT_TRUE(SettingsExist());
  EXPECT_FALSE(fs::exists(launcher));
  EXPECT_FALSE(fs::exists(desktop));
  EndProgram();
  // Told once: the next start is quiet.
  EXPECT_TRUE(Start({}));
  EXPECT_FALSE(fs::exists(launcher));
}

TEST_F(StartUp, OneArgumentNamingAnArchiveOpensIt) {
  const std::string zip = SampleZip();
  EXPECT_TRUE(Start({zip}));
  EXPECT_TRUE(main->isVisible());
  EXPECT_EQ(Model().RowCount(), 3);
  EXPECT_EQ(main->windowTitle().toStdString(), "Brevane - " + zip);
  ASSERT_FALSE(main->dfmruMainList.Items().empty());
  EXPECT_EQ(main->dfmruMainList.Items().front(), zip);
}

TEST_F(StartUp, ARelativeArchiveNameOpensFromTheCurrentFolder) {
  const std::string zip = SampleZip();
  const fs::path before = fs::current_path();
  fs::create_directories(dir.path() / "elsewhere");
  fs::current_path(dir.path());
  EXPECT_TRUE(Start({"sample.zip"}));
  fs::current_path(before);
  EXPECT_EQ(Model().RowCount(), 3);
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), zip);
}

// A missing archive is said to be missing, and no empty window opens; a
// lone switch is refused as a command line.
TEST_F(StartUp, OneArgumentNamingNoFileIsReportedWithoutAWindow) {
  const std::string missing = (dir.path() / "missing.zip").string();
  ui.ExpectMessage("The file " + missing + " does not exist.", mtError);
  EXPECT_FALSE(Start({missing}));
  EXPECT_FALSE(main->isVisible());
  EXPECT_EQ(main->ExitCode(), TfmMain::kExitFailed);
  EndProgram();
  ui.ExpectMessage(msgtext::kUnknownParameter, mtError);
  EXPECT_FALSE(Start({"-T"}));
  EXPECT_EQ(main->ExitCode(), TfmMain::kExitRefused);
  EndProgram();
  // A folder is no archive: the window starts as without one.
  EXPECT_TRUE(Start({dir.str()}));
  EXPECT_TRUE(main->isVisible());
  EXPECT_EQ(Model().RowCount(), 0);
}

TEST_F(StartUp, TwoOrMoreArgumentsShowNoWindow) {
  const std::string zip = SampleZip();
  EXPECT_FALSE(Start({"-SYS", zip}));
  EXPECT_FALSE(main->isVisible());
  EXPECT_TRUE(main->Closed());
  EXPECT_FALSE(main->FInteractive);
  // The window was never shown, so nothing was listed into it.
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_TRUE(main->dfmruMainList.Items().empty());
}

TEST_F(StartUp, WindowStateColumnsAndRecentArchivesPersist) {
  const std::string first = SampleZip();
  const std::string second = Zip("second.zip", {{"a.txt", "a"}});
  EXPECT_TRUE(Start({first}));
  main->DisplayArchive(second);
  main->resize(900, 600);
  main->dfelvArchiveView->header()->resizeSection(1, 222);
  main->acExplorerViewExecute();
  ASSERT_TRUE(main->ExplorerMaximized());
  main->close();
  EXPECT_TRUE(main->Closed());
  EndProgram();

  EXPECT_TRUE(Start({}));
  EXPECT_EQ(main->dfmruMainList.Items(), (std::vector<std::string>{second, first}));
  ASSERT_EQ(main->pmMRUListMenu()->actions().size(), 2);
  EXPECT_EQ(main->pmMRUListMenu()->actions()[0]->text().toStdString(), "&1 " + second);
  EXPECT_EQ(main->size(), QSize(900, 600));
  EXPECT_EQ(main->dfelvArchiveView->header()->sectionSize(1), 222);
  EXPECT_TRUE(main->ExplorerMaximized());
  EXPECT_EQ(main->acExplorerView->text(), QStringLiteral("Show E&xplorer"));
  main->close();
  EndProgram();

  // Obsolete entries are dropped at start; the maximum follows MRUList.
  fs::remove(first);
  EXPECT_TRUE(Start({}));
  EXPECT_EQ(main->dfmruMainList.Items(), (std::vector<std::string>{second}));
  EndProgram();
  WriteSettingBool("Miscellaneous", "ClearMRU", false);
  WriteSettingInteger("Miscellaneous", "MRUList", 0);
  EXPECT_TRUE(Start({}));
  EXPECT_TRUE(main->dfmruMainList.Items().empty());
  EXPECT_FALSE(main->pmMRUListMenu()->menuAction()->isEnabled());
}

TEST_F(StartUp, TemporaryFoldersGoAtTheEnd) {
  EXPECT_TRUE(Start({}));
  const std::string temp = GetTempFolderName();
  ASSERT_FALSE(temp.empty());
  vsktest::WriteFile(fs::path(temp) / "viewed.txt", "x");
  main->FTempFolders.push_back(temp);
  EndProgram();
  EXPECT_FALSE(fs::exists(temp));
}

TEST_F(StartUp, ToolbarFollowsTheSettings) {
  EXPECT_TRUE(Start({}));
  QStringList captions;
  for (QAction* a : main->tbMain->actions()) captions << a->iconText();
  EXPECT_EQ(captions, (QStringList{"New", "Open", "Extract", "Add", "View", "CheckOut", "Wizard"}));
  EXPECT_TRUE(main->tbMain->isVisibleTo(main));
  EXPECT_EQ(main->tbMain->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
  main->miShowTextClick();
  EXPECT_FALSE(ReadSettingBool("Toolbar", "ButtonText"));
  EXPECT_EQ(main->tbMain->toolButtonStyle(), Qt::ToolButtonIconOnly);
  EXPECT_FALSE(main->miShowText->isChecked());
  main->miUseFlatButtonsClick();
  EXPECT_FALSE(ReadSettingBool("Toolbar", "FlatButtons"));
  EndProgram();

  for (const char* b : {"BtnNewArchive", "BtnOpenArchive", "BtnAddFiles", "BtnExtractFiles", "BtnViewFiles",
                        "BtnCheckOut", "BtnWizard"})
    WriteSettingBool("Toolbar", b, false);
  EXPECT_TRUE(Start({}));
  EXPECT_TRUE(main->tbMain->actions().isEmpty());
  EXPECT_FALSE(main->tbMain->isVisibleTo(main));
}

TEST_F(StartUp, WindowCommands) {
  EXPECT_TRUE(Start({}));
  EXPECT_EQ(main->acExplorerView->text(), QStringLiteral("Hide E&xplorer"));
  main->acExplorerViewExecute();
  EXPECT_EQ(main->acExplorerView->text(), QStringLiteral("Show E&xplorer"));
  EXPECT_FALSE(main->acExplorerView->isChecked());
  EXPECT_EQ(main->dfsplMain->sizes().front(), 0);
  main->acExplorerViewExecute();
  EXPECT_EQ(main->acExplorerView->text(), QStringLiteral("Hide E&xplorer"));
  EXPECT_GT(main->dfsplMain->sizes().front(), 0);

  EXPECT_FALSE(main->tbFilter->isVisibleTo(main));
  main->acShowFilterExecute();
  EXPECT_TRUE(main->tbFilter->isVisibleTo(main));
  EXPECT_EQ(main->acShowFilter->text(), QStringLiteral("Hide &Filter"));
  EXPECT_TRUE(main->acShowFilter->isChecked());
  main->acShowFilterExecute();
  EXPECT_EQ(main->acShowFilter->text(), QStringLiteral("Show &Filter"));

  // The busy indicator: red while busy, green when waiting.
  const auto led = [&] { return QColor(main->imgLed().pixel(6, 6)); };
  EXPECT_EQ(led(), QColor(0, 255, 0));
  main->ApplicationBusy();
  EXPECT_EQ(main->LedColor(), kLedBusy);
  EXPECT_EQ(led(), QColor(255, 0, 0));
  main->ApplicationWaiting();
  EXPECT_EQ(led(), QColor(0, 255, 0));
  EXPECT_EQ(qAlpha(main->imgLed().pixel(0, 0)), 0);

  // The output window is shown modally.
  ui.ExpectModal([](QDialog& Dialog) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("View Last Output"));
    return static_cast<int>(mrOk);
  });
  main->acViewLastOutputExecute();

  // With nothing running, cancelling does nothing.
  main->acCancelTaskExecute();
  EXPECT_TRUE(main->SimpleText().isEmpty());

  // Hints go to the last panel.
  QStatusTipEvent tip(QStringLiteral("Open an existing archive"));
  QApplication::sendEvent(main, &tip);
  EXPECT_EQ(main->StatusPanelText(5), QStringLiteral("Open an existing archive"));
  EXPECT_TRUE(main->acExplorerView->isChecked());
}

TEST_F(StartUp, FileDialogsOfTheMainWindow) {
  EXPECT_TRUE(Start({}));
  ASSERT_NE(fmAddBottom, nullptr);
  EXPECT_EQ(fmAddBottom->FPassword, &main->FPassword);
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Add"));
    EXPECT_EQ(fmAddBottom->parentWidget(), &Dialog);
    EXPECT_EQ(static_cast<QFileDialog&>(Dialog).labelText(QFileDialog::Accept), QStringLiteral("&Add"));
    EXPECT_EQ(static_cast<QFileDialog&>(Dialog).fileMode(), QFileDialog::ExistingFiles);
    return static_cast<int>(mrCancel);
  });
  EXPECT_FALSE(main->apodAdd().Execute());
  EXPECT_EQ(fmAddBottom->parentWidget(), nullptr);
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = static_cast<QFileDialog&>(Dialog);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("New Archive"));
    EXPECT_EQ(d.labelText(QFileDialog::Accept), QStringLiteral("&Create"));
    EXPECT_EQ(d.labelText(QFileDialog::FileType), QStringLiteral("Archive type:"));
    EXPECT_EQ(d.selectedNameFilter(), QStringLiteral("Zip Archive (*.zip)"));
    EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(d.defaultSuffix(), QStringLiteral("zip"));
    return static_cast<int>(mrCancel);
  });
  EXPECT_FALSE(main->apsdNew().Execute());
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Add Options"));
    EXPECT_EQ(fmAddOptionsBottom->parentWidget(), &Dialog);
    return static_cast<int>(mrCancel);
  });
  EXPECT_FALSE(main->apsdAddOptions().Execute());
  EXPECT_EQ(fmAddOptionsBottom->parentWidget(), nullptr);
}

}  // namespace
}  // namespace brevane::testing
