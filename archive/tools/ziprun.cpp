#include "archive/tools/ziprun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "base/foldertree.h"

namespace vsk {

TZipRun::TZipRun() {
  std::string base;
  try {
    base = RemoveTrailingSlash(TempDir());
  } catch (const EVskError&) {
    return;
  }
  if (base.empty()) base = "/tmp";
  // mkdtemp makes the folder under a name no one had: nothing another user
  // could have made first is taken.
  const std::string tmpl = (base == "/" ? std::string() : base) + "/vskXXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) return;
  const std::string made = name.data();
  const std::string parent = made.substr(0, made.find_last_of('/') + 1);
  FLeaf = made.substr(parent.size());
  FParent = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  FFolder = FParent < 0 ? -1 : openat(FParent, FLeaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  if (FFolder < 0 || fstat(FFolder, &st) != 0 || st.st_uid != geteuid()) {
    // Not held: it cannot be removed safely later, so it goes now.
    if (FFolder >= 0) ::close(FFolder);
    if (FParent >= 0) ::close(FParent);
    FFolder = FParent = -1;
    ::rmdir(made.c_str());
    return;
  }
  FDev = st.st_dev;
  FIno = st.st_ino;
  FTempFolder = made;
}

bool TZipRun::RemoveOwnFolder() {
  struct stat st;
  if (fstatat(FParent, FLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != FDev ||
      st.st_ino != FIno)
    return false;
  return unlinkat(FParent, FLeaf.c_str(), AT_REMOVEDIR) == 0;
}

TZipRun::~TZipRun() {
  if (FFolder < 0) return;
  const bool clear = !ArchiveFile().empty();
  // Everything inside is removed through the folder's own handle: a
  // folder or link put in place of it by its name is never entered.
  if (clear) ClearFolderAt(FFolder, FDev);
  const bool removed = RemoveOwnFolder();
  ::close(FFolder);
  ::close(FParent);
  if (!clear || !removed) return;
  try {
    Fire(OnRemoveTempfile, FTempFolder);
  } catch (...) {
  }
}

}  // namespace vsk
