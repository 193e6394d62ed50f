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
