#include "app/dialogs/configdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <filesystem>
#include <vector>

#include "app/components/opendialog.h"
#include "app/dialogs/dialogsupport.h"
#include "app/main/folders.h"
#include "app/main/messages.h"
#include "app/main/shortcuts.h"
#include "app/main/userinterface.h"
#include "platform/process.h"
#include "ui_configdlg.h"

namespace brevane {

namespace {

struct TBoolBinding {
  const char* Control;
  bool TOptions::*Option;
};

// Every check box bound to a Boolean option, page by page.
constexpr TBoolBinding kCheckBoxes[] = {
    {"ckColDate", &TOptions::ColDate},
    {"ckColPacked", &TOptions::ColPacked},
    {"ckColUnpacked", &TOptions::ColUnpacked},
    {"ckColRatio", &TOptions::ColRatio},
    {"ckColMethod", &TOptions::ColMethod},
    {"ckColAttributes", &TOptions::ColAttributes},
    {"ckColPath", &TOptions::ColPath},
    {"ckColFileType", &TOptions::ColFileType},
    {"ckColCRC", &TOptions::ColCRC},
    {"ckColFileOffset", &TOptions::ColFileOffset},
    {"ckColEncrypted", &TOptions::ColEncrypted},
    {"ckColVolumeID", &TOptions::ColVolumeID},
    {"ckColFileComment", &TOptions::ColFileComment},
    {"ckFullRowSelect", &TOptions::FullRowSelect},
    {"ckShowGridLines", &TOptions::ShowGridLines},
    {"ckShowFilter", &TOptions::ShowFilter},
    {"ckFlatButtons", &TOptions::FlatButtons},
    {"ckToolTips", &TOptions::ToolTips},
    {"ckButtonText", &TOptions::ButtonText},
    {"ckAce", &TOptions::Ace},
    {"ckArc", &TOptions::Arc},
    {"ckArj", &TOptions::Arj},
    {"ckBh", &TOptions::Bh},
    {"ckCab", &TOptions::Cab},
    {"ckGz", &TOptions::Gz},
    {"ckJar", &TOptions::Jar},
    {"ckLha", &TOptions::Lha},
    {"ckLzh", &TOptions::Lzh},
    {"ckRar", &TOptions::Rar},
    {"ckTar", &TOptions::Tar},
    {"ckTgz", &TOptions::Tgz},
    {"ckUu", &TOptions::Uu},
    {"ckUue", &TOptions::Uue},
    {"ckXxe", &TOptions::Xxe},
    {"ckZ", &TOptions::Z},
    {"ckZip", &TOptions::Zip},
    {"ckZoo", &TOptions::Zoo},
    {"ckCheckAssociations", &TOptions::CheckAssociations},
    {"ckEnableAssociations", &TOptions::EnableAssociations},
    {"ckAVRunMinimised", &TOptions::RunMinimized},
    {"ckShellExtensions", &TOptions::ShellExtensions},
    {"ckSxCascade", &TOptions::Cascade},
    {"ckSxShowIcon", &TOptions::ShowIcon},
    {"ckSxAddToArc", &TOptions::cmAddToArc},
    {"ckSxAddToFile", &TOptions::cmAddToFile},
    {"ckSxAddToExe", &TOptions::cmAddToExe},
    {"ckSxMailArchive", &TOptions::cmMailArchive},
    {"ckSxExtractTo", &TOptions::cmExtractTo},
    {"ckSxExtractHere", &TOptions::cmExtractHere},
    {"ckSxExtractToFolder", &TOptions::cmExtractToFolder},
    {"ckSxVirusScan", &TOptions::cmVirusScan},
    {"ckSxConvert", &TOptions::cmConvert},
    {"ckSxTest", &TOptions::cmTest},
    {"ckSxMakeExe", &TOptions::cmMakeExe},
    {"ckSxRepairZip", &TOptions::cmRepairZip},
    {"ckSxExtractMultiple", &TOptions::cmExtractMultiple},
    {"ckSxArcTypeInfo", &TOptions::itArcTypeInfo},
    {"ckSxDateInfo", &TOptions::itDateInfo},
    {"ckSxPackedSizeInfo", &TOptions::itPackedSizeInfo},
    {"ckSxUnpackedSizeInfo", &TOptions::itUnpackedSizeInfo},
    {"ckSxNumFilesInfo", &TOptions::itNumFilesInfo},
    {"ckSxRatioInfo", &TOptions::itRatioInfo},
    {"ckSxShowListingInfo", &TOptions::itShowListingInfo},
    {"ckCommentsOpen", &TOptions::CommentsOpen},
    {"ckStayOnTop", &TOptions::StayOnTop},
    {"ckClearMRU", &TOptions::ClearMRU},
    {"ckStartupWizard", &TOptions::StartupWizard},
    {"ckStartupOpen", &TOptions::StartupOpen},
    {"ckShortcutStartMenu", &TOptions::ShortcutStartMenu},
    {"ckShortcutDesktop", &TOptions::ShortcutDesktop},
    {"ckConfirmCompress", &TOptions::ConfirmCompress},
    {"ckConfirmDecompress", &TOptions::ConfirmDecompress},
};

struct TToolbarItem {
  const char* Caption;
  bool TOptions::*Option;
};

constexpr TToolbarItem kToolbarItems[] = {
    {"Add Files", &TOptions::BtnAddFiles},
    {"Check Out", &TOptions::BtnCheckOut},
    {"Close Archive", &TOptions::BtnCloseArchive},
    {"Comment", &TOptions::BtnComment},
    {"Configuration", &TOptions::BtnConfiguration},
    {"Delete Files", &TOptions::BtnDeleteFiles},
    {"Exit", &TOptions::BtnExit},
    {"Explorer", &TOptions::BtnExplorer},
    {"Extract Files", &TOptions::BtnExtractFiles},
    {"Help", &TOptions::BtnHelp},
    {"Install", &TOptions::BtnInstall},
    {"Make .EXE", &TOptions::BtnMakeExe},
    {"New Archive", &TOptions::BtnNewArchive},
    {"Open Archive", &TOptions::BtnOpenArchive},
    {"Print Content List", &TOptions::BtnPrintContentList},
    {"Properties", &TOptions::BtnProperties},
    {"Show Filter", &TOptions::BtnFilter},
    {"Test Archive", &TOptions::BtnTestArchive},
    {"View Files", &TOptions::BtnViewFiles},
    {"Virus Scan", &TOptions::BtnVirusScan},
    {"Wizard", &TOptions::BtnWizard},
};

struct TStringBinding {
  const char* Control;
  std::string TOptions::*Option;
};

constexpr TStringBinding kEdits[] = {
    {"rxdeOpen", &TOptions::OpenFolder},
    {"rxdeExtract", &TOptions::ExtractFolder},
    {"rxdeAdd", &TOptions::AddFolder},
    {"rxdeTemp", &TOptions::TemporaryFolder},
    {"rxdeCheckOut", &TOptions::CheckoutBaseFolder},
    {"rxfeDefaultViewer", &TOptions::DefaultViewer},
    {"rxfeVirusScanner", &TOptions::VirusScanner},
    {"edAVParameters", &TOptions::Parameters},
};

// The folder boxes, for the warning on OK.
constexpr TStringBinding kFolderBoxes[] = {
    {"rxdeOpen", &TOptions::OpenFolder},
    {"rxdeExtract", &TOptions::ExtractFolder},
    {"rxdeAdd", &TOptions::AddFolder},
    {"rxdeTemp", &TOptions::TemporaryFolder},
    {"rxdeCheckOut", &TOptions::CheckoutBaseFolder},
};

constexpr const char* kPageTopics[] = {"Hlp_CFG_View",          "Hlp_CFG_Toolbar", "Hlp_CFG_Folders",
                                       "Hlp_Program_Locations", "Hlp_Configuring_Shell", "Hlp_CFG_File",
                                       "Hlp_CFG_Miscellaneous"};

constexpr TAVPreset kAVPresets[] = {
    {"", ""},
    {"", ""},
    {"SCAN32.EXE", "/autoscan /nosplash /autoexit *.*"},
    {"NAVWNT.EXE", "*.* /s /m- /b-"},
    {"NAVW32.EXE", "*.* /s /m- /b-"},
    {"F-PROT.EXE", "*.* /NOBOOT /NOMEM /LIST"},
    {"TBSCAN.EXE", "*.* lo nb nm"},
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

void BrowseFolder(QWidget* Parent, QLineEdit* Edit) {
  QFileDialog d(Parent, QStringLiteral("Select Folder"), Edit->text());
  RouteDeletesToTrash(d);
  d.setFileMode(QFileDialog::Directory);
  d.setOption(QFileDialog::ShowDirsOnly);
  if (UI().ShowModal(d) == mrOk && !d.selectedFiles().isEmpty()) Edit->setText(d.selectedFiles().front());
}

void BrowseProgram(QWidget* Parent, QLineEdit* Edit) {
  QFileDialog d(Parent, QString(), Edit->text());
  RouteDeletesToTrash(d);
  d.setFileMode(QFileDialog::ExistingFile);
  d.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
  if (UI().ShowModal(d) == mrOk && !d.selectedFiles().isEmpty()) Edit->setText(d.selectedFiles().front());
}

}  // namespace

std::string ConfigPageTopic(int Page) {
  return Page >= 0 && Page < static_cast<int>(std::size(kPageTopics)) ? kPageTopics[Page] : "Hlp_Introduction";
}

TAVPreset AVPreset(int Product) {
  return Product >= 0 && Product < static_cast<int>(std::size(kAVPresets)) ? kAVPresets[Product] : kAVPresets[0];
}

std::string InfoTipPreview(const TOptions& O) {
  const std::pair<bool, const char*> pieces[] = {
      {O.itArcTypeInfo, " Type: ZIP "},
      {O.itDateInfo, " Modified Date: 29/03/2002 11:39AM "},
      {O.itPackedSizeInfo, " Packed Size: 72,538 bytes "},
      {O.itUnpackedSizeInfo, " Unpacked Size: 254,811 bytes "},
      {O.itNumFilesInfo, " Files in Archive: 3 "},
      {O.itRatioInfo, " Compression Ratio: 68% "},
  };
  std::string hint;
  const auto add = [&hint](const char* Piece) {
    if (!hint.empty()) hint += "\n\r";
    hint += Piece;
  };
  for (const auto& [on, piece] : pieces)
    if (on) add(piece);
  if (O.itShowListingInfo) {
    add(" Files Listing:");
    hint += "\n\r - TestFile.txt\n\r - SomePic.jpg\n\r - YetAnotherFile.doc";
  }
  return hint + "| ";
}

TfmConfiguration::TfmConfiguration(QWidget* Parent, TOptions& Target)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmConfiguration>()), FOptions(Target) {
  ui->setupUi(this);
  pcConfig = ui->pcConfig;
  clbToolbarButtons = ui->clbToolbarButtons;
  cbAVProduct = ui->cbAVProduct;
  rxfeVirusScanner = ui->rxfeVirusScanner;
  rxfeDefaultViewer = ui->rxfeDefaultViewer;
  edAVParameters = ui->edAVParameters;
  imSxTestArea = ui->imSxTestArea;
  buOK = ui->buOK;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;
  for (const auto& item : kToolbarItems) {
    auto* i = new QListWidgetItem(QString::fromLatin1(item.Caption), clbToolbarButtons);
    i->setFlags(i->flags() | Qt::ItemIsUserCheckable);
    i->setCheckState(Qt::Unchecked);
  }
  ui->ckColFilename->setChecked(true);
  ui->ckColFilename->setEnabled(false);

  connect(buOK, &QPushButton::clicked, this, &TfmConfiguration::buOKClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, &TfmConfiguration::buHelpClick);
  connect(ui->buColDefaults, &QPushButton::clicked, this, &TfmConfiguration::buColDefaultsClick);
  connect(pcConfig, &QTabWidget::currentChanged, this, &TfmConfiguration::pcConfigChange);
  // Only a product the user picks fills in its preset; loading the
  // settings keeps the scanner they name.
  connect(cbAVProduct, qOverload<int>(&QComboBox::activated), this, [this] { cbAVProductChange(); });
  connect(ui->buCreateShortcuts, &QPushButton::clicked, this, &TfmConfiguration::buCreateShortcutsClick);
  const std::pair<QToolButton*, QLineEdit*> folders[] = {{ui->buOpenBrowse, ui->rxdeOpen},
                                                         {ui->buExtractBrowse, ui->rxdeExtract},
                                                         {ui->buAddBrowse, ui->rxdeAdd},
                                                         {ui->buTempBrowse, ui->rxdeTemp},
                                                         {ui->buCheckOutBrowse, ui->rxdeCheckOut}};
  for (const auto& [button, edit] : folders)
    connect(button, &QToolButton::clicked, this, [this, e = edit] { BrowseFolder(this, e); });
  connect(ui->buDefaultViewerBrowse, &QToolButton::clicked, this, [this] { BrowseProgram(this, rxfeDefaultViewer); });
  connect(ui->buVirusScannerBrowse, &QToolButton::clicked, this, [this] { BrowseProgram(this, rxfeVirusScanner); });
  // The enabling rules follow every change of a box or radio button,
  // whether the user or the settings made it.
  for (QAbstractButton* b : findChildren<QAbstractButton*>())
    if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b))
      connect(b, &QAbstractButton::toggled, this, [this] { UpdateEnabling(); });
  for (const char* name : {"ckSxArcTypeInfo", "ckSxDateInfo", "ckSxPackedSizeInfo", "ckSxUnpackedSizeInfo",
                           "ckSxNumFilesInfo", "ckSxRatioInfo", "ckSxShowListingInfo"})
    connect(Control<QCheckBox>(name), &QCheckBox::toggled, this, &TfmConfiguration::UpdateInfoTipPreview);
  // At most one of the two start-up choices is ticked.
  connect(ui->ckStartupWizard, &QCheckBox::toggled, this, [this](bool On) {
    if (On) ui->ckStartupOpen->setChecked(false);
  });
  connect(ui->ckStartupOpen, &QCheckBox::toggled, this, [this](bool On) {
    if (On) ui->ckStartupWizard->setChecked(false);
  });
  FormCreate();
}

