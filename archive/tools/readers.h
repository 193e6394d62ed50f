#pragma once
// The reader component for an archive type, for the components that run
// readers of their own (the tester, the converter).

#include <memory>

#include "archive/core/unbase.h"

namespace vsk {

// A new reader for type T; null when the library has none for it.
std::unique_ptr<TUnBase> MakeReader(TArcType T);

}  // namespace vsk
