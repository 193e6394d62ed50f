// Arbitrary bytes decoded as a uuencoded, xxencoded or Base64 text: once in
// test mode, once into a scratch folder that must end up holding everything
// written. Next parts are offered when they exist and declined otherwise.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/formats/uu/uudecode.h"
#include "fuzz/fuzzfile.h"

namespace {

void Configure(vsk::TUUDecode& u, const std::string& text) {
  u.SetArchiveFile(text);
  u.MaxHeaderLines = 1000;
  u.OnNextVolume = [](vsk::TZipCommon&, std::string&, const std::string&, bool exists, bool& cancel) {
    cancel = !exists;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzReader<vsk::TUUDecode>(data, size, ".uue", Configure);
}
