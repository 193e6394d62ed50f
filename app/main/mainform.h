#pragma once
// The main window: the archive view with its explorer pane, filter bar,
// toolbar and status bar, and the archive components with their handlers.

#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/components/lineprinter.h"
#include "app/components/progressthrottle.h"
#include "app/main/commandoptions.h"
#include "app/main/components.h"
#include "app/main/contentlist.h"
#include "app/main/filetypes.h"
#include "app/main/folders.h"
#include "app/main/mrulist.h"
#include "app/main/runresult.h"
#include "app/main/shellreg.h"
#include "app/main/viewtexts.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/uu/uuencode.h"
#include "archive/formats/zip/unzip.h"
#include "archive/formats/zip/zipwriter.h"
#include "archive/tools/arc2arc.h"
#include "archive/tools/makesfx.h"
#include "archive/tools/regarchive.h"
#include "archive/tools/zipcheck.h"
#include "archive/tools/zipfix.h"
#include "ui_mainform.h"

class QFileSystemModel;
class QLabel;
class QMimeData;
class QMenu;
class QProgressBar;
class QToolButton;

namespace brevane {

class TArchiveViewModel;
class TApOpenDialog;
class TApSaveDialog;
class THelpWindow;
class TOpenDialog;
class TSaveDialog;

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
  // Runs the operation the command line asks for, then closes the window.
  void ProcContextMenu();
  // The process's exit status after a command-line run: 0 when the command
  // did what it was asked, kExitFailed when it failed, kExitRefused when its
  // switch or parameters were refused.
  static constexpr int kExitFailed = 1;
  static constexpr int kExitRefused = 2;
  int ExitCode() const { return FExitCode; }
  // A single parameter that names no file: said so, and the program ends.
  void ReportMissingParameter(const std::string& Name);

  // ---- busy state and progress
  void ApplicationBusy();
  void ApplicationWaiting();
  void StartProgress();
  void EndProgress();
  int LedColor() const { return FLedColor; }
  const QImage& imgLed() const { return FImgLed; }

  // ---- settings applied to the window
  // Every archive component of the window, for the options they all take.
  std::vector<vsk::TZipCommon*> ArchiveComponents();
  void miShowTextClick();
  void miUseFlatButtonsClick();
  void miConfigureToolbarClick();

  // ---- small window commands
  void acExplorerViewExecute();
  bool ExplorerMaximized() const { return FSplitterMaximized; }
  void acShowFilterExecute();
  void acViewLastOutputExecute();
  void acCancelTaskExecute();

  // ---- the archive view
  void DisplayArchive(const std::string& FileName);
  void EnableMenus();
  void miSortClick(int Column);
  int dfelvArchiveViewSortItems(int Row1, int Row2, int Column) const;
  void dfelvArchiveViewColumnClick(int Column);
  void dfelvArchiveViewClick();
  void dfelvArchiveViewKeyDown(int Key);
  void sbApplyFilterClick();
  void sbRemoveFilterClick();
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
  void acCloseArchiveExecute();

  // ---- extracting and viewing
  // The folder offered as the archive's own for extracting: never one of
  // the program's temporary folders.
  std::string ArchiveFolderToOffer(const std::string& Archive);
  void acExtractExecute();
  // What became of the entries; true (Complete) when every entry came out
  // and nothing was cancelled.
  TRunResult CmdExtract(const TExtractOptions& Extraction);
  void acViewSelectedExecute();
  // Dragging selected entries out of the list: the files are extracted
  // into FDragTemp before the drag starts.
  void dfelvArchiveViewMouseDown();
  // The room for file names in one start of the virus scanner; 0 is the
  // system's limit (tests make it small).
  std::size_t ScanArgumentBudget = 0;
  // Opens a file with the desktop's default program; tests replace it.
  std::function<bool(const std::string& FileName)> ShellOpen;
  // Opens a web address with the desktop's browser.
  std::function<bool(const std::string& Url)> OpenUrl;
  // Runs the drag of the prepared files and gives the action the target
  // took; tests replace it.
  std::function<Qt::DropAction(QMimeData* Data)> DragExecutor;

