#include "archive/core/entryoutput.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "archive/core/unbase.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/zip/unzip.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::FolderSummary;
using vsktest::FolderTree;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

void Pack(const std::string& Command, const fs::path& Cwd) {
  const auto r = RunTool(Command, Cwd);
  ASSERT_EQ(r.exitCode, 0) << Command << "\n" << r.output;
}

// Dir/x.zip (with ZipFlags) and Dir/x.tar of Files in Src.
void PackBoth(const fs::path& Dir, const fs::path& Src, const std::string& ZipFlags, const std::string& Files) {
  Pack("zip -q -X " + ZipFlags + ShellQuote((Dir / "x.zip").string()) + " " + Files, Src);
  Pack("tar cf " + ShellQuote((Dir / "x.tar").string()) + " " + Files, Src);
}

mode_t ModeOf(const fs::path& P) {
  struct stat st{};
  EXPECT_EQ(lstat(P.c_str(), &st), 0) << P;
  return st.st_mode & 07777;
}

std::shared_ptr<TFolderHandle> Folder(const fs::path& P) {
  return std::make_shared<TFolderHandle>(::open(P.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), 0, 0);
}

// A reader of the kind the case names: ZIP on one thread or on every core, or TAR.
struct TKind {
  std::string Name;
  std::string Archive;
  std::function<std::unique_ptr<TUnBase>()> Make;
};

// A ZIP reader on Threads threads (0: every core).
std::unique_ptr<TUnBase> ZipReader(int Threads) {
  auto z = std::make_unique<TUnZip>();
  z->ThreadCount = Threads;
  return z;
}

std::vector<TKind> Kinds(const fs::path& Zip, const fs::path& Tar) {
  return {
      {"zip on one thread", Zip.string(), [] { return ZipReader(1); }},
      {"zip on every core", Zip.string(), [] { return ZipReader(0); }},
      {"tar", Tar.string(), [] { return std::unique_ptr<TUnBase>(std::make_unique<TUnTar>()); }},
  };
}

// Reader records into Log and extracts Archive into Out.
void Ready(TUnBase& Reader, vsktest::RunLog& Log, const fs::path& Archive, const fs::path& Out) {
  vsktest::Record(Reader, Log);
  vsktest::Aim(Reader, Archive, Out);
}

// Fresh temporary folders, the sources in src; zip and tar make the archives.
class EntryOutput : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("tar")); }
  TempDir dir;
  const fs::path src = dir / "src";
};

// The staged output by itself: nothing at the name until it is placed, an
// existing file replaced only then, and nothing left when it is dropped.
TEST_F(EntryOutput, StagesBesideTheTargetAndPlacesInOneStep) {
  WriteFile(dir / "old.txt", "old");
  {
    TEntryOutput out(Folder(dir.path()), "old.txt");
    ASSERT_TRUE(out.Stage());
    ASSERT_EQ(::write(out.Handle(), "new", 3), 3);
    EXPECT_EQ(ReadFile(dir / "old.txt"), "old");
    EXPECT_FALSE(out.Place(false));  // the name is taken
    EXPECT_EQ(ReadFile(dir / "old.txt"), "old");
  }
  EXPECT_EQ(FolderTree(dir.path()), (std::map<std::string, std::string>{{"old.txt", "old"}}));
  for (const bool named : {false, true}) {
    TEntryOutput out(Folder(dir.path()), "old.txt");
    ASSERT_TRUE(out.Stage(named));
    ASSERT_EQ(::write(out.Handle(), named ? "named" : "new", named ? 5 : 3), named ? 5 : 3);
    ASSERT_TRUE(out.Place(true));
    EXPECT_TRUE(out.CloseHandle());
  }
  EXPECT_EQ(FolderTree(dir.path()), (std::map<std::string, std::string>{{"old.txt", "named"}}));
}

// A process killed while an entry is written over an existing file leaves
// the old file at its name, on one thread, on every core and for TAR.
TEST_F(EntryOutput, AKilledRunLeavesTheOldFileAtItsName) {
  WriteFile(src / "a.txt", "first\n");
  WriteFile(src / "big.bin", vsktest::RandomBytes(6 << 20, 7));
  PackBoth(dir.path(), src, "", "a.txt big.bin");
  for (const auto& kind : Kinds(dir / "x.zip", dir / "x.tar")) {
    SCOPED_TRACE(kind.Name);
    const fs::path out = dir / ("out " + kind.Name);
    WriteFile(out / "big.bin", "the file before");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto reader = kind.Make();
      vsktest::Aim(*reader, kind.Archive, out);
      reader->OnProgress = [](TZipCommon& Sender, Byte ByFile, Byte) {
        if (static_cast<TUnBase&>(Sender).EntryName == "big.bin" && ByFile > 30) ::kill(getpid(), SIGKILL);
      };
      reader->Extract();
      _exit(3);  // never reached: the entry is killed in its midst
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    const auto left = FolderSummary(out);
    EXPECT_EQ(left.at("big.bin"), "the file before");
    // At most the entry before it came out; nothing else, hidden or not.
    for (const auto& [name, data] : left) EXPECT_TRUE(name == "big.bin" || name == "a.txt") << name;
  }
}

