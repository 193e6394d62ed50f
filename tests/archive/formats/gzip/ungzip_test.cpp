// Extracting and testing gzip and compress files written by gzip, compress
// and tar, and hand-built members with every header field, hostile names,
// refused forms and damage; tars inside them unpacked or left alone.

#include "archive/formats/gzip/ungzip.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>

#include "base/checksum.h"
#include "tests/support/fakevolume.h"
#include "tests/support/listing.h"
#include "tests/support/readerrun.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Aim;
using vsktest::RandomBytes;
using vsktest::RawDeflate;
using vsktest::ReadFile;
using vsktest::Record;
using vsktest::RunInto;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::TextBytes;
using vsktest::WriteFile;

struct RunLog : vsktest::RunLog {
  std::vector<std::string> begun;  // OnBegin names
};

void Attach(TUnGZip& g, RunLog& r) {
  Record(g, r);
  g.OnBegin = [&r](TZipCommon&, const std::string& name, int, bool&) { r.begun.push_back(name); };
}

void Prepare(TUnGZip& g, RunLog& r, const fs::path& archive, const fs::path& dest) {
  Attach(g, r);
  Aim(g, archive, dest);
}

RunLog UnGz(const fs::path& archive, const fs::path& dest, bool test = false) {
  TUnGZip g;
  RunLog r;
  Prepare(g, r, archive, dest);
  RunInto(g, r, test);
  return r;
}

