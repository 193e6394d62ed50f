// Arbitrary bytes opened as a RAR archive through the RAR library, loaded
// by name as the reader loads it: every entry is tested. Results must come
// from the library's list of codes; a next volume is declined.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzzfile.h"
#include "archive/formats/rar/unrarentry.h"

namespace {

const vsk::TRarEntryPoints& Lib() {
  static const vsk::TRarEntryPoints lib = [] {
    vsk::TRarEntryPoints e;
    if (!e.Resolve(vsk::LoadLibraryQuiet("unrar3.so"))) abort();
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
  RARHANDLE h = Lib().OpenArchive(&o);
  if (!Listed(static_cast<int>(o.OpenResult)) || (h == nullptr) != (o.OpenResult != 0)) abort();
  if (h == nullptr) return 0;
  Lib().SetCallback(h, Callback, 0);
  RARHeaderData header{};
  int r;
  while ((r = Lib().ReadHeader(h, &header)) == 0) {
    if (!Listed(Lib().ProcessFile(h, RAR_TEST, nullptr, nullptr))) abort();
  }
  if (!Listed(r) || Lib().CloseArchive(h) != 0) abort();
  return 0;
}
