// Extracting and testing ZOO archives. No Debian tool writes ZOO, so the
// archives are built here from the format's layout with small encoders of
// each method (the static-Huffman one is the LHA tests' encoder); unar
// extracts every archive the tests rely on, which checks both the builders
// and the reader against an independent one.

#include "archive/formats/zoo/unzoo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <unordered_map>

#include "base/checksum.h"
#include "archive/formats/zoo/zoolzw.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/readerrun.h"
#include "tests/support/testutil.h"

// The LHA tests' static-Huffman encoder and memory ends; its test folder is
// a separate executable, so its source is compiled into this one too.
#include "tests/archive/formats/lha/lhabuild.cpp"  // NOLINT(bugprone-suspicious-include)

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Bytes;
using vsktest::Count;
using vsktest::MemorySink;
using vsktest::MemorySource;
using vsktest::ReadFile;
using vsktest::RunLog;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::Tree;
using vsktest::WriteFile;

// ---- method 1: LZW, least significant bit first

class LsbBitWriter {
 public:
  void Put(UInt32 Value, int Bits) {
    acc_ |= static_cast<UInt64>(Value) << count_;
    count_ += Bits;
    while (count_ >= 8) {
      out_.push_back(static_cast<char>(acc_ & 0xFF));
      acc_ >>= 8;
      count_ -= 8;
    }
  }
  std::string Bytes() const { return count_ ? out_ + static_cast<char>(acc_ & 0xFF) : out_; }

 private:
  std::string out_;
  UInt64 acc_ = 0;
  int count_ = 0;
};

struct LzwOptions {
  bool leadingClear = true;
  // When the dictionary is full: start afresh with a clear code, or keep
  // using the full dictionary.
  bool clearWhenFull = true;
  bool endCode = true;
};

// The encoder keeps one entry ahead of the decoder, which adds each entry
// one code later; the code width follows the decoder's count.
std::string EncodeZooLzw(const std::string& Data, const LzwOptions& O = {}) {
  LsbBitWriter w;
  std::unordered_map<UInt32, UInt32> dict;
  UInt32 next = 258;
  int width = 9;
  UInt32 limit = 512, decoderFree = 258;
  bool firstCode = true;
  const auto reset = [&] {
    dict.clear();
    next = 258;
    width = 9;
    limit = 512;
    decoderFree = 258;
    firstCode = true;
  };
  const auto emit = [&](UInt32 Code) {
    w.Put(Code, width);
    if (Code == 256) {
      reset();
      return;
    }
    if (firstCode) {
      firstCode = false;
      return;
    }
    if (decoderFree < 8192 && ++decoderFree >= limit && width < 13) {
      ++width;
      limit <<= 1;
    }
  };
  if (O.leadingClear) emit(256);
  if (!Data.empty()) {
    UInt32 cur = static_cast<Byte>(Data[0]);
    for (std::size_t i = 1; i < Data.size(); ++i) {
      const auto c = static_cast<Byte>(Data[i]);
      const UInt32 key = cur << 8 | c;
      if (auto it = dict.find(key); it != dict.end()) {
        cur = it->second;
        continue;
      }
      emit(cur);
      if (next < 8192) dict[key] = next++;
      if (next == 8192 && O.clearWhenFull) emit(256);
      cur = c;
    }
    emit(cur);
  }
  if (O.endCode) emit(257);
  return w.Bytes();
}

// ---- method 2: greedy matches for the static-Huffman encoder

