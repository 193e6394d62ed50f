#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/checksum.h"
#include "archive/formats/zip/legacy.h"
#include "base/records/ziprecords.h"
#include "tests/archive/formats/zip/legacy_encoders.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
using vsk::Byte;
using vsk::Int32;
using vsk::Int64;

constexpr int kBadBlock = 25111;
constexpr int kStackOverflow = 25298;
constexpr int kAmbiguousTree = 25293;

// Serves the data in pieces of at most `chunk` bytes, as the reader's byte
// source may.
class MemorySource : public vsk::TLegacySource {
 public:
  explicit MemorySource(const std::string& data, Int32 chunk = 1 << 30) : data_(data), chunk_(chunk) {}
  Int32 Read(Byte* buffer, Int32 count) override {
    ++reads;
    const auto n = static_cast<Int32>(std::min<std::size_t>({static_cast<std::size_t>(count),
                                                              static_cast<std::size_t>(chunk_),
                                                              data_.size() - pos_}));
    std::copy_n(data_.data() + pos_, n, buffer);
    pos_ += static_cast<std::size_t>(n);
    return n;
  }
  int reads = 0;

 private:
  const std::string& data_;
  Int32 chunk_;
  std::size_t pos_ = 0;
};

class StringSink : public vsk::TLegacySink {
 public:
  void Write(const Byte* buffer, Int32 count) override {
    ++writes;
    largest = std::max(largest, count);
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
  }
  std::string out;
  int writes = 0;
  Int32 largest = 0;
};

struct Decoded {
  int code;
  std::string out;
};

Decoded RunUnshrink(const std::string& in, Int64 size, Int32 chunk = 1 << 30) {
  MemorySource src(in, chunk);
  StringSink sink;
  const int code = vsk::Unshrink(src, sink, size, nullptr);
  return {code, sink.out};
}

Decoded RunUnreduce(const std::string& in, int factor, Int64 size, Int32 chunk = 1 << 30) {
  MemorySource src(in, chunk);
  StringSink sink;
  const int code = vsk::Unreduce(src, sink, factor, size, nullptr);
  return {code, sink.out};
}

Decoded RunExplode(const std::string& in, vsk::UInt16 flags, Int64 size, Int32 chunk = 1 << 30) {
  MemorySource src(in, chunk);
  StringSink sink;
  const int code = vsk::Explode(src, sink, flags, size, nullptr);
  return {code, sink.out};
}

// One entry in a minimal archive: local header, data, central record, end.
std::string OneEntryZip(const std::string& original, const std::string& packed, vsk::UInt16 method,
                        vsk::UInt16 flags) {
  vsk::TZipLocalHeader l;
  l.Signature = 0x04034B50;
  l.VersionNeeded = 10;
  l.Flags = flags;
  l.Method = method;
  l.DosDateTime = (44u << 25) | (6u << 21) | (15u << 16) | (12u << 11);
  l.Crc32 = vsk::Crc32Of(original.data(), original.size());
  l.PackedSize = static_cast<vsk::UInt32>(packed.size());
  l.UnpackedSize = static_cast<vsk::UInt32>(original.size());
  const std::string name = "data.bin";
  l.FileNameLength = static_cast<vsk::UInt16>(name.size());
  Byte lh[vsk::TZipLocalHeader::Size];
  l.Serialize(lh);
  std::string out(reinterpret_cast<char*>(lh), sizeof lh);
  out += name + packed;

  vsk::TZipCentralRecord c;
  c.Signature = 0x02014B50;
  c.VersionMadeBy = 10;
  c.VersionNeeded = 10;
  c.Flags = flags;
  c.Method = method;
  c.DosDateTime = l.DosDateTime;
  c.Crc32 = l.Crc32;
  c.PackedSize = l.PackedSize;
  c.UnpackedSize = l.UnpackedSize;
  c.FileNameLength = l.FileNameLength;
  c.ExternalAttr = 0x20;
  Byte ch[vsk::TZipCentralRecord::Size];
  c.Serialize(ch);
  const auto centralOffset = static_cast<vsk::UInt32>(out.size());
  out.append(reinterpret_cast<char*>(ch), sizeof ch);
  out += name;

  vsk::TZipEndRecord e;
  e.Signature = 0x06054B50;
  e.EntriesOnDisk = e.EntriesTotal = 1;
  e.CentralDirSize = static_cast<vsk::UInt32>(out.size() - centralOffset);
  e.CentralDirOffset = centralOffset;
  Byte eh[vsk::TZipEndRecord::Size];
  e.Serialize(eh);
  out.append(reinterpret_cast<char*>(eh), sizeof eh);
  return out;
}

