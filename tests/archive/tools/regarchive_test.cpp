#include "archive/tools/regarchive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/desktopassoc.h"
#include "platform/dynlib.h"
#include "platform/registry.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsk;
using vsktest::IsolatedEnvironment;
using vsktest::ReadFile;
using vsktest::WriteFile;
namespace fs = std::filesystem;

// The default value of a classes-root key; "(missing)" when the key is.
std::string Default(const std::string& Key) {
  TRegistry reg(HKEY_CLASSES_ROOT);
  if (!reg.OpenKeyReadOnly(Key)) return "(missing)";
  return reg.ReadString("");
}

void SetDefault(const std::string& Key, const std::string& Value) {
  TRegistry reg(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(reg.OpenKey(Key, true));
  reg.WriteString("", Value);
}

TRegArchive ProgramsComponent(const std::vector<std::string>& Extensions) {
  TRegArchive reg;
  reg.SetArcExtensions(Extensions);
  reg.SetExtDescription("Brevane");
  reg.SetFileDescription("Brevane Archive");
  return reg;
}

TEST(RegArchive, PropertiesAndDerivedNames) {
  TRegArchive reg;
  ASSERT_EQ(reg.ArcExtensions().size(), 23u);
  EXPECT_EQ(reg.ArcExtensions().front(), ".ACE");
  EXPECT_EQ(reg.ArcExtensions().back(), ".ZOO");
  reg.SetArcExtensions({".zip", ".EXE", ".tar", ".exe", ".Exe"});
  EXPECT_EQ(reg.ArcExtensions(), (std::vector<std::string>{".zip", ".tar"}));

  EXPECT_EQ(reg.ExtDescription(), "[Appname]");
  EXPECT_EQ(reg.TypeName(), "test_archive_tools");  // this test program
  EXPECT_EQ(reg.TypeDescription(), reg.TypeName() + " file");
  EXPECT_EQ(TRegArchive::AppTypeName("/opt/tools/app.setup.exe"), "app");
  reg.SetExtDescription("Brevane");
  EXPECT_EQ(reg.TypeDescription(), "Brevane file");
  reg.SetFileDescription("Brevane Archive");
  EXPECT_EQ(reg.TypeDescription(), "Brevane Archive");
  reg.SetExtDescription("");
  reg.SetParamString("");
  EXPECT_EQ(reg.ExtDescription(), "[Appname]");
  EXPECT_EQ(reg.ParamString(), "%1");

  EXPECT_EQ(TRegArchive::CommandProgram("\"/opt/b v/brevane\" \"%1\""), "/opt/b v/brevane");
  EXPECT_EQ(TRegArchive::CommandProgram("/usr/bin/brevane %1"), "/usr/bin/brevane");
  EXPECT_EQ(TRegArchive::CommandProgram("/usr/bin/brevane"), "/usr/bin/brevane");
  EXPECT_EQ(TRegArchive::CommandProgram(""), "");
}

TEST(RegArchive, RegisterWritesTheKeysAndTheDesktopDefaults) {
  IsolatedEnvironment env;
  WriteFile(env.root() / "home/.config/mimeapps.list", "[Default Applications]\ntext/plain=editor.desktop;\n");
  const std::string program = ProgramFile();
  TRegArchive reg = ProgramsComponent({".zip", ".tgz", ".bh", ".exe"});
  reg.IconIndex = 2;
  reg.MenuName = "Open with Brevane";
  EXPECT_FALSE(reg.IsAssociated());
  reg.RegisterExtensions();

  EXPECT_EQ(Default("\\.zip"), "Brevane");
  EXPECT_EQ(Default("\\.tgz"), "Brevane");
  EXPECT_EQ(Default("\\.bh"), "Brevane");
  EXPECT_EQ(Default("\\.exe"), "(missing)");
  EXPECT_EQ(Default("\\Brevane"), "Brevane Archive");
  EXPECT_EQ(Default("\\Brevane\\DefaultIcon"), program + ",2");
  EXPECT_EQ(Default("\\Brevane\\Shell\\Open\\Command"), "\"" + program + "\" \"%1\"");
  EXPECT_EQ(Default("\\Brevane\\Shell\\Open"), "Open with Brevane");
  EXPECT_EQ(vsktest::XdgMimeDefault("application/zip"), "brevane.desktop");
  EXPECT_EQ(vsktest::XdgMimeDefault("application/x-compressed-tar"), "brevane.desktop");
  EXPECT_NE(ReadFile(env.root() / "home/.config/mimeapps.list").find("text/plain=editor.desktop;\n"),
            std::string::npos);
  EXPECT_TRUE(reg.IsAssociated());

  // Another program's command, unquoted and without a blank, is compared whole.
  SetDefault("\\Brevane\\Shell\\Open\\Command", program + "-other");
  EXPECT_FALSE(reg.IsAssociated());
  SetDefault("\\Brevane\\Shell\\Open\\Command", program);
  EXPECT_TRUE(reg.IsAssociated());
  // The registry alone is not enough: the desktop default must be ours too.
  UnregisterDesktopHandler({"application/zip"});
  EXPECT_FALSE(reg.IsAssociated());
  reg.RegisterExtensions();
  EXPECT_TRUE(reg.IsAssociated());
  // Checking writes nothing.
  SetDefault("\\.tgz", "");
  const std::string hive = ReadFile(HiveFileName(HKEY_CLASSES_ROOT));
  EXPECT_FALSE(reg.IsAssociated());
  EXPECT_EQ(ReadFile(HiveFileName(HKEY_CLASSES_ROOT)), hive);
}

TEST(RegArchive, UnregisterTakesBackOnlyWhatIsOurs) {
  IsolatedEnvironment env;
  TRegArchive reg = ProgramsComponent({".zip", ".rar"});
  reg.RegisterExtensions();
  SetDefault("\\.rar", "OtherArchiver");
  reg.SetArcExtensions({".zip", ".rar", ".gz"});
  EXPECT_TRUE(reg.UnregisterExtensions());

  EXPECT_EQ(Default("\\.zip"), "");
  EXPECT_EQ(Default("\\.rar"), "OtherArchiver");
  EXPECT_EQ(Default("\\.gz"), "(missing)");  // never registered, no key made
  EXPECT_EQ(Default("\\Brevane"), "Brevane Archive");  // the type key stays
  EXPECT_EQ(ReadFile(env.root() / "home/.config/mimeapps.list").find("brevane.desktop"), std::string::npos);
  EXPECT_FALSE(fs::exists(env.root() / "home/.local/share/applications/brevane.desktop"));
  EXPECT_NE(vsktest::XdgMimeDefault("application/zip"), "brevane.desktop");
  EXPECT_FALSE(reg.IsAssociated());
}

// A type name or description cannot add lines to the desktop entry, and an
// extension that would name some other key is refused before anything is
// written.
TEST(RegArchive, NamesAndExtensionsStayInTheirPlace) {
  IsolatedEnvironment env;
  TRegArchive reg = ProgramsComponent({".zip"});
  reg.SetExtDescription("Brevane\nExec=/bin/false %f");
  reg.SetFileDescription("Archive\r\nNoDisplay=false\tC:\\x");
  reg.RegisterExtensions();
  const std::string entry = ReadFile(env.root() / "home/.local/share/applications/brevane.desktop");
  std::vector<std::string> keys;
  for (std::size_t at = 0, end; (end = entry.find('\n', at)) != std::string::npos; at = end + 1)
    keys.push_back(entry.substr(at, entry.find('=', at) < end ? entry.find('=', at) - at : end - at));
  EXPECT_EQ(keys, (std::vector<std::string>{"[Desktop Entry]", "Type", "Name", "Comment", "Exec", "Icon", "Terminal",
                                            "NoDisplay", "MimeType"}))
      << entry;
  EXPECT_NE(entry.find("\nName=Brevane\\nExec=/bin/false %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nComment=Archive\\r\\nNoDisplay=false\\tC:\\\\x\n"), std::string::npos) << entry;
  EXPECT_TRUE(reg.IsAssociated());

  const std::string hive = ReadFile(HiveFileName(HKEY_CLASSES_ROOT));
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {".tar", ""}, {"zip"}, {"."}, {".a\\b"}}) {
    EXPECT_THROW(reg.SetArcExtensions(bad), std::invalid_argument) << bad.back();
    EXPECT_EQ(reg.ArcExtensions(), std::vector<std::string>{".zip"});
  }
  reg.RegisterExtensions();
  EXPECT_EQ(ReadFile(HiveFileName(HKEY_CLASSES_ROOT)), hive);
}

TEST(RegArchive, LoadedAsksOnlyWhenNotAssociated) {
  IsolatedEnvironment env;
  TRegArchive reg = ProgramsComponent({".zip"});
  std::vector<std::string> asked;
  reg.OnAssociation = [&](TRegArchive& Sender, const std::string& Appname) {
    EXPECT_EQ(&Sender, &reg);
    asked.push_back(Appname);
  };
  reg.Loaded();
  EXPECT_EQ(asked, std::vector<std::string>{"BREVANE"});
  reg.ActivateOnStartup = false;
  reg.Loaded();
  EXPECT_EQ(asked.size(), 1u);
  reg.ActivateOnStartup = true;
  reg.RegisterExtensions();
  reg.Loaded();
  EXPECT_EQ(asked.size(), 1u);
}

}  // namespace
