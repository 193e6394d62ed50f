// Extracting and testing BH archives. No Debian tool reads or writes BH, so
// the archives are built here from the format's layout by a small writer:
// stored data, raw deflate from zlib, LZH data from the static-Huffman test
// encoder and the library's traditional cipher for encrypted entries.

#include "archive/formats/lha/unbh.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/dates.h"
#include "archive/core/zipcrypt.h"
#include "tests/archive/formats/lha/lhabuild.h"
#include "tests/support/archivebytes.h"
#include "tests/support/readerrun.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Aim;
using vsktest::Count;
using vsktest::Le16;
using vsktest::Le32;
using vsktest::LzhToken;
using vsktest::RawDeflate;
using vsktest::ReadFile;
using vsktest::Record;
using vsktest::RunInto;
using vsktest::TempDir;
using vsktest::WriteFile;

constexpr UInt32 kDos = 0x4E6E5A8B;  // 2019-03-14 11:20:22

UInt32 Crc32Of(const std::string& s) {
  return static_cast<UInt32>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Greedy LZ tokens for Data: the most recent earlier occurrence of the next
// three bytes within MaxDistance + 1 bytes back, extended up to 256 bytes.
std::vector<LzhToken> Tokenize(const std::string& data, UInt32 maxDistance) {
  std::vector<LzhToken> tokens;
  std::vector<Int64> last(1 << 16, -1);
  auto key = [&](std::size_t i) {
    return (static_cast<Byte>(data[i]) * 506832829u ^ static_cast<Byte>(data[i + 1]) * 2654435761u ^
            static_cast<Byte>(data[i + 2])) &
           0xFFFF;
  };
  std::size_t i = 0;
  while (i < data.size()) {
    int len = 0;
    UInt32 dist = 0;
    if (i + 3 <= data.size()) {
      const Int64 j = last[key(i)];
      if (j >= 0 && static_cast<Int64>(i) - j - 1 <= static_cast<Int64>(maxDistance)) {
        std::size_t n = 0;
        while (n < 256 && i + n < data.size() && data[static_cast<std::size_t>(j) + n] == data[i + n]) ++n;
        if (n >= 3) {
          len = static_cast<int>(n);
          dist = static_cast<UInt32>(static_cast<Int64>(i) - j - 1);
        }
      }
    }
    const std::size_t step = len ? static_cast<std::size_t>(len) : 1;
    for (std::size_t k = i; k < i + step && k + 3 <= data.size(); ++k) last[key(k)] = static_cast<Int64>(k);
    if (len)
      tokens.push_back({-1, len, dist});
    else
      tokens.push_back({static_cast<Byte>(data[i]), 0, 0});
    i += step;
  }
  return tokens;
}

std::string LzhPack(const std::string& data, Byte method) {
  const auto tokens = method == 1 ? Tokenize(data, 8191) : Tokenize(data, 32767);
  EXPECT_EQ(vsktest::ExpandLzhTokens(tokens), data);
  return method == 1 ? vsktest::EncodeLzh(tokens, 13, 4) : vsktest::EncodeLzh(tokens, 15, 5);
}

struct BhSpec {
  std::string name = {};
  std::string data = {};
  Byte method = 0;
  Byte flags = 0;
  UInt16 attr = 0x20;
  std::string password = {};  // non-empty: enciphered, flags bit 0 set
  Byte version = 4;
  std::string extra = {};
  UInt32 dos = kDos;
};

// The packed bytes of an entry as the writer leaves them: a version-3-and-
// later encrypted entry starts with the 12-byte cipher header; older ones
// encipher the data from the password directly and leave stored data as it is.
std::string PackedOf(const BhSpec& e) {
  std::string body;
  switch (e.method) {
    case 0:
      body = e.data;
      break;
    case 1:
    case 3:
      body = LzhPack(e.data, e.method);
      break;
    case 2:
    case 8:
      body = RawDeflate(e.data, (e.flags & 6) == 2 ? 9 : (e.flags & 6) == 6 ? 1 : 6);
      break;
    default:
      body = e.data;
  }
  if (e.password.empty()) return body;
  TZipCrypt c;
  // The same cipher header every run: with random bytes a wrong password
  // passes the header's check now and then.
  c.RandomSource = [](Byte* Buffer, std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i) Buffer[i] = static_cast<Byte>(0x5A + 7 * i);
  };
  if (e.version >= 3) {
    const auto h = c.MakeEncryptionHeader(e.password, Crc32Of(e.data));
    c.EncryptZipBuffer(body.data(), body.size());
    return std::string(reinterpret_cast<const char*>(h.data()), h.size()) + body;
  }
  if (e.method == 0) return body;
  c.InitZipKeys(e.password);
  c.EncryptZipBuffer(body.data(), body.size());
  return body;
}

