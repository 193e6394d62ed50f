// Extracting and testing ARJ archives written by arj: every method, garbled
// entries, volume sets, folders; damaged, cut and hostile archives; and
// the method-4 decoder on streams built bit by bit.

#include "archive/formats/arj/unarj.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "base/checksum.h"
#include "archive/formats/arj/arjfast.h"
#include "archive/formats/arj/arjheader.h"
#include "tests/support/archivebytes.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Aim;
using vsktest::Count;
using vsktest::ExpectSameTree;
using vsktest::MakeSampleTree;
using vsktest::ReadFile;
using vsktest::Record;
using vsktest::RunInto;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

struct RunLog : vsktest::RunLog {
  std::vector<std::string> volumes;  // names OnNextVolume was asked for
  int passwordQuestions = 0;
};

struct Options {
  bool test = false;
  bool createDirs = true;
  std::vector<std::string> spec = {"*.*"};
  // Answers to OnGetPassword in turn; past the end the user gives up.
  std::vector<std::string> passwords = {};
  bool passwordEvent = true;
  bool volumeEvent = true;
  bool declineVolumes = false;
  bool confirm = false;
  int attempts = 3;
  bool withEnd = true;
};

RunLog Unpack(const std::string& Archive, const fs::path& Dest, const Options& O = {}) {
  TUnArj u;
  RunLog r;
  Record(u, r, O.withEnd);
  if (O.passwordEvent)
    u.OnGetPassword = [&r, &O](TZipCommon&, const std::string&, std::string& pw, bool& again) {
      const auto i = static_cast<std::size_t>(r.passwordQuestions++);
      if (i < O.passwords.size())
        pw = O.passwords[i];
      else
        again = false;
    };
  if (O.volumeEvent)
    u.OnNextVolume = [&r, &O](TZipCommon&, std::string& name, const std::string&, bool exists, bool& cancel) {
      r.volumes.push_back(name);
      cancel = O.declineVolumes || !exists;
    };
  if (O.confirm) {
    u.ConfirmOverwrites = true;
    u.OnFileExists = [](TZipCommon&, const std::string&, std::string&, TOverwriteMode& m) { m = omOverwrite; };
  }
  Aim(u, Archive, Dest, O.spec);
  u.CreateStoredDirs = O.createDirs;
  u.PasswordAttempts = O.attempts;
  RunInto(u, r, O.test);
  return r;
}

std::string Arj(const fs::path& Dir, const std::string& Name, const std::string& Args) {
  const auto arc = (Dir / Name).string();
  const auto r = RunTool("arj a -y " + Args + " " + ShellQuote(arc) + " src", Dir);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return arc;
}

