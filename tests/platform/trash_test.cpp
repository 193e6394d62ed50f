#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;

// The value of a line "Key=..." of a .trashinfo text; "" when there is none.
std::string InfoLine(const std::string& info, const std::string& key) {
  std::size_t at = 0;
  while (at < info.size()) {
    const std::size_t end = std::min(info.find('\n', at), info.size());
    const std::size_t value = at + key.size() + 1;
    if (info.compare(at, key.size() + 1, key + "=") == 0) return info.substr(value, end - value);
    at = end + 1;
  }
  return {};
}

std::string InfoPathLine(const std::string& info) { return InfoLine(info, "Path"); }

TEST(Trash, FollowsTheFreedesktopLayout) {
  vsktest::IsolatedEnvironment env;
  const fs::path trash = env.root() / "home/.local/share/Trash";
  EXPECT_EQ(HomeTrashDir(), trash.string());

  vsktest::TempDir work;
  const fs::path file = work / "report.txt";
  vsktest::WriteFile(file, "first");
  std::string as;
  ASSERT_TRUE(MoveToTrash(file.string(), &as));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(as, (trash / "files/report.txt").string());
  EXPECT_EQ(vsktest::ReadFile(trash / "files/report.txt"), "first");

  struct stat st;
  ASSERT_EQ(stat(trash.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((trash / "info").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  const std::string info = vsktest::ReadFile(trash / "info/report.txt.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u) << info;
  EXPECT_EQ(InfoPathLine(info), file.string());
  EXPECT_TRUE(vsktest::HasShape(InfoLine(info, "DeletionDate"), "####-##-##T##:##:##")) << info;

  // A second item of the same name gets a number before its extension.
  vsktest::WriteFile(file, "second");
  ASSERT_TRUE(MoveToTrash(file.string(), &as));
  EXPECT_EQ(as, (trash / "files/report.2.txt").string());
  EXPECT_EQ(vsktest::ReadFile(trash / "files/report.2.txt"), "second");
  EXPECT_EQ(vsktest::ReadFile(trash / "files/report.txt"), "first");
  EXPECT_EQ(InfoPathLine(vsktest::ReadFile(trash / "info/report.2.txt.trashinfo")), file.string());

  // A leftover info file alone also reserves its name.
  vsktest::WriteFile(trash / "info/report.3.txt.trashinfo", "[Trash Info]\n");
  vsktest::WriteFile(file, "third");
  ASSERT_TRUE(MoveToTrash(file.string(), &as));
  EXPECT_EQ(as, (trash / "files/report.4.txt").string());

  // Restoring puts the item back over what stands there now and drops its
  // info file; an item no longer in the trash cannot be restored.
  vsktest::WriteFile(file, "written since");
  ASSERT_TRUE(RestoreFromTrash((trash / "files/report.2.txt").string(), file.string()));
  EXPECT_EQ(vsktest::ReadFile(file), "second");
  EXPECT_FALSE(fs::exists(trash / "files/report.2.txt"));
  EXPECT_FALSE(fs::exists(trash / "info/report.2.txt.trashinfo"));
  EXPECT_FALSE(RestoreFromTrash((trash / "files/report.2.txt").string(), file.string()));
  EXPECT_EQ(vsktest::ReadFile(file), "second");

  vsktest::WriteFile(work / "README", "x");
  vsktest::WriteFile(trash / "files/README", "old");
  ASSERT_TRUE(MoveToTrash((work / "README").string(), &as));
  EXPECT_EQ(as, (trash / "files/README.2").string());
}

TEST(Trash, EscapesThePathAndHonoursXdgDataHome) {
  vsktest::IsolatedEnvironment env;
  const fs::path data = env.root() / "elsewhere";
  vsktest::ScopedEnv xdg("XDG_DATA_HOME", data.string());
  EXPECT_EQ(HomeTrashDir(), (data / "Trash").string());

  EXPECT_EQ(TrashEscapePath("/a b/c%d/\xC3\xA9-_.~"), "/a%20b/c%25d/%C3%A9-_.~");

  vsktest::TempDir work;
  const fs::path file = work / "with space #1.txt";
  vsktest::WriteFile(file, "x");
  ASSERT_TRUE(MoveToTrash(file.string()));
  const std::string info = vsktest::ReadFile(data / "Trash/info/with space #1.txt.trashinfo");
  EXPECT_EQ(InfoPathLine(info), TrashEscapePath(file.string()));
  EXPECT_NE(InfoPathLine(info).find("with%20space%20%231.txt"), std::string::npos);
  EXPECT_TRUE(fs::exists(data / "Trash/files/with space #1.txt"));
}

TEST(Trash, LinksFoldersAndMissingItems) {
  vsktest::IsolatedEnvironment env;
  const fs::path trash = env.root() / "home/.local/share/Trash";
  vsktest::TempDir work;

  EXPECT_FALSE(MoveToTrash((work / "missing").string()));
  EXPECT_FALSE(MoveToTrash(""));

  // A link is trashed as the link; its target stays.
  vsktest::WriteFile(work / "target", "keep");
  fs::create_symlink(work / "target", work / "link");
  ASSERT_TRUE(MoveToTrash((work / "link").string()));
  EXPECT_TRUE(fs::is_symlink(trash / "files/link"));
  EXPECT_EQ(vsktest::ReadFile(work / "target"), "keep");

  vsktest::WriteFile(work / "dir/inner.txt", "in");
  ASSERT_TRUE(MoveToTrash((work / "dir").string()));
  EXPECT_FALSE(fs::exists(work / "dir"));
  EXPECT_EQ(vsktest::ReadFile(trash / "files/dir/inner.txt"), "in");
  EXPECT_TRUE(fs::exists(trash / "info/dir.trashinfo"));
}

}  // namespace
}  // namespace vsk

namespace vsk {
namespace {

TEST(Trash, AcrossFileSystemsCopiesThenRemoves) {
  vsktest::IsolatedEnvironment env;
  const fs::path trash = env.root() / "home/.local/share/Trash";
  struct stat a, b;
  if (stat("/dev/shm", &b) != 0 || stat(env.root().c_str(), &a) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  std::string tmpl = "/dev/shm/vsktrash-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path src = tmpl;
  const std::string data = vsktest::RandomBytes(300000);
  vsktest::WriteFile(src / "big.bin", data);
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(src / "big.bin", when);
  vsktest::WriteFile(src / "tree/a.txt", "a");

  EXPECT_TRUE(MoveToTrash((src / "big.bin").string()));
  EXPECT_TRUE(MoveToTrash((src / "tree").string()));
  EXPECT_FALSE(fs::exists(src / "big.bin"));
  EXPECT_FALSE(fs::exists(src / "tree"));
  EXPECT_EQ(vsktest::ReadFile(trash / "files/big.bin"), data);
  EXPECT_EQ(fs::last_write_time(trash / "files/big.bin"), when);
  EXPECT_EQ(vsktest::ReadFile(trash / "files/tree/a.txt"), "a");
  EXPECT_TRUE(fs::exists(trash / "info/big.bin.trashinfo"));

  // Put back across file systems: copied whole beside its place, then renamed.
  vsktest::WriteFile(src / "big.bin", "partial new archive");
  ASSERT_TRUE(RestoreFromTrash((trash / "files/big.bin").string(), (src / "big.bin").string()));
  EXPECT_EQ(vsktest::ReadFile(src / "big.bin"), data);
  EXPECT_EQ(fs::last_write_time(src / "big.bin"), when);
  EXPECT_FALSE(fs::exists(trash / "files/big.bin"));
  EXPECT_FALSE(fs::exists(trash / "info/big.bin.trashinfo"));
  EXPECT_EQ(std::distance(fs::directory_iterator(src), fs::directory_iterator()), 1);
  fs::remove_all(src);
}

}  // namespace
}  // namespace vsk