std::string BhEntry(const BhSpec& e, const std::string& packed) {
  const Byte flags = static_cast<Byte>(e.flags | (e.password.empty() ? 0 : 1));
  std::string h = Le32(kBhSignature) + Le16(static_cast<unsigned>(37 + e.name.size() + e.extra.size())) + '\x25' +
                  static_cast<char>(e.version) + '\x08' + static_cast<char>(flags) + static_cast<char>(e.method) +
                  Le32(e.dos) + Le32(static_cast<UInt32>(packed.size())) + Le32(static_cast<UInt32>(e.data.size())) +
                  Le32(Crc32Of(e.data)) + Le16(e.attr) + Le32(0) + Le16(static_cast<unsigned>(e.name.size())) +
                  Le16(static_cast<unsigned>(e.extra.size()));
  EXPECT_EQ(h.size(), 37u);
  return h + e.name + e.extra + packed;
}

std::string BhEntry(const BhSpec& e) { return BhEntry(e, PackedOf(e)); }

std::string BhArchive(const std::vector<BhSpec>& entries) {
  std::string arc;
  for (const auto& e : entries) arc += BhEntry(e);
  return arc;
}

// Verdicts are kept by file name alone.
struct RunLog : vsktest::RunLog {
  int asked = 0;  // OnGetPassword calls
  double packedTotal = 0, unpackedTotal = 0;
};

struct Options {
  bool test = false;
  std::vector<std::string> spec = {"*.*"};
  std::vector<std::string> passwords = {};
  std::vector<std::string> answers = {};  // OnGetPassword, in turn; past the end: give up
  bool askEvent = true;
};

RunLog Unpack(const std::string& Archive, const fs::path& Dest, const Options& O = {}) {
  TUnBh u;
  RunLog r;
  Record(u, r);
  if (O.askEvent)
    u.OnGetPassword = [&r, &O](TZipCommon&, const std::string&, std::string& pw, bool& again) {
      const auto i = static_cast<std::size_t>(r.asked++);
      again = i < O.answers.size();
      pw = again ? O.answers[i] : std::string();
    };
  Aim(u, Archive, Dest, O.spec);
  u.Passwords = O.passwords;
  u.CreateStoredDirs = true;
  RunInto(u, r, O.test);
  std::map<std::string, bool> byName;
  for (const auto& [name, pass] : r.verdicts) byName[fs::path(name).filename().string()] = pass;
  r.verdicts = std::move(byName);
  r.packedTotal = u.PackedTotal;
  r.unpackedTotal = u.UnpackedTotal;
  return r;
}


std::string Write(const TempDir& dir, const std::string& bytes, const std::string& name = "t.bh") {
  WriteFile(dir / name, bytes);
  return (dir / name).string();
}

std::vector<BhSpec> EveryMethod() {
  const std::string text = vsktest::TextBytes(150000, 1);
  return {
      {.name = "stored.bin", .data = vsktest::RandomBytes(70000, 2), .method = 0},
      {.name = "lzh13.txt", .data = text, .method = 1},
      {.name = "lzh15.txt", .data = vsktest::TextBytes(120000, 3), .method = 3},
      {.name = "old.txt", .data = text, .method = 2},
      {.name = "deflate.txt", .data = text, .method = 8},
      {.name = "max.txt", .data = vsktest::TextBytes(40000, 4), .method = 8, .flags = 0x02},
      {.name = "fast.txt", .data = vsktest::TextBytes(40000, 5), .method = 8, .flags = 0x06},
      {.name = "dir\\sub\\notes.txt", .data = vsktest::TextBytes(9000, 6), .method = 8, .extra = "extra-field"},
      {.name = "empty.txt", .data = "", .method = 0},
      {.name = "emptydir\\", .attr = 0x10},
  };
}

std::string OutName(const BhSpec& e) {
  std::string n = e.name;
  std::replace(n.begin(), n.end(), '\\', '/');
  return n;
}

