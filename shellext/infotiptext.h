#pragma once
// The tooltip text of an archive: summary lines (type, date, sizes, number
// of files, ratio), each switched by the "ShellExtensions" settings, then
// the first file names; or a short message when the archive cannot be
// listed. Everything one build touches belongs to that build, so builds may
// run on several threads at once.

#include <string>

#include "archive/formats/lister/vorsk.h"

namespace hovelin {

inline constexpr const char* kSettingsKey = "\\Software\\Brevane\\ShellExtensions";
inline constexpr const char* kDoubleClickToView = "Please double-click to\r\nview this archive.";
inline constexpr const char* kBadArchiveType = "Bad Archive File Type";
inline constexpr const char* kMultiVolume = "* Multi volume archive";
inline constexpr const char* kFilesListing = "Files Listing: ";
inline constexpr const char* kMoreFiles = "- [Double click to view all files ...]";

// One setting of the section, its key opened read-only anew: false (or -1
// for the integer) when the key, the value or its type is not there.
bool ReadTipSetting(const std::string& Name);
int ReadTipInteger(const std::string& Name);

// Numbers with thousands separators and no decimals: 1234567 -> "1,234,567".
std::string FormatSize(double Value, const std::string& Separator);

// The handlers one build gives the lister, and the text they build.
class TZipEventHandlers {
 public:
  TZipEventHandlers();

  void OnRead(vsk::TVorsk& Sender, int Filenum);
  void OnTotals(vsk::TVorsk& Sender, double UnpackSize, double PackSize, int Ratio, int NumFiles);
  void OnError(int ECode);
  void OnCorruptZipHeader();
  void OnNextVolume(bool& Cancel);

  // Binds the handlers to the lister's events.
  void Attach(vsk::TVorsk& Lister);

  std::string Text;
  bool Stop = false;
  // This build told the lister to stop at the next volume: the "User
  // canceled" that follows is no failure.
  bool VolumeCancelled = false;
  bool ShowListing = false;
  int MaxFiles = -1;
};

// Lists FileName with Lister and gives the tooltip text ("" for an empty
// name). Never raises.
std::string BuildTipText(const std::string& FileName, vsk::TVorsk& Lister);

}  // namespace hovelin
