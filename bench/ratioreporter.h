#pragma once
// A console reporter that also prints, for each pair (ours, theirs), our
// time as a ratio of theirs once both have run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit TRatioReporter(std::vector<std::pair<std::string, std::string>> Pairs) : pairs_(std::move(Pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      // "Name/iterations:5" and the like count as "Name".
      const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
      times_[name] = r.GetAdjustedRealTime();
      for (const auto& [ours, theirs] : pairs_)
        if (name == ours && times_.count(theirs))
          std::printf("%s / %s = %.2f\n", ours.c_str(), theirs.c_str(), times_[ours] / times_[theirs]);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::map<std::string, double> times_;
};
