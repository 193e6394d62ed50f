#include "archive/core/codecstreams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "base/errors.h"
#include "base/messages.h"
#include "base/pump.h"
#include "archive/core/zipcommon.h"

namespace vsk {

int DeflateLevel(TDeflateType Type) {
  switch (Type) {
    case dtDeflateS:
      return 0;
    case dtDeflateF:
      return 1;
    case dtDeflateX:
      return 9;
    case dtDeflateN:
    default:
      return Z_DEFAULT_COMPRESSION;
  }
}

int ZlibErrorCode(int ZResult) { return ZResult == Z_MEM_ERROR ? msg::OutOfMemory : msg::DecompressionError; }

TCodecInfo CodecInfoOf(TZipCommon& Component, bool Encrypt) {
  TCodecInfo info;
  info.Encrypt = Encrypt;
  info.Crypt = Component.Crypt;
  info.BytesLeft = &Component.ProgressBytesLeft;
  info.Cancel = Component.CancelRef();
  info.RunCrc = Component.Crc;
  return info;
}

// ---- TCustomStream

TCustomStream::TCustomStream(TStream32& Stream, int ACrcKind)
    : CrcKind(ACrcKind), Crc(ACrcKind == kCrc32 ? 0xFFFFFFFFu : 0u), FStream(&Stream), FStreamPos(Stream.Position()) {}

void TCustomStream::Attach(TZipCommon& Component) {
  Cancel = Component.CancelRef();
  Crypt = Component.Crypt;
  BytesLeft = &Component.ProgressBytesLeft;
}

void TCustomStream::UpdateCrc(const void* Buffer, std::size_t Count) {
  if (Count == 0) return;
  if (CrcKind == kCrc32) {
    UpdateCrc32(Buffer, Count, Crc);
  } else if (CrcKind == kCrc16) {
    UInt16 c = static_cast<UInt16>(Crc);
    UpdateCrc16(Buffer, Count, c);
    Crc = c;
  }
}

void TCustomStream::Fail(int ZResult) {
  if (FError != 0) return;
  FZError = ZResult;
  FError = ZlibErrorCode(ZResult);
}

bool TCustomStream::RestorePosition() {
  return FStreamPos >= 0 && FStream->Seek(FStreamPos, soBeginning) == FStreamPos;
}

TCustomStream::TCopyResult TCustomStream::CopyLoop(TStream32& Source, Int64 Count, const bool* CancelFlag,
                                                   TStreamNotify NotifyProc) {
  TCopyResult result;
  Notify = std::move(NotifyProc);
  const bool* cancel = CancelFlag ? CancelFlag : Cancel;
  bool sized = true;
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
    if (Count < 0) {
      sized = false;
      Count = std::numeric_limits<Int64>::max();
    }
  }
  if (Count <= 0) return result;
  const Int32 chunk = static_cast<Int32>(std::min<Int64>(Count, CopyChunkSize()));
  std::unique_ptr<Byte[]> buf(new Byte[static_cast<std::size_t>(chunk)]);
  Int64 left = Count;
  while (left > 0) {
    if (cancel && *cancel) break;
    ProcessMessages();
    const Int32 want = static_cast<Int32>(std::min<Int64>(left, chunk));
    const Int32 got = Source.Read(buf.get(), want);
    if (got < 0) {
      result.Failed = true;
      break;
    }
    Int32 done = 0;
    while (done < got) {
      const Int32 w = Write(buf.get() + done, got - done);
      if (w <= 0) break;
      done += w;
    }
    result.Copied += done;
    left -= done;
    if (done < got) {
      if (!(cancel && *cancel)) result.Failed = true;
      break;
    }
    if (got < want) {
      if (sized) result.Failed = true;
      break;
    }
  }
  return result;
}

