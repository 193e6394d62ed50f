#pragma once
// The trash cans, laid out as freedesktop desktops share them: the home
// trash $XDG_DATA_HOME/Trash (default ~/.local/share/Trash) for what is on
// its file system, and on any other volume that volume's own trash in its
// top folder ($topdir/.Trash/<uid> when the administrator made a sticky
// .Trash there, else $topdir/.Trash-<uid>), so nothing is copied between
// disks. Each holds the trashed items in files/ and one
// info/<name>.trashinfo per item recording where it came from (relative to
// the top folder in a volume's trash) and when it was deleted, so file
// managers can restore it.

#include <string>

namespace vsk {

// The home trash folder (without a trailing "/"); empty when neither
// XDG_DATA_HOME nor a home folder is known.
std::string HomeTrashDir();

// Moves a file, symbolic link or folder into the trash of its volume. A
// name already taken there gets a number before its extension ("a.txt" ->
// "a.2.txt"). Only where the volume has no trash that can be used is the
// item copied into the home trash (contents, modes and times, folders
// whole) and the original then removed. Returns true when the item is in
// the trash and gone from its place; TrashedAs then holds its path under
// files/.
bool MoveToTrash(const std::string& Path, std::string* TrashedAs = nullptr);

// Puts an item MoveToTrash gave as TrashedAs (a file, link or folder) back
// at Path, over a file or an empty folder standing there now, and drops
// its info file. Across file systems it is copied beside Path first and
// renamed over it, so Path never holds a partial copy. False when the item
// is no longer in the trash or could not be put back (it then stays in the
// trash).
bool RestoreFromTrash(const std::string& TrashedAs, const std::string& Path);

// "%"-escapes a path for the Path= line: every byte except unreserved URI
// characters and "/" becomes %XX.
std::string TrashEscapePath(const std::string& Path);

}  // namespace vsk
