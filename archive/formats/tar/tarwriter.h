#pragma once
// Creating and changing tar archives: add, refresh, move, delete and
// renaming kept entries; with CompressMethod cmTarGzip the finished tar is
// also compressed into a ".gz" beside it by an inner gzip writer.
//
// New entries get GNU headers ("ustar  " magic): the file's permissions,
// UnixUID/UnixGID and UnixUName/UnixGName as owner, its time in whole
// seconds, names as UTF-8 with "/" between folders; a name longer than the
// 100-byte field is carried by a GNU long-name record in front of the
// header. Old entries are kept byte for byte together with the long-name,
// pax and other records in front of them. An old archive that cannot be
// walked to its end blocks is not changed at all.

#include <string>
#include <unordered_map>
#include <vector>

#include "archive/core/compbase.h"
#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/tar/tarheader.h"

namespace vsk {

class TTar : public TCompBase {
 public:
  TTar();

  Byte UnixUID = 2;
  Byte UnixGID = 2;
  // Cut to 32 bytes when a header is written (the property keeps the cut value).
  std::string UnixUName = "root";
  std::string UnixGName = "root";

  // Relayed to the gzip step of a cmTarGzip run, which asks it when the
  // ".gz" output exists.
  TGZip::TOnFileExists OnFileExists;

  // atTar, or atTarGZip with CompressMethod cmTarGzip, whatever is asked.
  void SetArcType(TArcType Value) override;

  // The tar run; with cmTarGzip then the gzip step, after which ArchiveFile
  // names the ".gz". Returns the entries added (dropped with swDelete), 0
  // when the run or the gzip step failed.
  int Compress() override;
  // Compresses the finished tar into Name with an inner gzip writer that
  // shares this component's cancel flag, settings and events.
  void FinishArchiveFile(const std::string& Name) override;
  // Whether the last FinishArchiveFile wrote its output.
  bool GzipWritten() const { return FGzipWritten; }

 protected:
  bool CompressFileData(TCompEntry& E) override;
  void MakeCentralRecord(TCompEntry& E) override;
  void PutHeaderTimes(TCompEntry& E, const TNeutralHeader& H) override;
  Int32 GetHeadSize() override { return static_cast<Int32>(kTarHeaderSize); }
  Int32 GetLocalHeadSize() override { return static_cast<Int32>(kTarHeaderSize); }
  Byte* GetHeadPtr() override { return FHeader; }
  bool LoadOldDirectory() override;
  bool CopyOldEntry(TCompEntry& E) override;
  bool FinishArchive() override;
  std::string EncodeEntryName(TCompEntry& E) override;
  void FillEntryFields(const TCompEntry& E) override;

 private:
  // Where the parts of an old entry lie: the records in front of its
  // header (long names, pax, labels), the header, and the end of its data.
  struct TOldGroup {
    std::vector<Int64> Records;
    Int64 Header = 0;
    Int64 End = 0;
  };

  // The source in hand is the archive being read or written.
  bool IsOwnFile(UInt64 Dev, UInt64 Ino);
  Int64 EntryTime(const TCompEntry& E, Int64 FileTime) const;
  void WriteLongName(const std::string& Name);
  void WritePadding(Int64 Count);
  bool ReadRecordData(Int64 Header, Int64 Size, std::vector<Byte>& Data);
  bool CopyRecord(Int64 At);

  Byte FHeader[kTarHeaderSize] = {};
  std::unordered_map<Int64, TOldGroup> FGroups;  // by the entry's old offset
  std::vector<Byte> FCopyBuffer;
  bool FGzipWritten = false;
};

}  // namespace vsk
