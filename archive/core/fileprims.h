#pragma once
// File primitives on raw descriptors. Failures are reported through the
// owner's error path where the primitive says so; -1 is the invalid handle.

#include <string>

#include "base/types.h"

namespace vsk {

class TErrorReporter;

inline constexpr int kInvalidHandle = -1;

inline constexpr UInt32 GENERIC_READ = 0x80000000u;
inline constexpr UInt32 GENERIC_WRITE = 0x40000000u;

enum TCreateDisposition : UInt32 {
  CREATE_NEW = 1,
  CREATE_ALWAYS = 2,
  OPEN_EXISTING = 3,
  OPEN_ALWAYS = 4,
  TRUNCATE_EXISTING = 5,
};

// Flags: a symbolic link at the final component is refused rather than followed.
inline constexpr UInt32 kOpenNoFollow = 0x1u;

// Reports 25235 "Error opening file" (FileName = Name, VolumeID "0") on failure.
int OpenFileHandle(TErrorReporter* Component, const std::string& Name, UInt32 Access, UInt32 Flags,
                   TCreateDisposition Disposition, UInt32 Share = 0);
// Write access; CREATE_ALWAYS when Overwrite, else CREATE_NEW. Never follows
// a symbolic link at the final component.
int CreateFileHandle(TErrorReporter* Component, const std::string& Name, bool Overwrite);
void CloseFileHandle(int Handle);

Int64 FileHandlePos(int Handle);
bool FileHandleSeek(int Handle, Int64 Offset, int Origin);
Int64 FileHandleSize(int Handle);

enum TFileTimeSelector : int { ftCreation = 0, ftLastWrite = 1, ftLastAccess = 2 };
// The file's time packed as a DOS date and time (date in the high 16 bits)
// straight from the file system's UTC time stamp, with no time-zone change.
// Creation is the birth time where the file system keeps one, else the
// last-write time. 0 when the time cannot be read.
UInt32 FileHandleDosTime(int Handle, TFileTimeSelector Selector);
// The same for a file by name.
UInt32 FileDosTime(const std::string& Name, TFileTimeSelector Selector);
// Sets the last-write time of the open file Handle to DosDateTime, a local
// DOS date and time; the access time stays.
void SetFileHandleDosTime(int Handle, UInt32 DosDateTime);

}  // namespace vsk
