#pragma once
// The check-out dialog: the folder an archive is checked out to, the name
// of its menu group and the number of launchers. OK checks the entries and
// asks before what an existing folder holds goes to the Trash or an
// existing group is replaced; the caller does the work.

#include <QDialog>
#include <memory>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
namespace Ui {
class TfmCheckout;
}

namespace brevane {

class TfmCheckout : public QDialog {
  Q_OBJECT

 public:
  explicit TfmCheckout(QWidget* Parent = nullptr);
  ~TfmCheckout() override;

  void buBrowseClick();
  void buOKClick();

  // The folder box; after OK the full name of the folder.
  std::string Folder() const;
  std::string GroupName() const;
  // The archive being checked out: a folder that holds it is refused, as
  // replacing the folder would delete the archive.
  std::string ArchiveFile;

  QLineEdit* edFolder;
  QLineEdit* edGroupName;
  QSpinBox* udMaxIcons;
  QCheckBox* ckCreateIcons;
  QCheckBox* ckVirusScan;
  QPushButton* buBrowse;
  QPushButton* buOK;
  QPushButton* buCancel;
  QPushButton* buHelp;

 private:
  std::unique_ptr<Ui::TfmCheckout> ui;
};

}  // namespace brevane
