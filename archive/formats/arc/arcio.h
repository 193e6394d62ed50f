#pragma once
// The byte input and output stages shared by the ARC decoders. The input
// hands out an entry's packed bytes one by one from 32767-byte blocks and
// reports the end once they are used up. The output gathers decoded bytes
// in a 32767-byte buffer, optionally through the run-length expander (0x90
// introduces a repeat count), and never passes more than the entry's size
// on: what goes beyond it is dropped and remembered as an overrun.

#include <memory>

#include "base/types.h"
#include "archive/codecs/codecio.h"

namespace vsk {

// How a decoder ended.
enum class TArcResult : Byte {
  Ok,             // the stream ended where it should (end symbol or end of input)
  Corrupt,        // a code that cannot stand there, or more output than the entry's size
  BadTree,        // a squeeze tree that cannot be walked
  StackOverflow,  // a crunch string longer than its stack
  BadBits,        // a dynamic LZW entry without its 12-bit marker
  Cancelled,      // the cancel flag was set
};

inline constexpr Int32 kArcBufferSize = 32767;

class TArcInput {
 public:
  explicit TArcInput(TCodecSource& Source);
  TArcInput(const TArcInput&) = delete;
  TArcInput& operator=(const TArcInput&) = delete;

  // The next packed byte, or -1 at the end of the entry's data.
  int Get() {
    if (FPos == FCount && !Refill()) return -1;
    return FBuf[FPos++];
  }

 private:
  bool Refill();

  TCodecSource& FSource;
  std::unique_ptr<Byte[]> FBuf;
  Int32 FPos = 0;
  Int32 FCount = 0;
  bool FEnd = false;
};

class TArcOutput {
 public:
  // Limit is the entry's unpacked size; Expand sends every byte through the
  // run-length expander first. Cancel (may be null) is the run's flag.
  TArcOutput(TCodecSink& Sink, Int64 Limit, bool Expand, const bool* Cancel = nullptr);
  TArcOutput(const TArcOutput&) = delete;
  TArcOutput& operator=(const TArcOutput&) = delete;

  void Put(Byte B) {
    if (FExpand)
      Expand(B);
    else
      Raw(B);
  }
  // Passes the gathered bytes on; called once the decoder is done.
  void Flush();
  // More bytes came than the entry's size allows.
  bool Overrun() const { return FOverrun; }
  // Bytes passed on or waiting in the buffer.
  Int64 Written() const { return FWritten; }
  // Whether the decoder should stop: an overrun or a set cancel flag.
  bool Stop() const { return FOverrun || (FCancel && *FCancel); }
  bool Cancelled() const { return FCancel && *FCancel; }

 private:
  void Raw(Byte B) {
    if (FWritten >= FLimit) {
      FOverrun = true;
      return;
    }
    ++FWritten;
    FBuf[FCount++] = B;
    if (FCount == kArcBufferSize) Flush();
  }
  void Expand(Byte B);

  TCodecSink& FSink;
  std::unique_ptr<Byte[]> FBuf;
  Int32 FCount = 0;
  Int64 FLimit;
  Int64 FWritten = 0;
  bool FOverrun = false;
  bool FExpand;
  const bool* FCancel;
  // Expander state: the last byte written as such, and whether a 0x90 waits
  // for its count.
  Byte FLast = 0;
  bool FMarker = false;
};

}  // namespace vsk
