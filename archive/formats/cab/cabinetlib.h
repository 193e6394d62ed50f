#pragma once
// What the cabinet reader and writer share: the binding of the cabinet
// library "cabinet.so" (looked up by name on first use), the file handler
// that serves the library's file callbacks, the library's error as an
// exception, and the compression words.

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/stream.h"
#include "libs/cabinet/fdifci.h"

namespace vsk {

struct TCabinetLibrary {
  PFNFDICREATE FDICreate = nullptr;
  PFNFDIISCABINET FDIIsCabinet = nullptr;
  PFNFDICOPY FDICopy = nullptr;
  PFNFDIDESTROY FDIDestroy = nullptr;
  PFNFCICREATE FCICreate = nullptr;
  PFNFCIADDFILE FCIAddFile = nullptr;
  PFNFCIFLUSHCABINET FCIFlushCabinet = nullptr;
  PFNFCIFLUSHFOLDER FCIFlushFolder = nullptr;
  PFNFCIDESTROY FCIDestroy = nullptr;

  bool ReaderAvailable() const { return FDICreate && FDIIsCabinet && FDICopy && FDIDestroy; }
  bool WriterAvailable() const { return FCICreate && FCIAddFile && FCIFlushCabinet && FCIDestroy; }
};

// The entry points of "cabinet.so", loaded on the first call; those of a
// missing library are all null.
const TCabinetLibrary& CabinetLibrary();
// Binds the library of another file name instead (tests point it at a
// missing one); no component may be inside a library call meanwhile.
void BindCabinetLibrary(const std::string& FileName);

// The library's memory callbacks.
void* CabAlloc(size_t Size);
void CabFree(void* Memory);

// The file operations behind the library's file callbacks. Err is 0 on
// success, the system error after a short transfer or a failure, or -1 for
// a handle that is not open here.
class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;
  virtual intptr_t Open(const std::string& FileName, int OFlag, int PMode, int& Err, void* UserData) = 0;
  virtual unsigned Read(intptr_t Handle, void* Buffer, unsigned Count, int& Err, void* UserData) = 0;
  virtual unsigned Write(intptr_t Handle, const void* Buffer, unsigned Count, int& Err, void* UserData) = 0;
  virtual int Close(intptr_t Handle, int& Err, void* UserData) = 0;
  virtual Int64 Seek(intptr_t Handle, Int64 Distance, int SeekType, int& Err, void* UserData) = 0;
  virtual int Delete(const std::string& FileName, int& Err, void* UserData) = 0;
};

// The handler over file streams: a handle is the stream's system handle.
// Every stream still open is closed with the handler.
class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  intptr_t Open(const std::string& FileName, int OFlag, int PMode, int& Err, void* UserData) override;
  unsigned Read(intptr_t Handle, void* Buffer, unsigned Count, int& Err, void* UserData) override;
  unsigned Write(intptr_t Handle, const void* Buffer, unsigned Count, int& Err, void* UserData) override;
  int Close(intptr_t Handle, int& Err, void* UserData) override;
  Int64 Seek(intptr_t Handle, Int64 Distance, int SeekType, int& Err, void* UserData) override;
  int Delete(const std::string& FileName, int& Err, void* UserData) override;
  std::size_t OpenCount() const { return FStreams.size(); }

 private:
  TFileStream32* Find(intptr_t Handle) const;
  std::vector<std::unique_ptr<TFileStream32>> FStreams;
};

// The library's open, close and delete callbacks over the handler of the
// component the user pointer names (Owner::FileHandler()). No exception
// passes into the library.
template <class Owner>
struct TCabinetFileCallbacks {
  static intptr_t Open(const char* Name, int OFlag, int PMode, int* Err, void* Pv) {
    try {
      return static_cast<Owner*>(Pv)->FileHandler().Open(Name ? Name : "", OFlag, PMode, *Err, Pv);
    } catch (...) {
      *Err = EIO;
      return -1;
    }
  }
  static int Close(intptr_t Hf, int* Err, void* Pv) { return static_cast<Owner*>(Pv)->FileHandler().Close(Hf, *Err, Pv); }
  static int Delete(const char* Name, int* Err, void* Pv) {
    try {
      return static_cast<Owner*>(Pv)->FileHandler().Delete(Name ? Name : "", *Err, Pv);
    } catch (...) {
      *Err = EIO;
      return -1;
    }
  }
};

// A failure of the library other than those the components answer
// themselves: "Cabinet error <erfOper> (type <erfType>)".
class ECabinetError : public EVskError {
 public:
  ECabinetError(int Oper, int Type);
  int ErfOper;
  int ErfType;
};

// What an FDI failure (erfOper, erfType of the error record) is reported
// as: a message code, and the library's reason in words, with the system's
// own reason when it gave one.
int FdiErrorCode(int Oper);
std::string FdiErrorReason(int Oper, int Type);
// The same for an FCI failure of the writer.
int FciErrorCode(int Oper);
std::string FciErrorReason(int Oper, int Type);

inline TCOMP CompressionWordFromTypeLevelMemory(int Type, int Level, int Memory) {
  return static_cast<TCOMP>(Memory * 256 + Level * 16 + Type);
}
inline TCOMP CompressionWordFromLzxWindow(int Window) { return static_cast<TCOMP>(Window * 256 + 3); }

}  // namespace vsk