  // ---- shared handlers of the readers (writers use the progress,
  // password and error handlers too)
  void vskUnZipProgress(vsk::TZipCommon& Sender, vsk::Byte ProgressByFile, vsk::Byte ProgressByArchive);
  void vskUnZipGetPassword(vsk::TZipCommon& Sender, const std::string& FileName, std::string& Password,
                           bool& TryAgain);
  void vskUnZipFileExists(vsk::TZipCommon& Sender, const std::string& FileName, std::string& NewFilename,
                          vsk::TOverwriteMode& OverwriteMode);
  void vskUnGZIPNestedTarFile(vsk::TZipCommon& Sender, const std::string& FileName, bool& doUnTar);
  void vskVorskGetZipFirstDisk(vsk::TZipCommon& Sender, bool& Cancel);
  void vskVorskGetZipLastDisk(vsk::TZipCommon& Sender, bool& Cancel);
  void vskVorskGetZipNextDisk(vsk::TZipCommon& Sender, const std::string& VolumeName, bool& Cancel);
  void vskVorskNextVolume(vsk::TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                          bool fExists, bool& Cancel);

  // ---- adding, deleting and new archives
  void acNewArchiveExecute();
  void acAddExecute();
  void acDeleteExecute();
  bool AddFiles();
  // What the run did: Added is the number of files added (-1: no input
  // existed); the run errors are the lines NotAdded gives and a full disk.
  TRunResult CmdAdd(const TAddOptions& Adding);
  // Drop-in: whether files may be dropped now, and the drop of Paths.
  bool DropFileTargetDragOver() const;
  void DropFileTargetDrop(const std::vector<std::string>& Paths);

  // ---- shared handlers of the writers
  void vskZipActivate(vsk::TZipCommon& Sender);
  void vskZipDeactivate(vsk::TZipCommon& Sender);
  void vskZipFileScanStatus(vsk::TZipCommon& Sender, const std::string& FileName, int FilesCount, double FilesSize);
  void vskZipDiskInDrvErr(vsk::TZipCommon& Sender, bool& Abort);
  void vskZipDiskWriteProtectErr(vsk::TZipCommon& Sender, bool& Abort);
  void vskZipNonWriteableArchive(vsk::TZipCommon& Sender, const std::string& ArchiveFile, bool& WriteToFile);
  void vskZipRenameDupeFile(vsk::TZipCommon& Sender, const std::string& FileName, std::string& NewFilename,
                            bool& Rename);
  void vskZipReplaceFile(vsk::TZipCommon& Sender, const std::string& FileName, const std::string& NewFilename,
                         vsk::TDateTime Date, vsk::TDateTime NewDate, vsk::UInt32 FileSize, vsk::UInt32 NewFileSize,
                         int Attr, int NewAttr, bool& Replace);
  void vskGZipFileExists(vsk::TZipCommon& Sender, const std::string& FileName, vsk::TOverwriteMode& OverwriteMode);

  // ---- the archive file as a whole
  void acMailArchiveExecute();
  void acMoveArchiveExecute();
  void acCopyArchiveExecute();
  void acDeleteArchiveExecute();
  void acPropertiesExecute();
  void acViewCommentExecute();
  void acPrintExecute();
  // Tag 1 text, 2 CSV, 3 HTML.
  void ExportContentListClick(int Tag);
  TUCLinePrinter uclpPrinter;
  // Runs a print job; tests replace it.
  std::function<bool(TUCLinePrinter& Printer)> PrintJob;

  // ---- tools
  void acTestExecute();
  // What the test found; true (Complete) when no error was found.
  TRunResult CmdTest(const std::string& ArchiveName);
  void acRepairExecute();
  // Each tool command is true when it did what it was asked.
  bool CmdRepair(const std::string& ArchiveName);
  void acVirusScanExecute();
  // What could be extracted for the scanner; true (Complete) when every
  // entry was scanned and the scanner ended normally.
  TRunResult CmdVirusScan(const std::string& ArchiveName);
  // Runs the configured scanner over every file below Folder; the failure
  // to report, or "".
  std::string ScanFolder(const std::string& Folder, int ShowCommand);

