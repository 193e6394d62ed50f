#pragma once
// File associations on a freedesktop desktop: the program's desktop entry
// "brevane.desktop" in $XDG_DATA_HOME/applications names the MIME types it
// opens, and the "Default Applications" section of
// $XDG_CONFIG_HOME/mimeapps.list makes it the default handler of them.
// Only our own entry and our own name in that section are ever changed;
// every file is replaced whole, never left half written.

#include <stdexcept>
#include <string>
#include <vector>

namespace vsk {

inline constexpr const char* kDesktopEntryName = "brevane.desktop";

// Raised when the desktop entry or mimeapps.list cannot be written.
class EDesktopAssocError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A program path as one argument of a desktop entry's Exec key: as it is
// when it holds nothing the key reserves, else double-quoted; "%" doubled
// and the value's own escapes applied.
std::string DesktopExecArgument(const std::string& Path);
// A string value of a desktop entry with its escapes ("\\", "\n", "\t",
// "\r"), so no text can start a line or key of its own.
std::string DesktopEntryValue(const std::string& Text);

// The MIME types of the extensions (".zip") in the shared MIME database,
// each once, in the order of the extensions; an extension without a type
// gives none.
std::vector<std::string> MimeTypesOfExtensions(const std::vector<std::string>& Extensions);

// The user's applications folder, configuration folder and mimeapps.list.
std::string DesktopApplicationsDir();
std::string DesktopConfigDir();
std::string MimeAppsListFile();

// Writes our desktop entry (Name, Comment, Exec Program with "%f", the
// types it had and Types) and puts it first among the defaults of each of
// Types, ahead of the handlers named there before.
void RegisterDesktopHandler(const std::string& Program, const std::string& Name, const std::string& Comment,
                            const std::vector<std::string>& Types);
// True when our entry starts Program, lists every one of Types and is the
// default of each of them (with no types, true).
bool IsDesktopHandler(const std::string& Program, const std::vector<std::string>& Types);
// Takes our entry off the defaults of Types (the handlers named after it
// become the defaults again) and Types off our entry, deleting the entry
// when it lists no type any more.
void UnregisterDesktopHandler(const std::vector<std::string>& Types);

// Tells the desktop that associations changed: update-desktop-database on
// the applications folder, when that tool is installed.
void NotifyAssociationsChanged();

}  // namespace vsk
