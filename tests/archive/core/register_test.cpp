#include "archive/core/register.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "base/errors.h"
#include "archive/core/fileprims.h"
#include "archive/core/zipcrypt.h"
#include "tests/platform/pe_builder.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::HaveTool;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::TempDir;
using vsktest::WriteFile;

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(UInt32 v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

// Writes Data into Image at Offset, growing it with zeros as needed.
void Place(std::string& Image, std::size_t Offset, const std::string& Data) {
  if (Image.size() < Offset + Data.size()) Image.resize(Offset + Data.size(), '\0');
  Image.replace(Offset, Data.size(), Data);
}

// An MZ header whose DOS image ends at ImageEnd (0: no usable image end),
// padded with zeros to Size bytes.
std::string MzStub(std::size_t Size, unsigned ImageEnd = 0) {
  std::string s(std::max<std::size_t>(Size, 64), '\0');
  s[0] = 'M';
  s[1] = 'Z';
  if (ImageEnd > 0) {
    Place(s, 2, Le16(ImageEnd % 512));
    Place(s, 4, Le16(ImageEnd / 512 + 1));
  }
  return s;
}

std::string AceHeader() {
  // CRC, size, type, flags, then the mark at offset 7.
  return std::string("\x3A\x9C\x1F\x00\x00\x00\x90", 7) + "**ACE**" + std::string(20, '\x01');
}

struct Detected {
  TArcType type = atNA;
  Int64 offset = 0;
  Byte flags = 0;
};

Detected Detect(const std::string& Path) {
  TRegisterVorsk r;
  Detected d;
  d.type = r.DetectArcType(Path);
  d.offset = r.ArcOffset;
  d.flags = r.ZipRecFlags;
  return d;
}

// The end record at the very end of a zip without comment.
TZipEndRecord EndRecordOf(const std::string& Zip) {
  return TZipEndRecord::Parse(reinterpret_cast<const Byte*>(Zip.data()) + Zip.size() - TZipEndRecord::Size);
}

void RunOk(const std::string& Command, const TempDir& Dir) {
  const auto r = RunTool(Command, Dir.path());
  ASSERT_EQ(r.exitCode, 0) << Command << "\n" << r.output;
}

TEST(DetectArcType, FirstBytesOfHandBuiltHeaders) {
  TempDir dir;
  const std::string pad(40, '\0');
  struct Case {
    const char* name;
    std::string bytes;
    TArcType type;
    Int64 offset;
  } cases[] = {
      {"short", std::string("PK\x03\x04", 4) + std::string(15, '\0'), atNA, -1},
      {"min.zip", std::string("PK\x03\x04", 4) + std::string(16, '\0'), atZip, 0},
      {"span.zip", std::string("PK\x07\x08", 4) + pad, atZipMV, 0},
      {"central.zip", std::string("PK\x01\x02", 4) + pad, atZipMV, 0},
      {"pkg5", "PKG5" + pad, atUnknown, -1},
      {"a.rar", std::string("Rar!\x1A\x07\x00", 7) + pad, atRar, 0},
      {"a.ace", AceHeader(), atAce, 0},
      {"a.bh", std::string("BH\x05\x07", 4) + pad, atBh, 0},
      {"a.zoo", "ZOO 2.10 Archive.\x1A" + pad, atZoo, 0},
      {"a.ha", "HA\x02\x00" + pad, atHA, 0},
      {"a.msgz", std::string("\x13\x5D\x65\x8C", 4) + pad, atMsGZ, 0},
      {"a.arc", std::string("\x1A\x08", 2) + "name" + pad, atArc, 0},
      {"a.pak", std::string("\x1A\x0A", 2) + "name" + pad, atPak, 0},
      {"a.lzh", std::string("\x22\x5A-lh5-", 7) + pad, atLha, 0},
      {"gz", std::string("\x1F\x8B\x08\x00", 4) + pad, atGZip, 0},
      // An LHA header behind 128 bytes of zeros.
      {"mac.lzh", std::string(130, '\0') + "-lh5-" + std::string(200, 'x'), atLha, 128},
      {"zeros", std::string(200, '\0'), atNA, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / c.name, c.bytes);
    const Detected d = Detect((dir / c.name).string());
    EXPECT_EQ(d.type, c.type);
    if (c.offset >= 0) {
      EXPECT_EQ(d.offset, c.offset);
    }
  }

  // "PKG5" is refused before anything else: no offset correction, no date.
  TRegisterVorsk r;
  EXPECT_EQ(r.DetectArcType((dir / "pkg5").string()), atUnknown);
  EXPECT_EQ(r.ArcOffset, -1);
  EXPECT_EQ(r.ArcDate, 0u);
  EXPECT_EQ(r.ArcSize, 44);
}

TEST(DetectArcType, ArchivesWrittenByOtherTools) {
  for (const char* tool : {"zip", "7z", "bsdtar", "gzip", "compress", "tar", "arj", "gcab", "uuencode"})
    ASSERT_TRUE(HaveTool(tool)) << tool;
  TempDir dir;
  WriteFile(dir / "f.txt", vsktest::TextBytes(3000, 5));
  WriteFile(dir / "g.bin", vsktest::RandomBytes(2000, 9));

  struct Case {
    const char* file;
    std::string command;
    TArcType type;
    Int64 offset;  // -1: the zip's central directory
  } cases[] = {
      {"z.zip", "zip -q z.zip f.txt g.bin", atZip, -1},
      {"e.zip", "zip -q -P pw e.zip f.txt", atZip, -1},
      {"x.JAR", "zip -q x.JAR f.txt", atJar, -1},
      {"s.zip", "7z a -bd -tzip s.zip f.txt", atZip, -1},
      {"s.tar", "7z a -bd -ttar s.tar f.txt", atTar, 0},
      {"s.gz", "7z a -bd -tgzip s.gz f.txt", atGZip, 0},
      {"b.tar", "bsdtar -cf b.tar f.txt g.bin", atTar, 0},
      {"b.zip", "bsdtar --format zip -cf b.zip f.txt", atZip, -1},
      {"f.gz", "gzip -c f.txt > f.gz", atGZip, 0},
      {"f.Z", "compress -c f.txt > f.Z", atGZip, 0},
      {"t.tar", "tar -cf t.tar f.txt", atTar, 0},
      {"l.tar", "tar --label=VOLUME1 -cf l.tar f.txt", atTar, 512},
      {"a.arj", "arj a -y a.arj f.txt", atArj, 0},
      {"c.cab", "gcab -c c.cab f.txt g.bin", atCab, 0},
      {"f.uue", "uuencode f.txt f.txt > f.uue", atUUE, 1},
      {"m.uue", "uuencode -m f.txt f.txt > m.uue", atUUE, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    RunOk(c.command, dir);
    const std::string path = (dir / c.file).string();
    TRegisterVorsk r;
    r.SetArchiveFile(path);
    EXPECT_EQ(r.ArcType(), c.type);
    EXPECT_EQ(r.ArchiveFile(), path);
    if (c.offset >= 0) {
      EXPECT_EQ(r.ArcOffset, c.offset);
      continue;
    }
    const std::string zip = ReadFile(path);
    const TZipEndRecord end = EndRecordOf(zip);
    EXPECT_EQ(r.ArcOffset, end.CentralDirOffset);
    EXPECT_EQ(r.ZipRecFlags, kZipLocalFound | kZipCentralFound | kZipEndFound);
    EXPECT_EQ(r.ZipEndRec, end);
    EXPECT_EQ(r.ZipOffsetShift, 0);
    EXPECT_EQ(r.ZipCommentPos, 0);
    EXPECT_EQ(r.ZipCentralRec.Signature, kZipCentralSignature);
    EXPECT_EQ(r.ZipCentralRec.LocalHeaderOffset, 0u);
    EXPECT_EQ(r.ZipLocalRec.Signature, kZipLocalSignature);
    EXPECT_EQ(r.ZipLocalRec.FileNameLength, 5);
  }

  // The archive comment.
  RunOk("zip -q zc.zip f.txt && echo 'a comment' | zip -q -z zc.zip", dir);
  TRegisterVorsk r;
  EXPECT_EQ(r.DetectArcType((dir / "zc.zip").string()), atZip);
  EXPECT_EQ(r.ZipEndRec.CommentLength, 9);
  EXPECT_EQ(r.ZipCommentPos, r.ArcSize - 9);
}

TEST(DetectArcType, SplitZipSets) {
  ASSERT_TRUE(HaveTool("zip"));
  TempDir dir;
  WriteFile(dir / "g.bin", vsktest::RandomBytes(150000, 4));
  RunOk("zip -q -s 64k sp.zip g.bin", dir);
  TRegisterVorsk first;
  EXPECT_EQ(first.DetectArcType((dir / "sp.z01").string()), atZipMV);
  TRegisterVorsk last;
  EXPECT_EQ(last.DetectArcType((dir / "sp.zip").string()), atZipMV);
  EXPECT_EQ(last.ZipEndRec.DiskNumber, 2);
  EXPECT_EQ(last.ArcOffset, last.ZipEndRec.CentralDirOffset);
  EXPECT_TRUE(last.ZipRecFlags & kZipCentralFound);

  // A last part that happens to start at a local header is a part all the same.
  std::string part = ReadFile(dir / "sp.zip");
  std::string local = ReadFile(dir / "sp.z01").substr(4, 30 + 5);
  part = local + part;
  WriteFile(dir / "shifted.zip", part);
  TRegisterVorsk shifted;
  EXPECT_EQ(shifted.DetectArcType((dir / "shifted.zip").string()), atZipMV);
}

TEST(DetectArcType, ZipBehindStubs) {
  ASSERT_TRUE(HaveTool("zip"));
  TempDir dir;
  WriteFile(dir / "f.txt", vsktest::TextBytes(3000, 2));
  RunOk("zip -q plain.zip f.txt", dir);
  const std::string zip = ReadFile(dir / "plain.zip");
  const TZipEndRecord end = EndRecordOf(zip);

  // A DOS stub whose image ends where the zip begins, offsets not adjusted:
  // the directory is found before the end record and the shift computed.
  const std::string stub = MzStub(1024, 1024);
  WriteFile(dir / "raw.exe", stub + zip);
  TRegisterVorsk raw;
  EXPECT_EQ(raw.DetectArcType((dir / "raw.exe").string()), atZipExe);
  EXPECT_EQ(raw.ArcOffset, 1024 + end.CentralDirOffset);
  EXPECT_EQ(raw.ZipOffsetShift, 1024);
  EXPECT_EQ(raw.ZipRecFlags, kZipLocalFound | kZipCentralFound | kZipEndFound);

  // zip -A adjusts the offsets: no shift then.
  WriteFile(dir / "sfx.exe", stub + zip);
  RunOk("zip -q -A sfx.exe", dir);
  const std::string adjusted = ReadFile(dir / "sfx.exe");
  TRegisterVorsk sfx;
  EXPECT_EQ(sfx.DetectArcType((dir / "sfx.exe").string()), atZipExe);
  EXPECT_EQ(sfx.ArcOffset, EndRecordOf(adjusted).CentralDirOffset);
  EXPECT_EQ(sfx.ArcOffset, 1024 + end.CentralDirOffset);
  EXPECT_EQ(sfx.ZipOffsetShift, 0);
  EXPECT_EQ(sfx.ZipCentralRec.LocalHeaderOffset, 1024u);

  // A script in front, no executable: typed by its end record.
  WriteFile(dir / "script.zip", "#!/bin/sh\nexit 0\n" + zip);
  TRegisterVorsk script;
  EXPECT_EQ(script.DetectArcType((dir / "script.zip").string()), atZip);
  EXPECT_EQ(script.ZipOffsetShift, 17);
  EXPECT_EQ(script.ArcOffset, 17 + end.CentralDirOffset);
}

TEST(DetectArcType, ExecutableProbes) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string image;
    TArcType type;
    Int64 offset;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, std::string image, TArcType type, Int64 offset) {
    cases.push_back({name, std::move(image), type, offset});
  };
  const std::string pk = std::string("PK\x03\x04", 4);
  std::string img;

  img = MzStub(9000);
  Place(img, 7612, pk);
  add("zip7612", img, atZipExe, 7612);
  img = MzStub(26000);
  Place(img, 25661, pk);
  add("zip25661", img, atZipExe, 25661);
  img = MzStub(7000);
  Place(img, 6674, "\x1A\x08");
  add("arc6674", img, atArcExe, 6674);
  img = MzStub(9000);
  Place(img, 8601, "\x1A\x0B");
  add("pak8601", img, atPakExe, 8601);
  img = MzStub(14000);
  Place(img, 13138, "\x1A\x09");
  add("arc13138", img, atArcExe, 13138);
  img = MzStub(3000);
  Place(img, 1945, "\x22\x5A-lh5-");
  add("lha1945", img, atLhaExe, 1945);

  // Behind the DOS image.
  img = MzStub(5000, 2000);
  Place(img, 2000, "Rar!\x1A\x07");
  add("rar-overlay", img, atRarExe, 2000);
  img = MzStub(5000, 2000);
  Place(img, 2002, "\x60\xEA\x20\x00");
  add("arj-overlay", img, atArjExe, 2002);

  // Found by scanning from 17000.
  img = MzStub(60000);
  Place(img, 20000, "Rar!\x1A\x07");
  add("rar-scan", img, atRarExe, 20000);
  img = MzStub(80000);
  Place(img, 57000, std::string("BH\x05\x07", 4));
  add("bh-scan", img, atBhExe, 57000);
  img = MzStub(40000);
  Place(img, 30000, AceHeader());
  add("ace-scan", img, atAceExe, 30000);
  img = MzStub(40000);
  Place(img, 25000, "\x22\x5A-lh5-");
  add("lha-scan", img, atLhaExe, 25000);
  img = MzStub(40000);
  Place(img, 21000, std::string("\x60\xEA\x14\x00", 4));
  Place(img, 21030, "\x60\xEA");
  add("arj-scan", img, atArjExe, 21000);
  img = MzStub(40000);
  Place(img, 22000, pk + "\x14");
  add("zip-scan", img, atZipExe, 22000);
  // A header across the boundary of two scanned blocks.
  img = MzStub(60000);
  Place(img, 17000 + 32766, "Rar!\x1A\x07");
  add("rar-straddle", img, atRarExe, 17000 + 32766);
  // An ARJ header whose second mark would lie past the end of the file,
  // where an earlier block held one: nothing is found.
  img = MzStub(17000 + 32768 + 1000);
  Place(img, 17000 + 2000, std::string("\x60\xEA\xFF\x7F", 4));
  Place(img, 17000 + 32768 + 996, std::string("\x60\xEA\xE2\x03", 4));
  add("arj-stale", img, atNA, 0);
  add("plain-exe", MzStub(30000), atNA, 0);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / c.name, c.image);
    TRegisterVorsk r;
    EXPECT_EQ(r.DetectArcType((dir / c.name).string()), c.type);
    if (c.type != atNA) {
      EXPECT_EQ(r.ArcOffset, c.offset);
    }
  }

  // The fixed-offset probe decides without looking any further.
  TRegisterVorsk r;
  r.SetArchiveFile((dir / "zip7612").string());
  EXPECT_EQ(r.ArcType(), atZipExe);
  EXPECT_EQ(r.ZipRecFlags, 0);
  EXPECT_NE(r.ArcDate, 0u);
}

