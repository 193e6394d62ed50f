// The stubs whose reader loads no outside library.

#include "sfx/ownlib.h"

namespace sfx {

void RegisterOwnLibrary() {}

}  // namespace sfx
