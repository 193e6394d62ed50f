// Whole-process time and archive size of our zip writer (bench/zipcli at
// dtDeflateN) beside "zip -r -6 -q" on the same generated tree of text and
// binary files, and the cost of refreshing one file in a 10,000-entry
// archive beside one plain copy of that archive. Prints the ratios.
//
// Beside that, on a second tree of a few thousand mostly small files, our
// zip creation on 1 and on N threads beside "7z a -tzip -mx5 -mmt=N", the
// three runs taken in turn in every round so that load from elsewhere hits
// them alike.
//
// VSK_ZIPBENCH_MB sets the size of the tree (default 256), VSK_ZIPBENCH_MIXED_MB
// that of the second one (default 200), VSK_ZIPBENCH_THREADS N (default: the
// number of cores); the trees are kept in $TMPDIR (or /tmp) between runs.

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

long EnvNumber(const char* name, long fallback) {
  const char* v = std::getenv(name);
  const long n = v ? std::atol(v) : fallback;
  return n > 0 ? n : fallback;
}

std::size_t TreeMegabytes() { return static_cast<std::size_t>(EnvNumber("VSK_ZIPBENCH_MB", 256)); }
std::size_t MixedMegabytes() { return static_cast<std::size_t>(EnvNumber("VSK_ZIPBENCH_MIXED_MB", 200)); }
int Threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(EnvNumber("VSK_ZIPBENCH_THREADS", cores ? cores : 1));
}

fs::path WorkDir() {
  const char* t = std::getenv("TMPDIR");
  return fs::path(t && *t ? t : "/tmp") / "vsk-zipbench";
}

fs::path ZipCli() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path() / "zipcli";
}

// Prose-like text from a small vocabulary, with varying line lengths.
void AppendText(std::string& out, std::size_t n, std::mt19937& rng) {
  static const char* const words[] = {"archive", "entry",  "the",   "of",     "compressed", "header", "volume",
                                      "and",     "data",   "stream", "block", "name",       "to",     "size",
                                      "a",       "checksum", "folder", "disk", "record",    "offset", "method"};
  const std::size_t end = out.size() + n;
  while (out.size() < end) {
    out += words[rng() % (sizeof words / sizeof *words)];
    if (rng() % 7 == 0) out += std::to_string(rng() % 10000);
    out += rng() % 9 == 0 ? '\n' : ' ';
  }
  out.resize(end);
}

// Bytes of limited entropy, as in executables and media headers; a share
// of the binary files is not compressible at all.
void AppendBinary(std::string& out, std::size_t n, std::mt19937& rng, bool random) {
  const std::size_t end = out.size() + n;
  while (out.size() < end) {
    const auto r = rng();
    if (random) {
      out.push_back(static_cast<char>(r));
      out.push_back(static_cast<char>(r >> 8));
      out.push_back(static_cast<char>(r >> 16));
      out.push_back(static_cast<char>(r >> 24));
    } else {
      out.push_back(static_cast<char>(r % 48 + ((r >> 8) % 3) * 64));
      if (r % 5 == 0) out.append(r % 13, '\0');
    }
  }
  out.resize(end);
}

// Prefix, number and suffix (built by appending: the concatenating forms
// draw a false restrict warning from the compiler).
std::string Numbered(const char* prefix, long n, const char* suffix = "") {
  std::string s = prefix;
  s += std::to_string(n);
  s += suffix;
  return s;
}

void WriteFileTo(const fs::path& p, const std::string& data) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// How a generated tree is made: its size, seed, the share of text files
// and from which draw (of 100) a binary file is incompressible, the sizes of
// small, medium and large files (below SmallShare and MediumShare of 100),
// and how its files spread over folders.
struct TreeShape {
  const char* name;
  std::size_t megabytes;
  unsigned seed;
  unsigned textShare, noiseFrom;
  unsigned smallShare, mediumShare;
  std::size_t smallMin, smallSpan, mediumMin, mediumSpan, largeMin, largeSpan;
  int folders, subfolders;
  const char *folder, *subfolder, *file;
};

// A tree of the shape, made once and kept.
fs::path MakeTree(const TreeShape& t) {
  const std::size_t total = t.megabytes << 20;
  const fs::path dir = WorkDir() / Numbered(t.name, static_cast<long>(t.megabytes));
  if (fs::exists(dir / ".complete")) return dir;
  fs::remove_all(dir);
  std::mt19937 rng(t.seed);
  std::size_t made = 0;
  std::string data;
  for (int i = 0; made < total; ++i) {
    const auto pick = rng() % 100;
    std::size_t size = pick < t.smallShare    ? t.smallMin + rng() % t.smallSpan
                       : pick < t.mediumShare ? t.mediumMin + rng() % t.mediumSpan
                                              : t.largeMin + rng() % t.largeSpan;
    size = std::min(size, total - made);
    data.clear();
    const auto kind = rng() % 100;
    std::string ext;
    if (kind < t.textShare) {
      AppendText(data, size, rng);
      ext = ".txt";
    } else {
      AppendBinary(data, size, rng, kind >= t.noiseFrom);
      ext = kind >= t.noiseFrom ? ".dat" : ".bin";
    }
    WriteFileTo(dir / Numbered(t.folder, i % t.folders) / Numbered(t.subfolder, i % t.subfolders) /
                    Numbered(t.file, i, ext.c_str()),
                data);
    made += size;
  }
  WriteFileTo(dir / ".complete", "");
  return dir;
}

