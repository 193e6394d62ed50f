#pragma once
// The text of desktop files (mimeapps.list, desktop entries) as other
// programs write it, edited line by line so that every line not ours, and
// every part of a line not ours, stays byte for byte. Internal to the
// desktop associations.

#include <optional>
#include <string>
#include <vector>

namespace vsk::desktoptext {

inline constexpr const char* kDefaultSection = "[Default Applications]";

// Without blanks, tabs and "\r" around it.
std::string Trim(const std::string& s);
// The file's lines, each with its "\n" when it has one (the last may not).
std::vector<std::string> SplitLines(const std::string& Text);
std::string LineEnd(const std::string& Line);
std::string WithoutEnd(const std::string& Line);
std::string JoinLines(const std::vector<std::string>& Lines);
// "key=value" with blanks around either; false for any other line.
bool SplitEntry(const std::string& Line, std::string& Key, std::string& Value);
// The items of a ";"-separated list, trimmed, empty ones left out.
std::vector<std::string> SplitList(const std::string& Value);
std::string JoinList(const std::vector<std::string>& Items);
bool Contains(const std::vector<std::string>& Items, const std::string& Item);

// Puts our name first among the handlers of each of Types (Register) or
// takes it out (else) in the "Default Applications" section of a
// mimeapps.list text. Only the lines of those types change, each only by
// our name; a list left empty loses its line; a type without a line gets
// one (the section too, when missing). Nothing when nothing changes.
std::optional<std::string> EditDefaultsText(const std::string& Text, const std::vector<std::string>& Types,
                                            bool Register);

}  // namespace vsk::desktoptext
