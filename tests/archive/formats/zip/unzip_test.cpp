// Extracting and testing ZIP archives written by other archivers.

#include "archive/formats/zip/unzip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "archive/core/diskmanager.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/tools/zipcheck.h"
#include "tests/archive/formats/zip/legacy_encoders.h"
#include "tests/archive/formats/zip/zipbuilder.h"
#include "tests/support/fakevolume.h"
#include "tests/support/listing.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Aim;
using vsktest::ExpectSameTree;
using vsktest::ReadFile;
using vsktest::Record;
using vsktest::RunInto;
using vsktest::RunLog;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

RunLog ExtractAll(const std::string& archive, const fs::path& dest, const std::string& password = {},
               bool test = false) {
  TUnZip z;
  RunLog r;
  Record(z, r);
  Aim(z, archive, dest);
  if (!password.empty()) z.Passwords = {password};
  RunInto(z, r, test);
  return r;
}

void MakeTree(const fs::path& root) {
  WriteFile(root / "src/readme.txt", vsktest::TextBytes(50000, 1));
  WriteFile(root / "src/data.bin", vsktest::RandomBytes(70000, 2));
  WriteFile(root / "src/sub/notes.txt", vsktest::TextBytes(200000, 3));
  WriteFile(root / "src/empty.txt", "");
  WriteFile(root / "src/noext", "no extension here\n");
}

TEST(UnZip, ArchivesOfZip30AtEveryLevel) {
  TempDir dir;
  MakeTree(dir.path());
  for (const std::string level : {"-0", "-1", "-6", "-9"}) {
    const auto arc = (dir / ("a" + level + ".zip")).string();
    ASSERT_EQ(RunTool("zip -q -r " + level + " " + ShellQuote(arc) + " src", dir.path()).exitCode, 0);
    const auto out = dir / ("out" + level);
    const auto r = ExtractAll(arc, out);
    EXPECT_EQ(r.result, 5) << level;
    EXPECT_TRUE(r.errors.empty()) << level;
    for (auto& [n, pass] : r.verdicts) EXPECT_TRUE(pass) << n;
    ExpectSameTree(dir / "src", out / "src");
    // Dates come back from the archive.
    // Within the two seconds a DOS time can hold.
    const auto delta = fs::last_write_time(out / "src/readme.txt") - fs::last_write_time(dir / "src/readme.txt");
    EXPECT_LE(std::abs(std::chrono::duration_cast<std::chrono::seconds>(delta).count()), 2) << level;

    const auto t = ExtractAll(arc, dir / "unused", {}, true);
    EXPECT_EQ(t.result, 5);
    EXPECT_FALSE(fs::exists(dir / "unused"));
    int files = 0;
    for (auto& [n, pass] : t.verdicts) {
      EXPECT_TRUE(pass) << n;
      files += n.back() != '/';
    }
    EXPECT_EQ(files, 5);
  }
}

TEST(UnZip, EncryptedEntriesFromZipAnd7z) {
  TempDir dir;
  MakeTree(dir.path());
  const auto z = (dir / "z.zip").string(), s = (dir / "s.zip").string();
  // Debian's zip 3.0 can crash on some lengths of an encrypted archive's
  // path: it is given the short name in its folder.
  ASSERT_EQ(RunTool("zip -q -r -P secret z.zip src", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("7z a -tzip -psecret -mem=ZipCrypto -bd " + ShellQuote(s) + " src >/dev/null", dir.path()).exitCode,
            0);
  for (const auto& arc : {z, s}) {
    const auto out = dir / ("out-" + fs::path(arc).stem().string());
    const auto r = ExtractAll(arc, out, "secret");
    EXPECT_EQ(r.result, 5) << arc;
    ExpectSameTree(dir / "src", out / "src");
  }

  // A wrong password, then the right one, through OnGetPassword.
  TUnZip u;
  RunLog r;
  Record(u, r);
  u.SetArchiveFile(z);
  u.SetExtractDir((dir / "asked").string());
  u.FileSpec = {"src/readme.txt"};
  int asked = 0;
  u.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& pw, bool& again) {
    pw = ++asked == 1 ? "wrong" : "secret";
    again = true;
  };
  EXPECT_EQ(u.Extract(), 1);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), 26517), 1);
  EXPECT_EQ(ReadFile(dir / "asked/src/readme.txt"), ReadFile(dir / "src/readme.txt"));
  ASSERT_FALSE(u.Passwords.empty());
  EXPECT_EQ(u.Passwords.front(), "secret");

  // A refused password skips that entry and every later encrypted one.
  TUnZip v;
  RunLog r2;
  Record(v, r2);
  v.SetArchiveFile(z);
  v.SetExtractDir((dir / "refused").string());
  v.FileSpec = {"*.*"};
  int calls = 0;
  v.OnGetPassword = [&](TZipCommon&, const std::string&, std::string&, bool& again) {
    ++calls;
    again = false;
  };
  EXPECT_EQ(v.Extract(), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(fs::exists(dir / "refused/src/data.bin"));
}

