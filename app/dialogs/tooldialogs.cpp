#include "app/dialogs/tooldialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <filesystem>
#include <string_view>

#include "app/components/opendialog.h"
#include "app/dialogs/dialogsupport.h"
#include "base/paths.h"
#include "app/main/folders.h"
#include "app/main/userinterface.h"
#include "archive/tools/arc2arc.h"
#include "base/textcase.h"
#include "ui_convertarc.h"
#include "ui_uuencodedlg.h"

namespace brevane {

namespace {

constexpr const char* kSameInputOutput =
    "Please select a different output file format. Your current\r\noutput file seems to be the same as your input "
    "file.";
constexpr const char* kNeedBothNames =
    "You must enter both the Input Filename and \r\nOutput Filename before trying to convert.";
constexpr const char* kOverwriteOutput =
    "The output filename you entered already exist.\rAre you sure you want to overwrite this file ?";
constexpr const char* kConfirmDeleteOrg =
    "Checking this option will cause the original archive to be\rdeleted after conversion. Are you sure you want to "
    "do this ?";
constexpr const char* kArchiveFilter =
    "All Archive Files (*.ace *.arc *.arj *.bh *.cab *.gz *.jar *.lha *.lzh *.rar *.tar *.tgz *.uu *.uue *.xxe *.z "
    "*.zip *.zoo);;All Files (*)";

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool Exists(const std::string& Name) {
  std::error_code ec;
  return !Name.empty() && std::filesystem::exists(Name, ec);
}

// A file chosen through the program's modal seam.
void Browse(QWidget* Parent, QLineEdit* Edit, bool MustExist, const QString& Filter) {
  QFileDialog d(Parent);
  RouteDeletesToTrash(d);
  d.setFileMode(MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  d.setAcceptMode(MustExist ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  d.setNameFilter(Filter);
  if (!Edit->text().isEmpty()) d.selectFile(Edit->text());
  if (UI().ShowModal(d) == mrOk && !d.selectedFiles().isEmpty()) Edit->setText(d.selectedFiles().front());
}

}  // namespace

std::string ReplaceExtension(const std::string& Name, const std::string& Ext) {
  return vsk::WithoutExtension(Name) + Ext;
}

std::string ReplaceArchiveExtension(const std::string& Name, const std::string& Ext) {
  constexpr std::string_view kTarGz = ".tar.gz";
  const auto slash = Name.find_last_of('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  if (Name.size() > base + kTarGz.size() && vsk::EndsWithTextAscii(Name, kTarGz))
    return Name.substr(0, Name.size() - kTarGz.size()) + Ext;
  return ReplaceExtension(Name, Ext);
}

TfmConvertArc::TfmConvertArc(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmConvertArc>()) {
  ui->setupUi(this);
  rxfedInput = ui->rxfedInput;
  rxfedOutput = ui->rxfedOutput;
  buInputBrowse = ui->buInputBrowse;
  buOutputBrowse = ui->buOutputBrowse;
  cbFormat = ui->cbFormat;
  ckVerify = ui->ckVerify;
  ckDeleteOrg = ui->ckDeleteOrg;
  buConvert = ui->buConvert;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;
  FormActivate();
  connect(cbFormat, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cbFormatChange(); });
  connect(ckDeleteOrg, &QCheckBox::clicked, this, &TfmConvertArc::ckDeleteOrgClick);
  connect(buConvert, &QPushButton::clicked, this, &TfmConvertArc::buConvertClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, [] { ShowHelpKeyword("Hlp_Convert_Archive"); });
  connect(buInputBrowse, &QToolButton::clicked, this,
          [this] { Browse(this, rxfedInput, true, QString::fromUtf8(kArchiveFilter)); });
  connect(buOutputBrowse, &QToolButton::clicked, this, [this] {
    const QString before = rxfedOutput->text();
    Browse(this, rxfedOutput, false, QStringLiteral("All Files (*)"));
    if (rxfedOutput->text() != before) FOutputChosen = true;
  });
  // The output follows the input until the user types or picks one; an
  // output emptied by the user follows again.
  connect(rxfedOutput, &QLineEdit::textEdited, this, [this](const QString& Text) { FOutputChosen = !Text.isEmpty(); });
  connect(rxfedInput, &QLineEdit::textChanged, this, [this] {
    const int i = cbFormat->currentIndex();
    if (FOutputChosen || i < 0 || i > 7) return;
    const std::string input = InputName();
    rxfedOutput->setText(input.empty() ? QString() : Q(ReplaceArchiveExtension(input, kConvertExtensions[i])));
  });
  rxfedOutput->installEventFilter(this);
}

TfmConvertArc::~TfmConvertArc() = default;

void TfmConvertArc::FormActivate() {
  cbFormat->setCurrentIndex(7);
  ckVerify->setChecked(false);
  ckDeleteOrg->setChecked(false);
  if (rxfedInput->text().isEmpty()) rxfedInput->setFocus();
}

std::string TfmConvertArc::InputName() const { return rxfedInput->text().toStdString(); }
std::string TfmConvertArc::OutputName() const { return rxfedOutput->text().toStdString(); }

namespace {

// The file a conversion to the format at Index with output Out leaves.
std::string MadeFrom(const std::string& Out, int Index) {
  if (Out.empty() || Index != kConvertGZipTar) return Out;
  return vsk::TArc2Arc::DerivedName(Out, vsk::tyTarGzip) + ".gz";
}

}  // namespace

std::string TfmConvertArc::MadeName() const { return MadeFrom(OutputName(), cbFormat->currentIndex()); }

void TfmConvertArc::cbFormatChange() {
  const int i = cbFormat->currentIndex();
  if (i < 0 || i > 7) return;
  if (!rxfedOutput->text().isEmpty())
    rxfedOutput->setText(Q(ReplaceArchiveExtension(OutputName(), kConvertExtensions[i])));
  ckVerify->setEnabled(i != kConvertCabinet);
}

void TfmConvertArc::rxfedOutputEnter() {
  const int i = cbFormat->currentIndex();
  if (!rxfedInput->text().isEmpty() && rxfedOutput->text().isEmpty() && i >= 0 && i <= 7)
    rxfedOutput->setText(Q(ReplaceArchiveExtension(InputName(), kConvertExtensions[i])));
}

void TfmConvertArc::ckDeleteOrgClick() {
  if (!ckDeleteOrg->isChecked()) return;
  if (MessageDlg(kConfirmDeleteOrg, mtConfirmation, mbYesNo) != mrYes) ckDeleteOrg->setChecked(false);
}

void TfmConvertArc::buConvertClick() {
  const std::string in = InputName(), out = OutputName();
  // The question is about the file the run leaves, by that name.
  const std::string check = MadeName();
  // "./a.zip" and "a.zip", or a link to the input, are the input itself.
  if (!in.empty() && (in == out || SameFile(in, out) || SameFile(in, check))) {
    MessageDlg(kSameInputOutput, mtWarning, mbOK);
    rxfedOutput->setFocus();
    return;
  }
  if (in.empty() || out.empty()) {
    MessageDlg(kNeedBothNames, mtInformation, mbOK);
    (in.empty() ? rxfedInput : rxfedOutput)->setFocus();
    return;
  }
  // The box shows the name the run leaves before anything is asked about
  // it ("x.tar" as a "GZipTar" output leaves "x.tar.gz"), where that name
  // leaves the same file again ("x" leaves "x.gz", but "x.gz" would leave
  // "x.gz.gz": the box keeps "x").
  if (check != out && MadeFrom(check, cbFormat->currentIndex()) == check) rxfedOutput->setText(Q(check));
  // An existing output is replaced by the converter only once the new one
  // is complete, so it is not deleted here; the converter is told that the
  // user has answered.
  FReplacedOutput.clear();
  if (Exists(check)) {
    if (MessageDlg(kOverwriteOutput, mtConfirmation, mbYesNo) != mrYes) {
      rxfedOutput->setFocus();
      return;
    }
    FReplacedOutput = check;
  }
  done(mrOk);
}

bool TfmConvertArc::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == rxfedOutput && Event->type() == QEvent::FocusIn) rxfedOutputEnter();
  return QDialog::eventFilter(Watched, Event);
}

TfmUUEncode::TfmUUEncode(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmUUEncode>()) {
  ui->setupUi(this);
  rxfedInput = ui->rxfedInput;
  rxfedOutput = ui->rxfedOutput;
  buInputBrowse = ui->buInputBrowse;
  buOutputBrowse = ui->buOutputBrowse;
  rbUUEncode = ui->rbUUEncode;
  rbXXEncode = ui->rbXXEncode;
  cbSpanSize = ui->cbSpanSize;
  buOK = ui->buOK;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;
  cbSpanSize->setCurrentIndex(0);
  connect(rbUUEncode, &QRadioButton::clicked, this, &TfmUUEncode::rgEncodeClick);
  connect(rbXXEncode, &QRadioButton::clicked, this, &TfmUUEncode::rgEncodeClick);
  connect(buOK, &QPushButton::clicked, this, &TfmUUEncode::buOKClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, [] { ShowHelpKeyword("Hlp_UUencode_Archive"); });
  connect(buInputBrowse, &QToolButton::clicked, this,
          [this] { Browse(this, rxfedInput, true, QStringLiteral("All Files (*)")); });
  connect(buOutputBrowse, &QToolButton::clicked, this,
          [this] { Browse(this, rxfedOutput, false, QStringLiteral("All Files (*)")); });
  rxfedOutput->installEventFilter(this);
}

TfmUUEncode::~TfmUUEncode() = default;

std::string TfmUUEncode::InputName() const { return rxfedInput->text().toStdString(); }
std::string TfmUUEncode::OutputName() const { return rxfedOutput->text().toStdString(); }
int TfmUUEncode::Encoding() const { return rbXXEncode->isChecked() ? 1 : 0; }

void TfmUUEncode::rgEncodeClick() {
  if (!rxfedOutput->text().isEmpty())
    rxfedOutput->setText(Q(ReplaceExtension(OutputName(), Encoding() == 0 ? ".uue" : ".xxe")));
}

void TfmUUEncode::rxfedOutputEnter() {
  if (!rxfedInput->text().isEmpty() && rxfedOutput->text().isEmpty())
    rxfedOutput->setText(Q(ReplaceExtension(InputName(), Encoding() == 0 ? ".uue" : ".xxe")));
}

void TfmUUEncode::buOKClick() {
  if (Exists(OutputName()) && MessageDlg(kOverwriteOutput, mtConfirmation, mbYesNo) != mrYes) {
    rxfedOutput->setFocus();
    return;
  }
  done(mrOk);
}

void TfmUUEncode::FormShow() { (rxfedInput->text().isEmpty() ? rxfedInput : rxfedOutput)->setFocus(); }

void TfmUUEncode::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FormShow();
}

bool TfmUUEncode::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == rxfedOutput && Event->type() == QEvent::FocusIn) rxfedOutputEnter();
  return QDialog::eventFilter(Watched, Event);
}

}  // namespace brevane
