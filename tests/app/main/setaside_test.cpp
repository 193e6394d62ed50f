#include "app/main/setaside.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/testutil.h"

namespace {

namespace fs = std::filesystem;
using brevane::TSetAside;

TEST(SetAside, PutBackAfterAFailureAndAFailedPutBackIsTold) {
  vsktest::IsolatedEnvironment env;
  const fs::path archive = env.root() / "work/old.zip";
  vsktest::WriteFile(archive, "the user's archive");
  std::vector<std::string> told;
  TSetAside::OnRestoreFailed = [&](const std::string& Path, const std::string& Trashed) {
    told.push_back(Path + " | " + Trashed);
  };
  {
    TSetAside replaced;
    ASSERT_TRUE(replaced.Take(archive.string()));
    EXPECT_FALSE(fs::exists(archive));
    vsktest::WriteFile(archive, "half-made new archive");
    EXPECT_TRUE(replaced.Restore());
  }
  EXPECT_EQ(vsktest::ReadFile(archive), "the user's archive");
  EXPECT_TRUE(told.empty());

  // A folder holding something now stands at its place: it cannot go back,
  // the user is told where it is, and it stays there.
  const fs::path trashed = env.root() / "home/.local/share/Trash/files/old.zip";
  {
    TSetAside replaced;
    ASSERT_TRUE(replaced.Take(archive.string()));
    vsktest::WriteFile(archive / "inner.txt", "something else");
    EXPECT_FALSE(replaced.Restore());
    EXPECT_TRUE(replaced.Restore());  // told once; nothing is left to put back
  }
  EXPECT_EQ(told, std::vector<std::string>{archive.string() + " | " + trashed.string()});
  EXPECT_EQ(vsktest::ReadFile(trashed), "the user's archive");
  EXPECT_EQ(vsktest::ReadFile(archive / "inner.txt"), "something else");
  TSetAside::OnRestoreFailed = nullptr;
}

}  // namespace
