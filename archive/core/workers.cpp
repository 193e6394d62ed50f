#include "archive/core/workers.h"

namespace vsk {

unsigned EffectiveThreadCount(int Requested) {
  if (Requested > 0) return static_cast<unsigned>(Requested);
  const unsigned cores = std::thread::hardware_concurrency();
  return cores ? cores : 1;
}

TWorkerPool::TWorkerPool(unsigned Threads) {
  if (Threads == 0) Threads = 1;
  FThreads.reserve(Threads);
  for (unsigned i = 0; i < Threads; ++i) FThreads.emplace_back([this] { Work(); });
}

TWorkerPool::~TWorkerPool() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStopping = true;
  }
  FReady.notify_all();
  for (auto& t : FThreads) t.join();
}

void TWorkerPool::Push(std::function<void()> Job, bool Wake) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQueue.push_back(std::move(Job));
  }
  if (Wake) FReady.notify_one();
}

void TWorkerPool::Work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FReady.wait(lock, [this] { return FStopping || !FQueue.empty(); });
      if (FQueue.empty()) return;
      job = std::move(FQueue.front());
      FQueue.pop_front();
    }
    job();
  }
}

}  // namespace vsk
