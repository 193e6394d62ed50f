#pragma once
// Every modal interaction of the program goes through IUserInterface: message
// boxes, input boxes, folder choice and each dialog's modal run. The
// program's own implementation shows Qt dialogs; tests install one that
// answers from a script.

#include <functional>
#include <string>

class QDialog;
class QWidget;

namespace brevane {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

using TMsgDlgButtons = unsigned;
inline constexpr TMsgDlgButtons mbYes = 0x001;
inline constexpr TMsgDlgButtons mbNo = 0x002;
inline constexpr TMsgDlgButtons mbOK = 0x004;
inline constexpr TMsgDlgButtons mbCancel = 0x008;
inline constexpr TMsgDlgButtons mbAbort = 0x010;
inline constexpr TMsgDlgButtons mbRetry = 0x020;
inline constexpr TMsgDlgButtons mbIgnore = 0x040;
inline constexpr TMsgDlgButtons mbAll = 0x080;
inline constexpr TMsgDlgButtons mbNoToAll = 0x100;
inline constexpr TMsgDlgButtons mbYesToAll = 0x200;
inline constexpr TMsgDlgButtons mbHelp = 0x400;
inline constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
inline constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;

// Modal results; the program's three-way dialogs add 21, 22 and 23.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
  mrNoToAll = 9,
  mrYesToAll = 10,
};

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;
  // A message box; the result is the modal result of the button pressed.
  // "\r\n" and "\r" in Text are line breaks.
  virtual int MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) = 0;
  // A message box with a Help button (mbHelp) that opens the topic of the
  // help context HelpCtx and leaves the box open; otherwise as MessageDlg.
  virtual int MessageDlgHelp(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int HelpCtx) {
    (void)HelpCtx;
    return MessageDlg(Text, Type, Buttons);
  }
  // A message box whose default button (the one Enter presses) is Default,
  // one of Buttons; otherwise as MessageDlg.
  virtual int MessageDlgDefault(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons,
                                TMsgDlgButtons Default) {
    (void)Default;
    return MessageDlg(Text, Type, Buttons);
  }
  // An input box; true on OK, with Value holding the answer.
  virtual bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) = 0;
  // A folder choice starting at Folder; true on OK.
  virtual bool SelectDirectory(const std::string& Caption, std::string& Folder) = 0;
  // Runs a dialog modally (file dialogs included) and gives its modal result:
  // a dialog that was accepted without a result of its own gives mrOk, one
  // that was rejected mrCancel.
  virtual int ShowModal(QDialog& Dialog) = 0;
};

// The interface in use; the Qt one unless another was installed.
IUserInterface& UI();
// Installs an interface (null goes back to the Qt one); not owned.
void SetUserInterface(IUserInterface* Ui);

// The Qt implementation.
class TQtUserInterface : public IUserInterface {
 public:
  int MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) override;
  int MessageDlgHelp(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int HelpCtx) override;
  int MessageDlgDefault(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons,
                        TMsgDlgButtons Default) override;
  bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) override;
  bool SelectDirectory(const std::string& Caption, std::string& Folder) override;
  int ShowModal(QDialog& Dialog) override;

 private:
  static int ShowMessageBox(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int HelpCtx,
                            TMsgDlgButtons Default);
};

// Text as shown: "\r\n" and single "\r" become line breaks.
std::string DisplayText(const std::string& Text);

// The short forms the program uses everywhere.
int MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons);
int MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int HelpCtx);
// A question whose default button is Default (No, say, where Yes would
// cost the user files).
int MessageDlgDefault(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, TMsgDlgButtons Default);
void ShowError(const std::string& Text);
void ShowInformation(const std::string& Text);
// How many error messages the program has shown so far: a command that
// showed one failed.
int ErrorMessagesShown();

// Runs Action, a short use of the settings store or the registry. An error
// it raises (a value of the wrong type, a write the disk refused) ends
// only Action: its text is shown as an error message. False then.
bool ShowExceptions(const std::function<void()>& Action);

}  // namespace brevane
