// The lister against cabinets written by gcab and against hand-built
// cabinet sets (checked with cabextract), hostile headers included.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "archive/core/numbers.h"
#include "base/records/cabheader.h"
#include "tests/support/cabbuild.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::BuildCab;
using vsktest::CabSpec;
using vsktest::ListArchive;
using vsktest::ListOptions;
using vsktest::ListResult;
using vsktest::Put16;
using vsktest::Put32;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::VolumePolicy;
using vsktest::WriteFile;

// Every archive here is a cabinet.
ListResult List(const std::string& archive, const ListOptions& options = {}) {
  auto r = ListArchive(archive, options);
  EXPECT_EQ(r.type, atCab) << archive;
  return r;
}

// The compressed bytes of every data block of a cabinet, walked block by
// block from each folder's first one.
Int64 DataBlockBytes(const std::string& cab) {
  const std::string b = vsktest::ReadFile(cab);
  const auto u16 = [&](std::size_t at) { return static_cast<Int64>(Byte(b[at]) | Byte(b[at + 1]) << 8); };
  const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  EXPECT_EQ(u16(30) & kCabFlagReservePresent, 0);  // no reserve areas in these
  Int64 total = 0;
  for (Int64 f = 0; f < u16(26); ++f) {
    const auto folder = static_cast<std::size_t>(36 + f * 8);
    auto block = static_cast<std::size_t>(u32(folder));
    for (Int64 n = 0; n < u16(folder + 4); ++n) {
      total += u16(block + 4);
      block += 8 + static_cast<std::size_t>(u16(block + 4));
    }
  }
  return total;
}

// "DD.MM.YYYY hh:mm:ss", as cabextract shows dates.
std::string CabextractDate(TDateTime d) {
  const std::string t = vsktest::DateText(d);
  return t.substr(8, 2) + "." + t.substr(5, 2) + "." + t.substr(0, 4) + t.substr(10);
}

// `cabextract -l` rows: size | date time | name.
struct CabRow {
  Int64 size = 0;
  std::string date;
};
std::map<std::string, CabRow> CabextractList(const std::string& archive) {
  const auto out = RunTool("cabextract -l " + ShellQuote(archive));
  std::map<std::string, CabRow> rows;
  std::istringstream in(out.output);
  std::string line;
  while (std::getline(in, line)) {
    const auto bar1 = line.find(" | "), bar2 = line.rfind(" | ");
    if (bar1 == std::string::npos || bar1 == bar2) continue;
    CabRow row;
    try {
      row.size = std::stoll(line.substr(0, bar1));
    } catch (...) {
      continue;
    }
    row.date = line.substr(bar1 + 3, bar2 - bar1 - 3);
    rows[line.substr(bar2 + 3)] = row;
  }
  return rows;
}

void ExpectAgreesWithCabextract(const std::string& archive, const ListResult& r) {
  ASSERT_TRUE(r.ok);
  const auto rows = CabextractList(archive);
  ASSERT_FALSE(rows.empty()) << archive;
  for (const auto& [name, row] : rows) {
    const auto* e = r.Find(name);
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(e->unpacked, row.size) << name;
    // Stored data is its own size.
    if (e->methodNumber == 0) {
      EXPECT_EQ(e->packed, row.size) << name;
    }
    EXPECT_EQ(e->ratio, CompressRatio(e->packed, e->unpacked)) << name;
    EXPECT_EQ(CabextractDate(e->date), row.date) << name;
  }
  EXPECT_EQ(r.entries.size(), rows.size());
  EXPECT_EQ(r.numFiles, static_cast<int>(rows.size()));
}

