#pragma once
// A file stream that never loses its target: with fmCreate the content goes
// to a scratch file in the target's folder, and Commit() flushes it and puts
// it in the target's place. Without a commit the scratch file goes and the
// target stays exactly as it was.

#include <sys/types.h>
#include <time.h>

#include <functional>
#include <string>

#include "base/stream.h"

namespace vsk {

// The process's umask, read without changing it (setting it to read it
// would race with files made on other threads).
UInt32 ProcessUmask();

class TTempFileStream : public TFileStream32 {
 public:
  // fmCreate: the scratch file is an unnamed file in the target's folder
  // (linked at the commit), so a killed run leaves nothing behind; where
  // the file system cannot make one, or Named asks for a file a library
  // opens by name, it is a unique "vsk*.tmp" beside FileName (TempDir is not
  // used: the commit must stay within one file system). Any other mode
  // opens FileName itself; there is nothing to commit then. A failed open
  // leaves the handle at -1; later reads and writes show it.
  TTempFileStream(UInt16 Mode, const std::string& FileName, const std::string& TempDir = {}, bool Named = false);
  ~TTempFileStream() override;

  Int32 Read(void* Buffer, Int32 Count) override;
  Int32 CopyChunkSize() const override { return 100000; }
  const char* ClassName() const override { return "TTempFileStream"; }

  // Flushes the scratch file and puts it at the target's name, with the
  // replaced file's permissions, owner and group. Throws EWriteError
  // (25136 "Error writing to file") and leaves the target untouched when
  // that fails, or when what stands at the target's name is no longer what
  // stood there when the stream was made (TargetChanged() then). A stream
  // opened without fmCreate commits nothing.
  void Commit();
  // Drops the scratch file now; the target stays as it was.
  void Discard();

  bool IsTemp() const { return FTemp; }
  bool Committed() const { return FCommitted; }
  // The last commit stopped because another file took the target's name.
  bool TargetChanged() const { return FTargetChanged; }
  const std::string& TargetName() const { return FTarget; }
  // The file actually opened: the scratch name, or the given name; empty
  // for an unnamed scratch file.
  const std::string& OpenedName() const { return FFileName; }
  // A name that opens the scratch file again while this stream holds it
  // (the process's own view of an unnamed file); empty when there is none.
  std::string ReopenName() const;

  // Called after every read with the count asked for, so the owner can lower
  // its bytes left and report progress.
  std::function<void(TTempFileStream& Sender, Int32 Count)> OnReadProgress;

 protected:
  void CloseFolder();
  // Opens the target's folder again by its path after CloseFolder, and
  // takes what stands at the target's name now as what the commit is to
  // find there. False with the error kept.
  bool ReopenFolder();

 private:
  // 0: nothing at the target's name; 1: the file that stood there at the
  // start; -1: another one.
  int TargetState();
  void PutInPlace();
  std::string FTarget;
  std::string FTargetPart;  // its name within its folder
  int FDir = -1;            // the target's folder, as it was at the start
  bool FExisted = false;    // a file stood at the target's name then ...
  dev_t FDev = 0;           // ... this one
  ino_t FIno = 0;
  struct timespec FCTime = {};
  bool FTemp = false;
  bool FUnnamed = false;
  bool FCommitted = false;
  bool FTargetChanged = false;
};

// A scratch file that can be closed until its commit: a text of many parts
// holds one descriptor at a time, and a part of a spanned set stays on its
// disk while other disks are in the drive.
class TParkableTempFile : public TTempFileStream {
 public:
  // Named: a parked part is opened again by its name.
  explicit TParkableTempFile(const std::string& Target) : TTempFileStream(fmCreate, Target, {}, true) {}
  // Closes the scratch file; it keeps its name and content. Unmount: its
  // disk is to leave the drive, so the folder is let go of too (a held
  // folder would keep the disk busy, and a disk put back may be mounted
  // anew); Resume then finds the folder by its path again.
  void Park(bool Unmount = false) {
    CloseHandle();
    if (Unmount) CloseFolder();
  }
  // Opens the parked scratch file again for writing; false when it is gone.
  // After a Park that let go of the folder, the caller has checked that the
  // disk in the drive is the one the part was written on: what stands at
  // the target's name then is what the commit expects.
  bool Resume();
};

}  // namespace vsk
