#include "libs/ace/acelz77.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vsk {

namespace {

constexpr int kMainLast = kAceMainSymbols - 1;
constexpr int kLengthLast = kAceLengthSymbols - 1;
constexpr int kMaxAlphabet = kAceMainSymbols;
constexpr UInt16 kNoSymbol = 0xFFFF;
constexpr std::size_t kInputSize = 1 << 16;
constexpr std::size_t kFlushSize = 1 << 16;
// Distances up to these (less one) allow matches of two and three bytes.
constexpr UInt32 kMaxDistanceAt2 = 255;
constexpr UInt32 kMaxDistanceAt3 = 8191;

// Sorts W[Left..Right] from the largest down, carrying Org along. The scans
// stay inside the range, which the format's own sort does for every input.
void SortRange(Byte* W, UInt16* Org, int Left, int Right) {
  int l = Left, r = Right;
  const Byte pivot = W[Right];
  do {
    while (l < Right && W[l] > pivot) ++l;
    while (r > Left && W[r] < pivot) --r;
    if (l <= r) {
      std::swap(W[l], W[r]);
      std::swap(Org[l], Org[r]);
      ++l;
      --r;
    }
  } while (l < r);
  if (Left < r) {
    if (Left < r - 1) {
      SortRange(W, Org, Left, r);
    } else if (W[Left] < W[r]) {
      std::swap(W[Left], W[r]);
      std::swap(Org[Left], Org[r]);
    }
  }
  if (Right > l) {
    if (l < Right - 1) {
      SortRange(W, Org, l, Right);
    } else if (W[l] < W[Right]) {
      std::swap(W[l], W[Right]);
      std::swap(Org[l], Org[Right]);
    }
  }
}

// A lookup table of 2^MaxWidth entries indexed by the next MaxWidth bits.
// A single used symbol (or none) takes a one-bit code, as the format has it.
// False for a width above MaxWidth or codes that do not fit.
bool BuildTable(Byte* Widths, int Count, int MaxWidth, UInt16* Table) {
  const std::size_t size = std::size_t{1} << MaxWidth;
  std::fill(Table, Table + size, kNoSymbol);
  UInt16 order[kMaxAlphabet];
  const int used = AceCodeOrder(Widths, Count, order);
  if (used < 2) {
    const UInt16 sym = order[0];
    if (Widths[sym] > MaxWidth) return false;
    std::fill(Table, Table + (size >> Widths[sym]), sym);
    Widths[sym] = 1;
    return true;
  }
  std::size_t code = 0;
  for (int i = 0; i < used; ++i) {
    const UInt16 sym = order[i];
    if (Widths[sym] > MaxWidth) return false;
    const std::size_t span = size >> Widths[sym];
    if (code + span > size) return false;
    std::fill(Table + code, Table + code + span, sym);
    code += span;
  }
  return true;
}

}  // namespace

int AceCodeOrder(const Byte* Widths, int Count, UInt16* Order) {
  Byte w[kMaxAlphabet];
  UInt16 org[kMaxAlphabet];
  Count = std::clamp(Count, 0, kMaxAlphabet);
  for (int i = 0; i < Count; ++i) {
    w[i] = Widths[i];
    org[i] = static_cast<UInt16>(i);
  }
  if (Count > 1) SortRange(w, org, 0, Count - 1);
  int used = 0;
  while (used < Count && w[used] != 0) ++used;
  for (int i = 0; i < used; ++i) Order[i] = org[used - 1 - i];
  if (used == 0) Order[0] = Count > 0 ? org[0] : 0;
  return used;
}

// The bit stream of one file: 32-bit little-endian words, top bit first.
// Past the end of the packed bytes it reads zeros; whether any of those
// were used is asked with PastEnd.
class TAceBits {
 public:
  TAceBits() : In_(new Byte[kInputSize]) {}

