#include "tests/archive/formats/lha/lhabuild.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "base/checksum.h"
#include "tests/support/archivebytes.h"

namespace vsktest {

using vsk::Byte;
using vsk::Int32;
using vsk::UInt16;
using vsk::UInt32;

BitWriter& BitWriter::Put(UInt32 Value, int Bits) {
  for (int i = Bits - 1; i >= 0; --i) bits_.push_back(((Value >> i) & 1u) != 0);
  return *this;
}

std::string BitWriter::Bytes() const {
  std::string out((bits_.size() + 7) / 8, '\0');
  for (std::size_t i = 0; i < bits_.size(); ++i)
    if (bits_[i]) out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
  return out;
}

void FixLhaHeaderSum(std::string& Archive, std::size_t Offset) {
  const std::size_t size = static_cast<Byte>(Archive[Offset]);
  unsigned sum = 0;
  for (std::size_t i = Offset + 2; i < Offset + 2 + size; ++i) sum += static_cast<Byte>(Archive[i]);
  Archive[Offset + 1] = static_cast<char>(sum & 0xFF);
}

std::string LhaEntry(const LhaEntrySpec& S) {
  const auto unpacked = static_cast<UInt32>(S.Original.size());
  const UInt16 crc = vsk::Crc16Of(S.Original.data(), S.Original.size());
  std::string ext;
  for (std::size_t i = 0; i < S.Extended.size(); ++i) {
    const auto& [type, data] = S.Extended[i];
    ext += static_cast<char>(type) + data;
    ext += i + 1 < S.Extended.size() ? Le16(static_cast<unsigned>(S.Extended[i + 1].second.size() + 3)) : Le16(0);
  }
  Bytes b;
  b.U8(0)
      .U8(0)
      .Raw(S.Method.substr(0, 5))
      .U32(static_cast<UInt32>(ext.size() + S.Packed.size()))
      .U32(unpacked)
      .U32(S.DosDateTime)
      .U8(S.Attribute)
      .U8(static_cast<unsigned>(S.Level))
      .U8(static_cast<unsigned>(S.Name.size()))
      .Raw(S.Name)
      .U16(crc);
  if (S.Level == 1) b.U8('U').U16(S.Extended.empty() ? 0 : static_cast<unsigned>(S.Extended[0].second.size() + 3));
  std::string h = b.str();
  h[0] = static_cast<char>(h.size() - 2);
  FixLhaHeaderSum(h, 0);
  return h + ext + S.Packed;
}

// ---- -lh1- encoder: the same adaptive model as the decoder, run forward.

namespace {

constexpr int kSymbols = 314;
constexpr int kNodes = 2 * kSymbols - 1;
constexpr int kRoot = kNodes - 1;
constexpr int kRing = 4096;
constexpr int kSpaces = 4036;
constexpr int kMaxMatch = 60;

class AdaptiveTree {
 public:
  AdaptiveTree() {
    for (int i = 0; i < kSymbols; ++i) {
      freq_[i] = 1;
      child_[i] = i + kNodes;
      parent_[i + kNodes] = i;
    }
    for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
      freq_[j] = freq_[i] + freq_[i + 1];
      child_[j] = i;
      parent_[i] = parent_[i + 1] = j;
    }
    freq_[kNodes] = 0xFFFF;
    parent_[kRoot] = 0;
  }

  // The code of Symbol, root side first, then the model learns it.
  void Encode(int Symbol, BitWriter& Out) {
    std::vector<int> path;
    for (int k = parent_[Symbol + kNodes]; k != kRoot; k = parent_[k]) path.push_back(k & 1);
    for (auto it = path.rbegin(); it != path.rend(); ++it) Out.Put(static_cast<UInt32>(*it), 1);
    Update(Symbol);
  }

 private:
  void Rebuild() {
    int j = 0;
    for (int i = 0; i < kNodes; ++i)
      if (child_[i] >= kNodes) {
        freq_[j] = (freq_[i] + 1) / 2;
        child_[j] = child_[i];
        ++j;
      }
    for (int i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
      const unsigned f = freq_[i] + freq_[i + 1];
      int k = n - 1;
      while (f < freq_[k]) --k;
      ++k;
      for (int m = n; m > k; --m) {
        freq_[m] = freq_[m - 1];
        child_[m] = child_[m - 1];
      }
      freq_[k] = f;
      child_[k] = i;
    }
    for (int i = 0; i < kNodes; ++i) {
      const int k = child_[i];
      parent_[k] = i;
      if (k < kNodes) parent_[k + 1] = i;
    }
  }

