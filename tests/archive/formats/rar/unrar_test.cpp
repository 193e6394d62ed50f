// Extracting and testing RAR archives through the RAR library. No Debian
// tool writes RAR: the carried fixtures are read in place and compared byte
// for byte with what bsdtar extracts from the same files.

#include "archive/formats/rar/unrar.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/tools/arc2arc.h"
#include "archive/tools/zipcheck.h"
#include "tests/support/rar5build.h"
#include "tests/support/readerevents.h"
#include "tests/support/smallfs.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::FolderTree;
using vsktest::ReadFile;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

const std::string kFixtures = std::string(BREVANE_FIXTURES_DIR) + "/rar/";
const std::string kSet = kFixtures + "rar_multivolume.part000";
constexpr int kUnknownError = 25355;

// A reader set to extract everything, with its events recorded.
struct TRun {
  explicit TRun(const std::string& Archive, const fs::path& Dest = {}) {
    vsktest::TakeEverything(R, Archive, Dest.string());
  }
  std::vector<int> Codes() const { return Events.Codes(); }
  TUnRar R;
  vsktest::ReaderEvents Events{R};
  std::vector<std::pair<int, std::string>>& Errors = Events.Errors;
  std::map<std::string, bool>& Verdicts = Events.Verdicts;
};

// bsdtar's files and folders from the bytes Source prints, without the
// links it makes (the reader never makes one).
std::map<std::string, std::string> BsdtarTree(const std::string& Source, const fs::path& Dir,
                                              const std::string& Args = {}) {
  fs::create_directories(Dir);
  EXPECT_EQ(vsktest::RunTool(Source + " | bsdtar -xf - -C " + ShellQuote(Dir.string()) + " " + Args).exitCode, 0);
  auto tree = FolderTree(Dir);
  std::erase_if(tree, [](const auto& e) { return e.first.back() == '@'; });
  return tree;
}

std::vector<std::string> Prefixed(const fs::path& Dir, std::vector<std::string> Names) {
  for (auto& n : Names) n = (Dir / n).string();
  return Names;
}

