#include "platform/pe.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/platform/pe_builder.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::BuildPe;
using vsktest::PeLayout;
using vsktest::PutU16;
using vsktest::PutU32;

const Byte* Bytes(const std::string& s) { return reinterpret_cast<const Byte*>(s.data()); }

TEST(PeImage, ReadsStringTableFromMemoryAndFile) {
  const std::string pe = BuildPe({{1, "20000"}, {2, "hello"}, {7, "7"}, {17, "block two"}, {40, "forty"}});
  TPeImage image;
  ASSERT_TRUE(image.LoadFromMemory(Bytes(pe), pe.size()));
  EXPECT_EQ(image.LoadString(1), "20000");
  EXPECT_EQ(image.LoadString(2), "hello");
  EXPECT_EQ(image.LoadString(7), "7");
  EXPECT_EQ(image.LoadString(17), "block two");
  EXPECT_EQ(image.LoadString(40), "forty");
  // Missing strings in a present block, and a missing block.
  EXPECT_EQ(image.LoadString(3), "");
  EXPECT_EQ(image.LoadString(0), "");
  EXPECT_EQ(image.LoadString(100), "");
  // Cut to the given number of characters.
  EXPECT_EQ(image.LoadString(17, 5), "block");
  EXPECT_EQ(image.LoadString(1, 0), "");

  vsktest::TempDir dir;
  vsktest::WriteFile(dir / "a.exe", pe);
  TPeImage fromFile;
  ASSERT_TRUE(fromFile.LoadFromFile((dir / "a.exe").string()));
  EXPECT_EQ(fromFile.LoadString(17), "block two");
  fromFile.Release();
  EXPECT_FALSE(fromFile.Loaded());
  EXPECT_EQ(fromFile.LoadString(17), "");
  EXPECT_FALSE(fromFile.LoadFromFile((dir / "missing.exe").string()));
  EXPECT_FALSE(fromFile.LoadFromFile(dir.str()));
}

TEST(PeImage, TakesAnyLanguageAndConvertsUtf16) {
  PeLayout layout;
  std::string pe = BuildPe({{1, "ab"}}, 0, 0x407, &layout);
  TPeImage image;
  ASSERT_TRUE(image.LoadFromMemory(Bytes(pe), pe.size()));
  // Any language is taken when neither neutral nor US English is there.
  EXPECT_EQ(image.LoadString(1), "ab");

  // The block ends with the length word 2 and the two units of "ab".
  const std::size_t pos = pe.find(std::string("\x02\x00" "a\0b\0", 6));
  ASSERT_NE(pos, std::string::npos);
  PutU16(pe, pos + 2, 0x00E9);
  PutU16(pe, pos + 4, 0xD83D);
  ASSERT_TRUE(image.LoadFromMemory(Bytes(pe), pe.size()));
  EXPECT_EQ(image.LoadString(1), "\xC3\xA9\xEF\xBF\xBD");  // a lone high surrogate becomes U+FFFD
  PutU16(pe, pos + 2, 0xD83D);
  PutU16(pe, pos + 4, 0xDE00);
  ASSERT_TRUE(image.LoadFromMemory(Bytes(pe), pe.size()));
  EXPECT_EQ(image.LoadString(1), "\xF0\x9F\x98\x80");
  EXPECT_EQ(image.LoadString(1, 1), "\xEF\xBF\xBD");  // cut inside the pair
}

TEST(PeImage, RejectsWhatIsNoImage) {
  TPeImage image;
  EXPECT_FALSE(image.LoadFromMemory(nullptr, 0));
  const std::string mz = std::string("MZ") + std::string(100, '\0');
  EXPECT_FALSE(image.LoadFromMemory(Bytes(mz), mz.size()));
  std::string pe = BuildPe({{1, "1"}});
  std::string bad = pe;
  PutU32(bad, 0x3C, 0xFFFFFFF0u);  // header offset past the end
  EXPECT_FALSE(image.LoadFromMemory(Bytes(bad), bad.size()));
  bad = pe;
  PutU16(bad, 0x44 + 20, 0x1234);  // unknown optional header magic
  EXPECT_FALSE(image.LoadFromMemory(Bytes(bad), bad.size()));
  bad = pe;
  PutU16(bad, 0x44 + 2, 97);  // more sections than the loader accepts
  EXPECT_FALSE(image.LoadFromMemory(Bytes(bad), bad.size()));
  bad = pe;
  PutU16(bad, 0x44 + 16, 40);  // optional header too short for its directories
  EXPECT_FALSE(image.LoadFromMemory(Bytes(bad), bad.size()));
}

