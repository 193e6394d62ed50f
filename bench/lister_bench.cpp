// Listing a ZIP of 100,000 entries: our lister in-process beside `unzip -l`
// (a whole process) on the same file.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/formats/lister/vorsk.h"
#include "bench/zip100k.h"

namespace {

using vskbench::kEntries;
const std::string& Archive() { return vskbench::HundredThousandEntryZip(); }

void BM_ListerInProcess(benchmark::State& state) {
  const std::string& arc = Archive();
  for (auto _ : state) {
    if (vskbench::ListAll(arc) != kEntries) state.SkipWithError("wrong entry count");
  }
  state.counters["entries"] = kEntries;
}
BENCHMARK(BM_ListerInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_UnzipListProcess(benchmark::State& state) {
  const std::string cmd = "unzip -l '" + Archive() + "' >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) == -1) state.SkipWithError("unzip did not run");
  }
}
BENCHMARK(BM_UnzipListProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps each benchmark's real time per iteration, to print the ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.iterations > 0) (r.benchmark_name().rfind("BM_Lister", 0) == 0 ? ours : unzip) = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double ours = 0, unzip = 0;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.ours > 0 && reporter.unzip > 0)
    std::printf("listing 100,000 entries, ours / unzip -l: %.3f\n", reporter.ours / reporter.unzip);
  benchmark::Shutdown();
  return 0;
}
