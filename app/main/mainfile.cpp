// The main window's commands on the archive file as a whole: mail, move,
// copy, delete, properties, printing and exporting the contents list.

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QToolButton>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <filesystem>

#include "app/components/opendialog.h"
#include "app/components/progresscyl.h"
#include "app/dialogs/comment.h"
#include "app/dialogs/properties.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/archivemodel.h"
#include "app/main/formatsettings.h"
#include "app/main/mail.h"
#include "app/main/folders.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/program.h"
#include "app/main/setaside.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "base/dates.h"
#include "archive/core/fileprims.h"
#include "base/messages.h"
#include "base/tempstream.h"
#include "archive/core/numbers.h"
#include "archive/core/paths.h"
#include "platform/trash.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Sizes as "12.34 MB (12,939,264 bytes)".
std::string MegabytesText(double Bytes) {
  char mb[64];
  std::snprintf(mb, sizeof mb, "%.2f", Bytes / 1048576.0);
  std::string digits = std::to_string(static_cast<long long>(Bytes < 0 ? 0 : Bytes)), grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return std::string(mb) + " MB (" + grouped + " bytes)";
}

std::string WithExtension(const std::string& Path, const std::string& Ext) {
  const std::string name = PathFilePart(Path);
  const auto dot = name.find_last_of('.');
  const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  return base + Ext;
}

}  // namespace

void TfmMain::ConnectFileCommands() {
  connect(acMailArchive, &QAction::triggered, this, &TfmMain::acMailArchiveExecute);
  connect(acMoveArchive, &QAction::triggered, this, &TfmMain::acMoveArchiveExecute);
  connect(acCopyArchive, &QAction::triggered, this, &TfmMain::acCopyArchiveExecute);
  connect(acDeleteArchive, &QAction::triggered, this, &TfmMain::acDeleteArchiveExecute);
  connect(acProperties, &QAction::triggered, this, &TfmMain::acPropertiesExecute);
  connect(acPrint, &QAction::triggered, this, &TfmMain::acPrintExecute);
  connect(acViewComment, &QAction::triggered, this, &TfmMain::acViewCommentExecute);
  connect(sbViewComments, &QToolButton::clicked, this, [this] {
    if (acViewComment->isEnabled()) acViewCommentExecute();
  });
  connect(miASCIITextFile, &QAction::triggered, this, [this] { ExportContentListClick(1); });
  connect(miCommaSeparatedValues, &QAction::triggered, this, [this] { ExportContentListClick(2); });
  connect(miHTMLFile, &QAction::triggered, this, [this] { ExportContentListClick(3); });
  uclpPrinter.Font = QFont(QStringLiteral("Courier New"), 10);
  uclpPrinter.Font.setStyleHint(QFont::TypeWriter);
  uclpPrinter.Margins.SetTop(15);
  uclpPrinter.Margins.SetLeft(15);
  uclpPrinter.Margins.SetBottom(15);
  uclpPrinter.Margins.SetRight(15);
  uclpPrinter.TitleOnPrintout = TopOfPage;
  uclpPrinter.PrintPageNumbers = true;
  if (!PrintJob) PrintJob = [](TUCLinePrinter& Printer) { return Printer.Print(); };
}

TSaveDialog& TfmMain::sdgSave() {
  if (!FSaveDialog) {
    FSaveDialog = std::make_unique<TSaveDialog>(this);
    FSaveDialog->setObjectName(QStringLiteral("sdgSave"));
  }
  return *FSaveDialog;
}

std::vector<TContentRow> TfmMain::ContentRows() const {
  std::vector<TContentRow> rows;
  rows.reserve(static_cast<std::size_t>(FModel->RowCount()));
  for (int r = 0; r < FModel->RowCount(); ++r) {
    const TViewRow& row = FModel->Row(r);
    TContentRow c;
    c.Name = row.Caption.toStdString();
    c.Date = row.Data.Date;
    c.Unpacked = row.Data.Unpacked;
    c.Packed = row.Data.Packed;
    c.Ratio = row.Data.Ratio;
    for (int col = 1; col < FModel->columnCount(); ++col) c.Cells.push_back(FModel->CellText(r, col).toStdString());
    rows.push_back(std::move(c));
  }
  return rows;
}

std::string TfmMain::ArchiveDateText() const {
  struct stat st;
  if (stat(vskVorsk.ArchiveFile().c_str(), &st) != 0) return {};
  return DateTimeToStr(vsk::UnixTimeToDateTime(static_cast<vsk::Int64>(st.st_mtime)));
}

void TfmMain::acMailArchiveExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  MailArchive(vskVorsk.ArchiveFile());
}

bool TfmMain::MailArchive(const std::string& File) {
  const int result = SendMailMAPI(msgtext::kMailSubject + PathFilePart(File), "", File, "", "", "", "");
  if (result == -1)
    ShowError(msgtext::kNoMailProgram);
  else if (result != 0)
    ShowError(msgtext::kMailFailed + std::to_string(result));
  return result == 0;
}

