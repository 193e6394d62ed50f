// The names of ARJ's compression methods.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view ArjMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 5> k = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
  if (auto n = PickMethodName(k, 0, Q.Method); !n.empty()) return n;
  return Q.IsDirectory ? kDirMethodName : std::string_view{};
}

}  // namespace vsk
