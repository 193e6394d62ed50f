// The gzip writer: every member gzip accepts and restores byte for byte;
// output names follow the Extension rule; an existing output is asked for,
// and a failed or cancelled member leaves it as it was.

#include "archive/formats/gzip/gzipwriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <random>
#include <zlib.h>

#include "base/dates.h"
#include "archive/codecs/blockdeflate.h"
#include "archive/formats/gzip/ungzip.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

using vsk::Byte;
using vsk::TGZip;

void SetMTime(const fs::path& p, time_t t) {
  struct timespec ts[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), ts, 0), 0) << p;
}

time_t MTimeOf(const fs::path& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? st.st_mtime : -1;
}

vsk::UInt32 LE32(const std::string& s, std::size_t at) {
  return static_cast<vsk::UInt32>(static_cast<Byte>(s[at])) | static_cast<vsk::UInt32>(static_cast<Byte>(s[at + 1])) << 8 |
         static_cast<vsk::UInt32>(static_cast<Byte>(s[at + 2])) << 16 |
         static_cast<vsk::UInt32>(static_cast<Byte>(s[at + 3])) << 24;
}

// A gzip writer whose errors and events are kept.
struct GzWriter {
  TGZip g;
  std::vector<int> errors;
  std::vector<std::string> errorFiles;
  std::vector<std::pair<std::string, bool>> ended;
  explicit GzWriter(const fs::path& archive) {
    g.SetArchiveFile(archive.string());
    g.OnError = [this](vsk::TZipCommon&, const std::string& f, const std::string&, const std::string&, int c) {
      errors.push_back(c);
      errorFiles.push_back(f);
    };
    g.OnEnd = [this](vsk::TZipCommon&, const std::string& f, bool pass) { ended.emplace_back(f, pass); };
  }
  int Run(const std::vector<std::string>& spec, vsk::TSwitch sw = vsk::swAdd) {
    g.FileSpec = spec;
    g.Switch = sw;
    return g.Compress();
  }
  bool HasError(int code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
};

std::string Gunzip(const fs::path& gz) {
  const auto r = RunTool("gzip -dc " + ShellQuote(gz.string()));
  EXPECT_EQ(r.exitCode, 0) << gz;
  return r.output;
}

void ExpectGzipTest(const fs::path& gz) {
  const auto r = RunTool("gzip -t " + ShellQuote(gz.string()));
  EXPECT_EQ(r.exitCode, 0) << gz << ": " << r.output;
}

std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".tmp") out.push_back(e.path().string());
  return out;
}

class GZipWriterTest : public ::testing::Test {
 protected:
  IsolatedEnvironment env;
  TempDir tmp;
  fs::path src = tmp / "src";
  fs::path out = tmp / "out";
  void SetUp() override {
    fs::create_directories(src);
    fs::create_directories(out);
  }
};

TEST_F(GZipWriterTest, EveryMemberIsRestoredExactlyByGzip) {
  ASSERT_TRUE(HaveTool("gzip")) << "gzip missing";
  const std::map<std::string, std::string> files = {
      {"empty.dat", ""},
      {"one.bin", "1"},
      {"b512.bin", RandomBytes(512, 1)},
      {"b513.bin", RandomBytes(513, 2)},
      {"random.bin", RandomBytes(4 * 1024 * 1024 + 3, 3)},
      {"text.txt", TextBytes(3 * 1024 * 1024, 4)},
      {"Gr\xC3\xBC\xC3\x9F" "e.txt", "utf-8\n"},
  };
  time_t t = 1600000001;
  for (const auto& [name, data] : files) {
    WriteFile(src / name, data);
    SetMTime(src / name, t++);
  }
  GzWriter w(out / "x.gz");
  std::vector<std::string> read;
  w.g.OnRead = [&](vsk::TZipCommon& s, vsk::Int64 offset, int num) {
    auto& g = static_cast<TGZip&>(s);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(num, 1);
    EXPECT_EQ(g.MethodText, "DeflateN");
    EXPECT_EQ(g.MethodNumber, 8);
    read.push_back(g.FileName);
    EXPECT_EQ(static_cast<vsk::Int64>(fs::file_size(out / g.FileName)), g.PackedSize);
  };
  EXPECT_EQ(w.Run({(src / "*").string()}), static_cast<int>(files.size()));
  EXPECT_TRUE(w.errors.empty());
  EXPECT_EQ(read.size(), files.size());
  t = 1600000001;
  for (const auto& [name, data] : files) {
    const fs::path gz = out / (name.substr(0, name.rfind('.')) + ".gz");
    ASSERT_TRUE(fs::exists(gz)) << gz;
    ExpectGzipTest(gz);
    EXPECT_EQ(Gunzip(gz), data) << name;
    const std::string m = ReadFile(gz);
    EXPECT_EQ(m.substr(0, 4), std::string("\x1F\x8B\x08\x08", 4));
    EXPECT_EQ(LE32(m, 4), static_cast<vsk::UInt32>(t)) << "MTIME is the input's date";
    EXPECT_EQ(m[8], 0);
    EXPECT_EQ(m[9], 0);
    EXPECT_EQ(m.substr(10, name.size() + 1), name + '\0');
    EXPECT_EQ(LE32(m, m.size() - 8), crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    EXPECT_EQ(LE32(m, m.size() - 4), static_cast<vsk::UInt32>(data.size()));
    EXPECT_EQ(MTimeOf(gz), t) << "the output carries the member's date";
    ++t;
  }
  // gzip restores the stored name and time.
  const auto r = RunTool("cd " + ShellQuote(out.string()) + " && LC_ALL=C.UTF-8 gzip -dN text.gz");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ReadFile(out / "text.txt"), files.at("text.txt"));
  EXPECT_EQ(MTimeOf(out / "text.txt"), 1600000001 + 6);
}