  void Update(int Symbol) {
    if (freq_[kRoot] == 0x8000) Rebuild();
    int c = parent_[Symbol + kNodes];
    do {
      const unsigned k = ++freq_[c];
      int l = c + 1;
      if (k > freq_[l]) {
        while (k > freq_[++l]) {
        }
        --l;
        std::swap(freq_[c], freq_[l]);
        const int i = child_[c];
        parent_[i] = l;
        if (i < kNodes) parent_[i + 1] = l;
        const int j = child_[l];
        child_[l] = i;
        parent_[j] = c;
        if (j < kNodes) parent_[j + 1] = c;
        child_[c] = j;
        c = l;
      }
      c = parent_[c];
    } while (c != 0);
  }

  std::array<unsigned, kNodes + 1> freq_{};
  std::array<int, kNodes> child_{};
  std::array<int, kNodes + kSymbols> parent_{};
};

// The fixed code of a position's upper 6 bits: its length and value.
void PositionCode(unsigned Upper, int& Bits, unsigned& Code) {
  struct Group {
    unsigned first, values, span;
    int bits;
  };
  static const Group groups[] = {{0x00, 1, 32, 3}, {0x20, 3, 16, 4}, {0x50, 8, 8, 5},
                                 {0x90, 12, 4, 6}, {0xC0, 24, 2, 7}, {0xF0, 16, 1, 8}};
  unsigned u = 0;
  for (const auto& g : groups) {
    if (Upper < u + g.values) {
      Bits = g.bits;
      Code = (g.first + (Upper - u) * g.span) >> (8 - g.bits);
      return;
    }
    u += g.values;
  }
}

}  // namespace

std::string EncodeLh1Tokens(const std::vector<LzhToken>& Tokens) {
  AdaptiveTree tree;
  BitWriter out;
  for (const auto& t : Tokens) {
    if (t.Literal >= 0) {
      tree.Encode(t.Literal, out);
      continue;
    }
    tree.Encode(256 - 3 + t.Length, out);
    int bits = 0;
    unsigned code = 0;
    PositionCode(t.Distance >> 6, bits, code);
    out.Put(code, bits).Put(t.Distance & 0x3F, 6);
  }
  return out.Bytes();
}

std::string EncodeLh1(const std::string& Data, bool MatchesIntoStart) {
  // History: the ring's starting spaces, then the data.
  const std::string hist = std::string(kSpaces, ' ') + Data;
  const int n = static_cast<int>(hist.size());
  std::unordered_map<UInt32, std::vector<int>> chains;
  auto key = [&](int p) {
    return static_cast<UInt32>(static_cast<Byte>(hist[p])) << 16 |
           static_cast<UInt32>(static_cast<Byte>(hist[p + 1])) << 8 | static_cast<Byte>(hist[p + 2]);
  };
  auto remember = [&](int p) {
    if (p + 2 >= n) return;
    auto& v = chains[key(p)];
    v.push_back(p);
    if (v.size() > 48) v.erase(v.begin());
  };
  const int first = MatchesIntoStart ? 0 : kSpaces;
  for (int p = first; p < kSpaces; ++p) remember(p);

  std::vector<LzhToken> tokens;
  int p = kSpaces;
  while (p < n) {
    int best = 0, bestPos = 0;
    if (p + 2 < n) {
      const auto it = chains.find(key(p));
      if (it != chains.end()) {
        for (int q : it->second) {
          if (p - q > kRing) continue;
          int len = 0;
          while (len < kMaxMatch && p + len < n && hist[q + len] == hist[p + len]) ++len;
          if (len >= best) {
            best = len;
            bestPos = q;
          }
        }
      }
    }
    if (best >= 3) {
      tokens.push_back({-1, best, static_cast<UInt32>(p - bestPos - 1)});
      for (int k = 0; k < best; ++k) remember(p + k);
      p += best;
    } else {
      tokens.push_back({static_cast<Byte>(hist[p]), 0, 0});
      remember(p);
      ++p;
    }
  }
  return EncodeLh1Tokens(tokens);
}

// ---- static-Huffman encoder

