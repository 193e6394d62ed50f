#pragma once
// The program's application object. Every event passes its notify, the one
// place around all event handlers: an error an operation raised and nobody
// caught (a registry value of the wrong type, a write the disk refused)
// ends that operation, not the program, and its text is shown.

#include <QApplication>

namespace brevane {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* Receiver, QEvent* Event) override;
};

}  // namespace brevane
