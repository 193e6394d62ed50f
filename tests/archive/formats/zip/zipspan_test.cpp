// Spanning an archive over removable disks of a fake volume service: disk
// bounds, labels, the prompts, and that the set reads back through the
// library's reader and, joined, through unzip.

#include <gtest/gtest.h>

#include <map>

#include "archive/core/diskmanager.h"
#include "tests/archive/formats/zip/zipwrite_support.h"
#include "tests/archive/formats/zip/spandrive.h"
#include "tests/support/fakevolume.h"

namespace vsktest {
namespace {

using vsk::Int64;
using vsk::TZip;
using vsk::TZipCommon;

std::string Spec(const fs::path& dir) { return (dir / "*").string(); }

// The set as split files (name.z01, ..., name.zip), joined into one archive by zip.
fs::path JoinWithZip(const std::vector<std::string>& parts, const fs::path& dir) {
  fs::create_directories(dir);
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    char ext[32];
    std::snprintf(ext, sizeof ext, ".z%02zu", i + 1);
    WriteFile(dir / ("set" + std::string(ext)), parts[i]);
  }
  WriteFile(dir / "set.zip", parts.back());
  EXPECT_TRUE(HaveTool("zip"));
  const auto r = RunTool("zip -q -s 0 set.zip --out joined.zip", dir);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return dir / "joined.zip";
}

struct Located {
  int disk;
  Int64 offset;
  std::size_t headerLength;
};

// The directory of a set read across its disks; each entry's start disk and
// offset, and the length of its local header with name and extra field.
std::vector<Located> LocalHeaders(const std::vector<std::string>& parts, vsk::TZipEndRecord& end) {
  const std::string& last = parts.back();
  const auto e = last.rfind(std::string("PK\x05\x06"));
  end = vsk::TZipEndRecord::Parse(reinterpret_cast<const vsk::Byte*>(&last[e]));
  std::string dir;
  for (std::size_t d = end.CentralDirDisk; d < parts.size(); ++d)
    dir += d == end.CentralDirDisk ? parts[d].substr(end.CentralDirOffset) : parts[d];
  std::vector<Located> out;
  std::size_t p = 0;
  for (int i = 0; i < end.EntriesTotal; ++i) {
    const auto c = vsk::TZipCentralRecord::Parse(reinterpret_cast<const vsk::Byte*>(&dir[p]));
    EXPECT_EQ(c.Signature, 0x02014B50u);
    const std::string& part = parts[c.DiskNumberStart];
    const auto l = vsk::TZipLocalHeader::Parse(reinterpret_cast<const vsk::Byte*>(&part[c.LocalHeaderOffset]));
    out.push_back({c.DiskNumberStart, c.LocalHeaderOffset, 30u + l.FileNameLength + l.ExtraFieldLength});
    EXPECT_EQ(l.Signature, 0x04034B50u);
    p += 46 + c.FileNameLength + c.ExtraFieldLength + c.FileCommentLength;
  }
  return out;
}

class ZipSpanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(disk);
    fs::create_directories(scratch);
  }
  Tree SpreadTree() {
    Tree t;
    for (int i = 0; i < 6; ++i) t["part" + std::to_string(i) + ".bin"] = RandomBytes(45000, i + 1);
    t["notes/readme.txt"] = TextBytes(30000, 7);
    return t;
  }
  void Prepare(TZip& z) {
    z.SetTempDir(scratch.string());
  }
  IsolatedEnvironment env;
  TempDir tmp;
  fs::path src = tmp / "src";
  fs::path disk = tmp / "floppy";
  fs::path scratch = tmp / "scratch";
  fs::path target = disk / "set.zip";
};

TEST_F(ZipSpanTest, AnArchiveThatFitsTakesOneLabelledDisk) {
  const Tree tree = {{"a.txt", TextBytes(5000, 1)}, {"b.bin", RandomBytes(3000, 2)}};
  MakeTree(src, tree);
  Drive drive(target, 1440 * 1024);
  Writer w(target);
  Prepare(w.z);
  drive.Attach(w.z);
  EXPECT_EQ(w.Add({Spec(src)}), 2);
  EXPECT_TRUE(drive.asked.empty()) << "a blank disk with room is taken as it is";
  EXPECT_EQ(drive.vs.Info.Label, "PKBACK# 001");
  const std::string bytes = ReadFile(target);
  EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04"));
  ExpectToolsAccept(target);
  EXPECT_TRUE(SameTree(LibraryTree(target, tmp / "lib"), tree));
  EXPECT_TRUE(fs::is_empty(scratch)) << "the scratch archive is gone";
}

