#include "archive/formats/lha/bhheader.h"

#include "base/records/ziprecords.h"

namespace vsk {

TBhStatus TBhHeader::Parse(const Byte* Fixed, Int32 Got, Int64 Offset, Int64 Limit, const TArchiveReadAt& Read,
                           TBhHeader& Out) {
  Out = TBhHeader{};
  if (Got < 6 || GetLE32(Fixed) != kBhSignature || GetLE16(Fixed + 4) == 0) return TBhStatus::EndOfArchive;
  if (Got < kBhFixedSize || Offset < 0 || Offset + kBhFixedSize > Limit) return TBhStatus::Truncated;
  Out.Offset = Offset;
  Out.Signature = GetLE32(Fixed);
  Out.HeaderLength = GetLE16(Fixed + 4);
  Out.FixedLength = Fixed[6];
  Out.VersionMadeBy = Fixed[7];
  Out.VersionNeeded = Fixed[8];
  Out.Flags = Fixed[9];
  Out.Method = Fixed[10];
  Out.DosDateTime = GetLE32(Fixed + 11);
  Out.PackedSize = GetLE32(Fixed + 15);
  Out.UnpackedSize = GetLE32(Fixed + 19);
  Out.Crc32 = GetLE32(Fixed + 23);
  Out.Attributes = GetLE16(Fixed + 27);
  Out.Reserved = GetLE32(Fixed + 29);
  Out.NameLength = GetLE16(Fixed + 33);
  Out.ExtraLength = GetLE16(Fixed + 35);
  if (Out.DataOffset() > Limit) return TBhStatus::Truncated;
  Out.Name.resize(Out.NameLength);
  if (Out.NameLength != 0 && Read(Offset + kBhFixedSize, Out.Name.data(), Out.NameLength) != Out.NameLength)
    return TBhStatus::Truncated;
  return TBhStatus::Ok;
}

}  // namespace vsk
