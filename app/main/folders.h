#pragma once
// Temporary and special folders, deleting folder trees and finding files.
// Paths use "/"; a folder argument may end with "/" or not.

#include <cstdint>
#include <string>
#include <vector>

namespace brevane {

// Numbers of the special folders, as the program's callers name them.
enum TSpecialFolder : int {
  sfDesktop = 0,
  sfPrograms = 2,
  sfPersonal = 5,
  sfStartup = 7,
  sfStartMenu = 11,
  sfMyMusic = 13,
  sfMyVideo = 14,
  sfDesktopDirectory = 16,
  sfTemplates = 21,
  sfAppData = 26,
  sfLocalAppData = 28,
  sfMyPictures = 39,
  sfProfile = 40,
};

// Creates a new, empty folder "qv_" + a unique suffix in the temporary
// folder, accessible to the user only, and returns its full name; "" when
// none could be made. The folder exists when the name is returned, so no
// other process can take the name in between.
std::string GetTempFolderName();

// Whether Path lies in a folder that GetTempFolderName made: the program
// deletes those (viewed entries, scans, installs).
bool InTempFolder(const std::string& Path);
// Notes in such a folder the archive its files are taken from, so that an
// archive among them, opened in this or another run, can be traced back.
void NoteTempSource(const std::string& Folder, const std::string& Archive);
// The folder that stands for "the archive's folder" where files are to
// stay: the archive's own; for an archive in a temporary folder the folder
// of the archive it was taken from, else Fallback.
std::string LastingFolderOf(const std::string& Archive, const std::string& Fallback);

// The per-user folder of archives made to be mailed ("-M"):
// $XDG_CACHE_HOME/brevane/mail. A mail program may read an attachment long
// after the mail tool returned, so they outlive the run.
std::string MailSpoolFolder();
// Creates a new, empty folder of the user's own in the mail spool and
// returns its full name; "" when none could be made.
std::string NewMailSpoolFolder();
// Deletes the spool's folders that have not changed for a day: their mail
// has long been sent. A link is removed, never followed.
void SweepMailSpool();

// The folder of the desktop that stands for a special folder (the XDG user
// folders, the applications menu, autostart, ...); "" for a number without
// one. The folder need not exist.
std::string GetSpecialFolderPath(int FolderId);

// True when Name is an existing regular file (followed through links).
bool IsFile(const std::string& Name);

// Deletes a file, or a folder with everything in it, for good. True when
// it is gone afterwards.
bool ShellDeleteFolder(const std::string& Path);

// Deletes everything below Folder, hidden files too, and the folder itself.
// A symbolic link is removed, never followed, and no other file system
// mounted inside is entered. When the current folder is inside, the
// process moves to Folder's parent first. Failures are ignored.
void DeleteFolderTree(const std::string& Folder);

// Adds Folder + "/" + name to List for every file in Folder whose name
// matches Mask (case-insensitive; "*.*" matches every name), and searches
// every sub-folder matching Mask the same way. Hidden entries (names
// starting with ".") and linked folders are left out. Entries come in name
// order. The result counts the files found in Folder itself only.
int FindFilesInTree(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List);
// FindFilesInTree with the mask "*.*".
int CountFilesInTree(const std::string& Folder, std::vector<std::string>& List);
// Every file below Folder, each as a blank and the name in double quotes.
std::string QuotedFileList(const std::string& Folder);

// Which file a name leads to now (device and inode, a link at the end
// not followed); both 0 when there is nothing of that name.
struct TFileId {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  bool operator==(const TFileId&) const = default;
};
TFileId FileIdOf(const std::string& Name);

// Whether both names lead to one existing file (same device and inode,
// links followed), however they are spelt.
bool SameFile(const std::string& A, const std::string& B);

}  // namespace brevane
