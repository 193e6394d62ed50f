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

const std::string& ScratchFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-out-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

void Configure(vsk::TUnGZip& g, const std::string& archive) {
  g.SetArchiveFile(archive);
  g.FileSpec = {"*.*"};
  g.CreateStoredDirs = true;
  g.SetTempDir(ScratchFolder());
  g.OnNestedTarFile = [](vsk::TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
  g.OnFileExists = [](vsk::TZipCommon&, const std::string&, std::string&, vsk::TOverwriteMode& mode) {
    mode = vsk::omOverwrite;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = FuzzFileName(".gz");
  WriteFuzzFile(name, data, size);
  try {
    vsk::TUnGZip test;
    Configure(test, name);
    test.TestArchive();

    const std::string& out = ScratchFolder();
    vsk::TUnGZip g;
    Configure(g, name);
    g.SetExtractDir(out);
    g.Extract();
  } catch (...) {
    // Only detection may raise (a file that cannot be opened); the entry
    // points never do.
  }
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(ScratchFolder(), ec))
    std::filesystem::remove_all(e.path(), ec);
  return 0;
}
