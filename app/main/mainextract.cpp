// The main window's extraction side: which reader serves the open archive,
// the extract and view commands, dragging entries out of the list, and the
// handlers that answer the readers' events (shared with the writers for
// progress, passwords and errors).

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <filesystem>

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/extractdlg.h"
#include "app/dialogs/getpassword.h"
#include "app/dialogs/overwritedlg.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/archivemodel.h"
#include "app/main/folders.h"
#include "app/main/formatsettings.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/program.h"
#include "app/main/settings.h"
#include "app/main/tarquestions.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "base/dates.h"
#include "archive/core/fileprims.h"
#include "base/messages.h"
#include "base/textcase.h"

namespace brevane {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool MakeFolders(const std::string& Folder) {
  if (Folder.empty()) return false;
  std::error_code ec;
  if (std::filesystem::is_directory(Folder, ec)) return true;
  std::filesystem::create_directories(Folder, ec);
  return std::filesystem::is_directory(Folder, ec);
}

// Restores the current folder when a command ends, however it ends.
class TCurrentDirKeeper {
 public:
  TCurrentDirKeeper() : FSaved(QDir::currentPath()) {}
  ~TCurrentDirKeeper() { QDir::setCurrent(FSaved); }
  TCurrentDirKeeper(const TCurrentDirKeeper&) = delete;
  TCurrentDirKeeper& operator=(const TCurrentDirKeeper&) = delete;

 private:
  QString FSaved;
};

// The selected entries as viewing and dragging out take them, into Folder:
// with their folders, dated when written, no question asked.
TExtractOptions DragOutExtraction(const std::string& Folder) {
  TExtractOptions extraction;
  extraction.Destination = Folder;
  extraction.UseStoredDirs = true;
  extraction.RestoreFileAttr = false;
  extraction.FileDate = false;
  extraction.ConfirmOverwrites = false;
  extraction.CreateStoredDirs = true;
  extraction.SelectedOnly = true;
  return extraction;
}

std::string SizeAndDate(vsk::Int64 Size, vsk::TDateTime Date) {
  return std::to_string(Size) + " bytes, " + DateTimeToStr(Date);
}

}  // namespace

// ---- components

void TfmMain::ConnectComponentHandlers() {
  vskVorsk.OnError = [this](vsk::TZipCommon& S, const std::string& F, const std::string& X, const std::string& V,
                            int C) { vskVorskError(S, F, X, V, C); };
  vskVorsk.OnCorruptZipHeader = [this](vsk::TZipCommon& S, vsk::Byte H, bool& C) { vskVorskCorruptZipHeader(S, H, C); };
  vskVorsk.OnGetZipFirstDisk = [this](vsk::TZipCommon& S, bool& C) { vskVorskGetZipFirstDisk(S, C); };
  vskVorsk.OnGetZipLastDisk = [this](vsk::TZipCommon& S, bool& C) { vskVorskGetZipLastDisk(S, C); };
  vskVorsk.OnGetZipNextDisk = [this](vsk::TZipCommon& S, const std::string& V, bool& C) {
    vskVorskGetZipNextDisk(S, V, C);
  };
  vskVorsk.OnNextVolume = [this](vsk::TZipCommon& S, std::string& V, const std::string& Id, bool E, bool& C) {
    vskVorskNextVolume(S, V, Id, E, C);
  };
  for (vsk::TUnBase* r : Components.Readers()) ConnectReaderHandlers(*r);
  for (vsk::TCompBase* w : Components.Writers()) ConnectWriterHandlers(*w);
  // The gzip step asks before it replaces an existing file.
  auto& gzip = Components.WriterAs<vsk::TGZip>();
  gzip.OnFileExists = [this](vsk::TZipCommon& S, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
    vskGZipFileExists(S, F, M);
  };
  // The tar.gz step asks about the ".gz" it adds to and the file at its tar's name.
  Components.WriterAs<vsk::TTar>().OnFileExists =
      [](vsk::TZipCommon& S, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& M) {
        AskTarFileExists(S, F, M);
      };
  if (!ShellOpen)
    ShellOpen = [](const std::string& FileName) {
      return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(FileName)));
    };
  if (!DragExecutor)
    DragExecutor = [this](QMimeData* Data) {
      auto* drag = new QDrag(dfelvArchiveView);
      drag->setMimeData(Data);
      return drag->exec(Qt::CopyAction, Qt::CopyAction);
    };
}

