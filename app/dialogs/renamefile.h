#pragma once
// Asked when a file being added meets an entry of the same name: the
// existing entry may be renamed (21, new name in FileNameText()), the new
// file skipped (22) or all such files skipped (23).

#include <QDialog>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class TfmRenameFile;
}

namespace brevane {

class TfmRenameFile : public QDialog {
  Q_OBJECT

 public:
  explicit TfmRenameFile(QWidget* Parent = nullptr);
  ~TfmRenameFile() override;

  // Puts the existing entry's name into the edit and remembers it.
  void SetFileName(const std::string& Name);
  std::string FileNameText() const;

  void buRenameClick();
  void buSkipClick();
  void buSkipAllClick();
  void buHelpClick();

  std::string FOriginalName;

  QLabel* laExplanation;
  QLineEdit* edFileName;
  QPushButton* buRename;
  QPushButton* buSkip;
  QPushButton* buSkipAll;
  QPushButton* buHelp;

 private:
  std::unique_ptr<Ui::TfmRenameFile> ui;
};

}  // namespace brevane
