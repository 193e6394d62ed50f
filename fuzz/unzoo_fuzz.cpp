// Arbitrary bytes extracted as a ZOO archive: once in test mode, once into
// a scratch folder that must end up holding everything written. The same
// bytes also go straight into the LZW decoder, which reaches its dictionary
// far more often than through a valid entry.

#include <cstdint>
#include <string>

#include "archive/formats/zoo/unzoo.h"
#include "archive/formats/zoo/zoolzw.h"
#include "fuzz/fuzzcodec.h"
#include "fuzz/fuzzfile.h"

namespace {

void DecodeRaw(const uint8_t* data, size_t size) {
  FuzzDecoder(data, size, 0, 12, [](TFuzzBytes& in, TFuzzDiscard& out, vsk::Int64 unpacked, uint8_t) {
    vsk::TZooLzwDecoder d;
    d.Decode(in, out, unpacked);
    return true;
  });
}

void Configure(vsk::TUnZoo& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeRaw(data, size);
  return FuzzReader<vsk::TUnZoo>(data, size, ".zoo", Configure);
}