TEST(CabList, CabinetsOfGcab) {
  ASSERT_TRUE(vsktest::HaveTool("gcab") && vsktest::HaveTool("cabextract"));
  TempDir dir;
  WriteFile(dir / "src/readme.txt", vsktest::TextBytes(50000, 1));
  WriteFile(dir / "src/data.bin", vsktest::RandomBytes(3000, 2));
  WriteFile(dir / "src/sub/Grüße.txt", vsktest::TextBytes(700, 3));
  ASSERT_EQ(RunTool("gcab -c stored.cab src/readme.txt src/data.bin 'src/sub/Grüße.txt' && "
                    "gcab -c -z zipped.cab src/readme.txt src/data.bin 'src/sub/Grüße.txt'",
                    dir.path())
                .exitCode,
            0);
  for (const char* name : {"stored.cab", "zipped.cab"}) {
    SCOPED_TRACE(name);
    const auto arc = (dir / name).string();
    const auto r = List(arc);
    ExpectAgreesWithCabextract(arc, r);
    EXPECT_TRUE(r.errors.empty());
    const bool zipped = name[0] == 'z';
    for (const auto& e : r.entries) {
      EXPECT_EQ(e.methodText, zipped ? "MsZIP" : "Stored") << e.name;
      EXPECT_EQ(e.methodNumber, zipped ? 1 : 0);
      EXPECT_EQ(e.madeBy, 3);  // version 1.3
      EXPECT_EQ(e.needed, 1);
      EXPECT_EQ(e.volume, arc);
      EXPECT_GT(e.offset, 36);
    }
    // gcab flags the UTF-8 name (0x80).
    ASSERT_NE(r.Find("src/sub/Grüße.txt"), nullptr);
    ASSERT_NE(r.Find("src/data.bin"), nullptr);
    EXPECT_EQ(r.Find("src/sub/Grüße.txt")->attr & 0x80, 0x80u);
    EXPECT_EQ(r.Find("src/data.bin")->attr & 0x80, 0u);
    EXPECT_EQ(r.entries.back().filenum, 3);
    EXPECT_EQ(r.unpackTotal, 53700);
    // The folder's compressed bytes are shared out among its files, by size.
    Int64 packed = 0;
    for (const auto& e : r.entries) packed += e.packed;
    EXPECT_EQ(packed, DataBlockBytes(arc));
    EXPECT_EQ(r.packTotal, static_cast<double>(packed));
    EXPECT_EQ(r.Find("src/readme.txt")->ratio > 0, zipped);

    const auto txt = List(arc, {.spec = {"*.txt"}});
    EXPECT_EQ(txt.numFiles, 2);
    EXPECT_EQ(txt.readFile.size(), 3u);
  }
}

// A set of two: b.txt starts in the first cabinet and ends in the second,
// in a data block split between the two.
void WriteSet(const TempDir& dir, const std::string& secondNext = {}) {
  const std::string a = vsktest::TextBytes(3000, 1), b = vsktest::TextBytes(2500, 2), c = vsktest::TextBytes(800, 3);
  CabSpec one;
  one.folders = {{a + b.substr(0, 1000)}};  // the first part of a 5500-byte block
  one.files = {{"a.txt", 3000, 0, 0}, {"dir\\b.txt", 2500, 3000, kCabFolderContinuedToNext}};
  one.lastBlockSplit = true;
  one.nextCab = "set2.cab";
  one.nextDisk = "Disk 2";
  CabSpec two;
  two.index = 1;
  two.folders = {{b.substr(1000)}, {c}};
  two.firstBlockUnpacked = 4000 + 1500;
  two.files = {{"dir\\b.txt", 2500, 3000, kCabFolderContinuedFromPrev}, {"c.txt", 800, 0, 1}};
  two.prevCab = "set1.cab";
  two.prevDisk = "Disk 1";
  if (!secondNext.empty()) {
    two.nextCab = secondNext;
    two.nextDisk = "Disk 3";
  }
  WriteFile(dir / "set1.cab", BuildCab(one));
  WriteFile(dir / "set2.cab", BuildCab(two));
}

TEST(CabList, CabinetSets) {
  ASSERT_TRUE(vsktest::HaveTool("cabextract"));
  TempDir dir;
  WriteSet(dir);
  const auto first = (dir / "set1.cab").string(), second = (dir / "set2.cab").string();
  // cabextract reads the hand-built set whole and restores every file.
  const auto tested = RunTool("cabextract -t set1.cab", dir.path());
  ASSERT_EQ(tested.exitCode, 0) << tested.output;

  const auto r = List(first);
  ExpectAgreesWithCabextract(first, r);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].volume, first);
  EXPECT_EQ(r.entries[1].name, "dir/b.txt");
  EXPECT_EQ(r.entries[1].volume, first);  // listed once, where it starts
  EXPECT_EQ(r.entries[2].name, "c.txt");
  EXPECT_EQ(r.entries[2].volume, second);
  EXPECT_EQ(r.entries[2].filenum, 3);
  ASSERT_EQ(r.volumesAsked.size(), 1u);
  EXPECT_EQ(r.volumesAsked[0].name, second);
  EXPECT_EQ(r.volumesAsked[0].id, "Disk 2");
  EXPECT_EQ(r.unpackTotal, 3000 + 2500 + 800);
  EXPECT_EQ(r.readFile.size(), 4u);  // the continued record's name is seen

  // Declining the next cabinet cancels the walk after the first one.
  const auto declined = List(first, {.volumes = VolumePolicy::Decline});
  EXPECT_TRUE(declined.ok);
  EXPECT_EQ(declined.entries.size(), 2u);
  // Listing from the second cabinet shows the file continued into it.
  const auto fromSecond = List(second);
  ASSERT_EQ(fromSecond.entries.size(), 2u);
  EXPECT_EQ(fromSecond.entries[0].name, "dir/b.txt");

  // A set that leads back to a cabinet already read ends there.
  WriteSet(dir, "set1.cab");
  const auto loop = List(first);
  EXPECT_EQ(loop.entries.size(), 3u);
  EXPECT_EQ(loop.volumesAsked.size(), 1u);
  WriteSet(dir, "set2.cab");
  EXPECT_EQ(List(first).entries.size(), 3u);
  // A cabinet naming itself as the next one.
  CabSpec self;
  self.folders = {{"xyz"}};
  self.files = {{"x.txt", 3, 0, 0}};
  self.nextCab = "self.cab";
  self.nextDisk = "again";
  WriteFile(dir / "self.cab", BuildCab(self));
  const auto s = List((dir / "self.cab").string());
  EXPECT_EQ(s.entries.size(), 1u);
  EXPECT_TRUE(s.volumesAsked.empty());

  // A missing next cabinet: the question is declined by the handler.
  WriteSet(dir, "set3.cab");
  const auto missing = List(first);
  EXPECT_EQ(missing.entries.size(), 3u);
  // A next cabinet that is no cabinet: 25110 with its disk name.
  WriteFile(dir / "set3.cab", "MSCF" + std::string(10, '\0'));
  const auto bad = List(first);
  EXPECT_EQ(bad.entries.size(), 3u);
  ASSERT_FALSE(bad.errors.empty());
  EXPECT_EQ(bad.errors.back().code, 25110);
  EXPECT_EQ(bad.errors.back().text, "Disk 3");
}

