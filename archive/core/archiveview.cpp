#include "archive/core/archiveview.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vsk {

void TArchiveView::SetSource(TStream32* Source) {
  FSource = Source;
  const auto* file = dynamic_cast<const THandleStream32*>(Source);
  FFd = file ? file->Handle() : -1;
  Forget();
}

Int32 TArchiveView::ReadSource(Int64 Position, void* Buffer, Int32 Count) {
  if (!FSource || Position < 0 || Count <= 0) return 0;
  if (FFd < 0) return FSource->Seek(Position, soBeginning) == Position ? std::max(FSource->Read(Buffer, Count), 0) : 0;
  auto* p = static_cast<Byte*>(Buffer);
  Int32 done = 0;
  while (done < Count) {
    const ssize_t n = ::pread(FFd, p + done, static_cast<std::size_t>(Count - done), static_cast<off_t>(Position + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<Int32>(n);
  }
  return done;
}

Int32 TArchiveView::ReadAt(Int64 Position, void* Buffer, Int32 Count) {
  if (Count <= 0 || Position < 0) return 0;
  auto* out = static_cast<Byte*>(Buffer);
  Int32 done = 0;
  while (done < Count) {
    const Int64 at = Position + done;
    if (at >= FBlockStart && at < FBlockEnd) {
      const Int32 n = static_cast<Int32>(std::min<Int64>(Count - done, FBlockEnd - at));
      std::memcpy(out + done, FBlock.data() + (at - FBlockStart), static_cast<std::size_t>(n));
      done += n;
      continue;
    }
    // What no block would hold goes straight to the caller's buffer.
    if (Count - done >= FBlockSize) return done + ReadSource(at, out + done, Count - done);
    FBlock.resize(static_cast<std::size_t>(FBlockSize));
    const Int32 got = ReadSource(at, FBlock.data(), FBlockSize);
    FBlockStart = at;
    FBlockEnd = at + got;
    if (got <= 0) break;
  }
  return done;
}

}  // namespace vsk
