#include "app/main/mrulist.h"

#include <gtest/gtest.h>

#include "app/main/shortcuts.h"
#include "platform/registry.h"
#include "tests/support/testutil.h"

namespace brevane {
namespace {

using vsktest::IsolatedEnvironment;
using vsktest::WriteFile;

TEST(MruList, MostRecentFirstWithinTheMaximum) {
  IsolatedEnvironment env;
  TMruList list;
  list.SetMaxItems(3);
  for (const char* f : {"/a.zip", "/b.zip", "/c.zip"}) list.Add(f);
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"/c.zip", "/b.zip", "/a.zip"}));
  list.Add("/a.zip");
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"/a.zip", "/c.zip", "/b.zip"}));
  list.Add("/d.zip");
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"/d.zip", "/a.zip", "/c.zip"}));
  list.Add("");
  EXPECT_EQ(list.Items().size(), 3u);
  list.SetMaxItems(1);
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"/d.zip"}));
  list.SetMaxItems(0);
  EXPECT_TRUE(list.Items().empty());
  list.Add("/e.zip");
  EXPECT_TRUE(list.Items().empty());
}

TEST(MruList, KeptInTheRegistry) {
  IsolatedEnvironment env;
  {
    TMruList list;
    list.SetMaxItems(10);
    list.Add("/x/one.zip");
    list.Add("/x/two.zip");
  }
  TMruList again;
  again.Load();
  EXPECT_EQ(again.Items(), (std::vector<std::string>{"/x/two.zip", "/x/one.zip"}));
  vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kMruKey));
  EXPECT_EQ(reg.ReadString("1"), "/x/two.zip");
  EXPECT_EQ(reg.ReadString("2"), "/x/one.zip");
  EXPECT_FALSE(reg.ValueExists("3"));
  reg.CloseKey();

  // Loading keeps more than the default maximum until one is set.
  {
    TMruList many;
    many.SetMaxItems(10);
    for (int i = 0; i < 10; ++i) many.Add("/m" + std::to_string(i) + ".zip");
  }
  TMruList loaded;
  loaded.Load();
  EXPECT_EQ(loaded.Items().size(), 10u);
  loaded.SetMaxItems(10);
  EXPECT_EQ(loaded.Items().front(), "/m9.zip");

  TMruList silent;
  silent.AutoSave = false;
  silent.Add("/not/saved.zip");
  TMruList check;
  check.Load();
  EXPECT_EQ(check.Items().front(), "/m9.zip");
}

TEST(MruList, ObsoleteEntriesGo) {
  IsolatedEnvironment env;
  const auto kept = env.root() / "kept.zip";
  WriteFile(kept, "PK");
  TMruList list;
  list.Add((env.root() / "gone.zip").string());
  list.Add(kept.string());
  list.Add(env.root().string());
  list.RemoveObsolete();
  EXPECT_EQ(list.Items(), (std::vector<std::string>{kept.string()}));
}

TEST(Shortcuts, DesktopEntryStartsTheProgram) {
  IsolatedEnvironment env;
  const auto folder = env.root() / "menu" / "apps";
  ASSERT_TRUE(CreateShortcut(folder.string(), "Brevane", "/opt/my apps/brevane"));
  const std::string text = vsktest::ReadFile(folder / "Brevane.desktop");
  EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
  EXPECT_NE(text.find("Name=Brevane\n"), std::string::npos);
  EXPECT_NE(text.find("Exec=\"/opt/my apps/brevane\" %f\n"), std::string::npos);
  EXPECT_FALSE(CreateShortcut("", "Brevane", "/bin/true"));
}

}  // namespace
}  // namespace brevane
