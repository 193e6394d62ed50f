// What other programs and the user own stays as it was: another program's
// lines of mimeapps.list, a list or hive kept behind a link in a dotfiles
// folder, a list that cannot be read, a hand-edited hive a reader looks at.

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/desktopassoc.h"
#include "platform/dynlib.h"
#include "platform/registry.h"
#include "tests/support/canary.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsk;
using vsktest::Canaries;
using vsktest::CanaryRow;
using vsktest::Ending;
namespace fs = std::filesystem;

// The desktop's and the registry's folders inside the row's own folder.
void PointAt(const fs::path& Dir) {
  setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (Dir / "data").c_str(), 1);
  setenv("BREVANE_REGISTRY_DIR", (Dir / "registry").c_str(), 1);
}

const std::vector<std::string> kTypes{"application/zip", "application/x-tar"};

// Other programs' lines as they write them: blanks, CRLF, an unterminated
// last line.
const std::string kOthersList =
    "[Default Applications]\r\n"
    "application/zip = ark.desktop ; file-roller.desktop\r\n"
    "text/plain=editor.desktop;\r\n"
    "\r\n"
    "[Added Associations]\r\n"
    "application/x-tar=ark.desktop";

// Registers and unregisters; a Failure run meets an applications folder
// that cannot be made, so nothing can be registered.
void RegisterAndTakeBack(const fs::path& Dir, Ending E, const fs::path& List) {
  PointAt(Dir);
  if (E == Ending::Failure) {
    vsktest::WriteFile(Dir / "data/applications", "a file where the folder goes");
    EXPECT_THROW(RegisterDesktopHandler(ProgramFile(), "Brevane", "Brevane Archive", kTypes), EDesktopAssocError);
    return;
  }
  RegisterDesktopHandler(ProgramFile(), "Brevane", "Brevane Archive", kTypes);
  const std::string registered = vsktest::ReadFile(List);
  EXPECT_NE(registered.find("\r\napplication/zip = brevane.desktop;ark.desktop ; file-roller.desktop\r\n"),
            std::string::npos)
      << registered;
  EXPECT_TRUE(IsDesktopHandler(ProgramFile(), kTypes));
  UnregisterDesktopHandler(kTypes);
}

CanaryRow OthersLinesRow() {
  return {"another program's mimeapps.list lines",
          [](const fs::path& Dir, Canaries& C) {
            vsktest::WriteFile(Dir / "config/mimeapps.list", kOthersList);
            C.Watch(Dir / "config/mimeapps.list");
          },
          [](const fs::path& Dir, Ending E, Canaries&) {
            RegisterAndTakeBack(Dir, E, Dir / "config/mimeapps.list");
          },
          {Ending::Success, Ending::Failure}};
}

CanaryRow LinkedListRow() {
  return {"a symlinked mimeapps.list",
          [](const fs::path& Dir, Canaries& C) {
            vsktest::WriteFile(Dir / "dotfiles/mimeapps.list", kOthersList);
            fs::permissions(Dir / "dotfiles/mimeapps.list", fs::perms(0640));
            fs::create_directories(Dir / "config");
            fs::create_symlink("../dotfiles/mimeapps.list", Dir / "config/mimeapps.list");
            C.Watch(Dir / "dotfiles/mimeapps.list");
          },
          [](const fs::path& Dir, Ending E, Canaries&) {
            RegisterAndTakeBack(Dir, E, Dir / "dotfiles/mimeapps.list");
            EXPECT_EQ(fs::read_symlink(Dir / "config/mimeapps.list"), "../dotfiles/mimeapps.list");
            EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "dotfiles"), fs::directory_iterator()), 1);
          },
          {Ending::Success, Ending::Failure}};
}

// Takes away the rights that let the superuser read any file, so that the
// file's mode binds this process as it binds a user.
bool DropReadOverride() {
  if (geteuid() != 0) return true;
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &head, data) != 0) return false;
  for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) data[cap / 32].effective &= ~(1u << (cap % 32));
  return syscall(SYS_capset, &head, data) == 0;
}

CanaryRow UnreadableListRow() {
  return {"an unreadable mimeapps.list",
          [](const fs::path& Dir, Canaries& C) {
            C.Plant(Dir / "config/mimeapps.list", 0200);
            fs::create_directories(Dir / "data");
          },
          [](const fs::path& Dir, Ending, Canaries&) {
            // In a child, which alone gives its rights up.
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
              PointAt(Dir);
              if (!DropReadOverride()) _exit(2);
              try {
                RegisterDesktopHandler(ProgramFile(), "Brevane", "Brevane Archive", kTypes);
              } catch (const EDesktopAssocError& e) {
                _exit(std::string(e.what()).find("mimeapps.list") != std::string::npos ? 0 : 3);
              }
              _exit(4);
            }
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child ended with " << status;
          },
          {Ending::Failure}};
}

