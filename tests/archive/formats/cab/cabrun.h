#pragma once
// Running the cabinet reader and the tester over a cabinet, with what
// their events told.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/formats/cab/uncab.h"
#include "archive/tools/zipcheck.h"

namespace vsktest {

struct CabRun {
  int processed = 0;
  std::vector<std::pair<std::string, int>> errors;  // file name, code
  std::map<std::string, bool> verdicts;             // OnEnd / OnStatus
  std::vector<std::string> volumesAsked;

  bool Reported(int code) const {
    for (const auto& e : errors)
      if (e.second == code) return true;
    return false;
  }
};

template <class C>
void Record(C& c, CabRun& r) {
  c.OnError = [&r](vsk::TZipCommon&, const std::string& f, const std::string&, const std::string&, int code) {
    r.errors.emplace_back(f, code);
  };
  // Every next cabinet of a set is taken as named; a missing one ends the run.
  c.OnNextVolume = [&r](vsk::TZipCommon&, std::string& v, const std::string&, bool exists, bool& cancel) {
    r.volumesAsked.push_back(std::filesystem::path(v).filename().string());
    cancel = !exists;
  };
}

// Extracts Cab into Dest (or tests it) with TUnCab.
inline CabRun RunUnCab(const std::filesystem::path& cab, const std::filesystem::path& dest, bool test = false) {
  CabRun r;
  vsk::TUnCab u;
  u.SetArchiveFile(cab.string());
  u.SetExtractDir(dest.string());
  u.FileSpec = {"*.*"};
  u.ConfirmOverwrites = false;
  Record(u, r);
  u.OnEnd = [&r](vsk::TZipCommon&, const std::string& f, bool pass) { r.verdicts[f] = pass; };
  r.processed = test ? u.TestArchive() : u.Extract();
  return r;
}

// Tests Cab with the tester, which must pick the cabinet reader.
inline CabRun RunCheck(const std::filesystem::path& cab) {
  CabRun r;
  vsk::TZipCheck z;
  z.SetArchiveFile(cab.string());
  z.FileSpec = {"*.*"};
  Record(z, r);
  z.OnStatus = [&r](vsk::TZipCommon&, const std::string& f, bool pass) { r.verdicts[f] = pass; };
  r.processed = z.Activate();
  return r;
}

}  // namespace vsktest
