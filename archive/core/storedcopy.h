#pragma once
// The copy of an entry stored without compression: through the component's
// block read and decrypt-and-write routines, deciphering on the way when the
// entry is encrypted, with progress and the cancel flag.

#include "base/types.h"

namespace vsk {

class TStream32;
class TZipCommon;

// What the copy needs of the entry.
struct TStoredInfo {
  Int64 StoredSize = 0;
  UInt16 Flags = 0;  // bit 0: encrypted

  bool Encrypted() const { return (Flags & 1u) != 0; }
};

inline constexpr Int32 kStoredCopyChunk = 32768;

// Copies Info.StoredSize bytes from InHandle (or InStream, by the
// component's input mode) to OutHandle (or OutStream, by its output mode),
// in 32 KiB chunks. The written bytes update the run's CRC of kind CrcKind.
// An encrypted entry is deciphered as it is read, by the component's
// cipher (its DecodeBlock; none in the base). Lowers the component's
// bytes left, reports progress after each chunk and stops when the cancel
// flag is set or the input runs out. Returns the bytes not copied (0 on
// success). Write failures raise as the component's write routine does.
Int64 CopyStoredData(TZipCommon& Component, int InHandle, int OutHandle, const TStoredInfo& Info, int CrcKind,
                     TStream32* InStream = nullptr, TStream32* OutStream = nullptr);

}  // namespace vsk
