#pragma once
// Extracting and testing ZIP archives (also self-extractors and spanned
// sets) and JAR archives: stored, deflated, shrunk, reduced and imploded
// entries, traditional encryption and encrypted headers.

#include <memory>
#include <vector>

#include "archive/core/archiveview.h"
#include "archive/core/unbase.h"
#include "archive/formats/zip/unzipahead.h"
#include "base/records/ziprecords.h"

namespace vsk {

class TUnZip : public TUnBase {
 public:
  TUnZip();

 protected:
  void ExtractArchive() override;
  bool CheckPassword(const Byte* Header) override;
  // Encrypted data, read with Decode set, are deciphered with the
  // traditional zip cipher under the entry's keys.
  void DecodeBlock(bool Decode, void* Buffer, Int32 Count) override;

 private:
  struct TItem {
    UInt16 Disk = 1;  // 1-based start disk
    Int64 LocalOffset = 0;
    UInt32 ExternalAttr = 0;
    bool HaveCentral = false;
    TZipCentralRecord Central;
    // The central record's name, translated: the one listed and selected.
    std::string Name;
    // Local walk: the header as listed.
    TZipLocalHeader Local;
    // Local walk of an entry with a data descriptor: what the descriptor says.
    bool HaveDescriptor = false;
    TZipDataDescriptor Descriptor;
  };

  void WalkCentral(Int64 Position);
  void WalkLocal(Int64 Position);
  void AddItem(const TItem& Item, UInt32 DosDateTime, UInt16 Flags, UInt32 Packed, UInt32 Unpacked);
  std::string ReadName(TArchiveView& View, Int64 Position, UInt16 Length, bool Encrypted);
  // Points the header views at the archive stream in use.
  void ViewArchive();
  bool GoToDisk(int Disk, Int64 Header);
  void ExtractItem(const TItem& Item, std::size_t Index);
  // Flags, method and sizes of an entry: from its central record, else from
  // its local header and data descriptor.
  static TAheadEntry EntryPlan(const TItem& Item, const TZipLocalHeader& Local);
  // Entries decoded ahead on worker threads: only when extracting a plain,
  // single-file archive into files with more than one thread.
  void StartAhead();
  // Reports an entry decoded ahead as Decode would have, writing it into
  // Handle unless its file was adopted as the output.
  int WriteDecoded(int Handle, const TDecodedEntry& Entry, bool Adopted);
  // Decodes the entry's data into Handle; returns 0 or a library code.
  int Decode(int Handle, UInt16 Method, UInt16 Flags, Int64 Packed, Int64 Unpacked, bool Encrypted);
  int CopyStored(int Handle, Int64 Packed, bool Encrypted);
  int Inflate(int Handle, Int64 Packed, Int64 Unpacked, bool Encrypted);
  int DecodeLegacy(int Handle, UInt16 Method, UInt16 Flags, Int64 Packed, Int64 Unpacked, bool Encrypted);

  std::vector<TItem> FItems;
  // The central directory and the local headers, each read in blocks.
  TArchiveView FDirView, FLocalView;
  std::vector<std::unique_ptr<TStream32>> FRetired;
  std::unique_ptr<TInflateAhead> FAhead;
  int FCurrentDisk = 0;
  // The entry in work, for the password check.
  UInt16 FEntryFlags = 0;
  UInt32 FEntryCrc = 0;
  UInt32 FEntryDosDateTime = 0;
};

// The same component for JAR archives: only the folder rule differs.
class TUnJar : public TUnZip {};

}  // namespace vsk
