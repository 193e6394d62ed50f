#include "archive/core/filescan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/testutil.h"

namespace {

namespace fs = std::filesystem;
using vsk::TvskFileScan;

// root/
//   .hdir/x.txt  .hidden  README  a.txt  b.pas  c.inc  fifo
//   sub/d.txt  sub/e.PAS  sub/loop -> ..  sub/self -> .  sub/dangling -> missing
class FileScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.str() + "/";
    vsktest::WriteFile(dir / ".hdir/x.txt", "x");
    vsktest::WriteFile(dir / ".hidden", "hh");
    vsktest::WriteFile(dir / "README", "readme");
    vsktest::WriteFile(dir / "a.txt", "aaaa");
    vsktest::WriteFile(dir / "b.pas", "bbbbbbbb");
    vsktest::WriteFile(dir / "c.inc", "c");
    vsktest::WriteFile(dir / "sub/d.txt", "dd");
    vsktest::WriteFile(dir / "sub/e.PAS", "eee");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory_symlink("..", dir / "sub/loop");
    fs::create_directory_symlink(".", dir / "sub/self");
    fs::create_symlink("missing", dir / "sub/dangling");
  }

  // The list's names relative to root.
  std::vector<std::string> Found(const TvskFileScan& s) const {
    std::vector<std::string> r;
    for (int i = 0; i < s.FilesList().Count(); ++i) {
      const std::string& n = s.FilesList()[i].FileName;
      EXPECT_EQ(n.rfind(root, 0), 0u) << n;
      r.push_back(n.substr(root.size()));
    }
    return r;
  }

  vsktest::TempDir dir;
  std::string root;
};

TEST_F(FileScanTest, DefaultsAndTheSingleMaskString) {
  TvskFileScan s;
  EXPECT_EQ(s.FileMask, "*");
  EXPECT_EQ(s.RootDir(), "/");
  EXPECT_TRUE(s.Attributes == vsk::TvskFileAttrs{vsk::fsArchive});
  EXPECT_TRUE(s.AttributesEx.Empty());
  EXPECT_FALSE(s.IncludeHiddenDirs);
  EXPECT_TRUE(s.UpdateList);
  EXPECT_EQ(s.ScanOptions, vsk::soScanDir);
  EXPECT_TRUE(s.RecurseDirs);
  EXPECT_EQ(s.Sorted(), vsk::soUnsort);

  s.SetRootDir(dir.str());
  EXPECT_EQ(s.RootDir(), root);
  std::vector<std::string> scanned, dirs;
  int finished = -1;
  double finishedSize = -1;
  s.OnScanFile = [&](TvskFileScan&, const std::string& name, int count, double size) {
    scanned.push_back(name);
    EXPECT_EQ(count, static_cast<int>(scanned.size()));
    EXPECT_GT(size, 0);
  };
  s.OnRecurseDir = [&](TvskFileScan&, const std::string& d) { dirs.push_back(d); };
  s.OnFinished = [&](TvskFileScan&, int count, double size) {
    finished = count;
    finishedSize = size;
  };
  s.Scan();
  // Dot files are hidden, not skipped; the hidden folder is not entered; the
  // pipe and the dangling link are passed over; the linked loops end.
  const std::vector<std::string> want{".hidden", "README", "a.txt", "b.pas", "c.inc", "sub/d.txt", "sub/e.PAS"};
  EXPECT_EQ(Found(s), want);
  EXPECT_EQ(scanned, (std::vector<std::string>{".hidden", "README", "a.txt", "b.pas", "c.inc", "d.txt", "e.PAS"}));
  EXPECT_EQ(dirs, (std::vector<std::string>{root, root + "sub/"}));
  EXPECT_EQ(finished, 7);
  EXPECT_EQ(s.FilesCount(), 7);
  EXPECT_DOUBLE_EQ(s.FilesSize(), 2 + 6 + 4 + 8 + 1 + 2 + 3);
  EXPECT_DOUBLE_EQ(finishedSize, s.FilesSize());

  const auto& hidden = s.FilesList()[0];
  EXPECT_EQ(hidden.Attr, 0x22u);
  EXPECT_EQ(hidden.Size, 2u);
  EXPECT_EQ(hidden.BaseDir, root);
  EXPECT_TRUE(S_ISREG(hidden.Mode));
  EXPECT_NE(hidden.Time, 0u);

  s.OnScanFile = nullptr;
  s.FileMask = " *.txt , *.pas";
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{"a.txt", "b.pas", "sub/d.txt", "sub/e.PAS"}));

  s.RecurseDirs = false;
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{"a.txt", "b.pas"}));

  s.SetRootDir(dir.str() + "/nowhere");
  finished = -1;
  s.Scan();
  EXPECT_EQ(s.FilesCount(), 0);
  EXPECT_EQ(finished, 0);
}