std::vector<vsktest::LzhToken> Tokenize(const std::string& Data) {
  std::vector<vsktest::LzhToken> tokens;
  std::unordered_map<UInt32, std::size_t> last;
  const auto key = [&](std::size_t i) {
    return static_cast<UInt32>(static_cast<Byte>(Data[i])) << 16 | static_cast<Byte>(Data[i + 1]) << 8 |
           static_cast<Byte>(Data[i + 2]);
  };
  for (std::size_t i = 0; i < Data.size();) {
    std::size_t len = 0, dist = 0;
    if (i + 3 <= Data.size()) {
      if (auto it = last.find(key(i)); it != last.end() && i - it->second <= 8192) {
        const std::size_t from = it->second;
        while (len < 256 && i + len < Data.size() && Data[from + len] == Data[i + len]) ++len;
        dist = i - from - 1;
      }
      last[key(i)] = i;
    }
    if (len >= 3) {
      tokens.push_back({-1, static_cast<int>(len), static_cast<UInt32>(dist)});
      for (std::size_t k = 1; k < len && i + k + 3 <= Data.size(); ++k) last[key(i + k)] = i + k;
      i += len;
    } else {
      tokens.push_back({static_cast<Byte>(Data[i]), 0, 0});
      ++i;
    }
  }
  return tokens;
}

std::string EncodeZooLzh(const std::string& Data) { return vsktest::EncodeLzh(Tokenize(Data), 13, 4, 6000); }

// ---- archives

struct ZooItem {
  std::string name;  // the 8.3 field
  std::string data;
  Byte method = 0;
  std::string longName = {};
  std::string folder = {};
  Byte deleted = 0;
  std::string packed = {};  // made from data by the method when empty
  Int64 unpacked = -1;      // the data's size when negative
  UInt16 date = vsktest::DosDate(2011, 6, 7);
  UInt16 time = vsktest::DosTime(8, 9, 10);
  bool variablePart = true;
};

std::string PackedOf(const ZooItem& I) {
  if (!I.packed.empty()) return I.packed;
  switch (I.method) {
    case 1:
      return EncodeZooLzw(I.data);
    case 2:
      return EncodeZooLzh(I.data);
    default:
      return I.data;
  }
}

constexpr std::size_t kHeaderSize = 42;

// One directory entry of type 2 with its variable part (long name, folder,
// system 0, no attributes, no version), its own CRC-16 filled in.
std::string ZooEntry(const ZooItem& I, UInt32 At, UInt32 Next, UInt32 PackedSize) {
  std::string var;
  if (I.variablePart) {
    var += static_cast<char>(I.longName.size());
    var += static_cast<char>(I.folder.size());
    var += I.longName + I.folder;
    var += std::string(9, '\0');
  }
  // The fixed part is 58 bytes even without a variable part.
  const auto dataAt = static_cast<UInt32>(At + std::max<std::size_t>(58, 56 + var.size()));
  Bytes b;
  b.U32(kZooTag).U8(2).U8(I.method).U32(Next).U32(Next == 0 ? 0 : dataAt).U16(I.date).U16(I.time);
  b.U16(Crc16Of(I.data.data(), I.data.size()));
  b.U32(static_cast<UInt32>(I.unpacked < 0 ? static_cast<Int64>(I.data.size()) : I.unpacked));
  b.U32(PackedSize).U8(2).U8(1).U8(I.deleted).U8(0).U32(0).U16(0).Field(I.name, 13);
  b.U16(static_cast<unsigned>(var.size())).U8(127).U16(0).Raw(var);
  std::string s = b.str();
  if (s.size() < 58) s.resize(58, '\0');
  const UInt16 crc = Crc16Of(s.data(), s.size());
  s[54] = static_cast<char>(crc & 0xFF);
  s[55] = static_cast<char>(crc >> 8);
  return s;
}

struct ZooArchive {
  std::string bytes;
  std::vector<std::size_t> entryAt, dataAt;
};

