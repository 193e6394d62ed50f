// Gzip of a large tar: our writer (TGZip) at N threads beside
// "pigz -6 -p N" on the same tar, the two run in turn within each
// iteration so that both see the same load, and our serial path (ThreadCount
// 1). Prints times, sizes and our time as a ratio of pigz's.
//
// VSK_GZIPBENCH_MB sets the size of the tar (default 200); the tar is made
// once with our tar writer from a generated tree and kept in $TMPDIR (or
// /tmp) between runs.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/tar/tarwriter.h"

namespace {

namespace fs = std::filesystem;

std::size_t TarMegabytes() {
  const char* v = std::getenv("VSK_GZIPBENCH_MB");
  const long n = v ? std::atol(v) : 200;
  return n > 0 ? static_cast<std::size_t>(n) : 200;
}

fs::path WorkDir() {
  const char* t = std::getenv("TMPDIR");
  return fs::path(t && *t ? t : "/tmp") / "vsk-gzipbench";
}

std::string Quote(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

// One generated file: prose-like text, bytes of limited entropy (as in
// executables), or random bytes that do not compress.
std::string Content(std::size_t n, std::mt19937& rng) {
  static const char* const words[] = {"archive", "entry", "the",  "of",     "compressed", "header", "volume",
                                      "and",     "data",  "name", "stream", "block",      "offset", "record"};
  std::string out;
  out.reserve(n + 16);
  const auto kind = rng() % 10;
  while (out.size() < n) {
    const auto r = rng();
    if (kind < 6) {
      out += words[r % 14];
      if (r % 7 == 0) out += std::to_string(r % 10000);
      out += r % 9 == 0 ? '\n' : ' ';
    } else if (kind < 9) {
      out += static_cast<char>(r % 48 + ((r >> 8) % 3) * 64);
      if (r % 5 == 0) out.append(r % 13, '\0');
    } else {
      for (int i = 0; i < 4; ++i) out += static_cast<char>(r >> (8 * i));
    }
  }
  out.resize(n);
  return out;
}

// The tar, made once: a tree of files from 1 KiB to 8 MiB packed by our
// tar writer.
const fs::path& Tar() {
  static const fs::path tar = [] {
    const fs::path dir = WorkDir() / ("mixed-" + std::to_string(TarMegabytes()));
    const fs::path name = dir / "mixed.tar";
    if (fs::exists(dir / ".complete")) return name;
    fs::remove_all(dir);
    const fs::path tree = dir / "tree";
    std::mt19937 rng(2026);
    const std::size_t total = TarMegabytes() << 20;
    std::size_t made = 0;
    for (int i = 0; made < total; ++i) {
      const auto pick = rng() % 100;
      std::size_t size = pick < 70 ? 1024 + rng() % (64 << 10)
                                   : pick < 95 ? (64 << 10) + rng() % (1 << 20) : (1 << 20) + rng() % (8 << 20);
      size = std::min(size, total - made);
      const fs::path file = tree / ("d" + std::to_string(i % 17)) / ("f" + std::to_string(i));
      fs::create_directories(file.parent_path());
      const std::string data = Content(size, rng);
      std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
      made += size;
    }
    vsk::TTar t;
    t.SetArchiveFile(name.string());
    t.FileSpec = {(tree / "*.*").string()};
    t.RecurseDirs = true;
    t.StoredDirNames = vsk::sdRelative;
    if (t.Compress() <= 0) std::abort();
    fs::remove_all(tree);
    std::ofstream(dir / ".complete");
    return name;
  }();
  return tar;
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User and system seconds used so far by this process, or by its waited-for
// children: on a loaded machine they tell more than the elapsed times.
double CpuSeconds(int Who) {
  rusage u{};
  getrusage(Who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Our whole job over the tar at Threads; the time, or -1 when it failed.
double OursOnce(int Threads, std::uintmax_t& Size, double& Cpu) {
  const fs::path out = WorkDir() / "ours";
  fs::create_directories(out);
  fs::remove(out / "mixed.gz");
  vsk::TGZip g;
  g.SetArchiveFile((out / "mixed.gz").string());
  g.FileSpec = {Tar().string()};
  g.ThreadCount = Threads;
  const double cpu = CpuSeconds(RUSAGE_SELF);
  const auto start = std::chrono::steady_clock::now();
  const int n = g.Compress();
  const double t = Seconds(start);
  Cpu = CpuSeconds(RUSAGE_SELF) - cpu;
  if (n != 1) return -1;
  Size = fs::file_size(out / "mixed.gz");
  return t;
}

double PigzOnce(int Threads, std::uintmax_t& Size, double& Cpu) {
  const fs::path out = WorkDir() / "pigz.gz";
  const std::string command =
      "pigz -6 -p " + std::to_string(Threads) + " -c " + Quote(Tar().string()) + " > " + Quote(out.string());
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const double t = Seconds(start);
  Cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;
  if (rc != 0) return -1;
  Size = fs::file_size(out);
  return t;
}

struct TFigures {
  double ours = 0, pigz = 0, oursCpu = 0, pigzCpu = 0;
  std::uintmax_t oursSize = 0, pigzSize = 0;
};
std::map<int, TFigures>& Figures() {
  static std::map<int, TFigures> f;
  return f;
}

// Ours and pigz in turn; the iteration's time is ours. Keeps the best of each.
void BM_GzipVsPigz(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  TFigures& f = Figures()[threads];
  for (auto _ : state) {
    double oursCpu = 0, pigzCpu = 0;
    const double ours = OursOnce(threads, f.oursSize, oursCpu);
    const double pigz = PigzOnce(threads, f.pigzSize, pigzCpu);
    if (ours < 0 || pigz < 0) {
      state.SkipWithError(ours < 0 ? "our gzip failed" : "pigz failed (is it installed?)");
      return;
    }
    state.SetIterationTime(ours);
    f.ours = f.ours == 0 ? ours : std::min(f.ours, ours);
    f.pigz = f.pigz == 0 ? pigz : std::min(f.pigz, pigz);
    f.oursCpu = f.oursCpu == 0 ? oursCpu : std::min(f.oursCpu, oursCpu);
    f.pigzCpu = f.pigzCpu == 0 ? pigzCpu : std::min(f.pigzCpu, pigzCpu);
  }
  state.counters["pigz_ms"] = f.pigz * 1000;
  state.counters["ratio"] = f.ours / f.pigz;
  state.counters["ours_MB"] = static_cast<double>(f.oursSize) / (1 << 20);
  state.counters["pigz_MB"] = static_cast<double>(f.pigzSize) / (1 << 20);
}
BENCHMARK(BM_GzipVsPigz)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_GzipSerial(benchmark::State& state) {
  TFigures& f = Figures()[1];
  for (auto _ : state) {
    const double t = OursOnce(1, f.oursSize, f.oursCpu);
    if (t < 0) {
      state.SkipWithError("our gzip failed");
      return;
    }
    state.SetIterationTime(t);
    f.ours = f.ours == 0 ? t : std::min(f.ours, t);
  }
  state.counters["ours_MB"] = static_cast<double>(f.oursSize) / (1 << 20);
}
BENCHMARK(BM_GzipSerial)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Tar();  // made before anything is timed
  benchmark::RunSpecifiedBenchmarks();
  std::error_code ec;
  fs::remove_all(WorkDir() / "ours", ec);
  fs::remove(WorkDir() / "pigz.gz", ec);
  const auto tarSize = static_cast<double>(fs::file_size(Tar()));
  std::printf("\ntar: %.1f MB\n", tarSize / (1 << 20));
  for (const auto& [threads, f] : Figures()) {
    if (f.ours <= 0) continue;
    if (threads == 1) {
      std::printf("serial : ours %.2f s, %.2f%% of the tar\n", f.ours, 100.0 * f.oursSize / tarSize);
      continue;
    }
    std::printf(
        "%d threads: ours %.2f s (cpu %.2f s) %.2f%%, pigz %.2f s (cpu %.2f s) %.2f%%, time ours/pigz = %.2f, "
        "cpu ours/pigz = %.2f, size ours/pigz = %.4f\n",
        threads, f.ours, f.oursCpu, 100.0 * f.oursSize / tarSize, f.pigz, f.pigzCpu, 100.0 * f.pigzSize / tarSize,
        f.ours / f.pigz, f.oursCpu / f.pigzCpu, static_cast<double>(f.oursSize) / static_cast<double>(f.pigzSize));
  }
  if (const auto s = Figures().find(1); s != Figures().end() && s->second.ours > 0)
    for (const auto& [threads, f] : Figures())
      if (threads > 1 && f.ours > 0)
        std::printf("%d threads: speed-up over serial %.2f, size over serial %.4f\n", threads, s->second.ours / f.ours,
                    static_cast<double>(f.oursSize) / static_cast<double>(s->second.oursSize));
  return 0;
}
