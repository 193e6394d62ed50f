// The program beside its library: the main window's Extract command and
// its Add command (files dropped on the window with no archive open),
// driven headless through a scripted user interface, beside the library's
// reader and writer doing the same work in this process, on a generated
// tree of about 5,000 files and 100 MB of text and random data. Also the
// window's extraction of a .tar.gz with its nested tar beside "tar xzf",
// the window's ZIP extraction beside "unzip", and how long a cancel from
// the progress window takes to end a run. Prints the ratios.
//
// BREVANE_BENCH_MB sets the tree's size (default 100), BREVANE_BENCH_FILES
// its number of files (default 5000); BREVANE_BENCH_SOURCE names a real
// folder to copy (up to that size) in place of the generated tree. The tree and its archives are kept
// below the temporary folder between runs; what is extracted goes to tmpfs
// where there is one.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QProgressBar>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/dialogs/addpanels.h"
#include "app/dialogs/extractdlg.h"
#include "app/dialogs/progress.h"
#include "app/main/mainform.h"
#include "app/main/program.h"
#include "app/main/settings.h"
#include "app/main/userinterface.h"
#include "archive/formats/zip/unzip.h"
#include "archive/formats/zip/zipwriter.h"
#include "bench/benchenv.h"
#include "bench/benchtree.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point From) { return std::chrono::duration<double>(Clock::now() - From).count(); }

int WantedFiles() { return std::max(10, BenchSetting("BREVANE_BENCH_FILES", 5000)); }

// Answers every question as a user who agrees would: confirmations Yes,
// other messages OK; dialogs by the steps queued for them.
class TBenchUi : public brevane::IUserInterface {
 public:
  int MessageDlg(const std::string& Text, brevane::TMsgDlgType Type, brevane::TMsgDlgButtons) override {
    Messages.push_back(Text);
    return Type == brevane::mtConfirmation ? brevane::mrYes : brevane::mrOk;
  }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  bool SelectDirectory(const std::string&, std::string&) override { return false; }
  int ShowModal(QDialog& Dialog) override {
    if (Dialogs.empty()) return brevane::mrCancel;
    auto step = std::move(Dialogs.front());
    Dialogs.pop_front();
    return step(Dialog);
  }
  std::deque<std::function<int(QDialog&)>> Dialogs;
  std::vector<std::string> Messages;
};

TBenchUi& BenchUi() {
  static TBenchUi ui;
  return ui;
}

// ---- the data

std::size_t FilesBelow(const fs::path& Folder) {
  std::size_t n = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) ++n;
  return n;
}

fs::path WorkDir() { return BenchWorkDir("brevane-programbench"); }

std::string TextData(std::mt19937& Rng, std::size_t Size) {
  static const char* const kWords[] = {"archive", "entry", "folder", "the", "of", "and", "window", "progress",
                                       "a", "file", "name", "data", "to", "is", "compressed", "in", "with"};
  std::string s;
  s.reserve(Size + 16);
  std::uniform_int_distribution<int> word(0, static_cast<int>(std::size(kWords)) - 1), brk(0, 11);
  while (s.size() < Size) {
    s += kWords[word(Rng)];
    s += brk(Rng) == 0 ? '\n' : ' ';
  }
  s.resize(Size);
  return s;
}

std::string RandomData(std::mt19937& Rng, std::size_t Size) {
  std::string s(Size, '\0');
  for (char& c : s) c = static_cast<char>(Rng());
  return s;
}

// A copy of the real folder BREVANE_BENCH_SOURCE, up to BREVANE_BENCH_MB.
fs::path CopiedTree(const std::string& Source, std::uint64_t Bytes) {
  const fs::path root = WorkDir() / ("copy-" + std::to_string(Bytes >> 20) + "m-" +
                                     std::to_string(std::hash<std::string>{}(Source)));
  const fs::path done = root.string() + ".done";
  if (fs::exists(done)) return root;
  fs::remove_all(root);
  TBenchTreeSize size;
  CopyBenchTree(Source, root, size, Bytes);
  std::ofstream(done) << Source << "\n";
  return root;
}