TEST(UnBh, EveryMethodExtractsByteForByte) {
  TempDir dir;
  const auto entries = EveryMethod();
  const auto arc = Write(dir, BhArchive(entries));
  const auto r = Unpack(arc, dir / "out");
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.result, 9);
  for (const auto& e : entries) {
    SCOPED_TRACE(e.name);
    if (e.attr & 0x10) {
      EXPECT_TRUE(fs::is_directory(dir / "out" / OutName(e)));
      continue;
    }
    EXPECT_TRUE(ReadFile(dir / "out" / OutName(e)) == e.data);
    EXPECT_TRUE(r.verdicts.at(fs::path(OutName(e)).filename().string()));
    struct stat st;
    ASSERT_EQ(stat((dir / "out" / OutName(e)).c_str(), &st), 0);
    EXPECT_EQ(static_cast<Int64>(st.st_mtime), DateTimeToUnix(DosDateTimeToDateTime(e.dos)));
  }
  // A method-2 entry is the same deflate stream as a method-8 one.
  EXPECT_EQ(ReadFile(dir / "out/old.txt"), ReadFile(dir / "out/deflate.txt"));
}

TEST(UnBh, TestRunJudgesEveryEntryAndWritesNothing) {
  TempDir dir;
  const auto entries = EveryMethod();
  const auto arc = Write(dir, BhArchive(entries));
  const auto r = Unpack(arc, dir / "out", {.test = true});
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.result, 9);
  EXPECT_EQ(r.verdicts.size(), 10u);
  for (const auto& [name, pass] : r.verdicts) EXPECT_TRUE(pass) << name;
  EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(UnBh, LargeEntriesCrossManyBlocksAndWindows) {
  TempDir dir;
  // Runs more than 26624 bytes back: the 15-bit dictionary reaches them.
  const std::string head = vsktest::RandomBytes(30000, 7);
  const std::string far = head + vsktest::TextBytes(2000, 8) + head.substr(0, 5000);
  const std::string big = vsktest::TextBytes(1500000, 9) + vsktest::RandomBytes(300000, 10);
  const std::vector<BhSpec> entries = {
      {.name = "far.bin", .data = far, .method = 3},
      {.name = "big13.bin", .data = big, .method = 1},
      {.name = "big15.bin", .data = big, .method = 3},
      {.name = "big8.bin", .data = big, .method = 8},
  };
  const auto tokens = Tokenize(far, 32767);
  EXPECT_TRUE(std::any_of(tokens.begin(), tokens.end(), [](const LzhToken& t) { return t.Distance > 26624; }));
  const auto r = Unpack(Write(dir, BhArchive(entries)), dir / "out");
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.result, 4);
  for (const auto& e : entries) EXPECT_TRUE(ReadFile(dir / "out" / e.name) == e.data) << e.name;
}

TEST(UnBh, EncryptedEntriesWithWrongThenRightPassword) {
  TempDir dir;
  const std::vector<BhSpec> entries = {
      {.name = "plain.txt", .data = "not secret", .method = 0},
      {.name = "s0.bin", .data = vsktest::RandomBytes(5000, 11), .method = 0, .password = "secret"},
      {.name = "s1.txt", .data = vsktest::TextBytes(30000, 12), .method = 1, .password = "secret"},
      {.name = "s3.txt", .data = vsktest::TextBytes(30000, 13), .method = 3, .password = "secret"},
      {.name = "s8.txt", .data = vsktest::TextBytes(90000, 14), .method = 8, .password = "secret"},
  };
  const auto arc = Write(dir, BhArchive(entries));
  const auto r = Unpack(arc, dir / "out", {.answers = {"wrong", "secret"}});
  // Asked twice for the first entry; the right password serves the others.
  EXPECT_EQ(r.asked, 2);
  EXPECT_EQ(Count(r.errors, 26517), 1);
  EXPECT_EQ(r.result, 5);
  for (const auto& e : entries) {
    EXPECT_TRUE(ReadFile(dir / "out" / e.name) == e.data) << e.name;
    EXPECT_TRUE(r.verdicts.at(e.name)) << e.name;
  }
  // The 12-byte cipher headers are not counted as packed data.
  double packed = 0;
  for (const auto& e : entries) packed += static_cast<double>(PackedOf(e).size() - (e.password.empty() ? 0 : 12));
  EXPECT_EQ(r.packedTotal, packed);

  // From the password list, without a question; tested as well.
  const auto t = Unpack(arc, dir / "out2", {.test = true, .passwords = {"nope", "secret"}});
  EXPECT_EQ(t.asked, 0);
  EXPECT_EQ(t.result, 5);
  for (const auto& [name, pass] : t.verdicts) EXPECT_TRUE(pass) << name;
}

