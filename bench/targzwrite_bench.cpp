// Making a tar.gz of a real tree on every core: our tar writer with
// cmTarGzip beside `tar cf - . | pigz -6 -p N`, run in turn in each of
// BREVANE_BENCH_ROUNDS rounds (default 5) so that other work on the machine
// slows both alike. The tree is the machine's /usr/include/c++,
// /usr/share/doc, Qt libraries and headers and a few large libraries that
// deflate less well (regular files only), copied
// once into $TMPDIR/vskbench-targz; the outputs go to tmpfs where there is
// one. N is BREVANE_BENCH_THREADS (default: the cores). The medians, the
// ratio of the times and of the output sizes are printed at the end.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "archive/formats/tar/tarwriter.h"
#include "bench/benchenv.h"
#include "bench/benchtree.h"

namespace fs = std::filesystem;

namespace {

int Threads() {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return std::max(1, BenchSetting("BREVANE_BENCH_THREADS", cores));
}

int Rounds() { return BenchRounds(5); }

fs::path WorkDir() {
  static const fs::path dir = BenchWorkDir("vskbench-targz2");
  return dir;
}

fs::path OutDir() {
  static const fs::path dir = [] {
    fs::path d = BenchOutDir("vskbench-targz");
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

const fs::path& Tree() {
  static const fs::path tree = [] {
    const fs::path t = WorkDir() / "tree";
    if (fs::exists(WorkDir() / ".complete")) return t;
    fs::remove_all(t);
    TBenchTreeSize size;
    CopyBenchTree("/usr/include/c++", t / "include-c++", size);
    CopyBenchTree("/usr/share/doc", t / "doc", size);
    CopyBenchTree("/usr/include/x86_64-linux-gnu/qt6", t / "qt6-include", size);
    CopyBenchTree("/usr/lib/x86_64-linux-gnu/qt6", t / "qt6-lib", size);
    std::error_code ec;
    for (fs::directory_iterator it("/usr/lib/x86_64-linux-gnu", ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.rfind("libQt6", 0) == 0 && it->is_regular_file(ec) && !it->is_symlink(ec)) {
        fs::create_directories(t / "qt6-libs");
        fs::copy_file(it->path(), t / "qt6-libs" / name, fs::copy_options::overwrite_existing, ec);
      }
    }
    // Large files that deflate less well (a data library, code of two
    // compilers' libraries, a video codec), as real trees hold them.
    for (const char* name : {"libicudata.so.72.1", "libclang-14.so.14.0.6", "libx265.so.199"}) {
      const fs::path from = fs::path("/usr/lib/x86_64-linux-gnu") / name;
      if (!fs::is_regular_file(from, ec)) continue;
      fs::create_directories(t / "large");
      fs::copy_file(from, t / "large" / name, fs::copy_options::overwrite_existing, ec);
    }
    std::ofstream(WorkDir() / ".complete");
    return t;
  }();
  return tree;
}

std::uintmax_t TreeBytes() {
  std::uintmax_t n = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(Tree(), ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) n += it->file_size(ec);
  return n;
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Our run; its time, or -1 when it failed.
double OursOnce(std::uintmax_t& Size) {
  const fs::path dir = OutDir() / "ours";
  fs::create_directories(dir);
  // Nothing of an earlier round is updated or sent to the trash.
  fs::remove(dir / "x.tar");
  fs::remove(dir / "x.tar.gz");
  vsk::TTar t;
  t.SetCompressMethod(vsk::cmTarGzip);
  t.SetArchiveFile((dir / "x.tar.gz").string());
  t.FileSpec = {(Tree() / "*").string()};
  t.RecurseDirs = true;
  t.StoredDirNames = vsk::sdRelative;
  t.ThreadCount = Threads();
  const auto start = std::chrono::steady_clock::now();
  const int n = t.Compress();
  const double s = Seconds(start);
  if (n <= 0) return -1;
  Size = fs::file_size(dir / "x.tar.gz");
  return s;
}

double PigzOnce(std::uintmax_t& Size) {
  const fs::path out = OutDir() / "pigz.tar.gz";
  const std::string command = "cd " + BenchShellQuote(Tree().string()) + " && tar cf - . | pigz -6 -p " +
                              std::to_string(Threads()) + " > " + BenchShellQuote(out.string());
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const double s = Seconds(start);
  if (rc != 0) return -1;
  Size = fs::file_size(out);
  return s;
}

struct TFigures {
  std::vector<double> Ours, Pigz;
  std::uintmax_t OursSize = 0, PigzSize = 0;
};

TFigures& Figures() {
  static TFigures f;
  return f;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Ours and pigz in turn; the iteration's time is ours.
void BM_TarGzVsPigz(benchmark::State& state) {
  TFigures& f = Figures();
  for (auto _ : state) {
    const double ours = OursOnce(f.OursSize);
    const double pigz = PigzOnce(f.PigzSize);
    if (ours < 0 || pigz < 0) {
      state.SkipWithError(ours < 0 ? "our tar.gz failed" : "tar | pigz failed (is pigz installed?)");
      return;
    }
    state.SetIterationTime(ours);
    f.Ours.push_back(ours);
    f.Pigz.push_back(pigz);
  }
  state.counters["pigz_ms"] = Median(f.Pigz) * 1000;
  state.counters["ratio"] = Median(f.Ours) / Median(f.Pigz);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Tree();  // copied before anything is timed
  benchmark::RegisterBenchmark("BM_TarGzVsPigz", BM_TarGzVsPigz)
      ->Unit(benchmark::kMillisecond)
      ->UseManualTime()
      ->Iterations(Rounds());
  benchmark::RunSpecifiedBenchmarks();
  std::error_code ec;
  fs::remove_all(OutDir(), ec);
  const TFigures& f = Figures();
  if (f.Ours.empty()) return 1;
  const double ours = Median(f.Ours), pigz = Median(f.Pigz);
  std::printf("\ntree: %.1f MB, %d threads, %zu rounds\n", static_cast<double>(TreeBytes()) / (1 << 20), Threads(),
              f.Ours.size());
  std::printf("ours %.2f s, %.2f MB; tar | pigz %.2f s, %.2f MB\n", ours,
              static_cast<double>(f.OursSize) / (1 << 20), pigz, static_cast<double>(f.PigzSize) / (1 << 20));
  std::printf("time ours/pigz = %.3f, size ours/pigz = %.4f\n", ours / pigz,
              static_cast<double>(f.OursSize) / static_cast<double>(f.PigzSize));
  return 0;
}
