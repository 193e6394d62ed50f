#include "tests/support/canary.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fstream>

#include "archive/formats/zip/unzip.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
using vsk::Byte;
using vsk::TUnZip;
using vsk::TZipCommon;

// The harness sees every way a canary can be touched, and lets through
// only the name the run was allowed to replace.
TEST(Canaries, SeeEveryChangeButAnAgreedOne) {
  TempDir dir;
  Canaries c;
  c.Plant(dir / "bytes.txt");
  c.Plant(dir / "sub/mode.txt", 0444);
  c.Plant(dir / "link.txt");
  c.Plant(dir / "gone.txt");
  c.Plant(dir / "agreed.txt");
  EXPECT_TRUE(c.Intact());
  std::ofstream(dir / "bytes.txt", std::ios::app) << "x";
  fs::permissions(dir / "sub/mode.txt", fs::perms::owner_write, fs::perm_options::add);
  const std::string linked = ReadFile(dir / "link.txt");
  WriteFile(dir / "elsewhere.txt", linked);
  fs::remove(dir / "link.txt");
  fs::create_symlink(dir / "elsewhere.txt", dir / "link.txt");
  fs::remove(dir / "gone.txt");
  WriteFile(dir / "agreed.txt", "replaced as asked");
  c.Agree(dir / "agreed.txt");
  const std::string why = c.Intact().message();
  for (const char* name : {"bytes.txt changed its bytes", "mode.txt changed its mode", "link.txt became a link",
                           "gone.txt is gone"})
    EXPECT_NE(why.find(name), std::string::npos) << why;
  EXPECT_EQ(why.find("agreed.txt"), std::string::npos) << why;
}

// A row whose run never reaches its kill point fails instead of passing.
TEST(Canaries, AKillRowThatIsNotKilledFails) {
  CanaryRow row;
  row.name = "never killed";
  row.endings = {Ending::Kill};
  row.setup = [](const fs::path& Dir, Canaries& C) { C.Plant(Dir / "a.txt"); };
  row.run = [](const fs::path&, Ending, Canaries&) {};
  EXPECT_NONFATAL_FAILURE(CheckCanaryRow(row), "not killed mid-way");
}

// Extracting one entry of a ZIP: the archive and a file named like an
// entry that was not selected stay as they were, however the run ends.
TEST(CanaryRows, ZipExtractionOfOneEntry) {
  CanaryRow row;
  row.name = "zip, one entry selected";
  row.setup = [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/chosen.bin", RandomBytes(4 << 20, 3));
    WriteFile(Dir / "src/other.txt", "the archive's other entry\n");
    ASSERT_EQ(RunTool("zip -q -0 ../x.zip chosen.bin other.txt", Dir / "src").exitCode, 0);
    C.Watch(Dir / "x.zip");
    C.Plant(Dir / "out/other.txt");
  };
  row.run = [](const fs::path& Dir, Ending E, Canaries&) {
    if (E == Ending::Failure) {
      // One byte of the chosen entry's data changed: its check fails.
      std::fstream f(Dir / "x.zip", std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(1 << 20);
      f.put('\x5a');
    }
    TUnZip reader;
    RunLog log;
    Record(reader, log);
    Aim(reader, Dir / "x.zip", Dir / "out", {"chosen.bin"});
    reader.OnProgress = [E](TZipCommon& Sender, Byte ByFile, Byte) {
      if (ByFile < 40) return;
      if (E == Ending::Kill) KillHere();
      if (E == Ending::Cancel) Sender.SetCancel(true);
    };
    RunInto(reader, log, false);
    EXPECT_EQ(log.AllPass(), E == Ending::Success) << log.Describe();
    EXPECT_EQ(log.verdicts.size(), 1u);
    EXPECT_EQ(fs::exists(Dir / "out/chosen.bin"), E == Ending::Success || E == Ending::Failure);
  };
  // The damaged copy is a canary of its own only before the damage: the
  // failure run changes it on purpose, so it is agreed there.
  auto run = row.run;
  row.run = [run](const fs::path& Dir, Ending E, Canaries& C) {
    if (E == Ending::Failure) C.Agree(Dir / "x.zip");
    run(Dir, E, C);
  };
  CheckCanaryRow(row);
}

}  // namespace
