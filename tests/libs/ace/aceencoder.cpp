#include "tests/libs/ace/aceencoder.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <queue>
#include <stdexcept>

#include "base/checksum.h"
#include "base/records/aceheader.h"
#include "libs/ace/acelz77.h"
#include "tests/support/archivebytes.h"

namespace vsktest {

using vsk::Byte;
using vsk::UInt16;
using vsk::UInt32;

namespace {

constexpr UInt32 kTime = 0x5A8C6000;  // 2025-04-12 12:00:00
constexpr int kMaxMatch = 259;

class BitWriter {
 public:
  void Put(UInt32 Value, int Bits) {
    for (int i = Bits - 1; i >= 0; --i) {
      word_ = word_ << 1 | ((Value >> i) & 1);
      if (++count_ == 32) Flush();
    }
  }
  std::string Finish() {
    if (count_ > 0) {
      word_ <<= 32 - count_;
      Flush();
    }
    return std::move(out_);
  }

 private:
  void Flush() {
    out_ += Le32(word_);
    word_ = 0;
    count_ = 0;
  }
  std::string out_;
  UInt32 word_ = 0;
  int count_ = 0;
};

struct Token {
  UInt16 sym;
  int len = -1;  // length symbol, -1 for a literal
  UInt32 extra = 0;
  int extraBits = 0;
};

// Huffman widths of at most MaxWidth bits (frequencies are halved until
// the tree is shallow enough).
std::vector<Byte> Widths(std::vector<std::uint64_t> Freq, int MaxWidth) {
  for (;;) {
    std::vector<Byte> w(Freq.size(), 0);
    using Node = std::pair<std::uint64_t, std::vector<int>>;
    auto cmp = [](const Node& a, const Node& b) { return a.first > b.first; };
    std::priority_queue<Node, std::vector<Node>, decltype(cmp)> q(cmp);
    for (std::size_t i = 0; i < Freq.size(); ++i)
      if (Freq[i]) q.push({Freq[i], {static_cast<int>(i)}});
    while (q.size() > 1) {
      Node a = q.top();
      q.pop();
      Node b = q.top();
      q.pop();
      for (int s : a.second) ++w[s];
      for (int s : b.second) ++w[s];
      a.second.insert(a.second.end(), b.second.begin(), b.second.end());
      q.push({a.first + b.first, std::move(a.second)});
    }
    if (*std::max_element(w.begin(), w.end()) <= MaxWidth) return w;
    for (auto& f : Freq)
      if (f) f = (f + 1) / 2;
  }
}

// Makes sure at least two symbols are used: the format gives a lone
// symbol a one-bit code of its own making.
void AtLeastTwo(std::vector<std::uint64_t>& Freq) {
  const auto used = std::count_if(Freq.begin(), Freq.end(), [](auto f) { return f != 0; });
  if (used >= 2) return;
  if (Freq[0] == 0) Freq[0] = 1;
  else Freq[1] = 1;
}

struct Code {
  UInt32 bits = 0;
  int width = 0;
};

// Codes as the format hands them out over the widths that are sent.
std::vector<Code> Codes(const std::vector<Byte>& W, int MaxWidth) {
  std::vector<Code> codes(W.size());
  std::vector<UInt16> order(W.size() + 1);
  const int used = vsk::AceCodeOrder(W.data(), static_cast<int>(W.size()), order.data());
  UInt32 c = 0;
  for (int i = 0; i < used; ++i) {
    const int s = order[i];
    codes[s] = {c >> (MaxWidth - W[s]), W[s]};
    c += 1u << (MaxWidth - W[s]);
  }
  if (c > (1u << MaxWidth)) throw std::logic_error("over-subscribed code");
  return codes;
}

// Sends the widths of a code table; returns the codes of the table.
std::vector<Code> WriteTable(BitWriter& B, std::vector<Byte> W, int MaxWidth) {
  std::size_t n = W.size();
  while (n > 1 && W[n - 1] == 0) --n;
  W.resize(n);
  Byte lower = 255, top = 0;
  for (Byte w : W)
    if (w) lower = std::min<Byte>(lower, w - 1), top = std::max(top, w);
  const int upper = top - lower + 1;
  std::vector<int> steps(n);
  int prev = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int v = W[i] ? W[i] - lower : 0;
    steps[i] = ((v - prev) % upper + upper) % upper;
    prev = v;
  }
  // Runs of four to nineteen zero steps take the run symbol `upper`.
  std::vector<std::pair<int, int>> tokens;
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i;
    while (j < n && steps[j] == 0 && j - i < 19) ++j;
    if (j - i >= 4) {
      tokens.push_back({upper, static_cast<int>(j - i)});
      i = j;
    } else {
      tokens.push_back({steps[i], 0});
      ++i;
    }
  }
  std::vector<std::uint64_t> freq(upper + 1, 0);
  for (auto& t : tokens) ++freq[t.first];
  AtLeastTwo(freq);
  const auto ww = Widths(freq, vsk::kAceWidthCodeWidth);
  const auto wc = Codes(ww, vsk::kAceWidthCodeWidth);
  B.Put(static_cast<UInt32>(n - 1), 9);
  B.Put(lower, 4);
  B.Put(static_cast<UInt32>(upper), 4);
  for (Byte w : ww) B.Put(w, 3);
  for (auto& t : tokens) {
    B.Put(wc[t.first].bits, wc[t.first].width);
    if (t.first == upper) B.Put(static_cast<UInt32>(t.second - 4), 4);
  }
  return Codes(W, MaxWidth);
}

