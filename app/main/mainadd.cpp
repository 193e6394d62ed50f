// The main window's adding side: New Archive, Add and Delete, files dropped
// on the list, the add entry points of the command line, and the handlers
// that answer the writers' events.

#include <fcntl.h>
#include <stdio.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "app/components/apopendlg.h"
#include "app/dialogs/addpanels.h"
#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/dialogs/renamefile.h"
#include "app/main/archivemodel.h"
#include "app/main/folders.h"
#include "app/main/formatsettings.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/runprogram.h"
#include "app/main/setaside.h"
#include "base/messages.h"
#include "app/main/settings.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "archive/core/masks.h"
#include "base/textcase.h"
#include "archive/core/paths.h"
#include "base/textcase.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool IsDir(const std::string& Name) {
  std::error_code ec;
  return !Name.empty() && fs::is_directory(Name, ec);
}

std::string Absolute(const std::string& Path) {
  std::error_code ec;
  std::string p = fs::absolute(Path, ec).lexically_normal().string();
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

bool HasExtension(const std::string& Path) { return PathFilePart(Path).find('.') != std::string::npos; }

void RememberAddFolder(const std::string& Folder) {
  if (Options.AddLast && !OnFloppyDrive(Folder))
    ShowExceptions([&] { WriteSettingString("Folders", "AddLastPath", Folder); });
}

// The compression choice (0 Maximum, 1 Normal, 2 Minimum, 3 None).
vsk::TDeflateType DeflateTypeForLevel(int Level) {
  switch (Level) {
    case 1: return vsk::dtDeflateN;
    case 2: return vsk::dtDeflateF;
    case 3: return vsk::dtDeflateS;
    default: return vsk::dtDeflateX;
  }
}

// The action choice (0 Add, 1 Freshen, 2 Move).
vsk::TSwitch SwitchForAction(int Action) {
  switch (Action) {
    case 1: return vsk::swRefresh;
    case 2: return vsk::swMove;
    default: return vsk::swAdd;
  }
}

// What every add run sets: the password, every attribute but the volume
// label's, plain headers, file dates.
void PrepareWriterForAdd(vsk::TCompBase& Writer, const std::string& Password) {
  Writer.Password = Password;
  for (vsk::TvskFileAttr a : {vsk::fsZeroAttr, vsk::fsArchive, vsk::fsDirectory, vsk::fsHidden, vsk::fsReadOnly,
                              vsk::fsSysFile}) {
    Writer.SetAttribute(a, true);
    Writer.SetAttributeEx(a, false);
  }
  if (auto* zip = dynamic_cast<vsk::TZip*>(&Writer)) zip->EncryptHeaders = false;
  Writer.DateAttribute = vsk::daFileDate;
  Writer.StoreEmptySubDirs = false;
}

// A size with thousands separators, or "not available" for a negative one.
std::string SpaceText(vsk::Int64 Bytes) {
  if (Bytes < 0) return msgtext::kNotAvailable;
  std::string digits = std::to_string(Bytes), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// The local files and folders of a drag.
std::vector<std::string> LocalPaths(const QMimeData* Data) {
  std::vector<std::string> out;
  if (!Data || !Data->hasUrls()) return out;
  for (const QUrl& url : Data->urls())
    if (url.isLocalFile()) out.push_back(QDir::cleanPath(url.toLocalFile()).toStdString());
  return out;
}

// The inputs of CmdAdd: "folder/*.*" (or a folder) stands for every file
// below that folder, a mask for the files it matches in its folder, any
// other entry for that file.
struct TGathered {
  std::vector<std::string> Files;  // absolute paths, no repeats
  std::string Base;                // the folder every input lies in (a folder input counts as itself)
  std::vector<std::string> Empty;  // the inputs that gave no file (a FIFO, an empty folder, a missing file)
};

std::string CommonFolder(const std::string& A, const std::string& B) {
  const fs::path a(A), b(B);
  fs::path common;
  auto i = a.begin(), j = b.begin();
  for (; i != a.end() && j != b.end() && *i == *j; ++i, ++j) common /= *i;
  const std::string s = common.string();
  return s.empty() ? "/" : s;
}

TGathered GatherInputs(const std::vector<std::string>& Inputs) {
  TGathered g;
  std::unordered_set<std::string> seen;
  bool first = true;
  for (const auto& raw : Inputs) {
    if (raw.empty()) continue;
    const std::string input = Absolute(raw);
    const std::string name = PathFilePart(input);
    std::vector<std::string> found;
    std::string folder = ParentFolder(input);
    if (raw.find("*.*") != std::string::npos || IsDir(input)) {
      if (IsDir(input)) folder = input;
      CountFilesInTree(folder, found);
    } else if (name.find_first_of("*?") != std::string::npos) {
      std::error_code ec;
      for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        std::error_code fe;
        if (entry[0] != '.' && it->is_regular_file(fe) && vsk::MatchMask(entry, name))
          found.push_back(it->path().string());
      }
      std::sort(found.begin(), found.end());
    } else if (IsFile(input)) {
      found.push_back(input);
    }
    // An input that gives no file does not move the base.
    if (found.empty()) {
      g.Empty.push_back(input);
      continue;
    }
    g.Base = first ? folder : CommonFolder(g.Base, folder);
    first = false;
    for (auto& f : found)
      if (seen.insert(f).second) g.Files.push_back(std::move(f));
  }
  return g;
}

// Forwards drags over the list to the window's drop-target handlers.
class TDropTarget : public QObject {
 public:
  explicit TDropTarget(TfmMain& Main) : QObject(&Main), FMain(&Main) {}

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    switch (Event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(Event);
        if (!FMain || LocalPaths(e->mimeData()).empty() || !FMain->DropFileTargetDragOver()) {
          e->ignore();
        } else {
          e->setDropAction(Qt::CopyAction);
          e->accept();
        }
        return true;
      }
      case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(Event);
        const std::vector<std::string> paths = LocalPaths(e->mimeData());
        if (!FMain || paths.empty() || !FMain->DropFileTargetDragOver()) {
          e->ignore();
          return true;
        }
        e->setDropAction(Qt::CopyAction);
        e->accept();
        // The run starts once the drop has returned, so the source is not
        // held (or its drag loop blocked) while files are compressed.
        QTimer::singleShot(0, FMain, [main = FMain, paths] {
          if (main) main->DropFileTargetDrop(paths);
        });
        return true;
      }
      default:
        return false;
    }
  }

 private:
  QPointer<TfmMain> FMain;
};

}  // namespace

