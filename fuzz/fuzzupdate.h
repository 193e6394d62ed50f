#pragma once
// Arbitrary bytes as the old archive of writer runs: entries deleted, and a
// file added whose name collides with an entry that is then kept under
// another name. Whatever a run commits must pass the format's own check.

#include <stdlib.h>

#include <cstdint>
#include <string>

#include "archive/core/compbase.h"
#include "fuzz/fuzzfile.h"

// A folder holding the one file the add runs take in.
inline const std::string& FuzzSourceFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-src-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    const std::string d = made ? made : "/tmp";
    const char text[] = "added by the fuzz run, added by the fuzz run";
    WriteFuzzFile(d + "/a.txt", reinterpret_cast<const uint8_t*>(text), sizeof text - 1);
    return d;
  }();
  return dir;
}

// Existing files are kept; a colliding old entry is renamed.
inline void ConfigureFuzzWriter(vsk::TCompBase& w, const std::string& archive) {
  w.SetArchiveFile(archive);
  w.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                       vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = false; };
  w.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string& name, std::string& newName, bool& rename) {
    newName = name + ".old";
    rename = true;
  };
}

// Walks a committed archive through the writer's own loader; any damage it
// reports is a fault of the run that wrote it.
template <class Writer>
void CheckFuzzWalk(const std::string& name) {
  Writer check;
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

// A delete run and an add run over the same input; Check gets the archive
// name after every run that committed something.
template <class Writer, class CheckFn>
int FuzzUpdate(const uint8_t* data, size_t size, const char* extension, CheckFn Check) {
  static const std::string name = FuzzFileName(extension);
  const std::string& src = FuzzSourceFolder();

  WriteFuzzFile(name, data, size);
  {
    Writer w;
    ConfigureFuzzWriter(w, name);
    w.Switch = vsk::swDelete;
    w.FileSpec = {"*.txt", "a*"};
    if (w.Compress() > 0) Check(name);
  }
  WriteFuzzFile(name, data, size);
  {
    Writer w;
    ConfigureFuzzWriter(w, name);
    w.FileSpec = {src + "/*"};
    if (w.Compress() > 0) Check(name);
  }
  return 0;
}
