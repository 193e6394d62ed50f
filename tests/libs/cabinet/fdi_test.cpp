// The reading side of the cabinet library against cabinets of gcab, the
// real LZX cabinets carried in tests/fixtures (compared with cabextract),
// hand-built cabinet sets, damaged data and hostile headers.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "tests/libs/cabinet/cabtestlib.h"
#include "tests/support/cabbuild.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

void SetText(char* field, const std::string& text) {
  ASSERT_LT(text.size(), 256u);
  std::memcpy(field, text.c_str(), text.size() + 1);
}

fs::path Fixtures() {
  const fs::path dir = BREVANE_CAB_FIXTURES;
  EXPECT_TRUE(fs::is_regular_file(dir / "cab_3.cab")) << "fixtures not found at " << dir;
  return dir;
}

TEST(Fdi, CabinetsOfGcab) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk());
  ASSERT_TRUE(HaveTool("gcab"));
  TempDir dir;
  const std::map<std::string, std::string> src = {{"readme.txt", TextBytes(50000, 1)},
                                                  {"data.bin", RandomBytes(3000, 2)},
                                                  {"empty.txt", ""},
                                                  {"sub/Grüße.txt", TextBytes(700, 3)}};
  for (const auto& [name, data] : src) WriteFile(dir / "src" / name, data);
  ASSERT_EQ(RunTool("gcab -c stored.cab readme.txt data.bin empty.txt 'sub/Grüße.txt' && "
                    "gcab -c -z zipped.cab readme.txt data.bin empty.txt 'sub/Grüße.txt'",
                    dir / "src")
                .exitCode,
            0);
  for (const char* name : {"stored.cab", "zipped.cab"}) {
    SCOPED_TRACE(name);
    const fs::path cab = dir / "src" / name;
    PosixFiles files;
    ERF erf{};
    HFDI fdi = MakeFdi(lib, erf, files);
    ASSERT_NE(fdi, nullptr);
    int err = 0;
    intptr_t h = CabOpen(cab.c_str(), CAB_O_RDONLY, 0, &err, &files);
    FDICABINETINFO info{};
    EXPECT_EQ(lib.FDIIsCabinet(fdi, h, &info), 1);
    CabClose(h, &err, &files);
    EXPECT_EQ(info.cFiles, 4);
    EXPECT_EQ(info.cFolders, 1);
    EXPECT_EQ(info.cbCabinet, static_cast<int64_t>(fs::file_size(cab)));
    EXPECT_FALSE(info.hasprev || info.hasnext);
    // Bytes that are no cabinet: no, and no error.
    h = CabOpen((dir / "src/readme.txt").c_str(), CAB_O_RDONLY, 0, &err, &files);
    EXPECT_EQ(lib.FDIIsCabinet(fdi, h, &info), 0);
    EXPECT_EQ(erf.fError, 0);
    CabClose(h, &err, &files);
    lib.FDIDestroy(fdi);

    Extraction x;
    x.outDir = dir / (std::string(name) + ".out");
    Extract(lib, cab, x);
    ASSERT_TRUE(x.ok) << x.erf.erfOper;
    EXPECT_EQ(FilesUnder(x.outDir), src);
    using T = std::vector<FDINOTIFICATIONTYPE>;
    T expected = {fdintCABINET_INFO};
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), {fdintCOPY_FILE, fdintCLOSE_FILE_INFO});
    EXPECT_EQ(x.Types(), expected);
    EXPECT_EQ(x.events[0].psz3, (dir / "src").string() + "/");
    ASSERT_NE(x.Closed("sub\\Grüße.txt"), nullptr);
    EXPECT_EQ(x.Closed("sub\\Grüße.txt")->attribs & CAB_A_NAME_IS_UTF, CAB_A_NAME_IS_UTF);
    EXPECT_EQ(x.Closed("sub\\Grüße.txt")->fdie, 0);
    EXPECT_EQ(x.events[1].cb, 50000);

    // Skipped files are decoded past, not written.
    Extraction some;
    some.outDir = dir / (std::string(name) + ".some");
    some.skip = {"readme.txt", "empty.txt"};
    Extract(lib, cab, some);
    ASSERT_TRUE(some.ok);
    EXPECT_EQ(FilesUnder(some.outDir), (std::map<std::string, std::string>{{"data.bin", src.at("data.bin")},
                                                                     {"sub/Grüße.txt", src.at("sub/Grüße.txt")}}));
  }
}

