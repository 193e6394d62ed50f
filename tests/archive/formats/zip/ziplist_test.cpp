// The lister against ZIP archives written by other archivers.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "archive/formats/lister/vorsk.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::DateText;
using vsktest::ListArchive;
using vsktest::ListResult;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

// `unzip -v` rows: Length Method Size Cmpr Date Time CRC-32 Name.
struct UnzipRow {
  Int64 length, size;
  std::string method;
  UInt32 crc;
  std::string date, time;
};
std::map<std::string, UnzipRow> UnzipVerbose(const std::string& archive) {
  const auto out = RunTool("unzip -v " + ShellQuote(archive));
  std::map<std::string, UnzipRow> rows;
  std::istringstream in(out.output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    UnzipRow row;
    std::string cmpr, crc, name;
    if (!(ls >> row.length >> row.method >> row.size >> cmpr >> row.date >> row.time >> crc)) continue;
    if (crc.size() != 8 || cmpr.back() != '%') continue;
    std::getline(ls, name);
    name.erase(0, name.find_first_not_of(' '));
    row.crc = static_cast<UInt32>(std::stoul(crc, nullptr, 16));
    rows[name] = row;
  }
  return rows;
}

void MakeTree(const TempDir& dir) {
  WriteFile(dir / "src/readme.txt", vsktest::TextBytes(5000, 1));
  WriteFile(dir / "src/data.bin", vsktest::RandomBytes(3000, 2));
  WriteFile(dir / "src/sub/notes.txt", vsktest::TextBytes(20000, 3));
  WriteFile(dir / "src/empty.txt", "");
  std::filesystem::create_directories(dir / "src/emptydir");
  // On an even second: a time stored with the next even second (the DOS
  // form) is a minute after the file's own at :59, which is what unzip
  // lists from the extended time field.
  ASSERT_EQ(RunTool("find src -exec touch -d '2024-03-05 10:20:30' {} +", dir.path()).exitCode, 0);
}

// Compares our listing with what unzip reports for every file entry.
void ExpectAgreesWithUnzip(const std::string& archive, const ListResult& r, bool encrypted = false) {
  ASSERT_TRUE(r.ok);
  const auto rows = UnzipVerbose(archive);
  ASSERT_FALSE(rows.empty());
  int files = 0;
  for (const auto& [name, row] : rows) {
    if (name.back() == '/') continue;
    ++files;
    const auto* e = r.Find(name);
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(e->unpacked, row.length) << name;
    EXPECT_EQ(e->packed, row.size) << name;  // both leave out the 12-byte cipher header
    EXPECT_EQ(e->crc, row.crc) << name;
    EXPECT_EQ(e->encrypted, encrypted) << name;
    EXPECT_EQ(e->methodText == "Stored", row.method == "Stored") << name << " " << e->methodText;
    EXPECT_EQ(DateText(e->date).substr(0, 16), row.date + " " + row.time) << name;
  }
  EXPECT_EQ(r.numFiles, files);
  EXPECT_EQ(static_cast<int>(r.entries.size()), files);
}

