#include "app/components/regcontrols.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "app/main/settings.h"

namespace brevane {

namespace {

constexpr int kLongestCompletion = 999;

}  // namespace

TRegComboBox::TRegComboBox(QWidget* Parent) : QComboBox(Parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  setDuplicatesEnabled(true);
  // One completion per pause: every tick ends the timer, typing starts it anew.
  FTimer.setSingleShot(true);
  FTimer.setInterval(FDelay);
  connect(&FTimer, &QTimer::timeout, this, &TRegComboBox::AutoFind);
  WatchEdit();
}

void TRegComboBox::WatchEdit() {
  if (QLineEdit* edit = lineEdit()) edit->installEventFilter(this);
}

vsk::THKey TRegComboBox::Hive() const {
  return FLocation == LocalMachine ? vsk::HKEY_LOCAL_MACHINE : vsk::HKEY_CURRENT_USER;
}

void TRegComboBox::SetRegAutoFindDelay(int Value) {
  FDelay = Value;
  FTimer.setInterval(Value < 0 ? 0 : Value);
}

void TRegComboBox::SetRegKey(const std::string& Value) {
  if (Value.empty() || Value == FRegKey) return;
  FRegKey = Value;
  if (FRegKey.back() == '\\') FRegKey.pop_back();
}

void TRegComboBox::SetRegLocation(TRegLocation Value) {
  if (Value == FLocation) return;
  if (!FLoaded) {
    FLocation = Value;
    return;
  }
  try {
    vsk::TRegistry(vsk::HKEY_CURRENT_USER).DeleteKey(FRegKey);
    vsk::TRegistry(vsk::HKEY_LOCAL_MACHINE).DeleteKey(FRegKey);
  } catch (const vsk::ERegistryException&) {
  }
  FLocation = Value;
  SaveHistory();
}

void TRegComboBox::Loaded() {
  FLoaded = true;
  if (!RegEnabled) return;
  QStringList names;
  try {
    vsk::TRegistry reg(Hive());
    if (!reg.OpenKeyReadOnly(FRegKey)) return;
    for (const auto& n : reg.GetValueNames())
      if (!n.empty()) names << QString::fromStdString(n);
    reg.CloseKey();
  } catch (const vsk::ERegistryException&) {
    return;
  }
  const QString text = currentText();
  clear();
  addItems(names);
  setEditText(text);
}

void TRegComboBox::AddToHistory() {
  const QString text = currentText();
  if (text.isEmpty()) return;
  for (int i = count() - 1; i >= 0; --i) {
    const QString item = itemText(i);
    if (item == text || item.isEmpty()) removeItem(i);
  }
  insertItem(0, text);
  setCurrentIndex(0);
  setEditText(text);
  SaveHistory();
}

void TRegComboBox::SaveHistory() {
  std::vector<std::pair<std::string, std::string>> values;
  for (int i = 0; i < count() && i < RegMaxCount; ++i) {
    const QString item = itemText(i);
    if (!item.trimmed().isEmpty()) values.emplace_back(item.toStdString(), std::string());
  }
  try {
    // One commit: a failed one leaves the old history whole.
    ReplaceKeyValues(Hive(), FRegKey, values);
  } catch (const vsk::ERegistryException&) {
    // The box reports no registry errors.
  }
}

void TRegComboBox::AutoFind() {
  FTimer.stop();
  if (!RegAutoFindValue) return;
  const QString typed = currentText();
  if (typed.isEmpty() || count() == 0) return;
  const auto cs = RegAutoFindCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
  int best = -1;
  qsizetype bestLength = 0;
  for (int i = 0; i < count(); ++i) {
    const QString item = itemText(i);
    if (item.size() >= kLongestCompletion) continue;
    if (item.left(typed.size()).compare(typed, cs) != 0) continue;
    if (best < 0 || item.size() < bestLength) {
      best = i;
      bestLength = item.size();
    }
  }
  if (best < 0) return;
  const QString item = itemText(best);
  const QString completed = RegAutoFindCaseSensitive ? item : typed + item.mid(typed.size());
  setEditText(completed);
  if (QLineEdit* edit = lineEdit())
    edit->setSelection(static_cast<int>(typed.size()), static_cast<int>(completed.size() - typed.size()));
}

std::string TRegComboBox::Text() const { return currentText().toStdString(); }

void TRegComboBox::SetText(const std::string& Value) { setEditText(QString::fromStdString(Value)); }

bool TRegComboBox::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == lineEdit() && Event->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(Event);
    if (RegAutoFindValue && FDelay >= 1) {
      if (key->key() == Qt::Key_Backspace)
        FTimer.stop();
      else
        FTimer.start();
    } else {
      AutoFind();
    }
  }
  return QComboBox::eventFilter(Watched, Event);
}

void TRegComboBox::focusOutEvent(QFocusEvent* Event) {
  QComboBox::focusOutEvent(Event);
  if (RegSaveOnExit && Event->reason() != Qt::PopupFocusReason) AddToHistory();
}

}  // namespace brevane
