// The compress decoder on hand-built code streams: both table modes, the
// string that names itself, clears and group padding, every refusal, cut
// input, cancel, and random damage. Files of compress itself are read in
// the reader's tests.

#include "archive/formats/gzip/lzwdecode.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/testutil.h"

namespace vsk {
namespace {

class MemorySource : public TLzwSource {
 public:
  explicit MemorySource(std::string data, Int32 chunk = 1 << 20) : data_(std::move(data)), chunk_(chunk) {}
  Int32 Read(Byte* Buffer, Int32 Count) override {
    const auto n = static_cast<Int32>(std::min<std::size_t>({static_cast<std::size_t>(Count),
                                                             static_cast<std::size_t>(chunk_), data_.size() - pos_}));
    std::copy_n(data_.data() + pos_, n, Buffer);
    pos_ += static_cast<std::size_t>(n);
    ++reads;
    return n;
  }
  int reads = 0;

 private:
  std::string data_;
  Int32 chunk_;
  std::size_t pos_ = 0;
};

class StringSink : public TLzwSink {
 public:
  void Write(Byte* Buffer, Int32 Count) override {
    EXPECT_LE(Count, kLzwOutputBlock);
    out.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
    ++writes;
  }
  std::string out;
  int writes = 0;
};

// Codes least-significant bit first, counted in groups of eight so that a
// group can be padded as the format's writer pads it.
class CodeWriter {
 public:
  explicit CodeWriter(Byte flags) {
    out_ = std::string("\x1F\x9D", 2);
    out_ += static_cast<char>(flags);
  }
  void Put(int code, int width) {
    acc_ |= static_cast<UInt64>(code) << bits_;
    bits_ += width;
    ++inGroup_;
    Drain();
  }
  // Zero bits to the end of the group of codes of this width.
  void PadGroup(int width) {
    const int codes = (8 - inGroup_ % 8) % 8;
    for (int i = 0; i < codes; ++i) Put(0, width);
    inGroup_ = 0;
  }
  std::string Finish() {
    if (bits_ > 0) out_ += static_cast<char>(acc_ & 0xFF);
    acc_ = 0;
    bits_ = 0;
    return out_;
  }