TEST(ZipList, ArchivesOfZip30) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip"));
  TempDir dir;
  MakeTree(dir);
  const auto deflated = (dir / "d.zip").string(), stored = (dir / "s.zip").string(),
             enc = (dir / "e.zip").string();
  ASSERT_EQ(RunTool("zip -q -r " + ShellQuote(deflated) + " src", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("zip -q -0 -r " + ShellQuote(stored) + " src", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("zip -q -r -P secret " + ShellQuote(enc) + " src", dir.path()).exitCode, 0);

  const auto d = ListArchive(deflated);
  ExpectAgreesWithUnzip(deflated, d);
  EXPECT_TRUE(d.errors.empty());
  // Every header name is seen, folders too; only files are reported.
  EXPECT_EQ(d.readFile.size(), 7u);
  bool sawDeflate = false;
  for (auto& e : d.entries) sawDeflate |= e.methodText == "DeflateN";
  EXPECT_TRUE(sawDeflate);
  double unpacked = 0;
  for (auto& e : d.entries) unpacked += static_cast<double>(e.unpacked);
  EXPECT_EQ(d.unpackTotal, unpacked);
  EXPECT_EQ(d.entries.back().filenum, d.numFiles);

  const auto s = ListArchive(stored);
  ExpectAgreesWithUnzip(stored, s);
  for (auto& e : s.entries) EXPECT_EQ(e.methodText, "Stored");

  ExpectAgreesWithUnzip(enc, ListArchive(enc), true);

  // Folders are reported with ShowEmptyDirs, without being counted.
  const auto dirs = ListArchive(deflated, {.showDirs = true});
  EXPECT_EQ(dirs.numFiles, d.numFiles);
  EXPECT_EQ(dirs.entries.size(), d.entries.size() + 3);

  // Masks: without RecurseDirs semantics of the folder test the lister
  // selects with RecurseDirs, so *.txt finds files in every folder.
  const auto txt = ListArchive(deflated, {.spec = {"*.txt"}});
  EXPECT_EQ(txt.numFiles, 3);
  const auto none = ListArchive(deflated, {.spec = {}});
  EXPECT_EQ(none.numFiles, 0);
  EXPECT_EQ(none.readFile.size(), 7u);
}

TEST(ZipList, ArchivesOf7zAndBsdtar) {
  ASSERT_TRUE(vsktest::HaveTool("7z") && vsktest::HaveTool("bsdtar"));
  TempDir dir;
  MakeTree(dir);
  const auto z7 = (dir / "7.zip").string(), bsd = (dir / "b.zip").string();
  ASSERT_EQ(RunTool("7z a -tzip -bd " + ShellQuote(z7) + " src >/dev/null", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("bsdtar --format zip -cf " + ShellQuote(bsd) + " src", dir.path()).exitCode, 0);
  ExpectAgreesWithUnzip(z7, ListArchive(z7));
  // bsdtar writes data descriptors and folders without the folder attribute.
  const auto b = ListArchive(bsd);
  ExpectAgreesWithUnzip(bsd, b);
  const auto withDirs = ListArchive(bsd, {.showDirs = true});
  EXPECT_EQ(withDirs.entries.size(), b.entries.size() + 3);
}

TEST(ZipList, CommentsAndOffsets) {
  TempDir dir;
  MakeTree(dir);
  const auto arc = (dir / "c.zip").string();
  ASSERT_EQ(RunTool("zip -q " + ShellQuote(arc) + " src/readme.txt src/data.bin", dir.path()).exitCode, 0);
  // zipnote takes "@ name" lines followed by the comment.
  WriteFile(dir / "notes", "@ src/readme.txt\nthe readme\n@ src/data.bin\n@ (zip file comment below this line)\n");
  ASSERT_EQ(RunTool("zipnote -w " + ShellQuote(arc) + " < notes", dir.path()).exitCode, 0);
  const auto r = ListArchive(arc);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].comment, "the readme");
  EXPECT_EQ(r.entries[1].comment, "");
  EXPECT_EQ(r.entries[0].offset, 0);
  EXPECT_GT(r.entries[1].offset, 30);
}

TEST(ZipList, WithoutDirectoryTheLocalHeadersAreWalked) {
  TempDir dir;
  MakeTree(dir);
  const auto arc = (dir / "t.zip").string();
  ASSERT_EQ(RunTool("zip -q -r " + ShellQuote(arc) + " src", dir.path()).exitCode, 0);
  // Cut the central directory off.
  const auto rows = UnzipVerbose(arc);
  std::string data = vsktest::ReadFile(arc);
  const auto cd = data.rfind(std::string("PK\x01\x02", 4), data.rfind(std::string("PK\x05\x06", 4)));
  auto first = data.find(std::string("PK\x01\x02", 4));
  ASSERT_NE(cd, std::string::npos);
  data.resize(first);
  const auto cut = (dir / "cut.zip").string();
  WriteFile(cut, data);
  const auto r = ListArchive(cut);
  ASSERT_TRUE(r.ok);
  ASSERT_FALSE(r.errors.empty());
  EXPECT_EQ(r.errors[0].code, 25270);  // OnCorruptZipHeader not assigned
  // Local walking counts folder entries too (no directory test).
  EXPECT_EQ(r.numFiles, static_cast<int>(rows.size()));
  for (auto& e : r.entries) {
    if (e.name.back() == '/') continue;
    EXPECT_EQ(e.crc, rows.at(e.name).crc);
  }

  // A handler that keeps Cancel ends the walk with nothing listed.
  TVorsk v;
  int corrupt = 0;
  v.OnCorruptZipHeader = [&](TZipCommon&, Byte flags, bool& cancel) {
    ++corrupt;
    EXPECT_EQ(flags & 0x06, 0);
    EXPECT_TRUE(cancel);
  };
  const auto kept = ListArchive(v, cut);
  EXPECT_TRUE(kept.ok);
  EXPECT_EQ(corrupt, 1);
  EXPECT_TRUE(kept.entries.empty());
}

