#pragma once
// What a window shows of a running archive operation, painted at most about
// 25 times a second, with pending events let through at most every 20 ms,
// however many events the run sends. Each event only records what it
// shows (the percentages, the status text, lines for the output window);
// the latest state is painted when a paint is due, when the run reaches
// 100 % and when the run ends, so the last name, 100 % and the totals are
// always on screen. Outside a run (between End and the next Begin)
// everything is painted and pumped at once, as each call comes.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace brevane {

class TProgressThrottle {
 public:
  static constexpr std::int64_t kPaintMs = 40;
  static constexpr std::int64_t kPumpMs = 20;

  // A status text: Prefix, then Name shortened to the status bar's width
  // less Margin pixels (Margin < 0: Name as it is). Shortening is measured
  // only when the text is painted.
  struct TStatus {
    QString Prefix;
    QString Name;
    int Margin = -1;
  };

  // Where the state goes when it is painted; any may be left empty.
  struct TSinks {
    std::function<void(int ByFile, int ByArchive)> Progress;
    std::function<void(const TStatus&)> Status;
    std::function<void(const QStringList&)> Output;
    // Lets pending events through (the window's Cancel among them).
    std::function<void()> Pump;
    // Milliseconds of a steady clock; a monotonic timer when empty.
    std::function<std::int64_t()> Now;
  };

  explicit TProgressThrottle(TSinks Sinks);

  // A run begins: its first event paints at once.
  void Begin();
  // The run ended: what is pending is painted, and calls paint at once
  // again.
  void End();
  bool Running() const { return FRunning; }

  // Records the two percentages; at 100 % of the whole they are painted at
  // once.
  void Progress(int ByFile, int ByArchive);
  void Status(const TStatus& Text);
  void Status(const QString& Text) { Status(TStatus{Text, {}, -1}); }
  // The status text was set directly: what was pending is older.
  void DropStatus() { FHasStatus = false; }
  // A line for the output window, appended in order.
  void Line(const QString& Text);
  // The output window is cleared or replaced: lines still pending would
  // have gone with it.
  void DropLines() { FLines.clear(); }

  // Paints what changed when a paint is due (at once outside a run).
  void PaintIfDue();
  // Paints what changed now.
  void Flush();
  // Lets events through when 20 ms have passed since the last time (at
  // once outside a run).
  void Pump();

  // Paints made so far, for the benchmark's and tests' checks.
  int Paints() const { return FPaints; }

 private:
  std::int64_t Now() const;

  TSinks FSinks;
  bool FRunning = false;
  bool FPainted = false;
  bool FPumped = false;
  std::int64_t FLastPaint = 0;
  std::int64_t FLastPump = 0;
  bool FHasProgress = false;
  int FByFile = 0, FByArchive = 0;
  bool FHasStatus = false;
  TStatus FStatus;
  QStringList FLines;
  int FPaints = 0;
};

}  // namespace brevane