TEST_F(FileScanTest, HiddenEntriesAndAttributeSets) {
  TvskFileScan s;
  s.SetRootDir(dir.str());
  s.IncludeHiddenDirs = true;
  s.Scan();
  auto found = Found(s);
  EXPECT_NE(std::find(found.begin(), found.end(), ".hdir/x.txt"), found.end());

  s.AttributesEx = {vsk::fsHidden};
  s.Scan();
  found = Found(s);
  EXPECT_EQ(std::find(found.begin(), found.end(), ".hidden"), found.end());
  // The hidden folder is still entered; its own entries are not hidden.
  EXPECT_NE(std::find(found.begin(), found.end(), ".hdir/x.txt"), found.end());

  // Folders that pass are listed but not counted.
  s.AttributesEx = {};
  s.IncludeHiddenDirs = false;
  s.Attributes = {vsk::fsDirectory};
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{".hdir", "sub"}));
  EXPECT_EQ(s.FilesCount(), 0);
  EXPECT_EQ(s.FilesList()[1].Attr, 0x10u);

  ASSERT_EQ(chmod((dir / "c.inc").c_str(), 0444), 0);
  s.Attributes = {vsk::fsReadOnly};
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{"c.inc"}));
  EXPECT_EQ(s.FilesList()[0].Attr, 0x21u);
  s.Attributes = {vsk::fsArchive};
  s.AttributesEx = {vsk::fsReadOnly};
  s.Scan();
  found = Found(s);
  EXPECT_EQ(std::find(found.begin(), found.end(), "c.inc"), found.end());
  EXPECT_EQ(s.FilesCount(), 6);

  s.AttributesEx = {};
  s.UpdateList = false;
  s.Scan();
  EXPECT_EQ(s.FilesCount(), 7);
  EXPECT_EQ(s.FilesList().Count(), 0);
}

TEST_F(FileScanTest, FileSpecGroupsByFolder) {
  TvskFileScan s;
  std::map<std::string, int> walked;
  std::vector<std::string> changes;
  s.OnRecurseDir = [&](TvskFileScan&, const std::string& d) { ++walked[d]; };
  s.OnRootDirChange = [&](TvskFileScan&, const std::string& d) { changes.push_back(d); };

  // Two masks of one folder: that folder is walked once with both.
  const std::vector<std::string> spec{root + "*.pas", root + "*.inc", root + "b.pas"};
  s.SetFileSpec(spec);
  EXPECT_TRUE(s.FileMask.empty());
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{"b.pas", "c.inc", "sub/e.PAS"}));
  EXPECT_EQ(walked[root], 1);
  EXPECT_EQ(walked[root + "sub/"], 1);
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(s.FileSpec(), spec);
  s.Scan();
  EXPECT_EQ(s.FilesCount(), 3);

  // Two folders: two walks, the change reported while more groups remain.
  walked.clear();
  s.SetFileSpec({root + "*.txt", root + "sub/*.pas"});
  s.Scan();
  // The second walk follows sub/loop back to the root, which that walk has
  // not seen yet.
  EXPECT_EQ(Found(s), (std::vector<std::string>{"a.txt", "sub/d.txt", "sub/e.PAS", "sub/loop/b.pas"}));
  EXPECT_EQ(changes, std::vector<std::string>{root});
  EXPECT_EQ(s.FilesList()[1].BaseDir, root);
  EXPECT_EQ(s.FilesList()[2].BaseDir, root + "sub/");
  EXPECT_EQ(walked[root + "sub/"], 2);

  // "*.*" and an empty name take files without an extension; entries
  // without a folder are looked for in RootDir.
  s.SetRootDir(dir.str());
  s.RecurseDirs = false;
  s.SetFileSpec({"*.*"});
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{".hidden", "README", "a.txt", "b.pas", "c.inc"}));
  s.SetFileSpec({root + "sub/"});
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{"sub/d.txt", "sub/e.PAS"}));
  s.SetFileSpec({"READ*"});
  s.Scan();
  EXPECT_EQ(Found(s), std::vector<std::string>{"README"});
}