// ---- wiring

void TfmMain::ConnectWriterHandlers(vsk::TCompBase& Writer) {
  using vsk::TZipCommon;
  Writer.OnActivate = [this](TZipCommon& S) { vskZipActivate(S); };
  Writer.OnDeactivate = [this](TZipCommon& S) { vskZipDeactivate(S); };
  Writer.OnBegin = [this](TZipCommon& S, const std::string& F, int C, bool& E) { vskZipBegin(S, F, C, E); };
  Writer.OnEnd = [this](TZipCommon& S, const std::string& F, bool Pass) { vskZipEnd(S, F, Pass); };
  Writer.OnDeleteFile = [this](TZipCommon& S, const std::string& F, int C, int M) { vskZipDeleteFile(S, F, C, M); };
  Writer.OnRecurseDir = [this](TZipCommon& S, const std::string& D) { vskZipRecurseDir(S, D); };
  Writer.OnFileScanStatus = [this](TZipCommon& S, const std::string& F, int C, double Size) {
    vskZipFileScanStatus(S, F, C, Size);
  };
  Writer.OnInsertDisk = [this](TZipCommon& S, const std::string& V, bool& Cancel) { vskZipInsertDisk(S, V, Cancel); };
  Writer.OnNonWriteableArchive = [this](TZipCommon& S, const std::string& A, bool& W) {
    vskZipNonWriteableArchive(S, A, W);
  };
  Writer.OnRenameDupeFile = [this](TZipCommon& S, const std::string& F, std::string& N, bool& R) {
    vskZipRenameDupeFile(S, F, N, R);
  };
  Writer.OnReplaceFile = [this](TZipCommon& S, const std::string& F, const std::string& N, vsk::TDateTime D,
                                vsk::TDateTime ND, vsk::UInt32 Size, vsk::UInt32 NSize, int A, int NA, bool& R) {
    vskZipReplaceFile(S, F, N, D, ND, Size, NSize, A, NA, R);
  };
  Writer.OnDiskInDrvErr = [this](TZipCommon& S, bool& Abort) { vskZipDiskInDrvErr(S, Abort); };
  Writer.OnDiskWriteProtectErr = [this](TZipCommon& S, bool& Abort) { vskZipDiskWriteProtectErr(S, Abort); };
  Writer.OnProgress = [this](TZipCommon& S, vsk::Byte F, vsk::Byte A) { vskUnZipProgress(S, F, A); };
  Writer.OnGetPassword = [this](TZipCommon& S, const std::string& F, std::string& P, bool& T) {
    vskUnZipGetPassword(S, F, P, T);
  };
  Writer.OnError = [this](TZipCommon& S, const std::string& F, const std::string& M, const std::string& V, int C) {
    vskVorskError(S, F, M, V, C);
  };
  if (auto* zip = dynamic_cast<vsk::TZip*>(&Writer)) {
    zip->OnClearDisk = [this](TZipCommon& S, const std::string& D, vsk::Int64 R, vsk::Int64 F, vsk::Int64 T,
                              bool& Cancel) { vskZipClearDisk(S, D, R, F, T, Cancel); };
  }
}