// Lines that recur within the deflate window, as in logs: a block that
// started without the previous block's end as its dictionary would lose
// several percent.
std::string RecurringLines(std::size_t n, std::uint32_t seed) {
  std::vector<std::string> lines;
  for (std::uint32_t i = 0; i < 300; ++i) lines.push_back(TextBytes(60, seed + i) + "\n");
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += lines[rng() % lines.size()];
  s.resize(n);
  return s;
}

// Large inputs are deflated in blocks on the workers and joined into one
// member; at one thread, or below two blocks, the member is one serial
// stream as zlib makes it.
TEST_F(GZipWriterTest, BlockMembersRestoreAtEverySizeAndThreadCountOneStaysSerial) {
  ASSERT_TRUE(HaveTool("gzip")) << "gzip missing";
  constexpr std::size_t kBlock = vsk::kDeflateBlockSize;
  const std::map<std::string, std::string> files = {
      {"empty", ""},
      {"one", "1"},
      {"block", TextBytes(kBlock, 11)},
      {"blockplus", TextBytes(kBlock + 1, 12)},
      {"fourblocks", TextBytes(4 * kBlock, 13)},
      {"many", RecurringLines(11 * kBlock + 777, 14)},
      {"random", RandomBytes(3 * kBlock + 5, 15)},
  };
  for (const auto& [name, data] : files) WriteFile(src / (name + ".bin"), data);
  std::map<int, fs::path> made;
  for (int threads : {1, 4}) {
    made[threads] = tmp / ("t" + std::to_string(threads));
    fs::create_directories(made[threads]);
    GzWriter w(made[threads] / "x.gz");
    w.g.ThreadCount = threads;
    ASSERT_EQ(w.Run({(src / "*.bin").string()}), static_cast<int>(files.size()));
    EXPECT_TRUE(w.errors.empty());
  }
  for (const auto& [name, data] : files) {
    SCOPED_TRACE(name);
    const fs::path gz = made[4] / (name + ".gz");
    ExpectGzipTest(gz);
    EXPECT_EQ(Gunzip(gz), data);
    const RunLog log = RunReader<vsk::TUnGZip>(gz, tmp / "ours" / name, RunOptions{}, [](vsk::TUnGZip&) {});
    EXPECT_EQ(log.result, 1) << log.Describe();
    EXPECT_EQ(ReadFile(tmp / "ours" / name / (name + ".bin")), data);

    const std::string serial = ReadFile(made[1] / (name + ".gz"));
    const std::string parallel = ReadFile(gz);
    const std::size_t head = 10 + name.size() + 5;
    EXPECT_EQ(serial.substr(head, serial.size() - head - 8), RawDeflate(data)) << "one zlib stream";
    EXPECT_EQ(parallel.substr(parallel.size() - 8), serial.substr(serial.size() - 8)) << "same CRC-32 and size";
    if (data.size() > kBlock) {
      EXPECT_NE(parallel, serial) << "made in blocks";
      if (name != "random") {
        EXPECT_LE(static_cast<double>(parallel.size()), static_cast<double>(serial.size()) * 1.005);
      }
    } else {
      EXPECT_EQ(parallel, serial) << "small inputs stay serial";
    }
  }
}