TEST_F(FileScanTest, FoldersDifferingInCaseAreDifferent) {
  vsktest::WriteFile(dir / "x/one.a", "1");
  vsktest::WriteFile(dir / "X/two.a", "2");
  TvskFileScan s;
  s.SetFileSpec({root + "x/*.a", root + "X/*.a"});
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{"x/one.a", "X/two.a"}));
}

TEST_F(FileScanTest, LinkedFoldersAreEnteredOnce) {
  // Two folders linking to each other, and a link to a folder further on.
  vsktest::WriteFile(dir / "p/f1", "1");
  vsktest::WriteFile(dir / "q/f2", "2");
  fs::create_directory_symlink("../q", dir / "p/toq");
  fs::create_directory_symlink("../p", dir / "q/top");
  TvskFileScan s;
  s.SetFileSpec({root + "p/*", root + "q/*"});
  s.Scan();
  EXPECT_EQ(Found(s), (std::vector<std::string>{"p/f1", "p/toq/f2", "q/f2", "q/top/f1"}));

  // A chain of links deeper than any sane walk would need: each target is
  // entered once.
  vsktest::TempDir deep;
  vsktest::WriteFile(deep / "r/file", "z");
  fs::create_directory_symlink(".", deep / "r/again");
  fs::create_directory_symlink("..", deep / "r/up");
  TvskFileScan t;
  int dirs = 0;
  t.OnRecurseDir = [&](TvskFileScan&, const std::string&) { ++dirs; };
  t.SetRootDir(deep.str());
  t.Scan();
  EXPECT_EQ(t.FilesCount(), 1);
  EXPECT_EQ(dirs, 2);
}

TEST_F(FileScanTest, CancelStopsAtTheNextEntry) {
  TvskFileScan s;
  s.SetRootDir(dir.str());
  EXPECT_EQ(s.CancelFlag(), s.CancelFlag());
  s.OnScanFile = [&](TvskFileScan& sender, const std::string&, int, double) { sender.Cancel(); };
  s.Scan();
  EXPECT_EQ(s.FilesCount(), 1);
  EXPECT_TRUE(s.Cancelled());
  s.OnScanFile = nullptr;
  s.Scan();
  EXPECT_FALSE(s.Cancelled());
  EXPECT_EQ(s.FilesCount(), 7);

  // Through the shared flag, also between mask groups.
  int walks = 0;
  s.OnScanFile = nullptr;
  s.OnRecurseDir = [&](TvskFileScan& sender, const std::string&) {
    ++walks;
    *sender.CancelFlag() = true;
  };
  s.SetFileSpec({root + "*.txt", root + "sub/*"});
  s.Scan();
  EXPECT_EQ(walks, 1);
  EXPECT_EQ(s.FilesCount(), 0);
}

TEST_F(FileScanTest, LargeFilesCountInFull) {
  const fs::path big = dir / "big.bin";
  vsktest::WriteFile(big, "");
  const std::uintmax_t size = (std::uintmax_t{5} << 30) + 7;
  fs::resize_file(big, size);
  TvskFileScan s;
  s.SetRootDir(dir.str());
  s.RecurseDirs = false;
  s.FileMask = "*.bin";
  s.Scan();
  ASSERT_EQ(s.FilesCount(), 1);
  EXPECT_EQ(s.FilesList()[0].Size, size);
  EXPECT_DOUBLE_EQ(s.FilesSize(), static_cast<double>(size));
}

