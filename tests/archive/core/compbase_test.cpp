// The writer base through the zip writer: properties, the decision per
// found file, its events, moves, cancels and failures, and that nothing is
// ever lost from the target.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "archive/formats/gzip/gzipwriter.h"
#include "base/dates.h"
#include "tests/archive/formats/zip/zipwrite_support.h"

namespace vsktest {
namespace {

using vsk::TZip;
using vsk::TZipCommon;

std::string Spec(const fs::path& dir) { return (dir / "*").string(); }

std::vector<std::string> Names(const fs::path& archive) {
  std::vector<std::string> n;
  for (const auto& r : ParseZip(ReadFile(archive)).records) n.push_back(r.name);
  std::sort(n.begin(), n.end());
  return n;
}

// Files other than the archives in a folder: scratch files must not stay.
std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() != ".zip") out.push_back(e.path().filename().string());
  return out;
}

void SetMTime(const fs::path& p, std::time_t t) {
  struct timespec ts[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), ts, 0), 0);
}

class CompBaseTest : public ::testing::Test {
 protected:
  IsolatedEnvironment env;
  TempDir tmp;
  fs::path src = tmp / "src";
  fs::path archive = tmp / "out.zip";
};

TEST_F(CompBaseTest, ArchiveNameAndDefaultExtension) {
  TZip z;
  EXPECT_EQ(z.DefaultExt(), ".ZIP");
  z.SetArchiveFile((tmp / "backup").string());
  EXPECT_EQ(z.ArchiveFile(), (tmp / "backup.ZIP").string());
  z.SetDefaultExt("abcde");
  EXPECT_EQ(z.DefaultExt(), ".ABC");
  EXPECT_EQ(z.ArchiveFile(), (tmp / "backup.ABC").string());
  z.SetDefaultExt(".");
  EXPECT_EQ(z.DefaultExt(), ".ZIP");
  z.SetArchiveFile((tmp / "keep.dat").string());
  z.SetDefaultExt("JAR");
  EXPECT_EQ(z.ArchiveFile(), (tmp / "keep.dat").string()) << "another extension than the old default stays";
  z.SetArchiveFile((tmp / "swap.jar").string());
  z.SetDefaultExt("ZIP");
  EXPECT_EQ(z.ArchiveFile(), (tmp / "swap.ZIP").string());
  z.SetDefaultExt("JAR");
  z.SetArchiveFile((tmp / ".hidden").string());
  EXPECT_EQ(z.ArchiveFile(), (tmp / ".hidden.JAR").string());
  {
    const fs::path old = fs::current_path();
    fs::current_path(tmp.path());
    z.SetArchiveFile("sub/../rel.zip");
    fs::current_path(old);
  }
  EXPECT_EQ(z.ArchiveFile(), (tmp / "rel.zip").string());
  z.SetArcType(vsk::atTar);
  EXPECT_EQ(z.ArcType(), vsk::atZip);
  EXPECT_EQ(z.DefaultExt(), ".ZIP");
  // An existing archive whose name has no extension keeps its name.
  vsktest::WriteFile(tmp / "existing", "PK");
  z.SetArchiveFile((tmp / "existing").string());
  EXPECT_EQ(z.ArchiveFile(), (tmp / "existing").string());
}

