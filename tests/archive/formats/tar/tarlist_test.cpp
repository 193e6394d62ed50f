// The lister against tar archives written by GNU tar (gnu, posix and ustar
// forms, long names, a volume label) and bsdtar, and against hand-built
// headers with base-256 numbers, pax records and hostile fields.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

#include "archive/formats/tar/tarheader.h"
#include "base/dates.h"
#include "tests/support/listing.h"
#include "tests/support/tarbuild.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::DateText;
using vsktest::ListArchive;
using vsktest::ListOptions;
using vsktest::ListResult;
using vsktest::PaxRecord;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TarHeader;
using vsktest::TarPadded;
using vsktest::TempDir;
using vsktest::WriteFile;

// Every archive here is a tar archive.
ListResult List(const std::string& archive, const ListOptions& options = {}) {
  auto r = ListArchive(archive, options);
  EXPECT_EQ(r.type, atTar) << archive;
  return r;
}

// `tar --full-time -tvf` rows by name: type letter, size, date and time.
struct TarRow {
  char type = 0;
  Int64 size = 0;
  std::string date;
};
std::map<std::string, TarRow> TarVerbose(const std::string& archive) {
  const auto out = RunTool("tar --full-time -tvf " + ShellQuote(archive));
  std::map<std::string, TarRow> rows;
  std::istringstream in(out.output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string perms, owner, date, time, name;
    TarRow row;
    if (!(ls >> perms >> owner >> row.size >> date >> time)) continue;
    std::getline(ls, name);
    name.erase(0, name.find_first_not_of(' '));
    if (const auto arrow = name.find(" -> "); arrow != std::string::npos) name.resize(arrow);
    if (const auto link = name.find(" link to "); link != std::string::npos) name.resize(link);
    row.type = perms[0];
    row.date = date + " " + time;
    rows[name] = row;
  }
  return rows;
}

const std::string kLongFolder = "src/" + std::string(60, 'f') + "/" + std::string(50, 'g');
const std::string kLongFile = kLongFolder + "/" + std::string(70, 'h') + ".txt";

void MakeTree(const TempDir& dir) {
  WriteFile(dir / "src/readme.txt", vsktest::TextBytes(5000, 1));
  WriteFile(dir / "src/block.bin", vsktest::RandomBytes(1024, 2));
  WriteFile(dir / "src/sub/notes.txt", vsktest::TextBytes(20000, 3));
  WriteFile(dir / "src/empty.txt", "");
  WriteFile(dir / kLongFile, vsktest::TextBytes(777, 4));
  std::filesystem::create_directories(dir / "src/emptydir");
  std::filesystem::create_symlink("readme.txt", dir / "src/link");
  ASSERT_EQ(RunTool("find src -exec touch -h -d '2021-05-06 07:08:09' {} +", dir.path()).exitCode, 0);
}

// Every row of tar's listing is one of ours with the same size and date;
// files are counted, folders shown only with ShowEmptyDirs.
void ExpectAgreesWithTar(const std::string& archive) {
  const auto rows = TarVerbose(archive);
  ASSERT_FALSE(rows.empty()) << archive;
  for (bool showDirs : {false, true}) {
    const ListResult r = List(archive, {.showDirs = showDirs});
    ASSERT_TRUE(r.ok);
    std::size_t expected = 0;
    double total = 0;
    for (const auto& [name, row] : rows) {
      const bool dir = row.type == 'd';
      if (dir && !showDirs) continue;
      ++expected;
      total += dir ? 0 : static_cast<double>(row.size);
      const auto* it = r.Find(name);
      ASSERT_NE(it, nullptr) << archive << ": " << name;
      EXPECT_EQ(it->unpacked, row.size) << name;
      EXPECT_EQ(it->packed, row.size) << name;
      EXPECT_EQ(DateText(it->date), row.date) << name;
      EXPECT_EQ(it->attr, dir ? 0x10u : 0u) << name;
      EXPECT_EQ(it->methodText, "Tarred") << name;
      EXPECT_NE(it->crc, 0u) << name;
      EXPECT_EQ(it->offset % 512, 0) << name;
    }
    EXPECT_EQ(r.entries.size(), expected) << archive;
    EXPECT_EQ(r.numFiles, static_cast<int>(expected)) << archive;
    EXPECT_EQ(r.unpackTotal, total);
    EXPECT_EQ(r.packTotal, total);
    // The long-name and pax records are not entries themselves.
    for (const auto& n : r.readFile) {
      EXPECT_EQ(n.find("LongLink"), std::string::npos);
      EXPECT_EQ(n.find("PaxHeader"), std::string::npos);
    }
    EXPECT_EQ(r.readFile.size(), rows.size()) << archive;
  }
}

