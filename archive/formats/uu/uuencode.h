#pragma once
// Turning one file into text: uuencoded, xxencoded or MIME Base64 with
// attachment headers, optionally split into part files of a set size.
//
// Every file of a run is written to a scratch file beside it; the scratch
// files take their names only when the whole text is complete, so a failed
// or cancelled run leaves existing outputs as they were.

#include <functional>
#include <string>

#include "archive/core/compbase.h"

namespace vsk {

class TUUEncode : public TCompBase {
 public:
  TUUEncode();
  ~TUUEncode() override;

  // Asked when the output exists and OverwriteMode is not omOverwrite: the
  // output's name, its date, and the answer.
  using TOnFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName, TDateTime FileDate,
                                           TOverwriteMode& OverwriteMode)>;
  TOnFileExists OnFileExists;

  // Size of each part file in kilobytes (16 lines per kilobyte); 0 writes
  // one file.
  int KBytesPerVolume = 0;
  // Writes the alphabet in a "table" block before the data.
  bool WriteTableToFile = false;

  // The input. "\" becomes "/"; OutFilename becomes the name without its
  // extension + DefaultExt; the cancel flag is cleared.
  void SetArchiveFile(const std::string& Value) override;
  // atUUE while an input is set, else atNA.
  void SetArcType(TArcType Value) override;

  const std::string& OutFilename() const { return FOutFilename; }
  // "." clears it; a file name without an extension gets DefaultExt.
  void SetOutFilename(const std::string& Value);

  // The whole job: encodes ArchiveFile into OutFilename (and its parts).
  // Returns 1 when the text was written, else 0; never raises.
  int Compress() override;
  // The files the last run wrote (1 without parts).
  int FilesWritten() const { return FFilesWritten; }

 private:
  class TTextWriter;

  void RunJob(TRunScope& Run);
  // Whether the existing output Name (the text or one of its parts) may be
  // replaced; asks the owner about that very name as the run began to ask.
  bool MayReplaceOutput(const std::string& Name, Int64 InputDev, Int64 InputIno);
  bool Encode();

  std::string FOutFilename;
  int FFilesWritten = 0;
  TOverwriteMode FAsking = omOverwrite;  // OverwriteMode as the run began
};

}  // namespace vsk
