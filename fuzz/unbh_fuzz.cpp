// Arbitrary bytes extracted as a BH archive: once in test mode, once into a
// scratch folder that must end up holding everything written. The input is
// taken as what follows the first header's signature, so every input reaches
// the header walk and the decoders; an input starting with "MZ" is kept as
// it is, which reaches the self-extractor scan.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/formats/lha/unbh.h"
#include "fuzz/fuzzfile.h"

namespace {

void Configure(vsk::TUnBh& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
  u.Passwords = {"pw"};
  u.CreateStoredDirs = true;
  u.OnGetPassword = [](vsk::TZipCommon&, const std::string&, std::string& pw, bool& again) {
    pw = "secret";
    again = true;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool sfx = size >= 2 && data[0] == 'M' && data[1] == 'Z';
  std::string bytes = sfx ? std::string() : std::string("BH\x05\x07", 4);
  bytes.append(reinterpret_cast<const char*>(data), size);
  return FuzzReader<vsk::TUnBh>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), ".bh", Configure);
}