TEST(TarList, ArchivesOfGnuTar) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  TempDir dir;
  MakeTree(dir);
  for (const char* format : {"gnu", "posix", "ustar", "oldgnu"}) {
    const auto arc = (dir / (std::string(format) + ".tar")).string();
    ASSERT_EQ(RunTool(std::string("tar --format=") + format + " -cf " + ShellQuote(arc) + " src", dir.path()).exitCode,
              0)
        << format;
    SCOPED_TRACE(format);
    ExpectAgreesWithTar(arc);
    const auto r = List(arc);
    EXPECT_NE(r.Find(kLongFile), nullptr);
  }

  // A volume label is no entry.
  const auto label = (dir / "label.tar").string();
  ASSERT_EQ(RunTool("tar --format=gnu --label='Backup 1' -cf " + ShellQuote(label) + " src", dir.path()).exitCode, 0);
  const auto l = List(label);
  EXPECT_EQ(std::count_if(l.readFile.begin(), l.readFile.end(), [](const std::string& n) { return n == "Backup 1"; }),
            0);
  EXPECT_EQ(l.numFiles, List((dir / "gnu.tar").string()).numFiles);

  // Masks are tested on the whole name; folders count with ShowEmptyDirs.
  const auto gnu = (dir / "gnu.tar").string();
  const auto txt = List(gnu, {.spec = {"*.txt"}});
  EXPECT_EQ(txt.numFiles, 4);
  const auto none = List(gnu, {.spec = {}});
  EXPECT_EQ(none.numFiles, 0);
  EXPECT_FALSE(none.readFile.empty());
  const auto dirs = List(gnu, {.showDirs = true});
  for (const auto& e : dirs.entries) {
    if (e.attr == 0x10) {
      EXPECT_EQ(e.name.back(), '/') << e.name;
    }
  }
  EXPECT_EQ(dirs.entries.back().filenum, dirs.numFiles);
}

TEST(TarList, ArchivesOfBsdtar) {
  ASSERT_TRUE(vsktest::HaveTool("bsdtar") && vsktest::HaveTool("tar"));
  TempDir dir;
  MakeTree(dir);
  for (const char* format : {"pax", "ustar", "gnutar", "v7"}) {
    const auto arc = (dir / (std::string(format) + ".tar")).string();
    // v7 cannot hold the long name; bsdtar leaves that file out.
    RunTool(std::string("bsdtar --format ") + format + " -cf " + ShellQuote(arc) + " src 2>/dev/null", dir.path());
    SCOPED_TRACE(format);
    ExpectAgreesWithTar(arc);
  }
  const auto restricted = (dir / "default.tar").string();
  ASSERT_EQ(RunTool("bsdtar -cf " + ShellQuote(restricted) + " src", dir.path()).exitCode, 0);
  ExpectAgreesWithTar(restricted);
}

