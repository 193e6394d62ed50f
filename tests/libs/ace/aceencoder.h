#pragma once
// A test-only ACE 1.0 writer: stored and LZ77 (Huffman-coded) entries,
// folders, solid archives and volume sets, with the header CRC-16s and the
// files' CRC-32s as the format has them. Debian's unace reads what it
// writes; the tests then read the same archives with our library.

#include <cstddef>
#include <string>
#include <vector>

#include "base/types.h"

namespace vsktest {

struct AceEntry {
  std::string name = {};  // "/" is stored as "\"; other bytes as they are
  std::string data = {};
  bool folder = false;
  bool lz77 = true;  // else stored; empty files are always stored
  // Extra header flags (0x4000 marks an encrypted file; its data are
  // written as given).
  vsk::UInt16 flags = 0;
  // The compression type byte written in place of the real one (the
  // data are still stored); -1 keeps the real one.
  int methodByte = -1;
};

struct AceOptions {
  bool solid = false;
  int dictionaryBits = 15;  // 10..22
  // 0: one file. Otherwise volumes of at most about this many bytes:
  // "x.ace", "x.c00", "x.c01", ...
  std::size_t volumeSize = 0;
  // Main symbols per Huffman block (at most 32767).
  std::size_t blockSymbols = 16384;
};

// The LZ77 bit stream of Data (one file), going on from History in a
// solid archive (History is the data of the files before).
std::string AceCompress(const std::string& History, const std::string& Data, int DictionaryBits,
                        std::size_t BlockSymbols);

// The bytes of each volume.
std::vector<std::string> EncodeAce(const std::vector<AceEntry>& Entries, const AceOptions& Options);
// Writes them to Path and its later volumes; returns the file names.
std::vector<std::string> WriteAce(const std::string& Path, const std::vector<AceEntry>& Entries,
                                  const AceOptions& Options = {});
// The name of volume Index (0 the first) of the set whose first is Path.
std::string AceVolumeName(const std::string& Path, std::size_t Index);

}  // namespace vsktest