// Every single-volume fixture, the self-extractor included, extracts as
// bsdtar extracts it and tests clean; a link entry is refused, not made.
TEST(UnRar, FixturesExtractAndTestLikeBsdtar) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  ASSERT_TRUE(vsktest::HaveTool("bsdtar"));
  const std::map<std::string, std::vector<std::string>> files = {
      {"rar.rar", {"test.txt", "testdir/test.txt"}},
      {"rar_compress_normal.rar", {"LibarchiveAddingTest.html", "testdir/test.txt", "testdir/LibarchiveAddingTest.html"}},
      {"rar_binary_data.rar", {"random_data.bin", "LibarchiveAddingTest.odt"}},
      {"rar_sfx.exe", {"test.txt", "testshortcut.lnk", "testdir/test.txt"}},
  };
  for (const auto& [name, entries] : files) {
    SCOPED_TRACE(name);
    TempDir dir;
    const auto expected = BsdtarTree("cat " + ShellQuote(kFixtures + name), dir / "bsdtar");
    TRun run(kFixtures + name, dir / "ours");
    EXPECT_EQ(run.R.Extract(), static_cast<int>(entries.size()));
    EXPECT_EQ(FolderTree(dir / "ours"), expected);
    std::map<std::string, bool> passed;
    for (const auto& e : Prefixed(dir / "ours", entries)) passed[e] = true;
    EXPECT_EQ(run.Verdicts, passed);
    const bool link = name != "rar_binary_data.rar" && name != "rar_sfx.exe";
    EXPECT_EQ(run.Codes(), link ? std::vector<int>{25327} : std::vector<int>{});

    // The tester runs the reader with its null output.
    TZipCheck check;
    check.SetArchiveFile(kFixtures + name);
    check.FileSpec = {"*.*"};
    std::map<std::string, bool> status;
    check.OnStatus = [&](TZipCommon&, const std::string& File, bool Pass) { status[File] = Pass; };
    check.OnError = [](TZipCommon&, const std::string& File, const std::string&, const std::string&, int Code) {
      ADD_FAILURE() << File << " " << Code;
    };
    check.Activate();
    std::map<std::string, bool> tested;
    for (const auto& e : entries) tested[e] = true;
    if (link) tested["testlink"] = true;
    EXPECT_EQ(status, tested);
  }

  // The converter takes RAR archives as input (the link stays out).
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  TempDir converted;
  TArc2Arc conv;
  conv.SetArchiveFile(kFixtures + "rar_compress_normal.rar");
  conv.OutArcType = tyZip;
  conv.NewArchive = (converted / "out.zip").string();
  std::vector<int> codes;
  conv.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
    codes.push_back(Code);
  };
  conv.Activate();
  EXPECT_EQ(codes, std::vector<int>{25327});
  EXPECT_EQ(vsktest::RunTool("unzip -q " + ShellQuote(conv.NewArchive) + " -d " + ShellQuote(converted.str() + "/x"))
                .exitCode,
            0);
  auto unzipped = FolderTree(converted / "x");
  auto expected = BsdtarTree("cat " + ShellQuote(kFixtures + "rar_compress_normal.rar"), converted / "bsdtar");
  const auto folder = [](const auto& e) { return e.first.back() == '/'; };
  std::erase_if(unzipped, folder);
  std::erase_if(expected, folder);
  EXPECT_EQ(unzipped, expected);

  // One byte of test.txt changed: it fails and, like a damaged entry of any
  // reader, stays only where no file stood; the entries after it come out.
  // A cut archive says so.
  TempDir dir;
  std::string bytes = ReadFile(kFixtures + "rar.rar");
  bytes[bytes.find("test text document")] = 'T';
  WriteFile(dir / "bad.rar", bytes);
  TRun bad((dir / "bad.rar").string(), dir / "bad");
  EXPECT_EQ(bad.R.Extract(), 1);
  EXPECT_FALSE(bad.Verdicts.at((dir / "bad" / "test.txt").string()));
  EXPECT_TRUE(fs::exists(dir / "bad" / "test.txt"));
  EXPECT_EQ(fs::file_size(dir / "bad" / "testdir" / "test.txt"), 20u);
  EXPECT_EQ(bad.Codes(), (std::vector<int>{msg::BadBlock, 25327}));

  WriteFile(dir / "cut.rar", bytes.substr(0, 100));
  TRun cut((dir / "cut.rar").string());
  cut.R.TestArchive();
  EXPECT_FALSE(cut.Errors.empty());
}

// The four volumes: each next one is offered through OnNextVolume, the
// answer may rename it, and declining stops the run with nothing left.
TEST(UnRar, VolumeSetThroughOnNextVolume) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  ASSERT_TRUE(vsktest::HaveTool("bsdtar"));
  const std::string big = "ppmd_lzss_conversion_test.txt";
  std::string cat = "cat";
  for (int i = 1; i <= 4; ++i) cat += " " + ShellQuote(kSet + std::to_string(i) + ".rar");
  TempDir dir;
  const auto expected = BsdtarTree(cat, dir / "bsdtar", "--exclude " + big);

  // The volumes under other names, found by the handler.
  for (int i = 1; i <= 4; ++i)
    fs::create_symlink(kSet + std::to_string(i) + ".rar", dir / ("vol" + std::to_string(i)));
  TRun run((dir / "vol1").string(), dir / "ours");
  run.R.FileSpec = {"*.html", "*.txt"};
  std::vector<std::string> offered;
  run.R.OnNextVolume = [&](TZipCommon&, std::string& Name, const std::string&, bool, bool& Cancel) {
    offered.push_back(Name);
    Name = (dir / ("vol" + std::to_string(offered.size() + 1))).string();
    Cancel = false;
  };
  run.R.OnBegin = [&](TZipCommon&, const std::string& File, int, bool& Extract) {
    Extract = fs::path(File).filename() != big;
  };
  EXPECT_EQ(run.R.Extract(), 3);
  ASSERT_EQ(offered.size(), 3u);
  EXPECT_EQ(offered[0], (dir / "vol1.r00").string());
  EXPECT_EQ(FolderTree(dir / "ours"), expected);
  // The big file is damaged (bsdtar stops in it too): refused, it is passed
  // over undecoded, so its damage goes unreported.
  EXPECT_TRUE(run.Errors.empty());

  TRun declined(kSet + "1.rar", dir / "declined");
  int asked = 0;
  declined.R.OnNextVolume = [&](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
    ++asked;
    Cancel = true;
  };
  EXPECT_EQ(declined.R.Extract(), 0);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(declined.Codes(), std::vector<int>{msg::UserCanceled});
  EXPECT_FALSE(fs::exists(dir / "declined" / big));
}