namespace {

// Copies From to To through a scratch file of the run's own beside To,
// which is renamed to To only when the copy is complete and flushed.
bool CopyBeside(const std::string& From, const std::string& To) {
  try {
    vsk::Byte error = 0;
    vsk::TFileStream32 in(From, vsk::fmOpenRead, error);
    if (error != 0) return false;
    vsk::TTempFileStream out(vsk::fmCreate, To);
    if (out.Handle() < 0) return false;
    out.CopyFrom(in, 0);
    struct stat st;
    if (fstat(in.Handle(), &st) == 0) fchmod(out.Handle(), st.st_mode & 07777);
    out.Commit();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void TfmMain::acMoveArchiveExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  if (!ExitCheckoutCheck()) return;
  const std::string archive = vskVorsk.ArchiveFile();
  TSaveDialog& d = sdgSave();
  d.SetTitle(msgtext::kMoveTitle);
  d.Options = {ofOverwritePrompt, ofPathMustExist, ofHideReadOnly};
  d.Filter = msgtext::kAllFilesFilter;
  d.FilterIndex = 1;
  d.DefaultExt.clear();
  d.InitialDir = ParentFolder(archive);
  d.FileName = PathFilePart(archive);
  if (!d.Execute() || d.FileName.empty()) return;
  std::error_code ec;
  const std::string target = fs::absolute(d.FileName, ec).lexically_normal().string();
  if (fs::equivalent(archive, target, ec)) return;
  // The target the user agreed to replace waits in the Trash. A rename
  // within the file system; across file systems a whole copy is made beside
  // the target and renamed into place before the original goes.
  TSetAside replaced;
  if (!replaced.Take(target)) {
    ShowError(msgtext::kMoveFailed);
    return;
  }
  bool moved = renameat2(AT_FDCWD, archive.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
  if (!moved && errno == EXDEV && CopyBeside(archive, target)) {
    fs::remove(archive, ec);
    moved = true;
  }
  if (!moved || !IsFile(target)) {
    replaced.Restore();
    ShowError(msgtext::kMoveFailed);
    return;
  }
  replaced.Discard();
  DisplayArchive(target);
  ShowInformation(msgtext::kMoved);
}

void TfmMain::acCopyArchiveExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  const std::string archive = vskVorsk.ArchiveFile();
  TSaveDialog& d = sdgSave();
  d.SetTitle(msgtext::kCopyTitle);
  d.Options = {ofOverwritePrompt, ofPathMustExist, ofHideReadOnly};
  d.Filter = msgtext::kAllFilesFilter;
  d.FilterIndex = 1;
  d.DefaultExt.clear();
  d.InitialDir = ParentFolder(archive);
  d.FileName = PathFilePart(archive);
  if (!d.Execute() || d.FileName.empty()) return;
  std::error_code ec;
  const std::string target = fs::absolute(d.FileName, ec).lexically_normal().string();
  // Copying the archive onto itself would delete it first.
  if (fs::equivalent(archive, target, ec)) {
    ShowError(msgtext::kCopyFailed);
    return;
  }
  // The copy is made beside the target under a name of its own and takes
  // the target's name when complete; the old target waits in the Trash.
  TSetAside replaced;
  if (!replaced.Take(target) || !CopyBeside(archive, target)) {
    replaced.Restore();
    ShowError(msgtext::kCopyFailed);
    return;
  }
  replaced.Discard();
  ShowInformation(msgtext::kCopied);
}

void TfmMain::acDeleteArchiveExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  if (!ExitCheckoutCheck()) return;
  if (MessageDlg(msgtext::kConfirmDeleteArchive, mtConfirmation, mbYesNo) == mrNo) return;
  DeleteArchive(vskVorsk.ArchiveFile());
}

bool TfmMain::DeleteArchive(const std::string& Name) {
  // A copy: the name may be the lister's own, which is cleared next.
  const std::string FileName = Name;
  vskVorsk.SetArchiveFile("");
  if (vsk::DeleteFileEx(FileName, vsk::doAllowUndo)) {
    ShowInformation(msgtext::kArchiveDeleted);
    acCloseArchiveExecute();
    return true;
  }
  try {
    vskVorsk.SetArchiveFile(FileName);
  } catch (const std::exception&) {
  }
  ShowError(msgtext::kArchiveDeleteFailed);
  return false;
}

void TfmMain::acPropertiesExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  const std::string archive = vskVorsk.ArchiveFile();
  std::string comment = msgtext::kNoComments;
  if (vsk::TCompBase* writer = Components.CommentWriter(vskVorsk.ArcType())) {
    writer->SetArchiveFile(archive);
    comment = writer->OpenOldArchive() >= 0 ? writer->GetArchiveComment() : std::string();
  }
  std::error_code ec;
  const double packed = vsk::ArcTypeRow(vskVorsk.ArcType()).PackedByArchive
                            ? static_cast<double>(fs::file_size(archive, ec))
                            : vskVorsk.PackedTotal;
  const double unpacked = vskVorsk.UnpackedTotal;
  const int ratio = vsk::CompressRatio(packed, unpacked);

