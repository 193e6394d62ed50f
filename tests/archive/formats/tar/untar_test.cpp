// Extracting and testing tar archives written by GNU tar and bsdtar, and
// hand-built ones with hostile names, links, odd fields and damage.

#include "archive/formats/tar/untar.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "tests/support/readerrun.h"
#include "tests/support/tarbuild.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Aim;
using vsktest::kTarEnd;
using vsktest::PaxRecord;
using vsktest::ReadFile;
using vsktest::Record;
using vsktest::RunInto;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TarEntry;
using vsktest::TarHeader;
using vsktest::TarPadded;
using vsktest::TempDir;
using vsktest::WriteFile;

struct RunLog : vsktest::RunLog {
  int lastArchivePercent = -1;
};

void Attach(TUnTar& t, RunLog& r) {
  Record(t, r);
  t.OnProgress = [&r](TZipCommon&, Byte, Byte byArchive) { r.lastArchivePercent = byArchive; };
}

RunLog UnTarRun(const fs::path& archive, const fs::path& dest, bool test = false,
           std::vector<std::string> spec = {"*.*"}) {
  TUnTar t;
  RunLog r;
  Attach(t, r);
  Aim(t, archive, dest, std::move(spec));
  t.CreateStoredDirs = true;
  RunInto(t, r, test);
  return r;
}

// Every regular file under `from` is under `to` with the same bytes and the
// same modification time to the second; every folder exists there.
int ExpectSameTree(const fs::path& from, const fs::path& to) {
  int files = 0;
  for (auto& e : fs::recursive_directory_iterator(from)) {
    const auto rel = fs::relative(e.path(), from);
    if (e.is_symlink()) continue;
    if (e.is_directory()) {
      EXPECT_TRUE(fs::is_directory(to / rel)) << rel;
      continue;
    }
    ++files;
    if (!fs::exists(to / rel)) {
      ADD_FAILURE() << "missing " << rel;
      continue;
    }
    EXPECT_TRUE(ReadFile(e.path()) == ReadFile(to / rel)) << rel;
    struct stat a, b;
    EXPECT_TRUE(stat(e.path().c_str(), &a) == 0 && stat((to / rel).c_str(), &b) == 0 && a.st_mtime == b.st_mtime)
        << rel;
  }
  return files;
}

// Long enough to need a GNU long name or a pax path (over 255 bytes), and
// one that fits the ustar prefix and name fields.
const std::string kDeepFolder = "src/" + std::string(90, 'd') + "/" + std::string(80, 'e');
const std::string kDeepFile = kDeepFolder + "/" + std::string(95, 'f') + ".txt";
const std::string kPrefixFile = "src/" + std::string(90, 'p') + "/" + std::string(90, 'q') + ".txt";

// A tree of the sizes that matter to tar's 512-byte blocks; returns the
// number of files.
int MakeTree(const fs::path& root, bool longNames, bool prefixNames) {
  WriteFile(root / "src/readme.txt", vsktest::TextBytes(5000, 1));
  WriteFile(root / "src/one.bin", "x");
  WriteFile(root / "src/block.bin", vsktest::RandomBytes(512, 2));
  WriteFile(root / "src/block1.bin", vsktest::RandomBytes(513, 3));
  WriteFile(root / "src/big.bin", vsktest::RandomBytes(300000, 4));
  WriteFile(root / "src/empty.txt", "");
  WriteFile(root / "src/sub/deeper/notes.txt", vsktest::TextBytes(20000, 5));
  fs::create_directories(root / "src/emptydir");
  int n = 7;
  if (longNames) {
    WriteFile(root / kDeepFile, vsktest::TextBytes(777, 6));
    ++n;
  }
  if (prefixNames) {
    WriteFile(root / kPrefixFile, vsktest::TextBytes(1500, 7));
    ++n;
  }
  // Odd seconds: a DOS date-time could not hold them.
  EXPECT_EQ(RunTool("find src -exec touch -h -d '2021-05-06 07:08:09' {} +", root).exitCode, 0);
  EXPECT_EQ(RunTool("touch -d '1965-03-04 05:06:07' src/one.bin", root).exitCode, 0);
  return n;
}
const char* const kPositiveTime = "touch -d '2020-02-03 04:05:07' src/one.bin";

