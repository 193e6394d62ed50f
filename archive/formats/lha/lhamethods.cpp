// The names of LHA's compression methods, by the method's character.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view LhaMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 8> k = {"Stored",   "Frozen-1", "Frozen-2", "Frozen-3",
                                                        "Frozen-4", "Frozen-5", "Frozen-6", "Frozen-7"};
  if (Q.Method == 'd') return kDirMethodName;
  return PickMethodName(k, '0', Q.Method);
}

}  // namespace vsk
