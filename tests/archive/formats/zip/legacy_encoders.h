#pragma once
// Test-only encoders for the pre-deflate ZIP methods. They aim at valid
// streams, not at good compression.

#include <cstdint>
#include <string>

namespace vsktest {

// Bits packed least significant first, as all three methods read them.
class BitWriter {
 public:
  void Put(std::uint32_t value, int bits);
  std::string Finish();

 private:
  std::string out_;
  std::uint32_t acc_ = 0;
  int have_ = 0;
};

struct ShrinkOptions {
  // Codes sent with a full table before the partial clear that makes room.
  int fullTableCodes = 0;
  int* partialClears = nullptr;  // counts the partial clears sent
};
// Method 1. The encoder keeps an exact copy of the decoder's string table.
std::string Shrink(const std::string& data, const ShrinkOptions& options = {});

struct ReduceOptions {
  bool followerSets = true;  // false: every set empty, all bytes as 8-bit literals
  bool matches = true;       // false: only literals (and escaped 144s)
};
// Methods 2 to 5 (factor 1 to 4).
std::string Reduce(const std::string& data, int factor, const ReduceOptions& options = {});

// Method 6; flags bit 1 selects the 8 KiB window, bit 2 the literal tree.
std::string Implode(const std::string& data, std::uint16_t flags);

}  // namespace vsktest