// The tree of the size asked for.
const fs::path& Tree() {
  static const fs::path root = MakeTree({"tree-", TreeMegabytes(), 2024, 60, 85, 70, 95, 1024, 64 << 10, 64 << 10,
                                         1 << 20, 1 << 20, 8 << 20, 23, 5, "d", "s", "f"});
  return root;
}

// Many small files, some large ones (a few thousand files in all), text and
// binary mixed: the shape of a source tree or a documents folder.
const fs::path& MixedTree() {
  static const fs::path root = MakeTree({"mixed-", MixedMegabytes(), 4711, 65, 90, 85, 99, 512, 40 << 10, 40 << 10,
                                         216 << 10, 256 << 10, 4 << 20, 31, 7, "p", "q", "m"});
  return root;
}

// 10,000 small files for the update run.
const fs::path& ManyFiles() {
  static const fs::path root = [] {
    const fs::path dir = WorkDir() / "many";
    if (fs::exists(dir / ".complete")) return dir;
    fs::remove_all(dir);
    std::mt19937 rng(99);
    std::string data;
    for (int i = 0; i < 10000; ++i) {
      data.clear();
      AppendText(data, 1024 + rng() % (16 << 10), rng);
      WriteFileTo(dir / Numbered("d", i % 40) / Numbered("f", i, ".txt"), data);
    }
    WriteFileTo(dir / ".complete", "");
    return dir;
  }();
  return root;
}

double TimedRun(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const auto stop = std::chrono::steady_clock::now();
  if (rc != 0) return -1;
  return std::chrono::duration<double>(stop - start).count();
}

struct Results {
  double ours = 0, zip = 0, update = 0, copy = 0, zipUpdate = 0;
  std::uintmax_t oursSize = 0, zipSize = 0;
  double serial = 0, threaded = 0, sevenZip = 0;
  std::uintmax_t serialSize = 0, threadedSize = 0, sevenZipSize = 0;
};
Results& Result() {
  static Results r;
  return r;
}

