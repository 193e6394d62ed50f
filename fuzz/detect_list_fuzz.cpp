// Arbitrary bytes through detection and the lister, for every type the
// first bytes lead to. The first byte picks the file's extension so the
// name-dependent rules (.jar, volume numbers) are reached too.

#include <cstdint>

#include "archive/formats/lister/vorsk.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kExt[] = {".zip", ".jar", ".lzh", ".arj", ".rar", ".r00", ".ace", ".c01",
                                     ".arc", ".zoo", ".gz",  ".tar", ".uue", ".cab", ".bh",  ".bin"};
  const unsigned pick = size ? data[0] % 16 : 0;
  static std::string names[16];
  std::string& name = names[pick];
  if (name.empty()) name = FuzzFileName(kExt[pick]);
  WriteFuzzFile(name, data, size);
  vsk::TVorsk lister;
  try {
    lister.SetArchiveFile(name);
  } catch (...) {
    return 0;
  }
  lister.FileSpec = {"*.*"};
  lister.ShowEmptyDirs = true;
  int entries = 0;
  lister.OnRead = [&](vsk::TZipCommon&, vsk::Int64, int) {
    // Stop runaway listings of huge fake directories.
    if (++entries > 100000) *lister.CancelRef() = true;
  };
  // Volume prompts decline, so chains end at once.
  lister.OnNextVolume = [](vsk::TZipCommon&, std::string&, const std::string&, bool, bool& cancel) { cancel = true; };
  lister.OnGetZipLastDisk = [](vsk::TZipCommon&, bool& cancel) { cancel = true; };
  lister.OnGetZipFirstDisk = [](vsk::TZipCommon&, bool& cancel) { cancel = true; };
  lister.OnGetZipNextDisk = [](vsk::TZipCommon&, const std::string&, bool& cancel) { cancel = true; };
  lister.Activate();
  return 0;
}
