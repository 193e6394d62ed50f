#include "app/main/mail.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/testutil.h"

namespace {

using brevane::SendMailMAPI;
using vsktest::IsolatedEnvironment;
using vsktest::ReadFile;
using vsktest::ScopedEnv;
using vsktest::WriteFile;
namespace fs = std::filesystem;

// Puts a fake xdg-email on PATH that records its arguments and exits with `code`.
fs::path FakeMailTool(const fs::path& dir, int code) {
  const fs::path out = dir / "args.txt";
  WriteFile(dir / "xdg-email", "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\" >> '" + out.string() +
                                   "'; done\nexit " + std::to_string(code) + "\n");
  fs::permissions(dir / "xdg-email", fs::perms::owner_all);
  return out;
}

TEST(Mail, HandsTheMessageToXdgEmail) {
  IsolatedEnvironment env;
  const fs::path bin = env.root() / "bin";
  fs::create_directories(bin);
  const fs::path out = FakeMailTool(bin, 0);
  ScopedEnv path("PATH", bin.string());
  EXPECT_EQ(SendMailMAPI("Attached: my archive.zip", "", "/tmp/x y/my archive.zip", "", "", "", ""), 0);
  EXPECT_EQ(ReadFile(out),
            "[--utf8]\n[--subject]\n[Attached: my archive.zip]\n[--attach]\n[/tmp/x y/my archive.zip]\n");

  fs::remove(out);
  EXPECT_EQ(SendMailMAPI("S", "Body text", "", "Me", "me@example.org", "You", "you@example.org"), 0);
  EXPECT_EQ(ReadFile(out), "[--utf8]\n[--subject]\n[S]\n[--body]\n[Body text]\n[you@example.org]\n");
}

TEST(Mail, MissingMailSystemIsMinusOne) {
  IsolatedEnvironment env;
  const fs::path empty = env.root() / "empty";
  fs::create_directories(empty);
  {
    ScopedEnv path("PATH", empty.string());
    EXPECT_EQ(SendMailMAPI("s", "", "/tmp/a.zip", "", "", "", ""), -1);
  }
  // xdg-email present, but no mail program behind it.
  const fs::path bin = env.root() / "bin";
  fs::create_directories(bin);
  FakeMailTool(bin, 3);
  ScopedEnv path("PATH", bin.string());
  EXPECT_EQ(SendMailMAPI("s", "", "/tmp/a.zip", "", "", "", ""), -1);
  FakeMailTool(bin, 5);
  EXPECT_EQ(SendMailMAPI("s", "", "/tmp/a.zip", "", "", "", ""), 5);
}

}  // namespace