// The tree: WantedFiles() files in folders of 100, three in five of them
// text, sizes spread around the mean that makes BREVANE_BENCH_MB; or a
// copy of a real folder.
const fs::path& Tree() {
  static const fs::path tree = [] {
    const std::uint64_t bytes = BenchBytes(100);
    if (const char* source = std::getenv("BREVANE_BENCH_SOURCE"); source && *source)
      return CopiedTree(source, bytes);
    const int files = WantedFiles();
    const fs::path root = WorkDir() / ("tree-" + std::to_string(bytes >> 20) + "m-" + std::to_string(files));
    const fs::path done = root.string() + ".done";
    if (fs::exists(done)) return root;
    fs::remove_all(root);
    std::mt19937 rng(20261210);
    const std::size_t mean = static_cast<std::size_t>(bytes / static_cast<std::uint64_t>(files));
    std::uniform_int_distribution<std::size_t> size(0, 2 * mean);
    for (int i = 0; i < files; ++i) {
      const fs::path folder = root / ("d" + std::to_string(i / 100 / 10)) / ("s" + std::to_string(i / 100));
      fs::create_directories(folder);
      const bool text = i % 5 < 3;
      const std::size_t n = size(rng);
      std::ofstream(folder / ("f" + std::to_string(i) + (text ? ".txt" : ".bin")), std::ios::binary)
          << (text ? TextData(rng, n) : RandomData(rng, n));
    }
    std::ofstream(done) << "done\n";
    return root;
  }();
  return tree;
}

int TreeFiles() {
  static const int files = static_cast<int>(FilesBelow(Tree()));
  return files;
}

bool Run(const std::string& Command) { return std::system(Command.c_str()) == 0; }

// An archive of the tree made by Command ("{out}" is its name), run in the
// tree's folder; kept.
std::string Archive(const std::string& Name, const std::string& Command) {
  const fs::path out = Tree().string() + "-" + Name;
  if (fs::exists(out)) return out.string();
  std::string cmd = Command;
  cmd.replace(cmd.find("{out}"), 5, BenchShellQuote(out.string() + ".part"));
  if (!Run("cd " + BenchShellQuote(Tree().string()) + " && " + cmd)) return {};
  fs::rename(out.string() + ".part", out);
  return out.string();
}
const std::string& TreeZip() {
  static const std::string zip = Archive("t.zip", "zip -q -r -6 {out} .");
  return zip;
}
const std::string& TreeTarGz() {
  static const std::string tgz = Archive("t.tar.gz", "tar czf {out} .");
  return tgz;
}