TEST(DetectArcType, ResourceNamedOffsets) {
  ASSERT_TRUE(HaveTool("zip"));
  TempDir dir;
  WriteFile(dir / "f.txt", vsktest::TextBytes(2000, 8));
  RunOk("zip -q z.zip f.txt", dir);
  const std::string zip = ReadFile(dir / "z.zip");

  const std::string pe = vsktest::BuildPe({{1, "20000"}}, 20000);
  WriteFile(dir / "ace.exe", pe + AceHeader());
  WriteFile(dir / "zip.exe", pe + zip);
  WriteFile(dir / "cab.exe", pe + "MSCF" + std::string(40, '\0'));
  // Strings that are no usable offset end the probe; the scan still finds
  // the archive.
  WriteFile(dir / "text.exe", vsktest::BuildPe({{1, "abc"}}, 20000) + AceHeader());
  WriteFile(dir / "big.exe", vsktest::BuildPe({{1, "99999999"}}, 20000) + AceHeader());
  // The first string points at nothing, the second at the archive.
  WriteFile(dir / "second.exe", vsktest::BuildPe({{1, "100"}, {2, "20000"}}, 20000) + AceHeader());

  EXPECT_EQ(Detect((dir / "ace.exe").string()).type, atAceExe);
  EXPECT_EQ(Detect((dir / "ace.exe").string()).offset, 20000);
  TRegisterVorsk z;
  EXPECT_EQ(z.DetectArcType((dir / "zip.exe").string()), atZipExe);
  EXPECT_EQ(z.ZipOffsetShift, 20000);
  EXPECT_EQ(z.ArcOffset, 20000 + EndRecordOf(zip).CentralDirOffset);
  // A cabinet inside an executable is no self-extractor of ours.
  EXPECT_EQ(Detect((dir / "cab.exe").string()).type, atUnsupported);
  for (const char* name : {"text.exe", "big.exe", "second.exe"}) {
    SCOPED_TRACE(name);
    const Detected d = Detect((dir / name).string());
    EXPECT_EQ(d.type, atAceExe);
    EXPECT_EQ(d.offset, 20000);
  }

  // Damaged images are no self-extractors but never crash detection.
  const std::string good = ReadFile(dir / "ace.exe");
  std::mt19937 rng(99);
  for (int i = 0; i < 150; ++i) {
    std::string bad = good;
    for (int f = 0; f < 4; ++f) bad[rng() % 0x500] = static_cast<char>(rng() & 0xFF);
    bad[0] = 'M';
    bad[1] = 'Z';
    WriteFile(dir / "bad.exe", bad);
    const Detected d = Detect((dir / "bad.exe").string());
    if (d.type == atAceExe) {
      EXPECT_EQ(d.offset, 20000);
    }
  }
}

