#include "archive/core/zipcrypt.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/records/ziprecords.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::ShellQuote;

std::vector<Byte> ToBytes(const std::string& s) { return std::vector<Byte>(s.begin(), s.end()); }

TEST(ZipCrypt, KnownAnswers) {
  TZipCrypt c;
  // The empty password leaves key2 = 0x34567890.
  EXPECT_EQ(c.ZipCryptByte(), 0xAB);
  c.InitZipKeys("password");
  EXPECT_EQ(c.Keys, (std::array<UInt32, 3>{0xEA9B4E4Du, 0xBA789085u, 0x5FF8707Du}));
  // Passwords are their UTF-8 bytes.
  c.InitZipKeys("p\xC3\xA4ssw\xC3\xB6rd");
  EXPECT_EQ(c.Keys, (std::array<UInt32, 3>{0xA52D8AEAu, 0x04749CC1u, 0x3E12EB0Eu}));

  // The header key and records enciphered under it are fixed for good:
  // archives with encrypted headers depend on them.
  EXPECT_EQ(ZipHeaderKey(), (std::array<UInt32, 3>{0x2B1C2291u, 0x50462081u, 0x84842583u}));
  TZipCentralRecord r;
  r.Signature = kZipCentralSignatureEnc;
  r.VersionMadeBy = 20;
  r.VersionNeeded = 20;
  r.Method = 8;
  r.DosDateTime = 0x5A8B3C21u;
  r.Crc32 = 0xDEADBEEFu;
  r.PackedSize = 1234;
  r.UnpackedSize = 5678;
  r.FileNameLength = 5;
  r.InternalAttr = 1;
  r.ExternalAttr = 0x20;
  Byte rec[TZipCentralRecord::Size];
  r.Serialize(rec);
  c.EncryptZipHeader(rec, kZipCentralKind);
  const Byte expected[42] = {0xEF, 0x7A, 0x93, 0x30, 0x23, 0x0D, 0x59, 0x88, 0x23, 0x0C, 0x2A, 0xBB, 0x0D, 0x64,
                             0x37, 0x7B, 0x58, 0xAB, 0xC0, 0x27, 0x0D, 0xA6, 0x96, 0x6D, 0x71, 0x22, 0x6B, 0x7F,
                             0x8D, 0x8C, 0xCE, 0x7D, 0x5F, 0xAA, 0x64, 0xA5, 0x2C, 0x75, 0x2F, 0xDA, 0x2E, 0xBE};
  EXPECT_EQ(GetLE32(rec), kZipCentralSignatureEnc);  // the signature stays readable
  EXPECT_EQ(0, std::memcmp(rec + 4, expected, sizeof expected));
  c.InitZipKeys("other keys in between");
  c.DecryptZipHeader(rec, kZipCentralKind);
  EXPECT_EQ(TZipCentralRecord::Parse(rec), r);

  TZipEndRecord e;
  e.Signature = kZipEndSignatureEnc;
  e.EntriesOnDisk = e.EntriesTotal = 1;
  e.CentralDirSize = 51;
  e.CentralDirOffset = 1234 + 30 + 5;
  Byte end[TZipEndRecord::Size];
  e.Serialize(end);
  c.EncryptZipHeader(end, kZipEndKind);
  const Byte expectedEnd[18] = {0xFB, 0x49, 0x61, 0x32, 0x81, 0x40, 0x34, 0xE4, 0x5F,
                                0x82, 0xFC, 0xF3, 0x0F, 0x13, 0x1F, 0xBD, 0xC9, 0x8E};
  EXPECT_EQ(0, std::memcmp(end + 4, expectedEnd, sizeof expectedEnd));
}