// The library cannot decrypt: an encrypted entry is refused once, as not
// supported, before any password is asked or any existing file touched; one
// that is not selected is passed over in silence.
TEST(UnRar, EncryptedEntriesAreRefusedUnasked) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  TempDir dir;
  WriteFile(dir / "out" / "foo.txt", "the old one");
  for (const bool test : {false, true}) {
    SCOPED_TRACE(test ? "test" : "extract");
    TRun run(kFixtures + "rar_encryption_data.rar", dir / "out");
    int asked = 0;
    run.R.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& Password, bool&) {
      ++asked;
      Password = "secret";
    };
    EXPECT_EQ(test ? run.R.TestArchive() : run.R.Extract(), 0);
    EXPECT_EQ(asked, 0);
    const std::string foo = test ? "foo.txt" : (dir / "out" / "foo.txt").string();
    const std::string bar = test ? "bar.txt" : (dir / "out" / "bar.txt").string();
    EXPECT_EQ(run.Errors, (std::vector<std::pair<int, std::string>>{{msg::EncryptedNotSupported, foo},
                                                                     {msg::EncryptedNotSupported, bar}}));
    EXPECT_EQ(FolderTree(dir / "out"), (std::map<std::string, std::string>{{"foo.txt", "the old one"}}));

    TRun one(kFixtures + "rar_encryption_data.rar", dir / "out");
    one.R.FileSpec = {"bar.txt"};
    one.R.OnGetPassword = run.R.OnGetPassword;
    EXPECT_EQ(test ? one.R.TestArchive() : one.R.Extract(), 0);
    EXPECT_EQ(one.Errors, (std::vector<std::pair<int, std::string>>{{msg::EncryptedNotSupported, bar}}));
    EXPECT_EQ(asked, 0);
  }
}

// An entry is written beside its output and takes its place only once it
// passed: a damaged or cancelled entry leaves an existing file as it was,
// and nothing of it behind.
TEST(UnRar, AFailingEntryLeavesTheOldFile) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  TempDir dir;
  std::string bytes = ReadFile(kFixtures + "rar.rar");
  bytes[bytes.find("test text document")] = 'T';
  WriteFile(dir / "bad.rar", bytes);
  const fs::path good = dir / "good", out = dir / "out";
  TRun(kFixtures + "rar.rar", good).R.Extract();
  WriteFile(out / "test.txt", "old test");
  WriteFile(out / "testdir" / "test.txt", "old testdir");
  TRun bad((dir / "bad.rar").string(), out);
  EXPECT_EQ(bad.R.Extract(), 1);
  EXPECT_FALSE(bad.Verdicts.at((out / "test.txt").string()));
  EXPECT_TRUE(bad.Verdicts.at((out / "testdir" / "test.txt").string()));
  EXPECT_EQ(bad.Codes(), (std::vector<int>{msg::BadBlock, 25327}));
  auto tree = FolderTree(good);
  tree["test.txt"] = "old test";
  EXPECT_EQ(FolderTree(out), tree);

  WriteFile(out / "random_data.bin", "old random");
  TRun cancel(kFixtures + "rar_binary_data.rar", out);
  int steps = 0;
  cancel.R.OnProgress = [&](TZipCommon& Sender, Byte, Byte) {
    if (++steps == 2) Sender.SetCancel(true);
  };
  cancel.R.Extract();
  EXPECT_EQ(cancel.Codes(), std::vector<int>{msg::UserCanceled});
  tree["random_data.bin"] = "old random";
  EXPECT_EQ(FolderTree(out), tree);
}

