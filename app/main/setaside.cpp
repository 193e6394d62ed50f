#include "app/main/setaside.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/main/textutil.h"

namespace brevane {

bool TSetAside::Take(const std::string& Path) {
  struct stat st;
  if (Path.empty() || lstat(Path.c_str(), &st) != 0) return true;
  std::string templ = ParentFolder(Path) + "/.brevane-XXXXXX";
  if (!mkdtemp(templ.data())) return false;
  const std::string kept = templ + "/" + NameOf(Path);
  if (std::rename(Path.c_str(), kept.c_str()) != 0) {
    rmdir(templ.c_str());
    return false;
  }
  FPath = Path;
  FFolder = templ;
  FKept = kept;
  return true;
}

void TSetAside::Restore() {
  if (FKept.empty()) return;
  std::rename(FKept.c_str(), FPath.c_str());
  Forget();
}

void TSetAside::Discard() {
  if (FKept.empty()) return;
  unlink(FKept.c_str());
  Forget();
}

void TSetAside::Forget() {
  rmdir(FFolder.c_str());
  FKept.clear();
  FFolder.clear();
}

}  // namespace brevane
