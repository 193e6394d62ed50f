// Extracting and testing LHA archives: what jlha writes at every header
// level and method, streams of the methods jlha does not write (checked by
// lhasa first), damaged, cut and hostile archives.

#include "archive/formats/lha/unlha.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>

#include "base/checksum.h"
#include "base/dates.h"
#include "tests/archive/formats/lha/lhabuild.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Aim;
using vsktest::Count;
using vsktest::ExpectSameTree;
using vsktest::LhaEntry;
using vsktest::LhaEntrySpec;
using vsktest::MakeSampleTree;
using vsktest::ReadFile;
using vsktest::Record;
using vsktest::RunInto;
using vsktest::RunLog;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

RunLog Unpack(const fs::path& Archive, const fs::path& Dest, const vsktest::RunOptions& O = {}) {
  return vsktest::RunReader<TUnLha>(Archive, Dest, O, [&O](TUnLha& u) { u.CreateStoredDirs = O.storedDirs; });
}

std::string MakeArchive(const fs::path& Dir, const std::string& Options, const std::string& Name) {
  const auto arc = (Dir / Name).string();
  const auto r = RunTool("jlha a" + Options + " " + ShellQuote(arc) + " src", Dir);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return arc;
}

Int64 SecondsBetween(const fs::path& A, const fs::path& B) {
  return std::chrono::duration_cast<std::chrono::seconds>(fs::last_write_time(A) - fs::last_write_time(B)).count();
}

TEST(UnLha, ArchivesOfJlhaAtEveryLevelAndMethod) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  const int files = MakeSampleTree(dir.path());
  for (int level : {0, 1, 2}) {
    for (const std::string method : {"", "o6", "o7", "z"}) {
      const std::string options = std::to_string(level) + method;
      SCOPED_TRACE(options);
      const auto arc = MakeArchive(dir.path(), options, "a" + options + ".lzh");
      const std::string bytes = ReadFile(arc);
      ASSERT_EQ(bytes[20], static_cast<char>(level));
      const std::string id = method.empty() ? "-lh5-" : method == "z" ? "-lh0-" : "-lh" + method.substr(1) + "-";
      EXPECT_NE(bytes.find(id), std::string::npos);

      const auto out = dir / ("out" + options);
      const auto r = Unpack(arc, out);
      EXPECT_EQ(r.result, files);
      EXPECT_TRUE(r.errors.empty());
      int passed = 0;
      for (const auto& [name, pass] : r.verdicts) {
        EXPECT_TRUE(pass) << name;
        passed += pass;
      }
      EXPECT_EQ(passed, files + 4);  // and the folders
      ExpectSameTree(dir / "src", out / "src");
      // Level 2 keeps Unix seconds, the others DOS time (two seconds apart).
      EXPECT_LE(std::abs(SecondsBetween(out / "src/readme.txt", dir / "src/readme.txt")), 1);

      const auto t = Unpack(arc, dir / "unused", {.test = true});
      EXPECT_EQ(t.result, files);
      EXPECT_TRUE(t.errors.empty());
      EXPECT_FALSE(fs::exists(dir / "unused"));
      EXPECT_EQ(t.verdicts.size(), static_cast<std::size_t>(files + 4));
      for (const auto& [name, pass] : t.verdicts) EXPECT_TRUE(pass) << name;
    }
  }
}

TEST(UnLha, SelectedEntriesAndFoldersOnlyWhenAsked) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  WriteFile(dir / "src/a.txt", "alpha\n");
  WriteFile(dir / "src/sub/b.txt", "beta\n");
  WriteFile(dir / "src/c.bin", "gamma\n");
  fs::create_directories(dir / "src/emptydir");
  for (int level : {0, 1, 2}) {
    const auto arc = MakeArchive(dir.path(), std::to_string(level), "s" + std::to_string(level) + ".lzh");
    const auto out = dir / ("out" + std::to_string(level));
    const auto r = Unpack(arc, out, {.spec = {"*.txt"}, .storedDirs = false});
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(ReadFile(out / "src/sub/b.txt"), "beta\n");
    EXPECT_EQ(ReadFile(out / "src/a.txt"), "alpha\n");
    EXPECT_FALSE(fs::exists(out / "src/c.bin"));
    EXPECT_FALSE(fs::exists(out / "src/emptydir"));

    const auto all = Unpack(arc, out, {.storedDirs = true});
    EXPECT_EQ(all.result, 3);
    EXPECT_TRUE(fs::is_directory(out / "src/emptydir"));
    EXPECT_EQ(ReadFile(out / "src/c.bin"), "gamma\n");
  }
}