Int64 TCustomStream::CopyFrom(TStream32& Source, Int64 Count, const bool* CancelFlag, TStreamNotify NotifyProc) {
  const TCopyResult r = CopyLoop(Source, Count, CancelFlag, std::move(NotifyProc));
  return r.Failed ? 0 : r.Copied;
}

// ---- TCompressStream

TCompressStream::TCompressStream(TStream32& Stream, TDeflateType DeflateType, int WindowBits, int ACrcKind)
    : TCustomStream(Stream, ACrcKind) {
  Init(DeflateLevel(DeflateType), WindowBits);
}

TCompressStream::~TCompressStream() { EndDeflate(); }

void TCompressStream::Init(int Level, int WindowBits) {
  FZ.next_out = FBuffer.data();
  FZ.avail_out = kCodecBufferSize;
  const int ret = deflateInit2(&FZ, Level, Z_DEFLATED, WindowBits, 8, Z_DEFAULT_STRATEGY);
  if (ret == Z_OK) {
    FZInit = true;
  } else {
    Fail(ret);
  }
}

void TCompressStream::EndDeflate() {
  if (!FZInit) return;
  deflateEnd(&FZ);
  FZInit = false;
}

void TCompressStream::FlushBuffer() {
  const Int32 n = kCodecBufferSize - static_cast<Int32>(FZ.avail_out);
  if (n > 0) {
    if (CryptFlag && Crypt) Crypt->EncryptZipBuffer(FBuffer.data(), static_cast<std::size_t>(n));
    if (!RestorePosition()) throw EWriteError(0, kStreamWriteError);
    FStream->WriteBuffer(FBuffer.data(), n);
    FStreamPos += n;
  }
  FZ.next_out = FBuffer.data();
  FZ.avail_out = kCodecBufferSize;
}

Int32 TCompressStream::Write(const void* Buffer, Int32 Count) {
  if (FError != 0 || FFinished || !FZInit) return -1;
  if (Count <= 0) return 0;
  FZ.next_in = static_cast<Bytef*>(const_cast<void*>(Buffer));
  FZ.avail_in = static_cast<uInt>(Count);
  while (FZ.avail_in > 0 && !Cancelled()) {
    const uInt before = FZ.avail_in;
    const int ret = deflate(&FZ, Z_NO_FLUSH);
    if (BytesLeft) *BytesLeft -= static_cast<double>(before - FZ.avail_in);
    if (ret != Z_OK && ret != Z_BUF_ERROR) {
      Fail(ret);
      break;
    }
    if (FZ.avail_out == 0) {
      FlushBuffer();
    } else if (FZ.avail_in > 0 && before == FZ.avail_in) {
      // No progress with room left in both buffers: zlib is stuck.
      Fail(ret == Z_OK ? Z_STREAM_ERROR : ret);
      break;
    }
  }
  const Int32 taken = Count - static_cast<Int32>(FZ.avail_in);
  FZ.next_in = nullptr;
  FZ.avail_in = 0;
  UpdateCrc(Buffer, static_cast<std::size_t>(taken));
  if (Notify) Notify(*this);
  return FError != 0 ? -1 : taken;
}

Int64 TCompressStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  if (Offset == 0 && Origin == soCurrent) return TotalIn();
  return -1;
}

int TCompressStream::Finish() {
  if (FFinished) return FError;
  FFinished = true;
  if (FError != 0 || !FZInit) {
    EndDeflate();
    return FError;
  }
  for (;;) {
    const int ret = deflate(&FZ, Z_FINISH);
    if (ret == Z_STREAM_END) {
      FlushBuffer();
      break;
    }
    if ((ret == Z_OK || ret == Z_BUF_ERROR) && FZ.avail_out == 0) {
      FlushBuffer();
      continue;
    }
    Fail(ret == Z_OK ? Z_STREAM_ERROR : ret);
    break;
  }
  EndDeflate();
  return FError;
}

// ---- TDecompressStream

