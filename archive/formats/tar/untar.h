#pragma once
// Extracting and testing tar archives: v7, ustar, GNU and pax forms, with
// GNU long names, pax records, ustar prefixes and base-256 numbers. Folders
// are created, file times restored. A hard link comes out as a copy of its
// target's data when the target is an earlier entry of the archive; links
// and devices are never created as such.

#include <string>
#include <vector>

#include "archive/core/unbase.h"

namespace vsk {

class TUnTar : public TUnBase {
 protected:
  void ExtractArchive() override;

 private:
  struct TItem {
    std::string Name;  // OEM-translated, "/" between folders
    // Why the entry cannot be extracted (a symbolic link, a device, a hard
    // link to something outside the archive, an unsupported form); empty
    // for files and folders.
    std::string Refusal;
    bool Directory = false;
    Int64 DataOffset = 0;  // the entry's data, or its target's for a hard link
    Int64 Size = 0;
    Int64 MTime = 0;
    UInt32 Mode = 0;  // the stored permission bits
  };

  void ListEntries();
  void ExtractItem(const TItem& Item);
  // Reads up to Count bytes at Position; the bytes read.
  Int32 ReadAt(Int64 Position, void* Buffer, Int32 Count);
  // The data of a long-name or pax record, at most kTarMaxExtendedData
  // bytes of it; false when the archive ends before them.
  bool ReadExtended(Int64 Position, Int64 Size, std::vector<Byte>& Data);

  std::vector<TItem> FItems;
};

}  // namespace vsk
