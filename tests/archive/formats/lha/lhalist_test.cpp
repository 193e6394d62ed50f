// The lister against LHA archives written by jlha (checked against what
// lhasa reports) and against hand-built headers of every level.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "base/checksum.h"
#include "base/dates.h"
#include "archive/core/numbers.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::DateText;
using vsktest::Le16;
using vsktest::Le32;
using vsktest::ListArchive;
using vsktest::ListResult;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

// ---- what lhasa reports

struct LhaRow {
  Int64 packed = 0, size = 0;
  std::string method;
  UInt32 crc = 0;
  std::string month, day, year;
};

// `lha v` rows: PERMSSN [UID GID] PACKED SIZE RATIO METHOD CRC STAMP NAME.
std::map<std::string, LhaRow> LhasaVerbose(const std::string& archive) {
  const auto out = RunTool("lha v " + ShellQuote(archive));
  std::map<std::string, LhaRow> rows;
  std::istringstream in(out.output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::vector<std::string> t;
    for (std::string w; ls >> w;) t.push_back(w);
    std::size_t m = 0;
    while (m < t.size() && !(t[m].size() == 5 && t[m].front() == '-' && t[m].back() == '-')) ++m;
    if (m < 3 || m + 5 >= t.size()) continue;
    LhaRow row;
    row.packed = std::stoll(t[m - 3]);
    row.size = std::stoll(t[m - 2]);
    row.method = t[m];
    row.crc = static_cast<UInt32>(std::stoul(t[m + 1], nullptr, 16));
    row.month = t[m + 2];
    row.day = t[m + 3];
    row.year = t[m + 4];
    rows[t[m + 5]] = row;
  }
  return rows;
}

std::string MethodTextOf(const std::string& id) {
  if (id == "-lhd-") return "<Dir>";
  if (id == "-lh0-") return "Stored";
  return "Frozen-" + id.substr(3, 1);
}

std::string LhasaDate(TDateTime d) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y, m, day;
  DecodeDate(d, y, m, day);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s %02d %d", kMonths[m - 1], day, y);
  return buf;
}

// Files and folders with known modification times (even seconds, so the
// DOS form keeps them).
std::map<std::string, std::string> MakeTree(const TempDir& dir) {
  WriteFile(dir / "src/readme.txt", vsktest::TextBytes(5000, 1));
  WriteFile(dir / "src/data.bin", vsktest::RandomBytes(3000, 2));
  WriteFile(dir / "src/sub/notes.txt", vsktest::TextBytes(20000, 3));
  WriteFile(dir / "src/empty.txt", "");
  std::filesystem::create_directories(dir / "src/emptydir");
  const std::map<std::string, std::string> times = {{"src/readme.txt", "2019-03-14 10:22:36"},
                                                    {"src/data.bin", "2021-07-01 23:59:58"},
                                                    {"src/sub/notes.txt", "2004-02-29 00:00:00"},
                                                    {"src/empty.txt", "2015-11-30 12:30:10"},
                                                    {"src/emptydir/", "2018-05-06 07:08:10"},
                                                    {"src/sub/", "2017-01-02 03:04:06"},
                                                    {"src/", "2016-09-10 11:12:14"}};
  for (const auto& [name, stamp] : times) {
    std::string path = name.back() == '/' ? name.substr(0, name.size() - 1) : name;
    EXPECT_EQ(RunTool("touch -d " + ShellQuote(stamp) + " " + ShellQuote(path), dir.path()).exitCode, 0);
  }
  return times;
}

