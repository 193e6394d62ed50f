#include "libs/cabinet/foldercheck.h"

#include "base/records/ziprecords.h"
#include "libs/cabinet/cabchecksum.h"

namespace vsk::cab {

namespace {

// The most a data block holds: what libmspack accepts.
constexpr std::size_t kMaxPacked = 32768 + 6144;
constexpr std::size_t kMaxUnpacked = 32768;
constexpr std::uint64_t kOpenEnd = UINT64_MAX;

}  // namespace

bool TFolderCheck::Readable(std::uint64_t Offset, std::uint64_t Length) const {
  if (Length == 0) return true;
  const std::uint64_t end = Offset + Length;
  if (end > Total || end < Offset) return false;
  for (const auto& [from, to] : Damaged) {
    if (from < end && (!Stored || Offset < to)) return false;
  }
  return true;
}

bool CheckFolder(TCabFiles& Files, const std::string& Name, const TCabHeader& Header, const TCabFolder& Folder,
                 TFolderCheck& Out) {
  Out = TFolderCheck{};
  Out.Stored = (Folder.CompressionType & 0x0F) == 0;
  const intptr_t h = Files.Open(Name, CAB_O_RDONLY | CAB_O_BINARY);
  if (h == -1) return false;
  bool ok = Files.Seek(h, Folder.DataOffset, 0) == Folder.DataOffset;
  if (ok) {
    TCabReader reader(Files, h);
    const std::size_t head = 8 + Header.DataReserve;
    for (UInt32 i = 0; i < Folder.DataBlocks; ++i) {
      std::size_t have = 0;
      if (!reader.Fill(head, have) || have < head) {
        Out.Damaged.emplace_back(Out.Total, kOpenEnd);
        break;
      }
      const Byte* p = reader.Data();
      const UInt32 sum = GetLE32(p);
      const std::size_t packed = GetLE16(p + 4), unpacked = GetLE16(p + 6);
      reader.Skip(head);
      if (packed > kMaxPacked || unpacked > kMaxUnpacked || !reader.Fill(packed, have) || have < packed) {
        Out.Damaged.emplace_back(Out.Total, kOpenEnd);
        break;
      }
      // A stored checksum of 0 means none.
      if (sum != 0 && CabBlockChecksum(reader.Data(), packed, unpacked) != sum) {
        Out.Damaged.emplace_back(Out.Total, Out.Total + unpacked);
      }
      reader.Skip(packed);
      Out.Total += unpacked;
    }
  }
  Files.Close(h);
  return ok;
}

}  // namespace vsk::cab
