#pragma once
// The question before an existing file is replaced by one from the archive.
// Modal results: 6 Yes, 21 Yes to All, 7 No, 22 No to All, 2 Cancel and 23
// Rename with the new name in FNewName.

#include <QDialog>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
namespace Ui {
class TfmOverwriteDlg;
}

namespace brevane {

class TfmOverwriteDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TfmOverwriteDlg(QWidget* Parent = nullptr);
  ~TfmOverwriteDlg() override;

  void bbRenameClick();
  void bbHelpClick();

  // The file asked about (the rename starts from it) and the name typed for
  // Rename.
  std::string FFileName;
  std::string FNewName;

  QLabel* laReplace;
  QLabel* laReplaceFilename;
  QLabel* laWith;
  QLabel* laWithName;
  QPushButton* bbYes;
  QPushButton* bbYesAll;
  QPushButton* bbNo;
  QPushButton* bbNoAll;
  QPushButton* bbCancel;
  QPushButton* bbRename;
  QPushButton* bbHelp;

 private:
  std::unique_ptr<Ui::TfmOverwriteDlg> ui;
};

}  // namespace brevane
