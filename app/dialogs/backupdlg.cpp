#include "app/dialogs/backupdlg.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <filesystem>

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/listrows.h"
#include "app/main/folders.h"
#include "app/main/messages.h"
#include "app/main/userinterface.h"
#include "ui_backupeditor.h"
#include "ui_managebackup.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void AddSelectMenu(QListWidget* List) {
  QObject::connect(List, &QWidget::customContextMenuRequested, List, [List](const QPoint& Pos) {
    QMenu menu(List);
    menu.addAction(QStringLiteral("Select &All"), List, [List] { List->selectAll(); });
    menu.addAction(QStringLiteral("&Deselect All"), List, [List] { List->clearSelection(); });
    menu.exec(List->viewport()->mapToGlobal(Pos));
  });
}

}  // namespace

// ---- the editor

TfmBackupEditor::TfmBackupEditor(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmBackupEditor>()) {
  ui->setupUi(this);
  pcPages = ui->pcPages;
  edBackupSetName = ui->edBackupSetName;
  edBackupDesc = ui->edBackupDesc;
  rxdeBackupFolder = ui->rxdeBackupFolder;
  buBrowseFolder = ui->buBrowseFolder;
  cbArcType = ui->cbArcType;
  cbCompression = ui->cbCompression;
  cbPathInfo = ui->cbPathInfo;
  rbMethodOverwrite = ui->rbMethodOverwrite;
  rbMethodPrompt = ui->rbMethodPrompt;
  rbMethodMulti = ui->rbMethodMulti;
  laGenerations = ui->laGenerations;
  udGenerations = ui->udGenerations;
  lbFiles = ui->lbFiles;
  buAddFiles = ui->buAddFiles;
  buAddFolders = ui->buAddFolders;
  buRemoveFiles = ui->buRemoveFiles;
  buSave = ui->buSave;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;
  cbArcType->setCurrentIndex(6);
  connect(buSave, &QPushButton::clicked, this, &TfmBackupEditor::buSaveClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, [] { ShowHelpKeyword("Hlp_Backup_Set"); });
  connect(buAddFiles, &QPushButton::clicked, this, &TfmBackupEditor::buAddFilesClick);
  connect(buAddFolders, &QPushButton::clicked, this, &TfmBackupEditor::buAddFoldersClick);
  connect(buRemoveFiles, &QPushButton::clicked, this, &TfmBackupEditor::buRemoveFilesClick);
  for (QRadioButton* rb : {rbMethodOverwrite, rbMethodPrompt, rbMethodMulti})
    connect(rb, &QRadioButton::toggled, this, &TfmBackupEditor::rbMethodClick);
  connect(cbArcType, qOverload<int>(&QComboBox::currentIndexChanged), this, &TfmBackupEditor::cbArcTypeChange);
  connect(buBrowseFolder, &QToolButton::clicked, this, [this] {
    std::string folder = rxdeBackupFolder->text().toStdString();
    if (UI().SelectDirectory("Backup Storage Folder", folder)) rxdeBackupFolder->setText(Q(folder));
  });
  AddSelectMenu(lbFiles);
  rbMethodClick();
  cbArcTypeChange();
}

TfmBackupEditor::~TfmBackupEditor() = default;

void TfmBackupEditor::SetScript(const TBackupScript& S) {
  edBackupSetName->setText(Q(S.Name));
  edBackupDesc->setText(Q(S.Description));
  rxdeBackupFolder->setText(Q(S.Folder));
  cbArcType->setCurrentIndex(S.ArcType >= 0 && S.ArcType < 7 ? S.ArcType : 6);
  cbCompression->setCurrentIndex(S.Compression >= 0 && S.Compression < 5 ? S.Compression : 0);
  cbPathInfo->setCurrentIndex(S.StorePathInfo == 1 ? 1 : 0);
  if (S.Method == kBackupOverwrite)
    rbMethodOverwrite->setChecked(true);
  else if (S.Method == kBackupPrompt)
    rbMethodPrompt->setChecked(true);
  else
    rbMethodMulti->setChecked(true);
  udGenerations->setValue(S.Generations);
  lbFiles->clear();
  AddEntries(S.Entries);
}

TBackupScript TfmBackupEditor::Script() const {
  TBackupScript s;
  s.Name = edBackupSetName->text().toStdString();
  s.Description = edBackupDesc->text().toStdString();
  s.Folder = rxdeBackupFolder->text().toStdString();
  s.ArcType = cbArcType->currentIndex();
  s.Compression = std::max(0, cbCompression->currentIndex());
  s.StorePathInfo = std::max(0, cbPathInfo->currentIndex());
  s.Method = rbMethodOverwrite->isChecked() ? kBackupOverwrite
             : rbMethodPrompt->isChecked()  ? kBackupPrompt
                                            : kBackupGenerations;
  s.Generations = udGenerations->value();
  s.Entries = ListRows(lbFiles);
  return s;
}

