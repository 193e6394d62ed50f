// Canary rows for the writer base, the converter, the ZIP repair and the
// self-extractor builder; and what a run leaves when it is killed, cancelled
// after its commit, or given a source rewritten behind its back.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "archive/formats/cab/makecab.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/zip/zipwriter.h"
#include "archive/tools/arc2arc.h"
#include "archive/tools/makesfx.h"
#include "archive/tools/runscratch.h"
#include "archive/tools/zipfix.h"
#include "base/messages.h"
#include "tests/support/canary.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
using vsk::Byte;
using vsk::TZipCommon;

struct Errors {
  std::vector<int> codes;
  void Bind(TZipCommon& C) {
    C.OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
      codes.push_back(Code);
    };
  }
  bool Has(int Code) const { return std::find(codes.begin(), codes.end(), Code) != codes.end(); }
};

// Scratch files a run may leave beside its output: none may stay.
std::vector<std::string> Scratch(const fs::path& Dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(Dir)) {
    const std::string n = e.path().filename().string();
    if (n.rfind("vsk", 0) == 0) out.push_back(n);
  }
  return out;
}

// Cancels or kills once an entry is well under way.
TZipCommon::TOnProgress Stopper(Ending E) {
  return [E](TZipCommon& Sender, Byte ByFile, Byte) {
    if (ByFile < 40) return;
    if (E == Ending::Kill) KillHere();
    if (E == Ending::Cancel && !Sender.GetCancel()) Sender.SetCancel(true);
  };
}

void MakeSources(const fs::path& Src) {
  WriteFile(Src / "a.bin", RandomBytes(6 << 20, 7));
  WriteFile(Src / "b.txt", TextBytes(20000, 8));
}

// The base's run through the zip writer: a move into a new archive. Its
// sources go only on success; a file that takes the archive's name while
// the run goes on is the user's and is kept (the run fails).
CanaryRow WriterBaseRow() {
  CanaryRow row;
  row.name = "writer base: move into a new zip";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    MakeSources(Dir / "src");
    C.Watch(Dir / "src/a.bin");
    C.Watch(Dir / "src/b.txt");
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    vsk::TZip z;
    Errors errors;
    errors.Bind(z);
    z.SetArchiveFile((Dir / "new.zip").string());
    z.FileSpec = {(Dir / "src/*").string()};
    z.Switch = vsk::swMove;
    z.ThreadCount = 1;
    bool planted = false;
    z.OnProgress = [&, stop = Stopper(E)](TZipCommon& S, Byte F, Byte A) {
      if (E == Ending::Failure && F >= 40 && !planted) {
        C.Plant(Dir / "new.zip");
        planted = true;
      }
      stop(S, F, A);
    };
    if (E == Ending::Success) {
      C.Agree(Dir / "src/a.bin");
      C.Agree(Dir / "src/b.txt");
    }
    const int added = z.Compress();
    EXPECT_EQ(added, E == Ending::Success ? 2 : 0);
    EXPECT_EQ(fs::exists(Dir / "src/a.bin"), E != Ending::Success);
    if (E == Ending::Success) {
      EXPECT_EQ(RunTool("unzip -tq " + ShellQuote((Dir / "new.zip").string())).exitCode, 0);
    }
    if (E == Ending::Cancel) {
      EXPECT_TRUE(errors.Has(vsk::msg::UserCanceled));
    }
    if (E == Ending::Failure) {
      EXPECT_TRUE(errors.Has(vsk::msg::ErrorWritingToFile));
    }
    EXPECT_TRUE(Scratch(Dir).empty());
  };
  return row;
}

