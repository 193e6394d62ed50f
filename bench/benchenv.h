#pragma once
// The sizes a benchmark runs with, set through the environment:
// BREVANE_BENCH_MB (data size), BREVANE_BENCH_THREADS, BREVANE_BENCH_ROUNDS.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

inline int BenchSetting(const char* Name, int Default) {
  const char* v = std::getenv(Name);
  return v ? std::atoi(v) : Default;
}

inline std::uint64_t BenchBytes(int DefaultMb) {
  return static_cast<std::uint64_t>(std::max(1, BenchSetting("BREVANE_BENCH_MB", DefaultMb))) << 20;
}

inline int BenchThreads() { return std::max(1, BenchSetting("BREVANE_BENCH_THREADS", 8)); }

inline int BenchRounds(int Default) { return std::max(1, BenchSetting("BREVANE_BENCH_ROUNDS", Default)); }
