#pragma once
// The backup-set dialogs: the manager lists the sets of the backup folder
// (to create, modify, remove, or run the checked ones: modal result 31)
// and the editor edits one set.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main/backupscript.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
namespace Ui {
class TfmBackupEditor;
class TfmManageBackup;
}  // namespace Ui

namespace brevane {

// The manager's result when the chosen sets are to be run.
inline constexpr int mrRunBackups = 31;

class TfmBackupEditor : public QDialog {
  Q_OBJECT

 public:
  explicit TfmBackupEditor(QWidget* Parent = nullptr);
  ~TfmBackupEditor() override;

  void SetScript(const TBackupScript& Script);
  // The set as edited (the entries in list order).
  TBackupScript Script() const;
  void AddEntries(const std::vector<std::string>& Entries);

  void buSaveClick();
  void buAddFilesClick();
  void buAddFoldersClick();
  void buRemoveFilesClick();
  void rbMethodClick();
  void cbArcTypeChange();

  QTabWidget* pcPages;
  QLineEdit* edBackupSetName;
  QLineEdit* edBackupDesc;
  QLineEdit* rxdeBackupFolder;
  QToolButton* buBrowseFolder;
  QComboBox* cbArcType;
  QComboBox* cbCompression;
  QComboBox* cbPathInfo;
  QRadioButton* rbMethodOverwrite;
  QRadioButton* rbMethodPrompt;
  QRadioButton* rbMethodMulti;
  QLabel* laGenerations;
  QSpinBox* udGenerations;
  QListWidget* lbFiles;
  QPushButton* buAddFiles;
  QPushButton* buAddFolders;
  QPushButton* buRemoveFiles;
  QPushButton* buSave;
  QPushButton* buCancel;
  QPushButton* buHelp;

 private:
  std::unique_ptr<Ui::TfmBackupEditor> ui;
};

class TfmManageBackup : public QDialog {
  Q_OBJECT

 public:
  explicit TfmManageBackup(QWidget* Parent = nullptr);
  ~TfmManageBackup() override;

  void FillList();
  void buCreateClick();
  void buModifyClick();
  void buRemoveClick();
  void buRunClick();
  void miCheckAllClick(bool Checked);
  void miViewArchivesClick();
  // The sets to run: the checked rows, or the first selected row when none
  // is checked.
  std::vector<std::string> SetsToRun() const;

  // Opens a folder in the desktop's file manager; tests replace it.
  std::function<bool(const std::string& Folder)> OpenFolder;

  QListWidget* clbBackupSets;
  QPushButton* buRun;
  QPushButton* buCreate;
  QPushButton* buModify;
  QPushButton* buRemove;
  QPushButton* buClose;
  QPushButton* buHelp;

 private:
  std::string SelectedSet() const;
  std::unique_ptr<Ui::TfmManageBackup> ui;
};

}  // namespace brevane
