#include "libs/cabinet/lzxencoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "libs/cabinet/lzxhuffman.h"

namespace vsk::cab {

namespace {

constexpr std::size_t kFrameSize = 32768;
constexpr std::size_t kSlideSize = 1 << 20;
constexpr int kMinMatch = 2;
constexpr int kMaxMatch = 257;
constexpr int kNumChars = 256;
constexpr int kPrimaryLengths = 7;
constexpr int kLengthSymbols = 249;
constexpr int kPretreeSymbols = 20;
constexpr int kAlignedSymbols = 8;
constexpr int kMaxSlots = 50;
constexpr int kMaxMainSymbols = kNumChars + kMaxSlots * 8;
constexpr int kMaxCodeBits = 16;
static_assert(kMaxMainSymbols == kMaxHuffmanSymbols && kMaxCodeBits == kMaxHuffmanBits);
constexpr int kMaxPretreeBits = 15;  // a pretree length is a 4-bit field
constexpr int kMaxAlignedBits = 7;   // an aligned length is a 3-bit field

enum : unsigned { kVerbatim = 1, kAligned = 2, kUncompressed = 3 };

// E8 call translation: the translation size the stream header announces
// (the one cabinet writers use), the frames it applies to (the first GiB)
// and the tail of each frame it leaves alone.
constexpr std::int64_t kE8Size = 12000000;
constexpr std::uint64_t kE8Frames = 32768;
constexpr std::size_t kE8Tail = 10;

// Match finding: the latest positions of each 4-byte and each 8-byte
// prefix (by hash) and the latest position of each 3-byte prefix. The
// 4-byte prefixes give near short matches; the long matches of text come
// from the older positions of the 8-byte ones, so they keep more.
constexpr int kShortBits = 15;
constexpr int kShortWays = 4;
constexpr int kLongBits = 15;
constexpr int kLongWays = 16;
constexpr int kHash3Bits = 14;
constexpr int kMaxWays = std::max(kShortWays, kLongWays);
// The most matches of growing length one position offers the parser.
constexpr int kMaxCandidates = 2 + kShortWays + kLongWays;
// A match this long ends the search and is taken without weighing the
// positions it covers (runs and long repeats cost little time that way).
constexpr int kNiceLength = 48;
// Prices of symbols the previous block's codes left out, in bits.
constexpr int kUnusedMainBits = 13;
constexpr int kUnusedLengthBits = 10;

// Position slots: slot i covers formatted offsets Base[i] .. Base[i+1]-1
// (formatted = distance + 2) with Extra[i] bits beside the slot.
struct TSlotTable {
  std::uint32_t Base[kMaxSlots + 1];
  std::uint8_t Extra[kMaxSlots];
};

constexpr TSlotTable MakeSlots() {
  TSlotTable t{};
  std::uint32_t base = 0;
  for (int i = 0; i < kMaxSlots; ++i) {
    t.Base[i] = base;
    t.Extra[i] = static_cast<std::uint8_t>(i < 4 ? 0 : std::min((i - 2) / 2, 17));
    base += 1u << t.Extra[i];
  }
  t.Base[kMaxSlots] = base;
  return t;
}

constexpr TSlotTable kSlots = MakeSlots();
static_assert(kSlots.Base[kMaxSlots] == (1u << 21), "50 slots span a 2 MiB window");

int PositionSlots(int WindowBits) {
  static constexpr int kCounts[] = {30, 32, 34, 36, 38, 42, 50};
  return kCounts[WindowBits - 15];
}

// The slot of a formatted offset of 3 or more.
int SlotOf(std::uint32_t Formatted) {
  if (Formatted < 4) return static_cast<int>(Formatted);
  // From slot 36 on every slot has 17 extra bits.
  if (Formatted >= kSlots.Base[36]) return 36 + static_cast<int>((Formatted - kSlots.Base[36]) >> 17);
  const int b = std::bit_width(Formatted) - 1;
  return 2 * b + static_cast<int>((Formatted >> (b - 1)) & 1);
}

// Bits go out most significant first in 16-bit little-endian words.
class TBitWriter {
 public:
  explicit TBitWriter(std::vector<std::uint8_t>& Out) : FOut(Out) {}
  void Put(int Count, std::uint32_t Value) {
    FBits = (FBits << Count) | Value;
    FCount += Count;
    while (FCount >= 16) {
      FCount -= 16;
      const auto word = static_cast<std::uint16_t>(FBits >> FCount);
      FOut.push_back(static_cast<std::uint8_t>(word));
      FOut.push_back(static_cast<std::uint8_t>(word >> 8));
    }
  }
  // Bits written past the last whole word.
  int Pending() const { return FCount; }
  void Align() {
    if (FCount) Put(16 - FCount, 0);
  }
  // Whole bytes, on a word boundary only.
  void Bytes(const std::uint8_t* Data, std::size_t Size) { FOut.insert(FOut.end(), Data, Data + Size); }

