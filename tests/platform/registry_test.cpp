#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/testutil.h"

namespace {

using namespace vsk;
using vsktest::IsolatedEnvironment;
using vsktest::ReadFile;
using vsktest::ScopedEnv;
using vsktest::TempDir;
using vsktest::WriteFile;
namespace fs = std::filesystem;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ERegistryException& e) {
    return e.what();
  }
  return "(nothing raised)";
}

std::vector<std::string> CorruptFiles() {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(RegistryDirectory()))
    if (e.path().filename().string().find(".corrupt-") != std::string::npos) found.push_back(e.path().string());
  return found;
}

TEST(Registry, HiveLocation) {
  IsolatedEnvironment env;
  EXPECT_EQ(RegistryDirectory(), (env.root() / "registry").string());
  EXPECT_EQ(HiveFileName(HKEY_CURRENT_USER), (env.root() / "registry" / "HKCU.reg").string());
  EXPECT_EQ(HiveFileName(HKEY_CLASSES_ROOT), (env.root() / "registry" / "HKCR.reg").string());
  {
    ScopedEnv none("BREVANE_REGISTRY_DIR", "");
    EXPECT_EQ(RegistryDirectory(), (env.root() / "home/.config/brevane/registry").string());
  }
}

TEST(Registry, KeysOpenCreateExistAndDelete) {
  IsolatedEnvironment env;
  TRegistry reg;
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.KeyExists("\\Software\\Brevane"));
  EXPECT_FALSE(reg.OpenKey("\\Software\\Brevane", false));
  EXPECT_FALSE(reg.OpenKeyReadOnly("\\Software\\Brevane"));
  EXPECT_FALSE(reg.KeyExists("\\Software"));  // nothing was created by looking

  ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Brevane");
  // Relative paths are below the open key.
  ASSERT_TRUE(reg.OpenKey("View", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Brevane\\View");
  reg.CloseKey();
  EXPECT_FALSE(reg.HasCurrentKey());

  EXPECT_TRUE(reg.CreateKey("\\Software\\Brevane\\Favourites"));
  EXPECT_TRUE(reg.CreateKey("\\Software\\Brevane\\Favourites"));  // existing: still true
  EXPECT_TRUE(reg.KeyExists("\\software\\BREVANE\\view"));        // case-insensitive

  ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane", false));
  EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"View", "Favourites"}));
  EXPECT_TRUE(reg.KeyExists("View"));  // relative to the open key
  reg.CloseKey();

  // Deleting is recursive; a missing key is a silent no-op.
  TRegistry other;
  EXPECT_TRUE(other.DeleteKey("\\Software\\Brevane"));
  EXPECT_FALSE(other.KeyExists("\\Software\\Brevane\\View"));
  EXPECT_TRUE(other.KeyExists("\\Software"));
  EXPECT_FALSE(other.DeleteKey("\\Software\\Brevane"));
  EXPECT_FALSE(other.DeleteKey("\\"));  // the root itself stays
}

TEST(Registry, ValuesTypesOrderAndCase) {
  IsolatedEnvironment env;
  {
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
    reg.WriteString("Zeta", "last");
    reg.WriteInteger("Alpha", 10);
    reg.WriteBool("Flag", true);
    reg.WriteString("", "default");
    reg.WriteInteger("Min", INT_MIN);
    reg.WriteInteger("Max", INT_MAX);
    reg.WriteInteger("Minus", -1);
    reg.WriteString("alpha", "now a string");  // overwrite keeps place and the first case
    // Its own writes are visible before the key is closed.
    EXPECT_EQ(reg.ReadString("ALPHA"), "now a string");
    reg.CloseKey();
  }
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\test"));
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Zeta", "Alpha", "Flag", "", "Min", "Max", "Minus"}));
  EXPECT_EQ(reg.ReadString("zeta"), "last");
  EXPECT_EQ(reg.ReadString("Alpha"), "now a string");
  EXPECT_EQ(reg.GetDataType("Alpha"), rdString);
  EXPECT_EQ(reg.GetDataType("Flag"), rdInteger);
  EXPECT_EQ(reg.GetDataType("Nothing"), rdUnknown);
  EXPECT_TRUE(reg.ReadBool("Flag"));
  EXPECT_EQ(reg.ReadString(""), "default");
  EXPECT_EQ(reg.ReadInteger("Min"), INT_MIN);
  EXPECT_EQ(reg.ReadInteger("Max"), INT_MAX);
  EXPECT_EQ(reg.ReadInteger("Minus"), -1);
  EXPECT_TRUE(reg.ReadBool("Minus"));  // any non-zero value is true
  EXPECT_TRUE(reg.ValueExists("MINUS"));
  EXPECT_FALSE(reg.ValueExists("Missing"));
  EXPECT_EQ(reg.ReadString("Missing"), "");

  // Writes through a read-only key fail; deletion does nothing.
  EXPECT_EQ(ErrorOf([&] { reg.WriteString("X", "y"); }), "Failed to set data for 'X'");
  EXPECT_FALSE(reg.DeleteValue("Zeta"));

  ASSERT_TRUE(reg.OpenKey("\\Software\\Test", false));
  EXPECT_TRUE(reg.DeleteValue("ZETA"));
  EXPECT_FALSE(reg.DeleteValue("Zeta"));
  reg.WriteString("Zeta", "appended");
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Test"));
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Alpha", "Flag", "", "Min", "Max", "Minus", "Zeta"}));
}

