#pragma once
// zlib's own raw deflate data (no header, no trailer), the packed form the
// tests build deflated entries from.

#include <string>

namespace vsktest {

std::string RawDeflate(const std::string& Data, int Level = 6);

}  // namespace vsktest
