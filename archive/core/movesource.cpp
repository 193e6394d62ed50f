#include "archive/core/movesource.h"

#include <fcntl.h>
#include <unistd.h>

#include "archive/core/filescan.h"
#include "platform/trash.h"
#include "base/paths.h"

namespace vsk {

namespace {

// Only the folder that was walked: a path that leads elsewhere now (a
// folder renamed, or replaced by a link) gives no handle.
int OpenWalkedFolder(const std::string& Folder, UInt64 Dev, UInt64 Ino) {
  const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || st.st_dev != Dev || st.st_ino != Ino)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TSourceId SourceIdOf(const struct stat& St) {
  TSourceId id;
  id.Dev = St.st_dev;
  id.Ino = St.st_ino;
  id.Size = static_cast<Int64>(St.st_size);
  id.MTimeNs = static_cast<Int64>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
  id.CTimeNs = static_cast<Int64>(St.st_ctim.tv_sec) * 1000000000 + St.st_ctim.tv_nsec;
  return id;
}

TSourceId SourceIdOf(const TFileObject& F) {
  TSourceId id;
  id.Dev = F.Dev;
  id.Ino = F.Ino;
  id.Size = static_cast<Int64>(F.Size);
  id.MTimeNs = F.MTimeNs;
  id.CTimeNs = F.CTimeNs;
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
  for (const auto& [id, fd] : FHeld) ::close(fd);
}

void TSourceRemover::Hold(const TMovedSource& S) {
  if (S.Linked || FHeld.size() >= kMaxHeld || FHeld.count({S.DirDev, S.DirIno}) != 0) return;
  const int fd = OpenWalkedFolder(ParentFolder(S.Path), S.DirDev, S.DirIno);
  if (fd >= 0) FHeld.emplace(std::make_pair(S.DirDev, S.DirIno), fd);
}

int TSourceRemover::FolderOf(const TMovedSource& S) {
  if (const auto it = FHeld.find({S.DirDev, S.DirIno}); it != FHeld.end()) return it->second;
  const std::string folder = ParentFolder(S.Path);
  if (FDir >= 0 && folder == FDirPath && FDirDev == S.DirDev && FDirIno == S.DirIno) return FDir;
  if (FDir >= 0) ::close(FDir);
  FDir = OpenWalkedFolder(folder, S.DirDev, S.DirIno);
  FDirPath = folder;
  FDirDev = S.DirDev;
  FDirIno = S.DirIno;
  return FDir;
}

TMoveResult TSourceRemover::Remove(const TMovedSource& S) {
  if (S.Linked) return TMoveResult::mrLinked;
  if (!S.Found.Known() || S.Read != S.Found) return TMoveResult::mrChanged;
  const int dir = FolderOf(S);
  if (dir < 0) return TMoveResult::mrChanged;
  const std::string name = PathFilePart(S.Path);
  struct stat st;
  if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || SourceIdOf(st) != S.Read)
    return TMoveResult::mrChanged;
  if (FOptions == doAllowUndo) {
    // The trash takes a path: only while it still leads to this folder.
    struct stat folder;
    if (stat(ParentFolder(S.Path).c_str(), &folder) != 0 || folder.st_dev != S.DirDev || folder.st_ino != S.DirIno)
      return TMoveResult::mrChanged;
    return MoveToTrash(S.Path) ? TMoveResult::mrDeleted : TMoveResult::mrFailed;
  }
  return unlinkat(dir, name.c_str(), 0) == 0 ? TMoveResult::mrDeleted : TMoveResult::mrFailed;
}

const char* TSourceRemover::Reason(TMoveResult R) {
  switch (R) {
    case TMoveResult::mrLinked: return "reached through a linked folder: kept";
    case TMoveResult::mrChanged: return "changed since it was read: kept";
    default: return "";
  }
}

}  // namespace vsk