TEST_F(CompBaseTest, StoredPathForms) {
  MakeTree(src, {{"a.txt", "a"}, {"sub/b.txt", "b"}});
  {
    Writer w(archive);
    w.z.StoredDirNames = vsk::sdRelativeStoreStart;
    EXPECT_EQ(w.Add({Spec(src)}), 2);
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"src/a.txt", "src/sub/b.txt"}));
  }
  fs::remove(archive);
  {
    Writer w(archive);
    w.z.StoredDirNames = vsk::sdAbsoluteNoRoot;
    EXPECT_EQ(w.Add({Spec(src)}), 2);
    EXPECT_EQ(Names(archive)[0], (src / "a.txt").string().substr(1));
  }
  fs::remove(archive);
  {
    // Two files of one stored name: the first one stands, no duplicate entry.
    MakeTree(src, {{"other/a.txt", "second a"}});
    Writer w(archive);
    w.z.StoredDirNames = vsk::sdNone;
    EXPECT_EQ(w.Add({Spec(src)}), 2);
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "b.txt"}));
    fs::remove_all(src / "other");
  }
  fs::remove(archive);
  {
    Writer w(archive);
    w.z.StoredDirNames = vsk::sdExplorer_UserDefineDefaultDir;
    EXPECT_EQ(w.Add({Spec(src / "sub")}), 0);
    EXPECT_TRUE(w.HasError(25271));
    EXPECT_FALSE(fs::exists(archive));
    w.z.DefaultDir = src.string() + "/";
    EXPECT_EQ(w.Add({Spec(src / "sub")}), 1);
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"sub/b.txt"}));
  }
  fs::remove(archive);
  {
    Writer w(archive);
    w.z.StoredDirNames = vsk::sdExplorer_Auto;
    w.z.RecurseDirs = false;
    // Single files from a tree keep their folders below the common one.
    MakeTree(src, {{"other/b.txt", "other b"}});
    EXPECT_EQ(w.Add({(src / "a.txt").string(), (src / "sub" / "b.txt").string(), (src / "other" / "b.txt").string()}),
              3);
    EXPECT_EQ(w.z.DefaultDir, src.string() + "/");
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "other/b.txt", "sub/b.txt"}));
    fs::remove_all(src / "other");
  }
  fs::remove(archive);
  {
    Writer w(archive);
    w.z.ExcludeSpec = {"*.txt"};
    MakeTree(src, {{"keep.dat", "k"}});
    EXPECT_EQ(w.Add({Spec(src)}), 1);
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"keep.dat"}));
  }
}

TEST_F(CompBaseTest, AnEqualFileIsKeptUnlessTheOldEntryGetsANewName) {
  MakeTree(src, {{"a.txt", TextBytes(3000, 1)}, {"b.txt", "b"}});
  Writer w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 2);
  const std::string before = ReadFile(archive);
  const auto mtime = fs::last_write_time(archive);

  // Unassigned rename event: reported, old entries kept, nothing rewritten.
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  EXPECT_TRUE(w.HasError(25270));
  EXPECT_NE(std::find(w.errorTexts.begin(), w.errorTexts.end(), "OnRenameDupeFile"), w.errorTexts.end());
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_EQ(fs::last_write_time(archive), mtime);

  // A name already in the archive is asked again; a free one is taken.
  std::vector<std::string> answers = {"b.txt", "a-old.txt"};
  std::size_t asked = 0;
  w.z.OnRenameDupeFile = [&](TZipCommon&, const std::string& name, std::string& newName, bool& rename) {
    if (name != "a.txt") {
      rename = false;
      return;
    }
    newName = answers[std::min(asked++, answers.size() - 1)];
  };
  w.errors.clear();
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_EQ(asked, 2u);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"a-old.txt", "a.txt", "b.txt"}));
  ExpectUnzipTest(archive);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x"),
                       {{"a.txt", TextBytes(3000, 1)}, {"a-old.txt", TextBytes(3000, 1)}, {"b.txt", "b"}}));
}

