#pragma once
// A fixed set of worker threads for the runs that compress or extract
// several entries or blocks at once. The run's own thread keeps every
// event, header and write in order; the workers only transform data.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace vsk {

// The worker threads a run uses for a ThreadCount setting: 0 (or less)
// means one per core; 1 means the serial path.
unsigned EffectiveThreadCount(int Requested);

class TWorkerPool {
 public:
  explicit TWorkerPool(unsigned Threads);
  // Runs what is queued to its end, then joins the threads.
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  unsigned Size() const { return static_cast<unsigned>(FThreads.size()); }

  // Queues Task; its result (or what it threw) comes back through the future.
  // Without Wake no idle worker is woken for it: a caller queueing many
  // small tasks at once wakes them all once with WakeAll, as waking a
  // thread can cost more than a small task.
  template <class F>
  auto Submit(F&& Task, bool Wake = true) -> std::future<std::invoke_result_t<F&>> {
    using R = std::invoke_result_t<F&>;
    auto job = std::make_shared<std::packaged_task<R()>>(std::forward<F>(Task));
    std::future<R> result = job->get_future();
    Push([job] { (*job)(); }, Wake);
    return result;
  }
  void WakeAll() { FReady.notify_all(); }

 private:
  void Push(std::function<void()> Job, bool Wake);
  void Work();

  std::mutex FLock;
  std::condition_variable FReady;
  std::deque<std::function<void()>> FQueue;
  bool FStopping = false;
  std::vector<std::thread> FThreads;
};

}  // namespace vsk
