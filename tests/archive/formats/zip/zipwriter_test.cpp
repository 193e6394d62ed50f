// The zip writer: what it writes is accepted and restored by the usual
// archivers and by our reader; changes to archives of other archivers keep
// their other entries; failures and cancels leave the target as it was.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "base/checksum.h"
#include "base/dates.h"
#include "tests/archive/formats/zip/zipwrite_support.h"

namespace vsktest {
namespace {

using vsk::Byte;
using vsk::TZip;

std::string Spec(const fs::path& dir) { return (dir / "*").string(); }

class ZipWriterTest : public ::testing::Test {
 protected:
  IsolatedEnvironment env;
  TempDir tmp;
  fs::path src = tmp / "src";
  fs::path archive = tmp / "out.zip";
};

TEST_F(ZipWriterTest, NewArchivePassesEveryCheckerAndRestoresExactly) {
  const Tree tree = SampleTree();
  MakeTree(src, tree);
  Writer w(archive);
  std::vector<std::string> read;
  w.z.OnRead = [&](vsk::TZipCommon& s, vsk::Int64, int) { read.push_back(static_cast<TZip&>(s).FileName); };
  EXPECT_EQ(w.Add({Spec(src)}), static_cast<int>(tree.size()));
  EXPECT_TRUE(w.errors.empty());
  EXPECT_EQ(read.size(), tree.size());
  ExpectToolsAccept(archive);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "unzip"), tree));
  EXPECT_TRUE(SameTree(LibraryTree(archive, tmp / "lib"), tree));

  const ZipLayout z = ParseZip(ReadFile(archive));
  ASSERT_TRUE(z.ok);
  ASSERT_EQ(z.records.size(), tree.size());
  for (const auto& r : z.records) {
    EXPECT_EQ(r.c.VersionMadeBy, 0x0314) << r.name;
    struct stat st;
    ASSERT_EQ(stat((src / r.name).c_str(), &st), 0);
    EXPECT_EQ(r.c.ExternalAttr >> 16, st.st_mode & 0xFFFF) << r.name;
    EXPECT_EQ(r.c.VersionNeeded, 20) << r.name;
    EXPECT_EQ(r.c.ExternalAttr & 0xFF, 0x20u) << r.name;
    EXPECT_EQ(r.l.Crc32, r.c.Crc32) << r.name;
    EXPECT_EQ(r.l.PackedSize, r.c.PackedSize) << r.name;
  }
  const auto* empty = FindRecord(z, "empty.dat");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->c.Method, 0);
  EXPECT_EQ(empty->c.Crc32, 0u);
  EXPECT_EQ(empty->c.PackedSize, 0u);
  EXPECT_EQ(empty->c.UnpackedSize, 0u);
  EXPECT_EQ(FindRecord(z, "small-random.bin")->c.Method, 0);
  EXPECT_EQ(FindRecord(z, "small-text.txt")->c.Method, 8);
  EXPECT_EQ(FindRecord(z, "readme.txt")->c.Method, 8);
  EXPECT_EQ(FindRecord(z, "readme.txt")->c.Flags, 0);
  const auto* utf = FindRecord(z, "docs/Gr\xC3\xBC\xC3\x9F" "e.txt");
  ASSERT_TRUE(utf);
  EXPECT_EQ(utf->c.Flags & 0x800, 0x800);
  EXPECT_EQ(FindRecord(z, "docs/deep/nested.txt")->c.Flags & 0x800, 0);
}

