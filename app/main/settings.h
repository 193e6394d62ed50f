#pragma once
// The program's settings in the per-user registry under "\Software\Brevane",
// one subkey (section) per topic: the option variables loaded at start and
// saved after the configuration dialog, the first-run defaults, and
// accessors that read or write one value of a section.

#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace brevane {

inline constexpr const char* kSettingsKey = "\\Software\\Brevane";

// One option variable per registry value, named as the value and
// initialised with its first-run default.
struct TOptions {
  // "View"
  bool ColDate = true;
  bool ColPacked = true;
  bool ColUnpacked = true;
  bool ColRatio = true;
  bool ColMethod = false;
  bool ColAttributes = false;
  bool ColPath = true;
  bool ColFileType = false;
  bool ColCRC = false;
  bool ColFileOffset = false;
  bool ColEncrypted = false;
  bool ColVolumeID = false;
  bool ColFileComment = false;
  bool FullRowSelect = false;
  bool ShowGridLines = false;
  bool DoubleClickSel = true;
  int MouseSelection = 1;

  // "Toolbar"
  bool ShowFilter = false;
  bool ButtonText = true;
  bool ToolTips = true;
  bool FlatButtons = true;
  bool BtnNewArchive = true;
  bool BtnOpenArchive = true;
  bool BtnCloseArchive = false;
  bool BtnTestArchive = false;
  bool BtnAddFiles = true;
  bool BtnExtractFiles = true;
  bool BtnDeleteFiles = false;
  bool BtnViewFiles = true;
  bool BtnPrintContentList = false;
  bool BtnCheckOut = true;
  bool BtnVirusScan = false;
  bool BtnExplorer = false;
  bool BtnWizard = true;
  bool BtnProperties = false;
  bool BtnComment = false;
  bool BtnConfiguration = false;
  bool BtnHelp = false;
  bool BtnExit = false;
  bool BtnInstall = false;
  bool BtnMakeExe = false;
  bool BtnFilter = false;

  // "Folders" (the last-used paths are read and written where they are used)
  bool OpenLast = true;
  bool AddLast = true;
  bool ExtractLast = false;
  bool ExtractSame = true;
  std::string OpenFolder;
  std::string AddFolder;
  std::string ExtractFolder;
  std::string TemporaryFolder;
  std::string CheckoutBaseFolder;

  // "FileAssociations"
  bool Ace = true;
  bool Arc = true;
  bool Arj = true;
  bool Bh = true;
  bool Cab = true;
  bool Gz = true;
  bool Jar = true;
  bool Lha = true;
  bool Lzh = true;
  bool Rar = true;
  bool Tar = true;
  bool Tgz = true;
  bool Uue = true;
  bool Uu = true;
  bool Xxe = true;
  bool Z = true;
  bool Zip = true;
  bool Zoo = true;
  bool CheckAssociations = true;
  bool EnableAssociations = true;

  // "ProgramLocations"
  std::string DefaultViewer;
  int AVProduct = 0;
  std::string VirusScanner;
  std::string Parameters;
  bool RunMinimized = false;

  // "ShellExtensions" (also read by the shell extensions themselves)
  bool ShellExtensions = true;
  bool Cascade = false;
  bool ShowIcon = true;
  bool cmAddToArc = true;
  bool cmAddToFile = true;
  bool cmAddToExe = true;
  bool cmMailArchive = true;
  bool cmExtractTo = true;
  bool cmExtractHere = true;
  bool cmExtractToFolder = true;
  bool cmExtractMultiple = true;
  bool cmVirusScan = true;
  bool cmConvert = true;
  bool cmTest = true;
  bool cmMakeExe = true;
  bool cmRepairZip = true;
  bool itArcTypeInfo = true;
  bool itDateInfo = true;
  bool itPackedSizeInfo = true;
  bool itUnpackedSizeInfo = true;
  bool itNumFilesInfo = true;
  bool itRatioInfo = true;
  bool itShowListingInfo = true;
  int MaxFilesInfo = 10;
  int adPath = 0;
  int adArcType = 6;

  // "Miscellaneous"
  bool ConfirmCompress = true;
  bool ConfirmDecompress = true;
  bool CommentsOpen = false;
  bool ShortcutStartMenu = true;
  bool ShortcutDesktop = true;
  bool StayOnTop = false;
  bool StartupOpen = false;
  bool StartupWizard = false;
  bool ClearMRU = true;
  int MRUList = 8;
  // Worker threads of the archive components (0: one per core; 1: serial).
  int ThreadCount = 0;

  bool operator==(const TOptions&) const = default;
};

// The program-wide option variables.
extern TOptions Options;

// Whether settings were written before: "\Software\Brevane\View" exists.
bool SettingsExist();

// Write one value of "\Software\Brevane\<Section>", creating the section;
// nothing happens when the section cannot be opened.
void WriteSettingString(const std::string& Section, const std::string& Name, const std::string& Value);
void WriteSettingInteger(const std::string& Section, const std::string& Name, int Value);
void WriteSettingBool(const std::string& Section, const std::string& Name, bool Value);

// Read one value of a section (a missing section is created). When the
// section cannot be opened they give "", false and -1. A missing string is
// ""; a missing or mistyped integer or boolean raises the registry's error.
std::string ReadSettingString(const std::string& Section, const std::string& Name);
bool ReadSettingBool(const std::string& Section, const std::string& Name);
int ReadSettingInteger(const std::string& Section, const std::string& Name);
// Whether the value exists (nothing is created).
bool SettingExists(const std::string& Section, const std::string& Name);

// Fills Options from the registry. A value that is missing or of the wrong
// type gets its first-run default; values added by later versions
// (cmExtractMultiple, ConfirmCompress with ConfirmDecompress) are written
// with their defaults when missing.
void LoadSettings();
// Writes Options back to the registry.
void SaveSettings();
// Writes the first-run state: every section and value with its default.
void WriteDefaultSettings();
// Deletes "\Software\Brevane" with everything below it.
void DeleteSettingsKey();

// Replaces all values of Key under Root by string values (name, data) in
// this order, creating the key, in one commit: when it fails the key keeps
// its old values and the registry's error is raised. False when the key
// cannot be opened.
bool ReplaceKeyValues(vsk::THKey Root, const std::string& Key,
                      const std::vector<std::pair<std::string, std::string>>& Values);

}  // namespace brevane