TEST(UnZip, DataDescriptorsAndStubs) {
  TempDir dir;
  MakeTree(dir.path());
  const auto bsd = (dir / "b.zip").string();
  ASSERT_EQ(RunTool("bsdtar --format zip -cf " + ShellQuote(bsd) + " src", dir.path()).exitCode, 0);
  const auto r = ExtractAll(bsd, dir / "bsd");
  EXPECT_EQ(r.result, 5);
  ExpectSameTree(dir / "src", dir / "bsd/src");

  // A stub in front: the directory offsets ignore it unless zip -A fixed them.
  const auto plain = (dir / "p.zip").string();
  ASSERT_EQ(RunTool("zip -q -r " + ShellQuote(plain) + " src", dir.path()).exitCode, 0);
  const std::string stub = "MZ" + vsktest::RandomBytes(20000, 9);
  WriteFile(dir / "stub.exe", stub + ReadFile(plain));
  const auto r2 = ExtractAll((dir / "stub.exe").string(), dir / "stub");
  EXPECT_EQ(r2.result, 5);
  ExpectSameTree(dir / "src", dir / "stub/src");
  WriteFile(dir / "fixed.exe", stub + ReadFile(plain));
  ASSERT_EQ(RunTool("zip -q -A fixed.exe", dir.path()).exitCode, 0);
  const auto r3 = ExtractAll((dir / "fixed.exe").string(), dir / "fixed");
  EXPECT_EQ(r3.result, 5);
  ExpectSameTree(dir / "src", dir / "fixed/src");

  // Without its directory the archive is read by its local headers,
  // descriptors included.
  std::string data = ReadFile(bsd);
  data.resize(data.find(std::string("PK\x01\x02", 4)));
  WriteFile(dir / "cut.zip", data);
  const auto r4 = ExtractAll((dir / "cut.zip").string(), dir / "cut");
  EXPECT_EQ(r4.result, 5);
  ExpectSameTree(dir / "src", dir / "cut/src");
}

TEST(UnZip, CrcDamageFailsOnlyTheDamagedEntry) {
  TempDir dir;
  const std::string a = vsktest::TextBytes(5000, 1), b = vsktest::TextBytes(5000, 2);
  std::string zip = vsktest::BuildZip({{"a.txt", a}, {"b.txt", b}});
  zip[30 + 5 + 100] ^= 0x55;  // inside a.txt's data
  WriteFile(dir / "d.zip", zip);
  const auto r = ExtractAll((dir / "d.zip").string(), dir / "out");
  EXPECT_EQ(r.result, 1);  // only the sound entry counts
  EXPECT_FALSE(r.verdicts.at((dir / "out/a.txt").string()));
  EXPECT_TRUE(r.verdicts.at((dir / "out/b.txt").string()));
  EXPECT_EQ(ReadFile(dir / "out/b.txt"), b);

  // Without OnEnd the failure is reported as 25151.
  TUnZip z;
  std::vector<int> errors;
  z.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
    errors.push_back(c);
  };
  z.SetArchiveFile((dir / "d.zip").string());
  z.FileSpec = {"*.*"};
  EXPECT_EQ(z.TestArchive(), 1);
  EXPECT_EQ(errors, std::vector<int>{25151});
}

TEST(UnZip, ShrunkReducedAndImplodedEntries) {
  TempDir dir;
  const std::string text = vsktest::TextBytes(100000, 4), bin = vsktest::RandomBytes(20000, 6);
  std::vector<vsktest::ZipEntrySpec> entries;
  auto add = [&](const std::string& name, const std::string& data, vsk::UInt16 method, vsk::UInt16 flags,
                 const std::string& packed) {
    vsktest::ZipEntrySpec e{name, data, method, 0x20, flags};
    e.packed = packed;
    e.hasPacked = true;
    entries.push_back(e);
  };
  add("shrunk.txt", text, 1, 0, vsktest::Shrink(text));
  for (int f = 1; f <= 4; ++f) add("reduced" + std::to_string(f) + ".txt", text, static_cast<UInt16>(1 + f), 0,
                                   vsktest::Reduce(text, f));
  for (UInt16 flags : {0, 2, 4, 6}) add("imploded" + std::to_string(flags) + ".txt", text, 6, flags,
                                        vsktest::Implode(text, flags));
  add("imploded.bin", bin, 6, 6, vsktest::Implode(bin, 6));
  WriteFile(dir / "l.zip", vsktest::BuildZip(entries));
  const auto r = ExtractAll((dir / "l.zip").string(), dir / "out");
  EXPECT_EQ(r.result, static_cast<int>(entries.size()));
  EXPECT_TRUE(r.errors.empty());
  for (const auto& e : entries) EXPECT_TRUE(ReadFile(dir / "out" / e.name) == e.data) << e.name;
}