// unzip and 7z must accept the entry and restore it byte for byte.
void ExpectToolsRestore(const std::string& original, const std::string& packed, vsk::UInt16 method,
                        vsk::UInt16 flags, bool withUnzip = true) {
  TempDir dir;
  WriteFile(dir / "a.zip", OneEntryZip(original, packed, method, flags));
  if (withUnzip) {
    ASSERT_TRUE(HaveTool("unzip")) << "unzip (Debian package unzip) is needed";
    const auto t = RunTool("unzip -t a.zip", dir.path());
    EXPECT_EQ(t.exitCode, 0) << t.output;
    const auto x = RunTool("unzip -q -o a.zip -d unzip", dir.path());
    ASSERT_EQ(x.exitCode, 0) << x.output;
    EXPECT_TRUE(ReadFile(dir / "unzip" / "data.bin") == original) << "unzip, method " << method << " flags " << flags;
  }
  ASSERT_TRUE(HaveTool("7z")) << "7z (Debian package p7zip-full) is needed";
  const auto x = RunTool("7z x -y -bd -o7z a.zip", dir.path());
  ASSERT_EQ(x.exitCode, 0) << x.output;
  EXPECT_TRUE(ReadFile(dir / "7z" / "data.bin") == original) << "7z, method " << method << " flags " << flags;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Inputs that reach the decoders' corners: short strings, long runs (the
// LZW KwKwK case, long matches), every byte value, text and noise that fill
// the tables, and matches reaching far back.
std::vector<std::string> Samples() {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const std::string block = RandomBytes(6000, 7);
  return {"a",
          "abababababababab",
          std::string(5000, 'x'),
          Repeat(all, 4),
          std::string(300, '\x90') + std::string("\x90\x00\x90", 3) + std::string(50, '\x90'),
          TextBytes(200000, 3),
          RandomBytes(70000, 5),
          block + RandomBytes(500, 8) + block};
}

TEST(Unshrink, RoundTripsAndOtherToolsAgree) {
  for (const auto& data : Samples()) {
    int clears = 0;
    const std::string packed = Shrink(data, {0, &clears});
    const auto d = RunUnshrink(packed, static_cast<Int64>(data.size()));
    EXPECT_EQ(d.code, 0);
    EXPECT_TRUE(d.out == data) << "size " << data.size();
    // Byte-sized reads of the source give the same result.
    if (data.size() < 10000) {
      EXPECT_TRUE(RunUnshrink(packed, static_cast<Int64>(data.size()), 1).out == data);
    }
    ExpectToolsRestore(data, packed, 1, 0);
    if (data.size() >= 70000) {
      EXPECT_GT(clears, 0) << "the table never filled";
    }
  }
}

TEST(Unshrink, FullTableTakesNoEntriesUntilPartialClear) {
  // The encoder goes on with a full table for a while before clearing; the
  // decoder must not define codes meanwhile.
  const std::string data = TextBytes(150000, 11) + RandomBytes(40000, 12);
  int clears = 0;
  const std::string packed = Shrink(data, {400, &clears});
  ASSERT_GT(clears, 1);
  const auto d = RunUnshrink(packed, static_cast<Int64>(data.size()));
  EXPECT_EQ(d.code, 0);
  EXPECT_TRUE(d.out == data);
  // unzip refuses a code read while the table is full; 7z, like this
  // decoder, goes on without defining one.
  ExpectToolsRestore(data, packed, 1, 0, false);
}

// Codes of a fixed width, as a hand-made shrunk stream.
std::string Codes(const std::vector<std::pair<int, int>>& codes) {
  BitWriter w;
  for (const auto& [code, bits] : codes) w.Put(static_cast<std::uint32_t>(code), bits);
  return w.Finish();
}

TEST(Unshrink, HandMadeStreams) {
  // a b 257=ab 258=ba; 257 -> "ab"; 259 not defined yet: KwKwK "abab"+"a".
  auto d = RunUnshrink(Codes({{'a', 9}, {'b', 9}, {257, 9}, {259, 9}}), 100);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "abababa");

  // The size grows only on the control code, up to 13 bits.
  d = RunUnshrink(Codes({{'x', 9}, {256, 9}, {1, 9}, {'y', 10}, {256, 10}, {1, 10}, {256, 11}, {1, 11},
                         {256, 12}, {1, 12}, {'z', 13}, {258, 13}}),
                  100);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "xyzyz");

  // Past 13 bits is a bad block, as are other control codes.
  d = RunUnshrink(Codes({{'x', 9}, {256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12},
                         {1, 12}, {256, 13}, {1, 13}}),
                  100);
  EXPECT_EQ(d.code, kBadBlock);
  EXPECT_EQ(d.out, "x");
  EXPECT_EQ(RunUnshrink(Codes({{'x', 9}, {256, 9}, {3, 9}}), 100).code, kBadBlock);
  EXPECT_EQ(RunUnshrink(Codes({{'x', 9}, {256, 9}, {0, 9}}), 100).code, kBadBlock);

  // The first code must be a byte, and must be there.
  EXPECT_EQ(RunUnshrink(Codes({{300, 9}, {'a', 9}}), 100).code, kBadBlock);
  EXPECT_EQ(RunUnshrink(Codes({{256, 9}, {1, 9}}), 100).code, kBadBlock);
  EXPECT_EQ(RunUnshrink("", 100).code, kBadBlock);
  EXPECT_EQ(RunUnshrink("", 0).code, 0);

  // Output stops at the unpacked size.
  d = RunUnshrink(Codes({{'a', 9}, {'b', 9}, {257, 9}, {259, 9}}), 4);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "abab");
}