TEST_F(CompBaseTest, ReplaceDecisionAndItsEvent) {
  MakeTree(src, {{"a.txt", "old content"}});
  SetMTime(src / "a.txt", 1500000000);
  Writer w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 1);
  WriteFile(src / "a.txt", "the new and longer content");
  SetMTime(src / "a.txt", 1600000000);

  struct Asked {
    std::string name, newName;
    vsk::TDateTime date, newDate;
    vsk::UInt32 size, newSize;
    int attr, newAttr;
  };
  std::vector<Asked> asked;
  bool answer = false;
  w.z.OnReplaceFile = [&](TZipCommon&, const std::string& n, const std::string& nn, vsk::TDateTime d,
                          vsk::TDateTime nd, vsk::UInt32 s, vsk::UInt32 ns, int a, int na, bool& replace) {
    EXPECT_FALSE(replace);
    asked.push_back({n, nn, d, nd, s, ns, a, na});
    replace = answer;
  };
  w.z.OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string&, bool& rename) { rename = false; };
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].name, "a.txt");
  EXPECT_EQ(asked[0].newName, (src / "a.txt").string());
  EXPECT_EQ(asked[0].size, 11u);
  EXPECT_EQ(asked[0].newSize, 26u);
  EXPECT_EQ(asked[0].attr, 0x20);
  EXPECT_EQ(asked[0].newAttr, 0x20);
  EXPECT_NEAR(asked[0].date, vsk::DosDateTimeToDateTime(vsk::FileTimeToLocalDos(1500000000)), 1e-9);
  EXPECT_NEAR(asked[0].newDate, vsk::DosDateTimeToDateTime(vsk::FileTimeToLocalDos(1600000000)), 1e-9);

  answer = true;
  std::vector<std::string> deleted;
  w.z.OnDeleteFile = [&](TZipCommon&, const std::string& n, int, int) { deleted.push_back(n); };
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_EQ(deleted, std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x"), {{"a.txt", "the new and longer content"}}));
}

TEST_F(CompBaseTest, RefreshTakesOnlyChangedFilesOfTheArchive) {
  MakeTree(src, {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
  Writer w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 3);
  const auto before = ParseZip(ReadFile(archive));
  WriteFile(src / "b.txt", "b changed");
  WriteFile(src / "new.txt", "not in the archive");
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swRefresh), 1);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  const auto after = ParseZip(ReadFile(archive));
  // The refreshed entry keeps its place.
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(after.records[i].name, before.records[i].name);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x"), {{"a.txt", "a"}, {"b.txt", "b changed"}, {"c.txt", "c"}}));

  const std::string kept = ReadFile(archive);
  EXPECT_EQ(w.Add({(src / "new.txt").string()}, vsk::swRefresh), 0);
  EXPECT_TRUE(w.HasError(vsk::msg::NothingToDo));
  EXPECT_EQ(ReadFile(archive), kept);
}

TEST_F(CompBaseTest, AFailedReplacementKeepsTheOldEntry) {
  MakeTree(src, {{"big.bin", RandomBytes(3 << 20, 1)}, {"small.txt", "small"}});
  Writer w(archive);
  w.z.StoreFilesOfType = {"bin"};
  ASSERT_EQ(w.Add({Spec(src)}), 2);
  const Tree old = ReadTree(src);
  WriteFile(src / "big.bin", RandomBytes((3 << 20) + 5, 2));

  // Refused in OnBegin.
  w.z.OnBegin = [](TZipCommon&, const std::string&, int, bool& go) { go = false; };
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swRefresh), 0);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x1"), old));

  // Cut short while it is read: a failure, and the old entry stays.
  w.z.OnBegin = nullptr;
  bool cut = false;
  w.z.OnProgress = [&](TZipCommon&, vsk::Byte, vsk::Byte) {
    if (!cut) truncate((src / "big.bin").c_str(), 1 << 20);
    cut = true;
  };
  w.z.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                         vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = true; };
  WriteFile(src / "small.txt", "small, changed");
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_TRUE(w.HasError(vsk::msg::ErrorReadingFile));
  Tree want = old;
  want["small.txt"] = "small, changed";
  ExpectUnzipTest(archive);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x2"), want));
}

