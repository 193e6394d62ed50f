#pragma once
// Backup sets: a named recipe for an archive of chosen files and folders,
// kept as a text file a user can read and edit ("<name>.qvb" in the backup
// folder), and the generation files of the sets that keep several backups.

#include <string>
#include <vector>

namespace brevane {

inline constexpr const char* kBackupFilesMarker = "[FilesInBackupSet]";
inline constexpr const char* kBackupScriptExtension = ".qvb";

// BackupMethod values.
inline constexpr int kBackupOverwrite = 1;
inline constexpr int kBackupPrompt = 2;
inline constexpr int kBackupGenerations = 3;
inline constexpr int kMinGenerations = 2;
inline constexpr int kMaxGenerations = 999;

struct TBackupScript {
  std::string Name;
  std::string Description;
  std::string Folder;     // where the backups are stored
  int ArcType = 6;        // 0 bh, 1 cab, 2 jar, 3 lha, 4 lzh, 5 tar, 6 zip
  int Compression = 0;    // 0 Maximum .. 4 None
  int StorePathInfo = 0;  // 0 relative paths, 1 full paths
  int Method = kBackupOverwrite;
  int Generations = 3;
  // Files, and folders as their path + "/*.*".
  std::vector<std::string> Entries;
};

// The folder of the scripts: $XDG_DATA_HOME/brevane/Backups/ (with "/").
std::string BackupFolder();
// The script of a set in that folder.
std::string BackupScriptPath(const std::string& SetName);
// The names of the sets in the backup folder, sorted.
std::vector<std::string> FindBackupSets();

// Whether the lines hold every required value and the marker line.
bool ValidateBackupScript(const std::vector<std::string>& Lines);
// Reads a script's lines; false when the script is not valid. Numbers that
// cannot be read keep their defaults; generations are kept within 2..999.
bool ParseBackupScript(const std::vector<std::string>& Lines, TBackupScript& Script);
// The lines of a script in their fixed order.
std::vector<std::string> BackupScriptLines(const TBackupScript& Script);
// The file's lines; false when it cannot be read.
bool ReadScriptLines(const std::string& Path, std::vector<std::string>& Lines);
// Writes a script through a temporary file renamed into place, so a
// failed write leaves the old script whole. False on failure.
bool SaveBackupScript(const std::string& Path, const TBackupScript& Script);

// A set name may be 1 to 50 characters, none of " < > \ | or "/".
bool IsValidBackupSetName(const std::string& Name);
// The extension of an ArcType (".zip" for an unknown one).
std::string BackupExtension(int ArcType);
// The single backup: folder + name + extension.
std::string SingleBackupPath(const TBackupScript& Script);
// Generation N: folder + name + N + extension (1 is the oldest).
std::string GenerationPath(const TBackupScript& Script, int N);

// Another set of the backup folder whose backups would have a file name
// of Script's in the same storage folder ("daily" with 3 generations writes
// "daily1.zip", the single backup of a set "daily1"): its name, with
// Clash the file of Script's; "" when there is none. A set of Script's own
// name is not another. Names are compared as a case-blind file system
// would.
std::string ClashingBackupSet(const TBackupScript& Script, std::string& Clash);

// Makes room for a new newest generation: generation 1 goes to the Trash
// and 2..G become 1..G-1. On failure Failed names the file that could not
// be moved.
bool RotateGenerations(const TBackupScript& Script, std::string& Failed);
// Renumbers the generation files after the count changed from Before's to
// After's, so the newest keep the highest numbers and the oldest surplus go
// to the Trash; when the folder changed they move to After's folder. Only
// the set's own names are touched: when a name it would write holds a file
// it does not move away, or another set writes its names too, nothing
// changes and Failed names that file.
bool RenumberGenerations(const TBackupScript& Before, const TBackupScript& After, std::string& Failed);

// The backups a set's method writes that are present in its folder (its
// single backup, or its generations), less files another set of the
// backup folder also names as its own.
std::vector<std::string> SetBackupsPresent(const TBackupScript& Script);
// Moves those files to the Trash, then the storage folder goes when
// nothing else is left in it. On failure Failed names the file.
bool TrashSetBackups(const TBackupScript& Script, const std::vector<std::string>& Files, std::string& Failed);

// Whether an entry leads to at least one file: a file that exists, or a
// "folder/*.*" whose folder holds a file somewhere below it.
bool BackupEntryHasFiles(const std::string& Entry);

}  // namespace brevane
