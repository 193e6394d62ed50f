// The lister against ARC and PAK archives built here from the format's
// layout and checked with nomarch and lsar.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "base/checksum.h"
#include "archive/formats/arc/archeader.h"
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
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

struct ArcFile {
  std::string name;
  std::string data;
  Byte method = 2;
  Int64 unpacked = -1;  // the data's size when negative
  UInt16 date = DosDate(2001, 2, 3);
  UInt16 time = DosTime(4, 5, 6);
};

// One entry: the 29-byte header (25 bytes for method 1) and the data.
std::string ArcEntry(const ArcFile& f) {
  Bytes b;
  b.U8(0x1A).U8(f.method).Field(f.name, 13).U32(static_cast<UInt32>(f.data.size())).U16(f.date).U16(f.time);
  b.U16(Crc16Of(f.data.data(), f.data.size()));
  if (f.method != 1) b.U32(static_cast<UInt32>(f.unpacked < 0 ? static_cast<Int64>(f.data.size()) : f.unpacked));
  return b.str() + f.data;
}

const std::string kEnd("\x1A\x00", 2);

std::string ArcArchive(const std::vector<ArcFile>& files) {
  std::string s;
  for (const auto& f : files) s += ArcEntry(f);
  return s + kEnd;
}

// `nomarch -U -lv` rows by name: method, packed, unpacked, date and time, CRC.
struct NomarchRow {
  int method = -1;
  Int64 packed = -1, unpacked = -1;
  std::string date;
  UInt32 crc = 0;
};
std::map<std::string, NomarchRow> NomarchList(const std::string& archive) {
  EXPECT_TRUE(vsktest::HaveTool("nomarch")) << "nomarch is needed";
  const auto out = RunTool("nomarch -U -lv " + ShellQuote(archive));
  EXPECT_EQ(out.exitCode, 0) << out.output;
  std::map<std::string, NomarchRow> rows;
  std::istringstream in(out.output);
  std::string line;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string name = line.substr(0, tab);
    name.erase(name.find_last_not_of(' ') + 1);
    std::istringstream ls(line.substr(tab + 1));
    NomarchRow row;
    std::string kind, day, clock, crc;
    if (!(ls >> row.method >> kind >> row.packed >> row.unpacked >> day >> clock >> crc)) continue;
    row.date = day + " " + clock;
    row.crc = static_cast<UInt32>(std::stoul(crc, nullptr, 16));
    rows[name] = row;
  }
  return rows;
}

// Every entry we list is what nomarch and lsar list, in the same order.
void ExpectToolsAgree(const std::string& archive, const vsktest::ListResult& r) {
  const auto rows = NomarchList(archive);
  const auto lsar = LsarList(archive);
  ASSERT_EQ(rows.size(), r.entries.size());
  ASSERT_EQ(lsar.size(), r.entries.size());
  for (std::size_t i = 0; i < r.entries.size(); ++i) {
    const auto& e = r.entries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(lsar[i].name, e.name);
    EXPECT_EQ(lsar[i].size, e.unpacked);
    EXPECT_EQ(lsar[i].compressed, e.packed);
    const auto it = rows.find(e.name);
    ASSERT_NE(it, rows.end());
    EXPECT_EQ(it->second.method, e.methodNumber);
    EXPECT_EQ(it->second.packed, e.packed);
    EXPECT_EQ(it->second.unpacked, e.unpacked);
    EXPECT_EQ(it->second.crc, e.crc);
    EXPECT_EQ(it->second.date, DateText(e.date).substr(0, 16));
  }
}