TEST(Fdi, LzxCabinetsAndTheSetOfTwo) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk());
  ASSERT_TRUE(HaveTool("cabextract"));
  const fs::path fx = Fixtures();
  TempDir dir;

  Extraction x;
  x.outDir = dir / "cab3";
  Extract(lib, fx / "cab_3.cab", x);
  ASSERT_TRUE(x.ok) << x.erf.erfOper;
  const auto cab3 = FilesUnder(x.outDir);
  EXPECT_EQ(cab3, Cabextract(fx / "cab_3.cab", dir / "cab3.ref"));
  EXPECT_EQ(cab3.size(), 4u);
  EXPECT_EQ(cab3.at("zero").size(), 33000u);

  // The set: cabextract finds the second cabinet by the name the first
  // gives, so it reads links of that name.
  const std::string p1 = "test_read_format_cab_multi.p1.cab", p2 = "test_read_format_cab_multi.p2.cab";
  fs::create_directories(dir / "links");
  fs::create_symlink(fx / "cab_multi.p1.cab", dir / "links" / p1);
  fs::create_symlink(fx / "cab_multi.p2.cab", dir / "links" / p2);
  const auto ref = Cabextract(dir / "links" / p1, dir / "multi.ref");
  ASSERT_EQ(ref.size(), 1u);

  Extraction set;
  set.outDir = dir / "multi";
  set.onNext = [&](FDINOTIFICATION& n, int) {
    EXPECT_EQ(std::string(n.psz1), p2);
    EXPECT_EQ(std::string(n.psz3), fx.string() + "/");
    EXPECT_EQ(n.fdie, FDIERROR_NONE);
    SetText(n.psz1, "cab_multi.p2.cab");
    return intptr_t{0};
  };
  Extract(lib, fx / "cab_multi.p1.cab", set);
  ASSERT_TRUE(set.ok) << set.erf.erfOper;
  EXPECT_EQ(FilesUnder(set.outDir), ref);
  EXPECT_EQ(set.Types(), (std::vector<FDINOTIFICATIONTYPE>{fdintCABINET_INFO, fdintCOPY_FILE, fdintNEXT_CABINET,
                                                           fdintCABINET_INFO, fdintCLOSE_FILE_INFO}));
  EXPECT_EQ(set.events[0].psz1, p2);
  EXPECT_EQ(set.events[3].iCabinet, 1);

  // Declined: the walk stops, the file in hand is closed as failed.
  Extraction declined;
  declined.outDir = dir / "declined";
  declined.onNext = [](FDINOTIFICATION&, int) { return intptr_t{-1}; };
  Extract(lib, fx / "cab_multi.p1.cab", declined);
  EXPECT_FALSE(declined.ok);
  EXPECT_EQ(declined.erf.erfOper, FDIERROR_USER_ABORT);
  ASSERT_NE(declined.Closed("ones"), nullptr);
  EXPECT_EQ(declined.Closed("ones")->fdie, FDIERROR_USER_ABORT);

  // A cabinet that is not there is asked for again with the reason; the
  // same answer again ends the walk with it.
  Extraction missing;
  missing.outDir = dir / "missing";
  std::vector<int> reasons;
  missing.onNext = [&](FDINOTIFICATION& n, int) {
    reasons.push_back(n.fdie);
    return intptr_t{0};
  };
  Extract(lib, fx / "cab_multi.p1.cab", missing);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.erf.erfOper, FDIERROR_CABINET_NOT_FOUND);
  EXPECT_EQ(missing.erf.erfType, ENOENT);
  EXPECT_EQ(reasons, (std::vector<int>{FDIERROR_NONE, FDIERROR_CABINET_NOT_FOUND}));

  // The wrong cabinet of the set, then the right one.
  Extraction wrong;
  wrong.outDir = dir / "wrong";
  reasons.clear();
  wrong.onNext = [&](FDINOTIFICATION& n, int asked) {
    reasons.push_back(n.fdie);
    SetText(n.psz1, asked == 1 ? "cab_multi.p1.cab" : "cab_multi.p2.cab");
    return intptr_t{0};
  };
  Extract(lib, fx / "cab_multi.p1.cab", wrong);
  EXPECT_TRUE(wrong.ok);
  EXPECT_EQ(reasons, (std::vector<int>{FDIERROR_NONE, FDIERROR_WRONG_CABINET}));
  EXPECT_EQ(FilesUnder(wrong.outDir), ref);

  // From the second cabinet: the file began before it.
  Extraction second;
  second.outDir = dir / "second";
  Extract(lib, fx / "cab_multi.p2.cab", second);
  EXPECT_TRUE(second.ok);
  ASSERT_EQ(second.Types(), (std::vector<FDINOTIFICATIONTYPE>{fdintCABINET_INFO, fdintPARTIAL_FILE}));
  EXPECT_EQ(second.events[1].psz1, "ones");
  EXPECT_EQ(second.events[1].psz2, "test_read_format_cab_multi.p1.cab");
}

