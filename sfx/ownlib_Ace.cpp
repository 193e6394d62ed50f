// The ACE stub carries the ACE library its reader loads as "unacev2.so".

#include "libs/ace/acelib.h"
#include "sfx/ownlib.h"

namespace sfx {

namespace {

const TEntryPoint kEntryPoints[] = {{"ACEInitDll", Address(&ACEInitDll)},
                                    {"ACEReadArchiveData", Address(&ACEReadArchiveData)},
                                    {"ACEList", Address(&ACEList)},
                                    {"ACETest", Address(&ACETest)},
                                    {"ACEExtract", Address(&ACEExtract)}};

void* EntryPoint(const char* Name) { return Lookup(kEntryPoints, Name); }

}  // namespace

void RegisterOwnLibrary() { vsk::RegisterBuiltinLibrary("unacev2.so", &EntryPoint); }

}  // namespace sfx
