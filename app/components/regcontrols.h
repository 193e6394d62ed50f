#pragma once
// An editable combo box whose drop-down list is a history kept in the
// registry, most recent first, and which completes typed text from that
// history after a pause in typing.

#include <QComboBox>
#include <QTimer>
#include <string>

#include "platform/registry.h"

namespace brevane {

enum TRegLocation : int { CurrentUser, LocalMachine };

class TRegComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TRegComboBox(QWidget* Parent = nullptr);

  bool RegAutoFindValue = true;
  int RegAutoFindDelay() const { return FDelay; }
  void SetRegAutoFindDelay(int Value);
  bool RegAutoFindCaseSensitive = false;
  bool RegEnabled = true;
  TRegLocation RegLocation() const { return FLocation; }
  // At run time a change moves the history: the key is deleted under both
  // hives and the list written under the new one.
  void SetRegLocation(TRegLocation Value);
  const std::string& RegKey() const { return FRegKey; }
  // A new, non-empty key is stored without one trailing backslash.
  void SetRegKey(const std::string& Value);
  int RegMaxCount = 20;
  bool RegSaveOnExit = false;

  // The form has set the properties: loads the history when RegEnabled.
  void Loaded();
  // Puts the edit text at the top of the history and saves it.
  void AddToHistory();
  // Rewrites the key with the first RegMaxCount non-blank entries.
  void SaveHistory();
  // Completes the edit text from the history.
  void AutoFind();

  std::string Text() const;
  void SetText(const std::string& Value);
  bool CompletionPending() const { return FTimer.isActive(); }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  vsk::THKey Hive() const;
  void WatchEdit();
  QTimer FTimer;
  int FDelay = 500;
  TRegLocation FLocation = CurrentUser;
  std::string FRegKey = "\\Software\\Default";
  bool FLoaded = false;
};

}  // namespace brevane