TEST(ArcList, StoredEntriesAsTheToolsListThem) {
  TempDir dir;
  const std::vector<ArcFile> files = {
      {"README.TXT", vsktest::TextBytes(5000, 1)},
      {"DATA.BIN", vsktest::RandomBytes(3000, 2), 2, -1, DosDate(1999, 12, 31), DosTime(23, 59, 58)},
      {"EMPTY.TXT", ""},
      // The oldest writers' stored entries: a 25-byte header, no unpacked size.
      {"OLD.TXT", vsktest::TextBytes(700, 3), 1},
      {"LONGNAME.DOC", vsktest::TextBytes(100, 4)},
  };
  const auto path = (dir / "t.arc").string();
  WriteFile(path, ArcArchive(files));
  const auto test = RunTool("nomarch -t " + ShellQuote(path));
  ASSERT_EQ(test.exitCode, 0) << test.output;

  const auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, atArc);
  ASSERT_EQ(r.entries.size(), files.size());
  ExpectToolsAgree(path, r);

  Int64 offset = 0, total = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& e = r.entries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.name, files[i].name);
    EXPECT_EQ(e.offset, offset);
    EXPECT_EQ(e.filenum, static_cast<int>(i + 1));
    EXPECT_EQ(e.methodText, "Stored");
    EXPECT_EQ(e.attr, 0x20u);
    EXPECT_EQ(e.internalAttr, 0x20);
    EXPECT_EQ(e.crc, Crc16Of(files[i].data.data(), files[i].data.size()));
    EXPECT_FALSE(e.encrypted);
    EXPECT_EQ(e.madeBy, 0);
    EXPECT_EQ(e.needed, 0);
    offset += (files[i].method == 1 ? 25 : 29) + static_cast<Int64>(files[i].data.size());
    total += static_cast<Int64>(files[i].data.size());
  }
  EXPECT_EQ(DateText(r.entries[1].date), "1999-12-31 23:59:58");
  EXPECT_EQ(r.readFile.size(), files.size());
  EXPECT_EQ(r.numFiles, static_cast<int>(files.size()));
  EXPECT_EQ(r.packTotal, static_cast<double>(total));
  EXPECT_EQ(r.unpackTotal, static_cast<double>(total));
  EXPECT_EQ(r.ratio, 0);

  // Masks choose what is reported and counted; every name is still seen.
  const auto txt = ListArchive(path, {.spec = {"*.TXT"}});
  EXPECT_EQ(txt.Names(), (std::vector<std::string>{"README.TXT", "EMPTY.TXT", "OLD.TXT"}));
  EXPECT_EQ(txt.readFile.size(), files.size());
  EXPECT_EQ(txt.numFiles, 3);
  EXPECT_EQ(txt.unpackTotal, 5700.0);
}

TEST(ArcList, PackedMethodsAndWhereTheArchiveEnds) {
  TempDir dir;
  std::vector<ArcFile> files = {{"FIRST.TXT", "plain"}};
  for (int m = 3; m <= 9; ++m)
    files.push_back({"M" + std::to_string(m) + ".DAT", vsktest::RandomBytes(50 + m, m), static_cast<Byte>(m),
                     1000 + m});
  const auto path = (dir / "m.arc").string();
  WriteFile(path, ArcArchive(files));
  const auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.entries.size(), files.size());
  ExpectToolsAgree(path, r);
  EXPECT_EQ(r.entries[1].methodText, "Packed");
  EXPECT_EQ(r.entries[2].methodText, "Squeezed");
  EXPECT_EQ(r.entries[3].methodText, "Crunched");
  EXPECT_EQ(r.entries[3].unpacked, 1005);
  // The ratio comes from the entry's own sizes: 55 of 1005 bytes.
  EXPECT_EQ(r.entries[3].ratio, 95);

  // Method 0 closes the archive, and so do 31 and above: the reader stops
  // at the same headers.
  for (int end : {0, 31, 32, 200, 255}) {
    SCOPED_TRACE(end);
    std::string s = ArcEntry({"A.TXT", "aaaa"});
    s += end == 0 ? kEnd : ArcEntry({"STOP.TXT", "x", static_cast<Byte>(end)});
    s += ArcEntry({"AFTER.TXT", "after"}) + kEnd;
    WriteFile(path, s);
    const auto e = ListArchive(path);
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.Names(), std::vector<std::string>{"A.TXT"});
    EXPECT_EQ(e.readFile.size(), 1u);
  }
  // Methods 10 to 29 are entries, named or not.
  WriteFile(path, ArcEntry({"A.TXT", "aaaa"}) + ArcEntry({"ODD.DAT", "zz", 20}) + ArcEntry({"B.TXT", "b"}) + kEnd);
  const auto odd = ListArchive(path);
  ASSERT_EQ(odd.Names(), (std::vector<std::string>{"A.TXT", "ODD.DAT", "B.TXT"}));
  EXPECT_EQ(odd.entries[1].methodText, "Unsupported");
}