void WriteBlock(BitWriter& B, const Token* T, std::size_t N) {
  std::vector<std::uint64_t> mf(vsk::kAceMainSymbols, 0), lf(vsk::kAceLengthSymbols, 0);
  bool matches = false;
  for (std::size_t i = 0; i < N; ++i) {
    ++mf[T[i].sym];
    if (T[i].len >= 0) ++lf[T[i].len], matches = true;
  }
  AtLeastTwo(mf);
  const auto mc = WriteTable(B, Widths(mf, vsk::kAceMaxCodeWidth), vsk::kAceMaxCodeWidth);
  std::vector<Code> lc;
  if (matches) {
    AtLeastTwo(lf);
    lc = WriteTable(B, Widths(lf, vsk::kAceMaxCodeWidth), vsk::kAceMaxCodeWidth);
  } else {
    // No lengths: one zero width, given as a run.
    B.Put(0, 9);
    B.Put(0, 4);
    B.Put(0, 4);
    B.Put(0, 3);
    B.Put(0, 1);
    B.Put(0, 4);
  }
  B.Put(static_cast<UInt32>(N), 15);
  for (std::size_t i = 0; i < N; ++i) {
    B.Put(mc[T[i].sym].bits, mc[T[i].sym].width);
    if (T[i].extraBits) B.Put(T[i].extra, T[i].extraBits);
    if (T[i].len >= 0) B.Put(lc[T[i].len].bits, lc[T[i].len].width);
  }
}

int MinLength(UInt32 Dist0) { return 2 + (Dist0 > 255 ? 1 : 0) + (Dist0 > 8191 ? 1 : 0); }

}  // namespace

