#pragma once
// Wildcard masks: "*" stands for any run of characters (also none), "?" for
// exactly one character, anything else for itself. Letters are compared
// without regard to ASCII case; other characters must be equal. Names and
// masks are UTF-8: "?" takes one whole character, and bytes that do not form
// UTF-8 count as characters of their own.

#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"

namespace vsk {

inline constexpr Byte kMaskLiteral = 0;
inline constexpr Byte kMaskAnyChar = 1;

// One element of a compiled mask. StarBefore: a "*" stands in front of it.
// Ch: the literal character (code point, ASCII letters in upper case; a byte
// that is not UTF-8 is 0x110000 + its value), 0 in the terminating element,
// which matches only the end of the name.
struct TMaskElement {
  Byte StarBefore = 0;
  Byte Kind = kMaskLiteral;
  char32_t Ch = 0;
};

struct TInternalMask {
  std::vector<TMaskElement> Elements;
  // The mask's last character is ".": a name whose last part (after the
  // last "/") has no "." is matched with a "." appended, so "*." selects
  // names without an extension.
  bool EndsWithDot = false;

  int Count() const { return static_cast<int>(Elements.size()); }
};

// Runs of "*" collapse into one; a "?" right after a "*" is absorbed by it.
// The result always ends in the terminating element.
TInternalMask CompileMask(std::string_view Mask);

// Matching takes time proportional to the name's length times the mask's
// element count at worst; it never backtracks exponentially.
bool MatchMask(std::string_view Name, const TInternalMask& Mask);
bool MatchMask(std::string_view Name, std::string_view Mask);

// A mask held with its compiled form.
class TMultiMask {
 public:
  explicit TMultiMask(std::string_view Mask) : FText(Mask), FMask(CompileMask(Mask)) {}

  const std::string& Text() const { return FText; }
  const TInternalMask& Mask() const { return FMask; }
  bool Matches(std::string_view Name) const { return MatchMask(Name, FMask); }

 private:
  std::string FText;
  TInternalMask FMask;
};

// True when Name matches any of Masks.
bool MatchesAny(std::string_view Name, const std::vector<TMultiMask>& Masks);

// A mask taken from a file list: an empty entry and "*.*" stand for every
// name and become "*".
std::string NormalizeListMask(std::string_view Mask);

// A mask text of several masks separated by commas. Leading and trailing
// spaces of each are dropped (inner ones stay); empty masks are left out;
// each is normalized as a list mask.
std::vector<std::string> SplitMaskList(std::string_view Masks);

}  // namespace vsk
