// The LZX encoder: its frames, one per data block of a hand-built cabinet
// folder, pass "7z t" and come back byte for byte through cabextract and
// through libmspack's cabinet decompressor, at windows 15, 18 and 21, for prose,
// program code (E8 translation), random bytes, long runs, frame-sized
// edges and folders of several MiB with matches far back in the window;
// on prose the largest window packs clearly smaller than MSZIP.

#include "libs/cabinet/lzxencoder.h"

#include <gtest/gtest.h>
#include <mspack.h>
#include <zlib.h>

#include <map>
#include <random>

#include "libs/cabinet/framecoder.h"
#include "tests/support/archivebytes.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

constexpr std::size_t kFrame = 32768;

struct EncodedFolder {
  std::vector<std::string> blocks;  // compressed frames
  std::vector<std::size_t> sizes;   // their uncompressed sizes
  std::vector<unsigned> types;      // the block type each frame starts with
};

// The first block type of a frame: three bits after Skip bits of its
// 16-bit little-endian words, most significant bit first.
unsigned BlockType(const std::string& block, int skip) {
  unsigned value = 0;
  for (int bit = skip; bit < skip + 3; ++bit) {
    const std::size_t word = static_cast<std::size_t>(bit / 16) * 2;
    if (word + 1 >= block.size()) return 0;
    const unsigned w = static_cast<unsigned char>(block[word]) | static_cast<unsigned char>(block[word + 1]) << 8;
    value = value << 1 | ((w >> (15 - bit % 16)) & 1);
  }
  return value;
}

EncodedFolder Encode(const std::string& data, int windowBits) {
  vsk::cab::TLzxEncoder encoder(windowBits);
  EncodedFolder f;
  for (std::size_t pos = 0; pos < data.size(); pos += kFrame) {
    const std::size_t n = std::min(kFrame, data.size() - pos);
    std::vector<std::uint8_t> out = {0xAA};  // the encoder appends
    encoder.EncodeFrame(reinterpret_cast<const std::uint8_t*>(data.data() + pos), n, out);
    EXPECT_EQ(out[0], 0xAA);
    EXPECT_TRUE(out.size() % 2 == 1 || n % 2 == 1) << "a frame ends on a 16-bit boundary";
    EXPECT_LE(out.size() - 1, kFrame + 6144) << "a data block holds at most 38912 bytes";
    f.blocks.emplace_back(out.begin() + 1, out.end());
    f.sizes.push_back(n);
    // The first frame starts with the stream header: E8 flag and size.
    f.types.push_back(BlockType(f.blocks.back(), pos == 0 ? 33 : 0));
  }
  return f;
}

// A cabinet of one LZX folder holding Files (name, size) in order, one data
// block per frame, checksums left 0.
std::string Cabinet(const EncodedFolder& f, int windowBits,
                    const std::vector<std::pair<std::string, std::size_t>>& files) {
  Bytes fileRecords;
  std::size_t offset = 0;
  for (const auto& [name, size] : files) {
    fileRecords.U32(static_cast<vsk::UInt32>(size)).U32(static_cast<vsk::UInt32>(offset)).U16(0);
    fileRecords.U16(DosDate(2024, 5, 17)).U16(DosTime(12, 30, 0)).U16(0x20).Raw(name).U8(0);
    offset += size;
  }
  Bytes data;
  for (std::size_t i = 0; i < f.blocks.size(); ++i)
    data.U32(0).U16(static_cast<unsigned>(f.blocks[i].size())).U16(static_cast<unsigned>(f.sizes[i])).Raw(f.blocks[i]);
  const std::size_t dataStart = 36 + 8 + fileRecords.size();
  Bytes cab;
  cab.Raw("MSCF").U32(0).U32(static_cast<vsk::UInt32>(dataStart + data.size())).U32(0).U32(36 + 8).U32(0);
  cab.U8(3).U8(1).U16(1).U16(static_cast<unsigned>(files.size())).U16(0).U16(0x1234).U16(0);
  cab.U32(static_cast<vsk::UInt32>(dataStart)).U16(static_cast<unsigned>(f.blocks.size())).U16(3 | windowBits << 8);
  return cab.Raw(fileRecords.str()).Raw(data.str()).str();
}

