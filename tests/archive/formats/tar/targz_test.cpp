// tar.gz runs of the tar writer: the archive and its tar are never taken
// for sources, a tar of the name that the run did not make goes to the
// trash, an existing tar.gz keeps its entries, and sources of a move stay
// until the .gz is committed. Results are checked with GNU tar and gzip.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/formats/tar/tarwriter.h"
#include "base/messages.h"
#include "tests/archive/formats/zip/zipwrite_support.h"
#include "tests/support/tarbuild.h"

namespace vsktest {
namespace {

using TarWriter = Writer<vsk::TTar>;

std::string Spec(const fs::path& dir) { return (dir / "*").string(); }

// GNU tar's names of a tar.gz, sorted.
std::vector<std::string> GzNames(const fs::path& gz) {
  auto names = GnuTarLines("tzf", gz);
  std::sort(names.begin(), names.end());
  return names;
}

// gzip accepts the .gz, and the tar beside it is what it holds.
void ExpectPair(const fs::path& tar) {
  const fs::path gz = tar.string() + ".gz";
  const auto t = RunTool("gzip -t " + ShellQuote(gz.string()));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  const auto d = RunTool("gzip -dc " + ShellQuote(gz.string()));
  EXPECT_TRUE(d.output == ReadFile(tar)) << "the tar beside the .gz differs from the one inside";
}

std::vector<std::string> Scratch(const fs::path& dir) {
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind("vsk", 0) == 0) left.push_back(e.path().string());
  return left;
}

class TarGzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveTool("gzip")) << "gzip missing";
    ASSERT_TRUE(HaveTool("tar")) << "GNU tar missing";
  }
  IsolatedEnvironment env;
  TempDir tmp;
  fs::path src = tmp / "src";
  fs::path trash = env.root() / "home/.local/share/Trash/files";

  // A tar.gz writer of dir/x.tar.gz that answers every question with yes.
  std::unique_ptr<TarWriter> Make(const fs::path& dir) {
    auto w = std::make_unique<TarWriter>(dir / "x.tar.gz");
    EXPECT_TRUE(w->z.SetCompressMethod(vsk::cmTarGzip));
    w->z.SetArchiveFile((dir / "x.tar.gz").string());
    w->z.OnFileExists = [](vsk::TZipCommon&, const std::string&, vsk::TDateTime, vsk::TOverwriteMode& m) {
      m = vsk::omOverwrite;
    };
    w->z.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime,
                            vsk::TDateTime, vsk::UInt32, vsk::UInt32, int, int, bool& r) { r = true; };
    w->z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& r) { r = false; };
    return w;
  }
};

// The archive lies in the folder being moved into it, beside a tar of its
// name that another program made; then plain adds run there again.
TEST_F(TarGzTest, MoveOfTheFolderHoldingTheArchive) {
  MakeTree(src, {{"a.txt", TextBytes(30000, 1)}, {"b/c.bin", RandomBytes(4000, 2)}});
  ASSERT_EQ(RunTool("tar cf x.tar a.txt", src).exitCode, 0);
  const std::string unrelated = ReadFile(src / "x.tar");

  auto w = Make(src);
  EXPECT_EQ(w->Add({Spec(src)}, vsk::swMove), 2);
  EXPECT_TRUE(w->errors.empty());
  EXPECT_EQ(w->z.ArchiveFile(), (src / "x.tar.gz").string());
  EXPECT_EQ(GzNames(src / "x.tar.gz"), (std::vector<std::string>{"a.txt", "b/c.bin"}));
  ExpectPair(src / "x.tar");
  EXPECT_FALSE(fs::exists(src / "a.txt"));
  EXPECT_FALSE(fs::exists(src / "b/c.bin"));
  EXPECT_EQ(ReadFile(trash / "x.tar"), unrelated) << "the tar it did not make is in the trash";
  EXPECT_TRUE(Scratch(src).empty());

  // Plain adds: neither the .gz nor its tar goes into the next archive.
  for (const std::string name : {"d.txt", "e.txt"}) {
    WriteFile(src / name, name);
    auto again = Make(src);
    EXPECT_EQ(again->Add({Spec(src)}), 1) << name;
    EXPECT_TRUE(again->errors.empty());
    ExpectPair(src / "x.tar");
  }
  EXPECT_EQ(GzNames(src / "x.tar.gz"), (std::vector<std::string>{"a.txt", "b/c.bin", "d.txt", "e.txt"}));
  EXPECT_TRUE(fs::exists(src / "d.txt"));
  EXPECT_TRUE(Scratch(src).empty());
}

