// Imploding (method 6): a 4 or 8 KiB sliding window whose lengths,
// distances and (optionally) literals are coded with Shannon-Fano trees
// sent as run-length coded bit-length lists.

#include <memory>
#include <new>

#include "base/messages.h"
#include "archive/formats/zip/legacybits.h"

namespace vsk {
namespace {

constexpr UInt16 kFlagBigWindow = 0x0002;
constexpr UInt16 kFlagLiteralTree = 0x0004;
constexpr int kMaxCodeBits = 16;

// A binary decode tree of up to Symbols leaves. A child is empty, the index
// of an inner node, or a leaf. A complete code needs Symbols - 1 inner
// nodes; an incomplete one that would need more than the array holds is
// refused.
template <int Symbols>
class TShannonFanoTree {
 public:
  static constexpr Int16 kEmpty = -1;

  // Reads the bit-length list and builds the tree; 0, -1 at the end of the
  // data, or the code of a broken tree.
  int Read(legacy::TBitReader& In) {
    const int bytes = In.Bits(8);
    if (bytes < 0) return -1;
    int lengths[Symbols];
    int n = 0;
    for (int i = 0; i <= bytes; ++i) {
      const int b = In.Bits(8);
      if (b < 0) return -1;
      const int count = (b >> 4) + 1;
      if (n + count > Symbols) return legacy::kAmbiguousTree;
      for (int k = 0; k < count; ++k) lengths[n++] = (b & 15) + 1;
    }
    if (n != Symbols) return legacy::kAmbiguousTree;
    return Build(lengths);
  }

  // The next symbol; -1 at the end of the data, or the code of a broken tree
  // as a value below -1.
  int Decode(legacy::TBitReader& In) const {
    int node = 0;
    for (;;) {
      const int bit = In.Bits(1);
      if (bit < 0) return -1;
      const Int16 child = nodes_[node][bit];
      if (child == kEmpty) return -legacy::kAmbiguousTree;
      if (child < 0) return LeafSymbol(child);
      node = child;
    }
  }

 private:
  static constexpr int kNodes = 2 * Symbols;
  static Int16 Leaf(int Symbol) { return static_cast<Int16>(-2 - Symbol); }
  static int LeafSymbol(Int16 Child) { return -2 - Child; }

  // Codes are assigned from the longest length down, ordered by (length,
  // symbol), each taking the next 16-bit slot of its width; a code's bits
  // come from the stream most significant first.
  int Build(const int* Lengths) {
    int order[Symbols];
    int k = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len)
      for (int s = 0; s < Symbols; ++s)
        if (Lengths[s] == len) order[k++] = s;

    for (auto& node : nodes_) node[0] = node[1] = kEmpty;
    used_ = 1;
    UInt32 code = 0, step = 0;
    int lastLength = 0;
    for (int i = Symbols - 1; i >= 0; --i) {
      const int s = order[i];
      code += step;
      if (Lengths[s] != lastLength) {
        lastLength = Lengths[s];
        step = 1u << (kMaxCodeBits - lastLength);
      }
      if (code > 0xFFFF) return legacy::kAmbiguousTree;
      if (!Insert(code, Lengths[s], s)) return legacy::kAmbiguousTree;
    }
    return 0;
  }

  bool Insert(UInt32 Code, int Length, int Symbol) {
    int node = 0;
    for (int b = kMaxCodeBits - 1; b > kMaxCodeBits - Length; --b) {
      Int16& child = nodes_[node][(Code >> b) & 1];
      if (child == kEmpty) {
        if (used_ == kNodes) return false;
        child = static_cast<Int16>(used_++);
      } else if (child < 0) {
        return false;  // the path runs through a leaf
      }
      node = child;
    }
    Int16& leaf = nodes_[node][(Code >> (kMaxCodeBits - Length)) & 1];
    if (leaf != kEmpty) return false;
    leaf = Leaf(Symbol);
    return true;
  }

  Int16 nodes_[kNodes][2];
  int used_ = 1;
};

class TExploder {
 public:
  TExploder(TLegacySource& In, TLegacySink& Out, UInt16 Flags, Int64 UnpackedSize, const bool* Cancel)
      : in_(In, Cancel), out_(Out, UnpackedSize, Cancel), flags_(Flags) {}

  int Run() {
    const int err = Decode();
    out_.Finish();
    return err;
  }

 private:
  int Decode() {
    if (out_.Done()) return 0;
    const bool literalTree = (flags_ & kFlagLiteralTree) != 0;
    const int lowBits = (flags_ & kFlagBigWindow) ? 7 : 6;
    const int minMatch = literalTree ? 3 : 2;
    int r = 0;
    if (literalTree && (r = literals_.Read(in_)) != 0) return r < 0 ? 0 : r;
    if ((r = lengths_.Read(in_)) != 0) return r < 0 ? 0 : r;
    if ((r = distances_.Read(in_)) != 0) return r < 0 ? 0 : r;

    while (!out_.Done()) {
      const int isLiteral = in_.Bits(1);
      if (isLiteral < 0) return 0;
      if (isLiteral) {
        const int c = literalTree ? literals_.Decode(in_) : in_.Bits(8);
        if (c < 0) return Failure(c);
        out_.Put(static_cast<Byte>(c));
        continue;
      }
      const int low = in_.Bits(lowBits);
      if (low < 0) return 0;
      const int high = distances_.Decode(in_);
      if (high < 0) return Failure(high);
      const int symbol = lengths_.Decode(in_);
      if (symbol < 0) return Failure(symbol);
      int length = symbol + minMatch;
      if (symbol == 63) {
        const int extra = in_.Bits(8);
        if (extra < 0) return 0;
        length += extra;
      }
      out_.Copy(static_cast<UInt32>(((high << lowBits) | low) + 1), static_cast<UInt32>(length));
    }
    return 0;
  }

  static int Failure(int Decoded) { return Decoded == -1 ? 0 : -Decoded; }

  legacy::TBitReader in_;
  legacy::TWindowWriter out_;
  UInt16 flags_;
  TShannonFanoTree<256> literals_;
  TShannonFanoTree<64> lengths_;
  TShannonFanoTree<64> distances_;
};

}  // namespace

int Explode(TLegacySource& In, TLegacySink& Out, UInt16 Flags, Int64 UnpackedSize, const bool* Cancel) {
  std::unique_ptr<TExploder> d;
  try {
    d = std::make_unique<TExploder>(In, Out, Flags, UnpackedSize, Cancel);
  } catch (const std::bad_alloc&) {
    return 0;  // without tables the entry stays undecoded and fails its check
  }
  return d->Run();
}

}  // namespace vsk