// Every row lhasa shows is listed by us with the same details; files are
// counted, folders reported only because ShowEmptyDirs is on.
void ExpectAgreesWithLhasa(const std::string& archive, const ListResult& r,
                           const std::map<std::string, std::string>& times) {
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.errors.empty());
  const auto rows = LhasaVerbose(archive);
  ASSERT_FALSE(rows.empty());
  int files = 0;
  double packed = 0, unpacked = 0;
  for (const auto& [name, row] : rows) {
    const auto* e = r.Find(name);
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(e->packed, row.packed) << name;
    EXPECT_EQ(e->unpacked, row.size) << name;
    EXPECT_EQ(e->crc, row.crc) << name;
    EXPECT_EQ(e->methodText, MethodTextOf(row.method)) << name;
    EXPECT_EQ(e->methodNumber, static_cast<UInt16>(row.method[3])) << name;
    EXPECT_EQ(LhasaDate(e->date), row.month + " " + row.day + " " + row.year) << name;
    const auto t = times.find(name);
    if (t != times.end()) {
      EXPECT_EQ(DateText(e->date), t->second) << name;
    }
    if (row.method != "-lhd-") {
      ++files;
      packed += static_cast<double>(row.packed);
      unpacked += static_cast<double>(row.size);
    }
  }
  EXPECT_EQ(r.entries.size(), rows.size());
  EXPECT_EQ(r.numFiles, files);
  EXPECT_EQ(r.packTotal, packed);
  EXPECT_EQ(r.unpackTotal, unpacked);
}

TEST(LhaList, ArchivesOfJlhaAtEveryLevelAndMethod) {
  ASSERT_TRUE(vsktest::HaveTool("jlha") && vsktest::HaveTool("lha"));
  TempDir dir;
  const auto times = MakeTree(dir);
  for (int level : {0, 1, 2}) {
    for (std::string option : {"", "o6", "o7", "z"}) {
      SCOPED_TRACE("level " + std::to_string(level) + " option " + option);
      const auto arc = (dir / ("l" + std::to_string(level) + option + ".lzh")).string();
      ASSERT_EQ(
          RunTool("jlha a" + std::to_string(level) + option + " " + ShellQuote(arc) + " src", dir.path()).exitCode, 0);
      const std::string bytes = vsktest::ReadFile(arc);
      ASSERT_GT(bytes.size(), 22u);
      ASSERT_EQ(bytes[20], static_cast<char>(level));  // the level asked for was written

      const auto r = ListArchive(arc, {.showDirs = true});
      EXPECT_EQ(r.type, atLha);
      ExpectAgreesWithLhasa(arc, r, times);
      const std::string expected = option.empty()  ? "Frozen-5"
                                   : option == "z" ? "Stored"
                                                   : "Frozen-" + option.substr(1);
      ASSERT_NE(r.Find("src/sub/notes.txt"), nullptr);
      EXPECT_EQ(r.Find("src/sub/notes.txt")->methodText, expected);
      EXPECT_EQ(r.entries.front().offset, 0);
      EXPECT_EQ(r.entries.front().name, "src/");
      EXPECT_EQ(r.Find("src/readme.txt")->attr, 0x20u);
      EXPECT_EQ(r.Find("src/readme.txt")->internalAttr, 0x20);
      EXPECT_EQ(r.Find("src/readme.txt")->madeBy, 0);
    }
  }
}

TEST(LhaList, MasksCountsAndFolders) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  MakeTree(dir);
  const auto arc = (dir / "m.lzh").string();
  ASSERT_EQ(RunTool("jlha a2 " + ShellQuote(arc) + " src", dir.path()).exitCode, 0);

  // Folders are neither counted nor reported without ShowEmptyDirs.
  const auto all = ListArchive(arc);
  ASSERT_TRUE(all.ok);
  EXPECT_EQ(all.numFiles, 4);
  EXPECT_EQ(all.entries.size(), 4u);
  EXPECT_EQ(all.readFile.size(), 7u);
  for (const auto& e : all.entries) EXPECT_NE(e.methodText, "<Dir>") << e.name;
  EXPECT_EQ(all.entries.back().filenum, 4);

  // A folder carries the count of the files before it.
  const auto dirs = ListArchive(arc, {.showDirs = true});
  ASSERT_EQ(dirs.entries.size(), 7u);
  int seen = 0;
  for (const auto& e : dirs.entries) {
    if (e.methodText == "<Dir>") {
      EXPECT_EQ(e.filenum, seen) << e.name;
      EXPECT_EQ(e.name.back(), '/');
    } else {
      EXPECT_EQ(e.filenum, ++seen) << e.name;
    }
  }

  const auto txt = ListArchive(arc, {.spec = {"*.txt"}});
  EXPECT_EQ(txt.readFile.size(), 7u);
  EXPECT_EQ(txt.numFiles, 3);
  for (const auto& e : txt.entries) EXPECT_EQ(e.name.substr(e.name.size() - 4), ".txt");
  EXPECT_EQ(txt.unpackTotal, 25000.0);

  const auto none = ListArchive(arc, {.spec = {}});
  EXPECT_EQ(none.numFiles, 0);
  EXPECT_TRUE(none.entries.empty());
}

