#pragma once
// A file stream that never loses its target: with fmCreate the content goes
// to a scratch file in the target's folder, and Commit() flushes it and
// renames it over the target. Without a commit the scratch file is deleted
// and the target stays exactly as it was.

#include <functional>
#include <string>

#include "base/stream.h"

namespace vsk {

// The process's umask, read without changing it (setting it to read it
// would race with files made on other threads).
UInt32 ProcessUmask();

class TTempFileStream : public TFileStream32 {
 public:
  // fmCreate: a unique scratch file "vsk*.tmp" beside FileName (TempDir is
  // not used then: a rename works only within one file system). Any other
  // mode opens FileName itself; there is nothing to commit then. A failed
  // open leaves the handle at -1; later reads and writes show it.
  TTempFileStream(UInt16 Mode, const std::string& FileName, const std::string& TempDir = {});
  ~TTempFileStream() override;

  Int32 Read(void* Buffer, Int32 Count) override;
  Int32 CopyChunkSize() const override { return 100000; }
  const char* ClassName() const override { return "TTempFileStream"; }

  // Flushes the scratch file and renames it over the target. Throws
  // EWriteError (25136 "Error writing to file") and leaves the target
  // untouched when that fails. A stream opened without fmCreate commits nothing.
  void Commit();
  // Drops the scratch file now; the target stays as it was.
  void Discard();

  bool IsTemp() const { return FTemp; }
  bool Committed() const { return FCommitted; }
  const std::string& TargetName() const { return FTarget; }
  // The file actually opened: the scratch name, or the given name.
  const std::string& OpenedName() const { return FFileName; }

  // Called after every read with the count asked for, so the owner can lower
  // its bytes left and report progress.
  std::function<void(TTempFileStream& Sender, Int32 Count)> OnReadProgress;

 private:
  std::string FTarget;
  bool FTemp = false;
  bool FCommitted = false;
};

// A scratch file that can be closed until its commit: a text of many parts
// holds one descriptor at a time, and a part of a spanned set stays on its
// disk while other disks are in the drive.
class TParkableTempFile : public TTempFileStream {
 public:
  explicit TParkableTempFile(const std::string& Target) : TTempFileStream(fmCreate, Target) {}
  // Closes the scratch file; it keeps its name and content.
  void Park() { CloseHandle(); }
  // Opens the parked scratch file again for writing; false when it is gone.
  bool Resume();
};

}  // namespace vsk
