#pragma once
// A private scratch folder for one run of a tool, named so that the process
// owning it is known ("vsk2arc.<host>.<pid>.XXXXXX") and holding a lock
// file locked for the run's life. A run killed before it could remove its
// folder leaves it behind; a later run in the same place removes such
// folders once their owner is gone: its process id no longer exists and
// its lock is free (the system frees it with the process, however it ended).

#include <string>

namespace vsk {

class TRunFolder {
 public:
  TRunFolder() = default;
  ~TRunFolder();
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;

  // Makes a fresh folder (mode 0700) of this process in Parent and locks
  // it; false when that fails (errno tells why).
  bool Make(const std::string& Parent);
  // Removes the folder and all in it, and frees its lock.
  void Remove();
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  int FLock = -1;
};

// Removes the run folders in Parent whose owner is gone: only folders of
// this host and user, made by another process id that no longer exists,
// whose lock can be taken. Never follows a link. Returns how many went.
int SweepRunFolders(const std::string& Parent);

}  // namespace vsk