TEST(ZipList, RunRulesAndFailures) {
  TempDir dir;
  MakeTree(dir);
  const auto arc = (dir / "r.zip").string();
  ASSERT_EQ(RunTool("zip -q -r " + ShellQuote(arc) + " src", dir.path()).exitCode, 0);

  // Missing OnRead and a missing file are errors and return false.
  TVorsk v;
  std::vector<int> errors;
  v.OnError = [&](TZipCommon&, const std::string&, const std::string& x, const std::string&, int c) {
    errors.push_back(c);
    if (c == 25270) {
      EXPECT_EQ(x, "OnRead");
    }
  };
  v.SetArchiveFile(arc);
  int activations = 0;
  v.OnActivate = [&](TZipCommon&) { ++activations; };
  EXPECT_FALSE(v.Activate());
  EXPECT_EQ(errors, std::vector<int>{25270});
  EXPECT_EQ(activations, 0);
  v.SetArchiveFile((dir / "missing.zip").string());
  v.OnRead = [](TZipCommon&, Int64, int) {};
  EXPECT_FALSE(v.Activate());
  EXPECT_EQ(errors.back(), 25192);

  // An exception from OnRead ends the walk; the closing events still come.
  v.SetArchiveFile(arc);
  v.FileSpec = {"*.*"};
  int calls = 0, totals = -1, deactivated = 0;
  v.OnRead = [&](TZipCommon&, Int64, int) {
    if (++calls == 3) throw std::runtime_error("handler failed");
  };
  v.OnTotals = [&](TZipCommon&, double, double, int, int n) { totals = n; };
  v.OnDeactivate = [&](TZipCommon&) { ++deactivated; };
  EXPECT_FALSE(v.Activate());
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(totals, 3);
  EXPECT_EQ(deactivated, 1);

  // A cancel from OnRead stops the reports; the run still succeeds.
  calls = 0;
  v.OnRead = [&](TZipCommon& s, Int64, int) {
    ++calls;
    *s.CancelRef() = true;
  };
  EXPECT_TRUE(v.Activate());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(deactivated, 2);

  // An archive of a type nobody walks is opened and lists nothing.
  WriteFile(dir / "plain.txt", "just some text that is no archive at all");
  v.SetArchiveFile((dir / "plain.txt").string());
  calls = 0;
  EXPECT_TRUE(v.Activate());
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(totals, 0);
}

TEST(ZipList, HostileRecordsNeverLoopOrOverrun) {
  TempDir dir;
  // A central record whose lengths point back at itself, and one past the end.
  std::string cd(46, '\0');
  cd.replace(0, 4, "PK\x01\x02", 4);
  std::string local(30, '\0');
  local.replace(0, 4, "PK\x03\x04", 4);
  std::string data = local + cd;
  std::string end(22, '\0');
  end.replace(0, 4, "PK\x05\x06", 4);
  end[10] = 1;
  end[12] = 46;       // size
  end[16] = 30;       // offset
  data += end;
  WriteFile(dir / "h.zip", data);
  const auto r = ListArchive((dir / "h.zip").string());
  EXPECT_TRUE(r.ok);
  EXPECT_LE(r.entries.size(), 1u);

  // Huge name and comment lengths only read what is there.
  std::string cd2 = cd;
  cd2[28] = '\xFF';
  cd2[29] = '\xFF';
  cd2[32] = '\xFF';
  cd2[33] = '\xFF';
  WriteFile(dir / "h2.zip", local + cd2 + end);
  const auto r2 = ListArchive((dir / "h2.zip").string());
  EXPECT_TRUE(r2.ok);
}

}  // namespace
}  // namespace vsk