// Data that deflate does not make smaller are stored, on one thread and
// deflated ahead on several, with and without a password; the text flag
// marks text only.
TEST_F(ZipWriterTest, IncompressibleEntriesAreStoredAndOnlyTextIsFlaggedText) {
  const Tree tree = {{"r300k.bin", RandomBytes(300000, 51)},
                     {"r3m.bin", RandomBytes(3 << 20, 52)},
                     {"t.txt", TextBytes(300000, 53)},
                     {"zeros.bin", std::string(300000, '\0')}};
  MakeTree(src, tree);
  for (const int threads : {1, 4}) {
    for (const std::string password : {"", "pw"}) {
      fs::remove(archive);
      Writer w(archive);
      w.z.ThreadCount = threads;
      w.z.Password = password;
      EXPECT_EQ(w.Add({Spec(src)}), 4);
      const ZipLayout z = ParseZip(ReadFile(archive));
      ASSERT_TRUE(z.ok);
      const std::string how = std::to_string(threads) + " threads, password '" + password + "'";
      for (const char* name : {"r300k.bin", "r3m.bin"}) {
        const auto* r = FindRecord(z, name);
        ASSERT_TRUE(r) << name;
        EXPECT_EQ(r->c.Method, 0) << name << ", " << how;
        EXPECT_EQ(r->c.PackedSize, r->c.UnpackedSize + (password.empty() ? 0 : 12)) << name << ", " << how;
        EXPECT_EQ(r->c.InternalAttr, 0) << name;
      }
      EXPECT_EQ(FindRecord(z, "t.txt")->c.Method, 8) << how;
      EXPECT_EQ(FindRecord(z, "t.txt")->c.InternalAttr, 1) << how;
      EXPECT_EQ(FindRecord(z, "zeros.bin")->c.InternalAttr, 0) << how;
      ExpectToolsAccept(archive, password);
      EXPECT_TRUE(SameTree(LibraryTree(archive, tmp / ("lib" + how), password), tree)) << how;
    }
  }
}

TEST_F(ZipWriterTest, DeflateTypesSetTheirFlagsAndStoringDoesNotStick) {
  MakeTree(src, {{"a.txt", TextBytes(5000)}});
  const std::pair<vsk::TDeflateType, int> cases[] = {
      {vsk::dtDeflateX, 2}, {vsk::dtDeflateF, 4}, {vsk::dtDeflateN, 0}};
  for (auto [type, flag] : cases) {
    fs::remove(archive);
    Writer w(archive);
    w.z.DeflateType = type;
    EXPECT_EQ(w.Add({Spec(src)}), 1);
    const auto z = ParseZip(ReadFile(archive));
    ASSERT_EQ(z.records.size(), 1u);
    EXPECT_EQ(z.records[0].c.Method, 8);
    EXPECT_EQ(z.records[0].c.Flags & 6, flag);
    ExpectUnzipTest(archive);
  }
  fs::remove(archive);
  Writer s(archive);
  s.z.DeflateType = vsk::dtDeflateS;
  EXPECT_EQ(s.Add({Spec(src)}), 1);
  auto z = ParseZip(ReadFile(archive));
  EXPECT_EQ(z.records[0].c.Method, 0);
  EXPECT_EQ(z.records[0].c.Flags & 6, 0);

  // cmStore stores this run only; the deflate type is left as it was.
  fs::remove(archive);
  Writer m(archive);
  ASSERT_TRUE(m.z.SetCompressMethod(vsk::cmStore));
  EXPECT_EQ(m.Add({Spec(src)}), 1);
  EXPECT_EQ(ParseZip(ReadFile(archive)).records[0].c.Method, 0);
  EXPECT_EQ(m.z.DeflateType, vsk::dtDeflateN);
  ASSERT_TRUE(m.z.SetCompressMethod(vsk::cmDeflate));
  fs::remove(archive);
  EXPECT_EQ(m.Add({Spec(src)}), 1);
  EXPECT_EQ(ParseZip(ReadFile(archive)).records[0].c.Method, 8);
  EXPECT_FALSE(m.z.SetCompressMethod(vsk::cmFuse));
  EXPECT_EQ(m.z.CompressMethod(), vsk::cmDeflate);
}

TEST_F(ZipWriterTest, StoreFilesOfTypeWithoutDot) {
  MakeTree(src, {{"a.txt", TextBytes(5000)}, {"b.doc", TextBytes(5000)}});
  Writer w(archive);
  w.z.StoreFilesOfType = {"txt"};
  EXPECT_EQ(w.Add({Spec(src)}), 2);
  EXPECT_EQ(w.z.StoreFilesOfType, std::vector<std::string>{".txt"});
  const auto z = ParseZip(ReadFile(archive));
  EXPECT_EQ(FindRecord(z, "a.txt")->c.Method, 0);
  EXPECT_EQ(FindRecord(z, "b.doc")->c.Method, 8);
  ExpectUnzipTest(archive);
}