// Prose: sentences of words whose frequencies follow Zipf's law, as in
// natural language.
std::string ProseBytes(std::size_t n) {
  static const char* const kSyllables[] = {"ar",  "chi", "ve",  "en", "try", "com", "press", "da", "ta", "hea",
                                           "der", "fo",  "na",  "me", "sto", "red", "in",    "di", "sk", "the",
                                           "of",  "to",  "and", "is", "on",  "for", "with",  "at", "by", "be"};
  std::mt19937 rng(7);
  std::vector<std::string> words(3000);
  std::vector<double> weights;
  for (auto& w : words) {
    for (int k = static_cast<int>(rng() % 4); k >= 0; --k) w += kSyllables[rng() % 30];
    weights.push_back(1.0 / static_cast<double>(weights.size() + 1));
  }
  std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
  std::string s;
  while (s.size() < n) {
    for (int k = static_cast<int>(rng() % 14) + 4; k > 0; --k) s += words[pick(rng)] + (k > 1 ? " " : "");
    s += ".,;?!"[rng() % 5];
    s += rng() % 5 ? ' ' : '\n';
  }
  s.resize(n);
  return s;
}

// Program code full of E8 bytes: calls with targets before, inside and
// past the translation range, and near each frame's end a call 12, 11, 10
// or 9 bytes before it (the decoder translates none in the last ten).
std::string CallBytes(std::size_t n) {
  std::mt19937 rng(5);
  std::string s;
  while (s.size() < n) {
    if (rng() % 3 == 0) {
      s += '\xE8';
      static const std::int32_t kTargets[] = {0, 4, -5, 1000, -70000, 11999999, 12000000, -12000000, 0x7FFFFFFF};
      std::int32_t t = kTargets[rng() % 9];
      if (rng() % 2) t = static_cast<std::int32_t>(rng() % 200000) - 100000;
      s += Le32(static_cast<vsk::UInt32>(t));
    } else {
      s += static_cast<char>(rng() % 4 == 0 ? 0xE8 : rng() & 0xFF);
    }
  }
  s.resize(n);
  for (std::size_t f = 0; f * kFrame < n; ++f) {
    const std::size_t end = std::min(n, (f + 1) * kFrame), call = end - 12 + f % 4;
    std::fill(s.begin() + static_cast<std::ptrdiff_t>(call - 4), s.begin() + static_cast<std::ptrdiff_t>(end), '\x90');
    s.replace(call, 5, "\xE8" + Le32(0x100));
  }
  return s;
}

// Records of 16 bytes drawn from a small set: matches whose offsets are
// multiples of 8, which aligned-offset blocks code cheaply.
std::string RecordBytes(std::size_t n) {
  const std::string pool = RandomBytes(16 * 3000, 8);
  std::mt19937 rng(9);
  std::string s;
  while (s.size() < n) s += pool.substr(16 * (rng() % 3000), 16);
  s.resize(n);
  return s;
}

// Runs of one byte, of two-byte patterns and of zeros, of many lengths.
std::string RunBytes() {
  std::mt19937 rng(3);
  std::string s(100000, 'a');
  for (int i = 0; i < 400; ++i) {
    const std::size_t len = rng() % 700 + 1;
    if (i % 3 == 0)
      for (std::size_t k = 0; k < len; ++k) s += k % 2 ? 'x' : 'y';
    else
      s.append(len, static_cast<char>(i % 2 ? 0 : rng() & 0xFF));
  }
  return s + std::string(70000, '\0');
}

// Several MiB across many frames, more than the encoder keeps at once at
// any window: a random chunk that comes back 1.5 MiB and 0.6 MiB later
// (reachable in the larger windows only), text and code.
std::string LargeBytes() {
  const std::string chunk = RandomBytes(512 * 1024, 21);
  return chunk + TextBytes(1024 * 1024, 22) + chunk + TextBytes(100 * 1024, 23) + chunk + ReadFile("/bin/ls") +
         TextBytes(2 * 1024 * 1024 + 5, 24);
}

