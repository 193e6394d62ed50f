// Extracting a ZIP of a real tree, as whole processes into tmpfs: the
// machine's own /usr/include and /usr/share/doc (headers, documentation,
// some large files), topped up from /usr/lib/x86_64-linux-gnu and
// /usr/share/locale when they come to less than BREVANE_BENCH_MB (default
// 200), copied once and zipped once by `7z a -tzip -mx5`. Our extractor on
// one thread and on BREVANE_BENCH_THREADS threads (default 8), `7z x` and
// `unzip` run in turn in each of BREVANE_BENCH_ROUNDS rounds (default 7),
// so other work on the machine slows them alike; the medians and their
// ratios are printed at the end.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/benchenv.h"
#include "bench/benchtree.h"
#include "bench/selfdir.h"

namespace fs = std::filesystem;

namespace {

std::uintmax_t WantedBytes() { return BenchBytes(200); }

int Threads() { return BenchThreads(); }

int Rounds() { return BenchRounds(7); }

fs::path WorkDir() {
  static const fs::path dir = BenchWorkDir("vskbench-tree");
  return dir;
}

fs::path OutDir() {
  static const fs::path dir = BenchOutDir("vskbench-tree");
  return dir;
}

const std::string& Archive() {
  static const std::string arc = [] {
    const fs::path tree = WorkDir() / "tree";
    const std::string zip = (WorkDir() / "tree.zip").string();
    if (fs::exists(zip)) return zip;
    fs::remove_all(tree);
    TBenchTreeSize size;
    CopyBenchTree("/usr/include", tree / "include", size);
    CopyBenchTree("/usr/share/doc", tree / "doc", size);
    if (size.Bytes < WantedBytes()) CopyBenchTree("/usr/lib/x86_64-linux-gnu", tree / "lib", size, WantedBytes());
    if (size.Bytes < WantedBytes()) CopyBenchTree("/usr/share/locale", tree / "locale", size, WantedBytes());
    std::printf("tree: %.0f MB in %zu files and %zu folders\n", static_cast<double>(size.Bytes) / 1e6, size.Files,
                size.Folders);
    const std::string cmd =
        "cd " + BenchShellQuote(tree.string()) + " && 7z a -tzip -mx5 -bd " + BenchShellQuote(zip) + " . >/dev/null";
    if (std::system(cmd.c_str()) != 0) std::abort();
    fs::remove_all(tree);
    return zip;
  }();
  return arc;
}

// Seconds of one run of Command into a fresh, empty output folder.
double Time(benchmark::State& state, const std::string& command) {
  fs::remove_all(OutDir());
  fs::create_directories(OutDir());
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::map<std::string, double> gMedianMs;

void BM_ExtractTreeInTurn(benchmark::State& state) {
  const std::string arc = BenchShellQuote(Archive()), out = BenchShellQuote(OutDir().string());
  const std::string ours = BenchShellQuote(SelfDir() + "/vskunzip");
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"ours_1", ours + " -j 1 " + arc + " " + out},
      {"ours_N", ours + " -j " + std::to_string(Threads()) + " " + arc + " " + out},
      {"7z_x", "7z x -y -bd " + arc + " -o" + out + " >/dev/null"},
      {"unzip", "unzip -q -o " + arc + " -d " + out},
  };
  std::map<std::string, std::vector<double>> times;
  for (auto _ : state)
    for (const auto& [name, command] : commands) times[name].push_back(Time(state, command));
  for (const auto& [name, t] : times) {
    gMedianMs[name] = Median(t) * 1000;
    state.counters[name + "_ms"] = gMedianMs[name];
  }
  fs::remove_all(OutDir());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("BM_ExtractTreeInTurn", BM_ExtractTreeInTurn)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(Rounds());
  benchmark::RunSpecifiedBenchmarks();
  if (gMedianMs.size() == 4 && gMedianMs["ours_N"] > 0) {
    const double n = gMedianMs["ours_N"];
    std::printf("medians: ours at 1 thread %.0f ms, at %d threads %.0f ms, 7z x %.0f ms, unzip %.0f ms\n",
                gMedianMs["ours_1"], Threads(), n, gMedianMs["7z_x"], gMedianMs["unzip"]);
    std::printf("ours %d / ours 1: %.2f, ours %d / 7z x: %.2f, ours %d / unzip: %.2f, ours 1 / 7z x: %.2f\n",
                Threads(), n / gMedianMs["ours_1"], Threads(), n / gMedianMs["7z_x"], Threads(),
                n / gMedianMs["unzip"], gMedianMs["ours_1"] / gMedianMs["7z_x"]);
  }
  benchmark::Shutdown();
  return 0;
}
