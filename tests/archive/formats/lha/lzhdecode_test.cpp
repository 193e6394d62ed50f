// The static-Huffman LZ decoder on streams built bit by bit: the shapes the
// format allows at its edges, and tables that are no code at all.

#include "archive/codecs/lzhdecode.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tests/archive/formats/lha/lhabuild.h"

namespace vsk {
namespace {

using vsktest::BitWriter;
using vsktest::LzhToken;
using vsktest::MemorySink;
using vsktest::MemorySource;

using TResult = TLzhDecoder::TResult;

struct Decoded {
  TResult result = TResult::Ok;
  std::string data;
  std::size_t taken = 0;
};

Decoded DecodeAll(const std::string& Packed, Int64 Unpacked, const TLzhSettings& Settings = kLzhLh5,
                  const bool* Cancel = nullptr) {
  TLzhDecoder d;
  d.Init(Settings);
  MemorySource in(Packed, 1000);
  MemorySink out;
  Decoded r;
  r.result = d.Decode(in, out, Unpacked, Cancel);
  r.data = out.data;
  r.taken = in.Taken();
  return r;
}

// The code-length code of one symbol: every length read is that symbol.
void SingleLengthCode(BitWriter& W, unsigned Symbol) { W.Put(0, 5).Put(Symbol, 5); }

// A code-length code in which symbols 2 and 3 have one bit each (2 is code
// 0, 3 is code 1): enough to send zero runs of 20 and more, and lengths of 1.
void RunAndOneCode(BitWriter& W) {
  W.Put(4, 5);                      // four lengths
  W.Put(0, 3).Put(0, 3).Put(1, 3);  // symbols 0, 1: none; 2: one bit
  W.Put(0, 2);                      // no further zero lengths
  W.Put(1, 3);                      // symbol 3: one bit
}

// A literal/length code in which exactly A and B have one bit; A is 0 or
// at least 20, and B at least 21 above A.
void TwoSymbolCode(BitWriter& W, unsigned A, unsigned B) {
  RunAndOneCode(W);
  W.Put(B + 1, 9);
  if (A > 0) W.Put(0, 1).Put(A - 20, 9);  // A zero lengths (A >= 20)
  W.Put(1, 1);
  W.Put(0, 1).Put(B - A - 1 - 20, 9);
  W.Put(1, 1);
}

void SinglePositionCode(BitWriter& W, unsigned Symbol, int PosBits = 4) { W.Put(0, PosBits).Put(Symbol, PosBits); }

TEST(LzhDecode, SingleSymbolCodesTakeNoBits) {
  BitWriter w;
  for (int block = 0; block < 2; ++block) {
    w.Put(1000, 16);
    SingleLengthCode(w, 0);
    w.Put(0, 9).Put(block == 0 ? 'A' : 'B', 9);
    SinglePositionCode(w, 0);
  }
  const auto r = DecodeAll(w.Bytes(), 2000);
  EXPECT_EQ(r.result, TResult::Ok);
  EXPECT_EQ(r.data, std::string(1000, 'A') + std::string(1000, 'B'));
  EXPECT_EQ(r.taken, w.Bytes().size());
}

TEST(LzhDecode, LongestMatchAtDistanceZeroRepeatsTheLastByte) {
  BitWriter w;
  w.Put(3, 16);
  TwoSymbolCode(w, 'x', 256 + 253);
  SinglePositionCode(w, 0);
  w.Put(0, 1).Put(1, 1).Put(1, 1);  // 'x', 256 bytes back by 1, again
  const auto r = DecodeAll(w.Bytes(), 513);
  EXPECT_EQ(r.result, TResult::Ok);
  EXPECT_EQ(r.data, std::string(513, 'x'));
}

TEST(LzhDecode, OutputStopsAtTheUnpackedSize) {
  BitWriter w;
  w.Put(2, 16);
  TwoSymbolCode(w, 'x', 256 + 253);
  SinglePositionCode(w, 0);
  w.Put(0, 1).Put(1, 1);
  const auto r = DecodeAll(w.Bytes(), 100);
  EXPECT_EQ(r.result, TResult::Ok);
  EXPECT_EQ(r.data, std::string(100, 'x'));
}

TEST(LzhDecode, EmptyEntryReadsNothing) {
  const auto r = DecodeAll("\xFF\xFF\xFF", 0);
  EXPECT_EQ(r.result, TResult::Ok);
  EXPECT_TRUE(r.data.empty());
  EXPECT_EQ(r.taken, 0u);
}

TEST(LzhDecode, BlockOfNoTokensStopsQuietly) {
  BitWriter w;
  w.Put(5, 16);
  SingleLengthCode(w, 0);
  w.Put(0, 9).Put('q', 9);
  SinglePositionCode(w, 0);
  w.Put(0, 16);
  const auto r = DecodeAll(w.Bytes(), 50);
  EXPECT_EQ(r.result, TResult::Corrupt);
  EXPECT_EQ(r.data, "qqqqq");  // what came before is written
}

TEST(LzhDecode, IncompleteCodeIsABadCodeAfterTheBytesBefore) {
  BitWriter w;
  w.Put(3, 16);
  SingleLengthCode(w, 0);
  w.Put(0, 9).Put('z', 9);
  SinglePositionCode(w, 0);
  // Second block: one literal/length symbol of one bit only.
  w.Put(10, 16);
  SingleLengthCode(w, 3);
  w.Put(1, 9);
  SinglePositionCode(w, 0);
  const auto r = DecodeAll(w.Bytes(), 50);
  EXPECT_EQ(r.result, TResult::BadCode);
  EXPECT_EQ(r.data, "zzz");
}

// Tables that would write past their ends, or lengths whose sum only fits
// in 16-bit arithmetic, are refused before anything is built from them.
TEST(LzhDecode, TablesThatCannotBeBuiltAreRefused) {
  struct Case {
    const char* what;
    std::function<void(BitWriter&)> build;
    TLzhSettings settings = kLzhLh5;
  };
  const std::vector<Case> cases = {
      {"code-length count above 19", [](BitWriter& w) { w.Put(20, 5); }},
      {"single code-length symbol above 18", [](BitWriter& w) { w.Put(0, 5).Put(19, 5); }},
      {"literal count above 510",
       [](BitWriter& w) {
         SingleLengthCode(w, 3);
         w.Put(511, 9);
       }},
      {"single literal symbol above 509",
       [](BitWriter& w) {
         SingleLengthCode(w, 0);
         w.Put(0, 9).Put(510, 9);
       }},
      {"zero run past the literal lengths",
       [](BitWriter& w) {
         SingleLengthCode(w, 2);
         w.Put(510, 9).Put(511, 9);  // 531 zero lengths
       }},
      {"four one-bit codes",
       [](BitWriter& w) {
         SingleLengthCode(w, 3);
         w.Put(4, 9);
       }},
      {"code length of 17 bits",
       [](BitWriter& w) {
         w.Put(1, 5);
         w.Put(7, 3).Put(0x3FF, 10).Put(0, 1);  // 7 + 10 ones = 17
       }},
      {"position count above the positions",
       [](BitWriter& w) {
         SingleLengthCode(w, 0);
         w.Put(0, 9).Put('a', 9);
         w.Put(15, 4);
       }},
      {"single position symbol outside the dictionary",
       [](BitWriter& w) {
         SingleLengthCode(w, 0);
         w.Put(0, 9).Put('a', 9);
         w.Put(0, 4).Put(14, 4);
       }},
      {"position count above 17",
       [](BitWriter& w) {
         SingleLengthCode(w, 0);
         w.Put(0, 9).Put('a', 9);
         w.Put(18, 5);
       },
       kLzhLh7},
  };
  for (const auto& c : cases) {
    BitWriter w;
    w.Put(100, 16);
    c.build(w);
    w.Put(0, 32);
    const auto r = DecodeAll(w.Bytes(), 100, c.settings);
    EXPECT_EQ(r.result, TResult::BadCode) << c.what;
    EXPECT_TRUE(r.data.empty()) << c.what;
  }
}

TEST(LzhDecode, DistanceBeyondTheWindowIsCorrupt) {
  // ARJ's form: 16 dictionary bits in a 26624-byte ring.
  const TLzhSettings arj{16, 5, 0};
  std::vector<LzhToken> tokens;
  for (int i = 0; i < 30000; ++i) tokens.push_back({static_cast<int>(i * 7 % 251), 0, 0});
  tokens.push_back({-1, 10, 26623});
  const std::string inside = vsktest::EncodeLzh(tokens, 16, 5);
  const auto ok = DecodeAll(inside, 30010, arj);
  EXPECT_EQ(ok.result, TResult::Ok);
  EXPECT_EQ(ok.data, vsktest::ExpandLzhTokens(tokens));

  tokens.back().Distance = 26624;
  const auto bad = DecodeAll(vsktest::EncodeLzh(tokens, 16, 5), 30010, arj);
  EXPECT_EQ(bad.result, TResult::Corrupt);
  EXPECT_EQ(bad.data, vsktest::ExpandLzhTokens(tokens).substr(0, 30000));
  // The 64 KiB ring of -lh7- holds it.
  const auto lh7 = DecodeAll(vsktest::EncodeLzh(tokens, 16, 5), 30010, kLzhLh7);
  EXPECT_EQ(lh7.result, TResult::Ok);
  EXPECT_EQ(lh7.data, vsktest::ExpandLzhTokens(tokens));
}

TEST(LzhDecode, InputThatEndsStopsTheEntry) {
  BitWriter w;
  w.Put(60000, 16);
  TwoSymbolCode(w, 'A', 'z');
  SinglePositionCode(w, 0);
  for (int i = 0; i < 80; ++i) w.Put(1, 1);  // 80 times 'z', then the input ends
  const auto r = DecodeAll(w.Bytes(), 60000);
  EXPECT_EQ(r.result, TResult::Corrupt);
  ASSERT_GE(r.data.size(), 80u);
  EXPECT_EQ(r.data.substr(0, 80), std::string(80, 'z'));
  // Zero bits read past the end stand for 'A'; they stop soon.
  EXPECT_LT(r.data.size(), 80u + 200u);
}

TEST(LzhDecode, CancelStopsAtTheNextBlock) {
  bool cancel = true;
  BitWriter w;
  w.Put(10, 16);
  SingleLengthCode(w, 0);
  w.Put(0, 9).Put('c', 9);
  SinglePositionCode(w, 0);
  const auto r = DecodeAll(w.Bytes(), 10, kLzhLh5, &cancel);
  EXPECT_EQ(r.result, TResult::Cancelled);
  EXPECT_TRUE(r.data.empty());
}

// Random literals and matches (up to the dictionary's reach), encoded with
// skewed Huffman codes of up to 16 bits in many blocks, so that the ring
// wraps often and long codes go through the trees.
std::vector<LzhToken> RandomTokens(std::size_t Count, UInt32 MaxDistance, std::uint32_t Seed) {
  std::mt19937 rng(Seed);
  std::vector<LzhToken> tokens;
  std::size_t produced = 0;
  while (tokens.size() < Count) {
    const auto roll = rng() % 100;
    if (produced < 300 || roll < 55) {
      // Skewed literals: a few very common, some rare.
      const int lit = roll < 30 ? static_cast<int>(rng() % 8) + 'a' : static_cast<int>(rng() % 256);
      tokens.push_back({lit, 0, 0});
      ++produced;
      continue;
    }
    const UInt32 reach = static_cast<UInt32>(std::min<std::size_t>(produced - 1, MaxDistance));
    UInt32 dist;
    if (roll < 75)
      dist = rng() % 16;
    else if (roll < 97)
      dist = rng() % (std::min<UInt32>(reach, 4000) + 1);
    else
      dist = reach - rng() % 64;
    const int len = roll % 7 == 0 ? 3 + static_cast<int>(rng() % 254) : 3 + static_cast<int>(rng() % 12);
    tokens.push_back({-1, len, std::min(dist, reach)});
    produced += static_cast<std::size_t>(len);
  }
  return tokens;
}

TEST(LzhDecode, RandomStreamsOfEveryMethodShape) {
  struct Shape {
    const char* name;
    TLzhSettings settings;
  };
  const Shape shapes[] = {{"lh4", kLzhLh4},
                          {"lh5", kLzhLh5},
                          {"lh6", kLzhLh6},
                          {"lh7", kLzhLh7},
                          {"arj", TLzhSettings{16, 5, 0}},
                          {"bh1", TLzhSettings{13, 4, 0}},
                          {"bh3", TLzhSettings{15, 5, 0}}};
  std::uint32_t seed = 7;
  for (const auto& s : shapes) {
    const UInt32 maxDistance =
        std::min<UInt32>((1u << s.settings.DictBits) - 1, static_cast<UInt32>(s.settings.WindowSize() - 1));
    const auto tokens = RandomTokens(60000, maxDistance, ++seed);
    const std::string expected = vsktest::ExpandLzhTokens(tokens);
    const std::string packed = vsktest::EncodeLzh(tokens, s.settings.DictBits, s.settings.PosBits, 7000);
    const auto r = DecodeAll(packed, static_cast<Int64>(expected.size()), s.settings);
    EXPECT_EQ(r.result, TResult::Ok) << s.name;
    EXPECT_TRUE(r.data == expected) << s.name;
    EXPECT_GT(expected.size(), 3u * 65536) << s.name;
  }
}

// One decoder object decodes entry after entry: nothing of one entry's
// window or tables leaks into the next.
TEST(LzhDecode, DecoderIsReusedAcrossEntries) {
  TLzhDecoder d;
  const auto tokens = RandomTokens(5000, 8191, 99);
  const std::string expected = vsktest::ExpandLzhTokens(tokens);
  const std::string packed = vsktest::EncodeLzh(tokens, 13, 4);
  for (int i = 0; i < 3; ++i) {
    d.Init(kLzhLh5);
    MemorySource in(packed);
    MemorySink out;
    EXPECT_EQ(d.Decode(in, out, static_cast<Int64>(expected.size())), TResult::Ok);
    EXPECT_TRUE(out.data == expected);
  }
}

}  // namespace
}  // namespace vsk
