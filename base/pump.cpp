#include "base/pump.h"

#include <utility>

namespace vsk {

namespace {
std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}
}  // namespace

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

void ProcessMessages() {
  if (auto& p = Pump()) p();
}

}  // namespace vsk
