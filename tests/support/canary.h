#pragma once
// Canaries: a file planted at every name a run must not touch without
// asking (the archive, its volumes before and after, the outer archive of
// nested data, the tar beside a tar.gz, part and generation names, a
// read-only file), checked byte for byte after the run. A table of rows
// runs each operation to success, to a cancel, to a failure and under
// kill -9, each time in a fresh folder with fresh canaries.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vsktest {

namespace fs = std::filesystem;

class Canaries {
 public:
  // Plants a file of content unique to Path (its folders made as needed),
  // with the given mode, and watches it.
  void Plant(const fs::path& Path, mode_t Mode = 0644);
  // Watches a file the test made itself (an archive, a volume the run
  // reads), as it is now.
  void Watch(const fs::path& Path);
  // The run asked about exactly this name and was answered Yes: it may
  // change or go. Said in a run killed in a child process, it holds in the
  // parent that checks the canaries (CheckCanaryRow passes it on).
  void Agree(const fs::path& Path);
  // Where Agree also writes the names agreed to, one a line (-1: nowhere),
  // and the names read back from there.
  void ReportAgreedTo(int Fd) { FAgreedFd = Fd; }
  void AgreeAll(const std::string& Lines);
  // The paths watched, in the order they were planted.
  std::vector<fs::path> Paths() const;

  // Every watched name not agreed to still holds a regular file (not a
  // link) with the same bytes and mode as when it was watched; a failure
  // lists each one that changed and how.
  ::testing::AssertionResult Intact() const;

 private:
  struct Item {
    fs::path path;
    std::string bytes;
    mode_t mode = 0;
    bool agreed = false;
  };
  std::vector<Item> FItems;
  int FAgreedFd = -1;
};

// How a row's run is to end.
enum class Ending { Success, Cancel, Failure, Kill };
const char* EndingName(Ending E);
constexpr Ending kEveryEnding[] = {Ending::Success, Ending::Cancel, Ending::Failure, Ending::Kill};

// Ends the calling process at once with SIGKILL: what a row's run calls,
// mid-run, when it is run to Ending::Kill.
[[noreturn]] void KillHere();

// Runs Body in a forked child and tells whether the child was ended by
// SIGKILL (Body called KillHere); a child that returned or died otherwise
// is reported as a test failure.
bool RunKilled(const std::function<void()>& Body);

// One kind of run in the table.
struct CanaryRow {
  std::string name;
  // Makes what the run reads below Dir and plants the canaries.
  std::function<void(const fs::path& Dir, Canaries& C)> setup;
  // Does the run to the ending asked, checking what the ending promises
  // (a success wrote its output, a cancel and a failure were reported).
  // Run to Ending::Kill it must call KillHere mid-run; it runs in a child
  // process then, so its own expectations there are not seen.
  std::function<void(const fs::path& Dir, Ending E, Canaries& C)> run;
  // The endings this row can be driven to.
  std::vector<Ending> endings{std::begin(kEveryEnding), std::end(kEveryEnding)};
};

// Runs the row to each of its endings in a fresh folder and checks its
// canaries after each; failures name the row and the ending.
void CheckCanaryRow(const CanaryRow& Row);
void CheckCanaryRows(const std::vector<CanaryRow>& Rows);

}  // namespace vsktest
