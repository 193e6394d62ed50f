// Arbitrary bytes as the old archive of LHA writer runs. Whatever the writer
// commits must walk to its end mark through its own loader.

#include "archive/formats/lha/lhawriter.h"
#include "fuzz/fuzzupdate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzUpdate<vsk::TLha>(data, size, "-upd.lzh", CheckFuzzWalk<vsk::TLha>);
}
