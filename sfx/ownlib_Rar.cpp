// The RAR stub carries the RAR library its reader loads as "unrar3.so".

#include "libs/rar/unrarlib.h"
#include "sfx/ownlib.h"

namespace sfx {

namespace {

const TEntryPoint kEntryPoints[] = {{"RAROpenArchive", Address(&RAROpenArchive)},
                                    {"RARCloseArchive", Address(&RARCloseArchive)},
                                    {"RARReadHeader", Address(&RARReadHeader)},
                                    {"RARProcessFile", Address(&RARProcessFile)},
                                    {"RARSetCallback", Address(&RARSetCallback)}};

void* EntryPoint(const char* Name) { return Lookup(kEntryPoints, Name); }

}  // namespace

void RegisterOwnLibrary() { vsk::RegisterBuiltinLibrary("unrar3.so", &EntryPoint); }

}  // namespace sfx
