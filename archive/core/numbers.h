#pragma once
// Percentages, compression ratios and small comparisons. Rounding is to the
// nearest integer with halves to even.

#include <concepts>
#include <cstddef>

#include "base/types.h"

namespace vsk {

// Part of Total in percent, 0..100; 0 when Total is not positive.
int Percent(double Total, double Part);
int Percent(UInt32 Total, UInt32 Part);

// The space saved in percent, 0..100: (Unpacked - Packed) * 100 / Unpacked
// when Unpacked > 0 and Packed < Unpacked, else 0.
int CompressRatio(Int32 Packed, Int32 Unpacked);
int CompressRatio(Int64 Packed, Int64 Unpacked);
int CompressRatio(double Packed, double Unpacked);
// Other integer types (UInt32 header fields and the like) use the 64-bit form.
template <std::integral A, std::integral B>
int CompressRatio(A Packed, B Unpacked) {
  return CompressRatio(static_cast<Int64>(Packed), static_cast<Int64>(Unpacked));
}

constexpr UInt32 Min(UInt32 A, UInt32 B) { return A < B ? A : B; }

// True when the first Count bytes of A and B are equal (always for Count 0).
bool CompareBytes(const void* A, const void* B, std::size_t Count);

}  // namespace vsk
