// Arbitrary bytes as the old archive of zip writer runs: comments changed
// without a run, then the shared delete and add runs. Whatever the writer
// commits must read back through its own loader.

#include "archive/formats/zip/zipwriter.h"
#include "fuzz/fuzzupdate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = FuzzFileName("-cmt.zip");
  WriteFuzzFile(name, data, size);
  {
    vsk::TZip z;
    ConfigureFuzzWriter(z, name);
    if (z.OpenOldArchive() >= 0) {
      z.SetArchiveComment(z.GetArchiveComment() + "!");
      if (!z.Entries().empty()) z.SetEntryComment(0, "fuzzed");
      z.SaveDirectoryChanges();
    }
  }
  return FuzzUpdate<vsk::TZip>(data, size, "-upd.zip", [](const std::string& archive) {
    vsk::TZip check;
    check.SetArchiveFile(archive);
    if (check.OpenOldArchive() < 0) __builtin_trap();
  });
}
