#include "platform/desktopassoc.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "base/errors.h"
#include "base/messages.h"
#include "base/tempstream.h"
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

// The file's lines without their line ends; none when it cannot be read.
std::vector<std::string> ReadLines(const std::string& File) {
  std::vector<std::string> lines;
  std::ifstream in(File, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string JoinLines(const std::vector<std::string>& Lines) {
  std::string text;
  for (const auto& l : Lines) text += l + "\n";
  return text;
}

// Replaces File with Text through a scratch file beside it; a symbolic
// link is followed, so the file it names is the one replaced.
void WriteWhole(const std::string& File, const std::string& Text) {
  std::error_code ec;
  fs::create_directories(fs::path(File).parent_path(), ec);
  try {
    TTempFileStream out(fmCreate, File);
    if (out.Write(Text.data(), static_cast<Int32>(Text.size())) != static_cast<Int32>(Text.size()))
      throw EWriteError(msg::ErrorWritingToFile);
    out.Commit();
  } catch (const EVskError&) {
    throw EDesktopAssocError("Failed to write '" + File + "'");
  }
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

void RemoveOurs(std::vector<std::string>& Handlers) { std::erase(Handlers, std::string(kDesktopEntryName)); }

// Applies Change to the handler list of each of Types in the "Default
// Applications" section of mimeapps.list and writes the file when that
// changed anything. A list that becomes empty loses its line; a type
// without a line gets one (the section too, when missing).
void EditDefaults(const std::vector<std::string>& Types, const std::function<void(std::vector<std::string>&)>& Change) {
  if (Types.empty()) return;
  const std::string file = MimeAppsListFile();
  const std::vector<std::string> before = ReadLines(file);
  std::vector<std::string> lines;
  std::vector<std::string> seen;
  bool inSection = false, inFirst = false, hadSection = false;
  std::size_t insertAt = 0;  // after the first section's last line that is not blank
  for (const std::string& line : before) {
    const std::string t = Trim(line);
    if (t.starts_with('[')) {
      inSection = t == kDefaultSection;
      inFirst = inSection && !hadSection;
      hadSection = hadSection || inSection;
    }
    std::string key, value;
    if (inSection && SplitEntry(line, key, value) && Contains(Types, key)) {
      std::vector<std::string> handlers = SplitList(value);
      Change(handlers);
      if (!Contains(seen, key)) seen.push_back(key);
      if (handlers.empty()) continue;
      lines.push_back(key + "=" + JoinList(handlers));
    } else {
      lines.push_back(line);
    }
    if (inFirst && !t.empty()) insertAt = lines.size();
  }
  std::vector<std::string> added;
  for (const std::string& type : Types) {
    if (Contains(seen, type)) continue;
    std::vector<std::string> handlers;
    Change(handlers);
    if (!handlers.empty()) added.push_back(type + "=" + JoinList(handlers));
  }
  if (!added.empty()) {
    if (!hadSection) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back({});
      lines.push_back(kDefaultSection);
      insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), added.begin(), added.end());
  }
  if (lines != before) WriteWhole(file, JoinLines(lines));
}

// The value of Key in our desktop entry's main group; "" when missing.
std::string EntryValue(const std::vector<std::string>& Lines, const std::string& Key) {
  bool inEntry = false;
  for (const std::string& line : Lines) {
    const std::string t = Trim(line);
    if (t.starts_with('[')) inEntry = t == kEntrySection;
    std::string key, value;
    if (inEntry && SplitEntry(line, key, value) && key == Key) return value;
  }
  return {};
}

std::string ExecLine(const std::string& Program) { return DesktopExecArgument(Program) + " %f"; }

void WriteEntry(const std::string& Program, const std::string& Name, const std::string& Comment,
                const std::vector<std::string>& Types) {
  // A handler, not a launcher: the program's own menu shortcut is the one
  // the menu shows.
  std::string text = std::string(kEntrySection) + "\n" +
                     "Type=Application\n"
                     "Name=" + DesktopEntryValue(Name) + "\n" +
                     "Comment=" + DesktopEntryValue(Comment) + "\n" +
                     "Exec=" + ExecLine(Program) + "\n" +
                     "Icon=package-x-generic\n"
                     "Terminal=false\n"
                     "NoDisplay=true\n"
                     "MimeType=" + DesktopEntryValue(JoinList(Types)) + "\n";
  WriteWhole(EntryFile(), text);
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
  std::vector<std::string> listed = SplitList(EntryValue(ReadLines(EntryFile()), "MimeType"));
  for (const std::string& type : Types)
    if (!Contains(listed, type)) listed.push_back(type);
  WriteEntry(Program, Name, Comment, listed);
  EditDefaults(Types, [](std::vector<std::string>& Handlers) {
    RemoveOurs(Handlers);
    Handlers.insert(Handlers.begin(), kDesktopEntryName);
  });
}

bool IsDesktopHandler(const std::string& Program, const std::vector<std::string>& Types) {
  if (Types.empty()) return true;
  const std::vector<std::string> entry = ReadLines(EntryFile());
  if (entry.empty() || EntryValue(entry, "Exec") != ExecLine(Program)) return false;
  const std::vector<std::string> listed = SplitList(EntryValue(entry, "MimeType"));
  for (const std::string& type : Types)
    if (!Contains(listed, type)) return false;
  // The first line of a type in the section is the one that counts.
  std::vector<std::string> ours, decided;
  bool inSection = false;
  for (const std::string& line : ReadLines(MimeAppsListFile())) {
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
  EditDefaults(Types, RemoveOurs);
  const std::vector<std::string> entry = ReadLines(EntryFile());
  if (entry.empty()) return;
  std::vector<std::string> listed = SplitList(EntryValue(entry, "MimeType"));
  const auto removed = std::erase_if(listed, [&](const std::string& t) { return Contains(Types, t); });
  if (listed.empty()) {
    std::error_code ec;
    fs::remove(EntryFile(), ec);
    if (ec) throw EDesktopAssocError("Failed to delete '" + EntryFile() + "'");
    return;
  }
  if (removed == 0) return;
  std::vector<std::string> lines = entry;
  for (std::string& line : lines) {
    std::string key, value;
    if (SplitEntry(line, key, value) && key == "MimeType") line = "MimeType=" + DesktopEntryValue(JoinList(listed));
  }
  WriteWhole(EntryFile(), JoinLines(lines));
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