// Converting into an output the user agreed to replace: it is replaced
// only by a complete conversion; an entry that fails keeps it.
CanaryRow ConverterRow() {
  CanaryRow row;
  row.name = "converter: zip to an existing tar";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    MakeSources(Dir / "src");
    ASSERT_EQ(RunTool("zip -q -0 -X ../in.zip a.bin b.txt", Dir / "src").exitCode, 0);
    WriteFile(Dir / "old.txt", "the old output's entry\n");
    ASSERT_EQ(RunTool("tar cf out.tar old.txt", Dir).exitCode, 0);
    fs::create_directories(Dir / "tmp");
    C.Watch(Dir / "in.zip");
    C.Watch(Dir / "out.tar");
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    if (E == Ending::Failure) {
      // One byte of b.txt's stored data changed: its check fails.
      C.Agree(Dir / "in.zip");
      std::string bytes = ReadFile(Dir / "in.zip");
      const auto at = bytes.find("b.txt") + 5 + 1000;
      bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
      WriteFile(Dir / "in.zip", bytes);
    }
    vsk::TArc2Arc conv;
    Errors errors;
    errors.Bind(conv);
    conv.SetTempDir((Dir / "tmp").string());
    conv.SetArchiveFile((Dir / "in.zip").string());
    conv.OutArcType = vsk::tyTar;
    conv.NewArchive = (Dir / "out.tar").string();
    conv.OnFileExists = [&](TZipCommon&, const std::string&, vsk::TOverwriteMode& Mode) {
      Mode = vsk::omOverwrite;
    };
    conv.OnProgress = Stopper(E);
    if (E == Ending::Success) C.Agree(Dir / "out.tar");
    EXPECT_EQ(conv.Activate(), E == Ending::Success);
    const std::string listing = RunTool("tar tf " + ShellQuote((Dir / "out.tar").string())).output;
    EXPECT_EQ(listing.find("a.bin") != std::string::npos, E == Ending::Success) << listing;
    if (E == Ending::Failure) {
      EXPECT_TRUE(errors.Has(vsk::msg::ErrorWritingToFile));
    }
    EXPECT_TRUE(fs::is_empty(Dir / "tmp"));
    EXPECT_TRUE(Scratch(Dir).empty());
  };
  return row;
}

// Repairing an archive: never into itself, under whatever name.
CanaryRow RepairRow() {
  CanaryRow row;
  row.name = "repair: output is the input";
  row.endings = {Ending::Success, Ending::Failure, Ending::Kill};
  row.setup = [](const fs::path& Dir, Canaries& C) {
    MakeSources(Dir / "src");
    ASSERT_EQ(RunTool("zip -q -X ../x.zip a.bin b.txt", Dir / "src").exitCode, 0);
    const std::string bytes = ReadFile(Dir / "x.zip");
    WriteFile(Dir / "x.zip", bytes.substr(0, bytes.find("PK\x01\x02")));
    fs::create_hard_link(Dir / "x.zip", Dir / "same.zip");
    C.Watch(Dir / "x.zip");
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries&) {
    vsk::TZipFix fix;
    fix.OnFileFound = [E](vsk::TZipFix&, const std::string&, bool) {
      if (E == Ending::Kill) KillHere();
    };
    const std::string in = (Dir / "x.zip").string();
    if (E == Ending::Failure) {
      for (const char* out : {"x.zip", "same.zip"}) EXPECT_THROW(fix.FixFile(in, (Dir / out).string()), vsk::EFCreateError);
    } else {
      EXPECT_EQ(fix.FixFile(in, (Dir / "fixed.zip").string()), 2);
      EXPECT_EQ(RunTool("unzip -tq " + ShellQuote((Dir / "fixed.zip").string())).exitCode, 0);
    }
    EXPECT_TRUE(Scratch(Dir).empty());
  };
  return row;
}

// Building a self-extractor over an existing program the user agreed to
// replace.
CanaryRow SelfExtractorRow() {
  CanaryRow row;
  row.name = "self-extractor builder: existing program";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    MakeSources(Dir / "src");
    ASSERT_EQ(RunTool("zip -q -X ../x.zip a.bin b.txt", Dir / "src").exitCode, 0);
    WriteFile(Dir / "stubs" / vsk::TMakeSFX::StubFileName(vsk::atZip), std::string(4096, '\x7f'));
    C.Watch(Dir / "x.zip");
    C.Plant(Dir / "x.exe", 0755);
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    if (E == Ending::Failure) fs::remove_all(Dir / "stubs");
    vsk::TMakeSFX m;
    Errors errors;
    errors.Bind(m);
    m.SetSfxStubDir((Dir / "stubs").string());
    m.SetArchiveFile((Dir / "x.zip").string());
    m.SetTargetFile((Dir / "x.exe").string());
    m.OnFileExists = [E](TZipCommon& Sender, const std::string&, vsk::TDateTime, vsk::TOverwriteMode& Mode) {
      if (E == Ending::Kill) KillHere();
      if (E == Ending::Cancel) Sender.SetCancel(true);
      Mode = vsk::omOverwrite;
    };
    if (E == Ending::Success) C.Agree(Dir / "x.exe");
    EXPECT_EQ(m.Activate(), E == Ending::Success);
    if (E == Ending::Success) {
      EXPECT_EQ(RunTool("unzip -tq " + ShellQuote((Dir / "x.exe").string())).exitCode, 0);
    }
    if (E == Ending::Failure) {
      EXPECT_TRUE(errors.Has(vsk::msg::FileNotFound));
    }
    EXPECT_TRUE(Scratch(Dir).empty());
  };
  return row;
}

