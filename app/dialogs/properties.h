#pragma once
// Shows the open archive's file name, type, totals, ratio, date, DOS
// attributes and comment; the opener fills the fields. Modal result 1.

#include <QDialog>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
namespace Ui {
class TfmProperties;
}

namespace brevane {

class TProgressCyl;

class TfmProperties : public QDialog {
  Q_OBJECT

 public:
  explicit TfmProperties(QWidget* Parent = nullptr);
  ~TfmProperties() override;

  // Ticks the four attribute boxes from a DOS attribute byte.
  void SetAttributes(unsigned Attributes);

  QLineEdit* edFilename;
  QLabel* laArcType;
  QLabel* laTotalFiles;
  QLabel* laPackedSize;
  QLabel* laUnpackedSize;
  QLabel* laRatio;
  TProgressCyl* pcRatio;
  QLabel* laDate;
  QCheckBox* ckReadOnly;
  QCheckBox* ckArchive;
  QCheckBox* ckHidden;
  QCheckBox* ckSystem;
  QPlainTextEdit* meComment;
  QPushButton* buClose;

 private:
  std::unique_ptr<Ui::TfmProperties> ui;
};

}  // namespace brevane
