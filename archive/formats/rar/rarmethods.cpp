// The names of RAR's compression methods, by the method's character.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view RarMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 6> k = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
  if (Q.IsDirectory) return kDirMethodName;
  return PickMethodName(k, '0', Q.Method);
}

}  // namespace vsk