TEST(Unshrink, PartialClearFreesOnlyLeaves) {
  // a b c 257 257 define 257=ab 258=bc 259=ca 260=aba. The clear frees
  // the leaves 258, 259 and 260 and keeps 257, the parent of 260. Then 'd'
  // defines 258=abd, 257 defines 259=da, and 258 reads "abd".
  auto d = RunUnshrink(Codes({{'a', 9}, {'b', 9}, {'c', 9}, {257, 9}, {257, 9}, {256, 9}, {2, 9},
                              {'d', 9}, {257, 9}, {258, 9}}),
                       100);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "abcababdababd");

  // A child with a lower code than its parent: 259 = "cd" survives the
  // first clear through 261, then its only child 257 = "cde" takes a low
  // code. The second clear frees 257 but keeps 259, which had a child when
  // the clear began.
  d = RunUnshrink(Codes({{'a', 9}, {'b', 9}, {'c', 9}, {'d', 9}, {259, 9}, {'x', 9}, {259, 9}, {256, 9},
                         {2, 9}, {'e', 9}, {256, 9}, {2, 9}, {259, 9}, {257, 9}}),
                  100);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "abcdcdxcdecdec");

  // A partial clear that frees the previous code: the next entry is
  // defined on a freed code, and 257 then points to itself.
  d = RunUnshrink(Codes({{'a', 9}, {'b', 9}, {257, 9}, {256, 9}, {2, 9}, {'c', 9}, {257, 9}}), 100);
  EXPECT_EQ(d.code, kStackOverflow);
  EXPECT_EQ(d.out, "ababc");  // what was decoded is written
  // A string through a freed code is a bad block.
  d = RunUnshrink(Codes({{'a', 9}, {'b', 9}, {257, 9}, {256, 9}, {2, 9}, {258, 9}}), 100);
  EXPECT_EQ(d.code, kBadBlock);
}