TEST(LhaList, FolderPathsLongerThan255Bytes) {
  ASSERT_TRUE(vsktest::HaveTool("jlha") && vsktest::HaveTool("lha"));
  TempDir dir;
  const std::string deep = "long/" + std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(80, 'f');
  WriteFile(dir / (deep + "/x.txt"), "hi\n");
  for (int level : {1, 2}) {
    SCOPED_TRACE(level);
    const auto arc = (dir / ("long" + std::to_string(level) + ".lzh")).string();
    ASSERT_EQ(RunTool("jlha a" + std::to_string(level) + " " + ShellQuote(arc) + " long", dir.path()).exitCode, 0);
    const auto r = ListArchive(arc, {.showDirs = true});
    ExpectAgreesWithLhasa(arc, r, {});
    ASSERT_NE(r.Find(deep + "/x.txt"), nullptr);
    EXPECT_NE(r.Find(deep + "/"), nullptr);
    EXPECT_EQ(r.numFiles, 1);
  }
}

// ---- hand-built headers

struct Ext {
  Byte type;
  std::string data;
};

std::string ExtChain(const std::vector<Ext>& exts) {
  std::string out;
  for (std::size_t i = 0; i < exts.size(); ++i) {
    out += static_cast<char>(exts[i].type);
    out += exts[i].data;
    out += Le16(i + 1 < exts.size() ? static_cast<unsigned>(exts[i + 1].data.size() + 3) : 0);
  }
  return out;
}
unsigned FirstExtSize(const std::vector<Ext>& exts) {
  return exts.empty() ? 0 : static_cast<unsigned>(exts[0].data.size() + 3);
}

struct Entry {
  std::string method = "-lh0-";
  std::string name = {};
  std::string data = {};
  UInt32 time = 0;
  Byte attr = 0x20;
  UInt16 crc = 0x1234;
  char os = 'M';
  std::vector<Ext> exts = {};
  UInt32 unpacked = 0xFFFFFFFF;  // the data size when left so
};

// Bytes 2..20 of the fixed part.
std::string Fixed(const Entry& e, UInt32 packed, int level) {
  return e.method + Le32(packed) + Le32(e.unpacked == 0xFFFFFFFF ? static_cast<UInt32>(e.data.size()) : e.unpacked) +
         Le32(e.time) + static_cast<char>(e.attr) + static_cast<char>(level);
}

std::string WithSum(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum += static_cast<Byte>(c);
  return std::string(1, static_cast<char>(body.size())) + static_cast<char>(sum & 0xFF) + body;
}

std::string Level0(const Entry& e) {
  return WithSum(Fixed(e, static_cast<UInt32>(e.data.size()), 0) + static_cast<char>(e.name.size()) + e.name +
                 Le16(e.crc)) +
         e.data;
}

std::string Level1(const Entry& e) {
  const std::string exts = ExtChain(e.exts);
  return WithSum(Fixed(e, static_cast<UInt32>(e.data.size() + exts.size()), 1) + static_cast<char>(e.name.size()) +
                 e.name + Le16(e.crc) + e.os + Le16(FirstExtSize(e.exts))) +
         exts + e.data;
}

