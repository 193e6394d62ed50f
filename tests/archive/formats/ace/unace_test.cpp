// Extracting and testing ACE archives through the ACE library. The test
// encoder writes the archives; Debian's unace extracts each one first and
// the reader must give the same tree.

#include "archive/formats/ace/unace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/tools/arc2arc.h"
#include "archive/tools/zipcheck.h"
#include "tests/libs/ace/aceencoder.h"
#include "tests/support/archivebytes.h"
#include "tests/support/readerevents.h"
#include "tests/support/smallfs.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::AceEntry;
using vsktest::AceOptions;
using vsktest::FolderTree;
using vsktest::ReadFile;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

constexpr int kLibraryError = 25103;
constexpr int kUnknownError = 25355;

const std::string kText = vsktest::TextBytes(60000, 21);
const std::string kBinary = vsktest::RandomBytes(40000, 22);

std::vector<AceEntry> Sample(bool Lz77 = true) {
  return {{.name = "docs", .folder = true},
          {.name = "docs/text.txt", .data = kText, .lz77 = Lz77},
          {.name = "binary.bin", .data = kBinary, .lz77 = Lz77},
          {.name = "empty.txt", .data = ""},
          {.name = "docs/more.txt", .data = kText.substr(500, 30000) + kBinary.substr(0, 3000), .lz77 = Lz77}};
}

struct TRun {
  explicit TRun(const std::string& Archive, const fs::path& Dest = {}) {
    vsktest::TakeEverything(R, Archive, Dest.string());
    R.OnNextVolume = [this](TZipCommon&, std::string& Name, const std::string&, bool Exists, bool& Cancel) {
      Volumes.push_back(Name);
      Cancel = !Exists;
    };
  }
  TUnACE R;
  vsktest::ReaderEvents Events{R};
  std::vector<std::string> Volumes;
};

// unace's tree of Archive.
std::map<std::string, std::string> UnaceTree(const std::string& Archive, const fs::path& Dir) {
  fs::create_directories(Dir);
  const auto x = vsktest::RunTool("unace x -y " + ShellQuote(Archive) + " </dev/null", Dir);
  EXPECT_EQ(x.exitCode, 0) << x.output;
  return FolderTree(Dir);
}

