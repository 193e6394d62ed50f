#include "archive/core/codecstreams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "base/errors.h"
#include "archive/core/zipcommon.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::RandomBytes;
using vsktest::RawDeflate;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::TextBytes;
using vsktest::WriteFile;

// zlib's own raw inflate; false when the data are not one complete stream.
bool ZInflate(const std::string& in, std::string& out) {
  z_stream z{};
  inflateInit2(&z, -MAX_WBITS);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  out.clear();
  char buf[16384];
  int ret;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    ret = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  } while (ret == Z_OK);
  inflateEnd(&z);
  return ret == Z_STREAM_END;
}

std::string Contents(TCustomMemoryStream32& s) { return std::string(reinterpret_cast<char*>(s.Memory()), s.Size()); }

void Fill(TMemoryStream32& s, const std::string& data) {
  s.WriteBuffer(data.data(), static_cast<Int64>(data.size()));
  s.SetPosition(0);
}

std::string ReadAll(TDecompressStream& s, Int32 chunk) {
  std::string out;
  std::string buf(static_cast<std::size_t>(chunk), '\0');
  for (;;) {
    const Int32 n = s.Read(buf.data(), chunk);
    if (n <= 0) break;
    EXPECT_LE(n, chunk);
    out.append(buf.data(), static_cast<std::size_t>(n));
  }
  return out;
}

// Deflates data through DeflateStream into a fresh memory stream.
std::string Deflated(const std::string& data, TDeflateType type, TCodecInfo info = {}) {
  TMemoryStream32 in, out;
  Fill(in, data);
  UInt32 crc = 0;
  EXPECT_TRUE(DeflateStream(in, out, info, type, {}, kRawDeflateBits, crc));
  if (!info.Encrypt) {
    EXPECT_EQ(crc, Crc32Of(data.data(), data.size()));
  }
  return Contents(out);
}

// Remembers how far into it anyone has read.
class TSpyStream : public TMemoryStream32 {
 public:
  Int32 Read(void* Buffer, Int32 Count) override {
    const Int32 n = TMemoryStream32::Read(Buffer, Count);
    MaxRead = std::max(MaxRead, FPosition);
    return n;
  }
  Int64 MaxRead = 0;
};

// A medium that is full: every write fails with ENOSPC.
class TFullStream : public TStream32 {
 public:
  Int32 Read(void*, Int32) override { return 0; }
  Int32 Write(const void*, Int32) override { return 0; }
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override {
    return FPos = Origin == soBeginning ? Offset : FPos + Offset;
  }
  int LastOSError() const override { return ENOSPC; }

 private:
  Int64 FPos = 0;
};

// Claims more bytes than it holds, as a file that shrank while being read.
class TShrunkStream : public TMemoryStream32 {
 public:
  Int64 GetSize() override { return TMemoryStream32::GetSize() + 1000; }
};

TEST(CodecStreams, DeflateMatchesZlibAtEveryLevelAndEmptyInputEndsTheStream) {
  const std::string data = TextBytes(300000) + RandomBytes(70000, 3);
  const std::pair<TDeflateType, int> levels[] = {{dtDeflateS, 0}, {dtDeflateF, 1}, {dtDeflateN, 6}, {dtDeflateX, 9}};
  for (const auto& [type, level] : levels) {
    SCOPED_TRACE(level);
    const std::string ours = Deflated(data, type);
    std::string back;
    ASSERT_TRUE(ZInflate(ours, back));
    EXPECT_TRUE(back == data);
    if (level > 0) {
      EXPECT_TRUE(ours == RawDeflate(data, level));  // same level, same bytes
    } else {
      // Stored blocks only: their split follows the output buffer.
      EXPECT_EQ(ours[0] & 0x06, 0);
      EXPECT_LT(ours.size(), data.size() + 100);
      EXPECT_GT(ours.size(), data.size());
    }
  }
  EXPECT_EQ(DeflateLevel(dtDeflateN), Z_DEFAULT_COMPRESSION);

  // An empty input still gets its final block; its CRC is 0 and a run CRC
  // left at its start value is set to 0, any other is left alone.
  TCrcState run;
  TCodecInfo info;
  info.RunCrc = &run;
  const std::string empty = Deflated("", dtDeflateN, info);
  EXPECT_EQ(empty, std::string("\x03\x00", 2));
  EXPECT_EQ(run.Crc32, 0u);
  run.Crc32 = 0x1234;
  Deflated("", dtDeflateN, info);
  EXPECT_EQ(run.Crc32, 0x1234u);

  // The output is written at its position and left at 0; the CRC can go on
  // from a given start value.
  TMemoryStream32 in, out;
  Fill(in, "tail");
  out.WriteBuffer("HEAD", 4);
  TCodecInfo cont;
  cont.Crc = 0xFFFFFFFFu;
  UpdateCrc32("head", 4, cont.Crc);
  UInt32 crc = 0;
  ASSERT_TRUE(DeflateStream(in, out, cont, dtDeflateN, {}, kRawDeflateBits, crc));
  EXPECT_EQ(out.Position(), 0);
  EXPECT_EQ(crc, Crc32Of("headtail", 8));
  std::string back;
  ASSERT_TRUE(ZInflate(Contents(out).substr(4), back));
  EXPECT_EQ(back, "tail");
  EXPECT_EQ(Contents(out).substr(0, 4), "HEAD");
}

