// The LZH encoder: what it writes our decoder restores exactly for every
// kind of input and both settings; repeated bytes become 256-byte matches;
// incompressible input is given up early; no match reaches further back
// than the dictionary; cancel stops it.

#include "archive/formats/lha/lzhencode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/codecs/lzhdecode.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

using vsk::Byte;
using vsk::Int32;
using vsk::Int64;
using vsk::TLzhEncoder;

class StringSource : public vsk::TCodecSource {
 public:
  explicit StringSource(std::string data, Int32 step = 1 << 20) : data_(std::move(data)), step_(step) {}
  Int32 Read(Byte* buffer, Int32 count) override {
    const auto n = static_cast<Int32>(std::min<std::size_t>({static_cast<std::size_t>(count),
                                                             static_cast<std::size_t>(step_), data_.size() - pos_}));
    std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return n;
  }

 private:
  std::string data_;
  Int32 step_;
  std::size_t pos_ = 0;
};

class StringSink : public vsk::TCodecSink {
 public:
  void Write(const Byte* buffer, Int32 count) override { data.append(reinterpret_cast<const char*>(buffer), count); }
  std::string data;
};

struct Encoded {
  TLzhEncoder::TResult result;
  std::string packed;
};

Encoded Encode(const std::string& data, const vsk::TLzhEncodeSettings& s, Int32 step = 1 << 20,
               const bool* cancel = nullptr) {
  StringSource in(data, step);
  StringSink out;
  TLzhEncoder e;
  const auto r = e.Encode(s, in, out, cancel);
  if (r == TLzhEncoder::TResult::Packed) {
    EXPECT_EQ(e.BytesRead(), static_cast<Int64>(data.size()));
    EXPECT_EQ(e.PackedBytes(), static_cast<Int64>(out.data.size()));
  }
  return {r, out.data};
}

std::string Decode(const std::string& packed, Int64 size, const vsk::TLzhSettings& s) {
  StringSource in(packed);
  StringSink out;
  vsk::TLzhDecoder d;
  d.Init(s);
  EXPECT_EQ(d.Decode(in, out, size), vsk::TLzhDecoder::TResult::Ok);
  return out.data;
}

// Reads the packed bits most significant first.
struct MiniBits {
  const std::string& s;
  std::size_t bit = 0;
  vsk::UInt32 Get(int n) {
    vsk::UInt32 v = 0;
    for (int i = 0; i < n; ++i, ++bit) {
      const std::size_t byte = bit / 8;
      const int b = byte < s.size() ? (static_cast<Byte>(s[byte]) >> (7 - bit % 8)) & 1 : 0;
      v = (v << 1) | static_cast<vsk::UInt32>(b);
    }
    return v;
  }
};

std::string Mixed(std::size_t n, std::uint32_t seed) {
  // Text with random stretches and long repeats at varying distances.
  std::string out;
  const std::string text = TextBytes(n, seed);
  const std::string noise = RandomBytes(n, seed + 1);
  std::size_t i = 0;
  while (out.size() < n) {
    const std::size_t kind = (i * 2654435761u + seed) % 5;
    const std::size_t len = 50 + (i * 7919) % 3000;
    if (kind == 0)
      out += noise.substr(i % (n / 2), len);
    else if (kind == 1 && out.size() > 20000)
      out += out.substr(out.size() - 16000 + (i % 100), len);
    else
      out += text.substr(i % (n / 2), len);
    ++i;
  }
  out.resize(n);
  return out;
}

struct Setting {
  const char* name;
  vsk::TLzhEncodeSettings enc;
  vsk::TLzhSettings dec;
};

const Setting kSettings[] = {
    {"lh5", vsk::kLzhEncodeLh5, vsk::kLzhLh5},
    {"lh6", vsk::kLzhEncodeLh6, vsk::kLzhLh6},
};