TfmConfiguration::~TfmConfiguration() = default;

void TfmConfiguration::FormCreate() {
  FAssociationsVisited = false;
  SettingsToControls();
  UpdateInfoTipPreview();
}

void TfmConfiguration::SettingsToControls() {
  const TOptions& o = FOptions;
  for (const auto& b : kCheckBoxes) Control<QCheckBox>(b.Control)->setChecked(o.*b.Option);
  for (int i = 0; i < static_cast<int>(std::size(kToolbarItems)); ++i)
    clbToolbarButtons->item(i)->setCheckState(o.*kToolbarItems[i].Option ? Qt::Checked : Qt::Unchecked);
  for (const auto& e : kEdits) Control<QLineEdit>(e.Control)->setText(Q(o.*e.Option));
  (o.DoubleClickSel ? ui->rbDoubleClick : ui->rbSingleClick)->setChecked(true);
  (o.MouseSelection == 2   ? ui->rbUnderlineNever
   : o.MouseSelection == 3 ? ui->rbUnderlineAlways
                           : ui->rbUnderlineMouse)
      ->setChecked(true);
  (o.OpenLast ? ui->rbOpenLast : ui->rbOpenCustom)->setChecked(true);
  (o.AddLast ? ui->rbAddLast : ui->rbAddCustom)->setChecked(true);
  (o.ExtractLast   ? ui->rbExtractLast
   : o.ExtractSame ? ui->rbExtractSame
                   : ui->rbExtractCustom)
      ->setChecked(true);
  cbAVProduct->setCurrentIndex(o.AVProduct >= 0 && o.AVProduct < cbAVProduct->count() ? o.AVProduct : 0);
  ui->udSxMaxFilesInfo->setValue(o.MaxFilesInfo);
  ui->cbSxPath->setCurrentIndex(o.adPath >= 0 && o.adPath < ui->cbSxPath->count() ? o.adPath : 0);
  ui->cbSxArcType->setCurrentIndex(o.adArcType >= 0 && o.adArcType < ui->cbSxArcType->count() ? o.adArcType : 0);
  ui->udMRUList->setValue(o.MRUList);
  ui->udThreadCount->setValue(o.ThreadCount);
  UpdateEnabling();
}

