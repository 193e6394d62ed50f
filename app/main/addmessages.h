#pragma once
// The texts of the adding, deleting and new-archive commands and of the
// writers' questions, as they are shown ("\r\n" and "\r" become line breaks
// only when shown).

namespace brevane::addtext {

inline constexpr const char* kOpenArchiveFirst = "Please open an archive file before adding files.";
inline constexpr const char* kFilesAddedSuffix = " files added or updated.";
inline constexpr const char* kFilesCompressed = "Files Compressed: ";
inline constexpr const char* kUnableToOverwrite = "Brevane was unable to overwrite the existing file.";
inline constexpr const char* kArchivingCancelled = "Archiving operation cancelled.";
inline constexpr const char* kDiskFull = "Error creating archive. Disk full.";
// Shown when a run added nothing, so no new archive came to be.
inline constexpr const char* kNothingAdded = "No files were added. The archive was not created.";

inline constexpr const char* kNoneSelectedToDelete =
    "No files were deleted because none were selected.\rTo delete files, please select one or more files\rfirst.";
inline constexpr const char* kDeleteWholeArchive =
    "Deleting all the files in the archive will delete the\r\nwhole archive. Do you want to proceed ?";
inline constexpr const char* kDeleteSelectedFile = "Are you sure you want to\rDELETE the selected file ?";
inline constexpr const char* kDeleteSelectedFiles = "Are you sure you want to\rDELETE the selected files ?";
inline constexpr const char* kOneFileDeleted = " file successfully deleted.";
inline constexpr const char* kFilesDeleted = " files successfully deleted.";

inline constexpr const char* kDeletingPrefix = "Deleting: ";
inline constexpr const char* kCompressingPrefix = "Compressing: ";
inline constexpr const char* kScanningPrefix = "Scanning Directory: ";

inline constexpr const char* kInsertDisk = "Please insert disk number ";
inline constexpr const char* kInsufficientSpace =
    "Brevane is unable to complete this operation \r\ndue to insufficient disk space.";
inline constexpr const char* kDisketteCapacity = "Diskette capacity error.";
inline constexpr const char* kDrive = "Drive ";
inline constexpr const char* kRequiredSpace = "Required space: ";
inline constexpr const char* kFreeSpace = "Free space    : ";
inline constexpr const char* kDiskCapacity = "Disk capacity : ";
inline constexpr const char* kDisketteFull =
    "Your diskette is full. Please insert an empty diskette, then\r\nclick OK to proceed. Click Cancel if you want "
    "to abort.";
inline constexpr const char* kNotAvailable = "not available";
inline constexpr const char* kDiskWriteError =
    "Error writing to disk. The disk may have bad \r\nsectors or drive may be faulty.";
inline constexpr const char* kWriteProtected =
    "Your disk seems to be write protected. Please unprotect \r\nyour disk and click \"OK\" to continue, or click "
    "\"Cancel\" \r\nto abort.";
inline constexpr const char* kNonWriteableSuffix = " is Read Only, System File, or Hidden File ...\r\r";
inline constexpr const char* kWriteToFile = "Write to this file ?";

inline constexpr const char* kReplaceThisFile = "Do you want to replace this file:\r   ";
inline constexpr const char* kWithThisFile = "With this file ?";
inline constexpr const char* kSize = "Size: ";
inline constexpr const char* kBytes = " bytes ";
inline constexpr const char* kDate = "Date: ";
// The replace question's date pattern ("/" and ":" are the run's separators).
inline constexpr const char* kReplaceDatePattern = "mm/dd/yy hh:nn";

inline constexpr const char* kFileAlreadyExist = "File already exist.\r\r";
inline constexpr const char* kOverwriteThisFile = "Would you like to overwrite this file ?";

// The types of the new-archive and add-options dialogs, by 1-based position.
inline constexpr const char* kTypeExtensions[] = {"bh", "cab", "jar", "lha", "lzh", "tar", "zip"};

}  // namespace brevane::addtext
