#include "base/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "base/errors.h"
#include "base/messages.h"
#include "base/pump.h"

namespace vsk {

namespace {

bool IsDiskFull(int err) { return err == ENOSPC || err == EDQUOT; }

// Target of a seek, or -1 when it is negative or overflows.
Int64 SeekTarget(Int64 base, Int64 offset) {
  if ((offset > 0 && base > std::numeric_limits<Int64>::max() - offset) ||
      (offset < 0 && base < std::numeric_limits<Int64>::min() - offset))
    return -1;
  const Int64 r = base + offset;
  return r < 0 ? -1 : r;
}

}  // namespace

// ---- TStream32

Int64 TStream32::GetSize() {
  const Int64 pos = Seek(0, soCurrent);
  const Int64 size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream32::SetSize(Int64) {}

Int64 TStream32::Seek(Int64, TSeekOrigin) {
  throw EStreamError(0, std::string(ClassName()) + ".Seek not implemented");
}

void TStream32::ReadBuffer(void* Buffer, Int64 Count) {
  auto* p = static_cast<Byte*>(Buffer);
  while (Count > 0) {
    const Int32 chunk = static_cast<Int32>(std::min<Int64>(Count, 1 << 30));
    const Int32 n = Read(p, chunk);
    if (n <= 0) throw EReadError(0, kStreamReadError);
    p += n;
    Count -= n;
  }
}

void TStream32::WriteBuffer(const void* Buffer, Int64 Count) {
  auto* p = static_cast<const Byte*>(Buffer);
  while (Count > 0) {
    const Int32 chunk = static_cast<Int32>(std::min<Int64>(Count, 1 << 30));
    const Int32 n = Write(p, chunk);
    if (n <= 0) {
      if (IsDiskFull(LastOSError())) throw EWriteError(msg::DiskFull);
      throw EWriteError(0, kStreamWriteError);
    }
    p += n;
    Count -= n;
  }
}

Int64 TStream32::CopyFrom(TStream32& Source, Int64 Count, const bool* CancelFlag, TStreamNotify NotifyProc) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
  }
  Notify = std::move(NotifyProc);
  const bool notCancelled = false;
  const bool* cancel = CancelFlag ? CancelFlag : &notCancelled;
  const Int32 chunk = static_cast<Int32>(std::min<Int64>(std::max<Int64>(Count, 1), CopyChunkSize()));
  std::vector<Byte> buf(static_cast<std::size_t>(chunk));
  Int64 left = Count;
  while (left > 0 && !*cancel) {
    ProcessMessages();
    const Int32 n = static_cast<Int32>(std::min<Int64>(left, chunk));
    Source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return Count;
}

// ---- THandleStream32

Int64 THandleStream32::GetSize() {
  struct stat st;
  if (FHandle < 0 || fstat(FHandle, &st) != 0) return 0;
  return st.st_size;
}

void THandleStream32::SetSize(Int64 NewSize) {
  if (NewSize < 0 || Seek(NewSize, soBeginning) < 0 || ftruncate(FHandle, NewSize) != 0)
    RaiseLastOSError(errno ? errno : EINVAL);
}

Int32 THandleStream32::Read(void* Buffer, Int32 Count) {
  if (FHandle < 0 || FBadPosition || Count <= 0) return 0;
  auto* p = static_cast<Byte*>(Buffer);
  Int32 done = 0;
  while (done < Count) {
    const ssize_t n = ::read(FHandle, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      FLastError = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<Int32>(n);
  }
  return done;
}

Int32 THandleStream32::Write(const void* Buffer, Int32 Count) {
  if (FHandle < 0) {
    FLastError = EBADF;
    return 0;
  }
  if (FBadPosition || Count <= 0) return 0;
  auto* p = static_cast<const Byte*>(Buffer);
  Int32 done = 0;
  while (done < Count) {
    const ssize_t n = ::write(FHandle, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      FLastError = errno;
      break;
    }
    if (n == 0) {
      FLastError = ENOSPC;
      break;
    }
    done += static_cast<Int32>(n);
  }
  return done;
}

Int64 THandleStream32::Seek(Int64 Offset, TSeekOrigin Origin) {
  if (FHandle < 0) return -1;
  const int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  if (whence == SEEK_CUR && Offset == 0 && FBadPosition) return -1;
  const off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) {
    FLastError = errno;
    FBadPosition = true;
    return -1;
  }
  FBadPosition = false;
  return r;
}

// ---- TFileStream32

TFileStream32::TFileStream32(const std::string& FileName, UInt16 Mode, Byte& Error) : THandleStream32(-1) {
  Error = OpenFile(FileName, Mode);
}

TFileStream32::TFileStream32(const std::string& FileName, UInt16 Mode) : THandleStream32(-1) {
  const Byte err = OpenFile(FileName, Mode);
  if (err == kStreamCreateFailed) throw EFCreateError(msg::ErrorCreatingFile);
  if (err != 0) throw EFOpenError(msg::ErrorOpeningFile);
}

Byte TFileStream32::OpenFile(const std::string& FileName, UInt16 Mode) {
  CloseHandle();
  FFileName = FileName;
  FBadPosition = false;
  Byte error = 0;
  if (Mode == fmCreate) {
    FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) error = kStreamCreateFailed;
  } else {
    static const int access[4] = {O_RDONLY, O_WRONLY, O_RDWR, O_RDWR};
    FHandle = ::open(FileName.c_str(), access[Mode & 3] | O_CLOEXEC);
    if (FHandle >= 0) {
      // A folder opens read-only on Linux; it is no file to stream.
      struct stat st;
      if (fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        errno = EISDIR;
      }
    }
    if (FHandle < 0) error = kStreamOpenFailed;
  }
  FLastError = FHandle < 0 ? errno : 0;
  return error;
}

