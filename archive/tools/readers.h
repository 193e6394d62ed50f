#pragma once
// The reader component for an archive type (the Reader column of the table
// of archive types), for the components that run readers of their own (the
// tester, the converter) and for the program's one component per class.

#include <memory>

#include "archive/core/unbase.h"

namespace vsk {

// A new reader for type T; null when the library has none for it.
std::unique_ptr<TUnBase> MakeReader(TArcType T);

}  // namespace vsk
