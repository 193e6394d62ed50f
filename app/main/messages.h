#pragma once
// The texts of the main window's messages, as they are shown ("\r\n" and
// "\r" become line breaks only when shown).

namespace brevane::msgtext {

inline constexpr const char* kInvalidArchiveFormat = "Invalid archive format.";
inline constexpr const char* kArchiveVanished =
    "The currently open archive file no longer exist. It may \r\nhave been moved or deleted by another program.";
inline constexpr const char* kDoesNotExistSuffix = " does not exist. Please select a different file.";
inline constexpr const char* kFileMissingEnd = " does not exist.";
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

// Extraction and viewing.
inline constexpr const char* kExtractNotSupported = "Extraction is not supported for this file type.";
inline constexpr const char* kCompressNotSupported = "The compression format for this archive \r\nis not supported.";
inline constexpr const char* kExtractDirFailed = "Unable to create the directory. Extraction aborted.";
inline constexpr const char* kCmdExtractDirFailed = "Unable to create directory. Extraction aborted.";
inline constexpr const char* kExtractCancelled = "Extraction cancelled.\r\n\r\nFiles Extracted: ";
inline constexpr const char* kExtractPasswordError =
    "Invalid password error. One or more encrypted \r\nfiles were not extracted.\r\n\r\nFiles Extracted: ";
inline constexpr const char* kExtractCrcError =
    "CRC error detected. The extracted files may be corrupted.\r\n\r\nFiles Extracted: ";
inline constexpr const char* kExtractCompleted = "Extraction completed.\rFiles Extracted: ";
// A run that left entries out: a headline, one line per kind of entry left
// out with its count and reason, then the files written.
inline constexpr const char* kExtractNothing = "No files were extracted.";
inline constexpr const char* kExtractIncomplete = "Not all files were extracted.";
inline constexpr const char* kFilesExtracted = "Files Extracted: ";
inline constexpr const char* kLeftOutEncrypted = "Encrypted files not extracted: ";
inline constexpr const char* kLeftOutCannotWrite = "Files that could not be written: ";
inline constexpr const char* kLeftOutRefusedName = "Files refused: ";
inline constexpr const char* kLeftOutRefusedVolume = "Files refused because they would replace the archive: ";
inline constexpr const char* kLeftOutUnsupported = "Files with an unsupported compression method: ";
inline constexpr const char* kLeftOutFailedCheck = "Files that failed the CRC check: ";
inline constexpr const char* kLeftOutLinks = "Links not extracted: ";
// The output window's list of the entries left out.
inline constexpr const char* kKeptFile = "Also written, the tar archive: ";
inline constexpr const char* kAndMore = "and more: ";
inline constexpr const char* kLeftOutTitle = ":: Files Not Extracted: ";
inline constexpr const char* kNoFileToView = "No file selected. Please select one or \r\nmore files before viewing.";
inline constexpr const char* kViewFolderFailed = "Unable to create a temporary folder for viewing the files.";
inline constexpr const char* kExtractingPrefix = "Extracting: ";
inline constexpr const char* kNestedTarTitle = "Found Nested Tar File.";
inline constexpr const char* kNestedTarFile = "File: ";
inline constexpr const char* kNestedTarIsTar = "Compressed file is a tar archive.";
inline constexpr const char* kNestedTarQuestion = "Decompress the tar archive?";
inline constexpr const char* kCorruptHeader = "Header error : Missing or corrupted.\r\rDo you want to continue ?";
inline constexpr const char* kInsertFirstDisk = "Please insert the FIRST disk of this archive set.";
inline constexpr const char* kInsertLastDisk = "Please insert the LAST disk of this archive set.";
inline constexpr const char* kInsertDiskNumber = "Please insert disk number ";
inline constexpr const char* kVolumeIdCaption = " - Volume ID: ";
inline constexpr const char* kEnterFullPath = "Please enter the full path to ";

// The archive file commands.
inline constexpr const char* kNoMailProgram =
    "Your computer must be configured to use a MAPI\r\n(Messaging Application Programming Interface)\r\ncompliant "
    "email software in order to use this\r\nfeature.";
inline constexpr const char* kMailFailed =
    "Brevane was unable to hand the archive over to your email software.\r\nError #: ";
inline constexpr const char* kMailSubject = "Attached: ";
inline constexpr const char* kMoveTitle = "Move to ...";
inline constexpr const char* kCopyTitle = "Copy to ...";
inline constexpr const char* kSaveAsTitle = "Save As ...";
inline constexpr const char* kMoved = "Archive has been successfully moved.";
inline constexpr const char* kMoveFailed = "The archive could not be moved.";
inline constexpr const char* kCopied = "File copied successfully.";
inline constexpr const char* kCopyFailed = "File copy failed.";
inline constexpr const char* kConfirmDeleteArchive = "Are you sure you want to delete the currently opened archive file ?";
inline constexpr const char* kArchiveDeleted = "File has been successfully deleted.";
inline constexpr const char* kArchiveDeleteFailed = "Deletion failed. The file may be missing or read-only.";
inline constexpr const char* kNoComments = "Comments not supported for this archive format.";
inline constexpr const char* kConfirmPrint = "Print the archive contents list ?";
inline constexpr const char* kPrintTitle = "Brevane : ";
inline constexpr const char* kPrintFailed = "The contents list could not be printed: no printer is available.";
inline constexpr const char* kNothingToExport =
    "Contents list cannot be exported because there are no\r\nfiles in this archive.";
inline constexpr const char* kExported = "Archive contents list exported to:\r";
inline constexpr const char* kExportFailed = "The contents list could not be written to:\r";
inline constexpr const char* kTextFilter = "Text File (*.txt)|*.txt|All Files (*.*)|*.*";
inline constexpr const char* kCsvFilter = "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*";
inline constexpr const char* kHtmlFilter = "HTML File (*.html)|*.html|All Files (*.*)|*.*";

// The command line.
inline constexpr const char* kUnknownParameter = "Unknown commandline parameter.";
inline constexpr const char* kMultipleExtracted = "Multiple archive extraction completed.\rArchives Extracted: ";
inline constexpr const char* kArchivesNotExtracted = "\r\n\r\nNot extracted whole:";
inline constexpr const char* kTempFolderFailed = "Unable to create the temporary directory. \r\nBrevane aborted.";
inline constexpr const char* kUnableToOverwrite = "Brevane was unable to overwrite the existing file.";
inline constexpr const char* kTheFile = "The file ";

// Start-up.
inline constexpr const char* kSettingsDamaged =
    "Your Brevane settings could not be read, so all settings are back\r\nto their defaults. The damaged "
    "settings file was kept as:\r\n\r\n";

// The configuration dialog.
inline constexpr const char* kConfigScannerInvalid =
    "The location of your antivirus software is invalid. Please\r\nenter a valid location or leave blank if you do "
    "not intend\r\nto scan archives for virus.";
inline constexpr const char* kConfigFolderMissing = "The folder you entered does not exist:\r\n";
inline constexpr const char* kSelectShortcutType =
    "You must select at least one type of shortcut to \r\ncreate before clicking this button.";
inline constexpr const char* kShortcutsCreated = "Shortcuts successfully created.";
inline constexpr const char* kShortcutsFailed = "The shortcuts could not be created in:";

// Checking out.
inline constexpr const char* kCheckoutBrowseTitle = "Please select a folder and click \"OK\" to proceed.";
inline constexpr const char* kCheckoutIncomplete =
    "Please ensure that you have entered all the\r\nnecessary information before proceeding.";
inline constexpr const char* kCheckoutBadGroup =
    "The group name cannot contain \"/\" or be \".\" or \"..\".\r\nPlease enter a different group name.";
inline constexpr const char* kCheckoutHoldsArchive =
    "The Check Out folder holds the archive itself. Please choose\r\na folder that does not contain the archive.";
inline constexpr const char* kCheckoutBothExist =
    "The folder you specified already exist and is not empty. If you\r\ncontinue, all existing files in this folder "
    "and its subfolders\r\nwill be moved to the Trash.\r\n\r\nThe group name you specified already exist. If you "
    "continue,\r\nall existing icons in this group will be deleted.\r\n\r\nDo you want to continue ?";
inline constexpr const char* kCheckoutFolderExists =
    "The folder you specified already exist and is not empty. If you\r\ncontinue, all existing files in this folder "
    "and its subfolders\r\nwill be moved to the Trash.\r\n\r\nDo you want to continue ?";
inline constexpr const char* kCheckoutGroupExists =
    "The group name you specified already exist. If you continue,\r\nall existing icons in this group will be "
    "deleted.\r\n\r\nDo you want to continue ?";
inline constexpr const char* kTrashCheckoutFolder = "Do you want to move the Check Out folder \"";
inline constexpr const char* kTrashCheckedOutFiles = "Do you want to move the files checked out into \"";
inline constexpr const char* kTrashCheckoutAnd = "\" to the Trash \r\nand delete the program group \"";
inline constexpr const char* kDeleteCheckoutEnd = "\" ?";
inline constexpr const char* kDeleteGroupFailed = "Brevane was unable to delete the program group \"";

// The version check.
inline constexpr const char* kPleaseWait = "Please wait ...";
inline constexpr const char* kVersionServerError =
    "Error connecting to Brevane server. Please check \r\nthat you are connected to the Internet.";

// Testing and repairing.
inline constexpr const char* kTestingArchive = ":: Testing Archive: ";
inline constexpr const char* kVerifying = "Verifying:  ";
inline constexpr const char* kTestingFile = "> Testing: ";
inline constexpr const char* kPassed = " ... Passed";
inline constexpr const char* kFailed = " ... Failed";
inline constexpr const char* kLocalHeaderError = "> HEADER ERROR: Local header missing or corrupted.";
inline constexpr const char* kHeaderError = "> HEADER ERROR: Missing or corrupted.";
inline constexpr const char* kTestError = "> ERROR: ";
inline constexpr const char* kVerifyNestedTar = "Compressed file is a TAR archive. Decompress and verify this archive ?";
inline constexpr const char* kTestingCanceled = "Testing Canceled ...";
inline constexpr const char* kNoErrorsFound = "No errors were found in this archive file.";
inline constexpr const char* kZipArchivesFilter = "Zip Archives (*.zip)|*.zip";
inline constexpr const char* kSelectZipToRepair = "Select Zip File To Repair ...";
inline constexpr const char* kSaveRepairedAs = "Save Repaired File As ...";

// The other tools.
inline constexpr const char* kConfigureScanner =
    "You need to configure a virus scanner before you can\r\nuse this feature. To configure a virus scanner, look\r\n"
    "under the following menu item:\r\n\r\nOptions > Configuration > Program Locations";
inline constexpr const char* kScanFolderFailed = "Unable to create the temporary directory. \r\nVirus scan aborted.";
inline constexpr const char* kScanning = "Scanning for virus ...";
inline constexpr const char* kFinishedScanning = "Finished scanning";
inline constexpr const char* kScanCompleted = "Virus scan completed.";
inline constexpr const char* kScanNotDone =
    "Virus scan not done. No file could be extracted from \r\nthe archive, so the scanner was not started.";
inline constexpr const char* kScanIncomplete =
    "Virus scan incomplete. Some files could not be extracted \r\nfrom the archive and were not scanned.";
inline constexpr const char* kFilesScanned = "Files Scanned: ";
inline constexpr const char* kScanLeftOutTitle = ":: Files Not Scanned: ";
inline constexpr const char* kScannerNotStarted = "The virus scanner could not be started:\r\n";
inline constexpr const char* kScannerFailed = "The virus scanner did not end normally (exit status ";
inline constexpr const char* kScannerFailedEnd = ").\r\nPlease look at the scanner's own report.";
inline constexpr const char* kConfirmInstall =
    "Are you sure you want to extract all the files in \r\nthis archive to a temporary directory and run \r\nthe "
    "Setup/Install ?";
inline constexpr const char* kInstallWait =
    "Please click \"OK\" AFTER the installation has\r\nCOMPLETED to return to Brevane.";
inline constexpr const char* kRenameArchiveTitle = "Rename Archive";
inline constexpr const char* kRenameArchivePrompt = "Please enter a new filename WITHOUT any extensions :";
inline constexpr const char* kRenameNoExtension =
    "You entered a file extension. Please try again\r\nwithout entering any file extensions.";
inline constexpr const char* kRenameExists =
    "The new filename you entered already exist. Please \rtry again with a different filename.";
inline constexpr const char* kRenameInvalid = "The name you entered cannot be a file name. Please try again.";
inline constexpr const char* kAboutText = "Brevane 2.02";
inline constexpr const char* kConvExtracting = "Extracting current archive ...";
inline constexpr const char* kConvCompressing = "Compressing the new archive ...";
inline constexpr const char* kConvChecking = "Checking integrity of converted archive ...";
inline constexpr const char* kConvVerifying = "Verifying: ";
inline constexpr const char* kConvRemoving = "Removing: ";
inline constexpr const char* kConvFilename = "Filename: ";
inline constexpr const char* kConvOverwrite = "File already exist, overwrite ?";
inline constexpr const char* kConvDeleteFailed = "Deletion failed. The input file may be missing or read-only.";
inline constexpr const char* kConvDone = "Archive conversion successfully completed.";
inline constexpr const char* kConvAborted = "Archive conversion aborted.";
inline constexpr const char* kUUEncodeDone = "UUEncode completed successfully.";
inline constexpr const char* kUUEncodeFailed = "The file could not be encoded. See View Last Output for details.";
inline constexpr const char* kHelpNextRelease = "Help will be available in the next beta release.";

// Favourites.
inline constexpr const char* kFavouritesKey = "\\Software\\Brevane\\Favourites";
inline constexpr const char* kFavouriteMissing = "The favourite folder you selected no longer exist.";
inline constexpr const char* kConfirmRemoveFavourite = "Are you sure you want to remove the selected item ?";
inline constexpr const char* kHlpUsingFavorites = "Hlp_Using_Favorites";

// Batch jobs.
inline constexpr const char* kBatchNoFiles =
    "You must add at least one file before proceeding\r\nwith this batch operation.";
inline constexpr const char* kBatchNoAddFiles = "You must add at least one file before proceeding.";
inline constexpr const char* kBatchFolderFailed = "Error creating folder. Please enter a different folder.";
inline constexpr const char* kBatchConfirmCancel = "Are you sure you want to cancel this batch operation ?";
inline constexpr const char* kBatchCompleted = "Batch Operation Completed:";
inline constexpr const char* kBatchResultsSaved = "Results successfully saved to:\r\n";
inline constexpr const char* kBatchSaveFailed = "The results could not be saved to:\r\n";
inline constexpr const char* kBatchOverwriteStart = "The archive file ";
inline constexpr const char* kBatchOverwriteEnd = " already exist. \r\nDo you want to overwrite this file ?";
inline constexpr const char* kBatchSameOutput = " ::: ERROR: Another file of this batch already made ";
inline constexpr const char* kBatchNotReplaced = "the existing file could not be moved aside";
inline constexpr const char* kBatchLeftOut = "left out: ";
inline constexpr const char* kBatchPartlyScanned = " ::: ERROR: Not all files scanned, ";
inline constexpr const char* kBatchNothingScanned = "no file could be extracted, so none was scanned";
inline constexpr const char* kBatchHeaderDamaged = "archive header missing or corrupted";
inline constexpr const char* kBatchExeExists = " already exist. Do you want to overwrite this file ?";
inline constexpr const char* kSfxNotAvailable = "Making .EXE files is not available in this version of Brevane.";

// Backup sets.
inline constexpr const char* kBackupNoFiles = "There are no files to archive for this Backup Set.";
inline constexpr const char* kBackupDeleteError = "Error deleting the existing backup file:\r\n\r\n";
inline constexpr const char* kBackupOverwriteError = "Error overwriting the existing backup file:\r\n\r\n";
inline constexpr const char* kBackupSkipped = "\r\n\r\nBackup set skipped.";
inline constexpr const char* kBackupInvalidMethod = "Invalid backup method.";
inline constexpr const char* kBackupSaveTitle = "Save Backup To ...";
inline constexpr const char* kBackupNotMade =
    "The backup archive could not be made. Earlier backups were left as they were.";
inline constexpr const char* kBackupErrors = "There were errors trying to create following backup sets:\r\n\r\n";
inline constexpr const char* kBackupsCreated = "Backups created successfully for:\r\n\r\n";
inline constexpr const char* kQuickBackupDone = "Backup created successfully for backup set: ";
inline constexpr const char* kQuickBackupFailed = "Backup failed or aborted.";
inline constexpr const char* kBackupNeedName = "You must enter a Backup Set Name before saving.";
inline constexpr const char* kBackupInvalidName =
    "The Backup Set Name you entered is invalid. You cannot\r\nuse the following characters: <, >, |, \", \\";
inline constexpr const char* kBackupNeedFolder = "You must enter the Backup Storage Folder before saving.";
inline constexpr const char* kBackupNeedFiles =
    "You must select at least one file or folder to backup \r\nbefore saving.";
inline constexpr const char* kBackupNameClash =
    "The backups of this set would be written over those of the\r\nbackup set \"";
inline constexpr const char* kBackupNameClashIn = "\" in the same storage folder:\r\n\r\n";
inline constexpr const char* kBackupNameClashEnd =
    "\r\n\r\nPlease choose another name, archive format, storage folder\r\nor number of generations for this "
    "backup set.";
inline constexpr const char* kBackupSelectToModify = "Please select a backup set first before\r\ntrying to modify.";
inline constexpr const char* kBackupScriptMissing =
    "The script file for the backup set you selected \r\nseems to be missing.";
inline constexpr const char* kBackupScriptCorrupt =
    "The backup script you selected seems to be corrupted.\r\nBrevane was unable to read the script properly.";
inline constexpr const char* kBackupSelectToRemove =
    "Please select a backup set first before\r\ntrying to remove it.";
inline constexpr const char* kBackupConfirmRemove = "Are you sure you want to remove the \r\nselected backup set ?";
inline constexpr const char* kBackupTrashBackups =
    "Do you want Brevane to move the backups of this backup set\r\nto the Trash ?\r\n";
inline constexpr const char* kBackupTrashFailed = "Unable to move this backup to the Trash:\r\n\r\n";
inline constexpr const char* kBackupNotRenumbered =
    "The backup set was not changed: its backups cannot be renumbered\r\nwithout touching a file it did not write:\r\n\r\n";
inline constexpr const char* kBackupRemoveFailed =
    "Unable to remove this backup set. Please see the help \r\nfile for instructions on how to manually remove "
    "this \r\nbackup set.";
inline constexpr const char* kBackupSaveFailed = "The backup script could not be saved:\r\n\r\n";
inline constexpr const char* kBackupSelectToRun =
    "Please check or select at least one backup set in\r\nthe list. You can check more than one backup set\r\nto "
    "perform many backups simultaneously.";
inline constexpr const char* kBackupNoneSelected = "You did not select a Backup Set.";

// The wizard.
inline constexpr const char* kWizardNoFiles = "Please select at least one file or folder before proceeding.";
inline constexpr const char* kWizardNoTarget = "Please select the target folder before proceeding.";
inline constexpr const char* kWizardNoName = "You must enter a file name before proceeding.";
inline constexpr const char* kWizardOverwrite =
    "The file name you entered already exist. Do you want to overwrite this file ?";
inline constexpr const char* kWizardNotAFile =
    "The name you entered is that of a folder or of something else that is\r\nno file. Please enter a different file name.";
inline constexpr const char* kWizardNoArchive = "You must select an archive file before proceeding.";
inline constexpr const char* kWizardInvalidFile =
    "The file name you entered is invalid. Please select a different file.";

// Adding, deleting and new archives, and the writers' questions.
inline constexpr const char* kOpenArchiveFirst = "Please open an archive file before adding files.";
inline constexpr const char* kFilesAddedSuffix = " files added or updated.";
inline constexpr const char* kFilesCompressed = "Files Compressed: ";
inline constexpr const char* kArchivingCancelled = "Archiving operation cancelled.";
inline constexpr const char* kDiskFull = "Error creating archive. Disk full.";
// Shown when a run added nothing, so no new archive came to be.
inline constexpr const char* kTgzNotChanged =
    "Files are added to a .tgz archive only as it is made new, and only when\r\nno file stands at its name or at its tar.gz name:\r\n\r\n";
inline constexpr const char* kUUPartsExist = "These part files exist already:\r\n";
inline constexpr const char* kUUPartsOverwrite = "\r\n\r\nWould you like to overwrite them ?";
inline constexpr const char* kNotAdded = "These were not added:\r\n";
inline constexpr const char* kNoFileToAdd = " : no file to add";
inline constexpr const char* kNothingAdded = "No files were added. The archive was not created.";

inline constexpr const char* kNoneSelectedToDelete =
    "No files were deleted because none were selected.\rTo delete files, please select one or more files\rfirst.";
inline constexpr const char* kDeleteWholeArchive =
    "Deleting all the files in the archive will delete the\r\nwhole archive. Do you want to proceed ?";
inline constexpr const char* kDeleteSelectedFile = "Are you sure you want to\rDELETE the selected file ?";
inline constexpr const char* kDeleteSelectedFiles = "Are you sure you want to\rDELETE the selected files ?";
inline constexpr const char* kOneFileDeleted = " file successfully deleted.";
inline constexpr const char* kFilesDeleted = " files successfully deleted.";
// Shown when the writer of the archive's type refuses to delete entries:
// the prefix, the type's name, the suffix.
inline constexpr const char* kCannotDeletePrefix = "Files cannot be deleted from a ";
inline constexpr const char* kCannotDeleteSuffix = " archive. The archive was not changed.";
// A delete that changed nothing: the library's reason follows.
inline constexpr const char* kDeleteFailed = "The selected files were not deleted. The archive was not changed.\r\n\r\n";

inline constexpr const char* kDeletingPrefix = "Deleting: ";
inline constexpr const char* kCompressingPrefix = "Compressing: ";
inline constexpr const char* kScanningPrefix = "Scanning Directory: ";

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
// A file at the tar's name beside a tar.gz the run writes.
inline constexpr const char* kTarNameToTrash =
    "Would you like to move it to the Trash and put the tar of the new archive in its place ?";
// An existing tar.gz the run changes: its entries stay.
inline constexpr const char* kAddToThisArchive = "Would you like to add the files to this archive ?";

// Deleting in the file dialogs' file list.
inline constexpr const char* kConfirmTrashFile = "Are you sure you want to move \"";
inline constexpr const char* kConfirmTrashFileEnd = "\" to the Trash ?";
inline constexpr const char* kTrashFileFailed = "Unable to move \"";
inline constexpr const char* kTrashFileFailedEnd = "\" to the Trash.";
// A file set aside for a new archive that could not be put back.
inline constexpr const char* kRestoreFailed = "Brevane could not put \"";
inline constexpr const char* kRestoreFailedMiddle = "\" back in its place. It is still in the Trash as \"";
inline constexpr const char* kRestoreFailedEnd = "\".";
// The comment window, when the library refused the comment.
inline constexpr const char* kCommentNotSaved = "The archive comment was not saved.\r\n\r\n";

// The types of the new-archive and add-options dialogs, by 1-based position.
inline constexpr const char* kTypeExtensions[] = {"bh", "cab", "jar", "lha", "lzh", "tar", "zip"};

}  // namespace brevane::msgtext