 private:
  std::vector<std::uint8_t>& FOut;
  std::uint64_t FBits = 0;
  int FCount = 0;
};

// One run of code lengths as the pretree codes it: the new lengths as
// differences from the previous block's (modulo 17), runs of zeros as
// symbols 17 and 18, short runs of one length as symbol 19.
struct TTreePlan {
  struct TItem {
    std::uint8_t Sym, Bits, Value;
  };
  std::vector<TItem> Items;
  std::uint8_t Lens[kPretreeSymbols];
  std::uint16_t Codes[kPretreeSymbols];
  std::uint64_t Bits = 0;  // its size in the stream

  void Plan(const std::uint8_t* Prev, const std::uint8_t* New, int Count) {
    Items.clear();
    const auto delta = [](int P, int N) { return static_cast<std::uint8_t>((P - N + 17) % 17); };
    int i = 0;
    while (i < Count) {
      const std::uint8_t v = New[i];
      int run = 1;
      while (i + run < Count && New[i + run] == v) ++run;
      if (v == 0) {
        while (run >= 20) {
          const int k = std::min(run, 51);
          Items.push_back({18, 5, static_cast<std::uint8_t>(k - 20)});
          i += k;
          run -= k;
        }
        if (run >= 4) {
          Items.push_back({17, 4, static_cast<std::uint8_t>(run - 4)});
          i += run;
          run = 0;
        }
      } else {
        while (run >= 4) {
          const int k = std::min(run, 5);
          Items.push_back({19, 1, static_cast<std::uint8_t>(k - 4)});
          Items.push_back({delta(Prev[i], v), 0, 0});
          i += k;
          run -= k;
        }
      }
      for (; run > 0; --run, ++i) Items.push_back({delta(Prev[i], New[i]), 0, 0});
    }
    std::uint32_t freq[kPretreeSymbols] = {};
    for (const TItem& t : Items) ++freq[t.Sym];
    BuildLengths(freq, kPretreeSymbols, kMaxPretreeBits, Lens);
    BuildCodes(Lens, kPretreeSymbols, Codes);
    Bits = 4 * kPretreeSymbols;
    for (const TItem& t : Items) Bits += Lens[t.Sym] + t.Bits;
  }

  void Write(TBitWriter& W) const {
    for (int i = 0; i < kPretreeSymbols; ++i) W.Put(4, Lens[i]);
    for (const TItem& t : Items) {
      W.Put(Lens[t.Sym], Codes[t.Sym]);
      if (t.Bits) W.Put(t.Bits, t.Value);
    }
  }
};

std::uint32_t Le32(const std::uint8_t* P) {
  return std::uint32_t{P[0]} | std::uint32_t{P[1]} << 8 | std::uint32_t{P[2]} << 16 | std::uint32_t{P[3]} << 24;
}

void PutLe32(std::uint8_t* P, std::uint32_t V) {
  for (int i = 0; i < 4; ++i) P[i] = static_cast<std::uint8_t>(V >> (8 * i));
}

// The E8 call translation of one frame starting at stream position Pos:
// each E8 byte before the frame's last ten is followed by a 32-bit
// relative target that becomes absolute; the decoder maps it back.
void TranslateE8(std::uint8_t* Frame, std::size_t Size, std::int64_t Pos) {
  for (std::size_t i = 0; i + kE8Tail < Size;) {
    if (Frame[i] != 0xE8) {
      ++i;
      continue;
    }
    const std::int64_t cur = Pos + static_cast<std::int64_t>(i);
    const std::int64_t rel = static_cast<std::int32_t>(Le32(Frame + i + 1));
    if (rel >= -cur && rel < kE8Size) {
      const std::int64_t abs = rel < kE8Size - cur ? rel + cur : rel - kE8Size;
      PutLe32(Frame + i + 1, static_cast<std::uint32_t>(abs));
    }
    i += 5;
  }
}

// The latest positions of each hash value, a ring of Ways slots per value.
class THashBuckets {
 public:
  THashBuckets(int Bits, int Ways)
      : FWays(static_cast<unsigned>(Ways)),
        FStore(std::make_unique_for_overwrite<std::int32_t[]>((std::size_t{FWays} << Bits) + 16)),
        FSlots(AlignToLine(FStore.get())),
        FNewest(std::make_unique<std::uint8_t[]>(std::size_t{1} << Bits)),
        FFilled(std::make_unique<std::uint8_t[]>(std::size_t{1} << Bits)),
        FCount(std::size_t{1} << Bits) {}

