#include "platform/desktopassoc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/dynlib.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsk;
using vsktest::IsolatedEnvironment;
using vsktest::ReadFile;
using vsktest::WriteFile;
namespace fs = std::filesystem;

TEST(DesktopAssoc, ExecArgumentQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(DesktopExecArgument("/usr/bin/brevane"), "/usr/bin/brevane");
  EXPECT_EQ(DesktopExecArgument("/opt/my apps/brevane"), "\"/opt/my apps/brevane\"");
  EXPECT_EQ(DesktopExecArgument("/opt/100%/brevane"), "/opt/100%%/brevane");
  // Inside quotes "\" and "$" are escaped, and the value escapes double
  // every backslash again.
  EXPECT_EQ(DesktopExecArgument("/a b/$x\\y"), "\"/a b/\\\\$x\\\\\\\\y\"");
  EXPECT_EQ(MimeTypesOfExtensions({".zip", ".ZIP", ".tgz", ".bh"}),
            (std::vector<std::string>{"application/zip", "application/x-compressed-tar"}));
}

TEST(DesktopAssoc, DefaultsTakenOverAndGivenBackLeavingOtherLines) {
  IsolatedEnvironment env;
  const std::string list = MimeAppsListFile();
  EXPECT_EQ(list, (env.root() / "home/.config/mimeapps.list").string());
  // The same file around its lines for the types at hand.
  const auto listWith = [](const std::string& Defaults) {
    return "# kept as it is\n"
           "[Added Associations]\n"
           "application/zip=viewer.desktop;\n"
           "\n"
           "[Default Applications]\n"
           "text/plain=editor.desktop\n" +
           Defaults +
           "\n"
           "[Removed Associations]\n"
           "image/png=paint.desktop;\n";
  };
  WriteFile(list, listWith("application/zip = other.desktop;spare.desktop\n"));
  const std::string program = ProgramFile();
  const std::vector<std::string> types{"application/zip", "application/gzip"};
  EXPECT_FALSE(IsDesktopHandler(program, types));

  RegisterDesktopHandler(program, "Brevane", "Brevane Archive", types);
  EXPECT_EQ(ReadFile(list), listWith("application/zip = brevane.desktop;other.desktop;spare.desktop\n"
                                     "application/gzip=brevane.desktop;\n"));
  const std::string entry = ReadFile(DesktopApplicationsDir() + "/brevane.desktop");
  EXPECT_NE(entry.find("\nExec=" + program + " %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nMimeType=application/zip;application/gzip;\n"), std::string::npos) << entry;
  EXPECT_TRUE(IsDesktopHandler(program, types));
  EXPECT_FALSE(IsDesktopHandler(program + "-other", types));
  EXPECT_FALSE(IsDesktopHandler(program, {"application/zip", "application/x-tar"}));
  EXPECT_EQ(vsktest::XdgMimeDefault("application/zip"), "brevane.desktop");
  EXPECT_EQ(vsktest::XdgMimeDefault("application/gzip"), "brevane.desktop");
  // Registering again changes nothing.
  const std::string registered = ReadFile(list);
  RegisterDesktopHandler(program, "Brevane", "Brevane Archive", types);
  EXPECT_EQ(ReadFile(list), registered);

  // Taking one type back keeps the entry for the other.
  UnregisterDesktopHandler({"application/gzip"});
  EXPECT_NE(ReadFile(DesktopApplicationsDir() + "/brevane.desktop").find("\nMimeType=application/zip;\n"),
            std::string::npos);
  UnregisterDesktopHandler(types);
  EXPECT_EQ(ReadFile(list), listWith("application/zip = other.desktop;spare.desktop\n"));
  EXPECT_FALSE(fs::exists(DesktopApplicationsDir() + "/brevane.desktop"));
  EXPECT_FALSE(IsDesktopHandler(program, types));
  EXPECT_NE(vsktest::XdgMimeDefault("application/gzip"), "brevane.desktop");
}

TEST(DesktopAssoc, NewListAndOneThatCannotBeReplaced) {
  IsolatedEnvironment env;
  const std::string program = ProgramFile();
  RegisterDesktopHandler(program, "Brevane", "Brevane Archive", {"application/zip"});
  EXPECT_EQ(ReadFile(MimeAppsListFile()), "[Default Applications]\napplication/zip=brevane.desktop;\n");
  UnregisterDesktopHandler({"application/zip"});
  EXPECT_EQ(ReadFile(MimeAppsListFile()), "[Default Applications]\n");

  // A list that cannot be replaced is an error, and stays as it was.
  fs::remove(MimeAppsListFile());
  fs::create_directory(MimeAppsListFile());
  EXPECT_THROW(RegisterDesktopHandler(program, "Brevane", "Brevane Archive", {"application/zip"}), EDesktopAssocError);
  EXPECT_TRUE(fs::is_directory(MimeAppsListFile()));
}

}  // namespace
