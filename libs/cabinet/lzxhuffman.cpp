#include "libs/cabinet/lzxhuffman.h"

#include <algorithm>
#include <array>

namespace vsk::cab {

namespace {

// Depths of an optimal prefix code (Moffat and Katajainen, in place): W
// holds N >= 2 weights in ascending order and gets the depth of each.
void MinimumRedundancy(std::uint32_t* W, int N) {
  W[0] += W[1];
  int root = 0, leaf = 2;
  for (int next = 1; next < N - 1; ++next) {
    if (leaf >= N || W[root] < W[leaf]) {
      W[next] = W[root];
      W[root++] = static_cast<std::uint32_t>(next);
    } else {
      W[next] = W[leaf++];
    }
    if (leaf >= N || (root < next && W[root] < W[leaf])) {
      W[next] += W[root];
      W[root++] = static_cast<std::uint32_t>(next);
    } else {
      W[next] += W[leaf++];
    }
  }
  W[N - 2] = 0;
  for (int next = N - 3; next >= 0; --next) W[next] = W[W[next]] + 1;
  int avail = 1, used = 0, depth = 0, next = N - 1;
  root = N - 2;
  while (avail > 0) {
    while (root >= 0 && W[root] == static_cast<std::uint32_t>(depth)) {
      ++used;
      --root;
    }
    while (avail > used) {
      W[next--] = static_cast<std::uint32_t>(depth);
      --avail;
    }
    avail = 2 * used;
    ++depth;
    used = 0;
  }
}

}  // namespace

void BuildLengths(const std::uint32_t* Freq, int Count, int MaxBits, std::uint8_t* Lens) {
  std::fill_n(Lens, Count, std::uint8_t{0});
  std::array<std::uint16_t, kMaxHuffmanSymbols> order;
  int n = 0;
  for (int i = 0; i < Count; ++i)
    if (Freq[i]) order[n++] = static_cast<std::uint16_t>(i);
  if (n < 2) {
    const int a = n ? order[0] : 0;
    Lens[a] = 1;
    Lens[a == 0 ? 1 : 0] = 1;
    return;
  }
  std::sort(order.begin(), order.begin() + n,
            [Freq](std::uint16_t a, std::uint16_t b) { return Freq[a] != Freq[b] ? Freq[a] < Freq[b] : a < b; });
  std::array<std::uint32_t, kMaxHuffmanSymbols> depth;
  for (int i = 0; i < n; ++i) depth[i] = Freq[order[i]];
  MinimumRedundancy(depth.data(), n);

  // Depths past MaxBits become MaxBits; while that overfills the code the
  // deepest shorter code is lengthened, and any room left over is given
  // back by shortening the deepest codes that fit it. Kraft sums are in
  // units of 2^-MaxBits.
  std::array<std::uint32_t, kMaxHuffmanBits + 1> count{};
  for (int i = 0; i < n; ++i) ++count[std::min<std::uint32_t>(depth[i], static_cast<std::uint32_t>(MaxBits))];
  const std::uint32_t full = 1u << MaxBits;
  std::uint32_t kraft = 0;
  for (int l = 1; l <= MaxBits; ++l) kraft += count[l] << (MaxBits - l);
  while (kraft > full) {
    int l = MaxBits - 1;
    while (count[l] == 0) --l;
    --count[l];
    ++count[l + 1];
    kraft -= 1u << (MaxBits - l - 1);
  }
  while (kraft < full) {
    int l = MaxBits;
    while (l > 1 && (count[l] == 0 || (1u << (MaxBits - l)) > full - kraft)) --l;
    if (l == 1) break;
    --count[l];
    ++count[l - 1];
    kraft += 1u << (MaxBits - l);
  }
  // The rarest symbols, first in the order, take the longest codes.
  int s = 0;
  for (int l = MaxBits; l >= 1; --l)
    for (std::uint32_t k = count[l]; k > 0; --k) Lens[order[s++]] = static_cast<std::uint8_t>(l);
}

void BuildCodes(const std::uint8_t* Lens, int Count, std::uint16_t* Codes) {
  std::array<std::uint32_t, kMaxHuffmanBits + 2> count{}, next{};
  for (int i = 0; i < Count; ++i) ++count[Lens[i]];
  count[0] = 0;
  std::uint32_t code = 0;
  for (int bits = 1; bits <= kMaxHuffmanBits; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (int i = 0; i < Count; ++i)
    if (Lens[i]) Codes[i] = static_cast<std::uint16_t>(next[Lens[i]]++);
}

}  // namespace vsk::cab
