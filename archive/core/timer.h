#pragma once
// Elapsed time of a run, leaving out the time spent paused (in event handlers).

#include <functional>

#include "base/types.h"

namespace vsk {

class TvskTimer {
 public:
  // Milliseconds of a monotonic clock; tests inject their own.
  using TClock = std::function<Int64()>;

  TvskTimer();
  explicit TvskTimer(TClock Clock) : FClock(std::move(Clock)) {}

  void Start();
  void Stop();
  void Pause();
  void Resume();

  bool Running() const { return FRunning; }
  // Seconds measured by the last Stop.
  float Elapsed() const { return FElapsed; }

 private:
  TClock FClock;
  Int64 FStart = 0;
  Int64 FPauseTick = 0;
  int FPauseDepth = 0;
  bool FRunning = false;
  float FElapsed = 0;
};

// Pauses a timer for the lifetime of the object (nested pauses are counted,
// so an error raised inside a handler cannot resume an outer pause early).
class TTimerPause {
 public:
  explicit TTimerPause(TvskTimer& T) : FTimer(T) { FTimer.Pause(); }
  ~TTimerPause() { FTimer.Resume(); }
  TTimerPause(const TTimerPause&) = delete;
  TTimerPause& operator=(const TTimerPause&) = delete;

 private:
  TvskTimer& FTimer;
};

}  // namespace vsk
