#include "tests/support/cabbuild.h"

#include <gtest/gtest.h>

#include "tests/support/testutil.h"

namespace vsktest {

using namespace vsk;

void Put16(std::string& s, std::size_t at, UInt32 v) {
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, std::size_t at, UInt32 v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}

std::string BuildCab(const CabSpec& c) {
  std::string h(36, '\0');
  h.replace(0, 4, "MSCF");
  h[24] = 3;
  h[25] = 1;
  Put16(h, 26, static_cast<UInt32>(c.folders.size()));
  Put16(h, 28, static_cast<UInt32>(c.files.size()));
  UInt16 flags = 0;
  if (!c.prevCab.empty()) flags |= kCabFlagPrevCabinet;
  if (!c.nextCab.empty()) flags |= kCabFlagNextCabinet;
  Put16(h, 30, flags);
  Put16(h, 32, 4321);
  Put16(h, 34, c.index);
  if (!c.prevCab.empty()) h += c.prevCab + '\0' + c.prevDisk + '\0';
  if (!c.nextCab.empty()) h += c.nextCab + '\0' + c.nextDisk + '\0';
  const std::size_t foldersAt = h.size();
  h += std::string(8 * c.folders.size(), '\0');
  Put32(h, 16, static_cast<UInt32>(h.size()));
  for (const auto& f : c.files) {
    std::string r(16, '\0');
    Put32(r, 0, f.size);
    Put32(r, 4, f.offset);
    Put16(r, 8, f.folder);
    Put16(r, 10, f.date);
    Put16(r, 12, f.time);
    Put16(r, 14, f.attr);
    h += r + f.name + '\0';
  }
  for (std::size_t i = 0; i < c.folders.size(); ++i) {
    Put32(h, foldersAt + 8 * i, static_cast<UInt32>(h.size()));
    Put16(h, foldersAt + 8 * i + 4, static_cast<UInt32>(c.folders[i].size()));
    for (std::size_t k = 0; k < c.folders[i].size(); ++k) {
      const std::string& block = c.folders[i][k];
      UInt32 unpacked = static_cast<UInt32>(block.size());
      if (i == 0 && k == 0 && c.firstBlockUnpacked != 0) unpacked = c.firstBlockUnpacked;
      if (c.lastBlockSplit && i + 1 == c.folders.size() && k + 1 == c.folders[i].size()) unpacked = 0;
      std::string d(8, '\0');
      Put16(d, 4, static_cast<UInt32>(block.size()));
      Put16(d, 6, unpacked);
      h += d + block;
    }
  }
  Put32(h, 8, static_cast<UInt32>(h.size()));
  return h;
}

std::map<std::string, std::string> FilesUnder(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  }
  return files;
}

std::map<std::string, std::string> Cabextract(const std::filesystem::path& cab, const std::filesystem::path& into) {
  const auto r = RunTool("cabextract -q -d " + ShellQuote(into.string()) + " " + ShellQuote(cab.string()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return FilesUnder(into);
}

}  // namespace vsktest
