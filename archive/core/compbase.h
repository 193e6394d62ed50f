#pragma once
// The base of every archive writer. It owns the whole add / refresh / move /
// delete / read run: gathering files with the scanner, deciding each one
// against the entries of the old archive, building the new archive in a
// temporary output, copying kept entries, compressing new ones and replacing
// the target only when the run succeeded and changed something. A format
// writer implements the format interface below (at most ten operations);
// the run calls it and owns everything else.

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/core/arctype.h"
#include "archive/core/codecstreams.h"
#include "archive/core/filescan.h"
#include "archive/core/movesource.h"
#include "archive/core/zipcommon.h"

namespace vsk {

class TTempFileStream;
class TDeflateAhead;
class TDeflatedEntry;

enum TSwitch : Byte { swAdd, swRefresh, swMove, swDelete, swRead };
enum TCompressMethod : Byte {
  cmStore,
  cmDeflate,
  cmFuse,
  cmFrozen5,
  cmFrozen6,
  cmMsZip,
  cmLzx,
  cmQuantum,
  cmTarred,
  cmTarGzip,
  cmUUEncode,
  cmXXEncode,
  cmBase64,
};
using TCompressMethods = TSet<TCompressMethod>;
// Where the new archive is built.
enum TCompressionMethod : Byte { cmInMemory, cmTempFile };

// The types whose writers encrypt entries.
inline bool ArcTypeCanEncrypt(TArcType t) { return ArcTypeRow(t).Encrypts; }

// States of an entry of the run's list.
inline constexpr Byte esCompress = 0;  // compress the file from disk
inline constexpr Byte esCopy = 1;      // copy the old entry's bytes unchanged
inline constexpr Byte esDrop = 2;      // not written
inline constexpr Byte esRename = 3;    // old entry rewritten under a new name

// The limits of a format without 64-bit extensions: sizes and offsets are
// refused from this value on, entry counts above kMaxEntries, names and
// comments above kMaxNameLength bytes.
inline constexpr UInt64 kMaxArchiveSize = 0xFFFFFFFFu;
inline constexpr int kMaxEntries = 65535;
inline constexpr std::size_t kMaxNameLength = 65535;

// What a writer compares a found file with: the neutral part of an entry's record.
struct TNeutralHeader {
  UInt32 UnpackedSize = 0;
  UInt32 PackedSize = 0;
  UInt32 DosDateTime = 0;
  UInt32 Attributes = 0;
};

// One entry of the run: an old entry loaded from the archive, or a gathered file.
struct TCompEntry {
  std::string Name;     // our form ("/" between folders, UTF-8)
  std::string FileName; // the source file of a gathered entry
  std::string NewName;  // esRename: the name it is rewritten under
  std::string RawName;  // the name as stored in the archive
  std::string Extra;    // the old entry's extra field (directory record)
  std::string Comment;  // its comment
  std::vector<Byte> Head;  // the writer's directory record of the entry
  TNeutralHeader Times;
  Byte State = esCompress;
  bool IsOld = false;
  bool IsDir = false;
  bool EncryptedHeaders = false;  // its records are enciphered
  UInt64 FileSize = 0;
  UInt32 FileTime = 0;  // local DOS date-time of the source
  UInt32 FileAttr = 0;  // DOS attributes of the source
  UInt32 FileMode = 0;  // its POSIX mode (type and permissions)
  // Where its bytes are in the old archive (header to the end of its data).
  Int64 OldOffset = -1;
  Int64 OldLength = 0;
  // Where it begins in the new archive, and its length there.
  Int64 NewOffset = 0;
  Int64 NewLength = 0;
  // An old entry replaced by its file (Replacing: after OnReplaceFile,
  // Refreshing: by swRefresh) keeps what it was, so that it is copied as
  // before when the file cannot be added.
  bool Replacing = false;
  bool Refreshing = false;
  struct TSaved {
    std::string Name, RawName;
    std::vector<Byte> Head;
    TNeutralHeader Times;
    bool IsDir = false;
  } Saved;
  bool Added = false;  // compressed in this run
  // The source as the scan found it and as the writer read it; a move
  // deletes it only when both agree with the file still in its place.
  TSourceId SrcFound, SrcRead;
  UInt64 SrcDirDev = 0, SrcDirIno = 0;
  bool SrcLinked = false;
};

// A gathered file opened for reading, with what fstat gave at the open.
struct TSourceFile {
  std::unique_ptr<TFileStream32> Stream;
  struct stat St {};
  int Handle() const { return Stream ? Stream->Handle() : -1; }
  Int64 Size() const { return static_cast<Int64>(St.st_size); }
};

class TCompBase : public TZipCommon {
 public:
  TCompBase();
  ~TCompBase() override;

