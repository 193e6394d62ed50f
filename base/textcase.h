#pragma once
// Case folding of text. The ASCII fold is the one names, extensions, header
// names and switches are compared with: only "A".."Z" and "a".."z" change,
// every other byte (UTF-8 sequences included) stays as it is. The locale fold
// is the C library's, byte by byte in the current locale; it is kept for the
// few callers that have always folded that way.

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

// std::tolower of the byte in the current C locale (the "C" locale folds
// ASCII only; a program that set the user's locale may fold more).
char LocaleLower(char C);
std::string LocaleLowerCase(std::string_view Text);

}  // namespace vsk
