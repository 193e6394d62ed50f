// Packing cabinet folders with our LZX encoder at windows 15 and 21 beside
// zlib's deflate level 6 on the same data, as one stream and as MSZIP
// blocks (a deflate stream per 32 KiB block with the block before as its
// dictionary). Prints MB/s and each packed size as a share of the input
// and of deflate's.
//
// Text: the C headers under /usr/include; code: the programs in /usr/bin;
// up to 16 MiB of each, read in name order.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "libs/cabinet/lzxencoder.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kDataSize = 16u << 20;
constexpr std::size_t kFrame = 32768;

std::string Gather(const fs::path& root, bool (*take)(const fs::path&, const std::string&)) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file(ec)) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  std::string data;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    if (!take(f, ss.str())) continue;
    data += ss.str();
    if (data.size() >= kDataSize) break;
  }
  data.resize(std::min(data.size(), kDataSize));
  return data;
}

const std::string& Data(const std::string& kind) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(kind);
  if (it != cache.end()) return it->second;
  std::string d = kind == "Text" ? Gather("/usr/include",
                                          [](const fs::path& p, const std::string&) { return p.extension() == ".h"; })
                                 : Gather("/usr/bin", [](const fs::path&, const std::string& s) {
                                     return s.compare(0, 4,
                                                      "\x7F"
                                                      "ELF") == 0;
                                   });
  return cache.emplace(kind, std::move(d)).first->second;
}

void Report(benchmark::State& state, std::size_t in, std::size_t packed) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in));
  state.counters["packed%"] = 100.0 * static_cast<double>(packed) / static_cast<double>(in);
}

// One data block per frame, as the cabinet writer stores them.
void Lzx(benchmark::State& state, const std::string& kind, int windowBits) {
  const std::string& data = Data(kind);
  std::vector<std::uint8_t> block;
  std::size_t packed = 0;
  for (auto _ : state) {
    vsk::cab::TLzxEncoder encoder(windowBits);
    packed = 0;
    for (std::size_t pos = 0; pos < data.size(); pos += kFrame) {
      block.clear();
      encoder.EncodeFrame(reinterpret_cast<const std::uint8_t*>(data.data() + pos), std::min(kFrame, data.size() - pos),
                          block);
      packed += block.size();
    }
  }
  Report(state, data.size(), packed);
}

void Deflate(benchmark::State& state, const std::string& kind) {
  const std::string& data = Data(kind);
  std::vector<Bytef> out(compressBound(static_cast<uLong>(data.size())));
  uLongf packed = 0;
  for (auto _ : state) {
    packed = static_cast<uLongf>(out.size());
    if (compress2(out.data(), &packed, reinterpret_cast<const Bytef*>(data.data()), data.size(), 6) != Z_OK)
      state.SkipWithError("deflate failed");
  }
  Report(state, data.size(), packed);
}

// Each 32 KiB block a complete raw deflate stream behind "CK", with the
// block before as its dictionary.
void MsZip(benchmark::State& state, const std::string& kind) {
  const std::string& data = Data(kind);
  std::vector<Bytef> out(compressBound(kFrame) + 64);
  std::size_t packed = 0;
  for (auto _ : state) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    packed = 0;
    for (std::size_t pos = 0; pos < data.size(); pos += kFrame) {
      deflateReset(&z);
      if (pos) deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(data.data() + pos - kFrame), kFrame);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + pos));
      z.avail_in = static_cast<uInt>(std::min(kFrame, data.size() - pos));
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      if (deflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("deflate failed");
      packed += 2 + (out.size() - z.avail_out);
    }
    deflateEnd(&z);
  }
  Report(state, data.size(), packed);
}

// Prints LZX at window 21 beside deflate and MSZIP for each kind of data.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const std::string name = r.benchmark_name();
      packed_[name] = r.counters.at("packed%");
      speed_[name] = r.counters.at("bytes_per_second") / 1e6;
    }
    for (const char* kind : {"Text", "Code"}) {
      const std::string lzx = std::string("Lzx21/") + kind, zlib = std::string("Deflate6/") + kind,
                        mszip = std::string("MsZip6/") + kind;
      if (printed_.count(kind) || !packed_.count(lzx) || !packed_.count(zlib) || !packed_.count(mszip)) continue;
      printed_[kind] = true;
      std::printf("%s: LZX-21 %.1f MB/s, %.2f%% of the input = %.3f of deflate-6 (%.1f MB/s), %.3f of MSZIP\n", kind,
                  speed_[lzx], packed_[lzx], packed_[lzx] / packed_[zlib], speed_[zlib], packed_[lzx] / packed_[mszip]);
    }
  }

 private:
  std::map<std::string, double> packed_, speed_;
  std::map<std::string, bool> printed_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const char* kind : {"Text", "Code"}) {
    if (Data(kind).empty()) {
      std::fprintf(stderr, "no %s data found\n", kind);
      return 1;
    }
    const std::string k = kind;
    benchmark::RegisterBenchmark(("Lzx15/" + k).c_str(), [k](benchmark::State& s) { Lzx(s, k, 15); });
    benchmark::RegisterBenchmark(("Lzx21/" + k).c_str(), [k](benchmark::State& s) { Lzx(s, k, 21); });
    benchmark::RegisterBenchmark(("Deflate6/" + k).c_str(), [k](benchmark::State& s) { Deflate(s, k); });
    benchmark::RegisterBenchmark(("MsZip6/" + k).c_str(), [k](benchmark::State& s) { MsZip(s, k); });
  }
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