  using TOnScanFileEvent =
      std::function<void(TZipCommon& Sender, const std::string& FileName, int FilesCount, double FilesSize)>;
  using TOnRecurseDir = std::function<void(TZipCommon& Sender, const std::string& Directory)>;
  using TOnReplaceFile = std::function<void(TZipCommon& Sender, const std::string& FileName,
                                            const std::string& NewFilename, TDateTime Date, TDateTime NewDate,
                                            UInt32 FileSize, UInt32 NewFileSize, int Attr, int NewAttr,
                                            bool& Replace)>;
  using TOnRenameDupeFile =
      std::function<void(TZipCommon& Sender, const std::string& FileName, std::string& NewFilename, bool& Rename)>;
  using TOnRenameFile =
      std::function<void(TZipCommon& Sender, const std::string& FileName, std::string& NewFilename)>;
  using TOnNonWriteableArchive =
      std::function<void(TZipCommon& Sender, const std::string& ArchiveFile, bool& WriteToFile)>;

  TOnScanFileEvent OnFileScanStatus;
  TOnRecurseDir OnRecurseDir;
  TOnReplaceFile OnReplaceFile;
  TOnRenameDupeFile OnRenameDupeFile;
  TOnRenameFile OnRenameFile;
  TOnNonWriteableArchive OnNonWriteableArchive;

  // ---- properties
  // Expands the name to a full path and appends DefaultExt when it has no
  // extension; clears the cancel flag. Nothing is detected: the file may
  // not exist yet.
  void SetArchiveFile(const std::string& Value) override;
  TSwitch Switch = swAdd;
  TCompressMethod CompressMethod() const { return FCompressMethod; }
  // Accepted only when the writer supports the method; false otherwise.
  bool SetCompressMethod(TCompressMethod Value);
  bool SupportsMethod(TCompressMethod Value) const { return FSupportedMethods.Contains(Value); }
  TDeflateType DeflateType = dtDeflateN;
  TCompressionMethod CompressionMethod = cmTempFile;
  bool StoreEmptySubDirs = false;
  // Extensions whose files are stored; a missing leading "." is added at
  // the start of a run.
  std::vector<std::string> StoreFilesOfType;
  bool VerifyBeforeDelete = false;
  // Upper case, with its dot, at most 4 characters; empty or "." restores
  // the writer's own. A changed extension replaces that of ArchiveFile when
  // it had the old one, or is appended when it had none.
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value);

  // What a format is, for the run.
  struct TFormatTraits {
    // Its entries keep DOS attributes: a found file whose read-only or
    // folder bit differs from the old entry's is changed, and OnReplaceFile
    // is given the old entry's attributes (the found file's otherwise).
    bool EntryAttributes = true;
    // Comments: OpenOldArchive, the comment calls and SaveDirectoryChanges
    // work (the format's FinishArchive writes the directory again).
    bool Comments = false;
    // New entries are deflated by DeflateEntry, so that worker threads can
    // deflate them ahead of the writer (ThreadCount other than 1).
    bool DeflatesAhead = false;
    // The new archive is built in TempDir and placed by FinishArchive
    // itself (spanned disks) instead of replacing the target.
    bool AwayFromTarget = false;
    // The new archive is written by a library that opens it by name: its
    // scratch file gets one (a killed run may leave it behind).
    bool NamedOutput = false;
    // Entries end (OnEnd) only once the archive is written: the run ends
    // them after FinishArchive, as failed when the run stopped first.
    bool EndsAtFinish = false;
    // The most entries the format holds; a run that would keep more is
    // refused. Formats without a count of entries have no limit.
    std::size_t MaxEntries = kMaxEntries;
  };

  // ---- runs
  // Runs Switch over FileSpec. Returns the entries added (dropped with
  // swDelete), 0 when the run did not start or failed; never raises. A
  // writer with a job of its own (one file per input, a finishing step
  // after the archive) replaces it.
  virtual int Compress();
  int EntriesAdded() const { return FAdded; }
  // The last run put its new archive in place. From then on the run has
  // succeeded: a cancel asked for afterwards (from OnRead, say) is ignored.
  bool Committed() const { return FCommitted; }
  void SetCancel(bool Value) override;
  int EntriesDropped() const { return FDropped; }

