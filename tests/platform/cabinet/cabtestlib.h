#pragma once
// The cabinet library as the archive components use it: loaded by name,
// its entry points looked up, driven with callbacks over POSIX files.

#include <string>
#include <vector>

#include "platform/cabinet/fdifci.h"
#include "platform/dynlib.h"

namespace vsktest {

class CabinetLib {
 public:
  CabinetLib();
  ~CabinetLib();
  CabinetLib(const CabinetLib&) = delete;
  CabinetLib& operator=(const CabinetLib&) = delete;
  // The reading (FDI) and the writing (FCI) entry points were all found.
  bool readerOk() const;
  bool writerOk() const;

  PFNFDICREATE FDICreate = nullptr;
  PFNFDIISCABINET FDIIsCabinet = nullptr;
  PFNFDICOPY FDICopy = nullptr;
  PFNFDIDESTROY FDIDestroy = nullptr;
  PFNFCICREATE FCICreate = nullptr;
  PFNFCIADDFILE FCIAddFile = nullptr;
  PFNFCIFLUSHCABINET FCIFlushCabinet = nullptr;
  PFNFCIFLUSHFOLDER FCIFlushFolder = nullptr;
  PFNFCIDESTROY FCIDestroy = nullptr;

 private:
  vsk::TLibHandle lib_ = nullptr;
};

// The user pointer of the POSIX callbacks: what they did.
struct PosixFiles {
  int openHandles = 0;  // opened and not yet closed
  std::vector<std::string> opened;
  std::string tempDir;  // where get-temp-file names its files
  int tempCount = 0;
};

void* CabAlloc(size_t cb);
void CabFree(void* memory);
intptr_t CabOpen(const char* name, int oflag, int pmode, int* err, void* pv);
unsigned int CabRead(intptr_t hf, void* memory, unsigned int cb, int* err, void* pv);
unsigned int CabWrite(intptr_t hf, const void* memory, unsigned int cb, int* err, void* pv);
int CabClose(intptr_t hf, int* err, void* pv);
int64_t CabSeek(intptr_t hf, int64_t dist, int seektype, int* err, void* pv);
int CabDelete(const char* name, int* err, void* pv);
int CabGetTempFile(char* name, int cb, void* pv);
intptr_t CabGetOpenInfo(const char* name, uint16_t* date, uint16_t* time, uint16_t* attribs, int* err, void* pv);

// The FDI context over the POSIX callbacks.
HFDI MakeFdi(const CabinetLib& lib, ERF& erf, PosixFiles& files);

}  // namespace vsktest
