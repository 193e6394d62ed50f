#pragma once
// Creating and changing LHA archives: add, refresh, move, delete and
// renaming kept entries.
//
// New entries get level-0 headers: files compressed as -lh5- or -lh6-
// (stored as -lh0- when that is not smaller, when they are empty or when
// their extension asks for it), empty folders as -lhd- entries. Names are
// stored with "\" between folders, in CP437 when every character fits,
// else as UTF-8; a level-0 header holds at most 233 name bytes, so a file
// with a longer stored name is refused ("Invalid file name") and left out.
// Kept entries of every header level are copied byte for byte; a renamed
// one is rewritten with a level-0 header under its new name and its packed
// data copied unchanged. An old archive that cannot be walked to its end
// is not changed at all: a header that is damaged, or an end mark followed
// by anything but zeros, stops the run. The archive ends with the 0 byte of the end mark.

#include <string>
#include <vector>

#include "archive/formats/lha/lzhwriter.h"
#include "archive/formats/lha/lhaheader.h"

namespace vsk {

// A level-0 header holds its size (22 + name length) in one byte.
inline constexpr std::size_t kLhaMaxLevel0Name = 255 - kLhaFixedSize;

// The fields of a level-0 header.
struct TLhaLevel0 {
  std::array<char, 5> Method{'-', 'l', 'h', '0', '-'};
  UInt32 PackedSize = 0;
  UInt32 UnpackedSize = 0;
  UInt32 DosDateTime = 0;
  Byte Attribute = 0x20;
  std::string Name;  // as stored, at most kLhaMaxLevel0Name bytes
  UInt16 Crc16 = 0;

  // Header size byte, checksum, fixed part, name and CRC-16 (H + 2 bytes).
  std::vector<Byte> Build() const;
};

class TLha : public TLzhFamilyWriter {
 public:
  TLha();

  // Always atLha.
  void SetArcType(TArcType Value) override;

 protected:
  bool WriteEntryData(TCompEntry& E) override;
  void FinishEntry(TCompEntry& E) override;
  TOldHeader ReadOldEntry(Int64 Pos, TCompEntry& E) override;
  bool SoundEnd(Int64 At) override;
  bool CopyOldEntry(TCompEntry& E) override;
  bool FinishArchive() override;
  void DescribeEntry(const TCompEntry& E) override;

 private:
  std::string EncodeEntryName(const TCompEntry& E) const;
  void MakeCentralRecord(TCompEntry& E);
  // Writes the working header at Offset and returns to the end of the output.
  void RewriteHeader(Int64 Offset);
  bool StoreFile(TCompEntry& E, TStream32& Src, Int64 Size);
  // The header checksum of a level-0 or level-1 header at Pos is right.
  bool ChecksumHolds(Int64 Pos, const TLhaHeader& H);

  TLhaLevel0 FWork;           // the header of the entry in work
  std::vector<Byte> FHeader;  // its bytes as last written
  std::vector<Byte> FCopyBuffer;
};

}  // namespace vsk