TEST(Registry, PlatformErrorTexts) {
  IsolatedEnvironment env;
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\View", true));
  reg.WriteString("Text", "abc");
  reg.WriteInteger("Number", 3);
  EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("ColDate"); }), "Failed to get data for 'ColDate'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadBool("ColDate"); }), "Failed to get data for 'ColDate'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadBool("Text"); }), "Invalid data type for 'Text'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadString("Number"); }), "Invalid data type for 'Number'");
  reg.CloseKey();
  // Without an open key nothing can be written.
  EXPECT_EQ(ErrorOf([&] { reg.WriteInteger("Number", 1); }), "Failed to set data for 'Number'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("Number"); }), "Failed to get data for 'Number'");
  EXPECT_EQ(reg.ReadString("Text"), "");
  // A write to a key that was deleted meanwhile fails too.
  ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\View", false));
  TRegistry other;
  ASSERT_TRUE(other.DeleteKey("\\Software\\Brevane\\View"));
  EXPECT_EQ(ErrorOf([&] { reg.WriteString("Late", "x"); }), "Failed to set data for 'Late'");
}

TEST(Registry, HiveFileFormat) {
  IsolatedEnvironment env;
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane", true));
    reg.WriteString("AppLocation", "/opt/brevane");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\View", true));
    reg.WriteBool("ColDate", true);
    reg.WriteInteger("MouseSelection", 10);
    reg.WriteString("", "it's \"quoted\"");
    reg.CloseKey();
    reg.CreateKey("\\Software\\Brevane\\Favourites");
  }
  EXPECT_EQ(ReadFile(HiveFileName(HKEY_CURRENT_USER)),
            "; Brevane registry hive HKEY_CURRENT_USER\n"
            "\n[Software]\n"
            "\n[Software\\Brevane]\n"
            "\"AppLocation\"=\"/opt/brevane\"\n"
            "\n[Software\\Brevane\\View]\n"
            "\"ColDate\"=dword:00000001\n"
            "\"MouseSelection\"=dword:0000000a\n"
            "@=\"it's \\\"quoted\\\"\"\n"
            "\n[Software\\Brevane\\Favourites]\n");
  EXPECT_FALSE(fs::exists(HiveFileName(HKEY_CLASSES_ROOT)));

  // A hand-written file with comments, CRLF line ends and short numbers reads.
  WriteFile(HiveFileName(HKEY_CLASSES_ROOT),
            "; written by hand\r\n[.zip]\r\n@=\"Brevane\"\r\n\r\n[Brevane\\Shell\\Open]\r\n\"N\"=dword:ff\r\n");
  TRegistry reg(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\.ZIP"));
  EXPECT_EQ(reg.ReadString(""), "Brevane");
  EXPECT_TRUE(reg.KeyExists("\\Brevane\\Shell"));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Brevane\\Shell\\Open"));
  EXPECT_EQ(reg.ReadInteger("N"), 255);
}

TEST(Registry, AwkwardNamesSurvive) {
  IsolatedEnvironment env;
  const std::string name = "back\\slash \"quote\"\nnew line\r\ttab %25 \x01 [x] = @";
  const std::string data = "C:\\Program Files\\\"x\"\n\nend\\";
  const std::string keyName = "key \"with\" %quotes%\nand ]brackets[ \x7f";
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\" + keyName, true));
    reg.WriteString(name, data);
    reg.WriteString("@", "at sign is not the default");
    reg.WriteString("", "");
  }
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\" + keyName));
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{name, "@", ""}));
  EXPECT_EQ(reg.ReadString(name), data);
  EXPECT_EQ(reg.ReadString("@"), "at sign is not the default");
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software"));
  EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{keyName});
  EXPECT_TRUE(CorruptFiles().empty());
  // Every record stays on its own line.
  const std::string text = ReadFile(HiveFileName(HKEY_CURRENT_USER));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
}