TEST(LzhEncode, RoundTripsEveryKindOfInputWithBothSettings) {
  const std::vector<std::pair<std::string, std::string>> inputs = {
      {"text", TextBytes(300000, 3)},
      {"mixed", Mixed(400000, 5)},
      {"zeros", std::string(200000, '\0')},
      {"short runs", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaabbbbbbbbbbbbbbbbbbbbbbbbbbbbb"},
      {"short text", "abcabcabcabcabcabcabcabcabcabcabcabcabc"},
      {"two symbols", [] {
         std::string s;
         for (int i = 0; i < 70000; ++i) s += (i * 37 % 11) < 5 ? 'x' : 'y';
         return s;
       }()},
      {"all byte values", [] {
         std::string s;
         for (int r = 0; r < 200; ++r)
           for (int c = 0; c < 256; ++c) s += static_cast<char>((c * (r + 1)) & 0xFF);
         return s;
       }()},
  };
  for (const auto& st : kSettings) {
    for (const auto& [name, data] : inputs) {
      SCOPED_TRACE(std::string(st.name) + " " + name);
      const auto e = Encode(data, st.enc);
      ASSERT_EQ(e.result, TLzhEncoder::TResult::Packed);
      EXPECT_LT(e.packed.size(), data.size());
      EXPECT_EQ(Decode(e.packed, static_cast<Int64>(data.size()), st.dec), data);
    }
  }
}

TEST(LzhEncode, InputArrivingInSmallPiecesGivesTheSameStream) {
  const std::string data = Mixed(120000, 9);
  const auto whole = Encode(data, vsk::kLzhEncodeLh6);
  const auto pieces = Encode(data, vsk::kLzhEncodeLh6, 777);
  ASSERT_EQ(whole.result, TLzhEncoder::TResult::Packed);
  EXPECT_EQ(whole.packed, pieces.packed);
}

TEST(LzhEncode, RepeatedByteIsOneLiteralAndLongMatches) {
  const std::string data(256 * 40 + 1, 'Q');
  const auto e = Encode(data, vsk::kLzhEncodeLh5);
  ASSERT_EQ(e.result, TLzhEncoder::TResult::Packed);
  // One literal and 40 matches of 256 bytes: a handful of bytes.
  EXPECT_LT(e.packed.size(), 40u);
  MiniBits b{e.packed};
  EXPECT_EQ(b.Get(16), 41u);  // tokens in the block
  EXPECT_EQ(Decode(e.packed, static_cast<Int64>(data.size()), vsk::kLzhLh5), data);
}

TEST(LzhEncode, IncompressibleInputIsGivenUpEarly) {
  const std::string data = RandomBytes(2 * 1024 * 1024, 7);
  StringSource in(data, 8192);
  StringSink out;
  TLzhEncoder e;
  EXPECT_EQ(e.Encode(vsk::kLzhEncodeLh6, in, out), TLzhEncoder::TResult::Unpackable);
  // It stops once the packed bytes pass the bytes read, long before the end.
  EXPECT_LT(e.BytesRead(), static_cast<Int64>(data.size()) / 2);
  EXPECT_LE(e.PackedBytes(), e.BytesRead());

  // A single byte cannot shrink either.
  EXPECT_EQ(Encode("x", vsk::kLzhEncodeLh5).result, TLzhEncoder::TResult::Unpackable);
}

TEST(LzhEncode, MatchesStayWithinTheDictionary) {
  // A block of random bytes repeated just inside and just outside the
  // 8 KiB and 16 KiB dictionaries. A decoder told that the dictionary has
  // exactly DictBits bits refuses a position code with a longer symbol, so
  // decoding with it shows that no match reaches further back.
  for (const auto& st : kSettings) {
    SCOPED_TRACE(st.name);
    const int dict = 1 << st.enc.DictBits;
    const std::string block = RandomBytes(600, 21);
    std::string data = block + TextBytes(static_cast<std::size_t>(dict) - 600 - 2, 22) + block;
    data += RandomBytes(static_cast<std::size_t>(dict) + 10, 23) + block;
    data += TextBytes(100000, 24);
    const auto e = Encode(data, st.enc);
    ASSERT_EQ(e.result, TLzhEncoder::TResult::Packed);
    const vsk::TLzhSettings exact{st.enc.DictBits, st.enc.PosBits, st.dec.Mode};
    EXPECT_EQ(Decode(e.packed, static_cast<Int64>(data.size()), exact), data);
  }
  // -lh6- output decodes with the settings of a 32 KiB (-lh6-) and a
  // 64 KiB (-lh7-) dictionary alike.
  const std::string data = Mixed(200000, 31);
  const auto e = Encode(data, vsk::kLzhEncodeLh6);
  ASSERT_EQ(e.result, TLzhEncoder::TResult::Packed);
  EXPECT_EQ(Decode(e.packed, static_cast<Int64>(data.size()), vsk::kLzhLh7), data);
}

TEST(LzhEncode, CancelStopsTheEncoder) {
  const std::string data = TextBytes(500000, 4);
  const bool cancel = true;
  const auto e = Encode(data, vsk::kLzhEncodeLh6, 1 << 20, &cancel);
  EXPECT_EQ(e.result, TLzhEncoder::TResult::Cancelled);
  EXPECT_TRUE(e.packed.empty());
}

TEST(LzhEncode, EmptyInputGivesNoData) {
  const auto e = Encode("", vsk::kLzhEncodeLh5);
  EXPECT_EQ(e.result, TLzhEncoder::TResult::Packed);
  EXPECT_TRUE(e.packed.empty());
}

}  // namespace
}  // namespace vsktest
