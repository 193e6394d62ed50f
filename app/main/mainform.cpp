#include "app/main/mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>

#include "app/components/apopendlg.h"
#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/archivemodel.h"
#include "app/main/folders.h"
#include "app/main/formatsettings.h"
#include "app/main/messages.h"
#include "app/main/setaside.h"
#include "app/main/program.h"
#include "app/main/settings.h"
#include "app/main/shortcuts.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "archive/core/compbase.h"
#include "archive/core/unbase.h"
#include "platform/dynlib.h"
#include "platform/registry.h"

namespace brevane {

TfmMain* fmMain = nullptr;
vsk::TUnBase* CurrentReader = nullptr;
vsk::TCompBase* CurrentWriter = nullptr;

std::string TitleText() { return "Brevane"; }

namespace {

constexpr const char* kFormKey = "\\Software\\Brevane\\Form";
constexpr const char* kListLayoutKey = "\\Software\\Brevane\\ArchiveView\\Columns";
constexpr int kStatusPanelWidths[] = {110, 120, 80, 130, 150};

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const char* s) { return QString::fromUtf8(s); }

QColor FromTColor(int Color) { return QColor(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF); }

// A status-bar text that never widens the window: it asks for no more than
// its minimum width and is cut with an ellipsis to the width it is given.
// text() keeps the whole text.
class TStatusText : public QLabel {
 public:
  using QLabel::QLabel;

  QSize minimumSizeHint() const override { return {minimumWidth(), QLabel::minimumSizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    drawFrame(&p);
    const QRect r = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&p, r, static_cast<int>(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideRight, r.width()), foregroundRole());
  }
};

// The list view's row styles: full-row or first-cell selection, grid lines
// and the underlined hot or cold rows of one-click activation.
class TArchiveItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  TLVExtendedStyles Styles;

  void paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QStyleOptionViewItem o(Option);
    if (!Styles.Contains(lvxFullRowSelect) && Index.column() > 0)
      o.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    const bool hot = (o.state & QStyle::State_MouseOver) != 0;
    if ((hot && Styles.Contains(lvxUnderlineHot)) || (!hot && Styles.Contains(lvxUnderlineCold))) {
      o.font.setUnderline(true);
    }
    QStyledItemDelegate::paint(P, o, Index);
    if (Styles.Contains(lvxGridLines)) {
      P->save();
      P->setPen(Option.palette.color(QPalette::Mid));
      P->drawLine(Option.rect.bottomLeft(), Option.rect.bottomRight());
      P->drawLine(Option.rect.topRight(), Option.rect.bottomRight());
      P->restore();
    }
  }
};

// Replaces the connected region of one colour around a pixel.
void FloodFill(QImage& Image, int X, int Y, QRgb Color) {
  if (!Image.rect().contains(X, Y)) return;
  const QRgb target = Image.pixel(X, Y);
  if (target == Color) return;
  std::vector<QPoint> stack{{X, Y}};
  while (!stack.empty()) {
    const QPoint p = stack.back();
    stack.pop_back();
    if (!Image.rect().contains(p) || Image.pixel(p) != target) continue;
    Image.setPixel(p, Color);
    stack.push_back({p.x() + 1, p.y()});
    stack.push_back({p.x() - 1, p.y()});
    stack.push_back({p.x(), p.y() + 1});
    stack.push_back({p.x(), p.y() - 1});
  }
}

QImage MakeLedImage() {
  QImage img(13, 13, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QColor(64, 64, 64));
  p.setBrush(Qt::white);
  p.drawEllipse(0, 0, 12, 12);
  return img;
}

}  // namespace

TfmMain::TfmMain(QWidget* Parent) : QMainWindow(Parent) {
  setupUi(this);
  TSetAside::OnRestoreFailed = [](const std::string& Path, const std::string& Trashed) {
    ShowError(msgtext::kRestoreFailed + Path + msgtext::kRestoreFailedMiddle + Trashed + msgtext::kRestoreFailedEnd);
  };
  FModel = new TArchiveViewModel(this);
  FModel->IconOf = [this](int Index, bool Encrypted) { return FFileTypes.Icon(Index, Encrypted); };
  dfelvArchiveView->setModel(FModel);
  dfelvArchiveView->setItemDelegate(new TArchiveItemDelegate(dfelvArchiveView));
  dfelvArchiveView->header()->setSortIndicatorShown(true);
  dfelvArchiveView->header()->setSectionsClickable(true);
  dfelvArchiveView->header()->setStretchLastSection(false);
  rcbFilter->SetRegKey("\\Software\\Brevane\\Filters");
  rcbFilter->RegMaxCount = 10;
  rcbFilter->RegSaveOnExit = true;
  rcbFilter->Loaded();
  dfmruMainList.Load();
  FImgLed = MakeLedImage();
  BuildMenus();
  BuildStatusBar();
  SetIcons();
  ConnectHandlers();
  FormCreate();
}

TfmMain::~TfmMain() { FormDestroy(); }

void TfmMain::FormCreate() {
  FTempFolders.clear();
  FInteractive = ShowMainForm();
  // Archives mailed by an earlier run have long been read by now.
  SweepMailSpool();
  // The favourites menu measures its entries' texts on a bitmap made here,
  // and the check-out state starts empty here.
  FSavedDateSeparator = FormatSettings.DateSeparator;
  FormatSettings.DateSeparator = '-';
  // The list view's icons come from FFileTypes, the desktop's file types.
  // A registry that cannot be written is told about; the program runs on
  // with the defaults.
  // The uninstaller's clean-up ("-SYS") runs no first-run step: what it
  // registered or created would outlive the program it points at.
  const bool cleanUp = CleanUpRun();
  // A settings file holding no settings at all is moved aside (here or by
  // a write before): the program ran before, so only the defaults come
  // back, not the first-run steps.
  vsk::SetAsideDamagedHive(vsk::HKEY_CURRENT_USER);
  const bool settingsFound = SettingsExist();
  std::vector<std::string> damaged;
  const std::string hive = vsk::HiveFileName(vsk::HKEY_CURRENT_USER) + ".";
  for (std::string& file : vsk::TakeDamagedHives())
    if (file.starts_with(hive)) damaged.push_back(std::move(file));
  const bool firstRun = !settingsFound && damaged.empty();
  if (firstRun && !cleanUp) {
    ShowExceptions(WriteDefaultSettings);
    ShowExceptions([] { RegisterShellExtensions(); });
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    CreateShortcut(GetSpecialFolderPath(sfStartMenu), "Brevane", program);
    CreateShortcut(GetSpecialFolderPath(sfDesktopDirectory), "Brevane", program);
  } else if (!settingsFound && !cleanUp) {
    ShowExceptions(WriteDefaultSettings);
    // The association question was answered at the first run.
    ShowExceptions([] { WriteSettingBool("FileAssociations", "CheckAssociations", false); });
    for (const std::string& file : damaged) MessageDlg(msgtext::kSettingsDamaged + file, mtWarning, mbOK);
  }
  RefreshFavourites();
  // Loading would bring the settings' sections into being, and the next
  // start would take them for a finished first run: the clean-up on a
  // profile without settings runs on the defaults.
  if (settingsFound || !cleanUp) ShowExceptions(LoadSettings);
  ApplyRegSettings();
  // The self-extractor builder takes the program's "Data" folder for its
  // stubs (the temporary folder, where it has none); the help commands
  // would take the program's help file here.
  vskMakeSFX.SetSfxStubDir(vsk::ProgramDataDir());
  CheckFileAssociations();
  if (FInteractive) {
    BuildExplorer();
    GenerateToolbar();
    setWindowTitle(Q(TitleText()));
    GenerateColumns();
    GenerateSortMenu();
    GenerateBackupMenu();
    LoadFormState();
    if (vsk::TRegistry(vsk::HKEY_CURRENT_USER).KeyExists(kListLayoutKey)) LoadListLayout();
    if (Options.ClearMRU) dfmruMainList.RemoveObsolete();
    RebuildMruMenu();
    SetLedColor(kLedIdle);
    // With StartupWizard the window is hidden here until the wizard shows it.
  }
  EnableMenus();
  ResetTotals();
}

