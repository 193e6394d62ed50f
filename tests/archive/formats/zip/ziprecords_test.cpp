#include "base/records/ziprecords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/checksum.h"
#include "archive/core/zipcrypt.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

const Byte* At(const std::string& s, std::size_t pos) { return reinterpret_cast<const Byte*>(s.data()) + pos; }

TEST(ZipRecords, LittleEndianLayouts) {
  // Every field gets a distinct value so a swapped or misplaced field shows.
  std::vector<Byte> raw(46);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<Byte>(i + 1);

  const TZipLocalHeader l = TZipLocalHeader::Parse(raw.data());
  EXPECT_EQ(l.Signature, 0x04030201u);
  EXPECT_EQ(l.VersionNeeded, 0x0605);
  EXPECT_EQ(l.Flags, 0x0807);
  EXPECT_EQ(l.Method, 0x0A09);
  EXPECT_EQ(l.DosDateTime, 0x0E0D0C0Bu);
  EXPECT_EQ(l.DosTime(), 0x0C0B);
  EXPECT_EQ(l.DosDate(), 0x0E0D);
  EXPECT_EQ(l.Crc32, 0x1211100Fu);
  EXPECT_EQ(l.PackedSize, 0x16151413u);
  EXPECT_EQ(l.UnpackedSize, 0x1A191817u);
  EXPECT_EQ(l.FileNameLength, 0x1C1B);
  EXPECT_EQ(l.ExtraFieldLength, 0x1E1D);

  const TZipCentralRecord c = TZipCentralRecord::Parse(raw.data());
  EXPECT_EQ(c.VersionMadeBy, 0x0605);
  EXPECT_EQ(c.VersionNeeded, 0x0807);
  EXPECT_EQ(c.Flags, 0x0A09);
  EXPECT_EQ(c.Method, 0x0C0B);
  EXPECT_EQ(c.DosDateTime, 0x100F0E0Du);
  EXPECT_EQ(c.Crc32, 0x14131211u);
  EXPECT_EQ(c.PackedSize, 0x18171615u);
  EXPECT_EQ(c.UnpackedSize, 0x1C1B1A19u);
  EXPECT_EQ(c.FileNameLength, 0x1E1D);
  EXPECT_EQ(c.ExtraFieldLength, 0x201F);
  EXPECT_EQ(c.FileCommentLength, 0x2221);
  EXPECT_EQ(c.DiskNumberStart, 0x2423);
  EXPECT_EQ(c.InternalAttr, 0x2625);
  EXPECT_EQ(c.ExternalAttr, 0x2A292827u);
  EXPECT_EQ(c.LocalHeaderOffset, 0x2E2D2C2Bu);

  const TZipEndRecord e = TZipEndRecord::Parse(raw.data());
  EXPECT_EQ(e.DiskNumber, 0x0605);
  EXPECT_EQ(e.CentralDirDisk, 0x0807);
  EXPECT_EQ(e.EntriesOnDisk, 0x0A09);
  EXPECT_EQ(e.EntriesTotal, 0x0C0B);
  EXPECT_EQ(e.CentralDirSize, 0x100F0E0Du);
  EXPECT_EQ(e.CentralDirOffset, 0x14131211u);
  EXPECT_EQ(e.CommentLength, 0x1615);

  const TZipDataDescriptor d = TZipDataDescriptor::Parse(raw.data());
  EXPECT_EQ(d.Crc32, 0x08070605u);
  EXPECT_EQ(d.PackedSize, 0x0C0B0A09u);
  EXPECT_EQ(d.UnpackedSize, 0x100F0E0Du);

  // Serialising writes exactly the record's bytes back.
  std::vector<Byte> out(48, 0xEE);
  c.Serialize(out.data());
  EXPECT_EQ(std::vector<Byte>(out.begin(), out.begin() + 46), raw);
  EXPECT_EQ(out[46], 0xEE);
  std::fill(out.begin(), out.end(), 0xEE);
  l.Serialize(out.data());
  EXPECT_EQ(std::vector<Byte>(out.begin(), out.begin() + 30), std::vector<Byte>(raw.begin(), raw.begin() + 30));
  EXPECT_EQ(out[30], 0xEE);
  std::fill(out.begin(), out.end(), 0xEE);
  e.Serialize(out.data());
  EXPECT_EQ(std::vector<Byte>(out.begin(), out.begin() + 22), std::vector<Byte>(raw.begin(), raw.begin() + 22));
  EXPECT_EQ(out[22], 0xEE);
  std::fill(out.begin(), out.end(), 0xEE);
  d.Serialize(out.data());
  EXPECT_EQ(std::vector<Byte>(out.begin(), out.begin() + 16), std::vector<Byte>(raw.begin(), raw.begin() + 16));
  EXPECT_EQ(out[16], 0xEE);
}

// The records of an archive written by zip read back as zip wrote them.
TEST(ZipRecords, ReadsWhatZipWrites) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  vsktest::TempDir dir;
  const std::string text = vsktest::TextBytes(4000, 1);
  vsktest::WriteFile(dir / "abc.txt", text);
  const auto r = vsktest::RunTool("zip -q -X -0 a.zip abc.txt && echo 'hi' | zip -q -z a.zip", dir.path());
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string zip = vsktest::ReadFile(dir / "a.zip");

  const TZipLocalHeader l = TZipLocalHeader::Parse(At(zip, 0));
  EXPECT_EQ(l.Signature, kZipLocalSignature);
  EXPECT_EQ(l.Method, 0);
  EXPECT_EQ(l.Crc32, Crc32Of(text.data(), text.size()));
  EXPECT_EQ(l.PackedSize, text.size());
  EXPECT_EQ(l.UnpackedSize, text.size());
  EXPECT_EQ(l.FileNameLength, 7);
  EXPECT_EQ(l.ExtraFieldLength, 0);
  EXPECT_EQ(zip.substr(30, 7), "abc.txt");

  const std::size_t endPos = zip.size() - TZipEndRecord::Size - 2;
  const TZipEndRecord e = TZipEndRecord::Parse(At(zip, endPos));
  EXPECT_EQ(e.Signature, kZipEndSignature);
  EXPECT_EQ(e.EntriesTotal, 1);
  EXPECT_EQ(e.CommentLength, 2);
  EXPECT_EQ(e.CentralDirOffset, 30 + 7 + text.size());
  EXPECT_EQ(e.CentralDirOffset + e.CentralDirSize, endPos);

  const TZipCentralRecord c = TZipCentralRecord::Parse(At(zip, e.CentralDirOffset));
  EXPECT_EQ(c.Signature, kZipCentralSignature);
  EXPECT_EQ(c.Crc32, l.Crc32);
  EXPECT_EQ(c.DosDateTime, l.DosDateTime);
  EXPECT_EQ(c.LocalHeaderOffset, 0u);
  EXPECT_EQ(c.FileNameLength, 7);
  EXPECT_EQ(46u + c.FileNameLength + c.ExtraFieldLength + c.FileCommentLength, e.CentralDirSize);
}

}  // namespace
}  // namespace vsk
