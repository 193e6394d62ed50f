// The lister against gzip and compress files written by gzip and compress,
// and against hand-built members with every optional header field.

#include <gtest/gtest.h>

#include <sstream>

#include "base/dates.h"
#include "archive/formats/gzip/gzipheader.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::DateText;
using vsktest::ListArchive;
using vsktest::ListedEntry;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

// One `gzip -lv` row: method, crc, month, day, time, compressed,
// uncompressed, ratio, name.
struct GzipRow {
  std::string method, crc, month, day, time, name;
  Int64 compressed = 0, uncompressed = 0;
};
// -N: the stored name and time where the member has them.
GzipRow GzipVerbose(const std::string& file) {
  const std::filesystem::path p(file);
  const auto out = RunTool("gzip -lvN " + ShellQuote(p.filename().string()), p.parent_path());
  std::istringstream in(out.output);
  std::string line;
  std::getline(in, line);  // column titles
  std::getline(in, line);
  GzipRow row;
  std::string ratio;
  std::istringstream ls(line);
  ls >> row.method >> row.crc >> row.month >> row.day >> row.time >> row.compressed >> row.uncompressed >> ratio;
  std::getline(ls, row.name);
  row.name.erase(0, row.name.find_first_not_of(' '));
  return row;
}

// The month and day as gzip prints them ("May  6" -> "May", "6").
std::string MonthDayTime(TDateTime d) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y, m, day, h, mi, s, ms;
  DecodeDate(d, y, m, day);
  DecodeTime(d, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s %d %02d:%02d", kMonths[m - 1], day, h, mi);
  return buf;
}

void ExpectAgreesWithGzip(const std::string& file, const ListedEntry& e, Int64 headerBytes) {
  const GzipRow row = GzipVerbose(file);
  EXPECT_EQ(e.name, row.name) << file;
  EXPECT_EQ(e.packed, row.compressed - headerBytes - 8) << file;
  EXPECT_EQ(e.unpacked, row.uncompressed) << file;
  EXPECT_EQ(e.crc, static_cast<UInt32>(std::stoul(row.crc, nullptr, 16))) << file;
  EXPECT_EQ(MonthDayTime(e.date), row.month + " " + row.day + " " + row.time) << file;
  EXPECT_EQ(e.methodNumber, 8);
  EXPECT_EQ(e.methodText, "Deflate");
  EXPECT_FALSE(e.encrypted);
}