TEST(TarList, HandBuiltRecords) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  TempDir dir;
  // Three files of 100, 200 and 300 bytes total 600.
  std::string arc;
  for (int n : {100, 200, 300})
    arc += TarHeader("f" + std::to_string(n), '0', n, 1600000000).Bytes() + TarPadded(std::string(n, 'x'));
  arc += std::string(1024, '\0');
  WriteFile(dir / "three.tar", arc);
  const auto three = List((dir / "three.tar").string());
  EXPECT_EQ(three.numFiles, 3);
  EXPECT_EQ(three.unpackTotal, 600);
  EXPECT_EQ(three.packTotal, 600);
  ASSERT_EQ(three.entries.size(), 3u);
  EXPECT_EQ(three.entries[1].offset, 1024);
  EXPECT_EQ(three.entries[2].offset, 2048);
  EXPECT_EQ(three.entries[0].date, UnixTimeToDateTime(1600000000));

  // A pax record with path, size and mtime; a GNU long name; a base-256
  // size. tar itself agrees on the names and sizes.
  const std::string pax = PaxRecord("path", "pax/ünïcode name.txt") + PaxRecord("size", "700") +
                          PaxRecord("mtime", "1234567890.5") + PaxRecord("comment", "ignored");
  std::string mix = TarHeader("PaxHeaders/x", 'x', static_cast<Int64>(pax.size())).Bytes() + TarPadded(pax);
  mix += TarHeader("short", '0', 0).Bytes() + TarPadded(std::string(700, 'p'));
  const std::string longName = std::string(300, 'L') + "/end.txt";
  mix += TarHeader("././@LongLink", 'L', static_cast<Int64>(longName.size()) + 1).Bytes() + TarPadded(longName + '\0');
  mix += TarHeader(longName.substr(0, 100), '0', 10).Bytes() + TarPadded(std::string(10, 'l'));
  TarHeader big("big.bin", '0', 0);
  std::memset(big.b + 124, 0, 12);
  big.b[124] = static_cast<char>(0x80);
  big.b[135] = 0x01;  // 2^0 ...
  big.b[131] = 0x02;  // ... + 2 * 2^32
  mix += big.Bytes() + std::string(1024, '\0');
  WriteFile(dir / "mix.tar", mix);
  const auto m = List((dir / "mix.tar").string());
  ASSERT_EQ(m.entries.size(), 3u);
  EXPECT_EQ(m.entries[0].name, "pax/ünïcode name.txt");
  EXPECT_EQ(m.entries[0].unpacked, 700);
  EXPECT_EQ(m.entries[0].date, UnixTimeToDateTime(1234567890));
  EXPECT_EQ(m.entries[1].name, longName);
  EXPECT_EQ(m.entries[1].unpacked, 10);
  EXPECT_EQ(m.entries[2].name, "big.bin");
  EXPECT_EQ(m.entries[2].unpacked, (Int64{2} << 32) + 1);
  EXPECT_EQ(m.readFile.size(), 3u);
  const auto rows = TarVerbose((dir / "mix.tar").string());
  EXPECT_EQ(rows.at("pax/ünïcode name.txt").size, 700);
  EXPECT_EQ(rows.at(longName).size, 10);

  // A ustar prefix in front of the name.
  TarHeader pre("name.txt", '0', 5);
  std::memcpy(pre.b + 345, "some/folder", 11);
  WriteFile(dir / "pre.tar", pre.Bytes() + TarPadded("12345") + std::string(1024, '\0'));
  const auto p = List((dir / "pre.tar").string());
  ASSERT_EQ(p.entries.size(), 1u);
  EXPECT_EQ(p.entries[0].name, "some/folder/name.txt");
  EXPECT_EQ(TarVerbose((dir / "pre.tar").string()).count("some/folder/name.txt"), 1u);
}

