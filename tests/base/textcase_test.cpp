#include "base/textcase.h"

#include <gtest/gtest.h>

namespace vsk {
namespace {

TEST(TextCase, AsciiFoldTouchesAsciiLettersOnly) {
  // UTF-8 sequences and the characters next to the letters ("@[`{") stay.
  EXPECT_EQ(AsciiLowerCase("\xC3\x84@AZ[_]`az{.ZIP"), "\xC3\x84@az[_]`az{.zip");
  EXPECT_EQ(AsciiUpperCase("\xC3\xA4@AZ[`az{|}~.zip"), "\xC3\xA4@AZ[`AZ{|}~.ZIP");
  EXPECT_EQ(AsciiLower('\xC4'), '\xC4');
  EXPECT_EQ(AsciiUpper('\xE4'), '\xE4');
  EXPECT_EQ(AsciiUpperCase(""), "");
}

TEST(TextCase, CaseInsensitiveComparisons) {
  EXPECT_TRUE(SameTextAscii("Content-Type", "content-TYPE"));
  EXPECT_TRUE(SameTextAscii("", ""));
  EXPECT_FALSE(SameTextAscii("abc", "abcd"));
  EXPECT_FALSE(SameTextAscii("[", "{"));  // differ by the case bit, but not letters
  EXPECT_FALSE(SameTextAscii("\xC3\x84", "\xC3\xA4"));
  EXPECT_TRUE(EndsWithTextAscii("Backup.TAR.gz", ".tar.GZ"));
  EXPECT_TRUE(EndsWithTextAscii("x", ""));
  EXPECT_FALSE(EndsWithTextAscii("gz", ".gz"));
  EXPECT_FALSE(EndsWithTextAscii("a.tgz.bak", ".tgz"));
}

}  // namespace
}  // namespace vsk
