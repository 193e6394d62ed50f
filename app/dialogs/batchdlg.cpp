#include "app/dialogs/batchdlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/components/opendialog.h"
#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/listrows.h"
#include "app/main/messages.h"
#include "app/main/userinterface.h"
#include "ui_batchdlg.h"

namespace brevane {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct TOperationInfo {
  const char* Caption;
  const char* FileTitle;
  int HelpContext;
  const char* Filter;
  std::vector<int> Sequence;
  const char* Help;
};

constexpr const char* kFilterA =
    "Supported Archive Files|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;*.tar;*.tgz;*.uu;*.uue;*.xxe;"
    "*.z;*.zip;*.zoo|";
constexpr const char* kFilterB = "Supported Archive Files|*.ace;*.arj;*.bh;*.jar;*.lha;*.lzh;*.rar;*.zip|";
constexpr const char* kFilterC = "Supported Archive Files|*.bh;*.jar;*.lha;*.lzh;*.tar;*.zip|";
constexpr const char* kFilterD = "All Files (*.*)|*.*";

const TOperationInfo& InfoOf(int Operation) {
  static const TOperationInfo kInfo[] = {
      {"Batch Test Archive", "Select Archive Files to Test", 690, kFilterA, {0, 1, 2}, "Hlp_Batch_Test"},
      {"Batch Virus Scan", "Select Archive Files to Scan", 700, kFilterA, {0, 1, 2}, "Hlp_Batch_Virus"},
      {"Batch Make .EXE File", "Select Archive Files to Make into .EXE", 680, kFilterB, {0, 3, 1, 2}, "Hlp_Batch_Make"},
      {"Batch Convert Archive Format",
       "Select Archive Files to Convert",
       660,
       kFilterA,
       {0, 3, 4, 1, 2},
       "Hlp_Batch_Convert"},
      {"Batch Extract Archive", "Select Archive Files to Extract", 670, kFilterA, {0, 3, 1, 2}, "Hlp_Batch_Extract"},
      {"Batch Create Archive", "Select Files to Archive", 650, kFilterD, {0, 3, 4, 1, 2}, "Hlp_Batch_Create"},
      {"Batch Add to Archive", "Select Target Archive Files to Add To", 640, kFilterC, {0, 5, 1, 2}, "Hlp_Batch_Add"},
  };
  return kInfo[std::clamp(Operation, 1, 7) - 1];
}

}  // namespace

namespace {

TProgressThrottle::TSinks BatchPaintSinks(TfmBatch& Batch) {
  TProgressThrottle::TSinks sinks;
  sinks.Progress = [&Batch](int ByFile, int) {
    Batch.pbCurrent->setValue(ByFile);
    Batch.laCurrentPercent->setText(QString::number(ByFile) + QLatin1Char('%'));
  };
  sinks.Pump = [] { QCoreApplication::processEvents(); };
  return sinks;
}

}  // namespace

TfmBatch::TfmBatch(QWidget* Parent)
    : QDialog(Parent),
      ui(std::make_unique<Ui::TfmBatch>()),
      FPaint(BatchPaintSinks(*this)) {
  ui->setupUi(this);
  laTitle = ui->laTitle;
  nbMain = ui->nbMain;
  lbSelectedFiles = ui->lbSelectedFiles;
  buAdd = ui->buAdd;
  buRemove = ui->buRemove;
  laCurrentFile = ui->laCurrentFile;
  pbCurrent = ui->pbCurrent;
  laCurrentPercent = ui->laCurrentPercent;
  pbTotal = ui->pbTotal;
  laTotalPercent = ui->laTotalPercent;
  lbProgressCompleted = ui->lbProgressCompleted;
  meResults = ui->meResults;
  buCopyResults = ui->buCopyResults;
  buSaveResults = ui->buSaveResults;
  rbOutputSame = ui->rbOutputSame;
  rbOutputFolder = ui->rbOutputFolder;
  rxdeOutputFolder = ui->rxdeOutputFolder;
  buOutputBrowse = ui->buOutputBrowse;
  rbBh = ui->rbBh;
  rbCab = ui->rbCab;
  rbGz = ui->rbGz;
  rbJar = ui->rbJar;
  rbLha = ui->rbLha;
  rbLzh = ui->rbLzh;
  rbTar = ui->rbTar;
  rbZip = ui->rbZip;
  ckDeleteSource = ui->ckDeleteSource;
  ckAutoOverwrite = ui->ckAutoOverwrite;
  lbAddFiles = ui->lbAddFiles;
  buAddFilesAdd = ui->buAddFilesAdd;
  buAddFilesRemove = ui->buAddFilesRemove;
  cbAddCompression = ui->cbAddCompression;
  ckAddSaveFullPath = ui->ckAddSaveFullPath;
  ckAddAutoOverwrite = ui->ckAddAutoOverwrite;
  buNext = ui->buNext;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;

  connect(buNext, &QPushButton::clicked, this, &TfmBatch::buNextClick);
  connect(buCancel, &QPushButton::clicked, this, &TfmBatch::buCancelClick);
  connect(buHelp, &QPushButton::clicked, this, &TfmBatch::buHelpClick);
  connect(buAdd, &QPushButton::clicked, this, &TfmBatch::buAddClick);
  connect(buAddFilesAdd, &QPushButton::clicked, this, &TfmBatch::buAddClick);
  connect(buRemove, &QPushButton::clicked, this, &TfmBatch::buRemoveClick);
  connect(buAddFilesRemove, &QPushButton::clicked, this, &TfmBatch::buRemoveClick);
  connect(buCopyResults, &QPushButton::clicked, this, &TfmBatch::buCopyResultsClick);
  connect(buSaveResults, &QPushButton::clicked, this, &TfmBatch::buSaveResultsClick);
  connect(rbOutputFolder, &QRadioButton::toggled, this, &TfmBatch::rbOutputFolderClick);
  connect(buOutputBrowse, &QToolButton::clicked, this, [this] {
    std::string folder = rxdeOutputFolder->text().toStdString();
    if (UI().SelectDirectory(rbOutputFolder->text().toStdString(), folder)) {
      rbOutputFolder->setChecked(true);
      rxdeOutputFolder->setText(Q(folder));
    }
  });
  for (QListWidget* list : {lbSelectedFiles, lbAddFiles})
    connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& Pos) {
      QMenu menu(this);
      menu.addAction(QStringLiteral("Select &All"), this, &TfmBatch::miSelectAllClick);
      menu.addAction(QStringLiteral("&Deselect All"), this, &TfmBatch::miDeselectAllClick);
      menu.addAction(QStringLiteral("&Invert Selection"), this, &TfmBatch::miInvertSelectionClick);
      menu.exec(list->viewport()->mapToGlobal(Pos));
    });
}