  // ---- checking out
  void acCheckOutExecute();
  bool FCheckoutPending = false;
  void acInstallExecute();
  void acRenameArchiveExecute();
  void acPasswordExecute();
  void acUUencodeExecute();
  void acConvertExecute();
  // What became of the input's entries; true (Complete) when the new archive
  // was made with every entry.
  TRunResult CmdConvert(const std::string& ArchiveName);
  void acMakeSFXExecute();
  bool CmdMakeSFX(const TMakeSfxOptions& Making);

  // ---- help
  void ShowHelpTopic(const std::string& Keyword);
  THelpWindow& HelpWindow();
  QAction* acCheckVersion = nullptr;

  // ---- favourites, batch jobs, backup sets and the wizard
  void InsertFavourite(const std::string& Path);
  void FavouriteSelect(int Tag);
  void acAddFavouritesExecute();
  void acOrganizeFavoritesExecute();
  void acBatchExecute(int Tag);
  // Makes the archive of the backup set of a script; false when it was not
  // made (the reason was shown).
  bool ExecuteBackup(const std::string& ScriptPath);
  void QuickBackupSelect(const std::string& Caption);
  void acManageBackupsExecute();
  void acWizardExecute();

  // ---- state read by the commands and by tests
  vsk::TRegArchive vskRegArchive = ProgramRegArchive();
  vsk::TVorsk vskVorsk;
  vsk::TZipCheck vskZipCheck;
  vsk::TZipFix ZipFix;
  vsk::TUUEncode vskUUEncode;
  vsk::TArc2Arc vskArc2Arc;
  vsk::TMakeSFX vskMakeSFX;
  int FRepairFound = 0;
  int FRepairGood = 0;
  // One reader and one writer per class the table of archive types names.
  TArchiveComponents Components;
  // Per-run flags of extraction and adding.
  bool FDiskFull = false;
  std::string FDragTemp;
  // No to All in the overwrite question: later existing files are skipped
  // without asking, new ones still extracted.
  bool FSkipExisting = false;
  // The replace question's remembered answer (0 ask, 1 all, -1 none), for
  // one compress run.
  int FReplaceAll = 0;
  TMruList dfmruMainList;
  bool FInteractive = true;
  std::vector<std::string> FTempFolders;
  std::string FSetupFile;
  bool FCancelTask = false;
  std::string FPassword;
  // The locale's date separator found at start.
  char FSavedDateSeparator = '/';

  TArchiveViewModel& Model() const { return *FModel; }
  QString StatusPanelText(int Panel) const;
  int StatusGaugePosition() const;
  bool SimplePanel() const { return FSimplePanel; }
  QString SimpleText() const;
  QMenu* pmMRUListMenu() const { return pmMRUList; }
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
  // ---- the command line's operations
  // The command-line operations are true when they did what was asked.
  bool CmdLineExtractDialog(const std::string& Archive);
  bool CmdLineAddOptions(const TAddOptions& Adding);
  bool CmdLineMail(const TAddOptions& Adding);
  // A self-extracting program of new files, named as Archive with ".exe".
  bool CmdLineMakeSFX(const TAddOptions& Adding);
  // Files packed as Archive's name into a fresh temporary folder; Use gets
  // the archive made there. The folder goes afterwards, however it went;
  // with Spool it is a folder of the mail spool instead, kept when Use
  // says the archive was handed on. False when no archive was made.
  bool WithTempArchive(const std::string& Archive, const std::vector<std::string>& Files,
                       const std::function<bool(const std::string& Made)>& Use, bool Spool = false);
  // The uninstaller's clean-up: the settings go, nothing is written back.
  void RemoveRegistration();

  // ---- busy state and progress
  void SetLedColor(int Color);
  void pbxLedPaint();

  // ---- settings applied to the window
  void ApplyRegSettings();
  void GenerateToolbar();
  void GenerateColumns();
  // Widens the columns the user did not size to fit the texts they show.
  void FitColumns();
  void GenerateSortMenu();
  void miShowToolTipsClick();
  void acConfigurationExecute();
  // The configuration dialog at Page (-1: its first), then on OK the
  // options saved and applied.
  void RunConfiguration(int Page);
  void ToggleToolbarOption(bool& Option, const char* Name);

  // ---- small window commands
  void dfsplMainMaximize();
  void dfsplMainRestore();
  void pmExplorerFilePopup();
  void acExitExecute();

