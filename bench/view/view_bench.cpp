// Opening a ZIP of 100,000 entries: the lister alone beside the lister
// filling the main window's archive view (rows, sorting, totals). Prints
// both times and their ratio.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/main/archivemodel.h"
#include "app/main/mainform.h"
#include "app/main/program.h"
#include "app/main/settings.h"
#include "archive/formats/lister/vorsk.h"
#include "bench/zip100k.h"

namespace {

namespace fs = std::filesystem;
using vskbench::kEntries;
const std::string& Archive() { return vskbench::HundredThousandEntryZip(); }

fs::path ScratchFolder() {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / ("brevane-viewbench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void BM_ListingAlone(benchmark::State& state) {
  const std::string& arc = Archive();
  for (auto _ : state) {
    if (vskbench::ListAll(arc) != kEntries) state.SkipWithError("wrong entry count");
  }
  state.counters["entries"] = kEntries;
}
BENCHMARK(BM_ListingAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_ListingIntoView(benchmark::State& state) {
  const std::string& arc = Archive();
  brevane::StartProgram({});
  for (auto _ : state) {
    brevane::fmMain->DisplayArchive(arc);
    if (brevane::fmMain->Model().RowCount() != kEntries) state.SkipWithError("wrong row count");
  }
  brevane::EndProgram();
  state.counters["entries"] = kEntries;
}
BENCHMARK(BM_ListingIntoView)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps each benchmark's real time per iteration for the closing ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        Times[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  // A scratch desktop and registry.
  const std::string home = (ScratchFolder() / "home").string();
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
  setenv("BREVANE_REGISTRY_DIR", (ScratchFolder() / "registry").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Settings written beforehand, with no association prompt at start.
  brevane::WriteDefaultSettings();
  brevane::WriteSettingBool("FileAssociations", "CheckAssociations", false);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto alone = reporter.Times.find("BM_ListingAlone/min_time:2.000/real_time");
  const auto view = reporter.Times.find("BM_ListingIntoView/min_time:2.000/real_time");
  if (alone != reporter.Times.end() && view != reporter.Times.end() && alone->second > 0)
    std::printf("Opening %d entries: listing alone %.0f ms, listing into the view %.0f ms (%.2fx)\n", kEntries,
                alone->second * 1000, view->second * 1000, view->second / alone->second);
  std::error_code ec;
  fs::remove_all(ScratchFolder(), ec);
  return 0;
}
