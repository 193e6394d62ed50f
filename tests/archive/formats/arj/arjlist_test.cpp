// The lister against ARJ archives written by arj, volume sets included,
// and against damaged headers.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "base/checksum.h"
#include "archive/formats/arj/arjheader.h"
#include "base/records/ziprecords.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::ListArchive;
using vsktest::ListOptions;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::VolumePolicy;
using vsktest::WriteFile;
namespace fs = std::filesystem;

// One row of `arj v`, summed over the volumes it lists.
struct ArjRow {
  Int64 original = 0, compressed = 0;
  std::string date;  // "YY-MM-DD hh:mm:ss"
  char method = ' ';
  bool garbled = false;
  bool directory = false;
  int parts = 0;
};

std::map<std::string, ArjRow> ArjVerbose(const std::string& archive, const fs::path& cwd) {
  const auto out = RunTool("arj v -y -v " + ShellQuote(archive), cwd);
  std::map<std::string, ArjRow> rows;
  std::istringstream in(out.output);
  std::string line, name;
  std::size_t flagsCol = std::string::npos;
  while (std::getline(in, line)) {
    if (const auto p = line.find("BPMGS"); p != std::string::npos) flagsCol = p;
    if (line.size() > 5 && line.compare(3, 2, ") ") == 0 && std::isdigit(static_cast<unsigned char>(line[0]))) {
      name = line.substr(5);
      continue;
    }
    if (name.empty() || flagsCol == std::string::npos || line.size() < flagsCol + 4) continue;
    std::istringstream ls(line);
    std::string rev, host, ratio, day, time, attr;
    Int64 original = 0, compressed = 0;
    if (!(ls >> rev >> host >> original >> compressed >> ratio >> day >> time >> attr)) continue;
    auto& row = rows[name];
    row.original += original;
    row.compressed += compressed;
    row.date = day + " " + time;
    row.method = line[flagsCol + 2];
    row.garbled = line[flagsCol + 3] != ' ';
    row.directory = attr[0] == 'd';
    ++row.parts;
    name.clear();
  }
  return rows;
}

std::string ArjDate(TDateTime d) { return vsktest::DateText(d).substr(2); }

void MakeTree(const TempDir& dir) {
  WriteFile(dir / "src/readme.txt", vsktest::TextBytes(5000, 1));
  WriteFile(dir / "src/data.bin", vsktest::RandomBytes(70000, 2));
  WriteFile(dir / "src/sub/notes.txt", vsktest::TextBytes(20000, 3));
  WriteFile(dir / "src/empty.txt", "");
  fs::create_directories(dir / "src/emptydir");
}

UInt32 FileCrc(const fs::path& p) {
  const std::string data = ReadFile(p);
  return Crc32Of(data.data(), data.size());
}

void Arj(const std::string& args, const TempDir& dir) {
  const auto r = RunTool("arj a -y " + args, dir.path());
  ASSERT_EQ(r.exitCode, 0) << r.output;
}

