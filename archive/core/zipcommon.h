#pragma once
// The common base of every archive component: options, events, the cancel
// flag, the run timer, passwords, the block read and write routines with
// their input and output modes, name and folder rules, volume naming and
// the error path.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/checksum.h"
#include "base/errors.h"
#include "archive/core/fileattrs.h"
#include "base/messages.h"
#include "archive/core/methodnames.h"
#include "archive/core/paths.h"
#include "archive/core/register.h"
#include "archive/core/reporter.h"
#include "base/stream.h"
#include "archive/core/timer.h"
#include "archive/core/zipcrypt.h"

namespace vsk {

class TDiskManager;

enum TDateAttribute : Byte { daFileDate, daSysDate, daMaxFileDate };
enum TOverwriteMode : Byte { omOverwrite, omSkip };
enum TStoredDirNames : Byte {
  sdNone,
  sdAbsolute,
  sdAbsoluteNoDrv,
  sdAbsoluteNoRoot,
  sdRelative,
  sdRelativeStoreStart,
  sdExplorer_Auto,
  sdExplorer_UserDefineDefaultDir,
};
enum TNextVolumeName : Byte { nvChangeFilename, nvChangeExt };

// Input modes of ReadBlock and output modes of WriteBlock.
inline constexpr Byte kIoHandle = 0;
inline constexpr Byte kIoOwnStream = 1;
inline constexpr Byte kIoGivenStream = 2;
inline constexpr Byte kIoHeldStream = 3;
inline constexpr Byte kIoMemory = 4;
inline constexpr Byte kIoTest = 7;

// Unwinds a run after the user cancelled; only the public entry points catch
// it. It is not a std::exception, so format code that catches library
// errors does not swallow it.
struct ECancelUnwind {};

// Asks a Yes/No question; the program installs it. Without one the answer is No.
void SetQuestionHook(std::function<bool(const std::string& Text)> Hook);
bool AskQuestion(const std::string& Text);

class TZipCommon : public TRegisterVorsk, public TErrorReporter {
 public:
  TZipCommon();
  ~TZipCommon() override;

  // ---- events (sender first)
  using TNotifyEvent = std::function<void(TZipCommon& Sender)>;
  using TOnBegin = std::function<void(TZipCommon& Sender, const std::string& FileName, int Count, bool& Extract)>;
  using TOnEnd = std::function<void(TZipCommon& Sender, const std::string& FileName, bool CRC_PASS)>;
  using TOnError = std::function<void(TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                                      const std::string& VolumeID, int ECode)>;
  using TOnElapsedTime = std::function<void(TZipCommon& Sender, float ElapsedTime)>;
  using TOnProgress = std::function<void(TZipCommon& Sender, Byte ProgressByFile, Byte ProgressByArchive)>;
  using TOnRead = std::function<void(TZipCommon& Sender, Int64 Offset, int Filenum)>;
  using TOnGetPassword =
      std::function<void(TZipCommon& Sender, const std::string& FileName, std::string& Password, bool& TryAgain)>;
  using TOnCorruptZipHeader = std::function<void(TZipCommon& Sender, Byte HeadFlag, bool& Cancel)>;
  using TOnFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName, std::string& NewFilename,
                                           TOverwriteMode& OverwriteMode)>;
  using TOnNextVolume = std::function<void(TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                                           bool fExists, bool& Cancel)>;
  using TOnCancelEvent = std::function<void(TZipCommon& Sender, bool& Cancel)>;
  using TOnVolumeCancelEvent = std::function<void(TZipCommon& Sender, const std::string& VolumeName, bool& Cancel)>;
  using TOnDiskError = std::function<void(TZipCommon& Sender, bool& Abort)>;
  using TOnDeleteFile = std::function<void(TZipCommon& Sender, const std::string& FileName, int Count, int MaxCount)>;
  using TOnNestedTarFile = std::function<void(TZipCommon& Sender, const std::string& FileName, bool& doUnTar)>;
  using TOnRemoveTempfile = std::function<void(TZipCommon& Sender, const std::string& FileName)>;