void TfmMain::ConnectReaderHandlers(vsk::TUnBase& R) {
  R.OnProgress = [this](vsk::TZipCommon& S, vsk::Byte F, vsk::Byte A) { vskUnZipProgress(S, F, A); };
  R.OnBegin = [this](vsk::TZipCommon& S, const std::string& F, int N, bool& E) { vskUnZipBegin(S, F, N, E); };
  R.OnEnd = [this](vsk::TZipCommon& S, const std::string& F, bool P) { vskUnZipEnd(S, F, P); };
  R.OnGetPassword = [this](vsk::TZipCommon& S, const std::string& F, std::string& P, bool& T) {
    vskUnZipGetPassword(S, F, P, T);
  };
  R.OnFileExists = [this](vsk::TZipCommon& S, const std::string& F, std::string& N, vsk::TOverwriteMode& M) {
    vskUnZipFileExists(S, F, N, M);
  };
  R.OnNestedTarFile = [this](vsk::TZipCommon& S, const std::string& F, bool& D) { vskUnGZIPNestedTarFile(S, F, D); };
  R.OnError = vskVorsk.OnError;
  R.OnCorruptZipHeader = vskVorsk.OnCorruptZipHeader;
  R.OnGetZipFirstDisk = vskVorsk.OnGetZipFirstDisk;
  R.OnGetZipLastDisk = vskVorsk.OnGetZipLastDisk;
  R.OnGetZipNextDisk = vskVorsk.OnGetZipNextDisk;
  R.OnNextVolume = vskVorsk.OnNextVolume;
  // The tar a gzip layer held was written and unpacked in its turn: it
  // stays, and the result names it.
  if (auto* gzip = dynamic_cast<vsk::TUnGZip*>(&R))
    gzip->OnChangeArchive = [this](vsk::TZipCommon&, const std::string& Tar, vsk::TArcType) {
      if (FRunResult) FRunResult->NoteKept(Tar);
    };
}

vsk::TUnBase* TfmMain::ChooseReader(const std::string& ArchiveFile) {
  const std::string_view kind = vsk::ArcTypeRow(vskVorsk.ArcType()).ReaderClass;
  vsk::TUnBase* reader = ReaderComponent(vskVorsk.ArcType());
  if (!reader) return nullptr;
  if (kind == "TUnZip" || kind == "TUnJar") reader->SetZipCmntBufSize(vskVorsk.ZipCmntBufSize());
  // Setting the name detects again; a disk of a spanned set that holds no
  // end record keeps the one the lister found on the last disk.
  if (kind == "TUnZip") reader->ZipEndRec = vskVorsk.ZipEndRec;
  try {
    reader->SetArchiveFile(ArchiveFile);
  } catch (const std::exception& e) {
    vskVorskError(*reader, ArchiveFile, e.what(), "0", vsk::msg::ErrorOpeningFile);
    ShowError(e.what());
    return nullptr;
  }
  CurrentReader = reader;
  return reader;
}

bool TfmMain::DefineCompressComponent() {
  CurrentWriter = nullptr;
  const vsk::TArcType type = vskVorsk.ArcType();
  if (!vsk::ArcTypeHasWriter(type)) {
    ShowInformation(msgtext::kCompressNotSupported);
    return false;
  }
  const vsk::TArcType kind = WriterTypeForArchive(type);
  if (kind == vsk::atNA) return false;  // gzip files: no writer, no message
  CurrentWriter = Components.WriterToMake(kind);
  if (!CurrentWriter) ShowInformation(msgtext::kCompressNotSupported);
  return CurrentWriter != nullptr;
}

// ---- extraction