void TfmConfiguration::ControlsToSettings() {
  TOptions& o = FOptions;
  for (const auto& b : kCheckBoxes) o.*b.Option = Control<QCheckBox>(b.Control)->isChecked();
  for (int i = 0; i < static_cast<int>(std::size(kToolbarItems)); ++i)
    o.*kToolbarItems[i].Option = clbToolbarButtons->item(i)->checkState() == Qt::Checked;
  for (const auto& e : kEdits) o.*e.Option = Control<QLineEdit>(e.Control)->text().toStdString();
  o.DoubleClickSel = ui->rbDoubleClick->isChecked();
  o.MouseSelection = ui->rbUnderlineMouse->isChecked() ? 1 : ui->rbUnderlineNever->isChecked() ? 2 : 3;
  o.OpenLast = ui->rbOpenLast->isChecked();
  o.AddLast = ui->rbAddLast->isChecked();
  o.ExtractLast = ui->rbExtractLast->isChecked();
  o.ExtractSame = !o.ExtractLast && ui->rbExtractSame->isChecked();
  o.AVProduct = cbAVProduct->currentIndex();
  o.MaxFilesInfo = ui->udSxMaxFilesInfo->value();
  o.adPath = ui->cbSxPath->currentIndex();
  o.adArcType = ui->cbSxArcType->currentIndex();
  o.MRUList = ui->udMRUList->value();
  o.ThreadCount = ui->udThreadCount->value();
}

