// Extracting a generated ZIP of a few thousand mixed files (about 200 MB
// unless BREVANE_BENCH_MB says otherwise) as whole processes: our extractor
// on one thread and on BREVANE_BENCH_THREADS threads (default 8) against
// `7z x`. The three run in turn within each iteration, so a machine busy
// with other work slows them alike; the ratios are printed at the end.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/benchenv.h"
#include "bench/selfdir.h"

namespace fs = std::filesystem;

namespace {

std::size_t TotalBytes() { return BenchBytes(200); }

int Threads() { return BenchThreads(); }

fs::path WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("vskbench-punzip-" + std::to_string(TotalBytes() >> 20));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::string Shell(const std::string& s) { return "'" + s + "'"; }

// Mostly small files, some of a few hundred KB and a few of several MB:
// prose, bytes of limited entropy, and random bytes that zip stores.
std::string Contents(std::mt19937& rng, std::size_t size) {
  static const char* const words[] = {"archive", "entry",  "the",   "of",   "compressed", "header", "volume", "and",
                                      "data",    "stream", "block", "name", "to",         "size",   "a",      "crc"};
  std::string s;
  s.reserve(size + 16);
  switch (rng() % 5) {
    case 0:
    case 1:
    case 2:
      while (s.size() < size) {
        s += words[rng() % 16];
        s += rng() % 11 == 0 ? '\n' : ' ';
      }
      break;
    case 3:
      while (s.size() < size) s += static_cast<char>(rng() % 64 + (rng() % 4) * 16);
      break;
    default:
      while (s.size() < size) s += static_cast<char>(rng());
  }
  s.resize(size);
  return s;
}

const std::string& Archive() {
  static const std::string arc = [] {
    const fs::path tree = WorkDir() / "tree";
    const std::string zip = (WorkDir() / "data.zip").string();
    if (fs::exists(zip)) return zip;
    fs::remove_all(tree);
    std::mt19937 rng(11);
    std::size_t done = 0;
    for (int i = 0; done < TotalBytes(); ++i) {
      const unsigned pick = rng() % 100;
      const std::size_t size = pick < 85   ? 1024 + rng() % (24 << 10)
                               : pick < 99 ? (24 << 10) + rng() % (216 << 10)
                                           : (2u << 20) + rng() % (6u << 20);
      const fs::path dir = tree / ("d" + std::to_string(i % 23)) / ("s" + std::to_string(i % 5));
      fs::create_directories(dir);
      const std::string s = Contents(rng, size);
      std::ofstream(dir / ("f" + std::to_string(i) + ".dat"), std::ios::binary)
          .write(s.data(), static_cast<std::streamsize>(s.size()));
      done += size;
    }
    const std::string cmd = "cd " + Shell(tree.string()) + " && zip -q -r -6 " + Shell(zip) + " .";
    if (std::system(cmd.c_str()) != 0) std::abort();
    return zip;
  }();
  return arc;
}

// Seconds of one run of Command into a fresh output folder.
double Time(benchmark::State& state, const std::string& command) {
  const fs::path out = WorkDir() / "out";
  fs::remove_all(out);
  fs::create_directories(out);
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double gSerial = 0, gParallel = 0, g7z = 0;

void BM_ExtractInTurn(benchmark::State& state) {
  const std::string arc = Archive(), out = (WorkDir() / "out").string();
  const std::string ours = Shell(SelfDir() + "/vskunzip");
  double serial = 0, parallel = 0, sevenz = 0;
  int runs = 0;
  for (auto _ : state) {
    serial += Time(state, ours + " -j 1 " + Shell(arc) + " " + Shell(out));
    parallel += Time(state, ours + " -j " + std::to_string(Threads()) + " " + Shell(arc) + " " + Shell(out));
    sevenz += Time(state, "7z x -y -bd " + Shell(arc) + " -o" + Shell(out) + " >/dev/null");
    ++runs;
  }
  gSerial = serial / runs * 1000;
  gParallel = parallel / runs * 1000;
  g7z = sevenz / runs * 1000;
  state.counters["ours_1_ms"] = gSerial;
  state.counters["ours_N_ms"] = gParallel;
  state.counters["7z_x_ms"] = g7z;
}
BENCHMARK(BM_ExtractInTurn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (gSerial > 0 && gParallel > 0 && g7z > 0) {
    std::printf("ours at 1 thread: %.0f ms, at %d threads: %.0f ms, 7z x: %.0f ms\n", gSerial, Threads(), gParallel,
                g7z);
    std::printf("7z x / ours at %d threads: %.2f (speed-up over 7z), ours 1 / ours %d: %.2f\n", Threads(),
                g7z / gParallel, Threads(), gSerial / gParallel);
  }
  benchmark::Shutdown();
  return 0;
}