TEST_F(ZipWriterTest, EncryptedEntriesOpenWithTheirPassword) {
  const Tree tree = SampleTree();
  MakeTree(src, tree);
  Writer w(archive);
  w.z.Password = "s3cret";
  EXPECT_EQ(w.Add({Spec(src)}), static_cast<int>(tree.size()));
  ExpectToolsAccept(archive, "s3cret");
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "unzip", "s3cret"), tree));
  EXPECT_TRUE(SameTree(LibraryTree(archive, tmp / "lib", "s3cret"), tree));
  const auto wrong = RunTool(Tool("unzip -t -P wrong " + ShellQuote(archive.string())));
  EXPECT_NE(wrong.exitCode, 0);
  const auto z = ParseZip(ReadFile(archive));
  for (const auto& r : z.records) {
    if (r.c.UnpackedSize == 0) {
      EXPECT_EQ(r.c.Flags & 1, 0) << "an empty file is never encrypted";
    } else {
      EXPECT_EQ(r.c.Flags & 1, 1) << r.name;
      EXPECT_GE(r.c.PackedSize, 12u) << r.name;
    }
  }
  EXPECT_EQ(FindRecord(z, "small-random.bin")->c.PackedSize, 112u) << "stored behind its 12-byte header";
}

TEST_F(ZipWriterTest, EncipheredHeadersReadBackThroughTheLibrary) {
  const Tree tree = SampleTree();
  MakeTree(src, tree);
  for (const std::string password : {"", "pw"}) {
    fs::remove(archive);
    Writer w(archive);
    w.z.EncryptHeaders = true;
    w.z.Password = password;
    EXPECT_EQ(w.Add({Spec(src)}), static_cast<int>(tree.size()));
    const std::string bytes = ReadFile(archive);
    EXPECT_EQ(bytes.substr(0, 4), std::string("PL\x03\x04"));
    EXPECT_EQ(bytes.find("readme.txt"), std::string::npos) << "names are enciphered";
    EXPECT_NE(bytes.find(std::string("PK\x05\x06")), std::string::npos) << "the end record stays plain";
    EXPECT_EQ(bytes.find(std::string("PK\x01\x02")), std::string::npos);
    std::vector<int> errors;
    EXPECT_TRUE(SameTree(LibraryTree(archive, tmp / ("lib" + password), password, &errors), tree));
    EXPECT_TRUE(errors.empty());
  }
  // Adding to such an archive keeps its old entries readable.
  WriteFile(tmp / "more" / "late.txt", "late entry");
  Writer w2(archive);
  w2.z.EncryptHeaders = true;
  w2.z.Password = "pw";
  EXPECT_EQ(w2.Add({(tmp / "more" / "*").string()}), 1);
  Tree want = tree;
  want["late.txt"] = "late entry";
  EXPECT_TRUE(SameTree(LibraryTree(archive, tmp / "lib2", "pw"), want));
}

