// Inflate throughput of TDecompressStream (with its CRC-32) against zlib's
// own inflate + crc32 on the same raw deflate data, in 64 KiB output blocks.
// Prints our throughput as a ratio of zlib's per data set.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/core/codecstreams.h"
#include "base/stream.h"

namespace {

using vsk::Byte;

constexpr std::size_t kDataSize = 32u << 20;
constexpr int kBlock = 65536;

std::vector<Byte> MakeText(std::size_t n) {
  static const char* const words[] = {"archive", "entry", "the", "of", "compressed", "header", "volume", "and",
                                      "data", "stream", "block", "name", "to", "size", "a", "checksum"};
  std::mt19937 rng(7);
  std::vector<Byte> out;
  out.reserve(n);
  while (out.size() < n) {
    const std::string w = words[rng() % 16];
    out.insert(out.end(), w.begin(), w.end());
    out.push_back(rng() % 11 == 0 ? '\n' : ' ');
  }
  out.resize(n);
  return out;
}

// Half text, half bytes of limited entropy, as an ordinary mixed file.
std::vector<Byte> MakeMixed(std::size_t n) {
  std::vector<Byte> out = MakeText(n / 2);
  std::mt19937 rng(11);
  while (out.size() < n) out.push_back(static_cast<Byte>(rng() % 64 + (rng() % 4) * 16));
  return out;
}

std::vector<Byte> RawDeflate(const std::vector<Byte>& in) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<Byte> out(deflateBound(&z, in.size()));
  z.next_in = const_cast<Byte*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct DataSet {
  std::vector<Byte> plain;
  std::vector<Byte> packed;
  vsk::UInt32 crc = 0;
};

const DataSet& Data(int kind) {
  static std::map<int, DataSet> sets;
  auto it = sets.find(kind);
  if (it == sets.end()) {
    DataSet d;
    d.plain = kind == 0 ? MakeText(kDataSize) : MakeMixed(kDataSize);
    d.packed = RawDeflate(d.plain);
    d.crc = static_cast<vsk::UInt32>(crc32(0, d.plain.data(), static_cast<uInt>(d.plain.size())));
    it = sets.emplace(kind, std::move(d)).first;
  }
  return it->second;
}

void BM_ZlibInflateCrc(benchmark::State& state) {
  const DataSet& d = Data(static_cast<int>(state.range(0)));
  std::vector<Byte> out(kBlock);
  for (auto _ : state) {
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = const_cast<Byte*>(d.packed.data());
    z.avail_in = static_cast<uInt>(d.packed.size());
    uLong crc = crc32(0, nullptr, 0);
    int ret;
    do {
      z.next_out = out.data();
      z.avail_out = kBlock;
      ret = inflate(&z, Z_NO_FLUSH);
      crc = crc32(crc, out.data(), static_cast<uInt>(kBlock - z.avail_out));
    } while (ret == Z_OK);
    inflateEnd(&z);
    if (ret != Z_STREAM_END || crc != d.crc) state.SkipWithError("zlib inflate failed");
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.plain.size()));
}

void BM_StreamInflateCrc(benchmark::State& state) {
  const DataSet& d = Data(static_cast<int>(state.range(0)));
  std::vector<Byte> out(kBlock);
  vsk::TCustomMemoryStream32 archive;
  archive.SetPointer(const_cast<Byte*>(d.packed.data()), static_cast<vsk::Int64>(d.packed.size()));
  for (auto _ : state) {
    archive.SetPosition(0);
    auto s = std::make_unique<vsk::TDecompressStream>(archive, vsk::kRawDeflateBits,
                                                      static_cast<vsk::Int64>(d.packed.size()));
    vsk::Int32 n;
    while ((n = s->Read(out.data(), kBlock)) > 0) {
    }
    if (n < 0 || !s->EndOfStream() || s->FinalCrc() != d.crc) state.SkipWithError("stream inflate failed");
    benchmark::DoNotOptimize(s->Crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.plain.size()));
}

BENCHMARK(BM_ZlibInflateCrc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamInflateCrc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Keeps the time of every run (the median when repetitions are asked for)
// to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.run_name.str();
      if (r.run_type == Run::RT_Iteration && !medians.count(name)) last[name] = r.GetAdjustedRealTime();
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") medians[name] = r.GetAdjustedRealTime();
    }
  }
  double Time(const std::string& name) const {
    if (auto it = medians.find(name); it != medians.end()) return it->second;
    if (auto it = last.find(name); it != last.end()) return it->second;
    return 0;
  }

 private:
  std::map<std::string, double> medians, last;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const char* names[] = {"text", "mixed"};
  for (int kind = 0; kind < 2; ++kind) {
    const std::string arg = kind == 0 ? "/0" : "/1";
    const double zl = reporter.Time("BM_ZlibInflateCrc" + arg);
    const double ours = reporter.Time("BM_StreamInflateCrc" + arg);
    if (zl <= 0 || ours <= 0) continue;
    std::printf("inflate+crc32 throughput, %s data: stream/zlib = %.3f\n", names[kind], zl / ours);
  }
  return 0;
}
