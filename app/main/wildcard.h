#pragma once
// Case-sensitive wildcard matching of names against a filter pattern.

#include <string>

namespace brevane {

// "*" matches any run of characters (also none), "?" exactly one, "[...]"
// one character of a set ("[^...]" one not in it; "a-z" is a range). A set
// that is empty, starts with "[" or "]" or is not closed makes the pattern
// match nothing. Any other character matches itself. Characters are UTF-8
// code points. Time is at most proportional to the text's length times the
// pattern's.
bool WildcardMatch(const std::string& Text, const std::string& Pattern);

}  // namespace brevane