namespace {

// Code lengths of at most 16 bits for the frequencies (0 for unused
// symbols): a Huffman code, flattened until it fits.
std::vector<int> HuffmanLengths(std::vector<unsigned long> Freq) {
  for (;;) {
    struct Node {
      unsigned long f;
      int left, right;
    };
    std::vector<Node> nodes;
    std::vector<int> live;
    for (std::size_t i = 0; i < Freq.size(); ++i)
      if (Freq[i] > 0) {
        live.push_back(static_cast<int>(nodes.size()));
        nodes.push_back({Freq[i], -1, static_cast<int>(i)});
      }
    std::vector<int> len(Freq.size(), 0);
    if (live.size() < 2) return len;
    auto heavier = [&](int a, int b) { return nodes[a].f > nodes[b].f || (nodes[a].f == nodes[b].f && a > b); };
    std::make_heap(live.begin(), live.end(), heavier);
    while (live.size() > 1) {
      std::pop_heap(live.begin(), live.end(), heavier);
      const int a = live.back();
      live.pop_back();
      std::pop_heap(live.begin(), live.end(), heavier);
      const int b = live.back();
      live.pop_back();
      nodes.push_back({nodes[a].f + nodes[b].f, a, b});
      live.push_back(static_cast<int>(nodes.size()) - 1);
      std::push_heap(live.begin(), live.end(), heavier);
    }
    int deepest = 0;
    std::vector<std::pair<int, int>> stack = {{live[0], 0}};
    while (!stack.empty()) {
      const auto [node, depth] = stack.back();
      stack.pop_back();
      if (nodes[node].left < 0) {
        len[static_cast<std::size_t>(nodes[node].right)] = depth;
        deepest = std::max(deepest, depth);
      } else {
        stack.push_back({nodes[node].left, depth + 1});
        stack.push_back({nodes[node].right, depth + 1});
      }
    }
    if (deepest <= 16) return len;
    for (auto& f : Freq)
      if (f > 0) f = f / 2 + 1;
  }
}

// Canonical codes: shorter codes first, symbols in order within a length.
std::vector<UInt32> CanonicalCodes(const std::vector<int>& Len) {
  UInt32 count[17] = {}, next[18] = {};
  for (int l : Len) ++count[l];
  count[0] = 0;
  for (int bits = 1; bits <= 16; ++bits) next[bits + 1] = (next[bits] + count[bits]) << 1;
  std::vector<UInt32> codes(Len.size(), 0);
  for (std::size_t i = 0; i < Len.size(); ++i)
    if (Len[i] > 0) codes[i] = next[Len[i]]++;
  return codes;
}

int UsedSymbols(const std::vector<int>& Len, int& Last) {
  int used = 0;
  Last = -1;
  for (std::size_t i = 0; i < Len.size(); ++i)
    if (Len[i] > 0) {
      ++used;
      Last = static_cast<int>(i);
    }
  return used;
}

// A small code's lengths: 3-bit numbers, 7 and above continued in unary;
// after the Special-th length a 2-bit count of further zeros (always 0).
void PutPtLen(BitWriter& W, const std::vector<int>& Len, int CountBits, int Special) {
  int last = -1;
  UsedSymbols(Len, last);
  const int n = last + 1;
  W.Put(static_cast<UInt32>(n), CountBits);
  for (int i = 0; i < n; ++i) {
    const int l = Len[static_cast<std::size_t>(i)];
    if (l < 7) {
      W.Put(static_cast<UInt32>(l), 3);
    } else {
      W.Put(7, 3);
      for (int k = 7; k < l; ++k) W.Put(1, 1);
      W.Put(0, 1);
    }
    if (i + 1 == Special) W.Put(0, 2);
  }
}

int FirstUsed(const std::vector<unsigned long>& Freq) {
  for (std::size_t i = 0; i < Freq.size(); ++i)
    if (Freq[i] > 0) return static_cast<int>(i);
  return 0;
}

int PositionSymbol(UInt32 Distance) {
  int j = 0;
  while (Distance >> j) ++j;
  return j;
}

}  // namespace

std::string ExpandLzhTokens(const std::vector<LzhToken>& Tokens) {
  std::string out;
  for (const auto& t : Tokens) {
    if (t.Literal >= 0) {
      out.push_back(static_cast<char>(t.Literal));
      continue;
    }
    const std::size_t from = out.size() - t.Distance - 1;
    for (int k = 0; k < t.Length; ++k) out.push_back(out[from + static_cast<std::size_t>(k)]);
  }
  return out;
}

