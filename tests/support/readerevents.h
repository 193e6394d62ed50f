#pragma once
// What a reader reports during a run: its errors and its verdicts.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/core/zipcommon.h"

namespace vsktest {

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
