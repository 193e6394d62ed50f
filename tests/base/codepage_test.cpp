#include "base/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/testutil.h"

namespace vsk {
namespace {

std::string AllBytes(int from = 0) {
  std::string s;
  for (int b = from; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

TEST(CodePage, Cp437RoundTripsEveryByteAndMatchesIconv) {
  const std::string all = AllBytes();
  const std::string utf8 = Cp437ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  std::string back;
  ASSERT_TRUE(TryUtf8ToCp437(utf8, back));
  EXPECT_EQ(back, all);
  for (int b = 0; b < 256; ++b) {
    std::string one;
    ASSERT_TRUE(TryUtf8ToCp437(Cp437ToUtf8(std::string(1, static_cast<char>(b))), one)) << b;
    EXPECT_EQ(one, std::string(1, static_cast<char>(b))) << b;
  }

  ASSERT_TRUE(vsktest::HaveTool("iconv"));
  vsktest::TempDir dir;
  vsktest::WriteFile(dir / "all.bin", all);
  const auto r = vsktest::RunTool("iconv -f CP437 -t UTF-8 all.bin > all.txt", dir.path());
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(vsktest::ReadFile(dir / "all.txt"), utf8);
}

TEST(CodePage, Cp437KnownCharacters) {
  EXPECT_EQ(Cp437ToUnicode(0x81), U'\u00FC');
  EXPECT_EQ(Cp437ToUnicode(0x9E), U'\u20A7');
  EXPECT_EQ(Cp437ToUnicode(0xE1), U'\u00DF');
  EXPECT_EQ(Cp437ToUnicode(0xFF), U'\u00A0');
  EXPECT_EQ(Cp437ToUtf8("M\x81nchen"), "M\xC3\xBCnchen");
  EXPECT_TRUE(FitsCp437("Stra\xC3\x9F" "e"));
  EXPECT_FALSE(FitsCp437("\xE2\x82\xAC"));   // euro sign
  EXPECT_FALSE(FitsCp437("\xE6\x97\xA5"));   // CJK
  std::string out = "junk";
  EXPECT_FALSE(TryUtf8ToCp437("a\xE2\x82\xAC", out));
  EXPECT_TRUE(out.empty());
}

TEST(CodePage, Cp1252RoundTripsEveryByte) {
  const std::string all = AllBytes();
  const std::string utf8 = Cp1252ToUtf8(all);
  std::string back;
  ASSERT_TRUE(TryUtf8ToCp1252(utf8, back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(Cp1252ToUnicode(0x80), U'\u20AC');
  EXPECT_EQ(Cp1252ToUnicode(0x81), U'\u0081');
  EXPECT_EQ(Cp1252ToUnicode(0x9F), U'\u0178');
  EXPECT_EQ(Cp1252ToUnicode(0xE9), U'\u00E9');
  EXPECT_TRUE(FitsCp1252("\xE2\x82\xAC"));
  EXPECT_FALSE(FitsCp1252("\xE2\x95\x90"));  // box drawing is CP437 only
}

TEST(CodePage, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
  EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xC3"));              // cut short
  EXPECT_FALSE(IsValidUtf8("\x82"));              // lone continuation
  EXPECT_FALSE(IsValidUtf8("a\xE2\x82"));
  EXPECT_TRUE(IsAscii("abc/\x7F"));
  EXPECT_FALSE(IsAscii("\xC3\xA9"));
}

TEST(CodePage, StoredNameRules) {
  // Reading: flagged or valid UTF-8 stays, anything else is CP437.
  EXPECT_EQ(DecodeStoredName("caf\xC3\xA9", false), "caf\xC3\xA9");
  EXPECT_EQ(DecodeStoredName("caf\x82", false), "caf\xC3\xA9");
  EXPECT_EQ(DecodeStoredName("caf\x82", true), "caf\x82");

  // Writing: ASCII stays, unflagged formats get CP437 when it fits.
  auto a = EncodeStoredName("plain.txt", true);
  EXPECT_EQ(a.Bytes, "plain.txt");
  EXPECT_FALSE(a.Utf8Flag);
  auto b = EncodeStoredName("caf\xC3\xA9", true);
  EXPECT_EQ(b.Bytes, "caf\xC3\xA9");
  EXPECT_TRUE(b.Utf8Flag);
  auto c = EncodeStoredName("caf\xC3\xA9", false);
  EXPECT_EQ(c.Bytes, "caf\x82");
  EXPECT_FALSE(c.Utf8Flag);
  auto d = EncodeStoredName("\xE6\x97\xA5\xE6\x9C\xAC", false);
  EXPECT_EQ(d.Bytes, "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_FALSE(d.Utf8Flag);
  // Bytes that are no UTF-8 at all cannot be converted and go out unchanged.
  auto e = EncodeStoredName("caf\xE9", true);
  EXPECT_EQ(e.Bytes, "caf\xE9");
  EXPECT_FALSE(e.Utf8Flag);

  // What was written without a flag reads back as the same name.
  EXPECT_EQ(DecodeStoredName(c.Bytes, false), "caf\xC3\xA9");
  EXPECT_EQ(DecodeStoredName(d.Bytes, false), d.Bytes);
}

}  // namespace
}  // namespace vsk
