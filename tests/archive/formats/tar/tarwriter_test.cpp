// The tar writer: what it writes GNU tar, bsdtar and our reader restore
// byte for byte with names and times; archives of GNU tar keep their other
// members when changed; damaged archives, failures and cancels leave the
// target as it was; a tar.gz comes out of one run.

#include "archive/formats/tar/tarwriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "base/dates.h"
#include "archive/formats/tar/tarheader.h"
#include "archive/formats/tar/untar.h"
#include "tests/archive/formats/zip/zipwrite_support.h"
#include "tests/support/tarbuild.h"

namespace vsktest {
namespace {

using vsk::Byte;
using vsk::TTar;
using TarWriter = Writer<TTar>;

std::string Spec(const fs::path& dir) { return (dir / "*").string(); }

void SetMTime(const fs::path& p, time_t t) {
  struct timespec ts[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << p;
}

time_t MTimeOf(const fs::path& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? st.st_mtime : -1;
}

std::string LongPart(char c, std::size_t n) { return std::string(n, c); }

// Names of 99, 100, 101 and 180 bytes, a folder path longer than 100 whose
// file part is short, a long folder name, UTF-8 names, files of 0, 1, 511,
// 512, 513 bytes and several MB, empty folders.
Tree InteropTree() {
  return {
      {"empty.dat", ""},
      {"one.bin", "x"},
      {"b511.bin", RandomBytes(511, 11)},
      {"b512.bin", RandomBytes(512, 12)},
      {"b513.bin", RandomBytes(513, 13)},
      {"big.bin", RandomBytes(3 * 1024 * 1024 + 77, 14)},
      {"text.txt", TextBytes(200000, 15)},
      {LongPart('a', 99), "99"},
      {LongPart('b', 100), "100"},
      {LongPart('c', 101), "101"},
      {LongPart('d', 180) + ".txt", "180"},
      {LongPart('e', 60) + "/" + LongPart('f', 60) + "/short.txt", "deep"},
      {LongPart('g', 120) + "/", ""},
      {"docs/Gr\xC3\xBC\xC3\x9F" "e/\xE6\x97\xA5\xE6\x9C\xAC.txt", "utf-8 names\n"},
      {"docs/empty folder/", ""},
      {"docs/a/b/c/nested.txt", TextBytes(3000, 16)},
  };
}

// Sets every file and folder of the tree to its own time, deepest first so
// that making a child does not touch its parent afterwards.
std::map<std::string, time_t> StampTree(const fs::path& root) {
  std::map<std::string, time_t> times;
  std::vector<fs::path> all;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    all.push_back(it->path());
  std::sort(all.begin(), all.end(), [](const fs::path& a, const fs::path& b) { return a.string() > b.string(); });
  time_t t = 1500000001;  // odd seconds: DOS times could not hold them
  for (const auto& p : all) {
    SetMTime(p, t);
    times[fs::relative(p, root).string()] = t;
    t += 3607;
  }
  return times;
}

Tree GnuTarTree(const fs::path& archive, const fs::path& into, const std::string& flags = "xf") {
  GnuTarExtract(flags, archive, into);
  return ReadTree(into);
}

Tree BsdTarTree(const fs::path& archive, const fs::path& into) {
  fs::create_directories(into);
  const auto r = RunTool(Tool("bsdtar -xf " + ShellQuote(archive.string()) + " -C " + ShellQuote(into.string())));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadTree(into);
}

Tree LibraryTarTree(const fs::path& archive, const fs::path& into, std::vector<int>* errors = nullptr) {
  fs::create_directories(into);
  vsk::TUnTar u;
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

// The names GNU tar lists, in archive order.
std::vector<std::string> GnuNames(const fs::path& archive) { return GnuTarLines("tf", archive); }

struct Header {
  vsk::TTarHeader h;
  std::string raw;  // the 512 bytes
  std::size_t at = 0;
};

// The headers of a trusted archive in order, GNU long-name records included.
std::vector<Header> Headers(const std::string& tar) {
  std::vector<Header> out;
  std::size_t p = 0;
  while (p + 512 <= tar.size()) {
    Header h;
    h.raw = tar.substr(p, 512);
    h.at = p;
    h.h.Parse(reinterpret_cast<const Byte*>(h.raw.data()));
    if (!h.h.Valid) break;
    out.push_back(h);
    p += 512 + static_cast<std::size_t>(vsk::TarPaddedSize(h.h.Size));
  }
  return out;
}

class TarWriterTest : public ::testing::Test {
 protected:
  IsolatedEnvironment env;
  TempDir tmp;
  fs::path src = tmp / "src";
  fs::path archive = tmp / "out.tar";
};

TEST_F(TarWriterTest, NewArchiveIsRestoredExactlyByGnuTarBsdtarAndOurReader) {
  ASSERT_TRUE(HaveTool("tar")) << "GNU tar missing";
  ASSERT_TRUE(HaveTool("bsdtar")) << "bsdtar missing";
  const Tree tree = InteropTree();
  MakeTree(src, tree);
  const auto times = StampTree(src);
  TarWriter w(archive);
  w.z.StoreEmptySubDirs = true;
  std::vector<std::string> read;
  w.z.OnRead = [&](vsk::TZipCommon& s, vsk::Int64, int) {
    auto& t = static_cast<TTar&>(s);
    read.push_back(t.FileName);
    EXPECT_EQ(t.MethodText, "Tarred");
    EXPECT_EQ(t.PackedSize, t.UnpackedSize);
  };
  const int entries = static_cast<int>(tree.size());
  EXPECT_EQ(w.Add({Spec(src)}), entries);
  EXPECT_TRUE(w.errors.empty());
  EXPECT_EQ(static_cast<int>(read.size()), entries);

  const std::string bytes = ReadFile(archive);
  EXPECT_EQ(bytes.size() % 10240, 0u);
  const auto verbose = RunTool(Tool("tar tvf " + ShellQuote(archive.string())));
  EXPECT_EQ(verbose.exitCode, 0) << verbose.output;
  EXPECT_EQ(verbose.output.find("warning"), std::string::npos) << verbose.output;
  EXPECT_NE(verbose.output.find("root/root"), std::string::npos) << verbose.output;

  EXPECT_TRUE(SameTree(GnuTarTree(archive, tmp / "gnu"), tree));
  EXPECT_TRUE(SameTree(BsdTarTree(archive, tmp / "bsd"), tree));
  std::vector<int> errors;
  EXPECT_TRUE(SameTree(LibraryTarTree(archive, tmp / "lib", &errors), tree));
  EXPECT_TRUE(errors.empty());
  // Times to the second, of files and of the empty folders stored as entries.
  int timed = 0;
  for (const auto& [name, t] : times) {
    if (fs::is_directory(src / name) && !fs::is_empty(src / name)) continue;
    EXPECT_EQ(MTimeOf(tmp / "gnu" / name), t) << name;
    if (!fs::is_directory(src / name)) {
      EXPECT_EQ(MTimeOf(tmp / "bsd" / name), t) << name;
    }
    ++timed;
  }
  EXPECT_EQ(timed, entries);
  // Permissions come back as they were.
  struct stat a, b;
  ASSERT_EQ(stat((src / "text.txt").c_str(), &a), 0);
  ASSERT_EQ(stat((tmp / "gnu" / "text.txt").c_str(), &b), 0);
  EXPECT_EQ(a.st_mode & 0777, b.st_mode & 0777);
}

TEST_F(TarWriterTest, HeadersCarryTheFieldsAndLayoutOfTheFormat) {
  MakeTree(src, {{"hundred.txt", std::string(100, 'h')}});
  SetMTime(src / "hundred.txt", 1234567890);
  fs::permissions(src / "hundred.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  TarWriter w(archive);
  w.z.UnixUName = std::string(40, 'u');
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_EQ(w.z.UnixUName, std::string(32, 'u')) << "the property keeps the cut value";
  const std::string t = ReadFile(archive);
  // One header, one block of data, two end blocks, zeros up to 10240.
  ASSERT_EQ(t.size(), 10240u);
  EXPECT_EQ(t.substr(0, 12), std::string("hundred.txt") + '\0');
  EXPECT_EQ(t.substr(100, 8), std::string("0100640") + '\0');
  EXPECT_EQ(t.substr(108, 8), std::string("0000002") + '\0');
  EXPECT_EQ(t.substr(116, 8), std::string("0000002") + '\0');
  EXPECT_EQ(t.substr(124, 12), std::string("00000000144") + '\0');
  EXPECT_EQ(t.substr(136, 12), std::string("11145401322") + '\0');
  EXPECT_EQ(t[156], '0');
  EXPECT_EQ(t.substr(257, 8), std::string("ustar  ") + '\0');
  EXPECT_EQ(t.substr(265, 32), std::string(32, 'u'));
  EXPECT_EQ(t.substr(297, 5), std::string("root") + '\0');
  EXPECT_EQ(t[155], '\0') << "seven digits and NUL";
  vsk::TTarHeader h;
  h.Parse(reinterpret_cast<const Byte*>(t.data()));
  EXPECT_TRUE(h.Valid);
  EXPECT_EQ(h.Checksum, vsk::TarHeaderSum(reinterpret_cast<const Byte*>(t.data())));
  EXPECT_EQ(t.substr(512, 100), std::string(100, 'h'));
  EXPECT_EQ(t.find_first_not_of('\0', 612), std::string::npos);

  // A size of whole blocks takes no padding, an empty file a header only, a
  // folder a header of size 0 whose name ends in "/".
  fs::remove_all(src);
  MakeTree(src, {{"a512", std::string(512, 'a')}, {"b0", ""}, {"dir/", ""}});
  fs::remove(archive);
  TarWriter d(archive);
  d.z.StoreEmptySubDirs = true;
  EXPECT_EQ(d.Add({Spec(src)}), 3);
  const auto hs = Headers(ReadFile(archive));
  ASSERT_EQ(hs.size(), 3u);
  EXPECT_EQ(hs[0].h.Name, "a512");
  EXPECT_EQ(hs[1].at, 1024u);
  EXPECT_EQ(hs[1].h.Name, "b0");
  EXPECT_EQ(hs[1].h.Size, 0);
  EXPECT_EQ(hs[2].at, 1536u);
  EXPECT_EQ(hs[2].h.Name, "dir/");
  EXPECT_EQ(hs[2].h.TypeFlag, '5');
  EXPECT_EQ(hs[2].h.Size, 0);
  EXPECT_EQ(hs[2].raw.substr(100, 3), "004");
}

TEST_F(TarWriterTest, LongNamesUseGnuLongNameRecords) {
  const std::string name = LongPart('n', 150) + ".txt";
  const std::string hundred = LongPart('m', 100);
  MakeTree(src, {{name, "long"}, {hundred, "exact"}});
  TarWriter w(archive);
  EXPECT_EQ(w.Add({Spec(src)}), 2);
  const auto hs = Headers(ReadFile(archive));
  ASSERT_EQ(hs.size(), 3u);
  EXPECT_EQ(hs[0].h.Name, hundred) << "a name of 100 bytes fills the field";
  EXPECT_EQ(hs[1].h.TypeFlag, 'L');
  EXPECT_EQ(hs[1].h.Name, "././@LongLink");
  EXPECT_EQ(hs[1].h.Size, static_cast<vsk::Int64>(name.size() + 1));
  EXPECT_EQ(ReadFile(archive).substr(hs[1].at + 512, name.size() + 1), name + '\0');
  EXPECT_EQ(hs[2].h.Name, name.substr(0, 100));
  EXPECT_EQ(GnuNames(archive), (std::vector<std::string>{hundred, name}));
}

// An archive that GNU tar made, in its own and in the POSIX form, with
// long and UTF-8 names: adding to it keeps every old member's bytes.
class TarUpdateTest : public TarWriterTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TarUpdateTest, AddingKeepsOldMembersOfGnuTarArchives) {
  ASSERT_TRUE(HaveTool("tar")) << "GNU tar missing";
  const Tree old = {
      {"keep.txt", TextBytes(5000, 21)},
      {LongPart('k', 70) + "/" + LongPart('l', 60) + ".bin", RandomBytes(1000, 22)},
      {"caf\xC3\xA9/men\xC3\xBC.txt", "menu"},
      {"empty", ""},
  };
  MakeTree(tmp / "old", old);
  const auto made = RunTool(Tool(std::string("tar --format=") + GetParam() + " -cf " + ShellQuote(archive.string()) +
                                 " -C " + ShellQuote((tmp / "old").string()) + " ."));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const std::string before = ReadFile(archive);
  const auto oldHeaders = Headers(before);
  std::size_t oldEnd = 0;
  for (const auto& h : oldHeaders) oldEnd = h.at + 512 + static_cast<std::size_t>(vsk::TarPaddedSize(h.h.Size));

  MakeTree(src, {{"new.txt", "added"}, {"sub/new2.bin", RandomBytes(700, 23)}});
  TarWriter w(archive);
  EXPECT_EQ(w.Add({Spec(src)}), 2);
  EXPECT_TRUE(w.errors.empty());
  const std::string after = ReadFile(archive);
  EXPECT_EQ(after.substr(0, oldEnd), before.substr(0, oldEnd)) << "old members are copied unchanged";
  EXPECT_EQ(after.size() % 10240, 0u);
  Tree want = old;
  want["new.txt"] = "added";
  want["sub/new2.bin"] = RandomBytes(700, 23);
  EXPECT_TRUE(SameTree(GnuTarTree(archive, tmp / "gnu"), want));
  EXPECT_TRUE(SameTree(BsdTarTree(archive, tmp / "bsd"), want));

  // Deleting by mask drops exactly the matching members, long names too.
  TarWriter d(archive);
  EXPECT_EQ(d.Add({"*.bin"}, vsk::swDelete), 2);
  want.erase(LongPart('k', 70) + "/" + LongPart('l', 60) + ".bin");
  want[LongPart('k', 70) + "/"] = "";
  want.erase("sub/new2.bin");
  EXPECT_TRUE(SameTree(GnuTarTree(archive, tmp / "gnu2"), want));
}

INSTANTIATE_TEST_SUITE_P(Formats, TarUpdateTest, ::testing::Values("gnu", "posix", "ustar"));

TEST_F(TarWriterTest, ReplaceRefreshAndRenameDecideAgainstOldEntries) {
  MakeTree(src, {{"a.txt", "first a"}, {"b.txt", "first b"}});
  SetMTime(src / "a.txt", 1600000000);
  SetMTime(src / "b.txt", 1600000000);
  TarWriter w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 2);

  // Unchanged files: nothing to do, the archive stays as it was.
  const std::string same = ReadFile(archive);
  w.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& rename) { rename = false; };
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swRefresh), 0);
  EXPECT_EQ(ReadFile(archive), same);