const std::string kEditedHive =
    "; Brevane registry hive HKEY_CURRENT_USER\n"
    "\n"
    "[Software\\Brevane\\Options]\n"
    "  \"c\"=\"3\"\n"
    "\"d\"=\"a\\qb\"\n"
    "\"e\"=dword:00000005\n";

CanaryRow EditedHiveReaderRow() {
  return {"a hive with a hand-edited line read by a reader",
          [](const fs::path& Dir, Canaries& C) {
            vsktest::WriteFile(Dir / "registry/HKCU.reg", kEditedHive);
            C.Watch(Dir / "registry/HKCU.reg");
          },
          [](const fs::path& Dir, Ending E, Canaries&) {
            PointAt(Dir);
            TRegistry reg;
            ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane\\Options"));
            EXPECT_EQ(reg.ReadString("c"), "3");
            EXPECT_EQ(reg.ReadInteger("e"), 5);
            if (E == Ending::Kill) vsktest::KillHere();
            EXPECT_TRUE(TakeDamagedHives().empty());
            EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "registry"), fs::directory_iterator()), 1);
          },
          {Ending::Success, Ending::Kill}};
}

CanaryRow LinkedHiveRow() {
  return {"a symlinked hive",
          [](const fs::path& Dir, Canaries& C) {
            vsktest::WriteFile(Dir / "dotfiles/HKCU.reg", kEditedHive);
            fs::permissions(Dir / "dotfiles/HKCU.reg", fs::perms(0644));
            fs::create_directories(Dir / "registry");
            fs::create_symlink("../dotfiles/HKCU.reg", Dir / "registry/HKCU.reg");
            C.Plant(Dir / "dotfiles/HKCU.reg.bak");
            C.Plant(Dir / "dotfiles/vimrc");
          },
          [](const fs::path& Dir, Ending E, Canaries&) {
            PointAt(Dir);
            {
              TRegistry reg;
              ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\Options", true));
              reg.WriteInteger("Written", 1);
            }
            if (E == Ending::Kill) vsktest::KillHere();
            EXPECT_TRUE(fs::is_symlink(Dir / "registry/HKCU.reg"));
            const std::string text = vsktest::ReadFile(Dir / "dotfiles/HKCU.reg");
            EXPECT_NE(text.find("\"Written\"=dword:00000001\n"), std::string::npos) << text;
            EXPECT_NE(text.find("\"c\"=\"3\"\n\"e\"=dword:00000005\n\"Written\""), std::string::npos) << text;
            EXPECT_EQ(fs::status(Dir / "dotfiles/HKCU.reg").permissions(), fs::perms(0644));
            // Nothing of ours, not even the lock, is left in the dotfiles.
            EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "dotfiles"), fs::directory_iterator()), 3);
          },
          {Ending::Success, Ending::Kill}};
}

TEST(PlatformCanaries, WhatOtherProgramsAndTheUserOwnStaysAsItWas) {
  vsktest::IsolatedEnvironment env;
  vsktest::CheckCanaryRows(
      {OthersLinesRow(), LinkedListRow(), UnreadableListRow(), EditedHiveReaderRow(), LinkedHiveRow()});
}

TEST(PlatformCanaries, ADanglingLinkIsNoFileToReplace) {
  vsktest::IsolatedEnvironment env;
  const fs::path list = MimeAppsListFile();
  const fs::path hive = HiveFileName(HKEY_CURRENT_USER);
  for (const fs::path& link : {list, hive}) {
    fs::create_directories(link.parent_path());
    fs::create_symlink("../dotfiles/gone", link);
  }
  EXPECT_THROW(RegisterDesktopHandler(ProgramFile(), "Brevane", "Brevane Archive", kTypes), EDesktopAssocError);
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\Software\\Brevane", true));
  for (const fs::path& link : {list, hive}) EXPECT_EQ(fs::read_symlink(link), "../dotfiles/gone");
  EXPECT_FALSE(fs::exists(env.root() / "home/dotfiles"));
  EXPECT_FALSE(fs::exists(env.root() / "dotfiles"));
}

}  // namespace