  // ---- the archive view
  bool RefreshList(const std::string& FileName);
  void vskVorskRead(vsk::TZipCommon& Sender, vsk::Int64 Offset, int Filenum);
  void vskVorskActivate(vsk::TZipCommon& Sender);
  void vskVorskDeactivate(vsk::TZipCommon& Sender);
  void DisplayTotals(bool SelectedOnly);
  void rcbFilterSelect();

  // ---- opening and closing archives
  void dfslvExplorerDblClick();

  // ---- components: the reader or writer of a type, null while that
  // format has no component in the library
  vsk::TUnBase* ReaderComponent(vsk::TArcType T) { return Components.Reader(T); }
  vsk::TCompBase* WriterComponent(vsk::TArcType T) { return Components.Writer(T); }

  // ---- extracting and viewing
  // The destination the settings give (last used, the archive's folder, or
  // the configured folder), always absolute; "" when none applies.
  std::string SettingsDestination(const std::string& ArchiveFolder);
  // The default output Name of a command on Archive: its file name in the
  // folder ArchiveFolderToOffer gives, so nothing lands in a folder that
  // goes at exit.
  std::string OutputBeside(const std::string& Archive, const std::string& Name);
  void DropFileSourceDrop();
  void DropFileSourceAfterDrop();
  // The selected rows' stored paths, in list order (folder + "/" + caption,
  // or the caption alone for a root entry).
  std::vector<std::string> SelectedEntryPaths() const;
  // Where the archive's reader put an entry extracted below Folder, by its
  // name guard; false (the guard has reported it) for a name that would
  // leave Folder. Path is empty when the archive has no reader.
  bool ExtractedPath(const std::string& Folder, const std::string& EntryPath, std::string& Path);
  // The library's "Invalid file name" with the names it refused.
  void ShowRefusedNames(const std::vector<std::string>& Names);
  bool DefineCompressComponent();
  bool GetPassword(const std::string& FileName, std::string& Password);

  // ---- shared handlers of the readers (writers use the password and
  // error handlers too)
  void vskUnZipBegin(vsk::TZipCommon& Sender, const std::string& FileName, int Count, bool& Extract);
  void vskUnZipEnd(vsk::TZipCommon& Sender, const std::string& FileName, bool CRC_PASS);
  void vskVorskError(vsk::TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                     const std::string& VolumeID, int ECode);
  void vskVorskCorruptZipHeader(vsk::TZipCommon& Sender, vsk::Byte HeadFlag, bool& Cancel);

  // ---- adding, deleting and new archives
  // The lines the last CmdAdd reported in its message of what was not
  // added; empty when everything was.
  const std::vector<std::string>& NotAdded() const { return FNotAdded; }
  void ShowNotAdded();
  // Asks about the part files a spanned UUencode run may write that exist
  // already; false when the user said No.
  bool MayWriteUUParts(const std::string& Input, const std::string& Output, int KBytesPerVolume);
  void apsdAddOptionsTypeChange();

  // ---- shared handlers of the writers
  void vskZipBegin(vsk::TZipCommon& Sender, const std::string& FileName, int Count, bool& Extract);
  void vskZipEnd(vsk::TZipCommon& Sender, const std::string& FileName, bool CRC_PASS);
  void vskZipDeleteFile(vsk::TZipCommon& Sender, const std::string& FileName, int Count, int MaxCount);
  void vskZipRecurseDir(vsk::TZipCommon& Sender, const std::string& Directory);
  void vskZipInsertDisk(vsk::TZipCommon& Sender, const std::string& VolumeName, bool& Cancel);
  void vskZipClearDisk(vsk::TZipCommon& Sender, const std::string& Drive, vsk::Int64 RequiredSpace,
                       vsk::Int64 FreeSpace, vsk::Int64 TotalSpace, bool& Cancel);

  // ---- the archive file as a whole
  // Hands File to the mail program as the one attachment of a new mail;
  // any failure is reported.
  // True when the mail tool took the archive.
  bool MailArchive(const std::string& File);
  // Deletes the archive (to the trash) and closes it; false when it could not.
  bool DeleteArchive(const std::string& FileName);
  // The ZIP archive comment: shown after opening when there is one (with
  // the CommentsOpen setting), or on request even when empty.
  void DisplayCommentIfExist();
  bool ExportText(const std::string& FileName);
  bool ExportCSV(const std::string& FileName);
  bool ExportHTML(const std::string& FileName);
  TSaveDialog& sdgSave();