TFileStream32::~TFileStream32() { CloseHandle(); }

void TFileStream32::CloseHandle() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

// ---- TCustomMemoryStream32

void TCustomMemoryStream32::SetPointer(void* Ptr, Int64 ASize) {
  FMemory = static_cast<Byte*>(Ptr);
  FSize = ASize < 0 ? 0 : ASize;
}

Int32 TCustomMemoryStream32::Read(void* Buffer, Int32 Count) {
  if (FPosition < 0 || Count <= 0 || FPosition >= FSize) return 0;
  const Int32 n = static_cast<Int32>(std::min<Int64>(Count, FSize - FPosition));
  std::memcpy(Buffer, FMemory + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

Int64 TCustomMemoryStream32::Seek(Int64 Offset, TSeekOrigin Origin) {
  const Int64 base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : FSize;
  if (Origin == soCurrent && FPosition < 0) return -1;
  FPosition = SeekTarget(base, Offset);
  return FPosition;
}

Int32 TCustomMemoryStream32::Write(const void* Buffer, Int32 Count) {
  if (FPosition < 0 || Count <= 0 || FPosition >= FSize) return 0;
  const Int32 n = static_cast<Int32>(std::min<Int64>(Count, FSize - FPosition));
  std::memcpy(FMemory + FPosition, Buffer, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

// ---- TMemoryStream32

namespace {
constexpr Int64 kMemoryDelta = 8192;
}

TMemoryStream32::~TMemoryStream32() { Clear(); }

void TMemoryStream32::Clear() {
  SetCapacity(0);
  FSize = 0;
  FPosition = 0;
}

Byte* TMemoryStream32::Realloc(Int64& NewCapacity) {
  if (NewCapacity > 0 && NewCapacity != FSize) {
    if (NewCapacity > std::numeric_limits<Int64>::max() - kMemoryDelta)
      throw EStreamError(msg::OutOfMemoryExpanding);
    NewCapacity = (NewCapacity + (kMemoryDelta - 1)) & ~(kMemoryDelta - 1);
  }
  if (NewCapacity == FCapacity) return FMemory;
  if (NewCapacity == 0) {
    std::free(FMemory);
    return nullptr;
  }
  void* p = std::realloc(FMemory, static_cast<std::size_t>(NewCapacity));
  if (!p) throw EStreamError(msg::OutOfMemoryExpanding);
  return static_cast<Byte*>(p);
}

void TMemoryStream32::SetCapacity(Int64 NewCapacity) {
  if (NewCapacity < 0) throw EStreamError(msg::OutOfMemoryExpanding);
  FMemory = Realloc(NewCapacity);
  FCapacity = NewCapacity;
}

void TMemoryStream32::SetSize(Int64 NewSize) {
  if (NewSize < 0) throw ERangeError(0, kRangeCheckError);
  const Int64 old = FSize;
  SetCapacity(NewSize);
  FSize = NewSize;
  if (NewSize > old) std::memset(FMemory + old, 0, static_cast<std::size_t>(NewSize - old));
  if (FPosition > NewSize) FPosition = NewSize;
}

Int32 TMemoryStream32::Write(const void* Buffer, Int32 Count) {
  if (FPosition < 0 || Count <= 0) return 0;
  if (FPosition > std::numeric_limits<Int64>::max() - Count) return 0;
  const Int64 end = FPosition + Count;
  if (end > FSize) {
    if (end > FCapacity) SetCapacity(end);
    if (FPosition > FSize) std::memset(FMemory + FSize, 0, static_cast<std::size_t>(FPosition - FSize));
    FSize = end;
  }
  std::memcpy(FMemory + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
  return Count;
}

}  // namespace vsk
