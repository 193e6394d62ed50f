#pragma once
// Creating and changing ZIP and JAR archives: add, refresh, move, delete,
// renaming kept entries, archive and entry comments, traditional
// encryption, enciphered ("PL") headers, and spanning over removable disks.
//
// Names are stored with "/" between folders: ASCII names as they are,
// others as UTF-8 with flag bit 11. Version made by is 2.0 for MS-DOS, the
// external attributes hold the DOS attribute bits.

#include <functional>
#include <string>
#include <vector>

#include "archive/core/compbase.h"
#include "base/records/ziprecords.h"

namespace vsk {

class TZip : public TCompBase {
 public:
  TZip();

  using TOnClearDisk = std::function<void(TZipCommon& Sender, const std::string& Drive, Int64 RequiredSpace,
                                          Int64 FreeSpace, Int64 TotalSpace, bool& Cancel)>;
  using TOnDiskSpanFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName,
                                                   TDateTime FileDate, TOverwriteMode& OverwriteMode)>;
  TOnClearDisk OnClearDisk;
  TOnDiskSpanFileExists OnDiskSpanFileExists;

  // Bytes kept free on the first disk of a spanned set.
  Int64 LeaveSpaceOnFirstDisk = 0;
  // New entries get "PL" local and directory records, enciphered under the
  // library's header key (only this library reads them).
  bool EncryptHeaders = false;

  // Always the writer's own type; the default extension is applied again.
  void SetArcType(TArcType Value) override;

 protected:
  TZip(TArcType OwnType, const char* OwnExt);

  TFormatTraits Traits() const override;
  bool WriteEntryData(TCompEntry& E) override;
  void FinishEntry(TCompEntry& E) override;
  bool LoadOldDirectory() override;
  bool CopyOldEntry(TCompEntry& E) override;
  bool FinishArchive() override;
  void DescribeEntry(const TCompEntry& E) override;
  // Entry data are enciphered with the traditional zip cipher.
  void EncodeBlock(void* Buffer, Int32 Count) override {
    Crypt->EncryptZipBuffer(Buffer, static_cast<std::size_t>(Count));
  }
  std::vector<std::string> ReadBackNames() override;

 private:
  // The local header in work: started (Done null) or completed with the
  // entry's result, written at the output position.
  void WriteHeader(TCompEntry& E, const TEntryResult* Done);
  void StartLocalHeader(TCompEntry& E);
  void CompleteLocalHeader(TCompEntry& E, const TEntryResult& R);
  void WriteLocalHeader(TCompEntry& E);
  void MakeCentralRecord(TCompEntry& E);
  void WriteEmptyArchive();
  void WriteDirectory();
  bool BuildsAwayFromTarget() const;
  // The end record, found in the last 64 KiB of the old archive; -1 when none.
  Int64 FindEndRecord(TZipEndRecord& End);
  bool LoadFromDirectory(Int64 EndPos, const TZipEndRecord& End);
  bool LoadFromLocalHeaders();
  // Adds an old entry after checking its local header; false when the
  // entry's bytes are not where its record says.
  bool AddOldEntry(TZipCentralRecord C, std::string Raw, std::string Extra, std::string Comment, bool Enc,
                   Int64 Offset);
  void FinishLoading();
  bool SpanDisks();

  TArcType FOwnType;
  TZipLocalHeader FLocal;
  bool FText = false;  // the entry in work is text (its internal attribute)
  bool FNameUtf8 = false;
};

class TJar : public TZip {
 public:
  TJar();
};

}  // namespace vsk