  // Puts P in the ring of H, over the oldest position there.
  void Enter(std::uint32_t H, std::int32_t P) {
    FSlots[std::size_t{H} * FWays + FNewest[H]] = P;
    FNewest[H] = static_cast<std::uint8_t>((FNewest[H] + 1) & (FWays - 1));
    if (FFilled[H] < FWays) ++FFilled[H];
  }
  // The J-th latest position of H, -1 past the last.
  std::int32_t Candidate(std::uint32_t H, int J) const {
    if (J >= FFilled[H]) return -1;
    return FSlots[std::size_t{H} * FWays + ((FNewest[H] - 1u - static_cast<unsigned>(J)) & (FWays - 1))];
  }
  // Moves every position Shift down; those that fall below 0 are dropped.
  void Rebase(std::int32_t Shift) {
    for (std::size_t h = 0; h < FCount; ++h) {
      for (unsigned j = 0; j < FFilled[h]; ++j) {
        std::int32_t& v = FSlots[h * FWays + ((FNewest[h] - 1u - j) & (FWays - 1))];
        if (v < Shift) {
          FFilled[h] = static_cast<std::uint8_t>(j);
          break;
        }
        v -= Shift;
      }
    }
  }

 private:
  // A ring of up to 16 slots sits in one cache line.
  static std::int32_t* AlignToLine(std::int32_t* P) {
    const auto a = reinterpret_cast<std::uintptr_t>(P);
    return P + ((64 - a % 64) % 64) / sizeof(std::int32_t);
  }

  unsigned FWays;
  std::unique_ptr<std::int32_t[]> FStore;
  std::int32_t* FSlots;
  std::unique_ptr<std::uint8_t[]> FNewest;  // the slot the next position takes
  std::unique_ptr<std::uint8_t[]> FFilled;  // how many slots hold positions
  std::size_t FCount;
};

}  // namespace

struct TLzxEncoder::TImpl {
  struct TMatch {
    std::int32_t Len;
    std::uint32_t Dist;
  };
  // One position of the frame as the parser reaches it: the cheapest way
  // there, the step that ends there (a literal has length 1) and the
  // repeated offsets that way leaves.
  struct TNode {
    std::uint32_t Price;
    std::int32_t Len;
    std::uint32_t Dist;
    std::uint32_t R[3];
  };
  struct TToken {
    std::uint16_t Main;
    std::uint8_t Footer;  // the length symbol, when the main symbol asks for one
    std::uint32_t Extra;  // the offset's extra bits
  };

  explicit TImpl(int WindowBits);
  void Encode(const std::uint8_t* Data, std::size_t Size, std::vector<std::uint8_t>& Out);

  void MakeRoom(std::size_t Size);
  std::uint32_t Hash3(std::int32_t P) const;
  std::uint32_t Hash4(std::int32_t P) const;
  std::uint32_t Hash8(std::int32_t P) const;
  void InsertUpTo(std::int32_t P);
  std::int32_t MatchLength(std::int32_t A, std::int32_t B, std::int32_t Max) const;
  int Collect(std::int32_t P, std::int32_t End, TMatch* Out);
  void SetPrices(std::int32_t Start, std::int32_t End);
  std::uint32_t MatchPrice(int Slot, std::int32_t Len) const;
  void Literal(std::uint8_t C);
  void Match(std::int32_t Len, std::uint32_t Dist);
  void Parse(std::int32_t Start, std::int32_t End);
  void WriteBlock(std::int32_t Start, std::size_t Size, TBitWriter& W);
  void WriteUncompressed(std::int32_t Start, std::size_t Size, int Pad, TBitWriter& W) const;

