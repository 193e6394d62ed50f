// Arbitrary bytes as an executable image: loading it and reading its string
// table must never read outside the input.

#include <cstdint>

#include "platform/pe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vsk::TPeImage image;
  if (!image.LoadFromMemory(data, size)) return 0;
  for (vsk::UInt32 id = 0; id < 40; ++id) image.LoadString(id, 8);
  image.LoadString(0xFFFF);
  return 0;
}