TEST(Fdi, HandBuiltSets) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk());
  TempDir dir;
  // long.bin goes through all three cabinets in data blocks split between
  // them; last.txt follows it in a folder of its own; the fourth cabinet
  // holds no continued file.
  const std::string a = TextBytes(3000, 1), lng = RandomBytes(9000, 2), last = TextBytes(500, 3), own = "own";
  CabSpec one, two, three, four;
  one.folders = {{a + lng.substr(0, 1000)}};
  one.files = {{"a.txt", 3000, 0, 0}, {"long.bin", 9000, 3000, vsk::kCabFolderContinuedToNext}};
  one.lastBlockSplit = true;
  one.nextCab = "two.cab";
  two.index = 1;
  two.prevCab = "one.cab";
  two.folders = {{lng.substr(1000, 2000), lng.substr(3000, 1000)}};
  two.firstBlockUnpacked = 3000 + 3000;
  two.lastBlockSplit = true;
  two.files = {{"long.bin", 9000, 3000, vsk::kCabFolderContinuedPrevAndNext}};
  two.nextCab = "three.cab";
  three.index = 2;
  three.prevCab = "two.cab";
  three.folders = {{lng.substr(4000)}, {last}};
  three.firstBlockUnpacked = 6000;
  three.files = {{"long.bin", 9000, 3000, vsk::kCabFolderContinuedFromPrev}, {"last.txt", 500, 0, 1}};
  three.nextCab = "four.cab";
  four.index = 3;
  four.prevCab = "three.cab";
  four.folders = {{own}};
  four.files = {
      {"\x81"
       "ber.txt",
       3, 0, 0}};  // a name in CP437, passed on as it is
  WriteFile(dir / "one.cab", BuildCab(one));
  WriteFile(dir / "two.cab", BuildCab(two));
  WriteFile(dir / "three.cab", BuildCab(three));
  WriteFile(dir / "four.cab", BuildCab(four));
  const auto t = RunTool("cabextract -t one.cab", dir.path());
  ASSERT_EQ(t.exitCode, 0) << t.output;

  Extraction x;
  x.outDir = dir / "out";
  Extract(lib, dir / "one.cab", x);
  ASSERT_TRUE(x.ok) << x.erf.erfOper;
  EXPECT_EQ(FilesUnder(x.outDir), (std::map<std::string, std::string>{{"a.txt", a},
                                                                {"long.bin", lng},
                                                                {"last.txt", last},
                                                                {"\x81"
                                                                 "ber.txt",
                                                                 own}}));
  using F = FDINOTIFICATIONTYPE;
  EXPECT_EQ(x.Types(), (std::vector<F>{fdintCABINET_INFO, fdintCOPY_FILE,
                                       // a.txt's folder goes on through both cabinets after it
                                       fdintNEXT_CABINET, fdintCABINET_INFO, fdintNEXT_CABINET, fdintCABINET_INFO,
                                       fdintCLOSE_FILE_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO,  // long.bin
                                       fdintCOPY_FILE, fdintCLOSE_FILE_INFO,                        // last.txt
                                       fdintNEXT_CABINET, fdintCABINET_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO}));

  // Skipping everything still walks the whole set.
  Extraction none;
  none.outDir = dir / "none";
  none.skip = {"a.txt", "long.bin", "last.txt",
               "\x81"
               "ber.txt"};
  Extract(lib, dir / "one.cab", none);
  EXPECT_TRUE(none.ok);
  EXPECT_EQ(none.nextAsked, 3);
  EXPECT_FALSE(fs::exists(none.outDir));

  // A cabinet without files in the middle of a set, one naming itself as
  // the next.
  CabSpec empty;
  empty.index = 1;
  empty.prevCab = "x.cab";
  empty.nextCab = "empty.cab";
  WriteFile(dir / "empty.cab", BuildCab(empty));
  CabSpec x1;
  x1.folders = {{"xyz"}};
  x1.files = {{"x.txt", 3, 0, 0}};
  x1.nextCab = "empty.cab";
  WriteFile(dir / "x.cab", BuildCab(x1));
  Extraction loop;
  loop.outDir = dir / "loop";
  Extract(lib, dir / "x.cab", loop);
  EXPECT_FALSE(loop.ok);
  EXPECT_EQ(loop.erf.erfOper, FDIERROR_WRONG_CABINET);
  EXPECT_EQ(ReadFile(loop.outDir / "x.txt"), "xyz");
}

