#include "archive/formats/arc/arccrunch.h"

#include <cstring>

namespace vsk {

namespace {

constexpr UInt32 kMask = TArcCrunchDecoder::kTableSize - 1;
// Where the search for a free entry starts after a chain's end.
constexpr UInt32 kProbeStep = 101;

}  // namespace

// The sum is taken in 16 bits, as the original writers computed it: the
// single bytes' predecessor 0xFFFF wraps around.
UInt32 TArcCrunchDecoder::Hash(UInt16 Predecessor, Byte Follower) const {
  const UInt32 sum = static_cast<UInt16>(Predecessor + Follower);
  if (FNewHash) return (sum * 15073u) & kMask;
  const UInt32 x = sum | 0x800u;
  return (x * x >> 6) & kMask;
}

void TArcCrunchDecoder::Enter(UInt16 Predecessor, Byte Follower) {
  UInt32 at = Hash(Predecessor, Follower);
  if (FTable[at].Used) {
    // Links always go to entries that were free when linked: a chain ends.
    while (FTable[at].Next != 0) at = FTable[at].Next;
    UInt32 free = (at + kProbeStep) & kMask;
    while (FTable[free].Used) free = (free + 1) & kMask;
    FTable[at].Next = static_cast<UInt16>(free);
    at = free;
  }
  FTable[at] = TEntry{true, 0, Predecessor, Follower};
  --FFree;
}

bool TArcCrunchDecoder::ReadCode(TArcInput& In, UInt32& Code) {
  if (FHalf) {
    FHalf = false;
    const int b = In.Get();
    if (b < 0) return false;
    Code = static_cast<UInt32>(FSaved & 0x0F) << 8 | static_cast<UInt32>(b);
    return true;
  }
  const int b1 = In.Get();
  if (b1 < 0) return false;
  const int b2 = In.Get();
  if (b2 < 0) return false;
  FSaved = static_cast<Byte>(b2);
  FHalf = true;
  Code = static_cast<UInt32>(b1) << 4 | static_cast<UInt32>(b2) >> 4;
  return true;
}

TArcResult TArcCrunchDecoder::Decode(TArcInput& In, TArcOutput& Out, bool NewHash) {
  FNewHash = NewHash;
  FHalf = false;
  std::memset(FTable, 0, sizeof FTable);
  FFree = kTableSize;
  for (UInt32 c = 0; c < 256; ++c) Enter(kNoPredecessor, static_cast<Byte>(c));

  UInt32 previous = 0;
  if (!ReadCode(In, previous)) return TArcResult::Ok;
  if (!FTable[previous].Used) return TArcResult::Corrupt;
  Byte first = FTable[previous].Follower;
  Out.Put(first);

  UInt32 code = 0;
  unsigned polls = 0;
  while (ReadCode(In, code)) {
    UInt32 sp = 0;
    UInt32 walk = code;
    if (!FTable[code].Used) {
      // Not yet entered: the previous string and its own first byte.
      FStack[sp++] = first;
      walk = previous;
    }
    while (FTable[walk].Predecessor != kNoPredecessor) {
      if (sp + 1 >= kTableSize) return TArcResult::StackOverflow;
      FStack[sp++] = FTable[walk].Follower;
      walk = FTable[walk].Predecessor;
    }
    if (sp + 1 >= kTableSize) return TArcResult::StackOverflow;
    first = FTable[walk].Follower;
    FStack[sp++] = first;
    while (sp > 0) Out.Put(FStack[--sp]);
    if (FFree > 0) Enter(static_cast<UInt16>(previous), first);
    previous = code;
    if ((++polls & 0x3FF) == 0 && Out.Stop()) return Out.Cancelled() ? TArcResult::Cancelled : TArcResult::Corrupt;
  }
  return TArcResult::Ok;
}

}  // namespace vsk