TEST_F(CompBaseTest, MoveDeletesSourcesOnlyAfterTheCommit) {
  MakeTree(src, {{"a.txt", "a"}, {"sub/b.txt", "b"}, {"big.bin", RandomBytes(3 << 20, 3)}});
  {
    // A file cut short is not added and not deleted.
    Writer w(archive);
    w.z.StoreFilesOfType = {"bin"};
    bool cut = false;
    w.z.OnProgress = [&](TZipCommon& s, vsk::Byte, vsk::Byte) {
      if (!cut && s.CurrentFileName == "big.bin") {
        truncate((src / "big.bin").c_str(), 1 << 20);
        cut = true;
      }
    };
    EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 2);
    EXPECT_TRUE(cut);
    EXPECT_FALSE(fs::exists(src / "a.txt"));
    EXPECT_FALSE(fs::exists(src / "sub/b.txt"));
    EXPECT_TRUE(fs::exists(src / "sub")) << "folders stay";
    EXPECT_TRUE(fs::exists(src / "big.bin"));
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
  }
  fs::remove(archive);
  MakeTree(src, {{"c.txt", "c"}});
  {
    // The commit fails (the target became a folder): every source stays.
    Writer w(archive);
    w.z.OnEnd = [&](TZipCommon&, const std::string&, bool) { fs::create_directories(archive / "in-the-way"); };
    EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 0);
    EXPECT_TRUE(w.HasError(vsk::msg::ErrorWritingToFile));
    EXPECT_TRUE(fs::exists(src / "c.txt"));
    EXPECT_TRUE(fs::exists(src / "big.bin"));
    EXPECT_TRUE(fs::is_directory(archive));
    EXPECT_TRUE(Leftovers(tmp.path()).empty());
    fs::remove_all(archive);
  }
  {
    // Verified against the committed archive; deleted through the trash.
    Writer w(archive);
    w.z.VerifyBeforeDelete = true;
    w.z.DeleteOptions = vsk::doAllowUndo;
    EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 2);
    EXPECT_FALSE(fs::exists(src / "c.txt"));
    EXPECT_FALSE(fs::exists(src / "big.bin"));
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"big.bin", "c.txt"}));
    std::size_t trashed = 0;
    for (auto it = fs::recursive_directory_iterator(env.root()); it != fs::recursive_directory_iterator(); ++it)
      if (it->path().filename() == "c.txt" || it->path().filename() == "big.bin") ++trashed;
    EXPECT_EQ(trashed, 2u);
  }
}

TEST_F(CompBaseTest, ACancelledRunLeavesTheTargetUntouched) {
  MakeTree(src, {{"a.txt", TextBytes(200000, 1)}, {"b.txt", TextBytes(200000, 2)}});
  Writer w(archive);
  ASSERT_EQ(w.Add({(src / "a.txt").string()}), 1);
  const std::string before = ReadFile(archive);
  w.z.OnProgress = [](TZipCommon& s, vsk::Byte, vsk::Byte) { s.SetCancel(true); };
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 0);
  EXPECT_TRUE(w.HasError(vsk::msg::UserCanceled));
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_TRUE(fs::exists(src / "a.txt"));
  EXPECT_TRUE(fs::exists(src / "b.txt"));
  EXPECT_TRUE(Leftovers(tmp.path()).empty());

  fs::remove(archive);
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_TRUE(Leftovers(tmp.path()).empty());

  // Cancelled while scanning.
  w.z.OnProgress = nullptr;
  w.z.OnFileScanStatus = [](TZipCommon& s, const std::string&, int, double) { s.SetCancel(true); };
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  EXPECT_FALSE(fs::exists(archive));
}

TEST_F(CompBaseTest, TheArchiveNeverAddsItself) {
  MakeTree(src, {{"a.txt", "a"}});
  const fs::path inside = src / "self.zip";
  Writer w(inside);
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  fs::create_symlink(inside, src / "link.zip");
  WriteFile(src / "b.txt", "b");
  w.z.OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string&, bool& rename) { rename = false; };
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_EQ(Names(inside), (std::vector<std::string>{"a.txt", "b.txt"}));
  for (const auto& e : fs::directory_iterator(src))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

