// Arbitrary bytes extracted as an ARC archive: once in test mode, once into
// a scratch folder that must end up holding everything written. The same
// bytes also go straight into each decoder, which reaches its tables far
// more often than through a valid entry.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/formats/arc/arccrunch.h"
#include "archive/formats/arc/arcio.h"
#include "archive/formats/arc/arclzw.h"
#include "archive/formats/arc/arcsqueeze.h"
#include "archive/formats/arc/unarc.h"
#include "fuzz/fuzzfile.h"

namespace {

class TBytes : public vsk::TCodecSource {
 public:
  TBytes(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
  vsk::Int32 Read(vsk::Byte* Buffer, vsk::Int32 Count) override {
    const size_t n = std::min(FSize - FPos, static_cast<size_t>(Count));
    std::memcpy(Buffer, FData + FPos, n);
    FPos += n;
    return static_cast<vsk::Int32>(n);
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

class TDiscard : public vsk::TCodecSink {
 public:
  void Write(const vsk::Byte*, vsk::Int32 Count) override { Total += Count; }
  vsk::Int64 Total = 0;
};

// The first byte picks the method and the claimed size; the rest is the
// packed stream.
void DecodeRaw(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const int method = 3 + data[0] % 7;
  const vsk::Int64 unpacked = 1 + (static_cast<vsk::Int64>(data[0] >> 3) << 13);
  TBytes src(data + 1, size - 1);
  vsk::TArcInput in(src);
  TDiscard sink;
  vsk::TArcOutput out(sink, unpacked, method != 5 && method != 9);
  if (method == 3) {
    for (int b = in.Get(); b >= 0 && !out.Stop(); b = in.Get()) out.Put(static_cast<vsk::Byte>(b));
  } else if (method == 4) {
    auto d = std::make_unique<vsk::TArcSqueezeDecoder>();
    d->Decode(in, out);
  } else if (method <= 7) {
    auto d = std::make_unique<vsk::TArcCrunchDecoder>();
    d->Decode(in, out, method == 7);
  } else {
    auto d = std::make_unique<vsk::TArcLzwDecoder>();
    d->Decode(in, out, method == 8 ? 12 : 13, method == 8);
  }
  out.Flush();
  if (sink.Total > unpacked || sink.Total != out.Written()) abort();
}

void Configure(vsk::TUnArc& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeRaw(data, size);
  return FuzzReader<vsk::TUnArc>(data, size, ".arc", Configure);
}