void PutLE(std::string& s, UInt32 v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A hand-built member: every field of the header can be chosen.
struct Member {
  Byte magic1 = 0x8B;
  Byte method = 8;
  Byte flags = 0;
  UInt32 mtime = 0;
  Byte xfl = 0;
  std::optional<std::string> extra, name, comment;
  bool headerCrc = false;
  bool badHeaderCrc = false;
  std::string payload;
  std::optional<UInt32> crc, isize;  // trailer values other than the true ones

  std::string Bytes() const {
    std::string s = "\x1F";
    s += static_cast<char>(magic1);
    s += static_cast<char>(method);
    Byte f = flags;
    if (extra) f |= 0x04;
    if (name) f |= 0x08;
    if (comment) f |= 0x10;
    if (headerCrc) f |= 0x02;
    s += static_cast<char>(f);
    PutLE(s, mtime, 4);
    s += static_cast<char>(xfl);
    s += '\x03';
    if (extra) {
      PutLE(s, static_cast<UInt32>(extra->size()), 2);
      s += *extra;
    }
    if (name) s += *name + '\0';
    if (comment) s += *comment + '\0';
    if (headerCrc) PutLE(s, (Crc32Of(s.data(), s.size()) & 0xFFFF) ^ (badHeaderCrc ? 1u : 0u), 2);
    s += RawDeflate(payload);
    PutLE(s, crc.value_or(Crc32Of(payload.data(), payload.size())), 4);
    PutLE(s, isize.value_or(static_cast<UInt32>(payload.size())), 4);
    return s;
  }
};

bool Gzip(const std::string& args, const fs::path& in, const fs::path& out) {
  return RunTool("gzip -c " + args + " " + ShellQuote(in.filename().string()) + " > " + ShellQuote(out.string()),
                 in.parent_path())
             .exitCode == 0;
}

// Sets a file's modification time (Unix seconds).
void SetMTime(const fs::path& p, time_t t) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

time_t MTimeOf(const fs::path& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

int FilesUnder(const fs::path& dir) {
  if (!fs::exists(dir)) return 0;
  int n = 0;
  for (auto& e : fs::recursive_directory_iterator(dir)) n += e.is_regular_file();
  return n;
}

constexpr time_t kStamp = 1614834367;  // 2021-03-04 05:06:07 UTC

// ---- gzip's own files

TEST(UnGZip, GzipLevelsAndNameFields) {
  TempDir dir;
  const std::string text = TextBytes(300000, 7);
  WriteFile(dir / "orig name.txt", text);
  SetMTime(dir / "orig name.txt", kStamp);
  for (const std::string level : {"-1", "-9"}) {
    for (const std::string names : {"-N", "-n"}) {
      const std::string tag = level + names;
      const auto arc = dir / ("renamed" + tag + ".dat.gz");
      ASSERT_TRUE(Gzip(level + " " + names, dir / "orig name.txt", arc));
      const auto out = dir / ("out" + tag);
      const auto r = UnGz(arc, out);
      EXPECT_EQ(r.result, 1) << tag << r.Describe();
      EXPECT_TRUE(r.errors.empty()) << tag << r.Describe();
      EXPECT_TRUE(r.AllPass()) << tag;
      // -N keeps the stored name and time; -n stores neither, so the name
      // comes from the archive and the date from the archive file.
      const fs::path expected = names == "-N" ? out / "orig name.txt" : out / ("renamed" + tag + ".dat");
      ASSERT_TRUE(fs::exists(expected)) << tag;
      EXPECT_TRUE(ReadFile(expected) == text) << tag;
      EXPECT_EQ(FilesUnder(out), 1) << tag;
      if (names == "-N")
        EXPECT_EQ(MTimeOf(expected), kStamp) << tag;
      else
        EXPECT_LE(std::abs(MTimeOf(expected) - MTimeOf(arc)), 2) << tag;

      const auto t = UnGz(arc, dir / "unused", true);
      EXPECT_EQ(t.result, 1) << tag;
      EXPECT_TRUE(t.errors.empty()) << tag << t.Describe();
      EXPECT_TRUE(t.AllPass()) << tag;
      EXPECT_FALSE(fs::exists(dir / "unused")) << tag;
    }
  }
}

TEST(UnGZip, EmptyAndLargeInputs) {
  TempDir dir;
  WriteFile(dir / "empty", "");
  ASSERT_TRUE(Gzip("", dir / "empty", dir / "empty.gz"));
  auto r = UnGz(dir / "empty.gz", dir / "o1");
  EXPECT_EQ(r.result, 1) << r.Describe();
  EXPECT_TRUE(r.AllPass());
  ASSERT_TRUE(fs::exists(dir / "o1/empty"));
  EXPECT_EQ(fs::file_size(dir / "o1/empty"), 0u);

  // Several megabytes: many output blocks, text and incompressible data.
  const std::string big = TextBytes(6 << 20, 3) + RandomBytes(3 << 20, 4);
  WriteFile(dir / "big.bin", big);
  for (const std::string level : {"-1", "-9"}) {
    const auto arc = dir / ("big" + level + ".gz");
    ASSERT_TRUE(Gzip(level, dir / "big.bin", arc));
    r = UnGz(arc, dir / ("o" + level));
    EXPECT_EQ(r.result, 1) << r.Describe();
    EXPECT_TRUE(r.errors.empty()) << r.Describe();
    EXPECT_TRUE(r.AllPass());
    EXPECT_TRUE(ReadFile(dir / ("o" + level) / "big.bin") == big) << level;
  }

  // An empty archive file is no gzip file.
  WriteFile(dir / "zero.gz", "");
  r = UnGz(dir / "zero.gz", dir / "o2");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.Count(25110), 1) << r.Describe();
  EXPECT_EQ(FilesUnder(dir / "o2"), 0);
}

TEST(UnGZip, ConcatenatedMembersComeOutAsOne) {
  TempDir dir;
  const std::string a = TextBytes(70000, 1), b = RandomBytes(90000, 2);
  WriteFile(dir / "a.txt", a);
  WriteFile(dir / "b.bin", b);
  WriteFile(dir / "c", "");
  // Every member stores its name, so a following member has optional fields.
  ASSERT_TRUE(Gzip("-N", dir / "a.txt", dir / "a.gz"));
  ASSERT_TRUE(Gzip("-N -9", dir / "b.bin", dir / "b.gz"));
  ASSERT_TRUE(Gzip("-n", dir / "c", dir / "c.gz"));
  const std::string joined = ReadFile(dir / "a.gz") + ReadFile(dir / "b.gz") + ReadFile(dir / "c.gz");
  WriteFile(dir / "all.gz", joined);
  // gzip itself agrees that this is one file.
  ASSERT_EQ(RunTool("gzip -t all.gz", dir.path()).exitCode, 0);

  auto r = UnGz(dir / "all.gz", dir / "o1");
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(r.errors.empty()) << r.Describe();
  EXPECT_TRUE(r.AllPass());
  EXPECT_TRUE(ReadFile(dir / "o1/a.txt") == a + b);
  auto t = UnGz(dir / "all.gz", dir / "unused", true);
  EXPECT_TRUE(t.AllPass());
  EXPECT_TRUE(t.errors.empty()) << t.Describe();

  // Zero padding after the last member, as on tapes, is no error.
  WriteFile(dir / "padded.gz", joined + std::string(3000, '\0'));
  r = UnGz(dir / "padded.gz", dir / "o2");
  EXPECT_TRUE(r.errors.empty()) << r.Describe();
  EXPECT_TRUE(r.AllPass());
  EXPECT_TRUE(ReadFile(dir / "o2/a.txt") == a + b);

  // Other bytes there are reported; the members' data stand.
  WriteFile(dir / "junk.gz", joined + "trailing junk");
  r = UnGz(dir / "junk.gz", dir / "o3");
  EXPECT_EQ(r.Count(25110), 1) << r.Describe();
  EXPECT_TRUE(r.AllPass());
  EXPECT_TRUE(ReadFile(dir / "o3/a.txt") == a + b);

  // A damaged second member fails the file; the first member's data came out.
  std::string bad = joined;
  const std::size_t second = ReadFile(dir / "a.gz").size();
  bad[second + ReadFile(dir / "b.gz").size() - 8] ^= 0x40;  // the second member's CRC
  WriteFile(dir / "bad.gz", bad);
  r = UnGz(dir / "bad.gz", dir / "o4");
  EXPECT_FALSE(r.verdicts.begin()->second);
  EXPECT_TRUE(ReadFile(dir / "o4/a.txt") == a + b);
}

TEST(UnGZip, DamageAndTruncationAreReported) {
  TempDir dir;
  const std::string text = TextBytes(1 << 20, 9);
  WriteFile(dir / "t.txt", text);
  ASSERT_TRUE(Gzip("-9 -n", dir / "t.txt", dir / "good.gz"));
  const std::string good = ReadFile(dir / "good.gz");

  struct Case {
    std::string name;
    std::string bytes;
    int expectedError;  // 0: the verdict alone tells
  };
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x10;
  std::string badCrc = good;
  badCrc[good.size() - 6] ^= 0x01;
  std::string badSize = good;
  badSize[good.size() - 3] ^= 0x01;
  const std::vector<Case> cases = {
      {"flipped", flipped, -1},  // an inflate error or only a CRC mismatch
      {"badcrc", badCrc, 0},
      {"badsize", badSize, 0},
      {"half", good.substr(0, good.size() / 2), 25236},
      {"notrailer", good.substr(0, good.size() - 3), 25236},
  };
  for (const auto& c : cases) {
    const auto arc = dir / (c.name + ".gz");
    WriteFile(arc, c.bytes);
    for (const bool test : {false, true}) {
      const auto out = dir / ("o-" + c.name);
      const auto r = UnGz(arc, out, test);
      ASSERT_EQ(r.verdicts.size(), 1u) << c.name << r.Describe();
      EXPECT_FALSE(r.verdicts.begin()->second) << c.name;
      EXPECT_EQ(r.result, 0) << c.name;  // a failed member does not count
      if (c.expectedError > 0) {
        EXPECT_EQ(r.Count(c.expectedError), 1) << c.name << r.Describe();
      } else if (c.expectedError == 0) {
        EXPECT_TRUE(r.errors.empty()) << c.name << r.Describe();
      }
      if (!test) {
        // What could be decoded is there, and nothing else.
        const std::string got = ReadFile(out / c.name);
        EXPECT_TRUE(text.compare(0, std::min(got.size(), std::size_t{1000}), got, 0,
                                 std::min(got.size(), std::size_t{1000})) == 0)
            << c.name;
        EXPECT_LE(got.size(), text.size()) << c.name;
      }
    }
  }
  // Without OnEnd the failed verdict is an error.
  TUnGZip g;
  RunLog r;
  Prepare(g, r, dir / "badcrc.gz", dir / "o-noend");
  g.OnEnd = nullptr;
  g.Extract();
  EXPECT_EQ(r.Count(25151), 1) << r.Describe();

  // A header cut short gives nothing at all.
  WriteFile(dir / "head.gz", good.substr(0, 6));
  const auto h = UnGz(dir / "head.gz", dir / "o-head");
  EXPECT_EQ(h.result, 0);
  EXPECT_EQ(h.Count(25236), 1) << h.Describe();
  EXPECT_EQ(FilesUnder(dir / "o-head"), 0);
}

// ---- names

TEST(UnGZip, OutputNameRules) {
  EXPECT_EQ(GzipOutputName("data.tgz", "x.gz", false, false), "data.tar");
  EXPECT_EQ(GzipOutputName("ARCHIVE.TGZ", "x.gz", false, false), "ARCHIVE.tar");
  EXPECT_EQ(GzipOutputName("data.tar", "data.tar.gz", true, false), "data.tar");
  EXPECT_EQ(GzipOutputName("notes", "notes.gz", true, false), "notes.txt");
  EXPECT_EQ(GzipOutputName("x.gz", "x.gz", false, false), "x");
  EXPECT_EQ(GzipOutputName("x.gz", "/some/where/X.GZ", false, false), "x");
  EXPECT_EQ(GzipOutputName("x.gz", "x.z", false, false), "x.gz");
  EXPECT_EQ(GzipOutputName("x.tar.Z", "x.tar.Z", false, false), "x.tar");
  EXPECT_EQ(GzipOutputName("a.b.tar", "a.gz", false, true), "a_b.tar");
  EXPECT_EQ(GzipOutputName("a.b.c", "a.gz", false, false), "a.b.c");
  // A dot in a folder is no extension.
  EXPECT_EQ(GzipOutputName("dir.gz/name", "x.gz", false, false), "dir.gz/name");
}

TEST(UnGZip, NamesFromHeaderAndArchive) {
  TempDir dir;
  const std::string payload = TextBytes(5000, 4);
  struct Case {
    std::string archive;
    Member member;
    std::string expected;
  };
  Member text;
  text.name = "notes";
  text.flags = 0x01;
  Member empty;
  empty.name = "";
  Member tgz;
  tgz.name = "Pack.TGZ";
  Member all;
  all.extra = std::string("AB\x02\x00xy", 6);
  all.name = "all fields.bin";
  all.comment = "a comment";
  all.headerCrc = true;
  all.mtime = static_cast<UInt32>(kStamp);
  Member nameless;
  Member oem;
  oem.name = "caf\x82.txt";  // CP437 e-acute
  const std::vector<Case> cases = {
      {"notes.gz", text, "notes.txt"},
      {"lone.gz", empty, "lone"},
      {"p.gz", tgz, "Pack.tar"},
      {"f.gz", all, "all fields.bin"},
      {"backup.tgz", nameless, "backup.tar"},
      {"plain.tar.gz", nameless, "plain.tar"},
      {"o.gz", oem, "caf\xC3\xA9.txt"},
  };
  for (auto c : cases) {
    c.member.payload = payload;
    WriteFile(dir / c.archive, c.member.Bytes());
    const auto out = dir / ("o-" + c.archive);
    const auto r = UnGz(dir / c.archive, out);
    EXPECT_EQ(r.result, 1) << c.archive << r.Describe();
    EXPECT_TRUE(r.errors.empty()) << c.archive << r.Describe();
    EXPECT_TRUE(r.AllPass()) << c.archive;
    ASSERT_TRUE(fs::exists(out / c.expected)) << c.archive;
    EXPECT_TRUE(ReadFile(out / c.expected) == payload) << c.archive;
    EXPECT_EQ(FilesUnder(out), 1) << c.archive;
    // The lister shows the member under the name it is extracted under.
    const auto listed = vsktest::ListArchive((dir / c.archive).string());
    ASSERT_EQ(listed.entries.size(), 1u) << c.archive;
    EXPECT_EQ(listed.entries[0].name, c.expected) << c.archive;
  }
  EXPECT_EQ(MTimeOf(dir / "o-f.gz/all fields.bin"), kStamp);

  // A header CRC that does not match is a bad header.
  Member bad = all;
  bad.badHeaderCrc = true;
  bad.payload = payload;
  WriteFile(dir / "badhcrc.gz", bad.Bytes());
  const auto r = UnGz(dir / "badhcrc.gz", dir / "o-bad");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.Count(25110), 1) << r.Describe();
  EXPECT_EQ(FilesUnder(dir / "o-bad"), 0);

  // Nothing is extracted for a name outside the masks.
  TUnGZip g;
  RunLog log;
  Prepare(g, log, dir / "notes.gz", dir / "o-mask");
  g.FileSpec = {"*.doc"};
  EXPECT_EQ(g.Extract(), 0);
  EXPECT_TRUE(log.begun.empty());
  EXPECT_FALSE(fs::exists(dir / "o-mask"));
}