TEST(GzipList, MembersWrittenByGzip) {
  ASSERT_TRUE(vsktest::HaveTool("gzip"));
  TempDir dir;
  WriteFile(dir / "notes.txt", vsktest::TextBytes(40000, 4));
  WriteFile(dir / "noise.bin", vsktest::RandomBytes(70000, 5));
  WriteFile(dir / "empty", "");
  ASSERT_EQ(RunTool("touch -d '2021-05-06 07:08:09' notes.txt noise.bin empty", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("gzip -N -c notes.txt > named.gz && gzip -n -c notes.txt > plain.txt.gz && "
                    "gzip -1 -c noise.bin > noise.gz && gzip -c empty > empty.gz && "
                    "touch -d '2022-03-04 05:06:08' plain.txt.gz",
                    dir.path())
                .exitCode,
            0);

  // With the stored name and time.
  const auto named = (dir / "named.gz").string();
  const auto n = ListArchive(named);
  ASSERT_TRUE(n.ok);
  ASSERT_EQ(n.entries.size(), 1u);
  ExpectAgreesWithGzip(named, n.entries[0], 10 + 10);  // "notes.txt" and its NUL
  EXPECT_EQ(DateText(n.entries[0].date), "2021-05-06 07:08:09");
  EXPECT_EQ(n.entries[0].offset, 0);
  EXPECT_EQ(n.entries[0].filenum, 1);
  EXPECT_EQ(n.entries[0].attr, 0x20u);
  EXPECT_EQ(n.readFile, std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(n.numFiles, 1);
  EXPECT_EQ(n.unpackTotal, 40000);
  EXPECT_EQ(n.packTotal, static_cast<double>(n.entries[0].packed));

  // Without them (gzip -n): the archive's name less its extension, and
  // the archive file's own date.
  const auto plain = (dir / "plain.txt.gz").string();
  const auto p = ListArchive(plain);
  ASSERT_EQ(p.entries.size(), 1u);
  ExpectAgreesWithGzip(plain, p.entries[0], 10);
  EXPECT_EQ(p.entries[0].name, "plain.txt");
  EXPECT_EQ(DateText(p.entries[0].date), "2022-03-04 05:06:08");

  // Data that does not shrink keeps its true size; an empty file lists 0.
  const auto noise = (dir / "noise.gz").string();
  const auto z = ListArchive(noise);
  ASSERT_EQ(z.entries.size(), 1u);
  ExpectAgreesWithGzip(noise, z.entries[0], 10 + 10);
  EXPECT_GT(z.entries[0].packed, z.entries[0].unpacked);
  const auto empty = (dir / "empty.gz").string();
  const auto e = ListArchive(empty);
  ASSERT_EQ(e.entries.size(), 1u);
  ExpectAgreesWithGzip(empty, e.entries[0], 10 + 6);
  EXPECT_EQ(e.entries[0].unpacked, 0);

  // The entry is not mask-tested.
  const auto none = ListArchive(named, {.spec = {}});
  EXPECT_EQ(none.numFiles, 1);
  EXPECT_EQ(none.entries.size(), 1u);
  const auto other = ListArchive(named, {.spec = {"*.zip"}});
  EXPECT_EQ(other.entries.size(), 1u);
}

TEST(GzipList, FilesWrittenByCompress) {
  ASSERT_TRUE(vsktest::HaveTool("compress") && vsktest::HaveTool("gzip"));
  TempDir dir;
  WriteFile(dir / "data.txt", vsktest::TextBytes(30000, 6));
  ASSERT_EQ(RunTool("compress -c data.txt > data.txt.Z && compress -b 12 -c data.txt > small.Z && "
                    "touch -d '2020-02-03 04:05:06' data.txt.Z",
                    dir.path())
                .exitCode,
            0);
  const auto z = (dir / "data.txt.Z").string();
  const auto r = ListArchive(z);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.entries.size(), 1u);
  const auto& e = r.entries[0];
  const GzipRow row = GzipVerbose(z);
  EXPECT_EQ(e.name, row.name);
  EXPECT_EQ(e.name, "data.txt");
  EXPECT_EQ(e.packed, row.compressed - 3);
  EXPECT_EQ(e.unpacked, e.packed);  // compress stores no size
  EXPECT_EQ(e.crc, 0u);
  EXPECT_EQ(e.methodNumber, 0x90);
  EXPECT_EQ(e.methodText, "LzwMAGIC");
  EXPECT_EQ(DateText(e.date), "2020-02-03 04:05:06");

  const auto s = ListArchive((dir / "small.Z").string());
  ASSERT_EQ(s.entries.size(), 1u);
  EXPECT_EQ(s.entries[0].methodNumber, 0x8C);
  EXPECT_EQ(s.entries[0].methodText, "LzwMAGIC");
  EXPECT_EQ(s.entries[0].name, "small");
}

std::string Member(Byte flags, const std::string& fields, const std::string& data, UInt32 crc, UInt32 isize,
                   Byte magic1 = 0x8B) {
  std::string m = {'\x1F', static_cast<char>(magic1), 8, static_cast<char>(flags), 0x10, 0x20, 0x30, 0x40, 0, 3};
  m += fields + data;
  for (int i = 0; i < 4; ++i) m.push_back(static_cast<char>(crc >> (8 * i)));
  for (int i = 0; i < 4; ++i) m.push_back(static_cast<char>(isize >> (8 * i)));
  return m;
}

TEST(GzipList, OptionalFieldsAndOddMembers) {
  TempDir dir;
  // Extra field, name, comment and header CRC: the data start after all.
  const std::string fields = std::string("\x04\x00xyzw", 6) + std::string("inner.txt\0", 10) +
                             std::string("a comment\0", 10) + std::string("\x12\x34", 2);
  const std::string data(100, 'd');
  WriteFile(dir / "f.gz", Member(0x04 | 0x08 | 0x10 | 0x02 | 0x20, fields, data, 0xCAFEBABE, 5000));
  const auto r = ListArchive((dir / "f.gz").string());
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].name, "inner.txt");
  EXPECT_EQ(r.entries[0].packed, 100);
  EXPECT_EQ(r.entries[0].unpacked, 5000);
  EXPECT_EQ(r.entries[0].crc, 0xCAFEBABEu);
  EXPECT_TRUE(r.entries[0].encrypted);
  EXPECT_EQ(r.entries[0].date, UnixTimeToDateTime(0x40302010));

  // An ISIZE far below the packed size wrapped at 4 GiB.
  WriteFile(dir / "w.gz", Member(0, "", std::string(100000, 'x'), 1, 10));
  const auto w = ListArchive((dir / "w.gz").string());
  ASSERT_EQ(w.entries.size(), 1u);
  EXPECT_EQ(w.entries[0].unpacked, 10 + (Int64{1} << 32));
  EXPECT_EQ(GzipUnpackedSize(10, 12), 10);
  EXPECT_EQ(GzipUnpackedSize(0, 2), 0);
  EXPECT_EQ(GzipUnpackedSize(70000, 70015), 70000);
  EXPECT_EQ(GzipUnpackedSize(5, 2000), 5 + (Int64{1} << 32));
  EXPECT_EQ(GzipUnpackedSize(5, (Int64{1} << 32) + 2000), 5 + (Int64{2} << 32));

  // The old 1F 9E form puts a part number in front of the extra field.
  TGzipHeader h;
  const std::string old =
      std::string("\x1F\x9E\x08\x0E\0\0\0\0\0\0", 10) + std::string("\x02\x00", 2) + std::string("\x01\x00Z", 3) +
      std::string("n\0", 2);
  ASSERT_TRUE(h.Parse(reinterpret_cast<const Byte*>(old.data()), old.size()));
  EXPECT_EQ(h.Name, "n");
  EXPECT_EQ(h.DataOffset, 17);
  EXPECT_EQ(h.ExtraLength, 1);

  // Pack and LZH-compressed files: named by the method table from the magic.
  WriteFile(dir / "p.z", std::string("\x1F\x1E", 2) + std::string(40, 'p'));
  const auto pk = ListArchive((dir / "p.z").string());
  ASSERT_EQ(pk.entries.size(), 1u);
  EXPECT_EQ(pk.entries[0].methodText, "PackMAGIC");
  EXPECT_EQ(pk.entries[0].packed, 40);
  EXPECT_EQ(pk.entries[0].name, "p");
  WriteFile(dir / "l.z", std::string("\x1F\xA0", 2) + std::string(40, 'l'));
  const auto lz = ListArchive((dir / "l.z").string());
  ASSERT_EQ(lz.entries.size(), 1u);
  EXPECT_EQ(lz.entries[0].methodText, "LzhMAGIC");
}

