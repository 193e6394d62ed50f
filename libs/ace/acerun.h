#pragma once
// One call of the ACE library: walks the archive's headers from volume to
// volume, reports each file through the caller's callbacks and, when
// testing or extracting, decodes it.

#include <memory>
#include <string>

#include "base/types.h"
#include "libs/ace/acelib.h"

namespace vsk {

struct TAceRunOptions {
  UInt32 Operation = ACE_OPERATION_LIST;
  std::string Destination;  // extraction only
  bool ExcludePath = false;
  std::string Password;
};

// Reads the main header of ArchiveName into Data (ArchiveName is pointed
// at the name given). Returns an ACE_* result.
int AceReadArchiveData(const char* ArchiveName, UInt32 MaxTestBytes, AceArchiveData& Data);

// Runs one list, test or extraction over ArchiveName. Global holds the
// caller's callbacks. Returns an ACE_* result.
int AceRun(AceGlobalData& Global, const char* ArchiveName, const TAceRunOptions& Options);

}  // namespace vsk