TEST_F(GZipWriterTest, DeflateTypesAllGiveDeflateStreams) {
  const std::string data = TextBytes(300000, 7);
  WriteFile(src / "a.txt", data);
  std::map<vsk::TDeflateType, std::size_t> sizes;
  for (auto type : {vsk::dtDeflateS, vsk::dtDeflateF, vsk::dtDeflateN, vsk::dtDeflateX}) {
    fs::remove(out / "a.gz");
    GzWriter w(out / "a.gz");
    w.g.DeflateType = type;
    ASSERT_EQ(w.Run({(src / "a.txt").string()}), 1);
    ExpectGzipTest(out / "a.gz");
    EXPECT_EQ(Gunzip(out / "a.gz"), data);
    sizes[type] = fs::file_size(out / "a.gz");
  }
  EXPECT_GT(sizes[vsk::dtDeflateS], data.size()) << "an input that does not shrink is still deflated";
  EXPECT_LT(sizes[vsk::dtDeflateN], sizes[vsk::dtDeflateF]);
  EXPECT_LE(sizes[vsk::dtDeflateX], sizes[vsk::dtDeflateN]);
}

TEST_F(GZipWriterTest, OutputNamesFollowTheExtensionRule) {
  WriteFile(src / "readme.txt", "r");
  WriteFile(src / "archive", "a");
  WriteFile(src / "data.bin", "d");
  WriteFile(src / ".profile", "p");
  {
    GzWriter w(out / "any.gz");
    EXPECT_EQ(w.g.Extension, vsk::exAppendGZ);
    EXPECT_EQ(w.Run({(src / "readme.txt").string(), (src / "archive").string(), (src / ".profile").string()}), 3);
    EXPECT_TRUE(fs::exists(out / "readme.gz"));
    EXPECT_TRUE(fs::exists(out / "archive.gz"));
    EXPECT_TRUE(fs::exists(out / ".profile.gz"));
  }
  {
    GzWriter w(out / "any.gz");
    w.g.Extension = vsk::exUnderScore;
    EXPECT_EQ(w.Run({(src / "readme.txt").string()}), 1);
    EXPECT_TRUE(fs::exists(out / "readme.tx_"));
  }
  {
    // exNone: in another folder the name stays, beside the input it cannot.
    GzWriter w(out / "any.gz");
    w.g.Extension = vsk::exNone;
    EXPECT_EQ(w.Run({(src / "data.bin").string()}), 1);
    EXPECT_EQ(Gunzip(out / "data.bin"), "d");
    GzWriter b(src / "any.gz");
    b.g.Extension = vsk::exNone;
    EXPECT_EQ(b.Run({(src / "data.bin").string()}), 1);
    EXPECT_EQ(Gunzip(src / "data.gz"), "d");
    EXPECT_EQ(ReadFile(src / "data.bin"), "d");
  }
  {
    // DefaultDir is the output folder; the archive name gets ".gz" when it
    // has no extension.
    GzWriter w(tmp / "noext");
    EXPECT_EQ(w.g.ArchiveFile(), (tmp / "noext.gz").string());
    fs::create_directories(tmp / "dd");
    w.g.DefaultDir = (tmp / "dd").string();
    EXPECT_EQ(w.Run({(src / "readme.txt").string()}), 1);
    EXPECT_TRUE(fs::exists(tmp / "dd" / "readme.gz"));
    EXPECT_FALSE(fs::exists(tmp / "noext.gz"));
  }
}

