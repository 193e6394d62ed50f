// The lister against ZOO archives built here from the format's layout and
// checked with lsar.

#include <gtest/gtest.h>

#include "base/checksum.h"
#include "archive/formats/zoo/zooheader.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/lsar.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::Bytes;
using vsktest::DateText;
using vsktest::DosDate;
using vsktest::DosTime;
using vsktest::ListArchive;
using vsktest::LsarList;
using vsktest::TempDir;
using vsktest::WriteFile;

struct ZooFile {
  std::string name;
  std::string data;
  Byte method = 0;
  std::string comment = {};
  Int64 unpacked = -1;  // the data's size when negative
  Byte deleted = 0;
  UInt16 date = DosDate(2002, 3, 4);
  UInt16 time = DosTime(5, 6, 8);
};

constexpr std::size_t kHeaderSize = 42;
constexpr std::size_t kEntrySize = 58;

// A 58-byte directory entry of type 2 without long name or folder.
Bytes ZooEntry(const ZooFile& f, UInt32 next, UInt32 dataAt, UInt32 commentAt) {
  Bytes b;
  b.U32(kZooTag).U8(2).U8(f.method).U32(next).U32(dataAt).U16(f.date).U16(f.time);
  b.U16(Crc16Of(f.data.data(), f.data.size()));
  b.U32(static_cast<UInt32>(f.unpacked < 0 ? static_cast<Int64>(f.data.size()) : f.unpacked));
  b.U32(static_cast<UInt32>(f.data.size())).U8(2).U8(0).U8(f.deleted).U8(0);
  b.U32(commentAt).U16(static_cast<UInt32>(f.comment.size())).Field(f.name, 13);
  b.U16(2).U8(127).U16(0).U8(0).U8(0);
  return b;
}

struct ZooArchive {
  std::string bytes;
  std::vector<Int64> entryOffsets;
};

ZooArchive MakeZoo(const std::vector<ZooFile>& files, const std::string& archiveComment = {}) {
  const auto start = static_cast<UInt32>(kHeaderSize + archiveComment.size());
  Bytes b;
  b.Field("ZOO 2.10 Archive.\x1A", 20).U32(kZooTag).U32(start).U32(0u - start).U8(2).U8(0).U8(1);
  b.U32(archiveComment.empty() ? 0 : static_cast<UInt32>(kHeaderSize)).U16(static_cast<UInt32>(archiveComment.size()));
  b.U8(0).Raw(archiveComment);
  ZooArchive a;
  for (const auto& f : files) {
    const auto at = static_cast<UInt32>(b.size());
    const auto dataAt = static_cast<UInt32>(at + kEntrySize);
    const auto commentAt = static_cast<UInt32>(f.comment.empty() ? 0 : dataAt + f.data.size());
    const auto next = static_cast<UInt32>(dataAt + f.data.size() + f.comment.size());
    a.entryOffsets.push_back(at);
    b.Raw(ZooEntry(f, next, dataAt, commentAt).str()).Raw(f.data).Raw(f.comment);
  }
  b.Raw(ZooEntry({}, 0, 0, 0).str());
  a.bytes = b.str();
  return a;
}

TEST(ZooList, EntriesAsLsarListsThem) {
  TempDir dir;
  const std::vector<ZooFile> files = {
      {"README.TXT", vsktest::TextBytes(4000, 1)},
      {"PACKED.DAT", vsktest::RandomBytes(600, 2), 1, "first comment", 2000},
      {"HUFF.BIN", vsktest::RandomBytes(300, 3), 2, "", 900, 0, DosDate(2010, 11, 12), DosTime(13, 14, 16)},
      {"EMPTY", ""},
      {"LONGCMT.TXT", "x", 0, std::string(40000, 'c')},
  };
  const auto path = (dir / "t.zoo").string();
  const auto zoo = MakeZoo(files);
  WriteFile(path, zoo.bytes);

  const auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, atZoo);
  ASSERT_EQ(r.entries.size(), files.size());
  const auto lsar = LsarList(path);
  ASSERT_EQ(lsar.size(), files.size());
  double packed = 0, unpacked = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& e = r.entries[i];
    SCOPED_TRACE(files[i].name);
    EXPECT_EQ(e.name, files[i].name);
    EXPECT_EQ(lsar[i].name, e.name);
    EXPECT_EQ(lsar[i].size, e.unpacked);
    EXPECT_EQ(lsar[i].compressed, e.packed);
    EXPECT_EQ(e.offset, zoo.entryOffsets[i]);
    EXPECT_EQ(e.filenum, static_cast<int>(i + 1));
    EXPECT_EQ(e.methodNumber, files[i].method);
    EXPECT_EQ(e.crc, Crc16Of(files[i].data.data(), files[i].data.size()));
    EXPECT_EQ(e.madeBy, 2);
    EXPECT_EQ(e.needed, 0);
    EXPECT_EQ(e.attr, 0u);
    packed += static_cast<double>(e.packed);
    unpacked += static_cast<double>(e.unpacked);
  }
  EXPECT_EQ(r.entries[1].comment, "first comment");
  EXPECT_EQ(lsar[1].comment, "first comment");
  EXPECT_EQ(r.entries[0].comment, "");
  // Longer than the comment buffer: clipped to what it holds.
  EXPECT_EQ(r.entries[4].comment, std::string(TVorsk::kCommentBufSize - 1, 'c'));
  EXPECT_EQ(r.entries[0].methodText, "Stored");
  EXPECT_EQ(r.entries[1].methodText, "Fastest");
  EXPECT_EQ(r.entries[2].methodText, "Greatest");
  EXPECT_EQ(r.entries[1].unpacked, 2000);
  EXPECT_EQ(r.entries[1].ratio, 70);
  EXPECT_EQ(DateText(r.entries[2].date), "2010-11-12 13:14:16");
  EXPECT_EQ(r.numFiles, static_cast<int>(files.size()));
  EXPECT_EQ(r.packTotal, packed);
  EXPECT_EQ(r.unpackTotal, unpacked);

  const auto some = ListArchive(path, {.spec = {"*.TXT"}});
  EXPECT_EQ(some.Names(), (std::vector<std::string>{"README.TXT", "LONGCMT.TXT"}));
  EXPECT_EQ(some.readFile.size(), files.size());
}

