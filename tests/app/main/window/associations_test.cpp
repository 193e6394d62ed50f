#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/dialogs/associatedlg.h"
#include "app/main/folders.h"
#include "app/main/settings.h"
#include "app/main/shellreg.h"
#include "platform/desktopassoc.h"
#include "platform/dynlib.h"
#include "platform/registry.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using Associations = WindowTest;
using vsk::HKEY_CLASSES_ROOT;
using vsk::HKEY_CURRENT_USER;

constexpr const char* kMenuAll = "{5054D91A-D865-4B58-9296-87FA0465DE09}";
constexpr const char* kMenu = "{24D2B4B9-265D-4453-9654-0ADD172179BC}";
constexpr const char* kDrop = "{0C50D8B5-5FD5-4CD2-BA98-A3FA4AA4122C}";
constexpr const char* kInfoTip = "{F5F9DD7E-4BCB-4E7E-8EA3-4E2219E0B9ED}";
constexpr const char* kHovelinTypeLib = "\\TypeLib\\{DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}";
const std::string kApproved = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved\\";

// A key's value; "(missing)" when the key is.
std::string Value(vsk::THKey Root, const std::string& Key, const std::string& Name = "") {
  vsk::TRegistry reg(Root);
  if (!reg.OpenKeyReadOnly(Key)) return "(missing)";
  return reg.ReadString(Name);
}

bool Exists(vsk::THKey Root, const std::string& Key) { return vsk::TRegistry(Root).KeyExists(Key); }

std::string InfoTipKey(const std::string& Extension) {
  return "\\" + Extension + "\\shellex\\{00021500-0000-0000-C000-000000000046}";
}

// Every key the shell-extension registration writes, as the clean-up
// deletes them.
std::vector<std::pair<vsk::THKey, std::string>> ShellKeys() {
  std::vector<std::pair<vsk::THKey, std::string>> keys = {
      {HKEY_CLASSES_ROOT, "\\*\\shellex\\ContextMenuHandlers\\Brevane"},
      {HKEY_CLASSES_ROOT, "\\Folder\\shellex\\ContextMenuHandlers\\Brevane"},
      {HKEY_CLASSES_ROOT, std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenu},
      {HKEY_CLASSES_ROOT, std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenuAll},
      {HKEY_CLASSES_ROOT, "\\Brevane\\shellex\\DropHandler"},
  };
  for (const char* ext : kInfoTipExtensions) keys.emplace_back(HKEY_CLASSES_ROOT, InfoTipKey(ext));
  for (const char* c : {kMenuAll, kMenu, kDrop, kInfoTip}) {
    keys.emplace_back(HKEY_CLASSES_ROOT, std::string("\\CLSID\\") + c);
    keys.emplace_back(HKEY_CURRENT_USER, kApproved + c);
  }
  return keys;
}

// Scripts the association prompt: ticks "Never ask me again" when asked
// to, then presses Yes or No.
void AnswerPrompt(TScriptedUi& Ui, bool Yes, bool NeverAgain) {
  Ui.AskAssociations = true;
  Ui.ExpectModal([=](QDialog& Dialog) {
    auto& dlg = dynamic_cast<TfmAssociateDlg&>(Dialog);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Brevane"));
    EXPECT_EQ(dlg.laMsg->text().toStdString(), DisplayText(kAssociatePrompt));
    EXPECT_FALSE(dlg.ckAskAgain->isChecked());
    dlg.ckAskAgain->setChecked(NeverAgain);
    (Yes ? dlg.buYes : dlg.buNo)->click();
    return dlg.result();
  });
}