// Random literal/match streams as -lh4- .. -lh7- entries: lhasa agrees with
// the test's encoder, and we read the same bytes. -lh4- is written by no
// Debian tool.
TEST(UnLha, EveryStaticHuffmanMethodAsLhasaReadsIt) {
  ASSERT_TRUE(vsktest::HaveTool("lhasa"));
  TempDir dir;
  std::string arc;
  std::map<std::string, std::string> want;
  std::mt19937 rng(3);
  for (int m = 4; m <= 7; ++m) {
    const int dictBits[] = {12, 13, 15, 16};
    const int bits = dictBits[m - 4];
    std::vector<vsktest::LzhToken> tokens;
    std::size_t produced = 0;
    while (produced < 150000) {
      if (produced < 100 || rng() % 3 == 0) {
        tokens.push_back({static_cast<int>(rng() % 64) + 32, 0, 0});
        ++produced;
      } else {
        const UInt32 reach = static_cast<UInt32>(std::min<std::size_t>(produced - 1, (1u << bits) - 1));
        const int len = 3 + static_cast<int>(rng() % 40);
        tokens.push_back({-1, len, static_cast<UInt32>(rng() % 2 ? rng() % 32 : reach - rng() % (reach + 1) / 2)});
        produced += static_cast<std::size_t>(len);
      }
    }
    const std::string name = "m" + std::to_string(m) + ".txt";
    want[name] = vsktest::ExpandLzhTokens(tokens);
    const int posBits = m < 6 ? 4 : 5;
    arc += LhaEntry(
        LhaEntrySpec("-lh" + std::to_string(m) + "-", name, vsktest::EncodeLzh(tokens, bits, posBits, 9000), want[name])
            .At(m % 2));
  }
  arc.push_back('\0');
  const auto path = dir / "m.lzh";
  WriteFile(path, arc);
  const auto lhasa = RunTool("lhasa t " + ShellQuote(path.string()));
  EXPECT_EQ(lhasa.exitCode, 0) << lhasa.output;
  const auto r = Unpack(path.string(), dir / "out");
  EXPECT_EQ(r.result, 4);
  EXPECT_TRUE(r.errors.empty());
  for (const auto& [name, data] : want) {
    EXPECT_TRUE(ReadFile(dir / "out" / name) == data) << name;
    EXPECT_TRUE(r.verdicts.at((dir / "out" / name).string())) << name;
  }
}

// Matches that reach back before the first byte copy spaces, in both
// decoders, as lhasa has them.
TEST(UnLha, MatchesBeforeTheStartAsLhasaReadsThem) {
  ASSERT_TRUE(vsktest::HaveTool("lhasa"));
  TempDir dir;
  const std::vector<vsktest::LzhToken> tokens = {{'a', 0, 0}, {-1, 10, 100}, {-1, 4, 11}};
  // 'a', ten bytes from 100 back, four from 12 back.
  const std::string want = "a" + std::string(11, ' ') + "a  ";
  // -lh1-: slots the first bytes have not reached yet are spaces too.
  const std::vector<vsktest::LzhToken> lh1 = {{-1, 10, 4095}, {'k', 0, 0}, {-1, 20, 4070}};
  const std::string want1 = std::string(10, ' ') + "k" + std::string(20, ' ');
  const std::string arc = LhaEntry(LhaEntrySpec("-lh5-", "f5", vsktest::EncodeLzh(tokens, 13, 4), want)) +
                          LhaEntry(LhaEntrySpec("-lh7-", "f7", vsktest::EncodeLzh(tokens, 16, 5), want)) +
                          LhaEntry(LhaEntrySpec("-lh1-", "f1", vsktest::EncodeLh1Tokens(lh1), want1)) +
                          std::string(1, '\0');
  const auto path = dir / "s.lzh";
  WriteFile(path, arc);
  const auto lhasa = RunTool("lhasa t " + ShellQuote(path.string()));
  EXPECT_EQ(lhasa.exitCode, 0) << lhasa.output;
  const auto r = Unpack(path.string(), dir / "out");
  EXPECT_EQ(r.result, 3);
  EXPECT_EQ(ReadFile(dir / "out/f5"), want);
  EXPECT_EQ(ReadFile(dir / "out/f7"), want);
  EXPECT_EQ(ReadFile(dir / "out/f1"), want1);
}

