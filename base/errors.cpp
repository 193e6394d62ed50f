#include "base/errors.h"

#include <cstring>

#include "base/messages.h"

namespace vsk {

EVskError::EVskError(int code) : std::runtime_error(MessageText(code)), Code(code) {}

void RaiseLastOSError(int err) {
  throw EOSError(0, std::string("System Error.  Code: ") + std::to_string(err) + ".\n" +
                        std::strerror(err));
}

}  // namespace vsk
