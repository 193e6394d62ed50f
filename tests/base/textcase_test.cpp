#include "base/textcase.h"

#include <gtest/gtest.h>

namespace vsk {
namespace {

TEST(TextCase, AsciiFoldTouchesAsciiLettersOnly) {
  // Every byte: only the 52 ASCII letters change, and each round-trips.
  int changed = 0;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    changed += AsciiLower(c) != c;
    changed += AsciiUpper(c) != c;
    if (letter) {
      EXPECT_EQ(AsciiLower(AsciiUpper(c)), AsciiLower(c)) << b;
      EXPECT_NE(AsciiLower(c), AsciiUpper(c)) << b;
    } else {
      EXPECT_EQ(AsciiLower(c), c) << b;
      EXPECT_EQ(AsciiUpper(c), c) << b;
    }
  }
  EXPECT_EQ(changed, 52);
  // UTF-8 sequences and the characters between "Z" and "a" stay.
  EXPECT_EQ(AsciiLowerCase("\xC3\x84RGER[_]@.ZIP"), "\xC3\x84rger[_]@.zip");
  EXPECT_EQ(AsciiUpperCase("\xC3\xA4rger{|}`.zip"), "\xC3\xA4RGER{|}`.ZIP");
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