TEST(UnBh, GivingUpOnThePasswordSkipsEveryEncryptedEntry) {
  TempDir dir;
  const std::vector<BhSpec> entries = {
      {.name = "a.txt", .data = vsktest::TextBytes(3000, 15), .method = 8, .password = "pw"},
      {.name = "b.txt", .data = "plain", .method = 0},
      {.name = "c.txt", .data = vsktest::TextBytes(3000, 16), .method = 3, .password = "pw"},
  };
  const auto arc = Write(dir, BhArchive(entries));
  const auto r = Unpack(arc, dir / "out", {.answers = {"bad"}});
  EXPECT_EQ(r.asked, 2);  // the second answer gives up; c.txt is not asked for
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(ReadFile(dir / "out/b.txt"), "plain");
  EXPECT_FALSE(fs::exists(dir / "out/a.txt"));
  EXPECT_FALSE(fs::exists(dir / "out/c.txt"));
  EXPECT_FALSE(r.verdicts.at("a.txt"));
  EXPECT_FALSE(r.verdicts.at("c.txt"));

  // Without the password event the encrypted entries cannot be opened.
  const auto n = Unpack(arc, dir / "out2", {.askEvent = false});
  EXPECT_EQ(n.result, 1);
  EXPECT_EQ(Count(n.errors, msg::RequiredEventNotAssigned), 1);
  EXPECT_FALSE(fs::exists(dir / "out2/a.txt"));
}

TEST(UnBh, OldWritersEncipherWithoutACipherHeader) {
  TempDir dir;
  const std::vector<BhSpec> entries = {
      {.name = "flagged.bin", .data = vsktest::RandomBytes(4000, 17), .method = 0, .password = "old", .version = 2},
      {.name = "lzh.txt", .data = vsktest::TextBytes(20000, 18), .method = 3, .password = "old", .version = 2},
      {.name = "def.txt", .data = vsktest::TextBytes(20000, 19), .method = 8, .password = "old", .version = 2},
  };
  const auto arc = Write(dir, BhArchive(entries));
  // The stored entry needs no password; the others take the first answer.
  const auto r = Unpack(arc, dir / "out", {.answers = {"old"}});
  EXPECT_EQ(r.asked, 1);
  EXPECT_EQ(r.result, 3);
  for (const auto& e : entries) {
    EXPECT_TRUE(ReadFile(dir / "out" / e.name) == e.data) << e.name;
    EXPECT_TRUE(r.verdicts.at(e.name)) << e.name;
  }
  // Their packed sizes hold no cipher header to take off.
  double packed = 0;
  for (const auto& e : entries) packed += static_cast<double>(PackedOf(e).size());
  EXPECT_EQ(r.packedTotal, packed);

  // A wrong password cannot be told before decoding: the CRC verdict fails.
  const auto w = Unpack(arc, dir / "out2", {.test = true, .passwords = {"wrong"}});
  EXPECT_TRUE(w.verdicts.at("flagged.bin"));
  EXPECT_FALSE(w.verdicts.at("lzh.txt"));
  EXPECT_FALSE(w.verdicts.at("def.txt"));
}

TEST(UnBh, DamagedDataFailsOnlyThatEntry) {
  const std::vector<BhSpec> entries = {
      {.name = "s.bin", .data = vsktest::RandomBytes(3000, 20), .method = 0},
      {.name = "l.txt", .data = vsktest::TextBytes(30000, 21), .method = 1},
      {.name = "d.txt", .data = vsktest::TextBytes(30000, 22), .method = 8},
      {.name = "e.txt", .data = vsktest::TextBytes(30000, 23), .method = 3, .password = "pw"},
  };
  for (std::size_t victim = 0; victim < entries.size(); ++victim) {
    SCOPED_TRACE(entries[victim].name);
    TempDir dir;
    std::string arc;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      std::string packed = PackedOf(entries[i]);
      if (i == victim) packed[packed.size() / 2] = static_cast<char>(packed[packed.size() / 2] ^ 0x5A);
      arc += BhEntry(entries[i], packed);
    }
    for (bool test : {false, true}) {
      const auto r = Unpack(Write(dir, arc), dir / "out", {.test = test, .passwords = {"pw"}});
      ASSERT_EQ(r.verdicts.size(), entries.size());
      EXPECT_EQ(r.result, static_cast<int>(entries.size()) - 1);  // only the sound entries count
      for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(r.verdicts.at(entries[i].name), i != victim) << entries[i].name;
        if (!test && i != victim) {
          EXPECT_TRUE(ReadFile(dir / "out" / entries[i].name) == entries[i].data);
        }
      }
    }
  }
}

