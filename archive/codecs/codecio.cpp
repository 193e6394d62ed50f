#include "archive/codecs/codecio.h"

#include <algorithm>

#include "archive/core/zipcommon.h"

namespace vsk {

Int32 TReaderSource::Read(Byte* Buffer, Int32 Count) {
  if (FLeft <= 0 || Count <= 0) return 0;
  const Int32 want = static_cast<Int32>(std::min<Int64>(FLeft, Count));
  const Int32 got = FReader.ReadRoutine(-1, FInput, Buffer, want, kCrcNone, FDecode);
  if (got <= 0 || got > want) {
    FLeft = 0;
    return 0;
  }
  FLeft -= got;
  return got;
}

void TReaderSink::Write(const Byte* Buffer, Int32 Count) {
  if (Count <= 0) return;
  // The routine may decipher in place when asked to; it is not asked here,
  // so the decoder's window is only read.
  FReader.DecryptWriteRoutine(FHandle, const_cast<Byte*>(Buffer), true, Count, FCrcKind, nullptr, false);
  FWritten += Count;
  FReader.ProgressBytesLeft -= Count;
  if (FReader.ProgressBytesLeft < 0) FReader.ProgressBytesLeft = 0;
  FReader.ProgressRoutine(FWritten);
}

}  // namespace vsk
