#pragma once
// Decoders of the pre-deflate ZIP methods: shrinking (1), reducing (2-5)
// and imploding (6). They read compressed bytes through a source that
// reports the end of the entry's data, and write through a sink that keeps
// the running CRC and raises on a short write.

#include <functional>

#include "base/types.h"

namespace vsk {

// Compressed bytes of one entry: Read returns 0 at the end of the data
// (the entry's compressed size is used up, or the run was cancelled).
class TLegacySource {
 public:
  virtual ~TLegacySource() = default;
  virtual Int32 Read(Byte* Buffer, Int32 Count) = 0;
};

// Decoded bytes; Write raises the library's errors on failure.
class TLegacySink {
 public:
  virtual ~TLegacySink() = default;
  virtual void Write(const Byte* Buffer, Int32 Count) = 0;
};

// Each decodes one entry and returns 0, or the library code of the failure
// (25111 "Bad block", 25298 "Stack overflow", 25293 "Ambiguous
// Shannon-Fano decode tree encountered"). Output never exceeds
// UnpackedSize; Cancel (may be null) is polled per block.
int Unshrink(TLegacySource& In, TLegacySink& Out, Int64 UnpackedSize, const bool* Cancel);
int Unreduce(TLegacySource& In, TLegacySink& Out, int Factor, Int64 UnpackedSize, const bool* Cancel);
int Explode(TLegacySource& In, TLegacySink& Out, UInt16 Flags, Int64 UnpackedSize, const bool* Cancel);

}  // namespace vsk