// An entry that fails its check never replaces a file; where none stood its
// damaged output stays for salvage, with a failed verdict, and counts.
TEST_F(EntryOutput, ADamagedEntryNeverReplacesAFile) {
  const std::string text = vsktest::TextBytes(200000, 5);
  WriteFile(src / "a.txt", text);
  PackBoth(dir.path(), src, "-0 ", "a.txt");
  // ZIP: one byte of the stored data changed; TAR: the archive cut inside the data.
  std::string zip = ReadFile(dir / "x.zip");
  const auto at = zip.find(text.substr(0, 64));
  ASSERT_NE(at, std::string::npos);
  zip[at + 1000] ^= 0x55;
  vsktest::ReplaceFile(dir / "x.zip", zip);
  fs::resize_file(dir / "x.tar", 512 + 100000);
  for (const auto& kind : Kinds(dir / "x.zip", dir / "x.tar")) {
    for (const bool existing : {false, true}) {
      SCOPED_TRACE(kind.Name + (existing ? " over a file" : " over none"));
      const fs::path out = dir / ("out " + kind.Name + (existing ? " old" : ""));
      fs::create_directories(out);
      if (existing) WriteFile(out / "a.txt", "the file before");
      auto reader = kind.Make();
      vsktest::RunLog log;
      Ready(*reader, log, kind.Archive, out);
      std::vector<TEntryOutcome> outcomes;
      reader->OnEnd = [&](TZipCommon& Sender, const std::string& File, bool Pass) {
        log.verdicts[fs::path(File).filename().string()] = Pass;
        outcomes.push_back(static_cast<TUnBase&>(Sender).EntryOutcome);
      };
      vsktest::RunInto(*reader, log, false);
      EXPECT_EQ(log.result, 0) << log.Describe();
      EXPECT_EQ(outcomes, std::vector<TEntryOutcome>{eoFailedCheck});
      EXPECT_FALSE(log.Verdict("a.txt"));
      const auto left = FolderTree(out);
      ASSERT_EQ(left.size(), 1u);
      if (existing) {
        EXPECT_EQ(left.at("a.txt"), "the file before");
      } else {
        const std::string& kept = left.at("a.txt");
        EXPECT_NE(kept, text);
        EXPECT_EQ(kept.substr(0, 1000), text.substr(0, 1000));
      }
    }
  }
}

// A folder of the output swapped for a link while the entry is written,
// then a cancel: the file of that name behind the link is neither looked at
// nor touched, nothing is left in the moved folder, and the entry does not count.
TEST_F(EntryOutput, AFolderSwappedForALinkThenACancelTouchesNothingOutside) {
  WriteFile(src / "sub/big.bin", vsktest::RandomBytes(4 << 20, 9));
  PackBoth(dir.path(), src, "-r ", "sub");
  for (const auto& kind : Kinds(dir / "x.zip", dir / "x.tar")) {
    for (const bool existing : {false, true}) {
      SCOPED_TRACE(kind.Name + (existing ? " over a file" : ""));
      const fs::path base = dir / (kind.Name + (existing ? " old" : ""));
      const fs::path out = base / "out", outside = base / "outside";
      fs::create_directories(out / "sub");
      if (existing) WriteFile(out / "sub/big.bin", "the file before");
      WriteFile(outside / "big.bin", "outside");
      fs::permissions(outside / "big.bin", fs::perms::owner_read | fs::perms::group_read);
      auto reader = kind.Make();
      vsktest::RunLog log;
      Ready(*reader, log, kind.Archive, out);
      reader->ConfirmOverwrites = true;
      int asked = 0;
      reader->OnFileExists = [&](TZipCommon&, const std::string&, std::string&, TOverwriteMode& Mode) {
        ++asked;
        Mode = omOverwrite;
      };
      bool swapped = false;
      reader->OnProgress = [&](TZipCommon& Sender, Byte ByFile, Byte) {
        if (swapped || ByFile < 20 || static_cast<TUnBase&>(Sender).EntryName.find("big.bin") == std::string::npos)
          return;
        swapped = true;
        fs::rename(out / "sub", out / "moved");
        fs::create_directory_symlink(outside, out / "sub");
        Sender.SetCancel(true);
      };
      vsktest::RunInto(*reader, log, false);
      ASSERT_TRUE(swapped);
      EXPECT_EQ(log.result, 0) << log.Describe();
      EXPECT_EQ(asked, existing ? 1 : 0);
      EXPECT_FALSE(log.Verdict(out.string() + "/sub/big.bin")) << log.Describe();
      EXPECT_EQ(reader->EntryOutcome, eoCancelled);
      EXPECT_EQ(ReadFile(outside / "big.bin"), "outside");
      EXPECT_EQ(ModeOf(outside / "big.bin"), 0440u);
      EXPECT_EQ(FolderTree(outside).size(), 1u);
      auto expected = std::map<std::string, std::string>{{"moved/", ""}, {"sub@", outside.string()}};
      if (existing) expected["moved/big.bin"] = "the file before";
      EXPECT_EQ(FolderTree(out), expected);
    }
  }
}

