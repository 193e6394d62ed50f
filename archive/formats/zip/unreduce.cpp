// Reducing (methods 2 to 5): bytes coded against follower sets of the
// previous byte, then expanded by a DLE-escaped length/distance scheme whose
// split between length and distance depends on the compression factor.

#include <memory>
#include <new>

#include "base/messages.h"
#include "archive/formats/zip/legacybits.h"

namespace vsk {
namespace {

constexpr int kDle = 144;
constexpr int kMaxFollowers = 32;

// Bits of a follower index for a set of N bytes (at least one bit).
int IndexBits(int N) {
  int b = 1;
  while ((1 << b) < N) ++b;
  return b;
}

class TUnreducer {
 public:
  TUnreducer(TLegacySource& In, TLegacySink& Out, int Factor, Int64 UnpackedSize, const bool* Cancel)
      : in_(In, Cancel), out_(Out, UnpackedSize, Cancel), factor_(Factor) {}

  int Run() {
    const int err = Decode();
    out_.Finish();
    return err;
  }

 private:
  int Decode() {
    if (factor_ < 1 || factor_ > 4) return msg::UnsupportedMethod;
    if (out_.Done()) return 0;
    for (int j = 255; j >= 0; --j) {
      const int n = in_.Bits(6);
      if (n < 0) return 0;
      if (n > kMaxFollowers) return msg::BadBlock;
      count_[j] = static_cast<Byte>(n);
      for (int i = 0; i < n; ++i) {
        const int b = in_.Bits(8);
        if (b < 0) return 0;
        followers_[j][i] = static_cast<Byte>(b);
      }
    }

    const int lengthMask = 0xFF >> factor_;
    int last = 0, state = 0, length = 0, high = 0;
    while (!out_.Done()) {
      int c;
      const int n = count_[last];
      if (n == 0) {
        c = in_.Bits(8);
      } else {
        const int literal = in_.Bits(1);
        if (literal < 0) return 0;
        if (literal) {
          c = in_.Bits(8);
        } else {
          const int i = in_.Bits(IndexBits(n));
          if (i < 0) return 0;
          if (i >= n) return msg::BadBlock;
          c = followers_[last][i];
        }
      }
      if (c < 0) return 0;
      last = c;

      switch (state) {
        case 0:
          if (c == kDle)
            state = 1;
          else
            out_.Put(static_cast<Byte>(c));
          break;
        case 1:
          if (c == 0) {
            out_.Put(kDle);
            state = 0;
          } else {
            high = c >> (8 - factor_);
            length = c & lengthMask;
            state = length == lengthMask ? 2 : 3;
          }
          break;
        case 2:
          length += c;
          state = 3;
          break;
        default:
          out_.Copy(static_cast<UInt32>((high << 8) + c + 1), static_cast<UInt32>(length + 3));
          state = 0;
          break;
      }
    }
    return 0;
  }

  legacy::TBitReader in_;
  legacy::TWindowWriter out_;
  int factor_;
  Byte count_[256] = {};
  Byte followers_[256][kMaxFollowers] = {};
};

}  // namespace

int Unreduce(TLegacySource& In, TLegacySink& Out, int Factor, Int64 UnpackedSize, const bool* Cancel) {
  std::unique_ptr<TUnreducer> d;
  try {
    d = std::make_unique<TUnreducer>(In, Out, Factor, UnpackedSize, Cancel);
  } catch (const std::bad_alloc&) {
    return 0;  // without tables the entry stays undecoded and fails its check
  }
  return d->Run();
}

}  // namespace vsk