TEST_F(CompBaseTest, EventsAndOptionsOfARun) {
  MakeTree(src, {{"a.txt", "a"}, {"b.txt", "b"}, {"sub/c.log", "c"}});
  SetMTime(src / "a.txt", 1400000000);
  SetMTime(src / "b.txt", 1700000000);
  SetMTime(src / "sub/c.log", 1300000000);
  Writer w(archive);
  int activate = 0, deactivate = 0, elapsed = 0;
  std::vector<std::string> begun, ended, dirs;
  w.z.OnActivate = [&](TZipCommon&) { ++activate; };
  w.z.OnDeactivate = [&](TZipCommon&) { ++deactivate; };
  w.z.OnElapsedTime = [&](TZipCommon&, float) { ++elapsed; };
  w.z.OnBegin = [&](TZipCommon&, const std::string& n, int, bool& go) {
    begun.push_back(n);
    go = n != "b.txt";
  };
  w.z.OnEnd = [&](TZipCommon&, const std::string& n, bool pass) {
    ended.push_back(n);
    EXPECT_TRUE(pass);
  };
  w.z.OnRecurseDir = [&](TZipCommon&, const std::string& d) { dirs.push_back(d); };
  w.z.OnRenameFile = [](TZipCommon&, const std::string& n, std::string& nn) {
    if (n == "sub/c.log") nn = "elsewhere/c.txt";
  };
  w.z.DateAttribute = vsk::daMaxFileDate;
  EXPECT_EQ(w.Add({Spec(src)}), 2);
  EXPECT_EQ(activate, 1);
  EXPECT_EQ(deactivate, 1);
  EXPECT_EQ(elapsed, 1);
  EXPECT_EQ(begun, (std::vector<std::string>{"a.txt", "b.txt", "sub/c.log"}));
  EXPECT_EQ(ended, (std::vector<std::string>{"a.txt", "sub/c.txt"}));
  EXPECT_EQ(dirs.size(), 2u);
  const auto z = ParseZip(ReadFile(archive));
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "sub/c.txt"}));
  const vsk::UInt32 newest = vsk::FileTimeToLocalDos(1700000000);
  for (const auto& r : z.records) EXPECT_EQ(r.c.DosDateTime, newest) << r.name;

  // omSkip leaves an existing archive alone.
  const std::string before = ReadFile(archive);
  w.z.OverwriteMode = vsk::omSkip;
  w.z.OnBegin = nullptr;
  WriteFile(src / "d.txt", "d");
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  EXPECT_EQ(ReadFile(archive), before);
}

TEST_F(CompBaseTest, AReadOnlyTargetNeedsConsent) {
  MakeTree(src, {{"a.txt", "a"}});
  Writer w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 1);
  fs::permissions(archive, fs::perms::owner_read | fs::perms::group_read);
  WriteFile(src / "b.txt", "b");
  w.z.OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string&, bool& rename) { rename = false; };
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  EXPECT_TRUE(w.HasError(25270));
  bool asked = false;
  w.z.OnNonWriteableArchive = [&](TZipCommon&, const std::string& name, bool& write) {
    EXPECT_EQ(name, archive.string());
    EXPECT_FALSE(write);
    asked = true;
    write = true;
  };
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_TRUE(asked);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "b.txt"}));
  // The archive keeps its mode, also when an update is cancelled or fails.
  const auto mode = [&] { return fs::status(archive).permissions() & fs::perms::all; };
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read;
  EXPECT_EQ(mode(), readOnly);
  const std::string before = ReadFile(archive);
  WriteFile(src / "c.txt", TextBytes(300000, 9));
  w.z.OnProgress = [](TZipCommon& s, vsk::Byte, vsk::Byte) { s.SetCancel(true); };
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  EXPECT_EQ(mode(), readOnly);
  w.z.OnProgress = nullptr;
  w.z.OnEnd = [&](TZipCommon&, const std::string&, bool) { fs::remove(archive), fs::create_directory(archive); };
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  ASSERT_TRUE(fs::is_directory(archive));
  fs::remove(archive);
  WriteFile(archive, before);
  fs::permissions(archive, readOnly);
  w.z.OnEnd = nullptr;
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_EQ(mode(), readOnly);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