void TfmMain::FormDestroy() {
  SetHelpHandler(nullptr);
  FFileTypes.Clear();
  for (const auto& folder : FTempFolders) DeleteFolderTree(folder);
  FTempFolders.clear();
  if (fmMain == this) fmMain = nullptr;
  // The current components are this window's own.
  CurrentReader = nullptr;
  CurrentWriter = nullptr;
}

void TfmMain::FormShow() {
  raise();
  activateWindow();
  if (ParamCount() == 1 && IsFile(ParamStr(1))) {
    DisplayArchive(ParamStr(1));
    if (Options.CommentsOpen) DisplayCommentIfExist();
  } else if (ParamCount() < 2) {
    if (Options.StartupOpen) acOpenArchiveExecute();
    if (Options.StartupWizard) acWizardExecute();
  }
  acExplorerView->setText(Q(FSplitterMaximized ? msgtext::kShowExplorer : msgtext::kHideExplorer));
  acExplorerView->setChecked(!FSplitterMaximized);
}

void TfmMain::FormActivate() {
  if (fmProgress && fmProgress->isVisible()) fmProgress->raise();
}

bool TfmMain::FormClose() { return ExitCheckoutCheck(); }

void TfmMain::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (FShown || Event->spontaneous()) return;
  FShown = true;
  FormShow();
}

void TfmMain::closeEvent(QCloseEvent* Event) {
  if (!FormClose()) {
    Event->ignore();
    return;
  }
  if (FSaveFormState && FInteractive) SaveFormState();
  if (FSaveListLayout && FInteractive) SaveListLayout();
  Event->accept();
  FClosed = true;
  if (fmProgress) fmProgress->hide();
  QCoreApplication::quit();
}

void TfmMain::changeEvent(QEvent* Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

bool TfmMain::event(QEvent* Event) {
  if (Event->type() == QEvent::StatusTip) {
    if (FInteractive && !FSimplePanel && FPanels[5]) FPanels[5]->setText(static_cast<QStatusTipEvent*>(Event)->tip());
    return true;
  }
  return QMainWindow::event(Event);
}

bool TfmMain::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == pbxLed && Event->type() == QEvent::Paint) {
    pbxLedPaint();
    return true;
  }
  if (Watched == dfelvArchiveView->viewport()) {
    if (Event->type() == QEvent::MouseButtonRelease) {
      if (FDragArmed) {
        // A click on a selected row that did not become a drag selects that row alone.
        const QModelIndex under = dfelvArchiveView->indexAt(static_cast<QMouseEvent*>(Event)->position().toPoint());
        if (under.isValid()) {
          dfelvArchiveView->selectionModel()->setCurrentIndex(
              under, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
      }
      FDragArmed = false;
      dfelvArchiveViewClick();
      return false;
    }
    if (Event->type() == QEvent::MouseButtonPress) {
      auto* e = static_cast<QMouseEvent*>(Event);
      const QModelIndex under = dfelvArchiveView->indexAt(e->position().toPoint());
      // A press on a selected row may start dragging the selection out.
      FDragArmed = e->button() == Qt::LeftButton && under.isValid() &&
                   dfelvArchiveView->selectionModel()->isRowSelected(under.row(), QModelIndex()) &&
                   !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
      FDragStart = e->position().toPoint();
      if (FDragArmed) return true;  // keep the selection as it is
      return false;
    }
    if (Event->type() == QEvent::MouseMove && FDragArmed) {
      auto* e = static_cast<QMouseEvent*>(Event);
      if (!(e->buttons() & Qt::LeftButton)) {
        FDragArmed = false;
      } else if ((e->position().toPoint() - FDragStart).manhattanLength() >= QApplication::startDragDistance()) {
        FDragArmed = false;
        dfelvArchiveViewMouseDown();
      }
      return true;
    }
  }
  if (Watched == dfelvArchiveView && Event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(Event)->key();
    if (key == Qt::Key_Insert || key == Qt::Key_Delete) {
      dfelvArchiveViewKeyDown(key);
      return true;
    }
  }
  if (Watched == rcbFilter->lineEdit() && Event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(Event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      rcbFilterKeyPress(13);
      return true;
    }
  }
  if (Event->type() == QEvent::ToolTip && !Options.ToolTips) {
    for (QObject* o = Watched; o; o = o->parent())
      if (o == tbMain) return true;
  }
  return QMainWindow::eventFilter(Watched, Event);
}

// ---- building the window

void TfmMain::BuildMenus() {
  FToolbarMenu = new QMenu(this);
  FToolbarMenu->setObjectName(QStringLiteral("pmToolbar"));
  FToolbarMenu->addAction(miShowText);
  FToolbarMenu->addAction(miShowToolTips);
  FToolbarMenu->addAction(miUseFlatButtons);
  FToolbarMenu->addSeparator();
  FToolbarMenu->addAction(miConfigureToolbar);
  FExplorerMenu = new QMenu(this);
  FExplorerMenu->setObjectName(QStringLiteral("pmExplorerFile"));
  FExplorerMenu->addAction(miExplorerOpen);
  miNoBackupsConfigured->setEnabled(false);
}

void TfmMain::BuildStatusBar() {
  QStatusBar* bar = dfstbMainStatus;
  bar->setSizeGripEnabled(true);
  FSimpleLabel = new TStatusText(bar);
  FSimpleLabel->setObjectName(QStringLiteral("laSimpleText"));
  FSimpleLabel->hide();
  bar->addWidget(FSimpleLabel, 1);
  for (int i = 0; i < 6; ++i) {
    if (i == 1) {
      FRatioGauge = new QProgressBar(bar);
      FRatioGauge->setObjectName(QStringLiteral("pgRatio"));
      FRatioGauge->setRange(0, 100);
      FRatioGauge->setTextVisible(true);
      FRatioGauge->setAlignment(Qt::AlignCenter);
      FRatioGauge->setFixedWidth(kStatusPanelWidths[1]);
      FRatioGauge->setMaximumHeight(18);
      bar->addWidget(FRatioGauge);
    }
    FPanels[i] = new TStatusText(bar);
    FPanels[i]->setObjectName(QStringLiteral("laPanel%1").arg(i));
    FPanels[i]->setFrameShape(QFrame::StyledPanel);
    FPanels[i]->setFrameShadow(QFrame::Sunken);
    if (i == 1) {
      FPanels[i]->hide();
      continue;
    }
    if (i < 5) FPanels[i]->setMinimumWidth(kStatusPanelWidths[i]);
    bar->addWidget(FPanels[i], i == 5 ? 1 : 0);
  }
  sbViewComments = new QToolButton(bar);
  sbViewComments->setObjectName(QStringLiteral("sbViewComments"));
  sbViewComments->setToolTip(QStringLiteral("Archive comment"));
  sbViewComments->setAutoRaise(true);
  sbProperties = new QToolButton(bar);
  sbProperties->setObjectName(QStringLiteral("sbProperties"));
  sbProperties->setToolTip(QStringLiteral("Archive properties"));
  sbProperties->setAutoRaise(true);
  pbxLed = new QWidget(bar);
  pbxLed->setObjectName(QStringLiteral("pbxLed"));
  pbxLed->setFixedSize(18, 18);
  pbxLed->installEventFilter(this);
  bar->addPermanentWidget(sbViewComments);
  bar->addPermanentWidget(sbProperties);
  bar->addPermanentWidget(pbxLed);
}

void TfmMain::BuildExplorer() {
  FFolderModel = new QFileSystemModel(this);
  FFolderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  FFolderModel->setRootPath(QStringLiteral("/"));
  dfstvExplorer->setModel(FFolderModel);
  for (int c = 1; c < FFolderModel->columnCount(); ++c) dfstvExplorer->hideColumn(c);
  FFileModel = new QFileSystemModel(this);
  FFileModel->setFilter(QDir::Files);
  QStringList masks;
  for (const auto& ext : vsk::ArchiveExtensions) masks << QStringLiteral("*") + QString::fromLatin1(ext).toLower();
  FFileModel->setNameFilters(masks);
  FFileModel->setNameFilterDisables(false);
  dfslvExplorer->setModel(FFileModel);
  const QString here = QDir::currentPath();
  dfslvExplorer->setRootIndex(FFileModel->setRootPath(here));
  const QModelIndex current = FFolderModel->index(here);
  dfstvExplorer->setCurrentIndex(current);
  // The folders are read in the background; the current one is shown once
  // its parent has been read.
  connect(FFolderModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& Path) {
    const QModelIndex index = dfstvExplorer->currentIndex();
    if (!index.isValid()) return;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) dfstvExplorer->expand(p);
    if (FFolderModel->filePath(index.parent()) == Path)
      QTimer::singleShot(0, dfstvExplorer, [this] {
        dfstvExplorer->scrollTo(dfstvExplorer->currentIndex(), QAbstractItemView::PositionAtCenter);
      });
  });
  connect(dfstvExplorer->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Index) {
            dfslvExplorer->setRootIndex(FFileModel->setRootPath(FFolderModel->filePath(Index)));
          });
  connect(dfslvExplorer, &QListView::doubleClicked, this, [this] { dfslvExplorerDblClick(); });
  connect(dfslvExplorer, &QWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
    pmExplorerFilePopup();
    FExplorerMenu->popup(dfslvExplorer->viewport()->mapToGlobal(Pos));
  });
  connect(miExplorerOpen, &QAction::triggered, this, [this] { dfslvExplorerDblClick(); });
  pnExplorer->setSizes({220, 420});
  dfsplMain->setSizes({FExplorerHeight, 360});
}