  std::uint32_t FWindow;
  std::uint32_t FMaxDist;  // the largest distance a position slot codes
  int FMainSymbols;

  // Text: the window behind the frame being coded and the frame itself.
  // Positions are buffer indices; when a frame does not fit, the last
  // window moves to the start.
  std::size_t FBufSize;
  std::unique_ptr<std::uint8_t[]> FBuf;
  std::int32_t FEnd = 0;
  std::int32_t FInsertPos = 0;
  THashBuckets FShort{kShortBits, kShortWays};
  THashBuckets FLong{kLongBits, kLongWays};
  std::unique_ptr<std::int32_t[]> FHead3;

  std::uint64_t FFrame = 0;
  std::int64_t FStreamPos = 0;
  std::uint32_t FR[3] = {1, 1, 1};
  // The lengths the next trees are coded against.
  std::uint8_t FMainLens[kMaxMainSymbols] = {};
  std::uint8_t FLengthLens[kLengthSymbols] = {};
  bool FHaveLens = false;  // whether a coded block set those lengths

  // The parser's prices (bits) and its positions, one more than a frame.
  std::uint16_t FMainPrice[kMaxMainSymbols];
  std::uint16_t FLengthPrice[kLengthSymbols];
  std::unique_ptr<TNode[]> FNodes;
  std::vector<std::int32_t> FSteps;

  // The frame's tokens and statistics.
  std::vector<TToken> FTokens;
  std::uint32_t FMainFreq[kMaxMainSymbols];
  std::uint32_t FLengthFreq[kLengthSymbols];
  std::uint32_t FAlignedFreq[kAlignedSymbols];
  std::uint64_t FExtraBits = 0;
  TTreePlan FPlans[3];
};

TLzxEncoder::TImpl::TImpl(int WindowBits) {
  WindowBits = std::clamp(WindowBits, 15, 21);
  FWindow = 1u << WindowBits;
  FMaxDist = FWindow - 3;
  FMainSymbols = kNumChars + PositionSlots(WindowBits) * 8;
  // Room for the window, a frame and at least a MiB more, so that the
  // text moves (and the buckets are rebased) at most once per MiB.
  FBufSize = std::size_t{FWindow} + std::max<std::size_t>(FWindow, kSlideSize) + kFrameSize;
  // Text and bucket slots are written before they are read, so a short
  // folder touches little of them.
  FBuf = std::make_unique_for_overwrite<std::uint8_t[]>(FBufSize);
  FHead3 = std::make_unique<std::int32_t[]>(std::size_t{1} << kHash3Bits);
  std::fill_n(FHead3.get(), std::size_t{1} << kHash3Bits, -1);
  FTokens.reserve(kFrameSize);
  FNodes = std::make_unique_for_overwrite<TNode[]>(kFrameSize + 1);
}

void TLzxEncoder::TImpl::MakeRoom(std::size_t Size) {
  if (FEnd + Size <= FBufSize) return;
  const std::int32_t shift = FEnd - static_cast<std::int32_t>(FWindow);
  std::memmove(FBuf.get(), FBuf.get() + shift, FWindow);
  FEnd -= shift;
  FInsertPos = std::max(FInsertPos - shift, 0);
  FShort.Rebase(shift);
  FLong.Rebase(shift);
  for (std::size_t h = 0; h < (std::size_t{1} << kHash3Bits); ++h)
    FHead3[h] = FHead3[h] >= shift ? FHead3[h] - shift : -1;
}

std::uint32_t TLzxEncoder::TImpl::Hash3(std::int32_t P) const {
  return ((Le32(FBuf.get() + P) << 8) * 0x9E3779B1u) >> (32 - kHash3Bits);
}

std::uint32_t TLzxEncoder::TImpl::Hash4(std::int32_t P) const {
  return (Le32(FBuf.get() + P) * 0x9E3779B1u) >> (32 - kShortBits);
}

std::uint32_t TLzxEncoder::TImpl::Hash8(std::int32_t P) const {
  std::uint64_t v;
  std::memcpy(&v, FBuf.get() + P, 8);
  return static_cast<std::uint32_t>((v * 0x9E3779B97F4A7C15u) >> (64 - kLongBits));
}

// Enters the positions before P whose eight bytes are all in hand.
void TLzxEncoder::TImpl::InsertUpTo(std::int32_t P) {
  const std::int32_t last = std::min(P, FEnd - 7);
  for (; FInsertPos < last; ++FInsertPos) {
    FHead3[Hash3(FInsertPos)] = FInsertPos;
    FShort.Enter(Hash4(FInsertPos), FInsertPos);
    FLong.Enter(Hash8(FInsertPos), FInsertPos);
  }
}

std::int32_t TLzxEncoder::TImpl::MatchLength(std::int32_t A, std::int32_t B, std::int32_t Max) const {
  const std::uint8_t* a = FBuf.get() + A;
  const std::uint8_t* b = FBuf.get() + B;
  std::int32_t n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; n + 8 <= Max; n += 8) {
      std::uint64_t x, y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + std::countr_zero(x ^ y) / 8;
    }
  }
  while (n < Max && a[n] == b[n]) ++n;
  return n;
}

