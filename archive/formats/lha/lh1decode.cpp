#include "archive/formats/lha/lh1decode.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vsk {

namespace {

constexpr int kMinMatch = 3;
// The ring starts as spaces, the first byte written going to its end less
// the longest match.
constexpr int kRingStart = 4096 - 60;

// Upper 6 bits of a match position and the length of their code, by the
// 8 bits that begin the code.
struct TPositionCode {
  std::array<Byte, 256> Upper{};
  std::array<Byte, 256> Bits{};
};

constexpr TPositionCode MakePositionCode() {
  TPositionCode t;
  // First prefix, number of upper values and prefixes per value, by length.
  struct TGroup {
    int First, Values, Span, Bits;
  };
  constexpr TGroup groups[] = {{0x00, 1, 32, 3}, {0x20, 3, 16, 4}, {0x50, 8, 8, 5},
                               {0x90, 12, 4, 6}, {0xC0, 24, 2, 7}, {0xF0, 16, 1, 8}};
  int upper = 0;
  for (const auto& g : groups) {
    for (int v = 0; v < g.Values; ++v, ++upper) {
      for (int s = 0; s < g.Span; ++s) {
        const int p = g.First + v * g.Span + s;
        t.Upper[static_cast<std::size_t>(p)] = static_cast<Byte>(upper);
        t.Bits[static_cast<std::size_t>(p)] = static_cast<Byte>(g.Bits);
      }
    }
  }
  return t;
}

constexpr TPositionCode kPositionCode = MakePositionCode();

}  // namespace

TLh1Decoder::TLh1Decoder() : FRing(new Byte[kRingSize]), FOut(new Byte[kOutSize]) {}

TLh1Decoder::~TLh1Decoder() = default;

// Every symbol a leaf of frequency 1; the inner nodes pair neighbours.
void TLh1Decoder::StartTree() {
  for (int i = 0; i < kSymbols; ++i) {
    FFreq[i] = 1;
    FChild[i] = static_cast<UInt16>(i + kNodes);
    FParent[i + kNodes] = static_cast<UInt16>(i);
  }
  for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
    FFreq[j] = static_cast<UInt16>(FFreq[i] + FFreq[i + 1]);
    FChild[j] = static_cast<UInt16>(i);
    FParent[i] = FParent[i + 1] = static_cast<UInt16>(j);
  }
  FFreq[kNodes] = 0xFFFF;  // stops the search for a place upward
  FParent[kRoot] = 0;
}

// Halves the leaves' frequencies and builds the inner nodes anew, each
// sum placed after the nodes of lower or equal frequency.
void TLh1Decoder::Rebuild() {
  int j = 0;
  for (int i = 0; i < kNodes; ++i) {
    if (FChild[i] >= kNodes) {
      FFreq[j] = static_cast<UInt16>((FFreq[i] + 1) / 2);
      FChild[j] = FChild[i];
      ++j;
    }
  }
  for (int i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
    const UInt16 f = static_cast<UInt16>(FFreq[i] + FFreq[i + 1]);
    int k = n - 1;
    while (f < FFreq[k]) --k;
    ++k;
    const auto moved = static_cast<std::size_t>(n - k);
    std::memmove(&FFreq[k + 1], &FFreq[k], moved * sizeof FFreq[0]);
    FFreq[k] = f;
    std::memmove(&FChild[k + 1], &FChild[k], moved * sizeof FChild[0]);
    FChild[k] = static_cast<UInt16>(i);
  }
  for (int i = 0; i < kNodes; ++i) {
    const int k = FChild[i];
    FParent[k] = static_cast<UInt16>(i);
    if (k < kNodes) FParent[k + 1] = static_cast<UInt16>(i);
  }
}

// Counts the symbol on its way to the root; a node that now outweighs its
// right neighbour trades places with the last node of lower frequency,
// which keeps the frequencies sorted.
void TLh1Decoder::Update(int Symbol) {
  if (FFreq[kRoot] == kMaxFreq) Rebuild();
  int c = FParent[Symbol + kNodes];
  do {
    const UInt16 k = ++FFreq[c];
    int l = c + 1;
    if (k > FFreq[l]) {
      while (k > FFreq[++l]) {
      }
      --l;
      FFreq[c] = FFreq[l];
      FFreq[l] = k;
      const int i = FChild[c];
      FParent[i] = static_cast<UInt16>(l);
      if (i < kNodes) FParent[i + 1] = static_cast<UInt16>(l);
      const int j = FChild[l];
      FChild[l] = static_cast<UInt16>(i);
      FParent[j] = static_cast<UInt16>(c);
      if (j < kNodes) FParent[j + 1] = static_cast<UInt16>(c);
      FChild[c] = static_cast<UInt16>(j);
      c = l;
    }
    c = FParent[c];
  } while (c != 0);
}

int TLh1Decoder::DecodeChar() {
  int c = FChild[kRoot];
  // Children come in pairs below the root, so c + 1 stays inside the table.
  while (c < kNodes) c = FChild[std::min(c + static_cast<int>(FBits.Get(1)), kRoot - 1)];
  c -= kNodes;
  Update(c);
  return c;
}

UInt32 TLh1Decoder::DecodePosition() {
  const UInt32 p = FBits.Get(8);
  const int extra = kPositionCode.Bits[p] - 2;
  const UInt32 low = ((p << extra) | FBits.Get(extra)) & 0x3F;
  return static_cast<UInt32>(kPositionCode.Upper[p]) << 6 | low;
}

void TLh1Decoder::Put(TCodecSink& Out, Byte B) {
  FOut[static_cast<std::size_t>(FOutFill++)] = B;
  if (FOutFill == kOutSize) {
    Out.Write(FOut.get(), FOutFill);
    FOutFill = 0;
  }
}

TLh1Decoder::TResult TLh1Decoder::Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize, const bool* Cancel) {
  FOutFill = 0;
  if (UnpackedSize <= 0) return TResult::Ok;
  StartTree();
  std::memset(FRing.get(), ' ', kRingSize);
  FBits.Start(In);
  Byte* const ring = FRing.get();
  UInt32 r = kRingStart;
  Int64 count = 0;
  TResult result = TResult::Ok;
  Int64 polled = 0;
  while (count < UnpackedSize) {
    const int c = DecodeChar();
    if (c < 256) {
      const Byte b = static_cast<Byte>(c);
      Put(Out, b);
      ring[r] = b;
      r = (r + 1) & (kRingSize - 1);
      ++count;
    } else {
      const UInt32 position = DecodePosition();
      Int64 len = c - 256 + kMinMatch;
      if (len > UnpackedSize - count) len = UnpackedSize - count;
      UInt32 i = (r - position - 1) & (kRingSize - 1);
      for (Int64 k = 0; k < len; ++k) {
        const Byte b = ring[i];
        i = (i + 1) & (kRingSize - 1);
        Put(Out, b);
        ring[r] = b;
        r = (r + 1) & (kRingSize - 1);
      }
      count += len;
    }
    if (FBits.Exhausted()) {
      result = TResult::Corrupt;
      break;
    }
    if (count - polled >= kOutSize) {
      polled = count;
      if (Cancel && *Cancel) {
        result = TResult::Cancelled;
        break;
      }
    }
  }
  if (FOutFill > 0) Out.Write(FOut.get(), FOutFill);
  FOutFill = 0;
  return result;
}

}  // namespace vsk
