// Testing archives of the readable types as Debian's archivers write them.

#include "archive/tools/zipcheck.h"

#include <gtest/gtest.h>

#include "archive/tools/readers.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;

class ZipCheckTest : public ::testing::Test {
 protected:
  std::string Pack(const std::string& Name, const std::string& Command) {
    const fs::path src = dir / ("src-" + Name);
    fs::create_directories(src / "sub");
    vsktest::WriteFile(src / "a.txt", vsktest::TextBytes(20000, 1));
    vsktest::WriteFile(src / "sub/b.txt", std::string(3000, 'b'));
    const std::string out = (dir / Name).string();
    std::string cmd = Command;
    cmd.replace(cmd.find("{out}"), 5, vsktest::ShellQuote(out));
    const auto r = vsktest::RunTool(cmd, src);
    EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
    return out;
  }
  // Runs the tester and records what it says: "+name" passed, "-name"
  // failed, "end name" after each, and the error codes.
  int Check(const std::string& Archive) {
    events.clear();
    errors.clear();
    check.SetArchiveFile(Archive);
    check.FileSpec = {"*.*"};
    check.RecurseDirs = true;
    check.OnStatus = [this](TZipCommon&, const std::string& F, bool Pass) { events.push_back((Pass ? "+" : "-") + F); };
    check.OnEnd = [this](TZipCommon&, const std::string& F) { events.push_back("end " + F); };
    check.OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
      errors.push_back(Code);
    };
    return check.Activate();
  }

  vsktest::TempDir dir;
  TZipCheck check;
  std::vector<std::string> events;
  std::vector<int> errors;
};

TEST_F(ZipCheckTest, EveryFileGetsOneVerdict) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("tar"));
  const std::string zip = Pack("t.zip", "zip -q -X {out} a.txt sub/b.txt");
  EXPECT_EQ(Check(zip), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"+a.txt", "end a.txt", "+sub/b.txt", "end sub/b.txt"}));
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(fs::exists(dir / "a.txt")) << "a test writes nothing";

  // A changed byte in the data of the second file fails only that file.
  std::string bytes = vsktest::ReadFile(zip);
  const auto at = bytes.find(std::string(100, 'b'));
  if (at != std::string::npos) {
    bytes[at + 10] = 'c';
  } else {
    // Deflated: damage the compressed stream of the last entry instead.
    bytes[bytes.find("sub/b.txt") + 12] ^= 0x55;
  }
  vsktest::WriteFile(zip, bytes);
  Check(zip);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], "+a.txt");
  EXPECT_EQ(events[2], "-sub/b.txt");

  const std::string tar = Pack("t.tar", "tar cf {out} a.txt sub/b.txt");
  EXPECT_EQ(Check(tar), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"+a.txt", "end a.txt", "+sub/b.txt", "end sub/b.txt"}));
}

// A tar inside a gzip is tested entry by entry as it is decoded: nothing
// is written to the temp folder, where a tar of that name is the user's and
// stays as it was.
TEST_F(ZipCheckTest, NestedTarOfATgz) {
  ASSERT_TRUE(vsktest::HaveTool("tar") && vsktest::HaveTool("gzip"));
  const std::string tgz = Pack("t.tgz", "tar czf {out} a.txt sub/b.txt");
  const fs::path temp = dir / "tmp";
  fs::create_directories(temp);
  vsktest::ScopedEnv tmpdir("TMPDIR", temp.string());
  vsktest::WriteFile(temp / "t.tar", "mine");
  check.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
  std::vector<std::pair<std::string, TArcType>> changes;
  check.OnChangeArchive = [&](TZipCommon&, const std::string& Name, TArcType Type) { changes.push_back({Name, Type}); };
  EXPECT_EQ(Check(tgz), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"+a.txt", "end a.txt", "+sub/b.txt", "end sub/b.txt"}));
  EXPECT_TRUE(errors.empty());
  // The tar was read as it was decoded: no tar file stands for the archive.
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(vsktest::ReadFile(temp / "t.tar"), "mine");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1) << "scratch left behind";
}

TEST_F(ZipCheckTest, PasswordsAndRefusedTypes) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("gcab"));
  const std::string zip = Pack("p.zip", "zip -q -X -P opensesame {out} a.txt sub/b.txt");
  int asked = 0;
  check.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& Password, bool&) {
    ++asked;
    Password = "opensesame";
  };
  EXPECT_EQ(Check(zip), 2);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(events[0], "+a.txt");
  // The password typed during the test stays with the tester.
  EXPECT_NE(std::find(check.Passwords.begin(), check.Passwords.end(), "opensesame"), check.Passwords.end());
  EXPECT_EQ(Check(zip), 2);
  EXPECT_EQ(asked, 1);

  // A cabinet is tested by the cabinet reader.
  const std::string cab = Pack("c.cab", "gcab -c {out} a.txt");
  EXPECT_EQ(Check(cab), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"+a.txt", "end a.txt"}));

  // A type without a reader is refused before anything runs.
  const std::string ha = (dir.path() / "c.ha").string();
  vsktest::WriteFile(ha, std::string("HA\x01\x00", 4) + std::string(40, 'x'));
  bool activated = false;
  check.OnActivate = [&](TZipCommon&) { activated = true; };
  errors.clear();
  EXPECT_EQ(Check(ha), 0);
  EXPECT_EQ(errors, std::vector<int>{25243});
  EXPECT_FALSE(activated);
  EXPECT_TRUE(events.empty());

  // Without a status handler nothing runs either.
  check.SetArchiveFile(zip);
  check.OnStatus = nullptr;
  errors.clear();
  EXPECT_EQ(check.Activate(), 0);
  EXPECT_EQ(errors, std::vector<int>{25270});
}

// The program offers Test for the testable types: the tester runs a reader
// for each of them (but refuses the JAR self-extractor), and every type it
// has a reader for is testable.
TEST(ZipCheckTypes, TestableTypesAreTheOnesTheTesterRuns) {
  for (int i = 0; i < kArcTypeCount; ++i) {
    const auto t = static_cast<TArcType>(i);
    EXPECT_EQ(ArcTypeCanTest(t), MakeReader(t) != nullptr || t == atJarExe) << ArcTypeName(t);
  }
}

}  // namespace
}  // namespace vsk
