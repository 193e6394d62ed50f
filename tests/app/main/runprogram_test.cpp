#include "app/main/runprogram.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "platform/registry.h"
#include "tests/support/testutil.h"

namespace {

using namespace brevane;
using vsktest::IsolatedEnvironment;
using vsktest::ReadFile;
using vsktest::WriteFile;
namespace fs = std::filesystem;

// A script that writes its folder and each argument on a line of its own.
fs::path ArgumentRecorder(const fs::path& dir, const fs::path& out) {
  const fs::path script = dir / "record.sh";
  WriteFile(script, "#!/bin/sh\npwd > '" + out.string() + "'\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                        out.string() + "'; done\nsleep 0.2\nexit 7\n");
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

TEST(RunProgram, ArgumentsArriveWholeInTheProgramsFolder) {
  IsolatedEnvironment env;
  const fs::path bin = env.root() / "bin folder";
  fs::create_directories(bin);
  const fs::path out = env.root() / "out.txt";
  const fs::path script = ArgumentRecorder(bin, out);
  std::vector<std::string> args;
  std::string expected = fs::canonical(bin).string() + "\n";
  for (int i = 0; i < 40; ++i) {
    args.push_back("/some/long/folder name/file \"" + std::to_string(i) + "\" it's.txt");
    expected += args.back() + "\n";
  }
  int pumped = 0;
  EXPECT_EQ(RunProgramAndWait(script.string(), args, kShowMinimized, [&] { ++pumped; }), 7);
  EXPECT_EQ(ReadFile(out), expected);  // far beyond 255 characters, nothing cut
  EXPECT_GT(pumped, 0);

  EXPECT_EQ(RunAndWait(script.string(), {"x"}, env.root().string(), {}), 7);
  EXPECT_FALSE(
      RunProgramAndWait((env.root() / "missing").string(), std::vector<std::string>{}, kShowNormal, {}).has_value());
  EXPECT_FALSE(RunAndWait("no-such-program-anywhere", {}, "", {}).has_value());
  EXPECT_EQ(RunAndWait("sh", {"-c", "kill -9 $$"}, "", {}), 128 + 9);
}

TEST(RunProgram, ParameterTexts) {
  EXPECT_EQ(SplitParameters(""), std::vector<std::string>{});
  EXPECT_EQ(SplitParameters("  /scan  -r "), (std::vector<std::string>{"/scan", "-r"}));
  EXPECT_EQ(SplitParameters(" \"/tmp/a b.txt\" \"/tmp/c.txt\""),
            (std::vector<std::string>{"/tmp/a b.txt", "/tmp/c.txt"}));
  EXPECT_EQ(SplitParameters("-x \"\" pre\"mid dle\"post"), (std::vector<std::string>{"-x", "", "premid dlepost"}));

  IsolatedEnvironment env;
  const fs::path out = env.root() / "out.txt";
  const fs::path script = ArgumentRecorder(env.root(), out);
  EXPECT_TRUE(RunProgramAndWait(script.string(), std::string("-a \"b c\""), kShowNormal, {}).has_value());
  EXPECT_EQ(ReadFile(out), fs::canonical(env.root()).string() + "\n-a\nb c\n");
}

TEST(RunProgram, ArgumentRuns) {
  using Runs = std::vector<std::vector<std::string>>;
  // Each two-letter item takes 2 + 1 + a pointer.
  const std::size_t two = 3 + sizeof(char*);
  EXPECT_EQ(SplitArgumentRuns({"ab", "cd", "ef", "gh", "i"}, 2 * two), (Runs{{"ab", "cd"}, {"ef", "gh"}, {"i"}}));
  EXPECT_EQ(SplitArgumentRuns({"ab", "cd"}, 2 * two - 1), (Runs{{"ab"}, {"cd"}}));
  EXPECT_EQ(SplitArgumentRuns({"ab", std::string(100, 'x'), "cd"}, 2 * two),
            (Runs{{"ab"}, {std::string(100, 'x')}, {"cd"}}));
  EXPECT_TRUE(SplitArgumentRuns({}, 100).empty());
  EXPECT_GE(ArgumentBudget(), 4096u);
  EXPECT_LT(ArgumentBudget(), static_cast<std::size_t>(sysconf(_SC_ARG_MAX)));
}

TEST(RunProgram, FindProgram) {
  IsolatedEnvironment env;
  const fs::path bin = env.root() / "bin";
  WriteFile(bin / "tool", "#!/bin/sh\n");
  WriteFile(bin / "notexec", "");
  fs::permissions(bin / "tool", fs::perms::owner_all);
  vsktest::ScopedEnv path("PATH", "/nonexistent:" + bin.string());
  EXPECT_EQ(FindProgram("tool"), (bin / "tool").string());
  EXPECT_EQ(FindProgram("notexec"), "");
  EXPECT_EQ(FindProgram("missing"), "");
  EXPECT_EQ(FindProgram((bin / "tool").string()), (bin / "tool").string());
  // An empty entry of PATH is no current folder: a program of that name
  // standing there is never the one found.
  const fs::path here = env.root() / "here";
  WriteFile(here / "xdg-email", "#!/bin/sh\n");
  fs::permissions(here / "xdg-email", fs::perms::owner_all);
  const fs::path before = fs::current_path();
  fs::current_path(here);
  for (const std::string& list : {":" + bin.string(), bin.string() + ":", bin.string() + "::/nonexistent"}) {
    vsktest::ScopedEnv withEmpty("PATH", list);
    EXPECT_EQ(FindProgram("xdg-email"), "") << list;
    EXPECT_EQ(FindProgram("tool"), (bin / "tool").string()) << list;
  }
  fs::current_path(before);
}

TEST(RunProgram, HasShellOpen) {
  IsolatedEnvironment env;
  {
    vsk::TRegistry reg(vsk::HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey("\\.zip", true));
    reg.WriteString("", "Brevane");
    ASSERT_TRUE(reg.OpenKey("\\Brevane\\Shell\\Open\\Command", true));
    reg.WriteString("", "\"/usr/bin/brevane\" \"%1\"");
    ASSERT_TRUE(reg.OpenKey("\\.bin", true));
    reg.WriteString("", "NoVerbs");
    ASSERT_TRUE(reg.OpenKey("\\NoVerbs", true));
    ASSERT_TRUE(reg.OpenKey("\\.num", true));
    reg.WriteInteger("", 1);
    ASSERT_TRUE(reg.OpenKey("\\.empty", true));
  }
  EXPECT_TRUE(HasShellOpen("/data/backup.ZIP"));
  EXPECT_FALSE(HasShellOpen("/data/file.bin"));
  EXPECT_FALSE(HasShellOpen("/data/file.num"));
  EXPECT_FALSE(HasShellOpen("/data/file.empty"));
  EXPECT_FALSE(HasShellOpen("/data/file.txt"));
  EXPECT_FALSE(HasShellOpen("/data.zip/noext"));
}

}  // namespace
