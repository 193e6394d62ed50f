#pragma once
// Fuzz inputs go through files, since detection and the components open
// archives by name: memory-backed storage when the machine has it.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

// A per-process file name with the given extension.
inline std::string FuzzFileName(const char* extension) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/vskfuzz-" + std::to_string(getpid()) + extension;
}

inline void WriteFuzzFile(const std::string& name, const uint8_t* data, size_t size) {
  if (FILE* f = std::fopen(name.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
}

#include <stdlib.h>

#include <filesystem>

// A folder of this process that extractions write into.
inline const std::string& FuzzScratchFolder() {
  static const std::string dir = [] {
    std::string tmpl = FuzzFileName("-out-XXXXXX");
    char* made = mkdtemp(tmpl.data());
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

// Runs a reader over the input twice, once testing and once extracting into
// the scratch folder, which is emptied afterwards: whatever is written must
// land there. Configure sets the reader up for the archive named.
template <class Reader, class ConfigureFn>
int FuzzReader(const uint8_t* data, size_t size, const char* extension, ConfigureFn Configure) {
  const std::string name = FuzzFileName(extension);
  WriteFuzzFile(name, data, size);
  try {
    Reader test;
    Configure(test, name);
    test.TestArchive();

    Reader reader;
    Configure(reader, name);
    reader.SetExtractDir(FuzzScratchFolder());
    reader.Extract();
  } catch (...) {
    // Only detection may raise (a file that cannot be opened); the entry
    // points never do.
  }
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(FuzzScratchFolder(), ec))
    std::filesystem::remove_all(e.path(), ec);
  return 0;
}
