#include "tests/canary/readerrows.h"

#include <algorithm>
#include <fstream>

#include "base/messages.h"
#include "tests/support/testutil.h"

namespace vsktest {

namespace {

using vsk::Byte;
using vsk::TZipCommon;

void Damage(const fs::path& File, long At) {
  std::fstream f(File, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(f) << File;
  f.seekg(At, At < 0 ? std::ios::end : std::ios::beg);
  const auto pos = f.tellg();
  const char c = static_cast<char>(f.get());
  f.seekp(pos);
  f.put(static_cast<char>(c ^ 0x5A));
}

bool Has(const std::vector<int>& Codes, int Code) { return std::find(Codes.begin(), Codes.end(), Code) != Codes.end(); }

// The run of Job to the ending E, and what that ending promises.
void RunJob(const ReaderJob& J, const fs::path& Dir, Ending E, Canaries& C) {
  if (E == Ending::Failure) {
    ASSERT_FALSE(J.damage.empty()) << "a row run to a failure damages a part";
    for (const auto& [file, at] : J.damage) {
      // Changed on purpose: no longer a canary.
      C.Agree(Dir / file);
      Damage(Dir / file, at);
    }
  }
  auto reader = J.make();
  vsk::TUnBase& r = *reader;
  RunLog log;
  Record(r, log);
  Aim(r, Dir / J.archive, Dir / J.dest, J.spec);
  r.ConfirmOverwrites = J.confirm;
  r.OnFileExists = [&](TZipCommon&, const std::string& File, std::string&, vsk::TOverwriteMode& Mode) {
    const bool yes = std::any_of(J.yes.begin(), J.yes.end(), [&](const fs::path& Y) { return Dir / Y == File; });
    Mode = yes ? vsk::omOverwrite : vsk::omSkip;
    if (yes) C.Agree(File);
  };
  r.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) { Cancel = !Exists; };
  r.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& UnTar) { UnTar = true; };
  // The kill or cancel comes inside the first entry's data where progress
  // shows it, else at the first verdict or error.
  bool hit = false;
  auto trigger = [&](TZipCommon& Sender) {
    if (hit || (E != Ending::Kill && E != Ending::Cancel)) return;
    hit = true;
    if (E == Ending::Kill) KillHere();
    Sender.SetCancel(true);
  };
  r.OnProgress = [&](TZipCommon& Sender, Byte ByFile, Byte) {
    if (ByFile > 0 && ByFile < 100) trigger(Sender);
  };
  r.OnEnd = [&, end = r.OnEnd](TZipCommon& Sender, const std::string& Name, bool Pass) {
    end(Sender, Name, Pass);
    trigger(Sender);
  };
  r.OnError = [&, error = r.OnError](TZipCommon& Sender, const std::string& File, const std::string& Extended,
                                     const std::string& Volume, int Code) {
    error(Sender, File, Extended, Volume, Code);
    trigger(Sender);
  };
  RunInto(r, log, false);
  // Only files written count: as many as passed their verdict, never a
  // failed or refused one.
  const auto passed = std::count_if(log.verdicts.begin(), log.verdicts.end(), [](const auto& V) { return V.second; });
  if (E == Ending::Success || E == Ending::Failure) {
    EXPECT_LE(log.result, passed) << log.Describe();
  }
  switch (E) {
    case Ending::Success: {
      std::vector<int> want = J.reported, got = log.errors;
      std::sort(want.begin(), want.end());
      std::sort(got.begin(), got.end());
      EXPECT_EQ(got, want) << log.Describe();
      EXPECT_EQ(log.result, passed) << log.Describe();
      for (const auto& [file, bytes] : J.written)
        EXPECT_TRUE(fs::is_regular_file(Dir / file) && ReadFile(Dir / file) == bytes) << file;
      break;
    }
    case Ending::Cancel:
      EXPECT_TRUE(hit) << "the run never reached its cancel point";
      EXPECT_TRUE(Has(log.errors, vsk::msg::UserCanceled)) << log.Describe();
      break;
    case Ending::Failure:
      EXPECT_TRUE(log.failures > 0 ||
                  std::any_of(log.errors.begin(), log.errors.end(), [&](int Code) { return !Has(J.reported, Code); }))
          << log.Describe();
      break;
    case Ending::Kill:
      break;
  }
}

}  // namespace

const std::string kChosen = TextBytes(900000, 11);
const std::string kOther = "the archive's other entry\n";

TPack Tool(const std::string& Command) {
  return [Command](const fs::path& Dir, const std::string&) {
    WriteFile(Dir / "src/chosen.bin", kChosen);
    WriteFile(Dir / "src/other.txt", kOther);
    Make(Command, Dir / "src");
  };
}

std::vector<CanaryRow> FamilyRows(const Family& F) {
  auto job = [F](const fs::path& Dir) {
    F.pack(Dir, F.name);
    ReaderJob j;
    j.make = F.make;
    j.archive = F.name;
    j.dest = "out";
    j.damage = {{F.name, F.damageAt >= 0 ? F.damageAt : static_cast<long>(fs::file_size(Dir / F.name) / 2)}};
    j.written = {{"out/chosen.bin", kChosen}};
    return j;
  };
  std::vector<CanaryRow> rows;
  rows.push_back(ReaderRow(
      F.row + ", one entry selected",
      [job](const fs::path& Dir, Canaries& C) {
        ReaderJob j = job(Dir);
        C.Watch(Dir / j.archive);
        C.Plant(Dir / "out/other.txt");
        j.spec = {"chosen.bin"};
        return j;
      },
      F.endings));
  for (const bool confirm : {false, true})
    rows.push_back(ReaderRow(
        F.row + (confirm ? ", read-only file agreed to" : ", read-only file unasked"),
        [job, confirm](const fs::path& Dir, Canaries& C) {
          ReaderJob j = job(Dir);
          C.Watch(Dir / j.archive);
          C.Plant(Dir / "out/other.txt", 0444);
          j.confirm = confirm;
          j.yes = {"out/other.txt"};
          if (confirm)
            j.written["out/other.txt"] = kOther;
          else
            j.reported = {vsk::msg::ErrorOpeningFile};
          return j;
        },
        F.endings));
  return rows;
}

CanaryRow ReaderRow(std::string Name, std::function<ReaderJob(const fs::path& Dir, Canaries& C)> Setup,
                    std::vector<Ending> Endings) {
  auto job = std::make_shared<ReaderJob>();
  CanaryRow row;
  row.name = std::move(Name);
  row.endings = std::move(Endings);
  row.setup = [job, Setup](const fs::path& Dir, Canaries& C) { *job = Setup(Dir, C); };
  row.run = [job](const fs::path& Dir, Ending E, Canaries& C) { RunJob(*job, Dir, E, C); };
  return row;
}

void Make(const std::string& Command, const fs::path& Cwd) {
  const auto r = RunTool(Command, Cwd);
  EXPECT_EQ(r.exitCode, 0) << Command << "\n" << r.output;
}

long OffsetOf(const fs::path& File, const std::string& Needle, bool Last) {
  const std::string bytes = ReadFile(File);
  const auto at = Last ? bytes.rfind(Needle) : bytes.find(Needle);
  EXPECT_NE(at, std::string::npos) << Needle << " not in " << File;
  return at == std::string::npos ? 0 : static_cast<long>(at);
}

}  // namespace vsktest