std::vector<std::string> TfmMain::SelectedEntryPaths() const {
  std::vector<int> rows;
  for (const QModelIndex& i : dfelvArchiveView->selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  std::vector<std::string> paths;
  paths.reserve(rows.size());
  for (int r : rows) {
    const TViewRow& row = FModel->Row(r);
    paths.push_back(row.Data.Folder + row.Caption.toStdString());
  }
  return paths;
}

void TfmMain::PrepareReader(vsk::TUnBase& Reader, const std::string& ExtractDir, const TExtractOptions& Extraction) {
  vsk::TReaderSettings settings;
  settings.ExtractDir = ExtractDir;
  settings.UseStoredDirs = Extraction.UseStoredDirs;
  settings.DateAttribute = Extraction.FileDate ? vsk::daFileDate : vsk::daSysDate;
  settings.ConfirmOverwrites = Extraction.ConfirmOverwrites;
  // With confirming, the mode the last answer left stays.
  if (!Extraction.ConfirmOverwrites) settings.OverwriteMode = vsk::omOverwrite;
  settings.RestoreFileAttr = Extraction.RestoreFileAttr;
  settings.CreateStoredDirs = Extraction.CreateStoredDirs;
  settings.ApplyTo(Reader);
  FSkipExisting = false;
}

void TfmMain::BeginReaderRun() {
  StartProgress();
  if (FInteractive) {
    SetSimplePanel(true);
    SetLedColor(kLedBusy);
  }
}

void TfmMain::EndReaderRun(const std::function<void()>& Report) {
  EndProgress();
  if (Report) Report();
  if (FInteractive) {
    SetSimplePanel(false);
    SetLedColor(kLedIdle);
  }
  // A close chosen while the run was on the stack happens now.
  if (FCloseAfterRun) {
    FCloseAfterRun = false;
    acCloseArchiveExecute();
  }
}

TRunResult TfmMain::ExtractCollecting(vsk::TUnBase& Reader) {
  TRunResult result;
  FRunResult = &result;
  Reader.Extract();
  FRunResult = nullptr;
  result.Finish(Reader.GetCancel());
  return result;
}

void TfmMain::ShowExtractResult(const TRunResult& Result, const std::string& Archive) {
  bool isError = false;
  const std::string text = ExtractResultText(Result, Options.ConfirmDecompress, isError);
  if (!text.empty()) MessageDlg(text, isError ? mtError : mtInformation, mbOK);
  if (!Result.Cancelled && Result.Failed()) ShowLeftOut(Result, msgtext::kLeftOutTitle + Archive);
}

void TfmMain::ShowLeftOut(const TRunResult& Result, const std::string& Title) {
  if (!fmViewOutput) return;
  FPaint.Flush();
  // Below the last error block, which tells the library's details.
  for (const std::string& line : FailureListing(Result, Title)) fmViewOutput->meOutput->appendPlainText(Q(line));
  UI().ShowModal(*fmViewOutput);
}

std::string TfmMain::ArchiveFolderToOffer(const std::string& Archive) {
  // An archive in one of the program's temporary folders (a viewed entry)
  // stands for the archive it came from: its folder goes when the program
  // ends, and with it whatever is extracted there.
  std::string fallback = Options.ExtractFolder;
  if (fallback.empty() || fallback[0] != '/' || !QFileInfo(Q(fallback)).isDir())
    fallback = GetSpecialFolderPath(sfProfile);
  return LastingFolderOf(Archive, fallback);
}

std::string TfmMain::OutputBeside(const std::string& Archive, const std::string& Name) {
  const std::string folder = ArchiveFolderToOffer(Archive);
  return (folder == "/" ? folder : folder + "/") + PathFilePart(Name);
}

std::string TfmMain::SettingsDestination(const std::string& ArchiveFolder) {
  // Only an absolute folder is taken: a relative one would depend on
  // whatever the current folder happens to be.
  std::string destination;
  if (Options.ExtractLast)
    ShowExceptions([&] { destination = ReadSettingString("Folders", "ExtractLastPath"); });
  else if (Options.ExtractSame)
    destination = ArchiveFolder;
  else if (!Options.ExtractFolder.empty() && Options.ExtractFolder[0] == '/' &&
           QFileInfo(Q(Options.ExtractFolder)).isDir())
    destination = Options.ExtractFolder;
  if (InTempFolder(destination)) destination = ArchiveFolder;
  return !destination.empty() && destination[0] == '/' ? destination : std::string();
}

void TfmMain::acExtractExecute() {
  if (!vskVorsk.ArchiveFile().empty() && ArchiveVanished()) return;
  if (vskVorsk.ArchiveFile().empty() || !vsk::IsValidArcType(vskVorsk.ArcType())) return;
  TfmExtractDlg dlg(this);
  CurrentWriter = nullptr;
  const std::string archive = AbsolutePath(vskVorsk.ArchiveFile());
  const std::string archiveFolder = ArchiveFolderToOffer(archive);
  TCurrentDirKeeper keeper;

  const std::vector<std::string> selected = SelectedEntryPaths();
  // One selected row is what any click on the list leaves: the choice is
  // offered but all files stay chosen. Rows the user picked out (more
  // than one) are what the dialog starts with.
  dlg.SetFilesIndex(selected.size() > 1 ? 0 : 1);
  dlg.rgFiles->setEnabled(!selected.empty());
  std::string destination = SettingsDestination(archiveFolder);
  // With no destination from the settings the tree starts at the archive's
  // folder, which becomes the destination; so it does when no reader has
  // been used yet.
  if (!CurrentReader || destination.empty()) dlg.ShowFolderInTree(archiveFolder);
  if (!destination.empty()) {
    dlg.SetDestination(destination);
    QDir::setCurrent(Q(destination));
  }

  if (UI().ShowModal(dlg) != mrOk) return;
  const bool selectedFiles = dlg.FilesIndex() == 0;
  if (selectedFiles && selected.empty()) return;
  destination = AbsolutePath(dlg.Destination());
  if (!MakeFolders(destination)) {
    ShowError(msgtext::kExtractDirFailed);
    return;
  }
  if (Options.ExtractLast && !OnFloppyDrive(destination))
    ShowExceptions([&] { WriteSettingString("Folders", "ExtractLastPath", destination); });

  vsk::TUnBase* reader = ChooseReader(archive);
  if (!reader) {
    if (!ReaderComponent(vskVorsk.ArcType()))
      ShowInformation(msgtext::kExtractNotSupported);
    return;
  }
  reader->Passwords.clear();
  PrepareReader(*reader, destination, dlg.Choices());

  BeginReaderRun();
  TRunResult result;
  if (!selectedFiles) {
    reader->RecurseDirs = true;
    reader->FileSpec = vskVorsk.FileSpec;
    result = ExtractCollecting(*reader);
  } else {
    reader->RecurseDirs = false;
    const auto elapsed = std::move(reader->OnElapsedTime);
    reader->OnElapsedTime = nullptr;
    reader->FileSpec = FModel->RowCount() > 0 ? selected : vskVorsk.FileSpec;
    result = ExtractCollecting(*reader);
    reader->OnElapsedTime = elapsed;
  }
  reader->RecurseDirs = true;
  EndReaderRun([&] { ShowExtractResult(result, archive); });
}

TRunResult TfmMain::CmdExtract(const TExtractOptions& Extraction) {
  return Extraction.SelectedOnly ? ExtractSelected(Extraction) : ExtractArchive(Extraction);
}

TRunResult TfmMain::ExtractArchive(const TExtractOptions& Extraction) {
  const std::string& ArchiveFile = Extraction.Archive;
  CurrentWriter = nullptr;
  // Taken as an absolute folder once, before the run moves anything.
  const std::string ExtractDir = AbsolutePath(Extraction.Destination);
  try {
    vskVorsk.SetArchiveFile(ArchiveFile);
  } catch (const std::exception&) {
    // An unreadable file has no reader: the message below tells.
  }
  // A file no reader takes gets no folder: nothing is made before the run
  // knows it can go on.
  vsk::TUnBase* reader = ChooseReader(ArchiveFile);
  if (!reader) {
    // A reader that could not open the file has said so.
    if (!ReaderComponent(vskVorsk.ArcType()))
      ShowInformation(std::string(msgtext::kExtractNotSupported) + "\n\r" + ArchiveFile);
    return {};
  }
  if (!MakeFolders(ExtractDir)) {
    ShowError(msgtext::kCmdExtractDirFailed);
    return {};
  }
  if (Options.ExtractLast && !OnFloppyDrive(ExtractDir))
    ShowExceptions([&] { WriteSettingString("Folders", "ExtractLastPath", ExtractDir); });
  PrepareReader(*reader, ExtractDir, Extraction);
  BeginReaderRun();
  reader->FileSpec = {"*.*"};
  reader->RecurseDirs = true;
  const TRunResult result = ExtractCollecting(*reader);
  EndReaderRun([&] {
    if (Extraction.ShowResult) ShowExtractResult(result, ArchiveFile);
  });
  return result;
}

TRunResult TfmMain::ExtractSelected(const TExtractOptions& Extraction) {
  if (vskVorsk.ArchiveFile().empty() || !vsk::IsValidArcType(vskVorsk.ArcType())) return {};
  CurrentWriter = nullptr;
  const std::string ExtractDir = AbsolutePath(Extraction.Destination);
  if (!ReaderComponent(vskVorsk.ArcType())) {
    ShowInformation(msgtext::kExtractNotSupported);
    return {};
  }
  if (!MakeFolders(ExtractDir)) {
    ShowError(msgtext::kCmdExtractDirFailed);
    return {};
  }
  vsk::TUnBase* reader = ChooseReader(vskVorsk.ArchiveFile());
  if (!reader) return {};
  PrepareReader(*reader, ExtractDir, Extraction);
  BeginReaderRun();
  reader->RecurseDirs = false;
  reader->FileSpec = SelectedEntryPaths();
  raise();
  activateWindow();
  TRunResult result;
  if (!reader->FileSpec.empty()) result = ExtractCollecting(*reader);
  reader->RecurseDirs = true;
  EndReaderRun([&] {
    if (Extraction.ShowResult) ShowExtractResult(result, vskVorsk.ArchiveFile());
  });
  return result;
}

// ---- viewing and dragging out

void TfmMain::acViewSelectedExecute() {
  if (vskVorsk.ArchiveFile().empty()) return;
  if (ArchiveVanished()) return;
  const std::vector<std::string> selected = SelectedEntryPaths();
  if (selected.empty()) {
    ShowInformation(msgtext::kNoFileToView);
    return;
  }
  // Made at once under a fresh name, so no other process can take it.
  const std::string folder = GetTempFolderName();
  if (folder.empty()) {
    ShowError(msgtext::kViewFolderFailed);
    return;
  }
  FTempFolders.push_back(folder);
  // An archive viewed from here is traced back to this one.
  NoteTempSource(folder, AbsolutePath(vskVorsk.ArchiveFile()));
  CmdExtract(DragOutExtraction(folder + "/"));
  std::vector<std::string> refused;
  for (const std::string& path : selected) {
    std::string file;
    if (!ExtractedPath(folder, path, file)) {
      refused.push_back(path);
      continue;
    }
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec) && ShellOpen) ShellOpen(file);
  }
  ShowRefusedNames(refused);
}