TEST_F(CompBaseTest, UpdatingOneFileOfManyCopiesTheRest) {
  Tree tree;
  for (int i = 0; i < 10000; ++i) tree["d" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".txt"] = TextBytes(40 + i % 90, i);
  MakeTree(src, tree);
  Writer w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 10000);
  WriteFile(src / "d7/f7.txt", "changed");
  tree["d7/f7.txt"] = "changed";
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swRefresh), 1);
  ExpectUnzipTest(archive);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x"), tree));
}

// Runs in Dir and goes back to the folder it was run from.
struct InFolder {
  fs::path before = fs::current_path();
  explicit InFolder(const fs::path& Dir) { fs::current_path(Dir); }
  ~InFolder() { fs::current_path(before); }
};

TEST_F(CompBaseTest, ABareNameIsLookedForInTheCurrentOrDefaultFolderOnly) {
  MakeTree(tmp / "here", {{"zz.dat", "1"}, {"sub/zz.dat", "2"}, {"other.txt", "o"}});
  MakeTree(tmp / "beside", {{"zz.dat", "3"}});
  std::vector<std::string> walked;
  {
    InFolder in(tmp / "here");
    Writer w(archive);
    w.z.OnRecurseDir = [&](TZipCommon&, const std::string& d) { walked.push_back(d); };
    EXPECT_EQ(w.Add({"zz.dat"}, vsk::swMove), 2);
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"sub/zz.dat", "zz.dat"}));
    EXPECT_FALSE(fs::exists(tmp / "here/zz.dat"));
    EXPECT_FALSE(fs::exists(tmp / "here/sub/zz.dat"));
    EXPECT_TRUE(fs::exists(tmp / "here/other.txt"));
    EXPECT_EQ(ReadFile(tmp / "beside/zz.dat"), "3");
    for (const auto& d : walked) EXPECT_EQ(d.rfind((tmp / "here").string(), 0), 0u) << d;

    // The writer's default folder, where set, is where a bare name is looked for.
    fs::remove(archive);
    w.z.StoredDirNames = vsk::sdExplorer_UserDefineDefaultDir;
    w.z.DefaultDir = (tmp / "beside").string();
    EXPECT_EQ(w.Add({"zz.dat"}), 1);
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"zz.dat"}));
    EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x"), {{"zz.dat", "3"}}));
  }
  // The gzip writer, one member per file, the same.
  MakeTree(tmp / "here", {{"zz.dat", "4"}});
  fs::create_directories(tmp / "gz");
  InFolder in(tmp / "here");
  vsk::TGZip g;
  g.SetArchiveFile((tmp / "gz/zz.dat.gz").string());
  g.FileSpec = {"zz.dat"};
  g.Switch = vsk::swMove;
  EXPECT_EQ(g.Compress(), 1);
  std::vector<fs::path> made;
  for (const auto& e : fs::directory_iterator(tmp / "gz")) made.push_back(e.path());
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(RunTool("gzip -dc " + ShellQuote(made[0].string())).output, "4");
  EXPECT_FALSE(fs::exists(tmp / "here/zz.dat"));
  EXPECT_EQ(ReadFile(tmp / "beside/zz.dat"), "3");
}

