#pragma once
// The outside library a stub's reader loads by name, linked into the stub:
// registered under that name before the reader runs. Each stub links one
// definition: ownlib_<word>.cpp, or ownlib_none.cpp when its reader loads
// none.

#include <cstring>

#include "platform/dynlib.h"

namespace sfx {

void RegisterOwnLibrary();

// An entry point of a linked-in library by its exported name.
struct TEntryPoint {
  const char* Name;
  void* Address;
};

template <class F>
void* Address(F* Function) {
  return reinterpret_cast<void*>(Function);
}

template <std::size_t N>
void* Lookup(const TEntryPoint (&Points)[N], const char* Name) {
  for (const TEntryPoint& e : Points)
    if (std::strcmp(e.Name, Name) == 0) return e.Address;
  return nullptr;
}

}  // namespace sfx
