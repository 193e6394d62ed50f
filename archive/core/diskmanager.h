#pragma once
// Spanned zip sets on removable disks. Reading: asks through the owner's
// events for the last disk (where the directory lives), then the first and
// each following one, and reopens the archive after each change. Writing:
// waits for a readable, writable disk in the target drive and reads the
// label that numbers the disks of a set.

#include <memory>
#include <string>

#include "base/types.h"
#include "platform/volume.h"

namespace vsk {

class TStream32;
class TZipCommon;

// "PKBACK# " + three digits.
inline constexpr const char* kSpanLabelPrefix = "PKBACK# ";
std::string SpanVolumeLabel(int DiskNumber);
// The number after "PKBACK# " (every occurrence removed), 0 when the label
// is none of ours or the rest is no number.
int DiskNumberFromLabel(const std::string& Label);
// Display text of a drive kind (0..6 the platform's types, 7 and 8 floppy sizes).
std::string DriveKindText(int Kind);

class TDiskManager {
 public:
  explicit TDiskManager(TZipCommon& Owner) : FOwner(Owner) {}

  // ---- reading
  // 0 = looking for the last disk, 1 = the first, then the following ones.
  UInt16 Step = 0;
  // Where the first entry starts on the first disk.
  Int64 FirstEntryOffset = 0;
  // The archive holds a zip record (descriptor, local or central) at Position.
  bool CheckVolume(Int64 Position);
  // Asks for the disk the current step needs and reopens the archive into
  // Stream. False after a cancel or a missing event (the owner's cancel flag
  // is then set).
  bool ChangeDisk(std::unique_ptr<TStream32>& Stream);

  // ---- writing
  // Waits for a ready medium for Path (and, with NeedWrite, a writable one)
  // and reads its details.
  bool PrepareDrive(const std::string& Path, Int64 RequiredSpace = 0, bool NeedWrite = true);
  std::string TargetPath;
  TDriveType DriveType = DRIVE_UNKNOWN;
  int DriveKind = 0;
  std::string DriveKindName;
  std::string Label;
  UInt32 Serial = 0;
  std::string FileSystem;
  int DiskNumber = 0;
  Int64 FreeSpace = 0;
  Int64 TotalSpace = 0;
  Int64 RequiredSpace = 0;

 private:
  bool AskForDisk(int Code, bool WriteCheck);
  TZipCommon& FOwner;
};

// The lister's name for the reading side.
using TDiskSpannObj = TDiskManager;

}  // namespace vsk