// arj's own test of an archive.
void ExpectArjAccepts(const std::string& Archive, const std::string& Args = "") {
  const auto r = RunTool("arj t -y " + Args + " " + ShellQuote(Archive));
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

struct Header {
  std::size_t offset = 0;
  TArjHeader h;
};

// The headers of an archive in memory, the main header first.
std::vector<Header> Headers(const std::string& Bytes) {
  std::vector<Header> out;
  std::size_t pos = 0;
  const auto* b = reinterpret_cast<const Byte*>(Bytes.data());
  for (;;) {
    Header x;
    x.offset = pos;
    if (pos >= Bytes.size() || x.h.Parse(b + pos, Bytes.size() - pos) != TArjParse::Ok) break;
    EXPECT_EQ(x.h.ExtendedSize, 0);
    pos += static_cast<std::size_t>(x.h.Size()) + (x.h.IsMain() ? 0 : x.h.PackedSize);
    out.push_back(x);
  }
  return out;
}

const Header* Find(const std::vector<Header>& Hs, const std::string& Name) {
  for (const auto& x : Hs)
    if (x.h.Name == Name) return &x;
  return nullptr;
}

TEST(UnArj, EveryMethodOfArjByteForByte) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  const int files = MakeSampleTree(dir.path());
  for (int m : {0, 1, 2, 3, 4}) {
    SCOPED_TRACE(m);
    const auto arc = Arj(dir.path(), "m" + std::to_string(m) + ".arj", "-r -m" + std::to_string(m));
    ExpectArjAccepts(arc);
    const auto hs = Headers(ReadFile(arc));
    ASSERT_NE(Find(hs, "src/readme.txt"), nullptr);
    EXPECT_EQ(Find(hs, "src/readme.txt")->h.Method, m);

    const auto out = dir / ("out" + std::to_string(m));
    const auto r = Unpack(arc, out);
    EXPECT_EQ(r.result, files);
    EXPECT_TRUE(r.errors.empty()) << r.errors.size();
    EXPECT_EQ(r.failures, 0);
    EXPECT_EQ(ExpectSameTree(dir / "src", out / "src", false), files);
    // arj here keeps Unix time stamps; the file gets its time back (to the
    // two seconds of a DOS time).
    const auto drift = std::chrono::duration_cast<std::chrono::seconds>(
        fs::last_write_time(out / "src/readme.txt") - fs::last_write_time(dir / "src/readme.txt"));
    EXPECT_LE(std::abs(drift.count()), 2);

    const auto t = Unpack(arc, dir / "none", {.test = true});
    EXPECT_EQ(t.result, files);
    EXPECT_EQ(t.failures, 0);
    EXPECT_TRUE(t.errors.empty());
    EXPECT_EQ(t.verdicts.size(), static_cast<std::size_t>(files));
    EXPECT_TRUE(t.verdicts.at("src/big.bin"));
    EXPECT_FALSE(fs::exists(dir / "none"));
  }

  // A file mask picks entries; without stored folders the names go flat.
  const auto arc = (dir / "m1.arj").string();
  const auto some = Unpack(arc, dir / "some", {.spec = {"*.txt"}});
  EXPECT_EQ(some.result, 4);
  EXPECT_TRUE(fs::exists(dir / "some/src/sub/deeper/empty.txt"));
  EXPECT_EQ(fs::file_size(dir / "some/src/sub/deeper/empty.txt"), 0u);
  EXPECT_FALSE(fs::exists(dir / "some/src/big.bin"));
}

TEST(UnArj, FoldersComeOutOnlyWhenAsked) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  MakeSampleTree(dir.path());
  const auto arc = Arj(dir.path(), "d.arj", "-r -a1 -m2");
  const auto hs = Headers(ReadFile(arc));
  ASSERT_NE(Find(hs, "src/emptydir"), nullptr);
  EXPECT_EQ(Find(hs, "src/emptydir")->h.FileType, kArjTypeDirectory);

  const auto with = Unpack(arc, dir / "with");
  EXPECT_TRUE(with.errors.empty());
  EXPECT_TRUE(fs::is_directory(dir / "with/src/emptydir"));
  EXPECT_EQ(ExpectSameTree(dir / "src", dir / "with/src", false), 6);
  // Folders are not counted as files.
  EXPECT_EQ(with.result, 6);

  const auto without = Unpack(arc, dir / "without", {.createDirs = false});
  EXPECT_EQ(without.result, 6);
  EXPECT_FALSE(fs::exists(dir / "without/src/emptydir"));
  EXPECT_TRUE(fs::exists(dir / "without/src/sub/deeper/empty.txt"));

  const auto t = Unpack(arc, dir / "t", {.test = true});
  EXPECT_EQ(t.failures, 0);
  EXPECT_TRUE(t.errors.empty());
}

