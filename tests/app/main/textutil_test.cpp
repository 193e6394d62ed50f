#include "app/main/textutil.h"

#include <gtest/gtest.h>

namespace {

using namespace brevane;

TEST(TextUtil, Separators) {
  EXPECT_EQ(AppendSlash(""), "");
  EXPECT_EQ(AppendSlash("/tmp"), "/tmp/");
  EXPECT_EQ(AppendSlash("/tmp/"), "/tmp/");
  EXPECT_EQ(StripLeadingSlash(""), "");
  EXPECT_EQ(StripLeadingSlash("/"), "");
  EXPECT_EQ(StripLeadingSlash("/docs/a.txt"), "docs/a.txt");
  EXPECT_EQ(StripLeadingSlash("//x"), "/x");
  EXPECT_EQ(StripLeadingSlash("docs/a.txt"), "docs/a.txt");
}

TEST(TextUtil, UnderscoreExtName) {
  EXPECT_EQ(UnderscoreExtName("archive.tar.gz"), "archive.tar_gz");
  EXPECT_EQ(UnderscoreExtName("/home/u/backup.zip"), "/home/u/backup_zip");
  EXPECT_EQ(UnderscoreExtName("/home/u.v/readme"), "/home/u.v/readme_");
  EXPECT_EQ(UnderscoreExtName("noext"), "noext_");
  EXPECT_EQ(UnderscoreExtName("x."), "x_");
}

TEST(TextUtil, IsValidName) {
  EXPECT_FALSE(IsValidName("", true));
  EXPECT_TRUE(IsValidName("my backup + more", true));
  EXPECT_FALSE(IsValidName("a|b", true));
  EXPECT_FALSE(IsValidName("a+b", false));
  EXPECT_TRUE(IsValidName("plain name", false));
  for (const char* bad : {"\"", "<", ">", "\\", "|"}) {
    EXPECT_FALSE(IsValidName(std::string("x") + bad, true)) << bad;
    EXPECT_FALSE(IsValidName(std::string("x") + bad, false)) << bad;
  }
  for (const char* bad : {"'", "+", ";", "=", "[", "]"}) {
    EXPECT_TRUE(IsValidName(std::string("x") + bad, true)) << bad;
    EXPECT_FALSE(IsValidName(std::string("x") + bad, false)) << bad;
  }
  // Names that cannot be a file name here.
  for (bool shortSet : {true, false}) {
    EXPECT_FALSE(IsValidName("a/b", shortSet));
    EXPECT_FALSE(IsValidName(".", shortSet));
    EXPECT_FALSE(IsValidName("..", shortSet));
    EXPECT_FALSE(IsValidName(std::string("a\0b", 3), shortSet));
    EXPECT_TRUE(IsValidName("...", shortSet));
    EXPECT_TRUE(IsValidName(".hidden", shortSet));
  }
}

TEST(TextUtil, XorString) {
  const std::string text = "Secret \x01\xff text";
  const std::string scrambled = XorString(text, 0x1234);
  ASSERT_EQ(scrambled.size(), text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    EXPECT_EQ(static_cast<unsigned char>(scrambled[i]), static_cast<unsigned char>(text[i]) ^ 0x34);
  EXPECT_EQ(XorString(scrambled, 0x34), text);
  EXPECT_EQ(XorString(std::string(300, 'a'), 1), std::string(255, 'a' ^ 1));
}

}  // namespace
