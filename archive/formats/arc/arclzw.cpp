#include "archive/formats/arc/arclzw.h"

namespace vsk {

bool TArcLzwDecoder::ReadCode(TArcInput& In, UInt32& Code) {
  const auto width = static_cast<UInt32>(FWidth);
  if (FNewGroup || FBitPos + width > FGroupBits || FFree > FMaxCode) {
    // A group is as many bytes as the code width; a new width or a clear
    // drops what is left of the current group.
    if (FFree > FMaxCode) {
      ++FWidth;
      FMaxCode = FWidth == FMaxBits ? FTableSize : (1u << FWidth) - 1;
    }
    if (FNewGroup) {
      FWidth = 9;
      FMaxCode = 511;
      FNewGroup = false;
    }
    UInt32 got = 0;
    while (got < static_cast<UInt32>(FWidth)) {
      const int b = In.Get();
      if (b < 0) break;
      FGroup[got++] = static_cast<Byte>(b);
    }
    FGroupBits = got * 8;
    FBitPos = 0;
    if (FBitPos + static_cast<UInt32>(FWidth) > FGroupBits) return false;
  }
  // A code spans at most three bytes of the group.
  const UInt32 at = FBitPos >> 3;
  UInt32 bits = FGroup[at];
  if (at + 1 < static_cast<UInt32>(FWidth)) bits |= static_cast<UInt32>(FGroup[at + 1]) << 8;
  if (at + 2 < static_cast<UInt32>(FWidth)) bits |= static_cast<UInt32>(FGroup[at + 2]) << 16;
  Code = (bits >> (FBitPos & 7)) & ((1u << FWidth) - 1);
  FBitPos += static_cast<UInt32>(FWidth);
  return true;
}

TArcResult TArcLzwDecoder::Decode(TArcInput& In, TArcOutput& Out, int MaxBits, bool ReadBitsByte) {
  if (ReadBitsByte) {
    const int bits = In.Get();
    if (bits < 0) return TArcResult::Ok;
    if (bits != kMethod8Bits) return TArcResult::BadBits;
  }
  FMaxBits = MaxBits < 9 ? 9 : MaxBits > kMaxBits ? kMaxBits : MaxBits;
  FTableSize = 1u << FMaxBits;
  FWidth = 9;
  FMaxCode = 511;
  FFree = 257;
  FNewGroup = false;
  FGroupBits = FBitPos = 0;

  // Right after the start or a clear there is no previous string: the next
  // code must be a byte.
  bool havePrevious = false;
  UInt32 previous = 0;
  Byte first = 0;
  UInt32 code = 0;
  unsigned polls = 0;
  while (ReadCode(In, code)) {
    if (code == kClear) {
      // The entry the byte after a clear would make at 256 is never used:
      // 256 is the clear code itself.
      FFree = 257;
      FNewGroup = true;
      havePrevious = false;
      continue;
    }
    if (!havePrevious) {
      if (code > 255) return TArcResult::Corrupt;
      first = static_cast<Byte>(code);
      Out.Put(first);
      previous = code;
      havePrevious = true;
      continue;
    }
    if (code > FFree || (code == FFree && FFree >= FTableSize)) return TArcResult::Corrupt;
    UInt32 sp = 0;
    UInt32 walk = code;
    if (code == FFree) {
      FStack[sp++] = first;
      walk = previous;
    }
    // Entries always point to lower codes.
    while (walk > 255) {
      FStack[sp++] = FSuffix[walk];
      walk = FPrefix[walk];
    }
    first = static_cast<Byte>(walk);
    FStack[sp++] = first;
    while (sp > 0) Out.Put(FStack[--sp]);
    if (FFree < FTableSize) {
      FPrefix[FFree] = static_cast<UInt16>(previous);
      FSuffix[FFree] = first;
      ++FFree;
    }
    previous = code;
    if ((++polls & 0x3FF) == 0 && Out.Stop()) return Out.Cancelled() ? TArcResult::Cancelled : TArcResult::Corrupt;
  }
  return TArcResult::Ok;
}

}  // namespace vsk