TEST(UnArj, GarbledEntriesNeedTheirPassword) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  const int files = MakeSampleTree(dir.path());
  for (int m : {0, 1, 4}) {
    SCOPED_TRACE(m);
    const auto arc = Arj(dir.path(), "g" + std::to_string(m) + ".arj", "-r -gsecret -m" + std::to_string(m));
    ExpectArjAccepts(arc, "-gsecret");
    const auto hs = Headers(ReadFile(arc));
    ASSERT_NE(Find(hs, "src/readme.txt"), nullptr);
    EXPECT_TRUE(Find(hs, "src/readme.txt")->h.Flags & kArjFlagGarbled);

    // Asked once; the answer serves every entry after it.
    const auto out = dir / ("g" + std::to_string(m));
    const auto r = Unpack(arc, out, {.passwords = {"secret"}});
    EXPECT_EQ(r.passwordQuestions, 1);
    EXPECT_EQ(r.result, files);
    EXPECT_EQ(r.failures, 0);
    EXPECT_EQ(ExpectSameTree(dir / "src", out / "src", false), files);

    const auto t = Unpack(arc, dir / "none", {.test = true, .passwords = {"secret"}});
    EXPECT_EQ(t.result, files);
    EXPECT_EQ(t.failures, 0);
  }

  const auto arc = (dir / "g1.arj").string();
  // A wrong answer shows in the CRC; the next attempt gets it right.
  const auto second = Unpack(arc, dir / "second", {.passwords = {"wrong", "secret"}});
  EXPECT_EQ(second.passwordQuestions, 2);
  EXPECT_EQ(second.result, files);
  EXPECT_EQ(ExpectSameTree(dir / "src", dir / "second/src", false), files);

  // All attempts wrong: the entry fails and the other garbled entries are
  // given up without asking again. The empty file has no data to garble,
  // so any password passes it.
  const auto wrong = Unpack(arc, dir / "wrong", {.test = true, .passwords = {"a", "b", "c", "d"}, .attempts = 3});
  EXPECT_EQ(wrong.passwordQuestions, 3);
  EXPECT_EQ(wrong.result, 1);
  ASSERT_EQ(wrong.verdicts.size(), static_cast<std::size_t>(files));
  for (const auto& [name, pass] : wrong.verdicts) EXPECT_EQ(pass, name == "src/sub/deeper/empty.txt") << name;

  // No more than ten attempts, whatever is asked for.
  const auto many = Unpack(arc, dir / "many", {.passwords = std::vector<std::string>(20, "x"), .attempts = 50});
  EXPECT_EQ(many.passwordQuestions, 10);
  EXPECT_EQ(many.result, 1);
  EXPECT_FALSE(fs::exists(dir / "many/src/readme.txt") &&
               ReadFile(dir / "many/src/readme.txt") == ReadFile(dir / "src/readme.txt"));

  // The user gives up at once.
  const auto giveUp = Unpack(arc, dir / "giveup", {.test = true});
  EXPECT_EQ(giveUp.passwordQuestions, 1);
  EXPECT_EQ(giveUp.result, 0);
  EXPECT_EQ(giveUp.failures, files);
  EXPECT_TRUE(giveUp.errors.empty());

  // Nobody to ask.
  const auto noEvent = Unpack(arc, dir / "noevent", {.passwordEvent = false});
  EXPECT_EQ(noEvent.result, 0);
  ASSERT_FALSE(noEvent.errors.empty());
  EXPECT_EQ(noEvent.errors[0], msg::RequiredEventNotAssigned);
  EXPECT_EQ(noEvent.reports[0].extended, "OnGetPassword");
}

