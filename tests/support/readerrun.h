#pragma once
// The runs of the reader tests: what a reader reported during a run (errors,
// verdicts), pointing it at an archive, and the trees the tests pack with a
// tool and compare after reading them back.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/core/unbase.h"

namespace vsktest {

namespace fs = std::filesystem;

struct RunLog {
  struct Report {
    int code = 0;
    std::string file;
    std::string extended;
  };
  int result = -1;
  std::vector<int> errors;               // the codes, in order
  std::vector<Report> reports;           // the same errors with their names
  std::map<std::string, bool> verdicts;  // the last OnEnd by name
  int failures = 0;                      // OnEnd with a failed verdict

  int Count(int Code) const;
  // False for a name without a verdict.
  bool Verdict(const std::string& Name) const;
  // At least one verdict, and every one passed.
  bool AllPass() const;
  // The errors, one a line, for failure messages.
  std::string Describe() const;
};

// Records the reader's OnError, and OnEnd unless Verdicts is false, into
// Log, which outlives the run.
void Record(vsk::TUnBase& Reader, RunLog& Log, bool Verdicts = true);
// Points the reader at Archive, extracting below Dest, the entries Spec selects.
void Aim(vsk::TUnBase& Reader, const fs::path& Archive, const fs::path& Dest,
         std::vector<std::string> Spec = {"*.*"});
// Extracts (or tests) into Log.result.
void RunInto(vsk::TUnBase& Reader, RunLog& Log, bool Test);

struct RunOptions {
  bool test = false;
  std::vector<std::string> spec = {"*.*"};
  bool storedDirs = true;  // the reader's stored-folders choice, set by Setup
  bool verdicts = true;    // OnEnd assigned
};

// A run of a new TReader over Archive into Dest, recorded; Setup(Reader)
// sets what else the test asks for just before the run.
template <class TReader, class TSetup>
RunLog RunReader(const fs::path& Archive, const fs::path& Dest, const RunOptions& O, TSetup Setup) {
  TReader reader;
  RunLog log;
  Record(reader, log, O.verdicts);
  Aim(reader, Archive, Dest, O.spec);
  Setup(reader);
  RunInto(reader, log, O.test);
  return log;
}

int Count(const std::vector<int>& Codes, int Code);

// Every regular file below Root with its contents, by relative path.
std::map<std::string, std::string> Tree(const fs::path& Root);
// Every file below Want is in Got with the same bytes, and every folder
// exists there unless Folders is false; returns the files compared, of
// which there must be some.
int ExpectSameTree(const fs::path& Want, const fs::path& Got, bool Folders = true);
// Below Root/src: text, random bytes, an empty file, a long run of one
// byte and a 3 MB file of text and random data, in sub-folders, with an
// empty folder; readme.txt is dated in the past. Returns the files made.
int MakeSampleTree(const fs::path& Root);

}  // namespace vsktest