TEST(Unreduce, KnownAnswers) {
  // Every follower set empty: 256 six-bit zero counts, then 8-bit literals.
  const std::string noSets(192, '\0');
  for (int factor = 1; factor <= 4; ++factor) {
    auto d = RunUnreduce(noSets + "Hello", factor, 5);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, "Hello");
    // DLE 0 is a literal 144.
    d = RunUnreduce(noSets + std::string("a\x90\x00z", 4), factor, 3);
    EXPECT_EQ(d.out, std::string("a\x90z"));
    // Decoding stops at the unpacked size, not at the end of the data.
    d = RunUnreduce(noSets + "Hello", factor, 3);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, "Hel");
  }

  // A pair per factor: DLE, V (distance high bits over the length bits),
  // distance low byte; length = low bits + 3, distance = high*256 + low + 1.
  const std::string text = "abcdefgh";
  for (int factor = 1; factor <= 4; ++factor) {
    std::string in = noSets + text + "\x90" + std::string(1, '\x02') + "\x07";
    auto d = RunUnreduce(in, factor, 13);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, "abcdefghabcde") << "factor " << factor;
  }
  // The largest length of each factor: all length bits set, plus a byte.
  const int masks[] = {0x7F, 0x3F, 0x1F, 0x0F};
  for (int factor = 1; factor <= 4; ++factor) {
    const int mask = masks[factor - 1];
    std::string in = noSets + "ab" + "\x90" + std::string(1, static_cast<char>(mask)) + "\xFF" + "\x01";
    const int length = mask + 255 + 3;
    auto d = RunUnreduce(in, factor, 2 + length);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, "ab" + Repeat("ab", length / 2) + std::string(length % 2, 'a')) << "factor " << factor;
  }
  // The farthest distance of each factor reaches before the start: zeros.
  for (int factor = 1; factor <= 4; ++factor) {
    const int high = (1 << factor) - 1;
    std::string in = noSets + "xy" + "\x90" + std::string(1, static_cast<char>((high << (8 - factor)) | 1)) + "\xFF";
    auto d = RunUnreduce(in, factor, 6);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, std::string("xy\0\0\0\0", 6)) << "factor " << factor;
  }

  // Follower sets: S(0) = {A, B, C}, indexes of two bits. From last byte 0:
  // index 1 = 'B'; 'B' has no set: 8-bit literal 0; from 0 again: flag 1
  // and a literal 'Z'.
  BitWriter w;
  for (int j = 255; j >= 1; --j) w.Put(0, 6);
  w.Put(3, 6);
  w.Put('A', 8);
  w.Put('B', 8);
  w.Put('C', 8);
  w.Put(0, 1);
  w.Put(1, 2);
  w.Put(0, 8);
  w.Put(1, 1);
  w.Put('Z', 8);
  const std::string sets = w.Finish();
  auto d = RunUnreduce(sets, 1, 3);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, std::string("B\0Z", 3));
}

TEST(Unreduce, MalformedStreams) {
  // A follower-set count above 32.
  BitWriter w;
  w.Put(33, 6);
  EXPECT_EQ(RunUnreduce(w.Finish() + std::string(300, 'a'), 1, 10).code, kBadBlock);
  // An index outside its set: S(0) = {A, B, C}, index 3.
  for (int j = 255; j >= 1; --j) w.Put(0, 6);
  w.Put(3, 6);
  for (int c : {'A', 'B', 'C'}) w.Put(static_cast<std::uint32_t>(c), 8);
  w.Put(0, 1);
  w.Put(3, 2);
  EXPECT_EQ(RunUnreduce(w.Finish(), 2, 10).code, kBadBlock);
  // Cut short: what was decoded comes out, no error (the CRC judges).
  const std::string noSets(192, '\0');
  auto d = RunUnreduce(noSets + "abc", 3, 10);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "abc");
  EXPECT_EQ(RunUnreduce(std::string(10, '\0'), 3, 10).out, "");
}

TEST(Unreduce, RoundTripsEveryFactor) {
  for (int factor = 1; factor <= 4; ++factor) {
    for (const auto& data : Samples()) {
      for (const bool sets : {true, false}) {
        const std::string packed = Reduce(data, factor, {sets, true});
        const auto d = RunUnreduce(packed, factor, static_cast<Int64>(data.size()), 777);
        EXPECT_EQ(d.code, 0);
        EXPECT_TRUE(d.out == data) << "factor " << factor << " size " << data.size() << " sets " << sets;
      }
    }
  }
}

