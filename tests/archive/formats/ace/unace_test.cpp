// Extracting and testing ACE archives through the ACE library. The test
// encoder writes the archives; Debian's unace extracts each one first and
// the reader must give the same tree.

#include "archive/formats/ace/unace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/tools/arc2arc.h"
#include "archive/tools/zipcheck.h"
#include "tests/platform/ace/aceencoder.h"
#include "tests/support/archivebytes.h"
#include "tests/support/readerevents.h"
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
constexpr int kInvalidPassword = 26517;

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
  bad.R.Extract();
  EXPECT_FALSE(bad.Events.Verdicts.at((dir / "bad" / "binary.bin").string()));
  EXPECT_TRUE(bad.Events.Verdicts.at((dir / "bad" / "docs" / "more.txt").string()));
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

// Encrypted files ask for the password, once each, and then fail cleanly
// (the library has no cipher) whatever is typed; an unsupported method is
// refused; an existing output given a new name keeps the old file.
TEST(UnACE, PasswordsMethodsAndRenamedOutput) {
  TempDir dir;
  const std::string arc = (dir / "mixed.ace").string();
  vsktest::WriteAce(arc, {{.name = "plain.txt", .data = kText},
                          {.name = "secret1.txt", .data = "xxxxxxxx", .lz77 = false, .flags = 0x4000},
                          {.name = "secret2.txt", .data = "yyyyyyyy", .lz77 = false, .flags = 0x4000},
                          {.name = "later.txt", .data = "later", .lz77 = false, .methodByte = 2},
                          {.name = "last.txt", .data = kBinary}});
  fs::create_directories(dir / "out");
  WriteFile(dir / "out" / "plain.txt", "the old one");
  TRun run(arc, dir / "out");
  run.R.ConfirmOverwrites = true;
  run.R.OnFileExists = [&](TZipCommon&, const std::string&, std::string& NewName, TOverwriteMode& Mode) {
    NewName = (dir / "out" / "renamed.txt").string();
    Mode = omOverwrite;
  };
  std::vector<std::string> asked;
  run.R.OnGetPassword = [&](TZipCommon&, const std::string& File, std::string& Password, bool&) {
    asked.push_back(fs::path(File).filename().string());
    Password = asked.size() == 1 ? "wrong" : "right";
  };
  EXPECT_EQ(run.R.Extract(), 2);
  EXPECT_EQ(asked, (std::vector<std::string>{"secret1.txt", "secret2.txt"}));
  EXPECT_EQ(run.Events.Codes(), (std::vector<int>{kInvalidPassword, kInvalidPassword, msg::UnsupportedMethod}));
  EXPECT_EQ(ReadFile(dir / "out" / "plain.txt"), "the old one");
  EXPECT_EQ(ReadFile(dir / "out" / "renamed.txt"), kText);
  EXPECT_EQ(ReadFile(dir / "out" / "last.txt"), kBinary);
  for (const char* gone : {"secret1.txt", "secret2.txt", "later.txt"}) EXPECT_FALSE(fs::exists(dir / "out" / gone));
  EXPECT_EQ(FolderTree(dir / "out").size(), 3u);

  // Without a handler the password cannot be asked: the run ends there.
  TRun unasked(arc);
  unasked.R.TestArchive();
  EXPECT_EQ(unasked.Events.Codes(), std::vector<int>{msg::RequiredEventNotAssigned});
  EXPECT_TRUE(unasked.Events.Verdicts.at("plain.txt"));
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