// A header CRC extended header (type 0) gets the CRC-16 of the whole
// header, taken with its own field as zero.
std::string Level2(const Entry& e) {
  const std::string body = Fixed(e, static_cast<UInt32>(e.data.size()), 2) + Le16(e.crc) + e.os +
                           Le16(FirstExtSize(e.exts)) + ExtChain(e.exts);
  std::string header = Le16(static_cast<unsigned>(body.size() + 2)) + body;
  std::size_t at = 26;
  for (const auto& x : e.exts) {
    if (x.type == 0x00 && x.data.size() >= 2) {
      header[at + 1] = header[at + 2] = '\0';
      const std::string crc = Le16(Crc16Of(header.data(), header.size()));
      header.replace(at + 1, 2, crc);
    }
    at += x.data.size() + 3;
  }
  return header + e.data;
}

constexpr UInt32 kDos = 0x4E6E5A8B;   // 2019-03-14 11:20:22
constexpr UInt32 kUnix = 1552558956;  // 2019-03-14 10:22:36 UTC

ListResult ListBytes(const TempDir& dir, const std::string& bytes, bool showDirs = true) {
  return vsktest::ListArchiveBytes((dir / "t.lzh").string(), bytes, {.showDirs = showDirs});
}

TEST(LhaList, HandBuiltHeadersOfEveryLevel) {
  TempDir dir;
  std::string arc;
  // Level 0: the name carries the folder; only the CRC follows it, so data
  // that looks like an extended-header size is not taken as one.
  Entry l0{.method = "-lh5-",
           .name = "a\\b.txt",
           .data = std::string("\x00\x09\x00\x02zz\xFF\x00\x00", 9) + "rest",
           .time = kDos,
           .attr = 0x21,
           .crc = 0xBEEF,
           .unpacked = 400};
  arc += Level0(l0);
  // Level 1: the folder from its extended header (ending in the separator
  // or not), the extended headers not in the packed size.
  Entry l1a{.method = "-lh6-",
            .name = "readme.txt",
            .data = "0123456789",
            .time = kDos,
            .crc = 0x0102,
            .exts = {{0x00, "\x11\x22"}, {0x02, "src\xFF"}},
            .unpacked = 99};
  Entry l1b{.method = "-lh7-",
            .name = "x",
            .data = "abc",
            .time = kDos,
            .exts = {{0x02,
                      "a/b\xFF"
                      "c"}}};
  arc += Level1(l1a) + Level1(l1b);
  // Level 2: the CRC header first, the folder before the name; a Unix time
  // whatever the OS byte says.
  for (char os : {'M', 'U', '\0'}) {
    Entry l2{.method = "-lh4-",
             .data = "xyz",
             .time = kUnix,
             .crc = 0xA001,
             .os = os,
             .exts = {{0x00, std::string(2, '\0')},
                      {0x02, "dir\xFFsub\xFF"},
                      {0x50, "\xA4\x81"},
                      {0x01, std::string("n") + static_cast<char>(os ? os : '0') + ".txt"}}};
    arc += Level2(l2);
  }
  // A level-2 folder entry without a name, and a CP437 name.
  arc += Level2({.method = "-lhd-", .time = kUnix, .exts = {{0x02, "dir\xFF"}}});
  arc += Level0({.method = "-lh1-", .name = "gr\x81n.txt", .data = "d", .time = kDos});
  arc += Level0({.method = "-lzs-", .name = "old.txt", .data = "d", .time = kDos});
  arc += std::string(1, '\0');

  const auto r = ListBytes(dir, arc);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, atLha);
  EXPECT_EQ(r.Names(),
            (std::vector<std::string>{"a/b.txt", "src/readme.txt", "a/b/c/x", "dir/sub/nM.txt", "dir/sub/nU.txt",
                                      "dir/sub/n0.txt", "dir/", "gr\u00fcn.txt", "old.txt"}));
  ASSERT_EQ(r.entries.size(), 9u);
  EXPECT_EQ(r.numFiles, 8);

  const auto& a = r.entries[0];
  EXPECT_EQ(a.packed, 13);
  EXPECT_EQ(a.unpacked, 400);
  EXPECT_EQ(a.crc, 0xBEEFu);
  EXPECT_EQ(a.methodText, "Frozen-5");
  EXPECT_EQ(a.attr, 0x21u);
  EXPECT_EQ(a.date, DosDateTimeToDateTime(kDos));
  EXPECT_EQ(a.ratio, CompressRatio(Int64{13}, Int64{400}));
  EXPECT_EQ(a.offset, 0);

  const auto& b = r.entries[1];
  EXPECT_EQ(b.packed, 10);
  EXPECT_EQ(b.unpacked, 99);
  EXPECT_EQ(b.crc, 0x0102u);
  EXPECT_EQ(b.methodText, "Frozen-6");
  EXPECT_EQ(b.offset, static_cast<Int64>(Level0(l0).size()));
  EXPECT_EQ(r.entries[2].methodText, "Frozen-7");
  EXPECT_EQ(r.entries[2].packed, 3);

  for (int i = 3; i < 6; ++i) {
    EXPECT_EQ(r.entries[i].date, UnixTimeToDateTime(kUnix)) << r.entries[i].name;
    EXPECT_EQ(r.entries[i].crc, 0xA001u);
    EXPECT_EQ(r.entries[i].methodText, "Frozen-4");
    EXPECT_EQ(r.entries[i].packed, 3);
  }
  EXPECT_EQ(r.entries[6].methodText, "<Dir>");
  EXPECT_EQ(r.entries[6].filenum, 6);
  EXPECT_EQ(r.entries[7].methodText, "Frozen-1");
  EXPECT_EQ(r.entries[8].methodText, "Unsupported");
  EXPECT_EQ(r.entries[8].methodNumber, 's');
  EXPECT_EQ(r.packTotal, 13 + 10 + 3 + 3 * 3 + 1 + 1);
}

