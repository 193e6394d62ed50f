// The LHA writer: what it writes lhasa tests and restores byte for byte,
// and so does our reader; level-0 headers with the right method, sizes,
// CRC and checksum; archives written by jlha (levels 0, 1 and 2) keep their
// other members when files are added, deleted or renamed; cancels, damaged
// archives and names too long leave the target as it was.

#include "archive/formats/lha/lhawriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "archive/formats/lha/lhaheader.h"
#include "archive/formats/lha/unlha.h"
#include "base/records/ziprecords.h"
#include "tests/archive/formats/zip/zipwrite_support.h"

namespace vsktest {
namespace {

using vsk::Byte;
using vsk::TLha;
using LhaWriter = Writer<TLha>;

std::string Spec(const fs::path& dir) { return (dir / "*").string(); }

// Names of 100 and 233 bytes (the longest a level-0 header holds), a deep
// path, files of 0, 1 and several MB bytes, text and random data, an empty
// folder.
Tree InteropTree() {
  return {
      {"empty.dat", ""},
      {"one.bin", "x"},
      {"random.bin", RandomBytes(70000, 11)},
      {"big.bin", TextBytes(3 * 1024 * 1024 + 77, 12) + RandomBytes(500000, 13)},
      {"text.txt", TextBytes(200000, 14)},
      {"zeros.dat", std::string(300000, '\0')},
      {std::string(100, 'a'), "100"},
      {std::string(229, 'b') + ".txt", "233"},
      {"docs/a/b/c/nested.txt", TextBytes(3000, 15)},
      {"docs/empty folder/", ""},
  };
}

struct Header {
  vsk::TLhaHeader h;
  Byte checksum = 0;
  bool checksumOk = false;
};

// Walks an archive we wrote; every header must parse.
std::vector<Header> Headers(const fs::path& archive) {
  const std::string a = ReadFile(archive);
  const auto read = [&a](vsk::Int64 pos, void* buf, vsk::Int32 n) -> vsk::Int32 {
    if (pos < 0 || pos >= static_cast<vsk::Int64>(a.size())) return 0;
    const auto k = std::min<std::size_t>(static_cast<std::size_t>(n), a.size() - static_cast<std::size_t>(pos));
    std::memcpy(buf, a.data() + pos, k);
    return static_cast<vsk::Int32>(k);
  };
  std::vector<Header> out;
  vsk::Int64 pos = 0;
  while (pos < static_cast<vsk::Int64>(a.size())) {
    Byte fixed[vsk::kLhaFixedSize] = {};
    const auto got = read(pos, fixed, vsk::kLhaFixedSize);
    Header r;
    const auto st = vsk::TLhaHeader::Parse(fixed, got, pos, static_cast<vsk::Int64>(a.size()), read, r.h);
    if (st == vsk::TLhaStatus::EndOfArchive) {
      EXPECT_EQ(pos + 1, static_cast<vsk::Int64>(a.size())) << "the end mark closes the archive";
      break;
    }
    EXPECT_EQ(st, vsk::TLhaStatus::Ok) << "at " << pos;
    if (st != vsk::TLhaStatus::Ok) break;
    if (r.h.Level == 0) {
      unsigned sum = 0;
      for (int i = 2; i < fixed[0] + 2; ++i) sum += static_cast<Byte>(a[static_cast<std::size_t>(pos + i)]);
      r.checksum = fixed[1];
      r.checksumOk = static_cast<Byte>(sum) == fixed[1];
    }
    out.push_back(r);
    pos = r.h.NextOffset();
  }
  return out;
}

const vsk::TLhaHeader* Find(const std::vector<Header>& hs, const std::string& name) {
  for (const auto& r : hs)
    if (r.h.StoredName() == name) return &r.h;
  return nullptr;
}

Tree LhasaTree(const fs::path& archive, const fs::path& into) {
  fs::create_directories(into);
  const auto t = RunTool("lhasa t " + ShellQuote(archive.string()));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  const auto r = RunTool("lhasa xq " + ShellQuote(fs::absolute(archive).string()), into);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadTree(into);
}

Tree LibraryTree(const fs::path& archive, const fs::path& into, std::vector<int>* errors = nullptr) {
  fs::create_directories(into);
  vsk::TUnLha u;
  u.SetArchiveFile(archive.string());
  u.FileSpec = {"*.*"};
  u.SetExtractDir(into.string());
  u.CreateStoredDirs = true;
  u.OnError = [errors](vsk::TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
    if (errors) errors->push_back(c);
  };
  u.Extract();
  return ReadTree(into);
}

class LhaWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(HaveTool("lhasa")) << "lhasa is needed"; }
  TempDir dir;
};

