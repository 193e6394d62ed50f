// The lister against ACE archives built here from the header layout (no
// Debian tool writes ACE). lsar recognises the fixtures and checks their
// header CRCs, which shows the headers are laid out as ACE has them.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/records/aceheader.h"
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

std::string Header(Byte type, UInt16 flags, const std::string& body) {
  const std::string counted = std::string(1, static_cast<char>(type)) + Le16(flags) + body;
  return Le16(AceHeaderCrc(reinterpret_cast<const Byte*>(counted.data()), counted.size())) +
         Le16(static_cast<UInt16>(counted.size())) + counted;
}

std::string MainHeader(UInt16 flags = 0, Byte volume = 0, Byte creator = 20, Byte host = 2) {
  std::string body = std::string(kAceMark, kAceMarkSize);
  body += static_cast<char>(20);
  body += static_cast<char>(creator);
  body += static_cast<char>(host);
  body += static_cast<char>(volume);
  body += Le32(kTime) + std::string(8, '\0') + std::string(1, '\0');
  return Header(kAceTypeMain, flags, body);
}

struct AceFile {
  std::string name = {};
  std::string data = {};
  UInt16 flags = 0;
  UInt32 attr = 0x20;
  Byte quality = 2;
  UInt32 original = 0xFFFFFFFF;  // the data's size unless given
  UInt32 crc = 0x12345678;
};

std::string FileHeader(const AceFile& f) {
  const UInt32 orig = f.original == 0xFFFFFFFF ? static_cast<UInt32>(f.data.size()) : f.original;
  std::string body = Le32(static_cast<UInt32>(f.data.size())) + Le32(orig) + Le32(kTime) + Le32(f.attr) +
                     Le32(f.crc) + std::string(1, '\0') + std::string(1, static_cast<char>(f.quality)) + Le16(10) +
                     Le16(0) + Le16(static_cast<UInt16>(f.name.size())) + f.name;
  return Header(kAceTypeFile, static_cast<UInt16>(kAceFlagAddSize | f.flags), body) + f.data;
}

// lsar takes the fixture for ACE and finds no damaged header in it.
void ExpectLsarAccepts(const std::string& archive) {
  const auto out = RunTool("lsar -l " + ShellQuote(archive));
  EXPECT_EQ(out.exitCode, 0) << out.output;
  EXPECT_NE(out.output.find(": Ace"), std::string::npos) << out.output;
  EXPECT_EQ(out.output.find("failed"), std::string::npos) << out.output;
}

const std::string kText = vsktest::TextBytes(1500, 6);
const std::string kBin = vsktest::RandomBytes(4000, 7);

TEST(AceList, EntriesAndTheirProperties) {
  ASSERT_TRUE(vsktest::HaveTool("lsar"));
  TempDir dir;
  const std::string arc = (dir / "t.ace").string();
  const std::string bytes = MainHeader(0, 0, 20, kAceHostUnix) +
                            FileHeader({.name = "dir\\a.txt", .data = kText, .crc = 0xCAFEF00D}) +
                            FileHeader({.name = "b.bin", .data = kBin, .flags = kAceFlagPassword, .quality = 4}) +
                            FileHeader({.name = "dir", .attr = 0x10, .quality = 0}) +
                            FileHeader({.name = "odd.dat", .data = "xyz", .quality = 9});
  WriteFile(arc, bytes);
  ExpectLsarAccepts(arc);
  // A header whose CRC does not match is what lsar would complain of.
  std::string broken = bytes;
  broken[31] ^= 0x55;
  WriteFile(dir / "broken.ace", broken);
  EXPECT_NE(RunTool("lsar -l " + ShellQuote((dir / "broken.ace").string())).output.find("checksum"),
            std::string::npos);

  ListOptions o;
  o.showDirs = true;
  const auto r = ListArchive(arc, o);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.errors.empty());
  ASSERT_EQ(r.entries.size(), 4u);
  EXPECT_EQ(r.numFiles, 3);
  EXPECT_EQ(r.unpackTotal, 1500 + 4000 + 3);
  const auto& a = r.entries[0];
  EXPECT_EQ(a.name, "dir/a.txt");
  EXPECT_EQ(a.offset, 31);
  EXPECT_EQ(a.packed, 1500);
  EXPECT_EQ(a.unpacked, 1500);
  EXPECT_EQ(a.crc, 0xCAFEF00Du);
  EXPECT_EQ(a.methodText, "Normal");
  EXPECT_EQ(a.methodNumber, 2);
  EXPECT_EQ(a.madeBy, 20);
  EXPECT_EQ(a.needed, 20);
  EXPECT_EQ(a.host, kAceHostUnix);
  EXPECT_EQ(a.attr, 0x20u);
  EXPECT_EQ(a.internalAttr, 0x20);
  EXPECT_FALSE(a.encrypted);
  EXPECT_EQ(a.volume, arc);
  EXPECT_EQ(vsktest::DateText(a.date), "2025-04-12 12:00:00");
  EXPECT_EQ(r.entries[1].methodText, "Best");
  EXPECT_TRUE(r.entries[1].encrypted);
  EXPECT_EQ(r.entries[1].offset, static_cast<Int64>(31 + 35 + 9 + 1500));
  EXPECT_EQ(r.entries[2].name, "dir");
  EXPECT_EQ(r.entries[2].filenum, 2);
  EXPECT_EQ(r.entries[2].methodText, "Fastest");
  EXPECT_EQ(r.entries[3].methodText, "Unsupported");
  EXPECT_EQ(r.entries[3].filenum, 3);

  // Behind a self-extractor's program the walk starts where the archive does.
  const auto fromExe = vsktest::ListArchiveBytes((dir / "t.exe").string(), vsktest::SfxStub(20000) + bytes, o);
  ASSERT_EQ(fromExe.type, atAceExe);
  ASSERT_EQ(fromExe.entries.size(), 4u);
  EXPECT_EQ(fromExe.entries[0].offset, 20000 + 31);
  EXPECT_EQ(fromExe.entries[3].name, "odd.dat");

  ListOptions bin;
  bin.spec = {"*.bin"};
  const auto b = ListArchive(arc, bin);
  EXPECT_EQ(b.numFiles, 1);
  EXPECT_EQ(b.readFile.size(), 4u);
  EXPECT_EQ(ListArchive(arc).entries.size(), 3u);  // no folder without ShowEmptyDirs
}