TEST(UnLha, Lh1EntriesAsLhasaReadsThem) {
  ASSERT_TRUE(vsktest::HaveTool("lhasa"));
  TempDir dir;
  const std::string text = vsktest::TextBytes(70000, 11), mixed = vsktest::RandomBytes(50000, 12) + text;
  const std::string arc = LhaEntry(LhaEntrySpec("-lh1-", "t.txt", vsktest::EncodeLh1(text), text)) +
                          LhaEntry(LhaEntrySpec("-lh1-", "m.bin", vsktest::EncodeLh1(mixed), mixed).At(1)) +
                          LhaEntry(LhaEntrySpec("-lh1-", "e.txt")) + std::string(1, '\0');
  const auto path = dir / "lh1.lzh";
  WriteFile(path, arc);
  const auto lhasa = RunTool("lhasa t " + ShellQuote(path.string()));
  EXPECT_EQ(lhasa.exitCode, 0) << lhasa.output;
  const auto r = Unpack(path.string(), dir / "out");
  EXPECT_EQ(r.result, 3);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_TRUE(ReadFile(dir / "out/t.txt") == text);
  EXPECT_TRUE(ReadFile(dir / "out/m.bin") == mixed);
  EXPECT_TRUE(fs::exists(dir / "out/e.txt"));
  EXPECT_EQ(fs::file_size(dir / "out/e.txt"), 0u);
  for (const auto& [name, pass] : r.verdicts) EXPECT_TRUE(pass) << name;
}

// One damaged entry fails its CRC; the entries around it come out whole.
TEST(UnLha, DamagedDataFailsItsCrcAndTheOthersComeOut) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  WriteFile(dir / "src/a.txt", vsktest::TextBytes(30000, 1));
  WriteFile(dir / "src/b.txt", vsktest::TextBytes(30000, 2));
  WriteFile(dir / "src/c.txt", vsktest::TextBytes(30000, 3));
  for (const std::string options : {"0", "2", "1z", "2o7"}) {
    SCOPED_TRACE(options);
    const auto arc = MakeArchive(dir.path(), options, "d" + options + ".lzh");
    std::string bytes = ReadFile(arc);
    // The middle of b.txt's data.
    const auto at = bytes.find("b.txt");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5000] = static_cast<char>(bytes[at + 5000] ^ 0x5A);
    WriteFile(arc, bytes);

    const auto out = dir / ("out" + options);
    const auto r = Unpack(arc, out);
    EXPECT_EQ(r.result, 2);  // the damaged entry does not count
    EXPECT_FALSE(r.verdicts.at((out / "src/b.txt").string()));
    EXPECT_TRUE(r.verdicts.at((out / "src/a.txt").string()));
    EXPECT_TRUE(r.verdicts.at((out / "src/c.txt").string()));
    EXPECT_EQ(ReadFile(out / "src/a.txt"), ReadFile(dir / "src/a.txt"));
    EXPECT_EQ(ReadFile(out / "src/c.txt"), ReadFile(dir / "src/c.txt"));
    EXPECT_LE(fs::file_size(out / "src/b.txt"), 30000u);

    // Without OnEnd the failure is an error message.
    const auto t = Unpack(arc, {}, {.test = true, .verdicts = false});
    EXPECT_EQ(t.result, 2);
    EXPECT_EQ(t.Count(25151), 1);
  }
}

