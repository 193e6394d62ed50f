#include "archive/formats/uu/uuheader.h"

#include <cstring>

namespace vsk {

bool TUuBeginLine::Find(const Byte* Data, std::size_t Count) {
  *this = TUuBeginLine{};
  static constexpr char kBegin[] = "begin ";
  constexpr std::size_t kBeginLen = sizeof kBegin - 1;
  const char* text = reinterpret_cast<const char*>(Data);
  for (std::size_t i = 0; i + 3 < Count; ++i) {
    if (i > 0 && text[i - 1] != '\n') continue;
    if (Count - i < kBeginLen || std::memcmp(text + i, kBegin, kBeginLen) != 0) continue;
    Offset = i;
    std::size_t p = i + kBeginLen;
    auto atLineEnd = [&](std::size_t k) { return k >= Count || text[k] == '\n' || text[k] == '\r'; };
    while (!atLineEnd(p) && text[p] != ' ') Mode.push_back(text[p++]);
    if (!atLineEnd(p)) ++p;  // the blank after the mode
    while (!atLineEnd(p) && Name.size() < kUuMaxName) Name.push_back(text[p++]);
    return true;
  }
  return false;
}

}  // namespace vsk
