// Arbitrary bytes extracted as a ZIP archive: once in test mode, once into a
// scratch folder that must end up holding everything written.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/formats/zip/unzip.h"
#include "fuzz/fuzzfile.h"

namespace {

void Configure(vsk::TUnZip& z, const std::string& archive) {
  z.SetArchiveFile(archive);
  z.FileSpec = {"*.*"};
  z.Passwords = {"pw"};
  z.CreateStoredDirs = true;
  z.OnGetPassword = [](vsk::TZipCommon&, const std::string&, std::string& pw, bool& again) {
    pw = "secret";
    again = true;
  };
  z.OnGetZipLastDisk = [](vsk::TZipCommon&, bool& cancel) { cancel = true; };
  z.OnGetZipFirstDisk = [](vsk::TZipCommon&, bool& cancel) { cancel = true; };
  z.OnGetZipNextDisk = [](vsk::TZipCommon&, const std::string&, bool& cancel) { cancel = true; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzReader<vsk::TUnZip>(data, size, ".zip", Configure);
}
