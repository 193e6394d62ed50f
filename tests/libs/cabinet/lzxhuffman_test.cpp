// The LZX encoder's prefix codes: complete (as the decoder's tables need),
// within their length limit, optimal when the limit does not bite, and
// prefix-free once made canonical.

#include "libs/cabinet/lzxhuffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <queue>
#include <random>
#include <vector>

namespace {

using vsk::cab::BuildCodes;
using vsk::cab::BuildLengths;

// The cost of an optimal unlimited code: the sum of every merge.
std::uint64_t HuffmanCost(const std::vector<std::uint32_t>& freq) {
  std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> q;
  for (auto f : freq)
    if (f) q.push(f);
  std::uint64_t cost = 0;
  while (q.size() > 1) {
    const auto a = q.top();
    q.pop();
    const auto b = q.top();
    q.pop();
    cost += a + b;
    q.push(a + b);
  }
  return cost;
}

struct Code {
  std::uint64_t cost = 0;
  int longest = 0;
};

// Builds and checks one code.
Code Check(const std::vector<std::uint32_t>& freq, int maxBits) {
  const int n = static_cast<int>(freq.size());
  std::vector<std::uint8_t> lens(freq.size());
  std::vector<std::uint16_t> codes(freq.size());
  BuildLengths(freq.data(), n, maxBits, lens.data());
  BuildCodes(lens.data(), n, codes.data());
  std::uint64_t kraft = 0;
  Code code;
  int used = 0;
  for (int i = 0; i < n; ++i) {
    EXPECT_LE(lens[i], maxBits);
    if (freq[i]) {
      EXPECT_GT(lens[i], 0) << "symbol " << i << " occurs";
      ++used;
    }
    if (lens[i]) kraft += std::uint64_t{1} << (maxBits - lens[i]);
    code.cost += std::uint64_t{freq[i]} * lens[i];
    code.longest = std::max<int>(code.longest, lens[i]);
  }
  EXPECT_EQ(kraft, std::uint64_t{1} << maxBits) << "the code is complete";
  for (int i = 0; i < n && used >= 2; ++i) EXPECT_EQ(lens[i] != 0, freq[i] != 0) << "symbol " << i;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i != j && lens[i] && lens[j] && lens[i] <= lens[j]) {
        EXPECT_NE(codes[j] >> (lens[j] - lens[i]), codes[i]) << i << " is a prefix of " << j;
      }
    }
  }
  return code;
}

TEST(LzxHuffmanTest, CodesAreCompleteLimitedAndOptimal) {
  // Fibonacci weights make the deepest trees: past every limit.
  std::vector<std::uint32_t> fib = {1, 1};
  while (fib.size() < 30) fib.push_back(fib[fib.size() - 1] + fib[fib.size() - 2]);
  Check(fib, 16);
  Check(std::vector<std::uint32_t>(fib.begin(), fib.begin() + 20), 15);
  Check(std::vector<std::uint32_t>(fib.begin(), fib.begin() + 8), 7);
  std::vector<std::uint32_t> sparse(656, 0);
  for (std::size_t i = 0; i < 25; ++i) sparse[i * 26] = fib[i];
  Check(sparse, 16);

  EXPECT_EQ(Check(std::vector<std::uint32_t>(256, 5), 16).cost, 256u * 5 * 8);
  Check(std::vector<std::uint32_t>(8, 0), 7);
  std::vector<std::uint32_t> one(249, 0);
  one[248] = 7;
  Check(one, 16);
  one[0] = 1;
  EXPECT_EQ(Check(one, 16).cost, 8u);

  std::mt19937 rng(1);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint32_t> freq(round % 2 ? 656 : 20);
    for (auto& f : freq) f = rng() % 3 == 0 ? 0 : rng() % (1u << (rng() % 12));
    const int maxBits = round % 2 ? 16 : 15;
    // Below the limit nothing was cut, so the code must be optimal.
    const Code code = Check(freq, maxBits);
    if (code.longest < maxBits) {
      EXPECT_EQ(code.cost, HuffmanCost(freq)) << round;
    }
  }
}

}  // namespace