TEST(CodecStreams, InflatesZlibOutputReturningTheBytesProduced) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                           std::size_t{65537}, std::size_t{150000}, std::size_t{1000003}}) {
    SCOPED_TRACE(size);
    const std::string data = TextBytes(size / 2, 5) + RandomBytes(size - size / 2, 6);
    TMemoryStream32 arc;
    Fill(arc, RawDeflate(data, 6));
    auto s = std::make_unique<TDecompressStream>(arc);
    EXPECT_TRUE(ReadAll(*s, 100000) == data);
    EXPECT_TRUE(s->EndOfStream());
    EXPECT_EQ(s->Error(), 0);
    EXPECT_EQ(s->FinalCrc(), Crc32Of(data.data(), data.size()));
    EXPECT_EQ(s->TotalOut(), static_cast<Int64>(data.size()));
    EXPECT_EQ(s->Position(), static_cast<Int64>(data.size()));
    char c;
    EXPECT_EQ(s->Read(&c, 1), 0);
  }

  // A read past the end returns only what was left; tiny reads work too.
  const std::string data = TextBytes(150000, 9);
  TMemoryStream32 arc;
  Fill(arc, RawDeflate(data, 9));
  auto s = std::make_unique<TDecompressStream>(arc, kRawDeflateBits, -1, kCrc16);
  std::string buf(100000, '\0');
  EXPECT_EQ(s->Read(buf.data(), 100000), 100000);
  EXPECT_EQ(s->Read(buf.data(), 100000), 50000);
  EXPECT_EQ(s->Read(buf.data(), 100000), 0);
  EXPECT_EQ(s->FinalCrc(), Crc16Of(data.data(), data.size()));
  EXPECT_EQ(s->Write("x", 1), -1);
  arc.SetPosition(0);
  auto t = std::make_unique<TDecompressStream>(arc);
  EXPECT_TRUE(ReadAll(*t, 7) == data);
}

