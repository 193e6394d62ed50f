#pragma once
// The base of every reader: the extract and test entry points, the run
// driver, the per-entry decision (OnBegin, overwrite rules), the password
// dialogue, creating, dating and closing the output, and the CRC verdict.
// A format reader walks its own headers and decodes data, calling these
// services in a fixed order.

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/messages.h"
#include "archive/core/entryoutput.h"
#include "archive/core/folderwalk.h"
#include "archive/core/zipcommon.h"

namespace vsk {

enum TCpuType : Byte { cptAuto, cpt80286, cpt80386, cpt80486 };

// What a run does with the entries.
inline constexpr Byte kActionExtract = 0;
inline constexpr Byte kActionTest = 7;
inline constexpr Byte kActionAppend = 8;

// How an accepted entry ended, for the handlers of OnEnd and OnError and for
// the caller after the run. Set before the entry's last event fires.
enum TEntryOutcome : Byte {
  eoWritten,        // written (when testing: decoded and its check passed)
  eoSkipped,        // skipped by the user (OnBegin, OnFileExists) or the overwrite mode
  eoRefusedName,    // its name is unsafe, or a link or folder stands at it
  eoRefusedVolume,  // its output is the archive itself or one of its volumes
  eoEncrypted,      // encrypted, and no password (or no supported encryption) opened it
  eoCannotWrite,    // the output could not be made or put in place; EntryOutcomeReason says why
  eoFailedCheck,    // decoded but failed its check: an existing file stays, a new one is kept
  eoCancelled,      // the run was cancelled while the entry was in work: nothing of it is left
  eoUnsupported,    // its method cannot be decoded
  eoRefusedLink,    // a link entry: never made, nor written as a file of its target's name
  eoPending,        // no outcome yet (the entry is in work, or no entry was taken)
};

// Why a link entry is refused (EntryOutcomeReason of an eoRefusedLink entry).
inline constexpr const char* kSymbolicLinkReason = "symbolic link";
inline constexpr const char* kHardLinkReason = "hard link";

// What a format reader knows of an entry before deciding on it.
struct TEntryInfo {
  std::string Name;  // as stored, after the format's name translation
  Int64 UnpackedSize = 0;
  UInt32 DosDateTime = 0;
  bool Encrypted = false;
  bool Directory = false;
  // False when the reader cannot decode the entry's method. It is refused
  // with UnsupportedCode, reported for UnsupportedFile (empty: the output).
  bool MethodSupported = true;
  int UnsupportedCode = msg::UnsupportedMethod;
  std::string UnsupportedFile;
  // Non-zero: the entry is refused with this error (and RefusalDetail)
  // once its output is named, before anything is asked or created.
  int RefusalCode = 0;
  std::string RefusalDetail;
  // Set by RefuseLink: the entry is a link, refused for this reason.
  const char* LinkReason = nullptr;
  // The later part of a file split over volumes: it goes on in
  // ContinuedOutput and was decided on with its first part, so it is
  // neither named nor asked for again.
  bool Continuation = false;
  std::string ContinuedOutput;
  // The permission bits a Unix archiver stored for the entry (0: none, as
  // from DOS and Windows archivers). With RestoreFileAttr they are what the
  // file gets, setuid, setgid and sticky never.
  UInt32 UnixMode = 0;
};

class TUnBase : public TZipCommon {
 public:
  TUnBase();
  ~TUnBase() override;

  TCpuType CpuType = cptAuto;
  bool CreateStoredDirs = false;
  bool RestoreFileAttr = true;

  // Extract the selected entries into ExtractDir; returns the files
  // processed. Never raises: failures come through OnError and the count.
  int Extract();
  // Decode the selected entries and judge their CRCs; nothing is written.
  int TestArchive();

  // State of the run, for the format readers and the tester.
  Byte Action = kActionExtract;
  bool Testing() const { return Action == kActionTest; }
  std::string OutputName;  // the file being written, or the entry name when testing
  std::string EntryName;   // the entry name as stored, after OEM translation
  bool EntryEncrypted = false;
  // The entry in work as its header describes it (an overwrite question
  // shows them): unpacked size and local DOS date-time.
  Int64 EntryUnpackedSize = 0;
  // Set by a reader of a file split over volumes for the verdict of a part
  // that goes on in the next volume: the staged output is held instead of
  // placed, the continuation (Action kActionAppend) writes on in it, and
  // only the last part's verdict places it, so an existing file is
  // replaced by the whole file or not at all.
  bool HoldForContinuation = false;
  UInt32 EntryDosDateTime = 0;
  bool PasswordFailed = false;
  UInt32 NewestEntryDate = 0;
  double PackedTotal = 0;
  double UnpackedTotal = 0;
  // The open archive of the run.
  std::unique_ptr<TStream32> ArchiveStream;
  // The outcome of the current (or last) entry, and for eoCannotWrite the
  // system's reason ("No space left on device"...), else empty. Readable in
  // OnBegin (eoPending), OnFileExists, OnEnd and OnError.
  TEntryOutcome EntryOutcome = eoPending;
  std::string EntryOutcomeReason;

