// Arbitrary bytes extracted as an ARJ archive: once in test mode, once into
// a scratch folder that must end up holding everything written. Garbled
// entries are given a password; volume chains are declined. The same bytes
// also go straight into the method-4 decoder.

#include <cstdint>
#include <string>

#include "archive/formats/arj/arjfast.h"
#include "archive/formats/arj/unarj.h"
#include "fuzz/fuzzcodec.h"
#include "fuzz/fuzzfile.h"

namespace {

void DecodeRaw(const uint8_t* data, size_t size) {
  FuzzDecoder(data, size, 0, 12, [](TFuzzBytes& in, TFuzzDiscard& out, vsk::Int64 unpacked, uint8_t) {
    vsk::TArjFastDecoder d;
    d.Decode(in, out, unpacked);
    return true;
  });
}

void Configure(vsk::TUnArj& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
  u.CreateStoredDirs = true;
  u.OnGetPassword = [](vsk::TZipCommon&, const std::string&, std::string& pw, bool&) { pw = "pw"; };
  u.OnNextVolume = [](vsk::TZipCommon&, std::string&, const std::string&, bool, bool& cancel) { cancel = true; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeRaw(data, size);
  return FuzzReader<vsk::TUnArj>(data, size, ".arj", Configure);
}
