#pragma once
// The convert and UU-encode dialogs of the tool commands: they only check
// what was entered and return OK; the caller does the work.

#include <QDialog>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
namespace Ui {
class TfmConvertArc;
class TfmUUEncode;
}  // namespace Ui

namespace brevane {

// The output formats of the convert dialog, in list order, with the
// extension each gives the output: "GZipTar" shows the name the converter
// leaves.
inline constexpr const char* kConvertExtensions[] = {".bh", ".cab", ".tar.gz", ".jar", ".lha", ".lzh", ".tar", ".zip"};
inline constexpr int kConvertGZipTar = 2;
inline constexpr int kConvertCabinet = 1;

class TfmConvertArc : public QDialog {
  Q_OBJECT

 public:
  explicit TfmConvertArc(QWidget* Parent = nullptr);
  ~TfmConvertArc() override;

  void FormActivate();
  void cbFormatChange();
  void rxfedOutputEnter();
  void ckDeleteOrgClick();
  void buConvertClick();

  std::string InputName() const;
  std::string OutputName() const;
  // The file the conversion leaves: the output, or for "GZipTar" the name
  // the converter gives the gzip of its tar.
  std::string MadeName() const;
  // The existing output file the user agreed to have replaced; "" when the
  // output did not exist.
  const std::string& ReplacedOutput() const { return FReplacedOutput; }

  QLineEdit* rxfedInput;
  QLineEdit* rxfedOutput;
  QToolButton* buInputBrowse;
  QToolButton* buOutputBrowse;
  QComboBox* cbFormat;
  QCheckBox* ckVerify;
  QCheckBox* ckDeleteOrg;
  QPushButton* buConvert;
  QPushButton* buCancel;
  QPushButton* buHelp;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  std::unique_ptr<Ui::TfmConvertArc> ui;
  std::string FReplacedOutput;
  // Whether the user chose the output: until then it follows the input.
  bool FOutputChosen = false;
};

class TfmUUEncode : public QDialog {
  Q_OBJECT

 public:
  explicit TfmUUEncode(QWidget* Parent = nullptr);
  ~TfmUUEncode() override;

  void rgEncodeClick();
  void rxfedOutputEnter();
  void buOKClick();

  std::string InputName() const;
  std::string OutputName() const;
  // 0 UUEncode, 1 XXEncode.
  int Encoding() const;
  // The output box takes the focus when the input is given, else the input.
  void FormShow();

  QLineEdit* rxfedInput;
  QLineEdit* rxfedOutput;
  QToolButton* buInputBrowse;
  QToolButton* buOutputBrowse;
  QRadioButton* rbUUEncode;
  QRadioButton* rbXXEncode;
  QComboBox* cbSpanSize;
  QPushButton* buOK;
  QPushButton* buCancel;
  QPushButton* buHelp;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

 private:
  std::unique_ptr<Ui::TfmUUEncode> ui;
};

// A name with its extension (of the last component) replaced.
std::string ReplaceExtension(const std::string& Name, const std::string& Ext);
// Name with its archive extension (".tar.gz" counts as one) replaced by Ext.
std::string ReplaceArchiveExtension(const std::string& Name, const std::string& Ext);

}  // namespace brevane
