#include "libs/cabinet/cabchecksum.h"

#include <bit>
#include <cstring>

#include "base/records/ziprecords.h"

namespace vsk::cab {

static_assert(std::endian::native == std::endian::little, "words are read in place");

UInt32 CabChecksum(const Byte* Data, std::size_t Size, UInt32 Seed) {
  // Eight bytes at a time are two words; their halves fold together.
  std::uint64_t wide = 0;
  std::size_t i = 0;
  for (; i + 8 <= Size; i += 8) {
    std::uint64_t v;
    std::memcpy(&v, Data + i, 8);
    wide ^= v;
  }
  UInt32 sum = Seed ^ static_cast<UInt32>(wide) ^ static_cast<UInt32>(wide >> 32);
  if (i + 4 <= Size) {
    sum ^= GetLE32(Data + i);
    i += 4;
  }
  UInt32 tail = 0;
  for (; i < Size; ++i) tail = tail << 8 | Data[i];
  return sum ^ tail;
}

UInt32 CabBlockChecksum(const Byte* Data, std::size_t Size, std::size_t Unpacked) {
  Byte sizes[4];
  PutLE16(sizes, static_cast<UInt16>(Size));
  PutLE16(sizes + 2, static_cast<UInt16>(Unpacked));
  return CabChecksum(sizes, sizeof sizes, CabChecksum(Data, Size, 0));
}

}  // namespace vsk::cab
