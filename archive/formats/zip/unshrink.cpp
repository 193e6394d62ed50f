// Shrinking (method 1): LZW with codes of 9 to 13 bits whose size grows
// only on the encoder's signal, and a partial clear that frees the leaves
// of the string tree for reuse.

#include <memory>
#include <new>

#include "base/messages.h"
#include "archive/formats/zip/legacybits.h"

namespace vsk {
namespace {

constexpr int kCodes = 8192;
constexpr int kControl = 256;
constexpr int kFirstFree = 257;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 13;
constexpr Int16 kFree = -1;
constexpr Int16 kRoot = -2;
constexpr int kMaxString = kCodes - 1;

class TUnshrinker {
 public:
  TUnshrinker(TLegacySource& In, TLegacySink& Out, Int64 UnpackedSize, const bool* Cancel)
      : in_(In, Cancel), out_(Out, UnpackedSize, Cancel) {
    for (int c = 0; c < kCodes; ++c) {
      prefix_[c] = c < kFirstFree ? kRoot : kFree;
      suffix_[c] = static_cast<Byte>(c);
    }
  }

  int Run() {
    const int err = Decode();
    out_.Finish();
    return err;
  }

 private:
  int Decode() {
    if (out_.Done()) return 0;
    int prev = in_.Bits(bits_);
    if (prev < 0 || prev >= kControl) return msg::BadBlock;
    Byte first = static_cast<Byte>(prev);
    out_.Put(first);
    while (!out_.Done()) {
      int code = in_.Bits(bits_);
      if (code < 0) return 0;
      if (code == kControl) {
        const int op = in_.Bits(bits_);
        if (op < 0) return 0;
        if (op == 1 && bits_ < kMaxBits) {
          ++bits_;
        } else if (op == 2) {
          PartialClear();
        } else {
          return msg::BadBlock;
        }
        continue;
      }

      // Unwind the prefix chain onto the stack, last byte first.
      int top = kCodes;
      int c = code;
      if (prefix_[c] == kFree) {
        // The code the encoder has just defined: the previous string plus
        // its own first byte.
        stack_[--top] = first;
        c = prev;
      }
      for (;;) {
        if (kCodes - top >= kMaxString) return legacy::kStackOverflow;
        if (prefix_[c] == kFree) return msg::BadBlock;
        stack_[--top] = suffix_[c];
        if (prefix_[c] == kRoot) break;
        c = prefix_[c];
      }
      first = stack_[top];
      out_.Put(stack_ + top, static_cast<UInt32>(kCodes - top));

      // A full table takes no new strings until a partial clear.
      while (next_ < kCodes && prefix_[next_] != kFree) ++next_;
      if (next_ < kCodes) {
        prefix_[next_] = static_cast<Int16>(prev);
        suffix_[next_] = first;
        ++next_;
      }
      prev = code;
    }
    return 0;
  }

  // Frees every assignable code that no other code extends. All parents
  // are marked before anything is freed, so a node whose children go in
  // this clear stays.
  void PartialClear() {
    for (int c = kFirstFree; c < kCodes; ++c) hasChild_[c] = false;
    for (int c = kFirstFree; c < kCodes; ++c)
      if (prefix_[c] >= kFirstFree) hasChild_[prefix_[c]] = true;
    for (int c = kFirstFree; c < kCodes; ++c)
      if (prefix_[c] != kFree && !hasChild_[c]) prefix_[c] = kFree;
    next_ = kFirstFree;
  }

  legacy::TBitReader in_;
  legacy::TWindowWriter out_;
  int bits_ = kMinBits;
  int next_ = kFirstFree;
  Int16 prefix_[kCodes];
  Byte suffix_[kCodes];
  Byte stack_[kCodes];
  bool hasChild_[kCodes];
};

}  // namespace

int Unshrink(TLegacySource& In, TLegacySink& Out, Int64 UnpackedSize, const bool* Cancel) {
  std::unique_ptr<TUnshrinker> d;
  try {
    d = std::make_unique<TUnshrinker>(In, Out, UnpackedSize, Cancel);
  } catch (const std::bad_alloc&) {
    return 0;  // without tables the entry stays undecoded and fails its check
  }
  return d->Run();
}

}  // namespace vsk
