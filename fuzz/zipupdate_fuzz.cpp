// Arbitrary bytes as the old archive of zip writer runs: comments changed
// without a run, entries deleted, and a file added whose name collides with
// an entry that is then kept under another name. Whatever the writer
// commits must read back through its own loader.

#include <unistd.h>

#include <cstdint>
#include <string>

#include "archive/formats/zip/zipwriter.h"
#include "fuzz/fuzzfile.h"

namespace {

const std::string& SourceFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-src-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    const std::string d = made ? made : "/tmp";
    WriteFuzzFile(d + "/a.txt", reinterpret_cast<const uint8_t*>("added by the fuzz run"), 21);
    return d;
  }();
  return dir;
}

void Configure(vsk::TZip& z, const std::string& archive) {
  z.SetArchiveFile(archive);
  z.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                       vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = false; };
  z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string& name, std::string& newName, bool& rename) {
    newName = name + ".old";
    rename = true;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = FuzzFileName("-upd.zip");
  const std::string& src = SourceFolder();

  WriteFuzzFile(name, data, size);
  {
    vsk::TZip z;
    Configure(z, name);
    if (z.OpenOldArchive() >= 0) {
      z.SetArchiveComment(z.GetArchiveComment() + "!");
      if (!z.Entries().empty()) z.SetEntryComment(0, "fuzzed");
      z.SaveDirectoryChanges();
    }
  }
  WriteFuzzFile(name, data, size);
  {
    vsk::TZip z;
    Configure(z, name);
    z.Switch = vsk::swDelete;
    z.FileSpec = {"*.txt", "a*"};
    z.Compress();
  }
  WriteFuzzFile(name, data, size);
  {
    vsk::TZip z;
    Configure(z, name);
    z.FileSpec = {src + "/*"};
    if (z.Compress() > 0) {
      vsk::TZip check;
      check.SetArchiveFile(name);
      if (check.OpenOldArchive() < 0) __builtin_trap();
    }
  }
  return 0;
}