const std::string& Input(const std::string& name) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  std::string s;
  if (name == "empty") {
  } else if (name == "one") {
    s = "x";
  } else if (name == "text32767") {
    s = TextBytes(32767, 1);
  } else if (name == "text32768") {
    s = TextBytes(32768, 1);
  } else if (name == "text32769") {
    s = TextBytes(32769, 1);
  } else if (name == "text") {
    s = ProseBytes(400000);
  } else if (name == "prosefar") {
    // Prose whose first 600 KB come back 1.3 MB on: in reach of the
    // largest window only.
    s = ProseBytes(1300000);
    s += s.substr(0, 600000);
  } else if (name == "elf") {
    s = ReadFile("/bin/ls");
  } else if (name == "calls") {
    s = CallBytes(3 * kFrame + 777);
  } else if (name == "random") {
    s = RandomBytes(100000, 4);
  } else if (name == "randomodd") {
    // Stored frames, the last of an odd size.
    s = "x" + RandomBytes(40000, 4);
  } else if (name == "runs") {
    s = RunBytes();
  } else if (name == "records") {
    s = RecordBytes(200000);
  } else if (name == "large") {
    s = LargeBytes();
  }
  return cache.emplace(name, std::move(s)).first->second;
}

std::size_t Packed(const EncodedFolder& f) {
  std::size_t n = 0;
  for (const auto& b : f.blocks) n += b.size();
  return n;
}

// What the writer's MSZIP coder makes of Data.
std::size_t MsZipPacked(const std::string& data) {
  const auto coder = vsk::cab::MakeFrameCoder(tcompTYPE_MSZIP);
  std::vector<vsk::Byte> out;
  std::size_t packed = 0;
  for (std::size_t pos = 0; pos < data.size(); pos += kFrame) {
    EXPECT_TRUE(coder->Code(reinterpret_cast<const vsk::Byte*>(data.data() + pos), std::min(kFrame, data.size() - pos),
                            out));
    packed += out.size();
  }
  return packed;
}

// Extracts every file through libmspack's cabinet decompressor into Dir.
std::map<std::string, std::string> MspackExtract(const fs::path& cab, const fs::path& dir) {
  std::map<std::string, std::string> files;
  mscab_decompressor* cabd = mspack_create_cab_decompressor(nullptr);
  EXPECT_NE(cabd, nullptr);
  if (!cabd) return files;
  mscabd_cabinet* c = cabd->open(cabd, cab.c_str());
  EXPECT_NE(c, nullptr) << "libmspack error " << cabd->last_error(cabd);
  for (mscabd_file* f = c ? c->files : nullptr; f; f = f->next) {
    const fs::path out = dir / f->filename;
    const int err = cabd->extract(cabd, f, out.c_str());
    EXPECT_EQ(err, MSPACK_ERR_OK) << f->filename;
    if (err == MSPACK_ERR_OK) files[f->filename] = ReadFile(out);
  }
  if (c) cabd->close(cabd, c);
  mspack_destroy_cab_decompressor(cabd);
  return files;
}

class LzxEncoderTest : public ::testing::TestWithParam<std::tuple<std::string, int>> {};

