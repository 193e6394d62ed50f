#include "base/textcase.h"

namespace vsk {

std::string AsciiLowerCase(std::string_view Text) {
  std::string r(Text);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

std::string AsciiUpperCase(std::string_view Text) {
  std::string r(Text);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i)
    if (AsciiLower(A[i]) != AsciiLower(B[i])) return false;
  return true;
}

bool EndsWithTextAscii(std::string_view Text, std::string_view Suffix) {
  return Text.size() >= Suffix.size() && SameTextAscii(Text.substr(Text.size() - Suffix.size()), Suffix);
}

}  // namespace vsk