TEST(UnZip, HostileNamesNeverLeaveTheDestination) {
  TempDir dir, outside;
  fs::create_directories(dir / "out");
  fs::create_directory_symlink(outside.path(), dir / "out/link");
  const std::string zip = vsktest::BuildZip({{"../escape.txt", "x"},
                                             {"a/../../escape2.txt", "x"},
                                             {"/etc/abs.txt", "abs"},
                                             {"C:\\win\\drive.txt", "drive"},
                                             {"\\\\srv\\share\\unc.txt", "unc"},
                                             {std::string("nul\0.txt", 8), "x"},
                                             {"link/through.txt", "x"},
                                             {"ok.txt", "fine"}});
  WriteFile(dir / "h.zip", zip);
  const auto r = ExtractAll((dir / "h.zip").string(), dir / "out");
  EXPECT_EQ(ReadFile(dir / "out/ok.txt"), "fine");
  EXPECT_EQ(ReadFile(dir / "out/etc/abs.txt"), "abs");
  EXPECT_EQ(ReadFile(dir / "out/win/drive.txt"), "drive");
  EXPECT_EQ(ReadFile(dir / "out/unc.txt"), "unc");
  EXPECT_FALSE(fs::exists(dir / "escape.txt"));
  EXPECT_FALSE(fs::exists(dir / "escape2.txt"));
  EXPECT_TRUE(fs::is_empty(outside.path()));
  EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), 25244), 3);
  EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), 25235), 1);  // the link is not followed
}

TEST(UnZip, OutputNeverOverwritesTheArchive) {
  TempDir dir;
  const std::string zip = vsktest::BuildZip({{"self.zip", "would destroy the archive"}, {"b.txt", "b"}});
  WriteFile(dir / "self.zip", zip);
  const auto r = ExtractAll((dir / "self.zip").string(), dir.path());
  EXPECT_EQ(ReadFile(dir / "self.zip"), zip);
  EXPECT_EQ(ReadFile(dir / "b.txt"), "b");
  EXPECT_NE(std::find(r.errors.begin(), r.errors.end(), 25191), r.errors.end());
}

TEST(UnZip, UnsupportedMethodLeavesNoFileAndTheRunGoesOn) {
  TempDir dir;
  const std::string zip = vsktest::BuildZip({{"m9.bin", "xxxx", 9}, {"m7.bin", "yyyy", 7}, {"ok.txt", "ok"}});
  WriteFile(dir / "m.zip", zip);
  const auto r = ExtractAll((dir / "m.zip").string(), dir / "out");
  EXPECT_EQ(r.result, 1);
  EXPECT_FALSE(fs::exists(dir / "out/m9.bin"));
  EXPECT_FALSE(fs::exists(dir / "out/m7.bin"));
  EXPECT_EQ(ReadFile(dir / "out/ok.txt"), "ok");
  EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), 25326), 2);
  // Each undecodable entry fails its verdict, so a test reports it failed
  // rather than leaving it out.
  EXPECT_EQ(r.verdicts, (std::map<std::string, bool>{{(dir / "out/m9.bin").string(), false},
                                                     {(dir / "out/m7.bin").string(), false},
                                                     {(dir / "out/ok.txt").string(), true}}));
  TZipCheck check;
  std::vector<std::string> status;
  check.OnStatus = [&](TZipCommon&, const std::string& n, bool pass) { status.push_back((pass ? "+" : "-") + n); };
  check.SetArchiveFile((dir / "m.zip").string());
  check.FileSpec = {"*.*"};
  check.Activate();
  EXPECT_EQ(status, (std::vector<std::string>{"-m9.bin", "-m7.bin", "+ok.txt"}));
}