TEST_F(ZipWriterTest, DeletingEntries) {
  MakeTree(src, {{"a.txt", TextBytes(3000, 1)}, {"b.txt", TextBytes(4000, 2)}, {"c.txt", TextBytes(5000, 3)}});
  Writer w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 3);
  const auto before = ParseZip(ReadFile(archive));
  const auto* a = FindRecord(before, "a.txt");
  const vsk::UInt32 firstSize = 30 + a->c.FileNameLength + a->c.PackedSize;

  Writer d(archive);
  std::vector<std::tuple<std::string, int, int>> deleted;
  d.z.OnDeleteFile = [&](vsk::TZipCommon&, const std::string& name, int count, int max) {
    deleted.push_back({name, count, max});
  };
  EXPECT_EQ(d.Add({"a.txt"}, vsk::swDelete), 1);
  EXPECT_EQ(deleted, (std::vector<std::tuple<std::string, int, int>>{{"a.txt", 1, 1}}));
  const auto after = ParseZip(ReadFile(archive));
  ASSERT_EQ(after.records.size(), 2u);
  for (const char* n : {"b.txt", "c.txt"})
    EXPECT_EQ(FindRecord(after, n)->c.LocalHeaderOffset, FindRecord(before, n)->c.LocalHeaderOffset - firstSize);
  ExpectToolsAccept(archive);

  // Masks that match nothing change nothing.
  const std::string kept = ReadFile(archive);
  EXPECT_EQ(d.Add({"*.none"}, vsk::swDelete), 0);
  EXPECT_EQ(ReadFile(archive), kept);

  deleted.clear();
  EXPECT_EQ(d.Add({"*.txt"}, vsk::swDelete), 2);
  EXPECT_EQ(deleted, (std::vector<std::tuple<std::string, int, int>>{{"b.txt", 1, 2}, {"c.txt", 2, 2}}));
  EXPECT_EQ(ReadFile(archive), std::string("PK\x05\x06") + std::string(18, '\0'));
  const auto empty = RunTool(Tool("unzip -t " + ShellQuote(archive.string())));
  EXPECT_EQ(empty.exitCode, 1) << empty.output;
  EXPECT_NE(empty.output.find("zipfile is empty"), std::string::npos) << empty.output;
  EXPECT_EQ(RunTool("7z t " + ShellQuote(archive.string())).exitCode, 0);

  fs::remove(archive);
  Writer n(archive);
  EXPECT_EQ(n.Add({"*.txt"}, vsk::swDelete), 0);
  EXPECT_TRUE(n.HasError(26859));
  EXPECT_FALSE(fs::exists(archive));
}

// A plain copy of each entry's records, offsets left out.
std::map<std::string, std::string> RecordsWithoutOffsets(const ZipLayout& z) {
  std::map<std::string, std::string> out;
  for (auto r : z.records) {
    r.c.LocalHeaderOffset = 0;
    Byte h[46];
    r.c.Serialize(h);
    out[r.name] = std::string(reinterpret_cast<char*>(h), 46) + r.extra + r.comment;
  }
  return out;
}

struct ForeignTool {
  const char* name;
  const char* tool;
  const char* command;  // run in the source folder, writes $OUT
};

class ForeignArchiveTest : public ZipWriterTest, public ::testing::WithParamInterface<ForeignTool> {};