TEST_F(ZipSpanTest, ASetOverSeveralDisksReadsBackAndJoins) {
  const Tree tree = SpreadTree();
  MakeTree(src, tree);
  Drive drive(target, 100000);
  Writer w(target);
  Prepare(w.z);
  drive.Attach(w.z);
  EXPECT_EQ(w.Add({Spec(src)}), static_cast<int>(tree.size()));
  EXPECT_TRUE(w.errors.empty());
  drive.TakeLast();
  ASSERT_GE(drive.parts.size(), 3u);
  for (std::size_t i = 0; i < drive.parts.size(); ++i) {
    char want[32];
    std::snprintf(want, sizeof want, "PKBACK# %03zu", i + 1);
    EXPECT_EQ(drive.labels[i], want);
    const Int64 bound = 100000 - (i == 0 ? 10000 : 0);
    EXPECT_LE(static_cast<Int64>(drive.parts[i].size()), bound) << "disk " << i + 1;
  }
  // Disks 2 and on, then the first again: its part takes the name last.
  ASSERT_EQ(drive.asked.size(), drive.parts.size());
  for (std::size_t i = 0; i + 1 < drive.asked.size(); ++i) EXPECT_EQ(drive.asked[i], std::to_string(i + 2));
  EXPECT_EQ(drive.asked.back(), "1");
  for (const auto& [n, d] : drive.disks)
    for (const auto& [name, bytes] : d.files) EXPECT_EQ(name, target.filename()) << "disk " << n;
  EXPECT_EQ(drive.parts[0].substr(0, 4), std::string("PK\x07\x08")) << "span marker";

  vsk::TZipEndRecord end;
  for (const auto& h : LocalHeaders(drive.parts, end))
    EXPECT_LE(h.offset + static_cast<Int64>(h.headerLength),
              static_cast<Int64>(drive.parts[static_cast<std::size_t>(h.disk)].size()))
        << "a local header never runs on to the next disk";
  EXPECT_EQ(end.DiskNumber, drive.parts.size() - 1);

  // The library's reader, asking for each disk in turn.
  const fs::path out = tmp / "lib";
  vsk::TUnZip u;
  drive.Insert(static_cast<int>(drive.parts.size()));
  u.SetArchiveFile(target.string());
  EXPECT_EQ(u.ArcType(), vsk::atZipMV);
  u.FileSpec = {"*.*"};
  u.SetExtractDir(out.string());
  u.CreateStoredDirs = true;
  std::vector<int> wanted;
  u.OnGetZipLastDisk = [&](TZipCommon&, bool& cancel) {
    drive.Insert(static_cast<int>(drive.parts.size()));
    cancel = false;
  };
  u.OnGetZipFirstDisk = [&](TZipCommon&, bool& cancel) {
    wanted.push_back(1);
    drive.Insert(1);
    cancel = false;
  };
  u.OnGetZipNextDisk = [&](TZipCommon&, const std::string& volume, bool& cancel) {
    wanted.push_back(std::stoi(volume));
    drive.Insert(std::stoi(volume));
    cancel = false;
  };
  std::vector<int> errors;
  u.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
    errors.push_back(c);
  };
  u.Extract();
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(SameTree(ReadTree(out), tree));

  const fs::path joined = JoinWithZip(drive.parts, tmp / "join");
  ExpectToolsAccept(joined);
  EXPECT_TRUE(SameTree(UnzipTree(joined, tmp / "unzip"), tree));
}