  // Reading and changing comments without a run: loads the directory of
  // ArchiveFile and returns its entry count (-1 when it cannot be read).
  virtual int OpenOldArchive();
  virtual std::string GetArchiveComment();
  virtual bool SetArchiveComment(const std::string& Comment);
  virtual std::string GetEntryComment(int Index);
  virtual bool SetEntryComment(int Index, const std::string& Comment);
  // Rewrites the archive when a comment was changed; false on failure.
  virtual bool SaveDirectoryChanges();
  // The entries loaded by OpenOldArchive or kept from the last run.
  const std::vector<TCompEntry>& Entries() const { return FEntries; }

  // ---- the entry reported through OnRead
  std::string FileName;
  TDateTime FileDate = 0;
  Int64 PackedSize = 0;
  Int64 UnpackedSize = 0;
  Byte Ratio = 0;
  UInt32 CRC = 0;
  bool Encrypted = false;
  UInt16 MethodNumber = 0;
  std::string MethodText;
  UInt32 ExternalAttr = 0;
  UInt16 InternalAttr = 0;
  UInt16 VersionMadeBy = 0;
  UInt16 VersionNeeded = 0;
  std::string FileComment;
  double PackedTotal = 0;
  double UnpackedTotal = 0;

 protected:
  struct TEntryResult {
    Int64 Uncompressed = 0;
    Int64 Compressed = 0;
    bool Deflated = false;
    bool Encrypted = false;
    UInt32 Crc = 0;
    bool Text = false;  // the file's first block holds text only
  };

  // ---- the format interface: what a writer format implements
  // 1. What the format is, for the run.
  virtual TFormatTraits Traits() const { return {}; }
  // 2. Loads the old archive's entries into the list (Name, RawName, Head,
  // Times, OldOffset, OldLength; esCopy, or esDrop for those swDelete
  // matches). False when the archive cannot be read safely; the run then
  // stops and the target stays as it was.
  virtual bool LoadOldDirectory() { return true; }
  // 3. Writes a new entry at the output position: its header, its data and
  // its completed header (E.RawName is its stored name). False when it was
  // not added (reported): the run cuts the output back and goes on.
  virtual bool WriteEntryData(TCompEntry& E) { (void)E; return false; }
  // 4. The entry just written is complete: its directory record (Head,
  // Times), then OnEnd (by the run after FinishArchive with EndsAtFinish).
  virtual void FinishEntry(TCompEntry& E) { Fire(OnEnd, E.Name, true); }
  // 5. Puts an old entry at the output position: a kept one (esCopy) as
  // its stored bytes, by the run's copy by default; a renamed one
  // (esRename) under E.NewName. False when that failed (reported).
  virtual bool CopyOldEntry(TCompEntry& E);
  // 6. Writes the directory and end records once every entry is in the
  // output (the empty archive when a delete dropped every entry); true
  // when the output was placed elsewhere already (spanned disks). For a
  // comment edit (SaveDirectoryChanges, with Traits().Comments) those of
  // the loaded entries, which stay where they are, at the output position.
  virtual bool FinishArchive() { return true; }
  // 7. The lister-style fields of the entry reported through OnRead.
  virtual void DescribeEntry(const TCompEntry& E) { FileName = E.Name; }
  // 8. The names in the new archive, for VerifyBeforeDelete; by default
  // those of the run's list.
  virtual std::vector<std::string> ReadBackNames();
  // 9, 10. The run-level hooks of writers whose job is more than the run:
  // Compress (public) for those that write one output per input (gzip, UU)
  // or a second output after the archive (tar.gz), and CompressArchive,
  // the whole run, for one that sets up and ends a library around it
  // (cabinets).
  virtual void CompressArchive();

  // ---- for the formats
  // The deflating entry: writes E through the deflate (or store) sink,
  // behind the header that Header writes at the output position (null:
  // the header started, else completed with the result; rewritten in
  // place); the run then finishes it. Deflated ahead by worker threads when the
  // format's traits say so.
  using THeaderWriter = std::function<void(TCompEntry& E, const TEntryResult* Done)>;
  bool DeflateEntry(TCompEntry& E, const THeaderWriter& Header);