// Our listing against `arj v` for every entry, and the CRC-32 against the
// file's own contents.
void ExpectAgreesWithArj(const TempDir& dir, const std::string& archive, const vsktest::ListResult& r,
                         bool garbled = false) {
  ASSERT_TRUE(r.ok);
  const auto rows = ArjVerbose(archive, dir.path());
  ASSERT_FALSE(rows.empty());
  static const char* kMethods[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
  int files = 0;
  for (const auto& [name, row] : rows) {
    const auto* e = r.Find(name);
    if (row.directory) {
      EXPECT_EQ(e, nullptr) << name;
      continue;
    }
    ++files;
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(e->unpacked, row.original) << name;
    EXPECT_EQ(e->packed, row.compressed) << name;
    EXPECT_EQ(ArjDate(e->date), row.date) << name;
    ASSERT_TRUE(row.method >= '0' && row.method <= '4') << name;
    EXPECT_EQ(e->methodNumber, row.method - '0') << name;
    EXPECT_EQ(e->methodText, kMethods[row.method - '0']) << name;
    EXPECT_EQ(e->encrypted, garbled) << name;
    EXPECT_EQ(row.garbled, garbled) << name;
    if (row.parts == 1) {
      EXPECT_EQ(e->crc, FileCrc(dir / name)) << name;
    }
  }
  EXPECT_EQ(r.numFiles, files);
  EXPECT_EQ(static_cast<int>(r.entries.size()), files);
}

TEST(ArjList, EveryMethodAgreesWithArj) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  MakeTree(dir);
  for (int m = 0; m <= 4; ++m) {
    SCOPED_TRACE(m);
    const std::string arc = (dir / ("m" + std::to_string(m) + ".arj")).string();
    Arj("-m" + std::to_string(m) + " -r " + ShellQuote(arc) + " src", dir);
    const auto r = ListArchive(arc);
    ExpectAgreesWithArj(dir, arc, r);
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.entries.size(), 4u);
    double packed = 0, unpacked = 0;
    for (std::size_t i = 0; i < r.entries.size(); ++i) {
      const auto& e = r.entries[i];
      packed += static_cast<double>(e.packed);
      unpacked += static_cast<double>(e.unpacked);
      EXPECT_EQ(e.filenum, static_cast<int>(i) + 1);
      EXPECT_EQ(e.volume, arc);
      EXPECT_EQ(e.attr, e.internalAttr);
      EXPECT_GE(e.madeBy, e.needed);
      EXPECT_GT(e.needed, 0);
    }
    EXPECT_EQ(r.packTotal, packed);
    EXPECT_EQ(r.unpackTotal, unpacked);
    // The first entry's header follows the main header.
    EXPECT_GT(r.entries[0].offset, 30);
    if (m == 0) {
      for (const auto& e : r.entries) EXPECT_EQ(e.packed, e.unpacked);
    }
  }
}

TEST(ArjList, FoldersMasksAndGarbledEntries) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  MakeTree(dir);
  const std::string arc = (dir / "d.arj").string();
  // -a1 stores the folders as entries of their own.
  Arj("-a1 -r " + ShellQuote(arc) + " src", dir);
  const auto plain = ListArchive(arc);
  ExpectAgreesWithArj(dir, arc, plain);
  EXPECT_EQ(plain.readFile.size(), 6u);

  ListOptions withDirs;
  withDirs.showDirs = true;
  const auto dirs = ListArchive(arc, withDirs);
  EXPECT_EQ(dirs.numFiles, 4);
  ASSERT_EQ(dirs.entries.size(), 6u);
  const auto* folder = dirs.Find("src/emptydir");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->methodText, "Stored");
  EXPECT_EQ(folder->packed, 0);
  EXPECT_NE(dirs.Find("src/sub"), nullptr);

  ListOptions txt;
  txt.spec = {"*.txt"};
  const auto t = ListArchive(arc, txt);
  EXPECT_EQ(t.numFiles, 3);
  EXPECT_EQ(t.readFile.size(), 6u);
  EXPECT_EQ(t.unpackTotal, 25000);

  const std::string garbled = (dir / "g.arj").string();
  Arj("-gsecret -r " + ShellQuote(garbled) + " src", dir);
  ExpectAgreesWithArj(dir, garbled, ListArchive(garbled), true);
}

