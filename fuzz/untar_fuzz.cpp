// Arbitrary bytes extracted as a tar archive: once in test mode, once into a
// scratch folder that must end up holding everything written.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/formats/tar/untar.h"
#include "fuzz/fuzzfile.h"

namespace {

void Configure(vsk::TUnTar& t, const std::string& archive) {
  t.SetArchiveFile(archive);
  t.FileSpec = {"*.*"};
  t.CreateStoredDirs = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzReader<vsk::TUnTar>(data, size, ".tar", Configure);
}