// Stored, LZ77, solid and a volume set: extracted as unace extracts them,
// tested clean, alone and through the tester.
TEST(UnACE, ExtractsAndTestsLikeUnace) {
  ASSERT_TRUE(vsktest::HaveTool("unace"));
  TempDir dir;
  struct Case {
    const char* name;
    bool lz77;
    AceOptions options;
  };
  const Case cases[] = {{"stored.ace", false, {}},
                        {"lz77.ace", true, {.dictionaryBits = 12, .blockSymbols = 900}},
                        {"solid.ace", true, {.solid = true, .dictionaryBits = 20}},
                        {"volumes.ace", true, {.solid = true, .dictionaryBits = 16, .volumeSize = 30000}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string arc = (dir / c.name).string();
    const auto volumes = vsktest::WriteAce(arc, Sample(c.lz77), c.options);
    const fs::path ours = dir / (std::string(c.name) + ".ours");
    const auto expected = UnaceTree(arc, dir / (std::string(c.name) + ".unace"));
    TRun run(arc, ours);
    EXPECT_EQ(run.R.Extract(), 4);
    EXPECT_EQ(FolderTree(ours), expected);
    EXPECT_TRUE(run.Events.Errors.empty());
    EXPECT_EQ(run.Events.Verdicts.size(), 4u);
    for (const auto& [name, pass] : run.Events.Verdicts) EXPECT_TRUE(pass) << name;
    EXPECT_EQ(run.Volumes.size(), volumes.size() - 1);

    TZipCheck check;
    check.SetArchiveFile(arc);
    check.FileSpec = {"*.*"};
    std::map<std::string, bool> status;
    check.OnStatus = [&](TZipCommon&, const std::string& File, bool Pass) { status[File] = Pass; };
    check.OnNextVolume = run.R.OnNextVolume;
    check.OnError = [](TZipCommon&, const std::string& File, const std::string&, const std::string&, int Code) {
      ADD_FAILURE() << File << " " << Code;
    };
    EXPECT_EQ(check.Activate(), 4);
    const std::map<std::string, bool> all = {
        {"docs/text.txt", true}, {"binary.bin", true}, {"empty.txt", true}, {"docs/more.txt", true}};
    EXPECT_EQ(status, all);
  }

  // A self-extractor: a program in front of the archive.
  WriteFile(dir / "sfx.exe", vsktest::SfxStub(20000) + ReadFile(dir / "lz77.ace"));
  TRun sfx((dir / "sfx.exe").string(), dir / "sfx");
  EXPECT_EQ(sfx.R.ArcType(), atAceExe);
  EXPECT_EQ(sfx.R.Extract(), 4);
  EXPECT_EQ(FolderTree(dir / "sfx"), FolderTree(dir / "lz77.ace.unace"));

  // The converter takes ACE archives as input.
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  TArc2Arc conv;
  conv.SetArchiveFile((dir / "solid.ace").string());
  conv.OutArcType = tyZip;
  conv.NewArchive = (dir / "solid.zip").string();
  conv.OnError = [](TZipCommon&, const std::string& File, const std::string&, const std::string&, int Code) {
    ADD_FAILURE() << File << " " << Code;
  };
  conv.Activate();
  fs::create_directories(dir / "unzipped");
  EXPECT_EQ(vsktest::RunTool("unzip -q " + ShellQuote(conv.NewArchive) + " -d " + ShellQuote((dir / "unzipped").string()))
                .exitCode,
            0);
  EXPECT_EQ(FolderTree(dir / "unzipped"), FolderTree(dir / "solid.ace.unace"));

  // A damaged byte fails that file alone; a volume set whose next volume
  // is declined stops with nothing half written.
  std::string bytes = ReadFile(dir / "stored.ace");
  bytes[bytes.find(kBinary.substr(0, 64)) + 100] ^= 0x55;
  WriteFile(dir / "bad.ace", bytes);
  TRun bad((dir / "bad.ace").string(), dir / "bad");
  const int count = bad.R.Extract();
  EXPECT_FALSE(bad.Events.Verdicts.at((dir / "bad" / "binary.bin").string()));
  EXPECT_TRUE(bad.Events.Verdicts.at((dir / "bad" / "docs" / "more.txt").string()));
  // Only the files written count.
  EXPECT_EQ(count, static_cast<int>(std::count_if(bad.Events.Verdicts.begin(), bad.Events.Verdicts.end(),
                                                  [](const auto& v) { return v.second; })));
  EXPECT_EQ(count + 1, static_cast<int>(bad.Events.Verdicts.size()));
  // A header too short for its own flags after the main header.
  const std::string head = bytes.substr(0, 4 + (static_cast<Byte>(bytes[2]) | static_cast<Byte>(bytes[3]) << 8));
  WriteFile(dir / "short.ace", head + std::string("\0\0\x01\0\x02", 5));
  TRun shortHeader((dir / "short.ace").string());
  EXPECT_EQ(shortHeader.R.TestArchive(), 0);
  TRun declined((dir / "volumes.ace").string(), dir / "declined");
  declined.R.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) { Cancel = true; };
  declined.R.Extract();
  EXPECT_EQ(declined.Events.Codes(), std::vector<int>{msg::UserCanceled});
  EXPECT_FALSE(fs::exists(dir / "declined" / "binary.bin"));
}