TEST(ArcList, TheHeaderRuleIsOneForEveryUser) {
  Byte h[TArcHeader::Size] = {0x1A};
  for (int m = 0; m < 256; ++m) {
    h[1] = static_cast<Byte>(m);
    const bool entry = m >= 1 && m <= 30;
    TArcHeader parsed;
    EXPECT_EQ(TArcHeader::IsEntry(h, sizeof h), entry) << m;
    EXPECT_EQ(TArcHeader::Parse(h, sizeof h, false, parsed), entry) << m;
    EXPECT_EQ(TArcHeader::Parse(h, sizeof h, true, parsed), entry) << m;
  }
  h[0] = 0x1B;
  h[1] = 2;
  TArcHeader parsed;
  EXPECT_FALSE(TArcHeader::Parse(h, sizeof h, false, parsed));
  // A header cut short is no header; method 1 needs only its 25 bytes.
  h[0] = 0x1A;
  EXPECT_FALSE(TArcHeader::Parse(h, 28, false, parsed));
  h[1] = 1;
  EXPECT_TRUE(TArcHeader::Parse(h, 25, false, parsed));
  EXPECT_EQ(parsed.HeaderSize, 25u);
  // A name field without a NUL gives its 13 bytes.
  const std::string full = ArcEntry({std::string(13, 'N'), "", 2});
  ASSERT_TRUE(TArcHeader::Parse(reinterpret_cast<const Byte*>(full.data()), full.size(), false, parsed));
  EXPECT_EQ(parsed.Name, std::string(13, 'N'));
}

TEST(ArcList, DirectoryEntriesHoldTheirFiles) {
  TempDir dir;
  const std::string inner = ArcEntry({"IN.TXT", "inner data"}) + kEnd;
  Bytes d;
  d.U8(0x1A).U8(30).Field("SUB", 13).U32(static_cast<UInt32>(inner.size())).U16(DosDate(2001, 2, 3));
  d.U16(0).U16(0).U32(static_cast<UInt32>(inner.size()));
  const std::string first = ArcEntry({"A.TXT", "aaaa"});
  const auto path = (dir / "d.arc").string();
  WriteFile(path, first + d.str() + inner + ArcEntry({"Z.TXT", "zzz"}) + kEnd);

  const auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.Names(), (std::vector<std::string>{"A.TXT", "IN.TXT"}));
  EXPECT_EQ(r.numFiles, 2);
  // lsar names the inner file with its folder; the files and sizes agree.
  const auto lsar = LsarList(path);
  std::vector<std::string> lsarFiles;
  for (const auto& e : lsar)
    if (!e.directory) lsarFiles.push_back(e.name.substr(e.name.find_last_of('/') + 1));
  EXPECT_EQ(lsarFiles, r.Names());
  ASSERT_EQ(lsar.back().size, r.entries.back().unpacked);

  const auto shown = ListArchive(path, {.showDirs = true});
  ASSERT_EQ(shown.entries.size(), 3u);
  const auto& sub = shown.entries[1];
  EXPECT_EQ(sub.name, "SUB/");
  EXPECT_EQ(sub.methodText, "<Dir>");
  EXPECT_EQ(sub.methodNumber, 30);
  EXPECT_EQ(sub.attr, 0x10u);
  EXPECT_EQ(sub.packed, 0);
  EXPECT_EQ(sub.unpacked, 0);
  EXPECT_EQ(sub.offset, static_cast<Int64>(first.size()));
  EXPECT_EQ(sub.filenum, 1);  // the files before it; a folder is not counted
  EXPECT_EQ(shown.entries[2].offset, static_cast<Int64>(first.size() + 29));
  EXPECT_EQ(shown.numFiles, 2);
}

