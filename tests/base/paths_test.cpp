#include "base/paths.h"

#include <gtest/gtest.h>

namespace vsk {
namespace {

// The three answers for the folder of a path, on the names where they part.
TEST(BasePaths, FolderOfAPath) {
  struct Case {
    const char* Path;
    const char* Prefix;  // PathFolderPart
    const char* OrDot;   // FolderOrDot
    const char* Parent;  // ParentFolder
  };
  const Case cases[] = {
      {"a/b.zip", "a/", "a/", "a"},
      {"/x/y/b.zip", "/x/y/", "/x/y/", "/x/y"},
      {"b.zip", "", ".", "."},
      {"", "", ".", "."},
      {"/b.zip", "/", "/", "/"},
      {"/", "/", "/", "/"},
      {"dir/", "dir/", "dir/", "dir"},
      {"a//b", "a//", "a//", "a/"},
      {"./b", "./", "./", "."},
      // Only "/" separates: a backslash is part of the name.
      {"a\\b", "", ".", "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(PathFolderPart(c.Path), c.Prefix);
    EXPECT_EQ(FolderOrDot(c.Path), c.OrDot);
    EXPECT_EQ(ParentFolder(c.Path), c.Parent);
  }
  // The folder without its separator: empty for a bare name, unlike
  // ParentFolder's ".".
  EXPECT_EQ(PathFolder("a/b/c.txt"), "a/b");
  EXPECT_EQ(PathFolder("c.txt"), "");
  EXPECT_EQ(PathFolder("/c.txt"), "/");
  EXPECT_EQ(PathFolder("a/"), "a");
  // A prefix that always names a folder, as the cabinet reader gives it.
  EXPECT_EQ(AppendSlash(FolderOrDot("b.cab")) + "c.cab", "./c.cab");
  EXPECT_EQ(AppendSlash(FolderOrDot("x/b.cab")) + "c.cab", "x/c.cab");
  // Folder and file parts put together give the path back.
  for (const char* p : {"a/b", "b", "/b", "a/", "/"}) EXPECT_EQ(PathFolderPart(p) + PathFilePart(p), p);
}

// The extension belongs to the last name only.
TEST(BasePaths, ExtensionOfTheLastName) {
  EXPECT_EQ(PathExtension("a/b.tar.gz"), ".gz");
  EXPECT_EQ(PathExtension("B.ZIP"), ".ZIP");
  EXPECT_EQ(PathExtension("dir.d/name"), "");
  EXPECT_EQ(PathExtension("x/.profile"), ".profile");
  EXPECT_EQ(PathExtension(".profile.bak"), ".bak");
  EXPECT_EQ(PathExtension("name."), ".");
  EXPECT_EQ(PathExtension(""), "");
  // Taking it away keeps a hidden name whole.
  EXPECT_EQ(WithoutExtension("a.d/b.tar.gz"), "a.d/b.tar");
  EXPECT_EQ(WithoutExtension("a.d/b"), "a.d/b");
  EXPECT_EQ(WithoutExtension("x/.profile"), "x/.profile");
}

}  // namespace
}  // namespace vsk
