#include "platform/desktopassoc.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "base/tempstream.h"
#include "platform/desktoptext.h"
#include "platform/sharedfile.h"
#include "platform/mime.h"
#include "platform/process.h"

namespace vsk {

namespace {

namespace fs = std::filesystem;
using namespace desktoptext;

constexpr const char* kEntrySection = "[Desktop Entry]";

std::string XdgFolder(const char* Variable, const char* UnderHome) {
  const char* v = std::getenv(Variable);
  if (v && *v) return v;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/" + UnderHome;
}

std::string EntryFile() { return DesktopApplicationsDir() + "/" + kDesktopEntryName; }


// How often an edit is tried again when another program changed the file
// between its reading and its replacing.
constexpr int kEditAttempts = 5;

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

void EditDefaults(const std::vector<std::string>& Types, bool Register) {
  if (Types.empty()) return;
  EditFile(MimeAppsListFile(), [&](const std::string& Text) { return EditDefaultsText(Text, Types, Register); });
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