// The matches at P that end by End, of growing length and each the
// nearest of its length: the latest position with P's first three bytes,
// then the longest among the latest positions with P's first four and
// first eight bytes. P joins the tables. Returns how many went to Out.
int TLzxEncoder::TImpl::Collect(std::int32_t P, std::int32_t End, TMatch* Out) {
  const std::int32_t maxLen = std::min(kMaxMatch, End - P);
  if (maxLen < 3 || P + 3 >= FEnd) return 0;
  const std::uint32_t maxDist = std::min(FMaxDist, static_cast<std::uint32_t>(P));
  InsertUpTo(P);
  const std::int32_t lowest = P - static_cast<std::int32_t>(maxDist);
  int n = 0;
  const std::uint32_t h3 = Hash3(P);
  if (const std::int32_t c3 = FHead3[h3]; c3 >= lowest && MatchLength(P, c3, 3) == 3)
    Out[n++] = {3, static_cast<std::uint32_t>(P - c3)};
  std::int32_t longest = 3;
  // Candidates newest first; each must beat the longest match so far.
  const auto walk = [&](const THashBuckets& Table, std::uint32_t H, int Limit) {
    const std::uint8_t* text = FBuf.get();
    std::int32_t cands[kMaxWays];
    int m = 0;
    for (; m < Limit; ++m) {
      cands[m] = Table.Candidate(H, m);
      if (cands[m] < lowest) break;
      __builtin_prefetch(text + cands[m] + longest);
    }
    for (int j = 0; j < m && longest < maxLen; ++j) {
      const std::int32_t cand = cands[j];
      if (text[cand + longest] != text[P + longest]) continue;
      const std::int32_t len = MatchLength(P, cand, maxLen);
      if (len > longest) {
        longest = len;
        Out[n++] = {len, static_cast<std::uint32_t>(P - cand)};
        if (len >= kNiceLength) break;
      }
    }
  };
  const std::uint32_t h4 = Hash4(P);
  walk(FShort, h4, kShortWays);
  if (P + 8 > FEnd) return n;
  // Longer prefixes are rarer, so their latest positions reach further back.
  const std::uint32_t h8 = Hash8(P);
  if (longest < kNiceLength) {
    longest = std::max(longest, 7);
    walk(FLong, h8, kLongWays);
  }
  FHead3[h3] = P;
  FShort.Enter(h4, P);
  FLong.Enter(h8, P);
  FInsertPos = P + 1;
  return n;
}

// Prices from the code lengths of the block before; symbols it left out,
// and every literal before the first coded block, are priced from the
// frame's own byte counts.
void TLzxEncoder::TImpl::SetPrices(std::int32_t Start, std::int32_t End) {
  std::uint32_t count[kNumChars] = {};
  for (std::int32_t p = Start; p < End; ++p) ++count[FBuf[p]];
  const auto total = static_cast<double>(End - Start);
  for (int c = 0; c < kNumChars; ++c) {
    if (FHaveLens && FMainLens[c]) {
      FMainPrice[c] = FMainLens[c];
    } else {
      const double bits = count[c] ? std::log2(total / count[c]) + (FHaveLens ? 1.0 : 0.5) : kMaxCodeBits;
      FMainPrice[c] = static_cast<std::uint16_t>(std::clamp(bits, 1.0, double{kMaxCodeBits}));
    }
  }
  for (int i = kNumChars; i < FMainSymbols; ++i) {
    if (FHaveLens)
      FMainPrice[i] = FMainLens[i] ? FMainLens[i] : kUnusedMainBits;
    else  // short lengths and near slots are the common ones
      FMainPrice[i] = static_cast<std::uint16_t>(6 + (i - kNumChars) / 8 / 4 + ((i - kNumChars) % 8) / 2);
  }
  for (int i = 0; i < kLengthSymbols; ++i)
    FLengthPrice[i] = FHaveLens && FLengthLens[i] ? FLengthLens[i] : (FHaveLens ? kUnusedLengthBits : 4 + i / 16);
}