TEST(UnBh, TruncatedArchivesNeverCrashAndKeepWhatCameBefore) {
  TempDir dir;
  const std::vector<BhSpec> entries = {
      {.name = "a.txt", .data = vsktest::TextBytes(2000, 24), .method = 8},
      {.name = "b.txt", .data = vsktest::TextBytes(2000, 25), .method = 1},
      {.name = "c.bin", .data = vsktest::RandomBytes(300, 26), .method = 0, .password = "pw"},
      {.name = "d.txt", .data = vsktest::TextBytes(2000, 27), .method = 3},
  };
  std::vector<std::size_t> starts, ends;
  std::string full;
  for (const auto& e : entries) {
    starts.push_back(full.size());
    full += BhEntry(e);
    ends.push_back(full.size());
  }
  for (std::size_t cut = 0; cut < full.size(); cut += (cut % 7 == 0 ? 5 : 3)) {
    SCOPED_TRACE(cut);
    const auto r = Unpack(Write(dir, full.substr(0, cut)), dir / "out", {.test = true, .passwords = {"pw"}});
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const auto it = r.verdicts.find(entries[i].name);
      if (ends[i] <= cut) {
        ASSERT_NE(it, r.verdicts.end()) << entries[i].name;
        EXPECT_TRUE(it->second) << entries[i].name;
      } else if (it != r.verdicts.end() && cut + 4 < ends[i]) {
        // A decoder may finish before the last bits of its stream.
        EXPECT_FALSE(it->second) << entries[i].name;
      }
    }
    // A header cut off behind its signature and length, inside its fixed
    // part or its name, is reported (a file below 20 bytes is no archive
    // to detection).
    const bool inHeader = cut >= 20 && std::any_of(starts.begin(), starts.end(), [&](std::size_t s) {
      return s + 6 <= cut && cut < s + 37 + 5;
    });
    if (inHeader) {
      EXPECT_EQ(Count(r.errors, msg::BadFileHeader), 1);
    }
  }
  // An archive cut inside the data of its last entry still extracts the others.
  const auto r = Unpack(Write(dir, full.substr(0, full.size() - 10)), dir / "out", {.passwords = {"pw"}});
  for (std::size_t i = 0; i + 1 < entries.size(); ++i)
    EXPECT_TRUE(ReadFile(dir / "out" / entries[i].name) == entries[i].data);
  EXPECT_FALSE(r.verdicts.at("d.txt"));
}

TEST(UnBh, HostileNamesNeverLeaveTheDestination) {
  TempDir dir, outside;
  fs::create_directories(dir / "out");
  fs::create_directory_symlink(outside.path(), dir / "out/link");
  const auto arc = Write(dir, BhArchive({
                                  {.name = "../escape.txt", .data = "x"},
                                  {.name = "a\\..\\..\\escape2.txt", .data = "x", .method = 8},
                                  {.name = "..\\escape3.txt", .data = "x"},
                                  {.name = "/etc/abs.txt", .data = "abs"},
                                  {.name = "\\root\\abs2.txt", .data = "abs2"},
                                  {.name = "link\\through.txt", .data = "x"},
                                  {.name = "ok.txt", .data = "fine"},
                              }));
  const auto r = Unpack(arc, dir / "out");
  EXPECT_EQ(ReadFile(dir / "out/ok.txt"), "fine");
  EXPECT_EQ(ReadFile(dir / "out/etc/abs.txt"), "abs");
  EXPECT_EQ(ReadFile(dir / "out/root/abs2.txt"), "abs2");
  EXPECT_FALSE(fs::exists(dir / "escape.txt"));
  EXPECT_FALSE(fs::exists(dir / "escape2.txt"));
  EXPECT_FALSE(fs::exists(dir / "escape3.txt"));
  EXPECT_TRUE(fs::is_empty(outside.path()));
  EXPECT_EQ(Count(r.errors, msg::InvalidFileName), 3);
  EXPECT_EQ(Count(r.errors, msg::ErrorOpeningFile), 1);  // the link is not followed
}