void TfmMain::SetIcons() {
  const std::pair<QAction*, const char*> icons[] = {
      {acNewArchive, "document-new"},
      {acOpenArchive, "document-open"},
      {acCloseArchive, "window-close"},
      {acExtract, "document-save"},
      {acAdd, "list-add"},
      {acDelete, "edit-delete"},
      {acViewSelected, "document-edit"},
      {acCheckOut, "folder-open"},
      {acInstall, "system-software-install"},
      {acWizard, "applications-utilities"},
      {acTest, "emblem-ok"},
      {acVirusScan, "security-high"},
      {acMakeSFX, "application-x-executable"},
      {acExplorerView, "folder"},
      {acShowFilter, "edit-find"},
      {acProperties, "document-properties"},
      {acViewComment, "accessories-text-editor"},
      {acPrint, "document-print"},
      {acConfiguration, "preferences-system"},
      {acHelpContents, "help-contents"},
      {acExit, "application-exit"},
      {acRefresh, "view-refresh"},
      {acSelectAll, "edit-select-all"},
  };
  for (const auto& [action, name] : icons) action->setIcon(ThemeIcon(name));
  sbViewComments->setIcon(ThemeIcon("accessories-text-editor"));
  sbProperties->setIcon(ThemeIcon("document-properties"));
  sbApplyFilter->setIcon(ThemeIcon("edit-find"));
  sbRemoveFilter->setIcon(ThemeIcon("edit-clear"));
  sbApplyFilter->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  sbRemoveFilter->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

void TfmMain::ConnectHandlers() {
  vskVorsk.OnRead = [this](vsk::TZipCommon& Sender, vsk::Int64 Offset, int Filenum) {
    vskVorskRead(Sender, Offset, Filenum);
  };
  vskVorsk.OnActivate = [this](vsk::TZipCommon& Sender) { vskVorskActivate(Sender); };
  vskVorsk.OnDeactivate = [this](vsk::TZipCommon& Sender) { vskVorskDeactivate(Sender); };
  connect(acOpenArchive, &QAction::triggered, this, &TfmMain::acOpenArchiveExecute);
  // The command asks about a pending check-out; closing an archive that
  // vanished or was deleted does not.
  connect(acCloseArchive, &QAction::triggered, this, [this] {
    if (ExitCheckoutCheck()) acCloseArchiveExecute();
  });
  connect(acExit, &QAction::triggered, this, &TfmMain::acExitExecute);
  connect(acSelectAll, &QAction::triggered, this, &TfmMain::acSelectAllExecute);
  connect(acDeselectAll, &QAction::triggered, this, &TfmMain::acDeselectAllExecute);
  connect(acInvertSelection, &QAction::triggered, this, &TfmMain::acInvertSelectionExecute);
  connect(acSelectGroup, &QAction::triggered, this, &TfmMain::acSelectGroupExecute);
  connect(acDeselectGroup, &QAction::triggered, this, &TfmMain::acDeselectGroupExecute);
  connect(acRefresh, &QAction::triggered, this, &TfmMain::acRefreshExecute);
  connect(acExplorerView, &QAction::triggered, this, &TfmMain::acExplorerViewExecute);
  connect(acShowFilter, &QAction::triggered, this, &TfmMain::acShowFilterExecute);
  connect(acViewLastOutput, &QAction::triggered, this, &TfmMain::acViewLastOutputExecute);
  connect(acCancelTask, &QAction::triggered, this, &TfmMain::acCancelTaskExecute);
  connect(miShowText, &QAction::triggered, this, &TfmMain::miShowTextClick);
  connect(miShowToolTips, &QAction::triggered, this, &TfmMain::miShowToolTipsClick);
  connect(miUseFlatButtons, &QAction::triggered, this, &TfmMain::miUseFlatButtonsClick);
  connect(miConfigureToolbar, &QAction::triggered, this, &TfmMain::miConfigureToolbarClick);
  ConnectComponentHandlers();
  connect(acExtract, &QAction::triggered, this, &TfmMain::acExtractExecute);
  connect(acViewSelected, &QAction::triggered, this, &TfmMain::acViewSelectedExecute);
  connect(dfelvArchiveView, &QAbstractItemView::activated, this, [this] {
    if (acViewSelected->isEnabled()) acViewSelectedExecute();
  });
  ConnectAddCommands();
  ConnectFileCommands();
  ConnectToolCommands();
  ConnectHelpCommands();
  connect(acConfiguration, &QAction::triggered, this, &TfmMain::acConfigurationExecute);
  connect(acCheckOut, &QAction::triggered, this, &TfmMain::acCheckOutExecute);
  ConnectMakeSFX();
  ConnectJobCommands();
  connect(sbProperties, &QToolButton::clicked, this, [this] {
    if (acProperties->isEnabled()) acPropertiesExecute();
  });
  connect(sbApplyFilter, &QToolButton::clicked, this, &TfmMain::sbApplyFilterClick);
  connect(sbRemoveFilter, &QToolButton::clicked, this, &TfmMain::sbRemoveFilterClick);
  connect(rcbFilter, qOverload<int>(&QComboBox::activated), this, [this](int) { rcbFilterSelect(); });
  rcbFilter->lineEdit()->installEventFilter(this);
  connect(dfelvArchiveView->header(), &QHeaderView::sectionClicked, this, &TfmMain::dfelvArchiveViewColumnClick);
  connect(dfelvArchiveView->header(), &QHeaderView::sectionResized, this, [this](int Column, int, int) {
    if (!FSizingColumns) FUserSizedColumns.insert(Column);
  });
  dfelvArchiveView->viewport()->installEventFilter(this);
  dfelvArchiveView->installEventFilter(this);
  connect(tbMain, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& Pos) { FToolbarMenu->popup(tbMain->mapToGlobal(Pos)); });
  tbMain->installEventFilter(this);
  connect(dfsplMain, &QSplitter::splitterMoved, this, [this] {
    const QList<int> sizes = dfsplMain->sizes();
    const bool collapsed = !sizes.isEmpty() && sizes.front() == 0;
    if (collapsed && !FSplitterMaximized) {
      FSplitterMaximized = true;
      dfsplMainMaximize();
    } else if (!collapsed && FSplitterMaximized) {
      FSplitterMaximized = false;
      FExplorerHeight = sizes.front();
      dfsplMainRestore();
    }
  });
}

