#pragma once
// Extracting and testing ACE archives through the ACE library
// "unacev2.so", loaded by file name for each run. The library decodes and
// writes; its four callbacks come back here, where each file is selected,
// named through the name guard, put to the overwrite and password
// questions, offered the next volume and given its CRC verdict. One run at
// a time per process: a second run while one is active is refused with an
// error.

#include <string>
#include <vector>

#include "archive/core/unbase.h"

union AceCallbackRecord;

namespace vsk {

class TUnACE : public TUnBase {
 public:
  TUnACE();
  ~TUnACE() override;

 protected:
  void ExtractArchive() override;

 private:
  friend struct TUnACECallback;

  // The own walk over the first volume's headers: totals and folders.
  bool PrePass();
  // Counts every later volume of the set that exists, named as the volume
  // question names them, as part of the archive: no file may replace one
  // before it is read.
  void NoteSetVolumes();
  int Info(AceCallbackRecord& R);
  int Error(AceCallbackRecord& R);
  int Request(AceCallbackRecord& R);
  int State(AceCallbackRecord& R);
  int FileBegins(AceCallbackRecord& R);
  void FileDone(bool CrcOk, UInt32 StoredCrc);
  int ChangeVolume(AceCallbackRecord& R);
  // Reports a file that cannot be read (Name, unless it was taken) and
  // fails it when it was; the library's answer.
  int FileFails(int Message, const std::string& Name);

  std::string FVolumeName;
  std::vector<char> FComment;
  std::string FTempPath;
  bool FErrorReported = false;
  Int64 FNameBytes = 0;
  Int32 FFilesDone = 0;
  // The file in work.
  bool FWanted = false;
  bool FDirectory = false;
  UInt32 FAttributes = 0;
  UInt32 FDosDateTime = 0;
  // The file in work, and its staged output: the library decodes as it
  // tests, and its blocks are written here.
  TReaderEntry FFile;
  int FHandle = -1;
};

}  // namespace vsk
