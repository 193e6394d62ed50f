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

const std::string& ScratchFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-out-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

void Configure(vsk::TUnTar& t, const std::string& archive) {
  t.SetArchiveFile(archive);
  t.FileSpec = {"*.*"};
  t.CreateStoredDirs = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = FuzzFileName(".tar");
  WriteFuzzFile(name, data, size);
  try {
    vsk::TUnTar test;
    Configure(test, name);
    test.TestArchive();

    const std::string& out = ScratchFolder();
    vsk::TUnTar t;
    Configure(t, name);
    t.SetExtractDir(out);
    t.Extract();
  } catch (...) {
    // Only detection may raise (a file that cannot be opened); the entry
    // points never do.
  }
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(ScratchFolder(), ec))
    std::filesystem::remove_all(e.path(), ec);
  return 0;
}
