#include "archive/formats/cab/cabinetlib.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <system_error>

#include "base/messages.h"
#include "platform/dynlib.h"

namespace vsk {

namespace {

constexpr const char* kCabinetLibraryName = "cabinet.so";

struct TBinding {
  TLibHandle Lib = nullptr;
  TCabinetLibrary Entries;

  void Bind(const std::string& FileName) {
    FreeLibrary(Lib);
    Entries = {};
    Lib = LoadLibraryQuiet(FileName);
    if (!Lib) return;
    const auto bind = [this](auto& Entry, const char* Name) {
      Entry = reinterpret_cast<std::remove_reference_t<decltype(Entry)>>(GetProcAddress(Lib, Name));
    };
    bind(Entries.FDICreate, "FDICreate");
    bind(Entries.FDIIsCabinet, "FDIIsCabinet");
    bind(Entries.FDICopy, "FDICopy");
    bind(Entries.FDIDestroy, "FDIDestroy");
    bind(Entries.FCICreate, "FCICreate");
    bind(Entries.FCIAddFile, "FCIAddFile");
    bind(Entries.FCIFlushCabinet, "FCIFlushCabinet");
    bind(Entries.FCIFlushFolder, "FCIFlushFolder");
    bind(Entries.FCIDestroy, "FCIDestroy");
  }
  ~TBinding() { FreeLibrary(Lib); }
};

TBinding& Binding() {
  static TBinding binding;
  static std::once_flag once;
  std::call_once(once, [] { binding.Bind(kCabinetLibraryName); });
  return binding;
}

}  // namespace

const TCabinetLibrary& CabinetLibrary() { return Binding().Entries; }

void BindCabinetLibrary(const std::string& FileName) { Binding().Bind(FileName); }

void* CabAlloc(size_t Size) { return std::malloc(Size); }

void CabFree(void* Memory) { std::free(Memory); }

// ---- TStreamCabinetFileHandler

TFileStream32* TStreamCabinetFileHandler::Find(intptr_t Handle) const {
  for (const auto& s : FStreams)
    if (s->Handle() == Handle) return s.get();
  return nullptr;
}

intptr_t TStreamCabinetFileHandler::Open(const std::string& FileName, int OFlag, int, int& Err, void*) {
  UInt16 mode = fmOpenRead;
  if (OFlag & CAB_O_CREAT)
    mode = fmCreate;
  else if (OFlag & CAB_O_RDWR)
    mode = fmOpenReadWrite;
  else if (OFlag & CAB_O_WRONLY)
    mode = fmOpenWrite;
  if (mode != fmCreate) mode |= (OFlag & CAB_O_EXCL) ? fmShareExclusive : fmShareDenyNone;
  Byte error = 0;
  auto stream = std::make_unique<TFileStream32>(FileName, mode, error);
  if (error != 0 || stream->Handle() < 0) {
    Err = -1;
    return -1;
  }
  Err = 0;
  const intptr_t handle = stream->Handle();
  FStreams.push_back(std::move(stream));
  return handle;
}

unsigned TStreamCabinetFileHandler::Read(intptr_t Handle, void* Buffer, unsigned Count, int& Err, void*) {
  TFileStream32* s = Find(Handle);
  if (!s) {
    Err = -1;
    return static_cast<unsigned>(-1);
  }
  const auto want = static_cast<Int32>(std::min<unsigned>(Count, std::numeric_limits<Int32>::max()));
  const Int32 got = s->Read(Buffer, want);
  if (got < want && s->LastOSError() != 0) {
    Err = s->LastOSError();
    return static_cast<unsigned>(-1);
  }
  return static_cast<unsigned>(got);
}

unsigned TStreamCabinetFileHandler::Write(intptr_t Handle, const void* Buffer, unsigned Count, int& Err, void*) {
  TFileStream32* s = Find(Handle);
  if (!s) {
    Err = -1;
    return 0;
  }
  const auto want = static_cast<Int32>(std::min<unsigned>(Count, std::numeric_limits<Int32>::max()));
  const Int32 put = s->Write(Buffer, want);
  if (put < 0 || static_cast<unsigned>(put) != Count) {
    Err = s->LastOSError() != 0 ? s->LastOSError() : ENOSPC;
    return put < 0 ? 0 : static_cast<unsigned>(put);
  }
  return Count;
}

int TStreamCabinetFileHandler::Close(intptr_t Handle, int& Err, void*) {
  const auto it = std::find_if(FStreams.begin(), FStreams.end(), [Handle](const auto& s) { return s->Handle() == Handle; });
  if (it == FStreams.end()) {
    Err = -1;
    return 0;
  }
  FStreams.erase(it);
  return 0;
}

Int64 TStreamCabinetFileHandler::Seek(intptr_t Handle, Int64 Distance, int SeekType, int& Err, void*) {
  TFileStream32* s = Find(Handle);
  if (!s) {
    Err = -1;
    return -1;
  }
  const TSeekOrigin origin = SeekType == 1 ? soCurrent : SeekType == 2 ? soEnd : soBeginning;
  const Int64 pos = s->Seek(Distance, origin);
  if (pos < 0 || (SeekType == 0 && pos != Distance)) Err = s->LastOSError() != 0 ? s->LastOSError() : EINVAL;
  return pos;
}

int TStreamCabinetFileHandler::Delete(const std::string& FileName, int& Err, void*) {
  if (::unlink(FileName.c_str()) == 0) return 0;
  Err = errno;
  return -1;
}

// ---- ECabinetError

ECabinetError::ECabinetError(int Oper, int Type)
    : EVskError(0, "Cabinet error " + std::to_string(Oper) + " (type " + std::to_string(Type) + ")"),
      ErfOper(Oper),
      ErfType(Type) {}

int FdiErrorCode(int Oper) {
  switch (Oper) {
    case FDIERROR_CABINET_NOT_FOUND: return msg::ErrorOpeningFile;
    case FDIERROR_NOT_A_CABINET:
    case FDIERROR_RESERVE_MISMATCH: return msg::BadFileHeader;
    case FDIERROR_UNKNOWN_CABINET_VERSION: return msg::UnsupportedArcType;
    case FDIERROR_CORRUPT_CABINET: return 25140;
    case FDIERROR_ALLOC_FAIL: return msg::OutOfMemory;
    case FDIERROR_BAD_COMPR_TYPE: return msg::UnsupportedMethod;
    case FDIERROR_MDI_FAIL: return msg::DecompressionError;
    case FDIERROR_TARGET_FILE: return msg::ErrorWritingToFile;
    case FDIERROR_WRONG_CABINET: return 25135;
    case FDIERROR_USER_ABORT: return msg::UserCanceled;
    case FDIERROR_EOF: return msg::ErrorReadingFile;
    default: return 25355;
  }
}

std::string FdiErrorReason(int Oper, int Type) {
  std::string reason;
  switch (Oper) {
    case FDIERROR_CABINET_NOT_FOUND: reason = "the cabinet cannot be opened"; break;
    case FDIERROR_NOT_A_CABINET: reason = "not a cabinet"; break;
    case FDIERROR_UNKNOWN_CABINET_VERSION: reason = "a cabinet of an unknown version"; break;
    case FDIERROR_CORRUPT_CABINET: reason = "the cabinet is damaged"; break;
    case FDIERROR_ALLOC_FAIL: reason = "out of memory"; break;
    case FDIERROR_BAD_COMPR_TYPE: reason = "an unknown compression type"; break;
    case FDIERROR_MDI_FAIL: reason = "the data do not decompress"; break;
    case FDIERROR_TARGET_FILE: reason = "an output cannot be written"; break;
    case FDIERROR_RESERVE_MISMATCH: reason = "the reserved sizes differ from the set's"; break;
    case FDIERROR_WRONG_CABINET: reason = "the next cabinet is not of this set"; break;
    case FDIERROR_USER_ABORT: reason = "stopped by its caller"; break;
    case FDIERROR_EOF: reason = "the cabinet ends too soon"; break;
    default: reason = ECabinetError(Oper, Type).what(); return reason;
  }
  if (Type != 0) reason += ": " + std::system_category().message(Type);
  return reason;
}

int FciErrorCode(int Oper) {
  switch (Oper) {
    case FCIERR_OPEN_SRC: return msg::ErrorOpeningFile;
    case FCIERR_READ_SRC: return msg::ErrorReadingFile;
    case FCIERR_ALLOC_FAIL: return msg::OutOfMemory;
    case FCIERR_TEMP_FILE: return msg::ErrorCreatingFile;
    case FCIERR_BAD_COMPR_TYPE: return msg::UnsupportedMethod;
    case FCIERR_CAB_FILE:
    case FCIERR_MCI_FAIL: return msg::ErrorWritingToFile;
    case FCIERR_USER_ABORT: return msg::UserCanceled;
    case FCIERR_CAB_FORMAT_LIMIT: return msg::MaxFileSizeExceeded;
    default: return 25355;
  }
}

std::string FciErrorReason(int Oper, int Type) {
  std::string reason;
  switch (Oper) {
    case FCIERR_OPEN_SRC: reason = "a file to add cannot be opened"; break;
    case FCIERR_READ_SRC: reason = "a file to add cannot be read"; break;
    case FCIERR_ALLOC_FAIL: reason = "out of memory"; break;
    case FCIERR_TEMP_FILE: reason = "a temporary file cannot be made or written"; break;
    case FCIERR_BAD_COMPR_TYPE: reason = "an unknown compression type"; break;
    case FCIERR_CAB_FILE: reason = "the cabinet cannot be written"; break;
    case FCIERR_USER_ABORT: reason = "stopped by its caller"; break;
    case FCIERR_MCI_FAIL: reason = "the compressor failed"; break;
    case FCIERR_CAB_FORMAT_LIMIT: reason = "more than a cabinet can hold"; break;
    default: reason = ECabinetError(Oper, Type).what(); return reason;
  }
  if (Type != 0) reason += ": " + std::system_category().message(Type);
  return reason;
}

}  // namespace vsk