TEST(UnLha, CutArchives) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  WriteFile(dir / "src/a.txt", vsktest::TextBytes(20000, 1));
  WriteFile(dir / "src/b.bin", vsktest::RandomBytes(20000, 2));
  for (const std::string options : {"0", "1", "2"}) {
    SCOPED_TRACE(options);
    const auto arc = (dir / ("c" + options + ".lzh")).string();
    ASSERT_EQ(RunTool("jlha a" + options + " " + ShellQuote(arc) + " src/a.txt src/b.bin", dir.path()).exitCode, 0);
    const std::string bytes = ReadFile(arc);
    const auto second = bytes.find(bytes.find("a.txt") < bytes.find("b.bin") ? "b.bin" : "a.txt");
    ASSERT_NE(second, std::string::npos);
    // Inside the second entry's data: it fails its CRC, the first is whole.
    {
      const auto cut = dir / ("data" + options + ".lzh");
      WriteFile(cut, bytes.substr(0, second + 300));
      const auto r = Unpack(cut.string(), dir / ("outd" + options));
      EXPECT_EQ(r.result, 1);
      int pass = 0, fail = 0;
      for (const auto& [name, ok] : r.verdicts) (ok ? pass : fail) += 1;
      EXPECT_EQ(pass, 1);
      EXPECT_EQ(fail, 1);
    }
    // Inside the second header: a bad header, the first entry still out.
    {
      const auto cut = dir / ("head" + options + ".lzh");
      WriteFile(cut, bytes.substr(0, second - 3));
      const auto r = Unpack(cut.string(), dir / ("outh" + options));
      EXPECT_EQ(r.result, 1);
      EXPECT_EQ(Count(r.errors, 25110), 1);
      ASSERT_EQ(r.verdicts.size(), 1u);
      EXPECT_TRUE(r.verdicts.begin()->second);
    }
  }
}

// Names that try to leave the destination are refused or kept inside it;
// the entries beside them come out.
TEST(UnLha, HostileNamesStayInside) {
  TempDir dir;
  auto stored = [](const std::string& name, const std::string& data, int level = 0) {
    return LhaEntry(LhaEntrySpec("-lh0-", name, data, data).At(level));
  };
  std::string arc = stored("..\\evil1.txt", "1") + stored("../evil2.txt", "2") + stored("a/../../evil3.txt", "3") +
                    stored("/abs/evil4.txt", "4") + stored("C:\\abs\\evil5.txt", "5") +
                    stored(std::string("nul\0byte.txt", 12), "6") + stored("good.txt", "good");
  // A folder extended header that climbs out.
  arc += LhaEntry(LhaEntrySpec("-lh0-", "evil7.txt", "7", "7").At(1).Ext(0x02, std::string("..\xFF..\xFF", 6)));
  arc.push_back('\0');
  const auto path = dir / "hostile.lzh";
  WriteFile(path, arc);
  const auto dest = dir / "deep/dest";
  const auto r = Unpack(path.string(), dest);
  EXPECT_EQ(r.result, 4);
  EXPECT_EQ(Count(r.errors, 25244), 4);
  EXPECT_EQ(ReadFile(dest / "good.txt"), "good");
  EXPECT_EQ(ReadFile(dest / "nul"), "6") << "a NUL ends the name";
  EXPECT_EQ(ReadFile(dest / "abs/evil4.txt"), "4");
  EXPECT_EQ(ReadFile(dest / "abs/evil5.txt"), "5");
  for (auto& e : fs::recursive_directory_iterator(dir.path())) {
    const auto rel = fs::relative(e.path(), dest).string();
    EXPECT_FALSE(e.is_regular_file() && rel.rfind("..", 0) == 0 && e.path() != path) << e.path();
  }
}

