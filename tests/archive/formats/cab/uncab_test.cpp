// Extracting and testing cabinets: those gcab writes, the real cabinets of
// the carried fixtures (against cabextract), damaged and hostile ones, and
// the failures of the library and of the disk.

#include "archive/formats/cab/uncab.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <chrono>
#include <fstream>
#include <tuple>

#include "archive/tools/readers.h"
#include "tests/archive/formats/cab/cabrun.h"
#include "tests/support/cabbuild.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::BuildCab;
using vsktest::CabRun;
using vsktest::CabSpec;
using vsktest::RunCheck;
using vsktest::RunTool;
using vsktest::RunUnCab;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::FilesUnder;
using vsktest::WriteFile;

// A small tree of text, random and empty files, with a subfolder.
std::map<std::string, std::string> MakeSources(const fs::path& root) {
  const std::map<std::string, std::string> files = {
      {"a.txt", vsktest::TextBytes(100000, 3)},
      {"empty.bin", ""},
      {"sub/r.bin", vsktest::RandomBytes(70000, 4)},
      {"sub/t.txt", vsktest::TextBytes(5000, 5)},
  };
  for (const auto& [name, data] : files) {
    fs::create_directories((root / name).parent_path());
    WriteFile(root / name, data);
  }
  return files;
}

void Gcab(const fs::path& cab, const fs::path& from, bool zip) {
  ASSERT_TRUE(vsktest::HaveTool("gcab"));
  const auto r = RunTool(std::string("gcab -c") + (zip ? "z " : " ") + ShellQuote(cab.string()) +
                             " a.txt empty.bin sub/r.bin sub/t.txt",
                         from);
  ASSERT_EQ(r.exitCode, 0) << r.output;
}

TEST(UnCab, GcabCabinetsExtractAndTest) {
  ASSERT_NE(MakeReader(atCab), nullptr);
  TempDir dir;
  const auto files = MakeSources(dir / "src");
  for (const bool zip : {false, true}) {
    SCOPED_TRACE(zip ? "MSZIP" : "stored");
    const fs::path cab = dir / (zip ? "z.cab" : "s.cab");
    Gcab(cab, dir / "src", zip);
    const fs::path out = dir / (zip ? "zout" : "sout");
    const CabRun x = RunUnCab(cab, out);
    EXPECT_TRUE(x.errors.empty());
    EXPECT_EQ(x.processed, 4);
    EXPECT_EQ(FilesUnder(out), files);
    // Extracting again over the same files without confirmation keeps them whole.
    EXPECT_EQ(RunUnCab(cab, out).processed, 4);
    EXPECT_EQ(FilesUnder(out), files);

    const CabRun t = RunCheck(cab);
    EXPECT_TRUE(t.errors.empty());
    EXPECT_EQ(t.processed, 4);
    ASSERT_EQ(t.verdicts.size(), 4u);
    for (const auto& [name, pass] : t.verdicts) EXPECT_TRUE(pass) << name;
    EXPECT_TRUE(t.verdicts.count("sub/r.bin"));
  }
}

TEST(UnCab, FixturesMatchCabextract) {
  const fs::path fixtures = fs::path(BREVANE_FIXTURES_DIR) / "cab";
  ASSERT_TRUE(fs::exists(fixtures / "cab_3.cab")) << fixtures;
  TempDir dir;
  // The first cabinet of the set names the second by the name it was made under.
  fs::copy_file(fixtures / "cab_3.cab", dir / "cab_3.cab");
  fs::copy_file(fixtures / "cab_multi.p1.cab", dir / "cab_multi.p1.cab");
  fs::copy_file(fixtures / "cab_multi.p2.cab", dir / "test_read_format_cab_multi.p2.cab");
  for (const char* name : {"cab_3.cab", "cab_multi.p1.cab"}) {
    SCOPED_TRACE(name);
    const auto expected = vsktest::Cabextract(dir / name, dir / (std::string(name) + ".ref"));
    ASSERT_FALSE(expected.empty());
    const fs::path out = dir / (std::string(name) + ".out");
    const CabRun x = RunUnCab(dir / name, out);
    EXPECT_TRUE(x.errors.empty());
    EXPECT_EQ(FilesUnder(out), expected);
    const CabRun t = RunUnCab(dir / name, out, true);
    EXPECT_TRUE(t.errors.empty());
    EXPECT_EQ(t.verdicts.size(), expected.size());
    for (const auto& [file, pass] : t.verdicts) EXPECT_TRUE(pass) << file;
    if (std::string(name) == "cab_multi.p1.cab") {
      EXPECT_EQ(x.volumesAsked, std::vector<std::string>{"test_read_format_cab_multi.p2.cab"});
    }
  }
}

