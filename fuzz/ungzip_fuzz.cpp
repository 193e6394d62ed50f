// Arbitrary bytes extracted as a gzip or compress file, a tar inside always
// unpacked: once in test mode (whose tar goes to the scratch folder as its
// temporary folder), once into the scratch folder, which must end up
// holding everything written.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/formats/gzip/ungzip.h"
#include "fuzz/fuzzfile.h"

namespace {

void Configure(vsk::TUnGZip& g, const std::string& archive) {
  g.SetArchiveFile(archive);
  g.FileSpec = {"*.*"};
  g.CreateStoredDirs = true;
  g.SetTempDir(FuzzScratchFolder());
  g.OnNestedTarFile = [](vsk::TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
  g.OnFileExists = [](vsk::TZipCommon&, const std::string&, std::string&, vsk::TOverwriteMode& mode) {
    mode = vsk::omOverwrite;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzReader<vsk::TUnGZip>(data, size, ".gz", Configure);
}
