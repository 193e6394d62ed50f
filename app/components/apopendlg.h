#pragma once
// Open and save dialogs that embed forms of the program around the file
// dialog's own controls (the add dialog's option panel below them), rename
// and hide the standard items, place the dialog on the screen, block
// deleting or renaming in the file list and filter the listed files.

#include <QPointer>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "app/components/opendialog.h"

class QGridLayout;

namespace brevane {

enum TApDlgPosition : int { dpDefault, dpScrCenter, dpMainFormCenter, dpOwnerCenter, dpFormCenter };

struct TApPosParams {
  int ShiftX = 0;
  int ShiftY = 0;
  std::string FormName;
  bool FitToScreen = false;
};

// Panel forms are named without their class's "T": "fmAddBottom" finds the
// form of class TfmAddBottom, which must exist while the dialog is shown.
struct TApCustDlgParams {
  TApDlgPosition Position = dpDefault;
  TApPosParams PosParams;
  std::string BottomFormName;
  std::string RightFormName;
  std::string TopFormName;
  std::string LeftFormName;
  std::string CustFormName;
};

// Texts of the standard items; empty keeps the dialog's own.
struct TApOpenDlgCaptions {
  std::string OK;
  std::string Cancel;
  std::string Help;
  std::string ReadOnlyFlag;
  std::string FileName;
  std::string FileType;
  std::string LookIn;
};

enum TApOpenDlgControl : int {
  dcFolderCombo,
  dcFolderLabel,
  dcSelectionCtrl,
  dcOkBtn,
  dcCancelBtn,
  dcFileName,
  dcFileNameLabel,
  dcFileType,
  dcFileTypeLabel,
  dcToolBar,
};
using TApOpenDlgControls = vsk::TSet<TApOpenDlgControl>;
inline constexpr TApOpenDlgControls kAllDlgControls{dcFolderCombo,   dcFolderLabel, dcSelectionCtrl, dcOkBtn,
                                                    dcCancelBtn,     dcFileName,    dcFileNameLabel, dcFileType,
                                                    dcFileTypeLabel, dcToolBar};

enum TViewStyle : int { vsIcon, vsSmallIcon, vsList, vsReport };

struct TApListViewStyles {
  bool EnableRename = false;
  bool EnableDelete = false;
  bool PopupOnEmpty = false;
  bool PopupOnSelection = false;
};

class TApCustomOpenDialog;

struct TApFileFilter {
  bool Enabled = false;
  // Folders are listed without asking; otherwise they are left out.
  bool ShowFolders = true;
  std::function<void(TApCustomOpenDialog& Sender, const std::string& AFileName, bool& IncludeFile)> OnIncludeFile;
};

struct TApToolBarOptions {
  bool Flat = false;
};

// Where a dialog of size Dialog goes: centred on Center (when not empty),
// moved by the shift, and with FitToScreen moved back inside Screen.
QRect PlaceDialogRect(const QRect& Dialog, const QRect& Center, const QRect& Screen, const TApPosParams& Params);

class TApCustomOpenDialog : public TOpenDialog {
  Q_OBJECT

 public:
  explicit TApCustomOpenDialog(QWidget* Parent = nullptr);
  ~TApCustomOpenDialog() override;

  using TNotify = std::function<void(TApCustomOpenDialog& Sender)>;
  using TQuery = std::function<void(TApCustomOpenDialog& Sender, bool& AllowProceed)>;

  void SetTitle(const std::string& Value) override;
  TNotify OnShow;
  TApCustDlgParams CustDlgParams;
  TApOpenDlgCaptions DlgItemsCaptions;
  TApOpenDlgControls VisibleControls = kAllDlgControls;
  TApListViewStyles ListViewStyles;
  TApFileFilter ExtFilter;
  TApToolBarOptions ToolBar;
  TViewStyle SelectionStyle() const;

  TQuery OnUpLevelNavigating;
  TQuery OnLastFolderNavigating;
  TQuery OnFolderCreating;
  TQuery OnFilenameEntering;
  TNotify OnUpLevelNavigate;
  TNotify OnLastFolderNavigate;
  TNotify OnFilenameChange;
  std::function<void(TApCustomOpenDialog& Sender, TViewStyle AStyle, bool& AllowChange)> OnSelectionStyleChanging;
  std::function<void(TApCustomOpenDialog& Sender, TViewStyle AStyle)> OnSelectionStyleChange;

  bool Execute() override;

  // The dialog being shown (the last one when several are nested), or null.
  static TApCustomOpenDialog* Current();

  // For embedded panels.
  std::string FileNameText() const;
  std::string CurrentFolder() const;
  void PressOK();
  void PressCancel();
  void NavigateTo(const std::string& Folder);

  // The panels embedded while the dialog is shown.
  const std::vector<QPointer<QWidget>>& EmbeddedPanels() const { return FPanels; }

 protected:
  void Prepare() override;
  void Finish(bool Accepted) override;
  void accept() override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  struct TBorrowed {
    QPointer<QWidget> Form;
    QPointer<QWidget> Parent;
    Qt::WindowFlags Flags;
  };
  void EmbedPanels();
  void RestorePanels();
  void ApplyCaptions();
  void ApplyVisibleControls();
  void ApplyListStyles();
  void WatchToolButtons();
  void Place();
  QWidget* Child(const char* Name) const;

  std::vector<TBorrowed> FBorrowed;
  std::vector<QPointer<QWidget>> FPanels;
  int FShiftRows = 0;
  int FShiftCols = 0;
  TApCustomOpenDialog* FPrevious = nullptr;
  bool FWatching = false;
};

class TApOpenDialog : public TApCustomOpenDialog {
  Q_OBJECT

 public:
  using TApCustomOpenDialog::TApCustomOpenDialog;
};

class TApCustomSaveDialog : public TApCustomOpenDialog {
  Q_OBJECT

 public:
  explicit TApCustomSaveDialog(QWidget* Parent = nullptr);
};

class TApSaveDialog : public TApCustomSaveDialog {
  Q_OBJECT

 public:
  using TApCustomSaveDialog::TApCustomSaveDialog;
};

// The panel form named Name: the widget of class "T" + Name (case-insensitive).
QWidget* FindPanelForm(const std::string& Name);

}  // namespace brevane