  TNotifyEvent OnActivate;
  TOnBegin OnBegin;
  TOnCorruptZipHeader OnCorruptZipHeader;
  TNotifyEvent OnDeactivate;
  TOnDeleteFile OnDeleteFile;
  TOnEnd OnEnd;
  TOnElapsedTime OnElapsedTime;
  TOnError OnError;
  TOnFileExists OnFileExists;
  TOnGetPassword OnGetPassword;
  TOnCancelEvent OnGetZipFirstDisk;
  TOnDiskError OnDiskInDrvErr;
  TOnDiskError OnDiskWriteProtectErr;
  TOnCancelEvent OnGetZipLastDisk;
  TOnVolumeCancelEvent OnGetZipNextDisk;
  TOnVolumeCancelEvent OnInsertDisk;
  TOnNestedTarFile OnNestedTarFile;
  TOnNextVolume OnNextVolume;
  TOnProgress OnProgress;
  TOnRead OnRead;
  TOnRemoveTempfile OnRemoveTempfile;

  // Calls Handler with this component first, the run timer paused around
  // it. False when the handler is not assigned.
  template <class F, class... A>
  bool Fire(F& Handler, A&&... Args) {
    if (!Handler) return false;
    ++HandlerCalls;
    TTimerPause pause(Timer);
    Handler(*this, std::forward<A>(Args)...);
    return true;
  }
  // As Fire; an unassigned handler reports 25270 "Required event not
  // assigned" with the event's name.
  template <class F, class... A>
  bool FireRequired(F& Handler, const char* EventName, A&&... Args) {
    if (Fire(Handler, std::forward<A>(Args)...)) return true;
    ReportError(ArchiveFile(), EventName, "0", msg::RequiredEventNotAssigned);
    return false;
  }

  // ---- options
  // Buffer for archive comments, kept within 2000..32767.
  Int32 ZipCmntBufSize() const { return FZipCmntBufSize; }
  void SetZipCmntBufSize(Int32 Value) { FZipCmntBufSize = Value < 2000 ? 2000 : Value > 32767 ? 32767 : Value; }
  bool AsciiTranslation = false;
  bool ConfirmOverwrites = false;
  TDateAttribute DateAttribute = daFileDate;
  TDeleteOptions DeleteOptions = doAllowUndo;
  std::vector<std::string> ExtensionList;
  std::vector<std::string> ExcludeSpec;
  TvskFileAttrs Attributes{fsZeroAttr, fsReadOnly, fsArchive};
  TvskFileAttrs AttributesEx;
  std::vector<std::string> FileSpec;
  bool IncludeHiddenDirs = false;
  int PasswordAttempts = 3;
  bool RecurseDirs = false;
  TStoredDirNames StoredDirNames = sdRelative;
  bool UseStoredDirs = true;
  TOverwriteMode OverwriteMode = omOverwrite;
  std::string Password;
  bool TranslateOemChar = true;
  Byte VersionMajor = 4;
  Byte VersionMinor = 8;
  std::vector<std::string> Passwords;
  // Worker threads a run may use: 0 is one per core, 1 the serial path.
  int ThreadCount = 0;

  const std::string& ExtractDir() const { return FExtractDir; }
  void SetExtractDir(const std::string& Value);
  // The stored folder when it exists, else the system temporary folder
  // (which is then stored).
  const std::string& TempDir();
  void SetTempDir(const std::string& Value);
  void SetPasswords(const std::vector<std::string>& Value) { Passwords = Value; }