ZooArchive MakeZoo(const std::vector<ZooItem>& Items) {
  Bytes b;
  b.Field("ZOO 2.10 Archive.\x1A", 20).U32(kZooTag).U32(kHeaderSize).U32(static_cast<UInt32>(0u - static_cast<UInt32>(kHeaderSize))).U8(2).U8(0).U8(1);
  b.U32(0).U16(0).U8(0);
  ZooArchive a;
  std::string s = b.str();
  for (const auto& item : Items) {
    const std::string packed = PackedOf(item);
    const auto at = static_cast<UInt32>(s.size());
    const std::string probe = ZooEntry(item, at, 1, 0);
    const auto next = static_cast<UInt32>(at + probe.size() + packed.size());
    a.entryAt.push_back(at);
    a.dataAt.push_back(at + probe.size());
    s += ZooEntry(item, at, next, static_cast<UInt32>(packed.size())) + packed;
  }
  ZooItem end;
  end.variablePart = false;
  end.date = end.time = 0;
  s += ZooEntry(end, static_cast<UInt32>(s.size()), 0, 0);
  a.bytes = s;
  return a;
}

// ---- runs

RunLog Unpack(const fs::path& Archive, const fs::path& Dest, const vsktest::RunOptions& O = {}) {
  return vsktest::RunReader<TUnZoo>(Archive, Dest, O, [&O](TUnZoo& u) { u.UseStoredDirs = O.storedDirs; });
}