TEST(UnArj, VolumeSetsGoOnFromVolumeToVolume) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  const int files = MakeSampleTree(dir.path());
  for (const std::string opts : {"-m1", "-m4", "-m0 -gsecret"}) {
    SCOPED_TRACE(opts);
    fs::remove_all(dir / "vol");
    fs::create_directories(dir / "vol");
    const auto arc = Arj(dir.path(), "vol/v.arj", "-r -v300K " + opts);
    ASSERT_TRUE(fs::exists(dir / "vol/v.a01"));
    ASSERT_TRUE(fs::exists(dir / "vol/v.a03"));
    ExpectArjAccepts(arc, "-v -gsecret");

    const auto out = dir / "vout";
    fs::remove_all(out);
    const auto r = Unpack(arc, out, {.passwords = {"secret"}, .confirm = true});
    EXPECT_TRUE(r.errors.empty()) << (r.errors.empty() ? 0 : r.errors[0]);
    EXPECT_EQ(r.failures, 0);
    // A file split over volumes counts once.
    EXPECT_EQ(r.result, files);
    EXPECT_EQ(ExpectSameTree(dir / "src", out / "src", false), files);
    ASSERT_GE(r.volumes.size(), 3u);
    EXPECT_EQ(r.volumes[0], (dir / "vol/v.a01").string());
    EXPECT_EQ(r.volumes[1], (dir / "vol/v.a02").string());

    const auto t = Unpack(arc, dir / "none", {.test = true, .passwords = {"secret"}});
    EXPECT_EQ(t.result, files);
    EXPECT_EQ(t.failures, 0);
    EXPECT_TRUE(t.errors.empty());
  }

  const auto arc = (dir / "vol/v.arj").string();
  // An extraction over the files of an earlier one gives the same bytes:
  // the continued parts go after the first part, not after the old file.
  const auto again = Unpack(arc, dir / "vout", {.passwords = {"secret"}});
  EXPECT_EQ(again.result, files);
  EXPECT_EQ(ExpectSameTree(dir / "src", dir / "vout/src", false), files);

  // Declined: the walk ends with a cancel and the split file is not whole.
  const auto declined = Unpack(arc, dir / "declined", {.passwords = {"secret"}, .declineVolumes = true});
  EXPECT_EQ(declined.volumes.size(), 1u);
  EXPECT_EQ(Count(declined.errors, msg::UserCanceled), 1);
  EXPECT_LT(declined.result, files);

  // Without the event the set cannot be followed.
  const auto noEvent = Unpack(arc, dir / "noevent", {.passwords = {"secret"}, .volumeEvent = false});
  EXPECT_EQ(Count(noEvent.errors, msg::RequiredEventNotAssigned), 1);

  // A later volume alone: the tail of a file begun before it is left out;
  // files that start in it come out, but the last one, whose rest was
  // declined, fails and leaves nothing.
  const auto middle = Unpack((dir / "vol/v.a01").string(), dir / "middle",
                             {.passwords = {"secret"}, .declineVolumes = true});
  EXPECT_EQ(middle.failures, 1);
  int started = 0;
  for (auto& e : fs::recursive_directory_iterator(dir / "middle")) {
    if (!e.is_regular_file()) continue;
    const auto rel = fs::relative(e.path(), dir / "middle");
    const std::string got = ReadFile(e.path());
    EXPECT_EQ(ReadFile(dir / rel).compare(0, got.size(), got), 0) << rel;
    ++started;
  }
  const auto hs = Headers(ReadFile(dir / "vol/v.a01"));
  ASSERT_GE(hs.size(), 2u);
  EXPECT_TRUE(hs[1].h.Flags & kArjFlagExtFile);
  EXPECT_FALSE(fs::exists(dir / "middle" / hs[1].h.Name));
  EXPECT_EQ(started, static_cast<int>(hs.size()) - 3);
  EXPECT_EQ(middle.result, started);
}

// Every later volume of a set is the archive's from the start: files named
// like the second and third volumes, in the first volume, are refused when
// the set is extracted into its own folder, also when the user agreed to
// overwrite; every volume stays as it was and the other files come out. An
// archive that is no set replaces such a file as any other.
TEST(UnArj, NeverWritesOverItsLaterVolumes) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  const std::string big = vsktest::RandomBytes(120000, 5);
  WriteFile(dir / "src/v.a01", "not volume 2");
  WriteFile(dir / "src/v.a02", "not volume 3");
  WriteFile(dir / "src/big.bin", big);
  WriteFile(dir / "src/after.txt", "after");
  fs::create_directories(dir / "set");
  const auto made = RunTool("arj a -y -v50K ../set/v.arj v.a01 v.a02 big.bin after.txt", dir / "src");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const fs::path set = dir / "set";
  const std::vector<fs::path> volumes = {set / "v.arj", set / "v.a01", set / "v.a02"};
  ASSERT_FALSE(fs::exists(set / "v.a03"));
  std::vector<std::string> before;
  for (const auto& v : volumes) before.push_back(ReadFile(v));
  for (const bool confirm : {false, true}) {
    SCOPED_TRACE(confirm);
    fs::remove(set / "big.bin");
    fs::remove(set / "after.txt");
    const auto r = Unpack(volumes[0].string(), set, {.confirm = confirm});
    EXPECT_EQ(r.errors, (std::vector<int>{msg::SameInputOutput, msg::SameInputOutput})) << r.Describe();
    if (r.reports.size() == 2) {
      EXPECT_EQ(r.reports[0].file, volumes[1].string());
      EXPECT_EQ(r.reports[1].file, volumes[2].string());
    }
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.volumes, (std::vector<std::string>{volumes[1].string(), volumes[2].string()}));
    // Compared as a whole: a destroyed volume would print all its bytes.
    for (std::size_t i = 0; i < volumes.size(); ++i) EXPECT_TRUE(ReadFile(volumes[i]) == before[i]) << volumes[i];
    EXPECT_TRUE(ReadFile(set / "big.bin") == big);
    EXPECT_EQ(ReadFile(set / "after.txt"), "after");
  }

  WriteFile(dir / "src1/o.a01", "new");
  fs::create_directories(dir / "one");
  const auto single = RunTool("arj a -y ../one/o.arj o.a01", dir / "src1");
  ASSERT_EQ(single.exitCode, 0) << single.output;
  WriteFile(dir / "one/o.a01", "old");
  const auto r = Unpack((dir / "one/o.arj").string(), dir / "one");
  EXPECT_TRUE(r.errors.empty()) << r.Describe();
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(ReadFile(dir / "one/o.a01"), "new");
}

