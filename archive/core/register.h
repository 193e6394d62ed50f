#pragma once
// The root of every archive component: the archive name, its detected type
// and the detection results the readers and the lister start from.

#include <string>

#include "archive/core/arctype.h"
#include "base/types.h"
#include "base/records/ziprecords.h"

namespace vsk {

class TStream32;

// Bits of ZipRecFlags (the header-state byte handed to OnCorruptZipHeader).
using THeaderTypeState = Byte;
inline constexpr THeaderTypeState kZipLocalFound = 0x01;
inline constexpr THeaderTypeState kZipCentralFound = 0x02;
inline constexpr THeaderTypeState kZipEndFound = 0x04;

class TRegisterVorsk {
 public:
  TRegisterVorsk() = default;
  virtual ~TRegisterVorsk() = default;
  TRegisterVorsk(const TRegisterVorsk&) = delete;
  TRegisterVorsk& operator=(const TRegisterVorsk&) = delete;

  const std::string& ArchiveFile() const { return FArchiveFile; }
  // A missing file clears the name and gives atNA; otherwise the name is
  // kept as given, the type detected and, for a valid type, the volume
  // number derived. Raises EFOpenError when the file exists but cannot be
  // opened.
  virtual void SetArchiveFile(const std::string& Value);

  TArcType ArcType() const { return FArcType; }
  // Ignores Value and detects the type of ArchiveFile; writers force theirs.
  virtual void SetArcType(TArcType Value);

  // Detects the type of FileName by its content and fills the detection
  // results below. Raises EFOpenError "Error opening file" when the file
  // cannot be opened.
  TArcType DetectArcType(const std::string& FileName);

  // Opens an existing file for reading; ArcSize becomes its size, or 0 with
  // a false result when it cannot be opened.
  bool OpenArchiveHandle(const std::string& FileName, int& Handle);

  // VolNum and VolLetter from the archive name, for ACE, ARJ and RAR.
  void SetVolumeNumber();

  // Detection results.
  Int64 ArcSize = 0;
  // Start of the archive data: the embedded archive of a self-extractor or a
  // fixed-offset format, the central directory of a zip found through its
  // end record, 1 for UU text, 0 or 512 for tar.
  Int64 ArcOffset = 0;
  // Creation time of the archive file as a DOS date (high half) and time.
  UInt32 ArcDate = 0;
  // File position of the zip archive comment, 0 when there is none.
  Int64 ZipCommentPos = 0;
  // File position of the zip end record found, -1 when there is none.
  Int64 ZipEndPos = -1;
  // Added to stored zip offsets when the zip data were moved behind a prefix.
  Int64 ZipOffsetShift = 0;
  TZipEndRecord ZipEndRec;
  TZipCentralRecord ZipCentralRec;  // the first central record
  TZipLocalHeader ZipLocalRec;      // the first local header
  THeaderTypeState ZipRecFlags = 0;
  Int32 VolNum = 0;
  char VolLetter = 0;

 protected:
  std::string FArchiveFile;
  TArcType FArcType = atNA;

 private:
  // Steps of the detection; F is the open archive, ArcSize its size. Each
  // format's own part is its detector (archive/core/detect.h), which the
  // Detect column of the table of archive types names.

  // Archives at the fixed offsets of known self-extractor stubs.
  TArcType ProbeSfxStub(TStream32& F);
  // Scans up to six 32 KiB blocks from Start for an archive header; returns
  // its offset and sets Type (atNA and 0 when none is found).
  Int64 ScanForSignature(TStream32& F, Int64 Start, TArcType& Type);
  TArcType DetectInExecutable(TStream32& F, const std::string& FileName, const Byte* Head, Int64 Count);
  TArcType DetectPlain(TStream32& F, const Byte* Head, Int64 Count);
  // An archive appended to an ELF program (a self-extractor of ours).
  TArcType DetectInElf(TStream32& F);
  TArcType ProbeResources(TStream32& F, const std::string& FileName);
};

}  // namespace vsk