TEST_F(FileScanTest, SortedLists) {
  TvskFileScan s;
  s.SetRootDir(dir.str());
  s.SetSorted(vsk::soBySize);
  s.Scan();
  std::vector<vsk::UInt64> sizes;
  for (int i = 0; i < s.FilesList().Count(); ++i) sizes.push_back(s.FilesList()[i].Size);
  EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));
  EXPECT_EQ(sizes.front(), 1u);
  EXPECT_EQ(sizes.back(), 8u);

  s.SetSorted(vsk::soByType);
  const auto& l = s.FilesList();
  for (int i = 1; i < l.Count(); ++i) EXPECT_LE(l.Compare(l[i - 1], l[i]), 0);
  EXPECT_EQ(l[0].FileName, root + "README");  // no extension sorts first

  s.SetSorted(vsk::soByName);
  EXPECT_EQ(Found(s), (std::vector<std::string>{".hidden", "a.txt", "b.pas", "c.inc", "README", "sub/d.txt",
                                                "sub/e.PAS"}));
  s.FilesList().SetCaseSensitive(true);
  EXPECT_EQ(Found(s).at(1), "README");
}

TEST(FilesList, SortFindAndDelete) {
  vsk::TFilesList list;
  const vsk::UInt64 sizes[] = {9, 3, 5000000000ull, 3, 0, 7, 4294967296ull, 3, 1};
  vsk::UInt32 time = 0x00210000;
  for (auto sz : sizes) {
    auto o = std::make_unique<vsk::TFileObject>();
    o->FileName = "f" + std::to_string(sz);
    o->Size = sz;
    o->Time = sz == 0 ? 0xF0210000u : (time += 0x10000);
    list.Add(std::move(o));
  }
  list.Sort();  // unsorted: stays as added
  EXPECT_EQ(list[0].Size, 9u);

  list.SetSortOption(vsk::soBySize);
  for (int i = 1; i < list.Count(); ++i) EXPECT_LE(list[i - 1].Size, list[i].Size);
  EXPECT_EQ(list[list.Count() - 1].Size, 5000000000ull);

  vsk::TFileObject probe;
  probe.Size = 3;
  int index = -1;
  EXPECT_TRUE(list.Find(probe, index));
  EXPECT_EQ(index, 2);  // the first of the three
  probe.Size = 6;
  EXPECT_FALSE(list.Find(probe, index));
  EXPECT_EQ(index, 5);
  probe.Size = 10000000000ull;
  EXPECT_FALSE(list.Find(probe, index));
  EXPECT_EQ(index, list.Count());

  // Times above 2043 have the top bit set and still sort after earlier ones.
  list.SetSortOption(vsk::soByTime);
  EXPECT_EQ(list[0].Size, 9u);
  EXPECT_EQ(list[1].Size, 3u);
  EXPECT_EQ(list[2].Size, 5000000000ull);
  EXPECT_EQ(list[list.Count() - 1].Size, 0u);

  list.Delete(0);
  list.Delete(100);
  EXPECT_EQ(list.Count(), 8);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.Sort();

  // Many equal keys and an already sorted run stay well within the stack.
  for (int i = 0; i < 200000; ++i) {
    auto o = std::make_unique<vsk::TFileObject>();
    o->Size = static_cast<vsk::UInt64>(i < 100000 ? i : 7);
    list.Add(std::move(o));
  }
  list.SetSortOption(vsk::soBySize);
  for (int i = 1; i < list.Count(); ++i) ASSERT_LE(list[i - 1].Size, list[i].Size);
}

TEST(FileScan, AllFileSystemsStartAtTheRoot) {
  TvskFileScan s;
  s.ScanOptions = vsk::soScanDrvs;
  s.UpdateList = false;
  std::vector<std::string> dirs;
  s.OnRecurseDir = [&](TvskFileScan& sender, const std::string& d) {
    dirs.push_back(d);
    sender.Cancel();
  };
  vsktest::TempDir d;
  s.SetFileSpec({d.str() + "/*"});
  s.Scan();
  EXPECT_EQ(dirs, std::vector<std::string>{"/"});
}

}  // namespace