// ---- busy state and progress

void TfmMain::ApplicationBusy() {
  dfelvArchiveView->setCursor(Qt::WaitCursor);
  FModel->BeginUpdate();
  ++FBusyDepth;
  SetLedColor(kLedBusy);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfmMain::ApplicationWaiting() {
  dfelvArchiveView->unsetCursor();
  if (FBusyDepth > 0) {
    --FBusyDepth;
    FModel->EndUpdate();
  }
  SetLedColor(kLedIdle);
}

void TfmMain::StartProgress() {
  FPaint.Begin();
  if (CurrentWriter && CurrentWriter->Switch == vsk::swDelete) return;
  FCancelTask = false;
  SetSimpleText(QString());
  if (fmProgress) fmProgress->buCancel->setEnabled(true);
  setEnabled(false);
  // The progress window is a window of its own: it stays usable, so its
  // Cancel can stop the run.
  if (fmProgress) fmProgress->setEnabled(true);
  if (fmProgress) fmProgress->show();
  setCursor(Qt::WaitCursor);
}

void TfmMain::EndProgress() {
  // The run's last state is shown before the window goes.
  FPaint.End();
  if (CurrentWriter && CurrentWriter->Switch == vsk::swDelete) return;
  // hide(), not close(): closing a dialog rejects it, which asks to cancel.
  if (fmProgress) fmProgress->hide();
  QCoreApplication::processEvents();
  unsetCursor();
  setEnabled(true);
}

void TfmMain::SetLedColor(int Color) {
  if (!FInteractive) return;
  FLedColor = Color;
  FloodFill(FImgLed, 6, 6, FromTColor(Color).rgba());
  if (pbxLed) pbxLed->repaint();
}

void TfmMain::pbxLedPaint() {
  QPainter p(pbxLed);
  p.drawImage((pbxLed->width() - FImgLed.width()) / 2, (pbxLed->height() - FImgLed.height()) / 2, FImgLed);
}

// ---- settings applied to the window

void TfmMain::ApplyListStyles() {
  const TLVExtendedStyles styles = ExtendedStylesFor(Options);
  if (auto* d = dynamic_cast<TArchiveItemDelegate*>(dfelvArchiveView->itemDelegate())) d->Styles = styles;
  dfelvArchiveView->header()->setSectionsMovable(styles.Contains(lvxHeaderDragDrop));
  const bool tracking = styles.Contains(lvxTrackSelect) || styles.Contains(lvxUnderlineHot);
  dfelvArchiveView->setMouseTracking(tracking);
  dfelvArchiveView->setAllColumnsShowFocus(styles.Contains(lvxFullRowSelect));
  dfelvArchiveView->viewport()->update();
}

void TfmMain::ApplyToolbarStyle() {
  tbMain->setToolButtonStyle(Options.ButtonText ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
  const QSize button = Options.ButtonText ? QSize(46, 36) : QSize(21, 21);
  tbMain->setIconSize(QSize(16, 16));
  for (QAction* a : tbMain->actions())
    if (auto* b = qobject_cast<QToolButton*>(tbMain->widgetForAction(a))) {
      b->setMinimumSize(button);
      b->setAutoRaise(Options.FlatButtons);
      b->installEventFilter(this);
    }
  miShowText->setChecked(Options.ButtonText);
  miShowToolTips->setChecked(Options.ToolTips);
  miUseFlatButtons->setChecked(Options.FlatButtons);
}

void TfmMain::ApplyRegSettings() {
  ApplyListStyles();
  acShowFilter->setChecked(Options.ShowFilter);
  tbFilter->setVisible(Options.ShowFilter);
  acShowFilter->setText(Q(Options.ShowFilter ? msgtext::kHideFilter : msgtext::kShowFilter));
  ApplyToolbarStyle();
  dfmruMainList.SetMaxItems(Options.MRUList);
  RebuildMruMenu();
  for (vsk::TZipCommon* c : ArchiveComponents()) c->ThreadCount = Options.ThreadCount;
  const bool onTop = (windowFlags() & Qt::WindowStaysOnTopHint) != 0;
  if (onTop != Options.StayOnTop) {
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, Options.StayOnTop);
    if (visible) show();
  }
}

std::vector<vsk::TZipCommon*> TfmMain::ArchiveComponents() {
  std::vector<vsk::TZipCommon*> all = {&vskVorsk, &vskZipCheck, &vskUUEncode, &vskArc2Arc, &vskMakeSFX};
  all.insert(all.end(), Components.Readers().begin(), Components.Readers().end());
  all.insert(all.end(), Components.Writers().begin(), Components.Writers().end());
  return all;
}

void TfmMain::GenerateToolbar() {
  tbMain->clear();
  const auto buttons = ToolbarButtons(Options);
  for (const auto& b : buttons) {
    auto* action = findChild<QAction*>(Q(b.Action));
    if (!action) continue;
    action->setIconText(Q(b.Caption));
    tbMain->addAction(action);
    if (action == acOpenArchive)
      if (auto* button = qobject_cast<QToolButton*>(tbMain->widgetForAction(action))) {
        button->setMenu(pmMRUList);
        button->setPopupMode(QToolButton::MenuButtonPopup);
      }
  }
  tbMain->setVisible(!buttons.empty());
  ApplyToolbarStyle();
}

void TfmMain::GenerateColumns() {
  const std::vector<TViewColumn> columns = ShownColumns(Options);
  FModel->SetColumns(columns);
  QHeaderView* header = dfelvArchiveView->header();
  // The widths are those of a system font five pixels wide on average.
  const double scale = std::max(1.0, dfelvArchiveView->fontMetrics().averageCharWidth() / 5.0);
  FUserSizedColumns.clear();
  FSizingColumns = true;
  for (std::size_t i = 0; i < columns.size(); ++i)
    header->resizeSection(static_cast<int>(i), static_cast<int>(ColumnDef(columns[i]).Width * scale));
  FSizingColumns = false;
  FSortColumn = 0;
  FSortOrder = Qt::AscendingOrder;
  header->setSortIndicator(0, Qt::AscendingOrder);
}

void TfmMain::FitColumns() {
  QHeaderView* header = dfelvArchiveView->header();
  // A column never takes more than half of the list's width this way.
  const int widest = std::max(120, dfelvArchiveView->viewport()->width() / 2);
  FSizingColumns = true;
  for (int c = 0; c < FModel->columnCount(); ++c) {
    if (FUserSizedColumns.count(c) || header->isSectionHidden(c)) continue;
    // The view measures the texts (of the rows about those shown) and its
    // caption; a column only ever grows here.
    const int before = header->sectionSize(c);
    dfelvArchiveView->resizeColumnToContents(c);
    header->resizeSection(c, std::max(before, std::min(widest, header->sectionSize(c))));
  }
  FSizingColumns = false;
}

void TfmMain::GenerateSortMenu() {
  miSort->clear();
  const auto& columns = FModel->Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    QAction* item = miSort->addAction(Q(ColumnDef(columns[i]).SortCaption));
    item->setData(static_cast<int>(i));
    connect(item, &QAction::triggered, this, [this, i] { miSortClick(static_cast<int>(i)); });
  }
}

