#include "app/main/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/registry.h"
#include "tests/support/testutil.h"

namespace {

using namespace brevane;
using vsk::ERegistryException;
using vsk::HKEY_CURRENT_USER;
using vsk::TRegistry;
using vsktest::IsolatedEnvironment;
using vsktest::ReadFile;
namespace fs = std::filesystem;

std::string Self() { return fs::read_symlink("/proc/self/exe").string(); }

std::string B(const char* name, bool v) { return "\"" + std::string(name) + "\"=dword:0000000" + (v ? "1" : "0"); }
std::string I(const char* name, int v) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x", v);
  return "\"" + std::string(name) + "\"=dword:" + hex;
}
std::string S(const char* name, const std::string& v = "") { return "\"" + std::string(name) + "\"=\"" + v + "\""; }

// The records of the user hive: key lines and value lines, no comments or
// blank lines.
std::vector<std::string> HiveRecords() {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(vsk::HiveFileName(HKEY_CURRENT_USER)));
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != ';') lines.push_back(line);
  return lines;
}

std::vector<std::string> ExpectedFirstRun() {
  std::vector<std::string> e = {"[Software]", "[Software\\Brevane]", S("AppLocation", Self())};
  e.push_back("[Software\\Brevane\\View]");
  for (const char* n : {"ColDate", "ColPacked", "ColUnpacked", "ColRatio"}) e.push_back(B(n, true));
  for (const char* n : {"ColMethod", "ColAttributes"}) e.push_back(B(n, false));
  e.push_back(B("ColPath", true));
  for (const char* n : {"ColFileType", "ColCRC", "ColFileOffset", "ColEncrypted", "ColVolumeID", "ColFileComment",
                        "FullRowSelect", "ShowGridLines"})
    e.push_back(B(n, false));
  e.push_back(B("DoubleClickSel", true));
  e.push_back(I("MouseSelection", 1));
  e.push_back("[Software\\Brevane\\Toolbar]");
  e.push_back(B("ShowFilter", false));
  for (const char* n : {"ButtonText", "ToolTips", "FlatButtons", "BtnNewArchive", "BtnOpenArchive"})
    e.push_back(B(n, true));
  for (const char* n : {"BtnCloseArchive", "BtnTestArchive"}) e.push_back(B(n, false));
  for (const char* n : {"BtnAddFiles", "BtnExtractFiles"}) e.push_back(B(n, true));
  e.push_back(B("BtnDeleteFiles", false));
  e.push_back(B("BtnViewFiles", true));
  e.push_back(B("BtnPrintContentList", false));
  e.push_back(B("BtnCheckOut", true));
  for (const char* n : {"BtnVirusScan", "BtnExplorer"}) e.push_back(B(n, false));
  e.push_back(B("BtnWizard", true));
  for (const char* n : {"BtnProperties", "BtnComment", "BtnConfiguration", "BtnHelp", "BtnExit", "BtnInstall",
                        "BtnMakeExe", "BtnFilter"})
    e.push_back(B(n, false));
  e.push_back("[Software\\Brevane\\Folders]");
  e.push_back(B("OpenLast", true));
  e.push_back(B("AddLast", true));
  e.push_back(B("ExtractLast", false));
  e.push_back(B("ExtractSame", true));
  for (const char* n : {"OpenLastPath", "AddLastPath", "ExtractLastPath", "OpenFolder", "AddFolder", "ExtractFolder",
                        "TemporaryFolder", "CheckoutBaseFolder"})
    e.push_back(S(n));
  e.push_back("[Software\\Brevane\\FileAssociations]");
  for (const char* n : {"Ace",
                        "Arc",
                        "Arj",
                        "Bh",
                        "Cab",
                        "Gz",
                        "Jar",
                        "Lha",
                        "Lzh",
                        "Rar",
                        "Tar",
                        "Tgz",
                        "Uue",
                        "Uu",
                        "Xxe",
                        "Z",
                        "Zip",
                        "Zoo",
                        "CheckAssociations",
                        "EnableAssociations"})
    e.push_back(B(n, true));
  e.push_back("[Software\\Brevane\\ProgramLocations]");
  e.push_back(S("DefaultViewer"));
  e.push_back(I("AVProduct", 0));
  e.push_back(S("VirusScanner"));
  e.push_back(S("Parameters"));
  e.push_back(B("RunMinimized", false));
  e.push_back("[Software\\Brevane\\Miscellaneous]");
  e.push_back(B("ConfirmCompress", true));
  e.push_back(B("ConfirmDecompress", true));
  e.push_back(B("CommentsOpen", false));
  e.push_back(B("ShortcutStartMenu", true));
  e.push_back(B("ShortcutDesktop", true));
  for (const char* n : {"StayOnTop", "StartupOpen", "StartupWizard"}) e.push_back(B(n, false));
  e.push_back(B("ClearMRU", true));
  e.push_back(I("MRUList", 8));
  e.push_back(I("ThreadCount", 0));
  e.push_back("[Software\\Brevane\\Favourites]");
  e.push_back("[Software\\Brevane\\ShellExtensions]");
  e.push_back(B("ShellExtensions", true));
  e.push_back(B("Cascade", false));
  for (const char* n :
       {"ShowIcon",         "cmAddToArc",       "cmAddToFile",        "cmAddToExe",        "cmMailArchive",
        "cmExtractTo",      "cmExtractHere",    "cmExtractToFolder",  "cmExtractMultiple", "cmVirusScan",
        "cmConvert",        "cmTest",           "cmMakeExe",          "cmRepairZip",       "itArcTypeInfo",
        "itDateInfo",       "itPackedSizeInfo", "itUnpackedSizeInfo", "itNumFilesInfo",    "itRatioInfo",
        "itShowListingInfo"})
    e.push_back(B(n, true));
  e.push_back(I("MaxFilesInfo", 10));
  e.push_back(I("adPath", 0));
  e.push_back(I("adArcType", 6));
  e.push_back("[Software\\Brevane\\Others]");
  e.push_back(B("MaskPassword", false));
  return e;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ERegistryException& e) {
    return e.what();
  }
  return "(nothing raised)";
}