TEST(Registry, CaseInsensitiveBeyondAscii) {
  IsolatedEnvironment env;
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Größe", true));
  reg.WriteString("Ärger", "1");
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\GRÖßE"));
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\GRÖßE");
  EXPECT_EQ(reg.ReadString("ärger"), "1");
  EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"Ärger"});
}

TEST(Registry, HandEditedLinesAreReadAroundAndKept) {
  IsolatedEnvironment env;
  const std::string file = HiveFileName(HKEY_CURRENT_USER);
  // Blanks around lines and "=", a value before any key, a bad escape, a
  // key line naming no key with a value under it, a CRLF line.
  const std::string unread[] = {"\"Orphan\"=\"value before any key\"", "\"Bad escape\"=\"\\q\"",
                                "\"Broken\"=dword:xyz", "[Bad%zzName]", "\"Under bad\"=\"x\""};
  const std::string edited = "; Brevane registry hive HKEY_CURRENT_USER\n" + unread[0] +
                             "\n\n[Software\\Brevane]\n  \"c\"=\"3\"  \n\"a\" = \"1\"\r\n" + unread[1] + "\n" +
                             unread[2] + "\n" + unread[3] + "\n" + unread[4] + "\n\t[Software\\Other] \n" +
                             "\"b\"=dword:00000002\n";
  WriteFile(file, edited);
  const auto readsAll = [&] {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane"));
    EXPECT_EQ(reg.ReadString("c"), "3");
    EXPECT_EQ(reg.ReadString("a"), "1");
    EXPECT_EQ(reg.GetValueNames().size(), 2u + reg.ValueExists("New"));
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Other"));
    EXPECT_EQ(reg.ReadInteger("b"), 2);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software"));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"Brevane", "Other"}));
  };
  // A reader (as Hovelin in a file manager) changes nothing.
  readsAll();
  EXPECT_EQ(ReadFile(file), edited);
  EXPECT_TRUE(CorruptFiles().empty());
  EXPECT_TRUE(TakeDamagedHives().empty());
  // A writer keeps every setting and every line it could not read.
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane", true));
    reg.WriteString("New", "n");
  }
  readsAll();
  const std::string written = ReadFile(file);
  for (const std::string& line : unread) EXPECT_NE(written.find("\n" + line + "\n"), std::string::npos) << line;
  EXPECT_TRUE(CorruptFiles().empty());
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane", true));
    reg.WriteString("New", "again");
  }
  EXPECT_EQ(ReadFile(file).size(), written.size() + 4);  // nothing kept twice
}

TEST(Registry, FileHoldingNoHiveIsMovedAsideOnlyByAWriter) {
  IsolatedEnvironment env;
  const std::string file = HiveFileName(HKEY_CURRENT_USER);
  for (const std::string& bad : {std::string("no key line\n"), std::string(4096, '\0')}) {
    WriteFile(file, bad);
    {
      TRegistry reader;
      EXPECT_FALSE(reader.KeyExists("\\Software"));
    }
    EXPECT_EQ(ReadFile(file), bad);
    EXPECT_TRUE(CorruptFiles().empty());
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey("\\Software", true));
    writer.WriteInteger("After", 1);
    writer.CloseKey();
    const auto moved = CorruptFiles();
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(ReadFile(moved[0]), bad);
    EXPECT_EQ(TakeDamagedHives(), moved);
    fs::remove(moved[0]);
    ASSERT_TRUE(writer.OpenKeyReadOnly("\\Software"));
    EXPECT_EQ(writer.ReadInteger("After"), 1);
  }
}

