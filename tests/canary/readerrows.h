#pragma once
// The reader rows of the canary table: one extraction run described as a
// job (which reader, over what, into where, what it is asked and answers),
// driven to each ending by the same code for every format.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/core/unbase.h"
#include "tests/support/canary.h"
#include "tests/support/readerrun.h"

namespace vsktest {

struct ReaderJob {
  std::function<std::unique_ptr<vsk::TUnBase>()> make;
  // Below the row's folder.
  fs::path archive;
  fs::path dest;
  std::vector<std::string> spec{"*.*"};
  // With ConfirmOverwrites, the names (below the row's folder) answered
  // Yes when asked: those canaries may change. Every other question is
  // answered No.
  bool confirm = false;
  std::vector<fs::path> yes;
  // The failure ending changes one byte at each (file, offset); a negative
  // offset counts from the end.
  std::vector<std::pair<fs::path, long>> damage;
  // The success ending leaves these files (below the row's folder) with
  // these bytes.
  std::map<fs::path, std::string> written;
  // Errors every ending but the kill reports (a refused name...).
  std::vector<int> reported;
};

template <class TReader>
std::function<std::unique_ptr<vsk::TUnBase>()> Reader() {
  return [] { return std::make_unique<TReader>(); };
}

// A row whose setup makes what the run reads below the folder, plants the
// canaries and returns the job the run does.
CanaryRow ReaderRow(std::string Name, std::function<ReaderJob(const fs::path& Dir, Canaries& C)> Setup,
                    std::vector<Ending> Endings = {std::begin(kEveryEnding), std::end(kEveryEnding)});

// The rows every reader has, over an archive of two entries: chosen.bin
// (kChosen) and after it other.txt (kOther).
extern const std::string kChosen, kOther;
// Makes the archive Dir/Name of the two.
using TPack = std::function<void(const fs::path& Dir, const std::string& Name)>;
// The two written below Dir/src, then Command run there (it writes ../Name).
TPack Tool(const std::string& Command);
// The endings of a format without a check of its data: no damage shows.
inline const std::vector<Ending> kUnchecked = {Ending::Success, Ending::Cancel, Ending::Kill};
struct Family {
  std::string row;
  std::function<std::unique_ptr<vsk::TUnBase>()> make;
  std::string name;
  TPack pack;
  // Where the failure damages the archive (negative: its middle, which
  // lies in chosen.bin's data).
  long damageAt = -1;
  std::vector<Ending> endings{std::begin(kEveryEnding), std::end(kEveryEnding)};
};
// chosen.bin selected, extracted into out where a canary stands at
// other.txt; then both extracted over a read-only other.txt: not replaced
// unasked (its create fails), and may be when asked and answered Yes.
std::vector<CanaryRow> FamilyRows(const Family& F);

// Runs a tool in Cwd; the test fails when it does not exit 0.
void Make(const std::string& Command, const fs::path& Cwd);

// Where Needle first (or last) stands in File's bytes; the test fails
// when it is not there.
long OffsetOf(const fs::path& File, const std::string& Needle, bool Last = false);

}  // namespace vsktest
