// The configuration dialog: every control round-trips through the options
// and the settings store, OK checks the fields it needs, Cancel changes
// nothing; and the main window applies what OK saved.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>

#include "app/dialogs/configdlg.h"
#include "app/dialogs/dialogsupport.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

// The state of every control a user can change, by name.
std::map<std::string, std::string> ControlStates(TfmConfiguration& D) {
  std::map<std::string, std::string> s;
  for (auto* c : D.findChildren<QAbstractButton*>())
    if (c->isCheckable()) s[c->objectName().toStdString()] = c->isChecked() ? "1" : "0";
  for (auto* c : D.findChildren<QLineEdit*>())
    if (!c->objectName().startsWith(QLatin1String("qt_"))) s[c->objectName().toStdString()] = c->text().toStdString();
  for (auto* c : D.findChildren<QComboBox*>()) s[c->objectName().toStdString()] = std::to_string(c->currentIndex());
  for (auto* c : D.findChildren<QSpinBox*>()) s[c->objectName().toStdString()] = std::to_string(c->value());
  for (int i = 0; i < D.clbToolbarButtons->count(); ++i)
    s["toolbar" + std::to_string(i)] = D.clbToolbarButtons->item(i)->checkState() == Qt::Checked ? "1" : "0";
  return s;
}

class Configuration : public WindowTest {};