// A toolbar toggle changes its option only once the registry holds the new
// value; otherwise the error is shown and both keep the old one.
void TfmMain::ToggleToolbarOption(bool& Option, const char* Name) {
  const bool value = !Option;
  if (ShowExceptions([&] { WriteSettingBool("Toolbar", Name, value); })) Option = value;
  ApplyToolbarStyle();
}

void TfmMain::miShowTextClick() { ToggleToolbarOption(Options.ButtonText, "ButtonText"); }

void TfmMain::miShowToolTipsClick() { ToggleToolbarOption(Options.ToolTips, "ToolTips"); }

void TfmMain::miUseFlatButtonsClick() { ToggleToolbarOption(Options.FlatButtons, "FlatButtons"); }

// ---- small window commands

void TfmMain::SetExplorerMaximized(bool Maximized) {
  QList<int> sizes = dfsplMain->sizes();
  if (sizes.size() < 2) return;
  const int total = sizes[0] + sizes[1];
  if (Maximized) {
    if (sizes[0] > 0) FExplorerHeight = sizes[0];
    dfsplMain->setSizes({0, total});
  } else {
    const int h = std::clamp(FExplorerHeight, 40, std::max(40, total - 40));
    dfsplMain->setSizes({h, std::max(0, total - h)});
  }
  FSplitterMaximized = Maximized;
  if (Maximized)
    dfsplMainMaximize();
  else
    dfsplMainRestore();
}

void TfmMain::acExplorerViewExecute() { SetExplorerMaximized(!FSplitterMaximized); }

void TfmMain::dfsplMainMaximize() {
  acExplorerView->setChecked(false);
  acExplorerView->setText(Q(msgtext::kShowExplorer));
}

void TfmMain::dfsplMainRestore() {
  acExplorerView->setChecked(true);
  acExplorerView->setText(Q(msgtext::kHideExplorer));
}

void TfmMain::acShowFilterExecute() {
  const bool show = !tbFilter->isVisibleTo(this);
  tbFilter->setVisible(show);
  acShowFilter->setText(Q(show ? msgtext::kHideFilter : msgtext::kShowFilter));
  acShowFilter->setChecked(show);
}

void TfmMain::acViewLastOutputExecute() {
  FPaint.Flush();
  if (fmViewOutput) UI().ShowModal(*fmViewOutput);
}

void TfmMain::pmExplorerFilePopup() {
  const QModelIndex index = dfslvExplorer->currentIndex();
  miExplorerOpen->setEnabled(FFileModel && index.isValid() && !FFileModel->isDir(index) &&
                             dfslvExplorer->selectionModel()->isSelected(index));
}

void TfmMain::acCancelTaskExecute() {
  vsk::TZipCommon* running =
      CurrentWriter ? static_cast<vsk::TZipCommon*>(CurrentWriter) : static_cast<vsk::TZipCommon*>(CurrentReader);
  if (!running) return;
  running->SetCancel(true);
  SetSimpleText(Q(msgtext::kAborting));
  dfstbMainStatus->repaint();
  dfelvArchiveView->unsetCursor();
}

void TfmMain::acExitExecute() {
  // The close asks about a pending check-out (FormClose).
  close();
}

// ---- the status bar

void TfmMain::SetSimplePanel(bool Simple) {
  // A job begins with a clear text and leaves no hint of what was pointed at
  // before it: the hints it passed over while running were not shown.
  if (Simple && !FSimplePanel) FSimpleLabel->clear();
  if (!Simple && FSimplePanel) FPanels[5]->clear();
  FSimplePanel = Simple;
  FSimpleLabel->setVisible(Simple);
  FRatioGauge->setVisible(!Simple);
  for (int i = 0; i < 6; ++i)
    if (i != 1) FPanels[i]->setVisible(!Simple);
}

void TfmMain::SetSimpleText(const QString& Text) {
  FPaint.DropStatus();
  FSimpleLabel->setText(Text);
}

QString TfmMain::StatusElided(const QString& Text, int Margin) const {
  return QFontMetrics(dfstbMainStatus->font()).elidedText(Text, Qt::ElideMiddle, StatusTextWidth(Margin));
}

void TfmMain::ShowRunStatus(const QString& Prefix, const std::string& Name, int Margin) {
  FPaint.Status({Prefix, Q(Name), Margin});
}

void TfmMain::OutputLine(const std::string& Line) { FPaint.Line(Q(Line)); }

void TfmMain::ClearOutput() {
  FPaint.DropLines();
  if (fmViewOutput) fmViewOutput->meOutput->clear();
}