TEST(CodecStreams, ArchiveIsLeftAtTheNextEntry) {
  const std::string a = TextBytes(200000, 1), b = RandomBytes(90000, 2);
  const std::string pa = RawDeflate(a, 6), pb = RawDeflate(b, 1);
  const std::string arcData = "HDR1" + pa + "HDR2" + pb + "END!";
  const Int64 second = 4 + static_cast<Int64>(pa.size());

  // Unknown sizes: the read-ahead is given back when the stream is freed.
  TMemoryStream32 arc;
  Fill(arc, arcData);
  arc.SetPosition(4);
  {
    auto s = std::make_unique<TDecompressStream>(arc);
    EXPECT_TRUE(ReadAll(*s, 65536) == a);
    EXPECT_GT(arc.Position(), second);  // it did read ahead
  }
  ASSERT_EQ(arc.Position(), second);
  char hdr[4];
  arc.ReadBuffer(hdr, 4);
  EXPECT_EQ(std::string(hdr, 4), "HDR2");
  {
    // Finish gives the input back at once; freeing afterwards changes nothing.
    auto s = std::make_unique<TDecompressStream>(arc);
    EXPECT_TRUE(ReadAll(*s, 4096) == b);
    s->Finish();
    EXPECT_EQ(arc.Position(), second + 4 + static_cast<Int64>(pb.size()));
    arc.SetPosition(0);
    char c;
    EXPECT_EQ(s->Read(&c, 1), 0);
  }
  EXPECT_EQ(arc.Position(), 0);

  // The same on a file, and with the entry read only in part.
  TempDir dir;
  WriteFile(dir / "a.arc", arcData);
  TFileStream32 f((dir / "a.arc").string(), fmOpenRead);
  f.SetPosition(4);
  {
    auto s = std::make_unique<TDecompressStream>(f, kRawDeflateBits, static_cast<Int64>(pa.size()));
    EXPECT_TRUE(ReadAll(*s, 65536) == a);
  }
  EXPECT_EQ(f.Position(), second);
  f.SetPosition(second + 4);
  {
    auto s = std::make_unique<TDecompressStream>(f);
    std::string part(1000, '\0');
    ASSERT_EQ(s->Read(part.data(), 1000), 1000);
    EXPECT_EQ(part, b.substr(0, 1000));
  }
  EXPECT_LE(f.Position(), second + 4 + static_cast<Int64>(pb.size()));
}

TEST(CodecStreams, SeekRestartsFromTheEntrysFirstByte) {
  const std::string data = TextBytes(400000, 4);
  TMemoryStream32 arc;
  Fill(arc, "PREFIX" + RawDeflate(data, 6) + "NEXT");
  arc.SetPosition(6);
  auto s = std::make_unique<TDecompressStream>(arc);
  std::string buf(70000, '\0');
  ASSERT_EQ(s->Read(buf.data(), 70000), 70000);
  EXPECT_EQ(s->Position(), 70000);  // asking the position restarts nothing

  EXPECT_EQ(s->Seek(0, soBeginning), 0);
  EXPECT_TRUE(ReadAll(*s, 30000) == data);
  EXPECT_EQ(s->FinalCrc(), Crc32Of(data.data(), data.size()));  // not counted twice

  // Forward by skipping, backward through a restart.
  EXPECT_EQ(s->Seek(100000, soBeginning), 100000);
  ASSERT_EQ(s->Read(buf.data(), 10), 10);
  EXPECT_EQ(buf.substr(0, 10), data.substr(100000, 10));
  EXPECT_EQ(s->Seek(-5010, soCurrent), 95000);
  ASSERT_EQ(s->Read(buf.data(), 10), 10);
  EXPECT_EQ(buf.substr(0, 10), data.substr(95000, 10));
  EXPECT_EQ(s->Seek(0, soEnd), -1);
  EXPECT_EQ(s->Seek(-1, soBeginning), -1);

  // Someone else moving the archive between reads does not disturb it.
  s->Seek(0, soBeginning);
  ASSERT_EQ(s->Read(buf.data(), 50000), 50000);
  arc.SetPosition(0);
  std::string rest = ReadAll(*s, 65536);
  EXPECT_EQ(buf.substr(0, 50000) + rest, data);
  s.reset();
  char next[4];
  arc.ReadBuffer(next, 4);
  EXPECT_EQ(std::string(next, 4), "NEXT");
}