void TfmBackupEditor::AddEntries(const std::vector<std::string>& Entries) { AddUniqueRows(lbFiles, Entries); }

void TfmBackupEditor::rbMethodClick() {
  const bool multi = rbMethodMulti->isChecked();
  laGenerations->setEnabled(multi);
  udGenerations->setEnabled(multi);
}

void TfmBackupEditor::cbArcTypeChange() {
  const int type = cbArcType->currentIndex();
  cbCompression->setEnabled(type == 0 || type == 2 || type == 6);
}

void TfmBackupEditor::buAddFilesClick() { AddEntries(ChooseFilesToAdd(this)); }

void TfmBackupEditor::buAddFoldersClick() {
  std::string folder;
  if (UI().SelectDirectory(buAddFolders->text().remove(QLatin1Char('&')).toStdString(), folder) && !folder.empty())
    AddEntries({FolderEntry(folder)});
}

void TfmBackupEditor::buRemoveFilesClick() { RemoveSelectedRows(lbFiles); }

void TfmBackupEditor::buSaveClick() {
  const std::string name = edBackupSetName->text().toStdString();
  if (edBackupSetName->isEnabled() && name.empty()) {
    MessageDlg(msgtext::kBackupNeedName, mtInformation, mbOK);
    pcPages->setCurrentIndex(0);
    edBackupSetName->setFocus();
    return;
  }
  if (!IsValidBackupSetName(name)) {
    ShowError(msgtext::kBackupInvalidName);
    return;
  }
  if (rxdeBackupFolder->text().trimmed().isEmpty()) {
    MessageDlg(msgtext::kBackupNeedFolder, mtInformation, mbOK);
    pcPages->setCurrentIndex(0);
    rxdeBackupFolder->setFocus();
    return;
  }
  if (lbFiles->count() == 0) {
    MessageDlg(msgtext::kBackupNeedFiles, mtInformation, mbOK);
    pcPages->setCurrentIndex(1);
    return;
  }
  // Two sets must never write over each other's backups.
  std::string clash;
  const std::string other = ClashingBackupSet(Script(), clash);
  if (!other.empty()) {
    ShowError(msgtext::kBackupNameClash + other + msgtext::kBackupNameClashIn + clash + msgtext::kBackupNameClashEnd);
    pcPages->setCurrentIndex(0);
    return;
  }
  done(mrOk);
}

// ---- the manager

TfmManageBackup::TfmManageBackup(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmManageBackup>()) {
  ui->setupUi(this);
  clbBackupSets = ui->clbBackupSets;
  buRun = ui->buRun;
  buCreate = ui->buCreate;
  buModify = ui->buModify;
  buRemove = ui->buRemove;
  buClose = ui->buClose;
  buHelp = ui->buHelp;
  OpenFolder = [](const std::string& Folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(Folder))); };
  connect(buRun, &QPushButton::clicked, this, &TfmManageBackup::buRunClick);
  connect(buCreate, &QPushButton::clicked, this, &TfmManageBackup::buCreateClick);
  connect(buModify, &QPushButton::clicked, this, &TfmManageBackup::buModifyClick);
  connect(clbBackupSets, &QListWidget::itemDoubleClicked, this, &TfmManageBackup::buModifyClick);
  connect(buRemove, &QPushButton::clicked, this, &TfmManageBackup::buRemoveClick);
  connect(buClose, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, [] { ShowHelpKeyword("Hlp_Manage_Backups"); });
  connect(clbBackupSets, &QWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Check All Backup Sets"), this, [this] { miCheckAllClick(true); });
    menu.addAction(QStringLiteral("Uncheck All Backup Sets"), this, [this] { miCheckAllClick(false); });
    menu.addAction(QStringLiteral("View Archives in Backup Set"), this, &TfmManageBackup::miViewArchivesClick);
    menu.exec(clbBackupSets->viewport()->mapToGlobal(Pos));
  });
  FillList();
}

TfmManageBackup::~TfmManageBackup() = default;

