#include "archive/formats/arj/arjgarble.h"

namespace vsk {

void TArjGarble::SetKey(std::string_view Password, Byte Modifier) {
  FKey.assign(Password);
  for (auto& c : FKey) c = static_cast<char>(static_cast<Byte>(c) + Modifier);
  FIndex = 0;
}

void TArjGarble::Clear() {
  FKey.clear();
  FIndex = 0;
}

void TArjGarble::Apply(Byte* Buffer, std::size_t Count) {
  if (FKey.empty()) return;
  if (FIndex >= FKey.size()) FIndex = 0;
  for (std::size_t i = 0; i < Count; ++i) {
    Buffer[i] ^= static_cast<Byte>(FKey[FIndex]);
    if (++FIndex == FKey.size()) FIndex = 0;
  }
}

}  // namespace vsk
