#pragma once
// Editing a file other programs own too (mimeapps.list, a settings hive kept
// in a dotfiles folder behind a symbolic link): it is read whole or not at
// all, edited under a lock, and replaced by a new file written beside the
// file a link names, with that file's mode, renamed over it only when it is
// still the file that was read.

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <string>

namespace vsk {

// What a file was when it was read; a changed stamp means someone has
// written or replaced it since.
struct TFileStamp {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  std::timespec Modified{};
  bool operator==(const TFileStamp& o) const;
};

TFileStamp StampOf(const struct stat& St);
// The stamp of the file at Name (links followed); Exists false when none.
TFileStamp StampFile(const std::string& Name);

// The name of the file Name stands for: a symbolic link is followed to the
// file it names, each relative link against its own folder. Name itself
// when it does not exist. False with Error set when a link names nothing
// (a dangling link is not a file to replace) or links loop.
bool SharedFileTarget(const std::string& Name, std::string& Target, std::string& Error);

enum class TSharedRead { Missing, Read, Failed };

// Reads Target whole without waiting on it: anything but a regular file of
// at most MaxSize bytes, or a read that stops before the end, is Failed.
TSharedRead ReadSharedFile(const std::string& Target, std::string& Text, TFileStamp& Stamp,
                           off_t MaxSize = off_t{64} << 20);

// An exclusive lock held until destruction: on a sidecar file (created when
// missing) or on a folder, which leaves nothing behind.
class TExclusiveLock {
 public:
  TExclusiveLock() = default;
  TExclusiveLock(const TExclusiveLock&) = delete;
  TExclusiveLock& operator=(const TExclusiveLock&) = delete;
  ~TExclusiveLock();
  bool OnFile(const std::string& LockFile);
  bool OnFolder(const std::string& Folder);

 private:
  bool Take(int Fd);
  int fd_ = -1;
};

enum class TSharedWrite { Written, Changed, Failed };

// Writes Text to "<Target>.tmp-XXXXXX", flushes it, gives it the mode (and,
// run as the superuser, the owner) of the file standing at Target (NewMode
// when there is none) and renames it
// over Target, unless Target no longer has the stamp Seen (Changed: nothing
// was replaced, the caller reads again). On Written, Stamp is the new file's.
TSharedWrite ReplaceSharedFile(const std::string& Target, const std::string& Text, const TFileStamp& Seen,
                               mode_t NewMode, TFileStamp& Stamp);

// Deletes the "<Target>.tmp-XXXXXX" files a killed writer left. Only for a
// caller holding the lock every writer of Target holds while its scratch
// file exists: any such file is then one whose writer is gone.
void SweepStaleScratchFiles(const std::string& Target);

// The folder part of a path ("." for a bare name, "/" for the root).
std::string FolderOf(const std::string& Path);

}  // namespace vsk
