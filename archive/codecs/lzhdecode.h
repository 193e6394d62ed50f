#pragma once
// The decoder of the block-coded static-Huffman sliding-dictionary family:
// LHA -lh4- to -lh7-, ARJ methods 1 to 3, BH methods 1 and 3, ZOO method 2.
//
// Every block starts with a 16-bit token count and three code tables sent as
// canonical code lengths: the code of the literal/length lengths (19
// symbols), the literal/length code (256 literals and 254 match lengths of
// 3..256 bytes) and the position code (one symbol per position bit count).
// Literals and match lengths are looked up 12 bits at a time, positions and
// the length code 8 bits at a time; longer codes walk a small tree.
//
// Each table read from the stream is checked before it is used: counts
// larger than their table, zero runs past its end, lengths above 16 bits
// and length sets that are not exactly a complete code stop the entry, so a
// hostile stream can neither write past a table nor read outside the window.

#include <memory>

#include "base/types.h"
#include "archive/codecs/bitreader.h"
#include "archive/codecs/codecio.h"

namespace vsk {

// Dictionary and position-field sizes of one method, and its mode: modes 1
// and 2 read the packed bytes deciphered (the BH and ARJ password forms);
// below mode 5 the window is 26624 bytes, from mode 5 on 65536.
struct TLzhSettings {
  Byte DictBits = 13;
  Byte PosBits = 4;
  Byte Mode = 0;

  // Deciphered input: BH and ARJ password forms.
  bool Decrypt() const { return Mode == 1 || Mode == 2; }
  // 26624 bytes below mode 5, else 65536.
  Int32 WindowSize() const { return Mode < 5 ? 26624 : 65536; }
};

inline constexpr TLzhSettings kLzhLh4{12, 4, 3};
inline constexpr TLzhSettings kLzhLh5{13, 4, 3};
inline constexpr TLzhSettings kLzhLh6{15, 5, 5};
inline constexpr TLzhSettings kLzhLh7{16, 5, 6};

class TLzhDecoder {
 public:
  enum class TResult : Byte {
    Ok,         // the unpacked size was reached
    BadCode,    // a code table could not be used (msg::BadHuffmanCode)
    Corrupt,    // a block of 0 tokens, a position outside the window, or input used up
    Cancelled,  // the cancel flag was set
  };

  TLzhDecoder();
  ~TLzhDecoder();
  TLzhDecoder(const TLzhDecoder&) = delete;
  TLzhDecoder& operator=(const TLzhDecoder&) = delete;

  // Takes the method's settings for the next Decode. Dictionary bits above
  // 16 or position bits above 5 are taken as 16 and 5.
  void Init(const TLzhSettings& Settings);

  // Decodes one entry from In until UnpackedSize bytes went to Out, or the
  // stream proves unusable; what was decoded up to then is written. Output
  // never goes past UnpackedSize; a match reaching back before the entry's
  // first byte copies spaces. Cancel (may be null) is polled at every
  // block and every window written.
  TResult Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize, const bool* Cancel = nullptr);

 private:
  static constexpr int kNC = 510;  // 256 literals + 254 lengths
  static constexpr int kNT = 19;   // code-length code
  static constexpr int kMaxNP = 17;
  static constexpr int kPtSize = kMaxNP > kNT ? kMaxNP : kNT;
  static constexpr int kTreeSize = 2 * kNC - 1;

  bool ReadBlockHeader();
  bool ReadPtLen(int Symbols, int CountBits, int Special);
  bool ReadCLen();
  bool MakeTable(int Symbols, const Byte* Lengths, int TableBits, UInt16* Table);
  int DecodeC();
  UInt32 DecodeP();
  void Flush(TCodecSink& Out, Int32 Count);

  TLzhSettings FSettings;
  int FNP = 14;
  Int32 FWindowSize = 26624;
  TMsbBitReader FBits;
  std::unique_ptr<Byte[]> FWindow;
  UInt32 FBlockSize = 0;
  bool FBadCode = false;
  const bool* FCancel = nullptr;

  Byte FCLen[kNC];
  Byte FPtLen[kPtSize];
  UInt16 FCTable[4096];
  UInt16 FPtTable[256];
  UInt16 FLeft[kTreeSize];
  UInt16 FRight[kTreeSize];
};

}  // namespace vsk
