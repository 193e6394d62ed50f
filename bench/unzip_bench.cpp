// Extracting a generated ZIP (text and binary, 256 MB unless
// BREVANE_BENCH_MB says otherwise):
//  (a) in-process: TUnZip testing every entry against zlib's own inflate
//      plus crc32 over the same entries;
//  (b) whole process: our extractor on one thread against `unzip -o -q` and `7z x -mmt1`.
// Ratios are printed at the end (ours / theirs in throughput for (a), in
// time for (b)).

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/formats/lister/vorsk.h"
#include "archive/formats/zip/unzip.h"
#include "base/records/ziprecords.h"
#include "bench/benchenv.h"
#include "bench/selfdir.h"

namespace fs = std::filesystem;

namespace {

std::size_t TotalBytes() { return BenchBytes(256); }

fs::path WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("vskbench-unzip-" + std::to_string(TotalBytes() >> 20));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::string Shell(const std::string& s) { return "'" + s + "'"; }

// A tree of 4 MiB files, alternately prose and bytes of limited entropy,
// zipped once by zip -6.
const std::string& Archive() {
  static const std::string arc = [] {
    const fs::path tree = WorkDir() / "tree";
    const std::string zip = (WorkDir() / "data.zip").string();
    if (fs::exists(zip)) return zip;
    std::mt19937 rng(5);
    static const char* const words[] = {"archive", "entry",  "the",  "of",     "compressed", "header", "volume", "and",
                                        "data",    "stream", "block", "name", "to",         "size",   "a",      "crc"};
    const std::size_t fileSize = 4u << 20;
    for (std::size_t done = 0, i = 0; done < TotalBytes(); done += fileSize, ++i) {
      std::string s;
      s.reserve(fileSize);
      if (i % 2 == 0) {
        while (s.size() < fileSize) {
          s += words[rng() % 16];
          s += rng() % 11 == 0 ? '\n' : ' ';
        }
      } else {
        while (s.size() < fileSize) s += static_cast<char>(rng() % 64 + (rng() % 4) * 16);
      }
      s.resize(fileSize);
      fs::create_directories(tree / ("d" + std::to_string(i % 8)));
      std::ofstream(tree / ("d" + std::to_string(i % 8)) / ("f" + std::to_string(i) + (i % 2 ? ".bin" : ".txt")),
                    std::ios::binary)
          .write(s.data(), static_cast<std::streamsize>(s.size()));
    }
    const std::string cmd = "cd " + Shell(tree.string()) + " && zip -q -r -6 " + Shell(zip) + " .";
    if (std::system(cmd.c_str()) != 0) std::abort();
    return zip;
  }();
  return arc;
}

void BM_UnZipTestInProcess(benchmark::State& state) {
  const std::string& arc = Archive();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    vsk::TUnZip z;
    z.SetArchiveFile(arc);
    z.FileSpec = {"*.*"};
    bool ok = true;
    z.OnEnd = [&](vsk::TZipCommon&, const std::string&, bool pass) { ok &= pass; };
    z.TestArchive();
    if (!ok) state.SkipWithError("CRC failure");
    bytes += static_cast<std::int64_t>(z.UnpackedTotal);
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_UnZipTestInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// zlib's inflate and crc32 over the same entries, found through the lister.
void BM_RawZlibInflateCrc(benchmark::State& state) {
  const std::string& arc = Archive();
  struct Entry {
    std::int64_t offset, packed, unpacked;
  };
  std::vector<Entry> entries;
  vsk::TVorsk v;
  v.SetArchiveFile(arc);
  v.FileSpec = {"*.*"};
  v.OnRead = [&](vsk::TZipCommon& s, vsk::Int64 offset, int) {
    auto& l = static_cast<vsk::TVorsk&>(s);
    entries.push_back({offset, l.PackedSize, l.UnpackedSize});
  };
  v.Activate();
  std::ifstream in(arc, std::ios::binary);
  std::vector<unsigned char> packed, out(65536);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const auto& e : entries) {
      unsigned char h[30];
      in.seekg(e.offset);
      in.read(reinterpret_cast<char*>(h), 30);
      in.seekg(e.offset + 30 + vsk::GetLE16(h + 26) + vsk::GetLE16(h + 28));
      packed.resize(static_cast<std::size_t>(e.packed));
      in.read(reinterpret_cast<char*>(packed.data()), e.packed);
      z_stream z{};
      inflateInit2(&z, -MAX_WBITS);
      z.next_in = packed.data();
      z.avail_in = static_cast<uInt>(packed.size());
      uLong crc = crc32(0, nullptr, 0);
      int r;
      do {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        r = inflate(&z, Z_NO_FLUSH);
        crc = crc32(crc, out.data(), static_cast<uInt>(out.size() - z.avail_out));
      } while (r == Z_OK);
      inflateEnd(&z);
      benchmark::DoNotOptimize(crc);
      bytes += e.unpacked;
    }
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_RawZlibInflateCrc)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void RunProcess(benchmark::State& state, const std::string& command) {
  const fs::path out = WorkDir() / "out";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    fs::create_directories(out);
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  }
}

void BM_OursWholeProcess(benchmark::State& state) {
  RunProcess(state, Shell(SelfDir() + "/vskunzip") + " -j 1 " + Shell(Archive()) + " " + Shell((WorkDir() / "out").string()));
}
BENCHMARK(BM_OursWholeProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_UnzipWholeProcess(benchmark::State& state) {
  RunProcess(state, "unzip -o -q " + Shell(Archive()) + " -d " + Shell((WorkDir() / "out").string()));
}
BENCHMARK(BM_UnzipWholeProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_7zWholeProcess(benchmark::State& state) {
  RunProcess(state, "7z x -mmt1 -y -bd " + Shell(Archive()) + " -o" + Shell((WorkDir() / "out").string()) +
                        " >/dev/null");
}
BENCHMARK(BM_7zWholeProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Keeps each benchmark's mean real time per iteration, to print ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.iterations > 0) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double Get(const std::string& prefix) const {
    for (const auto& [name, t] : times)
      if (name.rfind(prefix, 0) == 0) return t;
    return 0;
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.Get("BM_UnZipTestInProcess"), zlib = reporter.Get("BM_RawZlibInflateCrc");
  const double proc = reporter.Get("BM_OursWholeProcess"), unzip = reporter.Get("BM_UnzipWholeProcess"),
               sevenz = reporter.Get("BM_7zWholeProcess");
  if (ours > 0 && zlib > 0) std::printf("in-process throughput, ours / zlib inflate+crc32: %.3f\n", zlib / ours);
  if (proc > 0 && unzip > 0) std::printf("whole-process time, ours / unzip -o -q: %.3f\n", proc / unzip);
  if (proc > 0 && sevenz > 0) std::printf("whole-process time, ours / 7z x -mmt1: %.3f\n", proc / sevenz);
  benchmark::Shutdown();
  return 0;
}
