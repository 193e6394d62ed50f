#pragma once
// The program's file dialogs: Qt's own (non-native) file dialog with the
// properties the program sets on an open or save dialog. The modal run goes
// through the program's user interface, so tests can answer it. A file
// deleted in the dialog's file list goes to the trash, and the Help button
// (ofShowHelp) opens the topic of HelpContext.

#include <QFileDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/main/dialogtrash.h"
#include "base/types.h"

namespace brevane {

enum TOpenOption : int {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing,
  ofDontAddToRecent,
  ofForceShowHidden,
};
using TOpenOptions = vsk::TSet<TOpenOption>;
enum TOpenOptionEx : int { ofExNoPlacesBar };
using TOpenOptionsEx = vsk::TSet<TOpenOptionEx>;


class TOpenDialog : public QFileDialog {
  Q_OBJECT

 public:
  explicit TOpenDialog(QWidget* Parent = nullptr);

  const std::string& Title() const { return FTitle; }
  virtual void SetTitle(const std::string& Value);
  // "description|patterns|description|patterns...", patterns split by ";".
  std::string Filter;
  // 1-based index into Filter; the dialog's choice after a run.
  int FilterIndex = 1;
  // Appended to a typed name without an extension ("*.*" or "" for none).
  std::string DefaultExt;
  std::string InitialDir;
  // The chosen file (the first of several); its start value is proposed.
  std::string FileName;
  std::vector<std::string> Files;
  TOpenOptions Options{ofHideReadOnly, ofEnableSizing};
  TOpenOptionsEx OptionsEx;
  int HelpContext = 0;
  // The chosen file type changed (FilterIndex holds the new one).
  std::function<void(TOpenDialog& Sender)> OnTypeChange;

  // Runs the dialog modally; true when the user confirmed a choice.
  virtual bool Execute();

  // Qt name filters of a Filter text; "*.*" matches every name.
  static QStringList NameFilters(const std::string& Filter);

  // Moves the files and folders selected in the file list to the trash,
  // each after a question.
  void DeleteSelected();

 protected:
  // Whether this dialog saves (the save dialogs set it).
  bool FSave = false;
  // Applies the properties before the run, and takes the choice after it.
  virtual void Prepare();
  virtual void Finish(bool Accepted);
  // The name box's text is selected when the dialog shows, so what the
  // user types replaces the proposed name instead of adding to it.
  void showEvent(QShowEvent* Event) override;
  // A completion list still open goes with the dialog.
  void done(int Result) override;
  void SelectNameForTyping();
  void HideCompletion();

 private:
  std::string FTitle;
  QStringList FNameFilters;
};

class TSaveDialog : public TOpenDialog {
  Q_OBJECT

 public:
  explicit TSaveDialog(QWidget* Parent = nullptr);
};

}  // namespace brevane
