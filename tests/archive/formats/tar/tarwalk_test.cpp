// The one header walk behind the tar reader, lister and writer: sparse
// files of GNU tar (old GNU and pax 0.0, 0.1, 1.0 forms) and bsdtar, long
// names and links of both tools in ustar, GNU and pax form, and damaged
// sparse headers. All three must see the same entries as GNU tar does.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>

#include "archive/formats/tar/tarheader.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/tar/untar.h"
#include "tests/support/listing.h"
#include "tests/support/readerrun.h"
#include "tests/support/tarbuild.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

using vsk::Int64;
using Files = std::map<std::string, std::string>;

std::string Tool(const std::string& command) { return "LC_ALL=C.UTF-8 " + command; }

// Adds the files of Folder to Archive with the tar writer; Errors gets the
// codes it reports.
int AddTo(const fs::path& archive, const fs::path& folder, std::vector<int>* errors = nullptr,
          const std::function<void(vsk::TTar&)>& setup = {}) {
  vsk::TTar t;
  t.SetArchiveFile(archive.string());
  t.FileSpec = {(folder / "*").string()};
  t.OnError = [errors](vsk::TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
    if (errors) errors->push_back(c);
  };
  if (setup) setup(t);
  return t.Compress();
}

constexpr Int64 kSparseSize = 2000000;

// A file of kSparseSize bytes with ten filled parts in holes.
std::string MakeSparse(const fs::path& p) {
  std::string whole(kSparseSize, '\0');
  const int fd = ::open(p.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  EXPECT_GE(fd, 0);
  for (int i = 0; i < 10; ++i) {
    const Int64 at = i * 196608 + 100 + i * 13;
    const std::string part = RandomBytes(5000 + static_cast<std::size_t>(i) * 37, 40 + i);
    EXPECT_EQ(::pwrite(fd, part.data(), part.size(), at), static_cast<ssize_t>(part.size()));
    whole.replace(static_cast<std::size_t>(at), part.size(), part);
  }
  EXPECT_EQ(::ftruncate(fd, kSparseSize), 0);
  ::close(fd);
  return whole;
}

// One row of a listing: name, size and time to the second.
struct Row {
  std::string name;
  Int64 size = 0;
  std::string time;
  bool operator==(const Row&) const = default;
};
using Rows = std::vector<Row>;
void PrintTo(const Row& r, std::ostream* os) { *os << r.name << " " << r.size << " " << r.time; }

// `tar --full-time -tvf` rows in archive order.
Rows GnuRows(const fs::path& archive) {
  const auto r = RunTool(Tool("tar --full-time -tvf " + ShellQuote(archive.string())));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  Rows rows;
  std::istringstream in(r.output);
  std::string line, perms, owner, date, time;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    Row row;
    if (!(ls >> perms >> owner >> row.size >> date >> time)) continue;
    std::getline(ls, row.name);
    row.name.erase(0, row.name.find_first_not_of(' '));
    for (const char* sep : {" -> ", " link to "})
      if (const auto at = row.name.find(sep); at != std::string::npos) row.name.resize(at);
    row.time = date + " " + time.substr(0, 8);
    rows.push_back(row);
  }
  return rows;
}

Rows OurRows(const fs::path& archive) {
  const auto r = ListArchive(archive.string());
  EXPECT_TRUE(r.ok);
  Rows rows;
  for (const auto& e : r.entries) rows.push_back({e.name, e.unpacked, DateText(e.date)});
  return rows;
}

// The names and sizes of a listing, one text a row.
std::vector<std::string> NamesAndSizes(const Rows& rows) {
  std::vector<std::string> v;
  for (const auto& r : rows) v.push_back(r.name + " " + std::to_string(r.size));
  return v;
}

// Every entry the shared walk gives, over the bytes of an archive.
std::vector<vsk::TTarEntry> Walk(const std::string& bytes) {
  vsk::TTarWalker walker(static_cast<Int64>(bytes.size()), [&bytes](Int64 Pos, void* Buffer, vsk::Int32 Count) {
    const Int64 n = std::min<Int64>(Count, static_cast<Int64>(bytes.size()) - Pos);
    if (n <= 0) return 0;
    std::memcpy(Buffer, bytes.data() + Pos, static_cast<std::size_t>(n));
    return static_cast<vsk::Int32>(n);
  });
  std::vector<vsk::TTarEntry> all;
  Int64 at = 0;
  vsk::TTarEntry e;
  while (walker.Next(at, e) == vsk::TTarStatus::Ok) {
    EXPECT_GT(e.NextOffset, at);
    EXPECT_LE(e.DataOffset, e.NextOffset);
    if (e.Sparse && !e.SparseUnreadable) {
      EXPECT_TRUE(vsk::TarSparseMapFits(e.SparseMap, e.Size, e.StoredSize));
    }
    at = e.NextOffset;
    all.push_back(e);
  }
  return all;
}