  // The methods this writer accepts.
  TCompressMethods FSupportedMethods{cmStore, cmDeflate};
  TCompressMethod FCompressMethod = cmDeflate;
  std::string FOwnExt;
  std::string FDefaultExt;

  // ---- run state for the formats
  std::vector<TCompEntry> FEntries;
  std::unordered_map<std::string, int> FNameIndex;  // entry name -> index
  TStream32* FOutput = nullptr;
  std::unique_ptr<TStream32> FOutputOwner;
  std::unique_ptr<TFileStream32> FOld;
  Int64 FOldSize = 0;
  bool FArchiveIsNew = false;
  bool FLoadedForComments = false;
  bool FDirectoryModified = false;
  // The bytes in front of the first entry of the old archive (a stub).
  Int64 FPrefixLength = 0;
  // Where the old archive's directory begins, -1 when unknown.
  Int64 FCentralPos = -1;
  std::string FArchiveComment;
  int FAdded = 0;
  int FDropped = 0;
  int FRenamed = 0;
  // Set by any step that makes the run fail; nothing is committed then.
  bool FRunFailed = false;
  bool FCommitted = false;
  int FMarkedForDelete = 0;
  bool FSomethingToDo = false;
  // The deflate type of this run (the property is never changed by a run).
  TDeflateType FRunDeflateType = dtDeflateN;
  UInt64 FLimit = kMaxArchiveSize;

  // Output helpers: everything goes through the component's write routine.
  void Write(const void* Buffer, Int64 Count);
  Int64 OutputPosition();
  // Copies Count bytes of the old archive from Offset to the output; raises
  // 25136 on a short read.
  void CopyFromOld(Int64 Offset, Int64 Count);
  // Reads exactly Count bytes of the old archive at Offset.
  bool ReadOld(Int64 Offset, void* Buffer, Int64 Count);
  // Raises 25256 "Max file size exceeded" when the output passed the
  // format's limit.
  void CheckOutputLimit(Int64 End);
  // Ends the load of an old directory: marks the entries a delete run
  // matches and indexes the names. Of two entries of one name the later one
  // is what extraction leaves, so a new file replaces that one.
  void MarkOldEntries();
  // A layer the archive is kept in (a tar inside a ".gz"), installed by a
  // writer's Compress for its run: the run replaces the layer's file, reads
  // the old archive out of it, writes the new one through it and commits
  // through it.
  class TArchiveLayer {
   public:
    virtual ~TArchiveLayer() = default;
    // The file the run replaces and whose old entries it keeps.
    virtual std::string Target() = 0;
    // Opens the old archive (Target exists) for reading; Error as
    // TFileStream32 gives it.
    virtual std::unique_ptr<TFileStream32> OpenOld(Byte& Error) = 0;
    // The stream the run writes the archive through, given its output;
    // null when it cannot be made (reported).
    virtual TStream32* Wrap(TStream32* Output) = 0;
    // Puts the finished output in place; false (reported) when that
    // failed and nothing was replaced.
    virtual bool Commit() = 0;
  };
  TArchiveLayer* FLayer = nullptr;
  // The file the run replaces and whose old entries it keeps: ArchiveFile,
  // or the layer's.
  std::string TargetFile() { return FLayer ? FLayer->Target() : ArchiveFile(); }
  // Puts the finished scratch output in ArchiveFile's place; false
  // (reported) when that failed and nothing was replaced.
  bool CommitScratch();
  // A file the run reads or makes (the archive, its scratch outputs) is
  // never gathered. The run registers the archive it updates and the
  // scratch file it writes; a writer with files of its own registers them
  // too. IsOwnFile is the one check: the gathering and every writer's open
  // of a source ask it.
  void AddOwnFile(UInt64 Dev, UInt64 Ino);
  bool IsOwnFile(UInt64 Dev, UInt64 Ino) const;
  // The extension of Path's file name (a leading dot is none) is one of
  // StoreFilesOfType, in any case of its ASCII letters.
  bool InStoreList(const std::string& Path) const;
  // Notes what was read of E's source, open as Handle since it was found
  // as AtOpen: unknown when it changed meanwhile. Every writer calls it once
  // the data are in the output, as a move deletes only what was read.
  void NoteSourceRead(TCompEntry& E, int Handle, const struct stat& AtOpen) {
    E.SrcRead = SourceIdAfterRead(Handle, AtOpen);
  }
  // Opens the source file Name for reading into Out. False when it cannot
  // be opened or is no regular file (reported), when it is one of the run's
  // own files (left out unreported), or when it has MaxSize bytes or more
  // (reported as TooBig).
  bool OpenSourceFile(const std::string& Name, TSourceFile& Out, UInt64 MaxSize, const char* TooBig);
  // The same within the format's size limit.
  bool OpenSourceFile(const std::string& Name, TSourceFile& Out) {
    return OpenSourceFile(Name, Out, FLimit, "file of 4 GiB or more");
  }
  // ArchiveFile's full form of a name given: "/" between folders, made
  // absolute against the current folder.
  static std::string AbsoluteArchivePath(const std::string& Value);
  // Makes the full name FullName ArchiveFile, with DefaultExt when it has
  // no extension and no file of that name exists; clears the cancel flag.
  void SetArchivePath(std::string FullName);
  // Registers the entry's name for lookups.
  void IndexName(int Index);
  int FindName(const std::string& Name) const;