 private:
  void Drain() {
    while (bits_ >= 8) {
      out_ += static_cast<char>(acc_ & 0xFF);
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  std::string out_;
  UInt64 acc_ = 0;
  int bits_ = 0;
  int inGroup_ = 0;
};

// Greedy LZW codes of Text with the table starting at FirstFree; short
// texts only (every code fits 9 bits).
std::vector<int> LzwCodes(const std::string& Text, int FirstFree) {
  std::map<std::pair<int, Byte>, int> table;
  std::vector<int> codes;
  int next = FirstFree;
  int w = -1;
  for (const char ch : Text) {
    const Byte c = static_cast<Byte>(ch);
    if (w < 0) {
      w = c;
      continue;
    }
    const auto it = table.find({w, c});
    if (it != table.end()) {
      w = it->second;
      continue;
    }
    codes.push_back(w);
    table[{w, c}] = next++;
    w = c;
  }
  if (w >= 0) codes.push_back(w);
  EXPECT_LT(next, 512);
  return codes;
}

std::string Encode(const std::string& Text, Byte Flags) {
  CodeWriter w(Flags);
  for (int c : LzwCodes(Text, (Flags & kLzwBlockMode) ? 257 : 256)) w.Put(c, 9);
  return w.Finish();
}

TLzwResult Decode(const std::string& Data, std::string& Out, const bool* Cancel = nullptr) {
  MemorySource in(Data);
  StringSink sink;
  const TLzwResult r = LzwDecode(in, sink, Cancel);
  Out = sink.out;
  return r;
}

TEST(LzwDecode, BothTableModesAndTheSelfNamingString) {
  for (const std::string text : {"abababababababab", "aaaaaaaaaaaaaaaaaaaaa", "TOBEORNOTTOBEORTOBEORNOT", "x", ""}) {
    for (const Byte flags : {Byte{0x90}, Byte{0x10}, Byte{0x8C}}) {
      std::string out;
      EXPECT_EQ(Decode(Encode(text, flags), out), TLzwResult::Ok) << text;
      EXPECT_EQ(out, text) << text << " flags " << int{flags};
    }
  }
  // In the mode without clear code 256 is the first string: read as a
  // clear instead, the same codes give something else.
  const std::string text = "abababab";
  std::string out;
  const std::string plain = Encode(text, 0x10);
  std::string asBlock = plain;
  asBlock[2] = static_cast<char>(0x90);
  Decode(asBlock, out);
  EXPECT_NE(out, text);
}

TEST(LzwDecode, ClearCodeRestartsTheTableAfterPadding) {
  const std::string first = "hello hello hello", second = "world world world";
  auto build = [&](bool pad) {
    CodeWriter w(0x90);
    for (int c : LzwCodes(first, 257)) w.Put(c, 9);
    w.Put(256, 9);
    if (pad) w.PadGroup(9);
    for (int c : LzwCodes(second, 257)) w.Put(c, 9);
    return w.Finish();
  };
  std::string out;
  EXPECT_EQ(Decode(build(true), out), TLzwResult::Ok);
  EXPECT_EQ(out, first + second);
  // Without the padding the codes after the clear are read out of step.
  Decode(build(false), out);
  EXPECT_NE(out, first + second);
}

TEST(LzwDecode, WidthGrowsAtTheEndOfAGroup) {
  // Codes that only name single bytes, so that the table grows by one per
  // code: the 256th code after the first is read 10 bits wide once its
  // group of 9-bit codes is padded.
  const std::string text = vsktest::RandomBytes(300, 5);
  CodeWriter w(0x90);
  std::string expected;
  int freeEntry = 257;
  int width = 9;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i > 1) {
      if (freeEntry < 1 << 16) ++freeEntry;
      if (freeEntry > (1 << width) - 1) {
        w.PadGroup(width);
        ++width;
      }
    }
    w.Put(static_cast<Byte>(text[i]), width);
    expected += text[i];
  }
  EXPECT_EQ(width, 10);
  std::string out;
  EXPECT_EQ(Decode(w.Finish(), out), TLzwResult::Ok);
  EXPECT_EQ(out, expected);
}

TEST(LzwDecode, FullTableKeepsTheLargestWidth) {
  // Largest width 9: once entry 511 is made the table is full and codes
  // stay 9 bits wide, with no padding.
  const std::string text = vsktest::RandomBytes(700, 6);
  CodeWriter w(0x89);
  for (const char c : text) w.Put(static_cast<Byte>(c), 9);
  std::string out;
  EXPECT_EQ(Decode(w.Finish(), out), TLzwResult::Ok);
  EXPECT_EQ(out, text);
  // At 12 bits the width stops growing at 12 the same way.
  CodeWriter w12(0x8C);
  int freeEntry = 257, width = 9;
  const std::string more = vsktest::RandomBytes(6000, 7);
  for (std::size_t i = 0; i < more.size(); ++i) {
    if (i > 1) {
      if (freeEntry < 1 << 12) ++freeEntry;
      if (width < 12 && freeEntry > (1 << width) - 1) {
        w12.PadGroup(width);
        ++width;
      }
    }
    w12.Put(static_cast<Byte>(more[i]), width);
  }
  EXPECT_EQ(Decode(w12.Finish(), out), TLzwResult::Ok);
  EXPECT_EQ(out, more);
}

TEST(LzwDecode, RefusedHeadersAndCodes) {
  std::string out;
  EXPECT_EQ(Decode("", out), TLzwResult::NotCompress);
  EXPECT_EQ(Decode(std::string("\x1F\x9D", 2), out), TLzwResult::NotCompress);
  EXPECT_EQ(Decode(std::string("\x1F\x8B\x90\x00", 4), out), TLzwResult::NotCompress);
  const std::string body = Encode("some text some text", 0x90).substr(3);
  for (const Byte flags : {Byte{0xB0}, Byte{0xD0}, Byte{0x88}, Byte{0x91}, Byte{0x9F}, Byte{0x80}}) {
    const std::string data = std::string("\x1F\x9D", 2) + static_cast<char>(flags) + body;
    EXPECT_EQ(Decode(data, out), TLzwResult::BadFlags) << int{flags};
    EXPECT_TRUE(out.empty());
  }
  // A first code that names no byte.
  CodeWriter first(0x90);
  first.Put(300, 9);
  EXPECT_EQ(Decode(first.Finish(), out), TLzwResult::BadFirstCode);
  CodeWriter clearFirst(0x90);
  clearFirst.Put(256, 9);
  EXPECT_EQ(Decode(clearFirst.Finish(), out), TLzwResult::BadFirstCode);
  // A code beyond the next free entry; what came before it is written.
  CodeWriter beyond(0x90);
  beyond.Put('a', 9);
  beyond.Put('b', 9);
  beyond.Put(259, 9);  // the next free entry is 258
  EXPECT_EQ(Decode(beyond.Finish(), out), TLzwResult::BadCode);
  EXPECT_EQ(out, "ab");
}

TEST(LzwDecode, CutInputEndsAtTheLastWholeCode) {
  const std::string text = "cut here, cut there, cut everywhere";
  const std::string full = Encode(text, 0x90);
  std::string out;
  for (std::size_t cut = 3; cut < full.size(); ++cut) {
    EXPECT_EQ(Decode(full.substr(0, cut), out), TLzwResult::Ok) << cut;
    EXPECT_EQ(text.compare(0, out.size(), out), 0) << cut;
  }
}

TEST(LzwDecode, LongOutputComesInBlocksAndStopsOnCancel) {
  // One long run: every code doubles as a longer string.
  const std::string text(700000, 'z');
  CodeWriter w(0x90);
  // Codes 'z', 257, 258, ... name runs of 1, 2, 3, ... bytes.
  std::size_t made = 0;
  int code = 'z', width = 9, freeEntry = 257;
  std::size_t len = 1;
  std::size_t emitted = 0;
  while (made + len <= text.size()) {
    if (emitted > 1) {
      ++freeEntry;
      if (freeEntry > (1 << width) - 1) {
        w.PadGroup(width);
        ++width;
      }
    }
    w.Put(code, width);
    ++emitted;
    made += len;
    code = emitted == 1 ? 257 : code + 1;
    len = emitted + 1;
  }
  const std::string data = w.Finish();
  MemorySource in(data, 64);
  StringSink sink;
  EXPECT_EQ(LzwDecode(in, sink, nullptr), TLzwResult::Ok);
  EXPECT_EQ(sink.out, std::string(made, 'z'));
  EXPECT_GT(sink.writes, 5);

  bool cancel = false;
  MemorySource in2(data, 64);
  struct CancellingSink : StringSink {
    bool* flag;
    void Write(Byte* b, Int32 n) override {
      StringSink::Write(b, n);
      *flag = true;
    }
  } sink2;
  sink2.flag = &cancel;
  EXPECT_EQ(LzwDecode(in2, sink2, &cancel), TLzwResult::Cancelled);
  EXPECT_LT(sink2.out.size(), made);
}

TEST(LzwDecode, RandomDamageNeverLeavesTheTables) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "pattern " + std::to_string(i % 7) + " ";
  const std::string good = Encode(text, 0x90);
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::string bad = good;
    const std::string noise = vsktest::RandomBytes(8, seed);
    for (int k = 0; k < 4; ++k) {
      const std::size_t at = 3 + static_cast<Byte>(noise[2 * k]) % (bad.size() - 3);
      bad[at] = noise[2 * k + 1];
    }
    std::string out;
    const TLzwResult r = Decode(bad, out);
    EXPECT_TRUE(r == TLzwResult::Ok || r == TLzwResult::BadCode || r == TLzwResult::BadFirstCode) << seed;
  }
  // Streams of pure noise at every width.
  for (int bits = 9; bits <= 16; ++bits) {
    const std::string data = std::string("\x1F\x9D", 2) + static_cast<char>(0x80 | bits) +
                             std::string(1, 'A') + vsktest::RandomBytes(200000, static_cast<std::uint32_t>(bits));
    std::string out;
    const TLzwResult r = Decode(data, out);
    EXPECT_TRUE(r == TLzwResult::Ok || r == TLzwResult::BadCode || r == TLzwResult::BadFirstCode) << bits;
  }
}

}  // namespace
}  // namespace vsk