 protected:
  // The format's walk over its entries.
  virtual void ExtractArchive() {}
  // The verdict: Kind 16 judges the running CRC-16, any other kind the
  // running CRC-32 (as it stands or complemented). Fires OnEnd, or reports
  // 25151 when it fails and OnEnd is not assigned.
  virtual bool CheckCrc(Byte Kind, UInt32 StoredCrc);
  // Tests Password against an entry's 12-byte encryption header.
  virtual bool CheckPassword(const Byte* Header) {
    (void)Header;
    return false;
  }
  // Whether the types of this reader open their archive through an outside
  // library rather than the run driver.
  virtual bool OpensOwnArchive() const;

  // The walk of a reader that lists its entries before extracting them:
  // Scan fills Items and the run's totals, Extract takes each item in turn
  // until the run is cancelled, and afterwards, also when an error ends the
  // run, the list is emptied and Release frees the reader's decoders.
  template <class TItem, class TScan, class TExtract, class TRelease>
  void ExtractListed(std::vector<TItem>& Items, TScan Scan, TExtract Extract, TRelease Release) {
    struct TDone {
      std::vector<TItem>& Items;
      TRelease& Release;
      ~TDone() {
        Items.clear();
        Release();
      }
    } done{Items, Release};
    Items.clear();
    if (!ArchiveStream) return;
    Scan();
    ProgressArchiveTotal = ProgressBytesLeft = UnpackedTotal;
    for (const auto& item : Items) {
      if (GetCancel()) break;
      Extract(item);
    }
  }

  // The prologue of every entry: records it (EntryName, EntryEncrypted,
  // EntryUnpackedSize, EntryDosDateTime), names its output (the entry name
  // when testing, else the guarded path below ExtractDir) and asks
  // BeginEntry. True when the entry is to be decoded, or created when it
  // is a folder. On any refusal the entry's data is accounted as skipped;
  // an unsupported method is reported, not counted, and fails its verdict.
  bool StartEntry(const TEntryInfo& Info);
  // Marks Info, an entry that is a link (to Target, when known), to be
  // refused for Reason when extracting: a link is never made, nor written
  // as a file holding its target's name, and is not counted. A test still
  // reads it.
  void RefuseLink(TEntryInfo& Info, const std::string& Target = {},
                  const char* Reason = kSymbolicLinkReason) const;
  // True when the entry is to be written (or tested). Directories are
  // accepted at once, without events and without being counted.
  bool BeginEntry(bool IsDirectory);
  // The failing verdict of an entry that was not or could not be decoded.
  void FailVerdict();
  // The verdict of the current entry: its staged output is put in place
  // (Pass, or no file stood at the name: a damaged output is kept for
  // salvage) or removed, then OnEnd fires with the verdict; without OnEnd a
  // failure is reported as a CRC failure when ReportFailure is set. False
  // when the entry failed or its output could not be placed.
  bool Verdict(bool Pass, bool ReportFailure = true);
  // Creates the output of the current entry: a staged file beside the
  // target, through the handle of the target's folder (below ExtractDir
  // entered without following links), which only the entry's verdict puts
  // at the target's name. Succeeds without opening anything when testing or
  // after a failed password (Handle stays -1). Refuses an output that is the
  // archive or a noted volume, a symbolic link or a folder.
  bool OpenOutputFile(int& Handle);
  // Takes File, an unnamed file of finished output, as the staged output of
  // the current entry when it lies on the target's file system; File then
  // becomes Handle (and File -1). Dated: File already carries the date
  // DosDateTime, which CloseOutputFile then keeps when it is the one it
  // would set. False when it cannot: the caller opens the output.
  bool AdoptOutputFile(int& Handle, int& File, bool Dated = false, UInt32 DosDateTime = 0);
  // For a decoder that writes the output by name itself: stages a new,
  // empty file beside the current output under a hidden name (its folders
  // made as OpenOutputFile makes them) and returns its path. The output is
  // refused, as OpenOutputFile refuses it, before anything of it is
  // touched; then the result is empty. The entry's verdict places it.
  std::string StageOutputFile();
  // A handle of that staged file, opened through its folder's handle; -1
  // when there is none.
  int OpenStagedOutput();
  // Counts Name, a further volume of the run's archive, as part of it: no
  // output may replace it.
  void NoteArchiveVolume(const std::string& Name);
  // The password dialogue for an encrypted entry: reads the 12-byte header
  // through the input and tries Password, then Passwords, then asks.
  bool GetEntryPassword();
  // Runs Decode, which writes the current entry to Handle. A failed write
  // was reported where it was raised and ends only the entry; a full disk,
  // or anything else raised, ends the run, with Handle closed first unless
  // it is the staged output (which leaves nothing when the run ends).
  void DecodeEntry(int Handle, const std::function<void()>& Decode);
  // Sets date and attributes (extracting): the staged output stays open
  // for its verdict, any other handle is closed. When testing the output
  // name becomes the entry name.
  void CloseOutputFile(int Handle, UInt32 DosDateTime, UInt32 Attributes);
  // The DOS date-time CloseOutputFile gives an entry of date DosDateTime,
  // unless DateAttribute takes the time of the close itself (then false).
  bool OutputDate(UInt32 DosDateTime, UInt32& Date) const;
  // The output Handle no longer carries the date it was adopted with.
  void ForgetOutputDate(int Handle) {
    if (Handle == FDatedHandle) FDatedHandle = -1;
  }
  // Accounts the bytes of an entry that is not decoded.
  void SkipEntryData(Int64 Size);
  // Creates the folder of a directory entry below ExtractDir.
  bool CreateEntryFolder();
  // Notes a failed write of the output for the entry's outcome.
  using TZipCommon::ReportError;
  void ReportError(const std::string& FileName, const std::string& ExtendedMsg, const std::string& VolumeID,
                   int ECode) override;
  using TErrorReporter::ReportError;