TEST(DetectArcType, LocatesTheEndRecord) {
  TempDir dir;
  const std::string endSig = std::string("PK\x05\x06", 4);

  // An archive without entries is a lone end record, found at byte 0.
  WriteFile(dir / "empty.zip", endSig + std::string(18, '\0'));
  TRegisterVorsk e;
  EXPECT_EQ(e.DetectArcType((dir / "empty.zip").string()), atZip);
  EXPECT_TRUE(e.ZipRecFlags & kZipEndFound);
  EXPECT_EQ(e.ZipEndRec.Signature, kZipEndSignature);
  EXPECT_EQ(e.ZipCommentPos, 0);
  WriteFile(dir / "comment.zip", endSig + std::string(16, '\0') + Le16(3) + "abc");
  EXPECT_EQ(e.DetectArcType((dir / "comment.zip").string()), atZip);
  EXPECT_EQ(e.ZipCommentPos, 22);

  // A central record behind text, with its end record: typed by the end
  // record, a disk number other than 0 meaning a multi-volume part.
  auto centralZip = [&](unsigned disk) {
    std::string s(100, 'x');
    TZipCentralRecord c;
    c.Signature = kZipCentralSignature;
    c.FileNameLength = 1;
    std::string rec(46, '\0');
    c.Serialize(reinterpret_cast<Byte*>(rec.data()));
    s += rec + "a";
    TZipEndRecord end;
    end.Signature = kZipEndSignature;
    end.DiskNumber = static_cast<UInt16>(disk);
    end.CentralDirDisk = static_cast<UInt16>(disk);
    end.EntriesOnDisk = end.EntriesTotal = 1;
    end.CentralDirSize = 47;
    end.CentralDirOffset = 100;
    std::string er(22, '\0');
    end.Serialize(reinterpret_cast<Byte*>(er.data()));
    return s + er;
  };
  WriteFile(dir / "disk0", centralZip(0));
  WriteFile(dir / "disk3", centralZip(3));
  EXPECT_EQ(Detect((dir / "disk0").string()).type, atZip);
  EXPECT_EQ(Detect((dir / "disk0").string()).offset, 100);
  EXPECT_EQ(Detect((dir / "disk3").string()).type, atZipMV);

  // A fake end record inside the comment: the one whose comment runs to the
  // end of the file wins over the one nearer the end.
  std::string real = centralZip(0);
  const std::string fake = endSig + Le16(7) + Le16(7) + Le16(9) + Le16(9) + Le32(1) + Le32(2) + Le16(0);
  const std::string comment = "note " + fake + " more";
  Place(real, real.size() - 2, Le16(static_cast<unsigned>(comment.size())));
  WriteFile(dir / "fake.zip", real + comment);
  TRegisterVorsk f;
  EXPECT_EQ(f.DetectArcType((dir / "fake.zip").string()), atZip);
  EXPECT_EQ(f.ZipEndRec.EntriesTotal, 1);
  EXPECT_EQ(f.ArcOffset, 100);
  EXPECT_EQ(f.ZipCommentPos, static_cast<Int64>(real.size()));
  // When no record reaches the end, the one nearest the end is taken.
  WriteFile(dir / "trail.zip", centralZip(0) + fake + "trailing");
  EXPECT_EQ(f.DetectArcType((dir / "trail.zip").string()), atNA);
  EXPECT_EQ(f.ZipEndRec.EntriesTotal, 9);

  // Offsets and sizes far outside the file are short reads.
  const std::string hostile = endSig + Le16(0) + Le16(0) + Le16(1) + Le16(1) + Le32(0xFFFFFFFFu) +
                              Le32(0xFFFFFFF0u) + Le16(0);
  WriteFile(dir / "hostile.zip", std::string("PK\x03\x04", 4) + std::string(60, '\0') + hostile);
  TRegisterVorsk h;
  EXPECT_EQ(h.DetectArcType((dir / "hostile.zip").string()), atZip);
  EXPECT_EQ(h.ArcOffset, 0);
  EXPECT_EQ(h.ZipRecFlags, kZipLocalFound | kZipEndFound);
  WriteFile(dir / "hostile2", std::string(64, 'y') + hostile);
  EXPECT_EQ(Detect((dir / "hostile2").string()).type, atNA);
}

