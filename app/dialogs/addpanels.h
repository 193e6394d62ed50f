#pragma once
// The option panels embedded below the add dialog and the add-options
// dialog. They live for the whole run and are borrowed by those dialogs;
// their callers reset them before each use.

#include <QWidget>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QPushButton;
namespace Ui {
class TfmAddBottom;
class TfmAddOptionsBottom;
}  // namespace Ui

namespace brevane {

class TfmAddBottom : public QWidget {
  Q_OBJECT

 public:
  explicit TfmAddBottom(QWidget* Parent = nullptr);
  ~TfmAddBottom() override;

  // The main window's password for the next add; the panel edits it through
  // the password dialog. Not owned.
  std::string* FPassword = nullptr;
  // The add dialog the panel sits in; when unset, the file dialog it is
  // embedded in.
  QFileDialog* AddDialog = nullptr;

  // Set by "Add With Wildcards": the masks typed in the file-name field and
  // the folder they apply to.
  bool FWildcardsUsed = false;
  std::string FWildcards;
  std::string FWildcardFolder;

  void FormShow();
  void buPasswordClick();
  void buWildcardsClick();
  void buHelpClick();

  QComboBox* cbAction;
  QComboBox* cbCompression;
  QComboBox* cbDiskSpanning;
  QCheckBox* ckSaveFullPath;
  QCheckBox* ckIncludeSubfolders;
  QPushButton* buPassword;
  QPushButton* buWildcards;
  QPushButton* buHelp;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  QFileDialog* HostDialog() const;

  std::unique_ptr<Ui::TfmAddBottom> ui;
};

class TfmAddOptionsBottom : public QWidget {
  Q_OBJECT

 public:
  explicit TfmAddOptionsBottom(QWidget* Parent = nullptr);
  ~TfmAddOptionsBottom() override;

  std::string* FPassword = nullptr;

  void FormShow();
  void buPasswordClick();
  void buHelpClick();

  QComboBox* cbAction;
  QComboBox* cbCompression;
  QComboBox* cbDiskSpanning;
  QCheckBox* ckSaveFullPath;
  QPushButton* buPassword;
  QPushButton* buHelp;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  std::unique_ptr<Ui::TfmAddOptionsBottom> ui;
};

extern TfmAddBottom* fmAddBottom;
extern TfmAddOptionsBottom* fmAddOptionsBottom;

}  // namespace brevane
