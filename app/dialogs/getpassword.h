#pragma once
// Asks for the password of an encrypted entry during a run. Modal result 1
// with a non-empty PasswordText(); the mask choice is shared with TfmPassword.

#include <QDialog>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class TfmGetPassword;
}

namespace brevane {

class TfmGetPassword : public QDialog {
  Q_OBJECT

 public:
  explicit TfmGetPassword(QWidget* Parent = nullptr);
  ~TfmGetPassword() override;

  void SetFileName(const std::string& FileName);
  std::string PasswordText() const;

  void FormCreate();
  void FormDestroy();
  void ckMaskClick();
  void buOKClick();
  void buHelpClick();

  QLabel* laFile;
  QLabel* laFileName;
  QLineEdit* edPassword;
  QCheckBox* ckMask;
  QPushButton* buOK;
  QPushButton* buCancel;
  QPushButton* buHelp;

 private:
  std::unique_ptr<Ui::TfmGetPassword> ui;
};

}  // namespace brevane
