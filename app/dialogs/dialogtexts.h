#pragma once
// Texts and help keywords of the small dialogs, as they are shown ("\r\n" and
// "\r" become line breaks only when shown).

namespace brevane::dlgtext {

inline constexpr const char* kNoExtractDirectory = "You must enter a valid directory to extract to.";
inline constexpr const char* kRenameFileTitle = "Rename File";
inline constexpr const char* kRenameFilePrompt = "Please enter a different file name.";
inline constexpr const char* kPasswordsDontMatch =
    "The passwords you entered did not match. \r\nPlease enter them again.";
inline constexpr const char* kNoPassword = "You did not enter a password.";
inline constexpr const char* kRenameEmpty = "In order to rename the file, you must enter a valid file name.";
inline constexpr const char* kRenameUnchanged =
    "In order to change the file name, you must enter \r\na file name that is different from the original file.";
inline constexpr const char* kConfirmClearComment = "Are you sure you want to clear the archive comment ?";
inline constexpr const char* kConfirmSaveComment =
    "You have made changes to the archive comment. Would you like to save it ?";
inline constexpr const char* kConfirmCancelTask = "Are you sure you want to cancel this task ?";
inline constexpr const char* kNoWildcards =
    "Please enter one or more wildcards in the filename field.\rPlease separate wildcards with a space character.";

inline constexpr const char* kCancelCaption = "&Cancel";
inline constexpr const char* kWaitCaption = "Wait ...";
inline constexpr const char* kPasswordCaption = "&Password";
inline constexpr const char* kProtectedCaption = "&Protected";

inline constexpr const char* kMRUExtractKey = "\\Software\\Brevane\\MRUExtract";
inline constexpr int kMRUExtractMax = 20;
inline constexpr const char* kOthersSection = "Others";
inline constexpr const char* kMaskPasswordValue = "MaskPassword";

inline constexpr const char* kHlpExtractDialog = "Hlp_Extract_Dialog";
inline constexpr const char* kHlpOverwriteDialog = "Hlp_Overwrite_Dialog";
inline constexpr const char* kHlpPasswordProtect = "Hlp_Password_Protect";
inline constexpr const char* kHlpPasswordRequired = "Hlp_Password_Required";
inline constexpr const char* kHlpRenameFile = "Hlp_Rename_File";
inline constexpr const char* kHlpViewingOr = "Hlp_Viewing_or";
inline constexpr const char* kHlpAddDialog = "Hlp_Add_Dialog";
inline constexpr const char* kHlpAddOptions = "Hlp_Add_Options";

}  // namespace brevane::dlgtext
