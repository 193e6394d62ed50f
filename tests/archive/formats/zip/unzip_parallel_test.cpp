// Extracting with several threads gives the files and the event log of the
// serial run: same events in the same order, same verdicts, same counts.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/formats/zip/unzip.h"
#include "archive/formats/zip/unzipahead.h"
#include "tests/archive/formats/zip/zipbuilder.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

// Every event of a run, in order, with the destination folder written as "@".
struct EventLog {
  std::vector<std::string> lines;
  std::string dest;
  std::string Rel(const std::string& name) const {
    return name.rfind(dest, 0) == 0 ? "@" + name.substr(dest.size()) : name;
  }
  void Add(const std::string& s) { lines.push_back(s); }
};

// Further events or options of a run.
using Extra = std::function<void(TUnZip&, EventLog&)>;

// Files, contents, dates and modes below Root.
std::vector<std::string> Snapshot(const fs::path& root) {
  std::vector<std::string> out;
  if (!fs::exists(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    struct stat st;
    lstat(e.path().c_str(), &st);
    std::string line = fs::relative(e.path(), root).string() + " " + std::to_string(st.st_mode);
    if (S_ISREG(st.st_mode))
      line += " " + std::to_string(st.st_mtime) + " " + std::to_string(std::hash<std::string>{}(ReadFile(e.path())));
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

EventLog Extract(const std::string& archive, const fs::path& dest, int threads, const Extra& extra = {}) {
  EventLog log;
  TUnZip z;
  z.ThreadCount = threads;
  z.SetArchiveFile(archive);
  z.SetExtractDir(dest.string());
  log.dest = z.ExtractDir();
  z.FileSpec = {"*.*"};
  z.CreateStoredDirs = true;
  z.OnBegin = [&](TZipCommon&, const std::string& f, int n, bool&) {
    log.Add("begin " + log.Rel(f) + " " + std::to_string(n));
  };
  z.OnEnd = [&](TZipCommon&, const std::string& f, bool pass) { log.Add("end " + log.Rel(f) + " " + std::to_string(pass)); };
  z.OnError = [&](TZipCommon&, const std::string& f, const std::string& x, const std::string&, int code) {
    log.Add("error " + std::to_string(code) + " " + log.Rel(f) + " " + x);
  };
  z.OnProgress = [&](TZipCommon&, Byte file, Byte arc) {
    log.Add("progress " + std::to_string(file) + " " + std::to_string(arc));
  };
  if (extra) extra(z, log);
  log.Add("result " + std::to_string(z.Extract()));
  return log;
}

// Runs the archive serially and with four threads into the same folder,
// which starts out as Prepare leaves it, and compares logs and trees.
void ExpectSameAsSerial(const std::string& archive, const fs::path& dest, const Extra& extra = {},
                        const std::function<void()>& prepare = {}) {
  fs::remove_all(dest);
  if (prepare) prepare();
  const EventLog serial = Extract(archive, dest, 1, extra);
  const auto serialTree = Snapshot(dest);
  fs::remove_all(dest);
  if (prepare) prepare();
  const EventLog parallel = Extract(archive, dest, 4, extra);
  EXPECT_EQ(parallel.lines, serial.lines) << archive;
  EXPECT_EQ(Snapshot(dest), serialTree) << archive;
}

std::string Zip(const fs::path& dir, const std::string& name, const std::string& args) {
  const auto arc = (dir / name).string();
  const auto r = RunTool("zip -q " + args + " " + ShellQuote(arc) + " src", dir);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return arc;
}

TEST(UnZipParallel, ArchivesOfZipGiveTheSerialFilesAndEvents) {
  TempDir dir;
  const fs::path src = dir / "src";
  for (int i = 0; i < 300; ++i)
    WriteFile(src / ("small" + std::to_string(i % 7)) / ("f" + std::to_string(i) + (i % 3 ? ".txt" : ".bin")),
              i % 3 ? vsktest::TextBytes(100 + i * 37, i) : vsktest::RandomBytes(50 + i * 11, i));
  WriteFile(src / "big/text.txt", vsktest::TextBytes(6 << 20, 1));
  WriteFile(src / "big/random.bin", vsktest::RandomBytes(3 << 20, 2));
  WriteFile(src / "big/huge.txt", vsktest::TextBytes(20 << 20, 3));  // beyond what is held in memory
  WriteFile(src / "empty.txt", "");
  fs::create_directories(src / "folder/empty");
  for (int i = 0; i < 300; i += 50)
    fs::last_write_time(src / ("small" + std::to_string(i % 7)) / ("f" + std::to_string(i) + (i % 3 ? ".txt" : ".bin")),
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * (i + 1)));
  // Deflated, and stored for .bin files.
  const auto mixed = Zip(dir.path(), "mixed.zip", "-r -n .bin");
  ExpectSameAsSerial(mixed, dir / "out");
  EXPECT_EQ(ReadFile(dir / "out/src/big/text.txt"), ReadFile(src / "big/text.txt"));
  EXPECT_EQ(ReadFile(dir / "out/src/small3/f10.txt"), ReadFile(src / "small3/f10.txt"));
  // The workers date the files they write as the run would: here each by the
  // newest entry's date.
  ExpectSameAsSerial(mixed, dir / "out", [](TUnZip& z, EventLog&) { z.DateAttribute = daMaxFileDate; });

  // Entries whose folders come and go in any order land each in its own.
  const std::vector<std::string> scattered = {"a/b/1.txt", "a/c/2.txt", "a/b/3.txt", "a/b/d/4.txt",
                                              "e/5.txt",   "a/6.txt",   "a/b/d/7.txt", "a/c/8.txt"};
  std::vector<vsktest::ZipEntrySpec> specs;
  for (const auto& name : scattered) specs.push_back({name, vsktest::TextBytes(5000, static_cast<std::uint32_t>(name.size() + name[2]))});
  WriteFile(dir / "scattered.zip", vsktest::BuildZip(specs));
  ExpectSameAsSerial((dir / "scattered.zip").string(), dir / "out");
  for (const auto& spec : specs) EXPECT_EQ(ReadFile(dir / "out" / spec.name), spec.data) << spec.name;

  // A wrong CRC in both records of one entry fails that entry alone.
  std::string data = ReadFile(mixed);
  const std::string target = "src/small1/f1.txt";
  for (std::size_t at = data.find(target); at != std::string::npos; at = data.find(target, at + 1)) {
    const bool central = at >= 46 && data.compare(at - 46, 4, "PK\x01\x02", 4) == 0;
    data[at - (central ? 30 : 16)] ^= 0x5A;
  }
  WriteFile(dir / "badcrc.zip", data);
  ExpectSameAsSerial((dir / "badcrc.zip").string(), dir / "out");

  // Cut inside the data of the big text: read by local headers, the cut
  // entry fails and the ones before it come out.
  data = ReadFile(mixed);
  const auto cut = data.find("src/big/text.txt") + 100000;
  WriteFile(dir / "cut.zip", data.substr(0, cut));
  ExpectSameAsSerial((dir / "cut.zip").string(), dir / "out");
  const auto log = Extract((dir / "cut.zip").string(), dir / "cut", 4);
  EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "end @src/big/text.txt 0"), log.lines.end());
}

