// The BH writer: what it writes our reader restores byte for byte with
// every method, with and without a password; headers carry the right
// method, sizes, flags and CRC; updating keeps the other entries; a
// cancelled run leaves the target as it was.

#include "archive/formats/lha/bhwriter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "archive/formats/lha/bhheader.h"
#include "archive/formats/lha/unbh.h"
#include "tests/archive/formats/zip/zipwrite_support.h"

namespace vsktest {
namespace {

using vsk::Byte;
using BhWriter = Writer<vsk::TBlakHole>;

std::string Spec(const fs::path& dir) { return (dir / "*").string(); }

Tree BhTree() {
  return {
      {"empty.dat", ""},
      {"one.bin", "x"},
      {"random.bin", RandomBytes(70000, 21)},
      {"big.bin", TextBytes(3 * 1024 * 1024 + 77, 22) + RandomBytes(300000, 23)},
      {"text.txt", TextBytes(200000, 24)},
      {"zeros.dat", std::string(300000, '\0')},
      {"docs/a/b/nested.txt", TextBytes(3000, 25)},
      {"docs/empty folder/", ""},
  };
}

std::vector<vsk::TBhHeader> Headers(const fs::path& archive) {
  const std::string a = ReadFile(archive);
  const auto read = [&a](vsk::Int64 pos, void* buf, vsk::Int32 n) -> vsk::Int32 {
    if (pos < 0 || pos >= static_cast<vsk::Int64>(a.size())) return 0;
    const auto k = std::min<std::size_t>(static_cast<std::size_t>(n), a.size() - static_cast<std::size_t>(pos));
    std::memcpy(buf, a.data() + pos, k);
    return static_cast<vsk::Int32>(k);
  };
  std::vector<vsk::TBhHeader> out;
  vsk::Int64 pos = 0;
  while (pos < static_cast<vsk::Int64>(a.size())) {
    Byte fixed[vsk::kBhFixedSize] = {};
    const auto got = read(pos, fixed, vsk::kBhFixedSize);
    vsk::TBhHeader h;
    const auto st = vsk::TBhHeader::Parse(fixed, got, pos, static_cast<vsk::Int64>(a.size()), read, h);
    EXPECT_EQ(st, vsk::TBhStatus::Ok) << "at " << pos;
    if (st != vsk::TBhStatus::Ok) break;
    EXPECT_EQ(h.HeaderLength, vsk::kBhFixedSize + h.NameLength);
    EXPECT_EQ(h.FixedLength, vsk::kBhFixedSize);
    EXPECT_EQ(h.ExtraLength, 0);
    out.push_back(h);
    pos = h.NextOffset();
  }
  EXPECT_EQ(pos, static_cast<vsk::Int64>(a.size())) << "entries fill the archive exactly";
  return out;
}

const vsk::TBhHeader* Find(const std::vector<vsk::TBhHeader>& hs, const std::string& name) {
  for (const auto& h : hs)
    if (h.Name == name) return &h;
  return nullptr;
}

Tree Restore(const fs::path& archive, const fs::path& into, const std::string& password = "",
             std::vector<int>* errors = nullptr) {
  fs::create_directories(into);
  vsk::TUnBh u;
  u.SetArchiveFile(archive.string());
  u.FileSpec = {"*.*"};
  u.SetExtractDir(into.string());
  u.CreateStoredDirs = true;
  if (!password.empty()) u.Passwords = {password};
  u.OnError = [errors](vsk::TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
    if (errors) errors->push_back(c);
  };
  u.Extract();
  return ReadTree(into);
}

class BhWriterTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(BhWriterTest, EveryMethodWithAndWithoutPasswordRestoresExactly) {
  const Tree tree = BhTree();
  MakeTree(dir / "src", tree);
  int run = 0;
  for (const auto method : {vsk::cmFuse, vsk::cmDeflate}) {
    for (const std::string password : {"", "s3cret"}) {
      SCOPED_TRACE(std::to_string(method) + " '" + password + "'");
      const fs::path arc = dir / ("a" + std::to_string(run) + ".bh");
      BhWriter w(arc);
      ASSERT_TRUE(w.z.SetCompressMethod(method));
      w.z.StoreEmptySubDirs = true;
      w.z.Password = password;
      bool allPassed = true;
      int ends = 0;
      w.z.OnEnd = [&](vsk::TZipCommon&, const std::string&, bool pass) {
        ++ends;
        allPassed = allPassed && pass;
      };
      EXPECT_EQ(w.Add({Spec(dir / "src")}), static_cast<int>(tree.size()));
      EXPECT_TRUE(w.errors.empty());
      EXPECT_EQ(ends, static_cast<int>(tree.size()));
      EXPECT_TRUE(allPassed);
      std::vector<int> errors;
      EXPECT_TRUE(SameTree(Restore(arc, dir / ("out" + std::to_string(run)), password, &errors), tree));
      EXPECT_TRUE(errors.empty()) << (errors.empty() ? 0 : errors.front());

      const auto hs = Headers(arc);
      ASSERT_EQ(hs.size(), tree.size());
      const bool enc = !password.empty();
      const auto* text = Find(hs, "text.txt");
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(text->Method, method == vsk::cmFuse ? 3 : 8);
      EXPECT_EQ(text->Encrypted(), enc);
      EXPECT_LT(text->PackedSize, text->UnpackedSize / 2);
      EXPECT_EQ(text->VersionMadeBy, 4);
      EXPECT_EQ(text->VersionNeeded, 8);
      EXPECT_EQ(text->Crc32, vsk::Crc32Of(tree.at("text.txt").data(), tree.at("text.txt").size()));
      // Incompressible: LZH gives way to a stored copy, packed size = file
      // size (+12 enciphered).
      const auto* random = Find(hs, "random.bin");
      ASSERT_NE(random, nullptr);
      if (method == vsk::cmFuse) {
        EXPECT_EQ(random->Method, 0);
        EXPECT_EQ(random->PackedSize, 70000u + (enc ? 12u : 0u));
      }
      EXPECT_EQ(random->Encrypted(), enc);
      // Empty: stored, never enciphered, no cipher header, CRC 0.
      const auto* empty = Find(hs, "empty.dat");
      ASSERT_NE(empty, nullptr);
      EXPECT_EQ(empty->Method, 0);
      EXPECT_EQ(empty->PackedSize, 0u);
      EXPECT_FALSE(empty->Encrypted());
      EXPECT_EQ(empty->Crc32, 0u);
      const auto* folder = Find(hs, "docs\\empty folder\\");
      ASSERT_NE(folder, nullptr);
      EXPECT_TRUE(folder->IsDirectory());
      EXPECT_EQ(folder->PackedSize, 0u);
      ASSERT_NE(Find(hs, "docs\\a\\b\\nested.txt"), nullptr);

      if (enc) {
        // A wrong password gives nothing back.
        std::vector<int> bad;
        const Tree got = Restore(arc, dir / ("bad" + std::to_string(run)), "wrong", &bad);
        EXPECT_EQ(got.count("text.txt"), 0u);
        EXPECT_FALSE(bad.empty());
      }
      ++run;
    }
  }
}

// Files whose extension is listed (with or without its dot) are stored, in
// any case of its ASCII letters; a hidden name's leading dot is no extension.
TEST_F(BhWriterTest, StoreListMatchesExtensionsInAnyCase) {
  const std::string text = TextBytes(40000, 8);
  MakeTree(dir / "src", {{"a.TxT", text}, {"b.log", text}, {".txt", text}, {"c.txt.gz", text}, {"d.Dat", text}});
  for (const auto method : {vsk::cmFuse, vsk::cmDeflate}) {
    SCOPED_TRACE(method);
    const fs::path arc = dir / ("a" + std::to_string(method) + ".bh");
    BhWriter w(arc);
    ASSERT_TRUE(w.z.SetCompressMethod(method));
    w.z.StoreFilesOfType = {"tXt", ".DAT"};
    EXPECT_EQ(w.Add({Spec(dir / "src")}), 5);
    const int packed = method == vsk::cmFuse ? 3 : 8;
    const auto hs = Headers(arc);
    for (const auto& [name, expected] : std::vector<std::pair<std::string, int>>{
             {"a.TxT", 0}, {"d.Dat", 0}, {"b.log", packed}, {".txt", packed}, {"c.txt.gz", packed}}) {
      const auto* h = Find(hs, name);
      ASSERT_NE(h, nullptr) << name;
      EXPECT_EQ(h->Method, expected) << name;
    }
  }
}

TEST_F(BhWriterTest, DeflateTypeSetsTheFlagBitsAndOnReadReports) {
  MakeTree(dir / "src", {{"t.txt", TextBytes(50000, 2)}, {"r.bin", RandomBytes(3000, 3)}});
  const std::pair<vsk::TDeflateType, int> cases[] = {
      {vsk::dtDeflateX, 2}, {vsk::dtDeflateN, 0}, {vsk::dtDeflateF, 4}};
  for (const auto& [type, bits] : cases) {
    SCOPED_TRACE(bits);
    const fs::path arc = dir / ("d" + std::to_string(bits) + ".bh");
    BhWriter w(arc);
    w.z.DeflateType = type;
    std::map<std::string, std::string> methods;
    std::map<std::string, vsk::Int64> packed;
    w.z.OnRead = [&](vsk::TZipCommon& s, vsk::Int64, int) {
      auto& z = static_cast<vsk::TBlakHole&>(s);
      methods[z.FileName] = z.MethodText;
      packed[z.FileName] = z.PackedSize;
    };
    EXPECT_EQ(w.Add({Spec(dir / "src")}), 2);
    const auto hs = Headers(arc);
    const auto* t = Find(hs, "t.txt");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Method, 8);
    EXPECT_EQ(t->Flags & vsk::kBhFlagDeflateOptions, bits);
    EXPECT_EQ(methods["t.txt"].rfind("Deflate", 0), 0u);
    EXPECT_LT(packed["t.txt"], 25000);
    EXPECT_TRUE(SameTree(Restore(arc, dir / ("o" + std::to_string(bits))),
                         {{"t.txt", TextBytes(50000, 2)}, {"r.bin", RandomBytes(3000, 3)}}));
  }
  vsk::TBlakHole b;
  EXPECT_EQ(b.ArcType(), vsk::atBh);
  b.SetArcType(vsk::atZip);
  EXPECT_EQ(b.ArcType(), vsk::atBh);
  EXPECT_EQ(b.DefaultExt(), ".BH");
  EXPECT_FALSE(b.SetCompressMethod(vsk::cmStore));
}

TEST_F(BhWriterTest, UpdatingKeepsTheOtherEntries) {
  Tree tree = {{"a.txt", TextBytes(40000, 5)}, {"b.bin", RandomBytes(5000, 6)}, {"c/d.txt", TextBytes(900, 7)}};
  MakeTree(dir / "src", tree);
  const fs::path arc = dir / "u.bh";
  {
    BhWriter w(arc);
    ASSERT_TRUE(w.z.SetCompressMethod(vsk::cmFuse));
    w.z.Password = "pw";
    EXPECT_EQ(w.Add({Spec(dir / "src")}), 3);
  }
  // A new file, and a changed one replaced.
  WriteFile(dir / "src2" / "e.txt", TextBytes(7000, 8));
  WriteFile(dir / "src2" / "a.txt", "replaced\n");
  {
    BhWriter w(arc);
    w.z.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime,
                           vsk::TDateTime, vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = true; };
    EXPECT_EQ(w.Add({Spec(dir / "src2")}), 2);
    EXPECT_TRUE(w.errors.empty());
  }
  tree["e.txt"] = TextBytes(7000, 8);
  tree["a.txt"] = "replaced\n";
  // Old entries stay enciphered, new ones are not: both come back.
  EXPECT_TRUE(SameTree(Restore(arc, dir / "o1", "pw"), tree));
  {
    BhWriter w(arc);
    EXPECT_EQ(w.Add({"b.bin"}, vsk::swDelete), 1);
  }
  tree.erase("b.bin");
  EXPECT_TRUE(SameTree(Restore(arc, dir / "o2", "pw"), tree));
  EXPECT_EQ(Headers(arc).size(), tree.size());

