#pragma once
// The archive lister: walks the headers of an archive of any detected type
// and reports every entry that passes the masks through OnRead, with the
// entry's details in the per-entry properties, then the totals.

#include <memory>
#include <string>
#include <vector>

#include "archive/core/zipcommon.h"

namespace vsk {

class TListWalker;

class TVorsk : public TZipCommon {
 public:
  TVorsk();
  ~TVorsk() override;

  using TOnReadFile = std::function<void(TZipCommon& Sender, const std::string& FileName)>;
  using TOnTotals =
      std::function<void(TZipCommon& Sender, double UnpackSize, double PackSize, int Ratio, int NumFiles)>;

  // Receives every entry instead of the read events when ListMode is 1.
  class TListTarget {
   public:
    virtual ~TListTarget() = default;
    virtual void AddEntry(TVorsk& Sender) = 0;
  };

  bool ShowEmptyDirs = false;
  Byte ListMode = 0;
  TListTarget* ListObject = nullptr;
  TNotifyEvent OnReadBegin;
  TNotifyEvent OnReadEnd;
  TOnReadFile OnReadFile;
  TOnTotals OnTotals;

  // Lists ArchiveFile. Never lets an exception out: false when one ended
  // the walk (the closing events still fired).
  bool Activate();

  // ---- the reported entry, valid during OnRead
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
  std::string VolumeName;
  std::string FileComment;
  // Host system of the entry (ACE, RAR) for the attribute text.
  Byte HostSystem = 0;

  // ---- totals of the walk
  double PackedTotal = 0;
  double UnpackedTotal = 0;
  int NumFiles = 0;

  // The entry name: translated from the OEM code page as TranslateOemChar says.
  bool PrepareFileName(const std::string& Name) override;

  // ---- for the format walkers
  static constexpr std::size_t kCommentBufSize = 32768;
  TStream32& Stream() { return *FStream; }
  std::unique_ptr<TStream32>& StreamRef() { return FStream; }
  // A walker that replaced the stream with the next volume says so, so the
  // walk may go on at an offset below the last one.
  void VolumeSwitched() {
    ++FVolumeSwitches;
    FWindowStream = nullptr;
  }
  // End of the current volume: an offset here ends the walk.
  Int64 EndOffset = 0;
  // Where the fixed header just read ends.
  Int64 CurrentOffset = 0;
  // Reads up to Count bytes at Pos; 0 for a position outside the file.
  Int32 ReadAt(Int64 Pos, void* Buffer, Int32 Count);
  // FileName from the stored name in our form (its code page decoded unless
  // Translate is false, as for names flagged UTF-8), then OnReadFile.
  void TakeName(const std::string& Raw, bool Translate = true);
  // One FileSpec mask matches and no exclusion does.
  bool MatchesMasks() const;
  // The ZIP central records' rule: entry selection with RecurseDirs.
  bool SelectedEntry() const;
  // Counts an entry and adds its sizes to the totals.
  void CountEntry(Int64 Packed, Int64 Unpacked);
  // Reports the current entry: pumps messages, stops after a cancel, then
  // the read events (or the list object). RatioPacked, when not negative,
  // is the packed size the ratio is computed from.
  void FillEntry(Int64 Offset, Int64 RatioPacked = -1);
  // The common rule: a matching file is counted (with its sizes) and
  // reported; a matching folder is reported only with ShowEmptyDirs.
  void ReportEntry(bool Matched, bool IsDirectory, Int64 Offset, Int64 RatioPacked = -1);
  // FileComment from stored bytes, clipped to what the comment buffer holds.
  void SetComment(const Byte* Data, std::size_t Count);
  // The file's attributes and own date (GZIP and UUE entries use them).
  UInt32 ArchiveAttributes() const;

 private:
  void ResetEntry();
  void Walk(TListWalker* Walker);
  void Close();
  std::unique_ptr<TStream32> FStream;
  int FVolumeSwitches = 0;
  static constexpr Int32 kWindowSize = 65536;
  std::vector<Byte> FWindow;
  const TStream32* FWindowStream = nullptr;
  Int64 FWindowPos = 0;
  Int32 FWindowSize = 0;
};

}  // namespace vsk
