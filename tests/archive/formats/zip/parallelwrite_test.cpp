// Writers that deflate entries ahead on worker threads: the archives and
// the events of a run are those of the serial writer (ThreadCount 1), byte
// for byte, for ZIP, JAR and BH, also when updating, encrypting, refusing
// entries and when sources change or vanish during the run; a cancelled run
// leaves the target and its folders as they were.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <tuple>

#include "base/pump.h"
#include "archive/formats/lha/bhwriter.h"
#include "tests/archive/formats/zip/zipwrite_support.h"

namespace vsktest {
namespace {

using vsk::Byte;
using vsk::TCompBase;

enum Kind { kZip, kJar, kBh };

std::unique_ptr<TCompBase> MakeWriter(Kind k) {
  switch (k) {
    case kJar: return std::make_unique<vsk::TJar>();
    case kBh: return std::make_unique<vsk::TBlakHole>();
    default: return std::make_unique<vsk::TZip>();
  }
}

// Every kind of entry: deflated text in many sizes, small files both ways
// around the in-memory limit, empty, incompressible, stored by type, large
// ones (one beyond the workers' memory limit) and an empty folder.
Tree MixedTree() {
  Tree t = {
      {"tiny/a.txt", std::string(100, 'a')},
      {"tiny/noise.bin", RandomBytes(100, 1)},
      {"tiny/edge256.txt", TextBytes(256, 2)},
      {"tiny/edge257.txt", TextBytes(257, 3)},
      {"empty.dat", ""},
      {"noise.bin", RandomBytes(300000, 4)},
      {"photo.jpg", TextBytes(50000, 5)},
      {"big/noise.bin", RandomBytes(5 << 20, 6)},
      {"big/text.txt", TextBytes(3 << 20, 7)},
      {"hollow/", ""},
  };
  for (int i = 0; i < 40; ++i)
    t["text/f" + std::to_string(i) + ".txt"] = TextBytes(static_cast<std::size_t>(1000 + i * 5000), 100 + i);
  return t;
}

// Writes the tree with one fixed time, so that two copies give equal
// entries and an update keeps the files whose size did not change.
void PlantTree(const fs::path& root, const Tree& tree) {
  static const auto when = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::remove_all(root);
  MakeTree(root, tree);
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    fs::last_write_time(it->path(), when);
}

struct Settings {
  int threads = 1;
  vsk::TDeflateType type = vsk::dtDeflateN;
  std::string password;
  vsk::TSwitch sw = vsk::swAdd;
  // Called from OnBegin with the entry's count; false refuses the entry.
  std::function<bool(TCompBase&, const std::string&, int)> onBegin;
  std::function<void(TCompBase&)> onProgress;
};

struct RunLog {
  int result = 0;
  std::vector<std::string> events;
};

RunLog RunWriter(Kind kind, const fs::path& archive, const fs::path& src, const Settings& s) {
  auto w = MakeWriter(kind);
  RunLog log;
  w->SetArchiveFile(archive.string());
  w->ThreadCount = s.threads;
  w->DeflateType = s.type;
  w->Password = s.password;
  w->StoreEmptySubDirs = true;
  w->StoreFilesOfType = {"jpg"};
  w->Switch = s.sw;
  w->FileSpec = {(src / "*").string()};
  // The same "random" bytes for both runs make their encryption headers equal.
  w->Crypt->RandomSource = [n = 0u](Byte* b, std::size_t c) mutable {
    for (std::size_t i = 0; i < c; ++i) b[i] = static_cast<Byte>(++n * 73u);
  };
  auto note = [&log](std::string e) { log.events.push_back(std::move(e)); };
  w->OnBegin = [&](vsk::TZipCommon& z, const std::string& f, int count, bool& extract) {
    note("begin " + f + " " + std::to_string(count));
    if (s.onBegin) extract = s.onBegin(static_cast<TCompBase&>(z), f, count);
  };
  w->OnProgress = [&](vsk::TZipCommon& z, Byte file, Byte all) {
    note("progress " + std::to_string(file) + " " + std::to_string(all));
    if (s.onProgress) s.onProgress(static_cast<TCompBase&>(z));
  };
  w->OnEnd = [&](vsk::TZipCommon&, const std::string& f, bool pass) { note("end " + f + (pass ? " ok" : " bad")); };
  w->OnRead = [&](vsk::TZipCommon&, vsk::Int64 offset, int index) {
    note("read " + std::to_string(offset) + " " + std::to_string(index));
  };
  w->OnDeleteFile = [&](vsk::TZipCommon&, const std::string& f, int, int) { note("drop " + f); };
  w->OnReplaceFile = [](vsk::TZipCommon&, const std::string&, const std::string&, vsk::TDateTime, vsk::TDateTime,
                        vsk::UInt32, vsk::UInt32, int, int, bool& replace) { replace = true; };
  w->OnRenameDupeFile = [](vsk::TZipCommon&, const std::string&, std::string&, bool& rename) { rename = false; };
  w->OnError = [&](vsk::TZipCommon&, const std::string& f, const std::string&, const std::string&, int code) {
    note("error " + std::to_string(code) + " " + (f == archive.string() ? "archive" : fs::path(f).filename().string()));
  };
  log.result = w->Compress();
  return log;
}

using Case = std::tuple<Kind, vsk::TDeflateType, std::string>;
class ParallelWriteTest : public ::testing::TestWithParam<Case> {
 protected:
  IsolatedEnvironment env;
  TempDir tmp;
};

TEST_P(ParallelWriteTest, ArchivesAndEventsAreTheSerialWritersNewAndUpdated) {
  const auto [kind, type, password] = GetParam();
  const Tree tree = MixedTree();
  PlantTree(tmp / "src", tree);
  const std::string ext = kind == kBh ? ".bh" : kind == kJar ? ".jar" : ".zip";
  Settings s;
  s.type = type;
  s.password = password;
  std::string bytes[3];
  RunLog logs[3];
  const int threads[3] = {1, 4, 0};
  for (int i = 0; i < 3; ++i) {
    s.threads = threads[i];
    const fs::path a = tmp / ("n" + std::to_string(i) + ext);
    logs[i] = RunWriter(kind, a, tmp / "src", s);
    EXPECT_EQ(logs[i].result, static_cast<int>(tree.size())) << threads[i];
    bytes[i] = ReadFile(a);
  }
  ASSERT_FALSE(bytes[0].empty());
  for (int i = 1; i < 3; ++i) {
    EXPECT_TRUE(bytes[i] == bytes[0]) << "threads " << threads[i];
    EXPECT_EQ(logs[i].events, logs[0].events) << "threads " << threads[i];
  }
  if (kind != kBh) {
    ExpectToolsAccept(tmp / ("n1" + ext), password);
    EXPECT_TRUE(SameTree(UnzipTree(tmp / ("n1" + ext), tmp / "out", password), tree));
  }

  // An update: changed files replace their entries, the others are copied.
  Tree changed = tree;
  changed["text/f3.txt"] = TextBytes(77777, 900);
  changed["big/text.txt"] = TextBytes((3 << 20) + 5, 901);
  changed["tiny/a.txt"] = std::string(90, 'b');
  changed["added.txt"] = TextBytes(40000, 902);
  PlantTree(tmp / "src", changed);
  for (int i = 0; i < 2; ++i) {
    const fs::path a = tmp / ("upd" + std::to_string(i) + ext);
    fs::copy_file(tmp / ("n0" + ext), a);
    s.threads = threads[i];
    logs[i] = RunWriter(kind, a, tmp / "src", s);
    bytes[i] = ReadFile(a);
  }
  EXPECT_GT(logs[1].result, 0);
  EXPECT_TRUE(bytes[1] == bytes[0]);
  EXPECT_EQ(logs[1].events, logs[0].events);
}

INSTANTIATE_TEST_SUITE_P(Writers, ParallelWriteTest,
                         ::testing::Values(Case{kZip, vsk::dtDeflateN, ""}, Case{kZip, vsk::dtDeflateX, "secret"},
                                           Case{kJar, vsk::dtDeflateF, ""}, Case{kBh, vsk::dtDeflateN, "secret"},
                                           Case{kBh, vsk::dtDeflateX, ""}));

class ParallelWriteFailures : public ::testing::Test {
 protected:
  IsolatedEnvironment env;
  TempDir tmp;
};

TEST_F(ParallelWriteFailures, RefusalsAndSourcesChangedDuringTheRunGiveTheSerialResult) {
  std::string bytes[2];
  RunLog logs[2];
  for (int i = 0; i < 2; ++i) {
    PlantTree(tmp / "src", MixedTree());
    Settings s;
    s.threads = i == 0 ? 1 : 4;
    s.password = "pw";
    // Entries are refused, and sources the workers may have read already
    // shrink, grow or vanish before the writer reaches them.
    s.onBegin = [&](TCompBase&, const std::string& name, int count) {
      if (name == "text/f1.txt") {
        WriteFile(tmp / "src/text/f12.txt", TextBytes(500, 7));
        WriteFile(tmp / "src/text/f13.txt", TextBytes(90000, 8));
        fs::remove(tmp / "src/text/f14.txt");
        fs::remove(tmp / "src/big/text.txt");
      }
      return count % 5 != 0;
    };
    const fs::path a = tmp / ("f" + std::to_string(i) + ".zip");
    logs[i] = RunWriter(kZip, a, tmp / "src", s);
    bytes[i] = ReadFile(a);
  }
  EXPECT_GT(logs[0].result, 0);
  EXPECT_TRUE(bytes[1] == bytes[0]);
  EXPECT_EQ(logs[1].events, logs[0].events);
  EXPECT_NE(std::find(logs[1].events.begin(), logs[1].events.end(), "error 25235 f14.txt"), logs[1].events.end());
  ExpectToolsAccept(tmp / "f1.zip", "pw");
}

TEST_F(ParallelWriteFailures, ACancelLeavesTheTargetAndNoFilesBehind) {
  PlantTree(tmp / "src", MixedTree());
  fs::create_directories(tmp / "arc");
  fs::create_directories(tmp / "scratch");
  const fs::path a = tmp / "arc/out.zip";
  WriteFile(tmp / "src0.txt", TextBytes(5000, 1));
  Writer<vsk::TZip> first(a);
  ASSERT_EQ(first.Add({(tmp / "src0.txt").string()}), 1);
  const std::string before = ReadFile(a);

  // At the start of an entry while workers are busy, and inside the
  // writing of a large deflated entry.
  for (int at = 0; at < 2; ++at) {
    Settings s;
    s.threads = 4;
    bool inBig = false;
    s.onBegin = [&](TCompBase& w, const std::string& name, int count) {
      inBig = name == "big/text.txt";
      if (at == 0 && count == 10) w.SetCancel(true);
      return true;
    };
    s.onProgress = [&](TCompBase& w) {
      if (at == 1 && inBig) w.SetCancel(true);
    };
    const RunLog log = RunWriter(kZip, a, tmp / "src", s);
    EXPECT_EQ(log.result, 0) << at;
    EXPECT_EQ(ReadFile(a), before) << at;
    EXPECT_EQ(FolderTree(tmp / "arc").size(), 1u) << at;
    EXPECT_TRUE(std::any_of(log.events.begin(), log.events.end(),
                            [](const std::string& e) { return e.rfind("error 25443", 0) == 0; }))
        << at;
  }
}

// While the writer waits for a worker to deflate a large entry, it shows the
// entry's progress block by block: the program's message pump then finds the
// progress moving, instead of seeing it all at the entry's end.
TEST_F(ParallelWriteFailures, ALargeEntrysProgressMovesWhileAWorkerDeflatesIt) {
  WriteFile(tmp / "src/large.txt", TextBytes(24 << 20, 12));
  Settings s;
  const RunLog serial = RunWriter(kZip, tmp / "serial.zip", tmp / "src", s);
  // Pumps of the wait, those not leading to a progress event, before the
  // entry's first progress and after it.
  int waitingBefore = 0, waitingAfter = 0;
  bool begun = false, progressed = false, pending = false;
  vsk::SetMessagePump([&] {
    if (!begun) return;
    if (pending) ++(progressed ? waitingAfter : waitingBefore);
    pending = true;
  });
  s.threads = 2;
  s.onBegin = [&](TCompBase&, const std::string&, int) { return begun = true; };
  s.onProgress = [&](TCompBase&) { pending = false, progressed = true; };
  const RunLog log = RunWriter(kZip, tmp / "a.zip", tmp / "src", s);
  vsk::SetMessagePump(nullptr);
  EXPECT_EQ(log.result, 1);
  EXPECT_EQ(log.events, serial.events);
  EXPECT_TRUE(ReadFile(tmp / "a.zip") == ReadFile(tmp / "serial.zip"));
  // The first of 24 blocks takes a small part of the wait.
  EXPECT_GT(waitingAfter, waitingBefore) << waitingBefore << " " << waitingAfter;
}

}  // namespace
}  // namespace vsktest
