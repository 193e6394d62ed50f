#pragma once
// The cipher of garbled ARJ entries: each data byte is XOR the next byte of
// the entry's key, the key starting again after its last byte. The key is
// the password with the entry header's modifier added to each byte. The
// same step garbles and ungarbles.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/types.h"

namespace vsk {

class TArjGarble {
 public:
  // The key of an entry, used from its first byte.
  void SetKey(std::string_view Password, Byte Modifier);
  // No key: Apply leaves the data as they are.
  void Clear();
  // Back to the key's first byte, where an entry's data start.
  void Restart() { FIndex = 0; }
  // XORs Count bytes in place, going on in the key where the last call stopped.
  void Apply(Byte* Buffer, std::size_t Count);

 private:
  std::string FKey;
  std::size_t FIndex = 0;
};

}  // namespace vsk
