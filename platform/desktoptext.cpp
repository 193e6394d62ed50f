#include "platform/desktoptext.h"

#include <algorithm>
#include <sstream>

#include "platform/desktopassoc.h"

namespace vsk::desktoptext {

namespace {

// The handler list of a "type=list" line as written: its pieces between
// ";" with their blanks, and the "\r" ending the line.
struct THandlerLine {
  std::string Head;  // "type =" up to and with the "="
  std::vector<std::string> Pieces;
  std::vector<bool> Closed;  // a ";" follows the piece
  std::string Tail;          // "\r" or nothing

  explicit THandlerLine(const std::string& Line) {
    const auto eq = Line.find('=');
    Head = Line.substr(0, eq + 1);
    std::string value = Line.substr(eq + 1);
    if (!value.empty() && value.back() == '\r') {
      Tail = "\r";
      value.pop_back();
    }
    std::size_t pos = 0;
    while (true) {
      const auto semi = value.find(';', pos);
      Pieces.push_back(value.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos));
      Closed.push_back(semi != std::string::npos);
      if (semi == std::string::npos) break;
      pos = semi + 1;
    }
  }
  bool IsOurs(std::size_t I) const { return Trim(Pieces[I]) == kDesktopEntryName; }
  bool Empty() const {
    return std::all_of(Pieces.begin(), Pieces.end(), [](const std::string& p) { return Trim(p).empty(); });
  }
  // Takes our name out with the ";" after it (before it, when last).
  bool RemoveOurs() {
    bool removed = false;
    for (std::size_t i = Pieces.size(); i-- > 0;) {
      if (!IsOurs(i)) continue;
      if (!Closed[i] && i > 0) Closed[i - 1] = false;
      // The first piece's blanks are those after "=": the next one takes them.
      if (i == 0 && Pieces.size() > 1) {
        const std::string& gone = Pieces[0];
        std::string& next = Pieces[1];
        next = gone.substr(0, gone.find_first_not_of(" \t")) + next.substr(std::min(next.find_first_not_of(" \t"), next.size()));
      }
      Pieces.erase(Pieces.begin() + static_cast<std::ptrdiff_t>(i));
      Closed.erase(Closed.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
    }
    if (Pieces.empty()) {
      Pieces.emplace_back();
      Closed.push_back(false);
    }
    return removed;
  }
  // Our name first, once; false when it was so already.
  bool PutOursFirst() {
    std::size_t first = 0;
    while (first < Pieces.size() && Trim(Pieces[first]).empty()) ++first;
    const std::size_t count =
        static_cast<std::size_t>(std::count_if(Pieces.begin(), Pieces.end(), [](const std::string& p) {
          return Trim(p) == kDesktopEntryName;
        }));
    if (count == 1 && first < Pieces.size() && IsOurs(first)) return false;
    RemoveOurs();
    std::string& lead = Pieces.front();
    const auto text = lead.find_first_not_of(" \t");
    lead.insert(text == std::string::npos ? lead.size() : text, std::string(kDesktopEntryName) + ";");
    return true;
  }
  std::string Text() const {
    std::string line = Head;
    for (std::size_t i = 0; i < Pieces.size(); ++i) line += Pieces[i] + (Closed[i] ? ";" : "");
    return line + Tail;
  }
};

}  // namespace

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < Text.size()) {
    const std::size_t end = std::min(Text.find('\n', pos), Text.size() - 1);
    lines.push_back(Text.substr(pos, end - pos + 1));
    pos = end + 1;
  }
  return lines;
}

std::string LineEnd(const std::string& Line) { return Line.ends_with('\n') ? "\n" : ""; }

std::string WithoutEnd(const std::string& Line) { return Line.substr(0, Line.size() - LineEnd(Line).size()); }

std::string JoinLines(const std::vector<std::string>& Lines) {
  std::string text;
  for (const auto& l : Lines) text += l;
  return text;
}

bool SplitEntry(const std::string& Line, std::string& Key, std::string& Value) {
  const auto eq = Line.find('=');
  if (eq == std::string::npos || Trim(Line).starts_with('[') || Trim(Line).starts_with('#')) return false;
  Key = Trim(Line.substr(0, eq));
  Value = Trim(Line.substr(eq + 1));
  return !Key.empty();
}

std::vector<std::string> SplitList(const std::string& Value) {
  std::vector<std::string> items;
  std::istringstream in(Value);
  std::string item;
  while (std::getline(in, item, ';'))
    if (!Trim(item).empty()) items.push_back(Trim(item));
  return items;
}

std::string JoinList(const std::vector<std::string>& Items) {
  std::string value;
  for (const auto& i : Items) value += i + ";";
  return value;
}

bool Contains(const std::vector<std::string>& Items, const std::string& Item) {
  return std::find(Items.begin(), Items.end(), Item) != Items.end();
}

std::optional<std::string> EditDefaultsText(const std::string& Text, const std::vector<std::string>& Types,
                                        bool Register) {
  std::vector<std::string> lines;
  std::vector<std::string> seen;
  bool inSection = false, inFirst = false, hadSection = false, changed = false;
  std::size_t insertAt = 0;  // after the first section's last line that is not blank
  for (const std::string& raw : SplitLines(Text)) {
    const std::string line = WithoutEnd(raw);
    const std::string t = Trim(line);
    if (t.starts_with('[')) {
      inSection = t == kDefaultSection;
      inFirst = inSection && !hadSection;
      hadSection = hadSection || inSection;
    }
    std::string key, value;
    if (inSection && SplitEntry(line, key, value) && Contains(Types, key)) {
      if (!Contains(seen, key)) seen.push_back(key);
      THandlerLine handlers(line);
      if (Register ? handlers.PutOursFirst() : handlers.RemoveOurs()) {
        changed = true;
        if (handlers.Empty()) continue;
        lines.push_back(handlers.Text() + LineEnd(raw));
      } else {
        lines.push_back(raw);
      }
    } else {
      lines.push_back(raw);
    }
    if (inFirst && !t.empty()) insertAt = lines.size();
  }
  std::vector<std::string> added;
  if (Register)
    for (const std::string& type : Types)
      if (!Contains(seen, type)) added.push_back(type + "=" + kDesktopEntryName + ";\n");
  if (!added.empty()) {
    changed = true;
    if (!hadSection) {
      if (!lines.empty() && LineEnd(lines.back()).empty()) lines.back() += '\n';
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("\n");
      lines.push_back(std::string(kDefaultSection) + "\n");
      insertAt = lines.size();
    }
    // A line put after an unterminated one ends that one.
    if (insertAt > 0 && LineEnd(lines[insertAt - 1]).empty()) lines[insertAt - 1] += '\n';
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), added.begin(), added.end());
  }
  if (!changed) return std::nullopt;
  return JoinLines(lines);
}
}  // namespace vsk::desktoptext
