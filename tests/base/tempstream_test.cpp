#include "base/tempstream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/errors.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::ReadFile;
using vsktest::TempDir;
using vsktest::WriteFile;

int EntriesIn(const fs::path& dir) {
  int n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

TEST(TempFileStream, TargetUntouchedUntilCommit) {
  TempDir dir;
  const auto target = dir / "a.zip";
  WriteFile(target, "old");
  chmod(target.c_str(), 0640);
  {
    TTempFileStream s(fmCreate, target.string());
    ASSERT_TRUE(s.IsTemp());
    ASSERT_GE(s.Handle(), 0);
    s.WriteBuffer("new content", 11);
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(EntriesIn(dir.path()), 1);  // unnamed: nothing a kill could leave behind
    s.Commit();
    EXPECT_TRUE(s.Committed());
  }
  EXPECT_EQ(ReadFile(target), "new content");
  EXPECT_EQ(EntriesIn(dir.path()), 1);  // no scratch file left
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file's permissions

  // A privileged run keeps the replaced file's owner and group.
  if (geteuid() == 0 && chown(target.c_str(), 12345, 23456) == 0) {
    TTempFileStream s(fmCreate, target.string());
    s.WriteBuffer("x", 1);
    s.Commit();
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_gid, 23456u);
  }
}

TEST(TempFileStream, NamedScratchAndAFileThatTookTheName) {
  TempDir dir;
  const auto target = dir / "a.zip";
  {
    TTempFileStream s(fmCreate, target.string(), {}, true);
    EXPECT_EQ(fs::path(s.OpenedName()).parent_path(), dir.path());
    EXPECT_EQ(fs::path(s.OpenedName()).extension(), ".tmp");
    EXPECT_EQ(fs::path(s.OpenedName()).filename().string().substr(0, 3), "vsk");
    s.WriteBuffer("n", 1);
    WriteFile(target, "the user's");  // made at the name while the run went on
    EXPECT_THROW(s.Commit(), EWriteError);
    EXPECT_TRUE(s.TargetChanged());
  }
  EXPECT_EQ(ReadFile(target), "the user's");
  EXPECT_EQ(EntriesIn(dir.path()), 1);
  // Replaced by another file: refused too. Gone meanwhile: the name is free.
  for (const bool named : {false, true}) {
    TTempFileStream s(fmCreate, target.string(), {}, named);
    s.WriteBuffer("new", 3);
    fs::remove(target);
    WriteFile(target, "other");
    EXPECT_THROW(s.Commit(), EWriteError);
    EXPECT_EQ(ReadFile(target), "other");
    TTempFileStream t(fmCreate, target.string(), {}, named);
    t.WriteBuffer("new", 3);
    fs::remove(target);
    t.Commit();
    EXPECT_EQ(ReadFile(target), "new");
  }
  EXPECT_EQ(EntriesIn(dir.path()), 1);
}

TEST(TempFileStream, NoCommitKeepsOldTargetAndRemovesScratch) {
  TempDir dir;
  const auto target = dir / "a.zip";
  WriteFile(target, "old");
  {
    TTempFileStream s(fmCreate, target.string());
    s.WriteBuffer("partial", 7);
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(EntriesIn(dir.path()), 1);

  // A new target that was never committed does not appear.
  {
    TTempFileStream s(fmCreate, (dir / "new.zip").string());
    s.WriteBuffer("x", 1);
  }
  EXPECT_FALSE(fs::exists(dir / "new.zip"));
}

TEST(TempFileStream, FailedCommitKeepsOldTarget) {
  TempDir dir;
  // The target is a non-empty folder: the rename cannot replace it.
  const auto target = dir / "busy";
  WriteFile(target / "inside", "keep");
  {
    TTempFileStream s(fmCreate, target.string());
    s.WriteBuffer("data", 4);
    try {
      s.Commit();
      FAIL() << "commit succeeded";
    } catch (const EWriteError& e) {
      EXPECT_EQ(e.Code, 25136);
    }
    EXPECT_FALSE(s.Committed());
  }
  EXPECT_EQ(ReadFile(target / "inside"), "keep");
  EXPECT_EQ(EntriesIn(dir.path()), 1);
}

TEST(TempFileStream, CommitThroughSymlinkReplacesTheFileItNames) {
  TempDir dir;
  WriteFile(dir / "real.zip", "old");
  fs::create_symlink(dir / "real.zip", dir / "link.zip");
  {
    TTempFileStream s(fmCreate, (dir / "link.zip").string());
    s.WriteBuffer("new", 3);
    s.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(dir / "link.zip"));
  EXPECT_EQ(ReadFile(dir / "real.zip"), "new");
}

TEST(TempFileStream, OpenModeReadsTheFileAndReportsProgress) {
  TempDir dir;
  WriteFile(dir / "f", "0123456789");
  TTempFileStream s(fmOpenRead, (dir / "f").string());
  EXPECT_FALSE(s.IsTemp());
  Int64 asked = 0;
  s.OnReadProgress = [&](TTempFileStream&, Int32 n) { asked += n; };
  char b[16];
  EXPECT_EQ(s.Read(b, 16), 10);
  EXPECT_EQ(asked, 16);
  s.Commit();  // nothing to commit
  EXPECT_EQ(ReadFile(dir / "f"), "0123456789");

  TTempFileStream missing(fmOpenRead, (dir / "missing").string());
  EXPECT_EQ(missing.Handle(), -1);
  EXPECT_EQ(missing.Read(b, 4), 0);
}

}  // namespace
}  // namespace vsk