// A read-only file is replaced only by the rename of a passing entry the
// user agreed to (its mode untouched when it stays): unasked, its create
// fails, for root too. A linked folder in the destination is neither
// asked about nor changed.
TEST_F(EntryOutput, ReadOnlyFilesAndLinkedFoldersAreLeftAsTheyAre) {
  WriteFile(src / "ro.txt", "new contents\n");
  WriteFile(src / "link/f.txt", "inside\n");
  Pack("zip -q -X -r " + ShellQuote((dir / "x.zip").string()) + " ro.txt link", src);
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  for (const int threads : {1, 0}) {
    for (const bool confirm : {false, true}) {
      for (const std::string answer : {"overwrite", "decline", "cancel"}) {
        if (!confirm && answer == "decline") continue;
        SCOPED_TRACE(answer + (confirm ? " when asked" : "") + " on " + std::to_string(threads));
        const fs::path base = dir / (answer + std::to_string(confirm) + std::to_string(threads));
        const fs::path out = base / "out", outside = base / "outside";
        WriteFile(out / "ro.txt", "old");
        fs::permissions(out / "ro.txt", readOnly);
        WriteFile(outside / "f.txt", "outside");
        fs::permissions(outside / "f.txt", readOnly);
        fs::create_directory_symlink(outside, out / "link");
        auto zip = ZipReader(threads);
        TUnBase& reader = *zip;
        vsktest::RunLog log;
        Ready(reader, log, dir / "x.zip", out);
        reader.ConfirmOverwrites = confirm;
        std::vector<std::string> asked;
        reader.OnFileExists = [&](TZipCommon& Sender, const std::string& File, std::string&, TOverwriteMode& Mode) {
          asked.push_back(fs::path(File).filename().string());
          Mode = answer == "decline" ? omSkip : omOverwrite;
          if (answer == "cancel") Sender.SetCancel(true);
        };
        if (!confirm && answer == "cancel")
          reader.OnBegin = [&](TZipCommon& Sender, const std::string& File, int, bool&) {
            if (fs::path(File).filename() == "ro.txt") Sender.SetCancel(true);
          };
        vsktest::RunInto(reader, log, false);
        const bool replaced = answer == "overwrite" && confirm;
        if (!confirm && answer == "overwrite") {
          bool refused = false;
          for (const auto& r : log.reports)
            refused = refused || (r.code == vsk::msg::ErrorOpeningFile && r.file == (out / "ro.txt").string());
          EXPECT_TRUE(refused) << log.Describe();
          EXPECT_FALSE(log.Verdict((out / "ro.txt").string()));
        }
        EXPECT_EQ(asked, confirm ? std::vector<std::string>{"ro.txt"} : std::vector<std::string>{});
        EXPECT_EQ(ReadFile(out / "ro.txt"), replaced ? "new contents\n" : "old");
        if (!replaced) {
          EXPECT_EQ(ModeOf(out / "ro.txt"), 0444u);
        }
        EXPECT_EQ(ReadFile(outside / "f.txt"), "outside");
        EXPECT_EQ(ModeOf(outside / "f.txt"), 0444u);
        EXPECT_EQ(FolderTree(outside).size(), 1u);
        // Written: ro.txt; the linked folder's file is refused (and not counted).
        EXPECT_EQ(log.result, replaced ? 1 : 0) << log.Describe();
        if (replaced) {
          EXPECT_TRUE(log.Verdict((out / "ro.txt").string()));
          EXPECT_FALSE(log.Verdict((out / "link/f.txt").string()));
          EXPECT_EQ(log.failures, 1) << log.Describe();
        }
      }
    }
  }
}

