#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Widgets need an application object; they draw off screen, and dates are
// written the same way whatever the machine's language.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LC_ALL", "C", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