  Byte EncryptionHeader[12] = {};

 private:
  int Run(Byte RunAction);
  // Ends an accepted entry its reader left without a verdict (a failed
  // open, a run cut off): it fails, and nothing of it is left.
  void ConcludeEntry();
  // Puts the staged output in place or removes it; false when the entry
  // is not to pass (refused, cannot write, cancelled).
  bool CommitOutput(bool Pass);
  // The entry leaves no output: counted no more, with this outcome.
  void Uncount(TEntryOutcome Outcome);
  // The held output of a split file whose rest never came: it takes its
  // name where that is free (the file as far as it goes); else it is
  // dropped, the file that stands there stays, and it counts no more.
  void SettleHeldOutput();
  // Whether what stands at the output's name refuses it (reported).
  bool RefusesTarget(int Folder, const std::string& Leaf, bool& Exists);
  void CannotWrite(int Error, int Code);
  // Makes FOutput for the current output name: Named for a decoder that
  // writes by name. Refusals and failures are reported; then false.
  bool StageOutput(bool Named);
  bool IsArchiveItself(int Fd) const;
  bool IsArchiveFile(UInt64 Dev, UInt64 Ino) const;
  // Reports and refuses an output name that is the archive or a volume of it.
  bool RefusesArchiveOutput();
  // The output's folder (below ExtractDir: entered without following links,
  // shared with the folder walk) and its last component; null with errno.
  std::shared_ptr<TFolderHandle> OpenOutputFolder(std::string& Leaf);
  bool BelowExtractDir(const std::string& Path) const;
  // The folder of Path (below ExtractDir) through the folder walk, made as
  // needed when Create is set, and the last component of Path in Leaf.
  int WalkToOutputFolder(const std::string& Path, std::string& Leaf, bool Create);
  // stat (Follow) or lstat of the output name, through the folder walk
  // where it can; 0 or the error.
  int StatOutput(struct stat& St, bool Follow);
  // The same, where the last look at the output serves.
  int LookUpOutput(struct stat& St, bool Follow);
  struct TLookedUp {
    bool Valid = false;
    std::string Path;
    unsigned long OutsideCalls = 0;
    int Error = 0;
    struct stat St;
  } FLookedUp;
  // Calls out of the library so far: handlers, and the program's message pump.
  unsigned long OutsideCalls() const;
  TFolderWalk FWalk;
  // The adopted output that already carries its date, and that date.
  int FDatedHandle = -1;
  UInt32 FDatedAs = 0;
  // Device and inode of the archive and of each volume read so far.
  std::vector<std::pair<UInt64, UInt64>> FArchiveIds;
  // The staged output of the entry in work.
  std::unique_ptr<TEntryOutput> FOutput;
  // The staged output of a split file between its parts; whether every
  // part so far passed, and whether the file was counted.
  std::unique_ptr<TEntryOutput> FHeld;
  bool FHeldPass = true;
  bool FHeldCounted = false;
  // An accepted entry that has had no verdict yet.
  bool FVerdictDue = false;
  // Files processed once the entry was counted (-1: not counted).
  int FCountedAt = -1;
  // A write of the entry's output failed.
  bool FWriteFailed = false;
  // The entry's stored Unix permission bits (TEntryInfo::UnixMode).
  UInt32 FUnixMode = 0;
  // Calls out of the library when the output was staged.
  unsigned long FStagedCalls = 0;
};

}  // namespace vsk