TEST_F(GZipWriterTest, AnExistingOutputIsAskedFor) {
  WriteFile(src / "a.txt", "new a");
  WriteFile(src / "b.txt", "new b");
  WriteFile(src / "c.txt", "new c");
  SetMTime(src / "a.txt", 1500000000);
  WriteFile(out / "a.gz", "old a");
  WriteFile(out / "b.gz", "old b");

  // No handler: reported, and the job ends there.
  {
    GzWriter w(out / "x.gz");
    EXPECT_TRUE(w.g.ConfirmOverwrites);
    EXPECT_EQ(w.Run({(src / "*.txt").string()}), 0);
    EXPECT_TRUE(w.HasError(vsk::msg::RequiredEventNotAssigned));
    EXPECT_EQ(ReadFile(out / "a.gz"), "old a");
    EXPECT_FALSE(fs::exists(out / "c.gz"));
  }
  // Skip a, overwrite b; c does not exist and is written whatever the
  // last answer was.
  {
    GzWriter w(out / "x.gz");
    std::vector<std::string> asked;
    w.g.OnFileExists = [&](vsk::TZipCommon&, const std::string& name, vsk::TDateTime date, vsk::TOverwriteMode& m) {
      asked.push_back(name);
      if (name == (out / "a.gz").string()) {
        EXPECT_NEAR(date, vsk::UnixTimeToDateTime(1500000000), 1e-6) << "the input's date";
        m = vsk::omSkip;
      } else {
        m = vsk::omOverwrite;
      }
    };
    EXPECT_EQ(w.Run({(src / "a.txt").string(), (src / "b.txt").string(), (src / "c.txt").string()}), 2);
    EXPECT_EQ(asked, (std::vector<std::string>{(out / "a.gz").string(), (out / "b.gz").string()}));
    EXPECT_EQ(ReadFile(out / "a.gz"), "old a");
    EXPECT_EQ(Gunzip(out / "b.gz"), "new b");
    EXPECT_EQ(Gunzip(out / "c.gz"), "new c");
    // A skipped file passes, written ones pass.
    EXPECT_EQ(w.ended.size(), 3u);
    for (const auto& [name, pass] : w.ended) EXPECT_TRUE(pass) << name;
    // The replaced output went to the trash (DeleteOptions doAllowUndo).
    bool trashed = false;
    for (auto it = fs::recursive_directory_iterator(env.root()); it != fs::recursive_directory_iterator(); ++it)
      if (it->path().filename() == "b.gz" && ReadFile(it->path()) == "old b") trashed = true;
    EXPECT_TRUE(trashed);
  }
  // Ignore from the handler: no more questions this run; the setting comes back.
  {
    WriteFile(out / "a.gz", "old a");
    GzWriter w(out / "x.gz");
    w.g.OverwriteMode = vsk::omSkip;
    int asked = 0;
    w.g.OnFileExists = [&](vsk::TZipCommon& s, const std::string&, vsk::TDateTime, vsk::TOverwriteMode& m) {
      ++asked;
      m = vsk::omOverwrite;
      s.ConfirmOverwrites = false;
    };
    EXPECT_EQ(w.Run({(src / "*.txt").string()}), 3);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(w.g.ConfirmOverwrites);
    EXPECT_EQ(Gunzip(out / "a.gz"), "new a");
  }
  // ConfirmOverwrites off: overwritten without a question.
  {
    WriteFile(out / "a.gz", "old a");
    GzWriter w(out / "x.gz");
    w.g.ConfirmOverwrites = false;
    w.g.OverwriteMode = vsk::omSkip;
    EXPECT_EQ(w.Run({(src / "a.txt").string()}), 1);
    EXPECT_EQ(Gunzip(out / "a.gz"), "new a");
  }
  // A read-only output needs consent.
  {
    WriteFile(out / "a.gz", "old a");
    fs::permissions(out / "a.gz", fs::perms::owner_read);
    GzWriter w(out / "x.gz");
    w.g.ConfirmOverwrites = false;
    EXPECT_EQ(w.Run({(src / "a.txt").string()}), 0);
    EXPECT_TRUE(w.HasError(vsk::msg::RequiredEventNotAssigned));
    bool consent = false;
    w.g.OnNonWriteableArchive = [&](vsk::TZipCommon&, const std::string& name, bool& write) {
      EXPECT_EQ(name, (out / "a.gz").string());
      consent = true;
      write = true;
    };
    EXPECT_EQ(w.Run({(src / "a.txt").string()}), 1);
    EXPECT_TRUE(consent);
    EXPECT_EQ(Gunzip(out / "a.gz"), "new a");
  }
}

TEST_F(GZipWriterTest, ACancelledMemberLeavesTheOutputAsItWas) {
  WriteFile(src / "big.txt", TextBytes(5 * 1024 * 1024, 9));
  for (int threads : {1, 4}) {
    SCOPED_TRACE(threads);
    WriteFile(out / "big.gz", "the old output");
    GzWriter w(out / "x.gz");
    w.g.ThreadCount = threads;
    w.g.ConfirmOverwrites = false;
    w.g.OnProgress = [](vsk::TZipCommon& s, Byte, Byte) { s.SetCancel(true); };
    EXPECT_EQ(w.Run({(src / "big.txt").string()}, vsk::swMove), 0);
    EXPECT_TRUE(w.HasError(vsk::msg::UserCanceled));
    EXPECT_EQ(ReadFile(out / "big.gz"), "the old output");
    EXPECT_TRUE(fs::exists(src / "big.txt")) << "a move deletes nothing it did not finish";
    EXPECT_TRUE(Leftovers(out).empty());
  }

  // Cancelled from OnBegin: nothing is written at all.
  GzWriter b(out / "x.gz");
  b.g.OnBegin = [](vsk::TZipCommon& s, const std::string&, int, bool&) { s.SetCancel(true); };
  WriteFile(src / "other.txt", "o");
  EXPECT_EQ(b.Run({(src / "other.txt").string()}), 0);
  EXPECT_FALSE(fs::exists(out / "other.gz"));
}