TEST_F(Configuration, EveryControlRoundTripsThroughOptionsAndSettingsStore) {
  const fs::path folder = dir.path() / "folder";
  fs::create_directories(folder);
  TOptions edited;
  TfmConfiguration d(nullptr, edited);
  // Change every control from its first-run state.
  for (auto* c : d.findChildren<QCheckBox*>())
    if (c->objectName() != QLatin1String("ckColFilename") && c->objectName() != QLatin1String("ckStartupOpen"))
      c->setChecked(!c->isChecked());
  for (int i = 0; i < d.clbToolbarButtons->count(); ++i) {
    QListWidgetItem* item = d.clbToolbarButtons->item(i);
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
  d.Control<QRadioButton>("rbSingleClick")->setChecked(true);
  d.Control<QRadioButton>("rbUnderlineAlways")->setChecked(true);
  d.Control<QRadioButton>("rbOpenCustom")->setChecked(true);
  d.Control<QRadioButton>("rbAddCustom")->setChecked(true);
  d.Control<QRadioButton>("rbExtractCustom")->setChecked(true);
  for (const char* box : {"rxdeOpen", "rxdeExtract", "rxdeAdd", "rxdeTemp", "rxdeCheckOut"})
    d.Control<QLineEdit>(box)->setText(QString::fromStdString(folder.string() + "/" + box));
  for (const char* box : {"rxdeOpen", "rxdeExtract", "rxdeAdd", "rxdeTemp", "rxdeCheckOut"})
    fs::create_directories(folder.string() + "/" + box);
  d.cbAVProduct->setCurrentIndex(1);
  d.rxfeVirusScanner->setText(QStringLiteral("/bin/sh"));
  d.rxfeDefaultViewer->setText(QStringLiteral("/bin/cat"));
  d.edAVParameters->setText(QStringLiteral("-c true"));
  d.Control<QComboBox>("cbSxPath")->setCurrentIndex(1);
  d.Control<QComboBox>("cbSxArcType")->setCurrentIndex(2);
  d.Control<QSpinBox>("udSxMaxFilesInfo")->setValue(33);
  d.Control<QSpinBox>("udMRUList")->setValue(3);
  d.Control<QSpinBox>("udThreadCount")->setValue(5);
  const auto states = ControlStates(d);
  d.buOKClick();
  ASSERT_EQ(d.result(), mrOk);
  EXPECT_NE(edited, TOptions{});
  EXPECT_FALSE(edited.DoubleClickSel);
  EXPECT_EQ(edited.MouseSelection, 3);
  EXPECT_FALSE(edited.ExtractLast);
  EXPECT_FALSE(edited.ExtractSame);

  // Saved and loaded again, the options give the controls the same state.
  Options = edited;
  SaveSettings();
  Options = TOptions{};
  LoadSettings();
  EXPECT_EQ(Options, edited);
  TfmConfiguration again(nullptr, Options);
  EXPECT_EQ(ControlStates(again), states);
  Options = TOptions{};
}

TEST_F(Configuration, OkChecksFieldsAndFollowsTheRadioRules) {
  // Opening a file and underlining are two choices of their own: every
  // combination shows one radio of each and comes back unchanged.
  for (const bool doubleClick : {true, false})
    for (int underline = 1; underline <= 3; ++underline) {
      TOptions loaded;
      loaded.DoubleClickSel = doubleClick;
      loaded.MouseSelection = underline;
      TOptions edited = loaded;
      TfmConfiguration d(nullptr, edited);
      EXPECT_EQ(d.Control<QRadioButton>("rbDoubleClick")->isChecked(), doubleClick) << underline;
      EXPECT_EQ(d.Control<QRadioButton>("rbSingleClick")->isChecked(), !doubleClick) << underline;
      EXPECT_EQ(d.Control<QRadioButton>("rbUnderlineNever")->isChecked(), underline == 2);
      d.buOKClick();
      EXPECT_EQ(edited, loaded) << doubleClick << " " << underline;
    }

  TOptions o;
  o.MouseSelection = 7;
  o.DoubleClickSel = false;
  {
    TfmConfiguration d(nullptr, o);
    EXPECT_TRUE(d.Control<QRadioButton>("rbUnderlineMouse")->isChecked());
    d.buOKClick();
    EXPECT_EQ(o.MouseSelection, 1);
  }
  TOptions before = o;
  {
    TfmConfiguration d(nullptr, o);
    d.Control<QRadioButton>("rbExtractSame")->setChecked(true);
    // "Custom" without a scanner is fine; one that is no program is not.
    d.cbAVProduct->setCurrentIndex(1);
    d.buOKClick();
    EXPECT_EQ(d.result(), mrOk);
    EXPECT_FALSE(o.ExtractLast);
    EXPECT_TRUE(o.ExtractSame);
    o = before;
  }
  {
    TfmConfiguration d(nullptr, o);
    d.cbAVProduct->setCurrentIndex(5);
    d.cbAVProductChange();
    EXPECT_EQ(d.rxfeVirusScanner->text(), QStringLiteral("F-PROT.EXE"));
    EXPECT_EQ(d.edAVParameters->text(), QStringLiteral("*.* /NOBOOT /NOMEM /LIST"));
    d.pcConfig->setCurrentIndex(cpView);
    ui.ExpectMessage(msgtext::kConfigScannerInvalid, mtWarning);
    d.buOKClick();
    EXPECT_EQ(d.result(), 0);
    EXPECT_EQ(d.pcConfig->currentIndex(), cpLocations);
    // Nothing was taken over; Cancel leaves it so.
    EXPECT_EQ(o, before);
    d.buCancel->click();
    EXPECT_EQ(d.result(), mrCancel);
    EXPECT_EQ(o, before);
  }
  // Only the scanner is checked. A folder typed that does not exist is
  // told about and saved; a stored one that is absent now (a disk not
  // mounted) and a viewer not on the path are saved without a word.
  const std::string absent = (dir.path() / "unmounted").string();
  const std::string missing = (dir.path() / "gone").string();
  o.AVProduct = 1;
  o.VirusScanner = "/bin/sh";
  o.OpenLast = false;
  o.OpenFolder = absent;
  {
    TfmConfiguration d(nullptr, o);
    d.Control<QLineEdit>("rxdeCheckOut")->setText(QString::fromStdString(missing));
    d.rxfeDefaultViewer->setText(QStringLiteral("no-such-viewer"));
    d.Control<QCheckBox>("ckShowGridLines")->setChecked(true);
    ui.ExpectMessage(msgtext::kConfigFolderMissing + missing, mtWarning);
    d.buOKClick();
    EXPECT_EQ(d.result(), mrOk);
  }
  EXPECT_EQ(o.OpenFolder, absent);
  EXPECT_EQ(o.CheckoutBaseFolder, missing);
  EXPECT_EQ(o.DefaultViewer, "no-such-viewer");
  EXPECT_TRUE(o.ShowGridLines);
  {
    TfmConfiguration d(nullptr, o);
    d.buOKClick();
    EXPECT_EQ(d.result(), mrOk);
  }
}

TEST_F(Configuration, ControlsEnableEachOtherAndPreviewTheInfoTip) {
  TOptions o;
  TfmConfiguration d(nullptr, o);
  auto* wizard = d.Control<QCheckBox>("ckStartupWizard");
  auto* open = d.Control<QCheckBox>("ckStartupOpen");
  wizard->click();
  open->click();
  EXPECT_FALSE(wizard->isChecked());
  wizard->click();
  EXPECT_FALSE(open->isChecked());

  d.Control<QRadioButton>("rbDoubleClick")->setChecked(true);
  EXPECT_FALSE(d.Control<QRadioButton>("rbUnderlineNever")->isEnabled());
  d.Control<QCheckBox>("ckEnableAssociations")->setChecked(false);
  EXPECT_FALSE(d.Control<QCheckBox>("ckZip")->isEnabled());
  EXPECT_FALSE(d.Control<QCheckBox>("ckCheckAssociations")->isEnabled());
  d.Control<QCheckBox>("ckSxShowListingInfo")->setChecked(false);
  EXPECT_FALSE(d.Control<QSpinBox>("udSxMaxFilesInfo")->isEnabled());
  EXPECT_EQ(d.imSxTestArea->toolTip().toStdString(),
            " Type: ZIP \n Modified Date: 29/03/2002 11:39AM \n Packed Size: 72,538 bytes \n Unpacked Size: "
            "254,811 bytes \n Files in Archive: 3 \n Compression Ratio: 68% ");
  d.Control<QCheckBox>("ckShellExtensions")->setChecked(false);
  EXPECT_FALSE(d.Control<QCheckBox>("ckSxTest")->isEnabled());
  EXPECT_FALSE(d.Control<QCheckBox>("ckSxArcTypeInfo")->isEnabled());
  EXPECT_TRUE(d.imSxTestArea->isEnabled());

  TOptions listing;
  listing.itArcTypeInfo = listing.itDateInfo = listing.itPackedSizeInfo = listing.itUnpackedSizeInfo = false;
  listing.itNumFilesInfo = listing.itRatioInfo = false;
  EXPECT_EQ(InfoTipPreview(listing),
            " Files Listing:\n\r - TestFile.txt\n\r - SomePic.jpg\n\r - YetAnotherFile.doc| ");

  d.Control<QPushButton>("buColDefaults")->click();
  d.buOKClick();
  EXPECT_TRUE(o.ColPath && o.ColDate && !o.ColCRC && !o.FullRowSelect);
  EXPECT_FALSE(d.AssociationsVisited());

  std::vector<std::string> topics;
  SetHelpHandler([&](const std::string& k) { topics.push_back(k); });
  TfmConfiguration h(nullptr, o);
  h.pcConfig->setCurrentIndex(cpLocations);
  h.buHelp->click();
  h.pcConfig->setCurrentIndex(cpAssociations);
  h.buHelp->click();
  SetHelpHandler(nullptr);
  EXPECT_EQ(topics, (std::vector<std::string>{"Hlp_Program_Locations", "Hlp_CFG_File"}));
  EXPECT_TRUE(h.AssociationsVisited());
  EXPECT_EQ(ConfigPageTopic(9), "Hlp_Introduction");

  // Shortcuts: at least one kind must be chosen.
  h.Control<QCheckBox>("ckShortcutStartMenu")->setChecked(false);
  h.Control<QCheckBox>("ckShortcutDesktop")->setChecked(false);
  ui.ExpectMessage(msgtext::kSelectShortcutType, mtWarning);
  h.Control<QPushButton>("buCreateShortcuts")->click();
  h.Control<QCheckBox>("ckShortcutDesktop")->setChecked(true);
  ui.ExpectMessage(msgtext::kShortcutsCreated, mtInformation);
  h.Control<QPushButton>("buCreateShortcuts")->click();
  EXPECT_TRUE(fs::exists(env.root() / "home/Desktop/Brevane.desktop"));
}

TEST_F(Configuration, OkSavesAndTheWindowShowsTheNewOptions) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().RowCount(), 3);
  EXPECT_EQ(ColumnNamed("CRC"), -1);
  ui.ExpectModal([](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConfiguration&>(Dialog);
    EXPECT_EQ(d.pcConfig->currentIndex(), cpToolbar);
    for (int i = 0; i < d.clbToolbarButtons->count(); ++i)
      d.clbToolbarButtons->item(i)->setCheckState(d.clbToolbarButtons->item(i)->text() == "Exit" ? Qt::Checked
                                                                                                  : Qt::Unchecked);
    d.Control<QCheckBox>("ckColCRC")->setChecked(true);
    d.Control<QCheckBox>("ckShowFilter")->setChecked(true);
    d.Control<QSpinBox>("udThreadCount")->setValue(3);
    d.buOKClick();
    return d.result();
  });
  main->miConfigureToolbarClick();
  EXPECT_TRUE(ReadSettingBool("View", "ColCRC"));
  EXPECT_TRUE(ReadSettingBool("Toolbar", "BtnExit"));
  EXPECT_FALSE(ReadSettingBool("Toolbar", "BtnOpenArchive"));
  EXPECT_NE(ColumnNamed("CRC"), -1);
  EXPECT_EQ(Model().RowCount(), 3);
  EXPECT_TRUE(main->tbFilter->isVisibleTo(main));
  EXPECT_EQ(main->tbMain->actions(), QList<QAction*>{main->acExit});
  // The thread count reaches every archive component.
  EXPECT_EQ(ReadSettingInteger("Miscellaneous", "ThreadCount"), 3);
  for (vsk::TZipCommon* c : main->ArchiveComponents()) EXPECT_EQ(c->ThreadCount, 3);

  // Cancel saves and changes nothing.
  ui.ExpectModal([](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConfiguration&>(Dialog);
    d.Control<QCheckBox>("ckColCRC")->setChecked(false);
    d.buCancel->click();
    return d.result();
  });
  main->acConfiguration->trigger();
  EXPECT_TRUE(ReadSettingBool("View", "ColCRC"));
  EXPECT_NE(ColumnNamed("CRC"), -1);
  Options = TOptions{};
}

}  // namespace
}  // namespace brevane::testing