// A fresh output folder per run, removed after it.
struct TOut {
  fs::path Path = BenchOutDir("brevane-programbench");
  TOut() {
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TOut() { fs::remove_all(Path); }
};

// ---- the window

brevane::TfmMain& Window() {
  static bool started = [] {
    brevane::StartProgram({});
    return true;
  }();
  (void)started;
  return *brevane::fmMain;
}

void ExpectExtractDialog(const std::string& Destination) {
  BenchUi().Dialogs.push_back([Destination](QDialog& Dialog) {
    auto& d = dynamic_cast<brevane::TfmExtractDlg&>(Dialog);
    d.SetDestination(Destination);
    d.SetFilesIndex(1);
    d.ckRestoreFolders->setChecked(true);
    d.ckCreateDirectories->setChecked(true);
    d.ckDateAttribute->setChecked(true);
    d.ckConfirmOverwrites->setChecked(false);
    d.bbExtractClick();
    return d.result();
  });
}

// The window's Extract command on Archive, opened beforehand; the time of
// the command alone.
double WindowExtract(const std::string& Archive, const fs::path& Into, const std::function<void()>& During = {}) {
  brevane::TfmMain& w = Window();
  w.DisplayArchive(Archive);
  ExpectExtractDialog(Into.string());
  BenchUi().Messages.clear();
  if (During) QTimer::singleShot(0, During);
  const auto start = Clock::now();
  w.acExtractExecute();
  return Seconds(start);
}

void CheckExtracted(benchmark::State& State, const fs::path& Into) {
  const std::size_t n = FilesBelow(Into);
  if (n != static_cast<std::size_t>(TreeFiles()))
    State.SkipWithError(("extracted " + std::to_string(n) + " files").c_str());
}

// ---- extraction

void BM_LibraryExtract(benchmark::State& State) {
  for (auto _ : State) {
    TOut out;
    vsk::TUnZip r;
    r.SetArchiveFile(TreeZip());
    r.SetExtractDir(out.Path.string());
    r.UseStoredDirs = r.CreateStoredDirs = true;
    r.DateAttribute = vsk::daFileDate;
    r.ConfirmOverwrites = false;
    r.OverwriteMode = vsk::omOverwrite;
    r.RecurseDirs = true;
    r.FileSpec = {"*.*"};
    const auto start = Clock::now();
    r.Extract();
    State.SetIterationTime(Seconds(start));
    CheckExtracted(State, out.Path);
  }
}
BENCHMARK(BM_LibraryExtract)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_WindowExtract(benchmark::State& State) {
  for (auto _ : State) {
    TOut out;
    State.SetIterationTime(WindowExtract(TreeZip(), out.Path));
    CheckExtracted(State, out.Path);
  }
}
BENCHMARK(BM_WindowExtract)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_UnzipTool(benchmark::State& State) {
  for (auto _ : State) {
    TOut out;
    const auto start = Clock::now();
    if (!Run("unzip -q -o " + BenchShellQuote(TreeZip()) + " -d " + BenchShellQuote(out.Path.string())))
      State.SkipWithError("unzip failed");
    State.SetIterationTime(Seconds(start));
    CheckExtracted(State, out.Path);
  }
}
BENCHMARK(BM_UnzipTool)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The gzip file is unpacked to its tar, the nested tar question is
// answered Yes and the tar is extracted in turn.
void BM_WindowExtractTarGz(benchmark::State& State) {
  for (auto _ : State) {
    TOut out;
    State.SetIterationTime(WindowExtract(TreeTarGz(), out.Path));
    // The tar beside its files stays where it was written.
    const std::size_t n = FilesBelow(out.Path);
    if (n < static_cast<std::size_t>(TreeFiles()))
      State.SkipWithError(("extracted " + std::to_string(n) + " files").c_str());
  }
}
BENCHMARK(BM_WindowExtractTarGz)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_TarXzf(benchmark::State& State) {
  for (auto _ : State) {
    TOut out;
    const auto start = Clock::now();
    if (!Run("tar xzf " + BenchShellQuote(TreeTarGz()) + " -C " + BenchShellQuote(out.Path.string())))
      State.SkipWithError("tar failed");
    State.SetIterationTime(Seconds(start));
    CheckExtracted(State, out.Path);
  }
}
BENCHMARK(BM_TarXzf)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Cancel pressed in the progress window a quarter into the run: the time
// from the press until the command has returned.
void BM_WindowCancel(benchmark::State& State) {
  double worst = 0;
  for (auto _ : State) {
    TOut out;
    Clock::time_point pressed{};
    auto* timer = new QTimer(&Window());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, &pressed] {
      if (!brevane::fmProgress->isVisible() || brevane::fmProgress->pbTotal->value() < 25) return;
      timer->stop();
      timer->deleteLater();
      pressed = Clock::now();
      brevane::fmProgress->buCancelClick();
    });
    WindowExtract(TreeZip(), out.Path, [timer] { timer->start(1); });
    if (pressed == Clock::time_point{}) {
      delete timer;
      State.SkipWithError("the run ended before Cancel was pressed");
      break;
    }
    const double answer = Seconds(pressed);
    worst = std::max(worst, answer);
    State.SetIterationTime(answer);
  }
  State.counters["worst_ms"] = worst * 1000;
}
BENCHMARK(BM_WindowCancel)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// ---- creation, at the Normal level, on the program's thread setting

