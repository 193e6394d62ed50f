#include "tests/support/readerrun.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/testutil.h"

namespace vsktest {

int RunLog::Count(int Code) const { return vsktest::Count(errors, Code); }

bool RunLog::Verdict(const std::string& Name) const {
  const auto it = verdicts.find(Name);
  return it != verdicts.end() && it->second;
}

bool RunLog::AllPass() const {
  return !verdicts.empty() && std::all_of(verdicts.begin(), verdicts.end(), [](const auto& v) { return v.second; });
}

std::string RunLog::Describe() const {
  std::string s;
  for (const auto& e : reports) s += std::to_string(e.code) + " " + e.file + " [" + e.extended + "]\n";
  return s;
}

void Record(vsk::TUnBase& Reader, RunLog& Log, bool Verdicts) {
  Reader.OnError = [&Log](vsk::TZipCommon&, const std::string& File, const std::string& Extended,
                          const std::string&, int Code) {
    Log.errors.push_back(Code);
    Log.reports.push_back({Code, File, Extended});
  };
  if (!Verdicts) return;
  Reader.OnEnd = [&Log](vsk::TZipCommon&, const std::string& Name, bool Pass) {
    Log.verdicts[Name] = Pass;
    if (!Pass) ++Log.failures;
  };
}

void Aim(vsk::TUnBase& Reader, const fs::path& Archive, const fs::path& Dest, std::vector<std::string> Spec) {
  Reader.SetArchiveFile(Archive.string());
  Reader.SetExtractDir(Dest.string());
  Reader.FileSpec = std::move(Spec);
}

void RunInto(vsk::TUnBase& Reader, RunLog& Log, bool Test) {
  Log.result = Test ? Reader.TestArchive() : Reader.Extract();
}

int Count(const std::vector<int>& Codes, int Code) {
  return static_cast<int>(std::count(Codes.begin(), Codes.end(), Code));
}

std::map<std::string, std::string> Tree(const fs::path& Root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(Root)) return files;
  for (auto& e : fs::recursive_directory_iterator(Root))
    if (e.is_regular_file()) files[fs::relative(e.path(), Root).string()] = ReadFile(e.path());
  return files;
}

int ExpectSameTree(const fs::path& Want, const fs::path& Got, bool Folders) {
  int files = 0;
  for (auto& e : fs::recursive_directory_iterator(Want)) {
    const auto rel = fs::relative(e.path(), Want);
    if (e.is_directory()) {
      if (Folders) {
        EXPECT_TRUE(fs::is_directory(Got / rel)) << rel;
      }
      continue;
    }
    if (!fs::exists(Got / rel)) {
      ADD_FAILURE() << "missing " << rel;
      continue;
    }
    EXPECT_TRUE(ReadFile(e.path()) == ReadFile(Got / rel)) << rel;
    ++files;
  }
  EXPECT_GT(files, 0) << "no file below " << Want;
  return files;
}

int MakeSampleTree(const fs::path& Root) {
  WriteFile(Root / "src/readme.txt", TextBytes(50000, 1));
  WriteFile(Root / "src/data.bin", RandomBytes(70000, 2));
  WriteFile(Root / "src/sub/notes.txt", TextBytes(200000, 3));
  WriteFile(Root / "src/sub/deeper/empty.txt", "");
  WriteFile(Root / "src/sub/same.txt", std::string(100000, 'a'));
  WriteFile(Root / "src/big.bin", TextBytes(1200000, 4) + RandomBytes(700000, 5) + TextBytes(1200000, 6));
  fs::create_directories(Root / "src/emptydir");
  EXPECT_EQ(RunTool("touch -d '2019-03-14 10:22:37' src/readme.txt", Root).exitCode, 0);
  return 6;
}

}  // namespace vsktest