bool TfmMain::ExtractedPath(const std::string& Folder, const std::string& EntryPath, std::string& Path) {
  Path.clear();
  vsk::TUnBase* reader = ReaderComponent(vskVorsk.ArcType());
  if (!reader) return true;
  // The reader's own name guard, as in its run: the path stays inside
  // Folder, and a name that would leave it is refused and reported.
  reader->SetExtractDir(Folder);
  reader->UseStoredDirs = true;
  if (!reader->PrepareFileName(EntryPath)) return false;
  Path = reader->CurrentFileName;
  return true;
}

void TfmMain::ShowRefusedNames(const std::vector<std::string>& Names) {
  if (Names.empty()) return;
  std::string text = vsk::MessageText(vsk::msg::InvalidFileName);
  for (const std::string& n : Names) text += "\r\n" + n;
  ShowError(text);
}

void TfmMain::dfelvArchiveViewMouseDown() {
  if (!acExtract->isEnabled() || !FDragTemp.empty()) return;
  const std::vector<std::string> selected = SelectedEntryPaths();
  if (selected.empty()) return;
  // The files must exist before the drag starts: a file manager may read
  // them at any time after the drop, even after the drag has returned.
  FDragTemp = GetTempFolderName();
  if (FDragTemp.empty()) {
    ShowError(msgtext::kViewFolderFailed);
    return;
  }
  FTempFolders.push_back(FDragTemp);
  DropFileSourceDrop();
  QList<QUrl> urls;
  std::vector<std::string> refused;
  for (const std::string& path : selected) {
    std::string file;
    if (!ExtractedPath(FDragTemp, path, file)) {
      refused.push_back(path);
      continue;
    }
    if (file.empty()) continue;
    // Only the top level of each entry is handed over: folders carry their
    // contents with them.
    const std::string inside = file.substr(FDragTemp.size() + 1);
    const auto slash = inside.find('/');
    const std::string top = FDragTemp + "/" + (slash == std::string::npos ? inside : inside.substr(0, slash));
    const QUrl url = QUrl::fromLocalFile(Q(top));
    std::error_code ec;
    if (std::filesystem::exists(top, ec) && !urls.contains(url)) urls.push_back(url);
  }
  ShowRefusedNames(refused);
  if (!urls.isEmpty()) {
    auto* data = new QMimeData;
    data->setUrls(urls);
    if (DragExecutor) DragExecutor(data);
  }
  DropFileSourceAfterDrop();
}

