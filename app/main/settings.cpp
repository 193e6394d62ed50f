#include "app/main/settings.h"

#include <unistd.h>

#include <span>
#include <string_view>
#include <type_traits>
#include <variant>

#include "platform/registry.h"

namespace brevane {

using vsk::ERegistryException;
using vsk::HKEY_CURRENT_USER;
using vsk::TRegistry;

TOptions Options;

namespace {

// A value of a section: an option variable, or a string that is written
// with the defaults but kept out of the option variables.
struct Setting {
  const char* Name;
  std::variant<std::monostate, bool TOptions::*, int TOptions::*, std::string TOptions::*> Field;
};

// The macro keeps every option named exactly as its value.
// clang-format off
#define OPT(name) Setting{#name, &TOptions::name}
#define NOT_AN_OPTION(name) Setting{#name, std::monostate{}}
// clang-format on

const Setting kView[] = {
    OPT(ColDate),        OPT(ColPacked),      OPT(ColUnpacked),    OPT(ColRatio),      OPT(ColMethod),
    OPT(ColAttributes),  OPT(ColPath),        OPT(ColFileType),    OPT(ColCRC),        OPT(ColFileOffset),
    OPT(ColEncrypted),   OPT(ColVolumeID),    OPT(ColFileComment), OPT(FullRowSelect), OPT(ShowGridLines),
    OPT(DoubleClickSel), OPT(MouseSelection),
};

const Setting kToolbar[] = {
    OPT(ShowFilter),
    OPT(ButtonText),
    OPT(ToolTips),
    OPT(FlatButtons),
    OPT(BtnNewArchive),
    OPT(BtnOpenArchive),
    OPT(BtnCloseArchive),
    OPT(BtnTestArchive),
    OPT(BtnAddFiles),
    OPT(BtnExtractFiles),
    OPT(BtnDeleteFiles),
    OPT(BtnViewFiles),
    OPT(BtnPrintContentList),
    OPT(BtnCheckOut),
    OPT(BtnVirusScan),
    OPT(BtnExplorer),
    OPT(BtnWizard),
    OPT(BtnProperties),
    OPT(BtnComment),
    OPT(BtnConfiguration),
    OPT(BtnHelp),
    OPT(BtnExit),
    OPT(BtnInstall),
    OPT(BtnMakeExe),
    OPT(BtnFilter),
};

const Setting kFolders[] = {
    OPT(OpenLast),
    OPT(AddLast),
    OPT(ExtractLast),
    OPT(ExtractSame),
    NOT_AN_OPTION(OpenLastPath),
    NOT_AN_OPTION(AddLastPath),
    NOT_AN_OPTION(ExtractLastPath),
    OPT(OpenFolder),
    OPT(AddFolder),
    OPT(ExtractFolder),
    OPT(TemporaryFolder),
    OPT(CheckoutBaseFolder),
};

const Setting kFileAssociations[] = {
    OPT(Ace),
    OPT(Arc),
    OPT(Arj),
    OPT(Bh),
    OPT(Cab),
    OPT(Gz),
    OPT(Jar),
    OPT(Lha),
    OPT(Lzh),
    OPT(Rar),
    OPT(Tar),
    OPT(Tgz),
    OPT(Uue),
    OPT(Uu),
    OPT(Xxe),
    OPT(Z),
    OPT(Zip),
    OPT(Zoo),
    OPT(CheckAssociations),
    OPT(EnableAssociations),
};

const Setting kProgramLocationsDefaults[] = {
    OPT(DefaultViewer), OPT(AVProduct), OPT(VirusScanner), OPT(Parameters), OPT(RunMinimized),
};
const Setting kProgramLocations[] = {
    OPT(AVProduct), OPT(DefaultViewer), OPT(VirusScanner), OPT(Parameters), OPT(RunMinimized),
};

const Setting kShellExtensions[] = {
    OPT(ShellExtensions),   OPT(Cascade),       OPT(ShowIcon),          OPT(cmAddToArc),       OPT(cmAddToFile),
    OPT(cmAddToExe),        OPT(cmMailArchive), OPT(cmExtractTo),       OPT(cmExtractHere),    OPT(cmExtractToFolder),
    OPT(cmExtractMultiple), OPT(cmVirusScan),   OPT(cmConvert),         OPT(cmTest),           OPT(cmMakeExe),
    OPT(cmRepairZip),       OPT(itArcTypeInfo), OPT(itDateInfo),        OPT(itPackedSizeInfo), OPT(itUnpackedSizeInfo),
    OPT(itNumFilesInfo),    OPT(itRatioInfo),   OPT(itShowListingInfo), OPT(MaxFilesInfo),     OPT(adPath),
    OPT(adArcType),
};

// ConfirmCompress and ConfirmDecompress lead the section; loading repairs
// them together, so they are handled apart from the rest.
const Setting kConfirmations[] = {OPT(ConfirmCompress), OPT(ConfirmDecompress)};
const Setting kMiscellaneous[] = {
    OPT(CommentsOpen), OPT(ShortcutStartMenu), OPT(ShortcutDesktop), OPT(StayOnTop),
    OPT(StartupOpen),  OPT(StartupWizard),     OPT(ClearMRU),        OPT(MRUList),
    OPT(ThreadCount),
};

#undef OPT
#undef NOT_AN_OPTION

std::string SectionKey(const std::string& section) { return std::string(kSettingsKey) + "\\" + section; }

std::string ProgramFileName() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

const TOptions& Defaults() {
  static const TOptions defaults;
  return defaults;
}

void Write(TRegistry& reg, const Setting& s, const TOptions& from) {
  std::visit(
      [&](auto field) {
        using F = decltype(field);
        if constexpr (std::is_same_v<F, std::monostate>)
          reg.WriteString(s.Name, std::string());
        else if constexpr (std::is_same_v<F, bool TOptions::*>)
          reg.WriteBool(s.Name, from.*field);
        else if constexpr (std::is_same_v<F, int TOptions::*>)
          reg.WriteInteger(s.Name, from.*field);
        else
          reg.WriteString(s.Name, from.*field);
      },
      s.Field);
}

void WriteAll(TRegistry& reg, std::span<const Setting> settings, const TOptions& from) {
  for (const Setting& s : settings) Write(reg, s, from);
}

void SaveAll(TRegistry& reg, std::span<const Setting> settings, const TOptions& from) {
  for (const Setting& s : settings)
    if (!std::holds_alternative<std::monostate>(s.Field)) Write(reg, s, from);
}

// Reads an option; one that is missing or of the wrong type (or whose
// section could not be opened) gets its first-run default, so a damaged
// value never stops the program from starting.
void Load(TRegistry* reg, const Setting& s, TOptions& to) {
  const vsk::TRegDataType type = reg ? reg->GetDataType(s.Name) : vsk::rdUnknown;
  std::visit(
      [&](auto field) {
        using F = decltype(field);
        if constexpr (std::is_same_v<F, std::monostate>) {
          return;
        } else if constexpr (std::is_same_v<F, bool TOptions::*>) {
          to.*field = type == vsk::rdInteger ? reg->ReadBool(s.Name) : Defaults().*field;
        } else if constexpr (std::is_same_v<F, int TOptions::*>) {
          to.*field = type == vsk::rdInteger ? reg->ReadInteger(s.Name) : Defaults().*field;
        } else {
          to.*field = type == vsk::rdString ? reg->ReadString(s.Name) : Defaults().*field;
        }
      },
      s.Field);
}

void LoadAll(TRegistry* reg, std::span<const Setting> settings, TOptions& to) {
  for (const Setting& s : settings) Load(reg, s, to);
}

// Opens a section for loading: for writing when possible, so the repairs
// can be written, else for reading. Null when it cannot be opened at all.
TRegistry* OpenForLoading(TRegistry& reg, const char* section) {
  const std::string key = SectionKey(section);
  if (reg.OpenKey(key, true) || reg.OpenKeyReadOnly(key)) return &reg;
  return nullptr;
}

void WriteRepair(TRegistry* reg, const char* name) {
  if (!reg) return;
  try {
    reg->WriteBool(name, true);
  } catch (const ERegistryException&) {
    // A read-only store keeps its old contents; the option is set anyway.
  }
}

void CloseQuietly(TRegistry& reg) {
  try {
    reg.CloseKey();
  } catch (const ERegistryException&) {
    // Only repairs were pending; they are written again at the next start.
  }
}

}  // namespace

bool SettingsExist() {
  TRegistry reg(HKEY_CURRENT_USER);
  return reg.KeyExists(SectionKey("View"));
}

void WriteSettingString(const std::string& section, const std::string& name, const std::string& value) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(SectionKey(section), true)) return;
  reg.WriteString(name, value);
  reg.CloseKey();
}

