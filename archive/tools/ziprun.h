#pragma once
// The run-from-archive component: a reader kept for extracting an archive
// into a private temporary folder and running a program from it. Its own
// behaviour is that folder: it is made when the component is made (a new
// folder only its user can enter), and removed with everything in it when
// the component goes, through the handle it was made with.

#include <sys/types.h>

#include <string>

#include "archive/core/unbase.h"

namespace vsk {

enum TExecMethod : Byte { emExecuteNoWait, emExecuteAndWait };
enum TExecState : Byte { esNormal, esMinimized, esMaximized, esHidden };

class TZipRun : public TUnBase {
 public:
  // Makes a new folder of a unique name in TempDir.
  TZipRun();
  // With an archive named, removes the folder it made and everything in it
  // (links removed, never followed) and reports it through
  // OnRemoveTempfile; without one, the folder only when it is empty. A
  // folder that took its name meanwhile is not its own and stays. The
  // current folder is left alone.
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

  // Full path, no trailing separator; empty when no folder could be made.
  const std::string& TempFolder() const { return FTempFolder; }

 private:
  // Removes the folder it made from its parent, when the name still holds it.
  bool RemoveOwnFolder();

  std::string FTempFolder;
  // The folder's parent and the folder, held since they were made.
  int FParent = -1;
  int FFolder = -1;
  std::string FLeaf;
  dev_t FDev = 0;
  ino_t FIno = 0;
};

}  // namespace vsk
