#include "archive/core/movesource.h"

#include <fcntl.h>
#include <unistd.h>

#include "archive/core/filescan.h"
#include "platform/trash.h"

namespace vsk {

namespace {

std::string FolderOf(const std::string& Path) {
  const auto slash = Path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : Path.substr(0, slash);
}

std::string NameOf(const std::string& Path) {
  const auto slash = Path.find_last_of('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

}  // namespace

TSourceId SourceIdOf(const struct stat& St) {
  TSourceId id;
  id.Dev = St.st_dev;
  id.Ino = St.st_ino;
  id.Size = static_cast<Int64>(St.st_size);
  id.MTimeNs = static_cast<Int64>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
  return id;
}

TSourceId SourceIdOf(const TFileObject& F) {
  TSourceId id;
  id.Dev = F.Dev;
  id.Ino = F.Ino;
  id.Size = static_cast<Int64>(F.Size);
  id.MTimeNs = F.MTimeNs;
  return id;
}

TSourceId SourceIdAfterRead(int Handle, const struct stat& AtOpen) {
  struct stat now;
  const TSourceId before = SourceIdOf(AtOpen);
  if (Handle < 0 || fstat(Handle, &now) != 0 || SourceIdOf(now) != before) return {};
  return before;
}

TSourceRemover::~TSourceRemover() {
  if (FDir >= 0) ::close(FDir);
}

bool TSourceRemover::OpenFolder(const TMovedSource& S) {
  const std::string folder = FolderOf(S.Path);
  if (FDir >= 0 && folder == FDirPath && FDirDev == S.DirDev && FDirIno == S.DirIno) return true;
  if (FDir >= 0) ::close(FDir);
  FDir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  FDirPath = folder;
  struct stat st;
  // Only the folder that was walked: a path that leads elsewhere now (a
  // folder renamed or replaced by a link) is not acted on.
  if (FDir >= 0 && (fstat(FDir, &st) != 0 || st.st_dev != S.DirDev || st.st_ino != S.DirIno)) {
    ::close(FDir);
    FDir = -1;
  }
  FDirDev = S.DirDev;
  FDirIno = S.DirIno;
  return FDir >= 0;
}

TMoveResult TSourceRemover::Remove(const TMovedSource& S) {
  if (S.Linked) return TMoveResult::mrLinked;
  if (!S.Found.Known() || S.Read != S.Found) return TMoveResult::mrChanged;
  if (!OpenFolder(S)) return TMoveResult::mrChanged;
  const std::string name = NameOf(S.Path);
  struct stat st;
  if (fstatat(FDir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
      SourceIdOf(st) != S.Read)
    return TMoveResult::mrChanged;
  if (FOptions == doAllowUndo) return MoveToTrash(S.Path) ? TMoveResult::mrDeleted : TMoveResult::mrFailed;
  return unlinkat(FDir, name.c_str(), 0) == 0 ? TMoveResult::mrDeleted : TMoveResult::mrFailed;
}

const char* TSourceRemover::Reason(TMoveResult R) {
  switch (R) {
    case TMoveResult::mrLinked: return "reached through a linked folder: kept";
    case TMoveResult::mrChanged: return "changed since it was read: kept";
    default: return "";
  }
}

}  // namespace vsk
