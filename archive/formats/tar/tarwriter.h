#pragma once
// Creating and changing tar archives: add, refresh, move, delete and
// renaming kept entries; with CompressMethod cmTarGzip the tar is also
// compressed, as it is written, into a ".gz" beside it.
//
// New entries get GNU headers ("ustar  " magic): the file's permissions,
// UnixUID/UnixGID and UnixUName/UnixGName as owner, its time in whole
// seconds, names as UTF-8 with "/" between folders; a name longer than the
// 100-byte field is carried by a GNU long-name record in front of the
// header. Old entries are kept byte for byte together with the long-name,
// pax and other records in front of them. An old archive that cannot be
// walked to its end blocks is not changed at all.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/core/compbase.h"
#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/tar/tarheader.h"
#include "archive/formats/tar/targzout.h"

namespace vsk {

class TTar : public TCompBase {
 public:
  TTar();

  Byte UnixUID = 2;
  Byte UnixGID = 2;
  // Cut to 32 bytes when a header is written (the property keeps the cut value).
  std::string UnixUName = "root";
  std::string UnixGName = "root";

  // Asked before a cmTarGzip run changes an existing ".gz", and about an
  // existing file at the tar's name before anything happens to it (omSkip
  // for either leaves both alone: the run does not start).
  TGZip::TOnFileExists OnFileExists;

  // atTar, or atTarGZip with CompressMethod cmTarGzip, whatever is asked.
  void SetArcType(TArcType Value) override;
  // With cmTarGzip a tar.gz is named by its tar: "x.tar.gz" and "x.tgz"
  // both by "x.tar", "x.gz" by "x" (named as any tar); the name given is
  // the ".gz" the run changes. Another name is the tar's, and its ".gz" is
  // that name + ".gz".
  void SetArchiveFile(const std::string& Value) override;

  // The tar run. With cmTarGzip it changes ArchiveFile + ".gz" (starting
  // from the tar inside it when it exists); once the ".gz" is committed the
  // new tar takes ArchiveFile's name (an existing file of that name goes to
  // the trash), sources of a move are deleted, and ArchiveFile names the
  // ".gz". Returns the entries added (dropped with swDelete), 0 when the
  // run or the gzip step failed.
  int Compress() override;
  // Whether the last cmTarGzip run wrote its ".gz".
  bool GzipWritten() const { return FGzipWritten; }

 protected:
  TFormatTraits Traits() const override;
  bool WriteEntryData(TCompEntry& E) override;
  void FinishEntry(TCompEntry& E) override;
  bool LoadOldDirectory() override;
  bool CopyOldEntry(TCompEntry& E) override;
  bool FinishArchive() override;
  void DescribeEntry(const TCompEntry& E) override;
  // Every write goes to the archive: a full disk is its failure.
  std::string WriteFailureName() const override { return FArchiveFile; }

 private:
  // Where the parts of an old entry lie: the records in front of its
  // header (long names, pax, labels), the header, and the end of its data.
  struct TOldGroup {
    std::vector<Int64> Records;
    Int64 Header = 0;
    Int64 End = 0;
  };

  std::string EncodeEntryName(const TCompEntry& E) const;
  void MakeCentralRecord(TCompEntry& E);
  Int64 EntryTime(const TCompEntry& E, Int64 FileTime) const;
  void WriteLongName(const std::string& Name);
  void WritePadding(Int64 Count);
  bool ReadRecordData(Int64 Header, Int64 Size, std::vector<Byte>& Data);
  bool CopyRecord(Int64 At);

  Byte FHeader[kTarHeaderSize] = {};
  std::unordered_map<Int64, TOldGroup> FGroups;  // by the entry's old offset
  std::vector<Byte> FCopyBuffer;
  bool FGzipWritten = false;
  // Asks OnFileExists about an existing ".gz" and an existing file at the
  // tar's name; false when the run must not start.
  bool MayChangeGz();
  bool MayReplace(const std::string& Name);
  // cmTarGzip: the run replaces the ".gz" and starts from the tar inside
  // it; the tar is compressed as it is written and takes its place beside
  // the ".gz" only once that is committed.
  class TGzLayer;
  std::string GzFile();
  std::unique_ptr<TFileStream32> OpenOldGz(Byte& Error);
  TStream32* WrapInGz(TStream32* Output);
  bool CommitGz();
  // The ".gz" of a cmTarGzip run, when it was named with SetArchiveFile.
  std::string FGzName;
  std::unique_ptr<TTarGzOutput> FGzOut;
  // The member committed by the last cmTarGzip run.
  bool FGzCommitted = false;
  UInt32 FGzTime = 0;
  // OnRead for the committed member, then OnEnd with its name.
  void ReportMember(const std::string& Gz);
};

}  // namespace vsk
