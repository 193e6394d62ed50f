#pragma once
// What the small dialogs share: the program's own modal results, the help
// jump by keyword and the "MaskPassword" choice of both password dialogs.

#include <string>

#include "app/main/helpjump.h"

namespace brevane {

// Modal results of the three-way dialogs, beside those of userinterface.h.
// Overwrite question: Yes to All, No to All, Rename.
inline constexpr int mrOverwriteYesToAll = 21;
inline constexpr int mrOverwriteNoToAll = 22;
inline constexpr int mrOverwriteRename = 23;
// Duplicate-name dialog: Rename, Skip, Skip All.
inline constexpr int mrRenameDupe = 21;
inline constexpr int mrSkipDupe = 22;
inline constexpr int mrSkipAllDupes = 23;

// "MaskPassword" of section "Others"; false when it is missing or unreadable.
bool ReadMaskPassword();
void WriteMaskPassword(bool Value);

}  // namespace brevane
