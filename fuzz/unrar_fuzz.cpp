// Arbitrary bytes extracted as a RAR archive through the RAR reader (and
// the library it loads by name): once testing, once into a scratch folder.
// A next volume is never offered (no handler), so a run stops there.

#include <cstdint>
#include <string>

#include "archive/formats/rar/unrar.h"
#include "fuzz/fuzzfile.h"
#include "platform/dynlib.h"

namespace {

void Configure(vsk::TUnRar& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
  u.CreateStoredDirs = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader frees the library after a run; one reference held here keeps
  // it mapped, since the fuzzer keeps counting in its code.
  static const vsk::TLibHandle kept = vsk::LoadLibraryQuiet("unrar3.so");
  if (kept == nullptr) abort();
  return FuzzReader<vsk::TUnRar>(data, size, ".rar", Configure);
}
