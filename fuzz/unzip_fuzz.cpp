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

const std::string& ScratchFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-out-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

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
  static const std::string name = FuzzFileName(".zip");
  WriteFuzzFile(name, data, size);
  try {
    vsk::TUnZip test;
    Configure(test, name);
    test.TestArchive();

    const std::string& out = ScratchFolder();
    vsk::TUnZip z;
    Configure(z, name);
    z.SetExtractDir(out);
    z.Extract();
  } catch (...) {
    // Only detection may raise (a file that cannot be opened); the entry
    // points never do.
  }
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(ScratchFolder(), ec))
    std::filesystem::remove_all(e.path(), ec);
  return 0;
}
