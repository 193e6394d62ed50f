// Arbitrary bytes extracted as an ARC archive: once in test mode, once into
// a scratch folder that must end up holding everything written. The same
// bytes also go straight into each decoder, which reaches its tables far
// more often than through a valid entry.

#include <cstdint>
#include <memory>
#include <string>

#include "archive/formats/arc/arccrunch.h"
#include "archive/formats/arc/arcio.h"
#include "archive/formats/arc/arclzw.h"
#include "archive/formats/arc/arcsqueeze.h"
#include "archive/formats/arc/unarc.h"
#include "fuzz/fuzzcodec.h"
#include "fuzz/fuzzfile.h"

namespace {

void DecodeRaw(const uint8_t* data, size_t size) {
  FuzzDecoder(data, size, 3, 13, [](TFuzzBytes& src, TFuzzDiscard& sink, vsk::Int64 unpacked, uint8_t pick) {
    const int method = 3 + pick % 7;
    vsk::TArcInput in(src);
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
    return sink.Total == out.Written();
  });
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
