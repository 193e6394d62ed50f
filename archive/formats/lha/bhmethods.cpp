// The names of BH's compression methods.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view BhMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 4> k = {"Stored", "Fused1", "Deflate", "Fused3"};
  if (Q.Method == 8) return DeflateLevelName(Q.Flags);
  return PickMethodName(k, 0, Q.Method);
}

}  // namespace vsk
