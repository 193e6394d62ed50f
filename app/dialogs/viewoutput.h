#pragma once
// The output window: the error block of the last operation, kept for the
// whole run of the program. Modal result 1.

#include <QDialog>
#include <memory>

class QPlainTextEdit;
class QPushButton;
namespace Ui {
class TfmViewOutput;
}

namespace brevane {

class TfmViewOutput : public QDialog {
  Q_OBJECT

 public:
  explicit TfmViewOutput(QWidget* Parent = nullptr);
  ~TfmViewOutput() override;

  void buCopyClick();

  QPlainTextEdit* meOutput;
  QPushButton* buClose;
  QPushButton* buCopy;

 private:
  std::unique_ptr<Ui::TfmViewOutput> ui;
};

}  // namespace brevane
