#pragma once
// The decoder of LHA -lh1-: adaptive Huffman coding over a 4096-byte
// dictionary. 314 symbols (256 literals and 58 match lengths of 3..60
// bytes) sit in one tree that is updated after every symbol, so that
// frequent symbols get short codes; a match position is sent as its upper
// 6 bits in a fixed code of 3 to 8 bits followed by its lower 6 bits.
//
// The tree's shape depends on the symbols decoded, never on anything else,
// and every walk stays inside it, so no input can make the decoder leave its
// tables.

#include <memory>

#include "base/types.h"
#include "archive/codecs/bitreader.h"
#include "archive/codecs/codecio.h"

namespace vsk {

class TLh1Decoder {
 public:
  enum class TResult : Byte {
    Ok,         // the unpacked size was reached
    Corrupt,    // the input was used up long before
    Cancelled,  // the cancel flag was set
  };

  TLh1Decoder();
  ~TLh1Decoder();
  TLh1Decoder(const TLh1Decoder&) = delete;
  TLh1Decoder& operator=(const TLh1Decoder&) = delete;

  // Decodes one entry from In until UnpackedSize bytes went to Out; output
  // never goes past UnpackedSize. Cancel (may be null) is polled at every
  // block written.
  TResult Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize, const bool* Cancel = nullptr);

 private:
  static constexpr int kSymbols = 314;             // 256 literals + 58 lengths
  static constexpr int kNodes = 2 * kSymbols - 1;  // 627; leaves are kNodes + symbol
  static constexpr int kRoot = kNodes - 1;
  static constexpr UInt16 kMaxFreq = 0x8000;
  static constexpr int kRingSize = 4096;
  static constexpr Int32 kOutSize = 32768;

  void StartTree();
  void Rebuild();
  void Update(int Symbol);
  int DecodeChar();
  UInt32 DecodePosition();
  void Put(TCodecSink& Out, Byte B);

  TMsbBitReader FBits;
  // Frequencies of the nodes (with a guard after the root), the child
  // (left; the right one follows it) of each node, and the parent of each
  // node and each leaf.
  UInt16 FFreq[kNodes + 1];
  UInt16 FChild[kNodes];
  UInt16 FParent[kNodes + kSymbols];
  std::unique_ptr<Byte[]> FRing;
  std::unique_ptr<Byte[]> FOut;
  Int32 FOutFill = 0;
};

}  // namespace vsk
