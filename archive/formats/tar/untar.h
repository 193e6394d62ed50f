#pragma once
// Extracting and testing tar archives: v7, ustar, GNU and pax forms, with
// GNU long names, pax records, ustar prefixes and base-256 numbers. Folders
// are created, file times restored; sparse files (old GNU and pax forms)
// come out whole, their holes as zeros. A hard link comes out as a copy of its
// target's data when the target is an earlier entry of the archive; links
// and devices are never created as such.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/unbase.h"
#include "archive/formats/tar/tarheader.h"

namespace vsk {

class TUnTar : public TUnBase {
 public:
  // Tests the tar that Stream reads, walked once from its start as the
  // stream gives it (nothing of it is stored); Name is the archive it came
  // out of, named in reports about the tar as a whole. The files tested.
  int TestStream(const std::string& Name, std::unique_ptr<TStream32> Stream);

 protected:
  void ExtractArchive() override;
  bool OpensOwnArchive() const override;

 private:
  struct TItem {
    std::string Name;  // OEM-translated, "/" between folders
    // Why the entry cannot be extracted (a symbolic link, a device, a hard
    // link to something outside the archive, an unsupported form); empty
    // for files and folders.
    std::string Refusal;
    // A link that is refused: why, and what it names.
    const char* LinkReason = nullptr;
    std::string LinkTarget;
    bool Directory = false;
    Int64 DataOffset = 0;  // the entry's data, or its target's for a hard link
    Int64 Size = 0;
    Int64 MTime = 0;
    // A sparse file: its filled parts, StoredSize bytes from DataOffset;
    // the holes between them come out as zeros.
    bool IsSparse = false;
    Int64 StoredSize = 0;
    std::vector<TTarSparseRegion> Sparse;
    UInt32 Mode = 0;  // the stored permission bits
  };

  // Walks the headers, giving each selected entry to Take.
  void WalkEntries(const std::function<void(TItem&)>& Take);
  void ListEntries();
  void ExtractItem(const TItem& Item);
  // Reads up to Count bytes at Position; the bytes read.
  Int32 ReadAt(Int64 Position, void* Buffer, Int32 Count);
  // Writes a sparse entry's filled parts and zeros for its holes; the
  // bytes of the file not written.
  Int64 CopySparseData(const TItem& Item, int Handle);
  // Reports a sparse file's size its output cannot take, and ends the entry.
  [[noreturn]] void FailSparseWrite();

  std::vector<TItem> FItems;
  // The stream TestStream was given, until the run takes it; and whether
  // the run reads one.
  std::unique_ptr<TStream32> FStream;
  bool FStreamed = false;
};

}  // namespace vsk
