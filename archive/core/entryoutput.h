#pragma once
// The output of one entry while it is decoded: its data go to a file beside
// the target (an unnamed file where the kernel allows it, else a hidden name
// of its own in the same folder), never to the target itself. Only Place
// puts it at the target's name, in one rename; an existing file is replaced
// then and not before. Whatever was not placed is gone when the object is:
// a run killed meanwhile leaves the target as it was (and at worst a hidden
// temporary file beside it where unnamed files cannot be made).

#include <memory>
#include <string>

#include "archive/core/folderwalk.h"

namespace vsk {

class TEntryOutput {
 public:
  // Folder: the folder the target lies in, held open by this object too;
  // Leaf: the target's name in it. Every step goes through Folder.
  TEntryOutput(std::shared_ptr<TFolderHandle> Folder, std::string Leaf);
  ~TEntryOutput();
  TEntryOutput(const TEntryOutput&) = delete;
  TEntryOutput& operator=(const TEntryOutput&) = delete;

  int Folder() const { return FFolder; }
  const TFolderHandle& FolderHandle() const { return *FHeld; }
  const std::string& Leaf() const { return FLeaf; }
  // The staged file, open for writing.
  int Handle() const { return FFile; }

  // Makes the staged file: an unnamed one where the file system makes
  // them, else (or when Named) one of a hidden name. False with errno.
  bool Stage(bool Named = false);
  // Takes File, an unnamed file finished elsewhere on the same file system,
  // as the staged file (File becomes -1).
  void Adopt(int& File);
  // Puts the staged file at Leaf. Replace: a file of that name is replaced
  // (atomically); else the name must be free. False with errno; the staged
  // file is then still there to be discarded.
  bool Place(bool Replace);
  // Whether Place has put it in place.
  bool Placed() const { return FPlaced; }
  // Closes the handle of a placed output; false with errno when the close
  // reports a failed write.
  bool CloseHandle();
  // Removes the staged file, leaving the folder as it was.
  void Discard();

 private:
  bool LinkUnnamed(const std::string& Name);
  std::shared_ptr<TFolderHandle> FHeld;
  int FFolder = -1;
  std::string FLeaf;
  int FFile = -1;
  std::string FTemp;
  bool FPlaced = false;
};

}  // namespace vsk
