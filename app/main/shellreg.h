#pragma once
// The program's place in the file manager: the class and handler keys of
// its two shell extensions (the InfoTip library Hovelin and the context-menu
// and drop handler Dravik, which is installed beside the program but is not
// built here) with their approval entries, and the archive types the
// program associates with itself.

#include <array>
#include <string>
#include <vector>

#include "archive/tools/regarchive.h"

namespace brevane {

struct TOptions;

// The shell extensions' libraries, expected in the program's folder.
inline constexpr const char* kHovelinLibrary = "Hovelin.so";
inline constexpr const char* kDravikLibrary = "Dravik.so";

// The extensions that get the InfoTip handler, in the order they are written.
extern const std::array<const char*, 23> kInfoTipExtensions;
// The extensions of the "FileAssociations" settings, in the order they are
// associated and removed.
extern const std::array<const char*, 18> kAssociationExtensions;

// Writes every class and handler key of both extensions into the classes
// root and their approval entries into the per-user registry; Hovelin's own
// registration runs first. Registry failures pass to the caller
// (vsk::ERegistryException).
void RegisterShellExtensions();
// Deletes those keys again (and Hovelin's own); missing keys are skipped.
// Keys that could not be deleted are named, one a line, in the
// vsk::ERegistryException raised after all were tried.
void UnregisterShellExtensions();

// The main window's association component: the program's file type
// "Brevane", described "Brevane Archive", with every archive extension it
// opens.
vsk::TRegArchive ProgramRegArchive();
// The extensions whose "FileAssociations" setting is on, in settings order.
std::vector<std::string> EnabledAssociationExtensions(const TOptions& Options);

}  // namespace brevane