void TfmMain::ConnectAddCommands() {
  connect(acNewArchive, &QAction::triggered, this, &TfmMain::acNewArchiveExecute);
  connect(acAdd, &QAction::triggered, this, &TfmMain::acAddExecute);
  connect(acDelete, &QAction::triggered, this, &TfmMain::acDeleteExecute);
  dfelvArchiveView->setAcceptDrops(true);
  dfelvArchiveView->viewport()->setAcceptDrops(true);
  dfelvArchiveView->viewport()->installEventFilter(new TDropTarget(*this));
  apsdAddOptions().OnTypeChange = [this](TOpenDialog&) { apsdAddOptionsTypeChange(); };
  // A typed name without an extension gets the chosen type's.
  apsdNew().OnTypeChange = [](TOpenDialog& Dialog) {
    if (Dialog.FilterIndex >= 1 && Dialog.FilterIndex <= 7)
      Dialog.setDefaultSuffix(QString::fromUtf8(msgtext::kTypeExtensions[Dialog.FilterIndex - 1]));
  };
}

// ---- adding

bool TfmMain::AddFiles() {
  vsk::TArcType kind = vsk::atNA;
  if (!CurrentWriter || CurrentWriter->ArchiveFile().empty()) {
    kind = WriterTypeForName(apsdNew().FileName, false);
    CurrentWriter = Components.WriterToMake(kind);
    if (!CurrentWriter) {
      ShowInformation(msgtext::kCompressNotSupported);
      return false;
    }
  }
  vsk::TCompBase& writer = *CurrentWriter;

  TApOpenDialog& d = apodAdd();
  d.FileName.clear();
  std::string folder;
  if (Options.AddLast)
    ShowExceptions([&] { folder = ReadSettingString("Folders", "AddLastPath"); });
  else if (IsDir(Options.AddFolder))
    folder = Options.AddFolder;
  d.InitialDir = folder.empty() ? QDir::currentPath().toStdString() : folder;
  d.Options.Include(ofHideReadOnly);
  // A new archive of a one-file type (gzip) takes one file.
  if (vsk::ArcTypeRow(kind).OneFile)
    d.Options.Exclude(ofAllowMultiSelect);
  else
    d.Options.Include(ofAllowMultiSelect);

  TfmAddBottom& panel = *fmAddBottom;
  panel.FWildcardsUsed = false;
  panel.FWildcards.clear();
  panel.FWildcardFolder.clear();
  panel.buPassword->setText(QString::fromUtf8(dlgtext::kPasswordCaption));
  panel.cbAction->setCurrentIndex(0);
  panel.cbCompression->setCurrentIndex(0);
  panel.cbDiskSpanning->setCurrentIndex(0);
  panel.ckSaveFullPath->setChecked(false);
  panel.ckIncludeSubfolders->setChecked(false);
  panel.buPassword->setEnabled(vsk::ArcTypeCanEncrypt(writer.ArcType()));
  panel.cbCompression->setEnabled(writer.CompressMethod() == vsk::cmDeflate);

  const bool chosen = d.Execute();
  if (!chosen && !panel.FWildcardsUsed) return false;

  std::vector<std::string> list;
  if (panel.FWildcardsUsed) {
    for (const auto& mask : SplitParameters(panel.FWildcards))
      list.push_back(vsk::JoinPath(panel.FWildcardFolder, mask));
    RememberAddFolder(panel.FWildcardFolder);
  } else {
    list = d.Files;
    if (!list.empty()) RememberAddFolder(ParentFolder(list.front()));
  }
  // An empty choice must not leave the previous run's files to be added again.
  writer.FileSpec.clear();
  if (list.empty()) return false;

  PrepareWriterForAdd(writer, FPassword);
  writer.RecurseDirs = panel.ckIncludeSubfolders->isChecked();
  writer.Switch = SwitchForAction(panel.cbAction->currentIndex());
  writer.StoredDirNames = panel.ckSaveFullPath->isChecked() ? vsk::sdAbsoluteNoDrv : vsk::sdExplorer_Auto;
  writer.DeflateType = DeflateTypeForLevel(panel.cbCompression->currentIndex());
  writer.FileSpec = list;
  writer.ExcludeSpec.clear();
  return true;
}

void TfmMain::acAddExecute() {
  const std::string archive = vskVorsk.ArchiveFile();
  if (archive.empty() || !vsk::IsValidArcType(vskVorsk.ArcType())) {
    ShowInformation(msgtext::kOpenArchiveFirst);
    return;
  }
  if (ArchiveVanished()) return;
  if (!DefineCompressComponent()) return;
  vsk::TCompBase& writer = *CurrentWriter;
  writer.SetArchiveFile(archive);
  if (!AddFiles() || writer.FileSpec.empty()) return;

  dfelvArchiveView->setCursor(Qt::WaitCursor);
  FSpanDisks = !(fmAddBottom && fmAddBottom->cbDiskSpanning->currentIndex() == 1);
  FReplaceAll = 0;
  FSkipAllDupes = false;
  FDiskFull = false;
  const int count = writer.Compress();
  FSpanDisks = true;
  DisplayArchive(archive);
  dfelvArchiveView->unsetCursor();
  if (FDiskFull)
    ShowError(msgtext::kDiskFull);
  else
    ShowInformation(std::to_string(count) + msgtext::kFilesAddedSuffix);
}

