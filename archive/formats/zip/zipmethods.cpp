// The names of the zip family's compression methods.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view ZipMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 8> k = {"Stored",   "Shrunk",   "Reduce-1", "Reduce-2",
                                                        "Reduce-3", "Reduce-4", "Imploded", "Tokened"};
  std::string_view n;
  if (Q.Method == 8)
    n = DeflateLevelName(Q.Flags);
  else if (Q.Method == 9)
    n = Deflate64LevelName(Q.Flags);
  else if (Q.Method == 10)
    n = "DCL-implode";
  else
    n = PickMethodName(k, 0, Q.Method);
  if (!n.empty()) return n;
  return (Q.ExternalAttr & 0x10) != 0 ? kDirMethodName : std::string_view{};
}

}  // namespace vsk