// A file split over volumes replaces an existing file only once all of its
// parts came out sound: a damaged later part, or a set that ends before the
// file does, leaves the old file as it was. Where no file stood, a damaged
// file comes out, to be salvaged.
TEST(UnArj, ASplitFileReplacesAFileOnlyWhenWhole) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  const std::string big = vsktest::RandomBytes(120000, 7);
  WriteFile(dir / "src/big.bin", big);
  WriteFile(dir / "src/after.txt", "after");
  fs::create_directories(dir / "set");
  const auto made = RunTool("arj a -y -m0 -v50K ../set/v.arj big.bin after.txt", dir / "src");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ASSERT_TRUE(fs::exists(dir / "set/v.a01"));
  const std::string arc = (dir / "set/v.arj").string();
  // The same set with one byte of the file's second part changed.
  fs::copy(dir / "set", dir / "bad");
  std::string second = ReadFile(dir / "bad/v.a01");
  second[second.size() / 2] ^= 0x55;
  WriteFile(dir / "bad/v.a01", second);
  const std::string bad = (dir / "bad/v.arj").string();

  for (const bool confirm : {false, true}) {
    SCOPED_TRACE(confirm);
    const fs::path out = dir / (confirm ? "asked" : "overwrite");
    WriteFile(out / "big.bin", "old");
    const auto r = Unpack(bad, out, {.confirm = confirm});
    EXPECT_FALSE(r.Verdict((out / "big.bin").string())) << r.Describe();
    EXPECT_TRUE(ReadFile(out / "big.bin") == "old");
    EXPECT_EQ(ReadFile(out / "after.txt"), "after");
    // The sound set replaces it whole.
    const auto good = Unpack(arc, out, {.confirm = confirm});
    EXPECT_TRUE(good.AllPass()) << good.Describe();
    EXPECT_TRUE(ReadFile(out / "big.bin") == big);
  }
  const auto fresh = Unpack(bad, dir / "fresh");
  EXPECT_FALSE(fresh.Verdict((dir / "fresh/big.bin").string()));
  const std::string salvaged = ReadFile(dir / "fresh/big.bin");
  EXPECT_EQ(salvaged.size(), big.size());
  EXPECT_FALSE(salvaged == big);

  // The set ends after the first part.
  WriteFile(dir / "declined/big.bin", "old");
  const auto declined = Unpack(arc, dir / "declined", {.declineVolumes = true});
  EXPECT_TRUE(ReadFile(dir / "declined/big.bin") == "old");
  EXPECT_EQ(declined.result, 0);
  // Declined where no file stood: the run is cancelled, and nothing of the
  // file is left or counted.
  const auto part = Unpack(arc, dir / "part", {.declineVolumes = true});
  EXPECT_FALSE(fs::exists(dir / "part/big.bin"));
  EXPECT_EQ(part.result, 0);
  EXPECT_FALSE(part.Verdict((dir / "part/big.bin").string()));
}