TEST(ArjList, VolumeSetsReportASplitFileOnce) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  MakeTree(dir);
  const std::string arc = (dir / "v.arj").string();
  Arj("-v30K -r " + ShellQuote(arc) + " src", dir);
  ASSERT_TRUE(fs::exists(dir / "v.a01"));
  ASSERT_TRUE(fs::exists(dir / "v.a02"));
  const auto rows = ArjVerbose(arc, dir.path());
  ASSERT_GE(rows.at("src/data.bin").parts, 3);

  TVorsk v;
  const auto r = ListArchive(v, arc);
  ExpectAgreesWithArj(dir, arc, r);
  EXPECT_TRUE(r.errors.empty());
  const auto* split = r.Find("src/data.bin");
  ASSERT_NE(split, nullptr);
  EXPECT_EQ(split->unpacked, 70000);
  EXPECT_EQ(r.numFiles, 4);
  ASSERT_GE(r.volumesAsked.size(), 2u);
  EXPECT_EQ(r.volumesAsked[0].name, (dir / "v.a01").string());
  EXPECT_EQ(r.volumesAsked[1].name, (dir / "v.a02").string());
  // Reported from the volume that holds its last part; what follows it
  // comes from the later volumes.
  EXPECT_NE(split->volume, arc);
  EXPECT_EQ(split->volume, r.volumesAsked.back().name);
  EXPECT_EQ(r.entries.front().volume, arc);
  double packed = 0;
  for (const auto& e : r.entries) packed += static_cast<double>(e.packed);
  EXPECT_EQ(r.packTotal, packed);
  EXPECT_EQ(r.unpackTotal, 95000);

  // A second run starts the chain from the archive's own name again, and
  // the volume's extension case does not matter.
  fs::rename(dir / "v.a01", dir / "v.A01");
  const auto again = ListArchive(v, arc);
  ASSERT_NE(again.Find("src/data.bin"), nullptr);
  EXPECT_EQ(again.Find("src/data.bin")->packed, split->packed);
  EXPECT_EQ(again.volumesAsked.size(), r.volumesAsked.size());
  EXPECT_EQ(again.volumesAsked[0].name, (dir / "v.A01").string());
  fs::rename(dir / "v.A01", dir / "v.a01");

  // Declining the next volume ends the walk before the split file.
  ListOptions decline;
  decline.volumes = VolumePolicy::Decline;
  const auto d = ListArchive(arc, decline);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.Find("src/data.bin"), nullptr);
  EXPECT_EQ(d.numFiles, static_cast<int>(d.entries.size()));
  EXPECT_LT(d.numFiles, 4);
  ASSERT_FALSE(d.errors.empty());
  EXPECT_EQ(d.errors.back().code, 25443);

  // Without the event the chain cannot be followed either.
  ListOptions none;
  none.volumes = VolumePolicy::Unassigned;
  const auto n = ListArchive(arc, none);
  EXPECT_EQ(n.Find("src/data.bin"), nullptr);
  ASSERT_FALSE(n.errors.empty());
  EXPECT_EQ(n.errors[0].code, 25270);
  EXPECT_EQ(n.errors[0].text, "OnNextVolume");

  // Listing a later volume on its own skips the tail of the file begun
  // before it when the volume says it belongs to a set.
  const auto middle = ListArchive((dir / "v.a01").string());
  EXPECT_TRUE(middle.ok);
  for (const auto& e : middle.entries) EXPECT_NE(e.name, "src/data.bin");
}

// An archive from arj's own headers: the main header, one stored file and
// the end marker.
struct ArjBytes {
  std::string main, file, data, end;
  std::string All() const { return main + file + data + end; }
};

ArjBytes StoredArchive(const TempDir& dir) {
  WriteFile(dir / "one.txt", "just one stored file\n");
  const std::string arc = (dir / "one.arj").string();
  Arj("-m0 " + ShellQuote(arc) + " one.txt", dir);
  const std::string bytes = ReadFile(arc);
  ArjBytes a;
  auto headerSize = [&](std::size_t at) { return 4 + GetLE16(reinterpret_cast<const Byte*>(bytes.data()) + at + 2) + 6; };
  const std::size_t mainSize = headerSize(0);
  const std::size_t fileSize = headerSize(mainSize);
  a.main = bytes.substr(0, mainSize);
  a.file = bytes.substr(mainSize, fileSize);
  a.data = bytes.substr(mainSize + fileSize, 21);
  a.end = bytes.substr(mainSize + fileSize + 21);
  EXPECT_EQ(a.end, std::string("\x60\xEA\x00\x00", 4));
  return a;
}