// Hostile values in the places the reader follows: nothing may crash or
// read outside the image, and damaged tables give no string.
TEST(PeImage, MalformedTablesNeverCrash) {
  PeLayout layout;
  const std::string pe = BuildPe({{1, "12345"}, {2, "x"}, {33, "y"}}, 0, 0x409, &layout);
  const std::size_t rs = layout.resourceDirOffset;
  const std::size_t sec = layout.sectionTableOffset;
  struct Patch {
    std::size_t at;
    std::uint32_t value;
    bool wide;
  };
  const std::vector<std::vector<Patch>> patches = {
      {{rs + 14, 0xFFFF, false}},                  // root claims 65535 id entries
      {{rs + 12, 0xFFFF, false}, {rs + 14, 0xFFFF, false}},
      {{rs + 20, 0x80000000u, true}},              // type directory is the root again
      {{rs + 20, 0xFFFFFFFFu, true}},              // type directory far outside
      {{rs + 20, 0x00000018u, true}},              // type "directory" is a data entry
      {{sec + 16, 0xFFFFFFFFu, true}},             // raw size beyond the file
      {{sec + 20, 0xFFFFFFFFu, true}},             // raw data pointer beyond the file
      {{sec + 12, 0xFFFFFFF0u, true}},             // section at the top of the address space
      {{layout.optionalHeaderOffset + 96 + 16, 0xFFFFFFFFu, true}},  // resource table RVA
      {{layout.optionalHeaderOffset + 92, 0, true}},                 // no data directories
  };
  for (std::size_t k = 0; k < patches.size(); ++k) {
    std::string bad = pe;
    for (const Patch& p : patches[k]) (p.wide ? PutU32 : PutU16)(bad, p.at, p.value);
    TPeImage image;
    if (image.LoadFromMemory(Bytes(bad), bad.size())) {
      for (UInt32 id = 0; id < 40; ++id) image.LoadString(id, 5);
    }
  }

  // The data entries' RVA and size: find them by their known layout (the
  // last 16 bytes before the first string block of each block).
  {
    std::string bad = pe;
    const std::size_t firstData = rs + 16 + 8 + 16 + 8 * 2 + 2 * 24;
    PutU32(bad, firstData, 0xFFFFFFF0u);
    PutU32(bad, firstData + 4, 0xFFFFFFFFu);
    TPeImage image;
    ASSERT_TRUE(image.LoadFromMemory(Bytes(bad), bad.size()));
    EXPECT_EQ(image.LoadString(1), "");
    EXPECT_EQ(image.LoadString(33), "y");
  }

  // Every truncation.
  for (std::size_t len = 0; len <= pe.size(); ++len) {
    TPeImage image;
    if (image.LoadFromMemory(Bytes(pe), len)) {
      const std::string s = image.LoadString(1, 5);
      EXPECT_TRUE(s.empty() || s == "12345") << len;
    }
  }

  // Random damage to the headers and the resource tree.
  std::mt19937 rng(12345);
  const std::size_t span = rs + 0x100;
  for (int round = 0; round < 20000; ++round) {
    std::string bad = pe;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int f = 0; f < flips; ++f) {
      const std::size_t at = rng() % span;
      bad[at] = static_cast<char>(rng() & 0xFF);
    }
    TPeImage image;
    if (image.LoadFromMemory(Bytes(bad), bad.size())) {
      image.LoadString(1, 5);
      image.LoadString(2, 5);
      image.LoadString(33, 5);
    }
  }
}

}  // namespace
}  // namespace vsk
