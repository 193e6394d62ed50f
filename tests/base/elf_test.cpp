#include "base/records/elf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/dynlib.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

UInt64 ImageSize(const std::string& Bytes) {
  return ElfImageSize(
      [&Bytes](UInt64 Offset, void* Buffer, std::size_t Count) {
        if (Offset > Bytes.size() || Count > Bytes.size() - Offset) return false;
        std::memcpy(Buffer, Bytes.data() + Offset, Count);
        return true;
      },
      Bytes.size());
}

void Put(std::string& Bytes, std::size_t At, UInt64 Value, int Count) {
  for (int i = 0; i < Count; ++i) Bytes[At + i] = static_cast<char>(Value >> (8 * i));
}

// A real program ends where its file ends, also with data appended; a
// header whose tables do not fit the file, or that names a section count
// without a table, gives no size beyond what is there and reads nothing
// outside the file.
TEST(ElfImage, EndOfTheProgramAndHostileHeaders) {
  const std::string self = vsktest::ReadFile(ProgramFile());
  ASSERT_TRUE(IsElfImage(reinterpret_cast<const Byte*>(self.data()), self.size()));
  EXPECT_EQ(ImageSize(self), self.size());
  EXPECT_EQ(ImageSize(self + std::string(5000, 'x')), self.size());
  EXPECT_EQ(ImageSize(self.substr(0, self.size() - 1)), 0u);

  // A bare 64-bit little-endian header with no program headers.
  std::string head(64, '\0');
  std::memcpy(head.data(), "\x7F" "ELF\x02\x01", 6);
  Put(head, 58, 64, 2);  // section header entry size
  Put(head, 60, 7, 2);   // sections, yet no table offset
  EXPECT_EQ(ImageSize(head + "data"), 64u);
  Put(head, 40, 1u << 30, 8);  // a table beyond the file
  EXPECT_EQ(ImageSize(head + "data"), 0u);
  Put(head, 40, 0, 8);
  Put(head, 54, 56, 2);  // program header entry size
  Put(head, 56, 0xFFFF, 2);  // extended count without a section table
  EXPECT_EQ(ImageSize(head + "data"), 0u);
}

}  // namespace
}  // namespace vsk