void TfmMain::acNewArchiveExecute() {
  if (!ExitCheckoutCheck()) return;
  rcbFilter->SetText("*.*");
  TApSaveDialog& d = apsdNew();
  d.FileName.clear();
  d.FilterIndex = 7;
  d.InitialDir = QDir::currentPath().toStdString();
  FPassword.clear();
  FDiskFull = false;
  if (!d.Execute()) return;

  std::string name = Absolute(d.FileName);
  if (!HasExtension(name)) name += ".zip";
  d.FileName = name;
  if (!WriterComponent(WriterTypeForName(name, false))) {
    ShowInformation(msgtext::kCompressNotSupported);
    return;
  }
  // A ".tgz" is made by the tar writer under the tar.gz name it gives,
  // which must be free, and takes the name asked for when it is complete.
  const bool tgz = WritesCompressedTar(name, false);
  const std::string made = tgz ? TarGzListName(name) : name;
  std::error_code ec;
  TSetAside replaced;
  if ((tgz && fs::exists(fs::symlink_status(made, ec))) || !replaced.Take(name)) {
    ShowError(msgtext::kUnableToOverwrite);
    return;
  }

  ApplicationBusy();
  FModel->Clear();
  ApplicationWaiting();
  CurrentWriter = nullptr;
  CurrentReader = nullptr;
  if (!AddFiles()) {
    replaced.Restore();
    if (IsFile(vskVorsk.ArchiveFile())) RefreshList(vskVorsk.ArchiveFile());
    return;
  }

  FSortColumn = 0;
  FSortOrder = Qt::AscendingOrder;
  dfelvArchiveView->header()->setSortIndicator(0, Qt::AscendingOrder);
  vsk::TCompBase& writer = *CurrentWriter;
  writer.SetArchiveFile(made);
  FSpanDisks = !(fmAddBottom && fmAddBottom->cbDiskSpanning->currentIndex() == 1);
  FReplaceAll = 0;
  FSkipAllDupes = false;
  FCancelTask = false;
  // The window names the archive being made, no longer the one listed before.
  setWindowTitle(Q(TitleText() + " - " + name));
  const int count = writer.Compress();
  FSpanDisks = true;
  if (tgz && IsFile(made)) {
    if (count > 0 && !FCancelTask && !writer.GetCancel() && !FDiskFull)
      fs::rename(made, name, ec);
    else
      fs::remove(made, ec);
  }

  if (FCancelTask || writer.GetCancel()) {
    ShowError(msgtext::kArchivingCancelled);
    acCloseArchiveExecute();
    if (IsFile(name)) vsk::DeleteFileEx(name, vsk::doFinal);
    replaced.Restore();
    FCancelTask = false;
    return;
  }
  if (FDiskFull) {
    replaced.Restore();
    EndProgress();
    acCloseArchiveExecute();
    ShowError(msgtext::kDiskFull);
    raise();
    activateWindow();
    return;
  }
  if (count <= 0 || !IsFile(name)) {
    // Nothing could be added: the old file stays and the list shows what
    // it showed before.
    replaced.Restore();
    ShowError(msgtext::kNothingAdded);
    if (!vskVorsk.ArchiveFile().empty() && IsFile(vskVorsk.ArchiveFile()))
      DisplayArchive(vskVorsk.ArchiveFile());
    else
      acCloseArchiveExecute();
    return;
  }
  replaced.Discard();
  DisplayArchive(name);
  if (Options.ConfirmCompress) ShowInformation(msgtext::kFilesCompressed + std::to_string(count));
  dfmruMainList.Add(vskVorsk.ArchiveFile());
  RebuildMruMenu();
  // The desktop's recent documents learn of the new archive here.
  setWindowTitle(Q(TitleText() + " - " + vskVorsk.ArchiveFile()));
}

