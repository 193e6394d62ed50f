#include "archive/formats/uu/uuheader.h"

#include <cstring>

namespace vsk {

void TUuBeginLine::TakeModeAndName(const char* Text, std::size_t Count, std::size_t From) {
  std::size_t p = From;
  auto atLineEnd = [&](std::size_t k) { return k >= Count || Text[k] == '\n' || Text[k] == '\r'; };
  while (!atLineEnd(p) && Text[p] != ' ') Mode.push_back(Text[p++]);
  if (!atLineEnd(p)) ++p;  // the blank after the mode
  while (!atLineEnd(p) && Name.size() < kUuMaxName) Name.push_back(Text[p++]);
}

bool TUuBeginLine::Find(const Byte* Data, std::size_t Count) {
  *this = TUuBeginLine{};
  static constexpr char kBegin[] = "begin ";
  constexpr std::size_t kBeginLen = sizeof kBegin - 1;
  const char* text = reinterpret_cast<const char*>(Data);
  static constexpr char kBegin64[] = "begin-base64 ";
  constexpr std::size_t kBegin64Len = sizeof kBegin64 - 1;
  for (std::size_t i = 0; i + 3 < Count; ++i) {
    if (i > 0 && text[i - 1] != '\n') continue;
    if (Count - i >= kBegin64Len && std::memcmp(text + i, kBegin64, kBegin64Len) == 0) {
      Offset = i;
      Base64 = true;
      TakeModeAndName(text, Count, i + kBegin64Len);
      return true;
    }
    if (Count - i < kBeginLen || std::memcmp(text + i, kBegin, kBeginLen) != 0) continue;
    Offset = i;
    TakeModeAndName(text, Count, i + kBeginLen);
    return true;
  }
  return false;
}

bool TUuBeginLine::Parse(std::string_view Line, bool AllowBase64) {
  *this = TUuBeginLine{};
  static constexpr std::string_view kBegin = "begin ";
  static constexpr std::string_view kBegin64 = "begin-base64 ";
  std::size_t from = 0;
  if (Line.substr(0, kBegin.size()) == kBegin) {
    from = kBegin.size();
  } else if (AllowBase64 && Line.substr(0, kBegin64.size()) == kBegin64) {
    from = kBegin64.size();
    Base64 = true;
  } else {
    return false;
  }
  TakeModeAndName(Line.data(), Line.size(), from);
  return true;
}

}  // namespace vsk