  // A damaged archive is not touched.
  std::string bytes = ReadFile(arc);
  bytes.resize(bytes.size() - 10);
  WriteFile(arc, bytes);
  BhWriter w(arc);
  EXPECT_EQ(w.Add({Spec(dir / "src2")}), 0);
  EXPECT_TRUE(w.HasError(vsk::msg::BadFileHeader));
  EXPECT_EQ(ReadFile(arc), bytes);
}

TEST_F(BhWriterTest, CancelAndRefusedNamesLeaveTheTargetAsItWas) {
  MakeTree(dir / "src", {{"big.txt", TextBytes(2 * 1024 * 1024, 9)}});
  const fs::path arc = dir / "c.bh";
  {
    BhWriter w(arc);
    ASSERT_TRUE(w.z.SetCompressMethod(vsk::cmFuse));
    EXPECT_EQ(w.Add({Spec(dir / "src")}), 1);
  }
  const std::string before = ReadFile(arc);
  WriteFile(dir / "more" / "x.txt", TextBytes(3 * 1024 * 1024, 10));
  for (const auto method : {vsk::cmFuse, vsk::cmDeflate}) {
    BhWriter c(arc);
    ASSERT_TRUE(c.z.SetCompressMethod(method));
    c.z.OnProgress = [](vsk::TZipCommon& s, Byte, Byte) { s.SetCancel(true); };
    EXPECT_EQ(c.Add({Spec(dir / "more")}), 0);
    EXPECT_EQ(ReadFile(arc), before);
  }
  // A cancelled new archive is not created.
  BhWriter n(dir / "new.bh");
  ASSERT_TRUE(n.z.SetCompressMethod(vsk::cmFuse));
  n.z.OnProgress = [](vsk::TZipCommon& s, Byte, Byte) { s.SetCancel(true); };
  EXPECT_EQ(n.Add({Spec(dir / "more")}), 0);
  EXPECT_FALSE(fs::exists(dir / "new.bh"));

  // A name readers would not list is refused; the rest goes in.
  WriteFile(dir / "long" / std::string(200, 'd') / (std::string(60, 'n') + ".txt"), "long");
  WriteFile(dir / "long" / "ok.txt", "ok");
  BhWriter l(dir / "l.bh");
  l.z.RecurseDirs = true;
  EXPECT_EQ(l.Add({Spec(dir / "long")}), 1);
  EXPECT_TRUE(l.HasError(vsk::msg::InvalidFileName));
  EXPECT_TRUE(SameTree(Restore(dir / "l.bh", dir / "lo"), {{"ok.txt", "ok"}}));
}

}  // namespace
}  // namespace vsktest