// A file split over volumes gets one verdict, from its last part, and
// counts only when every part came: a declined volume, a cancel between
// its parts and one in its second part leave an existing file as it was,
// count nothing and leave nothing of the new file.
TEST(UnArj, ASplitFileHasOneVerdictAndCountsOnlyWhenWhole) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  const std::string big = vsktest::RandomBytes(200000, 11);
  WriteFile(dir / "src/big.bin", big);
  fs::create_directories(dir / "set");
  ASSERT_EQ(RunTool("arj a -y -m0 -v60K ../set/v.arj big.bin", dir / "src").exitCode, 0);
  ASSERT_TRUE(fs::exists(dir / "set/v.a02"));
  enum class How { Whole, Missing, CancelBetweenParts, CancelInPart2 };
  for (const How how : {How::Whole, How::Missing, How::CancelBetweenParts, How::CancelInPart2}) {
    const std::string n = std::to_string(static_cast<int>(how));
    SCOPED_TRACE(n);
    const fs::path set = dir / ("set" + n), out = dir / ("out" + n);
    fs::copy(dir / "set", set);
    if (how == How::Missing) fs::remove(set / "v.a02");
    WriteFile(out / "big.bin", "old");
    TUnArj u;
    vsktest::RunLog log;
    Record(u, log);
    Aim(u, set / "v.arj", out);
    std::vector<TEntryOutcome> outcomes;
    const auto record = u.OnEnd;
    u.OnEnd = [&](TZipCommon& Sender, const std::string& File, bool Pass) {
      outcomes.push_back(static_cast<TUnBase&>(Sender).EntryOutcome);
      record(Sender, File, Pass);
    };
    int asked = 0;
    u.OnNextVolume = [&](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) {
      ++asked;
      Cancel = !Exists || how == How::CancelBetweenParts;
    };
    u.OnProgress = [&](TZipCommon& Sender, Byte ByFile, Byte) {
      if (how == How::CancelInPart2 && asked == 1 && ByFile > 50) Sender.SetCancel(true);
    };
    RunInto(u, log, false);
    const bool whole = how == How::Whole;
    EXPECT_EQ(log.result, whole ? 1 : 0);
    EXPECT_EQ(outcomes, std::vector<TEntryOutcome>{whole ? eoWritten : eoCancelled});
    EXPECT_EQ(log.Verdict((out / "big.bin").string()), whole);
    EXPECT_EQ(vsktest::Tree(out).size(), 1u);
    EXPECT_TRUE(ReadFile(out / "big.bin") == (whole ? big : std::string("old")));
  }
}

// Puts a 32-bit value into a header of an archive in memory.
void Put32(std::string& Bytes, std::size_t At, UInt32 V) { Bytes.replace(At, 4, vsktest::Le32(V)); }

