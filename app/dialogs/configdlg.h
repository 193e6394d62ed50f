#pragma once
// The configuration dialog: seven pages of controls, each bound to one
// option variable. It copies the options into its controls when made and
// back when OK is pressed; it never writes the registry itself (the opener
// saves and applies the options). Beside that it only creates the
// program's shortcuts on request and previews the InfoTip text.

#include <QDialog>
#include <memory>
#include <string>

#include "app/main/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
namespace Ui {
class TfmConfiguration;
}

namespace brevane {

// The pages of pcConfig, in order.
enum TConfigPage : int {
  cpView,
  cpToolbar,
  cpFolders,
  cpLocations,
  cpShell,
  cpAssociations,
  cpMiscellaneous,
};

// The help topic of a page; "Hlp_Introduction" for any other index.
std::string ConfigPageTopic(int Page);

// The hint of the InfoTip test area for the ticked InfoTip options: the
// sample lines joined by "\n\r", ending in "| " (a hint shows the part
// before "|").
std::string InfoTipPreview(const TOptions& O);

// The scanner program and parameters a product of the list stands for.
struct TAVPreset {
  const char* Scanner;
  const char* Parameters;
};
TAVPreset AVPreset(int Product);

class TfmConfiguration : public QDialog {
  Q_OBJECT

 public:
  // Edits Target (the program's options unless a test passes its own).
  explicit TfmConfiguration(QWidget* Parent = nullptr, TOptions& Target = Options);
  ~TfmConfiguration() override;

  void FormCreate();
  void SettingsToControls();
  void ControlsToSettings();
  void buOKClick();
  void buHelpClick();
  void buColDefaultsClick();
  void cbAVProductChange();
  void buCreateShortcutsClick();
  void UpdateInfoTipPreview();
  void pcConfigChange(int Page);
  // Whether the File Associations page was shown; the opener applies the
  // associations then.
  bool AssociationsVisited() const { return FAssociationsVisited; }

  QTabWidget* pcConfig;
  QListWidget* clbToolbarButtons;
  QComboBox* cbAVProduct;
  QLineEdit* rxfeVirusScanner;
  QLineEdit* rxfeDefaultViewer;
  QLineEdit* edAVParameters;
  QLabel* imSxTestArea;
  QPushButton* buOK;
  QPushButton* buCancel;
  QPushButton* buHelp;

  // A control of the form by its name.
  template <class T>
  T* Control(const char* Name) const {
    return findChild<T*>(QString::fromLatin1(Name));
  }

 private:
  void UpdateEnabling();
  // False (with its message shown, its page and field made current) when
  // a scanner is chosen whose program cannot be found.
  bool CheckScanner();
  // Tells about folder boxes changed to a folder that does not exist.
  void WarnMissingFolders() const;

  std::unique_ptr<Ui::TfmConfiguration> ui;
  TOptions& FOptions;
  bool FAssociationsVisited = false;
};

}  // namespace brevane
