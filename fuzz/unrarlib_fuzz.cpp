// Arbitrary bytes opened as a RAR archive through the RAR library, loaded
// by name as the reader loads it: every entry is tested. Results must come
// from the library's list of codes; a next volume is declined.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzzfile.h"
#include "platform/dynlib.h"
#include "platform/rar/unrarlib.h"

namespace {

struct TEntryPoints {
  RAROpenArchiveFn Open = nullptr;
  RARCloseArchiveFn Close = nullptr;
  RARReadHeaderFn ReadHeader = nullptr;
  RARProcessFileFn Process = nullptr;
  RARSetCallbackFn SetCallback = nullptr;
};

const TEntryPoints& Lib() {
  static const TEntryPoints lib = [] {
    vsk::TLibHandle h = vsk::LoadLibraryQuiet("unrar3.so");
    TEntryPoints e;
    e.Open = reinterpret_cast<RAROpenArchiveFn>(vsk::GetProcAddress(h, "RAROpenArchive"));
    e.Close = reinterpret_cast<RARCloseArchiveFn>(vsk::GetProcAddress(h, "RARCloseArchive"));
    e.ReadHeader = reinterpret_cast<RARReadHeaderFn>(vsk::GetProcAddress(h, "RARReadHeader"));
    e.Process = reinterpret_cast<RARProcessFileFn>(vsk::GetProcAddress(h, "RARProcessFile"));
    e.SetCallback = reinterpret_cast<RARSetCallbackFn>(vsk::GetProcAddress(h, "RARSetCallback"));
    if (!e.Open || !e.Close || !e.ReadHeader || !e.Process || !e.SetCallback) abort();
    return e;
  }();
  return lib;
}

bool Listed(int Code) { return Code == 0 || (Code >= 10 && Code <= 19) || Code == 21 || Code == 22; }

int Callback(unsigned Msg, intptr_t, intptr_t P1, intptr_t P2) {
  if (Msg == UCM_CHANGEVOLUME) return -1;
  if (Msg == UCM_PROCESSDATA && (P1 == 0 || P2 <= 0)) abort();
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = FuzzFileName(".rar");
  WriteFuzzFile(name, data, size);
  char comment[256];
  RAROpenArchiveData o{};
  o.ArcName = name.c_str();
  o.OpenMode = RAR_OM_EXTRACT;
  o.CmtBuf = comment;
  o.CmtBufSize = sizeof comment;
  RARHANDLE h = Lib().Open(&o);
  if (!Listed(static_cast<int>(o.OpenResult)) || (h == nullptr) != (o.OpenResult != 0)) abort();
  if (h == nullptr) return 0;
  Lib().SetCallback(h, Callback, 0);
  RARHeaderData header{};
  int r;
  while ((r = Lib().ReadHeader(h, &header)) == 0) {
    if (!Listed(Lib().Process(h, RAR_TEST, nullptr, nullptr))) abort();
  }
  if (!Listed(r) || Lib().Close(h) != 0) abort();
  return 0;
}
