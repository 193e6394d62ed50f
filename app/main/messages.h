#pragma once
// The texts of the main window's messages, as they are shown ("\r\n" and
// "\r" become line breaks only when shown).

namespace brevane::msgtext {

inline constexpr const char* kInvalidArchiveFormat = "Invalid archive format.";
inline constexpr const char* kArchiveVanished =
    "The currently open archive file no longer exist. It may \r\nhave been moved or deleted by another program.";
inline constexpr const char* kDoesNotExistSuffix = " does not exist. Please select a different file.";
inline constexpr const char* kMruFileMissing = "The file you selected does not exist. \r\nPlease select another file.";
inline constexpr const char* kSelectGroupTitle = "Select Group";
inline constexpr const char* kDeselectGroupTitle = "Deselect Group";
inline constexpr const char* kGroupPrompt = "Please enter file mask (Example: *.doc) :";
inline constexpr const char* kAborting = "Aborting ...";

inline constexpr const char* kShowExplorer = "Show E&xplorer";
inline constexpr const char* kHideExplorer = "Hide E&xplorer";
inline constexpr const char* kShowFilter = "Show &Filter";
inline constexpr const char* kHideFilter = "Hide &Filter";

inline constexpr const char* kOpenArchiveTitle = "Open Archive ...";
inline constexpr const char* kOpenArchiveFilter =
    "All Archive Files|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;*.tar;*.tgz;*.uu;*.uue;*.xxe;*.z;"
    "*.zip;*.zoo|Archive Files and EXE|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;*.tar;*.tgz;*.uu;"
    "*.uue;*.xxe;*.z;*.zip;*.zoo;*.exe|All Files|*.*";
inline constexpr const char* kNewArchiveFilter =
    "BlakHole Archive (*.bh)|*.bh|Microsoft Cabinet (*.cab)|*.cab|Javasoft Archive (*.jar)|*.jar|LHA Archive "
    "(*.lha)|*.lha|LZH Archive (*.lzh)|*.lzh|Unix Tape Archive (*.tar)|*.tar|Zip Archive (*.zip)|*.zip";
inline constexpr const char* kAllFilesFilter = "All Files (*.*)|*.*";

}  // namespace brevane::msgtext