TEST(UnBh, SelfExtractorOffsetIsHonoured) {
  TempDir dir;
  const std::vector<BhSpec> entries = {
      {.name = "x.txt", .data = vsktest::TextBytes(5000, 28), .method = 8},
      {.name = "y.txt", .data = vsktest::TextBytes(5000, 29), .method = 3, .password = "pw"},
  };
  const auto exe = Write(dir, vsktest::SfxStub(24576) + BhArchive(entries), "setup.exe");
  TUnBh probe;
  probe.SetArchiveFile(exe);
  EXPECT_EQ(probe.ArcType(), atBhExe);
  EXPECT_EQ(probe.ArcOffset, 24576);
  const auto r = Unpack(exe, dir / "out", {.passwords = {"pw"}});
  EXPECT_EQ(r.result, 2);
  for (const auto& e : entries) EXPECT_TRUE(ReadFile(dir / "out" / e.name) == e.data) << e.name;
}

TEST(UnBh, WalkEndsAndSelectionRules) {
  TempDir dir;
  // No signature at the start: nothing is listed.
  std::string bad = BhArchive({{.name = "a.txt", .data = "a"}});
  bad[0] = 'X';
  EXPECT_EQ(Unpack(Write(dir, bad, "bad.bh"), dir / "o1").result, 0);

  // A header length of 0 ends the walk; what follows is not read.
  std::string stop = BhArchive({{.name = "a.txt", .data = "a"}});
  std::string second = BhEntry({.name = "b.txt", .data = "b"});
  second[4] = second[5] = 0;
  stop += second + BhEntry({.name = "c.txt", .data = "c"});
  auto r = Unpack(Write(dir, stop, "stop.bh"), dir / "o2");
  EXPECT_EQ(r.result, 1);
  EXPECT_FALSE(fs::exists(dir / "o2/c.txt"));

  // Names of 256 bytes and more are not listed; the walk goes on past them.
  const std::string longName(256, 'n');
  const auto arc = Write(dir,
                         BhArchive({{.name = longName, .data = "long"},
                                    {.name = "keep.txt", .data = "keep"},
                                    {.name = "skip.dat", .data = "skip"},
                                    {.name = "odd.bin", .data = "odd", .method = 9},
                                    {.name = "last.txt", .data = "last", .method = 8}}),
                         "sel.bh");
  r = Unpack(arc, dir / "o3");
  EXPECT_EQ(r.result, 3);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "o3"), fs::directory_iterator()), 3);
  // An unknown method is reported, fails its verdict, leaves no file, and
  // the run goes on.
  EXPECT_EQ(Count(r.errors, msg::UnsupportedMethod), 1);
  EXPECT_FALSE(fs::exists(dir / "o3/odd.bin"));
  EXPECT_FALSE(r.verdicts.at("odd.bin"));
  EXPECT_EQ(ReadFile(dir / "o3/last.txt"), "last");
  r = Unpack(arc, dir / "o3", {.test = true});
  EXPECT_EQ(r.result, 3);
  EXPECT_FALSE(r.verdicts.at("odd.bin"));
  EXPECT_TRUE(r.verdicts.at("last.txt"));

  r = Unpack(arc, dir / "o4", {.spec = {"*.txt"}});
  EXPECT_EQ(r.result, 2);
  EXPECT_EQ(ReadFile(dir / "o4/keep.txt"), "keep");
  EXPECT_FALSE(fs::exists(dir / "o4/skip.dat"));
}

TEST(UnBh, AttributesAreRestored) {
  TempDir dir;
  const auto arc = Write(dir, BhArchive({{.name = "ro.txt", .data = "read only", .attr = 0x21},
                                         {.name = "rw.txt", .data = "writable", .attr = 0x20}}));
  Unpack(arc, dir / "out");
  struct stat st;
  ASSERT_EQ(stat((dir / "out/ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  ASSERT_EQ(stat((dir / "out/rw.txt").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0200, 0u);
  fs::permissions(dir / "out/ro.txt", fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
}  // namespace vsk