void TfmConfiguration::UpdateEnabling() {
  const bool single = ui->rbSingleClick->isChecked();
  for (QRadioButton* r : {ui->rbUnderlineMouse, ui->rbUnderlineNever, ui->rbUnderlineAlways}) r->setEnabled(single);
  const std::pair<QRadioButton*, QWidget*> custom[] = {{ui->rbOpenCustom, ui->rxdeOpen},
                                                       {ui->rbOpenCustom, ui->buOpenBrowse},
                                                       {ui->rbExtractCustom, ui->rxdeExtract},
                                                       {ui->rbExtractCustom, ui->buExtractBrowse},
                                                       {ui->rbAddCustom, ui->rxdeAdd},
                                                       {ui->rbAddCustom, ui->buAddBrowse}};
  for (const auto& [radio, widget] : custom) widget->setEnabled(radio->isChecked());
  const bool associations = ui->ckEnableAssociations->isChecked();
  ui->ckCheckAssociations->setEnabled(associations);
  ui->gbArchiveTypes->setEnabled(associations);
  const bool shell = ui->ckShellExtensions->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{ui->ckSxCascade, ui->ckSxShowIcon, ui->gbSxMenuItems,
                                                    ui->gbSxAddOptions})
    w->setEnabled(shell);
  // The InfoTip group stays usable for its test area; its boxes follow.
  for (QWidget* w : ui->gbSxInfoTip->findChildren<QWidget*>())
    if (w != imSxTestArea && w != ui->laSxTestArea) w->setEnabled(shell);
  const bool listing = shell && ui->ckSxShowListingInfo->isChecked();
  ui->udSxMaxFilesInfo->setEnabled(listing);
  ui->laSxMaxFilesInfo->setEnabled(listing);
}

