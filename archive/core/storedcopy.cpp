#include "archive/core/storedcopy.h"

#include <algorithm>
#include <memory>

#include "base/checksum.h"
#include "archive/core/zipcommon.h"

namespace vsk {

Int64 CopyStoredData(TZipCommon& Component, int InHandle, int OutHandle, const TStoredInfo& Info, int CrcKind,
                     TStream32* InStream, TStream32* OutStream) {
  Int64 remaining = std::max<Int64>(Info.StoredSize, 0);
  if (remaining == 0) return 0;
  // An encrypted entry is deciphered as it is read, by the component's own cipher.
  const bool decode = Info.Encrypted();
  const Int32 chunk = static_cast<Int32>(std::min<Int64>(remaining, kStoredCopyChunk));
  std::unique_ptr<Byte[]> buf(new Byte[static_cast<std::size_t>(chunk) + 1]);
  while (remaining > 0) {
    const Int32 want = static_cast<Int32>(std::min<Int64>(remaining, chunk));
    const Int32 got = Component.ReadRoutine(InHandle, InStream, buf.get(), want, kCrcNone, decode);
    if (got <= 0 || got > want) break;
    remaining -= got;
    Component.ProgressBytesLeft -= got;
    Component.DecryptWriteRoutine(OutHandle, buf.get(), true, got, CrcKind, OutStream, false);
    Component.DoProgress(Info.StoredSize - remaining);
    if (Component.GetCancel()) break;
  }
  return remaining;
}

}  // namespace vsk
