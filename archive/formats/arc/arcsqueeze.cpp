#include "archive/formats/arc/arcsqueeze.h"

namespace vsk {

namespace {

// A little-endian 16-bit value, or false at the end of the input.
bool ReadWord(TArcInput& In, int& Value) {
  const int lo = In.Get();
  const int hi = In.Get();
  if (lo < 0 || hi < 0) return false;
  Value = lo | hi << 8;
  return true;
}

}  // namespace

TArcResult TArcSqueezeDecoder::Decode(TArcInput& In, TArcOutput& Out) {
  int count = 0;
  if (!ReadWord(In, count)) return TArcResult::Ok;
  const auto nodes = static_cast<Int16>(count);
  if (nodes < 0 || nodes > kMaxNodes) return TArcResult::BadTree;
  // Without stored nodes the tree is the end symbol alone.
  FChild[0][0] = FChild[0][1] = static_cast<Int16>(-(kEndSymbol + 1));
  for (int i = 0; i < nodes; ++i) {
    for (int side = 0; side < 2; ++side) {
      int raw = 0;
      if (!ReadWord(In, raw)) return TArcResult::Ok;
      const auto child = static_cast<Int16>(raw);
      if (child >= nodes || child < -(kEndSymbol + 1)) return TArcResult::BadTree;
      FChild[i][side] = child;
    }
  }

  int node = 0;
  unsigned polls = 0;
  for (;;) {
    const int byte = In.Get();
    if (byte < 0) return TArcResult::Ok;
    for (int bit = 0; bit < 8; ++bit) {
      const Int16 child = FChild[node][(byte >> bit) & 1];
      if (child >= 0) {
        node = child;
        continue;
      }
      const int symbol = -(child + 1);
      if (symbol == kEndSymbol) return TArcResult::Ok;
      Out.Put(static_cast<Byte>(symbol));
      node = 0;
    }
    if ((++polls & 0xFFF) == 0 && Out.Stop()) return Out.Cancelled() ? TArcResult::Cancelled : TArcResult::Corrupt;
  }
}

}  // namespace vsk
