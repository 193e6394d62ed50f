#pragma once
// The encoder of the block-coded static-Huffman sliding-dictionary format
// that TLzhDecoder reads: LHA -lh5- and -lh6-, BH method 3.
//
// Matches are found through hash chains over 3-byte prefixes (the most
// recent occurrence of the longest match within the dictionary, up to 256
// bytes) with one step of lazy evaluation: a match is put off by one byte
// when the next position has a longer one. Tokens are gathered in a buffer
// of 32 KiB and each buffer becomes one block with codes fitted to its own
// statistics.
//
// The encoder gives up ("unpackable") as soon as the packed form reaches
// the input bytes read so far, so that a writer stores the file instead
// without compressing all of it.

#include <memory>

#include "base/types.h"
#include "archive/codecs/codecio.h"

namespace vsk {

class TStream32;
class TZipCommon;

// Position field width, dictionary size and the CRC the writer keeps of the input.
struct TLzhEncodeSettings {
  Byte PosBits = 5;
  Byte DictBits = 14;
  int CrcKind = 16;
};

inline constexpr TLzhEncodeSettings kLzhEncodeLh5{4, 13, 16};
inline constexpr TLzhEncodeSettings kLzhEncodeLh6{5, 14, 16};
// BH method 3: as -lh6-, with a CRC-32 of the input.
inline constexpr TLzhEncodeSettings kLzhEncodeFuse{5, 14, 32};

class TLzhEncoder {
 public:
  enum class TResult : Byte {
    Packed,      // every byte went out, the packed form is smaller
    Unpackable,  // the packed form reached the input size; the output is incomplete
    Cancelled,   // the cancel flag was set
  };

  TLzhEncoder();
  ~TLzhEncoder();
  TLzhEncoder(const TLzhEncoder&) = delete;
  TLzhEncoder& operator=(const TLzhEncoder&) = delete;

  // Compresses everything In hands out into Out. Dictionary bits are kept
  // within 10..14 and position bits within 4..5. Cancel (may be null) is
  // polled at every token.
  TResult Encode(const TLzhEncodeSettings& Settings, TCodecSource& In, TCodecSink& Out,
                 const bool* Cancel = nullptr);

  Int64 BytesRead() const { return FBytesRead; }
  Int64 PackedBytes() const { return FPacked; }

 private:
  static constexpr int kNC = 510;
  static constexpr int kNT = 19;
  static constexpr int kMaxNP = 15;
  static constexpr int kMaxMatch = 256;
  static constexpr int kMinMatch = 3;
  static constexpr int kHashBits = 15;
  static constexpr Int32 kTokenBufferSize = 32768;
  static constexpr Int32 kOutBufferSize = 32768;

  // ---- input and match finding
  bool Fill();
  void Slide();
  void Insert(Int32 Pos);
  // Longest match at Pos (at most Limit bytes): its length, and its start in MatchPos.
  Int32 FindMatch(Int32 Pos, Int32 Limit, Int32& MatchPos);
  // Advances one position; Search asks for the match there.
  void Advance(bool Search);

  // ---- tokens and blocks
  void Output(UInt32 Code, UInt32 Position);
  void SendBlock();
  void PutBits(int Count, UInt32 Value);
  void PutByte(Byte B);
  void FlushOut();
  void EncodeC(int C);
  void EncodeP(UInt32 P);
  void CountTFreq();
  void WritePtLen(int N, int CountBits, int Special);
  void WriteCLen();
  // Builds a Huffman code of Symbols symbols; returns the root (a symbol
  // below Symbols when fewer than two occur).
  int MakeTree(int Symbols, UInt16* Freq, Byte* Len, UInt16* Code);
  void DownHeap(int I);
  void CountLen(int Node, int Depth);
  static void MakeCode(int Symbols, const Byte* Len, UInt16* Code);

  TLzhEncodeSettings FSettings;
  Int32 FDict = 16384;
  int FNP = 15;
  TCodecSource* FIn = nullptr;
  TCodecSink* FOut = nullptr;
  bool FEof = false;
  bool FUnpackable = false;
  Int64 FBytesRead = 0;
  Int64 FPacked = 0;

  // Text: positions below FFill hold input; the current position FPos.
  std::unique_ptr<Byte[]> FText;
  Int32 FTextSize = 0;
  Int32 FFill = 0;
  Int32 FPos = 0;
  Int32 FRemainder = 0;
  Int32 FMatchLen = 0;
  Int32 FMatchPos = 0;
  std::unique_ptr<Int32[]> FHead;
  std::unique_ptr<Int32[]> FPrev;  // by position modulo the dictionary

  // Token buffer: groups of 8 tokens behind a flag byte.
  std::unique_ptr<Byte[]> FTokens;
  Int32 FTokenPos = 0;
  Int32 FFlagPos = 0;
  UInt32 FFlagMask = 0;
  UInt32 FTokenCount = 0;

  // Bit writer.
  std::unique_ptr<Byte[]> FOutBuf;
  Int32 FOutPos = 0;
  UInt32 FBitBuf = 0;
  int FBitCount = 0;

  // Codes.
  UInt16 FCFreq[2 * kNC - 1];
  UInt16 FPFreq[2 * kMaxNP - 1];
  UInt16 FTFreq[2 * kNT - 1];
  Byte FCLen[kNC];
  UInt16 FCCode[kNC];
  Byte FPtLen[kNT];
  UInt16 FPtCode[kNT];

  // Tree building.
  UInt16 FLeft[2 * kNC - 1];
  UInt16 FRight[2 * kNC - 1];
  Int32 FHeap[kNC + 1];
  int FHeapSize = 0;
  UInt16* FFreq = nullptr;
  int FSymbols = 0;
  UInt16 FSorted[kNC];
  int FSortedCount = 0;
  UInt32 FLenCount[17];
};

// Compresses Input into Output for a writer: input through its block read
// routine with the settings' CRC kind (the running CRC of the input),
// output through its encrypt-and-write routine with CryptFlag, progress
// and cancel as the writer's. Unpackable tells whether the packed form
// reached the input size (the entry must then be stored). At most
// InputLimit bytes are read when it is not negative; BytesRead (may be
// null) gets the count read. False when cancelled.
bool EncodeLzh(TZipCommon& Writer, TStream32& Output, TStream32& Input, const TLzhEncodeSettings& Settings,
               bool CryptFlag, bool& Unpackable, Int64 InputLimit = -1, Int64* BytesRead = nullptr);

}  // namespace vsk
