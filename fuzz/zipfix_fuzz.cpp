// Arbitrary bytes repaired as a ZIP archive: the scan must never read
// outside the input, and what it writes must be a well-formed archive.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/stream.h"
#include "archive/tools/zipfix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vsk::TZipFix fix;
  vsk::TMemoryStream32 out;
  const int kept = fix.FixBytes(data, static_cast<vsk::Int64>(size), out);
  // Every kept entry has its directory record, and the end record closes
  // the output.
  if (kept > 0) {
    const vsk::Byte* p = out.Memory();
    const vsk::Int64 n = out.GetSize();
    if (n < 22 || std::memcmp(p + n - 22, "PK\x05\x06", 4) != 0) std::abort();
    if ((p[n - 22 + 10] | p[n - 22 + 11] << 8) != (kept & 0xFFFF)) std::abort();
  }
  return 0;
}
