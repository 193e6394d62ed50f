#pragma once
// A cabinet's header and file records, read through the caller's file
// callbacks: what the reading side tells its caller, and how each file's
// folder is continued across the cabinets of a set.

#include <string>
#include <vector>

#include "base/records/cabheader.h"
#include "libs/cabinet/cabio.h"

namespace vsk::cab {

// Reads ahead through the callbacks in large blocks, so that the small
// records of a cabinet cost no call each.
class TCabReader {
 public:
  TCabReader(TCabFiles& Files, intptr_t Handle) : FFiles(Files), FHandle(Handle), FBuf(64 * 1024) {}

  // Makes up to Want bytes (at most 64 KiB) available at Data(); fewer
  // only at the end of the file. False on a read failure.
  bool Fill(std::size_t Want, std::size_t& Have);
  const Byte* Data() const { return FBuf.data() + FPos; }
  void Skip(std::size_t Count) { FPos += Count; }

 private:
  TCabFiles& FFiles;
  intptr_t FHandle;
  std::vector<Byte> FBuf;
  std::size_t FPos = 0, FEnd = 0;
};

struct TCabRecords {
  struct TFile {
    TCabFileRecord Record;
    std::string Name;
  };
  TCabHeader Header;
  std::vector<TCabFolder> Folders;
  std::vector<TFile> Files;
  // Some file goes on into the next cabinet: the last folder continues there.
  bool LastFolderGoesOn = false;
  // Some file began in the cabinet before: the first folder continues one.
  bool FirstFolderGoesBack = false;
};

// Reads the cabinet Name (opened, read, closed through Files) into Out; an
// FDIERROR number (FDIERROR_NONE when it was read).
int ReadCabRecords(TCabFiles& Files, const std::string& Name, TCabRecords& Out);

}  // namespace vsk::cab
