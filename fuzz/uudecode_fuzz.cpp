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

const std::string& ScratchFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-out-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

void Configure(vsk::TUUDecode& u, const std::string& text) {
  u.SetArchiveFile(text);
  u.MaxHeaderLines = 1000;
  u.OnNextVolume = [](vsk::TZipCommon&, std::string&, const std::string&, bool exists, bool& cancel) {
    cancel = !exists;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = FuzzFileName(".uue");
  WriteFuzzFile(name, data, size);
  try {
    vsk::TUUDecode test;
    Configure(test, name);
    test.TestArchive();

    const std::string& out = ScratchFolder();
    vsk::TUUDecode u;
    Configure(u, name);
    u.SetExtractDir(out);
    u.Extract();
  } catch (...) {
    // Only detection may raise (a file that cannot be opened); the entry
    // points never do.
  }
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(ScratchFolder(), ec))
    std::filesystem::remove_all(e.path(), ec);
  return 0;
}
