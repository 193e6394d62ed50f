#pragma once
// What the window's extract, add and self-extractor commands are asked to
// do, one struct each: the command line, batch jobs, backup sets, the wizard, dragging and
// the dialogs fill one in and hand it over whole.

#include <string>
#include <vector>

#include "archive/core/compbase.h"

namespace brevane {

// An extraction into Destination: every entry of Archive, or with
// SelectedOnly the entries selected in the list of the open archive
// (Archive is then not used).
struct TExtractOptions {
  std::string Archive;
  std::string Destination;
  bool UseStoredDirs = true;
  bool RestoreFileAttr = false;
  // The entries' own dates, else the time they are written.
  bool FileDate = true;
  bool ConfirmOverwrites = false;
  bool CreateStoredDirs = true;
  // The result message and the list of the entries left out.
  bool ShowResult = false;
  bool SelectedOnly = false;
};

// Files (names, folders or masks) added to Archive, made when it does not
// exist; without an extension it becomes a ".zip".
struct TAddOptions {
  std::string Archive;
  std::vector<std::string> Files;
  // The compression level's index in the add dialog (0: normal).
  int Level = 0;
  vsk::TStoredDirNames StoredDirNames = vsk::sdExplorer_Auto;
  vsk::TSwitch Switch = vsk::swAdd;
  bool SpanDisks = true;
  // The message of what was added, or that nothing was.
  bool ShowResult = false;
};

// A self-extracting program made of Archive, written as Program; an empty
// Program is asked for.
struct TMakeSfxOptions {
  std::string Archive;
  std::string Program;
};

}  // namespace brevane