TProgressThrottle::TSinks TfmMain::PaintSinks() {
  TProgressThrottle::TSinks sinks;
  sinks.Progress = [](int ByFile, int ByArchive) {
    if (!fmProgress) return;
    fmProgress->SetProgress(ByFile, std::max(1, ByArchive));
    fmProgress->laTotal->setText(QString::number(ByArchive) + QLatin1Char('%'));
    fmProgress->repaint();
  };
  sinks.Status = [this](const TProgressThrottle::TStatus& Text) {
    FSimpleLabel->setText(Text.Prefix + (Text.Margin < 0 ? Text.Name : StatusElided(Text.Name, Text.Margin)));
    dfstbMainStatus->repaint();
  };
  sinks.Output = [](const QStringList& Lines) {
    if (fmViewOutput) fmViewOutput->meOutput->appendPlainText(Lines.join(QLatin1Char('\n')));
  };
  sinks.Pump = [] { QCoreApplication::processEvents(); };
  return sinks;
}

QString TfmMain::SimpleText() const { return FSimpleLabel->text(); }

QString TfmMain::StatusPanelText(int Panel) const {
  if (Panel == 1) return FRatioGauge->format();
  return Panel >= 0 && Panel < 6 ? FPanels[Panel]->text() : QString();
}

int TfmMain::StatusGaugePosition() const { return FRatioGauge->value(); }

void TfmMain::ResetTotals() {
  FPanels[0]->setText(QString());
  FRatioGauge->setFormat(QStringLiteral("0%"));
  FRatioGauge->setValue(0);
  FPanels[2]->setText(QStringLiteral("0 files"));
  FPanels[3]->setText(QString());
  FPanels[4]->setText(QString());
}

void TfmMain::DisplayTotals(bool SelectedOnly) {
  if (!FInteractive) return;
  const QModelIndexList selected = dfelvArchiveView->selectionModel()->selectedRows();
  if (selected.isEmpty()) SelectedOnly = false;
  vsk::Int64 count = 0, packed = 0, unpacked = 0;
  if (SelectedOnly) {
    count = selected.size();
    for (const QModelIndex& i : selected) {
      const TItemData& d = FModel->Row(i.row()).Data;
      packed += CellNumber(d.Packed);
      unpacked += CellNumber(d.Unpacked);
    }
  } else {
    count = FModel->RowCount();
    packed = static_cast<vsk::Int64>(vskVorsk.PackedTotal);
    unpacked = static_cast<vsk::Int64>(vskVorsk.UnpackedTotal);
  }
  const TTotalsTexts t = MakeTotalsTexts(vskVorsk.ArcType(), count, packed, unpacked);
  FPanels[0]->setText(Q(t.ArcType));
  FRatioGauge->setFormat(Q(t.Ratio));
  FRatioGauge->setValue(t.RatioPosition);
  FPanels[2]->setText(Q(t.Files));
  FPanels[3]->setText(Q(t.Packed));
  FPanels[4]->setText(Q(t.Unpacked));
  SetSimplePanel(false);
  dfstbMainStatus->update();
}

// ---- commands enabled for the listed archive

void TfmMain::SetCommandEnabled(const std::string& Name, bool Enabled) {
  const QString name = Q(Name);
  if (auto* a = findChild<QAction*>(name)) {
    a->setEnabled(Enabled);
  } else if (auto* m = findChild<QMenu*>(name)) {
    m->menuAction()->setEnabled(Enabled);
  } else if (auto* w = findChild<QWidget*>(name)) {
    w->setEnabled(Enabled);
  }
}

bool TfmMain::CommandEnabled(const std::string& Name) const {
  const QString name = Q(Name);
  if (auto* a = findChild<QAction*>(name)) return a->isEnabled();
  if (auto* m = findChild<QMenu*>(name)) return m->menuAction()->isEnabled();
  if (auto* w = findChild<QWidget*>(name)) return w->isEnabled();
  return false;
}

void TfmMain::EnableMenus() {
  for (const auto& [name, enabled] : EnableMenusTable(vskVorsk.ArcType(), !FSetupFile.empty()))
    SetCommandEnabled(name, enabled);
}

// ---- listing

void TfmMain::DisplayArchive(const std::string& FileName) {
  std::error_code ec;
  const std::string path = std::filesystem::absolute(FileName, ec).lexically_normal().string();
  QDir::setCurrent(Q(ParentFolder(path)));
  vskVorsk.FileSpec.clear();
  const std::string filter = rcbFilter->Text();
  vskVorsk.FileSpec.push_back(filter.empty() ? "*.*" : filter);
  RefreshList(path);
  if (vsk::IsValidArcType(vskVorsk.ArcType()) && !vskVorsk.FileSpec.empty()) {
    if (!FKeepRecentList) {
      dfmruMainList.Add(vskVorsk.ArchiveFile());
      RebuildMruMenu();
    }
    setWindowTitle(Q(TitleText() + " - " + vskVorsk.ArchiveFile()));
  } else {
    setWindowTitle(Q(TitleText()));
  }
}