// What zip leaves after deleting every entry: the end record alone.
TEST(UnZip, EmptyArchiveListsTestsAndExtractsAsEmpty) {
  ASSERT_TRUE(vsktest::HaveTool("zip")) << "zip missing";
  TempDir dir;
  WriteFile(dir / "a.txt", "a");
  ASSERT_EQ(RunTool("zip -q e.zip a.txt && zip -q -d e.zip a.txt", dir.path()).exitCode, 0);
  const std::string arc = (dir / "e.zip").string();
  ASSERT_EQ(fs::file_size(arc), 22u);
  int corrupt = 0;
  const auto onCorrupt = [&corrupt](TZipCommon&, Byte, bool& cancel) {
    ++corrupt;
    cancel = false;
  };

  TVorsk lister;
  lister.OnCorruptZipHeader = onCorrupt;
  const auto listed = vsktest::ListArchive(lister, arc);
  EXPECT_TRUE(listed.ok);
  EXPECT_EQ(listed.type, atZip);
  EXPECT_TRUE(listed.entries.empty());
  EXPECT_TRUE(listed.errors.empty());

  for (const bool test : {false, true}) {
    TUnZip z;
    RunLog r;
    Record(z, r);
    z.OnCorruptZipHeader = onCorrupt;
    z.SetArchiveFile(arc);
    z.SetExtractDir((dir / "out").string());
    z.FileSpec = {"*.*"};
    EXPECT_EQ(test ? z.TestArchive() : z.Extract(), 0);
    EXPECT_TRUE(r.errors.empty()) << test;
    EXPECT_TRUE(r.verdicts.empty()) << test;
  }

  TZipCheck check;
  check.OnCorruptZipHeader = onCorrupt;
  int verdicts = 0, errors = 0;
  check.OnStatus = [&verdicts](TZipCommon&, const std::string&, bool) { ++verdicts; };
  check.OnError = [&errors](TZipCommon&, const std::string&, const std::string&, const std::string&, int) { ++errors; };
  check.SetArchiveFile(arc);
  check.FileSpec = {"*.*"};
  EXPECT_EQ(check.Activate(), 0);
  EXPECT_EQ(verdicts + errors, 0);
  EXPECT_EQ(corrupt, 0) << "nothing is missing from an empty archive";
}

// bsdtar run in a folder names it "./" at the top of the archive: that is
// the destination itself, neither an error nor anything to make.
TEST(UnZip, TopFolderDotOfBsdtarNamesTheDestination) {
  ASSERT_TRUE(vsktest::HaveTool("bsdtar")) << "bsdtar missing";
  TempDir dir;
  WriteFile(dir / "src/a.txt", "a");
  WriteFile(dir / "src/sub/b.txt", "bb");
  const std::string arc = (dir / "dot.zip").string();
  ASSERT_EQ(RunTool("bsdtar -c --format zip -f " + ShellQuote(arc) + " .", dir / "src").exitCode, 0);
  ASSERT_NE(ReadFile(arc).find("./sub/"), std::string::npos);

  for (const bool dirs : {true, false}) {
    TUnZip z;
    RunLog r;
    Record(z, r);
    const auto out = dir / (dirs ? "out" : "flat");
    z.SetArchiveFile(arc);
    z.SetExtractDir(out.string());
    z.FileSpec = {"*.*"};
    z.CreateStoredDirs = dirs;
    z.UseStoredDirs = dirs;
    EXPECT_EQ(z.Extract(), 2);
    EXPECT_TRUE(r.errors.empty()) << dirs;
    for (auto& [n, pass] : r.verdicts) EXPECT_TRUE(pass) << n;
    EXPECT_EQ(ReadFile(out / (dirs ? "sub/b.txt" : "b.txt")), "bb");
    EXPECT_EQ(ReadFile(out / "a.txt"), "a");
  }
  const auto t = ExtractAll(arc, dir / "unused", {}, true);
  EXPECT_EQ(t.result, 2);
  EXPECT_TRUE(t.errors.empty());
}

