#pragma once
// The file a new archive replaces. It goes to the Trash while the new
// archive is made, so it is neither offered in a file dialog nor gathered as
// an input, and a run that is killed leaves it where the user can restore
// it. Once the new archive is in its place it stays in the Trash; after a
// failed or cancelled run it is put back.

#include <functional>
#include <string>

namespace brevane {

class TSetAside {
 public:
  TSetAside() = default;
  TSetAside(const TSetAside&) = delete;
  TSetAside& operator=(const TSetAside&) = delete;
  ~TSetAside() { Restore(); }

  // False when an existing file could not be moved to the Trash; a missing
  // one needs nothing.
  bool Take(const std::string& Path);
  // Puts the file back in its place (over anything written there since).
  // False, after telling OnRestoreFailed, when it could not be put back: it
  // then stays in the Trash, where the user can still find it.
  bool Restore();
  // The new archive is in place: the old file stays in the Trash.
  void Discard();

  // Told of every file that could not be put back, with its place in the
  // Trash; the program shows it to the user.
  static inline std::function<void(const std::string& Path, const std::string& Trashed)> OnRestoreFailed;

 private:
  std::string FPath, FTrashed;
};

}  // namespace brevane
