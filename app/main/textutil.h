#pragma once
// Small functions on names and texts typed or shown by the program. Paths
// use "/" as their separator.

#include <string>

#include "base/paths.h"

namespace brevane {

// "" stays ""; any other path gets a trailing "/" when it has none.
using vsk::AppendSlash;
// "" and "/" give ""; a path starting with "/" loses that first character;
// any other path is returned as it is.
std::string StripLeadingSlash(const std::string& Path);
// The file name with the dot of its extension (the last dot of its last
// component) replaced by "_", or with "_" appended when it has none:
// the folder name used when several archives are extracted at once.
std::string UnderscoreExtName(const std::string& FileName);
// Whether a name typed by the user can name a file: not empty, not "." or
// "..", without "/" or NUL, and without any character of the forbidden set
// (with ShortSet: " < > \ |, else also ' + ; = [ ]).
bool IsValidName(const std::string& Name, bool ShortSet);
// The folder holding a path without its trailing separator ("." for a bare
// name, "/" for a name in the root).
using vsk::ParentFolder;
// Path made absolute against the current directory and normalised; ""
// stays "".
std::string AbsolutePath(const std::string& Path);
// The last component of a path.
using vsk::PathFilePart;
// A path without its extension; a hidden name stays whole.
using vsk::WithoutExtension;
// Whether a folder lies on drive A: or B: (diskettes), which is never
// remembered as a last-used folder.
bool OnFloppyDrive(const std::string& Folder);
// Every byte of Text (at most its first 255) XOR the low byte of Key.
std::string XorString(const std::string& Text, int Key);

}  // namespace brevane