bool TfmMain::RefreshList(const std::string& FileName) {
  bool result = false;
  ApplicationBusy();
  FModel->Clear();
  FSortColumn = 0;
  FSortOrder = Qt::AscendingOrder;
  dfelvArchiveView->header()->setSortIndicator(0, Qt::AscendingOrder);
  if (!FileName.empty()) {
    std::string failure;
    try {
      vskVorsk.SetArchiveFile(FileName);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (failure.empty() && vsk::IsValidArcType(vskVorsk.ArcType())) {
      if (vskVorsk.FileSpec.empty()) vskVorsk.FileSpec.push_back("*.*");
      FSetupFile.clear();
      vskVorsk.Activate();
      FModel->sort(FSortColumn, FSortOrder);
      EnableMenus();
      DisplayTotals(false);
      result = true;
    } else {
      ShowError(failure.empty() ? msgtext::kInvalidArchiveFormat : failure);
      // Nothing is listed, so no command may act on the file.
      EnableMenus();
      ResetTotals();
    }
  }
  ApplicationWaiting();
  // The rows are in the view once the update has ended.
  if (result && !FModel->Updating()) FitColumns();
  if (FCloseAfterRun) {
    FCloseAfterRun = false;
    acCloseArchiveExecute();
    return false;
  }
  return result;
}

void TfmMain::vskVorskActivate(vsk::TZipCommon&) {
  ApplicationBusy();
  FModel->Clear();
  SetSimplePanel(true);
}

void TfmMain::vskVorskDeactivate(vsk::TZipCommon&) {
  SetSimpleText(QString());
  ApplicationWaiting();
}

void TfmMain::vskVorskRead(vsk::TZipCommon&, vsk::Int64 Offset, int) {
  if (!FInteractive) return;
  const vsk::TVorsk& v = vskVorsk;
  TViewRow row;
  const std::string name = vsk::PathFilePart(v.FileName);
  const QString fullName = Q(v.FileName);
  row.Caption = Q(name);
  row.Encrypted = v.Encrypted;
  row.IconIndex = FFileTypes.IconIndex(fullName);
  row.Data = MakeItemData(v);
  const auto& columns = FModel->Columns();
  for (std::size_t i = 1; i < columns.size(); ++i) {
    if (!TArchiveViewModel::KeptInCells(columns[i])) continue;
    if (row.Cells.empty()) row.Cells.resize(columns.size() - 1);
    const std::string type = columns[i] == vcFileType ? FFileTypes.TypeName(fullName).toStdString() : std::string();
    row.Cells[i - 1] = Q(CellText(columns[i], v, row.Data, Offset, type));
  }
  NoteSetupFile(FSetupFile, name, row.Data.Folder);
  FModel->AddRow(std::move(row));
}

// ---- sorting

int TfmMain::dfelvArchiveViewSortItems(int Row1, int Row2, int Column) const {
  return FModel->CompareRows(Row1, Row2, Column);
}

void TfmMain::miSortClick(int Column) {
  if (Column != FSortColumn) {
    FSortColumn = Column;
    FSortOrder = Qt::AscendingOrder;
  } else {
    FSortOrder = FSortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  }
  dfelvArchiveView->header()->setSortIndicator(FSortColumn, FSortOrder);
  FModel->sort(FSortColumn, FSortOrder);
}

void TfmMain::dfelvArchiveViewColumnClick(int Column) { miSortClick(Column); }

void TfmMain::dfelvArchiveViewClick() {
  if (vsk::IsValidArcType(vskVorsk.ArcType()) && !vskVorsk.ArchiveFile().empty()) DisplayTotals(true);
}

void TfmMain::dfelvArchiveViewKeyDown(int Key) {
  // The add and delete commands are connected to these actions.
  if (Key == Qt::Key_Insert && acAdd->isEnabled()) acAdd->trigger();
  if (Key == Qt::Key_Delete && acDelete->isEnabled()) acDelete->trigger();
}

// ---- filter

void TfmMain::sbApplyFilterClick() {
  if (vsk::IsValidArcType(vskVorsk.ArcType())) {
    vskVorsk.FileSpec.clear();
    const std::string text = rcbFilter->Text();
    if (!text.empty()) {
      vskVorsk.FileSpec.push_back(text);
    } else {
      vskVorsk.FileSpec.push_back("*.*");
      rcbFilter->SetText("*.*");
    }
    DisplayArchive(vskVorsk.ArchiveFile());
  }
  rcbFilter->setFocus();
}

void TfmMain::sbRemoveFilterClick() {
  rcbFilter->SetText("");
  sbApplyFilterClick();
}

void TfmMain::rcbFilterSelect() { sbApplyFilterClick(); }

void TfmMain::rcbFilterKeyPress(char Key) {
  if (Key == 13) sbApplyFilterClick();
}

// ---- selection

// The selection commands show the totals of what they selected, as a click does.
void TfmMain::acSelectAllExecute() {
  dfelvArchiveView->selectAll();
  dfelvArchiveViewClick();
}

void TfmMain::acDeselectAllExecute() {
  dfelvArchiveView->clearSelection();
  dfelvArchiveViewClick();
}

void TfmMain::acInvertSelectionExecute() {
  if (FModel->RowCount() == 0) return;
  const QItemSelection all(FModel->index(0, 0), FModel->index(FModel->RowCount() - 1, 0));
  dfelvArchiveView->selectionModel()->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
  dfelvArchiveViewClick();
}

void TfmMain::SelectByMask(bool Select) {
  std::string mask;
  if (!UI().InputQuery(Select ? msgtext::kSelectGroupTitle : msgtext::kDeselectGroupTitle, msgtext::kGroupPrompt, mask))
    return;
  QItemSelection matching;
  int first = -1;
  const auto flush = [&](int last) {
    if (first >= 0) matching.select(FModel->index(first, 0), FModel->index(last, 0));
    first = -1;
  };
  for (int r = 0; r < FModel->RowCount(); ++r) {
    if (GroupMaskMatches(FModel->Row(r).Caption.toStdString(), mask)) {
      if (first < 0) first = r;
    } else {
      flush(r - 1);
    }
  }
  flush(FModel->RowCount() - 1);
  dfelvArchiveView->selectionModel()->select(
      matching, (Select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
  dfelvArchiveViewClick();
}

void TfmMain::acSelectGroupExecute() { SelectByMask(true); }

void TfmMain::acDeselectGroupExecute() { SelectByMask(false); }

bool TfmMain::ArchiveVanished() {
  if (IsFile(vskVorsk.ArchiveFile())) return false;
  ShowError(msgtext::kArchiveVanished);
  acCloseArchiveExecute();
  return true;
}

void TfmMain::acRefreshExecute() {
  if (!ArchiveVanished()) DisplayArchive(vskVorsk.ArchiveFile());
}

// ---- opening and closing

TOpenDialog& TfmMain::odgOpen() {
  if (!FOpenDialog) {
    FOpenDialog = std::make_unique<TOpenDialog>(this);
    FOpenDialog->setObjectName(QStringLiteral("odgOpen"));
  }
  return *FOpenDialog;
}

TApOpenDialog& TfmMain::apodAdd() {
  if (!FAddDialog) {
    FAddDialog = std::make_unique<TApOpenDialog>(this);
    TApOpenDialog& d = *FAddDialog;
    d.setObjectName(QStringLiteral("apodAdd"));
    d.SetTitle("Add");
    d.DlgItemsCaptions.OK = "&Add";
    d.CustDlgParams.BottomFormName = "fmAddBottom";
    d.Options = {ofHideReadOnly, ofAllowMultiSelect, ofFileMustExist,
                 ofEnableSizing, ofDontAddToRecent,  ofForceShowHidden};
    d.OptionsEx = {ofExNoPlacesBar};
    d.Filter = msgtext::kAllFilesFilter;
    d.DefaultExt = "*.*";
    d.ListViewStyles = {true, true, true, true};
  }
  return *FAddDialog;
}

TApSaveDialog& TfmMain::apsdNew() {
  if (!FNewDialog) {
    FNewDialog = std::make_unique<TApSaveDialog>(this);
    TApSaveDialog& d = *FNewDialog;
    d.setObjectName(QStringLiteral("apsdNew"));
    d.SetTitle("New Archive");
    d.DlgItemsCaptions.OK = "&Create";
    d.DlgItemsCaptions.FileType = "Archive type:";
    d.Options = {ofOverwritePrompt, ofHideReadOnly, ofEnableSizing, ofShowHelp};
    d.OptionsEx = {ofExNoPlacesBar};
    d.HelpContext = 760;
    d.Filter = msgtext::kNewArchiveFilter;
    d.FilterIndex = 7;
    d.DefaultExt = "zip";
    d.ListViewStyles = {true, true, true, true};
  }
  return *FNewDialog;
}

TApSaveDialog& TfmMain::apsdAddOptions() {
  if (!FAddOptionsDialog) {
    FAddOptionsDialog = std::make_unique<TApSaveDialog>(this);
    TApSaveDialog& d = *FAddOptionsDialog;
    d.setObjectName(QStringLiteral("apsdAddOptions"));
    d.SetTitle("Add Options");
    d.DlgItemsCaptions.OK = "OK";
    d.DlgItemsCaptions.FileType = "Archive type:";
    d.CustDlgParams.BottomFormName = "fmAddOptionsBottom";
    d.Options = {ofOverwritePrompt, ofHideReadOnly, ofEnableSizing};
    d.OptionsEx = {ofExNoPlacesBar};
    d.HelpContext = 750;
    d.Filter = msgtext::kNewArchiveFilter;
    d.FilterIndex = 7;
    d.DefaultExt = "zip";
    d.ListViewStyles = {true, true, true, true};
    // The add commands handle its type changes (OnTypeChange) here.
  }
  return *FAddOptionsDialog;
}

void TfmMain::OpenChosenArchive(const std::string& FileName) {
  ClearOutput();
  std::error_code ec;
  const std::string path = std::filesystem::absolute(FileName, ec).lexically_normal().string();
  if (Options.OpenLast) ShowExceptions([&] { WriteSettingString("Folders", "OpenLastPath", ParentFolder(path)); });
  DisplayArchive(path);
  // The desktop's recent documents learn of the archive here.
  if (Options.CommentsOpen) DisplayCommentIfExist();
}

void TfmMain::acOpenArchiveExecute() {
  if (!ExitCheckoutCheck()) return;
  rcbFilter->SetText("*.*");
  TOpenDialog& d = odgOpen();
  d.Filter = msgtext::kOpenArchiveFilter;
  d.SetTitle(msgtext::kOpenArchiveTitle);
  d.Options = {ofHideReadOnly, ofPathMustExist, ofFileMustExist};
  d.FileName.clear();
  std::string folder;
  if (Options.OpenLast)
    ShowExceptions([&] { folder = ReadSettingString("Folders", "OpenLastPath"); });
  else if (QFileInfo(Q(Options.OpenFolder)).isDir())
    folder = Options.OpenFolder;
  d.InitialDir = folder.empty() ? QDir::currentPath().toStdString() : folder;
  if (!d.Execute()) return;
  if (IsFile(d.FileName))
    OpenChosenArchive(d.FileName);
  else
    ShowError(d.FileName + msgtext::kDoesNotExistSuffix);
}

void TfmMain::dfmruMainListMRUItemClick(const std::string& FileName) {
  if (!ExitCheckoutCheck()) return;
  rcbFilter->SetText("*.*");
  if (IsFile(FileName))
    OpenChosenArchive(FileName);
  else
    ShowError(msgtext::kMruFileMissing);
}

void TfmMain::dfslvExplorerDblClick() {
  if (!FFileModel) return;
  const QModelIndex index = dfslvExplorer->currentIndex();
  if (!index.isValid() || FFileModel->isDir(index)) return;
  const std::string path = FFileModel->filePath(index).toStdString();
  if (!IsFile(path)) {
    ShowError(path + msgtext::kDoesNotExistSuffix);
    return;
  }
  ClearOutput();
  DisplayArchive(path);
}

void TfmMain::acCloseArchiveExecute() {
  vskVorsk.SetArchiveFile("");
  FPassword.clear();
  ApplicationBusy();
  FModel->Clear();
  ApplicationWaiting();
  setWindowTitle(Q(TitleText()));
  EnableMenus();
  ResetTotals();
}

void TfmMain::RebuildMruMenu() {
  pmMRUList->clear();
  int n = 0;
  for (const auto& file : dfmruMainList.Items()) {
    ++n;
    QString label = Q(file);
    label.replace(QLatin1Char('&'), QLatin1String("&&"));
    QAction* item = pmMRUList->addAction(QStringLiteral("&%1 %2").arg(n).arg(label));
    connect(item, &QAction::triggered, this, [this, file] { dfmruMainListMRUItemClick(file); });
  }
  pmMRUList->menuAction()->setEnabled(n > 0);
}

// ---- window state and list layout in the registry

void TfmMain::LoadFormState() {
  try {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(kFormKey)) return;
    const auto integer = [&](const char* name, int fallback) {
      return reg.ValueExists(name) && reg.GetDataType(name) == vsk::rdInteger ? reg.ReadInteger(name) : fallback;
    };
    const int w = integer("Width", width()), h = integer("Height", height());
    if (w >= 200 && h >= 150) resize(w, h);
    if (reg.ValueExists("Left") && reg.ValueExists("Top")) move(integer("Left", x()), integer("Top", y()));
    FExplorerHeight = std::max(40, integer("ExplorerHeight", FExplorerHeight));
    const bool maximized = integer("Maximized", 0) != 0;
    const bool collapsed = integer("SplitterMaximized", 0) != 0;
    reg.CloseKey();
    if (maximized) setWindowState(windowState() | Qt::WindowMaximized);
    dfsplMain->setSizes({FExplorerHeight, std::max(100, height() - FExplorerHeight)});
    if (collapsed) SetExplorerMaximized(true);
  } catch (const vsk::ERegistryException&) {
  }
}

void TfmMain::SaveFormState() {
  try {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    if (!reg.OpenKey(kFormKey, true)) return;
    const QRect g = normalGeometry().isValid() ? normalGeometry() : geometry();
    reg.WriteInteger("Left", g.x());
    reg.WriteInteger("Top", g.y());
    reg.WriteInteger("Width", g.width());
    reg.WriteInteger("Height", g.height());
    reg.WriteBool("Maximized", isMaximized());
    const QList<int> sizes = dfsplMain->sizes();
    if (!sizes.isEmpty() && sizes.front() > 0) FExplorerHeight = sizes.front();
    reg.WriteBool("SplitterMaximized", FSplitterMaximized);
    reg.WriteBool("ExplorerVisible", !FSplitterMaximized);
    reg.WriteInteger("ExplorerHeight", FExplorerHeight);
    reg.CloseKey();
  } catch (const vsk::ERegistryException&) {
  }
}

void TfmMain::LoadListLayout() {
  try {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(kListLayoutKey)) return;
    QHeaderView* header = dfelvArchiveView->header();
    std::vector<std::pair<int, int>> positions;  // (saved position, column)
    for (int c = 0; c < FModel->columnCount(); ++c) {
      const std::string caption = FModel->Caption(c).toStdString();
      if (!reg.ValueExists(caption) || reg.GetDataType(caption) != vsk::rdString) continue;
      const QStringList parts = Q(reg.ReadString(caption)).split(QLatin1Char(','));
      if (parts.size() != 2) continue;
      bool okWidth = false, okPos = false;
      const int w = parts[0].toInt(&okWidth), pos = parts[1].toInt(&okPos);
      if (okWidth && w >= 10 && w <= 2000) {
        FSizingColumns = true;
        header->resizeSection(c, w);
        FSizingColumns = false;
      }
      if (okPos) positions.emplace_back(pos, c);
    }
    reg.CloseKey();
    std::sort(positions.begin(), positions.end());
    for (std::size_t i = 0; i < positions.size(); ++i) {
      const int column = positions[i].second;
      header->moveSection(header->visualIndex(column), static_cast<int>(i));
    }
  } catch (const vsk::ERegistryException&) {
  }
}

void TfmMain::SaveListLayout() {
  try {
    const QHeaderView* header = dfelvArchiveView->header();
    std::vector<std::pair<std::string, std::string>> values;
    for (int c = 0; c < FModel->columnCount(); ++c)
      values.emplace_back(FModel->Caption(c).toStdString(),
                          std::to_string(header->sectionSize(c)) + "," + std::to_string(header->visualIndex(c)));
    ReplaceKeyValues(vsk::HKEY_CURRENT_USER, kListLayoutKey, values);
  } catch (const vsk::ERegistryException&) {
  }
}

}  // namespace brevane
