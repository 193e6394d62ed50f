#include "app/main/application.h"

#include <cstdio>
#include <exception>

#include "app/main/userinterface.h"

namespace brevane {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& e) {
    // Shown to the user and kept in the log, so a fault is never hidden.
    // Anything that is no std::exception still ends the program.
    std::fprintf(stderr, "brevane: %s\n", e.what());
    ShowError(e.what());
    return false;
  }
}

}  // namespace brevane