std::map<std::string, std::string> Unar(const fs::path& Archive, const fs::path& Dest) {
  fs::create_directories(Dest);
  const auto r = RunTool("unar -q -D -f -o " + ShellQuote(Dest.string()) + " " + ShellQuote(Archive.string()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return Tree(Dest);
}

// unar, run on a one-entry archive per item: in this unar version an LZW
// entry that follows another one with string codes crashes it.
std::map<std::string, std::string> UnarEach(const std::vector<ZooItem>& Items, const fs::path& Dest) {
  std::map<std::string, std::string> all;
  for (std::size_t i = 0; i < Items.size(); ++i) {
    const fs::path one = Dest.string() + "-" + std::to_string(i) + ".zoo";
    WriteFile(one, MakeZoo({Items[i]}).bytes);
    all.merge(Unar(one, Dest));
  }
  return all;
}

// ---- tests

// All three methods, long names in folders, 8.3 names with either
// separator, empty and large entries (the LZW dictionary fills and starts
// afresh many times; the Huffman entry spans several blocks and windows).
TEST(UnZoo, MethodsAndFoldersAsUnarReadsThem) {
  ASSERT_TRUE(vsktest::HaveTool("unar"));
  TempDir dir;
  const std::string text = vsktest::TextBytes(300000, 4);
  const std::string noise = vsktest::RandomBytes(70000, 5);
  const std::vector<ZooItem> items = {
      {"README.TXT", text.substr(0, 5000), 0},
      {"LZW.TXT", text, 1, "lzw text.txt", "docs/deep"},
      {"LZWRND.BIN", noise, 1, "noise.bin", "docs"},
      {"HUFF.TXT", text, 2, "Huffman coded.txt", "other"},
      {"HUFFRND.BIN", noise, 2},
      {"EMPTY0", "", 0},
      {"EMPTY1", "", 1},
      {"EMPTY2", "", 2},
      {"A.B", std::string(40000, 'a'), 1, "runs", "docs/deep"},
      {"SUB/SL.TXT", "slash separated", 0, "", "", 0, "", -1, vsktest::DosDate(2011, 6, 7), 0},
      {"SUB\\BK.TXT", "backslash separated", 1, "", "", 0, "", -1, vsktest::DosDate(2011, 6, 7), 0},
  };
  const std::map<std::string, std::string> want = {
      {"README.TXT", items[0].data},      {"docs/deep/lzw text.txt", text},
      {"docs/noise.bin", noise},          {"other/Huffman coded.txt", text},
      {"HUFFRND.BIN", noise},             {"EMPTY0", ""},
      {"EMPTY1", ""},                     {"EMPTY2", ""},
      {"docs/deep/runs", items[8].data},  {"SUB/SL.TXT", "slash separated"},
      {"SUB/BK.TXT", "backslash separated"},
  };
  const auto path = dir / "m.zoo";
  WriteFile(path, MakeZoo(items).bytes);

  // unar takes the 8.3 field as a plain name where it holds a "/" (both
  // separators stand between folders there); otherwise the same files.
  auto unarWant = want;
  unarWant["SUB_SL.TXT"] = unarWant.extract("SUB/SL.TXT").mapped();
  EXPECT_EQ(UnarEach(items, dir / "unar"), unarWant);

  const auto r = Unpack(path.string(), dir / "out");
  EXPECT_EQ(r.result, static_cast<int>(items.size()));
  EXPECT_TRUE(r.errors.empty());
  const auto got = Tree(dir / "out");
  EXPECT_EQ(got.size(), want.size());
  for (const auto& [name, data] : want) {
    ASSERT_TRUE(got.count(name)) << name;
    EXPECT_TRUE(got.at(name) == data) << name;
    EXPECT_TRUE(r.Verdict((dir / "out" / name).string())) << name;
  }
  // The lister shows the names the reader extracts, so a selection of
  // listed names finds its entries.
  std::vector<std::string> listed = vsktest::ListArchive(path.string()).Names();
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> extracted;
  for (const auto& [name, data] : want) extracted.push_back(name);
  EXPECT_EQ(listed, extracted);

  // The entry's DOS date-time (local) on the written file.
  struct stat st {};
  ASSERT_EQ(stat((dir / "out/README.TXT").c_str(), &st), 0);
  const std::time_t t = st.st_mtime;
  std::tm lt{};
  localtime_r(&t, &lt);
  EXPECT_EQ(lt.tm_year + 1900, 2011);
  EXPECT_EQ(lt.tm_mon + 1, 6);
  EXPECT_EQ(lt.tm_mday, 7);
  EXPECT_EQ(lt.tm_hour, 8);
  EXPECT_EQ(lt.tm_min, 9);
  EXPECT_EQ(lt.tm_sec, 10);

  // Testing decodes everything, judges every CRC and writes nothing.
  const auto t2 = Unpack(path.string(), dir / "tested", {.test = true});
  EXPECT_EQ(t2.result, static_cast<int>(items.size()));
  EXPECT_TRUE(t2.errors.empty());
  EXPECT_EQ(t2.verdicts.size(), want.size());
  for (const auto& [name, pass] : t2.verdicts) EXPECT_TRUE(pass) << name;
  EXPECT_TRUE(t2.verdicts.count("docs/deep/lzw text.txt"));
  EXPECT_FALSE(fs::exists(dir / "tested"));

  // Selection by mask and without stored folders.
  const auto some = Unpack(path.string(), dir / "some", {.spec = {"docs/*"}, .storedDirs = false});
  EXPECT_EQ(some.result, 3);
  EXPECT_EQ(Tree(dir / "some"), (std::map<std::string, std::string>{
                                    {"lzw text.txt", text}, {"noise.bin", noise}, {"runs", items[8].data}}));
}

// Streams the archives above do not hold: no leading clear code, a
// dictionary kept full instead of cleared, and the code that is defined by
// its own use (a run of one byte).
TEST(UnZoo, LzwStreamShapes) {
  ASSERT_TRUE(vsktest::HaveTool("unar"));
  TempDir dir;
  const std::string text = vsktest::TextBytes(200000, 9) + vsktest::RandomBytes(30000, 10);
  const std::string run(5000, 'z');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {EncodeZooLzw(text, {.leadingClear = false}), text},
      {EncodeZooLzw(text, {.clearWhenFull = false}), text},
      {EncodeZooLzw(run), run},
      {EncodeZooLzw("x"), "x"},
  };
  std::vector<ZooItem> items;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    MemorySource in(cases[i].first, 777);
    MemorySink out;
    TZooLzwDecoder d;
    EXPECT_EQ(d.Decode(in, out, static_cast<Int64>(cases[i].second.size())), TZooLzwDecoder::TResult::Ok) << i;
    EXPECT_TRUE(out.data == cases[i].second) << i;
    ZooItem item{"F" + std::to_string(i), cases[i].second, 1};
    item.packed = cases[i].first;
    items.push_back(item);
  }
  // unar reads the stream shapes alike.
  const auto path = dir / "s.zoo";
  WriteFile(path, MakeZoo(items).bytes);
  const auto unar = UnarEach(items, dir / "unar");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string name = "F" + std::to_string(i);
    EXPECT_TRUE(unar.count(name) && unar.at(name) == cases[i].second) << name;
  }
  const auto r = Unpack(path.string(), dir / "out");
  EXPECT_EQ(r.result, static_cast<int>(cases.size()));
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(Tree(dir / "out"), unar);
}