struct Entry {
  std::string Section, Name;
  vsk::TRegDataType Type;
};

std::vector<Entry> AllValues() {
  std::vector<Entry> all;
  TRegistry reg;
  EXPECT_TRUE(reg.OpenKeyReadOnly(kSettingsKey));
  for (const std::string& section : reg.GetKeyNames()) {
    TRegistry sec;
    EXPECT_TRUE(sec.OpenKeyReadOnly(std::string(kSettingsKey) + "\\" + section));
    for (const std::string& name : sec.GetValueNames()) all.push_back({section, name, sec.GetDataType(name)});
  }
  return all;
}

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { Options = TOptions{}; }
  IsolatedEnvironment env_;
};

TEST_F(Settings, FirstRunWritesEveryValueInOrder) {
  EXPECT_FALSE(SettingsExist());
  WriteDefaultSettings();
  EXPECT_EQ(HiveRecords(), ExpectedFirstRun());
  EXPECT_TRUE(SettingsExist());

  // Loading the first-run state gives the defaults and writes nothing new.
  Options.ColDate = false;
  Options.MRUList = 99;
  LoadSettings();
  EXPECT_TRUE(Options == TOptions{});
  EXPECT_EQ(HiveRecords(), ExpectedFirstRun());

  // Writing the defaults again overwrites in place and deletes nothing.
  WriteSettingBool("View", "ColDate", false);
  WriteSettingString("Favourites", "Fav1", "/home/user");
  WriteDefaultSettings();
  EXPECT_EQ(ReadSettingString("Favourites", "Fav1"), "/home/user");
  EXPECT_TRUE(ReadSettingBool("View", "ColDate"));
}