  // swRefresh replaces a changed file in its place.
  WriteFile(src / "a.txt", "second a, longer");
  SetMTime(src / "a.txt", 1600003600);
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swRefresh), 1);
  EXPECT_EQ(GnuNames(archive), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(GnuTarTree(archive, tmp / "r")["a.txt"], "second a, longer");

  // swAdd asks; an old entry kept under another name comes out under it.
  WriteFile(src / "b.txt", "second b");
  SetMTime(src / "b.txt", 1600007200);
  int asked = 0;
  w.z.OnReplaceFile = [&](vsk::TZipCommon&, const std::string& name, const std::string&, vsk::TDateTime,
                          vsk::TDateTime, vsk::UInt32 size, vsk::UInt32 newSize, int, int, bool& replace) {
    ++asked;
    EXPECT_EQ(name, "b.txt");
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(newSize, 8u);
    replace = false;
  };
  w.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string& newName, bool& rename) {
    newName = "old/" + LongPart('o', 110) + "-b.txt";
    rename = true;
  };
  EXPECT_EQ(w.Add({(src / "b.txt").string()}), 1);
  EXPECT_EQ(asked, 1);
  const Tree got = GnuTarTree(archive, tmp / "x");
  EXPECT_EQ(got.at("b.txt"), "second b");
  EXPECT_EQ(got.at("old/" + LongPart('o', 110) + "-b.txt"), "first b");
  EXPECT_EQ(got.at("a.txt"), "second a, longer");
  const auto hs = Headers(ReadFile(archive));
  bool sixDigits = false;
  for (const auto& h : hs)
    if (h.h.Name == ("old/" + LongPart('o', 110) + "-b.txt").substr(0, 100)) sixDigits = h.raw[154] == '\0' && h.raw[155] == ' ';
  EXPECT_TRUE(sixDigits) << "a rewritten old header keeps the checksum form of copied entries";

  // Replacing answers yes: one entry of the name, the new bytes.
  WriteFile(src / "b.txt", "third b");
  SetMTime(src / "b.txt", 1600010800);
  w.z.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                         vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = true; };
  EXPECT_EQ(w.Add({(src / "b.txt").string()}), 1);
  const auto names = GnuNames(archive);
  EXPECT_EQ(std::count(names.begin(), names.end(), "b.txt"), 1);
  EXPECT_EQ(GnuTarTree(archive, tmp / "y").at("b.txt"), "third b");
}

