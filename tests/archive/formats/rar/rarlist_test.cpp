// The lister against RAR archives built here from the block layout (no
// Debian tool writes RAR); lsar reads each fixture to show it is valid.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "base/checksum.h"
#include "base/records/rarheader.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::Le16;
using vsktest::Le32;
using vsktest::ListArchive;
using vsktest::ListOptions;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::VolumePolicy;
using vsktest::WriteFile;
namespace fs = std::filesystem;

constexpr UInt32 kTime = 0x5A8C6000;  // 2025-04-12 12:00:00

// A block: its head (with the CRC over it) and body.
std::string Block(Byte type, UInt16 flags, const std::string& body) {
  std::string b = std::string(1, static_cast<char>(type)) + Le16(flags) +
                  Le16(static_cast<UInt16>(kRarHeadSize + body.size())) + body;
  return Le16(RarHeaderCrc(reinterpret_cast<const Byte*>(b.data()), b.size())) + b;
}

std::string Marker() { return std::string(reinterpret_cast<const char*>(kRarMarker), kRarMarkerSize); }

std::string MainHeader(UInt16 flags, const std::string& extra = {}) {
  return Block(kRarBlockMain, flags, std::string(6, '\0') + extra);
}

struct RarFile {
  std::string name = {};
  std::string data = {};
  UInt16 flags = 0;
  Byte host = 2;
  UInt32 attr = 0x20;
  Byte method = '0';
  UInt32 unpacked = 0xFFFFFFFF;  // the data's size unless given
  UInt32 crc = 0;                // the data's CRC-32 unless given
};

std::string FileBlock(const RarFile& f) {
  const UInt32 unp = f.unpacked == 0xFFFFFFFF ? static_cast<UInt32>(f.data.size()) : f.unpacked;
  const UInt32 crc = f.crc ? f.crc : Crc32Of(f.data.data(), f.data.size());
  std::string body = Le32(static_cast<UInt32>(f.data.size())) + Le32(unp) + std::string(1, static_cast<char>(f.host)) +
                     Le32(crc) + Le32(kTime) + std::string(1, '\x14') + std::string(1, static_cast<char>(f.method)) +
                     Le16(static_cast<UInt16>(f.name.size())) + Le32(f.attr) + f.name;
  return Block(kRarBlockFile, static_cast<UInt16>(kRarFlagLongBlock | f.flags), body) + f.data;
}

std::string EndBlock() { return Block(kRarBlockEnd, kRarFlagSkipIfUnknown, ""); }

// Names and sizes as `lsar -l` lists them; `lsar -t` must pass every file.
std::map<std::string, Int64> LsarList(const std::string& archive) {
  const auto t = RunTool("lsar -t " + ShellQuote(archive));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_NE(t.output.find(" 0 failed."), std::string::npos) << t.output;
  const auto out = RunTool("lsar -l " + ShellQuote(archive));
  EXPECT_EQ(out.exitCode, 0) << out.output;
  std::map<std::string, Int64> rows;
  std::istringstream in(out.output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string index, flags, ratio, mode, day, time, name;
    Int64 size = 0;
    if (!(ls >> index >> flags >> size >> ratio >> mode >> day >> time) || index.back() != '.') continue;
    std::getline(ls, name);
    name.erase(0, name.find_first_not_of(' '));
    rows[name] = size;
  }
  return rows;
}

const std::string kText = vsktest::TextBytes(1200, 4);
const std::string kBin = vsktest::RandomBytes(3000, 5);