TEST(Registry, WriterSweepsScratchFilesOfKilledWriters) {
  IsolatedEnvironment env;
  const fs::path dir = RegistryDirectory();
  fs::create_directories(dir);
  const std::string file = HiveFileName(HKEY_CURRENT_USER);
  WriteFile(file + ".tmp-a1B2c3", "left by a writer killed before its rename");
  WriteFile(file + ".tmp-long-name", "not a scratch name of ours");
  WriteFile(dir / "HKCR.reg.tmp-zzzzzz", "another hive's");
  TRegistry reg;
  EXPECT_TRUE(reg.OpenKey("\\Software", true));  // a reader's look sweeps nothing
  EXPECT_TRUE(fs::exists(file + ".tmp-a1B2c3"));
  reg.WriteString("x", "y");
  reg.CloseKey();
  EXPECT_FALSE(fs::exists(file + ".tmp-a1B2c3"));
  EXPECT_TRUE(fs::exists(file + ".tmp-long-name"));
  EXPECT_TRUE(fs::exists(dir / "HKCR.reg.tmp-zzzzzz"));
}

TEST(Registry, ReadOnlyStore) {
  IsolatedEnvironment env;
  TempDir scratch;
  WriteFile(scratch / "file", "x");
  // A registry folder that cannot be created.
  ScopedEnv dir("BREVANE_REGISTRY_DIR", (scratch / "file" / "registry").string());
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\Software\\Brevane", true));
  EXPECT_FALSE(reg.KeyExists("\\Software"));
  EXPECT_EQ(ErrorOf([&] { reg.CreateKey("\\Software\\Brevane"); }), "Failed to create key \\Software\\Brevane");
  EXPECT_FALSE(reg.DeleteKey("\\Software"));
  EXPECT_EQ(ErrorOf([&] { reg.WriteString("V", "x"); }), "Failed to set data for 'V'");
}

TEST(Registry, ReadOnlyHiveKeepsItsContents) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  IsolatedEnvironment env;
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\View", true));
    reg.WriteBool("ColDate", true);
  }
  const std::string file = HiveFileName(HKEY_CURRENT_USER);
  const std::string before = ReadFile(file);
  fs::permissions(RegistryDirectory(), fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(file, fs::perms::owner_read);
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\Software\\Brevane\\View", false));  // no write access
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane\\View"));
  EXPECT_TRUE(reg.ReadBool("ColDate"));
  EXPECT_FALSE(reg.DeleteKey("\\Software\\Brevane"));
  fs::permissions(RegistryDirectory(), fs::perms::owner_all);
  EXPECT_EQ(ReadFile(file), before);
}

TEST(Registry, ChangesAreSharedBetweenObjects) {
  IsolatedEnvironment env;
  TRegistry a, b;
  ASSERT_TRUE(a.OpenKey("\\Software\\Shared", true));
  a.WriteString("One", "1");
  a.CloseKey();
  ASSERT_TRUE(b.OpenKey("\\Software\\Shared", false));
  EXPECT_EQ(b.ReadString("One"), "1");
  // b sees a's later writes while its key stays open.
  ASSERT_TRUE(a.OpenKey("\\Software\\Shared", false));
  a.WriteString("Two", "2");
  a.CloseKey();
  EXPECT_EQ(b.ReadString("Two"), "2");
  // Pending changes of b are replayed on top of a's newer file.
  b.WriteString("Three", "3");
  ASSERT_TRUE(a.OpenKey("\\Software\\Shared", false));
  a.WriteString("Four", "4");
  a.CloseKey();
  EXPECT_EQ(b.ReadString("Four"), "4");
  EXPECT_EQ(b.ReadString("Three"), "3");
  b.CloseKey();
  ASSERT_TRUE(a.OpenKeyReadOnly("\\Software\\Shared"));
  EXPECT_EQ(a.GetValueNames(), (std::vector<std::string>{"One", "Two", "Four", "Three"}));

  // Root keys are separate hives.
  TRegistry cr(HKEY_CLASSES_ROOT);
  EXPECT_FALSE(cr.KeyExists("\\Software\\Shared"));
  ASSERT_TRUE(cr.OpenKey("\\.zip", true));
  cr.WriteString("", "Brevane");
  cr.SetRootKey(HKEY_CURRENT_USER);
  EXPECT_FALSE(cr.HasCurrentKey());
  EXPECT_TRUE(cr.KeyExists("\\Software\\Shared"));
  EXPECT_FALSE(cr.KeyExists("\\.zip"));
  cr.SetRootKey(HKEY_CLASSES_ROOT);
  EXPECT_TRUE(cr.KeyExists("\\.zip"));
}