// No output replaces the archive or a volume read before it; the other
// entries still come out.
TEST(UnRar, NeverWritesOverItsOwnVolumes) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  TempDir dir;
  // The first volume under the name of a file of the third (the archive
  // itself), the second under that of a file of the fourth.
  const fs::path set = dir / "set";
  std::vector<fs::path> volumes = {set / "LibarchiveAddingTest.html", set / "testdir" / "test.txt", set / "v3",
                                   set / "v4"};
  std::vector<std::string> bytesOf;
  for (int i = 0; i < 4; ++i) {
    bytesOf.push_back(ReadFile(kSet + std::to_string(i + 1) + ".rar"));
    WriteFile(volumes[i], bytesOf.back());
  }
  TRun run(volumes[0].string(), set);
  std::size_t next = 1;
  run.R.OnNextVolume = [&](TZipCommon&, std::string& Name, const std::string&, bool, bool& Cancel) {
    Name = volumes.at(next++).string();
    Cancel = false;
  };
  run.R.OnBegin = [&](TZipCommon&, const std::string& File, int, bool& Extract) {
    Extract = fs::path(File).filename() != "ppmd_lzss_conversion_test.txt";
  };
  EXPECT_EQ(run.R.Extract(), 1);
  EXPECT_EQ(run.Codes(), (std::vector<int>{msg::SameInputOutput, 25327, msg::SameInputOutput}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ReadFile(volumes[i]), bytesOf[i]) << i;
  EXPECT_TRUE(run.Verdicts.at((set / "testdir" / "LibarchiveAddingTest.html").string()));
}

// Every later volume of a set is the archive's from the start: files named
// like the second and third volumes, met in the first before either is
// read, are refused, every volume stays as it was and the other files come
// out. Volumes named x.partN.rar, and x.rar, x.r00, x.r01.
TEST(UnRar, NeverWritesOverItsLaterVolumes) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  using vsktest::Crc32;
  using vsktest::Rar5File;
  TempDir dir;
  const std::string text = vsktest::TextBytes(9000, 7);
  const std::string a = text.substr(0, 3000), b = text.substr(3000, 3000), c = text.substr(6000);
  const auto part = [&](const std::string& Data, UInt64 Flags, UInt32 Crc) {
    return Rar5File(2, "split.txt", Data, 0, 0x81A4, {}, Flags, text.size(), Crc);
  };
  for (const auto& names : {std::vector<std::string>{"x.part1.rar", "x.part2.rar", "x.part3.rar"},
                            std::vector<std::string>{"y.rar", "y.r00", "y.r01"}}) {
    SCOPED_TRACE(names[0]);
    const fs::path set = dir / names[0].substr(0, 1);
    const std::vector<std::string> volumes = {
        vsktest::kRar5Marker + vsktest::Rar5Main(1) + Rar5File(2, "first.txt", "first") +
            Rar5File(2, names[1], "not volume 2") + Rar5File(2, names[2], "not volume 3") +
            part(a, 0x10, Crc32(a)) + vsktest::Rar5End(true),
        vsktest::kRar5Marker + vsktest::Rar5Main(3, 1) + part(b, 0x18, Crc32(b)) + vsktest::Rar5End(true),
        vsktest::kRar5Marker + vsktest::Rar5Main(3, 2) + part(c, 0x08, Crc32(text)) +
            Rar5File(2, "after.txt", "after") + vsktest::Rar5End(false)};
    for (int i = 0; i < 3; ++i) WriteFile(set / names[i], volumes[i]);
    TRun run((set / names[0]).string(), set);
    run.R.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) {
      Cancel = !Exists;
    };
    EXPECT_EQ(run.R.Extract(), 3);
    EXPECT_EQ(run.Errors, (std::vector<std::pair<int, std::string>>{{msg::SameInputOutput, (set / names[1]).string()},
                                                                     {msg::SameInputOutput, (set / names[2]).string()}}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadFile(set / names[i]), volumes[i]) << names[i];
    EXPECT_EQ(ReadFile(set / "first.txt"), "first");
    EXPECT_EQ(ReadFile(set / "split.txt"), text);
    EXPECT_EQ(ReadFile(set / "after.txt"), "after");
  }
}