TEST(UnGZip, HostileStoredNamesStayInside) {
  TempDir dir;
  const auto dest = dir / "a/b/dest";
  fs::create_directories(dest);
  fs::create_directories(dir / "outside");
  fs::create_directory_symlink(dir / "outside", dest / "link");
  struct Case {
    std::string name;
    std::string landed;  // below dest; empty when refused
  };
  const std::vector<Case> cases = {
      {"../../x", ""},
      {"..\\..\\y", ""},
      {"sub/../../../z", ""},
      {"/etc/passwd-gz", "etc/passwd-gz"},
      {"\\\\server\\share\\w", "w"},
      {"link/through", ""},
  };
  int i = 0;
  for (const auto& c : cases) {
    Member m;
    m.name = c.name;
    m.payload = "hostile " + c.name;
    const auto arc = dir / ("h" + std::to_string(i++) + ".gz");
    WriteFile(arc, m.Bytes());
    const auto r = UnGz(arc, dest);
    if (c.landed.empty()) {
      EXPECT_EQ(r.result, 0) << c.name;
      EXPECT_FALSE(r.errors.empty()) << c.name;
    } else {
      EXPECT_EQ(r.result, 1) << c.name << r.Describe();
      EXPECT_TRUE(ReadFile(dest / c.landed) == m.payload) << c.name;
    }
  }
  // Nothing reached a folder above the destination or behind the link.
  EXPECT_EQ(FilesUnder(dir / "outside"), 0);
  for (const auto& f : {"x", "y", "z", "a/x", "a/y", "a/z", "a/b/x", "a/b/y", "a/b/z"})
    EXPECT_FALSE(fs::exists(dir / f)) << f;
  EXPECT_EQ(FilesUnder(dir / "a"), 2);
}