TEST(CodecStreams, CompressedSizeLimitStopsARunawayEntry) {
  // A stored block that claims 60000 bytes in an entry of 105: without a
  // limit inflating runs on into the next entry.
  std::string entry("\x00\x60\xEA\x9F\x15", 5);
  entry += std::string(100, 'x');
  const std::string next = RandomBytes(200000, 8);

  TSpyStream arc;
  Fill(arc, entry + next);
  {
    auto s = std::make_unique<TDecompressStream>(arc, kRawDeflateBits, static_cast<Int64>(entry.size()));
    const std::string out = ReadAll(*s, 65536);
    EXPECT_EQ(out, std::string(100, 'x'));
    EXPECT_EQ(s->Error(), 25153);
    EXPECT_TRUE(s->InputExhausted());
    char c;
    EXPECT_EQ(s->Read(&c, 1), -1);
    EXPECT_LE(arc.MaxRead, static_cast<Int64>(entry.size()));
  }
  EXPECT_EQ(arc.Position(), static_cast<Int64>(entry.size()));

  TSpyStream unbounded;
  Fill(unbounded, entry + next);
  {
    auto s = std::make_unique<TDecompressStream>(unbounded);
    EXPECT_GT(ReadAll(*s, 65536).size(), 100u);
    EXPECT_GT(unbounded.MaxRead, static_cast<Int64>(entry.size()));
  }

  // A genuine entry cut short fails the same way; garbage never crashes.
  const std::string full = RawDeflate(TextBytes(100000, 2), 6);
  TMemoryStream32 cut;
  Fill(cut, full.substr(0, full.size() / 2));
  auto s = std::make_unique<TDecompressStream>(cut);
  ReadAll(*s, 65536);
  EXPECT_EQ(s->Error(), 25153);
  EXPECT_FALSE(s->EndOfStream());
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    TMemoryStream32 junk;
    Fill(junk, RandomBytes(5000, seed));
    auto j = std::make_unique<TDecompressStream>(junk, kRawDeflateBits, 4000);
    ReadAll(*j, 1024);
    EXPECT_TRUE(j->Error() == 25153 || j->EndOfStream()) << seed;
    EXPECT_LE(j->TotalIn(), 4000);
  }
}

TEST(CodecStreams, CancelStopsAtTheNextBlock) {
  const std::string data = RandomBytes(1 << 20, 12);
  bool cancel = false;

  TMemoryStream32 arc;
  Fill(arc, RawDeflate(data, 1));
  auto s = std::make_unique<TDecompressStream>(arc);
  s->Cancel = &cancel;
  int blocks = 0;
  s->Notify = [&](TStream32&) {
    if (++blocks == 2) cancel = true;
  };
  const std::string got = ReadAll(*s, 65536);
  EXPECT_GT(got.size(), 0u);
  EXPECT_LT(got.size(), data.size());
  EXPECT_TRUE(got == data.substr(0, got.size()));
  EXPECT_EQ(blocks, 2);
  EXPECT_EQ(s->Error(), 0);

  cancel = false;
  TMemoryStream32 in, out;
  Fill(in, data);
  TCodecInfo info;
  info.Cancel = &cancel;
  UInt32 crc = 7;
  int chunks = 0;
  EXPECT_FALSE(DeflateStream(
      in, out, info, dtDeflateN,
      [&](TStream32&) {
        if (++chunks == 1) cancel = true;
      },
      kRawDeflateBits, crc));
  EXPECT_EQ(info.Error, 25443);
  EXPECT_EQ(chunks, 1);
  EXPECT_EQ(crc, 7u);

  auto c = std::make_unique<TCompressStream>(out, dtDeflateN);
  c->Cancel = &cancel;
  EXPECT_EQ(c->Write(data.data(), 1000), 0);
}

TEST(CodecStreams, FailuresAreReportedNotTakenForSuccess) {
  TMemoryStream32 in, out;
  Fill(in, TextBytes(5000));

  // zlib refusing its parameters.
  TCodecInfo info;
  UInt32 crc = 0;
  EXPECT_FALSE(DeflateStream(in, out, info, dtDeflateN, {}, 99, crc));
  EXPECT_EQ(info.Error, 25153);
  auto c = std::make_unique<TCompressStream>(out, dtDeflateN, 99);
  EXPECT_EQ(c->Error(), 25153);
  EXPECT_EQ(c->Write("abc", 3), -1);
  EXPECT_EQ(c->Finish(), 25153);
  EXPECT_EQ(c->Finish(), 25153);
  auto d = std::make_unique<TDecompressStream>(in, 99);
  char buf[16];
  EXPECT_EQ(d->Read(buf, 16), -1);
  EXPECT_EQ(d->Error(), 25153);
  EXPECT_EQ(ZlibErrorCode(Z_MEM_ERROR), 25253);
  EXPECT_EQ(ZlibErrorCode(Z_DATA_ERROR), 25153);

  // An input that ends before its size is no complete entry.
  TShrunkStream shrunk;
  Fill(shrunk, TextBytes(5000));
  EXPECT_FALSE(DeflateStream(shrunk, out, info, dtDeflateN, {}, kRawDeflateBits, crc));
  EXPECT_EQ(info.Error, 25236);

  // A full medium raises "Disk full", from Write or from Finish.
  TFullStream full;
  try {
    DeflateStream(in, full, info, dtDeflateS, {}, kRawDeflateBits, crc);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Code, 25160);
  }
  auto f = std::make_unique<TCompressStream>(full, dtDeflateN);
  EXPECT_EQ(f->Write("abc", 3), 3);
  EXPECT_THROW(f->Finish(), EWriteError);
  f.reset();  // freeing after a failure neither writes nor throws

  // Without Finish the entry is incomplete: freeing does not flush.
  TMemoryStream32 o2;
  {
    auto g = std::make_unique<TCompressStream>(o2, dtDeflateN);
    g->Write("abc", 3);
  }
  EXPECT_EQ(o2.Size(), 0);
}

