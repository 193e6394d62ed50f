#pragma once
// Writing a finished zip archive across removable disks. Every disk holds
// one file of the archive's name and is labelled "PKBACK# " + its number;
// the first disk starts with the span marker when the archive does not fit
// on it. A local header with its name and extra field, a directory record
// and the end record are never split across disks; entry data are. A
// directory that does not fit continues on the next disk.
//
// Each disk's part is written under a scratch name on its disk. The parts
// of the later disks take the archive's name when they are whole; the first
// one, beside the archive it replaces, only once the last part is written
// (the first disk is asked for again when the set took more than one): a
// set that stops early leaves the first disk as it was. A disk with no room
// beside the old archive for the set asks before the old one is given up.

#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "base/tempstream.h"
#include "base/records/ziprecords.h"

namespace vsk {

class TZip;

// An entry of the finished archive.
struct TSpanEntry {
  TZipCentralRecord Central;  // plain; disk and offset are filled in on the way
  std::string RawName, Extra, Comment;
  bool EncryptedHeaders = false;
  Int64 Offset = 0;  // its local header in the finished archive
  Int64 Length = 0;  // header, name, extra field, data and descriptor
};

class TDiskSpanObj {
 public:
  // Kept free on every disk (on disk 1 besides LeaveSpaceOnFirstDisk).
  static constexpr Int64 kDiskReserve = 10000;

  // ReplacesOld: the file at the archive's name on the first disk is the
  // archive this run updates (else a file there is asked about).
  TDiskSpanObj(TZip& Owner, TStream32& Archive, std::vector<TSpanEntry> Entries, std::string Comment,
               bool ReplacesOld);
  ~TDiskSpanObj();
  TDiskSpanObj(const TDiskSpanObj&) = delete;
  TDiskSpanObj& operator=(const TDiskSpanObj&) = delete;

  // Asks for the disks and writes the whole archive. False after a cancel,
  // a refused prompt, a missing event, a label that cannot be written or a
  // bad record (reported through the owner).
  bool Write();
  // Disks used so far (1-based number of the current disk).
  int DiskCount() const { return FDisk; }

 private:
  bool WriteAll();
  bool MakeDiskReady(bool First);
  bool NextDisk();
  // Writes a record that must stay on one disk, moving on when it does not fit.
  bool WriteRecord(const void* Buffer, Int64 Count, bool& MovedOn);
  bool WriteRaw(const void* Buffer, Int64 Count);
  // Copies bytes of the finished archive, over as many disks as they need.
  bool CopyData(Int64 From, Int64 Count);
  std::string Target() const;
  std::string Folder() const;
  // Disk 1 held the old archive with too little room for the Total bytes of
  // the set beside it: asks whether it may go now (to the Trash with
  // doAllowUndo). False after a cancel or a failed removal.
  bool MayGiveUpOld(Int64 Total);
  // Puts the first disk's part in place (asking for the first disk again
  // when the set went on to others); false when that did not happen.
  bool PlaceFirstPart();
  bool PlacePart(TParkableTempFile& Part);

  TZip& FOwner;
  TStream32& FArchive;
  std::vector<TSpanEntry> FEntries;
  std::string FComment;
  std::unique_ptr<TParkableTempFile> FFile;   // the part of the disk in the drive
  std::unique_ptr<TParkableTempFile> FFirst;  // disk 1's part, parked until the set is written
  UInt32 FFirstSerial = 0;
  bool FReplacesOld = false;
  int FDisk = 0;
  bool FHavePrevious = false;
  UInt32 FPreviousSerial = 0;
  Int64 FLeft = 0;  // bytes this disk still takes
  Int64 FPos = 0;   // position in this disk's file
  std::vector<Byte> FBuffer;
};

}  // namespace vsk
