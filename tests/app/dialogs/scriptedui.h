#pragma once
// A user interface for tests: every question must be the next one of the
// script, whose answer it returns; any other question fails the test. The
// start-up association prompt is answered No unless a test asks for it.

#include <gtest/gtest.h>

#include <QDialog>
#include <deque>
#include <functional>
#include <string>

#include "app/main/userinterface.h"

namespace brevane::testing {

class TScriptedUi : public IUserInterface {
 public:
  enum TKind { kMessage, kInput, kFolder, kModal };
  struct TStep {
    TKind Kind;
    std::string Text;  // message text or input prompt expected
    int Result = mrOk;
    std::string Answer;                      // input box answer
    std::function<int(QDialog&)> OnModal;    // acts on the dialog instead of a user
    int Type = -1;                           // expected message type, -1 any
    bool TailOnly = false;                   // Text is only the message's end
    bool HeadOnly = false;                   // Text is only the message's beginning
  };

  TScriptedUi() { SetUserInterface(this); }
  ~TScriptedUi() override {
    SetUserInterface(nullptr);
    EXPECT_TRUE(Steps.empty()) << Steps.size() << " scripted question(s) were never asked";
  }

  void ExpectMessage(const std::string& Text, TMsgDlgType Type, int Result = mrOk) {
    Steps.push_back({kMessage, Text, Result, {}, {}, Type});
  }
  // A message whose beginning is not known (a temporary path, say).
  void ExpectMessageEnding(const std::string& Tail, TMsgDlgType Type, int Result = mrOk) {
    Steps.push_back({kMessage, Tail, Result, {}, {}, Type, true});
  }
  // A message whose end is not known (a count, say).
  void ExpectMessageStarting(const std::string& Head, TMsgDlgType Type, int Result = mrOk) {
    Steps.push_back({kMessage, Head, Result, {}, {}, Type, false, true});
  }
  void ExpectInput(const std::string& Prompt, bool Ok, const std::string& Answer = {}) {
    Steps.push_back({kInput, Prompt, Ok ? mrOk : mrCancel, Answer, {}, -1});
  }
  void ExpectModal(std::function<int(QDialog&)> OnModal) { Steps.push_back({kModal, {}, mrOk, {}, OnModal, -1}); }

  int MessageDlg(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons) override {
    LastMessage = Text;
    TStep step;
    if (!Next(kMessage, Text, step)) return mrCancel;
    if (step.Type >= 0) {
      EXPECT_EQ(step.Type, static_cast<int>(Type)) << Text;
    }
    return step.Result;
  }
  int MessageDlgDefault(const std::string& Text, TMsgDlgType Type, TMsgDlgButtons Buttons,
                        TMsgDlgButtons Default) override {
    LastDefault = Default;
    return MessageDlg(Text, Type, Buttons);
  }
  bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) override {
    TStep step;
    if (!Next(kInput, Prompt, step)) return false;
    LastInputCaption = Caption;
    LastInputStart = Value;
    if (step.Result != mrOk) return false;
    Value = step.Answer;
    return true;
  }
  bool SelectDirectory(const std::string& Caption, std::string&) override {
    ADD_FAILURE() << "unexpected folder choice: " << Caption;
    return false;
  }
  int ShowModal(QDialog& Dialog) override {
    if (!AskAssociations && Dialog.objectName() == QLatin1String("fmAssociateDlg")) return mrNo;
    TStep step;
    if (!Next(kModal, {}, step)) return mrCancel;
    return step.OnModal(Dialog);
  }

  std::deque<TStep> Steps;
  // Whether the association prompt is a question of the script.
  bool AskAssociations = false;
  std::string LastInputCaption;
  std::string LastInputStart;
  std::string LastMessage;
  // The default button of the last question that named one.
  TMsgDlgButtons LastDefault = 0;

 private:
  bool Next(TKind Kind, const std::string& Text, TStep& Step) {
    if (Steps.empty()) {
      ADD_FAILURE() << "unexpected question: " << Text;
      return false;
    }
    Step = Steps.front();
    Steps.pop_front();
    EXPECT_EQ(Step.Kind, Kind) << Text;
    if (Kind != kModal && Step.TailOnly) {
      const bool ends = Text.size() >= Step.Text.size() &&
                        Text.compare(Text.size() - Step.Text.size(), Step.Text.size(), Step.Text) == 0;
      EXPECT_TRUE(ends) << Text << " does not end with " << Step.Text;
    } else if (Kind != kModal && Step.HeadOnly) {
      EXPECT_EQ(Text.substr(0, Step.Text.size()), Step.Text);
    } else if (Kind != kModal) {
      EXPECT_EQ(Step.Text, Text);
    }
    return Step.Kind == Kind;
  }
};

}  // namespace brevane::testing
