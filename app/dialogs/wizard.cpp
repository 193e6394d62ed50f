#include "app/dialogs/wizard.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <filesystem>

#include "app/components/opendialog.h"
#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/listrows.h"
#include "app/main/folders.h"
#include "app/main/messages.h"
#include "app/main/setaside.h"
#include "app/main/settings.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "ui_wizard.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct TPageHelp {
  int Context;
  const char* Topic;
};

constexpr TPageHelp kPageHelp[] = {
    {560, "Hlp_Wizard_x"},      {570, "Hlp_Wizard_x1"}, {580, "Hlp_Wizard_x2"}, {590, "Hlp_Wizard_x3"},
    {550, "Hlp_Wizard_Dialog"}, {600, "Hlp_Wizard_x3"}, {610, "Hlp_Wizard_x3"}, {550, "Hlp_Wizard_Dialog"},
};

const std::vector<int>& SequenceOf(int Task) {
  static const std::vector<int> kSequences[] = {
      {wpStart, wpCreateStart, wpAddFiles, wpAddFinish},
      {wpStart, wpUpdateStart, wpAddFiles, wpAddFinish},
      {wpStart, wpExtractStart, wpSelectFolder, wpExtractFinish},
  };
  return kSequences[std::clamp(Task, 1, 3) - 1];
}

constexpr const char* kCreateFilter =
    "Supported Archive Files (*.zip *.tar *.jar *.lha *.tgz *.bh *.lzh *.cab *.gz *.z)";
constexpr const char* kArchiveFilter =
    "All Archive Types (*.ace *.arc *.arj *.bh *.cab *.gz *.jar *.lha *.lzh *.rar *.tar *.tgz *.uu *.uue *.xxe *.z "
    "*.zip *.zoo);;Archives and Programs (*.ace *.arc *.arj *.bh *.cab *.gz *.jar *.lha *.lzh *.rar *.tar *.tgz *.uu "
    "*.uue *.xxe *.z *.zip *.zoo *.exe);;All Files (*)";

