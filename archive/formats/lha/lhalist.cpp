#include "archive/formats/lister/walker.h"

namespace vsk {

// PENDING: replaced by the format's walker.
std::unique_ptr<TListWalker> MakeLhaListWalker() { return nullptr; }

}  // namespace vsk
