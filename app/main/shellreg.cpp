#include "app/main/shellreg.h"

#include "app/main/settings.h"
#include "base/textcase.h"
#include "platform/com.h"
#include "platform/dynlib.h"
#include "platform/registry.h"

namespace brevane {

namespace {

struct TShellClass {
  const char* ClassId;
  const char* Library;
  const char* Description;
  const char* ProgId;
  const char* ApprovalText;
};

constexpr const char* kMenuAllClass = "{5054D91A-D865-4B58-9296-87FA0465DE09}";
constexpr const char* kMenuClass = "{24D2B4B9-265D-4453-9654-0ADD172179BC}";
constexpr const char* kDropClass = "{0C50D8B5-5FD5-4CD2-BA98-A3FA4AA4122C}";
constexpr const char* kInfoTipClass = "{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}";
// The shell's IQueryInfo, the interface of an InfoTip handler.
constexpr const char* kInfoTipHandler = "{00021500-0000-0000-C000-000000000046}";
constexpr const char* kInfoTipTypeLib = "{DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}";
constexpr const char* kApprovedKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved\\";

constexpr TShellClass kShellClasses[] = {
    {kMenuAllClass, kDravikLibrary, "Brevane Context Menu for All Files", "Dravik.KestrunMenuAll",
     "Brevane Context Menu for All Files"},
    {kMenuClass, kDravikLibrary, "Brevane Context Menu", "Dravik.KestrunMenu", "Brevane Context Menu"},
    {kDropClass, kDravikLibrary, "File drop handler for archive files", "Dravik.KestrunDropHandler",
     "Brevane Drop Handler"},
    {kInfoTipClass, kHovelinLibrary, "BrevaneInfoTip Object", "Hovelin.KestrunInfoTip", "Brevane InfoTip Object"},
};

std::string ClassKey(const char* ClassId) { return std::string("\\CLSID\\") + ClassId; }

std::string InfoTipKey(const char* Extension) {
  return std::string("\\") + Extension + "\\shellex\\" + kInfoTipHandler;
}

void WriteDefault(vsk::TRegistry& Reg, const std::string& Key, const std::string& Value) {
  Reg.OpenKey(Key, true);
  Reg.WriteString("", Value);
}

// Whether the key's default value is our InfoTip class; read only.
bool NamesOurInfoTip(vsk::TRegistry& Reg, const std::string& Key) {
  if (!Reg.OpenKeyReadOnly(Key)) return false;
  const bool ours = Reg.GetDataType("") == vsk::rdString && vsk::SameTextAscii(Reg.ReadString(""), kInfoTipClass);
  Reg.CloseKey();
  return ours;
}

// Runs one of Hovelin's own registration entry points. The library is
// loaded for that call alone: the program never creates its objects.
// False when the entry point ran and failed; a missing library is no
// failure (it is not installed, so it registered nothing).
bool CallHovelin(const char* EntryPoint) {
  vsk::TLibHandle lib = vsk::LoadLibraryQuiet(kHovelinLibrary);
  if (!lib) return true;
  using TEntry = vsk::com::HRESULT (*)();
  bool ok = true;
  if (auto entry = reinterpret_cast<TEntry>(vsk::GetProcAddress(lib, EntryPoint))) ok = entry() >= 0;
  vsk::FreeLibrary(lib);
  return ok;
}

}  // namespace

const std::array<const char*, 23> kInfoTipExtensions = {
    ".ace", ".arc", ".arj", ".bh",  ".cab", ".enc", ".gz", ".ha",  ".jar", ".lha", ".lzh", ".pak",
    ".pk3", ".pk_", ".rar", ".tar", ".tgz", ".uue", ".uu", ".xxe", ".z",   ".zip", ".zoo",
};

const std::array<const char*, 18> kAssociationExtensions = {
    ".ace", ".arc", ".arj", ".bh", ".cab", ".gz", ".jar", ".lha", ".lzh",
    ".rar", ".tar", ".tgz", ".uu", ".uue", ".xxe", ".z", ".zip", ".zoo",
};

void RegisterShellExtensions() {
  // Hovelin's own keys first, so that the values below are the ones kept
  // where both write the same key.
  CallHovelin("DllRegisterServer");
  const std::string folder = vsk::ProgramDir() + "/";
  vsk::TRegistry reg(vsk::HKEY_CLASSES_ROOT);
  reg.CreateKey(std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenuClass);
  reg.CreateKey(std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenuAllClass);
  WriteDefault(reg, "\\Brevane\\shellex\\DropHandler", kDropClass);
  WriteDefault(reg, "\\*\\shellex\\ContextMenuHandlers\\Brevane", kMenuAllClass);
  WriteDefault(reg, "\\Folder\\shellex\\ContextMenuHandlers\\Brevane", kMenuAllClass);
  for (const char* ext : kInfoTipExtensions) WriteDefault(reg, InfoTipKey(ext), kInfoTipClass);
  for (const TShellClass& c : kShellClasses) {
    WriteDefault(reg, ClassKey(c.ClassId), c.Description);
    WriteDefault(reg, ClassKey(c.ClassId) + "\\InprocServer32", folder + c.Library);
    reg.WriteString("ThreadingModel", "Apartment");
    WriteDefault(reg, ClassKey(c.ClassId) + "\\ProgID", c.ProgId);
  }
  WriteDefault(reg, ClassKey(kInfoTipClass) + "\\TypeLib", kInfoTipTypeLib);
  WriteDefault(reg, ClassKey(kInfoTipClass) + "\\Version", "1.0");
  reg.CloseKey();

  reg.SetRootKey(vsk::HKEY_CURRENT_USER);
  for (const TShellClass& c : kShellClasses) WriteDefault(reg, kApprovedKey + std::string(c.ClassId), c.ApprovalText);
  reg.CloseKey();
}

void UnregisterShellExtensions() {
  vsk::TRegistry reg(vsk::HKEY_CLASSES_ROOT);
  std::vector<std::string> keys = {
      "\\*\\shellex\\ContextMenuHandlers\\Brevane",
      "\\Folder\\shellex\\ContextMenuHandlers\\Brevane",
      std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenuClass,
      std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenuAllClass,
      "\\Brevane\\shellex\\DropHandler",
  };
  // An extension's InfoTip key is the shell's: it goes only while it names ours.
  for (const char* ext : kInfoTipExtensions)
    if (NamesOurInfoTip(reg, InfoTipKey(ext))) keys.push_back(InfoTipKey(ext));
  for (const TShellClass& c : kShellClasses) keys.push_back(ClassKey(c.ClassId));
  // Every key is tried; those that stay are named together at the end.
  std::string failed;
  const auto remove = [&](const std::string& Key, const char* Root) {
    if (reg.KeyExists(Key) && !reg.DeleteKey(Key)) failed += std::string("\r\nFailed to delete key ") + Root + Key;
  };
  for (const std::string& key : keys) remove(key, "HKEY_CLASSES_ROOT");
  // The type library, interface and ProgID keys only Hovelin knows.
  if (!CallHovelin("DllUnregisterServer"))
    failed += std::string("\r\n") + kHovelinLibrary + " could not remove its own registration";
  reg.SetRootKey(vsk::HKEY_CURRENT_USER);
  for (const TShellClass& c : kShellClasses) remove(kApprovedKey + std::string(c.ClassId), "HKEY_CURRENT_USER");
  if (!failed.empty()) throw vsk::ERegistryException(failed.substr(2));
}

vsk::TRegArchive ProgramRegArchive() {
  vsk::TRegArchive reg;
  std::vector<std::string> extensions(kAssociationExtensions.begin(), kAssociationExtensions.end());
  // The main window's component also holds ".ha", which no setting covers.
  extensions.insert(extensions.begin() + 6, ".ha");
  reg.SetArcExtensions(std::move(extensions));
  reg.SetExtDescription("Brevane");
  reg.SetFileDescription("Brevane Archive");
  reg.IconIndex = 0;
  reg.SetParamString("%1");
  return reg;
}

std::vector<std::string> EnabledAssociationExtensions(const TOptions& Options) {
  const bool enabled[] = {Options.Ace, Options.Arc, Options.Arj, Options.Bh,  Options.Cab, Options.Gz,
                          Options.Jar, Options.Lha, Options.Lzh, Options.Rar, Options.Tar, Options.Tgz,
                          Options.Uu,  Options.Uue, Options.Xxe, Options.Z,   Options.Zip, Options.Zoo};
  static_assert(std::size(enabled) == kAssociationExtensions.size());
  std::vector<std::string> extensions;
  for (std::size_t i = 0; i < kAssociationExtensions.size(); ++i)
    if (enabled[i]) extensions.push_back(kAssociationExtensions[i]);
  return extensions;
}

}  // namespace brevane
