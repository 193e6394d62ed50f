#pragma once
// Copying and removing files, links and whole folders by handle (each level
// opened from the one above it, links never followed), for moves between
// file systems. Names are relative to the folder descriptors given
// (AT_FDCWD for paths).

#include <string>

namespace vsk {

// Copies the item FromName in FromDir to ToName in ToDir, which must not
// exist: contents, modes, owners where the process may set them, and
// access and change times, folders' after their contents. A FIFO is made
// anew; a device is not copied. On failure nothing of the copy is left.
bool CopyTree(int FromDir, const std::string& FromName, int ToDir, const std::string& ToName);

// Removes the item Name in Dir as far as the copy CopyName in CopyDir holds
// it: a file only when the copy has its size and modification time, a
// folder once it is empty. Anything that changed or came after the copy
// stays. True when the item is gone.
bool RemoveCopied(int Dir, const std::string& Name, int CopyDir, const std::string& CopyName);

// Removes the item Name in Dir with everything in it; true when it is gone.
bool RemoveTree(int Dir, const std::string& Name);

}  // namespace vsk
