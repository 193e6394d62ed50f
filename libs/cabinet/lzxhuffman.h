#pragma once
// Prefix codes of limited length for the LZX encoder's trees.

#include <cstdint>

namespace vsk::cab {

inline constexpr int kMaxHuffmanSymbols = 656;  // the main tree at the largest window
inline constexpr int kMaxHuffmanBits = 16;

// Lengths of a complete prefix code of at most MaxBits (up to 16) bits for
// Count (2 up to 656) symbols weighted by Freq. The decoder accepts
// complete codes only, so when fewer than two symbols occur two get one
// bit each.
void BuildLengths(const std::uint32_t* Freq, int Count, int MaxBits, std::uint8_t* Lens);

// Canonical codes for those lengths: shorter codes first, equal lengths in
// symbol order.
void BuildCodes(const std::uint8_t* Lens, int Count, std::uint16_t* Codes);

}  // namespace vsk::cab
