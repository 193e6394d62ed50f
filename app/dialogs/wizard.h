#pragma once
// The wizard: one of three tasks page by page (create an archive, add files
// to one, extract one), done by the main window's own commands, which the
// owner hands in (Add, Extract). After a task Next starts anew.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main/commandoptions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;
namespace Ui {
class TfmWizard;
}

namespace brevane {

// The pages of nbPages.
enum TWizardPage : int {
  wpStart,
  wpCreateStart,
  wpAddFiles,
  wpUpdateStart,
  wpAddFinish,
  wpExtractStart,
  wpSelectFolder,
  wpExtractFinish,
};

class TfmWizard : public QDialog {
  Q_OBJECT

 public:
  explicit TfmWizard(QWidget* Parent = nullptr);
  ~TfmWizard() override;

  void Reset();
  // 1 create, 2 add, 3 extract.
  void SetTask(int Task);
  int Task() const { return FTask; }
  int CurrentPage() const;
  const std::string& HelpTopic() const { return FHelpTopic; }

  void buNextClick();
  void buBackClick();
  void buHelpClick();
  void buAddFilesClick();
  void buAddFoldersClick();
  void buRemoveClick();
  void buBrowseFolderClick();
  void AddFiles(const std::vector<std::string>& Names);
  std::vector<std::string> Files() const;

  // The main window's commands the tasks run.
  // Add gives the files it added (-1: no input existed).
  std::function<int(const brevane::TAddOptions& Adding)> Add;
  std::function<void(const brevane::TExtractOptions& Extraction)> Extract;
  // Opens a folder in the desktop's file manager.
  std::function<bool(const std::string& Folder)> OpenFolder;

  QStackedWidget* nbPages;
  QRadioButton* rbStartCreate;
  QRadioButton* rbStartUpdate;
  QRadioButton* rbStartExtract;
  QLineEdit* rxfedCreate;
  QLabel* laCurrentDir;
  QListWidget* lbFiles;
  QPushButton* buAddFiles;
  QPushButton* buAddFolders;
  QPushButton* buRemove;
  QLineEdit* rxfedUpdate;
  QLineEdit* rxfedExtract;
  QLineEdit* edTargetFolder;
  QPushButton* buBrowseFolder;
  QCheckBox* ckExOverwrite;
  QCheckBox* ckExDisplayIcons;
  QCheckBox* ckExStoredFolders;
  QPushButton* buBack;
  QPushButton* buNext;
  QPushButton* buClose;
  QPushButton* buHelp;

 private:
  void ShowStep(int Step);
  void UpdateButtons();
  bool CheckEntry();
  // The new archive's path: a bare name is in the folder the page shows.
  std::string CreatePath(const std::string& Name) const;
  // Something that is there and is no file (a folder, a FIFO).
  static bool IsNoFile(const std::string& Path);
  void Finish();

  std::unique_ptr<Ui::TfmWizard> ui;
  std::vector<int> FSequence;
  int FStep = 0;
  int FTask = 1;
  std::string FHelpTopic;
};

// A name typed or chosen loses one leading and one trailing double quote.
std::string Unquoted(const std::string& Name);

}  // namespace brevane
