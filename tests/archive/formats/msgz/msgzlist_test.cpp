// The lister against MsGZ archives built here from the record layout (no
// tool on the system reads or writes MsGZ).

#include <gtest/gtest.h>

#include "archive/formats/msgz/msgzrecord.h"
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

struct MsGzFile {
  UInt16 folder = 0;
  std::string name;
  std::string data;
  Int64 unpacked = -1;  // the data's size when negative
  UInt32 attributes = 0x20;
  // Bytes of the record after its name.
  std::size_t padding = 0;
  // The record length to store instead of the real one, when not negative.
  int recordLength = -1;
  UInt32 dateTime = static_cast<UInt32>(DosDate(2004, 5, 6)) << 16 | DosTime(7, 8, 10);
};

struct MsGzArchive {
  std::string bytes;
  std::vector<Int64> recordOffsets;
  std::vector<Int64> dataOffsets;
};

// The header, the entries' data, the folder list, then the entry records,
// which run to the end of the file. The first record's first four bytes are
// the last four of the list's closing record.
MsGzArchive MakeMsGz(const std::vector<std::string>& folders, const std::vector<MsGzFile>& files) {
  MsGzArchive a;
  Bytes b;
  b.U32(0x8C655D13u).Fill(TMsGzArchiveHeader::Size - 4);
  for (const auto& f : files) {
    a.dataOffsets.push_back(static_cast<Int64>(b.size()));
    b.Raw(f.data);
  }
  b.PutU32(41, static_cast<UInt32>(b.size()));
  for (const auto& folder : folders) b.U16(0).U8(static_cast<unsigned>(folder.size() + 6)).Fill(3).Raw(folder);
  b.U16(0);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& f = files[i];
    if (i == 0) {
      EXPECT_EQ(f.folder & 0xFF, 0) << "the closing folder record needs a 0 here";
    }
    a.recordOffsets.push_back(static_cast<Int64>(b.size()));
    const auto length = f.recordLength >= 0 ? static_cast<UInt32>(f.recordLength)
                                            : static_cast<UInt32>(TMsGzEntry::Size + f.name.size() + f.padding);
    b.U16(f.folder).U32(static_cast<UInt32>(f.unpacked < 0 ? static_cast<Int64>(f.data.size()) : f.unpacked));
    b.U32(static_cast<UInt32>(f.data.size())).U32(static_cast<UInt32>(a.dataOffsets[i])).U32(f.dateTime);
    b.U32(f.attributes).U16(length).Fill(4).U8(static_cast<unsigned>(f.name.size())).Raw(f.name).Fill(f.padding);
  }
  a.bytes = b.str();
  return a;
}