// Encrypted files are refused once each as not supported (the library has
// no cipher), without a password being asked; an unsupported method is
// refused; an existing output given a new name keeps the old file.
TEST(UnACE, EncryptedMethodsAndRenamedOutput) {
  TempDir dir;
  const std::string arc = (dir / "mixed.ace").string();
  vsktest::WriteAce(arc, {{.name = "plain.txt", .data = kText},
                          {.name = "secret1.txt", .data = "xxxxxxxx", .lz77 = false, .flags = 0x4000},
                          {.name = "secret2.txt", .data = "yyyyyyyy", .lz77 = false, .flags = 0x4000},
                          {.name = "later.txt", .data = "later", .lz77 = false, .methodByte = 2},
                          {.name = "last.txt", .data = kBinary}});
  WriteFile(dir / "out" / "plain.txt", "the old one");
  WriteFile(dir / "out" / "secret1.txt", "old secret");
  TRun run(arc, dir / "out");
  run.R.ConfirmOverwrites = true;
  run.R.OnFileExists = [&](TZipCommon&, const std::string& File, std::string& NewName, TOverwriteMode& Mode) {
    if (fs::path(File).filename() == "plain.txt") NewName = (dir / "out" / "renamed.txt").string();
    Mode = omOverwrite;
  };
  int asked = 0;
  run.R.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& Password, bool&) {
    ++asked;
    Password = "right";
  };
  EXPECT_EQ(run.R.Extract(), 2);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(run.Events.Errors, (std::vector<std::pair<int, std::string>>{
                                   {msg::EncryptedNotSupported, (dir / "out" / "secret1.txt").string()},
                                   {msg::EncryptedNotSupported, (dir / "out" / "secret2.txt").string()},
                                   {msg::UnsupportedMethod, (dir / "out" / "later.txt").string()}}));
  EXPECT_EQ(FolderTree(dir / "out"), (std::map<std::string, std::string>{{"plain.txt", "the old one"},
                                                                          {"renamed.txt", kText},
                                                                          {"secret1.txt", "old secret"},
                                                                          {"last.txt", kBinary}}));

  // Testing, with no password handler, says the same and goes on.
  TRun tested(arc);
  tested.R.TestArchive();
  EXPECT_EQ(tested.Events.Codes(),
            (std::vector<int>{msg::EncryptedNotSupported, msg::EncryptedNotSupported, msg::UnsupportedMethod}));
  EXPECT_TRUE(tested.Events.Verdicts.at("plain.txt"));
  EXPECT_TRUE(tested.Events.Verdicts.at("last.txt"));
}

// A small file system of its own at a folder, while the object lives.
using OtherFileSystem = vsktest::SmallFileSystem;

// A new name on another file system: the file is staged there, beside its
// new name; one that does not fit there ends the run as a full disk does,
// the old file stays and nothing of the new one is left anywhere.
TEST(UnACE, RenamedOutputOnAnotherFileSystem) {
  TempDir dir;
  const std::string arc = (dir / "a.ace").string();
  vsktest::WriteAce(arc, {{.name = "big.txt", .data = kText}, {.name = "small.txt", .data = "small data"}});
  TRun(arc, dir / "fresh").R.Extract();
  const fs::path out = dir / "out", other = dir / "other";
  WriteFile(out / "big.txt", "old big");
  WriteFile(out / "small.txt", "old small");
  const OtherFileSystem mounted(other);
  if (!mounted.mounted) GTEST_SKIP() << "mounting a tmpfs needs root";
  TRun run(arc, out);
  run.R.ConfirmOverwrites = true;
  run.R.OnFileExists = [&](TZipCommon&, const std::string& File, std::string& NewName, TOverwriteMode& Mode) {
    NewName = (other / fs::path(File).filename()).string();
    Mode = omOverwrite;
  };
  EXPECT_EQ(run.R.Extract(), 0);
  EXPECT_EQ(run.Events.Verdicts, (std::map<std::string, bool>{{(other / "big.txt").string(), false}}));
  ASSERT_FALSE(run.Events.Errors.empty());
  EXPECT_EQ(run.Events.Errors[0].first, msg::DiskFull);
  EXPECT_EQ(run.R.EntryOutcome, eoCannotWrite);
  EXPECT_TRUE(FolderTree(other).empty());
  EXPECT_EQ(FolderTree(out),
            (std::map<std::string, std::string>{{"big.txt", "old big"}, {"small.txt", "old small"}}));
}

// With UseStoredDirs off, FileSpec still names files by their stored names,
// folders and all, as "Extract selected" passes them.
TEST(UnACE, SelectsByStoredNamesWithoutFolders) {
  TempDir dir;
  const std::string arc = (dir / "a.ace").string();
  vsktest::WriteAce(arc, Sample());
  TRun run(arc, dir / "flat");
  run.R.UseStoredDirs = false;
  run.R.FileSpec = {"docs/more.txt", "binary.bin"};
  EXPECT_EQ(run.R.Extract(), 2);
  EXPECT_TRUE(run.Events.Errors.empty());
  EXPECT_EQ(FolderTree(dir / "flat"), (std::map<std::string, std::string>{
                                          {"more.txt", kText.substr(500, 30000) + kBinary.substr(0, 3000)},
                                          {"binary.bin", kBinary}}));
}