void TfmMain::DropFileSourceDrop() {
  if (FDragTemp.empty()) return;
  CmdExtract(DragOutExtraction(FDragTemp));
}

void TfmMain::DropFileSourceAfterDrop() {
  // The folder stays until the program ends (it is among the temporary
  // folders): the target may still be copying from it.
  FDragTemp.clear();
}

// ---- shared handlers

int TfmMain::StatusTextWidth(int Margin) const { return std::max(40, dfstbMainStatus->width() - Margin); }

void TfmMain::vskUnZipProgress(vsk::TZipCommon& Sender, vsk::Byte ProgressByFile, vsk::Byte ProgressByArchive) {
  FPaint.Progress(ProgressByFile, ProgressByArchive);
  FPaint.Pump();
  if (fmProgress && fmProgress->Cancelled()) {
    vsk::TZipCommon* running = CurrentWriter   ? static_cast<vsk::TZipCommon*>(CurrentWriter)
                               : CurrentReader ? static_cast<vsk::TZipCommon*>(CurrentReader)
                                               : &Sender;
    if (running && !running->GetCancel()) {
      running->SetCancel(true);
      // A writer whose new archive is already in place has succeeded and
      // takes no cancel: nothing of the run is to be undone then.
      if (running->GetCancel()) {
        SetSimpleText(QString::fromUtf8(msgtext::kAborting));
        dfstbMainStatus->repaint();
        dfelvArchiveView->unsetCursor();
        FCancelTask = true;
      }
    }
  }
  if (fmProgress && ProgressByArchive >= 100) fmProgress->buCancel->setEnabled(false);
}