TEST(ZooList, ArchiveCommentDeletedEntriesAndTheTerminator) {
  TempDir dir;
  const auto path = (dir / "c.zoo").string();
  // Only the terminator: nothing is listed; the archive comment was read.
  WriteFile(path, MakeZoo({}, "archive note").bytes);
  auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.entries.empty());
  EXPECT_EQ(r.numFiles, 0);
  EXPECT_EQ(r.lastComment, "archive note");
  EXPECT_TRUE(LsarList(path).empty());

  // Deleted entries are passed over as the reader passes them over: a row
  // that could never be extracted is not shown.
  WriteFile(path, MakeZoo({{"KEPT.TXT", "old", 0, "old note", -1, 1},
                           {"KEPT.TXT", "kept"},
                           {"GONE.TXT", "gone!", 0, "", -1, 1}},
                          "note")
                      .bytes);
  r = ListArchive(path);
  EXPECT_EQ(r.Names(), (std::vector<std::string>{"KEPT.TXT"}));
  EXPECT_EQ(r.numFiles, 1);
  EXPECT_EQ(r.unpackTotal, 4.0);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].unpacked, 4);
  EXPECT_EQ(r.entries[0].comment, "");
}

TEST(ZooList, HostileHeaders) {
  TempDir dir;
  const auto path = (dir / "h.zoo").string();
  const std::vector<ZooFile> files = {{"ONE.TXT", "one"}, {"TWO.TXT", "two two", 0, "c2"}, {"THREE.TXT", "3"}};
  const auto zoo = MakeZoo(files);
  const std::string& good = zoo.bytes;
  auto patched = [&](std::size_t pos, UInt32 v) {
    Bytes b;
    b.Raw(good);
    b.PutU32(pos, v);
    WriteFile(path, b.str());
    return ListArchive(path);
  };
  const auto second = static_cast<std::size_t>(zoo.entryOffsets[1]);

  // The first-entry offset and its check must add up to 0.
  EXPECT_TRUE(patched(28, 12345).entries.empty());
  // A first entry at offset 0 (its check 0 too) is where the header is.
  {
    Bytes b;
    b.Raw(good);
    b.PutU32(24, 0);
    b.PutU32(28, 0);
    WriteFile(path, b.str());
    EXPECT_TRUE(ListArchive(path).entries.empty());
  }
  // A link to anything but an entry ends the walk after the entries before.
  EXPECT_EQ(patched(second, 0x12345678).Names(), std::vector<std::string>{"ONE.TXT"});
  // Links to the entry itself, backwards or past the end list each entry once.
  EXPECT_EQ(patched(second + 6, static_cast<UInt32>(second)).Names(),
            (std::vector<std::string>{"ONE.TXT", "TWO.TXT"}));
  EXPECT_EQ(patched(second + 6, static_cast<UInt32>(zoo.entryOffsets[0])).Names(),
            (std::vector<std::string>{"ONE.TXT", "TWO.TXT"}));
  EXPECT_EQ(patched(second + 6, 0x7FFFFFFF).Names(), (std::vector<std::string>{"ONE.TXT", "TWO.TXT"}));
  // A next offset that reads as negative marks the terminator.
  EXPECT_EQ(patched(second + 6, 0x80000000u).Names(), std::vector<std::string>{"ONE.TXT"});
  // Comments placed outside the file are empty or cut at its end.
  auto r = patched(second + 32, 0xFFFFFFF0u);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[1].comment, "");
  {
    Bytes b;
    b.Raw(good);
    b.Raw("tail");
    b.PutU32(second + 32, static_cast<UInt32>(good.size()));
    std::string s = b.str();
    s[second + 36] = '\xFF';
    s[second + 37] = '\xFF';
    WriteFile(path, s);
    r = ListArchive(path);
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[1].comment, "tail");
  }

  vsktest::ExpectCutsListALeadingPart(path, good, {"ONE.TXT", "TWO.TXT", "THREE.TXT"});
  vsktest::ListDamagedCopies(path, good, 17);
}

}  // namespace
}  // namespace vsk
