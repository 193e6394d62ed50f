#pragma once
// The dynamic LZW decoder of ARC methods 8 (crunched, at most 12 bits, a
// leading byte that must say 12) and 9 (squashed, at most 13 bits). Codes
// start at 9 bits, least significant bit first, and are read in groups of
// as many bytes as the code width; the width grows when the next free code
// passes the width's largest code. Code 256 clears the table and starts a
// new group at 9 bits; new entries start again at 257.
//
// Hostile streams are refused rather than followed: a code beyond the next
// free one, or a string code right after the start or a clear. Every entry
// then points to an older one, so unwinding a string ends within the table.

#include "archive/formats/arc/arcio.h"

namespace vsk {

class TArcLzwDecoder {
 public:
  static constexpr int kMaxBits = 13;
  static constexpr UInt32 kMaxTable = 1u << kMaxBits;
  static constexpr UInt32 kClear = 256;
  static constexpr int kMethod8Bits = 12;

  // MaxBits is 12 or 13; ReadBitsByte reads and checks method 8's leading byte.
  TArcResult Decode(TArcInput& In, TArcOutput& Out, int MaxBits, bool ReadBitsByte);

 private:
  // The next code; false at the end of the input.
  bool ReadCode(TArcInput& In, UInt32& Code);

  int FWidth = 9;
  int FMaxBits = 12;
  UInt32 FMaxCode = 511;
  UInt32 FFree = 257;
  UInt32 FTableSize = 4096;
  bool FNewGroup = false;
  Byte FGroup[kMaxBits] = {};
  UInt32 FGroupBits = 0;  // bits read into the group
  UInt32 FBitPos = 0;
  UInt16 FPrefix[kMaxTable] = {};
  Byte FSuffix[kMaxTable] = {};
  Byte FStack[kMaxTable] = {};
};

}  // namespace vsk