TEST(UnZip, OverwriteDecisionsAndFolders) {
  TempDir dir;
  const std::string zip = vsktest::BuildZip({{"a.txt", "new a"},
                                             {"b.txt", "new b"},
                                             {"c.txt", "new c"},
                                             {"folder/", "", 0, 0x00},
                                             {"d.txt", "new d"}});
  WriteFile(dir / "o.zip", zip);
  const auto out = dir / "out";
  for (auto n : {"a.txt", "b.txt", "c.txt", "d.txt"}) WriteFile(out / n, "old");

  TUnZip z;
  RunLog r;
  Record(z, r);
  z.SetArchiveFile((dir / "o.zip").string());
  z.SetExtractDir(out.string());
  z.FileSpec = {"*.*"};
  z.ConfirmOverwrites = true;
  z.CreateStoredDirs = true;
  int asked = 0;
  z.OnFileExists = [&](TZipCommon&, const std::string& name, std::string& newName, TOverwriteMode& mode) {
    ++asked;
    const auto file = fs::path(name).filename().string();
    if (file == "a.txt") mode = omOverwrite;
    if (file == "b.txt") mode = omSkip;
    if (file == "c.txt") newName = (out / "d.txt").string();  // exists too: asked again
    if (file == "d.txt" && name.find("d.txt") != std::string::npos && asked == 4) newName = (out / "c2.txt").string();
  };
  z.Extract();
  EXPECT_EQ(ReadFile(out / "a.txt"), "new a");
  EXPECT_EQ(ReadFile(out / "b.txt"), "old");
  EXPECT_EQ(ReadFile(out / "c2.txt"), "new c");
  EXPECT_TRUE(fs::is_directory(out / "folder"));

  // omSkip without confirmation extracts nothing, even into an empty folder.
  TUnZip s;
  s.SetArchiveFile((dir / "o.zip").string());
  s.SetExtractDir((dir / "empty").string());
  s.FileSpec = {"*.*"};
  s.OverwriteMode = omSkip;
  EXPECT_EQ(s.Extract(), 0);
  EXPECT_FALSE(fs::exists(dir / "empty/a.txt"));

  // An empty FileSpec extracts nothing; a missing archive name is 25192.
  TUnZip e;
  RunLog re;
  Record(e, re);
  e.SetArchiveFile((dir / "o.zip").string());
  EXPECT_EQ(e.Extract(), 0);
  TUnZip m;
  RunLog rm;
  Record(m, rm);
  int activated = 0;
  m.OnActivate = [&](TZipCommon&) { ++activated; };
  EXPECT_EQ(m.Extract(), 0);
  EXPECT_EQ(rm.errors, std::vector<int>{25192});
  EXPECT_EQ(activated, 0);
}

TEST(UnZip, SpannedSetFedAsDisks) {
  TempDir dir;
  MakeTree(dir.path());
  WriteFile(dir / "src/big.bin", vsktest::RandomBytes(300000, 5));
  const auto arc = (dir / "split.zip").string();
  // 64 KiB pieces: split.z01, split.z02, ..., split.zip (the last).
  ASSERT_EQ(RunTool("zip -q -r -s 64k " + ShellQuote(arc) + " src", dir.path()).exitCode, 0);
  std::vector<fs::path> parts;
  for (int i = 1; fs::exists(dir / ("split.z" + std::string(i < 10 ? "0" : "") + std::to_string(i))); ++i)
    parts.push_back(dir / ("split.z" + std::string(i < 10 ? "0" : "") + std::to_string(i)));
  parts.push_back(arc);
  ASSERT_GE(parts.size(), 3u);

  // The "drive": one file name whose content is the disk in it.
  vsktest::FakeVolumeService fake;
  const auto drive = (dir / "drive").string();
  fs::create_directories(drive);
  const auto disk = drive + "/split.zip";
  auto insert = [&](std::size_t n) {
    fs::copy_file(parts[n - 1], disk, fs::copy_options::overwrite_existing);
    fake.Info.Label = SpanVolumeLabel(static_cast<int>(n));
  };
  insert(1);

  TUnZip z;
  RunLog r;
  Record(z, r);
  z.SetArchiveFile(disk);
  z.SetExtractDir((dir / "out").string());
  z.FileSpec = {"*.*"};
  int lastAsked = 0;
  std::vector<std::string> asked;
  z.OnGetZipLastDisk = [&](TZipCommon&, bool& cancel) {
    ++lastAsked;
    insert(parts.size());
    cancel = false;
  };
  z.OnGetZipFirstDisk = [&](TZipCommon&, bool& cancel) {
    asked.push_back("1");
    insert(1);
    cancel = false;
  };
  z.OnGetZipNextDisk = [&](TZipCommon&, const std::string& n, bool& cancel) {
    asked.push_back(n);
    insert(static_cast<std::size_t>(std::stoi(n)));
    cancel = false;
  };
  z.SetArchiveFile(disk);  // detection of the first disk
  EXPECT_EQ(z.Extract(), 6);
  EXPECT_EQ(lastAsked, 1);
  EXPECT_FALSE(asked.empty());
  for (auto& [n, pass] : r.verdicts) EXPECT_TRUE(pass) << n;
  EXPECT_TRUE(r.errors.empty());
  // Every disk is asked for once, in order.
  for (std::size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], std::to_string(i + 1));
  ExpectSameTree(dir / "src", dir / "out/src");
}

}  // namespace
}  // namespace vsk
