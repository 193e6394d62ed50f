#pragma once
// What one run of a reader (extracting, testing, the extraction step of a
// conversion or a virus scan) did with the archive's entries, built from
// the outcome each entry ends with, and the texts that report it.

#include <string>
#include <vector>

#include "archive/core/unbase.h"

namespace brevane {

// An entry that was not written (or, when testing, not passed), and why.
struct TEntryResult {
  std::string Name;  // as stored in the archive
  vsk::TEntryOutcome Outcome = vsk::eoPending;
  std::string Reason;  // the system's reason, else the library's text
  int Code = 0;        // the library's error code, 0 when none was reported
};

class TRunResult {
 public:
  // ---- collecting, from the handlers of the readers' OnError and OnEnd.
  // Sender is the reader whose EntryOutcome describes the entry.
  void NoteError(const vsk::TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                 int Code);
  void NoteEnd(const vsk::TZipCommon& Sender, const std::string& FileName, bool Pass);
  // A failure of the run that belongs to no entry.
  void NoteRunError(const std::string& Text);
  // A file the run wrote that is no entry of the archive and stays (the
  // tar a gzip layer held, unpacked in its turn).
  void NoteKept(const std::string& Path) { FKept.push_back(Path); }
  // Ends the collection: an entry still waiting for its end is taken as it stands.
  void Finish(bool Cancelled);

  // ---- reading
  bool Ran = false;  // the component ran over the archive
  // An adding run: the files its writer added; -1 when no input existed
  // and nothing was touched.
  int Added = 0;
  bool Cancelled = false;
  int Count(vsk::TEntryOutcome Outcome) const { return Outcome <= vsk::eoPending ? FCounts[Outcome] : 0; }
  int Written() const { return Count(vsk::eoWritten); }
  // The files written besides the entries, which stay where they landed.
  const std::vector<std::string>& Kept() const { return FKept; }
  // Every file the run left on the disk: the entries and the kept files.
  int Landed() const { return Written() + static_cast<int>(FKept.size()); }
  // The entries not written, in archive order (skipped and cancelled ones aside).
  const std::vector<TEntryResult>& Failures() const { return FFailures; }
  const std::vector<std::string>& RunErrors() const { return FRunErrors; }
  bool Failed() const { return !FFailures.empty() || !FRunErrors.empty(); }
  // The run went through: nothing failed and nothing was cancelled.
  bool Complete() const { return Ran && !Cancelled && !Failed(); }
  explicit operator bool() const { return Complete(); }

 private:
  struct TKey {
    const void* Reader = nullptr;
    std::string Name;
    bool operator==(const TKey&) const = default;
  };
  void Commit();
  void Record(const TEntryResult& Entry);

  int FCounts[vsk::eoPending + 1] = {};
  std::vector<TEntryResult> FFailures;
  std::vector<std::string> FRunErrors;
  std::vector<std::string> FKept;
  // The entry whose errors have come and whose end may still come.
  bool FHaveOpen = false;
  TKey FOpenKey;
  TEntryResult FOpen;
  // The last entry that ended: errors after it belong to the run.
  TKey FLastKey;
};

// The outcome an error code means for the entry it is reported for;
// eoPending when it decides nothing about the entry.
vsk::TEntryOutcome OutcomeOfCode(int Code);

// The extraction's result message (empty when none is due: a complete run
// with ConfirmDecompress off) and whether it is an error.
std::string ExtractResultText(const TRunResult& Result, bool ConfirmDecompress, bool& IsError);
// One line per kind of entry left out, with its count and reason; then the
// run's own errors.
std::string OutcomeLines(const TRunResult& Result);
// The entries left out by name, "name (reason)" each, at most Limit of
// them and then how many more, then the run's errors; joined by Separator.
std::string LeftOutNames(const TRunResult& Result, const std::string& Separator, std::size_t Limit);
// The virus scan's verdict on a run whose output was scanned (Scanned:
// the scanner ran and passed) or was not (nothing came out).
std::string ScanResultText(const TRunResult& Result, bool Scanned, bool& IsError);
// The output window's list of the entries left out: a title, then
// "> name ... reason" per entry and "> reason" per error of the run.
std::vector<std::string> FailureListing(const TRunResult& Result, const std::string& Title);

}  // namespace brevane
