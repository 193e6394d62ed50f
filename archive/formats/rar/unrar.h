#pragma once
// Extracting and testing RAR archives through the RAR library "unrar3.so",
// loaded by file name while any TUnRar exists. The library decodes; the
// reader picks the entries, asks the overwrite and password questions,
// offers each next volume, judges the CRCs and maps the library's result
// codes to the message table. A walk of its own over the RAR 2.x blocks
// gives the totals, the folders to make and the CRCs of split files.
// One run at a time per process: a second run while one is active is
// refused with an error.

#include <exception>
#include <map>
#include <set>
#include <string>

#include "archive/core/unbase.h"

struct RARHeaderData;

namespace vsk {

class TUnRar : public TUnBase {
 public:
  TUnRar();
  ~TUnRar() override;

  // False when the library file cannot be found (runs then fail with 25260).
  static bool LibraryPresent();

 protected:
  void ExtractArchive() override;

 private:
  friend struct TUnRarCallback;

  // Whether the readers that exist have the library.
  static bool Bound();

  void Drive();
  // Counts every later volume of the set that exists, named as the library
  // names them, as part of the archive: no entry may replace one before it
  // is read.
  void NoteSetVolumes();
  // The own walk over one volume's blocks; Start is where its marker lies.
  void PrePass(const std::string& Volume, Int64 Start, bool First);
  void ProcessEntry(void* Handle, const RARHeaderData& Header);
  // Reports a library result by the message table (or with its code when
  // the table does not list it); false for success.
  bool ReportResult(int Code, const std::string& Name, const std::string& Extended = {});

  int ChangeVolume(char* Name, std::size_t Size);
  int ProcessData(const Byte* Data, std::size_t Count);
  int NeedPassword(char* Buffer, std::size_t Size);

  std::string FVolumeName;
  // From the own walk: the selected files, their bytes, the folders to
  // make, and the stored CRC of each file's last part (by name).
  Int32 FSelectedCount = 0;
  double FByteTotal = 0;
  bool FWalkWhole = false;  // every volume so far walked to its end
  std::set<std::string> FFolders;
  std::map<std::string, UInt32> FLastPartCrc;
  // The entry in work.
  bool FWanted = false;
  // The staged output of the entry in work (-1 when testing), a write
  // failure met in the library's callback, and the selected files done.
  int FSink = -1;
  std::exception_ptr FPending;
  Int32 FDone = 0;
  bool FStop = false;  // a result that ends the run
  Int64 FEntryLeft = 0;
};

}  // namespace vsk