// Runs `body` in a child process; returns its exit status.
pid_t Spawn(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = 1;
    try {
      rc = body();
    } catch (...) {
      rc = 2;
    }
    _exit(rc);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A hive that is no file of ours (a FIFO, a device, a file past 64 MiB)
// is never read: it reads as empty, writes are refused, nothing waits, and
// it is left where it is.
TEST(Registry, HiveThatIsNoRegularFileOrTooLargeIsRefused) {
  IsolatedEnvironment env;
  const std::string file = HiveFileName(HKEY_CURRENT_USER);
  fs::create_directories(RegistryDirectory());
  auto refused = [](const char* what) {
    // In a child under an alarm: a read that blocks fails instead of hanging.
    const pid_t pid = Spawn([] {
      alarm(30);
      TRegistry reg;
      if (reg.KeyExists("\\Software")) return 3;
      if (reg.OpenKey("\\Software\\Brevane", true)) return 4;
      if (ErrorOf([&] { reg.CreateKey("\\Software\\Brevane"); }) != "Failed to create key \\Software\\Brevane")
        return 5;
      return 0;
    });
    EXPECT_EQ(Wait(pid), 0) << what;
  };
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  refused("FIFO");
  EXPECT_TRUE(fs::is_fifo(file));
  fs::remove(file);

  fs::create_symlink("/dev/zero", file);
  refused("device");
  fs::remove(file);

  WriteFile(file, "[Software]\n");
  fs::resize_file(file, (std::uintmax_t{64} << 20) + 1);
  refused("oversized");
  EXPECT_EQ(fs::file_size(file), (std::uintmax_t{64} << 20) + 1);
  EXPECT_TRUE(CorruptFiles().empty());
}

TEST(Registry, TwoWritingProcessesLoseNothing) {
  IsolatedEnvironment env;
  constexpr int kWrites = 150;
  auto writer = [](const std::string& prefix) {
    return [prefix] {
      for (int i = 0; i < kWrites; ++i) {
        TRegistry reg;
        if (!reg.OpenKey("\\Software\\Race", true)) return 3;
        reg.WriteInteger(prefix + std::to_string(i), i);
        if (i % 10 == 0) reg.WriteString("Last" + prefix, std::to_string(i));
        reg.CloseKey();
      }
      return 0;
    };
  };
  const pid_t a = Spawn(writer("A"));
  const pid_t b = Spawn(writer("B"));
  ASSERT_EQ(Wait(a), 0);
  ASSERT_EQ(Wait(b), 0);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Race"));
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(reg.ReadInteger("A" + std::to_string(i)), i);
    EXPECT_EQ(reg.ReadInteger("B" + std::to_string(i)), i);
  }
  EXPECT_EQ(reg.ReadString("LastA"), "140");
  EXPECT_EQ(reg.GetValueNames().size(), 2u * kWrites + 2);
  EXPECT_TRUE(CorruptFiles().empty());
}

TEST(Registry, ReaderBesideWriterAlwaysParses) {
  IsolatedEnvironment env;
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brevane\\ShellExtensions", true));
    reg.WriteInteger("MaxFilesInfo", 10);
  }
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  const pid_t writer = Spawn([&] {
    close(pipefd[0]);
    for (int i = 0; i < 300; ++i) {
      TRegistry reg;
      if (!reg.OpenKey("\\Software\\Brevane\\ShellExtensions", true)) return 3;
      reg.WriteInteger("MaxFilesInfo", i);
      reg.WriteString("Text" + std::to_string(i % 7), std::string(static_cast<std::size_t>(i * 13), 'x') + "\"\\\n");
      reg.CloseKey();
    }
    close(pipefd[1]);
    return 0;
  });
  close(pipefd[1]);
  int reads = 0;
  bool failed = false;
  // Read until the writer closes its end of the pipe.
  while (!failed) {
    TRegistry reg;
    if (!reg.OpenKeyReadOnly("\\Software\\Brevane\\ShellExtensions")) {
      failed = true;
      break;
    }
    try {
      const int n = reg.ReadInteger("MaxFilesInfo");
      failed = n < 0 || n >= 300;
    } catch (const ERegistryException&) {
      failed = true;
    }
    ++reads;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(pipefd[0], &set);
    timeval none{0, 0};
    char c;
    if (select(pipefd[0] + 1, &set, nullptr, nullptr, &none) > 0 && read(pipefd[0], &c, 1) == 0) break;
  }
  close(pipefd[0]);
  EXPECT_EQ(Wait(writer), 0);
  EXPECT_FALSE(failed) << "after " << reads << " reads";
  EXPECT_TRUE(CorruptFiles().empty());
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brevane\\ShellExtensions"));
  EXPECT_EQ(reg.ReadInteger("MaxFilesInfo"), 299);
}

}  // namespace