TEST(UnZipParallel, QuestionsPasswordsAndHostileNames) {
  TempDir dir;
  for (int i = 0; i < 40; ++i) WriteFile(dir / "src" / ("p" + std::to_string(i) + ".txt"), vsktest::TextBytes(3000 + i, i));
  for (int i = 0; i < 6; ++i) WriteFile(dir / "src/enc" / ("s" + std::to_string(i) + ".txt"), vsktest::TextBytes(4000 + i, 50 + i));
  const auto arc = (dir / "q.zip").string();
  ASSERT_EQ(RunTool("zip -q -P secret " + ShellQuote(arc) + " src/enc/*", dir.path()).exitCode, 0);
  ASSERT_EQ(RunTool("zip -q " + ShellQuote(arc) + " src/p*.txt", dir.path()).exitCode, 0);
  const fs::path out = dir / "out";

  // Every third existing file is skipped, every third renamed; the
  // password is asked, wrong once, then right.
  const Extra questions = [](TUnZip& z, EventLog& log) {
    z.ConfirmOverwrites = true;
    z.OnFileExists = [&log, n = 0](TZipCommon&, const std::string& f, std::string& name, TOverwriteMode& mode) mutable {
      log.Add("exists " + log.Rel(f));
      ++n;
      if (n % 3 == 0) mode = omSkip;
      if (n % 3 == 1) name = f + ".new";
    };
    z.OnGetPassword = [&log, n = 0](TZipCommon&, const std::string& f, std::string& pw, bool& again) mutable {
      log.Add("password " + log.Rel(f));
      pw = ++n == 1 ? "wrong" : "secret";
      again = true;
    };
  };
  auto existing = [&] {
    std::vector<fs::path> old{out / "src/enc/s1.txt"};
    for (int i = 0; i < 40; i += 2) old.push_back(out / "src" / ("p" + std::to_string(i) + ".txt"));
    for (const auto& f : old) {
      WriteFile(f, "old");
      fs::last_write_time(f, fs::file_time_type{});
    }
  };
  ExpectSameAsSerial(arc, out, questions, existing);
  EXPECT_EQ(ReadFile(out / "src/enc/s2.txt"), ReadFile(dir / "src/enc/s2.txt"));

  // Names that would leave the destination, and a link planted in it.
  std::vector<vsktest::ZipEntrySpec> entries;
  for (const std::string name : {"../up.txt", "a/../../up2.txt", "/abs.txt", "link/x.txt", "ok.txt"})
    entries.push_back({name, vsktest::TextBytes(2000, 7), 8, 0x20, 0, vsktest::RawDeflate(vsktest::TextBytes(2000, 7)), true});
  for (int i = 0; i < 10; ++i) entries.push_back({"n" + std::to_string(i) + ".txt", vsktest::TextBytes(900, i)});
  WriteFile(dir / "hostile.zip", vsktest::BuildZip(entries));
  const fs::path outside = dir / "outside";
  fs::create_directories(outside);
  ExpectSameAsSerial((dir / "hostile.zip").string(), out, {}, [&] {
    fs::create_directories(out);
    fs::create_directory_symlink(outside, out / "link");
  });
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_FALSE(fs::exists(dir / "up.txt"));
  EXPECT_FALSE(fs::exists(dir / "up2.txt"));
  EXPECT_EQ(ReadFile(out / "ok.txt"), vsktest::TextBytes(2000, 7));
}