TEST(LhaList, LargeLevel2HeadersPrefixesAndLevel3) {
  TempDir dir;
  // A level-2 header of exactly 256 bytes: its low size byte is 0.
  const Entry big{.data = "big", .time = kUnix, .exts = {{0x01, std::string(227, 'n')}}};
  const std::string bigHeader = Level2(big);
  ASSERT_EQ(bigHeader.size(), 256u + 3);
  ASSERT_EQ(bigHeader[0], '\0');
  const Entry after{.data = "after", .time = kUnix, .exts = {{0x01, "after.txt"}}};
  // Detection needs the first header to have its method at byte 2.
  const std::string first = Level0({.name = "first", .data = "1", .time = kDos});
  auto r = ListBytes(dir, first + bigHeader + Level2(after) + std::string(1, '\0'));
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[1].name, std::string(227, 'n'));
  EXPECT_EQ(r.entries[1].packed, 3);
  EXPECT_EQ(r.entries[2].name, "after.txt");
  EXPECT_EQ(r.entries[2].offset, static_cast<Int64>(first.size() + bigHeader.size()));

  // A 128-byte zero prefix in front of the first header.
  std::string body;
  for (int i = 0; i < 8; ++i) body += Level0({.name = "f" + std::to_string(i), .data = "data", .time = kDos});
  r = ListBytes(dir, std::string(128, '\0') + body);
  EXPECT_EQ(r.type, atLha);
  ASSERT_EQ(r.entries.size(), 8u);
  EXPECT_EQ(r.entries[0].offset, 128);

  // A level-3 header ends the walk; what came before stands.
  std::string l3 = Level2({.data = "x", .time = kUnix, .exts = {{0x01, "three"}}});
  l3[20] = 3;
  r = ListBytes(dir, first + l3 + Level0({.name = "later", .data = "1"}));
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].name, "first");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.numFiles, 1);
  EXPECT_EQ(r.ErrorCodes(), std::vector<int>{25110}) << "a level not read here is a bad header";
}

