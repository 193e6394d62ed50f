// The -lh1- decoder. No Debian tool writes -lh1-, so the packed data come
// from the test's own encoder; lhasa, which reads -lh1-, confirms each
// stream before our decoder is measured against it.

#include "archive/formats/lha/lh1decode.h"

#include <gtest/gtest.h>

#include "tests/archive/formats/lha/lhabuild.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::LzhToken;
using vsktest::MemorySink;
using vsktest::MemorySource;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;

using TResult = TLh1Decoder::TResult;

std::string Decode(const std::string& Packed, Int64 Unpacked, TResult Expected = TResult::Ok) {
  TLh1Decoder d;
  MemorySource in(Packed, 777);
  MemorySink out;
  EXPECT_EQ(d.Decode(in, out, Unpacked), Expected);
  return out.data;
}

// What lhasa prints for the one entry of an -lh1- archive holding Packed,
// whose header claims Original.
std::string LhasaReads(const TempDir& Dir, const std::string& Packed, const std::string& Original) {
  const auto path = Dir / "lh1.lzh";
  vsktest::WriteFile(
      path, vsktest::LhaEntry(vsktest::LhaEntrySpec("-lh1-", "f.bin", Packed, Original)) + std::string(1, '\0'));
  const auto test = RunTool("lhasa t " + ShellQuote(path.string()));
  EXPECT_EQ(test.exitCode, 0) << test.output;
  EXPECT_NE(test.output.find("Tested"), std::string::npos) << test.output;
  return RunTool("lhasa pq " + ShellQuote(path.string()) + " f.bin").output;
}

TEST(Lh1Decode, TextRandomDataAndRunsAsLhasaReadsThem) {
  ASSERT_TRUE(vsktest::HaveTool("lhasa"));
  TempDir dir;
  // Past 32768 symbols the model halves its counts and rebuilds the tree:
  // the random part alone is 40000 literals.
  const std::string data = "    leading blanks match the starting spaces\n" + vsktest::TextBytes(60000, 4) +
                           vsktest::RandomBytes(40000, 5) + std::string(5000, 'z') + vsktest::TextBytes(9000, 6);
  const std::string packed = vsktest::EncodeLh1(data);
  EXPECT_LT(packed.size(), data.size());
  EXPECT_TRUE(LhasaReads(dir, packed, data) == data);
  EXPECT_TRUE(Decode(packed, static_cast<Int64>(data.size())) == data);
}

TEST(Lh1Decode, MatchIntoTheStartingAreaCopiesSpaces) {
  ASSERT_TRUE(vsktest::HaveTool("lhasa"));
  TempDir dir;
  // 'a', then 10 bytes from 100 back (spaces), then 5 from the 'a' on.
  const std::vector<LzhToken> tokens = {{'a', 0, 0}, {-1, 10, 99}, {-1, 5, 10}, {'b', 0, 0}};
  const std::string expected = "a" + std::string(10, ' ') + "a    " + "b";
  const std::string packed = vsktest::EncodeLh1Tokens(tokens);
  EXPECT_EQ(LhasaReads(dir, packed, expected), expected);
  EXPECT_EQ(Decode(packed, static_cast<Int64>(expected.size())), expected);
}

TEST(Lh1Decode, LongestMatchesAndFarthestPositions) {
  std::vector<LzhToken> tokens;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    tokens.push_back({static_cast<int>((i * 31) & 0xFF), 0, 0});
    expected.push_back(static_cast<char>((i * 31) & 0xFF));
  }
  for (UInt32 position : {4095u, 4032u, 63u, 64u, 0u, 2047u}) {
    tokens.push_back({-1, 60, position});
    const std::size_t from = expected.size() - position - 1;
    for (int k = 0; k < 60; ++k) expected.push_back(expected[from + static_cast<std::size_t>(k)]);
  }
  const std::string packed = vsktest::EncodeLh1Tokens(tokens);
  EXPECT_TRUE(Decode(packed, static_cast<Int64>(expected.size())) == expected);
  // Output ends at the header's size even inside a match.
  EXPECT_TRUE(Decode(packed, 5030) == expected.substr(0, 5030));
}

TEST(Lh1Decode, EmptyAndCutStreams) {
  EXPECT_EQ(Decode("", 0), "");
  const std::string data = vsktest::TextBytes(20000, 8);
  const std::string packed = vsktest::EncodeLh1(data);
  // Cut in half: what the first half holds comes out, then it stops well
  // before the claimed size instead of decoding zero bits forever.
  const std::string half = Decode(packed.substr(0, packed.size() / 2), 4000000000LL, TResult::Corrupt);
  // Zero bits read past the end may still make a few dozen symbols.
  ASSERT_GT(half.size(), 6000u);
  EXPECT_LT(half.size(), 40000u);
  const std::size_t good = half.size() - 5000;
  EXPECT_TRUE(half.substr(0, good) == data.substr(0, good));
}

TEST(Lh1Decode, ArbitraryBytesStayInsideTheTables) {
  // Every input is some sequence of symbols; the decoder must only ever
  // produce bytes, whatever it reads.
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const std::string junk = vsktest::RandomBytes(3000 + seed * 50, seed);
    TLh1Decoder d;
    MemorySource in(junk);
    MemorySink out;
    const auto r = d.Decode(in, out, 1 << 20);
    EXPECT_TRUE(r == TResult::Ok || r == TResult::Corrupt);
    EXPECT_LE(out.data.size(), 1u << 20);
  }
}

TEST(Lh1Decode, CancelStopsWithinABlock) {
  const std::string data = vsktest::TextBytes(200000, 9);
  const std::string packed = vsktest::EncodeLh1(data);
  bool cancel = true;
  TLh1Decoder d;
  MemorySource in(packed);
  MemorySink out;
  EXPECT_EQ(d.Decode(in, out, static_cast<Int64>(data.size()), &cancel), TResult::Cancelled);
  EXPECT_LT(out.data.size(), 70000u);
}

}  // namespace
}  // namespace vsk
