#pragma once
// The password for later adds and extractions. With "Mask password" the
// entry is hidden and must be typed twice; the choice is kept in the
// settings for both password dialogs. Modal result 1: the caller takes
// PasswordText() (empty removes the password).

#include <QDialog>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class TfmPassword;
}

namespace brevane {

class TfmPassword : public QDialog {
  Q_OBJECT

 public:
  explicit TfmPassword(QWidget* Parent = nullptr);
  ~TfmPassword() override;

  // The password in use; both edits start from it when the dialog shows.
  std::string FPassword;
  std::string PasswordText() const;

  void FormCreate();
  void FormActivate();
  void FormDestroy();
  void ckMaskClick();
  void buOKClick();
  void buHelpClick();

  QLabel* laPassword;
  QLineEdit* edPassword;
  QLabel* laVerify;
  QLineEdit* edVerify;
  QLabel* laExplanation;
  QCheckBox* ckMask;
  QPushButton* buOK;
  QPushButton* buCancel;
  QPushButton* buHelp;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void ApplyMaskLayout();

  std::unique_ptr<Ui::TfmPassword> ui;
};

}  // namespace brevane