TEST_F(Associations, FirstRunRegistersTheShellExtensionsAndYesAssociates) {
  AnswerPrompt(ui, true, false);
  EXPECT_TRUE(Start({}));
  const std::string folder = vsk::ProgramDir() + "/";
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenu), "");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::string("\\Brevane\\shellex\\ContextMenuHandlers\\") + kMenuAll), "");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\Brevane\\shellex\\DropHandler"), kDrop);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\*\\shellex\\ContextMenuHandlers\\Brevane"), kMenuAll);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\Folder\\shellex\\ContextMenuHandlers\\Brevane"), kMenuAll);
  for (const char* ext : kInfoTipExtensions) EXPECT_EQ(Value(HKEY_CLASSES_ROOT, InfoTipKey(ext)), kInfoTip) << ext;
  const struct {
    const char* Id;
    const char* Library;
    const char* Description;
    const char* ProgId;
    const char* Approval;
  } classes[] = {
      {kMenuAll, "Dravik.so", "Brevane Context Menu for All Files", "Dravik.KestrunMenuAll",
       "Brevane Context Menu for All Files"},
      {kMenu, "Dravik.so", "Brevane Context Menu", "Dravik.KestrunMenu", "Brevane Context Menu"},
      {kDrop, "Dravik.so", "File drop handler for archive files", "Dravik.KestrunDropHandler",
       "Brevane Drop Handler"},
      {kInfoTip, "Hovelin.so", "BrevaneInfoTip Object", "Hovelin.KestrunInfoTip", "Brevane InfoTip Object"},
  };
  for (const auto& c : classes) {
    const std::string key = std::string("\\CLSID\\") + c.Id;
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, key), c.Description);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, key + "\\InprocServer32"), folder + c.Library);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, key + "\\ProgID"), c.ProgId);
    EXPECT_EQ(Value(HKEY_CURRENT_USER, kApproved + c.Id), c.Approval);
  }
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::string("\\CLSID\\") + kInfoTip + "\\TypeLib"),
            "{DF09F5D2-30A7-458D-A9AE-E30AB249AE8F}");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::string("\\CLSID\\") + kInfoTip + "\\Version"), "1.0");
  // Hovelin's own registration ran as well.
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, kHovelinTypeLib));

  // Yes associated the archive types with this program.
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\.zip"), "Brevane");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\Brevane"), "Brevane Archive");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\Brevane\\Shell\\Open\\Command"), "\"" + vsk::ProgramFile() + "\" \"%1\"");
  EXPECT_EQ(vsktest::XdgMimeDefault("application/zip"), "brevane.desktop");
  EXPECT_TRUE(main->vskRegArchive.IsAssociated());
  EXPECT_TRUE(Options.CheckAssociations);
  EndProgram();

  // Associated now: later starts do not ask.
  EXPECT_TRUE(Start({}));
}

TEST_F(Associations, AClassesRootThatCannotBeWrittenIsReportedAndStartUpGoesOn) {
  fs::create_directories(vsk::HiveFileName(HKEY_CLASSES_ROOT));
  ui.ExpectMessage(std::string("Failed to create key \\Brevane\\shellex\\ContextMenuHandlers\\") + kMenu, mtError);
  EXPECT_TRUE(Start({}));
  EXPECT_TRUE(SettingsExist());
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kApproved + kInfoTip));
}

TEST_F(Associations, NoAndNeverAskAgain) {
  AnswerPrompt(ui, false, false);
  EXPECT_TRUE(Start({}));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\.zip"), "");  // only the InfoTip handler below it
  EXPECT_FALSE(vsk::IsDesktopHandler(vsk::ProgramFile(), {"application/zip"}));
  EXPECT_TRUE(Options.CheckAssociations);
  EndProgram();

  // Asked again; No with "Never ask me again" stops the questions.
  AnswerPrompt(ui, false, true);
  EXPECT_TRUE(Start({}));
  EXPECT_FALSE(Options.CheckAssociations);
  EXPECT_FALSE(ReadSettingBool("FileAssociations", "CheckAssociations"));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\.zip"), "");
  EndProgram();
  EXPECT_TRUE(Start({}));
  EndProgram();

  // Yes with "Never ask me again" associates, and asks no more even when
  // another program takes a type over.
  WriteSettingBool("FileAssociations", "CheckAssociations", true);
  WriteSettingBool("FileAssociations", "Rar", false);
  AnswerPrompt(ui, true, true);
  EXPECT_TRUE(Start({}));
  EXPECT_FALSE(Options.CheckAssociations);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\.zip"), "Brevane");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "\\.rar"), "");  // its setting is off
  EXPECT_TRUE(main->vskRegArchive.IsAssociated());
  EndProgram();
  {
    vsk::TRegistry reg(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey("\\.zip", false));
    reg.WriteString("", "OtherArchiver");
  }
  EXPECT_TRUE(Start({}));
}