  // ---- run state
  Byte InputMode = kIoHandle;
  Byte OutputMode = kIoHandle;
  TStream32* InputStream = nullptr;   // input mode 1 and 3
  TStream32* OutputStream = nullptr;  // output modes 1 and 3
  Byte* OutputMemory = nullptr;       // output mode 4: advances by each write
  Int32 FilesProcessed = 0;
  std::string CurrentFileName;
  std::string DefaultDir;
  // Running CRCs and cipher keys of the run; nested components point theirs here.
  TCrcState* Crc;
  TZipCrypt* Crypt;
  TvskTimer Timer;
  std::unique_ptr<TDiskManager> DiskManager;
  // Handlers called so far by Fire: the caller's code may have run.
  unsigned long HandlerCalls = 0;

  // Progress: the entry in work, the archive total and the archive bytes left.
  Int64 ProgressEntryTotal = 0;
  double ProgressArchiveTotal = 0;
  double ProgressBytesLeft = 0;

  // ---- cancel flag (shared by components working together)
  virtual bool GetCancel() const { return *FCancelRef; }
  // Setting it reports 25443 "User canceled" once.
  virtual void SetCancel(bool Value);
  bool* CancelRef() const { return FCancelRef; }
  void ShareCancel(bool* Flag) { FCancelRef = Flag ? Flag : &FCancel; }

  // ---- block routines
  using TReadRoutine =
      std::function<Int32(int Handle, TStream32* Stream, void* Buffer, Int32 Count, int CrcKind, bool Decode)>;
  using TWriteRoutine = std::function<Int32(int Handle, void* Buffer, bool IsData, Int32 Count, int CrcKind,
                                            TStream32* Stream, bool CryptFlag)>;
  using TProgressRoutine = std::function<void(Int64 Position)>;
  // Bound to this component's own routines; the tester replaces the
  // decrypt-and-write routine for test runs.
  TReadRoutine ReadRoutine;
  TWriteRoutine WriteRoutine;
  TWriteRoutine DecryptWriteRoutine;
  TProgressRoutine ProgressRoutine;

  virtual Int32 ReadBlock(int Handle, TStream32* Stream, void* Buffer, Int32 Count, int CrcKind, bool Decode);
  Int32 WriteBlock(int Handle, const void* Buffer, bool IsData, Int32 Count, int CrcKind, TStream32* Stream);
  virtual Int32 EncryptAndWrite(int Handle, void* Buffer, bool IsData, Int32 Count, int CrcKind, TStream32* Stream,
                                bool CryptFlag);
  virtual Int32 DecryptAndWrite(int Handle, void* Buffer, bool IsData, Int32 Count, int CrcKind, TStream32* Stream,
                                bool CryptFlag);
  // The entry cipher, none in the base: a format whose entries may be
  // enciphered overrides these. DecodeBlock deciphers Count bytes in place
  // when Decode is set (a block ReadBlock read, or one DecryptAndWrite is
  // asked to decipher); EncodeBlock enciphers a block EncryptAndWrite is
  // asked to encipher. Each goes on in its cipher where the last call stopped.
  virtual void DecodeBlock(bool Decode, void* Buffer, Int32 Count);
  virtual void EncodeBlock(void* Buffer, Int32 Count);
  bool CloseOutput(int Handle, TStream32* Stream);
  // Reports progress for the position reached in the entry in work.
  virtual void DoProgress(Int64 Position);
  // The name a failed WriteBlock is reported against: the file in work by
  // default; a writer whose every write goes to its archive names that.
  virtual std::string WriteFailureName() const { return CurrentFileName; }
  // Starts the AsciiTranslation state afresh (a new entry).
  void ResetTranslation() { FLastWasCR = false; }

  // ---- errors
  using TErrorReporter::ReportError;
  void ReportError(const std::string& FileName, const std::string& ExtendedMsg, const std::string& VolumeID,
                   int ECode) override;
  // Reports and raises E with the code's text; after a cancel it reports
  // 25443 and unwinds the run instead.
  template <class E = E_RAISE>
  [[noreturn]] void RaiseError(const std::string& FileName, const std::string& ExtendedMsg,
                               const std::string& VolumeID, int ECode) {
    ReportError(FileName, ExtendedMsg, VolumeID, ECode);
    if (GetCancel()) throw ECancelUnwind{};
    throw E(ECode);
  }

