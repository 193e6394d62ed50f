#pragma once
// Extracting and testing gzip files (the 1F 8B form and the older 1F 9E
// one, also several members written one after another) and Unix "compress"
// files. An archive gives one output file, checked against every member's
// CRC-32 and size. When that file holds a tar archive the owner is asked
// through OnNestedTarFile whether to unpack it, which an inner tar reader
// then does, every entry of it, with this component's folder, events and
// cancel flag.

#include <functional>
#include <memory>
#include <string>

#include "archive/core/unbase.h"
#include "archive/formats/gzip/gzipheader.h"

namespace vsk {

class TUnTar;

// The output name of a member. Name is the stored name, or the archive's
// name without its last extension when none is stored. An extension ".tgz"
// becomes ".tar"; otherwise an extension equal to the archive's own is
// dropped and a text member (Text) gets ".txt". On a FAT16 volume every "."
// in front of the extension becomes "_".
std::string GzipOutputName(const std::string& Name, const std::string& ArchiveName, bool Text, bool Fat16);
// The name a member is listed and extracted under: its stored name
// (translated from the OEM code page with TranslateOem), or the archive's
// name when it stores none or an empty one, put through GzipOutputName for
// the volume whose file system is FileSystem.
std::string GzipMemberName(const TGzipHeader& Header, const std::string& ArchiveName, bool TranslateOem,
                           const std::string& FileSystem);

class TUnGZip : public TUnBase {
 public:
  using TOnChangeArchive =
      std::function<void(TZipCommon& Sender, const std::string& ArchiveName, TArcType ArcType)>;

  TUnGZip();
  ~TUnGZip() override;

  // Fired when a nested tar gave files: that tar now stands for the archive.
  TOnChangeArchive OnChangeArchive;
  // Kept for the owner, which removes the intermediate tar by it.
  TDeleteOptions GzTarDeleteOptions = doAllowUndo;

 protected:
  void ExtractArchive() override;
  // The text of a gzip or MS-GZ file may be written with CR LF line ends.
  bool TranslatesText() const override;
  // The output routine while a run is under way. The first block decoded
  // tells whether the output is a tar archive; then the owner is asked, and
  // a test run reads the tar as it is decoded. Every block then goes on to
  // the routine that writes the output.
  virtual Int32 CheckNestedTar(int Handle, void* Buffer, bool IsData, Int32 Count, int CrcKind, TStream32* Stream,
                               bool CryptFlag);

 private:
  struct TEntry {
    TGzipHeader Header;
    std::string Name;  // the output name before it is prepared
    UInt32 DosDateTime = 0;
    Int64 Packed = 0;
    Int64 Unpacked = 0;
    UInt32 StoredCrc = 0;  // the trailer at the end of the file
  };
  enum class THeaderRead { Ok, NotGzip, Truncated, Bad };
  class TInflater;
  using TPull = std::function<Int32(Byte* Buffer, Int32 Count)>;

  // Up to Count bytes at Position; the bytes read.
  Int32 ReadAt(Int64 Position, void* Buffer, Int32 Count);
  bool ReadEntry(TEntry& Entry);
  THeaderRead ReadHeader(Int64 Position, TGzipHeader& Header);
  // The library code that refuses a member before anything is written, 0
  // when it can be decoded.
  int Refusal(const TGzipHeader& Header) const;
  void ExtractEntry(const TEntry& Entry);
  bool InflateMembers(const TEntry& Entry, UInt32& LastCrc);
  bool DecodeCompress();
  // Nothing but zero bytes from Position to the end of the archive.
  bool ZerosFrom(Int64 Position);
  void WriteOutput(Byte* Buffer, Int32 Count);
  // Writes what Pull decodes through the output routine in blocks; when the
  // first block shows a tar that a test run is to test, the tar reader
  // reads the rest from Pull.
  void PumpOutput(const TPull& Pull);
  void TestNestedTar(const TPull& Pull, const Byte* First, Int32 Count);
  // The inner reader set to work as this one was asked to.
  void SetUpInnerTar(TUnTar& Tar);
  void UnpackNestedTar(const std::string& TarFile);

  // The run as it stood when it started.
  TWriteRoutine FSavedWrite;
  TOnEnd FSavedOnEnd;
  Byte FSavedAction = kActionExtract;
  TOverwriteMode FSavedOverwriteMode = omOverwrite;
  // The first-block check and where output goes after it.
  bool FFirstBlockSeen = false;
  bool FDoUnTar = false;
  // A test run tests the tar as it is decoded; it did, with this many files.
  bool FStreamTar = false;
  bool FStreamTested = false;
  int FStreamFiles = 0;
  TWriteRoutine FNextWrite;
  int FOutHandle = -1;
  std::unique_ptr<Byte[]> FOutput;
};

}  // namespace vsk