TEST(UnZipParallel, CancelStopsWhereTheSerialRunStops) {
  TempDir dir;
  for (int i = 0; i < 60; ++i)
    WriteFile(dir / "src" / ("f" + std::to_string(i) + ".txt"), vsktest::TextBytes(150000 + i * 1000, i));
  const auto arc = Zip(dir.path(), "c.zip", "-r");
  // From a progress event inside an entry, and from the verdict of another.
  for (const int at : {40, 300}) {
    const Extra cancel = [at](TUnZip& z, EventLog& log) {
      z.OnProgress = [&log, at, n = 0](TZipCommon& s, Byte file, Byte arc) mutable {
        log.Add("progress " + std::to_string(file) + " " + std::to_string(arc));
        if (++n == at) s.SetCancel(true);
      };
    };
    ExpectSameAsSerial(arc, dir / "out", cancel);
  }
  const Extra atEnd = [](TUnZip& z, EventLog& log) {
    z.OnEnd = [&log](TZipCommon& s, const std::string& f, bool pass) {
      log.Add("end " + log.Rel(f) + " " + std::to_string(pass));
      if (f.find("f7.txt") != std::string::npos) s.SetCancel(true);
    };
  };
  ExpectSameAsSerial(arc, dir / "out", atEnd);
  EXPECT_LT(Snapshot(dir / "out").size(), 61u);
}

std::string Output(const TDecodedEntry& e) {
  std::string s(static_cast<std::size_t>(lseek(e.File, 0, SEEK_END)), '\0');
  EXPECT_EQ(pread(e.File, s.data(), s.size(), 0), static_cast<ssize_t>(s.size()));
  return s;
}

// The decoder ahead on its own: contents, CRCs and damage come out as the
// entries hold them; what it must not take it leaves to the run.
TEST(UnZipParallel, DecodingAheadKeepsBlocksCrcsAndErrors) {
  TempDir dir;
  const std::string text = vsktest::TextBytes(300000, 1), bin = vsktest::RandomBytes(70000, 2);
  std::string broken = vsktest::RawDeflate(vsktest::TextBytes(200000, 3));
  broken.resize(broken.size() / 2);
  std::vector<vsktest::ZipEntrySpec> specs = {
      {"t.txt", text, 8, 0x20, 0, vsktest::RawDeflate(text), true},
      {"b.bin", bin},
      {"broken.txt", vsktest::TextBytes(200000, 3), 8, 0x20, 0, broken, true},
      {"enc.bin", bin, 0, 0x20, kZipFlagEncrypted},
  };
  const std::string zip = vsktest::BuildZip(specs);
  WriteFile(dir / "a.zip", zip);
  std::vector<TAheadEntry> entries;
  Int64 offset = 0;
  for (const auto& s : specs) {
    const Int64 packed = static_cast<Int64>(s.hasPacked ? s.packed.size() : s.data.size());
    entries.push_back({offset, s.method, s.flags, packed, static_cast<Int64>(s.data.size())});
    offset += 30 + static_cast<Int64>(s.name.size()) + packed;
  }
  const int fd = ::open((dir / "a.zip").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  {
    TInflateAhead ahead(fd, entries, 3, dir.str());
    ahead.Advance(0);
    for (std::size_t i = 0; i < 2; ++i) {
      const auto r = ahead.Take(i);
      ASSERT_TRUE(r) << i;
      EXPECT_EQ(Output(*r), specs[i].data);
      EXPECT_EQ(r->Error, 0);
      ASSERT_FALSE(r->Blocks.empty());
      EXPECT_EQ(r->Blocks.back().CrcAfter ^ 0xFFFFFFFFu, Crc32Of(specs[i].data.data(), specs[i].data.size()));
      for (std::size_t b = 0; b + 1 < r->Blocks.size(); ++b) EXPECT_EQ(r->Blocks[b].Size, kAheadBlock);
    }
    const auto bad = ahead.Take(2);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->Error, msg::DecompressionError);
    const std::string part = Output(*bad);
    EXPECT_LT(part.size(), specs[2].data.size());
    EXPECT_EQ(part, specs[2].data.substr(0, part.size()));
    EXPECT_FALSE(ahead.Take(3));
  }
  ::close(fd);
}

}  // namespace
}  // namespace vsk