// What a hostile or damaged stream cannot make the decoder do.
TEST(UnZoo, LzwRefusesWhatCannotStand) {
  const auto decode = [](const std::string& Packed, Int64 Size, std::string* Out = nullptr) {
    MemorySource in(Packed);
    MemorySink out;
    TZooLzwDecoder d;
    const auto result = d.Decode(in, out, Size);
    EXPECT_LE(static_cast<Int64>(out.data.size()), Size);
    if (Out) *Out = out.data;
    return result;
  };
  using R = TZooLzwDecoder::TResult;
  const auto codes = [](std::initializer_list<std::pair<UInt32, int>> List) {
    LsbBitWriter w;
    for (auto [c, bits] : List) w.Put(c, bits);
    return w.Bytes();
  };
  std::string out;
  // "a", "b", then 258 ("ab", defined by "b"); 260 lies beyond the next
  // free code 259 and is refused.
  EXPECT_EQ(decode(codes({{256, 9}, {'a', 9}, {'b', 9}, {258, 9}, {257, 9}}), 4, &out), R::Ok);
  EXPECT_EQ(out, "abab");
  EXPECT_EQ(decode(codes({{256, 9}, {'a', 9}, {'b', 9}, {260, 9}, {257, 9}}), 10, &out), R::Corrupt);
  EXPECT_EQ(out, "ab");
  // The code being defined: "a" then 258 = "aa".
  EXPECT_EQ(decode(codes({{'a', 9}, {258, 9}, {257, 9}}), 3, &out), R::Ok);
  EXPECT_EQ(out, "aaa");
  // Right after a clear only a byte can stand.
  EXPECT_EQ(decode(codes({{256, 9}, {'a', 9}, {'b', 9}, {256, 9}, {258, 9}, {257, 9}}), 10, &out), R::Corrupt);
  EXPECT_EQ(out, "ab");
  // More output than the entry's size stops at the size.
  const std::string text = vsktest::TextBytes(10000, 2);
  EXPECT_EQ(decode(EncodeZooLzw(text), 6000, &out), R::Corrupt);
  EXPECT_TRUE(out == text.substr(0, 6000));
  // Less is corrupt too, as is a stream without its end code or cut short.
  EXPECT_EQ(decode(EncodeZooLzw(text), 10001), R::Corrupt);
  EXPECT_EQ(decode(EncodeZooLzw(text, {.endCode = false}), 10000, &out), R::Corrupt);
  EXPECT_TRUE(out == text);
  const std::string packed = EncodeZooLzw(text);
  EXPECT_EQ(decode(packed.substr(0, packed.size() / 2), 10000, &out), R::Corrupt);
  EXPECT_TRUE(text.compare(0, out.size(), out) == 0);
  // Endless literals without an end code stop at the size.
  EXPECT_EQ(decode(std::string(100000, '\0'), 50, &out), R::Corrupt);
  EXPECT_EQ(out, std::string(50, '\0'));
  // Random input never writes past the size, whatever it holds.
  std::mt19937 rng(7);
  for (int i = 0; i < 300; ++i) {
    std::string junk = vsktest::RandomBytes(1 + rng() % 5000, static_cast<std::uint32_t>(i));
    if (i % 2) junk = EncodeZooLzw(text).substr(0, 40) + junk;
    decode(junk, static_cast<Int64>(rng() % 20000));
  }
  // A cancel flag set before the run stops it.
  bool cancel = true;
  const std::string noise = vsktest::RandomBytes(200000, 3);
  MemorySource in(EncodeZooLzw(noise));
  MemorySink sink;
  TZooLzwDecoder d;
  EXPECT_EQ(d.Decode(in, sink, static_cast<Int64>(noise.size()), &cancel), R::Cancelled);
  EXPECT_LT(sink.data.size(), noise.size());
}

