#include "app/main/tarquestions.h"

#include <sys/stat.h>
#include <unistd.h>

#include "app/main/messages.h"
#include "app/main/userinterface.h"
#include "archive/formats/tar/tarwriter.h"

namespace brevane {

bool IsTarNameQuestion(vsk::TZipCommon& Sender, const std::string& FileName) {
  auto* tar = dynamic_cast<vsk::TTar*>(&Sender);
  return tar && tar->CompressMethod() == vsk::cmTarGzip && FileName == tar->ArchiveFile();
}

namespace {

vsk::TOverwriteMode Ask(const std::string& FileName, const char* Question) {
  const std::string text = FileName + "\r\r" + msgtext::kFileAlreadyExist + Question;
  return MessageDlg(text, mtConfirmation, mbYesNo) == mrYes ? vsk::omOverwrite : vsk::omSkip;
}

}  // namespace

vsk::TOverwriteMode AskTarNameReplace(const std::string& FileName) {
  return Ask(FileName, msgtext::kTarNameToTrash);
}

vsk::TOverwriteMode AskAddToTarGz(const std::string& FileName) { return Ask(FileName, msgtext::kAddToThisArchive); }

void AskTarFileExists(vsk::TZipCommon& Sender, const std::string& FileName, vsk::TOverwriteMode& Mode) {
  Mode = IsTarNameQuestion(Sender, FileName) ? AskTarNameReplace(FileName) : AskAddToTarGz(FileName);
}

TConvertTarStep::TConvertTarStep(const std::string& Output, vsk::TOutArcType Type) {
  if (Type != vsk::tyTarGzip) return;
  FTar = vsk::TArc2Arc::DerivedName(Output, Type);
  struct stat st;
  FStoodBefore = lstat(FTar.c_str(), &st) == 0;
}

void TConvertTarStep::Clean() const {
  struct stat st;
  // Only a regular file is the writer's tar.
  if (!FTar.empty() && !FStoodBefore && lstat(FTar.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(FTar.c_str());
}

}  // namespace brevane
