// Arbitrary bytes extracted as a cabinet through the cabinet reader and the
// library it loads: once in test mode, once into a scratch folder that must
// end up holding everything written.

#include <cstdint>
#include <string>

#include "archive/formats/cab/uncab.h"
#include "fuzz/fuzzfile.h"

namespace {

void Configure(vsk::TUnCab& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
  u.ConfirmOverwrites = false;
  // A set's next cabinet is never there.
  u.OnNextVolume = [](vsk::TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) { Cancel = true; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzReader<vsk::TUnCab>(data, size, ".cab", Configure);
}