Files GnuTree(const fs::path& archive, const fs::path& into) {
  GnuTarExtract("-xf", archive, into);
  return Tree(into);
}

RunLog Extract(const fs::path& archive, const fs::path& dest, bool test = false) {
  return RunReader<vsk::TUnTar>(archive, dest, {.test = test}, [](vsk::TUnTar& t) { t.CreateStoredDirs = true; });
}

// Adds dir/add/new.txt to Upd, a copy of Arc: no error, the old rows stay
// first and as they were, GNU tar and the lister agree.
void UpdateKeepsRows(const fs::path& arc, const fs::path& upd, const fs::path& dir, const Rows& rows) {
  fs::copy_file(arc, upd);
  std::vector<int> errors;
  EXPECT_EQ(AddTo(upd, dir / "add", &errors), 1);
  EXPECT_TRUE(errors.empty());
  Rows want = rows;
  want.push_back({"new.txt", 5, ""});
  Rows updated = GnuRows(upd);
  EXPECT_EQ(OurRows(upd), updated);
  if (!updated.empty()) updated.back().time.clear();
  EXPECT_EQ(updated, want);
}

class TarWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveTool("tar")) << "GNU tar missing";
    ASSERT_TRUE(HaveTool("bsdtar")) << "bsdtar missing";
    WriteFile(dir / "add/new.txt", "added");
  }
  IsolatedEnvironment env;
  TempDir dir;
  const fs::path in = dir / "in";
};

TEST_F(TarWalk, SparseFilesAreSeenAlikeByReaderListerWriterAndGnuTar) {
  WriteFile(in / "a.txt", TextBytes(700, 1));
  const std::string sparse = MakeSparse(in / "s.bin");
  WriteFile(in / "c.txt", TextBytes(1300, 2));
  ASSERT_EQ(RunTool("touch -d '2021-05-06 07:08:09' a.txt s.bin c.txt", in).exitCode, 0);
  const Files want = {{"a.txt", TextBytes(700, 1)}, {"s.bin", sparse}, {"c.txt", TextBytes(1300, 2)}};
  WriteFile(dir / "dupe/s.bin", "new s");

  const std::pair<const char*, const char*> cases[] = {
      {"gnu.tar", "tar --format=gnu --sparse -cf"},
      {"pax10.tar", "tar --format=pax --sparse -cf"},
      {"pax00.tar", "tar --format=pax --sparse-version=0.0 -cf"},
      {"pax01.tar", "tar --format=pax --sparse-version=0.1 -cf"},
      {"bsd.tar", "bsdtar --format=pax --read-sparse -cf"},
  };
  for (const auto& [name, command] : cases) {
    SCOPED_TRACE(name);
    const fs::path arc = dir / name;
    ASSERT_EQ(RunTool(Tool(std::string(command) + " " + ShellQuote(arc.string()) + " a.txt s.bin c.txt"), in).exitCode,
              0);
    // The file went in sparse: ten filled parts (and the end mark).
    const auto entries = Walk(ReadFile(arc));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[1].Sparse && !entries[1].SparseUnreadable);
    EXPECT_GE(entries[1].SparseMap.size(), 10u);
    EXPECT_LT(entries[1].StoredSize, kSparseSize / 4);

    const Rows rows = GnuRows(arc);
    EXPECT_EQ(NamesAndSizes(rows),
              (std::vector<std::string>{"a.txt 700", "s.bin " + std::to_string(kSparseSize), "c.txt 1300"}));
    EXPECT_EQ(OurRows(arc), rows);

    const auto out = dir / (std::string("out-") + name);
    auto r = Extract(arc, out);
    EXPECT_EQ(r.result, 3) << r.Describe();
    EXPECT_TRUE(r.AllPass());
    EXPECT_TRUE(Tree(out) == want);
    EXPECT_EQ(fs::last_write_time(out / "s.bin"), fs::last_write_time(in / "s.bin"));
    // Its holes stay holes.
    struct stat st {};
    ASSERT_EQ(::stat((out / "s.bin").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, kSparseSize / 2);
    r = Extract(arc, dir / "never", true);
    EXPECT_EQ(r.result, 3) << r.Describe();
    EXPECT_TRUE(r.AllPass());

    // An update keeps the sparse file as it was; GNU tar reads the result.
    const fs::path upd = dir / (std::string("upd-") + name);
    UpdateKeepsRows(arc, upd, dir.path(), rows);
    Files all = want;
    all["new.txt"] = "added";
    EXPECT_TRUE(GnuTree(upd, dir / (std::string("gnu-") + name)) == all);
    // A new s.bin beside the old one, which is renamed: its parts stay with
    // the new name.
    EXPECT_EQ(AddTo(upd, dir / "dupe", nullptr, [](vsk::TTar& t) {
                t.OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime,
                                     vsk::TDateTime, vsk::UInt32, vsk::UInt32, int, int, bool& replace) {
                  replace = false;
                };
                t.OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string& newName, bool& rename) {
                  newName = "renamed.bin";
                  rename = true;
                };
              }),
              1);
    all["renamed.bin"] = sparse;
    all["s.bin"] = "new s";
    EXPECT_TRUE(GnuTree(upd, dir / (std::string("ren-") + name)) == all);
    r = Extract(upd, dir / (std::string("ren-out-") + name));
    EXPECT_EQ(r.result, 5) << r.Describe();
    EXPECT_TRUE(Tree(dir / (std::string("ren-out-") + name)) == all);
  }
}