TEST_F(LhaWriterTest, WhatItWritesLhasaAndOurReaderRestoreExactly) {
  const Tree tree = InteropTree();
  MakeTree(dir / "src", tree);
  for (const auto method : {vsk::cmFrozen6, vsk::cmFrozen5, vsk::cmStore}) {
    SCOPED_TRACE(static_cast<int>(method));
    const fs::path arc = dir / ("m" + std::to_string(method) + ".lzh");
    LhaWriter w(arc);
    ASSERT_TRUE(w.z.SetCompressMethod(method));
    w.z.StoreEmptySubDirs = true;
    std::vector<std::string> ends;
    bool allPassed = true;
    w.z.OnEnd = [&](vsk::TZipCommon&, const std::string& n, bool pass) {
      ends.push_back(n);
      allPassed = allPassed && pass;
    };
    EXPECT_EQ(w.Add({Spec(dir / "src")}), static_cast<int>(tree.size()));
    EXPECT_TRUE(w.errors.empty());
    EXPECT_EQ(ends.size(), tree.size());
    EXPECT_TRUE(allPassed);
    const std::string m = std::to_string(method);
    EXPECT_TRUE(SameTree(LhasaTree(arc, dir / ("lhasa" + m)), tree));
    std::vector<int> errors;
    EXPECT_TRUE(SameTree(LibraryTree(arc, dir / ("ours" + m), &errors), tree));
    EXPECT_TRUE(errors.empty());

    const auto hs = Headers(arc);
    ASSERT_EQ(hs.size(), tree.size());
    for (const auto& r : hs) {
      SCOPED_TRACE(r.h.StoredName());
      EXPECT_EQ(r.h.Level, 0);
      EXPECT_TRUE(r.checksumOk);
      EXPECT_EQ(r.h.StoredName().find('/'), std::string::npos) << "folders are separated by \\";
    }
    const char lz = method == vsk::cmFrozen5 ? '5' : method == vsk::cmFrozen6 ? '6' : '0';
    const auto* text = Find(hs, "text.txt");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->MethodLetter(), lz);
    if (lz != '0') {
      EXPECT_LT(text->PackedSize, text->UnpackedSize / 2);
    }
    // Random data does not shrink: stored, packed size = unpacked size.
    const auto* random = Find(hs, "random.bin");
    ASSERT_NE(random, nullptr);
    EXPECT_EQ(random->MethodLetter(), '0');
    EXPECT_EQ(random->PackedSize, 70000u);
    // Empty file: stored, nothing packed, CRC 0.
    const auto* empty = Find(hs, "empty.dat");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->MethodLetter(), '0');
    EXPECT_EQ(empty->PackedSize, 0u);
    EXPECT_EQ(empty->Crc16, 0);
    // An empty folder: -lhd-, attribute 0x10, no data; a full one gives nothing.
    const auto* folder = Find(hs, "docs\\empty folder\\");
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->IsDirectory());
    EXPECT_EQ(folder->Attribute, 0x10);
    EXPECT_EQ(folder->PackedSize, 0u);
    EXPECT_EQ(Find(hs, "docs\\a\\"), nullptr);
  }
}

TEST_F(LhaWriterTest, OnReadReportsTheNewEntries) {
  MakeTree(dir / "src", {{"t.txt", TextBytes(50000, 2)}, {"r.bin", RandomBytes(3000, 3)}});
  LhaWriter w(dir / "a.lzh");
  std::map<std::string, std::string> methods;
  std::map<std::string, vsk::Int64> packed;
  w.z.OnRead = [&](vsk::TZipCommon& s, vsk::Int64, int) {
    auto& z = static_cast<TLha&>(s);
    methods[z.FileName] = z.MethodText;
    packed[z.FileName] = z.PackedSize;
  };
  EXPECT_EQ(w.Add({Spec(dir / "src")}), 2);
  ASSERT_EQ(methods.size(), 2u);
  EXPECT_EQ(methods["r.bin"], "Stored");
  EXPECT_NE(methods["t.txt"], "Stored");
  EXPECT_EQ(packed["r.bin"], 3000);
  EXPECT_LT(packed["t.txt"], 25000);
  EXPECT_EQ(w.z.ArcType(), vsk::atLha);
  w.z.SetArcType(vsk::atZip);
  EXPECT_EQ(w.z.ArcType(), vsk::atLha);
  EXPECT_FALSE(w.z.SetCompressMethod(vsk::cmDeflate));
}