TEST(RarList, BlocksAndEntriesAgreeWithLsar) {
  ASSERT_TRUE(vsktest::HaveTool("lsar"));
  TempDir dir;
  const std::string comment = Block(kRarBlockComment, 0, Le16(5) + "\x0F\x30" + Le16(static_cast<UInt16>(Crc32Of("hello", 5))) + "hello");
  const std::string sub = Block(0x77, kRarFlagLongBlock, Le32(10) + std::string(4, '\0')) + std::string(10, 'x');
  // The main header is longer than its 13 fixed bytes: the first block
  // follows it at its stored size.
  const std::string bytes =
      Marker() + MainHeader(0, std::string(7, '\0')) + FileBlock({.name = "dir\\a.txt", .data = kText}) + comment +
      sub + FileBlock({.name = "b.bin", .data = kBin, .host = kRarHostUnix, .attr = 0x81A4}) +
      FileBlock({.name = "dir", .flags = kRarFileDictionaryMask, .attr = 0x10}) +
      FileBlock({.name = "udir", .flags = kRarFileDictionaryMask, .host = kRarHostUnix, .attr = 0x41ED}) +
      FileBlock({.name = std::string("uni.txt\0\x00\xC0\x05", 11), .data = kText, .flags = kRarFileUnicode}) +
      FileBlock({.name = "secret.txt", .data = kText, .flags = kRarFilePassword, .method = '3'}) + EndBlock() +
      std::string(40, 'z');
  const std::string arc = (dir / "t.rar").string();
  WriteFile(arc, bytes);
  // lsar tests only what it can decode: the stored entries, without the encrypted one.
  {
    const std::string plain = (dir / "plain.rar").string();
    const auto cut = bytes.find(FileBlock({.name = "secret.txt", .data = kText, .flags = kRarFilePassword, .method = '3'}));
    WriteFile(plain, bytes.substr(0, cut) + EndBlock());
    const auto rows = LsarList(plain);
    const std::map<std::string, Int64> expected = {{"dir/a.txt", 1200}, {"b.bin", 3000}, {"dir/", 0},
                                                   {"udir/", 0},       {"uni.txt", 1200}};
    EXPECT_EQ(rows, expected);
  }

  ListOptions o;
  o.showDirs = true;
  const auto r = ListArchive(arc, o);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.errors.empty());
  const std::vector<std::string> seen = {"dir/a.txt", "b.bin", "dir", "udir", "uni.txt", "secret.txt"};
  EXPECT_EQ(r.readFile, seen);
  ASSERT_EQ(r.entries.size(), 6u);
  EXPECT_EQ(r.numFiles, 4);
  EXPECT_EQ(r.unpackTotal, 1200 * 3 + 3000);
  EXPECT_EQ(r.packTotal, 1200 * 3 + 3000);

  const auto& a = r.entries[0];
  EXPECT_EQ(a.name, "dir/a.txt");
  EXPECT_EQ(a.offset, 20 + 7);
  EXPECT_EQ(a.packed, 1200);
  EXPECT_EQ(a.unpacked, 1200);
  EXPECT_EQ(a.crc, Crc32Of(kText.data(), kText.size()));
  EXPECT_EQ(a.methodText, "Stored");
  EXPECT_EQ(a.methodNumber, '0');
  EXPECT_EQ(a.attr, 0x20u);
  EXPECT_EQ(a.madeBy, 20);
  EXPECT_EQ(a.needed, 0);
  EXPECT_EQ(a.host, 2);
  EXPECT_FALSE(a.encrypted);
  EXPECT_EQ(vsktest::DateText(a.date), "2025-04-12 12:00:00");
  EXPECT_EQ(a.filenum, 1);

  const auto& b = r.entries[1];
  EXPECT_EQ(b.name, "b.bin");
  EXPECT_EQ(b.attr, 0x20u);  // a Unix mode becomes the DOS file attribute
  EXPECT_EQ(b.host, kRarHostUnix);
  EXPECT_EQ(b.filenum, 2);

  // Folders carry a trailing separator, are reported without being counted.
  EXPECT_EQ(r.entries[2].name, "dir/");
  EXPECT_EQ(r.entries[2].methodText, "<Dir>");
  EXPECT_EQ(r.entries[2].attr, 0x10u);
  EXPECT_EQ(r.entries[2].filenum, 2);
  EXPECT_EQ(r.entries[3].name, "udir/");
  EXPECT_EQ(r.entries[3].attr, 0x10u);

  // The name ends at its NUL; the Unicode form after it is not part of it.
  EXPECT_EQ(r.entries[4].name, "uni.txt");
  EXPECT_TRUE(r.entries[5].encrypted);
  EXPECT_EQ(r.entries[5].methodText, "Normal");
  EXPECT_EQ(r.entries[5].filenum, 4);

  // Behind a self-extractor's program the walk starts where the archive does.
  const auto fromExe = vsktest::ListArchiveBytes((dir / "t.exe").string(), vsktest::SfxStub(20000) + bytes, o);
  ASSERT_EQ(fromExe.type, atRarExe);
  ASSERT_EQ(fromExe.entries.size(), 6u);
  EXPECT_EQ(fromExe.entries[0].offset, 20000 + 27);
  EXPECT_EQ(fromExe.readFile, r.readFile);

  ListOptions masks;
  masks.spec = {"*.txt"};
  const auto txt = ListArchive(arc, masks);
  EXPECT_EQ(txt.numFiles, 3);
  EXPECT_EQ(txt.readFile.size(), 6u);
  masks.spec = {};
  EXPECT_EQ(ListArchive(arc, masks).numFiles, 0);
}

struct VolumeSet {
  std::string first, second;
};