// Runs Command Iterations times from a clean output, as manual time.
void RunProcess(benchmark::State& state, const std::string& command, const fs::path& out, double& best,
                std::uintmax_t* size) {
  best = 0;
  for (auto _ : state) {
    fs::remove(out);
    const double t = TimedRun(command);
    if (t < 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
    state.SetIterationTime(t);
    best = best == 0 ? t : std::min(best, t);
  }
  if (size) {
    *size = fs::file_size(out);
    state.counters["archive_MB"] = static_cast<double>(*size) / (1 << 20);
  }
}

void BM_OursDeflateN(benchmark::State& state) {
  const fs::path out = WorkDir() / "ours.zip";
  RunProcess(state, Quote(ZipCli().string()) + " -6 " + Quote(out.string()) + " " + Quote(Tree().string()) + " >/dev/null",
             out, Result().ours, &Result().oursSize);
}
BENCHMARK(BM_OursDeflateN)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_InfoZipR6(benchmark::State& state) {
  const fs::path out = WorkDir() / "infozip.zip";
  RunProcess(state, "cd " + Quote(Tree().string()) + " && zip -r -6 -q " + Quote(out.string()) + " .", out,
             Result().zip, &Result().zipSize);
}
BENCHMARK(BM_InfoZipR6)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Refreshing one changed file of a 10,000-entry archive.
void BM_RefreshOneOf10000(benchmark::State& state) {
  const fs::path master = WorkDir() / "many.zip";
  const fs::path work = WorkDir() / "many-work.zip";
  if (!fs::exists(master) &&
      TimedRun(Quote(ZipCli().string()) + " " + Quote(master.string()) + " " + Quote(ManyFiles().string()) +
               " >/dev/null") < 0) {
    state.SkipWithError("could not make the 10,000-entry archive");
    return;
  }
  const fs::path changed = ManyFiles() / "d7" / "f7.txt";
  double best = 0;
  int round = 0;
  for (auto _ : state) {
    fs::copy_file(master, work, fs::copy_options::overwrite_existing);
    WriteFileTo(changed, Numbered("changed ", ++round));
    const double t = TimedRun(Quote(ZipCli().string()) + " -f " + Quote(work.string()) + " " +
                              Quote(ManyFiles().string()) + " >/dev/null");
    if (t < 0) {
      state.SkipWithError("refresh failed");
      return;
    }
    state.SetIterationTime(t);
    best = best == 0 ? t : std::min(best, t);
  }
  Result().update = best;
}
BENCHMARK(BM_RefreshOneOf10000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The same refresh by zip, for scale.
void BM_InfoZipRefreshOneOf10000(benchmark::State& state) {
  const fs::path master = WorkDir() / "many.zip";
  const fs::path work = WorkDir() / "many-zip.zip";
  const fs::path changed = ManyFiles() / "d7" / "f7.txt";
  double best = 0;
  int round = 0;
  for (auto _ : state) {
    fs::copy_file(master, work, fs::copy_options::overwrite_existing);
    WriteFileTo(changed, Numbered("zip changed ", ++round));
    const double t = TimedRun("cd " + Quote(ManyFiles().string()) + " && zip -q -f -r " + Quote(work.string()) + " .");
    if (t < 0) {
      state.SkipWithError("zip -f failed");
      return;
    }
    state.SetIterationTime(t);
    best = best == 0 ? t : std::min(best, t);
  }
  Result().zipUpdate = best;
}
BENCHMARK(BM_InfoZipRefreshOneOf10000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_CopyOf10000Archive(benchmark::State& state) {
  const fs::path master = WorkDir() / "many.zip";
  const fs::path copy = WorkDir() / "many-copy.zip";
  RunProcess(state, "cp " + Quote(master.string()) + " " + Quote(copy.string()), copy, Result().copy, nullptr);
}
BENCHMARK(BM_CopyOf10000Archive)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// Our writer on 1 and on N threads and 7z on N threads, one after the
// other in each round; the best round of each counts. The iteration time
// is ours on N threads.
void BM_ThreadsBeside7z(benchmark::State& state) {
  const fs::path tree = MixedTree();
  const std::string n = std::to_string(Threads());
  const fs::path one = WorkDir() / "mixed-t1.zip", many = WorkDir() / "mixed-tn.zip",
                 seven = WorkDir() / "mixed-7z.zip";
  Results& r = Result();
  r.serial = r.threaded = r.sevenZip = 0;
  const auto best = [](double& b, double t) { b = b == 0 ? t : std::min(b, t); };
  for (auto _ : state) {
    for (const auto& p : {one, many, seven}) fs::remove(p);
    const double t1 = TimedRun(Quote(ZipCli().string()) + " -6 -t1 " + Quote(one.string()) + " " +
                               Quote(tree.string()) + " >/dev/null");
    const double tn = TimedRun(Quote(ZipCli().string()) + " -6 -t" + n + " " + Quote(many.string()) + " " +
                               Quote(tree.string()) + " >/dev/null");
    const double t7 = TimedRun("cd " + Quote(tree.string()) + " && 7z a -tzip -mx5 -mmt=" + n + " -bd -bso0 -bsp0 " +
                               Quote(seven.string()) + " . >/dev/null");
    if (t1 < 0 || tn < 0 || t7 < 0) {
      state.SkipWithError("a run failed (is 7z installed?)");
      return;
    }
    best(r.serial, t1);
    best(r.threaded, tn);
    best(r.sevenZip, t7);
    state.SetIterationTime(tn);
  }
  r.serialSize = fs::file_size(one);
  r.threadedSize = fs::file_size(many);
  r.sevenZipSize = fs::file_size(seven);
}
BENCHMARK(BM_ThreadsBeside7z)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("tree: %zu MB in %s\n", TreeMegabytes(), Tree().c_str());
  benchmark::RunSpecifiedBenchmarks();
  const Results& r = Result();
  if (r.ours > 0 && r.zip > 0)
    std::printf("dtDeflateN beside zip -r -6: time %.3f s / %.3f s = %.3f, size %ju / %ju = %.4f\n", r.ours, r.zip,
                r.ours / r.zip, r.oursSize, r.zipSize,
                static_cast<double>(r.oursSize) / static_cast<double>(r.zipSize));
  if (r.update > 0 && r.copy > 0)
    std::printf("refreshing 1 of 10,000 entries beside one copy of the archive: %.3f s / %.3f s = %.2f\n",
                r.update, r.copy, r.update / r.copy);
  if (r.threaded > 0 && r.sevenZip > 0) {
    std::printf("mixed tree of %zu MB, %d threads:\n", MixedMegabytes(), Threads());
    std::printf("  ours, 1 thread:   %.3f s, %ju bytes\n", r.serial, r.serialSize);
    std::printf("  ours, %d threads: %.3f s, %ju bytes\n", Threads(), r.threaded, r.threadedSize);
    std::printf("  7z -mx5 -mmt=%d:  %.3f s, %ju bytes\n", Threads(), r.sevenZip, r.sevenZipSize);
    std::printf("  ours / 7z: time %.3f, size %.4f; ours N / ours 1: time %.3f\n", r.threaded / r.sevenZip,
                static_cast<double>(r.threadedSize) / static_cast<double>(r.sevenZipSize), r.threaded / r.serial);
  }
  if (r.update > 0 && r.zipUpdate > 0)
    std::printf("refreshing 1 of 10,000 entries beside zip -f: %.3f s / %.3f s = %.3f\n", r.update, r.zipUpdate,
                r.update / r.zipUpdate);
  benchmark::Shutdown();
  return 0;
}