TEST_F(ZipSpanTest, ADirectoryThatDoesNotFitGoesOnToTheNextDisk) {
  Tree tree;
  for (int i = 0; i < 400; ++i)
    tree["a-rather-long-folder-name/and-a-long-file-name-number-" + std::to_string(i) + ".bin"] =
        RandomBytes(150, i + 1);
  MakeTree(src, tree);
  Drive drive(target, 40000);
  Writer w(target);
  Prepare(w.z);
  drive.Attach(w.z);
  EXPECT_EQ(w.Add({Spec(src)}), 400);
  EXPECT_TRUE(w.errors.empty());
  drive.TakeLast();
  vsk::TZipEndRecord end;
  LocalHeaders(drive.parts, end);
  EXPECT_LT(end.CentralDirDisk, end.DiskNumber) << "the directory starts before the last disk";
  EXPECT_LT(end.EntriesOnDisk, end.EntriesTotal);

  // The library's reader follows the directory across its disks.
  const fs::path out = tmp / "lib";
  vsk::TUnZip u;
  drive.Insert(static_cast<int>(drive.parts.size()));
  u.SetArchiveFile(target.string());
  u.FileSpec = {"*.*"};
  u.SetExtractDir(out.string());
  u.OnGetZipLastDisk = [&](TZipCommon&, bool& cancel) {
    drive.Insert(static_cast<int>(drive.parts.size()));
    cancel = false;
  };
  u.OnGetZipFirstDisk = [&](TZipCommon&, bool& cancel) {
    drive.Insert(1);
    cancel = false;
  };
  u.OnGetZipNextDisk = [&](TZipCommon&, const std::string& volume, bool& cancel) {
    drive.Insert(std::stoi(volume));
    cancel = false;
  };
  EXPECT_EQ(u.Extract(), 400);
  EXPECT_TRUE(SameTree(ReadTree(out), tree));

  const fs::path joined = JoinWithZip(drive.parts, tmp / "join");
  ExpectUnzipTest(joined);
  EXPECT_TRUE(SameTree(UnzipTree(joined, tmp / "unzip"), tree));
}

TEST_F(ZipSpanTest, SpaceLeftOnTheFirstDiskAndTheSameDiskAgain) {
  const Tree tree = SpreadTree();
  MakeTree(src, tree);
  Drive drive(target, 100000);
  drive.vs.Free = 55000;
  Writer w(target);
  Prepare(w.z);
  w.z.LeaveSpaceOnFirstDisk = 50000;
  drive.Attach(w.z);
  std::vector<std::pair<Int64, Int64>> cleared;
  w.z.OnClearDisk = [&](TZipCommon&, const std::string&, Int64 required, Int64 free, Int64, bool& cancel) {
    cleared.push_back({required, free});
    drive.vs.Free = 200000;
    cancel = false;
  };
  // The small first disk stays in at the first prompt; after it, the full
  // disk is left in once and is asked for again.
  drive.keepSameDisk = true;
  w.z.OnProgress = [&](TZipCommon&, vsk::Byte, vsk::Byte) {
    if (drive.asked.size() == 1) drive.keepSameDisk = true;
  };
  EXPECT_EQ(w.Add({Spec(src)}), static_cast<int>(tree.size()));
  drive.TakeLast();
  ASSERT_GE(cleared.size(), 1u);
  EXPECT_EQ(cleared[0], (std::pair<Int64, Int64>{60000, 55000}));
  EXPECT_LE(static_cast<Int64>(drive.parts[0].size()), 200000 - 60000) << "the space asked for stays free";
  ASSERT_GE(drive.asked.size(), 2u);
  EXPECT_EQ(drive.asked[0], "1") << "the first disk was too small";
  EXPECT_EQ(drive.asked[1], "2");
  EXPECT_EQ(drive.asked[2], "2") << "the same disk again is refused";
  const fs::path joined = JoinWithZip(drive.parts, tmp / "join");
  ExpectUnzipTest(joined);
  EXPECT_TRUE(SameTree(UnzipTree(joined, tmp / "unzip"), tree));
}

