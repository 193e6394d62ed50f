#include "platform/dynlib.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <list>
#include <mutex>
#include <vector>

namespace vsk {

namespace {

#ifdef BREVANE_LIBRARY_DIR
constexpr const char* kBuildLibraryDir = BREVANE_LIBRARY_DIR;
#else
constexpr const char* kBuildLibraryDir = "";
#endif
#ifdef BREVANE_DATA_DIR
constexpr const char* kBuildDataDir = BREVANE_DATA_DIR;
#else
constexpr const char* kBuildDataDir = "";
#endif

struct TBuiltin {
  std::string FileName;
  TBuiltinLookup Lookup;
};

// A list, so a handle (the address of its entry) stays valid for the run.
// It is never destroyed: libraries held by other statics are freed while
// the program exits, and freeing one looks it up here.
std::mutex BuiltinLock;
std::list<TBuiltin>& Builtins() {
  static auto* builtins = new std::list<TBuiltin>;
  return *builtins;
}

TBuiltin* FindBuiltin(const void* Handle, const std::string* FileName) {
  std::lock_guard<std::mutex> lock(BuiltinLock);
  for (TBuiltin& b : Builtins())
    if (&b == Handle || (FileName != nullptr && b.FileName == *FileName)) return &b;
  return nullptr;
}

TLibHandle TryOpen(const std::string& Path) {
  // RTLD_LOCAL keeps each library's symbols to itself; RTLD_NOW finds a
  // missing symbol here rather than in the middle of a run.
  return dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

std::string ProgramFile() {
  std::vector<char> buf(4096);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string ProgramDir() {
  const std::string path = ProgramFile();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ProgramDataDir() {
  const std::string beside = ProgramDir();
  for (const std::string& dir : {beside.empty() ? beside : beside + "/Data", std::string(kBuildDataDir)}) {
    struct stat st;
    if (!dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  }
  return {};
}

void RegisterBuiltinLibrary(const std::string& FileName, TBuiltinLookup Lookup) {
  if (FileName.empty() || Lookup == nullptr) return;
  std::lock_guard<std::mutex> lock(BuiltinLock);
  for (TBuiltin& b : Builtins())
    if (b.FileName == FileName) {
      b.Lookup = Lookup;
      return;
    }
  Builtins().push_back({FileName, Lookup});
}

TLibHandle LoadLibraryQuiet(const std::string& FileName) {
  if (FileName.empty()) return nullptr;
  if (TBuiltin* b = FindBuiltin(nullptr, &FileName)) return b;
  // A name with a folder is taken as it stands.
  if (FileName.find('/') != std::string::npos) return TryOpen(FileName);
  // BREVANE_LIBRARY_DIR in the environment takes the build folder's place
  // and ends the search there: a library loaded earlier and kept in memory
  // would otherwise still be found by its name.
  const char* given = std::getenv("BREVANE_LIBRARY_DIR");
  for (const std::string& dir : {ProgramDir(), std::string(given ? given : kBuildLibraryDir)}) {
    if (dir.empty()) continue;
    const std::string path = dir + "/" + FileName;
    if (access(path.c_str(), F_OK) != 0) continue;
    if (TLibHandle lib = TryOpen(path)) return lib;
  }
  if (given != nullptr) return nullptr;
  TLibHandle lib = TryOpen(FileName);
  dlerror();  // leave no pending error text behind
  return lib;
}

void* GetProcAddress(TLibHandle Lib, const char* Name) {
  if (Lib == nullptr || Name == nullptr) return nullptr;
  if (const TBuiltin* b = FindBuiltin(Lib, nullptr)) return b->Lookup(Name);
  return dlsym(Lib, Name);
}

void FreeLibrary(TLibHandle Lib) {
  // A built-in library stays for the run.
  if (Lib != nullptr && FindBuiltin(Lib, nullptr) == nullptr) dlclose(Lib);
}

}  // namespace vsk
