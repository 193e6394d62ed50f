#include "archive/formats/lha/lzhencode.h"

#include <algorithm>
#include <cstring>

#include "archive/core/zipcommon.h"

namespace vsk {

namespace {

constexpr int kTBit = 5;  // count field of the code-length code
constexpr int kCBit = 9;  // count field of the literal/length code
// How far a hash chain is followed: enough for a good ratio on text,
// bounded so that repetitive input stays fast.
constexpr int kMaxChain = 192;
// A block is sent before a new flag group when fewer bytes than this are
// free: 8 matches of 3 bytes and their flag byte always fit.
constexpr Int32 kGroupReserve = 3 * 8;
constexpr Int32 kNil = -1;

int BitLength(UInt32 V) {
  int n = 0;
  while (V) {
    V >>= 1;
    ++n;
  }
  return n;
}

}  // namespace

TLzhEncoder::TLzhEncoder() = default;

TLzhEncoder::~TLzhEncoder() = default;

// ---- input and match finding

// Reads until the text is full or the input ends; false at the end.
bool TLzhEncoder::Fill() {
  while (!FEof && FFill < FTextSize) {
    const Int32 n = FIn->Read(FText.get() + FFill, FTextSize - FFill);
    if (n <= 0) {
      FEof = true;
      break;
    }
    FFill += n;
    FRemainder += n;
    FBytesRead += n;
  }
  return !FEof;
}

// Moves the last dictionary and look-ahead to the start of the text; the
// positions kept in the chains move with it, older ones are forgotten.
void TLzhEncoder::Slide() {
  std::memmove(FText.get(), FText.get() + FDict, static_cast<std::size_t>(FFill - FDict));
  FFill -= FDict;
  FPos -= FDict;
  FMatchPos -= FDict;
  const auto rebase = [this](Int32& v) { v = v >= FDict ? v - FDict : kNil; };
  for (Int32 i = 0; i < (1 << kHashBits); ++i) rebase(FHead[i]);
  for (Int32 i = 0; i < FDict; ++i) rebase(FPrev[i]);
}

void TLzhEncoder::Insert(Int32 Pos) {
  if (FFill - Pos < kMinMatch) return;
  const Byte* p = FText.get() + Pos;
  const UInt32 h = ((UInt32{p[0]} << 10) ^ (UInt32{p[1]} << 5) ^ p[2]) & ((1u << kHashBits) - 1);
  FPrev[Pos & (FDict - 1)] = FHead[h];
  FHead[h] = Pos;
}

// The chain of Pos was just extended by Pos itself: its successors are the
// earlier occurrences, newest first, so the first longest one found is the
// most recent.
Int32 TLzhEncoder::FindMatch(Int32 Pos, Int32 Limit, Int32& MatchPos) {
  Limit = std::min<Int32>(Limit, kMaxMatch);
  if (Limit < kMinMatch) return 0;
  const Byte* text = FText.get();
  const Byte* cur = text + Pos;
  Int32 best = 0;
  Int32 cand = FPrev[Pos & (FDict - 1)];
  for (int chain = kMaxChain; cand != kNil && chain > 0; --chain) {
    // Distances run from 1 to the dictionary size less one, so that the
    // chain slots of the candidates are not yet reused.
    if (Pos - cand >= FDict) break;
    const Byte* c = text + cand;
    if (c[best] == cur[best] && c[0] == cur[0] && c[1] == cur[1]) {
      Int32 n = 2;
      while (n < Limit && c[n] == cur[n]) ++n;
      if (n > best) {
        best = n;
        MatchPos = cand;
        if (n >= Limit) break;
      }
    }
    const Int32 next = FPrev[cand & (FDict - 1)];
    if (next >= cand) break;
    cand = next;
  }
  return best >= kMinMatch ? best : 0;
}

void TLzhEncoder::Advance(bool Search) {
  --FRemainder;
  ++FPos;
  if (FFill - FPos < kMaxMatch + 1 && !FEof) {
    if (FPos >= 2 * FDict) Slide();
    Fill();
  }
  Insert(FPos);
  if (Search) FMatchLen = std::min(FindMatch(FPos, FRemainder, FMatchPos), FRemainder);
}

// ---- tokens

void TLzhEncoder::Output(UInt32 Code, UInt32 Position) {
  FFlagMask >>= 1;
  if (FFlagMask == 0) {
    FFlagMask = 0x80;
    if (FTokenPos >= kTokenBufferSize - kGroupReserve) {
      SendBlock();
      if (FUnpackable) return;
      FTokenPos = 0;
    }
    FFlagPos = FTokenPos++;
    FTokens[FFlagPos] = 0;
  }
  FTokens[FTokenPos++] = static_cast<Byte>(Code);
  ++FCFreq[Code];
  ++FTokenCount;
  if (Code >= 256) {
    FTokens[FFlagPos] |= static_cast<Byte>(FFlagMask);
    FTokens[FTokenPos++] = static_cast<Byte>(Position >> 8);
    FTokens[FTokenPos++] = static_cast<Byte>(Position);
    ++FPFreq[BitLength(Position)];
  }
  if (FTokenPos > FBytesRead) FUnpackable = true;
}

// ---- bit writer

void TLzhEncoder::PutByte(Byte B) {
  if (FPacked >= FBytesRead) {
    FUnpackable = true;
    return;
  }
  FOutBuf[FOutPos++] = B;
  ++FPacked;
  if (FOutPos == kOutBufferSize) FlushOut();
}

void TLzhEncoder::FlushOut() {
  if (FOutPos > 0) FOut->Write(FOutBuf.get(), FOutPos);
  FOutPos = 0;
}

// Most significant bit first; Count is at most 16.
void TLzhEncoder::PutBits(int Count, UInt32 Value) {
  if (Count <= 0) return;
  FBitBuf = (FBitBuf << Count) | (Value & ((1u << Count) - 1));
  FBitCount += Count;
  while (FBitCount >= 8) {
    FBitCount -= 8;
    PutByte(static_cast<Byte>(FBitBuf >> FBitCount));
  }
  FBitBuf &= (1u << FBitCount) - 1;
}

// ---- Huffman codes

void TLzhEncoder::DownHeap(int I) {
  const Int32 k = FHeap[I];
  int j;
  while ((j = 2 * I) <= FHeapSize) {
    if (j < FHeapSize && FFreq[FHeap[j]] > FFreq[FHeap[j + 1]]) ++j;
    if (FFreq[k] <= FFreq[FHeap[j]]) break;
    FHeap[I] = FHeap[j];
    I = j;
  }
  FHeap[I] = k;
}

void TLzhEncoder::CountLen(int Node, int Depth) {
  if (Node < FSymbols) {
    ++FLenCount[std::min(Depth, 16)];
    return;
  }
  CountLen(FLeft[Node], Depth + 1);
  CountLen(FRight[Node], Depth + 1);
}

void TLzhEncoder::MakeCode(int Symbols, const Byte* Len, UInt16* Code) {
  UInt32 count[17] = {};
  for (int i = 0; i < Symbols; ++i) ++count[Len[i]];
  UInt16 start[18];
  start[1] = 0;
  for (int i = 1; i <= 16; ++i) start[i + 1] = static_cast<UInt16>((start[i] + count[i]) << 1);
  for (int i = 0; i < Symbols; ++i) Code[i] = Len[i] ? start[Len[i]]++ : 0;
}

int TLzhEncoder::MakeTree(int Symbols, UInt16* Freq, Byte* Len, UInt16* Code) {
  FSymbols = Symbols;
  FFreq = Freq;
  FHeapSize = 0;
  FHeap[1] = 0;
  for (int i = 0; i < Symbols; ++i) {
    Len[i] = 0;
    if (Freq[i]) FHeap[++FHeapSize] = i;
  }
  if (FHeapSize < 2) {
    Code[FHeap[1]] = 0;
    return FHeap[1];
  }
  for (int i = FHeapSize / 2; i >= 1; --i) DownHeap(i);
  FSortedCount = 0;
  int avail = Symbols;
  int k = 0;
  do {
    const int i = FHeap[1];
    if (i < Symbols) FSorted[FSortedCount++] = static_cast<UInt16>(i);
    FHeap[1] = FHeap[FHeapSize--];
    DownHeap(1);
    const int j = FHeap[1];
    if (j < Symbols) FSorted[FSortedCount++] = static_cast<UInt16>(j);
    k = avail++;
    // Frequencies are block counts below 65536; a sum may pass that and
    // is kept at the top, which only orders the last merges.
    const UInt32 sum = UInt32{Freq[i]} + Freq[j];
    Freq[k] = static_cast<UInt16>(std::min<UInt32>(sum, 0xFFFF));
    FHeap[1] = k;
    DownHeap(1);
    FLeft[k] = static_cast<UInt16>(i);
    FRight[k] = static_cast<UInt16>(j);
  } while (FHeapSize > 1);

  // Lengths of at most 16 bits: depths past 16 are counted as 16, and
  // while that overfills the code one 16-bit code is taken away and a
  // shorter code is split in two. The lengths go to the leaves in the order
  // they left the heap, so the rarest symbols get the longest codes.
  std::fill(std::begin(FLenCount), std::end(FLenCount), 0u);
  CountLen(k, 0);
  UInt32 cum = 0;
  for (int i = 16; i >= 1; --i) cum += FLenCount[i] << (16 - i);
  while (cum != (1u << 16)) {
    --FLenCount[16];
    for (int i = 15; i >= 1; --i) {
      if (FLenCount[i] != 0) {
        --FLenCount[i];
        FLenCount[i + 1] += 2;
        break;
      }
    }
    --cum;
  }
  int s = 0;
  for (int i = 16; i >= 1; --i)
    for (UInt32 n = FLenCount[i]; n > 0; --n) Len[FSorted[s++]] = static_cast<Byte>(i);
  MakeCode(Symbols, Len, Code);
  return k;
}

// ---- blocks

void TLzhEncoder::CountTFreq() {
  std::fill(FTFreq, FTFreq + kNT, 0);
  int n = kNC;
  while (n > 0 && FCLen[n - 1] == 0) --n;
  int i = 0;
  while (i < n) {
    const int k = FCLen[i++];
    if (k != 0) {
      ++FTFreq[k + 2];
      continue;
    }
    int count = 1;
    while (i < n && FCLen[i] == 0) {
      ++i;
      ++count;
    }
    if (count <= 2) {
      FTFreq[0] = static_cast<UInt16>(FTFreq[0] + count);
    } else if (count <= 18) {
      ++FTFreq[1];
    } else if (count == 19) {
      ++FTFreq[0];
      ++FTFreq[1];
    } else {
      ++FTFreq[2];
    }
  }
}

// Lengths of a small code: a 3-bit number each, 7 and more in unary;
// after the Special-th one, 2 bits count the zero lengths that follow (up
// to the sixth).
void TLzhEncoder::WritePtLen(int N, int CountBits, int Special) {
  while (N > 0 && FPtLen[N - 1] == 0) --N;
  PutBits(CountBits, static_cast<UInt32>(N));
  int i = 0;
  while (i < N) {
    const int k = FPtLen[i++];
    if (k <= 6)
      PutBits(3, static_cast<UInt32>(k));
    else
      PutBits(k - 3, (1u << (k - 3)) - 2);
    if (i == Special) {
      while (i < 6 && FPtLen[i] == 0) ++i;
      PutBits(2, static_cast<UInt32>((i - 3) & 3));
    }
  }
}

void TLzhEncoder::WriteCLen() {
  int n = kNC;
  while (n > 0 && FCLen[n - 1] == 0) --n;
  PutBits(kCBit, static_cast<UInt32>(n));
  int i = 0;
  while (i < n) {
    const int k = FCLen[i++];
    if (k != 0) {
      PutBits(FPtLen[k + 2], FPtCode[k + 2]);
      continue;
    }
    int count = 1;
    while (i < n && FCLen[i] == 0) {
      ++i;
      ++count;
    }
    if (count <= 2) {
      for (int z = 0; z < count; ++z) PutBits(FPtLen[0], FPtCode[0]);
    } else if (count <= 18) {
      PutBits(FPtLen[1], FPtCode[1]);
      PutBits(4, static_cast<UInt32>(count - 3));
    } else if (count == 19) {
      PutBits(FPtLen[0], FPtCode[0]);
      PutBits(FPtLen[1], FPtCode[1]);
      PutBits(4, 15);
    } else {
      PutBits(FPtLen[2], FPtCode[2]);
      PutBits(kCBit, static_cast<UInt32>(count - 20));
    }
  }
}

void TLzhEncoder::EncodeC(int C) { PutBits(FCLen[C], FCCode[C]); }

void TLzhEncoder::EncodeP(UInt32 P) {
  const int c = BitLength(P);
  PutBits(FPtLen[c], FPtCode[c]);
  if (c > 1) PutBits(c - 1, P & ((1u << (c - 1)) - 1));
}

void TLzhEncoder::SendBlock() {
  if (FTokenCount == 0) return;
  int root = MakeTree(kNC, FCFreq, FCLen, FCCode);
  PutBits(16, FTokenCount);
  if (root >= kNC) {
    CountTFreq();
    root = MakeTree(kNT, FTFreq, FPtLen, FPtCode);
    if (root >= kNT) {
      WritePtLen(kNT, kTBit, 3);
    } else {
      PutBits(kTBit, 0);
      PutBits(kTBit, static_cast<UInt32>(root));
    }
    WriteCLen();
  } else {
    PutBits(kTBit, 0);
    PutBits(kTBit, 0);
    PutBits(kCBit, 0);
    PutBits(kCBit, static_cast<UInt32>(root));
  }
  root = MakeTree(FNP, FPFreq, FPtLen, FPtCode);
  if (root >= FNP) {
    WritePtLen(FNP, FSettings.PosBits, -1);
  } else {
    PutBits(FSettings.PosBits, 0);
    PutBits(FSettings.PosBits, static_cast<UInt32>(root));
  }

  Int32 pos = 0;
  UInt32 flags = 0;
  for (UInt32 i = 0; i < FTokenCount && !FUnpackable; ++i) {
    if (i % 8 == 0)
      flags = FTokens[pos++];
    else
      flags <<= 1;
    if (flags & 0x80) {
      EncodeC(FTokens[pos++] + 256);
      const UInt32 p = (UInt32{FTokens[pos]} << 8) | FTokens[pos + 1];
      pos += 2;
      EncodeP(p);
    } else {
      EncodeC(FTokens[pos++]);
    }
  }
  std::fill(FCFreq, FCFreq + kNC, 0);
  std::fill(FPFreq, FPFreq + FNP, 0);
  FTokenCount = 0;
}

// ---- the main loop

TLzhEncoder::TResult TLzhEncoder::Encode(const TLzhEncodeSettings& Settings, TCodecSource& In, TCodecSink& Out,
                                         const bool* Cancel) {
  FSettings = Settings;
  FSettings.DictBits = std::clamp<Byte>(Settings.DictBits, 10, 14);
  FSettings.PosBits = std::clamp<Byte>(Settings.PosBits, 4, 5);
  FDict = 1 << FSettings.DictBits;
  FNP = FSettings.DictBits + 1;
  FIn = &In;
  FOut = &Out;
  FEof = FUnpackable = false;
  FBytesRead = FPacked = 0;
  FTextSize = 2 * FDict + kMaxMatch + 1;
  FText = std::make_unique<Byte[]>(static_cast<std::size_t>(FTextSize) + kMaxMatch);
  FHead = std::make_unique<Int32[]>(1u << kHashBits);
  FPrev = std::make_unique<Int32[]>(static_cast<std::size_t>(FDict));
  std::fill(FHead.get(), FHead.get() + (1 << kHashBits), kNil);
  std::fill(FPrev.get(), FPrev.get() + FDict, kNil);
  if (!FTokens) FTokens = std::make_unique<Byte[]>(kTokenBufferSize + 1);
  if (!FOutBuf) FOutBuf = std::make_unique<Byte[]>(kOutBufferSize);
  FTokenPos = FFlagPos = 0;
  FFlagMask = 0;
  FTokenCount = 0;
  FOutPos = 0;
  FBitBuf = 0;
  FBitCount = 0;
  std::fill(std::begin(FCFreq), std::end(FCFreq), 0);
  std::fill(std::begin(FPFreq), std::end(FPFreq), 0);

  FFill = FPos = FRemainder = 0;
  FMatchLen = FMatchPos = 0;
  Fill();
  Insert(0);
  FMatchLen = std::min(FindMatch(0, FRemainder, FMatchPos), FRemainder);

  const auto cancelled = [Cancel] { return Cancel && *Cancel; };
  while (FRemainder > 0 && !FUnpackable && !cancelled()) {
    const Int32 lastLen = FMatchLen;
    // Kept as a distance: the text may slide in the advance.
    const Int32 lastDist = FPos - FMatchPos;
    Advance(true);
    if (FMatchLen > lastLen || lastLen < kMinMatch) {
      Output(FText[static_cast<std::size_t>(FPos - 1)], 0);
      continue;
    }
    // The match began at the byte before; its distance minus one is sent.
    Output(static_cast<UInt32>(lastLen + 253), static_cast<UInt32>(lastDist - 1));
    for (Int32 n = lastLen - 1; n > 0 && !FUnpackable; --n) Advance(n == 1);
  }
  if (cancelled()) return TResult::Cancelled;
  if (!FUnpackable) {
    SendBlock();
    PutBits(7, 0);
  }
  if (FUnpackable) return TResult::Unpackable;
  FlushOut();
  return TResult::Packed;
}

// ---- the writer binding

namespace {

class TWriterSource : public TCodecSource {
 public:
  TWriterSource(TZipCommon& W, TStream32& In, int CrcKind, Int64 Limit)
      : FW(W), FIn(In), FCrcKind(CrcKind), FLimit(Limit) {}
  Int32 Read(Byte* Buffer, Int32 Count) override {
    if (FLimit >= 0) Count = static_cast<Int32>(std::min<Int64>(Count, FLimit - FDone));
    if (Count <= 0) return 0;
    const Int32 n = FW.ReadBlock(-1, &FIn, Buffer, Count, FCrcKind, false);
    if (n <= 0) return 0;
    FDone += n;
    FW.ProgressBytesLeft -= n;
    if (FW.ProgressBytesLeft < 0) FW.ProgressBytesLeft = 0;
    FW.ProgressRoutine(FDone);
    return n;
  }

