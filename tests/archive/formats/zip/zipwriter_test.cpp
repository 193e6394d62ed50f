// The zip writer: what it writes is accepted and restored by the usual
// archivers and by our reader; changes to archives of other archivers keep
// their other entries; failures and cancels leave the target as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/core/checksum.h"
#include "archive/core/dates.h"
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

}  // namespace
}  // namespace vsktest