void ExpectGoodArchive(const TempDir& dir, const std::string& name, int files) {
  SCOPED_TRACE(name);
  const auto out = dir / ("out-" + name);
  const auto r = UnTarRun(dir / name, out);
  EXPECT_EQ(r.result, files);
  for (const auto& e : r.reports) ADD_FAILURE() << e.code << " " << e.file << " " << e.extended;
  EXPECT_EQ(static_cast<int>(r.verdicts.size()), files);
  EXPECT_TRUE(r.AllPass());
  EXPECT_EQ(r.lastArchivePercent, 100);
  EXPECT_EQ(ExpectSameTree(dir / "src", out / "src"), files);

  const auto t = UnTarRun(dir / name, dir / "never", true);
  EXPECT_EQ(t.result, files);
  EXPECT_TRUE(t.errors.empty());
  EXPECT_EQ(static_cast<int>(t.verdicts.size()), files);
  EXPECT_TRUE(t.AllPass());
  EXPECT_FALSE(fs::exists(dir / "never"));
}

TEST(UnTar, ArchivesOfGnuTar) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  TempDir dir;
  const int all = MakeTree(dir.path(), true, true);
  for (const std::string format : {"gnu", "oldgnu", "posix"}) {
    const std::string name = format + ".tar";
    ASSERT_EQ(RunTool("tar --format=" + format + " -cf " + name + " src", dir.path()).exitCode, 0);
    ExpectGoodArchive(dir, name, all);
  }
  // ustar holds the long names through its prefix field only, and no time
  // before 1970.
  fs::remove_all(dir / "src" / std::string(90, 'd'));
  ASSERT_EQ(RunTool(kPositiveTime, dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("tar --format=ustar -cf ustar.tar src", dir.path()).exitCode, 0);
  ExpectGoodArchive(dir, "ustar.tar", all - 1);
  // v7 knows no folder type: folders are names ending in "/".
  fs::remove_all(dir / "src" / std::string(90, 'p'));
  ASSERT_EQ(RunTool("touch -h -d '2021-05-06 07:08:09' src", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("tar --format=v7 -cf v7.tar src", dir.path()).exitCode, 0);
  ExpectGoodArchive(dir, "v7.tar", all - 2);
  EXPECT_TRUE(fs::is_directory(dir / "out-v7.tar/src/emptydir"));
}

TEST(UnTar, ArchivesOfBsdtar) {
  ASSERT_TRUE(vsktest::HaveTool("bsdtar"));
  TempDir dir;
  const int all = MakeTree(dir.path(), true, true);
  for (const std::string format : {"pax", "paxr", "gnutar"}) {
    const std::string name = "bsd-" + format + ".tar";
    const std::string opt = format == "paxr" ? "" : "--format " + format + " ";
    // Its GNU form keeps no time before 1970.
    if (format == "gnutar") {
      ASSERT_EQ(RunTool(kPositiveTime, dir.path()).exitCode, 0);
    }
    ASSERT_EQ(RunTool("bsdtar " + opt + "-cf " + name + " src", dir.path()).exitCode, 0);
    ExpectGoodArchive(dir, name, all);
  }
  fs::remove_all(dir / "src" / std::string(90, 'd'));
  ASSERT_EQ(RunTool("bsdtar --format ustar -cf bsd-ustar.tar src", dir.path()).exitCode, 0);
  ExpectGoodArchive(dir, "bsd-ustar.tar", all - 1);
}

TEST(UnTar, PaxNamesTimesAndDotEntries) {
  TempDir dir;
  const std::string uni = "src/ünïcode ✓ ñame.txt";
  WriteFile(dir / uni, vsktest::TextBytes(3000, 8));
  WriteFile(dir / "src/a.txt", "a");
  ASSERT_EQ(RunTool("touch -d '2038-01-19 03:14:09' " + ShellQuote(uni) + " && touch -d '2001-02-03 04:05:07' src/a.txt",
                    dir.path())
                .exitCode,
            0);
  ASSERT_EQ(RunTool("touch -d '2022-01-01 00:00:01' src", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("tar --format=pax -cf pax.tar src && tar --format=gnu -C src -cf dot.tar .", dir.path()).exitCode, 0);
  ExpectGoodArchive(dir, "pax.tar", 2);
  // "./" names the destination itself: no error for it.
  const auto r = UnTarRun(dir / "dot.tar", dir / "dot");
  EXPECT_EQ(r.result, 2);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(ExpectSameTree(dir / "src", dir / "dot"), 2);
}

// Everything that exists below `root`, as relative paths.
std::vector<std::string> Contents(const fs::path& root) {
  std::vector<std::string> v;
  for (auto& e : fs::recursive_directory_iterator(root)) v.push_back(fs::relative(e.path(), root).string());
  std::sort(v.begin(), v.end());
  return v;
}

TEST(UnTar, HostileNamesAndLinksStayInside) {
  TempDir dir;
  const auto box = dir / "box";
  const auto out = box / "out";
  fs::create_directories(box);
  std::string arc = TarEntry("../escape.txt", "up") + TarEntry("a/../../escape2.txt", "up2") +
                    TarEntry("/abs/file.txt", "abs") + TarEntry("./ok.txt", "ok");
  // A link out, then files through it; a hard link to a file outside;
  // devices; a link to an earlier entry comes out as a copy of it.
  arc += TarHeader("evil", '2', 0).Link("/tmp").Bytes() + TarEntry("evil/planted.txt", "through the link");
  arc += TarHeader("up", '2', 0).Link("..").Bytes() + TarEntry("up/planted2.txt", "through the link");
  arc += TarHeader("passwd", '1', 0).Link("/etc/passwd").Bytes();
  arc += TarHeader("chr", '3', 0).Bytes() + TarHeader("fifo", '6', 0).Bytes();
  arc += TarHeader("copy.txt", '1', 0).Link("./ok.txt").Bytes();
  WriteFile(box / "h.tar", arc + kTarEnd);

  const auto r = UnTarRun(box / "h.tar", out);
  EXPECT_EQ(Contents(box), (std::vector<std::string>{"h.tar", "out", "out/abs", "out/abs/file.txt", "out/copy.txt",
                                                        "out/evil", "out/evil/planted.txt", "out/ok.txt", "out/up",
                                                        "out/up/planted2.txt"}));
  EXPECT_FALSE(fs::exists(dir / "escape.txt"));
  EXPECT_FALSE(fs::exists("/tmp/planted.txt"));
  EXPECT_EQ(ReadFile(out / "abs/file.txt"), "abs");
  EXPECT_EQ(ReadFile(out / "copy.txt"), "ok");
  EXPECT_FALSE(fs::is_symlink(out / "evil"));
  struct stat st;
  ASSERT_EQ(stat((out / "copy.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 1u);
  EXPECT_EQ(r.result, 5);
  EXPECT_EQ(r.Count(msg::InvalidFileName), 2);
  EXPECT_EQ(r.Count(25327), 5);
  std::vector<std::string> why;
  for (const auto& e : r.reports)
    if (e.code == 25327) why.push_back(e.extended);
  EXPECT_EQ(why, (std::vector<std::string>{"symbolic link to /tmp", "symbolic link to ..", "hard link to /etc/passwd",
                                           "device or pipe", "device or pipe"}));

  // A link planted in the destination beforehand is not followed.
  const auto out2 = box / "out2";
  fs::create_directories(out2);
  fs::create_directories(box / "elsewhere");
  fs::create_directory_symlink(box / "elsewhere", out2 / "evil");
  const auto r2 = UnTarRun(box / "h.tar", out2);
  EXPECT_TRUE(fs::is_empty(box / "elsewhere"));
  EXPECT_GE(r2.Count(msg::ErrorOpeningFile), 1);
  EXPECT_FALSE(r2.verdicts.at((out2 / "evil/planted.txt").string()));
}

TEST(UnTar, HostileNamesWrittenByGnuTar) {
  TempDir dir;
  WriteFile(dir / "in/x/inner.txt", "inner");
  WriteFile(dir / "outside.txt", "outside");
  ASSERT_EQ(RunTool("tar -cPf ../evil.tar ../outside.txt x/inner.txt " + ShellQuote((dir / "outside.txt").string()),
                    dir / "in")
                .exitCode,
            0);
  const auto r = UnTarRun(dir / "evil.tar", dir / "in/dest");
  EXPECT_EQ(r.Count(msg::InvalidFileName), 1);
  EXPECT_EQ(ReadFile(dir / "in/dest/x/inner.txt"), "inner");
  // The absolute name lands below the destination.
  EXPECT_EQ(ReadFile(dir / "in/dest" / fs::relative(dir / "outside.txt", "/")), "outside");
  EXPECT_EQ(ReadFile(dir / "outside.txt"), "outside");
  EXPECT_EQ(r.result, 2);
}

TEST(UnTar, LinksFromGnuTarAndBsdtar) {
  ASSERT_TRUE(vsktest::HaveTool("bsdtar"));
  TempDir dir;
  WriteFile(dir / "src/data.bin", vsktest::RandomBytes(4000, 9));
  fs::create_hard_link(dir / "src/data.bin", dir / "src/hard.bin");
  fs::create_symlink("data.bin", dir / "src/soft.bin");
  for (const std::string cmd : {"tar --format=gnu -cf l.tar src", "tar --format=pax -cf l.tar src",
                                "bsdtar -cf l.tar src", "bsdtar --format ustar -cf l.tar src"}) {
    SCOPED_TRACE(cmd);
    ASSERT_EQ(RunTool(cmd, dir.path()).exitCode, 0);
    const auto out = dir / "out";
    fs::remove_all(out);
    // A file already where the symbolic link would go is left as it was.
    WriteFile(out / "src/soft.bin", "keep me");
    const auto r = UnTarRun(dir / "l.tar", out);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(ReadFile(out / "src/data.bin"), ReadFile(dir / "src/data.bin"));
    EXPECT_EQ(ReadFile(out / "src/hard.bin"), ReadFile(dir / "src/data.bin"));
    EXPECT_EQ(ReadFile(out / "src/soft.bin"), "keep me");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.reports[0].code, 25327);
    EXPECT_EQ(r.reports[0].extended, "symbolic link to data.bin");
    // The link alone still gets its target's data.
    const auto one = UnTarRun(dir / "l.tar", dir / "one", false, {"src/hard.bin"});
    EXPECT_EQ(one.result, 1);
    EXPECT_EQ(ReadFile(dir / "one/src/hard.bin"), ReadFile(dir / "src/data.bin"));
    fs::remove_all(dir / "one");
    // A test takes every entry, links too.
    const auto t = UnTarRun(dir / "l.tar", dir / "never", true);
    EXPECT_EQ(t.result, 3);
    EXPECT_TRUE(t.errors.empty());
    EXPECT_TRUE(t.AllPass());
  }
}

TEST(UnTar, FieldFormsAndRecords) {
  TempDir dir;
  const std::string name100(100, 'n');
  TarHeader blanks("blanks.txt", '0', 0);
  std::memcpy(blanks.b + 124, "     1750 \0", 11);  // 1000
  TarHeader b256("b256.bin", 0, 0);
  std::memset(b256.b + 124, 0, 12);
  b256.b[124] = static_cast<char>(0x80);
  b256.b[134] = 0x02;
  b256.b[135] = static_cast<char>(0xBC);  // 700
  TarHeader label("MY VOLUME", 'V', 0);
  const std::string pax = PaxRecord("path", "pax/long " + std::string(200, 'x') + ".txt") +
                          PaxRecord("mtime", "1234567891.75") + PaxRecord("size", "600") +
                          PaxRecord("comment", "ignored");
  const std::string longName = "gnu/" + std::string(150, 'L') + "/" + std::string(150, 'M') + ".txt";
  std::string arc = label.Bytes() + TarEntry(name100, "hundred");
  arc += blanks.Bytes() + TarPadded(std::string(1000, 'b')) + b256.Bytes() + TarPadded(std::string(700, 'c'));
  arc += TarEntry("exact.bin", std::string(1024, 'e')) + TarEntry("zero.bin", "") + TarEntry("olddir/", "", '0');
  arc +=
      TarHeader("g", 'g', 20).Bytes() + TarPadded(PaxRecord("comment", "global")) + TarEntry("PaxHeaders/x", pax, 'x');
  arc += TarHeader("short", '0', 1).Bytes() + TarPadded(std::string(600, 'p'));
  arc += TarEntry("././@LongLink", longName + '\0', 'L') + TarEntry(longName.substr(0, 100), "long");
  // Old writers gave a hard link its target's size without any data.
  arc += TarHeader("again.bin", '1', 1024).Link("exact.bin").Bytes();
  // A pax size on a hard link means data of its own.
  arc += TarEntry("PaxHeaders/h", PaxRecord("size", "3"), 'x') + TarHeader("own.bin", '1', 0).Link("zero.bin").Bytes() +
         TarPadded("own");
  WriteFile(dir / "f.tar", arc + kTarEnd + "garbage after the end blocks");
  const auto out = dir / "out";
  const auto r = UnTarRun(dir / "f.tar", out);
  for (const auto& e : r.reports) ADD_FAILURE() << e.code << " " << e.file << " " << e.extended;
  EXPECT_EQ(r.result, 9);
  EXPECT_TRUE(r.AllPass());
  EXPECT_EQ(ReadFile(out / name100), "hundred");
  EXPECT_EQ(ReadFile(out / "blanks.txt"), std::string(1000, 'b'));
  EXPECT_EQ(ReadFile(out / "b256.bin"), std::string(700, 'c'));
  EXPECT_EQ(ReadFile(out / "exact.bin"), std::string(1024, 'e'));
  EXPECT_EQ(ReadFile(out / "zero.bin"), "");
  EXPECT_TRUE(fs::is_directory(out / "olddir"));
  const auto paxFile = out / ("pax/long " + std::string(200, 'x') + ".txt");
  EXPECT_EQ(ReadFile(paxFile), std::string(600, 'p'));
  struct stat st;
  ASSERT_EQ(stat(paxFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1234567891);
  ASSERT_EQ(stat((out / "exact.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000001);
  EXPECT_EQ(ReadFile(out / longName), "long");
  EXPECT_EQ(ReadFile(out / "again.bin"), std::string(1024, 'e'));
  EXPECT_EQ(ReadFile(out / "own.bin"), "own");
  EXPECT_FALSE(fs::exists(out / "MY VOLUME"));
  // GNU tar reads the same bytes the same way (it stumbles only over the
  // hard link with data of its own, the last entry).
  RunTool("mkdir gt && tar -xf f.tar -C gt", dir.path());
  for (const auto& n : {name100, std::string("blanks.txt"), std::string("b256.bin"), longName})
    EXPECT_EQ(ReadFile(dir / "gt" / n), ReadFile(out / n)) << n;
}

// Time 0 is 1970-01-01, dated as every time before 1980: the file gets it to
// the second (as GNU tar gives it), and the entry's DOS date is the one of
// any other such time, not the date of an unset time.
TEST(UnTar, TimeZeroIsATimeLikeAnyOther) {
  TempDir dir;
  const Int64 y1975 = 157766400;  // 1975-01-01 00:00 UTC
  WriteFile(dir / "t.tar", TarHeader("zero.txt", '0', 4, 0).Bytes() + TarPadded("zero") +
                               TarHeader("old.txt", '0', 3, y1975).Bytes() + TarPadded("old") +
                               TarHeader("new.txt", '0', 3, 1600000001).Bytes() + TarPadded("new") + kTarEnd);
  TUnTar t;
  RunLog r;
  Attach(t, r);
  Aim(t, dir / "t.tar", dir / "out");
  std::map<std::string, UInt32> dos;
  t.OnBegin = [&](TZipCommon&, const std::string& File, int, bool&) {
    dos[fs::path(File).filename().string()] = t.EntryDosDateTime;
  };
  RunInto(t, r, false);
  EXPECT_EQ(r.result, 3) << r.Describe();
  EXPECT_TRUE(r.AllPass());
  EXPECT_EQ(dos.at("zero.txt"), dos.at("old.txt"));
  EXPECT_EQ(dos.at("zero.txt"), 0x00210000u);  // 1980-01-01 00:00:00
  ASSERT_EQ(RunTool("mkdir gt && tar -xf t.tar -C gt", dir.path()).exitCode, 0);
  for (const auto& [name, when] : std::map<std::string, Int64>{{"zero.txt", 0}, {"old.txt", y1975},
                                                               {"new.txt", 1600000001}}) {
    struct stat ours, theirs;
    ASSERT_EQ(stat((dir / "out" / name).c_str(), &ours), 0) << name;
    ASSERT_EQ(stat((dir / "gt" / name).c_str(), &theirs), 0) << name;
    EXPECT_EQ(ours.st_mtime, when) << name;
    EXPECT_EQ(theirs.st_mtime, when) << name;
  }
}

TEST(UnTar, UnreadableSparseEntriesAreRefusedAndTheWalkGoesOn) {
  TempDir dir;
  // An old GNU map that holds none of the 512 bytes stored; a 1.0 map
  // without the real size, in the block of its data.
  TarHeader old("old.sparse", 'S', 512);
  old.b[482] = 1;  // one block of sparse map follows
  std::string more(512, '\0');
  std::string arc = old.Bytes() + more + TarPadded(std::string(512, 's'));
  arc += TarEntry("PaxHeaders/s", PaxRecord("GNU.sparse.major", "1") + PaxRecord("GNU.sparse.minor", "0"), 'x') +
         TarEntry("GNUSparseFile.0/new.sparse", "1\n0\n4\nabcd");
  arc += TarEntry("after.txt", "after");
  WriteFile(dir / "s.tar", arc + kTarEnd);
  const auto r = UnTarRun(dir / "s.tar", dir / "out");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.Count(25327), 2);
  EXPECT_EQ(ReadFile(dir / "out/after.txt"), "after");
  EXPECT_EQ(Contents(dir / "out"), std::vector<std::string>{"after.txt"});
}

// A hole that reaches past the largest file the file system holds: the
// output cannot be written (25136, not a read error), nothing of it stays,
// and the entries after it still come out.
TEST(UnTar, SparseFileBeyondTheFileSystemsLimitIsAWriteFailure) {
  TempDir dir;
  // Base-256 numbers: 20 TiB does not fit the octal fields.
  const auto big = [](char* Field, std::uint64_t Value) {
    Field[0] = static_cast<char>(0x80);
    for (int i = 11; i >= 1; --i, Value >>= 8) Field[i] = static_cast<char>(Value & 0xFF);
  };
  const std::uint64_t size = std::uint64_t{20} << 40;
  TarHeader h("huge.sparse", 'S', 4);
  big(h.b + 386, size - 4);
  std::snprintf(h.b + 398, 12, "%011o", 4u);
  big(h.b + 483, size);
  WriteFile(dir / "s.tar", h.Bytes() + TarPadded("abcd") + TarEntry("after.txt", "after") + kTarEnd);
  const auto r = UnTarRun(dir / "s.tar", dir / "out");
  EXPECT_EQ(r.Count(25136), 1) << r.Describe();
  EXPECT_EQ(r.Count(25236), 0) << r.Describe();
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(Contents(dir / "out"), std::vector<std::string>{"after.txt"});
}

TEST(UnTar, TruncatedAndDamagedArchives) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", vsktest::TextBytes(3000, 10));
  WriteFile(dir / "src/b.bin", vsktest::RandomBytes(5000, 11));
  WriteFile(dir / "src/c.txt", vsktest::TextBytes(700, 12));
  ASSERT_EQ(RunTool("tar --format=gnu -cf t.tar src/a.txt src/b.bin src/c.txt", dir.path()).exitCode, 0);
  const std::string whole = ReadFile(dir / "t.tar");
  // a.txt: header at 0, data 512..3512; b.bin: header at 3584, data to 9096.
  for (const auto& [cut, test] : std::vector<std::pair<std::size_t, bool>>{{6000, false}, {6000, true}, {9000, false}}) {
    SCOPED_TRACE(std::to_string(cut) + (test ? " test" : ""));
    WriteFile(dir / "cut.tar", whole.substr(0, cut));
    const auto out = dir / ("cut" + std::to_string(cut));
    const auto r = UnTarRun(dir / "cut.tar", out, test);
    const std::string b = test ? "src/b.bin" : (out / "src/b.bin").string();
    const std::string a = test ? "src/a.txt" : (out / "src/a.txt").string();
    EXPECT_EQ(r.verdicts.size(), 2u);
    EXPECT_TRUE(r.verdicts.at(a));
    EXPECT_FALSE(r.verdicts.at(b));
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.reports[0].code, msg::ErrorReadingFile);
    EXPECT_EQ(r.reports[0].file, b);
    if (!test) {
      EXPECT_EQ(ReadFile(out / "src/a.txt"), ReadFile(dir / "src/a.txt"));
      EXPECT_FALSE(fs::exists(out / "src/c.txt"));
    }
  }
  // Cut inside the second header.
  WriteFile(dir / "cut.tar", whole.substr(0, 3700));
  auto r = UnTarRun(dir / "cut.tar", dir / "never", true);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.Count(msg::ErrorReadingFile), 1);

  // A damaged second header: the first entry comes out, the damage is reported.
  std::string bad = whole;
  bad[3584 + 10] ^= 0x20;
  WriteFile(dir / "bad.tar", bad);
  for (bool test : {true, false}) {
    r = UnTarRun(dir / "bad.tar", dir / "bad", test);
    EXPECT_EQ(r.result, 1);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.reports[0].code, msg::BadFileHeader);
    EXPECT_TRUE(r.AllPass());
  }
  EXPECT_EQ(ReadFile(dir / "bad/src/a.txt"), ReadFile(dir / "src/a.txt"));

  // Empty archives: nothing at all, nothing reported.
  ASSERT_EQ(RunTool("tar -cf empty.tar -T /dev/null", dir.path()).exitCode, 0);
  WriteFile(dir / "zero.tar", "");
  for (const std::string n : {"empty.tar", "zero.tar"}) {
    r = UnTarRun(dir / n, dir / "empty");
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.errors.empty()) << n;
    EXPECT_FALSE(fs::exists(dir / "empty"));
  }
}

TEST(UnTar, SelectionRefusalsAndOverwrites) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "aaa");
  WriteFile(dir / "src/b.bin", vsktest::RandomBytes(100000, 13));
  WriteFile(dir / "src/sub/c.txt", "ccc");
  ASSERT_EQ(RunTool("tar -cf s.tar src", dir.path()).exitCode, 0);

  auto r = UnTarRun(dir / "s.tar", dir / "txt", false, {"*.txt"});
  EXPECT_EQ(r.result, 2);
  EXPECT_EQ(Contents(dir / "txt"), (std::vector<std::string>{"src", "src/a.txt", "src/sub", "src/sub/c.txt"}));

  TUnTar t;
  RunLog log;
  Attach(t, log);
  t.SetArchiveFile((dir / "s.tar").string());
  t.SetExtractDir((dir / "flat").string());
  t.FileSpec = {"*.*"};
  t.UseStoredDirs = false;
  t.OnBegin = [](TZipCommon&, const std::string& name, int, bool& extract) {
    extract = name.find("b.bin") == std::string::npos;
  };
  EXPECT_EQ(t.Extract(), 2);
  EXPECT_EQ(Contents(dir / "flat"), (std::vector<std::string>{"a.txt", "c.txt"}));
  EXPECT_EQ(log.lastArchivePercent, 100);

  // Asked before overwriting: a skip keeps the file, its bytes and its time.
  WriteFile(dir / "flat/a.txt", "mine");
  t.ConfirmOverwrites = true;
  t.OnBegin = nullptr;
  int asked = 0;
  t.OnFileExists = [&](TZipCommon&, const std::string&, std::string&, TOverwriteMode& mode) {
    ++asked;
    mode = omSkip;
  };
  EXPECT_EQ(t.Extract(), 1);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(ReadFile(dir / "flat/a.txt"), "mine");
  EXPECT_EQ(ReadFile(dir / "flat/b.bin"), ReadFile(dir / "src/b.bin"));
}