void Browse(QWidget* Parent, QLineEdit* Edit, bool MustExist, const char* Filter) {
  QFileDialog d(Parent);
  RouteDeletesToTrash(d);
  d.setFileMode(MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  d.setAcceptMode(MustExist ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  d.setNameFilter(QString::fromUtf8(Filter));
  if (!MustExist) d.setDefaultSuffix(QStringLiteral("zip"));
  if (!Edit->text().isEmpty()) d.selectFile(Edit->text());
  if (UI().ShowModal(d) == mrOk && !d.selectedFiles().isEmpty()) Edit->setText(d.selectedFiles().front());
}

}  // namespace

std::string Unquoted(const std::string& Name) {
  std::string s = Name;
  if (!s.empty() && s.front() == '"') s.erase(0, 1);
  if (!s.empty() && s.back() == '"') s.pop_back();
  return s;
}

TfmWizard::TfmWizard(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmWizard>()) {
  ui->setupUi(this);
  nbPages = ui->nbPages;
  rbStartCreate = ui->rbStartCreate;
  rbStartUpdate = ui->rbStartUpdate;
  rbStartExtract = ui->rbStartExtract;
  rxfedCreate = ui->rxfedCreate;
  laCurrentDir = ui->laCurrentDir;
  lbFiles = ui->lbFiles;
  buAddFiles = ui->buAddFiles;
  buAddFolders = ui->buAddFolders;
  buRemove = ui->buRemove;
  rxfedUpdate = ui->rxfedUpdate;
  rxfedExtract = ui->rxfedExtract;
  edTargetFolder = ui->edTargetFolder;
  buBrowseFolder = ui->buBrowseFolder;
  ckExOverwrite = ui->ckExOverwrite;
  ckExDisplayIcons = ui->ckExDisplayIcons;
  ckExStoredFolders = ui->ckExStoredFolders;
  buBack = ui->buBack;
  buNext = ui->buNext;
  buClose = ui->buClose;
  buHelp = ui->buHelp;
  rbStartCreate->setProperty("Tag", 1);
  rbStartUpdate->setProperty("Tag", 2);
  rbStartExtract->setProperty("Tag", 3);
  for (QRadioButton* rb : {rbStartCreate, rbStartUpdate, rbStartExtract})
    connect(rb, &QRadioButton::clicked, this, [this, rb] { SetTask(rb->property("Tag").toInt()); });
  connect(buNext, &QPushButton::clicked, this, &TfmWizard::buNextClick);
  connect(buBack, &QPushButton::clicked, this, &TfmWizard::buBackClick);
  connect(buClose, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, &TfmWizard::buHelpClick);
  connect(buAddFiles, &QPushButton::clicked, this, &TfmWizard::buAddFilesClick);
  connect(buAddFolders, &QPushButton::clicked, this, &TfmWizard::buAddFoldersClick);
  connect(buRemove, &QPushButton::clicked, this, &TfmWizard::buRemoveClick);
  connect(buBrowseFolder, &QPushButton::clicked, this, &TfmWizard::buBrowseFolderClick);
  connect(ui->buCreateBrowse, &QToolButton::clicked, this, [this] { Browse(this, rxfedCreate, false, kCreateFilter); });
  connect(ui->buUpdateBrowse, &QToolButton::clicked, this, [this] { Browse(this, rxfedUpdate, true, kArchiveFilter); });
  connect(ui->buExtractBrowse, &QToolButton::clicked, this,
          [this] { Browse(this, rxfedExtract, true, kArchiveFilter); });
  Reset();
}

TfmWizard::~TfmWizard() = default;

void TfmWizard::Reset() {
  rbStartCreate->setChecked(true);
  FTask = 1;
  FSequence = SequenceOf(1);
  FStep = 0;
  lbFiles->clear();
  rxfedCreate->clear();
  rxfedUpdate->clear();
  rxfedExtract->clear();
  edTargetFolder->clear();
  ShowStep(0);
  setProperty("HelpContext", 550);
  FHelpTopic = "Hlp_Wizard_Dialog";
}

void TfmWizard::SetTask(int Task) {
  FTask = std::clamp(Task, 1, 3);
  FSequence = SequenceOf(FTask);
  FStep = 0;
  UpdateButtons();
}

int TfmWizard::CurrentPage() const { return FSequence[FStep]; }

void TfmWizard::UpdateButtons() {
  const int last = static_cast<int>(FSequence.size()) - 1;
  buBack->setEnabled(FStep > 0 && FStep < last);
  buNext->setText(FStep == last - 1 ? QStringLiteral("&Finish") : QStringLiteral("&Next >"));
}

void TfmWizard::ShowStep(int Step) {
  FStep = Step;
  const int page = CurrentPage();
  nbPages->setCurrentIndex(page);
  setProperty("HelpContext", kPageHelp[page].Context);
  FHelpTopic = kPageHelp[page].Topic;
  if (page == wpCreateStart) laCurrentDir->setText(QDir::currentPath());
  if (page == wpSelectFolder) {
    std::string folder;
    const std::string archive = Unquoted(rxfedExtract->text().toStdString());
    if (Options.ExtractLast) {
      ShowExceptions([&] { folder = ReadSettingString("Folders", "ExtractLastPath"); });
    } else if (Options.ExtractSame) {
      // Never a temporary folder of the program's, which goes at its end.
      std::error_code ec;
      folder = LastingFolderOf(archive, fs::is_directory(Options.ExtractFolder, ec) ? Options.ExtractFolder
                                                                                     : GetSpecialFolderPath(sfProfile));
    } else {
      std::error_code ec;
      if (fs::is_directory(Options.ExtractFolder, ec)) folder = Options.ExtractFolder;
    }
    if (InTempFolder(folder)) folder.clear();
    edTargetFolder->setText(Q(folder));
  }
  UpdateButtons();
}

void TfmWizard::buBackClick() {
  if (FStep > 0) ShowStep(FStep - 1);
}

void TfmWizard::buHelpClick() { ShowHelpKeyword(FHelpTopic); }

void TfmWizard::AddFiles(const std::vector<std::string>& Names) { AddUniqueRows(lbFiles, Names); }

std::vector<std::string> TfmWizard::Files() const { return ListRows(lbFiles); }

void TfmWizard::buAddFilesClick() { AddFiles(ChooseFilesToAdd(this)); }

void TfmWizard::buAddFoldersClick() {
  std::string folder;
  if (UI().SelectDirectory("Add Folders", folder) && !folder.empty()) AddFiles({FolderEntry(folder)});
}

void TfmWizard::buRemoveClick() { RemoveSelectedRows(lbFiles); }

void TfmWizard::buBrowseFolderClick() {
  std::string folder = edTargetFolder->text().toStdString();
  if (UI().SelectDirectory("Browse Folder", folder)) edTargetFolder->setText(Q(AppendSlash(folder)));
}

std::string TfmWizard::CreatePath(const std::string& Name) const {
  return Name.find('/') == std::string::npos ? AppendSlash(laCurrentDir->text().toStdString()) + Name : Name;
}

bool TfmWizard::IsNoFile(const std::string& Path) {
  struct stat st;
  return lstat(Path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
}

// The entry of the first page of a task.
bool TfmWizard::CheckEntry() {
  if (FTask == 1) {
    const std::string name = Unquoted(rxfedCreate->text().toStdString());
    if (name.empty()) {
      MessageDlg(msgtext::kWizardNoName, mtWarning, mbOK);
      return false;
    }
    if (IsNoFile(CreatePath(name))) {
      MessageDlg(msgtext::kWizardNotAFile, mtWarning, mbOK);
      return false;
    }
    return !IsFile(CreatePath(name)) || MessageDlg(msgtext::kWizardOverwrite, mtWarning, mbYesNo) == mrYes;
  }
  const std::string name = Unquoted((FTask == 2 ? rxfedUpdate : rxfedExtract)->text().toStdString());
  if (name.empty()) {
    MessageDlg(msgtext::kWizardNoArchive, mtWarning, mbOK);
    return false;
  }
  if (!IsFile(name)) {
    MessageDlg(msgtext::kWizardInvalidFile, mtWarning, mbOK);
    return false;
  }
  return true;
}

void TfmWizard::Finish() {
  if (FTask == 3) {
    const std::string target = edTargetFolder->text().toStdString();
    if (target.empty()) {
      MessageDlg(msgtext::kWizardNoTarget, mtWarning, mbOK);
      return;
    }
    setEnabled(false);
    if (Extract) {
      brevane::TExtractOptions extraction;
      extraction.Archive = Unquoted(rxfedExtract->text().toStdString());
      extraction.Destination = target;
      extraction.UseStoredDirs = ckExStoredFolders->isChecked();
      extraction.RestoreFileAttr = true;
      extraction.FileDate = true;
      extraction.ConfirmOverwrites = !ckExOverwrite->isChecked();
      extraction.CreateStoredDirs = true;
      extraction.ShowResult = true;
      Extract(extraction);
    }
    setEnabled(true);
    if (ckExDisplayIcons->isChecked() && OpenFolder) OpenFolder(target);
    ShowStep(FStep + 1);
    return;
  }
  if (lbFiles->count() == 0) {
    MessageDlg(msgtext::kWizardNoFiles, mtWarning, mbOK);
    return;
  }
  std::string archive;
  if (FTask == 1) {
    archive = Unquoted(rxfedCreate->text().toStdString());
    // A bare name goes into the folder the page showed.
    if (archive.find('/') == std::string::npos) {
      archive = CreatePath(archive);
      rxfedCreate->setText(Q(archive));
    }
    // A folder (or anything else that is no file) is never an archive's
    // name: it is not replaced, whatever was answered before.
    if (IsNoFile(archive)) {
      MessageDlg(msgtext::kWizardNotAFile, mtWarning, mbOK);
      return;
    }
  } else {
    archive = Unquoted(rxfedUpdate->text().toStdString());
  }
  // The user agreed on the name's page to replace an existing file; it
  // waits in the Trash and stays there once the new archive is in place.
  TSetAside replaced;
  if (FTask == 1 && !replaced.Take(archive)) {
    ShowError(msgtext::kUnableToOverwrite);
    return;
  }
  setEnabled(false);
  brevane::TAddOptions adding;
  adding.Archive = archive;
  adding.Files = Files();
  adding.ShowResult = true;
  const int count = Add ? Add(adding) : 0;
  setEnabled(true);
  if (count > 0 && IsFile(archive))
    replaced.Discard();
  else
    replaced.Restore();
  ShowStep(FStep + 1);
}

void TfmWizard::buNextClick() {
  const int last = static_cast<int>(FSequence.size()) - 1;
  if (FStep == last) {
    Reset();
    return;
  }
  if (FStep == last - 1) {
    Finish();
    return;
  }
  if (FStep == 1 && !CheckEntry()) return;
  ShowStep(FStep + 1);
}

}  // namespace brevane