TEST(ZipCrypt, BlockRoutinesMatchTheByteSteps) {
  const std::string plain = vsktest::RandomBytes(100000, 7);
  TZipCrypt whole;
  whole.InitZipKeys("secret");
  std::vector<Byte> a = ToBytes(plain);
  whole.EncryptZipBuffer(a.data(), a.size());

  TZipCrypt bytes;
  bytes.InitZipKeys("secret");
  std::vector<Byte> b(plain.size());
  for (std::size_t i = 0; i < plain.size(); ++i) b[i] = bytes.EncryptZipByte(static_cast<Byte>(plain[i]));
  EXPECT_EQ(a, b);
  EXPECT_EQ(whole.Keys, bytes.Keys);
  EXPECT_NE(a, ToBytes(plain));

  // Deciphering in uneven pieces restores the data; the keys carry over.
  TZipCrypt d;
  d.InitZipKeys("secret");
  std::size_t pos = 0;
  for (std::size_t piece = 1; pos < a.size(); piece = piece * 3 + 1) {
    const std::size_t n = std::min(piece, a.size() - pos);
    d.DecryptZipBuffer(a.data() + pos, n);
    pos += n;
  }
  EXPECT_EQ(a, ToBytes(plain));
  d.InitZipKeys("secret");
  EXPECT_EQ(d.DecryptZipByte(b[0]), static_cast<Byte>(plain[0]));
}

TEST(ZipCrypt, Signatures) {
  EXPECT_EQ(ZipHeaderSignature(kZipLocalKind, false), 0x04034B50u);
  EXPECT_EQ(ZipHeaderSignature(kZipLocalKind, true), 0x04034C50u);
  EXPECT_EQ(ZipHeaderSignature(kZipCentralKind, true), 0x02014C50u);
  EXPECT_EQ(ZipHeaderSignature(kZipEndKind, true), 0x06054B50u);  // only plain
  EXPECT_EQ(ZipHeaderSignature(5, false), 0x08074B50u);

  bool enc = true;
  EXPECT_EQ(ClassifyZipSignature(0x04034B50u, kZipLocalKind, enc), kZipLocalKind);
  EXPECT_FALSE(enc);
  // An encrypted end record is accepted although no writer makes one.
  EXPECT_EQ(ClassifyZipSignature(0x06054C50u, kZipEndKind, enc), kZipEndKind);
  EXPECT_TRUE(enc);
  EXPECT_EQ(ClassifyZipSignature(0x02014B50u, kZipLocalKind, enc), kZipNoKind);
  EXPECT_EQ(ClassifyZipSignature(0x08074B50u, 3, enc), kZipNoKind);
  EXPECT_EQ(ClassifyZipSignature(0x04034B50u, -1, enc), kZipNoKind);

  EXPECT_TRUE(IsEncryptedSignature(0x06054C50u));
  EXPECT_FALSE(IsEncryptedSignature(0x06054B50u));
  EXPECT_TRUE(IsRecordSignature(0x02014C50u));
  EXPECT_TRUE(IsRecordSignature(0x04034B50u));
  EXPECT_FALSE(IsRecordSignature(0x06054B50u));
  EXPECT_FALSE(IsRecordSignature(0x08074B50u));
  EXPECT_EQ(ZipHeaderLength(kZipLocalKind), 26u);
  EXPECT_EQ(ZipHeaderLength(kZipCentralKind), 42u);
  EXPECT_EQ(ZipHeaderLength(kZipEndKind), 18u);
  EXPECT_EQ(ZipHeaderLength(3), 0u);
}

TEST(ZipCrypt, EncryptionHeaderRoundTripAndCheckByte) {
  const UInt32 crc = 0xC61F85D2u;
  TZipCrypt w;
  const auto h1 = w.MakeEncryptionHeader("pw", crc);
  std::vector<Byte> data = ToBytes("the entry's data");
  w.EncryptZipBuffer(data.data(), data.size());
  const auto h2 = TZipCrypt().MakeEncryptionHeader("pw", crc);
  // The random part comes from the system, not from a clock.
  EXPECT_NE(std::vector<Byte>(h1.begin(), h1.begin() + 10), std::vector<Byte>(h2.begin(), h2.begin() + 10));

  TZipCrypt r;
  Byte plain[12];
  ASSERT_TRUE(r.CheckEncryptionHeader(h1.data(), plain, 0, crc, "pw", 0x1234));
  EXPECT_EQ(plain[10], 0x1F);
  EXPECT_EQ(plain[11], 0xC6);
  r.DecryptZipBuffer(data.data(), data.size());
  EXPECT_EQ(data, ToBytes("the entry's data"));
  EXPECT_FALSE(r.CheckEncryptionHeader(h1.data(), plain, 0, crc, "", 0x1234));

  // With flag bit 3 the time's high byte is the check, not the CRC's.
  std::array<Byte, 12> h{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x00, 0xC6};
  TZipCrypt e;
  e.InitZipKeys("pw");
  e.EncryptZipBuffer(h.data(), h.size());
  Byte in[24];
  std::memcpy(in + 12, h.data(), 12);
  EXPECT_TRUE(r.CheckEncryptionHeader(in + 12, in, 0x0000, crc, "pw", 0x6400));
  EXPECT_FALSE(r.CheckEncryptionHeader(in + 12, in, 0x0008, crc, "pw", 0x6400));
  EXPECT_TRUE(r.CheckEncryptionHeader(in + 12, in, 0x0008, crc, "pw", 0xC600));
  EXPECT_EQ(in[0], 1);  // deciphered into the first 12 bytes
}

