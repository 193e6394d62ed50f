// The names of ZOO's compression methods.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view ZooMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 3> k = {"Stored", "Fastest", "Greatest"};
  return PickMethodName(k, 0, Q.Method);
}

}  // namespace vsk
