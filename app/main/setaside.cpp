#include "app/main/setaside.h"

#include <sys/stat.h>

#include "platform/trash.h"

namespace brevane {

bool TSetAside::Take(const std::string& Path) {
  struct stat st;
  if (Path.empty() || lstat(Path.c_str(), &st) != 0) return true;
  std::string trashed;
  if (!vsk::MoveToTrash(Path, &trashed)) return false;
  FPath = Path;
  FTrashed = trashed;
  return true;
}

void TSetAside::Restore() {
  if (FTrashed.empty()) return;
  vsk::RestoreFromTrash(FTrashed, FPath);
  FTrashed.clear();
}

void TSetAside::Discard() { FTrashed.clear(); }

}  // namespace brevane