// What a single-entry archive holds for its entry.
struct Entry {
  TZipLocalHeader local;
  TZipCentralRecord central;
  std::vector<Byte> data;  // the 12-byte header and the enciphered data
};

Entry ReadOnlyEntry(const std::string& zip) {
  Entry e;
  const auto* p = reinterpret_cast<const Byte*>(zip.data());
  e.local = TZipLocalHeader::Parse(p);
  EXPECT_EQ(e.local.Signature, kZipLocalSignature);
  const TZipEndRecord end = TZipEndRecord::Parse(p + zip.size() - TZipEndRecord::Size);
  EXPECT_EQ(end.Signature, kZipEndSignature);
  e.central = TZipCentralRecord::Parse(p + end.CentralDirOffset);
  EXPECT_EQ(e.central.Signature, kZipCentralSignature);
  const std::size_t start = TZipLocalHeader::Size + e.local.FileNameLength + e.local.ExtraFieldLength;
  e.data.assign(p + start, p + start + e.central.PackedSize);
  return e;
}

std::string Inflate(const std::vector<Byte>& in, std::size_t size) {
  std::string out(size, '\0');
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
  z.next_in = const_cast<Byte*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  inflateEnd(&z);
  return out;
}

// Entries enciphered by other archivers decipher with our cipher: zip -P
// writes a data descriptor and checks against the time, 7z checks against
// the CRC.
TEST(ZipCrypt, DeciphersEntriesOfOtherArchivers) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  ASSERT_TRUE(vsktest::HaveTool("7z"));
  vsktest::TempDir dir;
  const std::string text = vsktest::TextBytes(70000, 3);
  vsktest::WriteFile(dir / "f.txt", text);
  // zip takes the password's bytes as they are; 7z refuses non-ASCII ones
  // for this cipher.
  const std::string utf8 = "p\xC3\xA4ss w0rd";
  const std::string ascii = "pass w0rd";
  struct Case {
    std::string name;
    std::string command;
    std::string pw;
    bool bit3;
  } cases[] = {
      {"zs.zip", "zip -q -P " + ShellQuote(utf8) + " zs.zip -0 f.txt", utf8, true},
      {"zd.zip", "zip -q -P " + ShellQuote(utf8) + " zd.zip -9 f.txt", utf8, true},
      {"ss.zip", "7z a -bd -tzip -p" + ShellQuote(ascii) + " -mem=ZipCrypto -mx0 ss.zip f.txt", ascii, false},
      {"sd.zip", "7z a -bd -tzip -p" + ShellQuote(ascii) + " -mem=ZipCrypto -mx5 sd.zip f.txt", ascii, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const auto r = vsktest::RunTool(c.command, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    Entry e = ReadOnlyEntry(vsktest::ReadFile(dir / c.name));
    ASSERT_TRUE(e.local.Flags & kZipFlagEncrypted);
    EXPECT_EQ((e.local.Flags & kZipFlagDataDescriptor) != 0, c.bit3);
    ASSERT_GE(e.data.size(), 12u);

    TZipCrypt crypt;
    Byte plain[12];
    ASSERT_TRUE(crypt.CheckEncryptionHeader(e.data.data(), plain, e.local.Flags, e.central.Crc32, c.pw,
                                            e.local.DosTime()));
    std::vector<Byte> body(e.data.begin() + 12, e.data.end());
    crypt.DecryptZipBuffer(body.data(), body.size());
    const std::string got = e.central.Method == 0 ? std::string(body.begin(), body.end())
                                                  : Inflate(body, e.central.UnpackedSize);
    EXPECT_EQ(got, text);
  }
}

}  // namespace
}  // namespace vsk
