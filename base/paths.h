#pragma once
// Names of files and folders as text: nothing here looks at the file system.
// Paths in memory use "/"; the routines that add or remove a trailing
// separator write "/" and take a "\" on input as one too.
//
// Three answers for "the folder of a path", one function each:
//   PathFolderPart("a/b.zip") == "a/"   PathFolderPart("b.zip") == ""
//   FolderOrDot("a/b.zip")    == "a/"   FolderOrDot("b.zip")    == "."
//   ParentFolder("a/b.zip")   == "a"    ParentFolder("b.zip")   == "."
//                                       ParentFolder("/b.zip")  == "/"

#include <string>
#include <string_view>

namespace vsk {

// Every "/" becomes "\".
std::string SlashToBackslash(std::string_view Name);
// For raw names in a double-byte code page: the byte after a lead byte
// (0x80..0x9F, 0xE0..0xFD) is never touched, nor is a doubled "\".
std::string SlashToBackslashMB(std::string_view Name);

// A trailing "/" is added when Dir ends in neither "/" nor "\". An empty
// Dir stays empty (the current folder, not the root).
std::string AppendSlash(std::string_view Dir);
// One trailing "/" or "\" is removed; the root "/" stays.
std::string RemoveTrailingSlash(std::string_view Dir);
// Dir and Name with exactly one "/" between them; Name alone for an empty Dir.
std::string JoinPath(std::string_view Dir, std::string_view Name);
// The part of Path after its last "/" (all of it without one).
std::string PathFilePart(std::string_view Path);
// The part of Path up to and with its last "/"; empty without one: a prefix
// to put before another name.
std::string PathFolderPart(std::string_view Path);
// PathFolderPart, or "." when Path has no folder part: a folder that can be
// opened or examined as it is.
std::string FolderOrDot(std::string_view Path);
// The folder holding Path without a trailing separator: "." for a bare
// name, "/" for a name in the root.
std::string ParentFolder(std::string_view Path);
// The folder holding Path without a trailing "/": "" for a bare name, "/"
// for a name in the root.
std::string PathFolder(std::string_view Path);
// The extension of Path's last name: from its last "." on, as it stands;
// "" when the name has no ".". A hidden name such as ".profile" is all
// extension.
std::string PathExtension(std::string_view Path);
// Path without the extension of its last name (its last "." on). A hidden
// name (".profile") has no extension here and stays whole.
std::string WithoutExtension(std::string_view Path);
// Every "\" becomes "/".
std::string ForwardSlashes(std::string_view Name);
// At least 3 characters, starting with two separators ("\\srv\x", "//srv/x").
bool IsUncPath(std::string_view Path);

}  // namespace vsk
