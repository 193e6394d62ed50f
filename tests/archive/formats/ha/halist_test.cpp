// The lister against HA archives built here from the entry layout (no tool
// on the system reads or writes HA).

#include <gtest/gtest.h>

#include "base/checksum.h"
#include "archive/formats/ha/harecord.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::Bytes;
using vsktest::DateText;
using vsktest::DosDate;
using vsktest::DosTime;
using vsktest::ListArchive;
using vsktest::TempDir;
using vsktest::WriteFile;

struct HaFile {
  std::string path;
  std::string name;
  std::string data;
  Byte method = 0;
  Byte version = 2;
  Int64 unpacked = -1;  // the data's size when negative
  UInt32 time = static_cast<UInt32>(DosDate(2003, 4, 5)) << 16 | DosTime(6, 7, 8);
};

std::string HaEntry(const HaFile& f) {
  Bytes b;
  b.U8(static_cast<unsigned>(f.version << 4 | f.method)).U32(static_cast<UInt32>(f.data.size()));
  b.U32(static_cast<UInt32>(f.unpacked < 0 ? static_cast<Int64>(f.data.size()) : f.unpacked));
  b.U32(Crc32Of(f.data.data(), f.data.size())).U32(f.time);
  b.Raw(f.path).U8(0).Raw(f.name).U8(0).U8(2).U8(1).U8(0x20).Raw(f.data);
  return b.str();
}

std::string HaArchive(const std::vector<HaFile>& files, std::vector<Int64>* offsets = nullptr) {
  Bytes b;
  b.Raw("HA").U16(static_cast<UInt32>(files.size()));
  for (const auto& f : files) {
    if (offsets) offsets->push_back(static_cast<Int64>(b.size()));
    b.Raw(HaEntry(f));
  }
  return b.str();
}

TEST(HaList, Entries) {
  TempDir dir;
  const std::vector<HaFile> files = {
      {"", "readme.txt", vsktest::TextBytes(3000, 1)},
      {"docs/", "notes.txt", vsktest::TextBytes(500, 2), 1, 2, 1200},
      {"", "packed.bin", vsktest::RandomBytes(400, 3), 2, 3, 800},
      {"", "folder", "", 14},
      {"", "special", "", 15},
      {"", "future.dat", "abc", 5},
  };
  const auto path = (dir / "t.ha").string();
  std::vector<Int64> offsets;
  WriteFile(path, HaArchive(files, &offsets));

  const auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, atHA);
  ASSERT_EQ(r.entries.size(), files.size());
  const std::vector<std::string> methods = {"Cpy", "Asc", "HSC", "<Dir>", "Special", "Unsupported"};
  double unpacked = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& e = r.entries[i];
    SCOPED_TRACE(files[i].name);
    // The name alone: the stored path is not part of it.
    EXPECT_EQ(e.name, files[i].name);
    EXPECT_EQ(e.packed, static_cast<Int64>(files[i].data.size()));
    EXPECT_EQ(e.crc, Crc32Of(files[i].data.data(), files[i].data.size()));
    EXPECT_EQ(e.methodNumber, files[i].method);
    EXPECT_EQ(e.methodText, methods[i]);
    EXPECT_EQ(e.madeBy, files[i].version);
    EXPECT_EQ(e.needed, files[i].version);
    EXPECT_EQ(e.attr, 0x20u);
    EXPECT_EQ(e.internalAttr, 0x20);
    EXPECT_FALSE(e.encrypted);
    EXPECT_EQ(DateText(e.date), "2003-04-05 06:07:08");
    // The header offset is where its fixed part was read: one byte early.
    EXPECT_EQ(e.offset, offsets[i] - 1);
    EXPECT_EQ(e.filenum, static_cast<int>(i + 1));
    unpacked += static_cast<double>(e.unpacked);
  }
  EXPECT_EQ(r.entries[1].unpacked, 1200);
  EXPECT_EQ(r.numFiles, static_cast<int>(files.size()));
  EXPECT_EQ(r.unpackTotal, unpacked);

  const auto txt = ListArchive(path, {.spec = {"*.txt"}});
  EXPECT_EQ(txt.Names(), (std::vector<std::string>{"readme.txt", "notes.txt"}));
  EXPECT_EQ(txt.readFile.size(), files.size());
}

TEST(HaList, HostileHeaders) {
  TempDir dir;
  const auto path = (dir / "h.ha").string();
  const HaFile one{"", "one.txt", "first"};
  const HaFile last{"", "last.txt", "last"};

  // Strings are bounded: one that does not end within the limit ends the walk.
  const std::string longest(THaEntry::MaxString, 'p');
  WriteFile(path, HaArchive({one, {longest, std::string(THaEntry::MaxString, 'n'), "x"}, last}));
  auto r = ListArchive(path);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[1].name, std::string(THaEntry::MaxString, 'n'));
  WriteFile(path, HaArchive({one, {longest + "p", "name", "x"}, last}));
  EXPECT_EQ(ListArchive(path).Names(), std::vector<std::string>{"one.txt"});
  WriteFile(path, HaArchive({one, {"", longest + "n", "x"}, last}));
  EXPECT_EQ(ListArchive(path).Names(), std::vector<std::string>{"one.txt"});
  // A name running into the end of the file.
  WriteFile(path, HaArchive({one}) + HaEntry({"", "cut", ""}).substr(0, 20));
  EXPECT_EQ(ListArchive(path).Names(), std::vector<std::string>{"one.txt"});

  // A packed size past the end: listed, then the walk ends.
  std::string s = HaArchive({one, last});
  for (int i = 0; i < 4; ++i) s[5 + i] = '\xFF';
  WriteFile(path, s);
  r = ListArchive(path);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].packed, 0xFFFFFFFFll);

  const std::string good = HaArchive({one, {"dir/", "two.txt", vsktest::TextBytes(200, 5), 2}, last});
  vsktest::ExpectCutsListALeadingPart(path, good, {"one.txt", "two.txt", "last.txt"});
  vsktest::ListDamagedCopies(path, good, 23);
}

}  // namespace
}  // namespace vsk
