// Arbitrary bytes as the old archive of LHA writer runs: entries deleted,
// and a file added whose name collides with an entry that is then kept
// under another name. Whatever the writer commits must walk to its end
// mark through its own loader.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "archive/formats/lha/lhawriter.h"
#include "fuzz/fuzzfile.h"

namespace {

const std::string& SourceFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-src-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    const std::string d = made ? made : "/tmp";
    WriteFuzzFile(d + "/a.txt", reinterpret_cast<const uint8_t*>("added by the fuzz run, added by the fuzz run"), 44);
    return d;
  }();
  return dir;
}

void Configure(vsk::TLha& t, const std::string& archive) {
  t.SetArchiveFile(archive);
  t.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                       vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = false; };
  t.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string& name, std::string& newName, bool& rename) {
    newName = name + ".old";
    rename = true;
  };
}

// The committed archive walks to its end and reports no damage.
void Check(const std::string& name) {
  vsk::TLha check;
  check.SetArchiveFile(name);
  bool damaged = false;
  check.OnError = [&](vsk::TZipCommon&, const std::string&, const std::string&, const std::string&, int) {
    damaged = true;
  };
  check.OnRead = [](vsk::TZipCommon&, vsk::Int64, int) {};
  check.Switch = vsk::swRead;
  check.Compress();
  if (damaged) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = FuzzFileName("-upd.lzh");
  const std::string& src = SourceFolder();

  WriteFuzzFile(name, data, size);
  {
    vsk::TLha t;
    Configure(t, name);
    t.Switch = vsk::swDelete;
    t.FileSpec = {"*.txt", "a*"};
    if (t.Compress() > 0) Check(name);
  }
  WriteFuzzFile(name, data, size);
  {
    vsk::TLha t;
    Configure(t, name);
    t.FileSpec = {src + "/*"};
    if (t.Compress() > 0) Check(name);
  }
  return 0;
}
