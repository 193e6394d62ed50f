#pragma once
// Restoring the file held in a uuencoded, xxencoded or Base64 text, also
// when the text is split over several part files.

#include <string>

#include "archive/core/unbase.h"
#include "archive/formats/uu/uucodec.h"

namespace vsk {

class TUUDecode : public TUnBase {
 public:
  TUUDecode();

  // How many lines are searched for the line that starts the data.
  int MaxHeaderLines = 100;
  // How the names of later part files are made from ArchiveFile.
  TNextVolumeName NextVolumeName = nvChangeExt;
  bool VolumeLongFilenames = false;
  // The number that the part numbering starts from; at most 10.
  Byte VolumeStartNum() const { return FVolumeStartNum; }
  void SetVolumeStartNum(Byte Value) { FVolumeStartNum = Value > 10 ? 10 : Value; }

 protected:
  // One run yields one file: there is no list pass.
  void ExtractArchive() override;
  // The text is always read through the run's stream, whatever type its
  // detection found.
  bool OpensOwnArchive() const override { return false; }

 private:
  class TTextSource;
  class TOutput;
  // One line of the text, CR LF dropped; LineFeed tells whether it ended by
  // a line feed rather than by the end of the input.
  struct TLine {
    std::string Text;
    bool LineFeed = false;
  };
  enum class TForm { None, Uu, Base64Begin, Base64Mime };

  // Finds the line that starts the data; sets the file name and, for UU and
  // XX, the alphabet and the first data line.
  TForm SearchHeader(TTextSource& Source, std::string& Name, TLine& First, bool& HaveFirst);
  // Decode the data into Out; true when the end of the data was reached.
  bool DecodeUu(TTextSource& Source, TOutput& Out, TLine& First, bool HaveFirst);
  bool DecodeBase64(TTextSource& Source, TOutput& Out, TForm Form);
  // Opens the next part file and moves to its data, which may begin with
  // the line returned in First; false ends the run.
  bool NextPart(TTextSource& Source, TOutput& Out, bool Base64, TLine& First, bool& HaveFirst);
  bool IsDataStart(const std::string& Line, bool Base64) const;
  std::string PartName(int Part) const;
  // Counts every later part file that exists as part of the text: the
  // output may not replace one before it is read.
  void NoteParts();

  Byte FVolumeStartNum = 0;
  int FPart = 0;
  std::string FPartName;
  Int64 FDeclaredSize = -1;
  TUuAlphabet FAlphabet;
};

}  // namespace vsk
