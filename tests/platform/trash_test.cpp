#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include <string>

#include "tests/support/canary.h"
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

// Runs Body in a child process with a tmpfs of its own mounted at Mount,
// in a mount namespace of its own so that nothing of it is seen outside.
// Body returns what it found wrong; "" is a pass. Skipped, with a message,
// where the system allows no such mount.
void OnSecondFileSystem(const fs::path& Mount, const std::function<std::string()>& Body) {
  fs::create_directories(Mount);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(out[0]);
    std::string result;
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("scratch", Mount.c_str(), "tmpfs", 0, "size=32m,mode=0755") != 0) {
      result = "\x01";  // no mount allowed
    } else {
      result = Body();
    }
    const ssize_t n = write(out[1], result.data(), result.size());
    _exit(n == static_cast<ssize_t>(result.size()) ? 0 : 1);
  }
  close(out[1]);
  std::string result;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) result.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  if (result == "\x01") GTEST_SKIP() << "no tmpfs can be mounted here (needs root and mount namespaces)";
  EXPECT_EQ(result, "");
}

// Collects what differs, for a body run in a child process.
struct Checks {
  std::string Failures;
  template <typename A, typename B>
  void Equal(const A& Got, const B& Want, const std::string& What) {
    if (!(Got == Want)) Failures += What + ": not as expected\n";
  }
  void True(bool Cond, const std::string& What) {
    if (!Cond) Failures += What + "\n";
  }
  void Intact(const vsktest::Canaries& C) {
    const ::testing::AssertionResult r = C.Intact();
    if (!r) Failures += std::string(r.message()) + "\n";
  }
};

TEST(Trash, OnAnotherFileSystemTheVolumesOwnTrash) {
  vsktest::IsolatedEnvironment env;
  const fs::path home = env.root() / "home/.local/share/Trash";
  const fs::path vol = env.root() / "usb";
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
  OnSecondFileSystem(vol, [&] {
    Checks c;
    vsktest::Canaries canaries;
    canaries.Plant(vol / "beside.txt");
    canaries.Plant(vol / "photos/kept.jpg");
    const std::string data = vsktest::RandomBytes(300000);
    vsktest::WriteFile(vol / "photos/big.zip", data);
    fs::last_write_time(vol / "photos/big.zip", old);
    std::string as;
    c.True(MoveToTrash((vol / "photos/big.zip").string(), &as), "trashed");
    const fs::path trash = vol / (".Trash-" + std::to_string(getuid()));
    c.Equal(as, (trash / "files/big.zip").string(), "in the volume's trash");
    c.Equal(vsktest::ReadFile(trash / "files/big.zip"), data, "its bytes");
    c.Equal(InfoPathLine(vsktest::ReadFile(trash / "info/big.zip.trashinfo")), std::string("photos/big.zip"),
            "its path relative to the top folder");
    struct stat st;
    c.True(lstat(trash.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700, "the trash is 0700");
    c.True(!fs::exists(home / "files/big.zip"), "nothing copied home");
    // Put back by rename on the volume itself, over a new file at its place.
    vsktest::WriteFile(vol / "photos/big.zip", "half-made archive");
    c.True(RestoreFromTrash(as, (vol / "photos/big.zip").string()), "restored");
    c.Equal(vsktest::ReadFile(vol / "photos/big.zip"), data, "restored bytes");
    c.Equal(fs::last_write_time(vol / "photos/big.zip"), old, "restored time");
    c.True(!fs::exists(trash / "info/big.zip.trashinfo"), "info dropped");

    // A sticky .Trash the administrator made is used, by user.
    fs::create_directory(vol / ".Trash");
    fs::permissions(vol / ".Trash", fs::perms(01777));
    vsktest::WriteFile(vol / "x.txt", "x");
    c.True(MoveToTrash((vol / "x.txt").string(), &as), "trashed to .Trash");
    c.Equal(as, (vol / ".Trash" / std::to_string(getuid()) / "files/x.txt").string(), "in .Trash/<uid>");
    c.Equal(InfoPathLine(vsktest::ReadFile(vol / ".Trash" / std::to_string(getuid()) / "info/x.txt.trashinfo")),
            std::string("x.txt"), "relative path");
    c.Intact(canaries);
    return c.Failures;
  });
}

TEST(Trash, WhereNoVolumeTrashCanBeMadeACopyKeepsTimesAndComesBack) {
  vsktest::IsolatedEnvironment env;
  const fs::path home = env.root() / "home/.local/share/Trash";
  const fs::path vol = env.root() / "usb";
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
  OnSecondFileSystem(vol, [&] {
    Checks c;
    // A file where the volume's trash would be: none can be made.
    vsktest::WriteFile(vol / (".Trash-" + std::to_string(getuid())), "not a folder");
    vsktest::Canaries canaries;
    canaries.Watch(vol / (".Trash-" + std::to_string(getuid())));
    canaries.Plant(vol / "beside.txt");
    vsktest::WriteFile(vol / "tree/a.txt", "a");
    vsktest::WriteFile(vol / "tree/sub/b.txt", "b");
    fs::create_symlink("a.txt", vol / "tree/link");
    for (const char* f : {"tree/a.txt", "tree/sub/b.txt", "tree/sub", "tree"}) fs::last_write_time(vol / f, old);
    std::string as;
    c.True(MoveToTrash((vol / "tree").string(), &as), "trashed by copy");
    c.Equal(as, (home / "files/tree").string(), "in the home trash");
    c.True(!fs::exists(vol / "tree"), "the original is gone");
    c.Equal(InfoPathLine(vsktest::ReadFile(home / "info/tree.trashinfo")), (vol / "tree").string(), "absolute path");
    for (const char* f : {"a.txt", "sub/b.txt", "sub", "."})
      c.Equal(fs::last_write_time(home / "files/tree" / f), old, std::string("time of ") + f);
    c.True(fs::is_symlink(home / "files/tree/link"), "a link stays a link");

    // A folder comes back across file systems too, with its times; over a
    // folder holding something it cannot, and stays in the trash.
    vsktest::WriteFile(vol / "tree/new.txt", "made since");
    c.True(!RestoreFromTrash(as, (vol / "tree").string()), "refused over a full folder");
    c.True(fs::exists(home / "files/tree/sub/b.txt") && fs::exists(home / "info/tree.trashinfo"), "still trashed");
    c.Equal(vsktest::ReadFile(vol / "tree/new.txt"), std::string("made since"), "the folder there untouched");
    fs::remove_all(vol / "tree");
    c.True(RestoreFromTrash(as, (vol / "tree").string()), "restored folder");
    c.Equal(vsktest::ReadFile(vol / "tree/sub/b.txt"), std::string("b"), "inner file back");
    c.Equal(fs::last_write_time(vol / "tree/sub/b.txt"), old, "inner time back");
    c.True(!fs::exists(home / "files/tree") && !fs::exists(home / "info/tree.trashinfo"), "gone from the trash");
    c.Equal(std::distance(fs::directory_iterator(vol), fs::directory_iterator()), 3, "no scratch left");
    c.Intact(canaries);
    return c.Failures;
  });
}

}  // namespace
}  // namespace vsk
