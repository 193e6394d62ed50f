#pragma once
// The base of every reader: the extract and test entry points, the run
// driver, the per-entry decision (OnBegin, overwrite rules), the password
// dialogue, creating, dating and closing the output, and the CRC verdict.
// A format reader walks its own headers and decodes data, calling these
// services in a fixed order.

#include <sys/stat.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
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

class TUnBase;

// One entry of a run, from the decision to take it to its verdict, given by
// StartEntry (empty when the entry is not taken). It owns the entry's
// staged output and the verdict of its parts so far: the reader opens the
// sink, decodes, and ends it in exactly one of place (passed), keep-damaged
// (failed: kept only at a free name) or discard, with the outcome; OnEnd
// fires then, once. An entry left without an end (an error cut the run off,
// the rest of a split file never came) ends as failed when it goes. A file
// split over volumes is one entry: its reader keeps the object across its
// parts and ends it with the last. Move-only.
class TReaderEntry {
 public:
  TReaderEntry() = default;
  TReaderEntry(TReaderEntry&& Other) noexcept { *this = std::move(Other); }
  TReaderEntry& operator=(TReaderEntry&& Other) noexcept;
  TReaderEntry(const TReaderEntry&) = delete;
  TReaderEntry& operator=(const TReaderEntry&) = delete;
  ~TReaderEntry();

  // Whether the entry is in work (taken, and not ended yet).
  explicit operator bool() const { return FBase != nullptr; }
  bool Directory() const { return FDirectory; }

  // The sink of the decoder: a staged file beside the target, through the
  // handle of the target's folder (below ExtractDir entered without
  // following links), which only the verdict puts at the target's name.
  // Handle is that file; when testing, or after a failed password, there
  // is no file (Handle -1) and the call succeeds. Refuses (reported) an
  // output that is the archive or a noted volume, a symbolic link or a
  // folder, or one on the way. The sink of an entry open already (a later
  // part of a split file) is given again as it is.
  bool Open(int& Handle);
  // Takes File, an unnamed file of finished output, as the staged output
  // when it lies on the target's file system; File then becomes Handle (and
  // File -1). Dated: File already carries the date DosDateTime. False when
  // it cannot: the caller opens the sink.
  bool Adopt(int& Handle, int& File, bool Dated = false, UInt32 DosDateTime = 0);
  // Sets date and attributes of the sink (extracting); it stays open for
  // the verdict. When testing the output name becomes the entry name.
  void Close(int Handle, UInt32 DosDateTime, UInt32 Attributes);
  // The verdict of one part of a split file that goes on: noted for the
  // file's verdict, without ending the entry.
  void NotePart(bool Pass) { FPartsPass = FPartsPass && Pass; }
  // Whether the running check (Kind 16: CRC-16, else CRC-32, as it stands
  // or complemented) matches StoredCrc.
  bool Matches(Byte Kind, UInt32 StoredCrc) const;
  // Ends the entry with the running check against StoredCrc.
  bool Check(Byte Kind, UInt32 StoredCrc) { return End(Matches(Kind, StoredCrc)); }
  // Ends the entry: passed (with every part before) and not cancelled, its
  // output is placed; else it is kept at a free name (damaged) or
  // discarded (cancelled, a failed write, refused). OnEnd fires with the
  // verdict; without OnEnd a failure is reported as a CRC failure when
  // ReportFailure is set. False when the entry failed.
  bool End(bool Pass, bool ReportFailure = true);
  // Ends the entry as failed with Outcome: nothing of it is kept.
  void Fail(TEntryOutcome Outcome);

 private:
  friend class TUnBase;
  // Ends the entry as failed for what stopped it.
  void Abandon();
  TUnBase* FBase = nullptr;
  bool FDirectory = false;
  // The staged output, once the sink is open.
  std::unique_ptr<TEntryOutput> FOutput;
  // Every part so far passed its check.
  bool FPartsPass = true;
  // A write of the output failed.
  bool FWriteFailed = false;
  // The entry's stored Unix permission bits (TEntryInfo::UnixMode).
  UInt32 FUnixMode = 0;
  // Calls out of the library when the output was staged.
  unsigned long FStagedCalls = 0;
  // The adopted output that already carries its date, and that date.
  int FDatedHandle = -1;
  UInt32 FDatedAs = 0;
};