  TfmProperties dlg(this);
  dlg.edFilename->setText(Q(archive));
  dlg.laArcType->setText(Q(TypeNameText(vskVorsk.ArcType())));
  dlg.laTotalFiles->setText(QString::number(FModel->RowCount()));
  dlg.laDate->setText(Q(ArchiveDateText()));
  dlg.laPackedSize->setText(Q(MegabytesText(packed)));
  dlg.laUnpackedSize->setText(Q(MegabytesText(unpacked)));
  dlg.pcRatio->SetPosition(ratio);
  dlg.laRatio->setText(QString::number(ratio) + QLatin1Char('%'));
  dlg.SetAttributes(static_cast<unsigned>(vsk::FileDosAttributes(archive)));
  dlg.meComment->setPlainText(Q(comment));
  UI().ShowModal(dlg);
}

void TfmMain::acPrintExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  if (MessageDlg(msgtext::kConfirmPrint, mtConfirmation, mbYesNo) != mrYes) return;
  uclpPrinter.Lines = ContentListText(vskVorsk.ArchiveFile(), ArchiveDateText(), ContentRows());
  uclpPrinter.PrintTitle = msgtext::kPrintTitle + PathFilePart(vskVorsk.ArchiveFile());
  if (PrintJob && !PrintJob(uclpPrinter)) ShowError(msgtext::kPrintFailed);
}

bool TfmMain::ExportText(const std::string& FileName) {
  return WriteCrLfLines(FileName, ContentListText(vskVorsk.ArchiveFile(), ArchiveDateText(), ContentRows()));
}

bool TfmMain::ExportCSV(const std::string& FileName) {
  std::vector<std::string> captions;
  for (int c = 0; c < FModel->columnCount(); ++c) captions.push_back(FModel->Caption(c).toStdString());
  return WriteCrLfLines(FileName, ContentListCsv(captions, ContentRows()));
}

bool TfmMain::ExportHTML(const std::string& FileName) {
  return WriteCrLfLines(FileName, ContentListHtml(vskVorsk.ArchiveFile(), ArchiveDateText(), ContentRows()));
}

void TfmMain::ExportContentListClick(int Tag) {
  if (FModel->RowCount() == 0) {
    ShowInformation(msgtext::kNothingToExport);
    return;
  }
  struct TKind {
    const char* Ext;
    const char* Filter;
    const char* Default;
  };
  static const TKind kinds[] = {{".txt", msgtext::kTextFilter, "*.txt"},
                                {".csv", msgtext::kCsvFilter, "*.csv"},
                                {".html", msgtext::kHtmlFilter, "*.html"}};
  if (Tag < 1 || Tag > 3) return;
  const TKind& k = kinds[Tag - 1];
  TSaveDialog& d = sdgSave();
  d.SetTitle(msgtext::kSaveAsTitle);
  d.Options = {ofOverwritePrompt, ofPathMustExist, ofHideReadOnly};
  d.Filter = k.Filter;
  d.FilterIndex = 1;
  d.DefaultExt = k.Default;
  d.InitialDir = ParentFolder(vskVorsk.ArchiveFile());
  d.FileName = WithExtension(vskVorsk.ArchiveFile(), k.Ext);
  if (!d.Execute() || d.FileName.empty()) return;
  const std::string target = d.FileName;
  const bool written = Tag == 1 ? ExportText(target) : Tag == 2 ? ExportCSV(target) : ExportHTML(target);
  if (written)
    ShowInformation(msgtext::kExported + target);
  else
    ShowError(msgtext::kExportFailed + target);
}

void TfmMain::ShowComment(bool EvenEmpty) {
  TfmComment dlg(this);
  vsk::TCompBase* found = Components.CommentWriter(vskVorsk.ArcType());
  if (!found) return;
  vsk::TCompBase& writer = *found;
  CurrentWriter = &writer;
  writer.SetArchiveFile(vskVorsk.ArchiveFile());
  if (writer.OpenOldArchive() < 0) return;
  const std::string comment = writer.GetArchiveComment();
  if (comment.empty() && !EvenEmpty) return;
  dlg.SetComment(comment);
  dlg.OnSaveComment = [this, &writer](const std::string& Comment) {
    // The writer tells why it refused through its error event, which is
    // shown here as well as in the output window.
    std::string why;
    const auto reported = writer.OnError;
    writer.OnError = [&](vsk::TZipCommon& S, const std::string& F, const std::string& X, const std::string& V,
                            int C) {
      const char* text = vsk::MessageText(C);
      why = (text ? text : "Error " + std::to_string(C)) + (X.empty() ? std::string() : "\r\n" + X);
      if (reported) reported(S, F, X, V, C);
    };
    const bool saved = writer.SetArchiveComment(Comment);
    writer.OnError = reported;
    if (!saved) ShowError(msgtext::kCommentNotSaved + why);
    return saved;
  };
  UI().ShowModal(dlg);
  // The archive is rewritten only when the comment was changed.
  writer.SaveDirectoryChanges();
}

void TfmMain::DisplayCommentIfExist() {
  if (!vskVorsk.ArchiveFile().empty()) ShowComment(false);
}

void TfmMain::acViewCommentExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  ShowComment(true);
}

}  // namespace brevane