TEST(DetectArcType, LocalHeaderWalkWithoutDirectory) {
  ASSERT_TRUE(HaveTool("zip"));
  TempDir dir;
  WriteFile(dir / "f.txt", vsktest::TextBytes(3000, 6));
  RunOk("zip -q z.zip f.txt", dir);
  std::string zip = ReadFile(dir / "z.zip");
  const TZipEndRecord end = EndRecordOf(zip);
  zip[end.CentralDirOffset + 2] = 'X';  // the directory is damaged

  for (std::size_t prefix : {std::size_t{50}, std::size_t{32766}}) {
    SCOPED_TRACE(prefix);
    WriteFile(dir / "d.zip", std::string(prefix, 'x') + zip);
    TRegisterVorsk r;
    EXPECT_EQ(r.DetectArcType((dir / "d.zip").string()), atZip);
    EXPECT_EQ(r.ArcOffset, static_cast<Int64>(prefix));
    EXPECT_EQ(r.ZipRecFlags, kZipLocalFound);
  }
  // Starting at the local header itself.
  WriteFile(dir / "d0.zip", zip);
  TRegisterVorsk r;
  EXPECT_EQ(r.DetectArcType((dir / "d0.zip").string()), atZip);
  EXPECT_EQ(r.ArcOffset, 0);
  EXPECT_EQ(r.ZipRecFlags, kZipLocalFound);
}

