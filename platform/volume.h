#pragma once
// What the library needs to know of the medium a path lies on: readiness,
// write protection, label, serial, file-system name, drive kind, space, and
// setting a label. One interface, so spanning can be tested with a fake.

#include <string>

#include "base/types.h"

namespace vsk {

// Drive kinds in the platform's numbering.
enum TDriveType : int {
  DRIVE_UNKNOWN = 0,
  DRIVE_NO_ROOT_DIR = 1,
  DRIVE_REMOVABLE = 2,
  DRIVE_FIXED = 3,
  DRIVE_REMOTE = 4,
  DRIVE_CDROM = 5,
  DRIVE_RAMDISK = 6,
};

struct TVolumeInfo {
  std::string Label;
  UInt32 Serial = 0;
  std::string FileSystem;
};

class IVolumeService {
 public:
  virtual ~IVolumeService() = default;
  // The root folder of the file system that holds Path.
  virtual std::string VolumeRoot(const std::string& Path) = 0;
  // A medium is present and its space can be queried.
  virtual bool IsReady(const std::string& Path) = 0;
  // A probe file cannot be created in Path's folder because the medium refuses writes.
  virtual bool IsWriteProtected(const std::string& Path) = 0;
  virtual bool GetVolumeInfo(const std::string& Path, TVolumeInfo& Info) = 0;
  virtual TDriveType DriveType(const std::string& Path) = 0;
  virtual bool GetSpace(const std::string& Path, Int64& FreeBytes, Int64& TotalBytes) = 0;
  virtual bool SetLabel(const std::string& Path, const std::string& Label) = 0;
};

// The service in use: the Linux one unless a test installed its own.
IVolumeService& VolumeService();
// Installs a service (nullptr restores the Linux one); the caller keeps ownership.
void SetVolumeService(IVolumeService* Service);

// The marker file that holds a label where the file system's own cannot be set.
inline constexpr const char* kVolumeLabelMarker = ".vsk-volume-label";

}  // namespace vsk
