#pragma once
// Converting an archive of one type into another: the input is extracted
// by the reader of its type into a private temporary folder, that folder is
// compressed into the output by the writer of OutArcType, the result is
// optionally tested, and the temporary files and folder are removed again.
// A run's scratch lies in folders of its own that a later run removes when
// the run that made them was killed.
// Entries are never transcoded. Every event the owner sees is a relay of
// the inner reader's, writer's or tester's events.

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/compbase.h"
#include "archive/core/unbase.h"
#include "archive/core/zipcommon.h"
#include "archive/tools/runscratch.h"

namespace vsk {

enum TOutArcType : Byte { tyBh, tyCab, tyLzh, tyZip, tyTar, tyTarGzip, tyJar };
enum TOutArcMethod : Byte { amCreateNew, amAddToArc };

class TArc2Arc : public TZipCommon {
 public:
  // Unlike the writers' event of the same name it carries no file date.
  using TOnFileExists =
      std::function<void(TZipCommon& Sender, const std::string& FileName, TOverwriteMode& OverwriteMode)>;
  using TOnIntegrityBegin = std::function<void(TZipCommon& Sender, const std::string& FileName)>;
  using TOnIntegrityEnd = std::function<void(TZipCommon& Sender, const std::string& FileName)>;
  using TOnIntegrityStatus = std::function<void(TZipCommon& Sender, const std::string& FileName, bool PassFail)>;

  TArc2Arc();
  ~TArc2Arc() override;

  std::string NewArchive;
  TOutArcType OutArcType = tyBh;
  TOutArcMethod OutArcMethod = amCreateNew;
  bool IntegrityCheck = true;

  TNotifyEvent OnExtractActivate;
  TNotifyEvent OnExtractDeactivate;
  TNotifyEvent OnCompressActivate;
  TNotifyEvent OnCompressDeactivate;
  TNotifyEvent OnIntegrityActivate;
  TNotifyEvent OnIntegrityDeactivate;
  TOnBegin OnExtractBegin;
  TOnBegin OnCompressBegin;
  TOnEnd OnExtractEnd;
  TOnEnd OnCompressEnd;
  TOnIntegrityBegin OnIntegrityBegin;
  TOnIntegrityEnd OnIntegrityEnd;
  TOnIntegrityStatus OnIntegrityStatus;
  TOnFileExists OnFileExists;

  // Shows a notice to the user (the program installs its message box);
  // without one the notice is dropped.
  std::function<void(const std::string& Text)> ShowMessageHook;

  // Runs one conversion; true when the output was written with every
  // entry. Failures come through OnError; an output that is the input
  // itself (25191) and an input type without a reader (25243) also leave
  // by E_RAISE. An entry that fails its check in extraction is reported
  // (OnExtractEnd, else 25151) and left out of the new archive; an existing
  // output the user agreed to replace is then kept as it was (reported
  // 25136). The temporary files and folders are gone when it returns,
  // whatever happened.
  bool Activate();

  // The name the writer is given for a requested output: with tyTarGzip
  // "x.tgz" becomes "x.tar" and "x.tar.gz" becomes "x.tar"; otherwise the
  // name is kept.
  static std::string DerivedName(const std::string& Name, TOutArcType Type);
  // Whether a writer for the output type is part of the library.
  static bool OutputTypeSupported(TOutArcType Type);

 protected:
  virtual void ExtractEnd(TZipCommon& Sender, const std::string& FileName, bool CRC_PASS);
  // Starts the list of extracted files.
  virtual void ExtractActivate(TZipCommon& Sender);
  // Closes that list.
  virtual void ExtractDeactivate(TZipCommon& Sender);

 private:
  // Fires Handler with the inner component as Sender, this run's timer
  // paused around the call.
  template <class F, class... A>
  void Relay(F& Handler, TZipCommon& Sender, A&&... Args) {
    if (!Handler) return;
    TTimerPause pause(Timer);
    Handler(Sender, std::forward<A>(Args)...);
  }

  void Convert();
  bool ExtractStep();
  // The entries the writer added; 0 when it wrote nothing.
  int CompressStep(TCompBase& Writer, bool Replace);
  void IntegrityStep(const std::string& File, TOutArcType Type);
  void RemoveIntermediateTar();
  void RemoveFailedEntries();
  void CleanUp();
  void Notice(const std::string& Text);
  // The owner's OnError, counting what went wrong on the way.
  TOnError CountingErrors();
  // An entry was lost: reported by the reader or the writer, or failed its check.
  bool Failed() const;
  bool InsideTempFolder(const std::string& Path) const;

  TRunFolder FRunFolder;  // the run's own folder in TempDir
  int FEntryErrors = 0;
  bool FConverted = false;
  std::string FListFile;
  std::ofstream FList;
  std::string FTempFolder;  // full path, no trailing separator
  std::string FTempBare;    // its path below TempDir, with a trailing separator
  std::string FOutputFolder;
  std::string FOutputFile;  // where the writer's archive goes
  std::string FFinalFile;   // the archive the run leaves (the ".gz" for tyTarGzip)
  std::string FNestedTarFile;
  // Output names of the entries that failed their check in extraction.
  std::vector<std::string> FFailedEntries;
  TArcType FWriterType = atNA;
  bool FNestedTar = false;
  bool FTimerStarted = false;
  TOverwriteMode FOverwriteMode = omOverwrite;
};

}  // namespace vsk
