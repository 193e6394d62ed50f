// The names of ARC's and PAK's compression methods.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view ArcMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 11> k = {"Stored",   "Stored",   "Packed", "Squeezed",
                                                         "Crunched", "Crunched", "Squashed", "Pack10",
                                                         "Pack11",   "Pack12",   "Stored"};
  if (auto n = PickMethodName(k, 1, Q.Method); !n.empty()) return n;
  // Method 30 is how ARC marks a directory entry.
  return Q.IsDirectory || Q.Method == 30 ? kDirMethodName : std::string_view{};
}

std::string_view PakMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 11> k = {"Stored",   "Stored",   "RLE",      "Squeezed",
                                                         "FixedLen", "FixedLen", "FixedLen", "Varible",
                                                         "Varible",  "Crushed",  "Distill"};
  return PickMethodName(k, 1, Q.Method);
}

}  // namespace vsk
