#pragma once
// The extract dialog: destination (with its history), which files, and the
// reader's options. Modal result 1 when a destination was accepted.

#include <QDialog>
#include <memory>
#include <string>

#include "app/main/commandoptions.h"

class QCheckBox;
class QFileSystemModel;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QTreeView;
namespace Ui {
class TfmExtractDlg;
}

namespace brevane {

class TRegComboBox;

class TfmExtractDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TfmExtractDlg(QWidget* Parent = nullptr);
  ~TfmExtractDlg() override;

  // The rgFiles choice: 0 "Selected Files", 1 "All Files".
  int FilesIndex() const;
  void SetFilesIndex(int Index);
  std::string Destination() const;
  // The destination as typed and the options the boxes give.
  brevane::TExtractOptions Choices() const;
  // A relative Folder is taken under the current directory; an existing
  // one is also selected in the folder tree.
  void SetDestination(const std::string& Folder);

  // Selects Folder in the folder tree and opens the tree down to it (also
  // once the folders on the way have been read).
  void ShowFolderInTree(const std::string& Folder);
  void dfstvExplorerChange();
  void bbExtractClick();
  void bbHelpClick();

  QTreeView* dfstvExplorer;
  TRegComboBox* cbDestination;
  QGroupBox* rgFiles;
  QRadioButton* rbSelectedFiles;
  QRadioButton* rbAllFiles;
  QCheckBox* ckRestoreFolders;
  QCheckBox* ckConfirmOverwrites;
  QCheckBox* ckRestoreAttributes;
  QCheckBox* ckCreateDirectories;
  QCheckBox* ckDateAttribute;
  QPushButton* bbExtract;
  QPushButton* bbCancel;
  QPushButton* bbHelp;

 private:
  void RevealCurrentFolder();

  std::unique_ptr<Ui::TfmExtractDlg> ui;
  QFileSystemModel* FFolders;
};

// The destination as the reader gets it: always absolute, a relative one
// lying under CurrentDir. An empty one stays empty (and is refused).
std::string ExtractDestination(const std::string& Typed, const std::string& CurrentDir);

}  // namespace brevane