TDecompressStream::TDecompressStream(TStream32& Stream, int WindowBits, Int64 CompressedSize, int ACrcKind)
    : TCustomStream(Stream, ACrcKind), FStart(FStreamPos), FLimit(CompressedSize < 0 ? -1 : CompressedSize) {
  Init(WindowBits);
}

TDecompressStream::~TDecompressStream() {
  try {
    Finish();
  } catch (...) {
    End();
  }
}

void TDecompressStream::Init(int WindowBits) {
  FZ.next_in = nullptr;
  FZ.avail_in = 0;
  const int ret = inflateInit2(&FZ, WindowBits);
  if (ret == Z_OK) {
    FZInit = true;
  } else {
    Fail(ret);
  }
}

void TDecompressStream::End() {
  if (!FZInit) return;
  inflateEnd(&FZ);
  FZInit = false;
}

void TDecompressStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  // Give back what was read ahead, so the next reader starts right after
  // the compressed data.
  if (FStreamPos >= 0) FStream->Seek(FStreamPos - static_cast<Int64>(FZ.avail_in), soBeginning);
  FZ.avail_in = 0;
  End();
}

void TDecompressStream::Reset() {
  inflateReset(&FZ);
  FZ.next_in = nullptr;
  FZ.avail_in = 0;
  FStreamPos = FStart;
  FRawRead = 0;
  FTotalOut = 0;
  FEndOfStream = false;
  FInputDry = false;
  FError = 0;
  FZError = Z_OK;
  if (FHaveSnapshot) {
    Crc = FStartCrc;
    if (Crypt) Crypt->Keys = FStartKeys;
  }
}

void TDecompressStream::SwitchSource(TStream32& Next) {
  FStream = &Next;
  FStreamPos = Next.Position();
  FSwitched = true;
  if (FInputDry && FZError == Z_BUF_ERROR) {
    FError = 0;
    FZError = Z_OK;
  }
  FInputDry = false;
}

bool TDecompressStream::Refill() {
  if (Cancelled()) return false;
  Int64 want = kCodecBufferSize;
  if (FLimit >= 0) want = std::min(want, FLimit - FRawRead);
  if (want <= 0 || !RestorePosition()) {
    FInputDry = true;
    return false;
  }
  const Int32 got = FStream->Read(FBuffer.data(), static_cast<Int32>(want));
  if (got <= 0) {
    FInputDry = true;
    return false;
  }
  FStreamPos += got;
  FRawRead += got;
  if (CryptFlag && Crypt) Crypt->DecryptZipBuffer(FBuffer.data(), static_cast<std::size_t>(got));
  FZ.next_in = FBuffer.data();
  FZ.avail_in = static_cast<uInt>(got);
  if (Notify) Notify(*this);
  return true;
}

Int32 TDecompressStream::InflateInto(Byte* Buffer, Int32 Count) {
  if (Count <= 0 || FFinished || FEndOfStream) return 0;
  if (FError != 0 || !FZInit) return -1;
  if (!FHaveSnapshot && FRawRead == 0) {
    FStartCrc = Crc;
    if (Crypt) FStartKeys = Crypt->Keys;
    FHaveSnapshot = true;
  }
  FZ.next_out = Buffer;
  FZ.avail_out = static_cast<uInt>(Count);
  while (FZ.avail_out > 0) {
    if (FZ.avail_in == 0 && !FInputDry && !Refill() && Cancelled()) break;
    const int ret = inflate(&FZ, Z_NO_FLUSH);
    if (ret == Z_STREAM_END) {
      FEndOfStream = true;
      break;
    }
    if (ret == Z_OK) continue;
    if (ret == Z_BUF_ERROR && FZ.avail_in == 0 && !FInputDry) continue;
    // Z_BUF_ERROR here: the data stop before their end (truncated, or the
    // compressed size was reached).
    Fail(ret);
    break;
  }
  const Int32 produced = Count - static_cast<Int32>(FZ.avail_out);
  FZ.next_out = nullptr;
  FZ.avail_out = 0;
  FTotalOut += produced;
  UpdateCrc(Buffer, static_cast<std::size_t>(produced));
  if (produced > 0) return produced;
  return FError != 0 ? -1 : 0;
}

