#pragma once
// Deleting the sources of a move. A source goes only when the file in its
// place is still the very file that was found and read (same device, inode,
// size, last-write time and change time: a rewrite whose last-write time was
// put back still moves the change time), and it is removed through a handle of the
// folder it was found in (verified to be that folder), never through a path
// that may lead somewhere else by now.

#include <sys/stat.h>

#include <map>
#include <string>
#include <utility>

#include "archive/core/paths.h"
#include "base/types.h"

namespace vsk {

struct TFileObject;

// What identifies one state of a file.
struct TSourceId {
  UInt64 Dev = 0, Ino = 0;
  Int64 Size = -1;  // -1: unknown
  Int64 MTimeNs = 0;
  Int64 CTimeNs = 0;
  bool Known() const { return Size >= 0; }
  bool operator==(const TSourceId&) const = default;
};

TSourceId SourceIdOf(const struct stat& St);
// As the scan found it.
TSourceId SourceIdOf(const TFileObject& F);

// The identity of an open source after it was read, when it is the one it
// was when opened (AtOpen); unknown when it changed meanwhile.
TSourceId SourceIdAfterRead(int Handle, const struct stat& AtOpen);

// One moved source: where it was found and what was read of it.
struct TMovedSource {
  std::string Path;
  UInt64 DirDev = 0, DirIno = 0;  // the folder it was found in
  TSourceId Found, Read;
  bool Linked = false;  // reached through a linked folder
};

enum class TMoveResult : Byte { mrDeleted, mrLinked, mrChanged, mrFailed };

// Deletes moved sources through handles of their folders: those taken by
// Hold right after the walk, or else one opened (and verified) at the time.
class TSourceRemover {
 public:
  explicit TSourceRemover(TDeleteOptions Options) : FOptions(Options) {}
  ~TSourceRemover();
  TSourceRemover(const TSourceRemover&) = delete;
  TSourceRemover& operator=(const TSourceRemover&) = delete;

  // Takes a handle of the folder S was found in, when it still is that
  // folder, and keeps it until the remover goes (up to kMaxHeld folders),
  // so that S is deleted there even if the folder's path changes meanwhile.
  void Hold(const TMovedSource& S);
  static constexpr std::size_t kMaxHeld = 256;
  // mrLinked: reached through a link, kept; mrChanged: not the file that
  // was read (or gone), kept; mrFailed: the deletion failed.
  TMoveResult Remove(const TMovedSource& S);
  // The extended text of an error for a result other than mrDeleted.
  static const char* Reason(TMoveResult R);

 private:
  // The handle of S's folder, -1 when it cannot be had.
  int FolderOf(const TMovedSource& S);
  TDeleteOptions FOptions;
  std::map<std::pair<UInt64, UInt64>, int> FHeld;
  int FDir = -1;
  std::string FDirPath;
  UInt64 FDirDev = 0, FDirIno = 0;
};

}  // namespace vsk