  // ---- tools
  // Tells the verdict of a scan of what Result's run extracted (Scanned:
  // the scanner was started; Failure: how it failed) and lists the
  // entries left out; the scan's own failures join Result.
  void ReportScan(TRunResult& Result, const std::string& Failure, bool Scanned, const std::string& Archive);

  // ---- checking out
  // The pending-check-out question: false when the user chose to stop.
  bool ExitCheckoutCheck();
  std::string FCheckoutFolder;  // with a trailing "/"
  std::string FCheckoutGroup;   // the group's name in the menu
  // The folder the check-out made: only that folder is deleted later.
  TFileId FCheckoutFolderId;
  // Whether the check-out made its folder; when it did not (the user's own
  // folder), what it put at the top of the folder, each by its file.
  bool FCheckoutMadeFolder = false;
  std::vector<std::pair<std::string, TFileId>> FCheckoutEntries;

  // ---- help
  void ShowHelpContents(bool Search);
  // The version check; "Download Now" opens the download page.
  void acCheckVersionExecute();

  // ---- favourites, batch jobs, backup sets and the wizard
  void RefreshFavourites();
  void ClearFavourites();
  bool CheckDupFavourite(const std::string& Path) const;
  // The folder selected in the explorer pane ("" without one).
  std::string ExplorerFolder() const;
  std::string GetBackupDir() const;
  void GenerateBackupMenu();
  void ClearQuickBackups();
  void InsertQuickBackup(const std::string& Caption);

  // ---- file associations
  void UpdateRegArchiveExt();
  void ApplyFileAssociations();
  // The association prompt; true when it was answered Yes.
  bool ShowFileAssociationDlg();
  // The start-up check: asks when the archive types are not associated.
  void CheckFileAssociations();

  // ---- state of the commands
  bool FTestFailed = false;
  // What the converter reported during its last run.
  int FConvertErrors = 0;
  bool FConvertCompressed = false;
  bool FConvertChecked = false;
  // Files the converter's integrity check has judged in its current run.
  int FIntegrityCount = 0;
  int FRepairUnchecked = 0;
  // The component refused the operation for the archive's type.
  bool FUnsupportedType = false;
  // The duplicate-name dialog's Skip All, for one compress run.
  bool FSkipAllDupes = false;
  // Set while archives that are no user's (a backup's work file) are
  // made and listed: they stay off the recent list.
  bool FKeepRecentList = false;
  bool FSpanDisks = true;
  // Saving of the window state, the list layout and the recent list at close.
  bool FSaveFormState = true;
  bool FSaveListLayout = true;
  QMenu* pmToolbar() const { return FToolbarMenu; }
  QMenu* pmExplorerFile() const { return FExplorerMenu; }
  TOpenDialog& odgOpen();