  void Start(const TAceLz77Decoder::TSource* Source) {
    Source_ = Source;
    InPos_ = InEnd_ = 0;
    Buf_ = 0;
    Count_ = 0;
    BitsIn_ = 0;
    RealBytes_ = 0;
    Ended_ = false;
    Refill();
  }

  UInt32 Peek(int N) const { return N == 0 ? 0 : static_cast<UInt32>(Buf_ >> (64 - N)); }
  void Skip(int N) {
    Buf_ <<= N;
    Count_ -= N;
    if (Count_ <= 32) Refill();
  }
  UInt32 Get(int N) {
    const UInt32 v = Peek(N);
    Skip(N);
    return v;
  }
  bool PastEnd() const { return Ended_ && BitsIn_ - static_cast<UInt64>(Count_) > RealBytes_ * 8; }

 private:
  void Refill() {
    while (Count_ <= 32) {
      Buf_ |= static_cast<UInt64>(NextWord()) << (32 - Count_);
      Count_ += 32;
      BitsIn_ += 32;
    }
  }

  UInt32 NextWord() {
    if (InEnd_ - InPos_ < 4 && !Ended_) {
      std::memmove(In_.get(), In_.get() + InPos_, InEnd_ - InPos_);
      InEnd_ -= InPos_;
      InPos_ = 0;
      while (InEnd_ < 4) {
        const std::size_t got = (*Source_)(In_.get() + InEnd_, kInputSize - InEnd_);
        if (got == 0) {
          Ended_ = true;
          break;
        }
        InEnd_ += got;
        RealBytes_ += got;
      }
    }
    UInt32 w = 0;
    for (int i = 0; i < 4; ++i) {
      if (InPos_ < InEnd_) w |= static_cast<UInt32>(In_[InPos_++]) << (8 * i);
    }
    return w;
  }

  const TAceLz77Decoder::TSource* Source_ = nullptr;
  std::unique_ptr<Byte[]> In_;
  std::size_t InPos_ = 0, InEnd_ = 0;
  UInt64 Buf_ = 0;
  int Count_ = 0;
  UInt64 BitsIn_ = 0;
  UInt64 RealBytes_ = 0;
  bool Ended_ = false;
};

struct TAceLz77Decoder::TState {
  TAceBits Bits;
  Byte MainWidths[kAceMainSymbols] = {};
  Byte LengthWidths[kAceLengthSymbols] = {};
  UInt16 MainTable[1 << kAceMaxCodeWidth] = {};
  UInt16 LengthTable[1 << kAceMaxCodeWidth] = {};
  UInt32 Block = 0;
  UInt32 Old[4] = {};

  std::unique_ptr<Byte[]> Window;
  std::size_t WindowSize = 0;
  std::size_t Pos = 0;
  std::size_t FlushFrom = 0;
  // Bytes behind Pos that hold decoded data, at most WindowSize.
  std::size_t Filled = 0;
  const TSink* Sink = nullptr;

  bool ReadWidths(int MaxEl, Byte* Widths, UInt16* Table);
  bool ReadTables();
  void SetWindow(std::size_t Need, bool Solid);
  bool Flush();
  bool Put(Byte B) {
    Window[Pos++] = B;
    if (Filled < WindowSize) ++Filled;
    if (Pos == WindowSize || Pos - FlushFrom >= kFlushSize) return Flush();
    return true;
  }
  bool Copy(std::size_t Distance, std::size_t Length);
};