TEST_F(TarWriterTest, RenamingAPaxNamedEntryDropsItsOldPath) {
  ASSERT_TRUE(HaveTool("tar")) << "GNU tar missing";
  const std::string longName = LongPart('p', 140) + ".txt";
  MakeTree(tmp / "old", {{longName, "pax named"}});
  SetMTime(tmp / "old" / longName, 1500000000);
  ASSERT_EQ(RunTool("tar --format=posix -cf " + ShellQuote(archive.string()) + " -C " +
                    ShellQuote((tmp / "old").string()) + " " + longName)
                .exitCode,
            0);
  MakeTree(src, {{longName, "new content"}});
  TarWriter w(archive);
  w.z.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                         vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = false; };
  w.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string& newName, bool& rename) {
    newName = "renamed.txt";
    rename = true;
  };
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  const Tree got = GnuTarTree(archive, tmp / "x");
  EXPECT_TRUE(SameTree(got, {{"renamed.txt", "pax named"}, {longName, "new content"}}));
  EXPECT_EQ(MTimeOf(tmp / "x" / "renamed.txt"), 1500000000) << "the other pax records stay";
}

TEST_F(TarWriterTest, DeletingEveryEntryLeavesEndBlocksOnly) {
  MakeTree(src, {{"a.txt", "a"}, {"b.txt", "b"}});
  TarWriter w(archive);
  ASSERT_EQ(w.Add({Spec(src)}), 2);
  std::vector<std::string> deleted;
  w.z.OnDeleteFile = [&](vsk::TZipCommon&, const std::string& n, int, int max) {
    deleted.push_back(n);
    EXPECT_EQ(max, 2);
  };
  EXPECT_EQ(w.Add({"*.*"}, vsk::swDelete), 2);
  EXPECT_EQ(deleted, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(ReadFile(archive), std::string(10240, '\0'));
  EXPECT_TRUE(GnuNames(archive).empty());

  // Deleting from a missing archive: nothing to do.
  TarWriter n(tmp / "missing.tar");
  EXPECT_EQ(n.Add({"*.*"}, vsk::swDelete), 0);
  EXPECT_TRUE(n.HasError(26859));
  EXPECT_FALSE(fs::exists(tmp / "missing.tar"));
}

TEST_F(TarWriterTest, DamagedOldArchivesAreNotChanged) {
  MakeTree(src, {{"a.txt", "a"}, {"b.txt", TextBytes(3000)}});
  TarWriter w(archive);
  ASSERT_EQ(w.Add({(src / "a.txt").string()}), 1);
  const std::string good = ReadFile(archive);
  const std::string cases[] = {
      good.substr(0, 700),                              // data cut off
      good.substr(0, 1024) + std::string(300, 'x'),     // garbage in place of the end blocks
      std::string("not a tar archive at all, just text") + std::string(600, '!'),
      [&] {  // a header whose checksum is wrong
        std::string t = good;
        t[10] = 'Z';
        return t;
      }(),
  };
  for (const auto& bytes : cases) {
    WriteFile(archive, bytes);
    TarWriter u(archive);
    EXPECT_EQ(u.Add({(src / "b.txt").string()}), 0);
    EXPECT_TRUE(u.HasError(vsk::msg::BadFileHeader));
    EXPECT_EQ(ReadFile(archive), bytes);
  }
  // An archive without end blocks is complete all the same.
  WriteFile(archive, good.substr(0, 1024));
  TarWriter u(archive);
  EXPECT_EQ(u.Add({(src / "b.txt").string()}), 1);
  EXPECT_TRUE(SameTree(GnuTarTree(archive, tmp / "x"), {{"a.txt", "a"}, {"b.txt", TextBytes(3000)}}));
}

// A tar counts no entries: one of 65535 empty files takes one more.
TEST_F(TarWriterTest, HoldsMoreThan65535Entries) {
  std::string t;
  for (int i = 0; i < 65535; ++i) t += TarEntry("e" + std::to_string(i), "");
  WriteFile(archive, t + kTarEnd);
  MakeTree(src, {{"x.txt", "x"}});
  TarWriter w(archive);
  EXPECT_EQ(w.Add({(src / "x.txt").string()}), 1);
  EXPECT_TRUE(w.errors.empty());
  const auto r = RunTool("tar tf " + ShellQuote(archive.string()) + " | wc -l");
  EXPECT_EQ(r.output, "65536\n");
}

TEST_F(TarWriterTest, CancelAndFailuresLeaveTheTargetUntouched) {
  MakeTree(src, {{"a.txt", TextBytes(300000, 1)}, {"b.txt", TextBytes(300000, 2)}});
  TarWriter w(archive);
  ASSERT_EQ(w.Add({(src / "a.txt").string()}), 1);
  const std::string before = ReadFile(archive);
  w.z.OnProgress = [](vsk::TZipCommon& s, Byte, Byte) { s.SetCancel(true); };
  w.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& r) { r = false; };
  EXPECT_EQ(w.Add({Spec(src)}, vsk::swMove), 0);
  EXPECT_TRUE(w.HasError(vsk::msg::UserCanceled));
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_TRUE(fs::exists(src / "b.txt"));
  for (const auto& e : fs::directory_iterator(tmp.path())) EXPECT_NE(e.path().extension(), ".tmp") << e.path();

  // A source that cannot be read is left out; the others go in.
  w.z.OnProgress = nullptr;
  fs::remove(archive);
  WriteFile(src / "locked.txt", "locked");
  fs::permissions(src / "locked.txt", fs::perms::none);
  const bool root = geteuid() == 0;
  const int added = w.Add({Spec(src)}, vsk::swMove);
  EXPECT_EQ(added, root ? 3 : 2);
  if (!root) {
    EXPECT_TRUE(w.HasError(vsk::msg::ErrorOpeningFile));
    EXPECT_TRUE(fs::exists(src / "locked.txt"));
  }
  EXPECT_FALSE(fs::exists(src / "a.txt")) << "moved sources go after the archive is in place";
  EXPECT_EQ(GnuNames(archive).size(), static_cast<std::size_t>(added));
}