void WriteSettingInteger(const std::string& section, const std::string& name, int value) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(SectionKey(section), true)) return;
  reg.WriteInteger(name, value);
  reg.CloseKey();
}

void WriteSettingBool(const std::string& section, const std::string& name, bool value) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(SectionKey(section), true)) return;
  reg.WriteBool(name, value);
  reg.CloseKey();
}

std::string ReadSettingString(const std::string& section, const std::string& name) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(SectionKey(section), true)) return {};
  std::string value = reg.ReadString(name);
  reg.CloseKey();
  return value;
}

bool ReadSettingBool(const std::string& section, const std::string& name) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(SectionKey(section), true)) return false;
  const bool value = reg.ReadBool(name);
  reg.CloseKey();
  return value;
}

int ReadSettingInteger(const std::string& section, const std::string& name) {
  TRegistry reg(HKEY_CURRENT_USER);
  if (!reg.OpenKey(SectionKey(section), true)) return -1;
  const int value = reg.ReadInteger(name);
  reg.CloseKey();
  return value;
}

bool SettingExists(const std::string& section, const std::string& name) {
  TRegistry reg(HKEY_CURRENT_USER);
  return reg.OpenKeyReadOnly(SectionKey(section)) && reg.ValueExists(name);
}

void WriteDefaultSettings() {
  const TOptions& defaults = Defaults();
  TRegistry reg(HKEY_CURRENT_USER);
  if (reg.OpenKey(kSettingsKey, true)) {
    reg.WriteString("AppLocation", ProgramFileName());
    reg.CloseKey();
  }
  for (const char* section : {"View", "Toolbar", "Folders", "FileAssociations", "ProgramLocations", "Miscellaneous",
                              "Favourites", "ShellExtensions"}) {
    if (reg.OpenKey(SectionKey(section), true)) reg.CloseKey();
  }
  const std::pair<const char*, std::span<const Setting>> sections[] = {
      {"View", kView},
      {"Toolbar", kToolbar},
      {"Folders", kFolders},
      {"FileAssociations", kFileAssociations},
      {"ProgramLocations", kProgramLocationsDefaults},
      {"ShellExtensions", kShellExtensions},
  };
  for (const auto& [section, settings] : sections) {
    if (!reg.OpenKey(SectionKey(section), true)) continue;
    WriteAll(reg, settings, defaults);
    reg.CloseKey();
  }
  if (reg.OpenKey(SectionKey("Miscellaneous"), true)) {
    WriteAll(reg, kConfirmations, defaults);
    WriteAll(reg, kMiscellaneous, defaults);
    reg.CloseKey();
  }
  if (reg.OpenKey(SectionKey("Others"), true)) {
    reg.WriteBool("MaskPassword", false);
    reg.CloseKey();
  }
}

