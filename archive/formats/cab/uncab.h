#pragma once
// Extracting and testing cabinets (and cabinet sets) through the FDI side
// of the cabinet library. The library reads the cabinet through this
// component's file handler and checks the data; every byte of an entry
// comes through the reader base's output routine (CRC, output file or the
// test sink), and every name through its name guard.

#include <exception>
#include <memory>
#include <string>

#include "archive/core/unbase.h"
#include "archive/formats/cab/cabinetlib.h"
#include "archive/codecs/codecio.h"

namespace vsk {

class TUnCab : public TUnBase {
 public:
  TUnCab();
  ~TUnCab() override;

  TCabinetFileHandler& FileHandler() { return *FHandler; }

 protected:
  // Raises 25261 when the library is missing; a file that is not a
  // cabinet extracts nothing and reports nothing.
  void ExtractArchive() override;
  bool OpensOwnArchive() const override { return true; }

  virtual intptr_t DoCabinetInfo(const std::string& NextCabinet, const std::string& NextDisk,
                                 const std::string& CabinetPath, UInt16 SetID, UInt16 CabinetNumber);
  // The output handle for the entry (0: skip it).
  virtual intptr_t DoCopyFile(FDINOTIFICATION& Info);
  virtual intptr_t DoCloseFileInfo(FDINOTIFICATION& Info);
  // Asks for the next cabinet of a set; Abort when the user declined.
  virtual intptr_t DoNextCabinet(FDINOTIFICATION& Info, bool& Abort);

 private:
  friend struct TUnCabCallbacks;
  bool IsCabinet(HFDI Context);
  // Counts every cabinet of the set that exists, earlier and later, by the
  // names the headers give, as part of the archive: no entry may replace
  // one before it is read.
  void NoteSetVolumes();
  // The chain of previous (or next) cabinets from the one opened.
  void NoteCabinetChain(bool Next);
  // One FDICopy over the archive with the list or the extract notification.
  bool Walk(HFDI Context, bool Listing);
  void CheckError(bool Ok);
  std::string EntryNameOf(const FDINOTIFICATION& Info) const;
  intptr_t ListNotify(FDINOTIFICATIONTYPE Type, FDINOTIFICATION& Info);
  intptr_t ExtractNotify(FDINOTIFICATIONTYPE Type, FDINOTIFICATION& Info);
  unsigned WriteData(const void* Buffer, unsigned Count, int& Err);
  // Opens the output of the entry in hand on its first use; false when it
  // cannot be (reported once).
  bool OpenEntryOutput();

  std::unique_ptr<TCabinetFileHandler> FHandler;
  ERF FErf{};
  bool FListing = false;
  Byte FCopyState = 0;  // 1 skipped, 2 being extracted
  bool FFirstCabinet = false;
  bool FAbort = false;
  bool FCorruptReported = false;
  // The file in work, and its staged output.
  TReaderEntry FFile;
  int FHandle = -1;
  bool FOutputOpened = false;  // the entry's output was opened, or tried
  std::unique_ptr<TReaderSink> FSink;
  std::string FNextCabinet, FNextDisk, FCabinetPath, FVolumeName;
  UInt16 FSetID = 0, FCabinetNumber = 0;
  // An exception of a callback, carried over the library and raised again
  // once the library call returned.
  std::exception_ptr FPending;
};

}  // namespace vsk
