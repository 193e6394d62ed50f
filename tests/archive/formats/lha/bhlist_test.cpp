// The lister and the header parser against BH archives built here from the
// format's layout (no Debian tool writes BH); the deflated entries are
// inflated back through the parser's data offsets, so the fixtures are
// known to be sound.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "base/dates.h"
#include "archive/core/numbers.h"
#include "archive/formats/lha/bhheader.h"
#include "tests/support/archivebytes.h"
#include "tests/support/listing.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::Le16;
using vsktest::Le32;
using vsktest::ListArchive;
using vsktest::ListResult;
using vsktest::RawDeflate;
using vsktest::TempDir;
using vsktest::WriteFile;

UInt32 Crc32Of(const std::string& s) {
  return static_cast<UInt32>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

std::string RawInflate(const std::string& in, std::size_t size) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  std::string out(size, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

constexpr UInt32 kDos = 0x4E6E5A8B;  // 2019-03-14 11:20:22

struct BhEntry {
  std::string name = {};
  std::string data = {};
  Byte method = 0;
  Byte flags = 0;
  UInt16 attr = 0x20;
  std::string extra = {};
  UInt32 dos = kDos;
};

// The stored bytes of one entry. Deflated entries hold real raw deflate
// data; the LZH methods and encrypted entries hold placeholder bytes of the
// right length (the lister does not decode).
std::string BhBytes(const BhEntry& e) {
  std::string packed = (e.method == 2 || e.method == 8) ? RawDeflate(e.data, 9) : e.data;
  if (e.flags & kBhFlagEncrypted) packed = std::string(12, '\x5A') + packed;
  std::string h = Le32(kBhSignature) + Le16(static_cast<unsigned>(37 + e.name.size() + e.extra.size())) + '\x25' +
                  '\x04' + '\x08' + static_cast<char>(e.flags) + static_cast<char>(e.method) + Le32(e.dos) +
                  Le32(static_cast<UInt32>(packed.size())) + Le32(static_cast<UInt32>(e.data.size())) +
                  Le32(Crc32Of(e.data)) + Le16(e.attr) + Le32(0) + Le16(static_cast<unsigned>(e.name.size())) +
                  Le16(static_cast<unsigned>(e.extra.size()));
  EXPECT_EQ(h.size(), 37u);
  return h + e.name + e.extra + packed;
}

std::vector<BhEntry> SampleEntries() {
  return {
      {.name = "readme.txt", .data = vsktest::TextBytes(6000, 1), .method = 8, .flags = 0x02},
      {.name = "dir\\notes.txt", .data = vsktest::TextBytes(9000, 2), .method = 2, .extra = "extra-field"},
      {.name = "data.bin", .data = vsktest::RandomBytes(700, 3), .attr = 0x21},
      {.name = "lzh13.bin", .data = vsktest::RandomBytes(50, 4), .method = 1},
      {.name = "lzh15.bin", .data = vsktest::RandomBytes(60, 5), .method = 3, .extra = "x"},
      {.name = "secret.txt", .data = vsktest::TextBytes(300, 6), .flags = kBhFlagEncrypted},
      {.name = "folder\\", .attr = 0x10},
      {.name = "odd.bin", .data = "zz", .method = 9, .flags = 0x06},
      {.name = "fast.txt", .data = vsktest::TextBytes(400, 7), .method = 8, .flags = 0x04},
  };
}

std::string SampleArchive() {
  std::string arc;
  for (const auto& e : SampleEntries()) arc += BhBytes(e);
  return arc;
}

ListResult ListBytes(const TempDir& dir, const std::string& bytes, bool showDirs = false) {
  return vsktest::ListArchiveBytes((dir / "t.bh").string(), bytes, {.showDirs = showDirs});
}

TEST(BhList, ListsEveryEntryFromItsHeader) {
  TempDir dir;
  const auto entries = SampleEntries();
  const std::string arc = SampleArchive();
  const auto r = ListBytes(dir, arc, true);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.type, atBh);
  EXPECT_TRUE(r.errors.empty());
  ASSERT_EQ(r.entries.size(), entries.size());

  const std::vector<std::string> names = {"readme.txt", "dir/notes.txt", "data.bin", "lzh13.bin", "lzh15.bin",
                                          "secret.txt", "folder/",       "odd.bin",  "fast.txt"};
  const std::vector<std::string> methods = {"DeflateX", "Deflate", "Stored",      "Fused1",  "Fused3",
                                            "Stored",   "Stored",  "Unsupported", "DeflateF"};
  Int64 offset = 0;
  double packedTotal = 0, unpackedTotal = 0;
  int files = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = r.entries[i];
    const auto& in = entries[i];
    const std::string stored = BhBytes(in);
    const Int64 rawPacked = static_cast<Int64>(stored.size() - 37 - in.name.size() - in.extra.size());
    const bool encrypted = (in.flags & 1) != 0;
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.name, names[i]);
    EXPECT_EQ(e.methodText, methods[i]);
    EXPECT_EQ(e.methodNumber, in.method);
    EXPECT_EQ(e.offset, offset);
    EXPECT_EQ(e.unpacked, static_cast<Int64>(in.data.size()));
    EXPECT_EQ(e.packed, encrypted ? rawPacked - 12 : rawPacked);
    EXPECT_EQ(e.encrypted, encrypted);
    EXPECT_EQ(e.crc, Crc32Of(in.data));
    EXPECT_EQ(e.attr, in.attr);
    EXPECT_EQ(e.internalAttr, in.attr);
    EXPECT_EQ(e.madeBy, 4);
    EXPECT_EQ(e.needed, 8);
    EXPECT_EQ(e.date, DosDateTimeToDateTime(kDos));
    // The ratio is taken on the packed size as stored.
    EXPECT_EQ(e.ratio, CompressRatio(rawPacked, static_cast<Int64>(in.data.size())));
    if (!(in.attr & 0x10)) {
      ++files;
      packedTotal += static_cast<double>(e.packed);
      unpackedTotal += static_cast<double>(in.data.size());
      EXPECT_EQ(e.filenum, files);
    } else {
      EXPECT_EQ(e.filenum, files);
    }
    offset += static_cast<Int64>(stored.size());
  }
  EXPECT_EQ(r.numFiles, files);
  EXPECT_EQ(r.packTotal, packedTotal);  // without the cipher header
  EXPECT_EQ(r.unpackTotal, unpackedTotal);

  // Without ShowEmptyDirs the folder is left out; masks select by name.
  const auto plain = ListBytes(dir, arc);
  EXPECT_EQ(plain.entries.size(), entries.size() - 1);
  EXPECT_EQ(plain.numFiles, files);
  WriteFile(dir / "m.bh", arc);
  const auto txt = ListArchive((dir / "m.bh").string(), {.spec = {"*.txt"}});
  EXPECT_EQ(txt.numFiles, 4);
  EXPECT_EQ(txt.readFile.size(), entries.size());
}