TEST(CabList, NamesAndFolders) {
  TempDir dir;
  CabSpec c;
  c.folders = {{"abc"}, {"defgh"}};
  c.files = {{"\x81" "ber.txt", 3, 0, 0},  // CP437 without the UTF-8 flag
             {"caf\xC3\xA9.txt", 5, 0, 1, 0x20 | kCabAttrNameIsUtf8},
             {"folder", 0, 0, 0, 0x10}};
  WriteFile(dir / "n.cab", BuildCab(c));
  const auto r = List((dir / "n.cab").string(), {.showDirs = true});
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].name, "über.txt");
  EXPECT_EQ(r.entries[1].name, "café.txt");
  EXPECT_EQ(r.entries[2].attr, 0x10u);
  // Each folder's data goes to its own files.
  EXPECT_EQ(r.entries[0].packed, 3);
  EXPECT_EQ(r.entries[1].packed, 5);
  EXPECT_EQ(r.entries[2].packed, 0);
  EXPECT_EQ(r.numFiles, 2);  // folders are shown, not counted
  EXPECT_EQ(r.entries[2].filenum, 2);
  EXPECT_EQ(List((dir / "n.cab").string()).entries.size(), 2u);
}

TEST(CabList, HostileHeaders) {
  TempDir dir;
  CabSpec c;
  c.folders = {{"abc"}};
  c.files = {{"a.txt", 3, 0, 0}, {"b.txt", 3, 0, 0}};
  const std::string good = BuildCab(c);
  auto list = [&](const std::string& bytes) {
    WriteFile(dir / "h.cab", bytes);
    return List((dir / "h.cab").string());
  };
  EXPECT_EQ(list(good).entries.size(), 2u);
  auto bad = [](const ListResult& r) { return !r.errors.empty() && r.errors[0].code == 25110; };

  // A header cut short, reserve sizes and folder counts past the end.
  EXPECT_TRUE(bad(list(good.substr(0, 30))));
  std::string reserve = good;
  Put16(reserve, 30, kCabFlagReservePresent);
  Put16(reserve, 36, 60000);
  EXPECT_TRUE(bad(list(reserve)));
  std::string folders = good;
  Put16(folders, 26, 65535);
  EXPECT_TRUE(bad(list(folders)));
  // A next-cabinet name that never ends.
  std::string names = good.substr(0, 36) + std::string(600, 'n');
  Put16(names, 30, kCabFlagNextCabinet);
  EXPECT_TRUE(bad(list(names)));

  // A folder index outside the folders ends the walk at that record.
  CabSpec idx = c;
  idx.files[1].folder = 7;
  EXPECT_EQ(list(BuildCab(idx)).entries.size(), 1u);
  // More files than records, files offset past the end or into the header.
  std::string count = good;
  Put16(count, 28, 65535);
  EXPECT_LE(list(count).entries.size(), 3u);
  std::string offset = good;
  Put32(offset, 16, 0xFFFFFFF0u);
  EXPECT_TRUE(list(offset).entries.empty());
  Put32(offset, 16, 0);
  EXPECT_LE(list(offset).entries.size(), 2u);
  // A name without its NUL within reach.
  CabSpec longName = c;
  longName.files[0].name = std::string(300, 'x');
  EXPECT_TRUE(list(BuildCab(longName)).entries.empty());
  // Random bytes after a valid signature.
  for (std::uint32_t seed = 1; seed <= 40; ++seed) list("MSCF" + vsktest::RandomBytes(60 + seed * 13, seed));
}

}  // namespace
}  // namespace vsk
