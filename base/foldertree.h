#pragma once
// Working on a folder's contents through its open handle: what a folder
// holds, entering a folder below without following a link, and emptying a
// folder without following links or leaving its file system.

#include <sys/types.h>

#include <string>
#include <vector>

namespace vsk {

// The names in the open folder DirFd ("." and ".." left out), sorted.
std::vector<std::string> FolderEntryNames(int DirFd);
// Opens the folder Name below DirFd for reading, never through a link; a
// folder made read-only is made readable to its owner first. -1 with errno.
int OpenFolderAt(int DirFd, const char* Name);
// Removes everything inside the open folder DirFd: links are removed, never
// followed, and folders of another file system than Device are left.
void ClearFolderAt(int DirFd, dev_t Device);
// Removes the folder Name below DirFd with all it holds, as ClearFolderAt
// clears it (entered without following a link, its file system only);
// false when it is not a folder or could not be removed whole.
bool RemoveFolderAt(int DirFd, const char* Name);

}  // namespace vsk
