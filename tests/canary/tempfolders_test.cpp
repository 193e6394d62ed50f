// Canary rows of the runs that work in the temporary folder: the
// run-from-archive component's private folder, and testing a tar.gz, whose
// inner tar is read as it is decoded. Folders and files of other names in
// the temporary folder (one named like the tar, one named like the
// component's folders), what a link in the component's folder points to,
// and the archive stay as they were, however the run ends.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/zip/unzip.h"
#include "archive/tools/ziprun.h"
#include "tests/support/canary.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
using vsk::Byte;
using vsk::TUnGZip;
using vsk::TUnZip;
using vsk::TZipCommon;
using vsk::TZipRun;

// Changes one byte of File at Offset (the failure runs' damage).
void Damage(const fs::path& File, std::streamoff Offset) {
  std::fstream f(File, std::ios::in | std::ios::out | std::ios::binary);
  f.seekg(Offset);
  const char c = static_cast<char>(f.get());
  f.seekp(Offset);
  f.put(static_cast<char>(c ^ 0x5A));
}

// The files of Folder, by name (the canaries' own left out).
std::vector<std::string> Names(const fs::path& Folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The component's folder gets an archive extracted into it (what its owner
// does before running a program from it) and a link out of it; the
// component then removes its folder, and only its folder.
TEST(CanaryRows, RunFromArchiveFolder) {
  CanaryRow row;
  row.name = "run-from-archive folder";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/setup.bin", RandomBytes(4 << 20, 5));
    WriteFile(Dir / "src/readme.txt", "read me\n");
    ASSERT_EQ(RunTool("zip -q -0 ../app.zip setup.bin readme.txt", Dir / "src").exitCode, 0);
    C.Watch(Dir / "app.zip");
    C.Plant(Dir / "tmp/vskcanary/keep.txt");
    C.Plant(Dir / "tmp/keep.txt");
    C.Plant(Dir / "outside/keep.txt");
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    if (E == Ending::Failure) {
      C.Agree(Dir / "app.zip");
      Damage(Dir / "app.zip", 1 << 20);
    }
    ScopedEnv tmp("TMPDIR", (Dir / "tmp").string());
    std::string folder;
    bool removed = false;
    {
      TZipRun run;
      folder = run.TempFolder();
      ASSERT_FALSE(folder.empty());
      ASSERT_EQ(fs::path(folder).parent_path(), Dir / "tmp");
      run.SetArchiveFile((Dir / "app.zip").string());
      run.OnRemoveTempfile = [&](TZipCommon&, const std::string&) { removed = true; };
      fs::create_directory_symlink(Dir / "outside", fs::path(folder) / "outside");
      TUnZip reader;
      RunLog log;
      Record(reader, log);
      Aim(reader, Dir / "app.zip", folder);
      reader.OnProgress = [E](TZipCommon& Sender, Byte ByFile, Byte) {
        if (ByFile < 40) return;
        if (E == Ending::Kill) KillHere();
        if (E == Ending::Cancel) Sender.SetCancel(true);
      };
      RunInto(reader, log, false);
      EXPECT_EQ(log.AllPass(), E == Ending::Success) << log.Describe();
    }
    EXPECT_TRUE(removed);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(Names(Dir / "tmp"), (std::vector<std::string>{"keep.txt", "vskcanary"}));
  };
  CheckCanaryRow(row);
}

// Testing a tar.gz: nothing is written to the temporary folder (a tar of
// the inner tar's name there and beside the archive is someone's file),
// and the verdicts name the tar's entries.
TEST(CanaryRows, TarGzTestRun) {
  CanaryRow row;
  row.name = "tar.gz test";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/big.bin", RandomBytes(4 << 20, 6));
    WriteFile(Dir / "src/small.txt", "small\n");
    ASSERT_EQ(RunTool("tar cf - big.bin small.txt | gzip -1 > ../pack.tar.gz", Dir / "src").exitCode, 0);
    C.Watch(Dir / "pack.tar.gz");
    C.Plant(Dir / "tmp/pack.tar");
    C.Plant(Dir / "pack.tar");
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries& C) {
    if (E == Ending::Failure) {
      C.Agree(Dir / "pack.tar.gz");
      Damage(Dir / "pack.tar.gz", static_cast<std::streamoff>(fs::file_size(Dir / "pack.tar.gz") / 2));
    }
    TUnGZip g;
    RunLog log;
    Record(g, log);
    Aim(g, Dir / "pack.tar.gz", Dir / "never");
    g.SetTempDir((Dir / "tmp").string());
    g.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& UnTar) { UnTar = true; };
    g.OnProgress = [E](TZipCommon& Sender, Byte, Byte ByArchive) {
      if (ByArchive < 40) return;
      if (E == Ending::Kill) KillHere();
      if (E == Ending::Cancel) Sender.SetCancel(true);
    };
    RunInto(g, log, true);
    if (E == Ending::Success) {
      EXPECT_EQ(log.result, 2) << log.Describe();
      EXPECT_TRUE(log.AllPass()) << log.Describe();
      EXPECT_EQ(log.verdicts.size(), 2u);
      EXPECT_TRUE(log.verdicts.count("big.bin") && log.verdicts.count("small.txt"));
    } else {
      EXPECT_FALSE(log.errors.empty()) << log.Describe();
    }
    for (const auto& r : log.reports) EXPECT_EQ(r.file.find((Dir / "tmp").string()), std::string::npos) << r.file;
    EXPECT_EQ(Names(Dir / "tmp"), std::vector<std::string>{"pack.tar"});
    EXPECT_FALSE(fs::exists(Dir / "never"));
  };
  CheckCanaryRow(row);
}

}  // namespace