TEST(BhList, ParserFindsEachEntrysData) {
  const auto entries = SampleEntries();
  const std::string arc = SampleArchive();
  const auto read = [&arc](Int64 pos, void* buf, Int32 count) -> Int32 {
    if (pos < 0 || pos >= static_cast<Int64>(arc.size())) return 0;
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(count), arc.size() - static_cast<std::size_t>(pos));
    std::memcpy(buf, arc.data() + pos, n);
    return static_cast<Int32>(n);
  };
  Int64 at = 0;
  std::size_t i = 0;
  Byte fixed[kBhFixedSize];
  for (; at < static_cast<Int64>(arc.size()); ++i) {
    const Int32 got = read(at, fixed, kBhFixedSize);
    TBhHeader h;
    ASSERT_EQ(TBhHeader::Parse(fixed, got, at, static_cast<Int64>(arc.size()), read, h), TBhStatus::Ok);
    ASSERT_LT(i, entries.size());
    const auto& in = entries[i];
    EXPECT_EQ(h.Name, in.name);
    EXPECT_EQ(h.HeaderLength, 37 + in.name.size() + in.extra.size());
    EXPECT_EQ(h.FixedLength, 37);
    EXPECT_EQ(h.ExtraLength, in.extra.size());
    EXPECT_EQ(h.IsDirectory(), (in.attr & 0x10) != 0);
    const std::string data = arc.substr(static_cast<std::size_t>(h.DataOffset()), h.PackedSize);
    ASSERT_EQ(data.size(), h.PackedSize);
    if (h.Method == 2 || h.Method == 8) {
      const std::string plain = RawInflate(data, h.UnpackedSize);
      EXPECT_EQ(plain, in.data);
      EXPECT_EQ(Crc32Of(plain), h.Crc32);
    } else if (h.Method == 0 && !h.Encrypted()) {
      EXPECT_EQ(data, in.data);
    } else if (h.Encrypted()) {
      EXPECT_EQ(h.DataSize(), in.data.size());
      EXPECT_EQ(data.substr(12), in.data);
    }
    at = h.NextOffset();
  }
  EXPECT_EQ(i, entries.size());
  EXPECT_EQ(at, static_cast<Int64>(arc.size()));

  // The end: no signature, or a header length of 0.
  TBhHeader h;
  Byte zero[kBhFixedSize] = {};
  EXPECT_EQ(TBhHeader::Parse(zero, kBhFixedSize, 0, 100, read, h), TBhStatus::EndOfArchive);
  std::memcpy(zero, arc.data(), kBhFixedSize);
  zero[4] = zero[5] = 0;
  EXPECT_EQ(TBhHeader::Parse(zero, kBhFixedSize, 0, 100, read, h), TBhStatus::EndOfArchive);
}