TEST_F(GZipWriterTest, MoveDeleteAndSelfRules) {
  WriteFile(src / "a.txt", "move me");
  WriteFile(src / "b.gz", "already a gzip name");
  GzWriter w(src / "x.gz");
  w.g.DeleteOptions = vsk::doFinal;
  EXPECT_EQ(w.Run({(src / "a.txt").string()}, vsk::swMove), 1);
  EXPECT_FALSE(fs::exists(src / "a.txt"));
  EXPECT_EQ(Gunzip(src / "a.gz"), "move me");

  // b.gz would be compressed over itself: refused, the input stays.
  GzWriter s(src / "x.gz");
  s.g.ConfirmOverwrites = false;
  EXPECT_EQ(s.Run({(src / "b.gz").string()}, vsk::swMove), 0);
  EXPECT_TRUE(s.HasError(vsk::msg::SameInputOutput));
  EXPECT_EQ(ReadFile(src / "b.gz"), "already a gzip name");
  ASSERT_EQ(s.ended.size(), 1u);
  EXPECT_FALSE(s.ended[0].second);

  // A hard link is the same file under another name.
  WriteFile(src / "c.txt", "linked");
  fs::create_hard_link(src / "c.txt", src / "c.gz");
  EXPECT_EQ(s.Run({(src / "c.txt").string()}), 0);
  EXPECT_EQ(ReadFile(src / "c.txt"), "linked");

  GzWriter d(src / "x.gz");
  EXPECT_EQ(d.Run({(src / "*").string()}, vsk::swDelete), 0);
  EXPECT_TRUE(d.HasError(vsk::msg::UnsupportedArcType));
  EXPECT_EQ(d.Run({}, vsk::swAdd), 0);
  EXPECT_TRUE(d.ended.empty());
}

TEST_F(GZipWriterTest, AnOutputThatCannotBePlacedIsReportedAndTheJobGoesOn) {
  // 254 characters without an extension: the input is a valid name, the
  // output one with ".gz" is too long for the file system.
  const std::string longName(254, 'n');
  WriteFile(src / longName, "too long");
  WriteFile(src / "short.txt", "fine");
  GzWriter w(out / "x.gz");
  EXPECT_EQ(w.Run({(src / longName).string(), (src / "short.txt").string()}), 1);
  EXPECT_TRUE(w.HasError(vsk::msg::ErrorWritingToFile));
  ASSERT_EQ(w.ended.size(), 2u);
  EXPECT_FALSE(w.ended[0].second);
  EXPECT_TRUE(w.ended[1].second);
  EXPECT_EQ(Gunzip(out / "short.gz"), "fine");
  EXPECT_TRUE(Leftovers(out).empty());
}

TEST_F(GZipWriterTest, DateAttributeChoosesTheMemberTime) {
  WriteFile(src / "old.txt", "o");
  WriteFile(src / "new.txt", "n");
  SetMTime(src / "old.txt", 1400000000);
  SetMTime(src / "new.txt", 1700000000);
  GzWriter w(out / "x.gz");
  w.g.DateAttribute = vsk::daMaxFileDate;
  EXPECT_EQ(w.Run({(src / "*.txt").string()}), 2);
  const vsk::UInt32 newest = LE32(ReadFile(out / "new.gz"), 4);
  EXPECT_EQ(LE32(ReadFile(out / "old.gz"), 4), newest);
  EXPECT_LE(std::abs(static_cast<long>(newest) - 1700000000L), 2L) << "the newest date, to the DOS two seconds";

  fs::remove(out / "old.gz");
  w.g.DateAttribute = vsk::daSysDate;
  const time_t before = time(nullptr);
  EXPECT_EQ(w.Run({(src / "old.txt").string()}), 1);
  EXPECT_GE(static_cast<time_t>(LE32(ReadFile(out / "old.gz"), 4)), before);
}

}  // namespace
}  // namespace vsktest