// "Yes" adds to what the tar.gz held, "No" leaves it and the tar beside it
// alone, delete takes entries out, and a damaged tar.gz is not replaced.
TEST_F(TarGzTest, AnExistingTarGzKeepsItsEntries) {
  MakeTree(tmp / "old", {{"a.txt", "alpha\n"}, {"b.txt", "beta\n"}});
  ASSERT_EQ(RunTool("tar czf ../x.tar.gz a.txt b.txt", tmp / "old").exitCode, 0);
  WriteFile(tmp / "x.tar", "my own tar");
  MakeTree(src, {{"c.txt", "gamma\n"}});
  const std::string before = ReadFile(tmp / "x.tar.gz");

  auto no = Make(tmp.path());
  no->z.OnFileExists = [](vsk::TZipCommon&, const std::string&, vsk::TDateTime, vsk::TOverwriteMode& m) {
    m = vsk::omSkip;
  };
  EXPECT_EQ(no->Add({Spec(src)}), 0);
  EXPECT_EQ(ReadFile(tmp / "x.tar.gz"), before);
  EXPECT_EQ(ReadFile(tmp / "x.tar"), "my own tar");

  auto yes = Make(tmp.path());
  EXPECT_EQ(yes->Add({Spec(src)}), 1);
  EXPECT_TRUE(yes->errors.empty());
  EXPECT_EQ(GzNames(tmp / "x.tar.gz"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  GnuTarExtract("xzf", tmp / "x.tar.gz", tmp / "out");
  EXPECT_TRUE(SameTree(ReadTree(tmp / "out"), {{"a.txt", "alpha\n"}, {"b.txt", "beta\n"}, {"c.txt", "gamma\n"}}));
  ExpectPair(tmp / "x.tar");
  EXPECT_EQ(ReadFile(trash / "x.tar"), "my own tar");

  auto del = Make(tmp.path());
  EXPECT_EQ(del->Add({"b.txt"}, vsk::swDelete), 1);
  EXPECT_EQ(GzNames(tmp / "x.tar.gz"), (std::vector<std::string>{"a.txt", "c.txt"}));
  ExpectPair(tmp / "x.tar");

  // Cut short: the tar inside cannot be read, so nothing is replaced.
  const std::string good = ReadFile(tmp / "x.tar.gz");
  WriteFile(tmp / "x.tar.gz", good.substr(0, good.size() / 2));
  const std::string cut = ReadFile(tmp / "x.tar.gz"), tar = ReadFile(tmp / "x.tar");
  WriteFile(src / "d.txt", "delta");
  auto bad = Make(tmp.path());
  EXPECT_EQ(bad->Add({Spec(src)}), 0);
  EXPECT_FALSE(bad->errors.empty());
  EXPECT_EQ(ReadFile(tmp / "x.tar.gz"), cut);
  EXPECT_EQ(ReadFile(tmp / "x.tar"), tar);
  EXPECT_TRUE(Scratch(tmp.path()).empty());

  // A tar of the name that is a link: the file it names is replaced and
  // goes to the trash, the link stays, nothing outside is lost.
  fs::remove(tmp / "x.tar.gz");
  fs::remove(tmp / "x.tar");
  WriteFile(tmp / "elsewhere/real.tar", "kept by the user");
  fs::create_symlink(tmp / "elsewhere/real.tar", tmp / "x.tar");
  auto linked = Make(tmp.path());
  EXPECT_EQ(linked->Add({Spec(src)}), 2);
  EXPECT_TRUE(fs::is_symlink(tmp / "x.tar"));
  ExpectPair(tmp / "x.tar");
  EXPECT_EQ(ReadFile(trash / "real.tar"), "kept by the user");

  // A file of the name that is no gzip file at all is not taken for an
  // empty tar and replaced.
  WriteFile(tmp / "x.tar.gz", "notes, not an archive");
  auto other = Make(tmp.path());
  EXPECT_EQ(other->Add({Spec(src)}), 0);
  EXPECT_FALSE(other->errors.empty());
  EXPECT_EQ(ReadFile(tmp / "x.tar.gz"), "notes, not an archive");
}

// A cancel in the gzip step leaves every source, and neither the .gz nor a
// new tar; a source that shrinks while read is left out and the .gz is
// still the tar beside it.
TEST_F(TarGzTest, SourcesStayUntilTheGzIsCommitted) {
  const Tree tree = {{"a.txt", TextBytes(3 << 20, 3)}, {"b.bin", RandomBytes(5000, 4)}};
  MakeTree(src, tree);
  auto w = Make(tmp.path());
  w->z.OnBegin = [&](vsk::TZipCommon& s, const std::string& name, int, bool&) {
    if (name == (tmp / "x.tar").string()) s.SetCancel(true);
  };
  EXPECT_EQ(w->Add({Spec(src)}, vsk::swMove), 0);
  EXPECT_TRUE(SameTree(ReadTree(src), tree));
  EXPECT_FALSE(fs::exists(tmp / "x.tar.gz"));
  EXPECT_FALSE(fs::exists(tmp / "x.tar"));
  EXPECT_TRUE(Scratch(tmp.path()).empty());

  for (const int threads : {1, 4}) {
    SCOPED_TRACE(threads);
    MakeTree(src, tree);
    auto shrink = Make(tmp.path());
    shrink->z.ThreadCount = threads;
    bool cut = false;
    shrink->z.OnProgress = [&](vsk::TZipCommon&, vsk::Byte, vsk::Byte) {
      if (!cut && shrink->z.CurrentFileName == "a.txt") {
        cut = true;
        ASSERT_EQ(truncate((src / "a.txt").c_str(), 100), 0);
      }
    };
    EXPECT_EQ(shrink->Add({Spec(src)}, vsk::swMove), 1);
    EXPECT_TRUE(cut);
    EXPECT_TRUE(shrink->HasError(vsk::msg::ErrorReadingFile));
    EXPECT_EQ(GzNames(tmp / "x.tar.gz"), std::vector<std::string>{"b.bin"});
    ExpectPair(tmp / "x.tar");
    EXPECT_TRUE(fs::exists(src / "a.txt")) << "a source that was not archived stays";
    EXPECT_FALSE(fs::exists(src / "b.bin"));
    fs::remove(tmp / "x.tar.gz");
  }
}

}  // namespace
}  // namespace vsktest