bool TAceLz77Decoder::TState::ReadWidths(int MaxEl, Byte* Widths, UInt16* Table) {
  int last = static_cast<int>(Bits.Get(9));
  if (last > MaxEl) last = MaxEl;
  const Byte lower = static_cast<Byte>(Bits.Get(4));
  const int upper = static_cast<int>(Bits.Get(4));
  Byte widthWidths[16];
  for (int i = 0; i <= upper; ++i) widthWidths[i] = static_cast<Byte>(Bits.Get(3));
  UInt16 widthTable[1 << kAceWidthCodeWidth];
  if (!BuildTable(widthWidths, upper + 1, kAceWidthCodeWidth, widthTable)) return false;

  std::memset(Widths, 0, static_cast<std::size_t>(MaxEl) + 1);
  int j = 0;
  while (j <= last) {
    if (Bits.PastEnd()) return false;
    const UInt16 c = widthTable[Bits.Peek(kAceWidthCodeWidth)];
    if (c == kNoSymbol) return false;
    Bits.Skip(widthWidths[c]);
    if (c < upper) {
      Widths[j++] = static_cast<Byte>(c);
    } else {
      // A run of zero steps.
      for (int run = static_cast<int>(Bits.Get(4)) + 4; run > 0 && j <= last; --run) Widths[j++] = 0;
    }
  }
  // The widths are sent as steps modulo `upper` from one to the next, and
  // lowered by `lower`.
  if (upper != 0) {
    for (int i = 1; i <= last; ++i) Widths[i] = static_cast<Byte>((Widths[i] + Widths[i - 1]) % upper);
  }
  for (int i = 0; i <= last; ++i) {
    if (Widths[i] == 0) continue;
    const int w = Widths[i] + lower;
    if (w > kAceMaxCodeWidth) return false;
    Widths[i] = static_cast<Byte>(w);
  }
  return BuildTable(Widths, last + 1, kAceMaxCodeWidth, Table);
}

bool TAceLz77Decoder::TState::ReadTables() {
  if (!ReadWidths(kMainLast, MainWidths, MainTable) || !ReadWidths(kLengthLast, LengthWidths, LengthTable))
    return false;
  Block = Bits.Get(15);
  return !Bits.PastEnd();
}

void TAceLz77Decoder::TState::SetWindow(std::size_t Need, bool Solid) {
  if (!Solid) {
    Filled = 0;
    Pos = 0;
  }
  if (Need > WindowSize) {
    std::unique_ptr<Byte[]> grown(new Byte[Need]);
    // The history so far moves to the start of the larger window.
    const std::size_t keep = Filled;
    for (std::size_t i = 0; i < keep; ++i) grown[i] = Window[(Pos + WindowSize - keep + i) & (WindowSize - 1)];
    Window = std::move(grown);
    WindowSize = Need;
    Pos = keep;
  }
  FlushFrom = Pos;
}

bool TAceLz77Decoder::TState::Flush() {
  const std::size_t n = Pos - FlushFrom;
  const bool more = n == 0 || (*Sink)(Window.get() + FlushFrom, n);
  if (Pos == WindowSize) Pos = 0;
  FlushFrom = Pos;
  return more;
}

bool TAceLz77Decoder::TState::Copy(std::size_t Distance, std::size_t Length) {
  const std::size_t mask = WindowSize - 1;
  std::size_t from = (Pos - Distance) & mask;
  while (Length > 0) {
    // In one piece while neither end wraps and no byte read is written by
    // the same piece (a distance near the window size reads just ahead of
    // Pos, which memmove allows).
    std::size_t n = std::min({Length, WindowSize - Pos, WindowSize - from});
    if (Distance >= n) {
      std::memmove(Window.get() + Pos, Window.get() + from, n);
    } else {
      for (std::size_t i = 0; i < n; ++i) Window[Pos + i] = Window[from + i];
    }
    Pos += n;
    from = (from + n) & mask;
    Length -= n;
    Filled = std::min(Filled + n, WindowSize);
    if (Pos == WindowSize || Pos - FlushFrom >= kFlushSize) {
      if (!Flush()) return false;
    }
  }
  return true;
}

TAceLz77Decoder::TAceLz77Decoder() : S_(std::make_unique<TState>()) {}
TAceLz77Decoder::~TAceLz77Decoder() = default;

