#pragma once
// The main window: the archive view with its explorer pane, filter bar,
// toolbar and status bar, and the archive components with their handlers.

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "app/main/filetypes.h"
#include "app/main/mrulist.h"
#include "app/main/viewtexts.h"
#include "archive/formats/lister/vorsk.h"
#include "ui_mainform.h"

class QFileSystemModel;
class QLabel;
class QMenu;
class QProgressBar;
class QToolButton;

namespace vsk {
class TUnBase;
class TCompBase;
}  // namespace vsk

namespace brevane {

class TArchiveViewModel;
class TApOpenDialog;
class TApSaveDialog;
class TOpenDialog;

// The reader and writer components in use (cancelling and the progress
// window act on them); each is one of the main window's, or null.
extern vsk::TUnBase* CurrentReader;
extern vsk::TCompBase* CurrentWriter;

// The window title the program shows alone and ahead of an open archive.
std::string TitleText();

// Delphi-style colour values (blue in the high byte): 255 red, 65280 green.
inline constexpr int kLedBusy = 255;
inline constexpr int kLedIdle = 65280;

class TfmMain : public QMainWindow, public Ui::TfmMain {
  Q_OBJECT

 public:
  explicit TfmMain(QWidget* Parent = nullptr);
  ~TfmMain() override;

  // ---- life cycle
  void FormShow();
  void FormActivate();
  bool FormClose();
  bool Closed() const { return FClosed; }
  void ProcContextMenu();

  // ---- busy state and progress
  void ApplicationBusy();
  void ApplicationWaiting();
  void StartProgress();
  void EndProgress();
  void SetLedColor(int Color);
  int LedColor() const { return FLedColor; }
  const QImage& imgLed() const { return FImgLed; }
  void pbxLedPaint();

  // ---- settings applied to the window
  void ApplyRegSettings();
  void GenerateToolbar();
  void GenerateColumns();
  void GenerateSortMenu();
  void miShowTextClick();
  void miShowToolTipsClick();
  void miUseFlatButtonsClick();
  void miConfigureToolbarClick();

  // ---- small window commands
  void acExplorerViewExecute();
  void dfsplMainMaximize();
  void dfsplMainRestore();
  bool ExplorerMaximized() const { return FSplitterMaximized; }
  void acShowFilterExecute();
  void acViewLastOutputExecute();
  void pmExplorerFilePopup();
  void acCancelTaskExecute();
  void acExitExecute();

  // ---- the archive view
  void DisplayArchive(const std::string& FileName);
  bool RefreshList(const std::string& FileName);
  void vskVorskRead(vsk::TZipCommon& Sender, vsk::Int64 Offset, int Filenum);
  void vskVorskActivate(vsk::TZipCommon& Sender);
  void vskVorskDeactivate(vsk::TZipCommon& Sender);
  void DisplayTotals(bool SelectedOnly);
  void EnableMenus();
  void miSortClick(int Column);
  int dfelvArchiveViewSortItems(int Row1, int Row2, int Column) const;
  void dfelvArchiveViewColumnClick(int Column);
  void dfelvArchiveViewClick();
  void dfelvArchiveViewKeyDown(int Key);
  void sbApplyFilterClick();
  void sbRemoveFilterClick();
  void rcbFilterSelect();
  void rcbFilterKeyPress(char Key);
  void acSelectAllExecute();
  void acDeselectAllExecute();
  void acInvertSelectionExecute();
  void acSelectGroupExecute();
  void acDeselectGroupExecute();
  void acRefreshExecute();

  // ---- opening and closing archives
  void acOpenArchiveExecute();
  void dfmruMainListMRUItemClick(const std::string& FileName);
  void dfslvExplorerDblClick();
  void acCloseArchiveExecute();

  // ---- state read by the commands and by tests
  vsk::TVorsk vskVorsk;
  TMruList dfmruMainList;
  bool FInteractive = true;
  std::vector<std::string> FTempFolders;
  std::string FSetupFile;
  bool FCancelTask = false;
  bool FSpanDisks = true;
  std::string FPassword;
  // The locale's date separator found at start.
  char FSavedDateSeparator = '/';
  // Saving of the window state, the list layout and the recent list at close.
  bool FSaveFormState = true;
  bool FSaveListLayout = true;

  TArchiveViewModel& Model() const { return *FModel; }
  QString StatusPanelText(int Panel) const;
  int StatusGaugePosition() const;
  bool SimplePanel() const { return FSimplePanel; }
  QString SimpleText() const;
  QMenu* pmMRUListMenu() const { return pmMRUList; }
  QMenu* pmToolbar() const { return FToolbarMenu; }
  QMenu* pmExplorerFile() const { return FExplorerMenu; }
  TOpenDialog& odgOpen();
  TApOpenDialog& apodAdd();
  TApSaveDialog& apsdNew();
  TApSaveDialog& apsdAddOptions();
  // Whether a command (action, menu or status-bar button) is enabled.
  bool CommandEnabled(const std::string& Name) const;

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  bool event(QEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void FormCreate();
  void FormDestroy();
  void BuildStatusBar();
  void BuildExplorer();
  void BuildMenus();
  void ConnectHandlers();
  void SetIcons();
  void SetSimplePanel(bool Simple);
  void SetSimpleText(const QString& Text);
  void ResetTotals();
  void SelectByMask(bool Select);
  void RebuildMruMenu();
  void ApplyToolbarStyle();
  void ApplyListStyles();
  void SetExplorerMaximized(bool Maximized);
  void OpenChosenArchive(const std::string& FileName);
  bool ArchiveVanished();
  void LoadFormState();
  void SaveFormState();
  void LoadListLayout();
  void SaveListLayout();
  void SetCommandEnabled(const std::string& Name, bool Enabled);

  TArchiveViewModel* FModel = nullptr;
  TFileTypes FFileTypes;
  QImage FImgLed;
  int FLedColor = 0;
  QWidget* pbxLed = nullptr;
  QLabel* FPanels[6] = {};
  QProgressBar* FRatioGauge = nullptr;
  QLabel* FSimpleLabel = nullptr;
  QToolButton* sbViewComments = nullptr;
  QToolButton* sbProperties = nullptr;
  QMenu* FToolbarMenu = nullptr;
  QMenu* FExplorerMenu = nullptr;
  QFileSystemModel* FFolderModel = nullptr;
  QFileSystemModel* FFileModel = nullptr;
  bool FSimplePanel = false;
  bool FSplitterMaximized = false;
  int FExplorerHeight = 160;
  int FSortColumn = 0;
  Qt::SortOrder FSortOrder = Qt::AscendingOrder;
  bool FShown = false;
  bool FClosed = false;
  int FBusyDepth = 0;
  std::unique_ptr<TOpenDialog> FOpenDialog;
  std::unique_ptr<TApOpenDialog> FAddDialog;
  std::unique_ptr<TApSaveDialog> FNewDialog;
  std::unique_ptr<TApSaveDialog> FAddOptionsDialog;
};

extern TfmMain* fmMain;

}  // namespace brevane