TEST_F(LhaWriterTest, StoreFilesOfTypeIsStoredEvenWithLh6) {
  MakeTree(dir / "src", {{"a.txt", TextBytes(40000, 4)}, {"b.log", TextBytes(40000, 5)}});
  LhaWriter w(dir / "a.lzh");
  w.z.StoreFilesOfType = {"TXT"};
  EXPECT_EQ(w.Add({Spec(dir / "src")}), 2);
  const auto hs = Headers(dir / "a.lzh");
  ASSERT_NE(Find(hs, "a.txt"), nullptr);
  EXPECT_EQ(Find(hs, "a.txt")->MethodLetter(), '0');
  EXPECT_EQ(Find(hs, "b.log")->MethodLetter(), '6');
  EXPECT_TRUE(SameTree(LhasaTree(dir / "a.lzh", dir / "x"), ReadTree(dir / "src")));
}

TEST_F(LhaWriterTest, NamesTooLongForLevel0AreRefusedAndTheRestWritten) {
  MakeTree(dir / "src", {{std::string(234, 'n'), "too long"}, {"ok.txt", "fine"}});
  LhaWriter w(dir / "a.lzh");
  EXPECT_EQ(w.Add({Spec(dir / "src")}), 1);
  EXPECT_TRUE(w.HasError(vsk::msg::InvalidFileName));
  EXPECT_TRUE(SameTree(LhasaTree(dir / "a.lzh", dir / "x"), {{"ok.txt", "fine"}}));
}

TEST_F(LhaWriterTest, TheArchiveIsNeverAddedToItself) {
  MakeTree(dir / "src", {{"a.txt", TextBytes(5000, 6)}});
  const fs::path arc = dir / "src" / "self.lzh";
  LhaWriter w(arc);
  EXPECT_EQ(w.Add({Spec(dir / "src")}), 1);
  // Updating it while it lies in the folder being added.
  WriteFile(dir / "src" / "b.txt", "more");
  LhaWriter again(arc);
  again.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& r) { r = false; };
  EXPECT_EQ(again.Add({Spec(dir / "src")}), 1);
  const auto hs = Headers(arc);
  EXPECT_EQ(hs.size(), 2u);
  EXPECT_EQ(Find(hs, "self.lzh"), nullptr);
}

// jlha writes level 1 unless told otherwise; levels 0 and 2 on request.
class JlhaUpdateTest : public LhaWriterTest, public ::testing::WithParamInterface<int> {};

TEST_P(JlhaUpdateTest, UpdatingKeepsTheOtherMembers) {
  ASSERT_TRUE(HaveTool("jlha")) << "jlha is needed";
  const int level = GetParam();
  const Tree old = {{"keep.txt", TextBytes(30000, 7)},
                    {"sub/inner.bin", RandomBytes(5000, 8)},
                    {"gone.txt", "delete me\n"},
                    {"dup.txt", "old contents\n"}};
  MakeTree(dir / "old", old);
  const fs::path arc = dir / "j.lzh";
  const auto made = RunTool("jlha a" + std::to_string(level) + " " + ShellQuote(arc.string()) +
                                " keep.txt sub/inner.bin gone.txt dup.txt",
                            dir / "old");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ASSERT_EQ(Headers(arc).front().h.Level, level);

  // Add a file and a second dup.txt; the old one is renamed.
  MakeTree(dir / "new", {{"added.txt", TextBytes(20000, 9)}, {"dup.txt", "new contents\n"}});
  // Both dup.txt files of one time, however slowly the machine made them:
  // the writer then renames the old entry instead of asking to replace it.
  fs::last_write_time(dir / "new" / "dup.txt", fs::last_write_time(dir / "old" / "dup.txt"));
  LhaWriter w(arc);
  w.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string& n, bool& r) {
    n = "renamed/dup-old.txt";
    r = true;
  };
  EXPECT_EQ(w.Add({Spec(dir / "new")}), 2);
  EXPECT_TRUE(w.errors.empty()) << (w.errors.empty() ? 0 : w.errors[0]) << " " << (w.errorFiles.empty() ? "" : w.errorFiles[0]) << " " << (w.errorTexts.empty() ? "" : w.errorTexts[0]);
  Tree want = old;
  want["added.txt"] = TextBytes(20000, 9);
  want["dup.txt"] = "new contents\n";
  want["renamed/dup-old.txt"] = "old contents\n";
  EXPECT_TRUE(SameTree(LhasaTree(arc, dir / "x1"), want));
  EXPECT_TRUE(SameTree(LibraryTree(arc, dir / "y1"), want));
  // The kept members are still in jlha's headers.
  const auto hs = Headers(arc);
  for (const auto& r : hs)
    if (r.h.StoredName() == "keep.txt") {
      EXPECT_EQ(r.h.Level, level);
    }

  // Delete one member; the rest stays.
  LhaWriter d(arc);
  EXPECT_EQ(d.Add({"gone.txt"}, vsk::swDelete), 1);
  want.erase("gone.txt");
  EXPECT_TRUE(SameTree(LhasaTree(arc, dir / "x2"), want));
  const auto list = RunTool("jlha t " + ShellQuote(arc.string()));
  EXPECT_EQ(list.exitCode, 0) << list.output;
}