TEST(LhaList, HostileHeadersEndTheWalk) {
  TempDir dir;
  const std::string first = Level0({.name = "first", .data = "1", .time = kDos});
  const std::string tail = Level0({.name = "tail", .data = "2", .time = kDos});
  auto listed = [&](const std::string& bad) {
    const auto r = ListBytes(dir, first + bad + tail);
    EXPECT_TRUE(r.ok);
    return r.Names();
  };
  const std::vector<std::string> onlyFirst = {"first"};

  // Level 1: an extended-header size below 3, extended headers larger than
  // the packed size that counts them, one running past the file's end.
  std::string l1 = Level1({.name = "x", .data = "abc", .exts = {{0x02, "d"}}});
  std::string s = l1;
  s[s.size() - 3 - 4 - 2] = 2;  // the first extended header's size
  EXPECT_EQ(listed(s), onlyFirst);
  s = l1;
  s[7] = 2;  // packed size below the extended headers
  EXPECT_EQ(listed(s), onlyFirst);
  s = l1;
  s[s.size() - 3 - 4 - 2] = 0x7F;
  s[s.size() - 3 - 4 - 1] = 0x7F;
  EXPECT_EQ(listed(s), onlyFirst);

  // Header-size bytes too small for the name (and the level-1 fields).
  s = Level0({.name = "name", .data = "abc"});
  s[0] = 22;
  EXPECT_EQ(listed(s), onlyFirst);
  s = Level1({.name = "name", .data = "abc"});
  s[0] = 27;
  EXPECT_EQ(listed(s), onlyFirst);

  // Level 2: a total size below its fixed fields, an extended header
  // reaching past the total, an extended-header size below 3.
  s = Level2({.data = "abc", .exts = {{0x01, "n"}}});
  std::string t = s;
  t[0] = 25;
  EXPECT_EQ(listed(t), onlyFirst);
  t = s;
  t[24] = 40;
  EXPECT_EQ(listed(t), onlyFirst);
  t = s;
  t[24] = 1;
  EXPECT_EQ(listed(t), onlyFirst);

  // A packed size far past the end: the entry is listed, the walk ends.
  s = Level0({.name = "huge", .data = ""});
  s[7] = s[8] = s[9] = s[10] = '\xFF';
  EXPECT_EQ(listed(s), (std::vector<std::string>{"first", "huge"}));

  // Every truncation of an archive with headers of all levels.
  std::string whole =
      first + Level1({.name = "one", .data = "abc", .exts = {{0x02, "dir\xFF"}, {0x40, std::string("\x20\x00", 2)}}}) +
      Level2({.data = "two", .exts = {{0x00, std::string(2, '\0')}, {0x01, "two"}}}) + tail;
  const auto full = ListBytes(dir, whole);
  ASSERT_EQ(full.entries.size(), 4u);
  for (std::size_t n = 1; n < whole.size(); ++n) {
    const auto r = ListBytes(dir, whole.substr(0, n));
    EXPECT_TRUE(r.ok || r.type != atLha);
    EXPECT_LE(r.entries.size(), 4u);
  }
}

TEST(LhaList, DamagedJlhaArchivesNeverCrash) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  MakeTree(dir);
  for (int level : {0, 1, 2}) {
    const auto arc = (dir / ("d" + std::to_string(level) + ".lzh")).string();
    ASSERT_EQ(RunTool("jlha a" + std::to_string(level) + " " + ShellQuote(arc) + " src", dir.path()).exitCode, 0);
    const std::string good = vsktest::ReadFile(arc);
    std::mt19937 rng(static_cast<unsigned>(level) + 7);
    for (int round = 0; round < 150; ++round) {
      std::string bad = good;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int i = 0; i < flips; ++i) {
        // Most of the damage lands in the headers, where it matters.
        const std::size_t at = rng() % 2 ? rng() % 64 : rng() % bad.size();
        bad[at] = static_cast<char>(rng());
      }
      EXPECT_TRUE(ListBytes(dir, bad).ok);
    }
  }
}

}  // namespace
}  // namespace vsk
