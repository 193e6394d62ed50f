// Arbitrary bytes extracted as a RAR archive through the RAR reader (and
// the library it loads by name): once testing, once into a scratch folder.
// A next volume is never offered (no handler), so a run stops there.

#include <cstdint>
#include <string>

#include "archive/formats/rar/unrar.h"
#include "fuzz/fuzzfile.h"

namespace {

void Configure(vsk::TUnRar& u, const std::string& archive) {
  if (!vsk::TUnRar::LibraryPresent()) abort();
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
  u.CreateStoredDirs = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzReader<vsk::TUnRar>(data, size, ".rar", Configure);
}