// No output replaces the archive or a volume read before it; the other
// files still come out. The set's files are named as its first two
// volumes; the first file goes on in the second.
TEST(UnACE, NeverWritesOverItsOwnVolumes) {
  TempDir dir;
  const fs::path set = dir / "set";
  fs::create_directories(set);
  const auto volumes = vsktest::WriteAce((set / "v.ace").string(),
                                         {{.name = "a.bin", .data = kBinary, .lz77 = false},
                                          {.name = "v.c00", .data = "second"},
                                          {.name = "v.ace", .data = "first"}},
                                         {.volumeSize = 30000});
  ASSERT_GE(volumes.size(), 2u);
  std::vector<std::string> before;
  for (const auto& v : volumes) before.push_back(ReadFile(v));
  TRun run(volumes[0]);
  EXPECT_EQ(run.R.Extract(), 1);
  EXPECT_EQ(run.Events.Codes(), (std::vector<int>{msg::SameInputOutput, msg::SameInputOutput}));
  for (std::size_t i = 0; i < volumes.size(); ++i) EXPECT_EQ(ReadFile(volumes[i]), before[i]) << i;
  EXPECT_EQ(ReadFile(set / "a.bin"), kBinary);
}

// Every later volume of a set is the archive's from the start: files named
// like the second and third volumes, met before either is read, are
// refused, every volume stays as it was and the other files come out.
TEST(UnACE, NeverWritesOverItsLaterVolumes) {
  TempDir dir;
  const fs::path set = dir / "set";
  fs::create_directories(set);
  const std::string big = kBinary + vsktest::RandomBytes(40000, 23);
  const auto volumes = vsktest::WriteAce((set / "w.ace").string(),
                                         {{.name = "w.c00", .data = "not volume 2"},
                                          {.name = "w.c01", .data = "not volume 3"},
                                          {.name = "big.bin", .data = big, .lz77 = false},
                                          {.name = "after.txt", .data = "after"}},
                                         {.volumeSize = 30000});
  ASSERT_GE(volumes.size(), 3u);
  ASSERT_EQ(fs::path(volumes[2]).filename(), "w.c01");
  std::vector<std::string> before;
  for (const auto& v : volumes) before.push_back(ReadFile(v));
  TRun run(volumes[0]);
  EXPECT_EQ(run.R.Extract(), 2);
  EXPECT_EQ(run.Events.Errors, (std::vector<std::pair<int, std::string>>{
                                   {msg::SameInputOutput, (set / "w.c00").string()},
                                   {msg::SameInputOutput, (set / "w.c01").string()}}));
  for (std::size_t i = 0; i < volumes.size(); ++i) EXPECT_EQ(ReadFile(volumes[i]), before[i]) << i;
  EXPECT_EQ(ReadFile(set / "big.bin"), big);
  EXPECT_EQ(ReadFile(set / "after.txt"), "after");
}

// A missing library, a cancel in the middle of a file, and a second run
// started while one is active.
TEST(UnACE, LibraryMissingCancelAndOneRunAtATime) {
  TempDir dir;
  const std::string arc = (dir / "a.ace").string();
  vsktest::WriteAce(arc, Sample());
  {
    TempDir empty;
    vsktest::ScopedEnv hidden("BREVANE_LIBRARY_DIR", empty.str());
    TRun run(arc, dir / "none");
    EXPECT_EQ(run.R.Extract(), 0);
    EXPECT_EQ(run.Events.Codes(), std::vector<int>{kLibraryError});
  }

  TRun cancel(arc, dir / "cancel");
  int steps = 0;
  cancel.R.OnProgress = [&](TZipCommon& Sender, Byte, Byte) {
    if (++steps == 2) Sender.SetCancel(true);
  };
  cancel.R.Extract();
  EXPECT_EQ(cancel.Events.Codes(), std::vector<int>{msg::UserCanceled});
  EXPECT_FALSE(fs::exists(dir / "cancel" / "docs" / "text.txt"));
  EXPECT_FALSE(fs::exists(dir / "cancel" / "binary.bin"));

  TRun first(arc, dir / "first");
  TRun second(arc, dir / "second");
  first.R.OnBegin = [&](TZipCommon&, const std::string&, int, bool&) {
    if (second.Events.Errors.empty()) {
      EXPECT_EQ(second.R.Extract(), 0);
    }
  };
  EXPECT_EQ(first.R.Extract(), 4);
  EXPECT_TRUE(first.Events.Errors.empty());
  EXPECT_EQ(second.Events.Codes(), std::vector<int>{kUnknownError});
  EXPECT_FALSE(fs::exists(dir / "second" / "binary.bin"));
  EXPECT_EQ(second.R.Extract(), 4);
}

}  // namespace
}  // namespace vsk