TEST(ToolCanaryRows, WriterBaseConverterRepairAndSelfExtractor) {
  ASSERT_TRUE(HaveTool("zip") && HaveTool("unzip") && HaveTool("tar"));
  IsolatedEnvironment env;
  CheckCanaryRows({WriterBaseRow(), ConverterRow(), RepairRow(), SelfExtractorRow()});
}

// A cancel asked for once the new archive is in place (OnRead fires after
// the commit) changes nothing: the run succeeded, its sources are gone.
TEST(WriterBase, ACancelAfterTheCommitIsNoFailure) {
  TempDir dir;
  MakeSources(dir / "src");
  vsk::TZip z;
  Errors errors;
  errors.Bind(z);
  z.SetArchiveFile((dir / "a.zip").string());
  z.FileSpec = {(dir / "src/*").string()};
  z.Switch = vsk::swMove;
  z.OnRead = [](TZipCommon& Sender, vsk::Int64, int) { Sender.SetCancel(true); };
  EXPECT_EQ(z.Compress(), 2);
  EXPECT_TRUE(z.Committed());
  EXPECT_FALSE(z.GetCancel());
  EXPECT_FALSE(errors.Has(vsk::msg::UserCanceled));
  EXPECT_FALSE(fs::exists(dir / "src/a.bin"));
  EXPECT_EQ(RunTool("unzip -tq " + ShellQuote((dir / "a.zip").string())).exitCode, 0);
}

// A source rewritten in place after it was read, its last-write time put
// back, is not the file the archive holds: its change time tells.
TEST(WriterBase, AMoveKeepsASourceRewrittenWithItsTimePutBack) {
  TempDir dir;
  MakeSources(dir / "src");
  const fs::path a = dir / "src/a.bin";
  vsk::TZip z;
  Errors errors;
  errors.Bind(z);
  z.SetArchiveFile((dir / "a.zip").string());
  z.FileSpec = {(dir / "src/*").string()};
  z.Switch = vsk::swMove;
  const std::string rewritten = RandomBytes(6 << 20, 99);
  z.OnEnd = [&](TZipCommon&, const std::string& Name, bool) {
    if (fs::path(Name).filename() != "a.bin") return;
    struct stat st;
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    const int fd = ::open(a.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, rewritten.data(), rewritten.size(), 0), static_cast<ssize_t>(rewritten.size()));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(futimens(fd, times), 0);
    ::close(fd);
  };
  EXPECT_EQ(z.Compress(), 2);
  EXPECT_TRUE(errors.Has(vsk::msg::ErrorDeletingFiles));
  EXPECT_EQ(ReadFile(a), rewritten);
  EXPECT_FALSE(fs::exists(dir / "src/b.txt"));
}

// Deleting every entry of a self-extractor leaves the program with an empty
// archive after it.
TEST(WriterBase, DeletingEveryEntryOfASelfExtractorKeepsItsProgram) {
  ASSERT_TRUE(HaveTool("zip") && HaveTool("unzip"));
  TempDir dir;
  MakeSources(dir / "src");
  ASSERT_EQ(RunTool("zip -q -X ../x.zip a.bin b.txt", dir / "src").exitCode, 0);
  const std::string stub(4096, '\x7f');
  WriteFile(dir / "stubs" / vsk::TMakeSFX::StubFileName(vsk::atZip), stub);
  vsk::TMakeSFX m;
  m.SetSfxStubDir((dir / "stubs").string());
  m.SetArchiveFile((dir / "x.zip").string());
  ASSERT_TRUE(m.Activate());
  vsk::TZip z;
  z.SetArchiveFile((dir / "x.exe").string());
  z.FileSpec = {"*"};
  z.Switch = vsk::swDelete;
  EXPECT_EQ(z.Compress(), 2);
  const std::string left = ReadFile(dir / "x.exe");
  ASSERT_EQ(left.size(), stub.size() + 22);
  EXPECT_EQ(left.substr(0, stub.size()), stub);
  EXPECT_EQ(left.substr(stub.size(), 4), "PK\x05\x06");
  EXPECT_NE(RunTool("unzip -l " + ShellQuote((dir / "x.exe").string())).output.find("empty"), std::string::npos);
}

