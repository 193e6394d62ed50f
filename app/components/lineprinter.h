#pragma once
// Prints a list of text lines with one font, margins, optional word wrap
// and an optional title (with page numbers) at the top or bottom of every
// page.

#include <QFont>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QPrinter;

namespace brevane {

enum TUCLinePrinterUnit : int { mm, Inch };
enum TPrintTitlePlacement : int { Nowhere, TopOfPage, BottomOfPage };

// Page margins from the paper's edges, each kept with two decimals.
class TUCLinePrinterMargins {
 public:
  double Top() const { return FTop; }
  double Left() const { return FLeft; }
  double Bottom() const { return FBottom; }
  double Right() const { return FRight; }
  void SetTop(double Value) { FTop = Rounded(Value); }
  void SetLeft(double Value) { FLeft = Rounded(Value); }
  void SetBottom(double Value) { FBottom = Rounded(Value); }
  void SetRight(double Value) { FRight = Rounded(Value); }
  TUCLinePrinterUnit MarginUnit() const { return FUnit; }
  // Converts the four margins to the new unit.
  void SetMarginUnit(TUCLinePrinterUnit Unit);
  // A margin in inches.
  double InInches(double Margin) const { return FUnit == mm ? Margin / 25.4 : Margin; }

 private:
  static double Rounded(double Value);
  double FTop = 15, FLeft = 15, FBottom = 15, FRight = 15;
  TUCLinePrinterUnit FUnit = mm;
};

// Breaks Line into pieces narrower than Width as measured by TextWidth: at
// the last tab, blank, "-" or "." that fits (kept at the end of the piece),
// or, in a word wider than the width, after the last character that fits.
std::vector<QString> WrapPrintLine(const QString& Line, int Width, const std::function<int(const QString&)>& TextWidth);

// How many pages WorkingLines take at LinesPerPage lines each (at least 1).
int PrintPageCount(int WorkingLines, int LinesPerPage);

class TUCLinePrinter {
 public:
  std::vector<std::string> Lines;
  QFont Font;
  bool WordWrap = true;
  TUCLinePrinterMargins Margins;
  std::string PrintTitle;
  TPrintTitlePlacement TitleOnPrintout = Nowhere;
  bool PrintPageNumbers = false;
  std::function<void(TUCLinePrinter& Sender)> OnStartPrint;
  std::function<void(TUCLinePrinter& Sender, int PageNo, int TotalPages)> OnNextPage;
  std::function<void(TUCLinePrinter& Sender)> OnEndPrint;

  // Prints Lines on the default printer; false when the printer could not
  // be used. Nothing happens for no lines.
  bool Print();
  // The same on a printer set up by the caller (a file, say).
  bool PrintOn(QPrinter& Printer);

  // Lines that fitted on a page in the last job.
  int LinesPerPage() const { return FLinesPerPage; }

  // The title as drawn on a page.
  QString TitleText(int Page, int Pages) const;

 private:
  int FLinesPerPage = 0;
};

}  // namespace brevane
