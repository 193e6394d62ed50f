#include "base/checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "base/stream.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

UInt16 Crc16Bytewise(const std::string& s) {
  UInt16 c = 0;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<UInt16>((c >> 1) ^ 0xA001) : static_cast<UInt16>(c >> 1);
  }
  return c;
}

TEST(Checksum, KnownValues) {
  EXPECT_EQ(Crc32Of("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc16Of("abc", 3), 0x9738u);
  EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc16Of("123456789", 9), 0xBB3Du);
  EXPECT_EQ(Crc32Of("", 0), 0u);

  // The running value carries across blocks, and the byte step agrees.
  UInt32 running = 0xFFFFFFFFu;
  UpdateCrc32("a", 1, running);
  UpdateCrc32("bc", 2, running);
  EXPECT_EQ(running ^ 0xFFFFFFFFu, 0x352441C2u);
  UInt32 bytewise = 0xFFFFFFFFu;
  for (char c : std::string("abc")) bytewise = Crc32Byte(static_cast<Byte>(c), bytewise);
  EXPECT_EQ(bytewise, running);
}

TEST(Checksum, Crc16AgreesWithBitwiseAtEveryLengthAndSplit) {
  const std::string data = vsktest::RandomBytes(1000, 3);
  for (std::size_t len : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 31u, 1000u}) {
    const std::string part = data.substr(0, len);
    EXPECT_EQ(Crc16Of(part.data(), part.size()), Crc16Bytewise(part)) << len;
    for (std::size_t split = 0; split <= len; split += 3) {
      UInt16 c = 0;
      UpdateCrc16(part.data(), split, c);
      UpdateCrc16(part.data() + split, len - split, c);
      EXPECT_EQ(c, Crc16Bytewise(part)) << len << "/" << split;
    }
  }
}

TEST(Checksum, Adler32AndRunState) {
  EXPECT_EQ(Adler32(1, nullptr, 10), 1u);
  EXPECT_EQ(Adler32(12345, "x", 0), 12345u);
  EXPECT_EQ(Adler32(1, "Wikipedia", 9), 0x11E60398u);

  TCrcState s;
  s.Update(kCrc32, "abc", 3);
  s.Update(kCrc16, "abc", 3);
  s.Update(7, "zzz", 3);  // no CRC
  EXPECT_EQ(s.Crc32Final(), 0x352441C2u);
  EXPECT_EQ(s.Crc16, 0x9738u);
  s.Reset();
  EXPECT_EQ(s.Crc32, 0xFFFFFFFFu);
  EXPECT_EQ(s.Crc16, 0u);
}

TEST(Checksum, TarHeaderSumCountsTheFieldAsBlanks) {
  Byte h[512];
  std::memset(h, 0, sizeof h);
  std::memcpy(h, "file.txt", 8);
  std::memset(h + 148, 0, 8);
  const UInt32 zeroField = TarHeaderChecksum(h);
  std::memset(h + 148, 'x', 8);
  EXPECT_EQ(TarHeaderChecksum(h), zeroField);
  std::memset(h + 148, ' ', 8);
  EXPECT_EQ(TarHeaderChecksum(h), zeroField);
  EXPECT_EQ(zeroField, 8u * 32u + static_cast<UInt32>('f' + 'i' + 'l' + 'e' + '.' + 't' + 'x' + 't'));
}

TEST(Checksum, StreamCrcReadsWholeStreamAndRewinds) {
  TMemoryStream32 m;
  const std::string data = vsktest::RandomBytes(250001, 9);
  m.WriteBuffer(data.data(), static_cast<Int64>(data.size()));
  int calls = 0;
  const UInt32 c = StreamCrc(m, [&](Int64, Int64 total) {
    ++calls;
    EXPECT_EQ(total, 250001);
  });
  EXPECT_EQ(c ^ 0xFFFFFFFFu, Crc32Of(data.data(), data.size()));
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(m.Position(), 0);
}

}  // namespace
}  // namespace vsk

namespace vsk {
namespace {

TEST(Checksum, TarHeaderValidity) {
  Byte h[512] = {};
  std::memcpy(h, "a.txt", 5);
  const UInt32 sum = TarHeaderChecksum(h);
  char field[9];
  std::snprintf(field, sizeof field, "%06o", sum);
  std::memcpy(h + 148, field, 7);  // six digits, NUL, then a blank
  h[155] = ' ';
  EXPECT_TRUE(IsValidTarHeader(h));
  h[0] = 'b';
  EXPECT_FALSE(IsValidTarHeader(h));
}

}  // namespace
}  // namespace vsk