TEST(UnGZip, VolumeOfFat16ReplacesInnerDots) {
  TempDir dir;
  vsktest::FakeVolumeService volume;
  volume.Info.FileSystem = "FAT16";
  volume.Type = DRIVE_FIXED;
  Member m;
  m.name = "a.b.tar";
  m.payload = "not a tar";
  WriteFile(dir / "v.gz", m.Bytes());
  const auto r = UnGz(dir / "v.gz", dir / "out");
  EXPECT_EQ(r.result, 1) << r.Describe();
  EXPECT_TRUE(fs::exists(dir / "out/a_b.tar"));
}

// ---- forms that are refused

TEST(UnGZip, RefusedFormsLeaveExistingFilesAlone) {
  TempDir dir;
  struct Case {
    std::string archive;
    std::string bytes;
    int code;
    std::string reportedFor;  // "archive" or "entry"
  };
  Member enc;
  enc.name = "data";
  enc.flags = 0x20;
  enc.payload = "secret";
  Member part;
  part.magic1 = 0x9E;
  part.flags = 0x02;
  part.name = "data";
  part.payload = "part";
  Member stored;
  stored.method = 0;
  stored.name = "data";
  stored.payload = "stored";
  const std::vector<Case> cases = {
      {"enc.gz", enc.Bytes(), 25290, "entry"},
      {"stored.gz", stored.Bytes(), 25326, "entry"},
      {"lzh.gz", std::string("\x1F\xA0 some packed bytes", 20), 25326, "archive"},
      {"pack.gz", std::string("\x1F\x1E some packed bytes", 20), 25326, "archive"},
  };
  // The multi-part form carries a part number before its optional fields,
  // which the member builder does not write: splice it in.
  std::string partBytes = part.Bytes();
  partBytes.insert(10, std::string("\x01\x00", 2));
  std::vector<Case> all = cases;
  all.push_back({"part.gz", partBytes, 25264, "entry"});
  for (const auto& c : all) {
    const auto out = dir / ("o-" + c.archive);
    fs::create_directories(out);
    const std::string keep = "existing file, kept";
    // The name such an archive would give.
    const std::string target = c.reportedFor == "entry" ? "data" : fs::path(c.archive).stem().string();
    WriteFile(out / target, keep);
    WriteFile(dir / c.archive, c.bytes);
    for (const bool test : {false, true}) {
      const auto r = UnGz(dir / c.archive, out, test);
      EXPECT_EQ(r.result, 0) << c.archive;
      ASSERT_EQ(r.Count(c.code), 1) << c.archive << r.Describe();
      EXPECT_EQ(r.errors.size(), 1u) << c.archive << r.Describe();
      const auto& e = r.reports.front();
      if (c.reportedFor == "archive")
        EXPECT_EQ(e.file, (dir / c.archive).string());
      else
        EXPECT_NE(e.file.find("data"), std::string::npos) << e.file;
      // The one verdict fails: the tester reports the entry failed.
      ASSERT_EQ(r.verdicts.size(), 1u) << c.archive;
      EXPECT_FALSE(r.verdicts.begin()->second) << c.archive;
    }
    EXPECT_EQ(ReadFile(out / target), keep) << c.archive;
  }
  // The 1F 9E form without the multi-part flag reads as gzip.
  Member old;
  old.magic1 = 0x9E;
  old.name = "old.txt";
  old.payload = TextBytes(3000, 5);
  WriteFile(dir / "old.gz", old.Bytes());
  const auto r = UnGz(dir / "old.gz", dir / "o-old");
  EXPECT_TRUE(r.AllPass()) << r.Describe();
  EXPECT_TRUE(ReadFile(dir / "o-old/old.txt") == old.payload);
}

