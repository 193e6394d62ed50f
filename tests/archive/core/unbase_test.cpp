#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "archive/core/unbase.h"
#include "archive/formats/ace/unace.h"
#include "archive/formats/cab/uncab.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/rar/unrar.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/zip/unzip.h"
#include "base/pump.h"
#include "tests/libs/ace/aceencoder.h"
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

// Every reader, whoever writes its output (the reader itself, the ZIP
// reader's decode-ahead workers, or an outside library): an entry cancelled
// while it is written leaves nothing of itself, the file it was to replace
// is back as it was, it is not counted, and what came before it stays.
TEST(ReaderBase, ACancelledEntryLeavesNothingOfItselfBehind) {
  for (const char* tool : {"zip", "gzip", "tar", "gcab"})
    ASSERT_TRUE(vsktest::HaveTool(tool)) << tool << " is needed";
  TempDir dir;
  const fs::path src = dir / "src";
  const std::string big = vsktest::RandomBytes(6 << 20, 3);
  WriteFile(src / "a.txt", "first\n");
  WriteFile(src / "big.bin", big);
  const auto pack = [&](const std::string& Command) {
    const auto r = RunTool(Command, src);
    EXPECT_EQ(r.exitCode, 0) << Command << "\n" << r.output;
  };
  pack("zip -q -X " + ShellQuote((dir / "x.zip").string()) + " a.txt big.bin");
  pack("tar cf " + ShellQuote((dir / "x.tar").string()) + " a.txt big.bin");
  pack("gcab -c -z " + ShellQuote((dir / "x.cab").string()) + " a.txt big.bin");
  pack("gzip -1 -c big.bin > " + ShellQuote((dir / "big.bin.gz").string()));
  vsktest::WriteAce((dir / "x.ace").string(), {{.name = "a.txt", .data = "first\n"}, {.name = "big.bin", .data = big}});
  const std::string rar = std::string(BREVANE_FIXTURES_DIR) + "/rar/rar_binary_data.rar";

  struct TCase {
    std::string Name;
    std::function<std::unique_ptr<TUnBase>()> Make;
    std::string Archive;
    std::string Cancelled;  // the entry cancelled while it is written
    std::string Before;     // an entry that came out before it, or ""
  };
  const std::vector<TCase> cases = {
      {"zip", [] { return std::make_unique<TUnZip>(); }, (dir / "x.zip").string(), "big.bin", "a.txt"},
      {"zip on one thread",
       [] {
         auto z = std::make_unique<TUnZip>();
         z->ThreadCount = 1;
         return z;
       },
       (dir / "x.zip").string(), "big.bin", "a.txt"},
      {"tar", [] { return std::make_unique<TUnTar>(); }, (dir / "x.tar").string(), "big.bin", "a.txt"},
      {"gzip", [] { return std::make_unique<TUnGZip>(); }, (dir / "big.bin.gz").string(), "big.bin", ""},
      {"cab", [] { return std::make_unique<TUnCab>(); }, (dir / "x.cab").string(), "big.bin", "a.txt"},
      {"ace", [] { return std::make_unique<TUnACE>(); }, (dir / "x.ace").string(), "big.bin", "a.txt"},
      {"rar", [] { return std::make_unique<TUnRar>(); }, rar, "random_data.bin", ""},
  };
  for (const auto& c : cases) {
    for (const bool existing : {false, true}) {
      SCOPED_TRACE(c.Name + (existing ? " over an existing file" : ""));
      const fs::path out = dir / ("out " + c.Name + (existing ? " old" : ""));
      fs::create_directories(out);
      if (existing) WriteFile(out / c.Cancelled, "the file before");
      const auto before = FolderSummary(out);

      auto reader = c.Make();
      vsktest::RunLog log;
      vsktest::Record(*reader, log);
      vsktest::Aim(*reader, c.Archive, out);
      reader->ConfirmOverwrites = false;
      reader->OverwriteMode = omOverwrite;
      bool cancelled = false;
      reader->OnProgress = [&](TZipCommon& Sender, Byte ByFile, Byte) {
        auto& r = static_cast<TUnBase&>(Sender);
        if (!cancelled && ByFile > 10 && ByFile < 90 && fs::path(r.EntryName).filename() == c.Cancelled) {
          cancelled = true;
          Sender.SetCancel(true);
        }
      };
      vsktest::RunInto(*reader, log, false);
      ASSERT_TRUE(cancelled);
      EXPECT_EQ(log.result, c.Before.empty() ? 0 : 1) << log.Describe();
      EXPECT_GE(log.Count(msg::UserCanceled), 1) << log.Describe();

      auto expected = before;
      if (!c.Before.empty()) expected[c.Before] = "first\n";
      EXPECT_EQ(FolderSummary(out), expected);
    }
  }
}


