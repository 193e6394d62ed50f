#include "base/pump.h"

#include <atomic>
#include <utility>

namespace vsk {

namespace {
std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}

std::atomic<unsigned long> gPumpCalls{0};
}  // namespace

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

void ProcessMessages() {
  if (auto& p = Pump()) {
    gPumpCalls.fetch_add(1, std::memory_order_relaxed);
    p();
  }
}

unsigned long PumpCalls() { return gPumpCalls.load(std::memory_order_relaxed); }

}  // namespace vsk