// a.txt and the head of b.bin in the first volume; the tail of b.bin and
// c.txt in the second.
VolumeSet TwoVolumes(const TempDir& dir, const std::string& firstName, const std::string& secondName,
                     UInt16 mainFlags) {
  const std::string head = kBin.substr(0, 1000), tail = kBin.substr(1000);
  const UInt32 crc = Crc32Of(kBin.data(), kBin.size());
  const std::string v1 =
      Marker() + MainHeader(mainFlags | kRarMainVolume | kRarMainFirstVolume) +
      FileBlock({.name = "a.txt", .data = kText}) +
      FileBlock({.name = "b.bin",
                 .data = head,
                 .flags = kRarFileSplitAfter,
                 .unpacked = 3000,
                 .crc = Crc32Of(head.data(), head.size())});
  const std::string v2 = Marker() + MainHeader(mainFlags | kRarMainVolume) +
                         FileBlock({.name = "b.bin", .data = tail, .flags = kRarFileSplitBefore, .unpacked = 3000,
                                    .crc = crc}) +
                         FileBlock({.name = "c.txt", .data = kText}) + EndBlock();
  VolumeSet s{(dir / firstName).string(), (dir / secondName).string()};
  WriteFile(s.first, v1);
  WriteFile(s.second, v2);
  return s;
}

void ExpectSplitOnce(const vsktest::ListResult& r, const VolumeSet& s) {
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.errors.empty());
  ASSERT_EQ(r.entries.size(), 3u);
  // Both parts of b.bin are seen, one is reported.
  EXPECT_EQ(r.readFile.size(), 4u);
  EXPECT_EQ(r.numFiles, 3);
  const auto* b = r.Find("b.bin");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->packed, 3000);
  EXPECT_EQ(b->unpacked, 3000);
  EXPECT_EQ(b->crc, Crc32Of(kBin.data(), kBin.size()));
  EXPECT_EQ(b->filenum, 2);
  EXPECT_EQ(b->volume, s.second);
  EXPECT_EQ(b->offset, 20);
  EXPECT_EQ(r.Find("a.txt")->volume, s.first);
  EXPECT_EQ(r.Find("c.txt")->volume, s.second);
  EXPECT_EQ(r.packTotal, 1200 * 2 + 3000);
  EXPECT_EQ(r.unpackTotal, 1200 * 2 + 3000);
  ASSERT_EQ(r.volumesAsked.size(), 1u);
}

TEST(RarList, VolumeChainsReportASplitFileOnce) {
  ASSERT_TRUE(vsktest::HaveTool("lsar"));
  TempDir dir;
  // The old numbering, the next volume's extension in another case.
  const auto old = TwoVolumes(dir, "a.rar", "a.R00", 0);
  const auto r = ListArchive(old.first);
  ExpectSplitOnce(r, old);
  EXPECT_EQ(r.volumesAsked[0].name, old.second);
  fs::rename(old.second, dir / "a.r00");
  const std::map<std::string, Int64> expected = {{"a.txt", 1200}, {"b.bin", 3000}, {"c.txt", 1200}};
  EXPECT_EQ(LsarList(old.first), expected);

  // The new numbering.
  const auto parts = TwoVolumes(dir, "x.part1.rar", "x.part2.rar", kRarMainNewNumbering);
  TVorsk v;
  ExpectSplitOnce(ListArchive(v, parts.first), parts);
  EXPECT_EQ(LsarList(parts.first), expected);
  // A second run on the same component starts the chain afresh.
  ExpectSplitOnce(ListArchive(v, parts.first), parts);

  // Declining the volume ends the walk; the split file is not reported.
  ListOptions decline;
  decline.volumes = VolumePolicy::Decline;
  const auto d = ListArchive(parts.first, decline);
  EXPECT_TRUE(d.ok);
  ASSERT_EQ(d.entries.size(), 1u);
  EXPECT_EQ(d.numFiles, 1);
  EXPECT_EQ(d.errors.back().code, 25443);

  // With nothing counted yet, the file is counted with the parts read.
  ListOptions onlyB = decline;
  onlyB.spec = {"b.bin"};
  const auto first = ListArchive(parts.first, onlyB);
  EXPECT_TRUE(first.entries.empty());
  EXPECT_EQ(first.numFiles, 1);
  EXPECT_EQ(first.unpackTotal, 3000);

  ListOptions none;
  none.volumes = VolumePolicy::Unassigned;
  const auto n = ListArchive(parts.first, none);
  EXPECT_EQ(n.entries.size(), 1u);
  ASSERT_FALSE(n.errors.empty());
  EXPECT_EQ(n.errors[0].code, 25270);
  EXPECT_EQ(n.errors[0].text, "OnNextVolume");

  // A next volume too short for its main header is a read error.
  WriteFile(parts.second, Marker() + "\x01\x02");
  const auto s = ListArchive(parts.first);
  EXPECT_FALSE(s.ok);
  EXPECT_EQ(s.errors.back().code, 25236);
  EXPECT_EQ(s.numFiles, 1);
  // One that is no RAR volume is a bad header.
  WriteFile(parts.second, std::string(64, 'q'));
  const auto q = ListArchive(parts.first);
  EXPECT_TRUE(q.ok);
  EXPECT_EQ(q.errors.back().code, 25110);
}