TEST(CodecStreams, EncryptionAppliesToTheCompressedBytes) {
  const std::string data = TextBytes(250000, 21);
  TZipCrypt enc;
  enc.InitZipKeys("secret");
  TCodecInfo info;
  info.Encrypt = true;
  info.Crypt = &enc;
  UInt32 crc = 0xABCD;
  TMemoryStream32 in, out;
  Fill(in, data);
  ASSERT_TRUE(DeflateStream(in, out, info, dtDeflateN, {}, kRawDeflateBits, crc));
  EXPECT_EQ(crc, 0xABCDu);  // an encrypting caller has its CRC already
  const std::string cipher = Contents(out);
  const std::string plainPacked = RawDeflate(data, 6);
  ASSERT_EQ(cipher.size(), plainPacked.size());
  EXPECT_NE(cipher, plainPacked);
  std::string deciphered = cipher;
  TZipCrypt check;
  check.InitZipKeys("secret");
  check.DecryptZipBuffer(deciphered.data(), deciphered.size());
  EXPECT_TRUE(deciphered == plainPacked);

  // Inflating with deciphering, also after a restart in the middle.
  TZipCrypt dec;
  dec.InitZipKeys("secret");
  auto s = std::make_unique<TDecompressStream>(out);
  s->CryptFlag = true;
  s->Crypt = &dec;
  std::string buf(100000, '\0');
  ASSERT_EQ(s->Read(buf.data(), 100000), 100000);
  EXPECT_EQ(buf, data.substr(0, 100000));
  EXPECT_EQ(s->Seek(0, soBeginning), 0);
  EXPECT_TRUE(ReadAll(*s, 65536) == data);
  EXPECT_EQ(s->FinalCrc(), Crc32Of(data.data(), data.size()));

  // Stored: the caller's bytes stay plain, the archive gets cipher text.
  TZipCrypt senc;
  senc.InitZipKeys("pw");
  TCodecInfo sinfo;
  sinfo.Encrypt = true;
  sinfo.Crypt = &senc;
  TMemoryStream32 stored;
  const std::string big = RandomBytes(200000, 4);
  std::string copy = big;
  {
    auto st = std::make_unique<TStoreStream>(stored, sinfo, kCrc32);
    EXPECT_EQ(st->Write(copy.data(), static_cast<Int32>(copy.size())), static_cast<Int32>(copy.size()));
    EXPECT_EQ(st->FinalCrc(), Crc32Of(big.data(), big.size()));
  }
  EXPECT_EQ(copy, big);
  std::string back = Contents(stored);
  TZipCrypt sdec;
  sdec.InitZipKeys("pw");
  sdec.DecryptZipBuffer(back.data(), back.size());
  EXPECT_TRUE(back == big);
}