Int32 TDecompressStream::Read(void* Buffer, Int32 Count) { return InflateInto(static_cast<Byte*>(Buffer), Count); }

void TDecompressStream::Skip(Int64 Count) {
  Byte scratch[16384];
  while (Count > 0) {
    const Int32 n = Read(scratch, static_cast<Int32>(std::min<Int64>(Count, sizeof scratch)));
    if (n <= 0) break;
    Count -= n;
  }
}

Int64 TDecompressStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  Int64 target;
  if (Origin == soBeginning) {
    target = Offset;
  } else if (Origin == soCurrent) {
    if (Offset == 0) return FTotalOut;
    if (Offset > 0 && FTotalOut > std::numeric_limits<Int64>::max() - Offset) return -1;
    target = FTotalOut + Offset;
  } else {
    return -1;
  }
  if (target < 0 || FFinished) return -1;
  if (target < FTotalOut || (Origin == soBeginning && target == 0)) {
    // Restarting needs the entry's first byte on the source in use.
    if (FSwitched || !FZInit) return -1;
    Reset();
  }
  if (target > FTotalOut) Skip(target - FTotalOut);
  return FTotalOut;
}

// ---- TStoreStream

TStoreStream::TStoreStream(TStream32& Stream, const TCodecInfo& Info, int ACrcKind, TStreamNotify ANotify)
    : TCustomStream(Stream, ACrcKind), FInfo(Info) {
  Notify = std::move(ANotify);
  Cancel = Info.Cancel;
  CryptFlag = Info.Encrypt;
  Crypt = Info.Crypt;
  BytesLeft = Info.BytesLeft;
  if (ACrcKind == kCrc32) {
    Crc = Info.Encrypt && Info.RunCrc ? Info.RunCrc->Crc32 : 0xFFFFFFFFu;
  } else if (ACrcKind == kCrc16) {
    Crc = Info.Encrypt && Info.RunCrc ? Info.RunCrc->Crc16 : 0u;
  } else {
    Crc = Info.Crc;
  }
}

void TStoreStream::WriteOwned(Byte* Buffer, Int32 Count) {
  UpdateCrc(Buffer, static_cast<std::size_t>(Count));
  if (CryptFlag && Crypt) Crypt->EncryptZipBuffer(Buffer, static_cast<std::size_t>(Count));
  if (BytesLeft) *BytesLeft -= Count;
  if (!RestorePosition()) throw EWriteError(0, kStreamWriteError);
  FStream->WriteBuffer(Buffer, Count);
  FStreamPos += Count;
  FTotal += Count;
  if (Notify) Notify(*this);
}

Int32 TStoreStream::Write(const void* Buffer, Int32 Count) {
  if (Count <= 0) return 0;
  const auto* p = static_cast<const Byte*>(Buffer);
  if (!(CryptFlag && Crypt)) {
    UpdateCrc(p, static_cast<std::size_t>(Count));
    if (BytesLeft) *BytesLeft -= Count;
    if (!RestorePosition()) throw EWriteError(0, kStreamWriteError);
    FStream->WriteBuffer(p, Count);
    FStreamPos += Count;
    FTotal += Count;
    if (Notify) Notify(*this);
    return Count;
  }
  // The caller's bytes stay plain: encipher a copy.
  for (Int32 done = 0; done < Count;) {
    const Int32 n = std::min(Count - done, kCodecBufferSize);
    std::memcpy(FBuffer.data(), p + done, static_cast<std::size_t>(n));
    WriteOwned(FBuffer.data(), n);
    done += n;
  }
  return Count;
}

Int64 TStoreStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  if (Offset == 0 && Origin == soCurrent) return FTotal;
  return -1;
}

