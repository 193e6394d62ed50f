#include "tests/archive/formats/zip/legacy_encoders.h"

#include <algorithm>
#include <array>
#include <functional>
#include <queue>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace vsktest {

void BitWriter::Put(std::uint32_t value, int bits) {
  for (int i = 0; i < bits; ++i) {
    acc_ |= ((value >> i) & 1u) << have_;
    if (++have_ == 8) {
      out_.push_back(static_cast<char>(acc_));
      acc_ = 0;
      have_ = 0;
    }
  }
}

std::string BitWriter::Finish() {
  if (have_ > 0) out_.push_back(static_cast<char>(acc_));
  acc_ = 0;
  have_ = 0;
  return std::move(out_);
}

namespace {

struct Match {
  int length = 0;
  int distance = 0;
};

// Longest match at `pos` within `window` bytes back, by hash chains over
// three-byte prefixes.
class Matcher {
 public:
  Matcher(const std::string& data, int window, int maxLength)
      : d_(data), window_(window), maxLength_(maxLength), head_(1 << 15, -1), prev_(data.size(), -1) {}

  Match Find(int pos) const {
    Match best;
    if (pos + 3 > static_cast<int>(d_.size())) return best;
    const int limit = std::min<int>(maxLength_, static_cast<int>(d_.size()) - pos);
    int chain = 128;
    for (int p = head_[Hash(pos)]; p >= 0 && pos - p <= window_ && chain-- > 0; p = prev_[p]) {
      int n = 0;
      while (n < limit && d_[p + n] == d_[pos + n]) ++n;
      if (n > best.length) best = {n, pos - p};
      if (n == limit) break;
    }
    return best;
  }

  void Insert(int pos) {
    if (pos + 3 > static_cast<int>(d_.size())) return;
    const int h = Hash(pos);
    prev_[pos] = head_[h];
    head_[h] = pos;
  }

 private:
  int Hash(int pos) const {
    const auto b = [&](int i) { return static_cast<unsigned char>(d_[pos + i]); };
    return static_cast<int>(((b(0) << 10) ^ (b(1) << 5) ^ b(2)) & 0x7FFF);
  }

  const std::string& d_;
  int window_, maxLength_;
  std::vector<int> head_, prev_;
};

constexpr int kCodes = 8192;
constexpr int kFirstFree = 257;
constexpr int kFree = -1;
constexpr int kRoot = -2;

}  // namespace

std::string Shrink(const std::string& data, const ShrinkOptions& options) {
  BitWriter w;
  if (data.empty()) return {};
  std::vector<int> prefix(kCodes, kFree), suffix(kCodes, 0);
  std::vector<bool> usable(kCodes, false);
  for (int c = 0; c < kFirstFree; ++c) {
    prefix[c] = kRoot;
    suffix[c] = c;
    usable[c] = c < 256;
  }
  std::unordered_map<std::uint32_t, int> child;
  const auto key = [](int parent, int byte) { return (static_cast<std::uint32_t>(parent) << 8) | byte; };
  int bits = 9, next = kFirstFree;
  const auto emit = [&](int code) {
    while (code >= (1 << bits)) {
      w.Put(256, bits);
      w.Put(1, bits);
      ++bits;
    }
    w.Put(static_cast<std::uint32_t>(code), bits);
  };
  const auto findFree = [&] {
    while (next < kCodes && prefix[next] != kFree) ++next;
    return next < kCodes;
  };
  const auto partialClear = [&] {
    w.Put(256, bits);
    w.Put(2, bits);
    if (options.partialClears) ++*options.partialClears;
    std::vector<bool> hasChild(kCodes, false);
    for (int c = kFirstFree; c < kCodes; ++c)
      if (prefix[c] >= kFirstFree) hasChild[prefix[c]] = true;
    for (int c = kFirstFree; c < kCodes; ++c) {
      if (prefix[c] == kFree || hasChild[c]) continue;
      if (usable[c]) child.erase(key(prefix[c], suffix[c]));
      prefix[c] = kFree;
      usable[c] = false;
    }
    next = kFirstFree;
  };

  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
  int prev = at(0);
  emit(prev);
  std::size_t pos = 1;
  int fullCodes = 0;
  while (pos < data.size()) {
    // The decoder defines (previous code, first byte of this string) when
    // it reads the next code; mirror that before matching, so the new code
    // may be used at once (the decoder's KwKwK case).
    if (!findFree() && fullCodes++ >= options.fullTableCodes) {
      partialClear();
      fullCodes = 0;
      findFree();
    }
    if (next < kCodes) {
      // A previous code freed by the clear leaves an entry no string reaches.
      const bool reachable = prefix[prev] != kFree && usable[prev];
      const int c = next++;
      prefix[c] = prev;
      suffix[c] = at(pos);
      usable[c] = reachable;
      if (usable[c]) child[key(prev, at(pos))] = c;
    }
    int code = at(pos);
    std::size_t len = 1;
    for (; pos + len < data.size(); ++len) {
      const auto it = child.find(key(code, at(pos + len)));
      if (it == child.end()) break;
      code = it->second;
    }
    emit(code);
    prev = code;
    pos += len;
  }
  return w.Finish();
}