class TUnBase : public TZipCommon {
  friend class TReaderEntry;

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
  // For a reader of data nested in Outer's archive (the tar inside a
  // tar.gz): Outer's archive and the volumes it noted are refused as
  // outputs in this reader's runs as well, by device and inode.
  void ProtectOuterFiles(const TUnBase& Outer);

  // State of the run, for the format readers and the tester.
  Byte Action = kActionExtract;
  bool Testing() const { return Action == kActionTest; }
  std::string OutputName;  // the file being written, or the entry name when testing
  std::string EntryName;   // the entry name as stored, after OEM translation
  bool EntryEncrypted = false;
  // The entry in work as its header describes it (an overwrite question
  // shows them): unpacked size and local DOS date-time.
  Int64 EntryUnpackedSize = 0;
  UInt32 EntryDosDateTime = 0;
  bool PasswordFailed = false;
  UInt32 NewestEntryDate = 0;
  double PackedTotal = 0;
  double UnpackedTotal = 0;
  // The open archive of the run.
  std::unique_ptr<TStream32> ArchiveStream;
  // The outcome of the current (or last) entry, and for eoCannotWrite the
  // system's reason ("No space left on device"...), for eoFailedCheck of
  // an entry that could not be checked "not checked", else empty. Readable in
  // OnBegin (eoPending), OnFileExists, OnEnd and OnError.
  TEntryOutcome EntryOutcome = eoPending;
  std::string EntryOutcomeReason;

