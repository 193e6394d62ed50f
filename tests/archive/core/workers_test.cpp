#include "archive/core/workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace vsk {
namespace {

TEST(WorkerPool, RunsEveryTaskAndHandsBackResultsAndExceptions) {
  EXPECT_EQ(EffectiveThreadCount(3), 3u);
  EXPECT_GE(EffectiveThreadCount(0), 1u);

  std::atomic<int> ran{0};
  std::vector<std::future<int>> results;
  {
    TWorkerPool pool(4);
    EXPECT_EQ(pool.Size(), 4u);
    for (int i = 0; i < 200; ++i)
      results.push_back(pool.Submit([i, &ran] {
        ++ran;
        if (i == 77) throw std::runtime_error("task 77");
        return i * i;
      }));
    // The destructor runs what is still queued before it joins.
    for (int i = 0; i < 100; ++i) pool.Submit([&ran] { ++ran; });
  }
  EXPECT_EQ(ran.load(), 300);
  for (int i = 0; i < 200; ++i) {
    if (i == 77)
      EXPECT_THROW(results[i].get(), std::runtime_error);
    else
      EXPECT_EQ(results[i].get(), i * i);
  }
}

}  // namespace
}  // namespace vsk