TEST(GzipList, DamagedMembersListNothing) {
  TempDir dir;
  const std::string good = Member(0x08, std::string("name\0", 5), std::string(30, 'd'), 1, 30);
  auto listed = [&](const std::string& bytes) {
    const auto r = vsktest::ListArchiveBytes((dir / "d.gz").string(), bytes);
    EXPECT_TRUE(r.ok);
    return r.entries.size();
  };
  EXPECT_EQ(listed(good), 1u);
  // Under 18 bytes a gzip member cannot hold header and trailer.
  EXPECT_EQ(listed(good.substr(0, 17)), 0u);
  // A name that never ends, an extra field longer than the file.
  EXPECT_EQ(listed(Member(0x08, std::string(20, 'n'), "", 0, 0).substr(0, 30)), 0u);
  EXPECT_EQ(listed(Member(0x04, std::string("\xFF\xFF", 2), std::string(20, 'x'), 0, 0)), 0u);
  // The header takes more than the file less its trailer.
  EXPECT_EQ(listed(Member(0x08, std::string(12, 'n') + std::string(1, '\0'), "", 0, 0).substr(0, 29)), 0u);
  // Random bytes behind a valid magic never crash.
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::string junk = "\x1F\x8B" + vsktest::RandomBytes(10 + seed * 7, seed);
    listed(junk);
  }
}

}  // namespace
}  // namespace vsk