TEST(UnCab, DamagedBlockFailsOnlyItsEntry) {
  TempDir dir;
  fs::create_directories(dir / "src");
  // 40000 bytes each: the last data block holds bytes of c.bin alone.
  for (const char* n : {"a.bin", "b.bin", "c.bin"}) WriteFile(dir / "src" / n, vsktest::RandomBytes(40000, n[0]));
  for (const bool zip : {false, true}) {
    SCOPED_TRACE(zip ? "MSZIP" : "stored");
    const fs::path cab = dir / "d.cab";
    const auto r = RunTool(std::string("gcab -c") + (zip ? "z " : " ") + ShellQuote(cab.string()) + " a.bin b.bin c.bin",
                           dir / "src");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::string bytes = vsktest::ReadFile(cab);
    bytes[bytes.size() - 10] ^= 0x55;
    WriteFile(cab, bytes);
    for (const bool test : {false, true}) {
      const CabRun x = RunUnCab(cab, dir / "out", test);
      EXPECT_EQ(x.verdicts, (std::map<std::string, bool>{{test ? "a.bin" : (dir / "out/a.bin").string(), true},
                                                         {test ? "b.bin" : (dir / "out/b.bin").string(), true},
                                                         {test ? "c.bin" : (dir / "out/c.bin").string(), false}}));
      EXPECT_EQ(x.processed, 2);  // only the sound files count
      ASSERT_EQ(x.errors.size(), 1u);
      EXPECT_EQ(x.errors[0].second, 25140);
    }
    EXPECT_EQ(vsktest::ReadFile(dir / "out/b.bin"), vsktest::RandomBytes(40000, 'b'));
  }
}

TEST(UnCab, HostileNamesStayInside) {
  TempDir dir;
  CabSpec c;
  const std::vector<std::string> names = {"..\\up.txt",   "\\abs\\x.txt", "C:\\drive.txt", "a\\..\\..\\b.txt",
                                          "/etc/y.txt",  "d:/z.txt",     "sub\\ok.txt",   "a/../c.txt"};
  std::string data;
  for (std::size_t i = 0; i < names.size(); ++i) {
    c.files.push_back({names[i], 3, static_cast<UInt32>(data.size()), 0});
    data += "ab" + std::to_string(i);
  }
  c.folders = {{data}};
  WriteFile(dir / "h.cab", BuildCab(c));
  const fs::path out = dir / "deep" / "out";
  const CabRun x = RunUnCab(dir / "h.cab", out);
  EXPECT_EQ(FilesUnder(dir.path()).size(), 1 + FilesUnder(out).size());  // only the cabinet lies outside
  EXPECT_EQ(FilesUnder(out), (std::map<std::string, std::string>{{"abs/x.txt", "ab1"},
                                                           {"drive.txt", "ab2"},
                                                           {"etc/y.txt", "ab4"},
                                                           {"z.txt", "ab5"},
                                                           {"sub/ok.txt", "ab6"}}));
  int refused = 0;
  for (const auto& e : x.errors) refused += e.second == 25244;
  EXPECT_EQ(refused, 3);
}