TEST_F(TarWriterTest, TheArchiveNeverTarsItself) {
  MakeTree(src, {{"a.txt", "a"}});
  const fs::path inside = src / "self.tar";
  TarWriter w(inside);
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  fs::create_symlink(inside, src / "link.tar");
  WriteFile(src / "b.txt", "b");
  w.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& r) { r = false; };
  EXPECT_EQ(w.Add({Spec(src)}), 1);
  EXPECT_EQ(GnuNames(inside), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(TarWriterTest, TarGzIsMadeInOneRun) {
  ASSERT_TRUE(HaveTool("gzip")) << "gzip missing";
  ASSERT_TRUE(HaveTool("tar")) << "GNU tar missing";
  const Tree tree = {{"a.txt", TextBytes(100000, 31)}, {"b/c.bin", RandomBytes(5000, 32)}, {"e", ""}};
  MakeTree(src, tree);
  TarWriter w(tmp / "x.tar.gz");
  ASSERT_TRUE(w.z.SetCompressMethod(vsk::cmTarGzip));
  EXPECT_FALSE(w.z.SetCompressMethod(vsk::cmDeflate));
  w.z.SetArchiveFile((tmp / "x.tar.gz").string());
  EXPECT_EQ(w.z.ArchiveFile(), (tmp / "x.tar").string());
  EXPECT_EQ(w.z.ArcType(), vsk::atTarGZip);
  std::vector<std::string> begun;
  w.z.OnBegin = [&](vsk::TZipCommon&, const std::string& n, int, bool&) { begun.push_back(n); };
  EXPECT_EQ(w.Add({Spec(src)}), 3);
  EXPECT_TRUE(w.errors.empty());
  EXPECT_EQ(w.z.ArchiveFile(), (tmp / "x.tar.gz").string());
  EXPECT_TRUE(fs::exists(tmp / "x.tar"));
  ASSERT_TRUE(fs::exists(tmp / "x.tar.gz"));
  EXPECT_EQ(begun.back(), (tmp / "x.tar").string()) << "the gzip step reports through the same events";
  const auto t = RunTool("gzip -t " + ShellQuote((tmp / "x.tar.gz").string()));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  const auto d = RunTool("gzip -dc " + ShellQuote((tmp / "x.tar.gz").string()));
  EXPECT_EQ(d.output, ReadFile(tmp / "x.tar"));
  EXPECT_TRUE(SameTree(GnuTarTree(tmp / "x.tar.gz", tmp / "gnu", "xzf"), tree));
  EXPECT_EQ(ReadFile(tmp / "x.tar.gz").substr(10, 6), std::string("x.tar") + '\0');

  // Again: naming the archive touches no file; the .gz exists and is asked
  // for, its entries stay, and the tar of its name goes to the trash.
  const std::string oldGz = ReadFile(tmp / "x.tar.gz");
  WriteFile(tmp / "x.tar", "a file that only shares the name");
  WriteFile(src / "a.txt", "changed");
  TarWriter again(tmp / "x.tar.gz");
  ASSERT_TRUE(again.z.SetCompressMethod(vsk::cmTarGzip));
  again.z.SetArchiveFile((tmp / "x.tar.gz").string());
  EXPECT_EQ(ReadFile(tmp / "x.tar"), "a file that only shares the name");
  EXPECT_EQ(again.Add({Spec(src)}), 0) << "no OnFileExists: the .gz is left alone";
  EXPECT_TRUE(again.HasError(vsk::msg::RequiredEventNotAssigned));
  EXPECT_EQ(ReadFile(tmp / "x.tar.gz"), oldGz);
  int asked = 0;
  again.z.OnFileExists = [&](vsk::TZipCommon&, const std::string& name, vsk::TDateTime, vsk::TOverwriteMode& m) {
    EXPECT_EQ(name, (tmp / (asked++ == 0 ? "x.tar.gz" : "x.tar")).string());
    m = vsk::omOverwrite;
  };
  again.z.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime,
                             vsk::TDateTime, vsk::UInt32, vsk::UInt32, int, int, bool& r) { r = true; };
  again.z.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& r) { r = false; };
  again.z.SetArchiveFile((tmp / "x.tar.gz").string());
  again.errors.clear();
  EXPECT_EQ(again.Add({Spec(src)}), 1);
  EXPECT_EQ(asked, 2) << "the .gz and the file at the tar's name";
  EXPECT_TRUE(again.errors.empty());
  Tree changed = tree;
  changed["a.txt"] = "changed";
  EXPECT_TRUE(SameTree(GnuTarTree(tmp / "x.tar.gz", tmp / "gnu2", "xzf"), changed));
  EXPECT_EQ(ReadFile(env.root() / "home/.local/share/Trash/files/x.tar"), "a file that only shares the name");
}

