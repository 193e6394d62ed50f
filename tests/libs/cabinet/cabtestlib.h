#pragma once
// The cabinet library as the archive components use it: loaded by name,
// its entry points looked up, driven with callbacks over POSIX files.

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/formats/cab/cabinetlib.h"
#include "libs/cabinet/fdifci.h"
#include "platform/dynlib.h"
#include "tests/support/cabbuild.h"
#include "tests/support/testutil.h"

namespace vsktest {

// The entry points as the archive components bind them.
class CabinetLib : public vsk::TCabinetLibrary {
 public:
  CabinetLib() : vsk::TCabinetLibrary(vsk::CabinetLibrary()) {}
  // The reading (FDI) and the writing (FCI) entry points were all found.
  bool readerOk() const { return ReaderAvailable(); }
  bool writerOk() const { return WriterAvailable() && FCIFlushFolder; }
};

// The user pointer of the POSIX callbacks: what they did.
struct PosixFiles {
  int openHandles = 0;  // opened and not yet closed
  std::vector<std::string> opened;
  std::string tempDir;  // where get-temp-file names its files
  int tempCount = 0;
  std::vector<std::string> deleted;
};

using vsk::CabAlloc;
using vsk::CabFree;
intptr_t CabOpen(const char* name, int oflag, int pmode, int* err, void* pv);
unsigned int CabRead(intptr_t hf, void* memory, unsigned int cb, int* err, void* pv);
unsigned int CabWrite(intptr_t hf, const void* memory, unsigned int cb, int* err, void* pv);
int CabClose(intptr_t hf, int* err, void* pv);
int64_t CabSeek(intptr_t hf, int64_t dist, int seektype, int* err, void* pv);
// Deletes regular files only: a device given as a cabinet stays.
int CabDelete(const char* name, int* err, void* pv);
int CabGetTempFile(char* name, int cb, void* pv);
intptr_t CabGetOpenInfo(const char* name, uint16_t* date, uint16_t* time, uint16_t* attribs, int* err, void* pv);

// The FDI context over the POSIX callbacks.
HFDI MakeFdi(const CabinetLib& lib, ERF& erf, PosixFiles& files);

// ---- reading: FDICopy with outputs in a folder

struct Event {
  FDINOTIFICATIONTYPE type;
  std::string psz1, psz2, psz3;
  int64_t cb = 0;
  int fdie = 0;
  uint16_t attribs = 0, iCabinet = 0;
  uint16_t date = 0, time = 0;
};

// What FDICopy is answered and what it told.
struct Extraction {
  std::filesystem::path outDir;
  PosixFiles files;
  std::set<std::string> skip;  // copy-file answers 0
  std::string abortAt;         // copy-file answers -1
  std::string fullAt;          // written to /dev/full
  intptr_t closeAnswer = 1;
  std::function<intptr_t(FDINOTIFICATION&, int asked)> onNext;
  int nextAsked = 0;
  std::vector<Event> events;
  ERF erf{};
  bool ok = false;

  std::vector<FDINOTIFICATIONTYPE> Types() const;
  // The close-file-info of the file.
  const Event* Closed(const std::string& name) const;
};

// FDICopy on the cabinet Cab, with the files written under x.outDir
// (backslashes in names as "/").
void Extract(const CabinetLib& lib, const std::filesystem::path& cab, Extraction& x);


}  // namespace vsktest