TRunResult TfmMain::CmdAdd(const TAddOptions& Adding) {
  const std::vector<std::string>& Files = Adding.Files;
  const vsk::TSwitch Switch = Adding.Switch;
  TRunResult result;
  // Nothing is touched, not even the list, when no input exists.
  const TGathered inputs = GatherInputs(Files);
  FNotAdded.clear();
  for (const std::string& input : inputs.Empty) FNotAdded.push_back(input + msgtext::kNoFileToAdd);
  if (inputs.Files.empty()) {
    if (!FNotAdded.empty()) ShowNotAdded();
    result.Added = -1;
    return result;
  }
  std::string archive = Absolute(Adding.Archive);
  if (!HasExtension(archive)) archive += ".zip";
  const vsk::TArcType kind = WriterTypeForName(archive, true);
  const bool tarGz = WritesCompressedTar(archive, true);
  if (!WriterComponent(kind)) {
    ShowInformation(msgtext::kCompressNotSupported);
    return result;
  }
  // A new ".tgz" is made under its tar.gz name, which must be free, and
  // renamed when complete; the tar writer cannot start from an existing one.
  const bool tgz = tarGz && vsk::EndsWithTextAscii(archive, ".tgz");
  if (tgz) {
    std::error_code ec;
    const std::string inTheWay = fs::exists(fs::symlink_status(archive, ec)) ? archive : TarGzListName(archive);
    if (fs::exists(fs::symlink_status(inTheWay, ec))) {
      ShowError(msgtext::kTgzNotChanged + inTheWay);
      return result;
    }
  }

  if (FInteractive) {
    ApplicationBusy();
    FModel->Clear();
    ApplicationWaiting();
    setWindowTitle(Q(TitleText() + " - " + archive));
    FSortColumn = 0;
    FSortOrder = Qt::AscendingOrder;
    dfelvArchiveView->header()->setSortIndicator(0, Qt::AscendingOrder);
  }
  CurrentWriter = nullptr;
  CurrentReader = nullptr;
  FDiskFull = false;
  try {
    vskVorsk.SetArchiveFile(archive);
  } catch (const std::exception&) {
    // A file that cannot be read yet is made by this run.
  }
  const std::string first = Absolute(Files.front());
  RememberAddFolder(IsDir(first) ? first : ParentFolder(first));

  CurrentWriter = Components.WriterToMake(kind);
  vsk::TCompBase& writer = *CurrentWriter;

  PrepareWriterForAdd(writer, FPassword);
  writer.Switch = Switch;
  writer.StoredDirNames = Adding.StoredDirNames;
  writer.DeflateType = DeflateTypeForLevel(Adding.Level);
  FSpanDisks = Adding.SpanDisks;

  writer.FileSpec = inputs.Files;
  writer.RecurseDirs = false;
  // The files are named relative to the folder the inputs have in common,
  // taken before the folders were expanded: a dropped folder's sub-folders
  // stay in the names even when it holds no file of its own.
  if (Adding.StoredDirNames == vsk::sdExplorer_Auto) {
    writer.StoredDirNames = vsk::sdExplorer_UserDefineDefaultDir;
    writer.DefaultDir = inputs.Base == "/" ? inputs.Base : inputs.Base + "/";
  }

  // A gzip-compressed tar: the tar is "name.tar", its gzip "name.tar.gz".
  writer.SetArchiveFile(tarGz ? TarGzListName(archive) : archive);
  FReplaceAll = 0;
  FSkipAllDupes = false;
  raise();
  activateWindow();
  std::vector<std::string> errors;
  FAddErrors = &errors;
  const int count = writer.Compress();
  FAddErrors = nullptr;
  FSpanDisks = true;
  // An input that is gone once the run is over (not moved by it) could not
  // be read, whether or not the writer said so.
  if (Switch != vsk::swMove)
    for (const std::string& file : inputs.Files)
      if (!IsFile(file) && std::none_of(errors.begin(), errors.end(), [&](const std::string& e) {
            return e.compare(0, file.size() + 3, file + " : ") == 0;
          }))
        errors.push_back(file + " : " + vsk::MessageText(vsk::msg::ErrorOpeningFile));
  FNotAdded.insert(FNotAdded.end(), errors.begin(), errors.end());

  // A gzip-compressed tar ends up beside the tar's name: the writer says
  // where.
  std::string shown = archive;
  if (tarGz) shown = IsFile(writer.ArchiveFile()) ? writer.ArchiveFile() : TarGzListName(archive);
  if (tgz && IsFile(shown)) {
    std::error_code ec;
    if (count > 0 && !FCancelTask && !writer.GetCancel() && !FDiskFull &&
        renameat2(AT_FDCWD, shown.c_str(), AT_FDCWD, archive.c_str(), RENAME_NOREPLACE) == 0)
      shown = archive;
    else
      fs::remove(shown, ec);
  }
  if (FInteractive) {
    if (IsFile(shown))
      DisplayArchive(shown);
    else
      acCloseArchiveExecute();
  }
  // What was not added is named, whoever called: an input left out is a
  // failure of the run, also when the archive was made without it.
  const bool cancelled = FCancelTask || writer.GetCancel();
  if (!cancelled && !FNotAdded.empty()) ShowNotAdded();
  if (FDiskFull) {
    ShowError(msgtext::kDiskFull);
  } else if (Adding.ShowResult && !IsFile(shown) && !FCancelTask && !writer.GetCancel()) {
    ShowError(msgtext::kNothingAdded);
  } else if (Adding.ShowResult && count > 0 && Options.ConfirmCompress) {
    ShowInformation(msgtext::kFilesCompressed + std::to_string(count));
  }
  result.Added = count;
  for (const std::string& line : FNotAdded) result.NoteRunError(line);
  if (FDiskFull) result.NoteRunError(msgtext::kDiskFull);
  result.Finish(cancelled);
  return result;
}