TEST_P(LzxEncoderTest, CabinetToolsRestoreEveryByte) {
  ASSERT_TRUE(HaveTool("cabextract") && HaveTool("7z"));
  const auto& [name, windowBits] = GetParam();
  const std::string& data = Input(name);
  const EncodedFolder folder = Encode(data, windowBits);
  ASSERT_EQ(folder.blocks.size(), (data.size() + kFrame - 1) / kFrame);

  // Two files, the second starting inside a frame, so the decoder also
  // finds a file that does not start the folder.
  const std::size_t split = data.size() / 3;
  std::vector<std::pair<std::string, std::size_t>> files = {{"a.bin", split}, {"b.bin", data.size() - split}};
  const std::map<std::string, std::string> expected = {{"a.bin", data.substr(0, split)}, {"b.bin", data.substr(split)}};
  TempDir dir;
  const fs::path cab = dir / "lzx.cab";
  WriteFile(cab, Cabinet(folder, windowBits, files));

  const ToolResult test = RunTool("cabextract -t " + ShellQuote(cab.string()));
  EXPECT_EQ(test.exitCode, 0) << test.output;
  const ToolResult z = RunTool("7z t " + ShellQuote(cab.string()));
  EXPECT_EQ(z.exitCode, 0) << z.output;
  const ToolResult r =
      RunTool("cabextract -q -d " + ShellQuote((dir / "tool").string()) + " " + ShellQuote(cab.string()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const auto& [file, bytes] : expected) {
    const std::string got = ReadFile(dir / "tool" / file);
    ASSERT_EQ(got.size(), bytes.size()) << file;
    EXPECT_TRUE(got == bytes) << file << " differs after cabextract";
  }

  fs::create_directories(dir / "mspack");
  EXPECT_EQ(MspackExtract(cab, dir / "mspack"), expected) << "libmspack restores every file";

  // Random bytes are stored, text is coded, and aligned-offset blocks pay
  // off on offsets that are multiples of eight.
  const auto count = [&folder](unsigned type) { return std::count(folder.types.begin(), folder.types.end(), type); };
  EXPECT_EQ(count(0) + count(4) + count(5) + count(6) + count(7), 0) << "every frame starts with a block";
  if (name == "random") {
    EXPECT_EQ(count(3), static_cast<long>(folder.types.size()));
  }
  if (name == "text" || name == "elf" || name == "runs") {
    EXPECT_EQ(count(3), 0);
  }
  if (name == "records") {
    EXPECT_GT(count(2), 0);
  }
  if ((name == "text" || name == "prosefar") && windowBits == 21) {
    const std::size_t packed = Packed(folder);
    EXPECT_LT(static_cast<double>(packed), 0.93 * static_cast<double>(MsZipPacked(data)))
        << "clearly smaller than MSZIP on prose";
    if (name == "prosefar") {
      EXPECT_LT(static_cast<double>(packed), 0.75 * static_cast<double>(Packed(Encode(data, 15))))
          << "the repeats 1.3 MB back are matched";
    }
    uLongf deflated = compressBound(static_cast<uLong>(data.size()));
    std::vector<Bytef> z(deflated);
    ASSERT_EQ(compress2(z.data(), &deflated, reinterpret_cast<const Bytef*>(data.data()), data.size(), 6), Z_OK);
    EXPECT_LT(packed, deflated) << "smaller than deflate level 6 on text";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, LzxEncoderTest,
    ::testing::Combine(::testing::Values("empty", "one", "text32767", "text32768", "text32769", "text", "prosefar", "elf",
                                         "calls", "random", "randomodd", "runs", "records", "large"),
                       ::testing::Values(15, 18, 21)),
    [](const auto& info) { return std::get<0>(info.param) + "_w" + std::to_string(std::get<1>(info.param)); });
// The 2^20 window has a slot count of its own (42).
INSTANTIATE_TEST_SUITE_P(Window20, LzxEncoderTest,
                         ::testing::Combine(::testing::Values("large", "elf"), ::testing::Values(20)),
                         [](const auto& info) { return std::get<0>(info.param) + "_w20"; });

// Inputs of few and skewed byte values, runs and E8 bytes, of odd sizes, at
// every window: codes of one or two symbols, empty length trees and runs
// of equal code lengths all come back through libmspack.
TEST(LzxEncoderShapesTest, SkewedInputsComeBack) {
  TempDir dir;
  std::mt19937 rng(11);
  for (int round = 0; round < 48; ++round) {
    const int windowBits = 15 + round % 7;
    static const std::size_t kSizes[] = {1, 2, 3, 11, 12, 100, 32766, 32768, 32770, 65536, 65547, 150001};
    const std::size_t size = kSizes[round % 12];
    static const unsigned kAlphabets[] = {1, 2, 3, 5, 17, 256};
    const unsigned alphabet = kAlphabets[round % 6];
    std::string data;
    while (data.size() < size) {
      const auto r = rng();
      // Geometric skew: value v about half as likely as v - 1.
      unsigned v = 0;
      while (v + 1 < alphabet && (r >> v) & 1) ++v;
      const char c = static_cast<char>(round % 4 == 3 && v == 0 ? 0xE8 : v * 37);
      data.append(r % 9 == 0 ? r % 300 : 1, c);
    }
    data.resize(size);
    const EncodedFolder folder = Encode(data, windowBits);
    const fs::path cab = dir / ("shape" + std::to_string(round) + ".cab");
    WriteFile(cab, Cabinet(folder, windowBits, {{"s.bin", data.size()}}));
    const fs::path out = dir / ("out" + std::to_string(round));
    fs::create_directories(out);
    const auto files = MspackExtract(cab, out);
    ASSERT_EQ(files.size(), 1u) << "round " << round;
    EXPECT_TRUE(files.begin()->second == data)
        << "round " << round << ": " << size << " bytes of " << alphabet << " values at window " << windowBits;
  }
}

}  // namespace
}  // namespace vsktest
