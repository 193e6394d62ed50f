#pragma once
// Self-extracting programs: a stub program of the archive's format followed
// byte for byte by the archive. For ZIP and JAR archives the offsets in the
// central directory and the end record are then moved by the stub's size,
// so that the program file is a valid archive read from its start. The
// stubs are the files "vsk_" + type word + ".SFX" in SfxStubDir.
//
// The program is written to a scratch file beside TargetFile and takes
// its place only when the copy and the offset adjustment are complete; a
// file already there stays untouched until then.

#include <functional>
#include <string>

#include "base/dates.h"
#include "archive/core/zipcommon.h"

namespace vsk {

class TMakeSFX : public TZipCommon {
 public:
  // Unlike the readers' event of the same name it carries the file's date
  // and offers no new name.
  using TOnFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName, TDateTime FileDate,
                                           TOverwriteMode& OverwriteMode)>;

  // SfxStubDir starts as the running program's folder.
  TMakeSFX();

  // Detects the type as every component does, then fills TargetFile when it
  // is still empty.
  void SetArchiveFile(const std::string& Value) override;

  // When empty and ArchiveFile names an existing file: ArchiveFile with its
  // file name in lower case and everything from the name's last "." on
  // replaced by ".exe" (".exe" appended to a name without one). The folder
  // is kept as it is.
  std::string TargetFile() const;
  void SetTargetFile(const std::string& Value) { FTargetFile = Value; }

  const std::string& SfxStubDir() const { return FSfxStubDir; }
  // An existing folder is kept, with a trailing "/"; any other value gives
  // the system temporary folder.
  void SetSfxStubDir(const std::string& Value);

  // Asked when TargetFile exists; required then.
  TOnFileExists OnFileExists;
  // Shows a notice to the user (the program installs its message box);
  // without one the notice is dropped.
  std::function<void(const std::string& Text)> ShowMessageHook;

  // Writes TargetFile; true when the program is complete. Never raises:
  // failures come through OnError (a failed offset adjustment as 25110 for
  // the archive, after the notice "SlideZipOffset error...") and leave any
  // earlier TargetFile as it was.
  bool Activate();

  // The stub's file name for an archive type; empty for a type that has none.
  static std::string StubFileName(TArcType Type);

  // Moves the offsets of the zip archive that starts Slide bytes into F, as
  // detection found it in ArchiveFile, by Slide: every central record's
  // local-header offset and the end record's directory offset. Records in
  // the enciphered-header form stay enciphered. False, with F partly
  // changed, when the directory is not where detection found it, is not
  // followed by its end record, or an offset would not fit in 32 bits.
  bool SlideZipOffset(TStream32& F, Int64 Slide);

 private:
  bool Build();
  bool MayReplaceTarget(const std::string& Target);

  std::string FTargetFile;
  std::string FSfxStubDir;
};

}  // namespace vsk