TEST(UnArj, DamagedCutAndHostileArchives) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  fs::create_directories(dir / "src");
  WriteFile(dir / "src/aaaa.txt", vsktest::TextBytes(30000, 7));
  WriteFile(dir / "src/bbbb.txt", vsktest::TextBytes(30000, 8));
  WriteFile(dir / "src/cccc.txt", vsktest::TextBytes(30000, 9));
  const auto arc = Arj(dir.path(), "h.arj", "-m1");
  const std::string bytes = ReadFile(arc);
  const auto hs = Headers(bytes);
  ASSERT_EQ(hs.size(), 4u);
  const auto path = (dir / "x.arj").string();

  // A damaged byte in the second entry's data: only it fails.
  {
    std::string b = bytes;
    const auto* h = Find(hs, "src/bbbb.txt");
    b[h->offset + static_cast<std::size_t>(h->h.Size()) + 100] ^= 0x55;
    WriteFile(path, b);
    const auto r = Unpack(path, dir / "crc");
    EXPECT_FALSE(r.verdicts.at((dir / "crc/src/bbbb.txt").string()));
    EXPECT_TRUE(r.verdicts.at((dir / "crc/src/aaaa.txt").string()));
    EXPECT_TRUE(r.verdicts.at((dir / "crc/src/cccc.txt").string()));
    EXPECT_EQ(ReadFile(dir / "crc/src/cccc.txt"), ReadFile(dir / "src/cccc.txt"));
    // Without OnEnd the failure is reported.
    const auto t = Unpack(path, dir / "t", {.test = true, .withEnd = false});
    EXPECT_EQ(Count(t.errors, msg::CrcFailed), 1);
  }

  // Cut inside the second entry's header, in its data, and just before
  // the end marker.
  for (std::size_t cut : {hs[2].offset + 10, hs[2].offset + 300, bytes.size() - 4}) {
    SCOPED_TRACE(cut);
    WriteFile(path, bytes.substr(0, cut));
    const auto r = Unpack(path, dir / "cut");
    EXPECT_TRUE(r.verdicts.at((dir / "cut" / hs[1].h.Name).string()));
    const bool inHeader = cut < hs[2].offset + static_cast<std::size_t>(hs[2].h.Size());
    const bool atEnd = cut == bytes.size() - 4;
    EXPECT_EQ(fs::exists(dir / "cut" / hs[3].h.Name), atEnd);
    EXPECT_EQ(Count(r.errors, msg::BadFileHeader), 1);
    if (!inHeader && !atEnd) {
      EXPECT_FALSE(r.verdicts.at((dir / "cut" / hs[2].h.Name).string()));
    }
    fs::remove_all(dir / "cut");
  }

  // Names that would leave the destination: refused, or kept inside it.
  {
    std::string b = bytes;
    const auto name = [&](const std::string& from, const std::string& to) {
      const auto at = b.find(from);
      ASSERT_NE(at, std::string::npos);
      b.replace(at, from.size(), to);
    };
    name("src/aaaa.txt", std::string("../../a.txt\0", 12));
    name("src/bbbb.txt", "/tmp/bbbb.tx");
    name("src/cccc.txt", "src\\..\\c.txt");
    WriteFile(path, b);
    const auto out = dir / "deep/dest";
    const auto r = Unpack(path, out);
    EXPECT_EQ(Count(r.errors, msg::InvalidFileName), 2);
    EXPECT_EQ(r.result, 1);
    EXPECT_FALSE(fs::exists(dir / "a.txt"));
    EXPECT_FALSE(fs::exists(dir / "deep/a.txt"));
    EXPECT_FALSE(fs::exists(dir / "deep/c.txt"));
    EXPECT_EQ(ReadFile(out / "tmp/bbbb.tx"), ReadFile(dir / "src/bbbb.txt"));
  }

  // A version this reader does not know and an unknown method are left out
  // with their messages; the other entries come out.
  {
    std::string b = bytes;
    b[Find(hs, "src/aaaa.txt")->offset + 6] = 4;  // minimum version
    b[Find(hs, "src/bbbb.txt")->offset + 9] = 7;  // method
    b[Find(hs, "src/cccc.txt")->offset + 10] = 9; // file type
    WriteFile(path, b);
    const auto r = Unpack(path, dir / "ver");
    EXPECT_EQ(Count(r.errors, kArjVersionError), 1);
    EXPECT_EQ(Count(r.errors, msg::UnsupportedMethod), 1);
    EXPECT_EQ(Count(r.errors, msg::UnknownFileType), 1);
    EXPECT_EQ(r.result, 0);
    EXPECT_FALSE(fs::exists(dir / "ver/src"));
  }

  // A packed size past the end of the file and an absurd unpacked size:
  // the entry fails, nothing runs away.
  {
    std::string b = bytes;
    const auto* c = Find(hs, "src/cccc.txt");
    Put32(b, c->offset + 4 + 16, 0x7FFFFFFF);
    Put32(b, c->offset + 4 + 20, 0xFFFFFFFF);
    WriteFile(path, b);
    const auto r = Unpack(path, dir / "big", {.test = true});
    EXPECT_TRUE(r.verdicts.at("src/aaaa.txt"));
    EXPECT_FALSE(r.verdicts.at("src/cccc.txt"));
  }

  // Not an archive after the main header.
  {
    WriteFile(path, bytes.substr(0, hs[1].offset) + std::string(64, 'z'));
    const auto r = Unpack(path, dir / "junk");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(Count(r.errors, msg::BadFileHeader), 1);
  }
}

TEST(UnArj, SelfExtractorsAreReadBehindTheirProgram) {
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  TempDir dir;
  fs::create_directories(dir / "src");
  WriteFile(dir / "src/one.txt", vsktest::TextBytes(40000, 3));
  const auto arc = Arj(dir.path(), "s.arj", "-m3");
  const auto exe = (dir / "s.exe").string();
  WriteFile(exe, vsktest::SfxStub(20000) + ReadFile(arc));
  TUnArj probe;
  probe.SetArchiveFile(exe);
  ASSERT_EQ(probe.ArcType(), atArjExe);
  const auto r = Unpack(exe, dir / "out");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(ReadFile(dir / "out/src/one.txt"), ReadFile(dir / "src/one.txt"));
}

