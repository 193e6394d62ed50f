// Unpacking a gzip file with TUnGZip against zlib's own gzread writing the
// same file. Prints our time as a ratio of zlib's.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/formats/gzip/ungzip.h"
#include "bench/ratioreporter.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kDataSize = 64u << 20;
constexpr int kBlock = 65536;

const fs::path& Folder() {
  static const fs::path dir = [] {
    std::string tmpl = (fs::temp_directory_path() / "vskgzbench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    return fs::path(tmpl);
  }();
  return dir;
}

// Half text, half bytes of limited entropy.
const std::string& Plain() {
  static const std::string data = [] {
    static const char* const words[] = {"archive", "entry", "the", "of", "compressed", "header", "volume", "and"};
    std::mt19937 rng(7);
    std::string out;
    out.reserve(kDataSize);
    while (out.size() < kDataSize / 2) {
      out += words[rng() % 8];
      out += rng() % 11 == 0 ? '\n' : ' ';
    }
    while (out.size() < kDataSize) out += static_cast<char>(rng() % 64 + (rng() % 4) * 16);
    return out;
  }();
  return data;
}

const std::string& GzipFile() {
  static const std::string name = [] {
    const std::string path = (Folder() / "data.bin.gz").string();
    gzFile g = gzopen(path.c_str(), "wb6");
    gzwrite(g, Plain().data(), static_cast<unsigned>(Plain().size()));
    gzclose(g);
    return path;
  }();
  return name;
}

void ZlibGunzip(benchmark::State& state) {
  std::vector<char> buf(kBlock);
  const std::string out = (Folder() / "zlib.out").string();
  for (auto _ : state) {
    gzFile g = gzopen(GzipFile().c_str(), "rb");
    gzbuffer(g, kBlock);
    FILE* f = std::fopen(out.c_str(), "wb");
    int n;
    while ((n = gzread(g, buf.data(), kBlock)) > 0) std::fwrite(buf.data(), 1, static_cast<std::size_t>(n), f);
    std::fclose(f);
    gzclose(g);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataSize));
}

void UnGZip(benchmark::State& state) {
  const std::string out = (Folder() / "ours").string();
  fs::create_directories(out);
  for (auto _ : state) {
    vsk::TUnGZip r;
    r.SetArchiveFile(GzipFile());
    r.FileSpec = {"*.*"};
    r.SetExtractDir(out);
    if (r.Extract() != 1) state.SkipWithError("extraction failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataSize));
}

BENCHMARK(ZlibGunzip)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(UnGZip)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  GzipFile();  // made before anything is timed
  TRatioReporter reporter({std::pair<std::string, std::string>("UnGZip", "ZlibGunzip")});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::error_code ec;
  fs::remove_all(Folder(), ec);
  return 0;
}