std::string Reduce(const std::string& data, int factor, const ReduceOptions& options) {
  if (factor < 1 || factor > 4) throw std::invalid_argument("reduce factor");
  constexpr int kDle = 144;
  const int lengthMask = 0xFF >> factor;
  const int window = 256 << factor;
  const int maxLength = 3 + lengthMask + 255;

  std::vector<int> lz;
  Matcher m(data, window, maxLength);
  const int n = static_cast<int>(data.size());
  for (int pos = 0; pos < n;) {
    Match best = options.matches ? m.Find(pos) : Match{};
    // A length-3 match in the first 256 bytes would code as DLE 0.
    if (best.length == 3 && best.distance <= 256) best.length = 0;
    if (best.length >= 3) {
      const int len = best.length - 3, d = best.distance - 1;
      lz.push_back(kDle);
      lz.push_back(((d >> 8) << (8 - factor)) | std::min(len, lengthMask));
      if (len >= lengthMask) lz.push_back(len - lengthMask);
      lz.push_back(d & 0xFF);
      for (int i = 0; i < best.length; ++i) m.Insert(pos++);
      continue;
    }
    const int c = static_cast<unsigned char>(data[pos]);
    lz.push_back(c);
    if (c == kDle) lz.push_back(0);
    m.Insert(pos++);
  }

  std::vector<std::vector<int>> sets(256);
  if (options.followerSets) {
    std::vector<std::array<int, 256>> freq(256);
    for (auto& f : freq) f.fill(0);
    int last = 0;
    for (int c : lz) {
      ++freq[last][c];
      last = c;
    }
    for (int j = 0; j < 256; ++j) {
      std::vector<int> order;
      for (int c = 0; c < 256; ++c)
        if (freq[j][c] > 0) order.push_back(c);
      std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return freq[j][a] > freq[j][b]; });
      if (order.size() > 32) order.resize(32);
      sets[j] = order;
    }
  }

  BitWriter w;
  for (int j = 255; j >= 0; --j) {
    w.Put(static_cast<std::uint32_t>(sets[j].size()), 6);
    for (int c : sets[j]) w.Put(static_cast<std::uint32_t>(c), 8);
  }
  int last = 0;
  for (int c : lz) {
    const auto& s = sets[last];
    if (s.empty()) {
      w.Put(static_cast<std::uint32_t>(c), 8);
    } else {
      const auto it = std::find(s.begin(), s.end(), c);
      if (it == s.end()) {
        w.Put(1, 1);
        w.Put(static_cast<std::uint32_t>(c), 8);
      } else {
        int bits = 1;
        while ((1u << bits) < s.size()) ++bits;
        w.Put(0, 1);
        w.Put(static_cast<std::uint32_t>(it - s.begin()), bits);
      }
    }
    last = c;
  }
  return w.Finish();
}