// A folder entry of the archive that is a link would carry later entries
// out; the output is never opened through it.
TEST(UnLha, LinkPlantedInTheDestinationIsNotFollowed) {
  TempDir dir;
  fs::create_directories(dir / "dest");
  fs::create_directories(dir / "outside");
  fs::create_directory_symlink(dir / "outside", dir / "dest/link");
  const std::string arc = LhaEntry(LhaEntrySpec("-lh0-", "link\\x.txt", "x", "x")) + std::string(1, '\0');
  WriteFile(dir / "l.lzh", arc);
  const auto r = Unpack((dir / "l.lzh").string(), dir / "dest");
  EXPECT_FALSE(fs::exists(dir / "outside/x.txt"));
  EXPECT_EQ(Count(r.errors, 25235), 1);
}

TEST(UnLha, UnsupportedMethodsSkipOnlyTheirEntry) {
  TempDir dir;
  const std::string data = "payload\n";
  std::string arc;
  const std::vector<std::string> unsupported = {"-lh2-", "-lh3-", "-lz5-", "-lzs-", "-lhx-", "-pm0-"};
  for (const auto& m : unsupported) arc += LhaEntry(LhaEntrySpec(m, m.substr(1, 3) + ".txt", data, data));
  arc += LhaEntry(LhaEntrySpec("-lh0-", "lh0.txt", data, data));
  arc.push_back('\0');
  WriteFile(dir / "u.lzh", arc);
  for (const bool test : {false, true}) {
    const auto r = Unpack((dir / "u.lzh").string(), dir / "out", {.test = test});
    // Each one is reported and fails its verdict, none passed over in silence.
    EXPECT_EQ(Count(r.errors, 25326), static_cast<int>(unsupported.size()));
    EXPECT_EQ(r.result, 1);
    ASSERT_EQ(r.verdicts.size(), unsupported.size() + 1);
    for (const auto& m : unsupported) {
      const std::string name = m.substr(1, 3) + ".txt";
      EXPECT_FALSE(fs::exists(dir / "out" / name)) << m;
      EXPECT_FALSE(r.verdicts.at(test ? name : (dir / "out" / name).string())) << m;
    }
  }
  EXPECT_EQ(ReadFile(dir / "out/lh0.txt"), data);
}

// A level-2 entry: 16-bit header size, method, sizes, time, attribute,
// level, CRC-16 of the data, OS id, then extended headers (type and data),
// each followed by the size of the next and 0 after the last. A header CRC
// extended header (type 0) gets the CRC of the whole header.
std::string Level2Entry(const std::string& Method, const std::string& Data, char Os,
                        const std::vector<std::pair<Byte, std::string>>& Exts) {
  std::string exts;
  for (std::size_t i = 0; i < Exts.size(); ++i) {
    exts += static_cast<char>(Exts[i].first) + Exts[i].second;
    exts += vsktest::Le16(i + 1 < Exts.size() ? static_cast<unsigned>(Exts[i + 1].second.size() + 3) : 0);
  }
  const std::string body = Method + vsktest::Le32(static_cast<UInt32>(Data.size())) +
                           vsktest::Le32(static_cast<UInt32>(Data.size())) + vsktest::Le32(1552558956) + "\x20\x02" +
                           vsktest::Le16(Crc16Of(Data.data(), Data.size())) + Os +
                           vsktest::Le16(Exts.empty() ? 0 : static_cast<unsigned>(Exts[0].second.size() + 3)) + exts;
  std::string header = vsktest::Le16(static_cast<unsigned>(body.size() + 2)) + body;
  std::size_t at = 26;
  for (const auto& [type, data] : Exts) {
    if (type == 0x00) header.replace(at + 1, 2, vsktest::Le16(Crc16Of(header.data(), header.size())));
    at += data.size() + 3;
  }
  return header + Data;
}

UInt32 Le16At(const std::string& S, std::size_t At) {
  return static_cast<Byte>(S[At]) | static_cast<UInt32>(static_cast<Byte>(S[At + 1])) << 8;
}
UInt32 Le32At(const std::string& S, std::size_t At) { return Le16At(S, At) | Le16At(S, At + 2) << 16; }