// Names of more than 100 and 255 bytes, links to them, a symbolic link
// whose target is long: every archiver's form of them walks alike.
TEST_F(TarWalk, LongNamesAndLinksOfGnuTarAndBsdtar) {
  // Fits the ustar prefix and name fields.
  const std::string split = std::string(120, 'p') + "/" + std::string(90, 'q') + ".txt";
  const std::string deep = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(90, 'f') + ".bin";
  WriteFile(in / split, TextBytes(3000, 5));
  WriteFile(in / deep, RandomBytes(1500, 6));
  WriteFile(in / "short.txt", "short");
  fs::create_symlink("short.txt", in / "sym");
  fs::create_symlink(deep, in / "longsym");
  fs::create_hard_link(in / deep, in / (std::string(110, 'h') + ".bin"));
  fs::create_hard_link(in / "short.txt", in / "hard.txt");
  const std::string longFiles = ShellQuote(split) + " " + ShellQuote(deep) + " short.txt sym longsym " +
                                std::string(110, 'h') + ".bin hard.txt";
  const std::string ustarFiles = ShellQuote(split) + " short.txt sym hard.txt";

  const std::pair<std::string, std::string> cases[] = {
      {"gnu.tar", "tar --format=gnu -cf %s " + longFiles},
      {"pax.tar", "tar --format=pax -cf %s " + longFiles},
      {"ustar.tar", "tar --format=ustar -cf %s " + ustarFiles},
      {"bsd-pax.tar", "bsdtar --format=pax -cf %s " + longFiles},
      {"bsd-gnu.tar", "bsdtar --format=gnutar -cf %s " + longFiles},
      {"bsd-ustar.tar", "bsdtar --format=ustar -cf %s " + ustarFiles},
  };
  for (const auto& [name, command] : cases) {
    SCOPED_TRACE(name);
    const fs::path arc = dir / name;
    std::string cmd = command;
    cmd.replace(cmd.find("%s"), 2, ShellQuote(arc.string()));
    ASSERT_EQ(RunTool(Tool(cmd), in).exitCode, 0);
    const Rows gnu = GnuRows(arc);
    ASSERT_GE(gnu.size(), 4u);
    // Hard links: tar shows no size, we show none either.
    EXPECT_EQ(OurRows(arc), gnu);

    // The reader sees every entry by the same name; files and hard links
    // come out whole.
    const auto t = Extract(arc, dir / "never", true);
    EXPECT_EQ(t.verdicts.size(), gnu.size()) << t.Describe();
    for (const auto& row : gnu) EXPECT_EQ(t.verdicts.count(row.name), 1u) << row.name;
    const auto out = dir / ("out-" + name);
    Extract(arc, out);
    for (const auto& [n, size, time] : gnu) {
      if (n == "sym" || n == "longsym") continue;
      const fs::path orig = fs::is_symlink(in / n) ? fs::read_symlink(in / n) : fs::path(n);
      EXPECT_TRUE(ReadFile(out / n) == ReadFile(in / orig)) << n;
    }

    // The writer keeps every entry under its name.
    UpdateKeepsRows(arc, dir / ("upd-" + name), dir.path(), gnu);
  }
}