TEST(UnGZip, TextTranslationFollowsTheExtraFlags) {
  TempDir dir;
  const std::string text = "one\ntwo\r\nthree\n";
  for (const Byte xfl : {Byte{0}, Byte{4}, Byte{2}}) {
    Member m;
    m.name = "t.txt";
    m.xfl = xfl;
    m.payload = text;
    const auto arc = dir / ("x" + std::to_string(xfl) + ".gz");
    WriteFile(arc, m.Bytes());
    TUnGZip g;
    RunLog r;
    Prepare(g, r, arc, dir / ("o" + std::to_string(xfl)));
    g.AsciiTranslation = true;
    EXPECT_EQ(g.Extract(), 1);
    EXPECT_TRUE(r.AllPass()) << r.Describe();
    EXPECT_TRUE(g.AsciiTranslation);
    const std::string got = ReadFile(dir / ("o" + std::to_string(xfl)) / "t.txt");
    EXPECT_EQ(got, xfl == 2 ? text : std::string("one\r\ntwo\r\nthree\r\n")) << int{xfl};
  }
}

// ---- compress files

TEST(UnGZip, CompressAtEveryCodeWidth) {
  TempDir dir;
  // Text long enough to fill every table, with noise between that makes
  // the writer clear its table at every width; and noise alone.
  const std::string text = TextBytes(1500000, 11) + RandomBytes(300000, 13) + TextBytes(1500000, 14);
  const std::string noise = RandomBytes(1000000, 12);
  WriteFile(dir / "text.txt", text);
  WriteFile(dir / "noise.bin", noise);
  // Not 9: what compress writes at that width it cannot read back itself.
  for (int bits = 10; bits <= 16; ++bits) {
    for (const std::string src : {"text.txt", "noise.bin"}) {
      const std::string arcName = src + "." + std::to_string(bits) + ".Z";
      ASSERT_EQ(RunTool("compress -c -b " + std::to_string(bits) + " " + src + " > " + ShellQuote(arcName),
                        dir.path())
                    .exitCode,
                0);
      // The name keeps all but the archive's own extension.
      const auto out = dir / ("o" + std::to_string(bits));
      const auto r = UnGz(dir / arcName, out);
      EXPECT_EQ(r.result, 1) << arcName << r.Describe();
      EXPECT_TRUE(r.errors.empty()) << arcName << r.Describe();
      EXPECT_TRUE(r.AllPass()) << arcName;
      const std::string got = ReadFile(out / (src + "." + std::to_string(bits)));
      EXPECT_TRUE(got == (src == "text.txt" ? text : noise)) << arcName << " " << got.size();
    }
  }
  // An empty file is its header alone.
  WriteFile(dir / "e", "");
  ASSERT_EQ(RunTool("compress -c e > e.Z", dir.path()).exitCode, 0);
  const auto r = UnGz(dir / "e.Z", dir / "oe");
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(r.AllPass());
  EXPECT_EQ(fs::file_size(dir / "oe/e"), 0u);
  const auto t = UnGz(dir / "text.txt.16.Z", dir / "unused", true);
  EXPECT_TRUE(t.AllPass());
  EXPECT_FALSE(fs::exists(dir / "unused"));
}

