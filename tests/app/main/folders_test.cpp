#include "app/main/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "tests/support/testutil.h"

namespace {

using namespace brevane;
using vsktest::IsolatedEnvironment;
using vsktest::ReadFile;
using vsktest::WriteFile;
namespace fs = std::filesystem;

TEST(Folders, TempFolderIsCreatedAtomically) {
  IsolatedEnvironment env;
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const std::string name = GetTempFolderName();
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(seen.insert(name).second);
    const fs::path p(name);
    EXPECT_EQ(p.parent_path(), env.root() / "tmp");
    EXPECT_EQ(p.filename().string().rfind("qv_", 0), 0u);
    struct stat st;
    ASSERT_EQ(lstat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::is_empty(p));
  }
  // A temporary folder setting that names no folder falls back to /tmp.
  vsktest::ScopedEnv missing("TMPDIR", (env.root() / "no-such-folder").string());
  const std::string fallback = GetTempFolderName();
  EXPECT_EQ(fs::path(fallback).parent_path(), "/tmp");
  EXPECT_TRUE(fs::is_directory(fallback));
  fs::remove(fallback);
}

TEST(Folders, SpecialFolders) {
  IsolatedEnvironment env;
  const fs::path home = env.root() / "home";
  EXPECT_EQ(GetSpecialFolderPath(sfStartMenu), (home / ".local/share/applications").string());
  EXPECT_EQ(GetSpecialFolderPath(sfPrograms), (home / ".local/share/applications").string());
  EXPECT_EQ(GetSpecialFolderPath(sfStartup), (home / ".config/autostart").string());
  EXPECT_EQ(GetSpecialFolderPath(sfDesktopDirectory), (home / "Desktop").string());
  EXPECT_EQ(GetSpecialFolderPath(sfPersonal), home.string());
  EXPECT_EQ(GetSpecialFolderPath(sfProfile), home.string());
  EXPECT_EQ(GetSpecialFolderPath(12345), "");
  WriteFile(home / ".config/user-dirs.dirs",
            "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
            "XDG_DOCUMENTS_DIR=\"/data/docs\"\n");
  EXPECT_EQ(GetSpecialFolderPath(sfDesktop), (home / "Schreibtisch").string());
  EXPECT_EQ(GetSpecialFolderPath(sfPersonal), "/data/docs");
}

TEST(Folders, DeleteFolderTreeRemovesEverythingInside) {
  IsolatedEnvironment env;
  const fs::path top = env.root() / "tmp" / "tree";
  WriteFile(top / "a.txt", "a");
  WriteFile(top / ".hidden", "h");
  WriteFile(top / "sub" / ".dotdir" / "deep.bin", "d");
  WriteFile(top / "ro" / "locked.txt", "l");
  fs::permissions(top / "ro" / "locked.txt", fs::perms::owner_read);
  fs::permissions(top / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  fs::create_directories(top / "empty");
  DeleteFolderTree((top / "").string());  // a trailing separator is fine
  EXPECT_FALSE(fs::exists(top));

  // A file is not a folder: nothing happens.
  WriteFile(top, "file");
  DeleteFolderTree(top.string());
  EXPECT_TRUE(fs::exists(top));
}

TEST(Folders, DeleteFolderTreeNeverFollowsLinksOut) {
  IsolatedEnvironment env;
  const fs::path outside = env.root() / "outside";
  WriteFile(outside / "precious.txt", "keep");
  WriteFile(outside / "nested" / "also.txt", "keep");
  const fs::path top = env.root() / "tmp" / "tree";
  WriteFile(top / "file.txt", "x");
  fs::create_directories(top / "sub");
  fs::create_directory_symlink(outside, top / "sub" / "link-to-dir");
  fs::create_symlink(outside / "precious.txt", top / "link-to-file");
  fs::create_symlink(env.root() / "nowhere", top / "dangling");
  DeleteFolderTree(top.string());
  EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
  EXPECT_EQ(ReadFile(outside / "precious.txt"), "keep");
  EXPECT_EQ(ReadFile(outside / "nested" / "also.txt"), "keep");

  // Given a link itself, the link goes and its target stays.
  fs::create_directory_symlink(outside, env.root() / "tmp" / "link");
  DeleteFolderTree((env.root() / "tmp" / "link").string());
  EXPECT_FALSE(fs::exists(fs::symlink_status(env.root() / "tmp" / "link")));
  EXPECT_EQ(ReadFile(outside / "precious.txt"), "keep");
}

TEST(Folders, DeleteFolderTreeLeavesTheCurrentFolder) {
  IsolatedEnvironment env;
  const fs::path before = fs::current_path();
  const fs::path top = env.root() / "tmp" / "tree";
  fs::create_directories(top / "inner");
  fs::current_path(top / "inner");
  DeleteFolderTree(top.string());
  const fs::path now = fs::current_path();
  fs::current_path(before);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_EQ(now, fs::canonical(env.root() / "tmp"));
}

TEST(Folders, ShellDeleteFolder) {
  IsolatedEnvironment env;
  const fs::path dir = env.root() / "tmp";
  WriteFile(dir / "one.txt", "1");
  EXPECT_TRUE(ShellDeleteFolder((dir / "one.txt").string()));
  EXPECT_FALSE(fs::exists(dir / "one.txt"));
  WriteFile(dir / "folder" / "sub" / "two.txt", "2");
  EXPECT_TRUE(ShellDeleteFolder((dir / "folder").string()));
  EXPECT_FALSE(fs::exists(dir / "folder"));
  EXPECT_FALSE(ShellDeleteFolder((dir / "missing").string()));
}

TEST(Folders, FindFilesInTree) {
  IsolatedEnvironment env;
  const fs::path top = env.root() / "tmp" / "scan";
  WriteFile(top / "b.qvb", "");
  WriteFile(top / "A.QVB", "");
  WriteFile(top / "notes.txt", "");
  WriteFile(top / ".hidden.qvb", "");
  WriteFile(top / "sets.qvb" / "inner.qvb", "");        // a folder whose name matches
  WriteFile(top / "plain" / "skipped.qvb", "");         // one whose name does not
  fs::create_directory_symlink(top, top / "loop.qvb");  // never searched
  std::vector<std::string> list;
  EXPECT_EQ(FindFilesInTree(top.string(), "*.qvb", list), 2);
  const std::string t = top.string() + "/";
  EXPECT_EQ(list, (std::vector<std::string>{t + "A.QVB", t + "b.qvb", t + "sets.qvb/inner.qvb"}));

  list = {"kept"};
  EXPECT_EQ(CountFilesInTree(t, list), 3);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", t + "A.QVB", t + "b.qvb", t + "notes.txt", t + "plain/skipped.qvb",
                                            t + "sets.qvb/inner.qvb"}));
  list.clear();
  EXPECT_EQ(FindFilesInTree((top / "missing").string(), "*.*", list), 0);
  EXPECT_TRUE(list.empty());
}

TEST(Folders, QuotedFileList) {
  IsolatedEnvironment env;
  const fs::path top = env.root() / "tmp" / "q";
  WriteFile(top / "first file.txt", "");
  WriteFile(top / "sub" / "second.txt", "");
  EXPECT_EQ(QuotedFileList(top.string()),
            " \"" + top.string() + "/first file.txt\" \"" + top.string() + "/sub/second.txt\"");
  EXPECT_EQ(QuotedFileList((top / "sub").string()), " \"" + top.string() + "/sub/second.txt\"");
}

}  // namespace