void TfmMain::vskUnZipBegin(vsk::TZipCommon&, const std::string& FileName, int, bool&) {
  ShowRunStatus(QString::fromUtf8(msgtext::kExtractingPrefix), FileName, 55);
}

void TfmMain::vskUnZipEnd(vsk::TZipCommon& Sender, const std::string& FileName, bool CRC_PASS) {
  FPaint.PaintIfDue();
  // A cancelled entry is not a damaged one, nor is one that was refused or
  // could not be written: its own error was reported.
  const auto* reader = dynamic_cast<const vsk::TUnBase*>(&Sender);
  const vsk::TEntryOutcome outcome = reader ? reader->EntryOutcome : vsk::eoPending;
  if (!CRC_PASS && !Sender.GetCancel() &&
      (outcome == vsk::eoPending || outcome == vsk::eoWritten || outcome == vsk::eoFailedCheck)) {
    ShowErrorBlock(Sender, FileName, "", vsk::msg::CrcFailed);
  }
  if (FRunResult) FRunResult->NoteEnd(Sender, FileName, CRC_PASS);
}

bool TfmMain::GetPassword(const std::string& FileName, std::string& Password) {
  TfmGetPassword dlg(this);
  dlg.SetFileName(FileName);
  if (UI().ShowModal(dlg) != mrOk) return false;
  Password = dlg.PasswordText();
  return true;
}

