#pragma once
// The questions a tar.gz run asks about the files at the names it writes:
// the ".gz" it adds to and the file at its tar's name, each in words that
// say what Yes does; and the tar a "GZipTar" conversion builds on the way.

#include <string>

#include "archive/core/compbase.h"
#include "archive/tools/arc2arc.h"

namespace brevane {

// Whether the tar writer Sender asks about the file at its tar's name (and
// not about the ".gz" it changes).
bool IsTarNameQuestion(vsk::TZipCommon& Sender, const std::string& FileName);
// Asks whether the file at a tar.gz's tar name may go to the Trash, the new
// tar taking its name: omOverwrite for Yes, omSkip for No.
vsk::TOverwriteMode AskTarNameReplace(const std::string& FileName);
// Asks whether the files are added to the existing tar.gz FileName.
vsk::TOverwriteMode AskAddToTarGz(const std::string& FileName);
// The tar writer's question about either name.
void AskTarFileExists(vsk::TZipCommon& Sender, const std::string& FileName, vsk::TOverwriteMode& Mode);

// The tar a "GZipTar" conversion leaves beside its ".gz": it is no output
// of its own, so it goes after the run unless a file stood at its name
// before (the user agreed to that file's going; the new tar stays there).
class TConvertTarStep {
 public:
  TConvertTarStep(const std::string& Output, vsk::TOutArcType Type);
  // Removes the tar the run made when nothing stood at its name before.
  void Clean() const;

 private:
  std::string FTar;
  bool FStoodBefore = false;
};

}  // namespace brevane
