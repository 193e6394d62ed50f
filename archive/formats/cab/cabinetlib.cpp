#include "archive/formats/cab/cabinetlib.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <mutex>

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

}  // namespace vsk
