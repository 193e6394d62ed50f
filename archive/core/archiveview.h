#pragma once
// Reading the small records of an archive (headers, names) that lie at
// scattered positions: a block read once serves every record inside it, so
// a walk over headers close together costs one read per block instead of a
// seek and a read per field. A file is read by position (pread), which
// leaves the stream's own position alone; another stream is read through
// Seek and Read.

#include <vector>

#include "base/stream.h"
#include "base/types.h"

namespace vsk {

class TArchiveView {
 public:
  explicit TArchiveView(Int32 BlockSize = 65536) : FBlockSize(BlockSize) {}

  // The stream read from; a new one (or none) drops what was read of the last.
  void SetSource(TStream32* Source);
  TStream32* Source() const { return FSource; }
  // Up to Count bytes at Position into Buffer; returns the count read, less
  // than asked at the end of the archive or on a read error.
  Int32 ReadAt(Int64 Position, void* Buffer, Int32 Count);
  // Drops the block, for a source that was switched or may have changed.
  void Forget() { FBlockEnd = FBlockStart = 0; }

 private:
  Int32 ReadSource(Int64 Position, void* Buffer, Int32 Count);

  TStream32* FSource = nullptr;
  int FFd = -1;
  Int32 FBlockSize;
  std::vector<Byte> FBlock;
  Int64 FBlockStart = 0, FBlockEnd = 0;  // the archive's bytes in FBlock
};

}  // namespace vsk