TEST(CodecStreams, ReadsAndWritesGzipFilesOfTheSystemTools) {
  ASSERT_TRUE(vsktest::HaveTool("gzip"));
  ASSERT_TRUE(vsktest::HaveTool("7z"));
  TempDir dir;
  const std::string data = TextBytes(700000, 31) + RandomBytes(100000, 32);

  // Ours in a minimal gzip container.
  auto le32 = [](UInt32 v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
  };
  const std::string gz = std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + Deflated(data, dtDeflateX) +
                         le32(Crc32Of(data.data(), data.size())) + le32(static_cast<UInt32>(data.size()));
  WriteFile(dir / "ours.gz", gz);
  EXPECT_EQ(RunTool("gzip -t ours.gz", dir.path()).exitCode, 0);
  EXPECT_EQ(RunTool("gzip -dc ours.gz > ours.out", dir.path()).exitCode, 0);
  EXPECT_TRUE(ReadFile(dir / "ours.out") == data);
  const auto t = RunTool("7z t ours.gz", dir.path());
  EXPECT_EQ(t.exitCode, 0) << t.output;

  // Theirs, read from behind the header up to the trailer.
  WriteFile(dir / "theirs", data);
  ASSERT_EQ(RunTool("gzip -9 -c theirs > theirs.gz", dir.path()).exitCode, 0);
  const std::string file = ReadFile(dir / "theirs.gz");
  ASSERT_GT(file.size(), 18u);
  std::size_t pos = 10;
  const auto flags = static_cast<Byte>(file[3]);
  if (flags & 0x04) pos += 2 + (static_cast<Byte>(file[pos]) | static_cast<Byte>(file[pos + 1]) << 8);
  if (flags & 0x08) pos = file.find('\0', pos) + 1;
  if (flags & 0x10) pos = file.find('\0', pos) + 1;
  if (flags & 0x02) pos += 2;
  TFileStream32 f((dir / "theirs.gz").string(), fmOpenRead);
  f.SetPosition(static_cast<Int64>(pos));
  UInt32 crc;
  {
    auto s = std::make_unique<TDecompressStream>(f, kRawDeflateBits, static_cast<Int64>(file.size() - pos - 8));
    EXPECT_TRUE(ReadAll(*s, 65536) == data);
    EXPECT_TRUE(s->EndOfStream());
    crc = s->FinalCrc();
  }
  EXPECT_EQ(f.Position(), static_cast<Int64>(file.size() - 8));
  Byte trailer[4];
  f.ReadBuffer(trailer, 4);
  EXPECT_EQ(crc, UInt32(trailer[0]) | UInt32(trailer[1]) << 8 | UInt32(trailer[2]) << 16 | UInt32(trailer[3]) << 24);
}

TEST(CodecStreams, EntryContinuesOnTheNextSource) {
  const std::string data = TextBytes(300000, 41);
  const std::string packed = RawDeflate(data, 6);
  const std::size_t half = packed.size() / 2;
  TMemoryStream32 vol1, vol2;
  Fill(vol1, packed.substr(0, half));
  Fill(vol2, "LBL" + packed.substr(half) + "tail");
  vol2.SetPosition(3);
  auto s = std::make_unique<TDecompressStream>(vol1, kRawDeflateBits, static_cast<Int64>(packed.size()));
  std::string got = ReadAll(*s, 65536);
  EXPECT_TRUE(s->InputExhausted());
  EXPECT_EQ(s->Error(), 25153);
  s->SwitchSource(vol2);
  EXPECT_EQ(s->Error(), 0);
  got += ReadAll(*s, 65536);
  EXPECT_TRUE(got == data);
  EXPECT_TRUE(s->EndOfStream());
  EXPECT_EQ(s->Seek(0, soBeginning), -1);  // the first byte is on the other volume
  s.reset();
  EXPECT_EQ(vol2.Position(), static_cast<Int64>(3 + packed.size() - half));
}