TfmBatch::~TfmBatch() = default;

void TfmBatch::SetUp(int Operation) {
  FOperation = std::clamp(Operation, 1, 7);
  const TOperationInfo& info = InfoOf(FOperation);
  setWindowTitle(QString::fromUtf8(info.Caption));
  setProperty("HelpContext", info.HelpContext);
  FHelpKeyword = info.Help;
  FSequence = info.Sequence;
  FStep = 0;
  FCancelRequest = false;
  const bool perFile = FOperation != boMakeSFX;
  laCurrentPercent->setVisible(perFile);
  pbCurrent->setVisible(perFile);
  if (FOperation == boCreate) {
    rbGz->setVisible(false);
    rbGz->setEnabled(false);
  }
  ShowPage(FSequence.front());
}

int TfmBatch::CurrentPage() const { return FSequence.empty() ? bpSelectFiles : FSequence[FStep]; }

void TfmBatch::ShowPage(int Page) {
  nbMain->setCurrentIndex(Page);
  const TOperationInfo& info = InfoOf(FOperation);
  switch (Page) {
    case bpSelectFiles: laTitle->setText(QString::fromUtf8(info.FileTitle)); break;
    case bpSelectOutputDir: laTitle->setText(QStringLiteral("Select Output Folder")); break;
    case bpSelectArcFmt:
      laTitle->setText(FOperation == boCreate ? QStringLiteral("Batch Create Options")
                                              : QStringLiteral("Batch Convert Options"));
      break;
    case bpAddOptions: laTitle->setText(QStringLiteral("Select Files to Add")); break;
    case bpProgress: laTitle->setText(QStringLiteral("Progress")); break;
    case bpResult: laTitle->setText(QStringLiteral("Results")); break;
    default: break;
  }
}

void TfmBatch::AddSelectedFiles(const std::vector<std::string>& Files) { AddUniqueRows(lbSelectedFiles, Files); }
void TfmBatch::AddAddFiles(const std::vector<std::string>& Files) { AddUniqueRows(lbAddFiles, Files); }
std::vector<std::string> TfmBatch::SelectedFiles() const { return ListRows(lbSelectedFiles); }
std::vector<std::string> TfmBatch::AddFiles() const { return ListRows(lbAddFiles); }

