#include "base/textcase.h"

#include <gtest/gtest.h>

namespace vsk {
namespace {

// Only "A".."Z" and "a".."z" fold: UTF-8 sequences and the characters next
// to the letters ("@[`{", which differ from letters by the case bit) stay.
TEST(TextCase, AsciiFoldTouchesAsciiLettersOnly) {
  EXPECT_EQ(AsciiLowerCase("\xC3\x84@AZ[_]`az{.ZIP"), "\xC3\x84@az[_]`az{.zip");
  EXPECT_EQ(AsciiUpperCase("\xC3\xA4@AZ[`az{|}~.zip"), "\xC3\xA4@AZ[`AZ{|}~.ZIP");
  EXPECT_TRUE(SameTextAscii("Content-Type", "content-TYPE"));
  EXPECT_FALSE(SameTextAscii("abc", "abcd"));
  EXPECT_FALSE(SameTextAscii("[", "{"));
  EXPECT_FALSE(SameTextAscii("\xC3\x84", "\xC3\xA4"));
  EXPECT_TRUE(EndsWithTextAscii("Backup.TAR.gz", ".tar.GZ"));
  EXPECT_FALSE(EndsWithTextAscii("gz", ".gz"));
  EXPECT_FALSE(EndsWithTextAscii("a.tgz.bak", ".tgz"));
}

}  // namespace
}  // namespace vsk