std::uint32_t TLzxEncoder::TImpl::MatchPrice(int Slot, std::int32_t Len) const {
  const int header = std::min(Len - kMinMatch, kPrimaryLengths);
  std::uint32_t price = FMainPrice[kNumChars + Slot * 8 + header] + kSlots.Extra[Slot];
  if (header == kPrimaryLengths) price += FLengthPrice[Len - kMinMatch - kPrimaryLengths];
  return price;
}

void TLzxEncoder::TImpl::Literal(std::uint8_t C) {
  FTokens.push_back({C, 0, 0});
  ++FMainFreq[C];
}

// Codes a match with the repeated-offset rules the decoder follows.
void TLzxEncoder::TImpl::Match(std::int32_t Len, std::uint32_t Dist) {
  int slot;
  std::uint32_t extra = 0;
  if (Dist == FR[0]) {
    slot = 0;
  } else if (Dist == FR[1]) {
    slot = 1;
    std::swap(FR[0], FR[1]);
  } else if (Dist == FR[2]) {
    slot = 2;
    std::swap(FR[0], FR[2]);
  } else {
    const std::uint32_t formatted = Dist + 2;
    slot = SlotOf(formatted);
    extra = formatted - kSlots.Base[slot];
    FR[2] = FR[1];
    FR[1] = FR[0];
    FR[0] = Dist;
  }
  const int header = std::min(Len - kMinMatch, kPrimaryLengths);
  const auto main = static_cast<std::uint16_t>(kNumChars + slot * 8 + header);
  const auto footer = static_cast<std::uint8_t>(header == kPrimaryLengths ? Len - kMinMatch - kPrimaryLengths : 0);
  FTokens.push_back({main, footer, extra});
  ++FMainFreq[main];
  if (header == kPrimaryLengths) ++FLengthFreq[footer];
  if (kSlots.Extra[slot] >= 3) ++FAlignedFreq[extra & 7];
  FExtraBits += kSlots.Extra[slot];
}