// A damaged byte fails that entry's CRC verdict only; the entry is still
// written, and every other entry comes out whole.
TEST(UnZoo, DamagedDataFailsThatEntryOnly) {
  TempDir dir;
  const std::string text = vsktest::TextBytes(60000, 12);
  const std::vector<ZooItem> items = {
      {"ONE.TXT", text, 0}, {"TWO.TXT", text, 1}, {"THREE.TXT", text, 2}, {"LAST.TXT", "last", 0}};
  const auto zoo = MakeZoo(items);
  for (std::size_t victim = 0; victim < 3; ++victim) {
    SCOPED_TRACE(victim);
    std::string bytes = zoo.bytes;
    bytes[zoo.dataAt[victim] + 1000] ^= 0x5A;
    const auto path = dir / ("d" + std::to_string(victim) + ".zoo");
    WriteFile(path, bytes);
    const auto out = dir / ("out" + std::to_string(victim));
    const auto r = Unpack(path.string(), out);
    EXPECT_EQ(r.result, 3);  // the damaged entry does not count
    for (std::size_t i = 0; i < items.size(); ++i) {
      const auto file = out / items[i].name;
      EXPECT_EQ(r.Verdict(file.string()), i != victim) << items[i].name;
      EXPECT_TRUE(fs::exists(file));
      if (i != victim) {
        EXPECT_TRUE(ReadFile(file) == items[i].data) << items[i].name;
      }
    }
    // Without OnEnd the failure is reported as the CRC message.
    const auto t = Unpack(path.string(), {}, {.test = true, .verdicts = false});
    EXPECT_EQ(t.result, 3);
    EXPECT_EQ(t.Count(msg::CrcFailed), 1);
  }
  // A stored entry claiming more bytes than it holds fails even when the
  // CRC of what is there matches.
  std::vector<ZooItem> shortItems = {{"SHORT.TXT", "abc", 0}};
  shortItems[0].unpacked = 4;
  const auto path = dir / "short.zoo";
  WriteFile(path, MakeZoo(shortItems).bytes);
  const auto r = Unpack(path.string(), dir / "short");
  EXPECT_FALSE(r.Verdict((dir / "short/SHORT.TXT").string()));
  EXPECT_EQ(ReadFile(dir / "short/SHORT.TXT"), "abc");
}

// Deleted entries keep their place in the chain until the archive is
// packed; they are not extracted (unar extracts them regardless, so it is
// not asked here).
TEST(UnZoo, DeletedEntriesStayOut) {
  TempDir dir;
  std::vector<ZooItem> items = {
      {"KEEP.TXT", "old version", 0}, {"KEEP.TXT", "new version", 1}, {"GONE.TXT", "gone", 2}, {"LAST.TXT", "x", 0}};
  items[0].deleted = 1;
  items[2].deleted = 1;
  const auto path = dir / "del.zoo";
  WriteFile(path, MakeZoo(items).bytes);
  const std::map<std::string, std::string> want = {{"KEEP.TXT", "new version"}, {"LAST.TXT", "x"}};
  const auto r = Unpack(path.string(), dir / "out");
  EXPECT_EQ(r.result, 2);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(Tree(dir / "out"), want);
}

