// Listing a ZIP of 100,000 entries: our lister in-process beside `unzip -l`
// (a whole process) on the same file.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/core/checksum.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/zip/ziprecords.h"

namespace {

constexpr int kEntries = 100000;

// A stored ZIP of small files in a few folders, written directly.
const std::string& Archive() {
  static const std::string name = [] {
    const std::string path = (std::filesystem::temp_directory_path() / "vskbench-100k.zip").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<vsk::Byte> central;
    vsk::UInt32 offset = 0;
    for (int i = 0; i < kEntries; ++i) {
      const std::string name = "folder" + std::to_string(i % 50) + "/file" + std::to_string(i) + ".txt";
      const std::string data = "entry " + std::to_string(i) + "\n";
      vsk::TZipLocalHeader l;
      l.Signature = 0x04034B50;
      l.VersionNeeded = 10;
      l.DosDateTime = (44u << 25) | (1u << 21) | (1u << 16);
      l.Crc32 = vsk::Crc32Of(data.data(), data.size());
      l.PackedSize = l.UnpackedSize = static_cast<vsk::UInt32>(data.size());
      l.FileNameLength = static_cast<vsk::UInt16>(name.size());
      vsk::Byte lh[30];
      l.Serialize(lh);
      out.write(reinterpret_cast<char*>(lh), 30);
      out.write(name.data(), static_cast<std::streamsize>(name.size()));
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
      central.insert(central.end(), name.begin(), name.end());
      offset += static_cast<vsk::UInt32>(30 + name.size() + data.size());
    }
    out.write(reinterpret_cast<char*>(central.data()), static_cast<std::streamsize>(central.size()));
    vsk::TZipEndRecord e;
    e.Signature = 0x06054B50;
    e.EntriesOnDisk = e.EntriesTotal = 0xFFFF;  // more than 65535: the tools count records
    e.CentralDirSize = static_cast<vsk::UInt32>(central.size());
    e.CentralDirOffset = offset;
    vsk::Byte eh[22];
    e.Serialize(eh);
    out.write(reinterpret_cast<char*>(eh), 22);
    return path;
  }();
  return name;
}

void BM_ListerInProcess(benchmark::State& state) {
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