TEST(DetectArcType, EncryptedHeaderRecords) {
  // One stored entry with "PL" records, enciphered under the header key.
  TZipCrypt crypt;
  const std::string name = "a.txt";
  const std::string data = "hello";
  TZipLocalHeader lh;
  lh.Signature = kZipLocalSignatureEnc;
  lh.VersionNeeded = 20;
  lh.Crc32 = 0x3610A686u;
  lh.PackedSize = lh.UnpackedSize = 5;
  lh.FileNameLength = 5;
  std::string local(30, '\0');
  lh.Serialize(reinterpret_cast<Byte*>(local.data()));
  std::string encName = name;
  crypt.EncryptZipHeader(reinterpret_cast<Byte*>(local.data()), kZipLocalKind);
  crypt.EncryptZipHeaderCont(encName.data(), encName.size());

  TZipCentralRecord ch;
  ch.Signature = kZipCentralSignatureEnc;
  ch.VersionMadeBy = ch.VersionNeeded = 20;
  ch.Crc32 = lh.Crc32;
  ch.PackedSize = ch.UnpackedSize = 5;
  ch.FileNameLength = 5;
  ch.ExternalAttr = 0x20;
  std::string central(46, '\0');
  ch.Serialize(reinterpret_cast<Byte*>(central.data()));
  std::string encName2 = name;
  crypt.EncryptZipHeader(reinterpret_cast<Byte*>(central.data()), kZipCentralKind);
  crypt.EncryptZipHeaderCont(encName2.data(), encName2.size());

  TZipEndRecord er;
  er.Signature = kZipEndSignatureEnc;
  er.EntriesOnDisk = er.EntriesTotal = 1;
  er.CentralDirSize = 51;
  er.CentralDirOffset = 40;
  std::string endRec(22, '\0');
  er.Serialize(reinterpret_cast<Byte*>(endRec.data()));
  crypt.EncryptZipHeader(reinterpret_cast<Byte*>(endRec.data()), kZipEndKind);

  TempDir dir;
  WriteFile(dir / "pl.zip", local + encName + data + central + encName2 + endRec);
  TRegisterVorsk r;
  EXPECT_EQ(r.DetectArcType((dir / "pl.zip").string()), atZip);
  EXPECT_EQ(r.ArcOffset, 40);
  EXPECT_EQ(r.ZipRecFlags, kZipLocalFound | kZipCentralFound | kZipEndFound);
  EXPECT_EQ(r.ZipEndRec, er);
  EXPECT_EQ(r.ZipCentralRec, ch);
  EXPECT_EQ(r.ZipLocalRec, lh);
}