// Bit-length list of 64 codes of six bits: four runs of sixteen.
const std::string kFlat64 = "\x03\xF5\xF5\xF5\xF5";

// Symbol s of the flat 64-code tree: the code 63 - s, most significant bit
// first.
void PutFlat(BitWriter& w, int s) {
  for (int b = 5; b >= 0; --b) w.Put(static_cast<std::uint32_t>(((63 - s) >> b) & 1), 1);
}

TEST(Explode, KnownAnswers) {
  // Two trees, 4 KiB window: literals 'a' 'b', then distance 2 (low 1,
  // high 0) length 4 (symbol 2), then length symbol 63 with 10 extra.
  BitWriter w;
  for (int c : {'a', 'b'}) {
    w.Put(1, 1);
    w.Put(static_cast<std::uint32_t>(c), 8);
  }
  w.Put(0, 1);
  w.Put(1, 6);
  PutFlat(w, 0);
  PutFlat(w, 2);
  w.Put(0, 1);
  w.Put(1, 6);
  PutFlat(w, 0);
  PutFlat(w, 63);
  w.Put(10, 8);
  const std::string stream = kFlat64 + kFlat64 + w.Finish();
  auto d = RunExplode(stream, 0, 6 + 75);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, Repeat("ab", 3 + 75 / 2) + "a");
  // Stops at the unpacked size, in the middle of a copy.
  EXPECT_EQ(RunExplode(stream, 0, 5).out, "ababa");

  // 8 KiB window (seven low bits), a match before the start gives zeros:
  // distance 1 + 5 + 128*3 = 390.
  BitWriter z;
  z.Put(1, 1);
  z.Put('q', 8);
  z.Put(0, 1);
  z.Put(5, 7);
  PutFlat(z, 3);
  PutFlat(z, 1);
  d = RunExplode(kFlat64 + kFlat64 + z.Finish(), 2, 4);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, std::string("q\0\0\0", 4));

  // Flag value 6: three trees (literal tree of 256 codes of eight bits),
  // 8 KiB window, minimum match 3.
  const std::string lit256 = std::string(1, '\x0F') + std::string(16, '\xF7');
  BitWriter t;
  for (int c : {'x', 'y'}) {
    t.Put(1, 1);
    for (int b = 7; b >= 0; --b) t.Put(static_cast<std::uint32_t>(((255 - c) >> b) & 1), 1);
  }
  t.Put(0, 1);
  t.Put(1, 7);
  PutFlat(t, 0);
  PutFlat(t, 1);
  d = RunExplode(lit256 + kFlat64 + kFlat64 + t.Finish(), 6, 6);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "xyxyxy");
}

TEST(Explode, BrokenTrees) {
  // Runs describing 65 codes, and 63.
  EXPECT_EQ(RunExplode("\x04\xF5\xF5\xF5\xF5\x05" + kFlat64 + std::string(20, '\0'), 0, 10).code, kAmbiguousTree);
  EXPECT_EQ(RunExplode(std::string("\x03\xF5\xF5\xF5\xE5", 5) + kFlat64 + std::string(20, '\0'), 0, 10).code,
            kAmbiguousTree);
  // 256 literal codes where the literal tree is not expected is a length
  // list too long for 64.
  EXPECT_EQ(RunExplode(std::string(1, '\x0F') + std::string(16, '\xF7') + kFlat64, 0, 10).code, kAmbiguousTree);
  // Oversubscribed: 64 codes of one bit.
  EXPECT_EQ(RunExplode("\x03\xF0\xF0\xF0\xF0" + kFlat64 + std::string(20, '\0'), 0, 10).code, kAmbiguousTree);
  // 63 codes of six bits and one of two bits overlap.
  EXPECT_EQ(RunExplode(std::string("\x04\xF5\xF5\xF5\xE5\x01", 6) + kFlat64 + std::string(20, '\0'), 0, 10).code,
            kAmbiguousTree);
  // Incomplete: 64 codes of seven bits fill half the tree; a walk into the
  // other half has no node.
  const std::string half = "\x03\xF6\xF6\xF6\xF6";
  BitWriter w;
  w.Put(0, 1);
  w.Put(0, 6);
  w.Put(1, 1);  // first bit of the distance code: the missing half
  EXPECT_EQ(RunExplode(kFlat64 + half + w.Finish() + std::string(4, '\0'), 0, 10).code, kAmbiguousTree);
  // Codes of sixteen bits are fine.
  EXPECT_EQ(RunExplode("\x03\xFF\xFF\xFF\xFF" + kFlat64, 0, 0).code, 0);
  EXPECT_EQ(RunExplode("\x03\xFF\xFF\xFF\xFF" + kFlat64, 0, 10).code, 0);
  // Truncated tree data end the entry without output.
  auto d = RunExplode("\x03\xF5", 0, 10);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.out, "");
}