void TfmMain::ShowNotAdded() {
  std::string text = msgtext::kNotAdded;
  for (std::size_t i = 0; i < FNotAdded.size(); ++i) text += (i ? "\r\n" : "") + FNotAdded[i];
  ShowError(text);
}

// ---- dropping files on the list

bool TfmMain::DropFileTargetDragOver() const {
  if (!FDragTemp.empty()) return false;
  const vsk::TArcType type = vskVorsk.ArcType();
  if (vskVorsk.ArchiveFile().empty() || !vsk::IsValidArcType(type)) return true;
  if (vsk::ArcTypeRow(type).RebuiltWhole) return false;
  const vsk::TArcType kind = WriterTypeForArchive(type);
  return kind != vsk::atNA && const_cast<TfmMain*>(this)->WriterComponent(kind) != nullptr;
}

void TfmMain::DropFileTargetDrop(const std::vector<std::string>& Paths) {
  std::vector<std::string> list;
  for (const auto& p : Paths) list.push_back(IsDir(p) ? vsk::JoinPath(p, "*.*") : p);
  if (list.empty()) return;
  if (!vskVorsk.ArchiveFile().empty() && vsk::IsValidArcType(vskVorsk.ArcType())) {
    TAddOptions adding;
    adding.Archive = vskVorsk.ArchiveFile();
    adding.Files = list;
    adding.ShowResult = true;
    CmdAdd(adding);
    return;
  }

  TApSaveDialog& d = apsdAddOptions();
  d.SetTitle("Add Options");
  d.FileName.clear();
  d.FilterIndex = 7;
  d.InitialDir = QDir::currentPath().toStdString();
  TfmAddOptionsBottom& panel = *fmAddOptionsBottom;
  panel.cbAction->setCurrentIndex(0);
  panel.cbCompression->setCurrentIndex(0);
  panel.cbDiskSpanning->setCurrentIndex(0);
  panel.ckSaveFullPath->setChecked(false);
  panel.buPassword->setText(QString::fromUtf8(dlgtext::kPasswordCaption));
  FPassword.clear();
  apsdAddOptionsTypeChange();
  if (!d.Execute()) return;

  std::string name = Absolute(d.FileName);
  if (!HasExtension(name)) name += ".zip";
  TSetAside replaced;
  if (!replaced.Take(name)) {
    ShowError(msgtext::kUnableToOverwrite);
    return;
  }
  const int count = CmdAdd(AddOptionsChosen(name, list, true)).Added;
  if (count > 0 && IsFile(name)) replaced.Discard();
}

TAddOptions TfmMain::AddOptionsChosen(const std::string& Archive, const std::vector<std::string>& Files,
                                      bool ShowResult) const {
  const TfmAddOptionsBottom& panel = *fmAddOptionsBottom;
  TAddOptions adding;
  adding.Archive = Archive;
  adding.Files = Files;
  adding.Level = panel.cbCompression->currentIndex();
  adding.StoredDirNames = panel.ckSaveFullPath->isChecked() ? vsk::sdAbsoluteNoDrv : vsk::sdExplorer_Auto;
  adding.Switch = SwitchForAction(panel.cbAction->currentIndex());
  adding.SpanDisks = panel.cbDiskSpanning->currentIndex() == 0;
  adding.ShowResult = ShowResult;
  return adding;
}

void TfmMain::apsdAddOptionsTypeChange() {
  TApSaveDialog& d = apsdAddOptions();
  CurrentWriter = WriterComponent(WriterTypeForFilterIndex(d.FilterIndex));
  if (d.FilterIndex >= 1 && d.FilterIndex <= 7 && d.isVisible())
    d.setDefaultSuffix(QString::fromUtf8(msgtext::kTypeExtensions[d.FilterIndex - 1]));
  if (!fmAddOptionsBottom) return;
  // A type whose writer the library lacks yet offers neither.
  fmAddOptionsBottom->buPassword->setEnabled(CurrentWriter && vsk::ArcTypeCanEncrypt(CurrentWriter->ArcType()));
  fmAddOptionsBottom->cbCompression->setEnabled(CurrentWriter && CurrentWriter->CompressMethod() == vsk::cmDeflate);
}

// ---- deleting