TEST_F(CompBaseTest, MoveKeepsWhatItReachedThroughLinksOrWhatChangedSinceRead) {
  MakeTree(src, {{"a.txt", "a"}, {"late.txt", TextBytes(300000, 5)}});
  MakeTree(tmp / "elsewhere", {{"deep/b.txt", "b"}, {"c.txt", "c"}});
  fs::create_directory_symlink(tmp / "elsewhere", src / "linked");
  fs::create_symlink(tmp / "elsewhere/c.txt", src / "c-link.txt");
  Writer w(archive);
  // Changed after it was read, before the archive is committed.
  w.z.OnEnd = [&](TZipCommon&, const std::string& n, bool) {
    if (n == "late.txt") WriteFile(src / "late.txt", "rewritten");
  };
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 5);
  EXPECT_EQ(Names(archive),
            (std::vector<std::string>{"a.txt", "c-link.txt", "late.txt", "linked/c.txt", "linked/deep/b.txt"}));
  EXPECT_FALSE(fs::exists(src / "a.txt"));
  EXPECT_EQ(ReadFile(src / "late.txt"), "rewritten");
  EXPECT_EQ(ReadFile(tmp / "elsewhere/deep/b.txt"), "b");
  EXPECT_EQ(ReadFile(tmp / "elsewhere/c.txt"), "c");
  EXPECT_TRUE(fs::is_symlink(src / "c-link.txt"));
  // Each source kept is named with its reason.
  int kept = 0;
  for (std::size_t i = 0; i < w.errors.size(); ++i) {
    if (w.errors[i] != 25180) continue;
    ++kept;
    const bool viaLink = w.errorTexts[i].find("linked") != std::string::npos;
    EXPECT_EQ(viaLink, w.errorFiles[i] != (src / "late.txt").string()) << w.errorFiles[i];
  }
  EXPECT_EQ(kept, 4);
  ExpectUnzipTest(archive);

  // A folder renamed during the run: its files are deleted where they are.
  fs::remove(archive);
  MakeTree(tmp / "moved", {{"sub/x.txt", "x"}});
  Writer m(archive);
  m.z.OnEnd = [&](TZipCommon&, const std::string&, bool) {
    if (fs::exists(tmp / "moved/sub")) fs::rename(tmp / "moved/sub", tmp / "moved/renamed");
  };
  EXPECT_EQ(m.Add({Spec(tmp / "moved")}, vsk::swMove), 1);
  EXPECT_TRUE(m.errors.empty());
  EXPECT_FALSE(fs::exists(tmp / "moved/renamed/x.txt"));
}

TEST_F(CompBaseTest, MoreThan65535EntriesIsRefusedWithItsReason) {
  // An archive of 65534 empty stored entries, written here, and two files.
  std::string local, central;
  vsk::TZipLocalHeader l;
  l.Signature = vsk::kZipLocalSignature;
  l.VersionNeeded = 10;
  l.DosDateTime = 0x5A210000;
  vsk::TZipCentralRecord c;
  c.Signature = vsk::kZipCentralSignature;
  c.VersionMadeBy = 0x031E;
  c.VersionNeeded = 10;
  c.DosDateTime = l.DosDateTime;
  c.ExternalAttr = 0x81A40000;
  for (int i = 0; i < 65534; ++i) {
    const std::string name = "e" + std::to_string(i);
    l.FileNameLength = c.FileNameLength = static_cast<vsk::UInt16>(name.size());
    c.LocalHeaderOffset = static_cast<vsk::UInt32>(local.size());
    vsk::Byte b[46];
    l.Serialize(b);
    local.append(reinterpret_cast<const char*>(b), 30).append(name);
    c.Serialize(b);
    central.append(reinterpret_cast<const char*>(b), 46).append(name);
  }
  vsk::TZipEndRecord e;
  e.Signature = vsk::kZipEndSignature;
  e.EntriesOnDisk = e.EntriesTotal = 65534;
  e.CentralDirSize = static_cast<vsk::UInt32>(central.size());
  e.CentralDirOffset = static_cast<vsk::UInt32>(local.size());
  vsk::Byte b[22];
  e.Serialize(b);
  WriteFile(archive, local + central + std::string(reinterpret_cast<const char*>(b), 22));
  const std::string before = ReadFile(archive);
  MakeTree(src, {{"x.txt", "x"}, {"y.txt", "y"}});
  Writer w(archive);
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  ASSERT_EQ(w.errors, std::vector<int>{vsk::msg::MaxFileSizeExceeded});
  EXPECT_NE(w.errorTexts.back().find("more than 65535 entries"), std::string::npos) << w.errorTexts.back();
  EXPECT_EQ(ReadFile(archive), before);
}

}  // namespace
}  // namespace vsktest