void TfmMain::vskUnZipGetPassword(vsk::TZipCommon&, const std::string& FileName, std::string& Password,
                                  bool& TryAgain) {
  if (!FPassword.empty()) {
    Password = FPassword;
    return;
  }
  std::string answer;
  if (GetPassword(vsk::AsciiLowerCase(PathFilePart(FileName)), answer)) {
    Password = answer;
    FPassword = answer;
  } else {
    TryAgain = false;
  }
}

void TfmMain::vskUnZipFileExists(vsk::TZipCommon& Sender, const std::string& FileName, std::string& NewFilename,
                                 vsk::TOverwriteMode& OverwriteMode) {
  NewFilename = FileName;
  if (FSkipExisting) {
    OverwriteMode = vsk::omSkip;
    return;
  }
  struct stat st {};
  vsk::Int64 oldSize = 0;
  vsk::TDateTime oldDate = 0;
  if (::stat(FileName.c_str(), &st) == 0) {
    oldSize = static_cast<vsk::Int64>(st.st_size);
    oldDate = vsk::UnixTimeToDateTime(static_cast<vsk::Int64>(st.st_mtime));
  }
  vsk::Int64 newSize = 0;
  vsk::TDateTime newDate = vsk::DosDateTimeToDateTime(0x00210000);  // 1980-01-01 00:00
  std::string entryName = PathFilePart(FileName);
  if (auto* reader = dynamic_cast<vsk::TUnBase*>(&Sender)) {
    entryName = PathFilePart(reader->EntryName);
    if (vsk::ArcTypeRow(Sender.ArcType()).SizesTrusted) {
      newSize = reader->EntryUnpackedSize;
      newDate = vsk::DosDateTimeToDateTime(reader->EntryDosDateTime);
    }
  }

  TfmOverwriteDlg dlg(this);
  dlg.FFileName = FileName;
  const QFontMetrics metrics(dlg.laReplaceFilename->font());
  const int width = std::max(120, dlg.laReplaceFilename->width());
  dlg.laReplaceFilename->setText(metrics.elidedText(Q(FileName), Qt::ElideMiddle, width) + QLatin1Char('\n') +
                                 Q(SizeAndDate(oldSize, oldDate)));
  dlg.laWithName->setText(Q(entryName) + QLatin1Char('\n') + Q(SizeAndDate(newSize, newDate)));
  switch (UI().ShowModal(dlg)) {
    case mrYes:
      OverwriteMode = vsk::omOverwrite;
      Sender.ConfirmOverwrites = true;
      break;
    case mrNo:
      OverwriteMode = vsk::omSkip;
      Sender.ConfirmOverwrites = true;
      break;
    case mrOverwriteYesToAll:
      OverwriteMode = vsk::omOverwrite;
      Sender.ConfirmOverwrites = false;
      break;
    case mrOverwriteNoToAll:
      // Skips the files that exist without asking again; files that do
      // not exist yet are still extracted.
      OverwriteMode = vsk::omSkip;
      FSkipExisting = true;
      break;
    case mrOverwriteRename:
      NewFilename = dlg.FNewName;
      // A bare name stays in the folder of the file it replaces.
      if (!NewFilename.empty() && NewFilename.find('/') == std::string::npos)
        NewFilename = ParentFolder(FileName) + "/" + NewFilename;
      OverwriteMode = vsk::omOverwrite;
      Sender.ConfirmOverwrites = true;
      break;
    case mrCancel:
      Sender.SetCancel(true);
      Sender.ConfirmOverwrites = true;
      break;
    default:
      break;
  }
}

void TfmMain::vskUnGZIPNestedTarFile(vsk::TZipCommon&, const std::string& FileName, bool& doUnTar) {
  const std::string text = std::string(msgtext::kNestedTarTitle) + "\r\r" + msgtext::kNestedTarFile + FileName + "\r" +
                           msgtext::kNestedTarIsTar + "\r\r" + msgtext::kNestedTarQuestion;
  if (MessageDlg(text, mtConfirmation, mbYesNo) == mrYes) doUnTar = true;
}

namespace {

// The class name an error block shows for a component of the main window.
std::string ComponentClassName(const TfmMain& M, const vsk::TZipCommon& Sender) {
  if (&Sender == &M.vskVorsk) return "tvorsk";
  if (std::string name = M.Components.ClassName(Sender); !name.empty()) return name;
  if (dynamic_cast<const vsk::TUnBase*>(&Sender)) return "tunbase";
  if (dynamic_cast<const vsk::TCompBase*>(&Sender)) return "tcompbase";
  return "tzipcommon";
}

}  // namespace