TEST_P(ForeignArchiveTest, UpdateFreshenDeleteAndRenameKeepTheOtherEntries) {
  const ForeignTool& t = GetParam();
  ASSERT_TRUE(HaveTool(t.tool)) << t.tool << " missing";
  const Tree first = SampleTree();
  Tree tree = first;
  MakeTree(src, tree);
  auto made = RunTool("OUT=" + ShellQuote(archive.string()) + "; " + Tool(t.command), src);
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ExpectUnzipTest(archive);
  const auto original = RecordsWithoutOffsets(ParseZip(ReadFile(archive)));
  auto check = [&](const Tree& want, const std::string& step) {
    SCOPED_TRACE(step);
    ExpectUnzipTest(archive);
    EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / ("x-" + step)), want));
    // Entries that were not touched keep their records, extra fields included.
    const auto now = RecordsWithoutOffsets(ParseZip(ReadFile(archive)));
    for (const auto& [name, rec] : original)
      if (want.count(name) && want.at(name) == first.at(name)) {
        ASSERT_TRUE(now.count(name)) << name;
        EXPECT_EQ(now.at(name), rec) << name;
      }
  };
  const fs::path more = tmp / "more";
  MakeTree(more, {{"added.txt", TextBytes(2000, 9)}});

  Writer w(archive);
  EXPECT_EQ(w.Add({Spec(more)}), 1);
  Tree want = tree;
  want["added.txt"] = TextBytes(2000, 9);
  check(want, "update");

  // Refresh takes the changed file and adds nothing new.
  WriteFile(src / "readme.txt", TextBytes(9000, 11));
  WriteFile(src / "brand-new.txt", "not in the archive");
  EXPECT_GE(w.Add({Spec(src)}, vsk::swRefresh), 1);
  fs::remove(src / "brand-new.txt");
  want["readme.txt"] = TextBytes(9000, 11);
  tree["readme.txt"] = want["readme.txt"];
  check(want, "freshen");

  EXPECT_EQ(w.Add({"data.bin"}, vsk::swDelete), 1);
  want.erase("data.bin");
  fs::remove(src / "data.bin");
  check(want, "delete");

  // A new file of an entry's name, the old entry kept under another name.
  const std::string oldNested = tree.at("docs/deep/nested.txt");
  WriteFile(src / "docs/deep/nested.txt", "the new nested file");
  w.z.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                         vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = false; };
  w.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string& name, std::string& newName, bool& rename) {
    rename = name == "docs/deep/nested.txt";
    newName = "docs/deep/nested-old.txt";
  };
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  want["docs/deep/nested.txt"] = "the new nested file";
  want["docs/deep/nested-old.txt"] = oldNested;
  tree["docs/deep/nested.txt"] = want["docs/deep/nested.txt"];
  check(want, "rename");
  EXPECT_TRUE(w.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Archivers, ForeignArchiveTest,
    ::testing::Values(ForeignTool{"zip", "zip", "zip -q -r \"$OUT\" ."},
                      ForeignTool{"zip_stream", "zip", "zip -q -r -fd - . | cat > \"$OUT\""},
                      ForeignTool{"sevenzip", "7z", "7z a -bd -tzip \"$OUT\" . >/dev/null"},
                      ForeignTool{"bsdtar", "bsdtar", "bsdtar -a -cf \"$OUT\" ."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ZipWriterTest, StubInFrontAndGapsBetweenEntriesSurviveAnUpdate) {
  MakeTree(src, {{"a.txt", TextBytes(3000, 1)}, {"b.txt", TextBytes(4000, 2)}});
  const fs::path plain = tmp / "plain.zip";
  {
    Writer w(plain);
    ASSERT_EQ(w.Add({Spec(src)}), 2);
  }
  std::string zip = ReadFile(plain);
  // A gap of foreign bytes between the entries, offsets adjusted.
  auto z = ParseZip(zip);
  ASSERT_EQ(z.records.size(), 2u);
  const vsk::UInt32 second = std::max(z.records[0].c.LocalHeaderOffset, z.records[1].c.LocalHeaderOffset);
  const std::string gap(777, 'g');
  zip.insert(second, gap);
  auto fix = [&](std::size_t at, vsk::UInt32 delta) {
    vsk::PutLE32(reinterpret_cast<Byte*>(&zip[at]), vsk::GetLE32(reinterpret_cast<Byte*>(&zip[at])) + delta);
  };
  z = ParseZip(zip.substr(0, second) + zip.substr(second + gap.size()));
  std::size_t p = z.end.CentralDirOffset + gap.size();
  for (const auto& r : z.records) {
    if (r.c.LocalHeaderOffset == second) fix(p + 42, static_cast<vsk::UInt32>(gap.size()));
    p += 46 + r.name.size();
  }
  fix(zip.size() - 22 + 16, static_cast<vsk::UInt32>(gap.size()));
  // And a stub in front whose offsets were not adjusted.
  const std::string stub = RandomBytes(1500, 8);
  WriteFile(archive, stub + zip);
  const auto before = RunTool(Tool("unzip -t " + ShellQuote(archive.string())));
  ASSERT_LE(before.exitCode, 1) << before.output;

  MakeTree(tmp / "more", {{"c.txt", "third"}});
  Writer w(archive);
  EXPECT_EQ(w.Add({Spec(tmp / "more")}), 1);
  const std::string after = ReadFile(archive);
  EXPECT_EQ(after.substr(0, stub.size()), stub);
  ExpectUnzipTest(archive);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x"),
                       {{"a.txt", TextBytes(3000, 1)}, {"b.txt", TextBytes(4000, 2)}, {"c.txt", "third"}}));
  EXPECT_TRUE(SameTree(LibraryTree(archive, tmp / "lib"),
                       {{"a.txt", TextBytes(3000, 1)}, {"b.txt", TextBytes(4000, 2)}, {"c.txt", "third"}}));
}

