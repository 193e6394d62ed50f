#include "archive/formats/lister/walker.h"

#include "archive/core/arctable.h"

namespace vsk {

std::unique_ptr<TListWalker> MakeListWalker(TArcType Type) {
  const auto make = ArcTypeRow(Type).MakeWalker;
  return make ? make() : nullptr;
}

}  // namespace vsk