void TfmMain::vskVorskError(vsk::TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                            const std::string&, int ECode) {
  if (FRunResult && dynamic_cast<const vsk::TUnBase*>(&Sender)) FRunResult->NoteError(Sender, FileName, ExtendedMsg, ECode);
  if (FAddErrors && dynamic_cast<const vsk::TCompBase*>(&Sender) && ECode != vsk::msg::UserCanceled)
    FAddErrors->push_back(FileName + " : " + vsk::MessageText(ECode) + (ExtendedMsg.empty() ? "" : " (" + ExtendedMsg + ")"));
  ShowErrorBlock(Sender, FileName, ExtendedMsg, ECode);
}

void TfmMain::ShowErrorBlock(vsk::TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                             int ECode) {
  switch (ECode) {
    case vsk::msg::InvalidPassword:
      FPassword.clear();
      break;
    case vsk::msg::DiskFull:
      FDiskFull = true;
      break;
    case vsk::msg::UnsupportedArcType:
      FUnsupportedType = true;
      break;
    default:
      break;
  }
  if (!fmViewOutput) return;
  // The block replaces the window's text, lines not yet shown with it.
  FPaint.DropLines();
  const char* text = vsk::MessageText(ECode);
  const std::string block = ":: ERROR - " + ComponentClassName(*this, Sender) + " ::\n" +
                            "Archive  : " + vsk::AsciiLowerCase(Sender.ArchiveFile()) + "\n" +
                            "Filename : " + vsk::AsciiLowerCase(PathFilePart(FileName)) + "\n" +
                            "Error No : " + std::to_string(ECode) + "\n" +
                            "Message  : " + (text ? text : "") + "\n" +
                            "Details  : " + ExtendedMsg + "\n\n";
  fmViewOutput->meOutput->setPlainText(Q(block));
}

void TfmMain::vskVorskCorruptZipHeader(vsk::TZipCommon&, vsk::Byte HeadFlag, bool& Cancel) {
  if (HeadFlag & (vsk::kZipCentralFound | vsk::kZipEndFound)) {
    // What was found is enough to go on with.
    Cancel = false;
    return;
  }
  if (MessageDlg(msgtext::kCorruptHeader, mtInformation, mbYesNo) == mrYes) {
    Cancel = false;
  } else {
    // The run that asked is still on the stack: the archive is closed
    // once it has returned.
    Cancel = true;
    FCloseAfterRun = true;
  }
}

void TfmMain::vskVorskGetZipFirstDisk(vsk::TZipCommon&, bool& Cancel) {
  QCoreApplication::processEvents();
  if (MessageDlg(msgtext::kInsertFirstDisk, mtInformation, mbOK | mbCancel) == mrOk) Cancel = false;
  QCoreApplication::processEvents();
}

void TfmMain::vskVorskGetZipLastDisk(vsk::TZipCommon&, bool& Cancel) {
  QCoreApplication::processEvents();
  if (MessageDlg(msgtext::kInsertLastDisk, mtInformation, mbOK | mbCancel) == mrOk) Cancel = false;
  QCoreApplication::processEvents();
}

void TfmMain::vskVorskGetZipNextDisk(vsk::TZipCommon&, const std::string& VolumeName, bool& Cancel) {
  QCoreApplication::processEvents();
  if (MessageDlg(msgtext::kInsertDiskNumber + VolumeName, mtInformation, mbOK | mbCancel) == mrOk) Cancel = false;
  QCoreApplication::processEvents();
}

void TfmMain::vskVorskNextVolume(vsk::TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                                 bool fExists, bool& Cancel) {
  Cancel = false;
  if (fExists) return;
  const std::string name = PathFilePart(VolumeName);
  std::string answer = VolumeName;
  if (UI().InputQuery(name + msgtext::kVolumeIdCaption + VolumeID, msgtext::kEnterFullPath + name + ":", answer)) {
    VolumeName = answer;
  } else {
    Cancel = true;
    Sender.SetCancel(true);
  }
}

}  // namespace brevane
