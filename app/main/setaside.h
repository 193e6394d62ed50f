#pragma once
// The file a new archive replaces. It is moved into a hidden folder beside
// it while the new archive is made, so it is neither offered in a file
// dialog nor gathered as an input, and it is deleted only once the new
// archive is in its place; otherwise it is put back.

#include <string>

namespace brevane {

class TSetAside {
 public:
  TSetAside() = default;
  TSetAside(const TSetAside&) = delete;
  TSetAside& operator=(const TSetAside&) = delete;
  ~TSetAside() { Restore(); }

  // False when an existing file could not be moved away; a missing one
  // needs nothing.
  bool Take(const std::string& Path);
  // Puts the file back in its place (over anything written there since).
  void Restore();
  // The new archive is in place: the old file goes for good.
  void Discard();

 private:
  void Forget();
  std::string FPath, FFolder, FKept;
};

}  // namespace brevane
