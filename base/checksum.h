#pragma once
// CRC-32 (reflected 0xEDB88320, as zip and gzip use it), CRC-16/ARC
// (reflected 0xA001, as LHA and ARC use it), Adler-32 and the tar header sum.
//
// The running CRC-32 value starts at 0xFFFFFFFF and the result is the final
// value XOR 0xFFFFFFFF; CRC-16 starts at 0 with no final XOR.

#include <cstddef>
#include <functional>

#include "base/types.h"

namespace vsk {

class TStream32;

// Kind codes used across the library.
inline constexpr int kCrc16 = 16;
inline constexpr int kCrc32 = 32;
inline constexpr int kCrcNone = 0;

void UpdateCrc32(const void* Buffer, std::size_t Count, UInt32& Crc);
UInt32 Crc32Byte(Byte B, UInt32 Crc);
void UpdateCrc16(const void* Buffer, std::size_t Count, UInt16& Crc);

// The finished CRC-32 of a buffer (start value and final XOR applied).
UInt32 Crc32Of(const void* Buffer, std::size_t Count);
UInt16 Crc16Of(const void* Buffer, std::size_t Count);

// RFC 1950; a missing buffer gives 1, an empty one the value passed in.
UInt32 Adler32(UInt32 Adler, const void* Buffer, std::size_t Count);

// The running CRC values of one run; nested components share one by reference.
struct TCrcState {
  UInt32 Crc32 = 0xFFFFFFFFu;
  UInt16 Crc16 = 0;

  void Reset() {
    Crc32 = 0xFFFFFFFFu;
    Crc16 = 0;
  }
  // Dispatches on the kind code; any other kind computes nothing.
  void Update(int Kind, const void* Buffer, std::size_t Count);
  UInt32 Crc32Final() const { return Crc32 ^ 0xFFFFFFFFu; }
};

inline constexpr int kTarBlockSize = 512;

// Sum of the 512 header bytes with the checksum field (148..155) counted as blanks.
UInt32 TarHeaderChecksum(const Byte* Header);
bool IsValidTarHeader(const Byte* Header);

// The running CRC-32 of a whole stream, read from its start in 100000-byte
// chunks; the stream is rewound to 0 afterwards. Not yet complemented.
UInt32 StreamCrc(TStream32& Stream, const std::function<void(Int64 Done, Int64 Total)>& Notify = {});

}  // namespace vsk