void TfmMain::acDeleteExecute() {
  const std::string archive = vskVorsk.ArchiveFile();
  const int selected = static_cast<int>(dfelvArchiveView->selectionModel()->selectedRows().size());
  if (archive.empty() || !vsk::IsValidArcType(vskVorsk.ArcType())) {
    ShowInformation(msgtext::kNoneSelectedToDelete);
    return;
  }
  if (ArchiveVanished()) return;
  if (selected == 0) {
    ShowInformation(msgtext::kNoneSelectedToDelete);
    return;
  }
  // The whole archive goes only when the list shows every entry: with a
  // filter, the hidden entries stay and just the selected ones are deleted.
  const bool everything = std::all_of(vskVorsk.FileSpec.begin(), vskVorsk.FileSpec.end(),
                                      [](const std::string& m) { return m == "*.*" || m == "*" || m.empty(); });
  if (selected == FModel->RowCount() && everything) {
    if (MessageDlg(msgtext::kDeleteWholeArchive, mtWarning, mbYesNo) == mrYes) DeleteArchive(archive);
    return;
  }
  if (MessageDlg(selected == 1 ? msgtext::kDeleteSelectedFile : msgtext::kDeleteSelectedFiles, mtConfirmation,
                 mbYesNo) != mrYes)
    return;
  if (!DefineCompressComponent()) return;
  vsk::TCompBase& writer = *CurrentWriter;
  writer.SetArchiveFile(archive);

  dfelvArchiveView->setCursor(Qt::WaitCursor);
  const std::vector<std::string> kept = writer.FileSpec;
  writer.FileSpec = SelectedEntryPaths();
  writer.ExcludeSpec.clear();
  writer.Switch = vsk::swDelete;
  FDiskFull = false;
  FUnsupportedType = false;
  // The first error of the run, which is the reason when nothing changed.
  int firstError = 0;
  std::string firstDetail;
  const auto handler = writer.OnError;
  writer.OnError = [&](vsk::TZipCommon& S, const std::string& F, const std::string& X, const std::string& V, int C) {
    if (firstError == 0 && C != vsk::msg::UserCanceled) {
      firstError = C;
      firstDetail = X;
    }
    if (handler) handler(S, F, X, V, C);
  };
  const int n = writer.Compress();
  writer.OnError = handler;
  if (n > 0) {
    ShowInformation(std::to_string(n) + (n == 1 ? msgtext::kOneFileDeleted : msgtext::kFilesDeleted));
  } else if (FUnsupportedType) {
    ShowError(msgtext::kCannotDeletePrefix + TypeNameText(vskVorsk.ArcType()) + msgtext::kCannotDeleteSuffix);
  } else if (firstError != 0) {
    const char* text = vsk::MessageText(firstError);
    ShowError(msgtext::kDeleteFailed + std::string(text && *text ? text : std::to_string(firstError)) +
              (firstDetail.empty() ? std::string() : "\r\n" + firstDetail));
  }
  writer.FileSpec = kept;
  if (IsFile(archive))
    RefreshList(archive);
  else
    setWindowTitle(Q(TitleText()));
  dfelvArchiveView->unsetCursor();
}

// ---- the writers' events

void TfmMain::vskZipActivate(vsk::TZipCommon&) {
  StartProgress();
  SetSimplePanel(true);
  ApplicationBusy();
}

void TfmMain::vskZipDeactivate(vsk::TZipCommon&) {
  EndProgress();
  ApplicationWaiting();
  DisplayTotals(false);
  QCoreApplication::processEvents();
}

void TfmMain::vskZipBegin(vsk::TZipCommon& Sender, const std::string& FileName, int, bool&) {
  const bool deleting = static_cast<vsk::TCompBase&>(Sender).Switch == vsk::swDelete;
  ShowRunStatus(QString::fromUtf8(deleting ? msgtext::kDeletingPrefix : msgtext::kCompressingPrefix), FileName,
                deleting ? 47 : 68);
}

void TfmMain::vskZipEnd(vsk::TZipCommon&, const std::string&, bool) { ShowRunStatus(QString()); }

void TfmMain::vskZipDeleteFile(vsk::TZipCommon&, const std::string& FileName, int, int) {
  ShowRunStatus(QString::fromUtf8(msgtext::kDeletingPrefix), FileName);
}

void TfmMain::vskZipRecurseDir(vsk::TZipCommon&, const std::string& Directory) {
  ShowRunStatus(QString::fromUtf8(msgtext::kScanningPrefix), Directory, 98);
  FPaint.Pump();
}

void TfmMain::vskZipFileScanStatus(vsk::TZipCommon&, const std::string& FileName, int FilesCount, double) {
  ShowRunStatus(QString::number(FilesCount) + QLatin1Char(' '), FileName);
  FPaint.Pump();
}

void TfmMain::vskZipInsertDisk(vsk::TZipCommon&, const std::string& VolumeName, bool& Cancel) {
  if (FSpanDisks) {
    if (MessageDlg(msgtext::kInsertDiskNumber + VolumeName, mtInformation, mbOK | mbCancel) == mrOk) {
      Cancel = false;
    } else {
      Cancel = true;
      FCancelTask = true;
    }
    return;
  }
  EndProgress();
  ShowError(msgtext::kInsufficientSpace);
  Cancel = true;
  FCancelTask = true;
}