TEST(TarList, NumbersAndPaxRecords) {
  auto num = [](const std::string& f) { return TarNumber(reinterpret_cast<const Byte*>(f.data()), f.size()); };
  EXPECT_EQ(num("00000001750"), 1000);
  EXPECT_EQ(num("   1750 \0"), 1000);
  EXPECT_EQ(num(std::string("1750\0\0\0\0", 8)), 1000);
  EXPECT_EQ(num(std::string("\x80\0\0\0\0\0\0\0\0\0\x01\x00", 12)), 256);
  EXPECT_EQ(num(std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFE", 12)), -2);
  EXPECT_EQ(num(std::string("\x80\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 12)), INT64_MAX);
  EXPECT_EQ(TarPaddedSize(0), 0);
  EXPECT_EQ(TarPaddedSize(1), 512);
  EXPECT_EQ(TarPaddedSize(512), 512);
  EXPECT_EQ(TarPaddedSize(INT64_MAX), INT64_MAX);

  auto pax = [](const std::string& d) {
    TTarPaxInfo p;
    p.Parse(reinterpret_cast<const Byte*>(d.data()), d.size());
    return p;
  };
  const auto good = pax(PaxRecord("path", "a=b") + PaxRecord("size", "12"));
  EXPECT_EQ(good.Path, "a=b");
  EXPECT_EQ(good.Size, 12);
  // A record whose length runs past the data, or is no number, ends it.
  EXPECT_FALSE(pax("99 path=x\n").HasPath);
  EXPECT_FALSE(pax("x path=y\n").HasPath);
  EXPECT_FALSE(pax("3 p\n").HasPath);
  EXPECT_FALSE(pax("99999999999999999999999 path=x\n").HasPath);
  const auto cut = pax(PaxRecord("size", "5") + "20 path=zzz");
  EXPECT_TRUE(cut.HasSize);
  EXPECT_FALSE(cut.HasPath);
  EXPECT_FALSE(pax(PaxRecord("size", "-5")).HasSize);
}

TEST(TarList, HostileHeadersNeverCrashOrLoop) {
  TempDir dir;
  auto listed = [&](const std::string& bytes) {
    const auto r = vsktest::ListArchiveBytes((dir / "h.tar").string(), bytes);
    EXPECT_TRUE(r.ok);
    return static_cast<int>(r.entries.size());
  };
  const std::string tail(1024, '\0');
  // Sizes far past the end, in octal and in base 256.
  EXPECT_EQ(listed(TarHeader("huge", '0', 077777777777).Bytes() + tail), 1);
  TarHeader neg("neg", '0', 0);
  std::memset(neg.b + 124, 0xFF, 12);
  EXPECT_EQ(listed(neg.Bytes() + TarHeader("next", '0', 0).Bytes() + tail), 2);
  // Long-name and pax records that claim more than the file holds.
  EXPECT_EQ(listed(TarHeader("././@LongLink", 'L', 077777777777).Bytes() + std::string(2000, 'n')), 0);
  EXPECT_EQ(listed(TarHeader("x", 'x', 5000).Bytes() + std::string(600, '9')), 0);
  // Two long names in a row: the second one names the entry.
  EXPECT_EQ(listed(TarHeader("././@LongLink", 'L', 2).Bytes() + TarPadded("a") +
                   TarHeader("././@LongLink", 'L', 2).Bytes() + TarPadded("b") + TarHeader("c", '0', 0).Bytes() + tail),
            1);
  // A long-name record as the last block names nothing.
  EXPECT_EQ(listed(TarHeader("ok", '0', 0).Bytes() + TarHeader("././@LongLink", 'L', 0).Bytes() + tail), 1);
  // A checksum of 0 and an empty name end the walk.
  TarHeader zero("zero", '0', 0);
  std::string z = zero.Bytes();
  std::memcpy(z.data() + 148, "0000000", 8);
  EXPECT_EQ(listed(TarHeader("first", '0', 0).Bytes() + z + TarHeader("after", '0', 0).Bytes() + tail), 1);
  // Truncated archives and random blocks after a valid header.
  const std::string one = TarHeader("f", '0', 3000).Bytes() + TarPadded(std::string(3000, 'f'));
  for (std::size_t cut = 512; cut < one.size(); cut += 333) listed(one.substr(0, cut));
  for (std::uint32_t seed = 1; seed <= 30; ++seed)
    listed(TarHeader("r", '0', 0).Bytes() + vsktest::RandomBytes(2048, seed));
}

}  // namespace
}  // namespace vsk
