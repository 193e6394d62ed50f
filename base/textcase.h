#pragma once
// Case folding of text: names, extensions, header names and switches are
// compared with the ASCII fold, whatever the user's locale: only "A".."Z"
// and "a".."z" change, every other byte (UTF-8 sequences included) stays as
// it is.

#include <string>
#include <string_view>

namespace vsk {

constexpr char AsciiLower(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }
constexpr char AsciiUpper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }
std::string AsciiLowerCase(std::string_view Text);
std::string AsciiUpperCase(std::string_view Text);
// Equal but for the case of ASCII letters.
bool SameTextAscii(std::string_view A, std::string_view B);
// Text ends with Suffix but for the case of ASCII letters.
bool EndsWithTextAscii(std::string_view Text, std::string_view Suffix);

}  // namespace vsk