TEST_F(TarWalk, DamagedSparseHeadersAreWalkedSafely) {
  const std::string after = TarEntry("after.txt", "after") + std::string(1024, '\0');
  // A good old GNU sparse entry: "ab" at 3, "cd" at 10 of 16 bytes.
  const std::string good =
      TarHeader("good.bin", 'S', 4).Part(0, 3, 2).Part(1, 10, 2).RealSize(16).Bytes() + TarPadded("abcd");
  // A pax 1.0 sparse entry of 9 bytes whose data starts with Map.
  const auto pax10 = [](const std::string& name, const std::string& map) {
    return TarEntry("p", PaxRecord("GNU.sparse.major", "1") + PaxRecord("GNU.sparse.minor", "0") +
                             PaxRecord("GNU.sparse.realsize", "9"), 'x') +
           TarEntry(name, TarPadded(map) + "abcd");
  };
  // Maps that contradict the sizes: parts past the real size, overlapping,
  // more bytes than stored; a pax 1.0 map with a count past its data, with
  // a letter in it; a 0.1 map with an odd count and a 0.0 length first.
  const std::string bad[] = {
      TarHeader("past.bin", 'S', 4).Part(0, 14, 4).RealSize(16).Bytes() + TarPadded("abcd"),
      TarHeader("overlap.bin", 'S', 4).Part(0, 3, 2).Part(1, 4, 2).RealSize(16).Bytes() + TarPadded("abcd"),
      TarHeader("short.bin", 'S', 4).Part(0, 0, 9).RealSize(16).Bytes() + TarPadded("abcd"),
      pax10("count.bin", "99999999\n0\n"),
      pax10("letter.bin", "1\n0x\n4\n"),
      TarEntry("p", PaxRecord("GNU.sparse.size", "9") + PaxRecord("GNU.sparse.map", "0,4,7"), 'x') +
          TarEntry("odd.bin", "abcd"),
      TarEntry("p", PaxRecord("GNU.sparse.size", "9") + PaxRecord("GNU.sparse.numbytes", "4"), 'x') +
          TarEntry("first.bin", "abcd"),
  };
  std::string all = good;
  for (const auto& b : bad) all += b;
  all += after;
  WriteFile(dir / "bad.tar", all);
  // Each damaged map is one refused entry; the walk goes on to the end.
  auto r = Extract(dir / "bad.tar", dir / "out");
  EXPECT_EQ(r.result, 2) << r.Describe();
  EXPECT_EQ(r.Count(vsk::msg::UnknownFileType), 7);
  EXPECT_EQ(ReadFile(dir / "out/good.bin"), std::string("\0\0\0ab\0\0\0\0\0cd\0\0\0\0", 16));
  EXPECT_EQ(ReadFile(dir / "out/after.txt"), "after");
  const auto listed = ListArchive((dir / "bad.tar").string());
  EXPECT_EQ(listed.entries.size(), 9u);
  EXPECT_EQ(listed.entries.back().name, "after.txt");
  // The writer keeps them as they were.
  EXPECT_EQ(AddTo(dir / "bad.tar", dir / "add"), 1);
  r = Extract(dir / "bad.tar", dir / "out2");
  EXPECT_EQ(r.result, 3) << r.Describe();
  EXPECT_EQ(r.Count(vsk::msg::UnknownFileType), 7);
  EXPECT_EQ(ReadFile(dir / "out2/good.bin"), ReadFile(dir / "out/good.bin"));

  // An extension block of map that the archive does not hold.
  TarHeader cut("cut.bin", 'S', 4);
  cut.b[482] = 1;
  const std::string cutArc = TarEntry("first.txt", "first") + cut.Part(0, 0, 4).RealSize(4).Bytes();
  WriteFile(dir / "cut.tar", cutArc);
  r = Extract(dir / "cut.tar", dir / "cut");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.Count(vsk::msg::ErrorReadingFile), 1);
  EXPECT_EQ(ListArchive((dir / "cut.tar").string()).entries.size(), 1u);
  std::vector<int> errors;
  EXPECT_EQ(AddTo(dir / "cut.tar", dir / "add", &errors), 0);
  EXPECT_EQ(errors, std::vector<int>{vsk::msg::BadFileHeader});
  EXPECT_EQ(ReadFile(dir / "cut.tar"), cutArc);

  // Every cut of a real sparse archive of GNU tar: no crash, no entry
  // outside the bytes.
  MakeSparse(dir / "s.bin");
  ASSERT_EQ(RunTool("tar --format=gnu --sparse -cf g.tar s.bin && tar --format=pax --sparse -cf p.tar s.bin",
                    dir.path()).exitCode,
            0);
  for (const char* n : {"g.tar", "p.tar"}) {
    const std::string whole = ReadFile(dir / n).substr(0, 8192);
    for (std::size_t at = 0; at < whole.size(); at += 173) {
      Walk(whole.substr(0, at));
      WriteFile(dir / "c.tar", whole.substr(0, at));
      Extract(dir / "c.tar", dir / "c", true);
    }
  }
}

}  // namespace
}  // namespace vsktest
