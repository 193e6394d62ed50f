#include "archive/core/timer.h"

#include <chrono>

namespace vsk {

TvskTimer::TvskTimer()
    : FClock([] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
      }) {}

void TvskTimer::Start() {
  FElapsed = 0;
  FStart = FClock();
  FPauseDepth = 0;
  FRunning = true;
}

void TvskTimer::Stop() {
  if (!FRunning) return;
  Int64 now = FClock();
  if (FPauseDepth > 0) now = FPauseTick;
  FElapsed = static_cast<float>(now - FStart) / 1000.0f;
  FRunning = false;
  FPauseDepth = 0;
}

void TvskTimer::Pause() {
  if (!FRunning) return;
  if (FPauseDepth++ == 0) FPauseTick = FClock();
}

void TvskTimer::Resume() {
  if (!FRunning || FPauseDepth == 0) return;
  if (--FPauseDepth == 0) FStart += FClock() - FPauseTick;
}

}  // namespace vsk
