#include "archive/tools/readers.h"

#include "archive/core/arctable.h"

namespace vsk {

std::unique_ptr<TUnBase> MakeReader(TArcType T) {
  const auto make = ArcTypeRow(T).MakeReader;
  return make ? make() : nullptr;
}

}  // namespace vsk