// An update whose first disk has no room beside the old archive for the
// set: asked before the old one goes; declined, the set takes the room
// there is and the old one is replaced only by the finished first part;
// agreed, it goes to the Trash at once.
TEST_F(ZipSpanTest, NoRoomBesideTheOldArchiveIsAskedAbout) {
  const Tree tree = SpreadTree();
  MakeTree(src, tree);
  for (const bool agree : {false, true}) {
    fs::remove_all(disk);
    fs::create_directories(disk);
    MakeTree(tmp / "old", {{"kept.txt", TextBytes(20000, 9)}});
    ASSERT_EQ(RunTool("zip -q " + ShellQuote(target.string()) + " kept.txt", tmp / "old").exitCode, 0);
    const std::string old = ReadFile(target);
    Drive drive(target, 100000);
    drive.vs.Free = 60000;
    Writer w(target);
    Prepare(w.z);
    w.z.DeleteOptions = vsk::doAllowUndo;
    drive.Attach(w.z);
    drive.keepSameDisk = true;
    std::vector<std::string> asked;
    w.z.OnDiskSpanFileExists = [&](TZipCommon&, const std::string& name, vsk::TDateTime, vsk::TOverwriteMode& m) {
      asked.push_back(name);
      EXPECT_EQ(ReadFile(target), old) << "still there when asked";
      m = agree ? vsk::omOverwrite : vsk::omSkip;
      if (agree) drive.vs.Free = 100000;
    };
    EXPECT_EQ(w.Add({Spec(src)}), static_cast<int>(tree.size())) << agree;
    EXPECT_EQ(asked, std::vector<std::string>{target.string()});
    drive.TakeLast();
    EXPECT_LE(static_cast<Int64>(drive.parts[0].size()), (agree ? 100000 : 60000) - 10000);
    EXPECT_EQ(ReadFile(env.root() / "home/.local/share/Trash/files/set.zip"), old) << agree;
    fs::remove_all(env.root() / "home/.local/share/Trash");
    const fs::path joined = JoinWithZip(drive.parts, tmp / ("join" + std::to_string(agree)));
    ExpectUnzipTest(joined);
    Tree want = tree;
    want["kept.txt"] = TextBytes(20000, 9);
    EXPECT_TRUE(SameTree(UnzipTree(joined, tmp / ("unzip" + std::to_string(agree))), want));
  }
}

TEST_F(ZipSpanTest, ARefusedOrMissingPromptFailsAndKeepsTheSources) {
  const Tree tree = SpreadTree();
  MakeTree(src, tree);
  {
    Drive drive(target, 100000);
    Writer w(target);
    Prepare(w.z);
    EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 0);
    EXPECT_TRUE(w.HasError(25270));
    EXPECT_NE(std::find(w.errorTexts.begin(), w.errorTexts.end(), "OnInsertDisk"), w.errorTexts.end());
    EXPECT_TRUE(SameTree(ReadTree(src), tree));
  }
  fs::remove_all(disk);
  fs::create_directories(disk);
  {
    Drive drive(target, 100000);
    Writer w(target);
    Prepare(w.z);
    w.z.OnInsertDisk = [](TZipCommon&, const std::string&, bool& cancel) { cancel = true; };
    EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 0);
    EXPECT_TRUE(w.HasError(vsk::msg::UserCanceled));
    EXPECT_TRUE(SameTree(ReadTree(src), tree));
    EXPECT_TRUE(fs::is_empty(scratch));
  }
  fs::remove_all(disk);
  fs::create_directories(disk);
  {
    // A disk that already holds the archive: asked, then overwritten.
    WriteFile(target, "an old set");
    Drive drive(target, 1440 * 1024);
    Writer w(target);
    Prepare(w.z);
    w.z.OnInsertDisk = [](TZipCommon&, const std::string&, bool& cancel) { cancel = false; };
    EXPECT_EQ(w.Add({Spec(src)}), 0) << "not a zip: refused before any disk is asked for";
    fs::remove(target);
    int asked = 0;
    w.z.OnProgress = [&](TZipCommon&, vsk::Byte, vsk::Byte) {
      if (!fs::exists(target) && asked == 0) WriteFile(target, "left on the disk");
    };
    w.z.OnDiskSpanFileExists = [&](TZipCommon&, const std::string& name, vsk::TDateTime, vsk::TOverwriteMode& m) {
      EXPECT_EQ(name, target.string());
      EXPECT_EQ(m, vsk::omOverwrite);
      ++asked;
    };
    w.errors.clear();
    EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), static_cast<int>(tree.size()));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(w.errors.empty());
    ExpectUnzipTest(target);
    EXPECT_FALSE(fs::exists(src / "part0.bin")) << "moved once the set was written";
  }
}

}  // namespace
}  // namespace vsktest