// The reader base keeps the folders it walked open for the next entries. When
// the caller's code runs between two entries (a handler, the message pump)
// and moves a folder away and plants a link in its place, the next entry is
// refused as a fresh walk refuses it: nothing lands in the moved folder or
// behind the link.
TEST(ReaderBase, FoldersTheCallerChangesBetweenEntriesAreWalkedAfresh) {
  for (const char* tool : {"zip", "tar", "gcab"}) ASSERT_TRUE(vsktest::HaveTool(tool)) << tool << " is needed";
  TempDir dir;
  const fs::path src = dir / "src";
  for (const char* name : {"d/a.txt", "d/b.txt", "d/c.txt", "e/f.txt"})
    WriteFile(src / name, vsktest::TextBytes(200000, static_cast<std::uint32_t>(name[2])));
  const std::string names = "d/a.txt d/b.txt d/c.txt e/f.txt";
  for (const std::string& command : {"zip -q " + ShellQuote((dir / "x.zip").string()) + " " + names,
                                     "tar cf " + ShellQuote((dir / "x.tar").string()) + " " + names,
                                     "gcab -c -z " + ShellQuote((dir / "x.cab").string()) + " " + names}) {
    const auto r = RunTool(command, src);
    ASSERT_EQ(r.exitCode, 0) << command << "\n" << r.output;
  }
  struct TCase {
    std::string Name;
    std::function<std::unique_ptr<TUnBase>()> Make;
    std::string Archive;
    bool ByPump;  // else by OnBegin
  };
  auto zip = [](int Threads) {
    return [Threads] {
      auto z = std::make_unique<TUnZip>();
      z->ThreadCount = Threads;
      return std::unique_ptr<TUnBase>(std::move(z));
    };
  };
  const std::string zipFile = (dir / "x.zip").string();
  const std::vector<TCase> cases = {
      {"zip", zip(4), zipFile, false},
      {"zip on one thread", zip(1), zipFile, false},
      {"zip, by the pump", zip(4), zipFile, true},
      {"zip on one thread, by the pump", zip(1), zipFile, true},
      {"tar", [] { return std::make_unique<TUnTar>(); }, (dir / "x.tar").string(), false},
      {"cab", [] { return std::make_unique<TUnCab>(); }, (dir / "x.cab").string(), false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path out = dir / ("out" + std::to_string(n)), outside = dir / ("outside" + std::to_string(n++));
    fs::create_directories(outside / "target");
    bool swapped = false;
    auto swap = [&] {
      swapped = true;
      fs::rename(out / "d", outside / "moved");
      fs::create_directory_symlink(outside / "target", out / "d");
    };
    auto reader = c.Make();
    vsktest::RunLog log;
    vsktest::Record(*reader, log, !c.ByPump);
    vsktest::Aim(*reader, c.Archive, out);
    if (c.ByPump) {
      SetMessagePump([&] {
        if (!swapped && fs::exists(out / "d/a.txt")) swap();
      });
    } else {
      reader->OnBegin = [&](TZipCommon&, const std::string& File, int, bool&) {
        if (!swapped && File.size() > 7 && File.compare(File.size() - 7, 7, "d/b.txt") == 0) swap();
      };
    }
    vsktest::RunInto(*reader, log, false);
    SetMessagePump({});
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(fs::is_empty(outside / "target"));
    EXPECT_EQ(FolderTree(outside / "moved"), (std::map<std::string, std::string>{{"a.txt", ReadFile(src / "d/a.txt")}}));
    bool refused = false;
    for (const auto& r : log.reports) refused = refused || (r.code == msg::ErrorOpeningFile && r.file == (out / "d/b.txt").string());
    EXPECT_TRUE(refused) << log.Describe();
  }
  // The destination itself, moved away and replaced by a link to another
  // folder: the run goes on in the folder it opened, never behind the link.
  for (const auto& c : cases) {
    if (c.ByPump) continue;
    SCOPED_TRACE(c.Name + ", the destination");
    const fs::path out = dir / ("root" + std::to_string(n)), outside = dir / ("rootside" + std::to_string(n++));
    fs::create_directories(outside / "target");
    bool swapped = false;
    auto reader = c.Make();
    vsktest::RunLog log;
    vsktest::Record(*reader, log, true);
    vsktest::Aim(*reader, c.Archive, out);
    reader->OnBegin = [&](TZipCommon&, const std::string& File, int, bool&) {
      if (swapped || File.size() < 7 || File.compare(File.size() - 7, 7, "d/b.txt") != 0) return;
      swapped = true;
      fs::rename(out, outside / "moved");
      fs::create_directory_symlink(outside / "target", out);
    };
    vsktest::RunInto(*reader, log, false);
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(fs::is_empty(outside / "target"));
    EXPECT_EQ(ReadFile(outside / "moved/e/f.txt"), ReadFile(src / "e/f.txt")) << log.Describe();
  }
}

// Text translation is the gzip reader's alone: any other reader clears the
// option when its run starts and writes its entries as they are stored.
TEST(ReaderBase, OnlyTheGzipReaderTranslatesText) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  TempDir dir;
  const std::string text = "one\ntwo\n";
  WriteFile(dir / "src/t.txt", text);
  ASSERT_EQ(RunTool("tar cf ../t.tar t.txt", dir / "src").exitCode, 0);
  TUnTar t;
  t.SetArchiveFile((dir / "t.tar").string());
  t.SetExtractDir((dir / "out").string());
  t.FileSpec = {"*.*"};
  t.AsciiTranslation = true;
  EXPECT_EQ(t.Extract(), 1);
  EXPECT_FALSE(t.AsciiTranslation);
  EXPECT_EQ(ReadFile(dir / "out/t.txt"), text);
}

}  // namespace
}  // namespace vsk
