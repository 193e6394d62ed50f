#include "app/main/contentlist.h"

#include <fstream>

namespace brevane {

namespace {

constexpr const char* kRule = "------------------------------- ----------------- ----------- ----------- -----";
constexpr const char* kColumns = "File Name                                    Date    Unpacked      Packed Ratio";
constexpr const char* kFont = "<font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">";

// Characters (UTF-8 code points) in Text.
std::size_t Chars(const std::string& Text) {
  std::size_t n = 0;
  for (unsigned char c : Text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// The first Count characters of Text.
std::string FirstChars(const std::string& Text, std::size_t Count) {
  std::size_t i = 0, n = 0;
  while (i < Text.size()) {
    if ((static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) {
      if (n == Count) break;
      ++n;
    }
    ++i;
  }
  return Text.substr(0, i);
}

// Text for HTML: names may hold characters that are markup.
std::string Html(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (char c : Text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A CSV value; quotes inside are doubled so readers keep the columns.
std::string Csv(const std::string& Text) {
  std::string out = "\"";
  for (char c : Text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string NameField(const std::string& Name) {
  const std::size_t n = Chars(Name);
  if (n >= 32) return FirstChars(Name, 28) + "... ";
  return Name + std::string(31 - n, ' ') + " ";
}

std::string RightAligned(const std::string& Text, std::size_t Width) {
  const std::size_t n = Chars(Text);
  return n >= Width ? Text : std::string(Width - n, ' ') + Text;
}

std::vector<std::string> ContentListText(const std::string& ArchivePath, const std::string& FileDate,
                                         const std::vector<TContentRow>& Rows) {
  std::vector<std::string> lines = {"Archive File : " + ArchivePath, "File Date    : " + FileDate, "", kRule, kColumns,
                                    kRule};
  for (const auto& r : Rows)
    lines.push_back(NameField(r.Name) + RightAligned(r.Date, 17) + " " + RightAligned(r.Unpacked, 11) + " " +
                    RightAligned(r.Packed, 11) + " " + RightAligned(r.Ratio, 5));
  lines.push_back(kRule);
  return lines;
}

std::vector<std::string> ContentListCsv(const std::vector<std::string>& Captions, const std::vector<TContentRow>& Rows) {
  std::vector<std::string> lines;
  std::string head;
  for (std::size_t i = 0; i < Captions.size(); ++i) head += (i ? "," : "") + Csv(Captions[i]);
  lines.push_back(head);
  for (const auto& r : Rows) {
    std::string line = Csv(r.Name);
    for (const auto& cell : r.Cells) line += "," + Csv(cell);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> ContentListHtml(const std::string& ArchivePath, const std::string& FileDate,
                                         const std::vector<TContentRow>& Rows) {
  const std::string font = kFont;
  const std::string archiveName = ArchivePath.substr(ArchivePath.find_last_of('/') + 1);
  std::vector<std::string> lines = {
      "<html><head><title>" + Html(archiveName) + "</title>",
      // The names are UTF-8 text.
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>",
      "<body bgcolor=\"#FFFFFF\" text=\"#000000\">",
      "<p><b>" + font,
      "Archive File : <font color=\"#666666\">" + Html(ArchivePath) + "</font><br>",
      "File Date : <font color=\"#666666\">" + Html(FileDate) + "</font></font></b></p>",
      "",
      "<table width=\"100%\" border=\"1\" cellspacing=\"1\" cellpadding=\"2\"><tr bgcolor=\"#EEEEEE\"> ",
      "<td><b>" + font + "File Name</font></b></td><td>",
      "<div align=\"left\"><b>" + font + "Date</font></b></div></td><td>",
      "<div align=\"right\"><b>" + font + "Unpacked</font></b></div></td><td>",
      "<div align=\"right\"><b>" + font + "Packed</font></b></div></td><td>",
      "<div align=\"right\"><b>" + font + "Ratio</font></b></div></td></tr>",
      ""};
  for (const auto& r : Rows) {
    lines.push_back("<tr>");
    lines.push_back("<td>" + font + Html(NameField(r.Name)) + "</font></td>");
    lines.push_back("<td><div align=\"left\">" + font + Html(RightAligned(r.Date, 17) + " ") + "</font></div></td>");
    for (const std::string* v : {&r.Unpacked, &r.Packed})
      lines.push_back("<td><div align=\"right\">" + font + Html(RightAligned(*v, 11) + " ") + "</font></div></td>");
    lines.push_back("<td><div align=\"right\">" + font + Html(RightAligned(r.Ratio, 5)) + "</font></div></td>");
    lines.push_back("</tr>");
  }
  lines.push_back("</table><p>" + font + "Created by <a href=\"" + std::string(kProductHomePage) +
                  "\"><font color=\"#666666\">Brevane</font></a></font></p></body></html>");
  return lines;
}

bool WriteCrLfLines(const std::string& File, const std::vector<std::string>& Lines) {
  std::ofstream out(File, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  for (const auto& line : Lines) out << line << "\r\n";
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace brevane
