#pragma once
// The RAR library's entry points, looked up by their exported names in a
// library loaded with LoadLibraryQuiet.

#include "platform/dynlib.h"
#include "libs/rar/unrarlib.h"

namespace vsk {

struct TRarEntryPoints {
  RAROpenArchiveFn OpenArchive = nullptr;
  RARCloseArchiveFn CloseArchive = nullptr;
  RARReadHeaderFn ReadHeader = nullptr;
  RARProcessFileFn ProcessFile = nullptr;
  RARSetCallbackFn SetCallback = nullptr;

  // All five from Lib, or false with none set.
  bool Resolve(TLibHandle Lib) {
    OpenArchive = reinterpret_cast<RAROpenArchiveFn>(GetProcAddress(Lib, "RAROpenArchive"));
    CloseArchive = reinterpret_cast<RARCloseArchiveFn>(GetProcAddress(Lib, "RARCloseArchive"));
    ReadHeader = reinterpret_cast<RARReadHeaderFn>(GetProcAddress(Lib, "RARReadHeader"));
    ProcessFile = reinterpret_cast<RARProcessFileFn>(GetProcAddress(Lib, "RARProcessFile"));
    SetCallback = reinterpret_cast<RARSetCallbackFn>(GetProcAddress(Lib, "RARSetCallback"));
    if (OpenArchive && CloseArchive && ReadHeader && ProcessFile && SetCallback) return true;
    *this = {};
    return false;
  }
};

}  // namespace vsk
