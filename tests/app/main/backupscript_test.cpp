#include "app/main/backupscript.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/testutil.h"

namespace brevane {
namespace {

namespace fs = std::filesystem;

TEST(BackupScript, ReadAndWrittenAsText) {
  // Keys in any order, CR LF lines, empty entry lines, a hostile count.
  const std::vector<std::string> lines = {"Generations=100000",
                                          "ArcType=5",
                                          "BackupSetName=Set",
                                          "Compression=x",
                                          "StorePathInfo=1",
                                          "BackupMethod=3",
                                          "BackupFolder=/b",
                                          "[FilesInBackupSet]",
                                          "",
                                          "/a/*.*",
                                          "/c.txt"};
  TBackupScript s;
  ASSERT_TRUE(ParseBackupScript(lines, s));
  EXPECT_EQ(s.Name, "Set");
  EXPECT_EQ(s.ArcType, 5);
  EXPECT_EQ(s.Compression, 0);
  EXPECT_EQ(s.Generations, kMaxGenerations);
  EXPECT_EQ(s.Entries, (std::vector<std::string>{"/a/*.*", "/c.txt"}));
  EXPECT_EQ(GenerationPath(s, 2), "/b/Set2.tar");
  EXPECT_EQ(BackupExtension(9), ".zip");

  vsktest::IsolatedEnvironment env;
  const std::string path = BackupScriptPath("Set");
  fs::create_directories(BackupFolder());
  ASSERT_TRUE(SaveBackupScript(path, s));
  std::vector<std::string> back;
  ASSERT_TRUE(ReadScriptLines(path, back));
  EXPECT_EQ(back, BackupScriptLines(s));
  EXPECT_EQ(FindBackupSets(), (std::vector<std::string>{"Set"}));

  // A value missing, or the marker, makes the script invalid.
  for (std::size_t drop : {0u, 6u, 8u}) {
    std::vector<std::string> cut = BackupScriptLines(s);
    cut.erase(cut.begin() + drop);
    EXPECT_FALSE(ValidateBackupScript(cut)) << drop;
  }
  std::vector<std::string> noDescription = BackupScriptLines(s);
  noDescription.erase(noDescription.begin() + 1);
  EXPECT_TRUE(ValidateBackupScript(noDescription));

  EXPECT_FALSE(IsValidBackupSetName(""));
  EXPECT_FALSE(IsValidBackupSetName("a\"b"));
  EXPECT_FALSE(IsValidBackupSetName("a/b"));
  EXPECT_FALSE(IsValidBackupSetName(std::string(51, 'n')));
  EXPECT_TRUE(IsValidBackupSetName("Daily backup 1"));
}

TEST(BackupScript, GenerationsRotateAndRenumber) {
  vsktest::TempDir dir;
  TBackupScript s;
  s.Name = "g";
  s.Folder = dir.str();
  s.Generations = 3;
  auto put = [&](int n) { vsktest::WriteFile(GenerationPath(s, n), "gen" + std::to_string(n)); };
  auto at = [&](int n) { return fs::exists(GenerationPath(s, n)) ? vsktest::ReadFile(GenerationPath(s, n)) : "-"; };
  std::string failed;

  // The fourth run: 1 goes, 2 and 3 move down.
  put(1), put(2), put(3);
  ASSERT_TRUE(RotateGenerations(s, failed));
  EXPECT_EQ(at(1) + at(2) + at(3), "gen2gen3-");

  // 3 to 5: 3->5, 2->4, 1->3.
  TBackupScript five = s;
  five.Generations = 5;
  put(1), put(2), put(3);
  ASSERT_TRUE(RenumberGenerations(s, five, failed));
  EXPECT_EQ(at(1) + at(2) + at(3) + at(4) + at(5), "--gen1gen2gen3");

  // 5 to 2: 1..3 go to the Trash, 4->1, 5->2.
  TBackupScript two = s;
  two.Generations = 2;
  for (int n = 1; n <= 5; ++n) put(n);
  ASSERT_TRUE(RenumberGenerations(five, two, failed));
  EXPECT_EQ(at(1) + at(2) + at(3) + at(4) + at(5), "gen4gen5---");

  // A file the set did not write at a name it would write stops it before
  // anything moves: 2 to 4 would write 3 and 4, and "g4.zip" is the user's.
  TBackupScript four = s;
  four.Generations = 4;
  vsktest::WriteFile(GenerationPath(s, 4), "the user's");
  EXPECT_FALSE(RenumberGenerations(two, four, failed));
  EXPECT_EQ(failed, GenerationPath(s, 4));
  EXPECT_EQ(at(1) + at(2) + at(3) + at(4), "gen4gen5-the user's");

  // A new folder: the generations move there with their new numbers and
  // the old folder keeps what is not theirs.
  vsktest::TempDir other;
  four.Folder = other.str();
  ASSERT_TRUE(RenumberGenerations(two, four, failed));
  EXPECT_EQ(vsktest::ReadFile(GenerationPath(four, 3)) + vsktest::ReadFile(GenerationPath(four, 4)), "gen4gen5");
  EXPECT_EQ(at(1) + at(2) + at(4), "--the user's");
}

}  // namespace
}  // namespace brevane
