// The contents list as printed and exported.

#include "app/main/contentlist.h"

#include <gtest/gtest.h>

#include "tests/support/testutil.h"

namespace brevane {
namespace {

TEST(ContentList, NamesAndTheTextLayout) {
  const std::string n31(31, 'a'), n32 = std::string(28, 'b') + "cdef";
  EXPECT_EQ(NameField(n31), n31 + " ");
  EXPECT_EQ(NameField(n32), std::string(28, 'b') + "... ");
  EXPECT_EQ(NameField("short.txt"), "short.txt" + std::string(22, ' ') + " ");
  // Characters count, not bytes: 31 two-byte letters fit whole.
  std::string umlauts;
  for (int i = 0; i < 31; ++i) umlauts += "\xC3\xBC";
  EXPECT_EQ(NameField(umlauts), umlauts + " ");
  EXPECT_EQ(RightAligned("12", 5), "   12");
  EXPECT_EQ(RightAligned("123456", 5), "123456");

  const std::vector<TContentRow> rows = {{"readme.txt", "2021-06-15 10:30", "6", "6", "0%", {}},
                                         {n32, "2021-06-15 10:31", "50000", "1234", "98%", {}}};
  const auto lines = ContentListText("/data/a.zip", "2026-12-09 08:49", rows);
  const std::string rule = "------------------------------- ----------------- ----------- ----------- -----";
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "Archive File : /data/a.zip");
  EXPECT_EQ(lines[1], "File Date    : 2026-12-09 08:49");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], rule);
  EXPECT_EQ(lines[4], "File Name                                    Date    Unpacked      Packed Ratio");
  EXPECT_EQ(lines[5], rule);
  EXPECT_EQ(lines[6], "readme.txt                       2021-06-15 10:30           6           6    0%");
  EXPECT_EQ(lines[7], std::string(28, 'b') + "...  2021-06-15 10:31       50000        1234   98%");
  EXPECT_EQ(lines[8], rule);
  // The columns line up under the rule.
  EXPECT_EQ(lines[6].size(), rule.size());
}

TEST(ContentList, CsvAndHtmlKeepTheirStructureWhateverTheNames) {
  const std::vector<TContentRow> rows = {{"say \"hi\".txt", "d", "1", "2", "3%", {"d", "2", "1", "3%", "x/"}},
                                         {"<b>&.txt", "d", "1", "1", "0%", {"d", "1", "1", "0%", ""}}};
  const auto csv = ContentListCsv({"File Name", "Date", "Packed", "Unpacked", "Ratio", "Folder"}, rows);
  ASSERT_EQ(csv.size(), 3u);
  EXPECT_EQ(csv[0], "\"File Name\",\"Date\",\"Packed\",\"Unpacked\",\"Ratio\",\"Folder\"");
  EXPECT_EQ(csv[1], "\"say \"\"hi\"\".txt\",\"d\",\"2\",\"1\",\"3%\",\"x/\"");

  const auto html = ContentListHtml("/data/<x>.zip", "today", rows);
  EXPECT_EQ(html.front(), "<html><head><title>&lt;x&gt;.zip</title>");
  EXPECT_EQ(html[4], "Archive File : <font color=\"#666666\">/data/&lt;x&gt;.zip</font><br>");
  std::string all;
  for (const auto& l : html) all += l + "\n";
  EXPECT_EQ(all.find("<b>&"), std::string::npos) << "names are text, not markup";
  EXPECT_NE(all.find("&lt;b&gt;&amp;.txt"), std::string::npos);
  EXPECT_NE(all.find("say &quot;hi&quot;.txt"), std::string::npos);
  EXPECT_EQ(html.back().rfind("</table><p>", 0), 0u);
  EXPECT_NE(html.back().find("<font color=\"#666666\">Brevane</font>"), std::string::npos);
  // Two rows of seven lines each between the header and the end.
  EXPECT_EQ(html.size(), 14u + 2 * 7 + 1);

  vsktest::TempDir dir;
  const auto file = (dir / "list.txt").string();
  vsktest::WriteFile(file, "an older and longer file that must go entirely");
  ASSERT_TRUE(WriteCrLfLines(file, {"one", "", "three"}));
  EXPECT_EQ(vsktest::ReadFile(file), "one\r\n\r\nthree\r\n");
  EXPECT_FALSE(WriteCrLfLines((dir / "no/such/folder/x.txt").string(), {"a"}));
}

}  // namespace
}  // namespace brevane