// The level-2 headers of Archive as OS-9/68k LHA writes them: OS id 'K' and
// a header size without its own two bytes; a header CRC is made anew over
// the whole header.
std::string AsOs9(std::string Archive) {
  std::size_t at = 0;
  while (at + 26 <= Archive.size() && Archive[at + 20] == 2) {
    const std::size_t total = Le16At(Archive, at);
    if (total == 0) break;
    Archive[at + 23] = 'K';
    Archive.replace(at, 2, vsktest::Le16(static_cast<unsigned>(total - 2)));
    std::size_t ext = at + 26, next = Le16At(Archive, at + 24), crcAt = 0;
    for (; next != 0; ext += next, next = Le16At(Archive, ext - 2))
      if (Archive[ext] == '\0') crcAt = ext + 1;
    if (crcAt != 0) {
      Archive.replace(crcAt, 2, std::string(2, '\0'));
      Archive.replace(crcAt, 2, vsktest::Le16(Crc16Of(Archive.data() + at, total)));
    }
    at += total + Le32At(Archive, at + 7);
  }
  return Archive;
}

// Headers that other LHA programs write: OS-9 level 2, whose size field
// leaves out its own bytes, with and without a header CRC, Amiga comments
// behind a NUL in the name, and a level this library does not read, which
// is reported rather than ending the archive quietly.
TEST(UnLha, HeadersOfOtherLhaPrograms) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  std::string os9 = Level2Entry("-lh0-", "from OS-9\n", 'K',
                                {{0x50, vsktest::Le16(0644)}, {0x51, vsktest::Le32(0x00010002)}, {0x01, "os9.txt"}});
  os9.replace(0, 2, vsktest::Le16(Le16At(os9, 0) - 2));
  const std::string withCrc =
      Level2Entry("-lh0-", "checked\n", 'U', {{0x00, std::string(2, '\0')}, {0x01, "crc.txt"}});
  const std::string amiga0 = LhaEntry(LhaEntrySpec("-lh0-", std::string("amiga.txt\0a note", 16), "A", "A"));
  const std::string amiga1 = LhaEntry(LhaEntrySpec("-lh0-", std::string("dir\\b.txt\0other", 15), "B", "B").At(1));
  const auto path = dir / "other.lzh";
  WriteFile(path, os9 + withCrc + amiga0 + amiga1 + std::string(1, '\0'));

  auto r = Unpack(path.string(), dir / "out");
  EXPECT_EQ(r.result, 4);
  EXPECT_TRUE(r.errors.empty()) << r.Describe();
  for (const auto& [name, pass] : r.verdicts) EXPECT_TRUE(pass) << name;
  EXPECT_EQ(ReadFile(dir / "out/os9.txt"), "from OS-9\n");
  EXPECT_EQ(ReadFile(dir / "out/crc.txt"), "checked\n");
  EXPECT_EQ(ReadFile(dir / "out/amiga.txt"), "A");
  EXPECT_EQ(ReadFile(dir / "out/dir/b.txt"), "B");
  auto listed = vsktest::ListArchive(path.string());
  EXPECT_TRUE(listed.errors.empty());
  EXPECT_EQ(listed.Names(), (std::vector<std::string>{"os9.txt", "crc.txt", "amiga.txt", "dir/b.txt"}));
  ASSERT_EQ(listed.entries.size(), 4u);
  EXPECT_EQ(listed.entries[2].comment, "a note");
  EXPECT_EQ(listed.entries[3].comment, "other");

  // What jlha writes at level 2, rewritten as OS-9 LHA writes its headers,
  // reads as the original does.
  WriteFile(dir / "src/a.txt", vsktest::TextBytes(9000, 1));
  WriteFile(dir / "src/sub/b.bin", vsktest::RandomBytes(3000, 2));
  WriteFile(dir / "src/c.txt", "c");
  const std::string jlha = ReadFile(MakeArchive(dir.path(), "2", "j.lzh"));
  const std::string fromOs9 = AsOs9(jlha);
  ASSERT_NE(fromOs9, jlha);
  WriteFile(dir / "k.lzh", fromOs9);
  r = Unpack(dir / "k.lzh", dir / "outK");
  EXPECT_EQ(r.result, 3);
  EXPECT_TRUE(r.errors.empty()) << r.Describe();
  EXPECT_TRUE(r.AllPass());
  ExpectSameTree(dir / "src", dir / "outK/src");
  const auto wanted = vsktest::ListArchive((dir / "j.lzh").string()).Names();
  EXPECT_EQ(wanted.size(), 3u);
  listed = vsktest::ListArchive((dir / "k.lzh").string());
  EXPECT_TRUE(listed.errors.empty());
  EXPECT_EQ(listed.Names(), wanted);

  // A header CRC that does not match is a bad header; the entries before
  // it still come out.
  std::string damaged = withCrc;
  damaged[damaged.find("crc.txt")] = 'C';
  WriteFile(path, amiga0 + damaged + std::string(1, '\0'));
  r = Unpack(path.string(), dir / "out2");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.errors, std::vector<int>{25110});
  EXPECT_FALSE(fs::exists(dir / "out2/Crc.txt"));

  // Level 3 (a 32-bit header size at 24 and extended headers with 32-bit
  // sizes): reported by the reader and the lister alike.
  std::string level3 = vsktest::Le16(4) + "-lh0-" + vsktest::Le32(1) + vsktest::Le32(1) + vsktest::Le32(0) +
                       "\x20\x03" + vsktest::Le16(0) + "U" + vsktest::Le32(0) + vsktest::Le32(11) + "\x01l3.txt" +
                       vsktest::Le32(0);
  level3.replace(24, 4, vsktest::Le32(static_cast<UInt32>(level3.size())));
  WriteFile(path, amiga0 + level3 + "3" + amiga1 + std::string(1, '\0'));
  for (const bool test : {false, true}) {
    r = Unpack(path.string(), dir / "out3", {.test = test});
    EXPECT_EQ(r.result, 1) << test;
    EXPECT_EQ(r.errors, std::vector<int>{25110}) << test;
  }
  listed = vsktest::ListArchive(path.string());
  EXPECT_EQ(listed.Names(), std::vector<std::string>{"amiga.txt"});
  EXPECT_EQ(listed.ErrorCodes(), std::vector<int>{25110});
}