void TfmManageBackup::FillList() {
  clbBackupSets->clear();
  for (const std::string& name : FindBackupSets()) {
    auto* item = new QListWidgetItem(Q(name), clbBackupSets);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

std::string TfmManageBackup::SelectedSet() const {
  const QList<QListWidgetItem*> selected = clbBackupSets->selectedItems();
  return selected.isEmpty() ? std::string() : selected.front()->text().toStdString();
}

std::vector<std::string> TfmManageBackup::SetsToRun() const {
  std::vector<std::string> sets;
  for (int i = 0; i < clbBackupSets->count(); ++i)
    if (clbBackupSets->item(i)->checkState() == Qt::Checked)
      sets.push_back(clbBackupSets->item(i)->text().toStdString());
  if (sets.empty() && !SelectedSet().empty()) sets.push_back(SelectedSet());
  return sets;
}

namespace {

bool SaveScript(const TBackupScript& Script) {
  std::error_code ec;
  fs::create_directories(BackupFolder(), ec);
  const std::string path = BackupScriptPath(Script.Name);
  if (SaveBackupScript(path, Script)) return true;
  ShowError(msgtext::kBackupSaveFailed + path);
  return false;
}

}  // namespace

void TfmManageBackup::buCreateClick() {
  TfmBackupEditor editor(this);
  editor.setWindowTitle(QStringLiteral("New Backup Set"));
  if (UI().ShowModal(editor) != mrOk) return;
  SaveScript(editor.Script());
  FillList();
}

void TfmManageBackup::buModifyClick() {
  const std::string name = SelectedSet();
  if (name.empty()) {
    MessageDlg(msgtext::kBackupSelectToModify, mtInformation, mbOK);
    return;
  }
  const std::string path = BackupScriptPath(name);
  std::vector<std::string> lines;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || !ReadScriptLines(path, lines)) {
    ShowError(msgtext::kBackupScriptMissing);
    return;
  }
  TBackupScript before;
  if (!ParseBackupScript(lines, before)) {
    ShowError(msgtext::kBackupScriptCorrupt);
    return;
  }
  TfmBackupEditor editor(this);
  editor.SetScript(before);
  // The name of a set stays: it names its script and its backups.
  editor.edBackupSetName->setText(Q(name));
  editor.edBackupSetName->setEnabled(false);
  editor.setWindowTitle(QStringLiteral("Edit Backup Set"));
  if (UI().ShowModal(editor) != mrOk) return;
  const TBackupScript after = editor.Script();
  // The generations are renumbered (and moved with a new folder) before the
  // set is saved: when that cannot be done the set stays as it was.
  std::string failed;
  if (before.Method == kBackupGenerations && after.Method == kBackupGenerations &&
      !RenumberGenerations(before, after, failed)) {
    ShowError(msgtext::kBackupNotRenumbered + failed);
    return;
  }
  SaveScript(after);
  FillList();
}

void TfmManageBackup::buRemoveClick() {
  const std::string name = SelectedSet();
  if (name.empty()) {
    MessageDlg(msgtext::kBackupSelectToRemove, mtInformation, mbOK);
    return;
  }
  if (MessageDlg(msgtext::kBackupConfirmRemove, mtConfirmation, mbYesNo) != mrYes) return;
  const std::string path = BackupScriptPath(name);
  std::vector<std::string> lines;
  TBackupScript script;
  std::error_code ec;
  // Only the files this set's method writes are offered, each named.
  if (ReadScriptLines(path, lines) && ParseBackupScript(lines, script) && !script.Folder.empty()) {
    const std::vector<std::string> backups = SetBackupsPresent(script);
    std::string listed;
    for (const std::string& file : backups) listed += "\r\n" + file;
    std::string failed;
    if (!backups.empty() && MessageDlg(msgtext::kBackupTrashBackups + listed, mtConfirmation, mbYesNo) == mrYes &&
        !TrashSetBackups(script, backups, failed)) {
      ShowError(msgtext::kBackupTrashFailed + failed);
      return;
    }
  }
  if (!fs::remove(path, ec) || ec) ShowError(msgtext::kBackupRemoveFailed);
  FillList();
}

void TfmManageBackup::buRunClick() {
  if (SetsToRun().empty()) {
    MessageDlg(msgtext::kBackupSelectToRun, mtInformation, mbOK);
    return;
  }
  done(mrRunBackups);
}

void TfmManageBackup::miCheckAllClick(bool Checked) {
  for (int i = 0; i < clbBackupSets->count(); ++i)
    clbBackupSets->item(i)->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

void TfmManageBackup::miViewArchivesClick() {
  const std::string name = SelectedSet();
  if (name.empty()) {
    MessageDlg(msgtext::kBackupNoneSelected, mtInformation, mbOK);
    return;
  }
  std::vector<std::string> lines;
  TBackupScript script;
  if (ReadScriptLines(BackupScriptPath(name), lines) && ParseBackupScript(lines, script) && OpenFolder)
    OpenFolder(script.Folder);
}

}  // namespace brevane