TEST_F(Settings, SaveThenLoadRoundTripsEveryValue) {
  WriteDefaultSettings();
  // Give every value a value other than its default.
  std::map<std::pair<std::string, std::string>, std::string> strings;
  std::map<std::pair<std::string, std::string>, int> numbers;
  for (const Entry& e : AllValues()) {
    if (e.Type == vsk::rdString) {
      const std::string v = "v:" + e.Name + " \"quoted\" \\ back\nline";
      WriteSettingString(e.Section, e.Name, v);
      strings[{e.Section, e.Name}] = v;
    } else {
      const int old = ReadSettingInteger(e.Section, e.Name);
      const bool isBool = e.Name != "MouseSelection" && e.Name != "AVProduct" && e.Name != "MaxFilesInfo" &&
                          e.Name != "adPath" && e.Name != "adArcType" && e.Name != "MRUList" &&
                          e.Name != "ThreadCount";
      const int v = isBool ? !old : old + 3;
      WriteSettingInteger(e.Section, e.Name, v);
      numbers[{e.Section, e.Name}] = v;
    }
  }
  LoadSettings();
  const TOptions loaded = Options;
  EXPECT_TRUE(loaded.ColMethod);
  EXPECT_FALSE(loaded.BtnWizard);
  EXPECT_EQ(loaded.MouseSelection, 4);
  EXPECT_EQ(loaded.AVProduct, 3);
  EXPECT_EQ(loaded.adArcType, 9);
  EXPECT_EQ(loaded.CheckoutBaseFolder, (strings[{"Folders", "CheckoutBaseFolder"}]));
  EXPECT_EQ(loaded.Parameters, (strings[{"ProgramLocations", "Parameters"}]));
  EXPECT_FALSE(loaded.Z);

  // Save into an empty registry and compare every value written.
  DeleteSettingsKey();
  SaveSettings();
  int compared = 0;
  for (const auto& [key, v] : strings) {
    const auto& [section, name] = key;
    if (name == "AppLocation" || name.ends_with("LastPath")) continue;
    EXPECT_EQ(ReadSettingString(section, name), v) << section << "\\" << name;
    ++compared;
  }
  for (const auto& [key, v] : numbers) {
    const auto& [section, name] = key;
    if (name == "MaskPassword") continue;
    EXPECT_EQ(ReadSettingInteger(section, name), v) << section << "\\" << name;
    ++compared;
  }
  EXPECT_EQ(compared, 113);
  // Options that are not values stayed out; the copy of ShellExtensions went in.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane\\Folders"));
  EXPECT_FALSE(reg.ValueExists("OpenLastPath"));
  EXPECT_FALSE(reg.KeyExists("\\Software\\Brevane\\Others"));
  EXPECT_FALSE(reg.KeyExists("\\Software\\Brevane\\Favourites"));
  EXPECT_FALSE(ReadSettingBool("Miscellaneous", "ShellExtensions"));
  EXPECT_EQ(ReadSettingBool("Miscellaneous", "ShellExtensions"), ReadSettingBool("ShellExtensions", "ShellExtensions"));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane\\Miscellaneous"));
  EXPECT_EQ(reg.GetValueNames(),
            (std::vector<std::string>{"ConfirmCompress", "ConfirmDecompress", "ShellExtensions", "CommentsOpen",
                                      "ShortcutStartMenu", "ShortcutDesktop", "StayOnTop", "StartupOpen",
                                      "StartupWizard", "ClearMRU", "MRUList", "ThreadCount"}));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane\\ProgramLocations"));
  EXPECT_EQ(reg.GetValueNames(),
            (std::vector<std::string>{"AVProduct", "DefaultViewer", "VirusScanner", "Parameters", "RunMinimized"}));

  Options = TOptions{};
  LoadSettings();
  EXPECT_TRUE(Options == loaded);
}