TEST_F(ZipWriterTest, ArchiveAndEntryComments) {
  ASSERT_TRUE(HaveTool("zip"));
  MakeTree(src, {{"a.txt", "alpha"}, {"b.txt", "beta"}});
  auto r = RunTool("zip -q " + ShellQuote(archive.string()) + " a.txt b.txt && echo 'made by zip' | zip -q -z " +
                       ShellQuote(archive.string()),
                   src);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  Writer w(archive);
  ASSERT_EQ(w.z.OpenOldArchive(), 2);
  EXPECT_EQ(w.z.GetArchiveComment(), "made by zip");
  EXPECT_TRUE(w.z.SetArchiveComment("made by zip"));
  EXPECT_TRUE(w.z.SaveDirectoryChanges());
  EXPECT_EQ(w.z.OpenOldArchive(), 2);
  EXPECT_TRUE(w.z.SetArchiveComment("new archive comment"));
  const int b = w.z.Entries()[0].Name == "b.txt" ? 0 : 1;
  EXPECT_TRUE(w.z.SetEntryComment(b, "about b"));
  EXPECT_EQ(w.z.GetEntryComment(b), "about b");
  EXPECT_FALSE(w.z.SetArchiveComment(std::string(70000, 'c')));
  EXPECT_TRUE(w.HasError(25256));
  EXPECT_TRUE(w.z.SaveDirectoryChanges());
  ExpectToolsAccept(archive);
  r = RunTool(Tool("unzip -z " + ShellQuote(archive.string())));
  EXPECT_NE(r.output.find("new archive comment"), std::string::npos) << r.output;
  r = RunTool(Tool("zipnote " + ShellQuote(archive.string())));
  EXPECT_NE(r.output.find("about b"), std::string::npos) << r.output;

  // A later run keeps both comments.
  MakeTree(tmp / "more", {{"c.txt", "gamma"}});
  EXPECT_EQ(w.Add({Spec(tmp / "more")}), 1);
  const auto z = ParseZip(ReadFile(archive));
  EXPECT_EQ(z.comment, "new archive comment");
  EXPECT_EQ(FindRecord(z, "b.txt")->comment, "about b");
  ExpectUnzipTest(archive);
}

