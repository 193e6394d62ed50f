#pragma once
// A read-only stream over data that a decoder produces as it is asked for
// more: a reader that walks forward (seeking forward, or back a little way
// over what it just read) reads the data once, with nothing kept on disk
// and a bounded window in memory.

#include <functional>
#include <vector>

#include "base/stream.h"

namespace vsk {

class TPullStream : public TStream32 {
 public:
  // Pull fills up to Count bytes and returns how many; 0 at the end (or on
  // a failure, which the puller reports). First: data already produced,
  // the stream's first bytes.
  using TPull = std::function<Int32(Byte* Buffer, Int32 Count)>;
  TPullStream(TPull Pull, const Byte* First, Int32 FirstCount);

  Int32 Read(void* Buffer, Int32 Count) override;
  // Forward to any position (what lies between is pulled and dropped), or
  // back by at most kKeepBehind bytes; else -1.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int32 Write(const void*, Int32) override { return 0; }
  // Unknown until the end is reached: a size no position reaches.
  Int64 GetSize() override { return kUnknownSize; }
  const char* ClassName() const override { return "TPullStream"; }

  static constexpr Int64 kUnknownSize = Int64{1} << 62;
  static constexpr Int64 kKeepBehind = 1 << 16;

  // The bytes pulled so far.
  Int64 Pulled() const { return FBase + static_cast<Int64>(FBuf.size()); }
  bool Ended() const { return FEnded; }

 private:
  // Pulls one more chunk; false at the end.
  bool PullChunk();
  // Drops what lies more than kKeepBehind before the position.
  void Trim();

  TPull FPull;
  std::vector<Byte> FBuf;  // the bytes from FBase on
  Int64 FBase = 0;
  Int64 FPos = 0;
  bool FEnded = false;
  bool FBad = false;
};

}  // namespace vsk
