#pragma once
// Compressing files into gzip files: one single-member gzip file per input,
// written beside the input or into the output folder, named by the
// Extension rule. Each member is built in a scratch file beside its output
// and takes the output's place only when it is complete, so a failed or
// cancelled member leaves an existing output as it was.
//
// A large input is deflated in blocks on ThreadCount workers and joined
// into one deflate stream; ThreadCount 1 keeps to one stream on the run's
// thread.
//
// The member: 1F 8B, Deflate, FNAME only, MTIME = the input's date by
// DateAttribute, the input's file name (UTF-8), raw deflate data, CRC-32 and
// the size modulo 2^32.

#include <functional>
#include <set>
#include <string>
#include <utility>

#include "archive/core/compbase.h"

namespace vsk {

enum TGZipExt : Byte { exNone, exAppendGZ, exUnderScore };

class TTar;

// The method name of a written member: "Stored" for 0, the Deflate name
// for 8, "Unknown" otherwise.
std::string GZipMethodText(int Method);

// Tells Writer's OnRead handler about the deflated member Gz just written:
// its name, date (Unix seconds), sizes and CRC.
void ReportGzipMember(TCompBase& Writer, const std::string& Gz, Int64 UnixTime, Int64 Unpacked, UInt32 Crc);

class TGZip : public TCompBase {
 public:
  TGZip();

  // Asked for an output that exists while ConfirmOverwrites is on: the
  // output's name, the input's date, and the answer.
  using TOnFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName, TDateTime FileDate,
                                           TOverwriteMode& OverwriteMode)>;
  TOnFileExists OnFileExists;

  TGZipExt Extension = exAppendGZ;

  // "\" becomes "/"; a name without an extension gets DefaultExt. Nothing
  // is detected. The cancel flag is cleared.
  void SetArchiveFile(const std::string& Value) override;

  // The whole job: every input FileSpec finds becomes one gzip file.
  // Returns the members written; never raises.
  int Compress() override;

 private:

  enum class TDecision { Write, Skip, Fail, StopJob };

  void RunJob();
  std::string OutputFolder() const;
  std::string OutputName(const std::string& Folder, const std::string& Input) const;
  TDecision Decide(const std::string& Input, const std::string& Output, Int64 InputTime);
  // Found: the source as the scan found it.
  bool WriteMember(const TFileObject& Found, const std::string& Output);
  // Deflate In to its end into Out, adding to Total the input taken and
  // setting Crc to its CRC-32. Return 0 or the library code of the failure
  // (25443 after a cancel). In blocks on Threads workers for inputs of more
  // than one block, else one stream on this thread.
  int DeflateSerially(TStream32& In, TStream32& Out, Int64& Total, UInt32& Crc);
  int DeflateInBlocks(TStream32& In, TStream32& Out, unsigned Threads, Int64& Total, UInt32& Crc);
  Int64 MemberTime(Int64 FileTime) const;

  // An output this run made already (by name, or the file at the name).
  bool MadeInThisRun(const std::string& Output) const;

  int FWritten = 0;
  // The outputs this run made: their names and files.
  std::set<std::string> FMadeNames;
  std::set<std::pair<UInt64, UInt64>> FMadeFiles;
};

}  // namespace vsk