// The cheapest way through the frame by the current prices: each position
// is reached by a literal or a match from an earlier one; a match at a
// repeated offset is priced by its slot, as the decoder reads it. The way
// found is coded into tokens.
void TLzxEncoder::TImpl::Parse(std::int32_t Start, std::int32_t End) {
  SetPrices(Start, End);
  const std::int32_t n = End - Start;
  TNode* nodes = FNodes.get();
  for (std::int32_t i = 1; i <= n; ++i) nodes[i].Price = UINT32_MAX;
  nodes[0] = {0, 0, 0, {FR[0], FR[1], FR[2]}};
  TMatch cands[kMaxCandidates];
  for (std::int32_t i = 0; i < n;) {
    TNode& node = nodes[i];
    if (i > 0) {
      // The repeated offsets this position's cheapest way leaves.
      const TNode& from = nodes[i - node.Len];
      std::copy_n(from.R, 3, node.R);
      if (node.Len > 1) {
        if (node.Dist == node.R[0]) {
        } else if (node.Dist == node.R[1]) {
          std::swap(node.R[0], node.R[1]);
        } else if (node.Dist == node.R[2]) {
          std::swap(node.R[0], node.R[2]);
        } else {
          node.R[2] = node.R[1];
          node.R[1] = node.R[0];
          node.R[0] = node.Dist;
        }
      }
    }
    const std::int32_t p = Start + i;
    const std::uint32_t base = node.Price;
    const auto relax = [nodes](std::int32_t To, std::uint32_t Price, std::int32_t Len, std::uint32_t Dist) {
      TNode& t = nodes[To];
      if (Price < t.Price) {
        t.Price = Price;
        t.Len = Len;
        t.Dist = Dist;
      }
    };
    relax(i + 1, base + FMainPrice[FBuf[p]], 1, 0);
    const std::int32_t maxLen = std::min(kMaxMatch, n - i);
    std::int32_t jump = 0;
    if (maxLen >= kMinMatch) {
      const std::uint32_t maxDist = std::min(FMaxDist, static_cast<std::uint32_t>(p));
      for (int k = 0; k < 3; ++k) {
        const std::uint32_t d = node.R[k];
        if (d > maxDist || (k > 0 && d == node.R[0]) || (k > 1 && d == node.R[1])) continue;
        const std::int32_t len = MatchLength(p, p - static_cast<std::int32_t>(d), maxLen);
        for (std::int32_t l = kMinMatch; l <= len; ++l) relax(i + l, base + MatchPrice(k, l), l, d);
        jump = std::max(jump, len);
      }
      const int found = Collect(p, End, cands);
      std::int32_t from = kMinMatch + 1;
      for (int c = 0; c < found; ++c) {
        const std::uint32_t d = cands[c].Dist;
        const std::int32_t len = cands[c].Len;
        if (d != node.R[0] && d != node.R[1] && d != node.R[2]) {
          const int slot = SlotOf(d + 2);
          for (std::int32_t l = from; l <= len; ++l) relax(i + l, base + MatchPrice(slot, l), l, d);
        }
        from = len + 1;
        jump = std::max(jump, len);
      }
    }
    // A long match is taken as it is (its relaxation above reached its
    // end); the positions it covers are not weighed.
    i += jump >= kNiceLength ? jump : 1;
  }
  // Walk back from the end, then code the steps in order.
  std::int32_t count = 0;
  for (std::int32_t i = n; i > 0; i -= nodes[i].Len) ++count;
  std::vector<std::int32_t>& steps = FSteps;
  steps.resize(static_cast<std::size_t>(count));
  for (std::int32_t i = n, k = count; i > 0; i -= nodes[i].Len) steps[static_cast<std::size_t>(--k)] = i;
  std::int32_t at = 0;
  for (const std::int32_t to : steps) {
    const TNode& t = nodes[to];
    if (t.Len == 1)
      Literal(FBuf[Start + at]);
    else
      Match(t.Len, t.Dist);
    at = to;
  }
}

void TLzxEncoder::TImpl::WriteUncompressed(std::int32_t Start, std::size_t Size, int Pad, TBitWriter& W) const {
  W.Put(3, kUncompressed);
  W.Put(16, static_cast<std::uint32_t>(Size >> 8));
  W.Put(8, static_cast<std::uint32_t>(Size & 0xFF));
  W.Put(Pad, 0);
  std::uint8_t r[12];
  for (int i = 0; i < 3; ++i) PutLe32(r + 4 * i, FR[i]);
  W.Bytes(r, sizeof r);
  // An odd block would be padded to a word before the next block; only a
  // folder's last frame is odd, and a byte left after it is an error to
  // some readers, so none is written.
  W.Bytes(FBuf.get() + Start, Size);
}