void TfmConfiguration::UpdateInfoTipPreview() {
  TOptions shown;
  shown.itArcTypeInfo = ui->ckSxArcTypeInfo->isChecked();
  shown.itDateInfo = ui->ckSxDateInfo->isChecked();
  shown.itPackedSizeInfo = ui->ckSxPackedSizeInfo->isChecked();
  shown.itUnpackedSizeInfo = ui->ckSxUnpackedSizeInfo->isChecked();
  shown.itNumFilesInfo = ui->ckSxNumFilesInfo->isChecked();
  shown.itRatioInfo = ui->ckSxRatioInfo->isChecked();
  shown.itShowListingInfo = ui->ckSxShowListingInfo->isChecked();
  std::string hint = InfoTipPreview(shown);
  hint = hint.substr(0, hint.find('|'));
  // "\n\r" is one line break in the tooltip.
  imSxTestArea->setToolTip(Q(hint).replace(QStringLiteral("\n\r"), QStringLiteral("\n")));
}

void TfmConfiguration::buColDefaultsClick() {
  for (const char* on : {"ckColDate", "ckColPacked", "ckColUnpacked", "ckColRatio", "ckColPath"})
    Control<QCheckBox>(on)->setChecked(true);
  for (const char* off : {"ckColMethod", "ckColAttributes", "ckColFileType", "ckColCRC", "ckColFileOffset",
                          "ckColEncrypted", "ckColVolumeID", "ckColFileComment", "ckFullRowSelect", "ckShowGridLines"})
    Control<QCheckBox>(off)->setChecked(false);
}

