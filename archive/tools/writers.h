#pragma once
// The writer component for an archive type (the Writer column of the table
// of archive types).

#include <memory>

#include "archive/core/compbase.h"

namespace vsk {

// A new writer that adds to and updates archives of type T; null when the
// library has none for it.
std::unique_ptr<TCompBase> MakeWriter(TArcType T);

}  // namespace vsk
