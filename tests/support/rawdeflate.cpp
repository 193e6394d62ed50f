#include "tests/support/rawdeflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace vsktest {

std::string RawDeflate(const std::string& Data, int Level) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, Level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  // The bound holds the whole stream, so one call with Z_FINISH ends it.
  std::string out(deflateBound(&z, static_cast<uLong>(Data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
  z.avail_in = static_cast<uInt>(Data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace vsktest