// The gzip step of a large tar runs in blocks on the writer's threads.
TEST_F(TarWriterTest, TarGzOfALargeTarIsMadeInBlocks) {
  ASSERT_TRUE(HaveTool("gzip")) << "gzip missing";
  const Tree tree = {{"big.txt", TextBytes(3 << 20, 41)}, {"r.bin", RandomBytes(700000, 42)}};
  MakeTree(src, tree);
  std::map<int, std::string> gz;
  for (int threads : {1, 4}) {
    const fs::path dir = tmp / ("t" + std::to_string(threads));
    fs::create_directories(dir);
    TarWriter w(dir / "x.tar.gz");
    ASSERT_TRUE(w.z.SetCompressMethod(vsk::cmTarGzip));
    w.z.SetArchiveFile((dir / "x.tar.gz").string());
    w.z.ThreadCount = threads;
    EXPECT_EQ(w.Add({Spec(src)}), 2);
    EXPECT_TRUE(w.errors.empty());
    const auto t = RunTool("gzip -t " + ShellQuote((dir / "x.tar.gz").string()));
    EXPECT_EQ(t.exitCode, 0) << t.output;
    EXPECT_TRUE(SameTree(GnuTarTree(dir / "x.tar.gz", dir / "gnu", "xzf"), tree));
    gz[threads] = ReadFile(dir / "x.tar.gz");
  }
  EXPECT_NE(gz[1], gz[4]) << "the parallel step was taken";
}

}  // namespace
}  // namespace vsktest
