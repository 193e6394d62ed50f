// The names of ACE's compression methods.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view AceMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 6> k = {"Fastest", "Fast", "Normal", "Good", "Best", "Lzw"};
  return PickMethodName(k, 0, Q.Method);
}

}  // namespace vsk