TEST(PakList, OwnMethodsAndDirectories) {
  TempDir dir;
  const std::vector<ArcFile> files = {
      {"CR.TXT", vsktest::RandomBytes(40, 5), 10, 100},
      {"S.TXT", "plain"},
      {"D.BIN", vsktest::RandomBytes(30, 6), 11, 50},
  };
  const auto path = (dir / "t.pak").string();
  WriteFile(path, ArcArchive(files));
  const auto r = ListArchive(path);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, atPak);
  ASSERT_EQ(r.entries.size(), 3u);
  ExpectToolsAgree(path, r);
  EXPECT_EQ(r.entries[0].methodText, "Crushed");
  EXPECT_EQ(r.entries[1].methodText, "Stored");
  EXPECT_EQ(r.entries[2].methodText, "Distill");
  for (const auto& e : r.entries) EXPECT_EQ(e.attr, 0x20u);

  // A PAK directory entry keeps its sizes, so the walk passes over its data.
  const std::string skipped = ArcEntry({"HIDDEN.TXT", "skipped"});
  Bytes d;
  d.U8(0x1A).U8(30).Field("SUB", 13).U32(static_cast<UInt32>(skipped.size())).U16(0).U16(0).U16(0);
  d.U32(static_cast<UInt32>(skipped.size()));
  WriteFile(path, ArcEntry(files[0]) + d.str() + skipped + ArcEntry({"AFTER.TXT", "after"}) + kEnd);
  EXPECT_EQ(ListArchive(path).Names(), (std::vector<std::string>{"CR.TXT", "AFTER.TXT"}));
  const auto shown = ListArchive(path, {.showDirs = true});
  ASSERT_EQ(shown.entries.size(), 3u);
  EXPECT_EQ(shown.entries[1].name, "SUB");
  EXPECT_EQ(shown.entries[1].attr, 0x20u);
  EXPECT_EQ(shown.entries[1].packed, static_cast<Int64>(skipped.size()));
  EXPECT_EQ(shown.numFiles, 2);
}

TEST(ArcList, HostileHeaders) {
  TempDir dir;
  const auto path = (dir / "h.arc").string();
  const std::vector<ArcFile> files = {
      {"ONE.TXT", vsktest::TextBytes(300, 1)}, {"TWO.TXT", "two"}, {"OLD.TXT", "old one", 1}, {"FOUR.TXT", "4444"}};
  const std::string good = ArcArchive(files);
  const std::vector<std::string> all = {"ONE.TXT", "TWO.TXT", "OLD.TXT", "FOUR.TXT"};

  // Cut anywhere: what is listed is a leading part of the entries, and an
  // entry is listed only when its whole header lies before the end.
  vsktest::ExpectCutsListALeadingPart(path, good, all, 20);

  // A header whose fixed part ends exactly at the end of the file is not read.
  WriteFile(path, ArcEntry({"ONLY.TXT", ""}));
  auto r = ListArchive(path);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.entries.empty());

  // A packed size past the end: the entry is listed, the walk ends there.
  std::string huge = good;
  for (int i = 0; i < 4; ++i) huge[15 + i] = '\xFF';
  WriteFile(path, huge);
  r = ListArchive(path);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].packed, 0xFFFFFFFFll);

  // Random damage never crashes, overruns or loops.
  vsktest::ListDamagedCopies(path, good, 11);
}

}  // namespace
}  // namespace vsk