void LoadSettings() {
  TOptions& o = Options;
  TRegistry reg(HKEY_CURRENT_USER);
  const std::pair<const char*, std::span<const Setting>> sections[] = {
      {"View", kView},
      {"Toolbar", kToolbar},
      {"Folders", kFolders},
      {"FileAssociations", kFileAssociations},
      {"ProgramLocations", kProgramLocations},
  };
  for (const auto& [section, settings] : sections) {
    LoadAll(OpenForLoading(reg, section), settings, o);
    CloseQuietly(reg);
  }

  TRegistry* shell = OpenForLoading(reg, "ShellExtensions");
  for (const Setting& s : kShellExtensions) {
    if (shell && std::string_view(s.Name) == "cmExtractMultiple" && !shell->ValueExists(s.Name)) {
      WriteRepair(shell, s.Name);
      o.cmExtractMultiple = true;
      continue;
    }
    Load(shell, s, o);
  }
  CloseQuietly(reg);

  TRegistry* misc = OpenForLoading(reg, "Miscellaneous");
  if (misc && !misc->ValueExists("ConfirmCompress")) {
    WriteRepair(misc, "ConfirmCompress");
    WriteRepair(misc, "ConfirmDecompress");
    o.ConfirmCompress = true;
    o.ConfirmDecompress = true;
  } else {
    LoadAll(misc, kConfirmations, o);
  }
  LoadAll(misc, kMiscellaneous, o);
  CloseQuietly(reg);
}

void SaveSettings() {
  const TOptions& o = Options;
  TRegistry reg(HKEY_CURRENT_USER);
  const std::pair<const char*, std::span<const Setting>> sections[] = {
      {"View", kView},
      {"Toolbar", kToolbar},
      {"Folders", kFolders},
      {"FileAssociations", kFileAssociations},
      {"ProgramLocations", kProgramLocations},
      {"ShellExtensions", kShellExtensions},
  };
  for (const auto& [section, settings] : sections) {
    if (!reg.OpenKey(SectionKey(section), true)) continue;
    SaveAll(reg, settings, o);
    reg.CloseKey();
  }
  if (reg.OpenKey(SectionKey("Miscellaneous"), true)) {
    SaveAll(reg, kConfirmations, o);
    reg.WriteBool("ShellExtensions", o.ShellExtensions);
    SaveAll(reg, kMiscellaneous, o);
    reg.CloseKey();
  }
}

void DeleteSettingsKey() {
  TRegistry reg(HKEY_CURRENT_USER);
  reg.DeleteKey(kSettingsKey);
}

bool ReplaceKeyValues(vsk::THKey Root, const std::string& Key,
                      const std::vector<std::pair<std::string, std::string>>& Values) {
  TRegistry reg(Root);
  if (!reg.OpenKey(Key, true)) return false;
  // Deletions and writes through one open key reach the hive together.
  for (const std::string& name : reg.GetValueNames()) reg.DeleteValue(name);
  for (const auto& [name, data] : Values) reg.WriteString(name, data);
  reg.CloseKey();
  return true;
}

}  // namespace brevane