// A missing library, a cancel in the middle of an entry, and a second run
// started while one is active.
TEST(UnRar, LibraryMissingCancelAndOneRunAtATime) {
  TempDir dir;
  {
    TempDir empty;
    vsktest::ScopedEnv hidden("BREVANE_LIBRARY_DIR", empty.str());
    TRun run(kFixtures + "rar.rar", dir / "none");
    EXPECT_FALSE(TUnRar::LibraryPresent());
    EXPECT_EQ(run.R.Extract(), 0);
    EXPECT_EQ(run.Codes(), std::vector<int>{25260});
  }
  ASSERT_TRUE(TRun(kFixtures + "rar.rar").R.LibraryPresent());

  TRun cancel(kFixtures + "rar_binary_data.rar", dir / "cancel");
  int steps = 0;
  cancel.R.OnProgress = [&](TZipCommon& Sender, Byte, Byte) {
    if (++steps == 2) Sender.SetCancel(true);
  };
  cancel.R.Extract();
  EXPECT_EQ(cancel.Codes(), std::vector<int>{msg::UserCanceled});
  EXPECT_FALSE(fs::exists(dir / "cancel" / "random_data.bin"));
  EXPECT_FALSE(fs::exists(dir / "cancel" / "LibarchiveAddingTest.odt"));

  TRun first(kFixtures + "rar.rar", dir / "first");
  TRun second(kFixtures + "rar_binary_data.rar", dir / "second");
  first.R.OnBegin = [&](TZipCommon&, const std::string&, int, bool&) {
    if (second.Errors.empty()) {
      EXPECT_EQ(second.R.Extract(), 0);
    }
  };
  EXPECT_EQ(first.R.Extract(), 2);
  EXPECT_TRUE(first.Errors.size() == 1 && first.Errors[0].first == 25327);
  EXPECT_EQ(second.Codes(), std::vector<int>{kUnknownError});
  EXPECT_FALSE(fs::exists(dir / "second"));
  EXPECT_EQ(second.R.Extract(), 2);
}