// Names that would leave the destination are refused one by one; the
// other entries still come out, and nothing lands outside.
TEST(UnZoo, HostileNamesStayInside) {
  TempDir dir;
  const std::vector<ZooItem> items = {
      {"X", "dotdot folder", 0, "x", "../.."},
      {"X", "dotdot name", 1, "../escape.txt"},
      {"ABS.TXT", "absolute", 2, "abs.txt", "/tmp/vsk-zoo-abs"},
      {"..\\UP.TXT", "short name up", 0, "", "", 0, "", -1, 0, 0, false},
      {"OK.TXT", "fine", 0},
  };
  const auto path = dir / "h.zoo";
  WriteFile(path, MakeZoo(items).bytes);
  const auto dest = dir / "a" / "b";
  const auto r = Unpack(path.string(), dest);
  EXPECT_EQ(Count(r.errors, msg::InvalidFileName), 3);
  EXPECT_EQ(r.result, 2);
  // An absolute folder is taken below the destination.
  EXPECT_EQ(Tree(dir.path()), (std::map<std::string, std::string>{{"a/b/OK.TXT", "fine"},
                                                           {"a/b/tmp/vsk-zoo-abs/abs.txt", "absolute"},
                                                           {"h.zoo", ReadFile(path)}}));
  EXPECT_FALSE(fs::exists("/tmp/vsk-zoo-abs"));

  // A symbolic link in the destination is not followed.
  TempDir outside;
  fs::create_directories(dir / "l");
  fs::create_symlink(outside.path(), dir / "l" / "docs");
  std::vector<ZooItem> linked = {{"A.TXT", "through the link", 0, "a.txt", "docs"}, {"OK.TXT", "fine", 0}};
  const auto path2 = dir / "l.zoo";
  WriteFile(path2, MakeZoo(linked).bytes);
  const auto r2 = Unpack(path2.string(), dir / "l");
  EXPECT_TRUE(Tree(outside.path()).empty());
  EXPECT_EQ(ReadFile(dir / "l/OK.TXT"), "fine");
  EXPECT_FALSE(r2.errors.empty());
}

