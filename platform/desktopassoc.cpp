#include "platform/desktopassoc.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>

#include "base/tempstream.h"
#include "platform/sharedfile.h"
#include "platform/mime.h"
#include "platform/process.h"

namespace vsk {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDefaultSection = "[Default Applications]";
constexpr const char* kEntrySection = "[Desktop Entry]";

std::string XdgFolder(const char* Variable, const char* UnderHome) {
  const char* v = std::getenv(Variable);
  if (v && *v) return v;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/" + UnderHome;
}

std::string EntryFile() { return DesktopApplicationsDir() + "/" + kDesktopEntryName; }

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// How often an edit is tried again when another program changed the file
// between its reading and its replacing.
constexpr int kEditAttempts = 5;

// The file's lines, each with its "\n" when it has one (the last may not).
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

// The text of File (empty when there is none). An error when it exists but
// cannot be read to its end: what was not read would be lost by a rewrite.
std::string ReadWhole(const std::string& File, TFileStamp& Stamp) {
  std::string text;
  if (ReadSharedFile(File, text, Stamp) == TSharedRead::Failed)
    throw EDesktopAssocError("Cannot read '" + File + "' to its end; it is left as it is");
  return text;
}

// The text of File for a look only; empty when it cannot be read.
std::string ReadForLook(const std::string& File) {
  std::string text;
  TFileStamp stamp;
  ReadSharedFile(File, text, stamp);
  return text;
}

// Edits File where it is: a symbolic link is followed (one that names
// nothing is an error), the edit runs under a lock on the folder on what
// was read whole, and a new file beside the target, with its mode, is
// renamed over it only if no other program changed it meanwhile. Edit
// returns the new text, or nothing when nothing is to change.
void EditFile(const std::string& File, const std::function<std::optional<std::string>(const std::string&)>& Edit) {
  std::string target, error;
  if (!SharedFileTarget(File, target, error)) throw EDesktopAssocError(error);
  std::error_code ec;
  fs::create_directories(FolderOf(target), ec);
  TExclusiveLock lock;
  if (!lock.OnFolder(FolderOf(target))) throw EDesktopAssocError("Failed to write '" + File + "'");
  for (int attempt = 0; attempt < kEditAttempts; ++attempt) {
    TFileStamp seen;
    const std::optional<std::string> text = Edit(ReadWhole(target, seen));
    if (!text) return;
    TFileStamp written;
    switch (ReplaceSharedFile(target, *text, seen, 0666 & ~static_cast<mode_t>(ProcessUmask()), written)) {
      case TSharedWrite::Written:
        return;
      case TSharedWrite::Changed:
        continue;
      case TSharedWrite::Failed:
        throw EDesktopAssocError("Failed to write '" + File + "'");
    }
  }
  throw EDesktopAssocError("Failed to write '" + File + "': it kept changing");
}

// "key=value" with blanks around either; false for any other line.
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
        static_cast<std::size_t>(std::count_if(Pieces.begin(), Pieces.end(), [this](const std::string& p) {
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

// Puts our name first among the handlers of each of Types (Register) or
// takes it out (else) in the "Default Applications" section of
// mimeapps.list. Only the lines of those types change, each only by our
// name; a list left empty loses its line; a type without a line gets one
// (the section too, when missing).
std::optional<std::string> EditDefaults(const std::string& Text, const std::vector<std::string>& Types,
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

void EditDefaults(const std::vector<std::string>& Types, bool Register) {
  if (Types.empty()) return;
  EditFile(MimeAppsListFile(), [&](const std::string& Text) { return EditDefaults(Text, Types, Register); });
}

// The value of Key in our desktop entry's main group; "" when missing.
std::string EntryValue(const std::string& Text, const std::string& Key) {
  bool inEntry = false;
  for (const std::string& raw : SplitLines(Text)) {
    const std::string line = WithoutEnd(raw);
    const std::string t = Trim(line);
    if (t.starts_with('[')) inEntry = t == kEntrySection;
    std::string key, value;
    if (inEntry && SplitEntry(line, key, value) && key == Key) return value;
  }
  return {};
}

std::string ExecLine(const std::string& Program) { return DesktopExecArgument(Program) + " %f"; }

std::string EntryText(const std::string& Program, const std::string& Name, const std::string& Comment,
                      const std::vector<std::string>& Types) {
  // A handler, not a launcher: the program's own menu shortcut is the one
  // the menu shows.
  return std::string(kEntrySection) + "\n" +
         "Type=Application\n"
         "Name=" + DesktopEntryValue(Name) + "\n" +
         "Comment=" + DesktopEntryValue(Comment) + "\n" +
         "Exec=" + ExecLine(Program) + "\n" +
         "Icon=package-x-generic\n"
         "Terminal=false\n"
         "NoDisplay=true\n"
         "MimeType=" + DesktopEntryValue(JoinList(Types)) + "\n";
}

}  // namespace

std::string DesktopExecArgument(const std::string& Path) {
  static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
  const bool quote = Path.empty() || Path.find_first_of(kReserved) != std::string::npos;
  std::string arg;
  if (quote) arg += '"';
  for (char c : Path) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
    if (c == '%') arg += '%';
    arg += c;
  }
  if (quote) arg += '"';
  // The escapes of a string value come on top of the Exec quoting.
  return DesktopEntryValue(arg);
}

std::string DesktopEntryValue(const std::string& Text) {
  std::string value;
  for (char c : Text) {
    if (c == '\\')
      value += "\\\\";
    else if (c == '\n')
      value += "\\n";
    else if (c == '\t')
      value += "\\t";
    else if (c == '\r')
      value += "\\r";
    else
      value += c;
  }
  return value;
}

std::vector<std::string> MimeTypesOfExtensions(const std::vector<std::string>& Extensions) {
  std::vector<std::string> types;
  for (const std::string& ext : Extensions) {
    const std::string type = MimeTypeOfName("x" + ext);
    if (!type.empty() && !Contains(types, type)) types.push_back(type);
  }
  return types;
}

std::string DesktopApplicationsDir() { return XdgFolder("XDG_DATA_HOME", ".local/share") + "/applications"; }

std::string DesktopConfigDir() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::string MimeAppsListFile() { return DesktopConfigDir() + "/mimeapps.list"; }

void RegisterDesktopHandler(const std::string& Program, const std::string& Name, const std::string& Comment,
                            const std::vector<std::string>& Types) {
  EditFile(EntryFile(), [&](const std::string& Text) -> std::optional<std::string> {
    std::vector<std::string> listed = SplitList(EntryValue(Text, "MimeType"));
    for (const std::string& type : Types)
      if (!Contains(listed, type)) listed.push_back(type);
    std::string text = EntryText(Program, Name, Comment, listed);
    if (text == Text) return std::nullopt;
    return text;
  });
  EditDefaults(Types, true);
}

bool IsDesktopHandler(const std::string& Program, const std::vector<std::string>& Types) {
  if (Types.empty()) return true;
  const std::string entry = ReadForLook(EntryFile());
  if (entry.empty() || EntryValue(entry, "Exec") != ExecLine(Program)) return false;
  const std::vector<std::string> listed = SplitList(EntryValue(entry, "MimeType"));
  for (const std::string& type : Types)
    if (!Contains(listed, type)) return false;
  // The first line of a type in the section is the one that counts.
  std::vector<std::string> ours, decided;
  bool inSection = false;
  for (const std::string& raw : SplitLines(ReadForLook(MimeAppsListFile()))) {
    const std::string line = WithoutEnd(raw);
    const std::string t = Trim(line);
    if (t.starts_with('[')) inSection = t == kDefaultSection;
    std::string key, value;
    if (!inSection || !SplitEntry(line, key, value) || Contains(decided, key)) continue;
    decided.push_back(key);
    const std::vector<std::string> handlers = SplitList(value);
    if (!handlers.empty() && handlers.front() == kDesktopEntryName) ours.push_back(key);
  }
  return std::all_of(Types.begin(), Types.end(), [&](const std::string& t) { return Contains(ours, t); });
}

void UnregisterDesktopHandler(const std::vector<std::string>& Types) {
  EditDefaults(Types, false);
  bool lastType = false;
  EditFile(EntryFile(), [&](const std::string& Text) -> std::optional<std::string> {
    if (Text.empty()) return std::nullopt;
    std::vector<std::string> listed = SplitList(EntryValue(Text, "MimeType"));
    const auto removed = std::erase_if(listed, [&](const std::string& t) { return Contains(Types, t); });
    lastType = listed.empty();
    if (lastType || removed == 0) return std::nullopt;
    std::vector<std::string> lines = SplitLines(Text);
    for (std::string& line : lines) {
      std::string key, value;
      if (SplitEntry(WithoutEnd(line), key, value) && key == "MimeType")
        line = "MimeType=" + DesktopEntryValue(JoinList(listed)) + LineEnd(line);
    }
    return JoinLines(lines);
  });
  if (!lastType) return;
  std::error_code ec;
  fs::remove(EntryFile(), ec);
  if (ec) throw EDesktopAssocError("Failed to delete '" + EntryFile() + "'");
}

void NotifyAssociationsChanged() {
  const std::string dir = DesktopApplicationsDir();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return;
  const std::string tool = FindProgram("update-desktop-database");
  if (tool.empty()) return;
  RunAndWait(tool, {dir}, std::string());
}

}  // namespace vsk
