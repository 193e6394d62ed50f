#include "archive/core/pullstream.h"

#include <algorithm>
#include <cstring>

namespace vsk {

namespace {

constexpr Int32 kPullChunk = 1 << 16;

}  // namespace

TPullStream::TPullStream(TPull Pull, const Byte* First, Int32 FirstCount) : FPull(std::move(Pull)) {
  if (First && FirstCount > 0) FBuf.assign(First, First + FirstCount);
}

bool TPullStream::PullChunk() {
  if (FEnded) return false;
  const std::size_t at = FBuf.size();
  FBuf.resize(at + kPullChunk);
  const Int32 n = FPull(FBuf.data() + at, kPullChunk);
  FBuf.resize(at + static_cast<std::size_t>(std::max<Int32>(n, 0)));
  if (n <= 0) FEnded = true;
  return n > 0;
}

void TPullStream::Trim() {
  const Int64 keepFrom = FPos - kKeepBehind;
  // Dropped in large steps, so that the bytes kept are moved seldom.
  if (keepFrom - FBase < kKeepBehind) return;
  const Int64 drop = std::min<Int64>(keepFrom - FBase, static_cast<Int64>(FBuf.size()));
  FBuf.erase(FBuf.begin(), FBuf.begin() + static_cast<std::ptrdiff_t>(drop));
  FBase += drop;
}

Int32 TPullStream::Read(void* Buffer, Int32 Count) {
  if (FBad || Count <= 0) return 0;
  while (Pulled() < FPos + Count && PullChunk()) Trim();
  const Int64 n = std::clamp<Int64>(Pulled() - FPos, 0, Count);
  if (n > 0) std::memcpy(Buffer, FBuf.data() + (FPos - FBase), static_cast<std::size_t>(n));
  FPos += n;
  Trim();
  return static_cast<Int32>(n);
}

Int64 TPullStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  const Int64 target = Origin == soBeginning ? Offset : Origin == soCurrent ? FPos + Offset : kUnknownSize + Offset;
  if (target < FBase || target < 0) {
    // Behind what is kept: those bytes are gone.
    FBad = true;
    return -1;
  }
  FBad = false;
  FPos = target;
  while (Pulled() < FPos && PullChunk()) Trim();
  Trim();
  return FPos;
}

}  // namespace vsk
