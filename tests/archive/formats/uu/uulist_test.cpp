// The lister against texts written by uuencode, and the begin-line search.

#include <gtest/gtest.h>

#include "archive/formats/uu/uuheader.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::DateText;
using vsktest::ListArchive;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

TEST(UueList, TextsWrittenByUuencode) {
  ASSERT_TRUE(vsktest::HaveTool("uuencode") && vsktest::HaveTool("uudecode"));
  TempDir dir;
  WriteFile(dir / "data.bin", vsktest::RandomBytes(10000, 7));
  ASSERT_EQ(RunTool("uuencode data.bin 'stored name.bin' > x.uue && touch -d '2019-08-07 06:05:04' x.uue",
                    dir.path())
                .exitCode,
            0);
  const auto arc = (dir / "x.uue").string();
  const auto r = ListArchive(arc, {.spec = {}});  // not mask-tested
  EXPECT_EQ(r.type, atUUE);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.entries.size(), 1u);
  const auto& e = r.entries[0];
  // The name as uuencode wrote it on its begin line.
  const std::string text = vsktest::ReadFile(arc);
  ASSERT_EQ(text.rfind("begin 644 stored name.bin\n", 0), 0u);
  EXPECT_EQ(e.name, "stored name.bin");
  EXPECT_EQ(r.readFile, std::vector<std::string>{"stored name.bin"});
  const auto size = static_cast<Int64>(text.size());
  EXPECT_EQ(e.packed, size);
  EXPECT_EQ(e.unpacked, size);
  EXPECT_EQ(r.packTotal, static_cast<double>(size));
  EXPECT_EQ(r.unpackTotal, static_cast<double>(size));
  EXPECT_EQ(r.numFiles, 1);
  EXPECT_EQ(e.filenum, 1);
  EXPECT_EQ(e.offset, 0);
  EXPECT_EQ(e.crc, 0u);
  EXPECT_EQ(e.attr, 0x20u);
  EXPECT_EQ(e.internalAttr, 0x20);
  EXPECT_TRUE(e.methodText.empty());
  EXPECT_EQ(DateText(e.date), "2019-08-07 06:05:04");
  // The text is what uudecode restores the file from.
  ASSERT_EQ(RunTool("uudecode -o back.bin x.uue && cmp back.bin data.bin", dir.path()).exitCode, 0);

  // A mail around the text: the begin line is found after other lines.
  WriteFile(dir / "mail.uue", "From: someone\r\nSubject: file\r\n\r\n" + text);
  const auto m = ListArchive((dir / "mail.uue").string());
  EXPECT_EQ(m.type, atUUE);
  ASSERT_EQ(m.entries.size(), 1u);
  EXPECT_EQ(m.entries[0].name, "stored name.bin");
}

TEST(UueList, Base64TextsAreListedToo) {
  ASSERT_TRUE(vsktest::HaveTool("uuencode"));
  TempDir dir;
  WriteFile(dir / "data.bin", vsktest::RandomBytes(3000, 9));
  ASSERT_EQ(RunTool("uuencode -m data.bin 'b64 name.bin' > x.b64", dir.path()).exitCode, 0);
  const auto r = ListArchive((dir / "x.b64").string(), {.spec = {}});
  EXPECT_EQ(r.type, atUUE);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].name, "b64 name.bin");
}

TEST(UueList, BeginLineSearch) {
  auto find = [](const std::string& t, TUuBeginLine& b) {
    return b.Find(reinterpret_cast<const Byte*>(t.data()), t.size());
  };
  TUuBeginLine b;
  ASSERT_TRUE(find("junk\nbegin 0644 a b\r\nM...", b));
  EXPECT_EQ(b.Offset, 5u);
  EXPECT_EQ(b.Mode, "0644");
  EXPECT_EQ(b.Name, "a b");
  ASSERT_TRUE(find("begin 644\n", b));
  EXPECT_EQ(b.Name, "");
  ASSERT_TRUE(find("begin 644 " + std::string(400, 'n') + "\n", b));
  EXPECT_EQ(b.Name.size(), kUuMaxName);
  // Only at a line start, and not in the last 3 bytes.
  EXPECT_FALSE(find("xbegin 644 a\n", b));
  EXPECT_FALSE(find("abc\nbeg", b));
  EXPECT_FALSE(find("", b));
  ASSERT_TRUE(find("begin 6", b));
  EXPECT_EQ(b.Mode, "6");

  // A text larger than the searched part still gives one entry of its size.
  TempDir dir;
  WriteFile(dir / "long.uue", "begin 644 x\n" + std::string(40000, 'z'));
  const auto r = ListArchive((dir / "long.uue").string());
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].packed, 40012);
}

}  // namespace
}  // namespace vsk
