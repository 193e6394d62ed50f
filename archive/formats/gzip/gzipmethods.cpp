// The names of a gzip member's methods, and of the older compressors by
// their magic.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view GzipMethodName(const TMethodQuery& Q) {
  if (Q.Method == 0) return "Stored";
  if (Q.Method == 8) return "Deflate";
  if (Q.Method == 144) return "LzwMAGIC";
  if (Q.GzMagic0 == 0x1F && Q.GzMagic1 == 0x1E) return "PackMAGIC";
  if (Q.GzMagic0 == 0x1F && Q.GzMagic1 == 0xA0) return "LzhMAGIC";
  return {};
}

}  // namespace vsk
