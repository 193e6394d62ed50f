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

bool TSetAside::Restore() {
  if (FTrashed.empty()) return true;
  const bool back = vsk::RestoreFromTrash(FTrashed, FPath);
  if (!back && OnRestoreFailed) OnRestoreFailed(FPath, FTrashed);
  FTrashed.clear();
  return back;
}

void TSetAside::Discard() { FTrashed.clear(); }

}  // namespace brevane