void TfmConfiguration::cbAVProductChange() {
  const TAVPreset p = AVPreset(cbAVProduct->currentIndex());
  rxfeVirusScanner->setText(QString::fromLatin1(p.Scanner));
  edAVParameters->setText(QString::fromLatin1(p.Parameters));
}

void TfmConfiguration::pcConfigChange(int Page) {
  if (Page == cpAssociations) FAssociationsVisited = true;
}

void TfmConfiguration::buHelpClick() { ShowHelpKeyword(ConfigPageTopic(pcConfig->currentIndex())); }

bool TfmConfiguration::CheckScanner() {
  const std::string scanner = rxfeVirusScanner->text().toStdString();
  if (cbAVProduct->currentIndex() == 0 || scanner.empty() || !vsk::FindProgram(scanner).empty()) return true;
  MessageDlg(msgtext::kConfigScannerInvalid, mtWarning, mbOK);
  pcConfig->setCurrentIndex(cpLocations);
  rxfeVirusScanner->setFocus();
  return false;
}

void TfmConfiguration::WarnMissingFolders() const {
  // Only folders typed in this dialog: a stored one that is absent now (a
  // disk not mounted) was told about when it was entered.
  std::string missing;
  for (const auto& box : kFolderBoxes) {
    const QLineEdit* edit = Control<QLineEdit>(box.Control);
    const std::string folder = edit->text().toStdString();
    std::error_code ec;
    if (edit->isEnabled() && !folder.empty() && folder != FOptions.*box.Option &&
        !std::filesystem::is_directory(folder, ec))
      missing += (missing.empty() ? "" : "\r\n") + folder;
  }
  if (!missing.empty()) MessageDlg(msgtext::kConfigFolderMissing + missing, mtWarning, mbOK);
}

void TfmConfiguration::buOKClick() {
  // Only the scanner is checked; folders and the viewer are taken as they
  // are.
  if (!CheckScanner()) return;
  WarnMissingFolders();
  ControlsToSettings();
  done(mrOk);
}

void TfmConfiguration::buCreateShortcutsClick() {
  const bool startMenu = ui->ckShortcutStartMenu->isChecked(), desktop = ui->ckShortcutDesktop->isChecked();
  if (!startMenu && !desktop) {
    MessageDlg(msgtext::kSelectShortcutType, mtWarning, mbOK);
    return;
  }
  const std::string program = QCoreApplication::applicationFilePath().toStdString();
  std::string failed;
  for (const auto& [wanted, folder] :
       {std::pair{startMenu, GetSpecialFolderPath(sfStartMenu)}, std::pair{desktop, GetSpecialFolderPath(sfDesktopDirectory)}})
    if (wanted && !CreateShortcut(folder, "Brevane", program)) failed += "\r\n" + folder;
  if (failed.empty())
    MessageDlg(msgtext::kShortcutsCreated, mtInformation, mbOK);
  else
    MessageDlg(msgtext::kShortcutsFailed + failed, mtError, mbOK);
}

}  // namespace brevane