 protected:
  // The format's walk over its entries.
  virtual void ExtractArchive() {}
  // Tests Password against an entry's 12-byte encryption header.
  virtual bool CheckPassword(const Byte* Header) {
    (void)Header;
    return false;
  }
  // Whether the types of this reader open their archive through an outside
  // library rather than the run driver.
  virtual bool OpensOwnArchive() const;
  // Whether this reader honours AsciiTranslation for its archive; when it
  // does not, the option is cleared at the start of a run. None does in
  // the base.
  virtual bool TranslatesText() const { return false; }

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
  // BeginEntry. The entry, when it is to be decoded (or created, a
  // folder); else an empty one. On any refusal the entry's data is
  // accounted as skipped; an unsupported method is reported and fails its
  // verdict; an output refused after OnBegin gets its OnEnd.
  TReaderEntry StartEntry(const TEntryInfo& Info);
  // Marks Info, an entry that is a link (to Target, when known), to be
  // refused for Reason when extracting: a link is never made, nor written
  // as a file holding its target's name, and is not counted. A test still
  // reads it.
  void RefuseLink(TEntryInfo& Info, const std::string& Target = {},
                  const char* Reason = kSymbolicLinkReason) const;
  // True when the entry is to be written (or tested). Directories are
  // accepted at once, without events.
  bool BeginEntry(bool IsDirectory);
  // The entry in work, if any.
  TReaderEntry* CurrentEntry() const { return FEntry; }
  // Sets the files processed, for a reader whose nested reader did the work.
  void SetFilesProcessed(int Count) { FilesProcessed = FWritten = Count; }
  // Counts Name, a further volume of the run's archive, as part of it: no
  // output may replace it.
  void NoteArchiveVolume(const std::string& Name);
  // When Opened is a numbered volume (".a03"), notes the first volume of
  // its set: Opened with each of Exts (".arj", ".exe"...) for its
  // extension, where one exists (in any case).
  void NoteFirstVolume(const std::string& Opened, std::initializer_list<const char*> Exts);
  // The password dialogue for an encrypted entry: reads the 12-byte header
  // through the input and tries Password, then Passwords, then asks.
  bool GetEntryPassword();
  // Runs Decode, which writes the current entry to Handle. A failed write
  // was reported where it was raised and ends only the entry; a full disk,
  // or anything else raised, ends the run, with Handle closed first unless
  // it is the staged output (which leaves nothing when the run ends).
  void DecodeEntry(int Handle, const std::function<void()>& Decode);
  // The DOS date-time the output of an entry of date DosDateTime gets,
  // unless DateAttribute takes the time of the close itself (then false).
  bool OutputDate(UInt32 DosDateTime, UInt32& Date) const;
  // The output Handle no longer carries the date it was adopted with.
  void ForgetOutputDate(int Handle) {
    if (FEntry && Handle == FEntry->FDatedHandle) FEntry->FDatedHandle = -1;
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
  // The steps of the entry in work (TReaderEntry).
  bool OpenSink(TReaderEntry& Entry, int& Handle);
  bool AdoptSink(TReaderEntry& Entry, int& Handle, int& File, bool Dated, UInt32 DosDateTime);
  void CloseSink(TReaderEntry& Entry, int Handle, UInt32 DosDateTime, UInt32 Attributes);
  bool EndEntry(TReaderEntry& Entry, bool Pass, bool ReportFailure);
  // Fires OnEnd for the entry in work, or reports a failure without it.
  void FireEnd(bool Pass, bool ReportFailure);
  // Puts the staged output in place, keeps it damaged, or removes it;
  // false when the entry is not to pass (refused, cannot write, cancelled).
  bool PlaceOutput(TReaderEntry& Entry, bool Pass);
  // Whether what stands at the output's name refuses it (reported).
  bool RefusesTarget(int Folder, const std::string& Leaf, bool& Exists);
  // A read-only file at the output's name, and no question was asked
  // about it: the create fails, the file stays.
  bool ReadOnlyUnasked(const struct stat& St) const;
  void CannotWrite(int Error, int Code);
  // Makes the entry's staged output for the current output name. Refusals
  // and failures are reported; then false.
  bool StageOutput(TReaderEntry& Entry);
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
  // Device and inode of the archive and of each volume read so far.
  std::vector<std::pair<UInt64, UInt64>> FArchiveIds;
  // The entry in work, and the files written (or tested and passed) so far.
  TReaderEntry* FEntry = nullptr;
  int FWritten = 0;
  // A write met a full disk: the run counts nothing.
  bool FDiskFull = false;
  // Those of the outer run this reader reads nested data for.
  std::vector<std::pair<UInt64, UInt64>> FOuterIds;
};

// The options a reader takes for a run, handed to it in one step. A field
// left unset leaves the reader's own value; an empty ExtractDir or TempDir
// does too. Event handlers are no part of it: each owner hooks them up.
struct TReaderSettings {
  std::optional<std::string> ExtractDir;
  std::optional<std::string> TempDir;
  std::optional<bool> UseStoredDirs;
  std::optional<bool> CreateStoredDirs;
  std::optional<bool> ConfirmOverwrites;
  std::optional<TOverwriteMode> OverwriteMode;
  std::optional<bool> RestoreFileAttr;
  std::optional<TDateAttribute> DateAttribute;
  std::optional<bool> TranslateOemChar;
  std::optional<bool> AsciiTranslation;
  std::optional<std::vector<std::string>> Passwords;
  std::optional<int> PasswordAttempts;
  std::optional<std::vector<std::string>> FileSpec;
  std::optional<bool> RecurseDirs;
  std::optional<int> ThreadCount;

  // What a component passes on to every reader it runs for itself: name
  // translation, the temporary folder, the passwords and the threads.
  static TReaderSettings Shared(TZipCommon& Source);
  // Those and how Source extracts: its folder, stored folders, overwrite
  // rules, dates and attributes.
  static TReaderSettings Extraction(TUnBase& Source);
  // Sets the fields that are set on Reader.
  void ApplyTo(TUnBase& Reader) const;
};

}  // namespace vsk