TEST(AceList, SplitFileIsReportedAtItsFirstPart) {
  ASSERT_TRUE(vsktest::HaveTool("lsar"));
  TempDir dir;
  const std::string head = kBin.substr(0, 1000), tail = kBin.substr(1000);
  const std::string first = (dir / "a.ace").string();
  // The chain proposes ".C00"; the volume on disk has a lower-case extension.
  const std::string second = (dir / "a.c00").string();
  WriteFile(first, MainHeader(kAceFlagMultiVolume, 0) + FileHeader({.name = "x.txt", .data = kText}) +
                       FileHeader({.name = "y.bin", .data = head, .flags = kAceFlagSplitAfter, .original = 4000}));
  WriteFile(second, MainHeader(kAceFlagMultiVolume, 1, 21) +
                        FileHeader({.name = "y.bin", .data = tail, .flags = kAceFlagSplitBefore, .original = 4000}) +
                        FileHeader({.name = "z.txt", .data = kText}));
  ExpectLsarAccepts(first);
  ExpectLsarAccepts(second);

  TVorsk v;
  const auto r = ListArchive(v, first);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.errors.empty());
  const std::vector<std::string> seen = {"x.txt", "y.bin", "y.bin", "z.txt"};
  EXPECT_EQ(r.readFile, seen);
  ASSERT_EQ(r.entries.size(), 3u);
  const auto* y = r.Find("y.bin");
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->packed, 1000);
  EXPECT_EQ(y->unpacked, 4000);
  EXPECT_EQ(y->volume, first);
  EXPECT_EQ(y->filenum, 2);
  EXPECT_EQ(r.Find("z.txt")->volume, second);
  EXPECT_EQ(r.Find("z.txt")->madeBy, 21);
  EXPECT_EQ(r.Find("z.txt")->filenum, 3);
  ASSERT_EQ(r.volumesAsked.size(), 1u);
  EXPECT_EQ(r.volumesAsked[0].name, second);
  // Counted once; every part's packed bytes are in the totals.
  EXPECT_EQ(r.numFiles, 3);
  EXPECT_EQ(r.packTotal, 1500 * 2 + 4000);
  EXPECT_EQ(r.unpackTotal, 1500 * 2 + 4000);
  EXPECT_EQ(ListArchive(v, first).VolumeNamesAsked(), r.VolumeNamesAsked());

  // Declined: what the first volume holds is reported, then the walk ends.
  ListOptions decline;
  decline.volumes = VolumePolicy::Decline;
  const auto d = ListArchive(first, decline);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.entries.size(), 2u);
  EXPECT_EQ(d.Find("z.txt"), nullptr);
  EXPECT_EQ(d.errors.back().code, 25443);

  // The second volume alone: the tail of y.bin is seen, not reported.
  ListOptions none;
  none.volumes = VolumePolicy::Unassigned;
  const auto tailOnly = ListArchive(second, none);
  ASSERT_EQ(tailOnly.entries.size(), 1u);
  EXPECT_EQ(tailOnly.entries[0].name, "z.txt");
  EXPECT_EQ(tailOnly.readFile.size(), 2u);
}

TEST(AceList, HostileHeadersNeverLoopOrOverrun) {
  TempDir dir;
  const auto path = (dir / "h.ace").string();
  auto list = [&](const std::string& bytes) { return vsktest::ListArchiveBytes(path, bytes); };
  const std::string good = FileHeader({.name = "a.txt", .data = kText});
  ASSERT_EQ(list(MainHeader() + good).entries.size(), 1u);

  // A name longer than its header, a header too small for its fields.
  std::string longName = good;
  longName[33] = '\x40';
  EXPECT_TRUE(list(MainHeader() + longName + good).readFile.empty());
  std::string small = good;
  small[2] = 10;
  small[3] = 0;
  EXPECT_TRUE(list(MainHeader() + small + good).entries.empty());
  // A header size of 0 would point back at the header itself.
  std::string zero = good;
  zero[2] = zero[3] = 0;
  EXPECT_TRUE(list(MainHeader() + zero).entries.empty());
  // Another header type ends the walk.
  EXPECT_TRUE(list(MainHeader() + Header(2, 0, std::string(40, '\0')) + good).entries.empty());
  // A main header whose size runs past the file.
  std::string mainHuge = MainHeader();
  mainHuge[2] = mainHuge[3] = '\xFF';
  EXPECT_TRUE(list(mainHuge + good).entries.empty());
  // A packed size past the end is reported and ends the walk.
  std::string huge = good;
  for (int i = 7; i < 11; ++i) huge[i] = '\xFF';
  EXPECT_EQ(list(MainHeader() + huge + good).entries.size(), 1u);

  const std::string all = MainHeader() + good + FileHeader({.name = "b.bin", .data = kBin});
  for (std::size_t cut = 1; cut < all.size(); cut += (cut < 200 ? 1 : 89)) EXPECT_TRUE(list(all.substr(0, cut)).ok);
}

}  // namespace
}  // namespace vsk