 private:
  TZipCommon& FW;
  TStream32& FIn;
  int FCrcKind;
  Int64 FLimit;
  Int64 FDone = 0;
};

class TWriterSink : public TCodecSink {
 public:
  TWriterSink(TZipCommon& W, TStream32& Out, bool CryptFlag) : FW(W), FOut(Out), FCrypt(CryptFlag) {}
  void Write(const Byte* Buffer, Int32 Count) override {
    if (Count <= 0) return;
    // The routine enciphers in place; the encoder's buffer is refilled anyway.
    FW.EncryptAndWrite(-1, const_cast<Byte*>(Buffer), true, Count, kCrcNone, &FOut, FCrypt);
  }

 private:
  TZipCommon& FW;
  TStream32& FOut;
  bool FCrypt;
};

}  // namespace

bool EncodeLzh(TZipCommon& Writer, TStream32& Output, TStream32& Input, const TLzhEncodeSettings& Settings,
               bool CryptFlag, bool& Unpackable, Int64 InputLimit, Int64* BytesRead) {
  TWriterSource in(Writer, Input, Settings.CrcKind, InputLimit);
  TWriterSink out(Writer, Output, CryptFlag);
  TLzhEncoder encoder;
  const auto r = encoder.Encode(Settings, in, out, Writer.CancelRef());
  Unpackable = r == TLzhEncoder::TResult::Unpackable;
  if (BytesRead) *BytesRead = encoder.BytesRead();
  return r != TLzhEncoder::TResult::Cancelled;
}

}  // namespace vsk
