#include "app/components/lineprinter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <cmath>

namespace brevane {

double TUCLinePrinterMargins::Rounded(double Value) { return std::round(Value * 100.0) / 100.0; }

void TUCLinePrinterMargins::SetMarginUnit(TUCLinePrinterUnit Unit) {
  if (Unit == FUnit) return;
  const double factor = Unit == mm ? 25.4 : 1 / 25.4;
  FTop = Rounded(FTop * factor);
  FLeft = Rounded(FLeft * factor);
  FBottom = Rounded(FBottom * factor);
  FRight = Rounded(FRight * factor);
  FUnit = Unit;
}

std::vector<QString> WrapPrintLine(const QString& Line, int Width,
                                   const std::function<int(const QString&)>& TextWidth) {
  std::vector<QString> out;
  QString rest = Line;
  while (true) {
    if (TextWidth(rest) < Width || rest.size() <= 1) {
      out.push_back(rest);
      break;
    }
    // The longest leading part narrower than the width.
    qsizetype fits = rest.size() - 1;
    while (fits > 1 && TextWidth(rest.left(fits)) >= Width) --fits;
    // Break after the last break character inside it; a word with none is
    // cut where it stops fitting, so every round takes at least one.
    qsizetype cut = fits;
    for (qsizetype i = fits - 1; i > 0; --i) {
      const QChar c = rest[i];
      if (c == QLatin1Char('\t') || c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('.')) {
        cut = i + 1;
        break;
      }
    }
    out.push_back(rest.left(cut));
    rest = rest.mid(cut);
    while (rest.startsWith(QLatin1Char('\r'))) rest.remove(0, 1);
    if (rest.isEmpty()) break;
  }
  return out;
}

int PrintPageCount(int WorkingLines, int LinesPerPage) {
  if (LinesPerPage <= 0) return 1;
  return std::max(1, (WorkingLines + LinesPerPage - 1) / LinesPerPage);
}

QString TUCLinePrinter::TitleText(int Page, int Pages) const {
  QString title = QString::fromStdString(PrintTitle);
  if (PrintPageNumbers) title += QStringLiteral(" (%1/%2)").arg(Page).arg(Pages);
  return title;
}

bool TUCLinePrinter::Print() {
  if (Lines.empty()) return true;
  QPrinter printer(QPrinter::HighResolution);
  return PrintOn(printer);
}

bool TUCLinePrinter::PrintOn(QPrinter& Printer) {
  if (Lines.empty()) return true;
  Printer.setDocName(QString::fromStdString(PrintTitle));
  Printer.setFullPage(true);
  QPainter painter;
  if (!painter.begin(&Printer)) return false;
  painter.setFont(Font);
  const QFontMetrics metrics(Font, &Printer);
  const int lineHeight = std::max(1, metrics.lineSpacing());

  // The margins from the paper's edges, kept inside the printable area.
  const QRect paper = Printer.paperRect(QPrinter::DevicePixel).toRect();
  const QRect printable = Printer.pageRect(QPrinter::DevicePixel).toRect();
  const int dpiX = Printer.logicalDpiX(), dpiY = Printer.logicalDpiY();
  QRect rect(QPoint(paper.left() + static_cast<int>(std::lround(Margins.InInches(Margins.Left()) * dpiX)),
                    paper.top() + static_cast<int>(std::lround(Margins.InInches(Margins.Top()) * dpiY))),
             QPoint(paper.right() - static_cast<int>(std::lround(Margins.InInches(Margins.Right()) * dpiX)),
                    paper.bottom() - static_cast<int>(std::lround(Margins.InInches(Margins.Bottom()) * dpiY))));
  rect = rect.intersected(printable);
  if (rect.isEmpty()) {
    painter.end();
    return false;
  }

  std::vector<QString> working;
  for (const auto& line : Lines) {
    const QString text = QString::fromStdString(line);
    if (!WordWrap) {
      working.push_back(text);
      continue;
    }
    for (QString& piece :
         WrapPrintLine(text, rect.width(), [&metrics](const QString& s) { return metrics.horizontalAdvance(s); }))
      working.push_back(std::move(piece));
  }

  int perPage = rect.height() / lineHeight;
  if (TitleOnPrintout != Nowhere) perPage -= 2;
  perPage = std::max(1, perPage);
  FLinesPerPage = perPage;
  const int pages = PrintPageCount(static_cast<int>(working.size()), perPage);

  const auto drawTitle = [&](int Page, int Y) {
    const QString title = TitleText(Page, pages);
    const int free = rect.width() - metrics.horizontalAdvance(title);
    painter.drawText(rect.left() + static_cast<int>(std::lround(free / 2.0)), Y + metrics.ascent(), title);
  };
  const auto pageStart = [&](int Page) {
    int y = rect.top();
    if (TitleOnPrintout == TopOfPage) {
      drawTitle(Page, y);
      y += 2 * lineHeight;
    }
    return y;
  };

  if (OnStartPrint) OnStartPrint(*this);
  int page = 1;
  if (OnNextPage) OnNextPage(*this, page, pages);
  painter.setClipRect(rect);
  int y = pageStart(page);
  int onPage = 0;
  for (std::size_t i = 0; i < working.size(); ++i) {
    painter.drawText(rect.left(), y + metrics.ascent(), working[i]);
    y += lineHeight;
    ++onPage;
    if (onPage == perPage && i + 1 < working.size()) {
      if (TitleOnPrintout == BottomOfPage) drawTitle(page, rect.bottom() - lineHeight);
      ++page;
      if (OnNextPage) OnNextPage(*this, page, pages);
      Printer.newPage();
      y = pageStart(page);
      onPage = 0;
    }
  }
  if (TitleOnPrintout == BottomOfPage) drawTitle(page, rect.bottom() - lineHeight);
  painter.end();
  if (OnEndPrint) OnEndPrint(*this);
  return true;
}

}  // namespace brevane