TEST(UnGZip, DamagedCompressFiles) {
  TempDir dir;
  // Short enough that the table never fills: a code of all ones is then
  // always beyond it.
  const std::string text = TextBytes(100000, 2);
  WriteFile(dir / "t", text);
  ASSERT_EQ(RunTool("compress -c -b 16 t > t.Z", dir.path()).exitCode, 0);
  const std::string good = ReadFile(dir / "t.Z");

  // Reserved bits in the flag byte end the run.
  std::string reserved = good;
  reserved[2] |= 0x20;
  WriteFile(dir / "reserved.Z", reserved);
  auto r = UnGz(dir / "reserved.Z", dir / "o1");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.Count(25139), 1) << r.Describe();
  // The entry cut off by the error still ends with a failed verdict.
  EXPECT_EQ(r.verdicts.size(), 1u);
  EXPECT_EQ(r.failures, 1);

  // A first code that is no byte value.
  std::string first = good;
  first[3] = '\xFF';
  first[4] = static_cast<char>(first[4] | 0x01);
  WriteFile(dir / "first.Z", first);
  r = UnGz(dir / "first.Z", dir / "o2");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.Count(25140), 1) << r.Describe();

  // Garbage in the middle: a code beyond the table, or wrong data that
  // nothing can tell from right ones (compress keeps no checksum).
  std::string middle = good;
  for (std::size_t i = good.size() / 2; i < good.size() / 2 + 64; ++i) middle[i] = '\xFF';
  WriteFile(dir / "middle.Z", middle);
  r = UnGz(dir / "middle.Z", dir / "o3");
  ASSERT_EQ(r.verdicts.size(), 1u);
  EXPECT_FALSE(r.verdicts.begin()->second);
  EXPECT_EQ(r.Count(25140), 1) << r.Describe();
  EXPECT_LT(fs::file_size(dir / "o3/middle"), text.size());

  // A cut file gives what it holds.
  WriteFile(dir / "cut.Z", good.substr(0, good.size() / 3));
  r = UnGz(dir / "cut.Z", dir / "o4");
  const std::string got = ReadFile(dir / "o4/cut");
  EXPECT_GT(got.size(), 0u);
  EXPECT_TRUE(text.compare(0, got.size(), got) == 0);
}

// ---- nested tar

struct NestedLog : RunLog {
  int asked = 0;
  std::string askedName;
  std::vector<std::pair<std::string, TArcType>> changes;
};

void AttachNested(TUnGZip& g, NestedLog& r, std::optional<bool> answer) {
  if (answer)
    g.OnNestedTarFile = [&r, a = *answer](TZipCommon&, const std::string& name, bool& doUnTar) {
      ++r.asked;
      r.askedName = name;
      EXPECT_FALSE(doUnTar);
      doUnTar = a;
    };
  g.OnChangeArchive = [&r](TZipCommon&, const std::string& name, TArcType t) { r.changes.push_back({name, t}); };
}

void MakeTree(const fs::path& root) {
  WriteFile(root / "src/readme.txt", TextBytes(40000, 1));
  WriteFile(root / "src/data.bin", RandomBytes(70000, 2));
  WriteFile(root / "src/sub/readme.txt", TextBytes(9000, 3));
}

void ExpectTree(const fs::path& from, const fs::path& to) {
  for (const auto& f : {"readme.txt", "data.bin", "sub/readme.txt"})
    EXPECT_TRUE(fs::exists(to / f) && ReadFile(to / f) == ReadFile(from / f)) << f;
}

TEST(UnGZip, NestedTarUnpackedWhenTheOwnerSaysYes) {
  TempDir dir;
  MakeTree(dir.path());
  ASSERT_EQ(RunTool("tar czf src.tgz src", dir.path()).exitCode, 0);
  TUnGZip g;
  NestedLog r;
  Prepare(g, r, dir / "src.tgz", dir / "out");
  AttachNested(g, r, true);
  EXPECT_EQ(g.Extract(), 3) << r.Describe();
  EXPECT_TRUE(r.errors.empty()) << r.Describe();
  EXPECT_EQ(r.asked, 1);
  EXPECT_EQ(r.askedName, "src.tar");
  // The tar's entries with their folders, beside the tar itself.
  ExpectTree(dir / "src", dir / "out/src");
  EXPECT_TRUE(fs::exists(dir / "out/src.tar"));
  EXPECT_EQ(g.ArcType(), atTar);
  ASSERT_EQ(r.changes.size(), 1u);
  EXPECT_EQ(r.changes[0].first, (dir / "out/src.tar").string());
  EXPECT_EQ(r.changes[0].second, atTar);
  // The verdicts are the tar entries', not the member's.
  EXPECT_EQ(r.verdicts.size(), 3u);
  EXPECT_TRUE(r.AllPass());
  EXPECT_EQ(r.verdicts.count((dir / "out/src.tar").string()), 0u);

  // The same through compress, and through a stored name.
  ASSERT_EQ(RunTool("tar cf pack.tar src && compress -c pack.tar > any.Z && gzip -N -c pack.tar > other.gz",
                    dir.path())
                .exitCode,
            0);
  for (const std::string arc : {"any.Z", "other.gz"}) {
    TUnGZip h;
    NestedLog l;
    Prepare(h, l, dir / arc, dir / ("out-" + arc));
    AttachNested(h, l, true);
    EXPECT_EQ(h.Extract(), 3) << arc << l.Describe();
    ExpectTree(dir / "src", dir / ("out-" + arc) / "src");
    EXPECT_EQ(l.asked, 1);
  }
}