void BM_LibraryCreate(benchmark::State& State) {
  for (auto _ : State) {
    TOut out;
    vsk::TZip z;
    z.DeflateType = vsk::dtDeflateN;
    z.ThreadCount = brevane::Options.ThreadCount;
    z.Switch = vsk::swAdd;
    z.RecurseDirs = true;
    z.StoredDirNames = vsk::sdRelative;
    z.SetArchiveFile((out.Path / "lib.zip").string());
    z.FileSpec = {Tree().string() + "/*"};
    const auto start = Clock::now();
    const int n = z.Compress();
    State.SetIterationTime(Seconds(start));
    if (n != TreeFiles()) State.SkipWithError(("added " + std::to_string(n) + " files").c_str());
  }
}
BENCHMARK(BM_LibraryCreate)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The tree's folders dropped on the window with no archive open; the
// add-options dialog names the archive and chooses Normal.
void BM_WindowCreate(benchmark::State& State) {
  brevane::TfmMain& w = Window();
  std::vector<std::string> inputs;
  for (const auto& e : fs::directory_iterator(Tree())) inputs.push_back(e.path().string());
  for (auto _ : State) {
    TOut out;
    w.acCloseArchiveExecute();
    const std::string name = (out.Path / "window.zip").string();
    BenchUi().Dialogs.push_back([name](QDialog& Dialog) {
      static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(name));
      brevane::fmAddOptionsBottom->cbCompression->setCurrentIndex(1);
      return static_cast<int>(brevane::mrOk);
    });
    BenchUi().Messages.clear();
    const auto start = Clock::now();
    w.DropFileTargetDrop(inputs);
    State.SetIterationTime(Seconds(start));
    const std::string want = "Files Compressed: " + std::to_string(TreeFiles());
    if (BenchUi().Messages.empty() || BenchUi().Messages.back() != want)
      State.SkipWithError(BenchUi().Messages.empty() ? "no result" : BenchUi().Messages.back().c_str());
  }
}
BENCHMARK(BM_WindowCreate)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// Keeps each benchmark's mean time per iteration for the closing ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0 || r.error_occurred) continue;
      const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
      Times[name] = r.real_accumulated_time / static_cast<double>(r.iterations);
    }
  }
  void Ratio(const char* Label, const std::string& Ours, const std::string& Theirs) const {
    const auto a = Times.find(Ours), b = Times.find(Theirs);
    if (a == Times.end() || b == Times.end() || b->second <= 0) return;
    std::printf("%-44s %8.0f ms / %8.0f ms = %.2f\n", Label, a->second * 1000, b->second * 1000,
                a->second / b->second);
  }
  std::map<std::string, double> Times;
};

// The offscreen platform's notes on what it cannot do to a window are no
// result of the benchmark.
void QuietPlatform(QtMsgType Type, const QMessageLogContext& Context, const QString& Text) {
  if (Text.startsWith(QLatin1String("This plugin does not support"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Context, Text)));
}

}  // namespace

int main(int argc, char** argv) {
  // A scratch desktop and registry.
  const fs::path scratch = fs::temp_directory_path() / ("brevane-programbench-" + std::to_string(::getpid()));
  const std::string home = (scratch / "home").string();
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
  setenv("BREVANE_REGISTRY_DIR", (scratch / "registry").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  brevane::WriteDefaultSettings();
  brevane::WriteSettingBool("FileAssociations", "CheckAssociations", false);
  qInstallMessageHandler(QuietPlatform);
  QApplication app(argc, argv);
  brevane::SetUserInterface(&BenchUi());
  std::printf("tree: %s, %d files; zip %s\n", Tree().c_str(), TreeFiles(), TreeZip().c_str());
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.Ratio("window extract / library extract", "BM_WindowExtract", "BM_LibraryExtract");
  reporter.Ratio("window extract / unzip", "BM_WindowExtract", "BM_UnzipTool");
  reporter.Ratio("library extract / unzip", "BM_LibraryExtract", "BM_UnzipTool");
  reporter.Ratio("window create / library create (all cores)", "BM_WindowCreate", "BM_LibraryCreate");
  reporter.Ratio("window tar.gz + nested tar / tar xzf", "BM_WindowExtractTarGz", "BM_TarXzf");
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident memory of the whole run: %ld MB\n", usage.ru_maxrss / 1024);
  brevane::SetUserInterface(nullptr);
  if (brevane::fmMain) brevane::EndProgram();
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return 0;
}