// Bits most significant first.
struct BitWriter {
  std::string bytes;
  int used = 8;
  void Put(UInt32 value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used == 8) {
        bytes.push_back('\0');
        used = 0;
      }
      if ((value >> i) & 1) bytes.back() = static_cast<char>(bytes.back() | (0x80 >> used));
      ++used;
    }
  }
  void Literal(Byte c) {
    Put(0, 1);
    Put(c, 8);
  }
  // A match of Length + 2 bytes, Length 1..254, Distance 0..15871.
  void Match(UInt32 Length, UInt32 Distance) {
    UInt32 base = 0, weight = 1;
    int ones = 0;
    while (ones < 7 && Length >= base + weight) {
      base += weight;
      weight <<= 1;
      ++ones;
    }
    for (int i = 0; i < ones; ++i) Put(1, 1);
    if (ones < 7) Put(0, 1);
    Put(Length - base, ones);
    base = 0;
    weight = 512;
    ones = 0;
    while (ones < 4 && Distance >= base + weight) {
      base += weight;
      weight <<= 1;
      ++ones;
    }
    for (int i = 0; i < ones; ++i) Put(1, 1);
    if (ones < 4) Put(0, 1);
    Put(Distance - base, 9 + ones);
  }
};

class TStringSource : public TCodecSource {
 public:
  explicit TStringSource(std::string S) : FData(std::move(S)) {}
  Int32 Read(Byte* Buffer, Int32 Count) override {
    const auto n = std::min<std::size_t>(FData.size() - FPos, static_cast<std::size_t>(Count));
    std::memcpy(Buffer, FData.data() + FPos, n);
    FPos += n;
    return static_cast<Int32>(n);
  }

 private:
  std::string FData;
  std::size_t FPos = 0;
};

class TStringSink : public TCodecSink {
 public:
  void Write(const Byte* Buffer, Int32 Count) override { Out.append(reinterpret_cast<const char*>(Buffer), Count); }
  std::string Out;
};

TEST(ArjFastDecoder, StreamsBuiltBitByBit) {
  // One literal, then matches at distance 0 repeat it.
  {
    BitWriter w;
    w.Literal('q');
    w.Match(254, 0);
    w.Match(1, 0);
    TStringSource in(w.bytes);
    TStringSink out;
    TArjFastDecoder d;
    EXPECT_EQ(d.Decode(in, out, 1 + 256 + 3), TArjFastDecoder::TResult::Ok);
    EXPECT_EQ(out.Out, std::string(260, 'q'));
  }
  // Every length and distance form, checked against a plain copy; more
  // output than the ring holds.
  {
    BitWriter w;
    std::string want;
    for (int i = 0; i < 16000; ++i) {
      const Byte c = static_cast<Byte>(i * 7 + 3);
      w.Literal(c);
      want.push_back(static_cast<char>(c));
    }
    UInt32 seed = 5;
    while (want.size() < 200000) {
      seed = seed * 1103515245u + 12345u;
      const UInt32 length = 1 + (seed >> 8) % 254;
      const UInt32 distance = (seed >> 16) % 15872;
      w.Match(length, distance);
      for (UInt32 k = 0; k < length + 2; ++k) want.push_back(want[want.size() - distance - 1]);
    }
    TStringSource in(w.bytes);
    TStringSink out;
    TArjFastDecoder d;
    EXPECT_EQ(d.Decode(in, out, static_cast<Int64>(want.size())), TArjFastDecoder::TResult::Ok);
    EXPECT_TRUE(out.Out == want);

    // Asked for less: no byte more is written.
    TStringSource in2(w.bytes);
    TStringSink out2;
    EXPECT_EQ(d.Decode(in2, out2, 16005), TArjFastDecoder::TResult::Ok);
    EXPECT_TRUE(out2.Out == want.substr(0, 16005));
  }
  // A match before the first byte copies zeros; input that runs out is
  // corrupt and what came before is kept.
  {
    BitWriter w;
    w.Match(3, 100);
    w.Literal('z');
    TStringSource in(w.bytes);
    TStringSink out;
    TArjFastDecoder d;
    EXPECT_EQ(d.Decode(in, out, 1000), TArjFastDecoder::TResult::Corrupt);
    ASSERT_GE(out.Out.size(), 6u);
    EXPECT_EQ(out.Out.substr(0, 6), std::string(5, '\0') + "z");
    EXPECT_LE(out.Out.size(), 1000u);
  }
}

}  // namespace
}  // namespace vsk