  // ---- names, dates, attributes
  std::string GetArcTypeName() const { return std::string(ArcTypeName(ArcType())); }
  // Method name for the current type (the query's type is replaced by it).
  std::string GetCompressMethodName(TMethodQuery Query) const;
  // DOS or Unix attribute text, by the type and the entry's host system.
  std::string AttrToString(UInt32 Attr, char Fill, Byte HostSystem = 0) const;
  void SetAttribute(TvskFileAttr Attr, bool Include);
  void SetAttributeEx(TvskFileAttr Attr, bool Include);
  virtual TDateTime ConvertDosDate(UInt32 Value) const;
  Int32 FileDateByAttribute(Int32 Date) const;
  Int32 MaxFileDate = 0;  // the newest file date a writer gathered
  std::string StoredName(const std::string& FileName, const std::string& BaseDir) const;
  bool IsExcluded(const std::string& FileName, const std::string& BaseDir) const;
  // Output path of the current entry for readers. A name that would leave
  // the destination (a ".." component, a NUL byte) reports 25244 "Invalid
  // file name" and gives false; drive and network prefixes and leading
  // separators are dropped. A name of "." components only names the
  // destination itself: false without a report, the entry is passed over.
  virtual bool PrepareFileName(const std::string& Name);
  void ClearExtensionList() { ExtensionList.clear(); }

  // ---- volumes
  virtual std::string GetNextVolumeName(const std::string& Name, int Number);
  bool OpenNextVolume(std::string& VolumeName, const std::string& VolumeID);
  bool OpenNextVolume(std::string& VolumeName, int VolumeNumber);
  bool SwitchToNextVolume(std::unique_ptr<TStream32>& Stream, std::string& VolumeName);

 protected:
  std::string FExtractDir;
  std::string FTempDir;
  Int32 FZipCmntBufSize = 32767;
  bool FCancel = false;
  bool* FCancelRef = &FCancel;
  TCrcState FOwnCrc;
  TZipCrypt FOwnCrypt;
  bool FLastWasCR = false;

 private:
  void BindRoutines();
  Int32 WriteTranslated(int Handle, const Byte* Buffer, Int32 Count, TStream32* Stream, Int32& Written);
  Int32 WriteRaw(int Handle, const void* Buffer, Int32 Count, TStream32* Stream);
};

// The start and end a component's run shares with every other run.
// Activate starts the run's timer and fires OnActivate; End (or leaving
// the scope) stops the timer and, when the run was activated, fires
// OnElapsedTime and then OnDeactivate, once. A handler that throws at the
// end is ignored, so the run's own result stands.
class TRunScope {
 public:
  explicit TRunScope(TZipCommon& Owner) : FOwner(Owner) {}
  ~TRunScope() { End(); }
  TRunScope(const TRunScope&) = delete;
  TRunScope& operator=(const TRunScope&) = delete;

  void Activate();
  bool Activated() const { return FActivated; }
  void End();

 private:
  TZipCommon& FOwner;
  bool FActivated = false;
  bool FEnded = false;
};

// A unique empty "vsk*.tmp" file in TempDir (or the system temporary folder
// when TempDir is empty or missing); raises E_RAISE 25237 "Error creating
// file" when it cannot be made.
std::string GetTempFileName(const std::string& TempDir);

// Whether the volume Name exists, as named or with its extension in another
// letter case (x.c00 may lie on disk as x.C00); Name becomes the name found.
bool FindVolumeAnyCase(std::string& Name);
// The most volumes a set is followed through (their numbers run to 999).
inline constexpr int kMaxVolumes = 1000;

// Numbered output names for cabinets and conversions (x.cab -> x.ca1).
std::string NumberedName(const std::string& Name, int Number, TNextVolumeName Mode, bool ShortNames);

// The shell's type name of a file name ("<EXT> File" when none is known).
std::string GetFileTypeName(const std::string& FileName);

}  // namespace vsk
