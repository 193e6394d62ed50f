// Arbitrary bytes as the old archive of tar writer runs. Whatever the writer
// commits must be whole blocks that walk through its own loader.

#include <sys/stat.h>

#include "archive/formats/tar/tarwriter.h"
#include "fuzz/fuzzupdate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzUpdate<vsk::TTar>(data, size, "-upd.tar", [](const std::string& name) {
    struct stat st;
    if (stat(name.c_str(), &st) != 0 || st.st_size % 512 != 0) __builtin_trap();
    CheckFuzzWalk<vsk::TTar>(name);
  });
}