  // ---- building the window
  void FormCreate();
  void FormDestroy();
  void BuildStatusBar();
  void BuildExplorer();
  void BuildMenus();
  void ConnectHandlers();
  void SetIcons();
  void SetSimplePanel(bool Simple);
  void SetSimpleText(const QString& Text);
  // The status text of a running operation, painted when the progress is:
  // Prefix, then Name shortened to the status bar's width less Margin
  // pixels (Margin < 0: as it is).
  void ShowRunStatus(const QString& Prefix, const std::string& Name = {}, int Margin = -1);
  // A line for the output window, appended when the progress is painted.
  void OutputLine(const std::string& Line);
  void ClearOutput();
  TProgressThrottle::TSinks PaintSinks();
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
  void ConnectComponentHandlers();
  void ConnectReaderHandlers(vsk::TUnBase& Reader);
  void ConnectWriterHandlers(vsk::TCompBase& Writer);
  // The add, delete and new-archive commands, the drop target and the
  // add-options dialog's type change.
  void ConnectAddCommands();
  // The adding the add-options dialog's panel chose, of Files to Archive.
  TAddOptions AddOptionsChosen(const std::string& Archive, const std::vector<std::string>& Files,
                               bool ShowResult) const;
  void ConnectFileCommands();
  void ConnectToolCommands();
  void ConnectHelpCommands();
  void ConnectMakeSFX();
  void ConnectJobCommands();
  void ShowComment(bool EvenEmpty);
  // The rows as the list shows them, and the archive file's date text.
  std::vector<TContentRow> ContentRows() const;
  std::string ArchiveDateText() const;
  // The status bar's width less Margin pixels, for shortened paths.
  int StatusTextWidth(int Margin) const;
  // Text shortened with a path ellipsis to the status bar's width less Margin.
  QString StatusElided(const QString& Text, int Margin) const;
  // The reader for the lister's archive type with the archive set (null
  // when the type has none); it becomes the current reader.
  vsk::TUnBase* ChooseReader(const std::string& ArchiveFile);
  // Common settings of a reader before an extraction run into ExtractDir
  // (absolute); the folder in Extraction is not used.
  void PrepareReader(vsk::TUnBase& Reader, const std::string& ExtractDir, const TExtractOptions& Extraction);
  // CmdExtract's two runs: every entry of the archive named, or the
  // entries selected in the list.
  TRunResult ExtractArchive(const TExtractOptions& Extraction);
  TRunResult ExtractSelected(const TExtractOptions& Extraction);
  // Around an extraction run: progress window, status bar and LED, then the
  // result report and a close asked for during the run.
  void BeginReaderRun();
  void EndReaderRun(const std::function<void()>& Report = {});
  // Runs Reader's extraction, collecting what became of each entry.
  TRunResult ExtractCollecting(vsk::TUnBase& Reader);
  // The result message of an extraction (none when nothing applies), then
  // the output window with the entries left out.
  void ShowExtractResult(const TRunResult& Result, const std::string& Archive);
  // The output window with Title and the entries left out, shown modally.
  void ShowLeftOut(const TRunResult& Result, const std::string& Title);
  // The error block of the output window and the run's flags.
  void ShowErrorBlock(vsk::TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg, int ECode);

  TArchiveViewModel* FModel = nullptr;
  TFileTypes FFileTypes;
  QImage FImgLed;
  int FLedColor = 0;
  QWidget* pbxLed = nullptr;
  QLabel* FPanels[6] = {};
  QProgressBar* FRatioGauge = nullptr;
  QLabel* FSimpleLabel = nullptr;
  // Paints the running operation's progress, status text and output lines
  // at a steady rate, and lets the window's events through.
  TProgressThrottle FPaint{PaintSinks()};
  QToolButton* sbViewComments = nullptr;
  QToolButton* sbProperties = nullptr;
  QMenu* FToolbarMenu = nullptr;
  QMenu* FExplorerMenu = nullptr;
  QFileSystemModel* FFolderModel = nullptr;
  QFileSystemModel* FFileModel = nullptr;
  bool FSimplePanel = false;
  // Columns the user sized keep their width; the others grow to
  // fit their texts after each listing.
  std::set<int> FUserSizedColumns;
  bool FSizingColumns = false;
  bool FSplitterMaximized = false;
  int FExplorerHeight = 160;
  int FSortColumn = 0;
  Qt::SortOrder FSortOrder = Qt::AscendingOrder;
  bool FShown = false;
  // The user chose to close the archive while the lister or a reader was
  // running: it is closed once that run has returned.
  bool FCloseAfterRun = false;
  QPoint FDragStart;
  bool FDragArmed = false;
  bool FClosed = false;
  int FExitCode = 0;
  // The result the running reader's entries are collected into, if any.
  TRunResult* FRunResult = nullptr;
  std::vector<std::string> FNotAdded;
  // What the writer of the running CmdAdd reported, one line per error,
  // when one is collecting.
  std::vector<std::string>* FAddErrors = nullptr;
  int FBusyDepth = 0;
  std::unique_ptr<TOpenDialog> FOpenDialog;
  std::unique_ptr<TApOpenDialog> FAddDialog;
  std::unique_ptr<TApSaveDialog> FNewDialog;
  std::unique_ptr<TApSaveDialog> FAddOptionsDialog;
  std::unique_ptr<TSaveDialog> FSaveDialog;
  QPointer<THelpWindow> FHelpWindow;
};

extern TfmMain* fmMain;

}  // namespace brevane