// Five entries over five files of their size on a file system of 2 MiB: on
// one thread and on every core alike (a few times: the jobs' timing varies),
// all are written and nothing else stays.
TEST_F(EntryOutput, ANearlyFullDiskGivesTheSameResultOnEveryCore) {
  std::string names;
  for (int i = 0; i < 5; ++i) {
    WriteFile(src / ("f" + std::to_string(i)), vsktest::RandomBytes(300 * 1024, 20 + i));
    names += " f" + std::to_string(i);
  }
  Pack("zip -q -X " + ShellQuote((dir / "x.zip").string()) + names, src);
  for (int round = 0; round < 5; ++round) {
    const int threads = round == 0 ? 1 : 0;
    SCOPED_TRACE(threads);
    const fs::path out = dir / ("small" + std::to_string(round));
    fs::create_directories(out);
    if (mount("tmpfs", out.c_str(), "tmpfs", 0, "size=2m") != 0) {
      GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    struct TUnmount {
      fs::path P;
      ~TUnmount() { umount2(P.c_str(), MNT_DETACH); }
    } unmount{out};
    for (int i = 0; i < 5; ++i) WriteFile(out / ("f" + std::to_string(i)), vsktest::RandomBytes(300 * 1024, 90 + i));
    auto zip = ZipReader(threads);
    TUnBase& reader = *zip;
    vsktest::RunLog log;
    Ready(reader, log, dir / "x.zip", out);
    reader.ConfirmOverwrites = true;
    reader.OnFileExists = [](TZipCommon&, const std::string&, std::string&, TOverwriteMode& Mode) {
      Mode = omOverwrite;
    };
    vsktest::RunInto(reader, log, false);
    EXPECT_EQ(log.result, 5) << log.Describe();
    EXPECT_TRUE(log.errors.empty()) << log.Describe();
    EXPECT_EQ(log.verdicts.size(), 5u);
    EXPECT_TRUE(log.AllPass());
    EXPECT_EQ(FolderTree(out), FolderTree(src));
  }
}

// What stands in an output's way gives the entry its outcome and its one
// OnEnd: a link planted where a folder must go refuses the name (what it
// leads to gets nothing); a folder at a file's name is refused, whether it
// is met when the user is asked about the name or when the file opens.
TEST_F(EntryOutput, WhatStandsInTheWayGivesTheOutcome) {
  WriteFile(src / "sub/a.txt", "a");
  WriteFile(src / "b.txt", "b");
  PackBoth(dir.path(), src, "", "sub/a.txt b.txt");
  for (const auto& kind : Kinds(dir / "x.zip", dir / "x.tar")) {
    for (const bool confirm : {false, true}) {
      SCOPED_TRACE(kind.Name + (confirm ? ", asked" : ""));
      const fs::path out = dir / (kind.Name + (confirm ? " asked" : "")), away = out.string() + " away";
      fs::create_directories(away);
      fs::create_directories(out / "b.txt");
      fs::create_directory_symlink(away, out / "sub");
      auto reader = kind.Make();
      vsktest::RunLog log;
      Ready(*reader, log, kind.Archive, out);
      reader->ConfirmOverwrites = confirm;
      reader->OnFileExists = [](TZipCommon&, const std::string&, std::string&, TOverwriteMode& Mode) {
        Mode = omOverwrite;
      };
      std::vector<std::pair<std::string, TEntryOutcome>> ends;
      reader->OnEnd = [&](TZipCommon& Sender, const std::string& File, bool) {
        ends.emplace_back(fs::path(File).filename().string(), static_cast<TUnBase&>(Sender).EntryOutcome);
      };
      vsktest::RunInto(*reader, log, false);
      EXPECT_EQ(log.result, 0);
      const std::vector<std::pair<std::string, TEntryOutcome>> want = {
          {"a.txt", eoRefusedName}, {"b.txt", confirm ? eoCannotWrite : eoRefusedName}};
      EXPECT_EQ(ends, want);
      EXPECT_TRUE(fs::is_empty(away));
      EXPECT_TRUE(fs::is_empty(out / "b.txt"));
    }
  }
}

}  // namespace
}  // namespace vsk
