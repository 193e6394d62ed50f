#include "app/components/lineprinter.h"

#include <gtest/gtest.h>

#include <QPrinter>

#include "tests/support/testutil.h"

namespace brevane {
namespace {

TEST(LinePrinter, MarginsKeepTwoDecimalsAcrossUnits) {
  TUCLinePrinterMargins m;
  EXPECT_EQ(m.Top(), 15);
  EXPECT_EQ(m.MarginUnit(), mm);
  m.SetMarginUnit(Inch);
  EXPECT_DOUBLE_EQ(m.Top(), 0.59);
  EXPECT_DOUBLE_EQ(m.Left(), 0.59);
  m.SetMarginUnit(mm);
  EXPECT_DOUBLE_EQ(m.Top(), 14.99);
  m.SetRight(12.3456);
  EXPECT_DOUBLE_EQ(m.Right(), 12.35);
  EXPECT_DOUBLE_EQ(m.InInches(25.4), 1.0);
}

TEST(LinePrinter, WrapsAtBreakCharactersAndCutsLongWords) {
  // Every character is 10 wide; a piece must stay below 100.
  const auto width = [](const QString& s) { return static_cast<int>(s.size()) * 10; };
  const auto wrap = [&](const char* text) {
    std::vector<std::string> out;
    for (const QString& piece : WrapPrintLine(QString::fromUtf8(text), 100, width)) out.push_back(piece.toStdString());
    return out;
  };
  EXPECT_EQ(wrap("short"), std::vector<std::string>{"short"});
  EXPECT_EQ(wrap("one two three four"), (std::vector<std::string>{"one two ", "three ", "four"}));
  EXPECT_EQ(wrap("a.b-c.d.e.f.g"), (std::vector<std::string>{"a.b-c.d.", "e.f.g"}));
  // No break character: cut where it stops fitting, never endlessly.
  EXPECT_EQ(wrap("abcdefghijklmnopqrstuvwxyz"), (std::vector<std::string>{"abcdefghi", "jklmnopqr", "stuvwxyz"}));
  EXPECT_EQ(WrapPrintLine(QStringLiteral("abc"), 5, width).size(), 3u);
  EXPECT_EQ(PrintPageCount(120, 50), 3);
  EXPECT_EQ(PrintPageCount(100, 50), 2);
  EXPECT_EQ(PrintPageCount(0, 50), 1);
}

// Pages in a PDF file: the page objects are written as plain text.
int PdfPages(const std::string& Pdf) {
  int n = 0;
  for (std::size_t at = Pdf.find("/Type /Page"); at != std::string::npos; at = Pdf.find("/Type /Page", at + 1))
    if (Pdf.compare(at, 12, "/Type /Pages") != 0) ++n;
  return n;
}

TEST(LinePrinter, PagesTitlesAndEvents) {
  vsktest::TempDir dir;
  TUCLinePrinter p;
  p.Font = QFont(QStringLiteral("Courier New"), 10);
  p.PrintTitle = "Brevane : a.zip";
  p.TitleOnPrintout = TopOfPage;
  p.PrintPageNumbers = true;
  std::vector<std::pair<int, int>> pages;
  int started = 0, ended = 0;
  p.OnStartPrint = [&](TUCLinePrinter&) { ++started; };
  p.OnNextPage = [&](TUCLinePrinter&, int Page, int Total) { pages.emplace_back(Page, Total); };
  p.OnEndPrint = [&](TUCLinePrinter&) { ++ended; };

  // Nothing to print: no job, no event.
  EXPECT_TRUE(p.Print());
  EXPECT_EQ(started, 0);

  for (int i = 0; i < 200; ++i) p.Lines.push_back("line " + std::to_string(i));
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  const std::string pdf = (dir / "out.pdf").string();
  printer.setOutputFileName(QString::fromStdString(pdf));
  ASSERT_TRUE(p.PrintOn(printer));
  EXPECT_EQ(started, 1);
  EXPECT_EQ(ended, 1);
  ASSERT_GE(pages.size(), 2u);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i].first, static_cast<int>(i) + 1);
    EXPECT_EQ(pages[i].second, static_cast<int>(pages.size()));
  }
  EXPECT_EQ(PdfPages(vsktest::ReadFile(pdf)), static_cast<int>(pages.size()));
  EXPECT_EQ(p.TitleText(2, 3).toStdString(), "Brevane : a.zip (2/3)");

  // Filling two pages exactly adds no third; one line more does.
  const int perPage = p.LinesPerPage();
  ASSERT_GT(perPage, 10);
  for (const int lines : {2 * perPage, 2 * perPage + 1}) {
    pages.clear();
    p.Lines.assign(static_cast<std::size_t>(lines), "x");
    QPrinter again;
    again.setOutputFormat(QPrinter::PdfFormat);
    again.setOutputFileName(QString::fromStdString((dir / "again.pdf").string()));
    ASSERT_TRUE(p.PrintOn(again));
    const int want = lines == 2 * perPage ? 2 : 3;
    EXPECT_EQ(static_cast<int>(pages.size()), want);
    EXPECT_EQ(PdfPages(vsktest::ReadFile((dir / "again.pdf").string())), want);
  }
}

}  // namespace
}  // namespace brevane