// An entry whose data lie in a cabinet that never comes (declined, no
// handler to ask, missing) gets no output: an existing file of its name
// keeps its bytes and its date.
TEST(UnCab, AnEntryWithoutItsDataLeavesTheOldFile) {
  const fs::path fixtures = fs::path(BREVANE_FIXTURES_DIR) / "cab";
  TempDir dir;
  fs::copy_file(fixtures / "cab_multi.p1.cab", dir / "set.cab");
  const fs::path second = dir / "test_read_format_cab_multi.p2.cab";
  const fs::path old = dir / "out" / "ones";
  WriteFile(old, "old ones");
  const auto stamp = fs::last_write_time(old) - std::chrono::hours(24 * 400);
  fs::last_write_time(old, stamp);
  // Declined, nobody to ask, missing (the handler declines what is not
  // there), then present.
  for (int way = 0; way < 4; ++way) {
    SCOPED_TRACE(way);
    if (way == 3) fs::copy_file(fixtures / "cab_multi.p2.cab", second);
    TUnCab u;
    CabRun r;
    vsktest::Record(u, r);
    u.SetArchiveFile((dir / "set.cab").string());
    u.SetExtractDir((dir / "out").string());
    u.FileSpec = {"*.*"};
    u.ConfirmOverwrites = false;
    if (way == 0)
      u.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) { Cancel = true; };
    if (way == 1) u.OnNextVolume = nullptr;
    u.OnEnd = [&r](TZipCommon&, const std::string& File, bool Pass) { r.verdicts[File] = Pass; };
    u.Extract();
    EXPECT_EQ(r.verdicts, (std::map<std::string, bool>{{old.string(), way == 3}}));
    if (way < 3) {
      EXPECT_EQ(vsktest::ReadFile(old), "old ones");
      EXPECT_EQ(fs::last_write_time(old), stamp);
    }
  }
  EXPECT_EQ(vsktest::ReadFile(old), vsktest::Cabextract(dir / "set.cab", dir / "ref").at("ones"));
}

// A set whose next cabinet is missing (or declined): every entry whole in
// the first cabinet still comes out, in the folder that goes on and in the
// folders before it; only the entry that needed the next cabinet is left.
// With the next cabinet there, the entry after the one taken alone comes
// out whole too.
TEST(UnCab, EntriesCompleteBeforeAMissingCabinetComeOut) {
  TempDir dir;
  const std::string a = vsktest::TextBytes(3000, 1), b = "before", lng = vsktest::RandomBytes(9000, 2);
  CabSpec one, two;
  // a.txt fills a whole data block; the block after it goes on in two.cab.
  one.folders = {{b}, {a, lng.substr(0, 1000)}};
  one.files = {{"b.txt", 6, 0, 0}, {"a.txt", 3000, 0, 1}, {"long.bin", 9000, 3000, kCabFolderContinuedToNext}};
  one.lastBlockSplit = true;
  one.nextCab = "two.cab";
  two.index = 1;
  two.prevCab = "one.cab";
  two.folders = {{lng.substr(1000, 2000), lng.substr(3000)}};
  two.firstBlockUnpacked = 1000 + 2000;
  two.files = {{"long.bin", 9000, 3000, kCabFolderContinuedFromPrev}};
  WriteFile(dir / "one.cab", BuildCab(one));
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    if (way == 2) WriteFile(dir / "two.cab", BuildCab(two));
    const fs::path out = dir / ("out" + std::to_string(way));
    TUnCab u;
    CabRun r;
    vsktest::Record(u, r);
    u.SetArchiveFile((dir / "one.cab").string());
    u.SetExtractDir(out.string());
    u.FileSpec = {"*.*"};
    // Declined (missing), nobody to ask, present.
    if (way == 1) u.OnNextVolume = nullptr;
    u.OnEnd = [&r](TZipCommon&, const std::string& File, bool Pass) { r.verdicts[File] = Pass; };
    u.Extract();
    std::map<std::string, std::string> want = {{"a.txt", a}, {"b.txt", b}};
    if (way == 2) want["long.bin"] = lng;
    EXPECT_EQ(FilesUnder(out), want);
    EXPECT_TRUE(r.verdicts[(out / "a.txt").string()]);
    EXPECT_EQ(r.verdicts[(out / "long.bin").string()], way == 2);
  }
}