TEST(CodecStreams, StoreStreamAndStreamCrc) {
  // The known CRCs of "abc" through both kinds.
  TMemoryStream32 out;
  auto s32 = std::make_unique<TStoreStream>(out, TCodecInfo{}, kCrc32);
  EXPECT_EQ(s32->Write("abc", 3), 3);
  EXPECT_EQ(s32->FinalCrc(), 0x352441C2u);
  EXPECT_EQ(s32->Seek(0, soCurrent), 3);
  EXPECT_EQ(s32->Seek(0, soBeginning), -1);
  char c;
  EXPECT_EQ(s32->Read(&c, 1), -1);
  auto s16 = std::make_unique<TStoreStream>(out, TCodecInfo{}, kCrc16);
  s16->Write("abc", 3);
  EXPECT_EQ(s16->FinalCrc(), 0x9738u);
  EXPECT_EQ(Contents(out), "abcabc");

  // An encrypted entry goes on from the run's running CRC.
  TCrcState run;
  UpdateCrc32("ab", 2, run.Crc32);
  TZipCrypt keys;
  TCodecInfo enc;
  enc.Encrypt = true;
  enc.Crypt = &keys;
  enc.RunCrc = &run;
  auto se = std::make_unique<TStoreStream>(out, enc, kCrc32);
  se->Write("c", 1);
  EXPECT_EQ(se->FinalCrc(), 0x352441C2u);

  // Copies the whole source, lowers the bytes left, stops on cancel.
  const std::string src = RandomBytes(500000, 51);
  TMemoryStream32 in, dst;
  Fill(in, src);
  in.SetPosition(1234);
  double left = 1e6;
  bool cancel = false;
  TCodecInfo info;
  info.BytesLeft = &left;
  info.Cancel = &cancel;
  auto copy = std::make_unique<TStoreStream>(dst, info, kCrc32);
  EXPECT_EQ(copy->CopyFrom(in, 0), static_cast<Int64>(src.size()));
  EXPECT_TRUE(Contents(dst) == src);
  EXPECT_DOUBLE_EQ(left, 1e6 - static_cast<double>(src.size()));
  EXPECT_EQ(copy->FinalCrc(), Crc32Of(src.data(), src.size()));
  int chunks = 0;
  in.SetPosition(0);
  EXPECT_EQ(copy->CopyFrom(in, static_cast<Int64>(src.size()), nullptr,
                           [&](TStream32&) {
                             if (++chunks == 2) cancel = true;
                           }),
            2 * 102400);

  // The pass-through CRC of a whole stream, rewound afterwards.
  TMemoryStream32 abc;
  Fill(abc, "abc");
  abc.SetPosition(2);
  TCalcStreamCRC c32(abc, kCrc32);
  EXPECT_EQ(c32.Calculate() ^ 0xFFFFFFFFu, 0x352441C2u);
  EXPECT_EQ(c32.Count(), 3);
  EXPECT_EQ(abc.Position(), 0);
  TCalcStreamCRC c16(abc, kCrc16);
  EXPECT_EQ(c16.Calculate(), 0x9738u);
  TCalcStreamCRC none(abc, kCrcNone);
  EXPECT_EQ(none.Calculate(), 0u);
  char two[2];
  EXPECT_EQ(c32.Read(two, 2), 2);
  EXPECT_EQ(c32.Seek(0, soBeginning), 0);
  EXPECT_EQ(c32.Count(), 0);
  EXPECT_EQ(c32.Write("x", 1), -1);
}

TEST(CodecStreams, TakesTheRunsStateFromAComponent) {
  TZipCommon comp;
  comp.ProgressBytesLeft = 5000;
  TMemoryStream32 out;
  auto c = std::make_unique<TCompressStream>(out, dtDeflateN);
  c->Attach(comp);
  EXPECT_EQ(c->Crypt, comp.Crypt);
  const std::string data = TextBytes(3000, 61);
  EXPECT_EQ(c->Write(data.data(), 3000), 3000);
  EXPECT_DOUBLE_EQ(comp.ProgressBytesLeft, 2000);
  comp.SetCancel(true);
  EXPECT_TRUE(c->Cancelled());
  EXPECT_EQ(c->Write(data.data(), 10), 0);

  const TCodecInfo info = CodecInfoOf(comp, true);
  EXPECT_TRUE(info.Encrypt);
  EXPECT_EQ(info.Crypt, comp.Crypt);
  EXPECT_EQ(info.RunCrc, comp.Crc);
  EXPECT_EQ(info.Cancel, comp.CancelRef());
  EXPECT_EQ(info.BytesLeft, &comp.ProgressBytesLeft);
}

}  // namespace
}  // namespace vsk
