#include "app/components/progressthrottle.h"

#include <QElapsedTimer>
#include <utility>

namespace brevane {

TProgressThrottle::TProgressThrottle(TSinks Sinks) : FSinks(std::move(Sinks)) {}

std::int64_t TProgressThrottle::Now() const {
  if (FSinks.Now) return FSinks.Now();
  static const QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock.elapsed();
}

void TProgressThrottle::Begin() {
  FRunning = true;
  FPainted = false;
  FPumped = false;
}

void TProgressThrottle::End() {
  Flush();
  FRunning = false;
}

void TProgressThrottle::Progress(int ByFile, int ByArchive) {
  FByFile = ByFile;
  FByArchive = ByArchive;
  FHasProgress = true;
  if (ByArchive >= 100)
    Flush();
  else
    PaintIfDue();
}

void TProgressThrottle::Status(const TStatus& Text) {
  FStatus = Text;
  FHasStatus = true;
  PaintIfDue();
}

void TProgressThrottle::Line(const QString& Text) {
  FLines.push_back(Text);
  PaintIfDue();
}

void TProgressThrottle::PaintIfDue() {
  if (FRunning && FPainted && Now() - FLastPaint < kPaintMs) return;
  Flush();
}

void TProgressThrottle::Flush() {
  if (!FHasProgress && !FHasStatus && FLines.isEmpty()) return;
  // Taken before painting: a sink may pump events that record more.
  if (FHasProgress) {
    FHasProgress = false;
    if (FSinks.Progress) FSinks.Progress(FByFile, FByArchive);
  }
  if (FHasStatus) {
    FHasStatus = false;
    if (FSinks.Status) FSinks.Status(FStatus);
  }
  if (!FLines.isEmpty()) {
    const QStringList lines = std::exchange(FLines, {});
    if (FSinks.Output) FSinks.Output(lines);
  }
  ++FPaints;
  FPainted = true;
  FLastPaint = Now();
}

void TProgressThrottle::Pump() {
  if (FRunning && FPumped && Now() - FLastPump < kPumpMs) return;
  FPumped = true;
  FLastPump = Now();
  if (FSinks.Pump) FSinks.Pump();
}

}  // namespace brevane