void TfmMain::vskZipClearDisk(vsk::TZipCommon&, const std::string& Drive, vsk::Int64 RequiredSpace,
                              vsk::Int64 FreeSpace, vsk::Int64 TotalSpace, bool& Cancel) {
  if (RequiredSpace > TotalSpace) {
    ShowError(msgtext::kDisketteCapacity);
    return;
  }
  if (RequiredSpace > FreeSpace) {
    const std::string text = msgtext::kDrive + vsk::AsciiUpperCase(Drive) + "\r\n" + msgtext::kRequiredSpace +
                             SpaceText(RequiredSpace) + "\r\n" + msgtext::kFreeSpace + SpaceText(FreeSpace) + "\r\n" +
                             msgtext::kDiskCapacity + SpaceText(TotalSpace) + "\r\n\r\n" + msgtext::kDisketteFull;
    if (MessageDlg(text, mtInformation, mbOK | mbCancel) == mrOk) Cancel = false;
    return;
  }
  Cancel = false;
}

void TfmMain::vskZipDiskInDrvErr(vsk::TZipCommon&, bool& Abort) {
  MessageDlg(msgtext::kDiskWriteError, mtError, mbOK);
  Abort = true;
}

void TfmMain::vskZipDiskWriteProtectErr(vsk::TZipCommon&, bool& Abort) {
  Abort = MessageDlg(msgtext::kWriteProtected, mtError, mbOK | mbCancel) != mrOk;
}

void TfmMain::vskZipNonWriteableArchive(vsk::TZipCommon&, const std::string& ArchiveFile, bool& WriteToFile) {
  if (MessageDlg(ArchiveFile + msgtext::kNonWriteableSuffix + msgtext::kWriteToFile, mtConfirmation, mbYesNo) ==
      mrYes)
    WriteToFile = true;
}

void TfmMain::vskZipRenameDupeFile(vsk::TZipCommon&, const std::string& FileName, std::string& NewFilename,
                                   bool& Rename) {
  QCoreApplication::processEvents();
  if (FSkipAllDupes) {
    Rename = false;
    return;
  }
  TfmRenameFile dialog(this);
  dialog.SetFileName(FileName);
  switch (UI().ShowModal(dialog)) {
    case mrRenameDupe:
      NewFilename = dialog.FileNameText();
      Rename = true;
      break;
    case mrSkipAllDupes:
      FSkipAllDupes = true;
      Rename = false;
      break;
    default:
      Rename = false;
      break;
  }
}

void TfmMain::vskZipReplaceFile(vsk::TZipCommon&, const std::string& FileName, const std::string& NewFilename,
                                vsk::TDateTime Date, vsk::TDateTime NewDate, vsk::UInt32 FileSize,
                                vsk::UInt32 NewFileSize, int, int, bool& Replace) {
  if (FReplaceAll == 1) {
    Replace = true;
    return;
  }
  if (FReplaceAll == -1) {
    Replace = false;
    return;
  }
  const std::string pad = "   ";
  const std::string text = msgtext::kReplaceThisFile + FileName + "\r" + pad + msgtext::kSize +
                           std::to_string(FileSize) + msgtext::kBytes + pad + msgtext::kDate +
                           FormatDateTime(msgtext::kReplaceDatePattern, Date) + "\r\r" + msgtext::kWithThisFile + "\r" +
                           pad + NewFilename + "\r" + pad + msgtext::kSize + std::to_string(NewFileSize) +
                           msgtext::kBytes + pad + msgtext::kDate +
                           FormatDateTime(msgtext::kReplaceDatePattern, NewDate);
  // Help context 740: the replace question's help topic.
  switch (MessageDlg(text, mtConfirmation, mbYes | mbNo | mbNoToAll | mbYesToAll | mbHelp, 740)) {
    case mrYes:
      Replace = true;
      break;
    case mrNoToAll:
      Replace = false;
      FReplaceAll = -1;
      break;
    case mrYesToAll:
      Replace = true;
      FReplaceAll = 1;
      break;
    default:
      Replace = false;
      break;
  }
}

void TfmMain::vskGZipFileExists(vsk::TZipCommon& Sender, const std::string& FileName,
                                vsk::TOverwriteMode& OverwriteMode) {
  const std::string text = FileName + "\r\r" + msgtext::kFileAlreadyExist + msgtext::kOverwriteThisFile;
  switch (MessageDlg(text, mtConfirmation, mbYes | mbNo | mbCancel | mbIgnore)) {
    case mrYes:
      OverwriteMode = vsk::omOverwrite;
      break;
    case mrNo:
      OverwriteMode = vsk::omSkip;
      break;
    case mrCancel:
      Sender.SetCancel(true);
      break;
    case mrIgnore:
      Sender.ConfirmOverwrites = false;
      break;
    default:
      break;
  }
}

}  // namespace brevane