TEST_F(Settings, SavingKeepsTheOrderOfTheFirstRun) {
  WriteDefaultSettings();
  LoadSettings();
  Options.StayOnTop = true;
  SaveSettings();
  std::vector<std::string> expected = ExpectedFirstRun();
  for (auto it = expected.begin(); it != expected.end(); ++it) {
    if (*it == B("StayOnTop", false)) *it = B("StayOnTop", true);
    // A value new to the section goes to its end.
    if (*it == I("ThreadCount", 0)) it = expected.insert(it + 1, B("ShellExtensions", true));
  }
  EXPECT_EQ(HiveRecords(), expected);
}

TEST_F(Settings, OlderRegistriesAreRepaired) {
  WriteDefaultSettings();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\ShellExtensions", false));
    ASSERT_TRUE(reg.DeleteValue("cmExtractMultiple"));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\Miscellaneous", false));
    ASSERT_TRUE(reg.DeleteValue("ConfirmCompress"));
    reg.WriteBool("ConfirmDecompress", false);
  }
  Options.cmExtractMultiple = false;
  Options.ConfirmDecompress = false;
  LoadSettings();
  EXPECT_TRUE(Options.cmExtractMultiple);
  EXPECT_TRUE(Options.ConfirmCompress);
  EXPECT_TRUE(Options.ConfirmDecompress);
  EXPECT_EQ(ReadSettingInteger("ShellExtensions", "cmExtractMultiple"), 1);
  EXPECT_EQ(ReadSettingInteger("Miscellaneous", "ConfirmCompress"), 1);
  EXPECT_EQ(ReadSettingInteger("Miscellaneous", "ConfirmDecompress"), 1);

  // With ConfirmCompress present, ConfirmDecompress is read as it is.
  WriteSettingBool("Miscellaneous", "ConfirmDecompress", false);
  LoadSettings();
  EXPECT_FALSE(Options.ConfirmDecompress);
}

TEST_F(Settings, DamagedValuesGetTheirDefaults) {
  WriteDefaultSettings();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\View", false));
    ASSERT_TRUE(reg.DeleteValue("ColDate"));
    reg.WriteString("MouseSelection", "3");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\ProgramLocations", false));
    reg.WriteInteger("DefaultViewer", 5);
    reg.WriteString("RunMinimized", "yes");
    reg.CloseKey();
    ASSERT_TRUE(reg.DeleteKey("\\Software\\Brevane\\Toolbar"));
  }
  Options.ColDate = false;
  Options.MouseSelection = 7;
  Options.DefaultViewer = "old";
  Options.RunMinimized = true;
  Options.BtnNewArchive = false;
  Options.ColMethod = true;
  EXPECT_NO_THROW(LoadSettings());
  EXPECT_TRUE(Options.ColDate);
  EXPECT_EQ(Options.MouseSelection, 1);
  EXPECT_EQ(Options.DefaultViewer, "");
  EXPECT_FALSE(Options.RunMinimized);
  EXPECT_TRUE(Options.BtnNewArchive);
  EXPECT_FALSE(Options.ColMethod);  // intact values are still read
  // Loading repairs nothing beyond the two older values; the section that
  // was missing exists again, empty.
  EXPECT_EQ(ReadSettingString("View", "MouseSelection"), "3");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane\\Toolbar"));
  EXPECT_TRUE(reg.GetValueNames().empty());
}