TEST(RarList, HostileBlocksNeverLoopOrOverrun) {
  TempDir dir;
  const auto path = (dir / "h.rar").string();
  auto list = [&](const std::string& bytes) { return vsktest::ListArchiveBytes(path, bytes); };
  const std::string start = Marker() + MainHeader(0);
  const std::string good = FileBlock({.name = "a.txt", .data = kText});

  // A head size of 0 or below the head, and a block without the long flag, end the walk.
  std::string zero = good;
  zero[5] = zero[6] = 0;
  EXPECT_TRUE(list(start + zero + good).entries.empty());
  std::string shortHead = good;
  shortHead[5] = 3;
  shortHead[6] = 0;
  EXPECT_TRUE(list(start + shortHead + good).entries.empty());
  const auto unknown = list(start + Block(0x79, 0, std::string(4, '\0')) + good);
  EXPECT_TRUE(unknown.entries.empty());

  // A file head too short for its fields or for its name.
  EXPECT_TRUE(list(start + Block(kRarBlockFile, kRarFlagLongBlock, std::string(20, '\0')) + good).entries.empty());
  std::string longName = good;
  longName[7 + 19] = '\x7F';  // the name size
  const auto ln = list(start + longName);
  EXPECT_TRUE(ln.entries.empty());
  EXPECT_TRUE(ln.readFile.empty());

  // Data sizes past the end, in file and other blocks.
  std::string huge = good;
  for (int i = 7; i < 11; ++i) huge[i] = '\xFF';
  const auto h = list(start + huge + good);
  ASSERT_EQ(h.entries.size(), 1u);
  EXPECT_EQ(h.entries[0].packed, 0xFFFFFFFFll);
  EXPECT_EQ(list(start + Block(0x7A, kRarFlagLongBlock, Le32(0xFFFFFFF0)) + good).entries.size(), 0u);

  // A main header of another type or cut short ends the walk at once.
  EXPECT_TRUE(list(Marker() + Block(0x74, 0, std::string(6, '\0')) + good).entries.empty());

  // Every truncation of a small archive.
  const std::string all = start + good + FileBlock({.name = "b.bin", .data = kBin}) + EndBlock();
  ASSERT_EQ(list(all).entries.size(), 2u);
  for (std::size_t cut = 1; cut < all.size(); cut += (cut < 200 ? 1 : 97)) EXPECT_TRUE(list(all.substr(0, cut)).ok);
}

// Names stored in Unicode: the encoded form after the NUL, each opcode once.
TEST(RarList, UnicodeNamesDecode) {
  auto decode = [](const std::string& stored, bool unicode = true) {
    return DecodeRarName(reinterpret_cast<const Byte*>(stored.data()), stored.size(), unicode);
  };
  // High byte 0; low bytes (op 0) for "\u00E9t\u00E9", then a run of four
  // characters of the plain name (op 3).
  EXPECT_EQ(decode(std::string("xtx.txt\0\x00\x03\xE9t\xE9\x02", 14)), "\xC3\xA9t\xC3\xA9.txt");
  // High byte 0x4E: op 1 (0x4E2D), op 2 (0x6587), op 3 (two plain characters), op 0.
  EXPECT_EQ(decode(std::string("ab.tx\0\x4E\x6C\x2D\x87\x65\x00z", 13)), "\xE4\xB8\xAD\xE6\x96\x87.tz");
  // Without a NUL the name is UTF-8 already; without the flag it is as stored.
  EXPECT_EQ(decode("\xC3\xA9.txt"), "\xC3\xA9.txt");
  EXPECT_EQ(decode(std::string("plain\0\x00\x00a", 9), false), "plain");
  // Cut-off encodings stop at what they hold.
  const std::string full("xtx.txt\0\x00\x03\xE9t\xE9\x02", 14);
  for (std::size_t n = 8; n < full.size(); ++n) EXPECT_LE(decode(full.substr(0, n)).size(), 10u);
}

}  // namespace
}  // namespace vsk