std::string AceCompress(const std::string& History, const std::string& Data, int DictionaryBits,
                        std::size_t BlockSymbols) {
  const std::string all = History + Data;
  const auto* s = reinterpret_cast<const Byte*>(all.data());
  const std::size_t n = all.size();
  const std::size_t dict = std::size_t{1} << DictionaryBits;
  std::vector<int> head(1 << 16, -1), prev(n, -1);
  auto hash = [&](std::size_t i) { return (s[i] << 8 ^ s[i + 1] << 4 ^ s[i + 2]) & 0xFFFF; };
  auto insert = [&](std::size_t i) {
    if (i + 2 < n) {
      const int h = hash(i);
      prev[i] = head[h];
      head[h] = static_cast<int>(i);
    }
  };
  for (std::size_t i = 0; i < History.size(); ++i) insert(i);

  std::vector<Token> tokens;
  UInt32 old[4] = {0, 0, 0, 0};
  for (std::size_t i = History.size(); i < n;) {
    const std::size_t avail = std::min<std::size_t>(n - i, kMaxMatch);
    auto matchLen = [&](std::size_t from, std::size_t cap) {
      std::size_t l = 0;
      while (l < cap && s[from + l] == s[i + l]) ++l;
      return l;
    };
    // A repeated distance first; the distances can only reach this file's
    // own bytes at the start of a non-solid one, which History tells.
    int rep = -1;
    std::size_t repLen = 0;
    for (int k = 0; k < 4; ++k) {
      const std::size_t d = old[k] + 1;
      if (d > i || d > dict) continue;
      const std::size_t minLen = k < 2 ? 2 : 3;
      const std::size_t l = matchLen(i - d, std::min<std::size_t>(avail, minLen + 255));
      if (l >= minLen && l > repLen) rep = k, repLen = l;
    }
    std::size_t best = 0, bestDist = 0;
    if (i + 2 < n) {
      int chain = 64;
      for (int p = head[hash(i)]; p >= 0 && chain-- > 0; p = prev[p]) {
        const std::size_t d = i - static_cast<std::size_t>(p);
        if (d > dict) break;
        const std::size_t cap = std::min<std::size_t>(avail, MinLength(static_cast<UInt32>(d - 1)) + 255);
        const std::size_t l = matchLen(static_cast<std::size_t>(p), cap);
        if (l > best) best = l, bestDist = d;
      }
      if (best < static_cast<std::size_t>(MinLength(static_cast<UInt32>(bestDist - 1)))) best = 0;
    }
    std::size_t step = 1;
    if (rep >= 0 && repLen + 1 >= best) {
      const UInt32 d0 = old[rep];
      for (int k = rep; k > 0; --k) old[k] = old[k - 1];
      old[0] = d0;
      tokens.push_back({static_cast<UInt16>(256 + rep), static_cast<int>(repLen) - (rep < 2 ? 2 : 3)});
      step = repLen;
    } else if (best >= 3) {
      const UInt32 d0 = static_cast<UInt32>(bestDist - 1);
      int bits = 0;
      while ((d0 >> bits) != 0) ++bits;
      Token t{static_cast<UInt16>(260 + bits), static_cast<int>(best) - MinLength(d0)};
      if (bits > 1) t.extra = d0 - (1u << (bits - 1)), t.extraBits = bits - 1;
      for (int k = 3; k > 0; --k) old[k] = old[k - 1];
      old[0] = d0;
      tokens.push_back(t);
      step = best;
    } else {
      tokens.push_back({s[i]});
    }
    for (std::size_t j = 0; j < step; ++j) insert(i + j);
    i += step;
  }

  BitWriter b;
  for (std::size_t at = 0; at < tokens.size(); at += BlockSymbols)
    WriteBlock(b, tokens.data() + at, std::min(BlockSymbols, tokens.size() - at));
  return b.Finish();
}

namespace {

std::string Header(Byte Type, UInt16 Flags, const std::string& Body) {
  const std::string counted = std::string(1, static_cast<char>(Type)) + Le16(Flags) + Body;
  return Le16(vsk::AceHeaderCrc(reinterpret_cast<const Byte*>(counted.data()), counted.size())) +
         Le16(static_cast<UInt16>(counted.size())) + counted;
}

std::string MainHeader(const AceOptions& O, std::size_t Volume) {
  UInt16 flags = 0;
  if (O.solid) flags |= vsk::kAceFlagSolid;
  if (O.volumeSize) flags |= vsk::kAceFlagMultiVolume;
  std::string body(vsk::kAceMark, vsk::kAceMarkSize);
  body += static_cast<char>(10);  // version needed
  body += static_cast<char>(10);  // version made by
  body += static_cast<char>(2);   // host: Win32
  body += static_cast<char>(Volume);
  body += Le32(kTime) + std::string(8, '\0') + std::string(1, '\0');
  return Header(vsk::kAceTypeMain, flags, body);
}

struct Packed {
  std::string name, data;
  UInt32 size = 0, crc = 0, attr = 0x20;
  Byte type = 0, quality = 0;
  UInt16 parameter = 0, flags = 0;
};

// A file header as unace reads it: the packed-size flag set and four
// reserved bytes after the name.
std::string FileHeader(const Packed& P, UInt16 SplitFlags, std::size_t PartSize) {
  const std::string body = Le32(static_cast<UInt32>(PartSize)) + Le32(P.size) + Le32(kTime) + Le32(P.attr) +
                           Le32(P.crc) + std::string(1, static_cast<char>(P.type)) +
                           std::string(1, static_cast<char>(P.quality)) + Le16(P.parameter) + Le16(0) +
                           Le16(static_cast<UInt16>(P.name.size())) + P.name + std::string(4, '\0');
  return Header(vsk::kAceTypeFile, static_cast<UInt16>(vsk::kAceFlagAddSize | P.flags | SplitFlags), body);
}

}  // namespace