TEST(ArjList, DamagedHeadersEndTheWalkSafely) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  const ArjBytes a = StoredArchive(dir);
  const auto path = (dir / "h.arj").string();
  auto list = [&](const std::string& bytes) { return vsktest::ListArchiveBytes(path, bytes); };

  const auto whole = list(a.All());
  ASSERT_EQ(whole.entries.size(), 1u);
  EXPECT_EQ(whole.entries[0].name, "one.txt");
  EXPECT_EQ(whole.entries[0].packed, 21);
  EXPECT_EQ(whole.entries[0].crc, Crc32Of("just one stored file\n", 21));

  // Behind a self-extractor's program the walk starts where the archive does.
  const auto fromExe = vsktest::ListArchiveBytes((dir / "one.exe").string(), vsktest::SfxStub(20000) + a.All());
  ASSERT_EQ(fromExe.type, atArjExe);
  ASSERT_EQ(fromExe.entries.size(), 1u);
  EXPECT_EQ(fromExe.entries[0].offset, static_cast<Int64>(20000 + a.main.size()));
  EXPECT_EQ(fromExe.entries[0].crc, whole.entries[0].crc);

  // arj here stores Unix time stamps; an archive from a DOS host has DOS ones.
  std::string dos = a.file;
  dos[7] = 0;
  PutLE32(reinterpret_cast<Byte*>(dos.data()) + 12, 0x5A8C6000);
  const auto dosDate = list(a.main + dos + a.data + a.end);
  ASSERT_EQ(dosDate.entries.size(), 1u);
  EXPECT_EQ(vsktest::DateText(dosDate.entries[0].date), "2025-04-12 12:00:00");

  // Only the main header: nothing is listed.
  const auto onlyMain = list(a.main + a.end + std::string(16, '\0'));
  EXPECT_TRUE(onlyMain.ok);
  EXPECT_TRUE(onlyMain.entries.empty());
  EXPECT_TRUE(onlyMain.errors.empty());
  EXPECT_EQ(onlyMain.numFiles, 0);

  // A basic header above 2600 bytes is damaged, even when the bytes are there.
  std::string big = a.file;
  const UInt16 bigSize = 2601;
  big[2] = static_cast<char>(bigSize & 0xFF);
  big[3] = static_cast<char>(bigSize >> 8);
  big += std::string(3000, 'x');
  const auto tooBig = list(a.main + big + a.end);
  EXPECT_TRUE(tooBig.ok);
  EXPECT_TRUE(tooBig.entries.empty());
  EXPECT_TRUE(tooBig.readFile.empty());

  // A damaged main header is reported.
  std::string badMain = a.All();
  badMain[4] = 5;  // first header size below the fixed fields
  const auto bad = list(badMain);
  ASSERT_EQ(bad.type, atArj);
  EXPECT_TRUE(bad.ok);
  EXPECT_TRUE(bad.entries.empty());
  ASSERT_EQ(bad.errors.size(), 1u);
  EXPECT_EQ(bad.errors[0].code, 25110);

  // An extended header is passed over; one that runs past the end stops the walk.
  std::string ext = a.file;
  ext[ext.size() - 2] = 3;
  const std::string extBlock = std::string("abc") + std::string(4, '\0') + std::string(2, '\0');
  const auto withExt = list(a.main + ext + extBlock + a.data + a.end);
  ASSERT_EQ(withExt.entries.size(), 1u);
  EXPECT_EQ(withExt.entries[0].packed, 21);
  std::string hugeExt = a.file;
  hugeExt[hugeExt.size() - 2] = '\xFF';
  hugeExt[hugeExt.size() - 1] = '\xFF';
  EXPECT_TRUE(list(a.main + hugeExt + a.data + a.end).entries.empty());

  // A name without its NUL ends with the basic header.
  std::string noNul = a.file;
  const std::size_t basic = 4 + GetLE16(reinterpret_cast<const Byte*>(noNul.data()) + 2);
  for (std::size_t i = 4 + static_cast<Byte>(noNul[4]); i < basic; ++i)
    if (noNul[i] == '\0') noNul[i] = 'n';
  const auto nameOnly = list(a.main + noNul + a.data + a.end);
  ASSERT_EQ(nameOnly.readFile.size(), 1u);
  EXPECT_EQ(nameOnly.readFile[0].rfind("one.txt", 0), 0u);

  // Huge packed sizes and every truncation: no crash, no overrun, no loop.
  std::string huge = a.All();
  const std::size_t packedAt = a.main.size() + 4 + 12;
  for (int i = 0; i < 4; ++i) huge[packedAt + i] = '\xFF';
  EXPECT_TRUE(list(huge).ok);
  const std::string all = a.All();
  for (std::size_t cut = 1; cut < all.size(); ++cut) EXPECT_TRUE(list(all.substr(0, cut)).ok) << cut;
}

}  // namespace
}  // namespace vsk