std::string EncodeLzh(const std::vector<LzhToken>& Tokens, int DictBits, int PosBits, int BlockTokens) {
  constexpr int kNC = 510, kNT = 19;
  const int np = DictBits + 1;
  BitWriter w;
  for (std::size_t begin = 0; begin < Tokens.size(); begin += static_cast<std::size_t>(BlockTokens)) {
    const std::size_t end = std::min(Tokens.size(), begin + static_cast<std::size_t>(BlockTokens));
    std::vector<unsigned long> cf(kNC, 0), pf(static_cast<std::size_t>(np), 0);
    for (std::size_t i = begin; i < end; ++i) {
      const auto& t = Tokens[i];
      if (t.Literal >= 0) {
        ++cf[static_cast<std::size_t>(t.Literal)];
      } else {
        ++cf[static_cast<std::size_t>(t.Length + 253)];
        ++pf[static_cast<std::size_t>(PositionSymbol(t.Distance))];
      }
    }
    const auto cl = HuffmanLengths(cf);
    const auto pl = HuffmanLengths(pf);
    int last = -1;
    w.Put(static_cast<UInt32>(end - begin), 16);

    if (UsedSymbols(cl, last) == 0) {
      w.Put(0, 5).Put(0, 5).Put(0, 9).Put(static_cast<UInt32>(FirstUsed(cf)), 9);
    } else {
      // The literal/length lengths as code-length symbols: 0 one zero,
      // 1 and 2 runs of zeros, length + 2 otherwise.
      struct Sym {
        int s, extraBits;
        UInt32 extra;
      };
      std::vector<Sym> seq;
      const int n = last + 1;
      for (int i = 0; i < n;) {
        if (cl[static_cast<std::size_t>(i)] != 0) {
          seq.push_back({cl[static_cast<std::size_t>(i)] + 2, 0, 0});
          ++i;
          continue;
        }
        int run = 0;
        while (i + run < n && cl[static_cast<std::size_t>(i + run)] == 0) ++run;
        i += run;
        while (run > 0) {
          if (run >= 20) {
            const int take = std::min(run, 531);
            seq.push_back({2, 9, static_cast<UInt32>(take - 20)});
            run -= take;
          } else if (run >= 3 && run != 19) {
            seq.push_back({1, 4, static_cast<UInt32>(run - 3)});
            run = 0;
          } else {
            seq.push_back({0, 0, 0});
            --run;
          }
        }
      }
      std::vector<unsigned long> tf(kNT, 0);
      for (const auto& s : seq) ++tf[static_cast<std::size_t>(s.s)];
      const auto tl = HuffmanLengths(tf);
      const auto tc = CanonicalCodes(tl);
      int tlast = -1;
      if (UsedSymbols(tl, tlast) == 0)
        w.Put(0, 5).Put(static_cast<UInt32>(FirstUsed(tf)), 5);
      else
        PutPtLen(w, tl, 5, 3);
      w.Put(static_cast<UInt32>(n), 9);
      for (const auto& s : seq) {
        w.Put(tc[static_cast<std::size_t>(s.s)], tl[static_cast<std::size_t>(s.s)]);
        if (s.extraBits) w.Put(s.extra, s.extraBits);
      }
    }
    if (UsedSymbols(pl, last) == 0)
      w.Put(0, PosBits).Put(static_cast<UInt32>(FirstUsed(pf)), PosBits);
    else
      PutPtLen(w, pl, PosBits, -1);

    const auto cc = CanonicalCodes(cl);
    const auto pc = CanonicalCodes(pl);
    for (std::size_t i = begin; i < end; ++i) {
      const auto& t = Tokens[i];
      const int c = t.Literal >= 0 ? t.Literal : t.Length + 253;
      w.Put(cc[static_cast<std::size_t>(c)], cl[static_cast<std::size_t>(c)]);
      if (t.Literal >= 0) continue;
      const int j = PositionSymbol(t.Distance);
      w.Put(pc[static_cast<std::size_t>(j)], pl[static_cast<std::size_t>(j)]);
      if (j > 1) w.Put(t.Distance - (1u << (j - 1)), j - 1);
    }
  }
  return w.Bytes();
}

Int32 MemorySource::Read(Byte* Buffer, Int32 Count) {
  const std::size_t n =
      std::min({static_cast<std::size_t>(Count), static_cast<std::size_t>(chunk_), data_.size() - pos_});
  std::memcpy(Buffer, data_.data() + pos_, n);
  pos_ += n;
  return static_cast<Int32>(n);
}

}  // namespace vsktest