TEST_F(Settings, AccessorsAndTheirErrors) {
  WriteDefaultSettings();
  EXPECT_EQ(ReadSettingString("Folders", "NoSuchValue"), "");
  EXPECT_EQ(ErrorOf([] { ReadSettingBool("Others", "Nope"); }), "Failed to get data for 'Nope'");
  EXPECT_EQ(ErrorOf([] { ReadSettingInteger("Others", "Nope"); }), "Failed to get data for 'Nope'");
  EXPECT_EQ(ErrorOf([] { ReadSettingBool("Folders", "OpenFolder"); }), "Invalid data type for 'OpenFolder'");
  EXPECT_EQ(ErrorOf([] { ReadSettingString("View", "ColDate"); }), "Invalid data type for 'ColDate'");

  WriteSettingString("Folders", "OpenLastPath", "/data/archives");
  EXPECT_EQ(ReadSettingString("Folders", "OPENLASTPATH"), "/data/archives");
  WriteSettingInteger("View", "MouseSelection", 3);
  EXPECT_EQ(ReadSettingInteger("View", "MouseSelection"), 3);
  WriteSettingBool("Toolbar", "ButtonText", false);
  EXPECT_FALSE(ReadSettingBool("Toolbar", "ButtonText"));
  WriteSettingInteger("Toolbar", "ButtonText", 2);
  EXPECT_TRUE(ReadSettingBool("Toolbar", "ButtonText"));

  // A read opens the section with creation allowed.
  TRegistry reg;
  EXPECT_FALSE(reg.KeyExists("\\Software\\Brevane\\NewSection"));
  EXPECT_EQ(ReadSettingString("NewSection", "X"), "");
  EXPECT_TRUE(reg.KeyExists("\\Software\\Brevane\\NewSection"));
}

TEST_F(Settings, ExistenceAndCleanUp) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
  }
  EXPECT_FALSE(SettingsExist());  // the root key alone is not enough
  TRegistry reg;
  EXPECT_FALSE(reg.KeyExists("\\Software\\Brevane\\View"));  // and looking created nothing
  WriteDefaultSettings();
  EXPECT_TRUE(SettingsExist());
  DeleteSettingsKey();
  EXPECT_FALSE(SettingsExist());
  EXPECT_FALSE(reg.KeyExists(kSettingsKey));
  EXPECT_TRUE(reg.KeyExists("\\Software"));
  DeleteSettingsKey();  // a second time does nothing
}

TEST_F(Settings, ReadOnlyStoreReadsEmptyAndSkipsWrites) {
  vsktest::TempDir scratch;
  vsktest::WriteFile(scratch / "file", "x");
  vsktest::ScopedEnv dir("BREVANE_REGISTRY_DIR", (scratch / "file" / "registry").string());
  EXPECT_FALSE(SettingsExist());
  EXPECT_EQ(ReadSettingString("Folders", "OpenLastPath"), "");
  EXPECT_FALSE(ReadSettingBool("View", "ColDate"));
  EXPECT_EQ(ReadSettingInteger("View", "MouseSelection"), -1);
  EXPECT_NO_THROW(WriteSettingString("Folders", "OpenLastPath", "x"));
  EXPECT_NO_THROW(WriteSettingBool("View", "ColDate", true));
  EXPECT_NO_THROW(WriteSettingInteger("View", "MouseSelection", 2));
  EXPECT_NO_THROW(WriteDefaultSettings());
  Options.ColDate = false;
  Options.MRUList = 0;
  EXPECT_NO_THROW(LoadSettings());
  EXPECT_TRUE(Options == TOptions{});
  EXPECT_NO_THROW(SaveSettings());
  EXPECT_NO_THROW(DeleteSettingsKey());
  EXPECT_FALSE(fs::exists(scratch / "file" / "registry"));
}

TEST_F(Settings, ReadOnlyStoreStillLoadsWhatItHolds) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  WriteDefaultSettings();
  WriteSettingInteger("Miscellaneous", "MRUList", 4);
  const std::string file = vsk::HiveFileName(HKEY_CURRENT_USER);
  const std::string before = ReadFile(file);
  fs::permissions(vsk::RegistryDirectory(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(ReadSettingInteger("Miscellaneous", "MRUList"), -1);  // the accessors need write access
  LoadSettings();
  EXPECT_EQ(Options.MRUList, 4);
  Options.MRUList = 6;
  SaveSettings();
  WriteSettingInteger("Miscellaneous", "MRUList", 7);
  fs::permissions(vsk::RegistryDirectory(), fs::perms::owner_all);
  EXPECT_EQ(ReadFile(file), before);
}

}  // namespace