TEST_F(Associations, CleanUpRemovesRegistrationAssociationsAndSettings) {
  AnswerPrompt(ui, true, false);
  EXPECT_TRUE(Start({}));
  EndProgram();
  for (const auto& [root, key] : ShellKeys()) ASSERT_TRUE(Exists(root, key)) << key;
  ASSERT_NE(vsktest::ReadFile(vsk::MimeAppsListFile()).find("brevane.desktop"), std::string::npos);

  // Any other second parameter changes nothing.
  const std::string classes = vsktest::ReadFile(vsk::HiveFileName(HKEY_CLASSES_ROOT));
  const std::string defaults = vsktest::ReadFile(vsk::MimeAppsListFile());
  EXPECT_FALSE(Start({"-SYS", "-other"}));
  EndProgram();
  EXPECT_EQ(vsktest::ReadFile(vsk::HiveFileName(HKEY_CLASSES_ROOT)), classes);
  EXPECT_EQ(vsktest::ReadFile(vsk::MimeAppsListFile()), defaults);

  // Another program's InfoTip handler on an extension stays, and an
  // extension never registered gets no key.
  {
    vsk::TRegistry reg(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey(InfoTipKey(".rar"), false));
    reg.WriteString("", "{11111111-2222-3333-4444-555555555555}");
    reg.CloseKey();
    ASSERT_TRUE(reg.DeleteKey("\\.ace"));
  }
  EXPECT_FALSE(Start({"-SYS", "-REMOVEREG"}));
  EndProgram();
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, InfoTipKey(".rar")), "{11111111-2222-3333-4444-555555555555}");
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "\\.ace"));
  for (const auto& [root, key] : ShellKeys()) {
    if (key == InfoTipKey(".rar")) continue;
    EXPECT_FALSE(Exists(root, key)) << key;
  }
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kHovelinTypeLib));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "\\Hovelin.KestrunInfoTip"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kSettingsKey));
  // The type key and the extension keys stay, emptied.
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "\\Brevane\\shellex\\ContextMenuHandlers"));
  for (const char* ext : kAssociationExtensions)
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::string("\\") + ext), std::string(ext) == ".ace" ? "(missing)" : "") << ext;
  EXPECT_EQ(vsktest::ReadFile(vsk::MimeAppsListFile()).find("brevane.desktop"), std::string::npos);
  EXPECT_FALSE(fs::exists(vsk::DesktopApplicationsDir() + "/" + vsk::kDesktopEntryName));
  EXPECT_NE(vsktest::XdgMimeDefault("application/zip"), "brevane.desktop");

  // The next start is a first run again.
  ui.AskAssociations = false;
  EXPECT_TRUE(Start({}));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, std::string("\\CLSID\\") + kInfoTip));
}

TEST_F(Associations, HovelinIsRegisteredWhereItIsAndAFailedRemovalNamesTheKeys) {
  // The built program's first run registers the InfoTip server by the path
  // the file manager loads it from, which holds the library. Its last step,
  // the desktop launcher, made, the run waits at the association prompt and
  // is ended there.
  const std::string launcher = GetSpecialFolderPath(sfDesktopDirectory) + "/Brevane.desktop";
  const auto run = vsktest::RunTool(
      "( exec " + vsktest::ShellQuote(BREVANE_PROGRAM) + " -T none.zip ) & pid=$!; for i in $(seq 1200); do"
      " [ -e " + vsktest::ShellQuote(launcher) + " ] && break; sleep 0.1; done; kill $pid; wait $pid; true",
      dir.path());
  ASSERT_TRUE(fs::exists(launcher)) << run.output;
  const std::string server = Value(HKEY_CLASSES_ROOT, std::string("\\CLSID\\") + kInfoTip + "\\InprocServer32");
  EXPECT_EQ(server, fs::path(BREVANE_PROGRAM).parent_path().string() + "/Hovelin.so");
  EXPECT_TRUE(fs::is_regular_file(server)) << server;

  // A classes root that can be read but not written: every key left is
  // named, and the per-user ones are still deleted.
  const std::string lock = vsk::HiveFileName(HKEY_CLASSES_ROOT) + ".lock";
  fs::remove(lock);
  fs::create_directories(lock);
  std::string failed;
  try {
    UnregisterShellExtensions();
  } catch (const vsk::ERegistryException& e) {
    failed = e.what();
  }
  for (const auto& [root, key] : ShellKeys()) {
    const bool classes = root == HKEY_CLASSES_ROOT;
    EXPECT_EQ(Exists(root, key), classes) << key;
    EXPECT_EQ(failed.find("Failed to delete key HKEY_CLASSES_ROOT" + key + "\r\n") != std::string::npos, classes)
        << key << "\n" << failed;
  }
  EXPECT_NE(failed.find("Hovelin.so could not remove its own registration"), std::string::npos) << failed;
}

}  // namespace
}  // namespace brevane::testing
