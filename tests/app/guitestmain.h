#pragma once
// The main() of the widget tests: an application object drawing off
// screen, dates written the same way whatever the machine's language, and
// Qt's own settings (the file dialog's state) kept in a folder of the run
// that is removed when the application is gone, so no test leaves files.
// The application object is the program's own, which shows what an event
// handler raised.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QSettings>
#include <filesystem>
#include <string>

#include "app/main/application.h"

namespace brevane::testing {

inline int RunWidgetTests(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LC_ALL", "C", 1);
  std::string settings = (std::filesystem::temp_directory_path() / "brevane-qt-XXXXXX").string();
  const bool own = mkdtemp(settings.data()) != nullptr;
  if (own) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settings));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(settings));
  }
  int result = 0;
  {
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  if (own) {
    std::error_code ec;
    std::filesystem::remove_all(settings, ec);
  }
  return result;
}

}  // namespace brevane::testing