TEST(MsGzList, EntriesInFolders) {
  TempDir dir;
  const auto path = (dir / "t.gz").string();
  const std::vector<MsGzFile> files = {
      {0, "SETUP.EXE", vsktest::RandomBytes(300, 1), 700, 0x21},
      {1, "README.TXT", vsktest::TextBytes(200, 2), 600, 0x20, 3},
      {2, "\x81NDER.TXT", "u", -1, 0x10022},
      {0, "LAST.DAT", "last"},
  };
  const auto a = MakeMsGz({"ROOT", "DOCS", "SUB\\DEEP"}, files);
  WriteFile(path, a.bytes);

  const auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, atMsGZ);
  // Names are taken as stored, with no code page translation.
  const std::vector<std::string> names = {"ROOT/SETUP.EXE", "DOCS/README.TXT", "SUB/DEEP/\x81NDER.TXT",
                                          "ROOT/LAST.DAT"};
  EXPECT_EQ(r.Names(), names);
  EXPECT_EQ(r.readFile, names);
  ASSERT_EQ(r.entries.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& e = r.entries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.packed, static_cast<Int64>(files[i].data.size()));
    EXPECT_EQ(e.attr, files[i].attributes);
    EXPECT_EQ(e.internalAttr, static_cast<UInt16>(files[i].attributes));
    // The offset reported is the entry's own, not its record's.
    EXPECT_EQ(e.offset, a.dataOffsets[i]);
    EXPECT_EQ(e.filenum, static_cast<int>(i + 1));
    EXPECT_EQ(e.crc, 0u);
    EXPECT_EQ(e.methodText, "");
    EXPECT_EQ(e.methodNumber, 0);
    EXPECT_EQ(e.madeBy, 0);
    EXPECT_EQ(DateText(e.date), "2004-05-06 07:08:10");
  }
  EXPECT_EQ(r.entries[0].unpacked, 700);
  EXPECT_EQ(r.numFiles, 4);
  EXPECT_EQ(r.unpackTotal, 700.0 + 600 + 1 + 4);

  const auto some = ListArchive(path, {.spec = {"DOCS/*"}});
  EXPECT_EQ(some.Names(), std::vector<std::string>{"DOCS/README.TXT"});
  EXPECT_EQ(some.numFiles, 1);

  // Without folders the names stand alone, whatever the index says.
  WriteFile(path, MakeMsGz({}, {{0, "A.TXT", "a"}, {9, "B.TXT", "b"}}).bytes);
  EXPECT_EQ(ListArchive(path).Names(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
}

TEST(MsGzList, HostileRecords) {
  TempDir dir;
  const auto path = (dir / "h.gz").string();
  const std::vector<std::string> folders = {"F0", "F1"};

  // A folder index past the list ends the walk as an error; what came
  // before was reported and the closing events still fire.
  WriteFile(path, MakeMsGz(folders, {{0, "A.TXT", "a"}, {2, "B.TXT", "b"}, {1, "C.TXT", "c"}}).bytes);
  auto r = ListArchive(path);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.deactivated);
  EXPECT_EQ(r.Names(), std::vector<std::string>{"F0/A.TXT"});
  EXPECT_EQ(r.numFiles, 1);

  // A record too short for its own name, or of length 0, ends the walk.
  for (int length : {0, 10, 28, 29 + 4}) {
    SCOPED_TRACE(length);
    MsGzFile bad{1, "BAD.TXT", "x"};
    bad.recordLength = length;
    WriteFile(path, MakeMsGz(folders, {{0, "A.TXT", "a"}, bad, {1, "C.TXT", "c"}}).bytes);
    r = ListArchive(path);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.Names(), std::vector<std::string>{"F0/A.TXT"});
  }
  // A record just long enough is fine.
  MsGzFile exact{1, "OK.TXT", "x"};
  exact.recordLength = 29 + 6;
  WriteFile(path, MakeMsGz(folders, {{0, "A.TXT", "a"}, exact, {1, "C.TXT", "c"}}).bytes);
  EXPECT_EQ(ListArchive(path).Names(), (std::vector<std::string>{"F0/A.TXT", "F1/OK.TXT", "F1/C.TXT"}));

  const auto good = MakeMsGz(folders, {{0, "A.TXT", "aaa"}, {1, "B.TXT", "bb"}}).bytes;
  const std::size_t listAt = good.find("F0") - 6;
  // A folder record shorter than its own head, a folder list past the end
  // or one that never closes: nothing is listed.
  for (char length : {'\x01', '\x05'}) {
    std::string s = good;
    s[listAt + 2] = length;
    WriteFile(path, s);
    EXPECT_TRUE(ListArchive(path).entries.empty());
  }
  {
    Bytes b;
    b.Raw(good);
    b.PutU32(41, static_cast<UInt32>(good.size()));
    WriteFile(path, b.str());
    EXPECT_TRUE(ListArchive(path).entries.empty());
    b.PutU32(41, 0xFFFFFFFFu);
    WriteFile(path, b.str());
    EXPECT_TRUE(ListArchive(path).entries.empty());
  }
  {
    Bytes b;
    b.U32(0x8C655D13u).Fill(TMsGzArchiveHeader::Size - 4);
    b.PutU32(41, static_cast<UInt32>(b.size()));
    for (int i = 0; i < 50; ++i) b.U16(0).U8(8).Fill(3).Raw("NN");
    WriteFile(path, b.str());
    EXPECT_TRUE(ListArchive(path).entries.empty());
  }

  // A file that ends inside the last entry's name lists only the entries
  // before it.
  {
    const auto cut = good.substr(0, good.rfind("B.TXT") + 2);
    WriteFile(path, cut);
    EXPECT_EQ(ListArchive(path).Names(), std::vector<std::string>{"F0/A.TXT"});
  }

  vsktest::ExpectCutsListAtMost(path, good, 2);
  vsktest::ListDamagedCopies(path, good, 29);
}

}  // namespace
}  // namespace vsk
