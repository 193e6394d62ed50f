#include "archive/formats/lister/walker.h"

#include <array>

namespace vsk {

namespace {

using TMakeWalker = std::unique_ptr<TListWalker> (*)();

constexpr std::array<TMakeWalker, kArcTypeCount> kWalkers = {{
#define VSK_ARC_TYPE(Type, Name, Walker, ...) Walker,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
}};

}  // namespace

std::unique_ptr<TListWalker> MakeListWalker(TArcType Type) {
  const TMakeWalker make = static_cast<int>(Type) < kArcTypeCount ? kWalkers[Type] : nullptr;
  return make ? make() : nullptr;
}

}  // namespace vsk