// The archive header must be consistent; a chain that leads to anything but
// an entry is reported and ends the walk after the entries before it; an
// unknown method fails that entry alone.
TEST(UnZoo, HeadersAndChain) {
  TempDir dir;
  const std::vector<ZooItem> items = {{"ONE.TXT", "one", 0}, {"TWO.TXT", "two", 1}, {"THREE.TXT", "three", 2}};
  const auto zoo = MakeZoo(items);
  const auto run = [&](const std::string& Bytes, const std::string& Name) {
    const auto path = dir / (Name + ".zoo");
    WriteFile(path, Bytes);
    auto r = Unpack(path.string(), dir / Name);
    return std::make_pair(r, Tree(dir / Name));
  };
  const auto patched = [&](std::size_t Pos, UInt32 V) {
    Bytes b;
    b.Raw(zoo.bytes);
    b.PutU32(Pos, V);
    return b.str();
  };

  // Only the terminator: nothing, no error.
  auto [r, files] = run(MakeZoo({}).bytes, "empty");
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_TRUE(files.empty());
  // Inconsistent archive header: nothing is listed.
  std::tie(r, files) = run(patched(28, 7), "inconsistent");
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(files.empty());
  // A wrong tag on the second entry.
  std::tie(r, files) = run(patched(zoo.entryAt[1], 0x12345678), "tag");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.errors, std::vector<int>{msg::BadFileHeader});
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"ONE.TXT", "one"}}));
  // A link back to the first entry.
  std::tie(r, files) = run(patched(zoo.entryAt[1] + 6, static_cast<UInt32>(zoo.entryAt[0])), "loop");
  EXPECT_EQ(r.result, 2);
  EXPECT_EQ(r.errors, std::vector<int>{msg::BadFileHeader});
  // A link that reads as negative ends the chain quietly.
  std::tie(r, files) = run(patched(zoo.entryAt[1] + 6, 0x80000000u), "negative");
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(r.errors.empty());
  // Method 3 is unknown: reported, failed, nothing written, the others
  // come out; the tester fails it too.
  std::string m = zoo.bytes;
  m[zoo.entryAt[1] + 5] = 3;
  std::tie(r, files) = run(m, "method");
  EXPECT_EQ(r.result, 2);
  EXPECT_EQ(r.errors, std::vector<int>{msg::UnsupportedMethod});
  EXPECT_FALSE(r.verdicts.at((dir / "method/TWO.TXT").string()));
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"ONE.TXT", "one"}, {"THREE.TXT", "three"}}));
  r = Unpack((dir / "method.zoo").string(), dir / "method", {.test = true});
  EXPECT_EQ(r.result, 2);
  EXPECT_FALSE(r.verdicts.at("TWO.TXT"));
  EXPECT_TRUE(r.Verdict("THREE.TXT"));
  // A data offset and sizes far outside the file.
  std::tie(r, files) = run(patched(zoo.entryAt[2] + 10, 0xFFFFFF00u), "faroff");
  EXPECT_EQ(r.result, 2);
  EXPECT_FALSE(r.Verdict((dir / "faroff/THREE.TXT").string()));
  std::tie(r, files) = run(patched(zoo.entryAt[0] + 20, 0xFFFFFFFFu), "huge");
  EXPECT_FALSE(r.Verdict((dir / "huge/ONE.TXT").string()));
  EXPECT_EQ(files.at("ONE.TXT"), "one");
  EXPECT_EQ(files.at("THREE.TXT"), "three");
}

// Every cut of an archive: the entries wholly before the cut come out
// exactly, a cut inside an entry's data fails its verdict, a cut chain is
// reported, and nothing else happens.
TEST(UnZoo, TruncatedArchives) {
  TempDir dir;
  const std::string text = vsktest::TextBytes(3000, 21);
  const std::vector<ZooItem> items = {
      {"A.TXT", text, 0, "a long.txt", "f"}, {"B.TXT", text, 1}, {"C.TXT", text, 2}};
  const auto zoo = MakeZoo(items);
  const std::map<std::string, std::string> want = {
      {"f/a long.txt", text}, {"B.TXT", text}, {"C.TXT", text}};
  const auto path = dir / "cut.zoo";
  for (std::size_t cut = 0; cut < zoo.bytes.size(); cut += 1 + cut / 40) {
    SCOPED_TRACE(cut);
    WriteFile(path, zoo.bytes.substr(0, cut));
    const auto out = dir / "out";
    fs::remove_all(out);
    const auto r = Unpack(path.string(), out);
    const auto files = Tree(out);
    // An entry is whole with its 58 bytes and its long name and folder.
    std::size_t whole = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
      if (zoo.entryAt[i] + 58 + items[i].longName.size() + items[i].folder.size() <= cut) ++whole;
    // Only the entries that came out whole count.
    std::size_t passes = 0;
    for (const auto& [name, ok] : r.verdicts) passes += ok ? 1 : 0;
    EXPECT_EQ(static_cast<std::size_t>(r.result), passes);
    EXPECT_LE(passes, whole);
    EXPECT_EQ(Count(r.errors, msg::BadFileHeader), cut >= 43 ? 1 : 0);
    for (const auto& [name, data] : files) {
      ASSERT_TRUE(want.count(name)) << name;
      const bool pass = r.Verdict((out / name).string());
      EXPECT_EQ(pass, data == want.at(name)) << name;
    }
  }
  // The entries, checked against unar once.
  EXPECT_EQ(UnarEach(items, dir / "unar"), want);
}

}  // namespace
}  // namespace vsk