TAceDecodeResult TAceLz77Decoder::Decode(UInt64 Size, int DictionaryBits, bool Solid, const TSource& Source,
                                         const TSink& Sink) {
  TState& s = *S_;
  if (DictionaryBits < kAceMinDictionaryBits || DictionaryBits > kAceMaxDictionaryBits) return TAceDecodeResult::Damaged;
  const std::size_t dictionary = std::size_t{1} << DictionaryBits;
  s.SetWindow(dictionary, Solid);
  s.Sink = &Sink;
  s.Block = 0;
  std::fill(std::begin(s.Old), std::end(s.Old), 0u);
  if (Size == 0) return TAceDecodeResult::Done;
  s.Bits.Start(&Source);

  UInt64 left = Size;
  while (left > 0) {
    if (s.Block == 0) {
      if (!s.ReadTables()) return TAceDecodeResult::Damaged;
      continue;
    }
    if (s.Bits.PastEnd()) return TAceDecodeResult::Damaged;
    const UInt16 c = s.MainTable[s.Bits.Peek(kAceMaxCodeWidth)];
    if (c == kNoSymbol) return TAceDecodeResult::Damaged;
    s.Bits.Skip(s.MainWidths[c]);
    --s.Block;
    if (c < 256) {
      if (!s.Put(static_cast<Byte>(c))) return TAceDecodeResult::Stopped;
      --left;
      continue;
    }
    UInt32 distance;
    std::size_t length;
    if (c < 260) {
      // One of the last four distances, which moves to the front.
      const int k = c - 256;
      distance = s.Old[k];
      for (int i = k; i > 0; --i) s.Old[i] = s.Old[i - 1];
      s.Old[0] = distance;
      length = k < 2 ? 2 : 3;
    } else {
      const int bits = c - 260;
      distance = bits > 1 ? (1u << (bits - 1)) + s.Bits.Get(bits - 1) : static_cast<UInt32>(bits);
      for (int i = 3; i > 0; --i) s.Old[i] = s.Old[i - 1];
      s.Old[0] = distance;
      length = 2 + (distance > kMaxDistanceAt2 ? 1 : 0) + (distance > kMaxDistanceAt3 ? 1 : 0);
    }
    const UInt16 l = s.LengthTable[s.Bits.Peek(kAceMaxCodeWidth)];
    if (l == kNoSymbol) return TAceDecodeResult::Damaged;
    s.Bits.Skip(s.LengthWidths[l]);
    length += l;
    const std::size_t dist = static_cast<std::size_t>(distance) + 1;
    if (dist > s.Filled || dist > dictionary || length > left) return TAceDecodeResult::Damaged;
    if (!s.Copy(dist, length)) return TAceDecodeResult::Stopped;
    left -= length;
  }
  if (s.Bits.PastEnd()) return TAceDecodeResult::Damaged;
  return s.Flush() ? TAceDecodeResult::Done : TAceDecodeResult::Stopped;
}

TAceDecodeResult TAceLz77Decoder::Store(UInt64 Size, int DictionaryBits, bool Solid, const TSource& Source,
                                        const TSink& Sink) {
  TState& s = *S_;
  DictionaryBits = std::clamp(DictionaryBits, kAceMinDictionaryBits, kAceMaxDictionaryBits);
  s.SetWindow(std::size_t{1} << DictionaryBits, Solid);
  s.Sink = &Sink;
  UInt64 left = Size;
  while (left > 0) {
    const std::size_t room = std::min<UInt64>(left, std::min(s.WindowSize - s.Pos, kFlushSize));
    const std::size_t got = Source(s.Window.get() + s.Pos, room);
    if (got == 0) break;
    s.Pos += got;
    s.Filled = std::min(s.Filled + got, s.WindowSize);
    left -= got;
    if (!s.Flush()) return TAceDecodeResult::Stopped;
  }
  return left == 0 ? TAceDecodeResult::Done : TAceDecodeResult::Damaged;
}

}  // namespace vsk