// Unix LHA programs store names in the system's encoding (UTF-8), the
// others in the OEM code page; a Unix name that is no UTF-8 is OEM too.
// jlha writes neither (OS id 0, ISO 8859-1 names), so the headers are made
// here; they go through the reader and the lister.
TEST(UnLha, NamesInTheCodePageOfTheirSystem) {
  TempDir dir;
  const std::string name = "Gr\u00fc\u00dfe \u00fcber.txt";
  const std::string oem = "Gr\x81\xE1"
                          "e \x81"
                          "ber.txt";
  const std::vector<std::pair<char, std::string>> cases = {{'U', name}, {'U', oem}, {'M', oem}, {'\0', oem}};
  int n = 0;
  for (const auto& [os, stored] : cases) {
    SCOPED_TRACE(std::string(1, os ? os : '0') + (stored == name ? " UTF-8" : " OEM"));
    const fs::path arc = dir / ("n" + std::to_string(++n) + ".lzh");
    WriteFile(arc, Level2Entry("-lh0-", "two\n", os, {{0x00, std::string(2, '\0')}, {0x01, stored}}) +
                       std::string(1, '\0'));
    const auto out = dir / ("out" + std::to_string(n));
    const auto r = Unpack(arc, out);
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(r.errors.empty()) << r.Describe();
    EXPECT_EQ(vsktest::Tree(out), (std::map<std::string, std::string>{{name, "two\n"}}));
    EXPECT_EQ(vsktest::ListArchive(arc.string()).Names(), std::vector<std::string>{name});
  }
}

