#pragma once
// The Huffman decoder of squeezed ARC entries (method 4): a 16-bit count of
// tree nodes, that many pairs of signed 16-bit children, then the coded
// bits, least significant bit of each byte first. A negative child c is the
// symbol -(c + 1); symbol 256 ends the data, as does the end of the input.
// The decoded bytes go through the run-length expander of the output.
//
// A tree with more than 256 nodes, or a child that names a node outside the
// tree or a symbol beyond 256, cannot be walked safely and is refused as a
// whole before any bit is decoded.

#include "archive/formats/arc/arcio.h"

namespace vsk {

class TArcSqueezeDecoder {
 public:
  static constexpr int kMaxNodes = 256;
  static constexpr int kEndSymbol = 256;

  TArcResult Decode(TArcInput& In, TArcOutput& Out);

 private:
  // Children of each node; a leaf is stored as -(symbol + 1).
  Int16 FChild[kMaxNodes][2] = {};
};

}  // namespace vsk
