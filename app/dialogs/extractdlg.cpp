#include "app/dialogs/extractdlg.h"

#include <QFileSystemModel>
#include <filesystem>

#include "app/components/regcontrols.h"
#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/main/userinterface.h"
#include "ui_extractdlg.h"

namespace brevane {

namespace {

constexpr int kDestinationChars = 28;
constexpr int kTreeMinWidth = 220;
constexpr int kTreeMinHeight = 240;

}  // namespace

std::string ExtractDestination(const std::string& Typed, const std::string& CurrentDir) {
  if (Typed.empty() || Typed[0] == '/') return Typed;
  if (CurrentDir.empty() || CurrentDir.back() == '/') return CurrentDir + Typed;
  return CurrentDir + "/" + Typed;
}

TfmExtractDlg::TfmExtractDlg(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmExtractDlg>()) {
  ui->setupUi(this);
  dfstvExplorer = ui->dfstvExplorer;
  cbDestination = ui->cbDestination;
  rgFiles = ui->rgFiles;
  rbSelectedFiles = ui->rbSelectedFiles;
  rbAllFiles = ui->rbAllFiles;
  ckRestoreFolders = ui->ckRestoreFolders;
  ckConfirmOverwrites = ui->ckConfirmOverwrites;
  ckRestoreAttributes = ui->ckRestoreAttributes;
  ckCreateDirectories = ui->ckCreateDirectories;
  ckDateAttribute = ui->ckDateAttribute;
  bbExtract = ui->bbExtract;
  bbCancel = ui->bbCancel;
  bbHelp = ui->bbHelp;

  // A long destination neither widens the dialog nor squeezes the tree:
  // the box keeps its width and scrolls its text (the whole path in its
  // tip), the tree keeps a usable size.
  cbDestination->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbDestination->setMinimumContentsLength(kDestinationChars);
  dfstvExplorer->setMinimumSize(kTreeMinWidth, kTreeMinHeight);
  connect(cbDestination, &QComboBox::editTextChanged, this,
          [this](const QString& Text) { cbDestination->setToolTip(Text); });

  FFolders = new QFileSystemModel(this);
  FFolders->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  FFolders->setRootPath(QStringLiteral("/"));
  dfstvExplorer->setModel(FFolders);
  for (int column = 1; column < FFolders->columnCount(); ++column) dfstvExplorer->hideColumn(column);

  // The destination's history: the program's history box, saved when it
  // loses the focus and when a destination is accepted.
  cbDestination->SetRegKey(dlgtext::kMRUExtractKey);
  cbDestination->RegMaxCount = dlgtext::kMRUExtractMax;
  cbDestination->RegSaveOnExit = true;
  cbDestination->Loaded();
  cbDestination->setCurrentIndex(-1);

  connect(dfstvExplorer->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { dfstvExplorerChange(); });
  connect(FFolders, &QFileSystemModel::directoryLoaded, this, [this] { RevealCurrentFolder(); });
  connect(bbExtract, &QPushButton::clicked, this, &TfmExtractDlg::bbExtractClick);
  connect(bbCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(bbHelp, &QPushButton::clicked, this, &TfmExtractDlg::bbHelpClick);
}

TfmExtractDlg::~TfmExtractDlg() = default;

int TfmExtractDlg::FilesIndex() const { return rbSelectedFiles->isChecked() ? 0 : 1; }

void TfmExtractDlg::SetFilesIndex(int Index) { (Index == 0 ? rbSelectedFiles : rbAllFiles)->setChecked(true); }

std::string TfmExtractDlg::Destination() const { return cbDestination->currentText().toStdString(); }

brevane::TExtractOptions TfmExtractDlg::Choices() const {
  brevane::TExtractOptions choices;
  choices.Destination = Destination();
  choices.UseStoredDirs = ckRestoreFolders->isChecked();
  choices.RestoreFileAttr = ckRestoreAttributes->isChecked();
  choices.FileDate = ckDateAttribute->isChecked();
  choices.ConfirmOverwrites = ckConfirmOverwrites->isChecked();
  choices.CreateStoredDirs = ckCreateDirectories->isChecked();
  return choices;
}

void TfmExtractDlg::SetDestination(const std::string& Folder) {
  std::error_code ec;
  const std::string folder = ExtractDestination(Folder, std::filesystem::current_path(ec).string());
  // The tree shows the destination (or the nearest folder of it that
  // exists), so that nothing the tree does on its own (taking its first
  // folder as current when it gets the focus) can put another in its place.
  if (!folder.empty()) {
    std::filesystem::path shown = std::filesystem::path(folder).lexically_normal();
    while (shown.has_relative_path() && !std::filesystem::is_directory(shown, ec)) shown = shown.parent_path();
    ShowFolderInTree(shown.string());
  }
  cbDestination->setEditText(QString::fromStdString(folder));
}

void TfmExtractDlg::ShowFolderInTree(const std::string& Folder) {
  const QModelIndex at = FFolders->index(QString::fromStdString(Folder));
  if (!at.isValid()) return;
  dfstvExplorer->setCurrentIndex(at);
  RevealCurrentFolder();
}

void TfmExtractDlg::RevealCurrentFolder() {
  const QModelIndex at = dfstvExplorer->currentIndex();
  if (!at.isValid()) return;
  for (QModelIndex p = at.parent(); p.isValid(); p = p.parent()) dfstvExplorer->expand(p);
  dfstvExplorer->scrollTo(at, QAbstractItemView::PositionAtCenter);
}

void TfmExtractDlg::dfstvExplorerChange() {
  const QModelIndex current = dfstvExplorer->currentIndex();
  if (!current.isValid()) return;
  cbDestination->setEditText(FFolders->filePath(current));
}

void TfmExtractDlg::bbExtractClick() {
  const std::string typed = Destination();
  if (typed.empty()) {
    MessageDlg(dlgtext::kNoExtractDirectory, mtError, mbOK);
    return;
  }
  std::error_code ec;
  const std::string destination = ExtractDestination(typed, std::filesystem::current_path(ec).string());
  SetDestination(destination);
  cbDestination->AddToHistory();
  done(mrOk);
}

void TfmExtractDlg::bbHelpClick() { ShowHelpKeyword(dlgtext::kHlpExtractDialog); }

}  // namespace brevane