// Codes the frame's tokens as one block of the kind that comes out smallest.
void TLzxEncoder::TImpl::WriteBlock(std::int32_t Start, std::size_t Size, TBitWriter& W) {
  std::uint8_t mainLens[kMaxMainSymbols], lengthLens[kLengthSymbols], alignedLens[kAlignedSymbols];
  BuildLengths(FMainFreq, FMainSymbols, kMaxCodeBits, mainLens);
  BuildLengths(FLengthFreq, kLengthSymbols, kMaxCodeBits, lengthLens);
  BuildLengths(FAlignedFreq, kAlignedSymbols, kMaxAlignedBits, alignedLens);
  FPlans[0].Plan(FMainLens, mainLens, kNumChars);
  FPlans[1].Plan(FMainLens + kNumChars, mainLens + kNumChars, FMainSymbols - kNumChars);
  FPlans[2].Plan(FLengthLens, lengthLens, kLengthSymbols);

  // Sizes in bits: the verbatim block, what aligned offsets change, and
  // the uncompressed block with its 1 to 16 bits of padding.
  std::int64_t verbatim = 27 + FExtraBits;
  for (const TTreePlan& p : FPlans) verbatim += static_cast<std::int64_t>(p.Bits);
  for (int i = 0; i < FMainSymbols; ++i) verbatim += std::int64_t{FMainFreq[i]} * mainLens[i];
  for (int i = 0; i < kLengthSymbols; ++i) verbatim += std::int64_t{FLengthFreq[i]} * lengthLens[i];
  std::int64_t alignedGain = 3 * kAlignedSymbols;
  for (int i = 0; i < kAlignedSymbols; ++i) alignedGain += std::int64_t{FAlignedFreq[i]} * (alignedLens[i] - 3);
  const bool aligned = alignedGain < 0;
  const std::int64_t compressed = verbatim + (aligned ? alignedGain : 0);
  const int pad = 16 - (W.Pending() + 27) % 16;
  const auto uncompressed = static_cast<std::int64_t>(27 + pad + 96 + 8 * Size);
  const auto roundUp = [&W](std::int64_t bits) { return (W.Pending() + bits + 15) / 16; };
  if (roundUp(uncompressed) <= roundUp(compressed)) {
    WriteUncompressed(Start, Size, pad, W);
    return;
  }

  std::uint16_t mainCodes[kMaxMainSymbols], lengthCodes[kLengthSymbols], alignedCodes[kAlignedSymbols];
  BuildCodes(mainLens, FMainSymbols, mainCodes);
  BuildCodes(lengthLens, kLengthSymbols, lengthCodes);
  BuildCodes(alignedLens, kAlignedSymbols, alignedCodes);
  W.Put(3, aligned ? kAligned : kVerbatim);
  W.Put(16, static_cast<std::uint32_t>(Size >> 8));
  W.Put(8, static_cast<std::uint32_t>(Size & 0xFF));
  if (aligned)
    for (const std::uint8_t len : alignedLens) W.Put(3, len);
  for (const TTreePlan& p : FPlans) p.Write(W);
  for (const TToken& t : FTokens) {
    W.Put(mainLens[t.Main], mainCodes[t.Main]);
    if (t.Main < kNumChars) continue;
    const int m = t.Main - kNumChars;
    if ((m & 7) == kPrimaryLengths) W.Put(lengthLens[t.Footer], lengthCodes[t.Footer]);
    const int extra = kSlots.Extra[m >> 3];
    if (aligned && extra >= 3) {
      W.Put(extra - 3, t.Extra >> 3);
      W.Put(alignedLens[t.Extra & 7], alignedCodes[t.Extra & 7]);
    } else if (extra) {
      W.Put(extra, t.Extra);
    }
  }
  std::copy_n(mainLens, FMainSymbols, FMainLens);
  std::copy_n(lengthLens, kLengthSymbols, FLengthLens);
  FHaveLens = true;
}

void TLzxEncoder::TImpl::Encode(const std::uint8_t* Data, std::size_t Size, std::vector<std::uint8_t>& Out) {
  if (Size > kFrameSize) throw std::invalid_argument("an LZX frame holds at most 32768 bytes");
  if (Size == 0) return;
  MakeRoom(Size);
  const std::int32_t start = FEnd;
  std::memcpy(FBuf.get() + start, Data, Size);
  FEnd += static_cast<std::int32_t>(Size);
  if (FFrame < kE8Frames) TranslateE8(FBuf.get() + start, Size, FStreamPos);

  FTokens.clear();
  std::fill_n(FMainFreq, kMaxMainSymbols, 0u);
  std::fill_n(FLengthFreq, kLengthSymbols, 0u);
  std::fill_n(FAlignedFreq, kAlignedSymbols, 0u);
  FExtraBits = 0;
  Parse(start, FEnd);

  // Room for the largest frame, growing geometrically when Out collects many.
  const std::size_t need = Out.size() + Size + Size / 8 + 64;
  if (Out.capacity() < need) Out.reserve(std::max(need, 2 * Out.capacity()));
  TBitWriter w(Out);
  if (FFrame == 0) {
    // The stream header: E8 translation on, and its translation size.
    w.Put(1, 1);
    w.Put(16, static_cast<std::uint32_t>(kE8Size >> 16));
    w.Put(16, static_cast<std::uint32_t>(kE8Size & 0xFFFF));
  }
  WriteBlock(start, Size, w);
  w.Align();
  ++FFrame;
  FStreamPos += static_cast<std::int64_t>(Size);
}

TLzxEncoder::TLzxEncoder(int WindowBits) : FImpl(std::make_unique<TImpl>(WindowBits)) {}

TLzxEncoder::~TLzxEncoder() = default;

void TLzxEncoder::EncodeFrame(const std::uint8_t* Data, std::size_t Size, std::vector<std::uint8_t>& Out) {
  FImpl->Encode(Data, Size, Out);
}

}  // namespace vsk::cab