TEST_F(ZipWriterTest, LimitsOfTheFormatAreRefused) {
  // A file of 4 GiB is refused; the others go in.
  MakeTree(src, {{"small.txt", "small"}});
  {
    const int fd = ::open((src / "huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(4) << 30), 0);
    ::close(fd);
  }
  Writer w(archive);
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_TRUE(w.HasError(25256));
  EXPECT_EQ(ParseZip(ReadFile(archive)).records.size(), 1u);
  fs::remove(src / "huge.bin");

  // More than 65535 entries: the run is refused and the archive stays.
  {
    std::string big, dir;
    for (int i = 0; i < 65535; ++i) {
      const std::string name = "f" + std::to_string(i);
      vsk::TZipLocalHeader l;
      l.Signature = 0x04034B50;
      l.VersionNeeded = 20;
      l.FileNameLength = static_cast<vsk::UInt16>(name.size());
      Byte h[46];
      l.Serialize(h);
      vsk::TZipCentralRecord c;
      c.Signature = 0x02014B50;
      c.VersionMadeBy = c.VersionNeeded = 20;
      c.FileNameLength = l.FileNameLength;
      c.ExternalAttr = 0x20;
      c.LocalHeaderOffset = static_cast<vsk::UInt32>(big.size());
      big.append(reinterpret_cast<char*>(h), 30);
      big += name;
      c.Serialize(h);
      dir.append(reinterpret_cast<char*>(h), 46);
      dir += name;
    }
    vsk::TZipEndRecord e;
    e.Signature = 0x06054B50;
    e.EntriesOnDisk = e.EntriesTotal = 65535;
    e.CentralDirSize = static_cast<vsk::UInt32>(dir.size());
    e.CentralDirOffset = static_cast<vsk::UInt32>(big.size());
    Byte h[22];
    e.Serialize(h);
    WriteFile(tmp / "full.zip", big + dir + std::string(reinterpret_cast<char*>(h), 22));
  }
  const std::string full = ReadFile(tmp / "full.zip");
  Writer f(tmp / "full.zip");
  EXPECT_EQ(f.Add({Spec(src)}), 0);
  EXPECT_TRUE(f.HasError(25256));
  EXPECT_EQ(ReadFile(tmp / "full.zip"), full);
}

// A writer whose archives may not reach 50000 bytes.
struct SmallZip : vsk::TZip {
  SmallZip() { FLimit = 50000; }
};

TEST_F(ZipWriterTest, AnArchivePastTheLimitIsRefusedAndTheTargetStays) {
  MakeTree(src, {{"a.bin", RandomBytes(30000, 1)}, {"b.bin", RandomBytes(30000, 2)}});
  MakeTree(tmp / "old", {{"old.txt", "old"}});
  {
    Writer w(archive);
    ASSERT_EQ(w.Add({Spec(tmp / "old")}), 1);
  }
  const std::string before = ReadFile(archive);
  Writer<SmallZip> w(archive);
  EXPECT_EQ(w.Add({Spec(src)}), 0);
  EXPECT_TRUE(w.HasError(25256));
  EXPECT_EQ(ReadFile(archive), before);
  for (const auto& e : fs::directory_iterator(tmp.path()))
    EXPECT_EQ(e.path().extension(), e.is_directory() ? "" : ".zip") << e.path();

  // One file past the limit on its own is refused, the rest goes in.
  WriteFile(src / "b.bin", RandomBytes(60000, 2));
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_TRUE(w.HasError(25256));
  EXPECT_NE(FindRecord(ParseZip(ReadFile(archive)), "a.bin"), nullptr);
  EXPECT_EQ(FindRecord(ParseZip(ReadFile(archive)), "b.bin"), nullptr);
}

TEST_F(ZipWriterTest, ReadSwitchReportsEveryEntry) {
  MakeTree(src, {{"a.txt", TextBytes(3000, 1)}, {"b/c.txt", TextBytes(100, 2)}});
  Writer w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 2);
  const auto z = ParseZip(ReadFile(archive));
  std::map<std::string, vsk::Int64> seen;
  w.z.OnRead = [&](vsk::TZipCommon& s, vsk::Int64 offset, int) {
    auto& zz = static_cast<TZip&>(s);
    seen[zz.FileName] = offset;
    EXPECT_EQ(zz.MethodText, "DeflateN");
  };
  const std::string before = ReadFile(archive);
  EXPECT_EQ(w.Add({}, vsk::swRead), 0);
  EXPECT_EQ(ReadFile(archive), before);
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& r : z.records) EXPECT_EQ(seen[r.name], r.c.LocalHeaderOffset);
  w.z.OnRead = nullptr;
  w.Add({}, vsk::swRead);
  EXPECT_TRUE(w.HasError(25270));
}

TEST_F(ZipWriterTest, EmptyFoldersInMemoryAndJar) {
  MakeTree(src, {{"a.txt", "a"}, {"empty/", ""}, {"full/b.txt", "b"}});
  Writer w(archive);
  w.z.StoreEmptySubDirs = true;
  w.z.CompressionMethod = vsk::cmInMemory;
  EXPECT_EQ(w.Add({Spec(src)}), 3);
  const auto z = ParseZip(ReadFile(archive));
  const auto* d = FindRecord(z, "empty/");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->c.ExternalAttr & 0x10, 0x10u);
  EXPECT_EQ(d->c.Method, 0);
  EXPECT_EQ(FindRecord(z, "full/"), nullptr);
  ExpectToolsAccept(archive);
  EXPECT_TRUE(SameTree(UnzipTree(archive, tmp / "x"), {{"a.txt", "a"}, {"empty/", ""}, {"full/b.txt", "b"}}));

  Writer<vsk::TJar> j(tmp / "lib");
  EXPECT_EQ(j.z.ArchiveFile(), (tmp / "lib.JAR").string());
  j.z.SetArcType(vsk::atZip);
  EXPECT_EQ(j.z.ArcType(), vsk::atJar);
  EXPECT_EQ(j.Add({Spec(src)}), 2);
  ExpectUnzipTest(tmp / "lib.JAR");
}

}  // namespace
}  // namespace vsktest
