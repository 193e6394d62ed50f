// Cabinets: extracting a generated 64 MiB MSZIP cabinet with TUnCab (in this
// process and as a whole process of bench/tools/vskunzip) against the whole
// cabextract process doing the same, and writing it with our
// MSZIP writer against the whole "gcab -cz" process. Prints our times as
// ratios of theirs, the cabinet sizes, and the LZX (window 21) cabinet of
// the text part beside the MSZIP one.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/formats/cab/makecab.h"
#include "archive/formats/cab/uncab.h"
#include "bench/ratioreporter.h"
#include "bench/selfdir.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kDataSize = 64u << 20;
constexpr int kFiles = 8;

const fs::path& Folder() {
  static const fs::path dir = [] {
    std::string tmpl = (fs::temp_directory_path() / "vskcabbench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    return fs::path(tmpl);
  }();
  return dir;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// Eight files: the first four text, the others bytes of limited entropy.
const fs::path& Sources() {
  static const fs::path src = [] {
    const fs::path dir = Folder() / "src";
    fs::create_directories(dir / "text");
    fs::create_directories(dir / "bytes");
    static const char* const words[] = {"archive", "entry", "the", "of", "compressed", "header", "volume", "and",
                                        "cabinet", "folder", "block", "data"};
    std::mt19937 rng(7);
    for (int i = 0; i < kFiles; ++i) {
      std::string out;
      out.reserve(kDataSize / kFiles);
      while (out.size() < kDataSize / kFiles) {
        if (i < kFiles / 2) {
          out += words[rng() % 12];
          out += rng() % 11 == 0 ? '\n' : ' ';
        } else {
          out += static_cast<char>(rng() % 64 + (rng() % 4) * 16);
        }
      }
      out.resize(kDataSize / kFiles);
      std::ofstream(dir / (i < kFiles / 2 ? "text" : "bytes") / ("f" + std::to_string(i) + ".dat"), std::ios::binary)
          << out;
    }
    return dir;
  }();
  return src;
}

int Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

int MakeCab(const fs::path& cab, const fs::path& from, vsk::TCompressMethod method) {
  fs::remove(cab);
  vsk::TMakeCab w;
  w.SetArchiveFile(cab.string());
  w.SetCompressMethod(method);
  w.SetLzxLevel(21);
  w.FileSpec = {(from / "*.*").string()};
  return w.Compress();
}

const fs::path& MsZipCabinet() {
  static const fs::path cab = [] {
    const fs::path c = Folder() / "gcab.cab";
    if (Run("cd " + Quote(Sources()) + " && gcab -cz " + Quote(c) + " text/* bytes/*") != 0) std::abort();
    return c;
  }();
  return cab;
}

void Bytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataSize));
}

void UnCabExtract(benchmark::State& state) {
  const fs::path out = Folder() / "ours";
  for (auto _ : state) {
    fs::remove_all(out);
    vsk::TUnCab u;
    u.SetArchiveFile(MsZipCabinet().string());
    u.FileSpec = {"*.*"};
    u.SetExtractDir(out.string());
    if (u.Extract() != kFiles) state.SkipWithError("extraction failed");
  }
  Bytes(state);
}

// The same through the whole process of our command-line driver, as
// cabextract is timed.
void UnCabProcess(benchmark::State& state) {
  const fs::path out = Folder() / "ours-process";
  const std::string ours = Quote(SelfDir() + "/vskunzip");
  for (auto _ : state) {
    fs::remove_all(out);
    if (Run(ours + " -j 1 " + Quote(MsZipCabinet()) + " " + Quote(out)) != 0) state.SkipWithError("vskunzip failed");
  }
  Bytes(state);
}

void CabextractProcess(benchmark::State& state) {
  const fs::path out = Folder() / "theirs";
  for (auto _ : state) {
    fs::remove_all(out);
    if (Run("cabextract -q -d " + Quote(out) + " " + Quote(MsZipCabinet())) != 0)
      state.SkipWithError("cabextract failed");
  }
  Bytes(state);
}

std::map<std::string, std::uintmax_t>& Sizes() {
  static std::map<std::string, std::uintmax_t> sizes;
  return sizes;
}

void MakeCabMsZip(benchmark::State& state) {
  const fs::path cab = Folder() / "ours.cab";
  for (auto _ : state)
    if (MakeCab(cab, Sources(), vsk::cmMsZip) != kFiles) state.SkipWithError("writing failed");
  Sizes()["MakeCabMsZip"] = fs::file_size(cab);
  Bytes(state);
}

void GcabMsZipProcess(benchmark::State& state) {
  const fs::path cab = Folder() / "theirs.cab";
  for (auto _ : state) {
    fs::remove(cab);
    if (Run("cd " + Quote(Sources()) + " && gcab -cz " + Quote(cab) + " text/* bytes/*") != 0)
      state.SkipWithError("gcab failed");
  }
  Sizes()["GcabMsZipProcess"] = fs::file_size(cab);
  Bytes(state);
}

BENCHMARK(CabextractProcess)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(UnCabExtract)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(UnCabProcess)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(GcabMsZipProcess)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(MakeCabMsZip)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  MsZipCabinet();  // made before anything is timed
  TRatioReporter reporter({{"UnCabExtract", "CabextractProcess"}, {"UnCabProcess", "CabextractProcess"}, {"MakeCabMsZip", "GcabMsZipProcess"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [name, size] : Sizes()) std::printf("%s: %ju bytes\n", name.c_str(), size);
  if (Sizes().count("MakeCabMsZip") && Sizes().count("GcabMsZipProcess"))
    std::printf("MSZIP size ours / gcab = %.3f\n",
                static_cast<double>(Sizes()["MakeCabMsZip"]) / static_cast<double>(Sizes()["GcabMsZipProcess"]));

  // The text part alone, MSZIP against LZX with the largest window.
  const fs::path text = Sources() / "text";
  const fs::path mszip = Folder() / "text-mszip.cab", lzx = Folder() / "text-lzx21.cab";
  if (MakeCab(mszip, text, vsk::cmMsZip) == kFiles / 2 && MakeCab(lzx, text, vsk::cmLzx) == kFiles / 2)
    std::printf("text: MSZIP %ju bytes, LZX 21 %ju bytes, LZX / MSZIP = %.3f\n", fs::file_size(mszip),
                fs::file_size(lzx), static_cast<double>(fs::file_size(lzx)) / static_cast<double>(fs::file_size(mszip)));
  std::error_code ec;
  fs::remove_all(Folder(), ec);
  return 0;
}
