#pragma once
// The run-from-archive component: a reader kept for extracting an archive
// into a private temporary folder and running a program from it. Its own
// behaviour is that folder: its name is reserved when the component is
// made, and the folder is removed with everything in it when the
// component goes. The execution settings are kept for the owner to read.

#include <string>

#include "archive/core/unbase.h"

namespace vsk {

enum TExecMethod : Byte { emExecuteNoWait, emExecuteAndWait };
enum TExecState : Byte { esNormal, esMinimized, esMaximized, esHidden };

class TZipRun : public TUnBase {
 public:
  // Reserves a unique folder name in TempDir; the folder is not made here.
  TZipRun();
  // With an archive named, removes the folder and everything in it and
  // reports it through OnRemoveTempfile. The current folder is left alone.
  ~TZipRun() override;

  TExecMethod ExecutionMethod = emExecuteAndWait;
  TExecState WindowState = esNormal;
  std::string CommandLineParams;

  TNotifyEvent OnExtractActivate;
  TNotifyEvent OnExtractDeactivate;
  TOnBegin OnExtractBegin;
  TOnEnd OnExtractEnd;
  TOnFileExists OnExtractFileExists;
  TOnProgress OnExtractProgress;

  // Full path, no trailing separator; empty when no name could be reserved.
  const std::string& TempFolder() const { return FTempFolder; }

 private:
  std::string FTempFolder;
};

}  // namespace vsk
