#pragma once
// Block-buffered input and output shared by the legacy ZIP decoders: an
// LSB-first bit reader over the entry's compressed bytes, and a zeroed ring
// that is both the match window and the output buffer.

#include <algorithm>
#include <memory>

#include "base/messages.h"
#include "archive/formats/zip/legacy.h"

namespace vsk::legacy {

inline constexpr int kStackOverflow = msg::StackOverflow;
inline constexpr int kAmbiguousTree = 25293;
inline constexpr Int32 kBlock = 32768;

class TBitReader {
 public:
  TBitReader(TLegacySource& In, const bool* Cancel) : in_(In), cancel_(Cancel), buf_(new Byte[kBlock]) {}

  // The next Count (0 to 16) bits, the first one read in the lowest place;
  // -1 once the data are used up.
  int Bits(int Count) {
    while (have_ < Count) {
      if (pos_ == len_ && !Fill()) return -1;
      bits_ |= static_cast<UInt32>(buf_[pos_++]) << have_;
      have_ += 8;
    }
    const int v = static_cast<int>(bits_ & ((1u << Count) - 1));
    bits_ >>= Count;
    have_ -= Count;
    return v;
  }

  bool Cancelled() const { return cancelled_; }

 private:
  bool Fill() {
    if (ended_) return false;
    if (cancel_ && *cancel_) cancelled_ = true;
    const Int32 n = cancelled_ ? 0 : in_.Read(buf_.get(), kBlock);
    if (n <= 0) {
      ended_ = true;
      return false;
    }
    pos_ = 0;
    len_ = std::min(n, kBlock);
    return true;
  }

  TLegacySource& in_;
  const bool* cancel_;
  std::unique_ptr<Byte[]> buf_;
  Int32 pos_ = 0, len_ = 0;
  UInt32 bits_ = 0;
  int have_ = 0;
  bool ended_ = false, cancelled_ = false;
};

// Decoded bytes go into a 32 KiB ring, written to the sink whenever it wraps
// and at the end. The ring starts zeroed, so a match reaching back before
// the first byte copies zeros. Output stops at the entry's unpacked size.
class TWindowWriter {
 public:
  static constexpr UInt32 kRing = 32768;  // a power of two above every window
  static constexpr UInt32 kMask = kRing - 1;

  TWindowWriter(TLegacySink& Out, Int64 Limit, const bool* Cancel)
      : out_(Out), cancel_(Cancel), ring_(new Byte[kRing]()), left_(Limit > 0 ? Limit : 0) {}

  bool Done() const { return left_ == 0; }

  void Put(Byte B) {
    if (left_ == 0) return;
    ring_[pos_++] = B;
    --left_;
    if (pos_ == kRing) Wrap();
  }

  void Put(const Byte* Data, UInt32 Count) {
    while (Count > 0 && left_ > 0) {
      const UInt32 n = static_cast<UInt32>(std::min<Int64>({Count, kRing - pos_, left_}));
      std::copy(Data, Data + n, ring_.get() + pos_);
      Data += n;
      Count -= n;
      pos_ += n;
      left_ -= n;
      if (pos_ == kRing) Wrap();
    }
  }

  // Copies Length bytes starting Distance (1 to 8192) bytes back.
  void Copy(UInt32 Distance, UInt32 Length) {
    UInt32 from = (pos_ - Distance) & kMask;
    while (Length-- > 0 && left_ > 0) {
      ring_[pos_++] = ring_[from];
      from = (from + 1) & kMask;
      --left_;
      if (pos_ == kRing) Wrap();
    }
  }

  // Writes what is pending, unless the run was cancelled.
  void Finish() {
    if (cancel_ && *cancel_) {
      flushed_ = pos_;
      return;
    }
    if (pos_ > flushed_) out_.Write(ring_.get() + flushed_, static_cast<Int32>(pos_ - flushed_));
    flushed_ = pos_;
  }

 private:
  void Wrap() {
    Finish();
    pos_ = flushed_ = 0;
  }

  TLegacySink& out_;
  const bool* cancel_;
  std::unique_ptr<Byte[]> ring_;
  UInt32 pos_ = 0, flushed_ = 0;
  Int64 left_;
};

}  // namespace vsk::legacy