// No output replaces the cabinet or a cabinet of its set read before the
// entry's data come; the other entries still come out.
TEST(UnCab, NeverWritesOverItsOwnCabinets) {
  TempDir dir;
  WriteFile(dir / "src" / "self.cab", "not this");
  WriteFile(dir / "src" / "a.txt", "a text");
  ASSERT_EQ(RunTool("gcab -c " + ShellQuote((dir / "self.cab").string()) + " self.cab a.txt", dir / "src").exitCode, 0);
  const std::string bytes = vsktest::ReadFile(dir / "self.cab");
  const CabRun self = RunUnCab(dir / "self.cab", dir.path());
  using TErrors = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(self.errors, (TErrors{{(dir / "self.cab").string(), msg::SameInputOutput}}));
  EXPECT_EQ(self.processed, 1);
  EXPECT_EQ(vsktest::ReadFile(dir / "self.cab"), bytes);
  EXPECT_EQ(vsktest::ReadFile(dir / "a.txt"), "a text");

  // The second cabinet of a set under the name of the file it goes on with.
  const fs::path fixtures = fs::path(BREVANE_FIXTURES_DIR) / "cab";
  fs::copy_file(fixtures / "cab_multi.p1.cab", dir / "set.cab");
  fs::copy_file(fixtures / "cab_multi.p2.cab", dir / "ones");
  TUnCab u;
  u.SetArchiveFile((dir / "set.cab").string());
  u.FileSpec = {"*.*"};
  u.ConfirmOverwrites = false;
  CabRun r;
  vsktest::Record(u, r);
  u.OnNextVolume = [&](TZipCommon&, std::string& Name, const std::string&, bool, bool& Cancel) {
    Name = (dir / "ones").string();
    Cancel = false;
  };
  u.Extract();
  EXPECT_EQ(r.errors, (TErrors{{(dir / "ones").string(), msg::SameInputOutput}}));
  EXPECT_EQ(vsktest::ReadFile(dir / "ones"), vsktest::ReadFile(fixtures / "cab_multi.p2.cab"));
}

// Every later cabinet of a set is the archive's from the start: files named
// like the second and third cabinets, each in a folder of its own and so
// written before the set goes on, are refused; every cabinet stays as it
// was and the other files come out.
TEST(UnCab, NeverWritesOverItsLaterCabinets) {
  TempDir dir;
  const std::string a = vsktest::TextBytes(3000, 1), lng = vsktest::RandomBytes(9000, 2), last = "last";
  CabSpec one, two, three;
  one.folders = {{"not cabinet 2"}, {"not cabinet 3"}, {a + lng.substr(0, 1000)}};
  one.files = {{"two.cab", 13, 0, 0},
               {"three.cab", 13, 0, 1},
               {"a.txt", 3000, 0, 2},
               {"long.bin", 9000, 3000, kCabFolderContinuedToNext}};
  one.lastBlockSplit = true;
  one.nextCab = "two.cab";
  two.index = 1;
  two.prevCab = "one.cab";
  two.folders = {{lng.substr(1000, 2000), lng.substr(3000, 1000)}};
  two.firstBlockUnpacked = 4000 + 2000;
  two.lastBlockSplit = true;
  two.files = {{"long.bin", 9000, 3000, kCabFolderContinuedPrevAndNext}};
  two.nextCab = "three.cab";
  three.index = 2;
  three.prevCab = "two.cab";
  three.folders = {{lng.substr(4000)}, {last}};
  three.firstBlockUnpacked = 6000;
  three.files = {{"long.bin", 9000, 3000, kCabFolderContinuedFromPrev}, {"last.txt", 4, 0, 1}};
  const fs::path set = dir / "set";
  const std::map<std::string, std::string> cabinets = {
      {"one.cab", BuildCab(one)}, {"two.cab", BuildCab(two)}, {"three.cab", BuildCab(three)}};
  for (const auto& [name, bytes] : cabinets) WriteFile(set / name, bytes);
  const auto ref = vsktest::Cabextract(set / "one.cab", dir / "ref");
  EXPECT_EQ(ref.at("long.bin"), lng);
  const CabRun r = RunUnCab(set / "one.cab", set);
  using TErrors = std::vector<std::pair<std::string, int>>;
  const TErrors refused = {{(set / "two.cab").string(), msg::SameInputOutput},
                           {(set / "three.cab").string(), msg::SameInputOutput}};
  EXPECT_EQ(r.errors, refused);
  EXPECT_EQ(r.processed, 3);
  auto want = ref;
  for (const auto& [name, bytes] : cabinets) want[name] = bytes;
  const auto got = FilesUnder(set);
  ASSERT_EQ(got.size(), want.size());
  for (const auto& [name, bytes] : want) EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << name;

  // Cabinets that name each other in a ring: the walk over the names ends,
  // and still counts every one.
  CabSpec ring = three;
  ring.nextCab = "one.cab";
  const std::string ringBytes = BuildCab(ring);
  WriteFile(set / "three.cab", ringBytes);
  const CabRun again = RunUnCab(set / "one.cab", set);
  ASSERT_GE(again.errors.size(), 2u);
  EXPECT_EQ(TErrors(again.errors.begin(), again.errors.begin() + 2), refused);
  EXPECT_TRUE(vsktest::ReadFile(set / "one.cab") == cabinets.at("one.cab"));
  EXPECT_TRUE(vsktest::ReadFile(set / "two.cab") == cabinets.at("two.cab"));
  EXPECT_TRUE(vsktest::ReadFile(set / "three.cab") == ringBytes);
}

