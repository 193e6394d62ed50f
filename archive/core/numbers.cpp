#include "archive/core/numbers.h"

#include <cmath>
#include <cstring>

namespace vsk {
namespace {

// Num / Den rounded half to even, for Num >= 0 and Den > 0.
UInt64 DivRoundEven(unsigned __int128 Num, unsigned __int128 Den) {
  unsigned __int128 q = Num / Den;
  const unsigned __int128 r = Num % Den;
  if (2 * r > Den || (2 * r == Den && (q & 1) != 0)) ++q;
  return static_cast<UInt64>(q);
}

int Clamp100(double v) {
  if (!(v > 0)) return 0;  // also NaN
  const double r = std::nearbyint(v);
  return r >= 100 ? 100 : static_cast<int>(r);
}

}  // namespace

int Percent(double Total, double Part) {
  if (!(Total > 0)) return 0;
  return Clamp100(Part * 100.0 / Total);
}

int Percent(UInt32 Total, UInt32 Part) {
  if (Total == 0) return 0;
  if (Part >= Total) return 100;
  return static_cast<int>(DivRoundEven(static_cast<UInt64>(Part) * 100, Total));
}

int CompressRatio(Int32 Packed, Int32 Unpacked) { return CompressRatio(Int64{Packed}, Int64{Unpacked}); }

int CompressRatio(Int64 Packed, Int64 Unpacked) {
  if (Unpacked <= 0 || Packed >= Unpacked) return 0;
  // A negative packed size (a damaged header) would save more than all.
  if (Packed < 0) return 100;
  const auto saved = static_cast<unsigned __int128>(Unpacked - Packed) * 100;
  const UInt64 r = DivRoundEven(saved, static_cast<unsigned __int128>(Unpacked));
  return r > 100 ? 100 : static_cast<int>(r);
}

int CompressRatio(double Packed, double Unpacked) {
  if (!(Unpacked > 0) || !(Packed < Unpacked)) return 0;
  return Clamp100((Unpacked - Packed) * 100.0 / Unpacked);
}

bool CompareBytes(const void* A, const void* B, std::size_t Count) {
  return Count == 0 || std::memcmp(A, B, Count) == 0;
}

}  // namespace vsk