TEST(UnTar, HostileHeadersNeverCrash) {
  TempDir dir;
  auto run = [&](const std::string& bytes) {
    WriteFile(dir / "h.tar", bytes);
    fs::remove_all(dir / "o");
    UnTarRun(dir / "h.tar", dir / "o", true);
    return UnTarRun(dir / "h.tar", dir / "o");
  };
  // Sizes past the end, in octal and base 256, and negative ones.
  auto r = run(TarHeader("huge", '0', 077777777777).Bytes() + "some");
  EXPECT_EQ(r.Count(msg::ErrorReadingFile), 1);
  EXPECT_EQ(ReadFile(dir / "o/huge"), "some");
  TarHeader neg("neg", '0', 0);
  std::memset(neg.b + 124, 0xFF, 12);
  r = run(neg.Bytes() + TarEntry("next", "n") + kTarEnd);
  EXPECT_EQ(r.result, 2);
  // Records claiming more than there is.
  r = run(TarHeader("././@LongLink", 'L', 077777777777).Bytes() + std::string(2000, 'n'));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.Count(msg::ErrorReadingFile), 1);
  r = run(TarHeader("x", 'x', 5000).Bytes() + std::string(600, '9'));
  EXPECT_EQ(r.result, 0);
  // A hard link to itself, and one to a link that was refused.
  r = run(TarHeader("self", '1', 0).Link("self").Bytes() + TarHeader("s", '2', 0).Link("x").Bytes() +
          TarHeader("t", '1', 0).Link("s").Bytes() + kTarEnd);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.Count(25327), 3);
  // A file of a type read through an outside library is not opened for us.
  WriteFile(dir / "ace.tar", std::string(7, '\0') + "**ACE**" + std::string(2000, '\0'));
  TUnTar ace;
  RunLog aceLog;
  Attach(ace, aceLog);
  ace.SetArchiveFile((dir / "ace.tar").string());
  ASSERT_EQ(ace.ArcType(), atAce);
  ace.FileSpec = {"*.*"};
  EXPECT_EQ(ace.TestArchive(), 0);
  EXPECT_EQ(aceLog.Count(msg::UnsupportedArcType), 1);

  const std::string one = TarEntry("f", std::string(3000, 'f')) + TarEntry("g", "g") + kTarEnd;
  for (std::size_t cut = 1; cut < one.size(); cut += 97) run(one.substr(0, cut));
  for (std::uint32_t seed = 1; seed <= 40; ++seed) run(TarEntry("r", "r") + vsktest::RandomBytes(3000, seed));
  for (std::size_t i = 0; i < 512; i += 7) {
    std::string flipped = one;
    flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    run(flipped);
  }
}

}  // namespace
}  // namespace vsk