// The program extracts the row the lister showed: that name selects the
// member, and the tar inside goes out whole whatever the masks said.
TEST(UnGZip, ListedRowOfATgzExtractsEveryTarEntry) {
  TempDir dir;
  MakeTree(dir.path());
  ASSERT_EQ(RunTool("tar cf - src | gzip -n > x.tgz", dir.path()).exitCode, 0);
  const auto listed = vsktest::ListArchive((dir / "x.tgz").string());
  ASSERT_EQ(listed.entries.size(), 1u);
  EXPECT_EQ(listed.entries[0].name, "x.tar");
  for (const bool test : {false, true}) {
    TUnGZip g;
    NestedLog r;
    Prepare(g, r, dir / "x.tgz", dir / "out");
    AttachNested(g, r, true);
    g.SetTempDir((dir / "temp").string());
    g.OnFileExists = [](TZipCommon&, const std::string&, std::string&, TOverwriteMode& m) { m = omOverwrite; };
    g.FileSpec = {listed.entries[0].name};
    EXPECT_EQ(test ? g.TestArchive() : g.Extract(), 3) << test << r.Describe();
    EXPECT_TRUE(r.errors.empty()) << r.Describe();
    EXPECT_EQ(r.verdicts.size(), 3u) << test;
    EXPECT_TRUE(r.AllPass());
    // A test writes no tar that could stand for the archive.
    EXPECT_EQ(r.changes.size(), test ? 0u : 1u) << test;
  }
  ExpectTree(dir / "src", dir / "out/src");
}

TEST(UnGZip, NestedTarLeftAloneWhenTheOwnerSaysNo) {
  TempDir dir;
  MakeTree(dir.path());
  ASSERT_EQ(RunTool("tar czf src.tar.gz src && tar cf src.tar src", dir.path()).exitCode, 0);
  TUnGZip g;
  NestedLog r;
  Prepare(g, r, dir / "src.tar.gz", dir / "out");
  AttachNested(g, r, false);
  EXPECT_EQ(g.Extract(), 1);
  EXPECT_EQ(r.asked, 1);
  EXPECT_TRUE(r.changes.empty());
  EXPECT_EQ(g.ArcType(), atGZip);
  EXPECT_TRUE(ReadFile(dir / "out/src.tar") == ReadFile(dir / "src.tar"));
  EXPECT_EQ(FilesUnder(dir / "out"), 1);
  EXPECT_TRUE(r.AllPass());

  // Nobody to ask: reported, and the tar stays packed.
  TUnGZip h;
  NestedLog l;
  Prepare(h, l, dir / "src.tar.gz", dir / "out2");
  EXPECT_EQ(h.Extract(), 1);
  ASSERT_EQ(l.Count(25270), 1) << l.Describe();
  EXPECT_EQ(l.reports[0].extended, "OnNestedTarFile");
  EXPECT_EQ(FilesUnder(dir / "out2"), 1);
}

// A test run reads the tar as it is decoded: nothing goes to the temp
// folder (one that cannot take a byte does not matter), a file of the tar's
// name there is not touched, nobody is asked about it, and every report
// names the tar's entries or the archive.
// The tar inside goes out as its owner was asked to: stored folders or
// not, the entries' dates or the time of writing, and existing files asked
// about through the owner's handler.
TEST(UnGZip, NestedTarExtractsAsItsOwnerWasAsked) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", TextBytes(3000, 4));
  WriteFile(dir / "src/sub/b.txt", TextBytes(2000, 5));
  ASSERT_EQ(RunTool("touch -d 2001-02-03T04:05:06 src/a.txt src/sub/b.txt && tar czf src.tgz src", dir.path()).exitCode,
            0);
  const auto stored = fs::last_write_time(dir / "src/sub/b.txt");
  {
    TUnGZip g;
    NestedLog r;
    Prepare(g, r, dir / "src.tgz", dir / "flat");
    AttachNested(g, r, true);
    g.UseStoredDirs = false;
    g.DateAttribute = daSysDate;
    EXPECT_EQ(g.Extract(), 2) << r.Describe();
    EXPECT_EQ(ReadFile(dir / "flat/a.txt"), ReadFile(dir / "src/a.txt"));
    EXPECT_EQ(ReadFile(dir / "flat/b.txt"), ReadFile(dir / "src/sub/b.txt"));
    EXPECT_FALSE(fs::exists(dir / "flat/src"));
    EXPECT_GT(fs::last_write_time(dir / "flat/b.txt") - stored, std::chrono::hours(24 * 365));
  }
  WriteFile(dir / "kept/src/a.txt", "mine");
  TUnGZip g;
  NestedLog r;
  Prepare(g, r, dir / "src.tgz", dir / "kept");
  AttachNested(g, r, true);
  g.DateAttribute = daFileDate;
  g.ConfirmOverwrites = true;
  std::vector<std::string> asked;
  g.OnFileExists = [&asked](TZipCommon&, const std::string& Name, std::string&, TOverwriteMode& Mode) {
    asked.push_back(Name);
    Mode = omSkip;
  };
  g.Extract();
  EXPECT_EQ(asked, std::vector<std::string>{(dir / "kept/src/a.txt").string()}) << r.Describe();
  EXPECT_EQ(ReadFile(dir / "kept/src/a.txt"), "mine");
  EXPECT_EQ(ReadFile(dir / "kept/src/sub/b.txt"), ReadFile(dir / "src/sub/b.txt"));
  const auto off = fs::last_write_time(dir / "kept/src/sub/b.txt") - stored;
  EXPECT_LT(std::chrono::abs(off), std::chrono::seconds(3));
}

