// Registry errors (a value of the wrong type, a commit the disk refuses)
// end only the operation that met them: the program shows their text and
// runs on, and the setting keeps its old value.

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <functional>
#include <stdexcept>

#include "app/dialogs/password.h"
#include "app/main/settings.h"
#include "platform/registry.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

// Every commit to the per-user hive fails while it lives (its lock file
// cannot be opened), as on a full or read-only disk; reads still work.
class TBlockedCommits {
 public:
  TBlockedCommits() : FLock(vsk::HiveFileName(vsk::HKEY_CURRENT_USER) + ".lock") {
    fs::remove(FLock);
    fs::create_directories(FLock);
  }
  ~TBlockedCommits() { fs::remove(FLock); }

 private:
  fs::path FLock;
};

using RegistryErrors = WindowTest;

TEST_F(RegistryErrors, AFailedWriteKeepsTheOldValueAndIsShown) {
  ASSERT_TRUE(Start({}));
  ASSERT_TRUE(Options.ButtonText);
  {
    TBlockedCommits blocked;
    ui.ExpectMessage("Failed to set data for 'ButtonText'", mtError);
    main->miShowTextClick();
    EXPECT_TRUE(Options.ButtonText);
  }
  EXPECT_TRUE(ReadSettingBool("Toolbar", "ButtonText"));
  main->miShowTextClick();
  EXPECT_FALSE(Options.ButtonText);
  EXPECT_FALSE(ReadSettingBool("Toolbar", "ButtonText"));
  EndProgram();

  // A first start on a registry that takes no writes runs on defaults.
  vsk::TRegistry(vsk::HKEY_CURRENT_USER).DeleteKey(kSettingsKey);
  {
    TBlockedCommits blocked;
    ui.ExpectMessage("Failed to create key \\Software\\Brevane", mtError);
    // The shell extensions' registration meets the same refusal.
    ui.ExpectMessage("Failed to set data for ''", mtError);
    EXPECT_TRUE(Start({}));
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(Options.ButtonText);
    EndProgram();
  }
}

TEST_F(RegistryErrors, AValueOfTheWrongTypeIsShown) {
  ASSERT_TRUE(Start({}));
  WriteSettingString("Others", "MaskPassword", "yes");
  ui.ExpectMessage("Invalid data type for 'MaskPassword'", mtError);
  ui.ExpectModal([](QDialog& Dialog) {
    EXPECT_FALSE(dynamic_cast<TfmPassword&>(Dialog).ckMask->isChecked());
    return static_cast<int>(mrCancel);
  });
  main->acPasswordExecute();
  // Closing the dialog wrote its choice back with the right type.
  EXPECT_FALSE(ReadSettingBool("Others", "MaskPassword"));
}

// An object whose event handler raises what it is given.
class TRaising : public QObject {
 public:
  std::function<void()> Raise;
  int Events = 0;
  bool event(QEvent* Event) override {
    if (Event->type() != QEvent::User) return QObject::event(Event);
    ++Events;
    if (Raise) Raise();
    return true;
  }
};

TEST_F(RegistryErrors, WhatAnEventHandlerRaisesIsShownNotFatal) {
  TRaising object;
  object.Raise = [] { throw vsk::ERegistryException("Invalid data type for 'X'"); };
  QEvent first(QEvent::User);
  ui.ExpectMessage("Invalid data type for 'X'", mtError);
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &first));
  // The program goes on handling events.
  object.Raise = nullptr;
  QEvent second(QEvent::User);
  EXPECT_TRUE(QCoreApplication::sendEvent(&object, &second));
  EXPECT_EQ(object.Events, 2);
}

}  // namespace
}  // namespace brevane::testing
