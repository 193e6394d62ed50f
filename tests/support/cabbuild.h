#pragma once
// A test-only cabinet writer: stored folders, data blocks without
// checksums, cabinet sets with data blocks split between cabinets.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/records/cabheader.h"

namespace vsktest {

using vsk::UInt16;
using vsk::UInt32;

struct FileSpecRec {
  std::string name;
  UInt32 size = 0, offset = 0;
  UInt16 folder = 0;
  UInt16 attr = 0x20;
  UInt16 date = (41 << 9) | (5 << 5) | 6;  // 2021-05-06
  UInt16 time = (7 << 11) | (8 << 5) | 4;  // 07:08:08
};

struct CabSpec {
  std::vector<std::vector<std::string>> folders;  // data blocks per folder
  std::vector<FileSpecRec> files;
  std::string prevCab, prevDisk, nextCab, nextDisk;
  UInt16 index = 0;
  // A data block split at the end of a cabinet gives 0 as its unpacked
  // size there, and its whole size in the next cabinet.
  bool lastBlockSplit = false;
  UInt32 firstBlockUnpacked = 0;
};

// Little-endian fields written into bytes already there.
void Put16(std::string& s, std::size_t at, UInt32 v);
void Put32(std::string& s, std::size_t at, UInt32 v);

std::string BuildCab(const CabSpec& c);

// The regular files under Root by their names relative to it, with their contents.
std::map<std::string, std::string> FilesUnder(const std::filesystem::path& root);
// What cabextract extracts from Cab into Into (which it creates).
std::map<std::string, std::string> Cabextract(const std::filesystem::path& cab, const std::filesystem::path& into);

}  // namespace vsktest