TEST(DetectArcType, TextAndTarHeaders) {
  TempDir dir;
  WriteFile(dir / "third.uue", "Subject: files\n\nbegin 644 a.txt\n#86)C\n`\nend\n");
  WriteFile(dir / "caps.uue", "Subject: files\n\nBEGIN 644 a.txt\n#86)C\n`\nend\n");
  WriteFile(dir / "tail.txt", std::string(30, 'x') + "\nbegin");
  EXPECT_EQ(Detect((dir / "third.uue").string()).type, atUUE);
  EXPECT_EQ(Detect((dir / "third.uue").string()).offset, 1);
  EXPECT_EQ(Detect((dir / "caps.uue").string()).type, atNA);
  EXPECT_EQ(Detect((dir / "tail.txt").string()).type, atNA);

  ASSERT_TRUE(HaveTool("tar"));
  WriteFile(dir / "f.txt", "content");
  RunOk("tar -cf t.tar f.txt", dir);
  std::string tar = ReadFile(dir / "t.tar");
  tar[148] = '7';  // checksum no longer matches
  WriteFile(dir / "bad.tar", tar);
  EXPECT_EQ(Detect((dir / "bad.tar").string()).type, atNA);
}

TEST(DetectArcType, VolumeNumbersFromTheName) {
  TempDir dir;
  const std::string rar = std::string("Rar!\x1A\x07\x00", 7) + std::string(40, '\0');
  struct Case {
    const char* name;
    std::string bytes;
    TArcType type;
    Int32 num;
    char letter;
  } cases[] = {
      {"a.rar", rar, atRar, 0, 'q'},
      {"a.r00", rar, atRar, 1, 'r'},
      {"a.r01", rar, atRar, 2, 'r'},
      {"a.part1.rar", rar, atRar, 0, 'q'},
      {"noext", rar, atRar, 0, 'q'},
      {"x.r99999999999999", rar, atRar, 2147483647, 'r'},
      {"x.ace", AceHeader(), atAce, 0, 'C'},
      {"x.c05", AceHeader(), atAce, 6, 'c'},
      {"x.a01", std::string("\x60\xEA\x10\x00", 4) + std::string(40, '\0'), atArj, 2, 'a'},
      {"plain.arj", std::string("\x60\xEA\x10\x00", 4) + std::string(40, '\0'), atArj, 1, 'a'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / c.name, c.bytes);
    TRegisterVorsk r;
    r.SetArchiveFile((dir / c.name).string());
    EXPECT_EQ(r.ArcType(), c.type);
    EXPECT_EQ(r.VolNum, c.num);
    EXPECT_EQ(r.VolLetter, c.letter);
  }

  // A RAR self-extractor gets the same letter as a plain RAR archive.
  std::string sfx = MzStub(30000);
  Place(sfx, 20000, rar);
  WriteFile(dir / "setup.exe", sfx);
  TRegisterVorsk r;
  r.SetArchiveFile((dir / "setup.exe").string());
  EXPECT_EQ(r.ArcType(), atRarExe);
  EXPECT_EQ(r.VolNum, 0);
  EXPECT_EQ(r.VolLetter, 'q');

  // Volumes written by arj.
  ASSERT_TRUE(HaveTool("arj"));
  WriteFile(dir / "g.bin", vsktest::RandomBytes(100000, 3));
  RunOk("arj a -v30k -y m.arj g.bin", dir);
  const std::pair<const char*, Int32> volumes[] = {{"m.arj", 1}, {"m.a01", 2}, {"m.a02", 3}};
  for (const auto& [name, num] : volumes) {
    TRegisterVorsk v;
    v.SetArchiveFile((dir / name).string());
    EXPECT_EQ(v.ArcType(), atArj) << name;
    EXPECT_EQ(v.VolNum, num) << name;
    EXPECT_EQ(v.VolLetter, 'a') << name;
  }
}

