#include "archive/tools/ziprun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace vsk {

TZipRun::TZipRun() {
  try {
    // The unique scratch file gives the folder its name: the same name
    // without the file's extension.
    const std::string file = RemoveBackslash(GetTempFileName(TempDir()));
    ::unlink(file.c_str());
    if (file.size() > 4) FTempFolder = file.substr(0, file.size() - 4);
  } catch (const EVskError&) {
    FTempFolder.clear();
  }
}

TZipRun::~TZipRun() {
  if (ArchiveFile().empty() || FTempFolder.empty() || RemoveBackslash(FTempFolder) == "/") return;
  struct stat st;
  if (::lstat(FTempFolder.c_str(), &st) != 0) return;
  // Links inside are removed, never followed.
  std::error_code ec;
  std::filesystem::remove_all(FTempFolder, ec);
  if (ec || ::lstat(FTempFolder.c_str(), &st) == 0) return;
  try {
    Fire(OnRemoveTempfile, FTempFolder);
  } catch (...) {
  }
}

}  // namespace vsk
