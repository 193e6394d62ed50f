#pragma once
// A new file written beside its target and put at the target's name only
// once it is complete: until then it has no name where the file system
// allows (else a hidden unique one beside the target). What stands at the
// name is never opened, truncated or removed: a hard link there leaves the
// file it links to as it was, and a failed or cancelled file leaves the
// name as it stood.

#include <string>

namespace vsk {

class TStagedFile {
 public:
  // For the name Leaf in the open folder Dir (not owned; it must stay open
  // while this lives).
  TStagedFile(int Dir, std::string Leaf);
  // Discards the file unless it was placed.
  ~TStagedFile();
  TStagedFile(const TStagedFile&) = delete;
  TStagedFile& operator=(const TStagedFile&) = delete;

  // Makes the file; false with errno.
  bool Open();
  int Handle() const { return FFd; }
  // Puts the file at the name: over what stands there when Replace is set,
  // else only when the name is free (false with EEXIST otherwise). False
  // with errno; the file is then still staged.
  bool Place(bool Replace);
  // Drops the file; the name stays as it stood.
  void Discard();

 private:
  // A unique hidden name beside the target for the file, linked from Path
  // (its unnamed form) or made there; false with errno.
  bool LinkHidden(std::string& Name);

  int FDir;
  std::string FLeaf;
  int FFd = -1;
  std::string FHidden;  // the hidden name while the file has one
  bool FPlaced = false;
};

}  // namespace vsk