TEST(UnLha, BadHuffmanCodeIsReported) {
  TempDir dir;
  // One block whose literal/length code is a single one-bit code.
  vsktest::BitWriter w;
  w.Put(10, 16).Put(0, 5).Put(3, 5).Put(1, 9).Put(0, 4).Put(0, 4).Put(0, 16);
  const std::string arc = LhaEntry(LhaEntrySpec("-lh5-", "bad.txt", w.Bytes(), "0123456789")) +
                          LhaEntry(LhaEntrySpec("-lh0-", "ok.txt", "ok", "ok")) + std::string(1, '\0');
  WriteFile(dir / "b.lzh", arc);
  const auto r = Unpack((dir / "b.lzh").string(), dir / "out");
  EXPECT_EQ(Count(r.errors, 25120), 1);
  EXPECT_FALSE(r.verdicts.at((dir / "out/bad.txt").string()));
  EXPECT_TRUE(r.verdicts.at((dir / "out/ok.txt").string()));
}

// A read-only attribute makes a read-only file; the DOS time of levels 0
// and 1 becomes the file's time.
TEST(UnLha, DatesAndAttributesFromTheHeaders) {
  TempDir dir;
  const UInt32 dos = static_cast<UInt32>(vsktest::DosDate(2001, 2, 3)) << 16 | vsktest::DosTime(4, 5, 6);
  const std::string arc = LhaEntry(LhaEntrySpec("-lh0-", "ro.txt", "r", "r").Dated(dos).Attr(0x21)) +
                          LhaEntry(LhaEntrySpec("-lh0-", "rw.txt", "w", "w").At(1).Dated(dos).Attr(0x20)) +
                          std::string(1, '\0');
  WriteFile(dir / "d.lzh", arc);
  const auto r = Unpack((dir / "d.lzh").string(), dir / "out");
  EXPECT_EQ(r.result, 2);
  struct stat st;
  ASSERT_EQ(stat((dir / "out/ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  ASSERT_EQ(stat((dir / "out/rw.txt").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0200, 0u);
  const auto want = DateTimeToUnix(DosDateTimeToDateTime(dos));
  EXPECT_EQ(st.st_mtime, want);
}

// Self-extractors: 128 zero bytes, or an executable, in front of the archive.
TEST(UnLha, ArchiveBehindAPrefix) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  WriteFile(dir / "src/a.txt", vsktest::TextBytes(9000, 1));
  const auto arc = MakeArchive(dir.path(), "2", "p.lzh");
  const std::string bytes = ReadFile(arc);
  const std::map<std::string, std::string> prefixes = {{"zeros.lzh", std::string(128, '\0')},
                                                       {"stub.exe", vsktest::SfxStub(20000)}};
  for (const auto& [name, prefix] : prefixes) {
    WriteFile(dir / name, prefix + bytes);
    const auto r = Unpack((dir / name).string(), dir / ("out-" + name));
    EXPECT_EQ(r.result, 1) << name;
    EXPECT_EQ(ReadFile(dir / ("out-" + name) / "src/a.txt"), ReadFile(dir / "src/a.txt")) << name;
  }
}

TEST(UnLha, CancelEndsTheRun) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  WriteFile(dir / "src/a.txt", vsktest::TextBytes(300000, 1));
  WriteFile(dir / "src/b.txt", vsktest::TextBytes(300000, 2));
  const auto arc = MakeArchive(dir.path(), "", "x.lzh");
  TUnLha u;
  RunLog r;
  int progress = 0;
  Record(u, r);
  u.OnProgress = [&](TZipCommon& s, Byte, Byte) {
    if (++progress == 2) s.SetCancel(true);
  };
  Aim(u, arc, dir / "out");
  RunInto(u, r, false);
  EXPECT_GE(r.Count(25443), 1);
  EXPECT_FALSE(fs::exists(dir / "out/src/b.txt") && fs::exists(dir / "out/src/a.txt") &&
               ReadFile(dir / "out/src/b.txt") == ReadFile(dir / "src/b.txt"));
}

}  // namespace
}  // namespace vsk