TEST(DetectArcType, ArchiveFileAndOpening) {
  TempDir dir;
  TRegisterVorsk r;
  // A missing file or a folder is no error: the name is cleared.
  r.SetArchiveFile((dir / "missing.zip").string());
  EXPECT_EQ(r.ArcType(), atNA);
  EXPECT_EQ(r.ArchiveFile(), "");
  r.SetArchiveFile(dir.str());
  EXPECT_EQ(r.ArchiveFile(), "");
  EXPECT_EQ(r.DetectArcType(""), atNA);
  try {
    r.DetectArcType(dir.str());
    ADD_FAILURE() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Code, 25235);
    EXPECT_STREQ(e.what(), "Error opening file");
  }

  // A pipe is refused rather than read (which would block).
  const std::string fifo = (dir / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(r.SetArchiveFile(fifo), EFOpenError);

  const std::string path = (dir / "a.rar").string();
  WriteFile(path, std::string("Rar!\x1A\x07\x00", 7) + std::string(40, '\0'));
  r.SetArchiveFile(path);
  EXPECT_EQ(r.ArchiveFile(), path);  // "/" is kept
  EXPECT_EQ(r.ArcType(), atRar);
  EXPECT_EQ(r.ArcSize, 47);
  EXPECT_NE(r.ArcDate, 0u);
  EXPECT_EQ(r.ArcDate, FileDosTime(path, ftCreation));
  // The type setter detects again whatever it is given.
  WriteFile(path, std::string("BH\x05\x07", 4) + std::string(40, '\0'));
  r.SetArcType(atZip);
  EXPECT_EQ(r.ArcType(), atBh);

  int handle = -1;
  EXPECT_TRUE(r.OpenArchiveHandle(path, handle));
  EXPECT_GE(handle, 0);
  EXPECT_EQ(r.ArcSize, 44);
  CloseFileHandle(handle);
  EXPECT_FALSE(r.OpenArchiveHandle((dir / "missing").string(), handle));
  EXPECT_EQ(r.ArcSize, 0);
}

// Random bytes behind the signatures detection branches on: whatever the
// result, nothing may crash or read out of bounds.
TEST(DetectArcType, SurvivesRandomContent) {
  TempDir dir;
  std::mt19937 rng(2024);
  const std::string starts[] = {"MZ", "PK\x03\x04", "PK\x01\x02", "PL\x03\x04", "", "\x60\xEA", "Rar!", ""};
  for (int i = 0; i < 200; ++i) {
    std::string s = starts[i % 8] + vsktest::RandomBytes(rng() % 70000, static_cast<std::uint32_t>(i));
    // Sprinkle end records and local headers with random fields.
    for (int k = 0; k < 3 && s.size() > 30; ++k)
      Place(s, rng() % (s.size() - 22), std::string(k == 0 ? "PK\x05\x06" : "PK\x03\x04", 4));
    WriteFile(dir / "r.bin", s);
    TRegisterVorsk r;
    r.SetArchiveFile((dir / "r.bin").string());
    EXPECT_GE(r.ArcOffset, -1);
  }
}

}  // namespace
}  // namespace vsk
