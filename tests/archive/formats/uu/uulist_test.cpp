// The lister against texts written by uuencode, and the begin-line search.

#include <gtest/gtest.h>

#include "archive/formats/uu/uuencode.h"
#include "archive/formats/uu/uuheader.h"
#include "tests/support/listing.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::DateText;
using vsktest::ListArchive;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

TEST(UueList, TextsWrittenByUuencode) {
  ASSERT_TRUE(vsktest::HaveTool("uuencode") && vsktest::HaveTool("uudecode"));
  TempDir dir;
  WriteFile(dir / "data.bin", vsktest::RandomBytes(108894, 7));
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
  // Packed is the text, unpacked what it decodes to.
  EXPECT_EQ(e.packed, size);
  EXPECT_EQ(e.unpacked, 108894);
  EXPECT_EQ(r.packTotal, static_cast<double>(size));
  EXPECT_EQ(r.unpackTotal, 108894.0);
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
  // With CR LF line ends, and with a last line cut short, as the decoder reads them.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  WriteFile(dir / "crlf.uue", crlf);
  EXPECT_EQ(ListArchive((dir / "crlf.uue").string()).entries.at(0).unpacked, 108894);
  // 100 full lines of 45 bytes (61 characters and the line feed), then half a line.
  const std::size_t header = std::string("begin 644 stored name.bin\n").size();
  ASSERT_EQ(text.substr(header + 100 * 62, 1), "M");
  WriteFile(dir / "cut.uue", text.substr(0, header + 100 * 62 + 30));
  EXPECT_EQ(ListArchive((dir / "cut.uue").string()).entries.at(0).unpacked, 100 * 45);
}

// XX texts, with and without their alphabet in a table, of the project's
// own encoder; sizes that leave a short last line.
TEST(UueList, XxTextsGiveTheirDecodedSize) {
  TempDir dir;
  for (const int size : {0, 1, 45, 46, 9999}) {
    for (const bool table : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (table ? " with a table" : ""));
      WriteFile(dir / "d.bin", vsktest::RandomBytes(static_cast<std::size_t>(size), 3));
      fs::remove(dir / "d.xxe");
      TUUEncode e;
      e.SetArchiveFile((dir / "d.bin").string());
      e.SetOutFilename((dir / "d.xxe").string());
      ASSERT_TRUE(e.SetCompressMethod(cmXXEncode));
      e.WriteTableToFile = table;
      ASSERT_EQ(e.Compress(), 1);
      const auto r = ListArchive((dir / "d.xxe").string());
      ASSERT_EQ(r.entries.size(), 1u);
      EXPECT_EQ(r.entries[0].unpacked, size);
    }
  }
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
  EXPECT_EQ(r.entries[0].unpacked, 3000);
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
