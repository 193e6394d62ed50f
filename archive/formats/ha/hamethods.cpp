// The names of HA's compression methods.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view HaMethodName(const TMethodQuery& Q) {
  switch (Q.Method) {
    case 0: return "Cpy";
    case 1: return "Asc";
    case 2: return "HSC";
    case 14: return kDirMethodName;
    case 15: return "Special";
    default: return {};
  }
}

}  // namespace vsk
