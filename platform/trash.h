#pragma once
// The user's trash can, laid out as freedesktop desktops share it:
// $XDG_DATA_HOME/Trash (default ~/.local/share/Trash) with the trashed items
// in files/ and one info/<name>.trashinfo per item recording where it came
// from and when it was deleted, so file managers can restore it.

#include <string>

namespace vsk {

// The home trash folder (without a trailing "/"); empty when neither
// XDG_DATA_HOME nor a home folder is known.
std::string HomeTrashDir();

// Moves a file, symbolic link or folder into the home trash. A name already
// taken there gets a number before its extension ("a.txt" -> "a.2.txt").
// Across file systems the item is copied and the original then removed.
// Returns true when the item is in the trash and gone from its place;
// TrashedAs then holds its path under files/.
bool MoveToTrash(const std::string& Path, std::string* TrashedAs = nullptr);

// Puts an item MoveToTrash gave as TrashedAs back at Path, over whatever
// stands there now, and drops its info file. Across file systems it is
// copied beside Path first and renamed over it, so Path never holds a
// partial copy. False when the item is no longer in the trash or could not
// be put back (it then stays in the trash).
bool RestoreFromTrash(const std::string& TrashedAs, const std::string& Path);

// "%"-escapes a path for the Path= line: every byte except unreserved URI
// characters and "/" becomes %XX.
std::string TrashEscapePath(const std::string& Path);

}  // namespace vsk
