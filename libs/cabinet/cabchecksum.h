#pragma once
// The checksum of a cabinet's data blocks: the block's bytes taken as
// little-endian 32-bit words and XORed together, the last one to three
// bytes as one more word (first byte highest), then the two 16-bit size
// fields of the block header folded in the same way on top.

#include <cstddef>

#include "base/types.h"

namespace vsk::cab {

UInt32 CabChecksum(const Byte* Data, std::size_t Size, UInt32 Seed);
// The checksum stored in a data block of Size bytes holding Unpacked bytes.
UInt32 CabBlockChecksum(const Byte* Data, std::size_t Size, std::size_t Unpacked);

}  // namespace vsk::cab