Int64 TStoreStream::CopyFrom(TStream32& Source, Int64 Count, const bool* CancelFlag, TStreamNotify NotifyProc) {
  if (NotifyProc) Notify = std::move(NotifyProc);
  const bool* cancel = CancelFlag ? CancelFlag : Cancel;
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
  }
  if (Count <= 0) return 0;
  const Int32 chunk = static_cast<Int32>(std::min<Int64>(Count, CopyChunkSize()));
  std::unique_ptr<Byte[]> buf(new Byte[static_cast<std::size_t>(chunk)]);
  Int64 copied = 0;
  while (copied < Count) {
    if (cancel && *cancel) break;
    ProcessMessages();
    const Int32 n = static_cast<Int32>(std::min<Int64>(Count - copied, chunk));
    Source.ReadBuffer(buf.get(), n);
    WriteOwned(buf.get(), n);
    copied += n;
  }
  return copied;
}

// ---- TCalcStreamCRC

TCalcStreamCRC::TCalcStreamCRC(TStream32& Source, int ACrcKind) : TCustomStream(Source, ACrcKind) {}

void TCalcStreamCRC::Restart() {
  Crc = CrcKind == kCrc32 ? 0xFFFFFFFFu : 0u;
  FCount = 0;
}

Int32 TCalcStreamCRC::Read(void* Buffer, Int32 Count) {
  const Int32 n = FStream->Read(Buffer, Count);
  if (n > 0) {
    UpdateCrc(Buffer, static_cast<std::size_t>(n));
    FCount += n;
  }
  return n;
}

Int64 TCalcStreamCRC::Seek(Int64 Offset, TSeekOrigin Origin) {
  const Int64 r = FStream->Seek(Offset, Origin);
  if (Origin == soBeginning && Offset == 0 && r == 0) Restart();
  return r;
}

UInt32 TCalcStreamCRC::Calculate(const TStreamNotify& ANotify) {
  constexpr Int32 kChunk = 100000;
  std::unique_ptr<Byte[]> buf(new Byte[kChunk]);
  Seek(0, soBeginning);
  Restart();
  for (;;) {
    if (Cancelled()) break;
    const Int32 n = Read(buf.get(), kChunk);
    if (n <= 0) break;
    if (ANotify) ANotify(*this);
  }
  FStream->SetPosition(0);
  return Crc;
}

// ---- DeflateStream

bool DeflateStream(TStream32& Input, TStream32& Output, TCodecInfo& Info, TDeflateType DeflateType,
                   TStreamNotify Notify, int WindowBits, UInt32& Crc) {
  Info.Error = 0;
  auto s = std::make_unique<TCompressStream>(Output, DeflateType, WindowBits, kCrc32);
  s->Crc = Info.Crc;
  s->CryptFlag = Info.Encrypt;
  s->Crypt = Info.Crypt;
  s->BytesLeft = Info.BytesLeft;
  s->Cancel = Info.Cancel;
  if (s->Error() != 0) {
    Info.Error = s->Error();
    return false;
  }
  const auto r = s->CopyLoop(Input, 0, Info.Cancel, std::move(Notify));
  if (s->Cancelled()) {
    Info.Error = msg::UserCanceled;
    return false;
  }
  if (s->Error() != 0) {
    Info.Error = s->Error();
    return false;
  }
  if (r.Failed) {
    Info.Error = msg::ErrorReadingFile;
    return false;
  }
  if (const int rc = s->Finish(); rc != 0) {
    Info.Error = rc;
    return false;
  }
  Output.SetPosition(0);
  if (!Info.Encrypt) Crc = s->FinalCrc();
  if (r.Copied == 0 && Info.RunCrc && Info.RunCrc->Crc32 == 0xFFFFFFFFu) Info.RunCrc->Crc32 = 0;
  return true;
}

}  // namespace vsk
