// The LHA header parser as the readers use it: walked over stored archives
// of jlha, each entry's data offset and packed size must frame exactly the
// bytes of the file that went in.

#include "archive/formats/lha/lhaheader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

TArchiveReadAt ReaderOf(const std::string& arc) {
  return [&arc](Int64 pos, void* buf, Int32 count) -> Int32 {
    if (pos < 0 || pos >= static_cast<Int64>(arc.size()) || count <= 0) return 0;
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(count), arc.size() - static_cast<std::size_t>(pos));
    std::memcpy(buf, arc.data() + pos, n);
    return static_cast<Int32>(n);
  };
}

TEST(LhaHeader, FramesTheDataOfJlhaArchives) {
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  TempDir dir;
  const std::map<std::string, std::string> files = {{"src/readme.txt", vsktest::TextBytes(5000, 1)},
                                                    {"src/sub/notes.txt", vsktest::TextBytes(20000, 3)},
                                                    {"src/empty.txt", ""}};
  for (const auto& [name, data] : files) WriteFile(dir / name, data);
  for (int level : {0, 1, 2}) {
    for (std::string option : {"z", ""}) {
      SCOPED_TRACE(std::to_string(level) + option);
      const auto path = (dir / ("s" + std::to_string(level) + option + ".lzh")).string();
      ASSERT_EQ(
          RunTool("jlha a" + std::to_string(level) + option + " " + ShellQuote(path) + " src", dir.path()).exitCode, 0);
      const std::string arc = vsktest::ReadFile(path);
      const auto read = ReaderOf(arc);
      const Int64 size = static_cast<Int64>(arc.size());
      Int64 at = 0;
      int seen = 0;
      for (;;) {
        Byte fixed[kLhaFixedSize] = {};
        const Int32 got = read(at, fixed, kLhaFixedSize);
        TLhaHeader h;
        const auto status = TLhaHeader::Parse(fixed, got, at, size, read, h);
        if (status == TLhaStatus::EndOfArchive) break;
        ASSERT_EQ(status, TLhaStatus::Ok) << at;
        EXPECT_EQ(h.Level, level);
        EXPECT_EQ(h.Offset, at);
        EXPECT_GE(h.HeaderLength, kLhaFixedSize + 2);
        if (level == 1) {
          EXPECT_EQ(h.StoredPackedSize, h.PackedSize + (h.HeaderLength - fixed[0] - 2));
        }
        std::string name = h.StoredName();
        std::replace(name.begin(), name.end(), '\\', '/');
        if (!h.IsDirectory()) {
          ASSERT_TRUE(files.count(name)) << name;
          EXPECT_EQ(h.UnpackedSize, files.at(name).size());
          if (h.MethodLetter() == '0') {
            EXPECT_EQ(h.PackedSize, h.UnpackedSize);
            EXPECT_EQ(arc.substr(static_cast<std::size_t>(h.DataOffset()), h.PackedSize), files.at(name)) << name;
          } else {
            EXPECT_EQ(h.MethodLetter(), '5');
          }
          ++seen;
        } else {
          EXPECT_EQ(name.back(), '/');
          EXPECT_EQ(h.PackedSize, 0u);
        }
        at = h.NextOffset();
        ASSERT_LT(at, size);
      }
      EXPECT_EQ(seen, 3);
      // The walk ends at the end mark, the archive's last byte.
      EXPECT_EQ(at, size - 1);
    }
  }
}

TEST(LhaHeader, StatusOfDamagedHeaders) {
  // A level-1 header naming "ab" with one folder header of 6 bytes.
  std::string h1 = std::string("\x00\x00-lh0-", 7) + std::string("\x09\x00\x00\x00", 4) +
                   std::string("\x03\x00\x00\x00", 4) + std::string(4, '\0') + "\x20\x01\x02" + "ab" +
                   std::string("\x00\x00U\x06\x00", 5) +
                   std::string(
                       "\x02"
                       "dir\x00\x00",
                       6) +
                   "xyz";
  h1[0] = static_cast<char>(25 + 2);
  TLhaHeader h;
  auto parse = [&](const std::string& bytes) {
    const auto r = ReaderOf(bytes);
    return TLhaHeader::Parse(reinterpret_cast<const Byte*>(bytes.data()),
                             static_cast<Int32>(std::min<std::size_t>(bytes.size(), kLhaFixedSize)), 0,
                             static_cast<Int64>(bytes.size()), r, h);
  };
  ASSERT_EQ(parse(h1), TLhaStatus::Ok);
  EXPECT_EQ(h.StoredName(), "dir\\ab");
  EXPECT_EQ(h.PackedSize, 3u);
  EXPECT_EQ(h.HeaderLength, 29 + 6);
  EXPECT_EQ(h.OsId, 'U');
  EXPECT_EQ(h.NextOffset(), static_cast<Int64>(h1.size()));

  EXPECT_EQ(parse(h1.substr(0, 30)), TLhaStatus::Truncated);  // inside the folder header
  EXPECT_EQ(parse(h1.substr(0, 10)), TLhaStatus::Truncated);
  EXPECT_EQ(parse(std::string(1, '\0')), TLhaStatus::EndOfArchive);
  std::string bad = h1;
  bad[0] = 26;  // too small for name, CRC, OS byte and size
  EXPECT_EQ(parse(bad), TLhaStatus::BadHeader);
  bad = h1;
  bad[20] = 3;
  EXPECT_EQ(parse(bad), TLhaStatus::UnknownLevel);
  bad = h1;
  bad[7] = 5;  // packed size below the extended header it counts
  EXPECT_EQ(parse(bad), TLhaStatus::BadHeader);
}

}  // namespace
}  // namespace vsk
