#pragma once
// The LZW decoder of ZOO method 1: codes of 9 to 13 bits, least significant
// bit first; code 256 clears the dictionary, 257 ends the data, new strings
// start at 258. A new string is the previous one plus the first byte of the
// current one; the code widens by one bit when the next free code reaches
// the current limit, up to 13 bits.
//
// Hostile streams are refused rather than followed: a code beyond the next
// free one, a string code where only a byte can stand (right after a clear),
// more output than the entry's size, and input that ends before the end code
// stop the entry. Every dictionary entry points to an older one, so walking
// a string never loops and never needs more than the table's size.

#include <memory>

#include "base/types.h"
#include "archive/codecs/codecio.h"

namespace vsk {

class TZooLzwDecoder {
 public:
  enum class TResult : Byte {
    Ok,         // the end code came after exactly the entry's size
    Corrupt,    // a code that cannot stand there, too much output, or input used up
    Cancelled,  // the cancel flag was set
  };

  static constexpr int kMaxBits = 13;
  static constexpr UInt32 kTableSize = 1u << kMaxBits;
  static constexpr UInt32 kClear = 256;
  static constexpr UInt32 kEnd = 257;
  static constexpr UInt32 kFirstFree = 258;

  TZooLzwDecoder();
  ~TZooLzwDecoder();
  TZooLzwDecoder(const TZooLzwDecoder&) = delete;
  TZooLzwDecoder& operator=(const TZooLzwDecoder&) = delete;

  // Decodes one entry from In into Out. Never writes more than UnpackedSize
  // bytes; what was decoded before a failure is written. Cancel (may be
  // null) is polled every few thousand codes.
  TResult Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize, const bool* Cancel = nullptr);

 private:
  static constexpr Int32 kInSize = 65536;
  static constexpr Int32 kOutSize = 65536;

  // The next code of FWidth bits; false when the input has run out.
  bool ReadCode(UInt32& Code);
  void Refill();
  // Queues Count bytes for Out; false once the entry's size would be passed
  // (the bytes up to it are still queued).
  bool Put(const Byte* Bytes, UInt32 Count);
  void Flush();

  TCodecSource* FIn = nullptr;
  TCodecSink* FOut = nullptr;
  const bool* FCancel = nullptr;
  std::unique_ptr<Byte[]> FInBuf;   // kInSize + 3 bytes: a code spans three at most
  std::unique_ptr<Byte[]> FOutBuf;  // kOutSize
  Int32 FInCount = 0;
  UInt32 FBitPos = 0;  // within FInBuf
  bool FInEnd = false;
  Int32 FOutCount = 0;
  Int64 FLeft = 0;  // bytes the entry may still produce

  int FWidth = 9;
  UInt32 FLimit = 512;
  UInt32 FFree = kFirstFree;
  UInt16 FPrefix[kTableSize];
  Byte FSuffix[kTableSize];
  Byte FStack[kTableSize];
};

}  // namespace vsk