// The offset of data block Index of the first folder.
std::size_t BlockData(const std::string& cab, int index) {
  std::size_t at = static_cast<unsigned char>(cab[36]) | static_cast<unsigned char>(cab[37]) << 8 |
                   static_cast<unsigned char>(cab[38]) << 16;
  for (int i = 0;; ++i) {
    const std::size_t size = static_cast<unsigned char>(cab[at + 4]) | static_cast<unsigned char>(cab[at + 5]) << 8;
    if (i == index) return at + 8;
    at += 8 + size;
  }
}

TEST(Fdi, DamagedDataFailsTheFile) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk());
  TempDir dir;
  const std::string first = TextBytes(32768, 4), second = TextBytes(5000, 5);
  WriteFile(dir / "first.txt", first);
  WriteFile(dir / "second.txt", second);
  ASSERT_EQ(RunTool("gcab -c -z good.cab first.txt second.txt", dir.path()).exitCode, 0);
  const std::string good = ReadFile(dir / "good.cab");

  // The second block holds only the second file.
  std::string bad = good;
  bad[BlockData(good, 1) + 20] ^= 0x55;
  WriteFile(dir / "bad1.cab", bad);
  Extraction x;
  x.outDir = dir / "out1";
  Extract(lib, dir / "bad1.cab", x);
  EXPECT_FALSE(x.ok);
  EXPECT_EQ(x.erf.erfOper, FDIERROR_CORRUPT_CABINET);
  EXPECT_EQ(ReadFile(x.outDir / "first.txt"), first);
  ASSERT_NE(x.Closed("first.txt"), nullptr);
  EXPECT_EQ(x.Closed("first.txt")->fdie, FDIERROR_NONE);
  ASSERT_NE(x.Closed("second.txt"), nullptr);
  EXPECT_EQ(x.Closed("second.txt")->fdie, FDIERROR_CORRUPT_CABINET);

  // Damage in the first block fails the first file and, in a compressed
  // folder, the one coded after it; stored blocks stand alone.
  ASSERT_EQ(RunTool("gcab -c stored.cab first.txt second.txt", dir.path()).exitCode, 0);
  for (const char* name : {"good.cab", "stored.cab"}) {
    SCOPED_TRACE(name);
    bad = ReadFile(dir / name);
    bad[BlockData(bad, 0) + 100] ^= 0x55;
    WriteFile(dir / "bad0.cab", bad);
    Extraction y;
    y.outDir = dir / "out0";
    Extract(lib, dir / "bad0.cab", y);
    EXPECT_EQ(y.erf.erfOper, FDIERROR_CORRUPT_CABINET);
    ASSERT_NE(y.Closed("second.txt"), nullptr);
    EXPECT_EQ(y.Closed("first.txt")->fdie, FDIERROR_CORRUPT_CABINET);
    const bool stored = name[0] == 's';
    EXPECT_EQ(y.Closed("second.txt")->fdie, stored ? FDIERROR_NONE : FDIERROR_CORRUPT_CABINET);
    if (stored) {
      EXPECT_EQ(ReadFile(y.outDir / "second.txt"), second);
    }
  }

  // Data cut short.
  WriteFile(dir / "short.cab", good.substr(0, good.size() - 10));
  Extraction z;
  z.outDir = dir / "short";
  Extract(lib, dir / "short.cab", z);
  EXPECT_EQ(z.erf.erfOper, FDIERROR_CORRUPT_CABINET);
  ASSERT_NE(z.Closed("first.txt"), nullptr);
  EXPECT_EQ(z.Closed("first.txt")->fdie, FDIERROR_NONE);
}