TEST(BhList, HostileHeadersEndTheWalk) {
  TempDir dir;
  const std::string first = BhBytes({.name = "first", .data = "1"});
  const std::string tail = BhBytes({.name = "tail", .data = "2"});
  auto listed = [&](const std::string& bad) {
    const auto r = ListBytes(dir, first + bad + tail);
    EXPECT_TRUE(r.ok);
    return r.Names();
  };
  const std::vector<std::string> onlyFirst = {"first"};
  const std::string mid = BhBytes({.name = "mid", .data = "abc"});

  std::string s = mid;
  s[0] = 'X';  // no signature
  EXPECT_EQ(listed(s), onlyFirst);
  s = mid;
  s[4] = s[5] = 0;  // header length 0
  EXPECT_EQ(listed(s), onlyFirst);
  s = mid;
  s[33] = s[34] = '\xFF';  // name past the end
  EXPECT_EQ(listed(s), onlyFirst);
  s = mid;
  s[35] = s[36] = '\xFF';  // extra field past the end
  EXPECT_EQ(listed(s), onlyFirst);
  s = mid;
  s[15] = s[16] = s[17] = s[18] = '\xFF';  // data past the end: listed, then the end
  EXPECT_EQ(listed(s), (std::vector<std::string>{"first", "mid"}));
  // An encrypted entry too short for its cipher header keeps its size.
  s = BhBytes({.name = "short", .data = ""});
  s[9] = 1;
  const auto r = ListBytes(dir, s);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].packed, 0);
  EXPECT_TRUE(r.entries[0].encrypted);

  // An archive whose first header lacks the signature lists nothing.
  std::string noSig = SampleArchive();
  noSig[3] = 0;
  const auto none = ListBytes(dir, noSig);
  EXPECT_TRUE(none.entries.empty());

  // Every truncation, and random damage, of the sample archive.
  const std::string arc = SampleArchive();
  for (std::size_t n = 1; n < arc.size(); n += (n < 400 ? 1 : 97)) {
    const auto t = ListBytes(dir, arc.substr(0, n));
    EXPECT_TRUE(t.ok);
    EXPECT_LE(t.entries.size(), 9u);
  }
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::string bad = arc;
    for (int i = 0; i < 3; ++i) {
      const std::size_t at = rng() % 2 ? rng() % 60 : rng() % bad.size();
      bad[at] = static_cast<char>(rng());
    }
    EXPECT_TRUE(ListBytes(dir, bad).ok);
  }
}

}  // namespace
}  // namespace vsk
