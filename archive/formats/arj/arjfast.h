#pragma once
// The decoder of ARJ method 4 ("fastest"): an LZ77 stream without Huffman
// tables. Each step starts with a length in a unary-prefixed form: up to 7
// one-bits, each adding 1, 2, 4, ... to a base, then as many plain bits as
// ones were read. A length of 0 is followed by an 8-bit literal; any other
// length L is a match of L + 2 bytes whose distance has the same form with
// up to 4 one-bits weighing 512, 1024, 2048, 4096 and 9 plus that many
// plain bits. Bits are taken most significant first.

#include <memory>

#include "base/types.h"
#include "archive/codecs/bitreader.h"
#include "archive/codecs/codecio.h"

namespace vsk {

class TArjFastDecoder {
 public:
  enum class TResult : Byte {
    Ok,         // the unpacked size was reached
    Corrupt,    // the packed bytes ran out first
    Cancelled,  // the cancel flag was set
  };

  // The ring the matches copy from; every distance the format can express
  // lies within it.
  static constexpr Int32 kRingSize = 32768;

  TArjFastDecoder();
  ~TArjFastDecoder();
  TArjFastDecoder(const TArjFastDecoder&) = delete;
  TArjFastDecoder& operator=(const TArjFastDecoder&) = delete;

  // Decodes one entry from In until UnpackedSize bytes went to Out; output
  // never goes past it. A match reaching back before the entry's first
  // byte copies zero bytes. What was decoded before a failure is written.
  // Cancel (may be null) is polled for every ring written.
  TResult Decode(TCodecSource& In, TCodecSink& Out, Int64 UnpackedSize, const bool* Cancel = nullptr);

 private:
  UInt32 ReadLength();
  UInt32 ReadDistance();

  TMsbBitReader FBits;
  std::unique_ptr<Byte[]> FRing;
};

}  // namespace vsk