 private:
  // The run's copy of a kept old entry (esCopy): its stored bytes, copied
  // as they are together with the kept entries next to it.
  void CopyKept(TCompEntry& E);
  // Ends the entries whose end waited for the archive (EndsAtFinish).
  void EndDeferred(bool Ok);
  // The same before OnDeactivate, for a run that stopped first; never raises.
  void EndDeferredAsFailed();
  bool CompressFile(TCompEntry& E);
  void ReportNewEntries();
  void ResetRun();
  bool PrepareTarget();
  // The old archive, the output and the commit, through the layer when
  // there is one.
  std::unique_ptr<TFileStream32> OpenOldInput(Byte& Error);
  bool CommitOutput();
  bool OpenOutput();
  void DiscardOutput();
  void ReadOnlyRun();
  bool Gather();
  void DecideFoundFile(const TFileObject& F, const std::string& Stored, bool IsDir);
  bool AskRenameDupe(int Index);
  void WriteEntries();
  bool AskRenameFile(TCompEntry& E);
  void RestoreOldEntry(TCompEntry& E);
  void DeleteSources();
  void FlushCopy();
  void RunBody();
  void AppendFound(const TFileObject& F, const std::string& Stored, bool IsDir);
  bool CompressStored(TCompEntry& E, TStream32& Src, TEntryResult& R);
  bool CompressDeflated(TCompEntry& E, TStream32& Src, TEntryResult& R);
  bool CompressSmall(TCompEntry& E, TStream32& Src, TEntryResult& R);
  // Data written deflated that came out no smaller: cut back to CutAt and
  // stored instead, behind the same encryption header (Header, null when
  // not encrypted) with the cipher started afresh.
  bool StoreInstead(TCompEntry& E, TStream32& Src, TEntryResult& R, Int64 CutAt, const Byte* Header);
  // Deflating ahead: queues the entries from From on that the window takes,
  // takes an entry's result (null: the entry is done here as usual) and
  // writes it as the deflating loop would.
  void QueueAhead(std::size_t From);
  bool WillDeflate(const TCompEntry& E) const;
  std::shared_ptr<TDeflatedEntry> TakeAhead(const TCompEntry& E, UInt64 Dev, UInt64 Ino);
  bool WriteAhead(TCompEntry& E, const TDeflatedEntry& A, TEntryResult& R);

  struct TMoved {
    TMovedSource Source;
    std::string Stored;
  };
  std::vector<TMoved> FMoved;  // sources of a move, deleted after the commit
  struct TOwnFile {
    UInt64 Dev, Ino;
  };
  std::vector<TOwnFile> FOwnFiles;
  std::unique_ptr<TSourceRemover> FRemover;  // holds their folders from the scan on
  // A run of kept entries that lie one after the other in the old archive
  // is copied in one piece.
  Int64 FPendingFrom = -1, FPendingLen = 0, FPendingAt = 0;
  Int64 FEntrySize = 0;  // size of the source in work, as found
  TTempFileStream* FTemp = nullptr;
  std::vector<Byte> FBuffer;
  bool FAheadOn = false;
  Int64 FAheadShown = 0;  // input of the entry in work whose progress was shown while waiting
  std::size_t FAheadNext = 0;
  std::unique_ptr<TDeflateAhead> FAhead;
  std::vector<std::string> FDeferredEnds;
  TFormatTraits FRunTraits;  // the format's traits as the run started  // written entries whose end waits for the archive
};

}  // namespace vsk
