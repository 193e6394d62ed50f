// The main window's Make .EXE command: a self-extracting program made of
// the open archive (or a named one) with the self-extractor builder.

#include <filesystem>

#include "app/components/opendialog.h"
#include "app/dialogs/tooldialogs.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/textutil.h"
#include "app/main/userinterface.h"
#include "base/messages.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSaveExeTitle = "Save EXE As ...";
constexpr const char* kExeCreated = " created.";
constexpr const char* kExeExists = " already exist. Do you want to overwrite this file ?";
constexpr const char* kMakeExeError = "Error making self-extracting executable.\rFilename: ";

}  // namespace

void TfmMain::ConnectMakeSFX() {
  connect(acMakeSFX, &QAction::triggered, this, &TfmMain::acMakeSFXExecute);
  vskMakeSFX.OnFileExists = [](vsk::TZipCommon&, const std::string& FileName, vsk::TDateTime,
                               vsk::TOverwriteMode& OverwriteMode) {
    OverwriteMode = MessageDlg(FileName + kExeExists, mtConfirmation, mbYesNo) == mrNo ? vsk::omSkip : vsk::omOverwrite;
  };
  vskMakeSFX.OnError = [](vsk::TZipCommon&, const std::string& FileName, const std::string&, const std::string&,
                          int ECode) {
    const char* text = vsk::MessageText(ECode);
    ShowError(std::string(kMakeExeError) + FileName + "\r" + "Error: " + std::to_string(ECode) + "\r" +
              (text ? text : ""));
  };
  vskMakeSFX.ShowMessageHook = [](const std::string& Text) { ShowError(Text); };
}

void TfmMain::acMakeSFXExecute() {
  if (vskVorsk.ArchiveFile().empty() || ArchiveVanished()) return;
  CmdMakeSFX({vskVorsk.ArchiveFile(), ""});
}

bool TfmMain::CmdMakeSFX(const TMakeSfxOptions& Making) {
  const std::string& ArchiveName = Making.Archive;
  std::string exe = Making.Program;
  if (exe.empty()) {
    // The builder asks before an existing program is replaced, so the
    // dialog does not.
    TSaveDialog& d = sdgSave();
    const TOpenOptions saved = d.Options;
    d.Options = saved - TOpenOptions{ofOverwritePrompt};
    d.SetTitle(kSaveExeTitle);
    d.Filter = msgtext::kAllFilesFilter;
    d.FilterIndex = 1;
    d.DefaultExt.clear();
    d.InitialDir = ParentFolder(ArchiveName);
    d.FileName = PathFilePart(ReplaceExtension(ArchiveName, ".exe"));
    const bool chosen = d.Execute() && !d.FileName.empty();
    d.Options = saved;
    if (!chosen) return false;
    std::error_code ec;
    exe = fs::absolute(d.FileName, ec).lexically_normal().string();
  }
  try {
    vskMakeSFX.SetArchiveFile(ArchiveName);
  } catch (const std::exception&) {
    // An unreadable file: the builder says so when it runs.
  }
  vskMakeSFX.SetTargetFile(exe);
  raise();
  activateWindow();
  if (!vskMakeSFX.Activate()) return false;
  ShowInformation(exe + kExeCreated);
  return true;
}

}  // namespace brevane