TEST(UnGZip, NestedTarInATestRunIsReadAsAStream) {
  TempDir dir;
  MakeTree(dir.path());
  // Larger than what the stream keeps in memory, with a hard link whose
  // data were tested with its target.
  WriteFile(dir / "src/big.bin", RandomBytes(3 << 20, 4));
  fs::create_hard_link(dir / "src/data.bin", dir / "src/hard.bin");
  // compress says 2 when its output is no smaller, as random data make it.
  ASSERT_EQ(RunTool("tar czf src.tar.gz src && tar cf src.tar src && { compress -c src.tar > src.tar.Z; [ $? -le 2 ]; }",
                    dir.path())
                .exitCode,
            0);
  const auto temp = dir / "temp";
  fs::create_directories(temp);
  WriteFile(temp / "src.tar", "mine");
  for (const std::string arc : {"src.tar.gz", "src.tar.Z"}) {
    for (const bool badTemp : {false, true}) {
      SCOPED_TRACE(arc + (badTemp ? ", a temp folder that is a file" : ""));
      TUnGZip g;
      NestedLog r;
      Prepare(g, r, dir / arc, dir / "never");
      AttachNested(g, r, true);
      g.SetTempDir(badTemp ? (temp / "src.tar").string() : temp.string());
      int asked = 0;
      g.OnFileExists = [&asked](TZipCommon&, const std::string&, std::string&, TOverwriteMode&) { ++asked; };
      EXPECT_EQ(g.TestArchive(), 5) << r.Describe();
      EXPECT_TRUE(r.errors.empty()) << r.Describe();
      std::vector<std::string> names;
      for (const auto& [name, pass] : r.verdicts) names.push_back(name);
      EXPECT_EQ(names, (std::vector<std::string>{"src/big.bin", "src/data.bin", "src/hard.bin", "src/readme.txt",
                                                 "src/sub/readme.txt"}));
      EXPECT_TRUE(r.AllPass());
      EXPECT_EQ(asked, 0);
      EXPECT_TRUE(r.changes.empty());
      EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
      EXPECT_EQ(ReadFile(temp / "src.tar"), "mine");
      EXPECT_FALSE(fs::exists(dir / "never"));
    }
  }
  // Damage inside the data: the member's own check fails, and names the
  // member, never a scratch file.
  std::string gz = ReadFile(dir / "src.tar.gz");
  gz[gz.size() / 2] ^= 0x55;
  WriteFile(dir / "bad.tar.gz", gz);
  TUnGZip g;
  NestedLog r;
  Prepare(g, r, dir / "bad.tar.gz", dir / "never");
  AttachNested(g, r, true);
  g.SetTempDir(temp.string());
  g.TestArchive();
  EXPECT_FALSE(r.errors.empty());
  for (const auto& e : r.reports) EXPECT_TRUE(e.file == "bad.tar" || e.file.rfind("src/", 0) == 0) << e.file;
  EXPECT_EQ(r.Count(25151), 1) << r.Describe();
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
}

TEST(UnGZip, OneTarHeaderAloneIsNoNestedTar) {
  TempDir dir;
  WriteFile(dir / "f", "");
  ASSERT_EQ(RunTool("tar cf one.tar f", dir.path()).exitCode, 0);
  const std::string header = ReadFile(dir / "one.tar").substr(0, 512);
  ASSERT_TRUE(IsValidTarHeader(reinterpret_cast<const Byte*>(header.data())));
  Member m;
  m.name = "one.tar";
  m.payload = header;
  WriteFile(dir / "h.gz", m.Bytes());
  TUnGZip g;
  NestedLog r;
  Prepare(g, r, dir / "h.gz", dir / "out");
  AttachNested(g, r, true);
  EXPECT_EQ(g.Extract(), 1);
  EXPECT_EQ(r.asked, 0);
  // One byte more and it is asked about.
  m.payload = header + std::string(1, '\0');
  WriteFile(dir / "h2.gz", m.Bytes());
  TUnGZip h;
  NestedLog l;
  Prepare(h, l, dir / "h2.gz", dir / "out2");
  AttachNested(h, l, true);
  h.Extract();
  EXPECT_EQ(l.asked, 1);
}

TEST(UnGZip, CancelStopsTheRun) {
  TempDir dir;
  WriteFile(dir / "big", TextBytes(4 << 20, 6));
  ASSERT_TRUE(Gzip("-1", dir / "big", dir / "big.gz"));
  TUnGZip g;
  RunLog r;
  Prepare(g, r, dir / "big.gz", dir / "out");
  int calls = 0;
  g.OnProgress = [&](TZipCommon& s, Byte, Byte) {
    if (++calls == 3) s.SetCancel(true);
  };
  g.Extract();
  EXPECT_GE(r.Count(25443), 1) << r.Describe();
  for (auto& [n, pass] : r.verdicts) EXPECT_FALSE(pass);
  EXPECT_FALSE(fs::exists(dir / "out/big"));
}

}  // namespace
}  // namespace vsk
