// Handing a reader its run options in one step: what is set is taken, what
// is not stays the reader's own.

#include <gtest/gtest.h>

#include "archive/core/unbase.h"
#include "archive/formats/tar/untar.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::TempDir;

TEST(ReaderSettings, OnlyWhatIsSetIsTakenAndSharedOptionsTravel) {
  TempDir dir;
  TUnTar reader;
  reader.SetExtractDir((dir / "own").string());
  reader.TranslateOemChar = false;
  reader.Passwords = {"kept"};
  reader.FileSpec = {"a.txt"};
  reader.RecurseDirs = false;

  TReaderSettings some;
  some.ExtractDir = std::string();  // empty: the reader keeps its folder
  some.UseStoredDirs = false;
  some.DateAttribute = daSysDate;
  some.ApplyTo(reader);
  EXPECT_EQ(reader.ExtractDir(), (dir / "own/").string());
  EXPECT_FALSE(reader.UseStoredDirs);
  EXPECT_EQ(reader.DateAttribute, daSysDate);
  EXPECT_FALSE(reader.TranslateOemChar);
  EXPECT_EQ(reader.Passwords, std::vector<std::string>{"kept"});
  EXPECT_EQ(reader.FileSpec, std::vector<std::string>{"a.txt"});
  EXPECT_FALSE(reader.RecurseDirs);

  // A component's shared options reach the reader it runs; how it extracts
  // does not.
  TUnTar owner;
  owner.SetTempDir(dir.path().string());
  owner.TranslateOemChar = true;
  owner.Passwords = {"p1", "p2"};
  owner.PasswordAttempts = 5;
  owner.ThreadCount = 1;
  owner.ConfirmOverwrites = true;
  TReaderSettings::Shared(owner).ApplyTo(reader);
  EXPECT_EQ(reader.TempDir(), dir.path().string());
  EXPECT_TRUE(reader.TranslateOemChar);
  EXPECT_EQ(reader.Passwords, owner.Passwords);
  EXPECT_EQ(reader.PasswordAttempts, 5);
  EXPECT_EQ(reader.ThreadCount, 1);
  EXPECT_FALSE(reader.ConfirmOverwrites);
  EXPECT_EQ(reader.ExtractDir(), (dir / "own/").string());

  // Extraction carries the owner's way of extracting as well.
  owner.SetExtractDir((dir / "theirs").string());
  owner.OverwriteMode = omSkip;
  owner.RestoreFileAttr = false;
  owner.CreateStoredDirs = true;
  TReaderSettings::Extraction(owner).ApplyTo(reader);
  EXPECT_EQ(reader.ExtractDir(), (dir / "theirs/").string());
  EXPECT_TRUE(reader.ConfirmOverwrites);
  EXPECT_EQ(reader.OverwriteMode, omSkip);
  EXPECT_FALSE(reader.RestoreFileAttr);
  EXPECT_TRUE(reader.CreateStoredDirs);
  EXPECT_EQ(reader.FileSpec, std::vector<std::string>{"a.txt"});
}

}  // namespace
}  // namespace vsk
