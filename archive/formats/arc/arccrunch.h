#pragma once
// The LZW decoder of crunched ARC entries (methods 5 to 7): fixed 12-bit
// codes, two codes in three bytes, high bits first. The string table of
// 4096 entries is addressed by a hash of (predecessor, follower), single
// bytes included; a collision continues at the end of the entry's chain and
// searches forward from 101 places further for a free entry. Methods 5 and 6
// use the old hash (a middle slice of a square), method 7 the new one (a
// product's low 12 bits). No further entries are made once the table is full.
//
// A hostile stream can link entries into a loop; every string is unwound on
// a stack of 4096 bytes, and a string that would fill it is refused.

#include "archive/formats/arc/arcio.h"

namespace vsk {

class TArcCrunchDecoder {
 public:
  static constexpr UInt32 kTableSize = 4096;
  static constexpr UInt16 kNoPredecessor = 0xFFFF;

  // NewHash: method 7's hash; else the old one of methods 5 and 6.
  TArcResult Decode(TArcInput& In, TArcOutput& Out, bool NewHash);

 private:
  struct TEntry {
    bool Used;
    UInt16 Next;
    UInt16 Predecessor;
    Byte Follower;
  };

  UInt32 Hash(UInt16 Predecessor, Byte Follower) const;
  // Enters (Predecessor, Follower) at its hash place or the chain's free
  // place; only called while free entries remain.
  void Enter(UInt16 Predecessor, Byte Follower);
  // The next 12-bit code; false at the end of the input.
  bool ReadCode(TArcInput& In, UInt32& Code);

  TEntry FTable[kTableSize];
  Byte FStack[kTableSize];
  UInt32 FFree = 0;
  bool FNewHash = false;
  bool FHalf = false;  // a low nibble of the last byte waits for the second code
  Byte FSaved = 0;
};

}  // namespace vsk