// A folder on a file system of 64 KiB, for as long as the object lives.
class SmallDisk {
 public:
  explicit SmallDisk(const fs::path& at) : at_(at) {
    fs::create_directories(at);
    mounted_ = mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  fs::path at_;
  bool mounted_ = false;
};

TEST(UnCab, FailuresAreReported) {
  TempDir dir;
  fs::create_directories(dir / "src");
  WriteFile(dir / "src" / "big.bin", vsktest::RandomBytes(200000, 9));
  WriteFile(dir / "src" / "small.txt", "small");
  ASSERT_EQ(RunTool("gcab -c " + ShellQuote((dir / "f.cab").string()) + " big.bin small.txt", dir / "src").exitCode, 0);

  // Bytes that are no cabinet: nothing at all.
  WriteFile(dir / "not.cab", std::string(5000, 'x'));
  const CabRun none = RunUnCab(dir / "not.cab", dir / "none");
  EXPECT_TRUE(none.errors.empty());
  EXPECT_EQ(none.processed, 0);
  EXPECT_FALSE(fs::exists(dir / "none"));

  // Without the library every run reports that it is missing.
  BindCabinetLibrary("no-such-cabinet.so");
  const CabRun missing = RunUnCab(dir / "f.cab", dir / "none");
  BindCabinetLibrary("cabinet.so");
  EXPECT_EQ(missing.errors.size(), 1u);
  EXPECT_TRUE(missing.Reported(25261));

  // A cabinet of another version: the library's reason, by a message code.
  std::string other = vsktest::ReadFile(dir / "f.cab");
  other[25] = 2;
  WriteFile(dir / "v2.cab", other);
  TUnCab u;
  u.SetArchiveFile((dir / "v2.cab").string());
  u.SetExtractDir((dir / "none").string());
  u.FileSpec = {"*.*"};
  std::vector<std::tuple<std::string, std::string, int>> reports;
  u.OnError = [&](TZipCommon&, const std::string& File, const std::string& Extended, const std::string&, int Code) {
    reports.emplace_back(File, Extended, Code);
  };
  EXPECT_EQ(u.Extract(), 0);
  EXPECT_EQ(reports, (std::vector<std::tuple<std::string, std::string, int>>{
                         {(dir / "v2.cab").string(), "a cabinet of an unknown version", msg::UnsupportedArcType}}));
  EXPECT_FALSE(fs::exists(dir / "none"));

  // A full disk fails the entry in hand and ends the run.
  SmallDisk disk(dir / "small");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const CabRun full = RunUnCab(dir / "f.cab", dir / "small");
  EXPECT_TRUE(full.Reported(25160));
  EXPECT_EQ(full.verdicts, (std::map<std::string, bool>{{(dir / "small/big.bin").string(), false}}));
}

}  // namespace
}  // namespace vsk