// The cabinet writer's scratch (the old entries unpacked) is its own,
// wherever TempDir lies: never gathered from a folder being added.
TEST(WriterBase, TheCabinetWritersScratchIsNeverAdded) {
  ASSERT_TRUE(HaveTool("cabextract"));
  TempDir dir;
  MakeSources(dir / "src");
  fs::create_directories(dir / "src/tmp");
  vsk::TMakeCab cab;
  cab.SetTempDir((dir / "src/tmp").string());
  cab.SetArchiveFile((dir / "a.cab").string());
  cab.FileSpec = {(dir / "src/*").string()};
  cab.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                         vsk::UInt32, vsk::UInt32, int, int, bool& Replace) { Replace = true; };
  ASSERT_EQ(cab.Compress(), 2);
  WriteFile(dir / "src/c.txt", "added later\n");
  EXPECT_EQ(cab.Compress(), 1);
  const std::string listing = RunTool("cabextract -l " + ShellQuote((dir / "a.cab").string())).output;
  EXPECT_NE(listing.find("c.txt"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("vskcab"), std::string::npos) << listing;
}

// Killed mid-run, a writer leaves nothing beside its archive, and a killed
// conversion's scratch goes with the next conversion.
TEST(WriterBase, AKilledRunLeavesNoScratch) {
  ASSERT_TRUE(HaveTool("zip"));
  IsolatedEnvironment env;
  TempDir dir;
  MakeSources(dir / "src");
  const auto killed = [&](vsk::TCompBase& W, const fs::path& Archive) {
    W.SetArchiveFile(Archive.string());
    W.FileSpec = {(dir / "src/*").string()};
    W.OnProgress = Stopper(Ending::Kill);
    EXPECT_TRUE(RunKilled([&] { W.Compress(); }));
  };
  fs::create_directories(dir / "zip");
  vsk::TZip zip;
  killed(zip, dir / "zip/a.zip");
  EXPECT_TRUE(fs::is_empty(dir / "zip"));
  fs::create_directories(dir / "cab");
  vsk::TMakeCab cab;
  killed(cab, dir / "cab/a.cab");
  EXPECT_TRUE(fs::is_empty(dir / "cab"));
  fs::create_directories(dir / "tgz");
  vsk::TTar tgz;
  tgz.SetCompressMethod(vsk::cmTarGzip);
  killed(tgz, dir / "tgz/a.tar.gz");
  EXPECT_TRUE(fs::is_empty(dir / "tgz"));

  ASSERT_EQ(RunTool("zip -q -0 -X ../in.zip a.bin b.txt", dir / "src").exitCode, 0);
  fs::create_directories(dir / "tmp");
  fs::create_directories(dir / "out");
  WriteFile(dir / "out/x.tar", "the user's");
  const auto convert = [&](bool Kill) {
    vsk::TArc2Arc conv;
    conv.SetTempDir((dir / "tmp").string());
    conv.SetArchiveFile((dir / "in.zip").string());
    conv.OutArcType = vsk::tyTar;
    conv.NewArchive = (dir / "out/x.tar").string();
    conv.OnFileExists = [](TZipCommon&, const std::string&, vsk::TOverwriteMode& Mode) { Mode = vsk::omOverwrite; };
    if (Kill) {
      conv.OnCompressBegin = [](TZipCommon&, const std::string&, int, bool&) { KillHere(); };
      EXPECT_TRUE(RunKilled([&] { conv.Activate(); }));
    } else {
      EXPECT_TRUE(conv.Activate());
    }
  };
  convert(true);
  EXPECT_FALSE(fs::is_empty(dir / "tmp"));  // what the killed run left
  EXPECT_EQ(ReadFile(dir / "out/x.tar"), "the user's");
  convert(false);
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
}

// A run folder goes only once its owner is gone: not this process's own,
// not one whose lock is held, and then it does.
TEST(RunFolders, ASweepTakesOnlyFoldersOfRunsThatAreGone) {
  TempDir dir;
  vsk::TRunFolder mine;
  ASSERT_TRUE(mine.Make(dir.str()));
  EXPECT_TRUE(RunKilled([&] {
    vsk::TRunFolder left;
    if (left.Make(dir.str())) KillHere();
  }));
  fs::path left;
  for (const auto& e : fs::directory_iterator(dir.path()))
    if (e.path() != mine.Path()) left = e.path();
  ASSERT_FALSE(left.empty());
  const int lock = ::open((left / ".lock").c_str(), O_RDONLY);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);  // as a process of that id elsewhere would
  EXPECT_EQ(vsk::SweepRunFolders(dir.str()), 0);
  ::close(lock);
  EXPECT_EQ(vsk::SweepRunFolders(dir.str()), 1);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(mine.Path()));
  mine.Remove();
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
