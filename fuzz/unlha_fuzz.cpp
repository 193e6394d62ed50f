// Arbitrary bytes extracted as an LHA archive: once in test mode, once into
// a scratch folder that must end up holding everything written. The same
// bytes also go straight into each LZ decoder, which reaches their tables
// far more often than through a valid header.

#include <cstdint>
#include <string>

#include "archive/formats/lha/lh1decode.h"
#include "archive/codecs/lzhdecode.h"
#include "archive/formats/lha/unlha.h"
#include "fuzz/fuzzcodec.h"
#include "fuzz/fuzzfile.h"

namespace {

// The first byte also picks the method shape.
void DecodeRaw(const uint8_t* data, size_t size) {
  FuzzDecoder(data, size, 0, 12, [](TFuzzBytes& in, TFuzzDiscard& out, vsk::Int64 unpacked, uint8_t pick) {
    static const vsk::TLzhSettings shapes[] = {vsk::kLzhLh4, vsk::kLzhLh5, vsk::kLzhLh6,
                                               vsk::kLzhLh7, {16, 5, 0},   {13, 4, 0}};
    if (pick % 7 == 6) {
      vsk::TLh1Decoder d;
      d.Decode(in, out, unpacked);
    } else {
      vsk::TLzhDecoder d;
      d.Init(shapes[pick % 7]);
      d.Decode(in, out, unpacked);
    }
    return true;
  });
}

void Configure(vsk::TUnLha& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
  u.CreateStoredDirs = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeRaw(data, size);
  return FuzzReader<vsk::TUnLha>(data, size, ".lzh", Configure);
}