// A file split over RAR5 volumes is checked against the CRC its last part
// stores: four bytes changed in the middle part fail it, extracting and
// testing, and an existing big.bin stays as it was; one whose headers keep
// no CRC-32 is reported not checked. The sound set passes.
TEST(UnRar, ADamagedSplitRar5FileFailsAndReplacesNothing) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  TempDir dir;
  const std::string text = vsktest::RandomBytes(60000, 5);
  auto volumes = vsktest::Rar5SplitSet("big.bin", text);
  const std::vector<std::string> names = {"x.part1.rar", "x.part2.rar", "x.part3.rar"};
  const auto follow = [](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) {
    Cancel = !Exists;
  };
  for (int i = 0; i < 3; ++i) WriteFile(dir / "good" / names[i], volumes[i]);
  const auto at = volumes[1].find(text.substr(20000, 64)) + 100;
  for (std::size_t k = 0; k < 4; ++k) volumes[1][at + k] ^= 0x5A;
  for (int i = 0; i < 3; ++i) WriteFile(dir / "bad" / names[i], volumes[i]);

  const fs::path out = dir / "out";
  WriteFile(out / "big.bin", "old");
  TRun bad((dir / "bad" / names[0]).string(), out);
  bad.R.OnNextVolume = follow;
  EXPECT_EQ(bad.R.Extract(), 0);
  EXPECT_EQ(bad.Verdicts, (std::map<std::string, bool>{{(out / "big.bin").string(), false}}));
  EXPECT_EQ(bad.R.EntryOutcome, eoFailedCheck);
  EXPECT_EQ(FolderTree(out), (std::map<std::string, std::string>{{"big.bin", "old"}}));
  TRun tested((dir / "bad" / names[0]).string());
  tested.R.OnNextVolume = follow;
  EXPECT_EQ(tested.R.TestArchive(), 0);
  EXPECT_EQ(tested.Verdicts, (std::map<std::string, bool>{{"big.bin", false}}));

  // Parts whose headers keep no CRC-32: the file is not checked, which is
  // no pass, and the existing file stays.
  const auto unchecked = [&](const std::string& Data, UInt64 Flags) {
    using vsktest::Rar5VInt;
    const std::string fields = Rar5VInt(0x02) + Rar5VInt(text.size()) + Rar5VInt(0x81A4) +
                               vsktest::Le32(1700000000) + Rar5VInt(0) + Rar5VInt(1) + Rar5VInt(7) + "big.bin";
    return vsktest::Rar5Block(2, Flags, fields, {}, Data);
  };
  const std::size_t third = text.size() / 3;
  const std::vector<std::string> bare = {
      vsktest::kRar5Marker + vsktest::Rar5Main(1) + unchecked(text.substr(0, third), 0x10) + vsktest::Rar5End(true),
      vsktest::kRar5Marker + vsktest::Rar5Main(3, 1) + unchecked(text.substr(third, third), 0x18) +
          vsktest::Rar5End(true),
      vsktest::kRar5Marker + vsktest::Rar5Main(3, 2) + unchecked(text.substr(2 * third), 0x08) +
          vsktest::Rar5End(false)};
  for (int i = 0; i < 3; ++i) WriteFile(dir / "bare" / names[i], bare[i]);
  TRun notChecked((dir / "bare" / names[0]).string(), out);
  notChecked.R.OnNextVolume = follow;
  EXPECT_EQ(notChecked.R.Extract(), 0);
  EXPECT_EQ(notChecked.Verdicts, (std::map<std::string, bool>{{(out / "big.bin").string(), false}}));
  EXPECT_EQ(notChecked.R.EntryOutcomeReason, "not checked");
  EXPECT_EQ(FolderTree(out), (std::map<std::string, std::string>{{"big.bin", "old"}}));

  TRun good((dir / "good" / names[0]).string(), out);
  good.R.OnNextVolume = follow;
  EXPECT_EQ(good.R.Extract(), 1);
  EXPECT_TRUE(ReadFile(out / "big.bin") == text);
}

// A full disk ends a RAR run as it ends every reader's: 25160 "Disk full"
// with the system's reason, OnError before the entry's one OnEnd, and
// nothing of the file left, under any name.
TEST(UnRar, AFullDiskIsReportedAsInEveryReader) {
  ASSERT_TRUE(TUnRar::LibraryPresent());
  TempDir dir;
  WriteFile(dir / "a.rar", vsktest::kRar5Marker + vsktest::Rar5Main(0) +
                               vsktest::Rar5File(2, "big.bin", vsktest::RandomBytes(200000, 9)) +
                               vsktest::Rar5End(false));
  const vsktest::SmallFileSystem small(dir / "out");
  if (!small.mounted) GTEST_SKIP() << "mounting a tmpfs needs root";
  TUnRar r;
  vsktest::TakeEverything(r, (dir / "a.rar").string(), (dir / "out").string());
  std::vector<std::string> events;
  r.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
    events.push_back("error " + std::to_string(Code));
  };
  r.OnEnd = [&](TZipCommon& Sender, const std::string&, bool Pass) {
    const auto& u = static_cast<TUnBase&>(Sender);
    events.push_back(std::string("end ") + (Pass ? "pass " : "fail ") + std::to_string(u.EntryOutcome) + " " +
                     u.EntryOutcomeReason);
  };
  EXPECT_EQ(r.Extract(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"error " + std::to_string(msg::DiskFull),
                                              "end fail " + std::to_string(eoCannotWrite) + " " +
                                                  std::strerror(ENOSPC)}));
  EXPECT_TRUE(FolderTree(dir / "out").empty());
}

}  // namespace
}  // namespace vsk
