#pragma once
// A reader set up for a whole run, and what it reports: its errors and its
// verdicts.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/core/unbase.h"

namespace vsktest {

// Sets Reader to take every entry of Archive, making stored folders, into
// Dest when one is given.
inline void TakeEverything(vsk::TUnBase& Reader, const std::string& Archive, const std::string& Dest = {}) {
  Reader.SetArchiveFile(Archive);
  if (!Dest.empty()) Reader.SetExtractDir(Dest);
  Reader.FileSpec = {"*.*"};
  Reader.CreateStoredDirs = true;
}

struct ReaderEvents {
  explicit ReaderEvents(vsk::TZipCommon& Reader) {
    Reader.OnError = [this](vsk::TZipCommon&, const std::string& File, const std::string&, const std::string&,
                            int Code) { Errors.push_back({Code, File}); };
    Reader.OnEnd = [this](vsk::TZipCommon&, const std::string& File, bool Pass) { Verdicts[File] = Pass; };
  }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const auto& e : Errors) codes.push_back(e.first);
    return codes;
  }
  std::vector<std::pair<int, std::string>> Errors;
  std::map<std::string, bool> Verdicts;  // by the name OnEnd gives
};

}  // namespace vsktest