TEST(Explode, RoundTripsAndOtherToolsAgree) {
  for (const vsk::UInt16 flags : {0, 2, 4, 6}) {
    for (const auto& data : Samples()) {
      const std::string packed = Implode(data, flags);
      const auto d = RunExplode(packed, flags, static_cast<Int64>(data.size()), 1000);
      EXPECT_EQ(d.code, 0);
      EXPECT_TRUE(d.out == data) << "flags " << flags << " size " << data.size();
      ExpectToolsRestore(data, packed, 6, flags);
    }
  }
}

TEST(LegacyDecoders, WorkInBlocksAndHonourCancel) {
  const std::string data = TextBytes(300000, 21);
  const std::string packed = Implode(data, 6);
  {
    MemorySource src(packed);
    StringSink sink;
    EXPECT_EQ(vsk::Explode(src, sink, 6, static_cast<Int64>(data.size()), nullptr), 0);
    EXPECT_TRUE(sink.out == data);
    EXPECT_LE(sink.largest, 32768);
    EXPECT_LE(sink.writes, static_cast<int>(data.size() / 32768) + 1);
    EXPECT_LE(src.reads, static_cast<int>(packed.size() / 32768) + 2);
  }
  {
    // Cancelled before the start: nothing is written.
    const bool cancel = true;
    MemorySource src(packed);
    StringSink sink;
    EXPECT_EQ(vsk::Explode(src, sink, 6, static_cast<Int64>(data.size()), &cancel), 0);
    EXPECT_EQ(sink.out, "");
    EXPECT_EQ(src.reads, 0);
  }
  {
    // Nothing to produce: nothing is read.
    MemorySource src(packed);
    StringSink sink;
    EXPECT_EQ(vsk::Unshrink(src, sink, 0, nullptr), 0);
    EXPECT_EQ(vsk::Unreduce(src, sink, 2, 0, nullptr), 0);
    EXPECT_EQ(vsk::Explode(src, sink, 0, 0, nullptr), 0);
    EXPECT_EQ(src.reads, 0);
    EXPECT_EQ(sink.writes, 0);
  }
}

TEST(LegacyDecoders, ArbitraryBytesStayInBounds) {
  // Under the sanitizers: noise, and valid streams with flipped bytes.
  const std::string text = TextBytes(20000, 31);
  const std::vector<std::string> valid = {Shrink(text), Reduce(text, 3), Implode(text, 6), Implode(text, 0)};
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::string in = RandomBytes(64 + seed * 7 % 3000, seed);
    const auto limit = static_cast<Int64>(seed * 131 % 40000);
    RunUnshrink(in, limit);
    RunUnreduce(in, 1 + static_cast<int>(seed % 4), limit);
    RunExplode(in, static_cast<vsk::UInt16>(seed & 6), limit);
    std::string bad = valid[seed % valid.size()];
    for (int i = 0; i < 3; ++i) bad[(seed * 2654435761u + static_cast<unsigned>(i) * 40503u) % bad.size()] ^= 0x5A;
    switch (seed % 4) {
      case 0: RunUnshrink(bad, 20000); break;
      case 1: RunUnreduce(bad, 3, 20000); break;
      case 2: RunExplode(bad, 6, 20000); break;
      default: RunExplode(bad, 0, 20000); break;
    }
  }
}

}  // namespace
