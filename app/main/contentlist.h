#pragma once
// The contents list of the open archive as it is printed and exported:
// the text layout, CSV and HTML. Plain functions over the rows as the list
// shows them.

#include <string>
#include <vector>

namespace brevane {

// The product's home page, linked from exports.
inline constexpr const char* kProductHomePage = "https://brevane.example/";

struct TContentRow {
  std::string Name;  // the row's caption (the entry name without folder)
  std::string Date, Unpacked, Packed, Ratio;
  std::vector<std::string> Cells;  // every column after the name, as shown
};

// A name in a field of 31 characters: padded, or cut to 28 + "..." when it
// has 32 or more (characters, not bytes).
std::string NameField(const std::string& Name);
// Text right-aligned in Width characters (longer text is kept whole).
std::string RightAligned(const std::string& Text, std::size_t Width);

// The text layout: header lines, the rule, one line per row, the rule.
std::vector<std::string> ContentListText(const std::string& ArchivePath, const std::string& FileDate,
                                         const std::vector<TContentRow>& Rows);
// One line of captions, then one per row; every value quoted.
std::vector<std::string> ContentListCsv(const std::vector<std::string>& Captions, const std::vector<TContentRow>& Rows);
// An HTML page with a table of the rows.
std::vector<std::string> ContentListHtml(const std::string& ArchivePath, const std::string& FileDate,
                                         const std::vector<TContentRow>& Rows);

// Writes the lines with CR LF endings in place of File; false on failure.
bool WriteCrLfLines(const std::string& File, const std::vector<std::string>& Lines);

}  // namespace brevane