INSTANTIATE_TEST_SUITE_P(Levels, JlhaUpdateTest, ::testing::Values(0, 1, 2));

TEST_F(LhaWriterTest, CancelLeavesTheTargetAsItWas) {
  MakeTree(dir / "src", {{"a.txt", TextBytes(20000, 10)}});
  const fs::path arc = dir / "a.lzh";
  LhaWriter w(arc);
  EXPECT_EQ(w.Add({Spec(dir / "src")}), 1);
  const std::string before = ReadFile(arc);

  MakeTree(dir / "more", {{"big.txt", TextBytes(4 * 1024 * 1024, 11)}});
  LhaWriter c(arc);
  c.z.OnProgress = [](vsk::TZipCommon& s, Byte, Byte) { s.SetCancel(true); };
  EXPECT_EQ(c.Add({Spec(dir / "more")}), 0);
  EXPECT_EQ(ReadFile(arc), before);
  // No scratch file is left beside it.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.path()))
    if (e.is_regular_file()) ++files;
  EXPECT_EQ(files, 1);

  // A new archive is not created at all.
  LhaWriter n(dir / "new.lzh");
  n.z.OnProgress = [](vsk::TZipCommon& s, Byte, Byte) { s.SetCancel(true); };
  EXPECT_EQ(n.Add({Spec(dir / "more")}), 0);
  EXPECT_FALSE(fs::exists(dir / "new.lzh"));
}

TEST_F(LhaWriterTest, DamagedOldArchiveIsNotChanged) {
  MakeTree(dir / "src", {{"a.txt", TextBytes(20000, 12)}, {"b.txt", TextBytes(20000, 13)}});
  const fs::path arc = dir / "a.lzh";
  LhaWriter w(arc);
  EXPECT_EQ(w.Add({Spec(dir / "src")}), 2);
  std::string bytes = ReadFile(arc);
  // Cut inside the second entry's data.
  bytes.resize(bytes.size() - 100);
  WriteFile(arc, bytes);
  MakeTree(dir / "more", {{"c.txt", "c"}});
  LhaWriter u(arc);
  EXPECT_EQ(u.Add({Spec(dir / "more")}), 0);
  EXPECT_TRUE(u.HasError(vsk::msg::BadFileHeader));
  EXPECT_EQ(ReadFile(arc), bytes);

  // Garbage that is no LHA archive at all.
  WriteFile(arc, "this is not an archive at all, just some text");
  LhaWriter g(arc);
  EXPECT_EQ(g.Add({Spec(dir / "more")}), 0);
  EXPECT_EQ(ReadFile(arc), "this is not an archive at all, just some text");
}

TEST_F(LhaWriterTest, RefreshReplacesChangedFilesOnly) {
  MakeTree(dir / "src", {{"a.txt", TextBytes(9000, 14)}, {"b.txt", TextBytes(9000, 15)}});
  const fs::path arc = dir / "a.lzh";
  LhaWriter w(arc);
  EXPECT_EQ(w.Add({Spec(dir / "src")}), 2);
  WriteFile(dir / "src" / "a.txt", "changed and shorter");
  WriteFile(dir / "src" / "c.txt", "not in the archive");
  LhaWriter r(arc);
  EXPECT_EQ(r.Add({Spec(dir / "src")}, vsk::swRefresh), 1);
  Tree want = {{"a.txt", "changed and shorter"}, {"b.txt", TextBytes(9000, 15)}};
  EXPECT_TRUE(SameTree(LhasaTree(arc, dir / "x"), want));
}

}  // namespace
}  // namespace vsktest
