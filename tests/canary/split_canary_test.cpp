// Canary rows for files split over volumes: every volume of the set is
// watched, and a file of the user's stands at the split file's name. Only a
// run that got every part sound, and was told Yes for that very name,
// replaces it.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "archive/formats/arj/unarj.h"
#include "archive/formats/rar/unrar.h"
#include "tests/support/canary.h"
#include "tests/support/rar5build.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
using vsk::Byte;
using vsk::TOverwriteMode;
using vsk::TUnBase;
using vsk::TZipCommon;

// Changes four bytes in the middle of Path.
void Damage(const fs::path& Path) {
  std::fstream f(Path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(fs::file_size(Path) / 2));
  f.write("\x5a\x5a\x5a\x5a", 4);
}

// Extracts the set whose first volume is First into its own folder, where
// big.bin stands: asked about it, the user says Yes (agreed only then);
// the run ends as E asks, in the split file's second part.
void RunSplit(TUnBase& Reader, const fs::path& First, Ending E, Canaries& C) {
  const fs::path dir = First.parent_path();
  RunLog log;
  Record(Reader, log);
  Aim(Reader, First, dir);
  Reader.ConfirmOverwrites = true;
  Reader.OnFileExists = [&](TZipCommon&, const std::string& File, std::string&, TOverwriteMode& Mode) {
    Mode = vsk::omOverwrite;
    if (fs::path(File) == dir / "big.bin") C.Agree(File);
  };
  int volumes = 0;
  Reader.OnNextVolume = [&](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) {
    ++volumes;
    Cancel = !Exists;
  };
  Reader.OnProgress = [&](TZipCommon& Sender, Byte ByFile, Byte) {
    if (volumes == 0 || ByFile < 50) return;
    if (E == Ending::Kill) KillHere();
    if (E == Ending::Cancel) Sender.SetCancel(true);
  };
  RunInto(Reader, log, false);
  EXPECT_EQ(log.verdicts.size(), 1u) << log.Describe();
  EXPECT_EQ(log.AllPass(), E == Ending::Success) << log.Describe();
  EXPECT_EQ(log.result, E == Ending::Success ? 1 : 0);
  EXPECT_EQ(ReadFile(dir / "big.bin") == ReadFile(dir.parent_path() / "big.bin"), E == Ending::Success);
}

// Watches every volume of the set in Dir.
void WatchVolumes(const fs::path& Dir, Canaries& C) {
  for (const auto& e : fs::directory_iterator(Dir))
    if (e.path().filename() != "big.bin") C.Watch(e.path());
}

// A file split over ARJ volumes made by arj.
TEST(CanaryRows, ArjFileSplitOverVolumes) {
  ASSERT_TRUE(HaveTool("arj"));
  CanaryRow row;
  row.name = "arj, a file split over four volumes";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "big.bin", RandomBytes(200000, 17));
    fs::create_directories(Dir / "set");
    ASSERT_EQ(RunTool("arj a -y -m0 -v60K set/v.arj big.bin", Dir).exitCode, 0);
    ASSERT_TRUE(fs::exists(Dir / "set/v.a02"));
    C.Plant(Dir / "set/big.bin");
    WatchVolumes(Dir / "set", C);
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    if (E == Ending::Failure) {
      C.Agree(Dir / "set/v.a01");
      Damage(Dir / "set/v.a01");
    }
    vsk::TUnArj reader;
    RunSplit(reader, Dir / "set/v.arj", E, C);
  };
  CheckCanaryRow(row);
}

// A file split over RAR5 volumes.
TEST(CanaryRows, Rar5FileSplitOverVolumes) {
  ASSERT_TRUE(vsk::TUnRar::LibraryPresent());
  CanaryRow row;
  row.name = "rar5, a file split over three volumes";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    const std::string big = RandomBytes(3 << 20, 19);
    WriteFile(Dir / "big.bin", big);
    const auto volumes = Rar5SplitSet("big.bin", big);
    for (std::size_t i = 0; i < volumes.size(); ++i)
      WriteFile(Dir / "set" / ("x.part" + std::to_string(i + 1) + ".rar"), volumes[i]);
    C.Plant(Dir / "set/big.bin");
    WatchVolumes(Dir / "set", C);
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    if (E == Ending::Failure) {
      C.Agree(Dir / "set/x.part2.rar");
      Damage(Dir / "set/x.part2.rar");
    }
    vsk::TUnRar reader;
    RunSplit(reader, Dir / "set/x.part1.rar", E, C);
  };
  CheckCanaryRow(row);
}

// Killed in the middle of a split RAR file, the run leaves nothing beside
// the set: its output was an unnamed file.
TEST(CanaryRows, AKilledRarRunLeavesNoStagedFile) {
  ASSERT_TRUE(vsk::TUnRar::LibraryPresent());
  TempDir dir;
  const std::string big = RandomBytes(3 << 20, 23);
  const auto volumes = Rar5SplitSet("big.bin", big);
  for (std::size_t i = 0; i < volumes.size(); ++i)
    WriteFile(dir / ("x.part" + std::to_string(i + 1) + ".rar"), volumes[i]);
  Canaries c;
  EXPECT_TRUE(RunKilled([&] {
    vsk::TUnRar reader;
    RunSplit(reader, dir / "x.part1.rar", Ending::Kill, c);
  }));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"x.part1.rar", "x.part2.rar", "x.part3.rar"}));
}

}  // namespace