std::string TfmBatch::OutputFolder() const {
  if (!rbOutputFolder->isChecked()) return {};
  std::string folder = rxdeOutputFolder->text().toStdString();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

int TfmBatch::FormatIndex() const {
  const QRadioButton* buttons[] = {rbBh, rbCab, rbGz, rbJar, rbLha, rbLzh, rbTar, rbZip};
  for (int i = 0; i < 8; ++i)
    if (buttons[i]->isChecked() && buttons[i]->isEnabled()) return i;
  return 7;
}

void TfmBatch::SetCurrentProgress(int Percent) {
  FPaint.Progress(Percent, Percent);
  FPaint.Pump();
}

std::string TfmBatch::FileFilter() const {
  // Once the targets are chosen, the add list takes any file.
  if (FOperation == boAdd && CurrentPage() == bpAddOptions) return kFilterD;
  return InfoOf(FOperation).Filter;
}

void TfmBatch::buAddClick() {
  AddUniqueRows(ActiveList(), ChooseFilesToAdd(this, FileFilter()));
}

void TfmBatch::buRemoveClick() { RemoveSelectedRows(ActiveList()); }

QListWidget* TfmBatch::ActiveList() const { return CurrentPage() == bpSelectFiles ? lbSelectedFiles : lbAddFiles; }

void TfmBatch::miSelectAllClick() { ActiveList()->selectAll(); }
void TfmBatch::miDeselectAllClick() { ActiveList()->clearSelection(); }
void TfmBatch::miInvertSelectionClick() {
  QListWidget* list = ActiveList();
  for (int i = 0; i < list->count(); ++i) list->item(i)->setSelected(!list->item(i)->isSelected());
}

void TfmBatch::rbOutputFolderClick() {
  rxdeOutputFolder->setEnabled(rbOutputFolder->isChecked());
  if (rbOutputFolder->isChecked()) rxdeOutputFolder->setFocus();
}

void TfmBatch::buNextClick() {
  const int page = CurrentPage();
  if (page == bpSelectFiles && lbSelectedFiles->count() == 0) {
    MessageDlg(msgtext::kBatchNoFiles, mtInformation, mbOK);
    return;
  }
  if (page == bpSelectOutputDir && rbOutputFolder->isChecked()) {
    const std::string folder = OutputFolder();
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
      if (folder.empty() || !std::filesystem::create_directories(folder, ec)) ShowError(msgtext::kBatchFolderFailed);
      // Made or not, the page stays: the next click goes on.
      return;
    }
  }
  if (page == bpAddOptions && lbAddFiles->count() == 0) {
    MessageDlg(msgtext::kBatchNoAddFiles, mtInformation, mbOK);
    return;
  }
  // The sequence ends with the progress and the results pages: the run
  // starts from the page before the progress page.
  const int progress = static_cast<int>(FSequence.size()) - 2;
  if (FStep + 1 >= progress) {
    Run();
    return;
  }
  ++FStep;
  ShowPage(FSequence[FStep]);
}

void TfmBatch::Run() {
  buNext->hide();
  FStep = static_cast<int>(FSequence.size()) - 2;
  ShowPage(bpProgress);
  FRunning = true;
  FPaint.Begin();
  const std::vector<std::string> files = SelectedFiles();
  const int count = static_cast<int>(files.size());
  for (int i = 0; i < count; ++i) {
    if (FCancelRequest) break;
    laCurrentFile->setText(Q(files[i]));
    const int total = static_cast<int>(std::lround(i * 100.0 / count));
    pbTotal->setValue(total);
    laTotalPercent->setText(QString::number(total) + QLatin1Char('%'));
    SetCurrentProgress(0);
    const TBatchLines lines = OnRunFile ? OnRunFile(files[i]) : TBatchLines{};
    if (!lines.Skipped) {
      meResults->appendPlainText(Q(lines.Log));
      lbProgressCompleted->addItem(Q(lines.Progress));
    }
    QCoreApplication::processEvents();
  }
  FPaint.End();
  FRunning = false;
  pbTotal->setValue(100);
  laTotalPercent->setText(QStringLiteral("100%"));
  meResults->appendPlainText(QString());
  meResults->appendPlainText(QString());
  meResults->appendPlainText(QString::fromUtf8(msgtext::kBatchCompleted) +
                             QDateTime::currentDateTime().toString(QStringLiteral("MM-dd-yyyy hh:mm:ss")));
  meResults->appendPlainText(QStringLiteral("Brevane - ") + Q(WebAddress));
  FStep = static_cast<int>(FSequence.size()) - 1;
  ShowPage(bpResult);
  buCancel->setText(QStringLiteral("&Close"));
  buCancel->setEnabled(true);
}

void TfmBatch::buCancelClick() {
  const int page = CurrentPage();
  if (FRunning) {
    FCancelRequest = true;
    buCancel->setEnabled(false);
    buCancel->setText(QString::fromUtf8("Wait ..."));
    return;
  }
  if (page != bpResult && !(page == bpSelectFiles && lbSelectedFiles->count() == 0) &&
      MessageDlg(msgtext::kBatchConfirmCancel, mtConfirmation, mbYesNo) == mrNo)
    return;
  done(page == bpResult ? mrOk : mrCancel);
}

// Escape and the window's close button are the Cancel button.
void TfmBatch::reject() { buCancelClick(); }

void TfmBatch::buHelpClick() { ShowHelpKeyword(FHelpKeyword); }

void TfmBatch::buCopyResultsClick() {
  meResults->selectAll();
  meResults->copy();
}

void TfmBatch::buSaveResultsClick() {
  QFileDialog d(this);
  RouteDeletesToTrash(d);
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setFileMode(QFileDialog::AnyFile);
  d.setNameFilter(QStringLiteral("Text Files (*.txt);;All Files (*)"));
  d.setDefaultSuffix(QStringLiteral("txt"));
  if (UI().ShowModal(d) != mrOk || d.selectedFiles().isEmpty()) return;
  const std::string name = d.selectedFiles().front().toStdString();
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << meResults->toPlainText().toStdString() << '\n';
  out.close();
  if (!out) {
    ShowError(std::string(msgtext::kBatchSaveFailed) + name);
    return;
  }
  ShowInformation(msgtext::kBatchResultsSaved + name);
}

}  // namespace brevane
