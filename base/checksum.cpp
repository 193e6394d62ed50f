#include "base/checksum.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <vector>

#include "base/dates.h"
#include "base/stream.h"

namespace vsk {

namespace {

struct Crc16Tables {
  // Slicing-by-4: t[0] is the classic table, t[k] advances k more bytes.
  std::array<std::array<UInt16, 256>, 4> t{};
  Crc16Tables() {
    for (unsigned i = 0; i < 256; ++i) {
      UInt16 c = static_cast<UInt16>(i);
      for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<UInt16>((c >> 1) ^ 0xA001) : static_cast<UInt16>(c >> 1);
      t[0][i] = c;
    }
    for (unsigned i = 0; i < 256; ++i)
      for (int k = 1; k < 4; ++k) t[k][i] = static_cast<UInt16>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  }
};

const Crc16Tables& Crc16Table() {
  static const Crc16Tables tables;
  return tables;
}

const std::array<UInt32, 256>& Crc32Table() {
  static const std::array<UInt32, 256> table = [] {
    std::array<UInt32, 256> t{};
    for (UInt32 i = 0; i < 256; ++i) {
      UInt32 c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  return table;
}

}  // namespace

void UpdateCrc32(const void* Buffer, std::size_t Count, UInt32& Crc) {
  // zlib keeps the value complemented between calls; ours is the raw register.
  auto* p = static_cast<const Bytef*>(Buffer);
  uLong c = ~Crc & 0xFFFFFFFFu;
  while (Count > 0) {
    const uInt n = Count > (1u << 30) ? (1u << 30) : static_cast<uInt>(Count);
    c = crc32(c, p, n);
    p += n;
    Count -= n;
  }
  Crc = ~static_cast<UInt32>(c);
}

UInt32 Crc32Byte(Byte B, UInt32 Crc) { return Crc32Table()[(Crc ^ B) & 0xFF] ^ (Crc >> 8); }

void UpdateCrc16(const void* Buffer, std::size_t Count, UInt16& Crc) {
  const auto& t = Crc16Table().t;
  auto* p = static_cast<const Byte*>(Buffer);
  UInt32 c = Crc;
  while (Count >= 4) {
    c ^= static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8);
    c = t[3][c & 0xFF] ^ t[2][(c >> 8) & 0xFF] ^ t[1][p[2]] ^ t[0][p[3]];
    p += 4;
    Count -= 4;
  }
  while (Count-- > 0) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  Crc = static_cast<UInt16>(c);
}

UInt32 Crc32Of(const void* Buffer, std::size_t Count) {
  UInt32 c = 0xFFFFFFFFu;
  UpdateCrc32(Buffer, Count, c);
  return c ^ 0xFFFFFFFFu;
}

UInt16 Crc16Of(const void* Buffer, std::size_t Count) {
  UInt16 c = 0;
  UpdateCrc16(Buffer, Count, c);
  return c;
}

UInt32 Adler32(UInt32 Adler, const void* Buffer, std::size_t Count) {
  if (!Buffer) return 1;
  auto* p = static_cast<const Bytef*>(Buffer);
  uLong a = Adler;
  while (Count > 0) {
    const uInt n = Count > (1u << 30) ? (1u << 30) : static_cast<uInt>(Count);
    a = adler32(a, p, n);
    p += n;
    Count -= n;
  }
  return static_cast<UInt32>(a);
}

void TCrcState::Update(int Kind, const void* Buffer, std::size_t Count) {
  if (Kind == kCrc32)
    UpdateCrc32(Buffer, Count, Crc32);
  else if (Kind == kCrc16)
    UpdateCrc16(Buffer, Count, Crc16);
}

UInt32 TarHeaderChecksum(const Byte* Header) {
  UInt32 sum = 0;
  for (int i = 0; i < kTarBlockSize; ++i) sum += (i >= 148 && i < 156) ? 32u : Header[i];
  return sum;
}

bool IsValidTarHeader(const Byte* Header) {
  const std::string_view field(reinterpret_cast<const char*>(Header) + 148, 8);
  return static_cast<Int64>(TarHeaderChecksum(Header)) == OctalToInt(field);
}

UInt32 StreamCrc(TStream32& Stream, const std::function<void(Int64, Int64)>& Notify) {
  constexpr Int32 kChunk = 100000;
  std::vector<Byte> buf(kChunk);
  UInt32 crc = 0xFFFFFFFFu;
  const Int64 total = Stream.GetSize();
  Int64 done = 0;
  Stream.SetPosition(0);
  for (;;) {
    const Int32 n = Stream.Read(buf.data(), kChunk);
    if (n <= 0) break;
    UpdateCrc32(buf.data(), static_cast<std::size_t>(n), crc);
    done += n;
    if (Notify) Notify(done, total);
  }
  Stream.SetPosition(0);
  return crc;
}

}  // namespace vsk