std::vector<std::string> EncodeAce(const std::vector<AceEntry>& Entries, const AceOptions& Options) {
  std::vector<Packed> files;
  std::string history;
  for (const auto& e : Entries) {
    Packed p;
    p.name = e.name;
    std::replace(p.name.begin(), p.name.end(), '/', '\\');
    p.flags = e.flags;
    p.size = static_cast<UInt32>(e.data.size());
    UInt32 crc = 0xFFFFFFFFu;
    vsk::UpdateCrc32(e.data.data(), e.data.size(), crc);
    p.crc = crc;
    if (e.folder) {
      p.attr = 0x10;
    } else if (e.lz77 && !e.data.empty() && e.methodByte < 0 && !(e.flags & vsk::kAceFlagPassword)) {
      p.type = 1;
      p.quality = 3;
      p.parameter = static_cast<UInt16>(Options.dictionaryBits - vsk::kAceMinDictionaryBits);
      p.data = AceCompress(Options.solid ? history : std::string(), e.data, Options.dictionaryBits,
                           Options.blockSymbols);
    } else {
      p.data = e.data;
    }
    if (e.methodByte >= 0) p.type = static_cast<Byte>(e.methodByte);
    if (Options.solid) history += e.data;
    files.push_back(std::move(p));
  }

  std::vector<std::string> volumes(1, MainHeader(Options, 0));
  for (const auto& p : files) {
    std::size_t done = 0;
    UInt16 before = 0;
    for (;;) {
      std::string& v = volumes.back();
      const std::size_t headerSize = FileHeader(p, 0, 0).size();
      const std::size_t left = p.data.size() - done;
      const std::size_t room =
          Options.volumeSize == 0 ? SIZE_MAX : (v.size() + headerSize < Options.volumeSize ? Options.volumeSize - v.size() - headerSize : 0);
      if (left <= room) {
        v += FileHeader(p, before, left) + p.data.substr(done);
        break;
      }
      if (room >= 16) {
        v += FileHeader(p, before | vsk::kAceFlagSplitAfter, room) + p.data.substr(done, room);
        done += room;
        before = vsk::kAceFlagSplitBefore;
      }
      volumes.push_back(MainHeader(Options, volumes.size()));
    }
  }
  return volumes;
}

std::string AceVolumeName(const std::string& Path, std::size_t Index) {
  if (Index == 0) return Path;
  const std::size_t dot = Path.rfind('.');
  const std::string stem = dot == std::string::npos ? Path : Path.substr(0, dot);
  const std::size_t n = Index - 1;
  return stem + ".c" + static_cast<char>('0' + n / 10) + static_cast<char>('0' + n % 10);
}

std::vector<std::string> WriteAce(const std::string& Path, const std::vector<AceEntry>& Entries,
                                  const AceOptions& Options) {
  const auto volumes = EncodeAce(Entries, Options);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    names.push_back(AceVolumeName(Path, i));
    std::ofstream(names.back(), std::ios::binary) << volumes[i];
  }
  return names;
}

}  // namespace vsktest