namespace {

// Code lengths (1 to 16) for every symbol, each counted at least once so
// that the code is complete.
std::vector<int> CodeLengths(std::vector<long> freq) {
  const int n = static_cast<int>(freq.size());
  for (;;) {
    for (auto& f : freq) f = std::max(1L, f);
    std::vector<int> parent(2 * n, -1);
    using Node = std::pair<long, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<>> q;
    for (int i = 0; i < n; ++i) q.push({freq[i], i});
    int next = n;
    while (q.size() > 1) {
      const auto a = q.top();
      q.pop();
      const auto b = q.top();
      q.pop();
      parent[a.second] = parent[b.second] = next;
      q.push({a.first + b.first, next++});
    }
    std::vector<int> len(n);
    int longest = 0;
    for (int i = 0; i < n; ++i) {
      for (int p = parent[i]; p >= 0; p = parent[p]) ++len[i];
      longest = std::max(longest, len[i]);
    }
    if (longest <= 16) return len;
    for (auto& f : freq) f = (f + 1) / 2;
  }
}

struct Code {
  std::uint32_t bits = 0;  // in the top `length` bits of 16
  int length = 0;
};

// Codes from the longest length down, in (length, symbol) order.
std::vector<Code> ShannonFanoCodes(const std::vector<int>& lengths) {
  const int n = static_cast<int>(lengths.size());
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return lengths[a] < lengths[b]; });
  std::vector<Code> codes(n);
  std::uint32_t code = 0, step = 0;
  int last = 0;
  for (int i = n - 1; i >= 0; --i) {
    const int s = order[i];
    code += step;
    if (lengths[s] != last) {
      last = lengths[s];
      step = 1u << (16 - last);
    }
    codes[s] = {code, lengths[s]};
  }
  return codes;
}

void PutCode(BitWriter& w, const Code& c) {
  for (int i = 0; i < c.length; ++i) w.Put((c.bits >> (15 - i)) & 1u, 1);
}

std::string LengthList(const std::vector<int>& lengths) {
  std::string runs;
  for (std::size_t i = 0; i < lengths.size();) {
    std::size_t j = i;
    while (j < lengths.size() && j - i < 16 && lengths[j] == lengths[i]) ++j;
    runs.push_back(static_cast<char>(((j - i - 1) << 4) | (lengths[i] - 1)));
    i = j;
  }
  return std::string(1, static_cast<char>(runs.size() - 1)) + runs;
}

}  // namespace

std::string Implode(const std::string& data, std::uint16_t flags) {
  const bool literalTree = (flags & 4) != 0;
  const int lowBits = (flags & 2) ? 7 : 6;
  const int window = 1 << (lowBits + 6);
  const int minMatch = literalTree ? 3 : 2;
  const int maxLength = minMatch + 63 + 255;

  struct Token {
    int literal;  // -1 for a match
    int length, distance;
  };
  std::vector<Token> tokens;
  Matcher m(data, window, maxLength);
  const int n = static_cast<int>(data.size());
  for (int pos = 0; pos < n;) {
    const Match best = m.Find(pos);
    if (best.length >= minMatch) {
      tokens.push_back({-1, best.length, best.distance});
      for (int i = 0; i < best.length; ++i) m.Insert(pos++);
    } else {
      tokens.push_back({static_cast<unsigned char>(data[pos]), 0, 0});
      m.Insert(pos++);
    }
  }

  std::vector<long> litFreq(256), lenFreq(64), distFreq(64);
  for (const auto& t : tokens) {
    if (t.literal >= 0) {
      ++litFreq[t.literal];
    } else {
      ++lenFreq[std::min(t.length - minMatch, 63)];
      ++distFreq[(t.distance - 1) >> lowBits];
    }
  }
  const auto litLengths = CodeLengths(litFreq), lenLengths = CodeLengths(lenFreq),
             distLengths = CodeLengths(distFreq);
  const auto litCodes = ShannonFanoCodes(litLengths), lenCodes = ShannonFanoCodes(lenLengths),
             distCodes = ShannonFanoCodes(distLengths);

  std::string out;
  if (literalTree) out += LengthList(litLengths);
  out += LengthList(lenLengths);
  out += LengthList(distLengths);
  BitWriter w;
  for (const auto& t : tokens) {
    if (t.literal >= 0) {
      w.Put(1, 1);
      if (literalTree)
        PutCode(w, litCodes[t.literal]);
      else
        w.Put(static_cast<std::uint32_t>(t.literal), 8);
      continue;
    }
    const int d = t.distance - 1, sym = std::min(t.length - minMatch, 63);
    w.Put(0, 1);
    w.Put(static_cast<std::uint32_t>(d & ((1 << lowBits) - 1)), lowBits);
    PutCode(w, distCodes[d >> lowBits]);
    PutCode(w, lenCodes[sym]);
    if (sym == 63) w.Put(static_cast<std::uint32_t>(t.length - minMatch - 63), 8);
  }
  return out + w.Finish();
}

}  // namespace vsktest
