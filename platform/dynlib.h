#pragma once
// Loading outside libraries at run time by file name. A library is looked
// for beside the running program first, then in the folder the build puts
// this project's own libraries in, then through the loader's normal path.
// BREVANE_LIBRARY_DIR in the environment names the folder searched in
// place of the build's, and the loader's path is then not searched.
// Nothing is printed or shown when a library is missing: callers report
// their own "not found" error.
//
// A program may carry such a library linked into itself (a self-extractor
// must run without any folder of libraries): registered under its file
// name, that copy is the one loaded by that name, before any file.

#include <string>

namespace vsk {

using TLibHandle = void*;

// The library's handle, or nullptr when it cannot be found or loaded.
TLibHandle LoadLibraryQuiet(const std::string& FileName);
// The exported symbol, or nullptr; a null handle gives nullptr.
void* GetProcAddress(TLibHandle Lib, const char* Name);
void FreeLibrary(TLibHandle Lib);

// The entry point of a built-in library named Name, or nullptr.
using TBuiltinLookup = void* (*)(const char* Name);
// From now on LoadLibraryQuiet(FileName) gives the running program's own
// copy, whose entry points Lookup finds; registering a name again replaces
// its lookup.
void RegisterBuiltinLibrary(const std::string& FileName, TBuiltinLookup Lookup);

// The full name of the running program (empty when it cannot be read).
std::string ProgramFile();
// The folder of the running program, without a trailing "/" (empty when
// it cannot be read).
std::string ProgramDir();
// The program's data folder: "Data" beside the program, else the folder
// the build puts the data files in; empty when neither exists.
std::string ProgramDataDir();

}  // namespace vsk
