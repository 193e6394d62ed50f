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
#include "archive/core/checksum.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/zip/ziprecords.h"

namespace {

namespace fs = std::filesystem;
constexpr int kEntries = 100000;

fs::path ScratchFolder() {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / ("brevane-viewbench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// Small deflate-free entries in 50 folders, written record by record.
const std::string& Archive() {
  static const std::string path = [] {
    const std::string name = (ScratchFolder() / "view-100k.zip").string();
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    std::vector<vsk::Byte> central;
    vsk::UInt32 offset = 0;
    for (int i = 0; i < kEntries; ++i) {
      const std::string file = "folder" + std::to_string(i % 50) + "/file" + std::to_string(i) + ".txt";
      const std::string data = "entry " + std::to_string(i) + "\n";
      vsk::TZipLocalHeader l;
      l.Signature = 0x04034B50;
      l.VersionNeeded = 10;
      l.DosDateTime = (44u << 25) | (1u << 21) | (1u << 16) | static_cast<vsk::UInt32>(i % 30000);
      l.Crc32 = vsk::Crc32Of(data.data(), data.size());
      l.PackedSize = l.UnpackedSize = static_cast<vsk::UInt32>(data.size());
      l.FileNameLength = static_cast<vsk::UInt16>(file.size());
      vsk::Byte lh[30];
      l.Serialize(lh);
      out.write(reinterpret_cast<char*>(lh), 30);
      out.write(file.data(), static_cast<std::streamsize>(file.size()));
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
      vsk::TZipCentralRecord c;
      c.Signature = 0x02014B50;
      c.VersionMadeBy = 20;
      c.VersionNeeded = 10;
      c.DosDateTime = l.DosDateTime;
      c.Crc32 = l.Crc32;
      c.PackedSize = c.UnpackedSize = l.PackedSize;
      c.FileNameLength = l.FileNameLength;
      c.ExternalAttr = 0x20;
      c.LocalHeaderOffset = offset;
      vsk::Byte ch[46];
      c.Serialize(ch);
      central.insert(central.end(), ch, ch + 46);
      central.insert(central.end(), file.begin(), file.end());
      offset += static_cast<vsk::UInt32>(30 + file.size() + data.size());
    }
    out.write(reinterpret_cast<char*>(central.data()), static_cast<std::streamsize>(central.size()));
    vsk::TZipEndRecord e;
    e.Signature = 0x06054B50;
    e.EntriesOnDisk = e.EntriesTotal = 0xFFFF;
    e.CentralDirSize = static_cast<vsk::UInt32>(central.size());
    e.CentralDirOffset = offset;
    vsk::Byte eh[22];
    e.Serialize(eh);
    out.write(reinterpret_cast<char*>(eh), 22);
    return name;
  }();
  return path;
}

void BM_ListingAlone(benchmark::State& state) {
  const std::string& arc = Archive();
  for (auto _ : state) {
    vsk::TVorsk v;
    v.SetArchiveFile(arc);
    v.FileSpec = {"*.*"};
    long long names = 0;
    v.OnRead = [&](vsk::TZipCommon& s, vsk::Int64, int) {
      names += static_cast<long long>(static_cast<vsk::TVorsk&>(s).FileName.size());
    };
    v.Activate();
    if (v.NumFiles != kEntries) state.SkipWithError("wrong entry count");
    benchmark::DoNotOptimize(names);
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
  // A scratch desktop and registry: the program's first start writes both.
  const std::string home = (ScratchFolder() / "home").string();
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
  setenv("BREVANE_REGISTRY_DIR", (ScratchFolder() / "registry").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
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