TEST(Fdi, WriteFailuresAndAborts) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk());
  TempDir dir;
  WriteFile(dir / "a.txt", TextBytes(1000, 1));
  WriteFile(dir / "b.txt", TextBytes(1000, 2));
  ASSERT_EQ(RunTool("gcab -c -z ab.cab a.txt b.txt", dir.path()).exitCode, 0);

  Extraction full;
  full.outDir = dir / "full";
  full.fullAt = "a.txt";
  Extract(lib, dir / "ab.cab", full);
  EXPECT_FALSE(full.ok);
  EXPECT_EQ(full.erf.erfOper, FDIERROR_TARGET_FILE);
  EXPECT_EQ(full.erf.erfType, ENOSPC);
  EXPECT_EQ(full.Types(), (std::vector<FDINOTIFICATIONTYPE>{fdintCABINET_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO}));
  EXPECT_EQ(full.events.back().fdie, FDIERROR_TARGET_FILE);

  Extraction aborted;
  aborted.outDir = dir / "aborted";
  aborted.abortAt = "b.txt";
  Extract(lib, dir / "ab.cab", aborted);
  EXPECT_EQ(aborted.erf.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(aborted.events.size(), 4u);

  Extraction closed;
  closed.outDir = dir / "closed";
  closed.closeAnswer = 0;
  Extract(lib, dir / "ab.cab", closed);
  EXPECT_EQ(closed.erf.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(closed.events.size(), 3u);
}

TEST(Fdi, HostileHeaders) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk());
  TempDir dir;
  WriteFile(dir / "a.txt", TextBytes(40000, 1));
  WriteFile(dir / "b.bin", RandomBytes(2000, 2));
  ASSERT_EQ(RunTool("gcab -c -z ab.cab a.txt b.bin", dir.path()).exitCode, 0);
  const std::string good = ReadFile(dir / "ab.cab");
  auto run = [&](const std::string& bytes) {
    WriteFile(dir / "h.cab", bytes);
    Extraction x;
    x.outDir = dir / "h.out";
    Extract(lib, dir / "h.cab", x);
    return x;
  };
  EXPECT_TRUE(run(good).ok);
  EXPECT_EQ(run("").erf.erfOper, FDIERROR_NOT_A_CABINET);
  EXPECT_EQ(run(good.substr(0, 30)).erf.erfOper, FDIERROR_NOT_A_CABINET);
  std::string version = good;
  version[25] = 2;
  EXPECT_EQ(run(version).erf.erfOper, FDIERROR_UNKNOWN_CABINET_VERSION);
  std::string count = good;
  Put16(count, 28, 65535);
  EXPECT_EQ(run(count).erf.erfOper, FDIERROR_CORRUPT_CABINET);
  std::string folder = good;
  Put16(folder, folder.find("b.bin") - 8, 7);
  EXPECT_EQ(run(folder).erf.erfOper, FDIERROR_CORRUPT_CABINET);

  // Every cut and many flipped bytes: an answer, never a crash or a handle
  // left open.
  for (std::size_t cut = 0; cut < good.size(); cut += 13) {
    const auto x = run(good.substr(0, cut));
    EXPECT_FALSE(x.ok) << cut;
  }
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    std::string bytes = good;
    const std::string noise = RandomBytes(8, seed);
    for (int i = 0; i < 4; ++i) {
      const std::size_t at = static_cast<unsigned char>(noise[2 * i]) % 120;
      bytes[at] = noise[2 * i + 1];
    }
    run(bytes);
  }

  Extraction none;
  none.outDir = dir / "none";
  Extract(lib, dir / "no-such.cab", none);
  EXPECT_EQ(none.erf.erfOper, FDIERROR_CABINET_NOT_FOUND);
  EXPECT_EQ(none.erf.erfType, ENOENT);
}

}  // namespace
}  // namespace vsktest
