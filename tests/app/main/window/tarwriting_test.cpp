// Tar and gzip-compressed tar archives made and changed from the window and
// the command line, checked by GNU tar.

#include <QFileDialog>

#include "app/main/messages.h"
#include "app/main/settings.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using TarWriting = WindowTest;

std::string Listing(const std::string& Command) {
  const auto r = vsktest::RunTool(Command);
  EXPECT_EQ(r.exitCode, 0) << Command << "\n" << r.output;
  return r.output;
}

TEST_F(TarWriting, CommandLineMakesTarsAndGzippedTars) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  fs::create_directories(dir.path() / "in/sub");
  vsktest::WriteFile(dir.path() / "in/one.txt", vsktest::TextBytes(20000, 1));
  vsktest::WriteFile(dir.path() / "in/sub/two.txt", "two");
  const std::string inputs = (dir.path() / "in").string() + "/*.*";

  const std::string tar = (dir.path() / "made.tar").string();
  ui.ExpectMessage("Files Compressed: 2", mtInformation);
  EXPECT_FALSE(Start({"-G", tar, inputs}));
  EXPECT_EQ(Listing("tar tf " + vsktest::ShellQuote(tar)), "one.txt\nsub/two.txt\n");
  EndProgram();

  // A ".gz" name makes a gzip-compressed tar beside it.
  const std::string gz = (dir.path() / "packed.gz").string();
  ui.ExpectMessage("Files Compressed: 2", mtInformation);
  EXPECT_FALSE(Start({"-G", gz, inputs}));
  const std::string tgz = (dir.path() / "packed.tar.gz").string();
  ASSERT_TRUE(fs::exists(tgz));
  // The tar itself stays beside it.
  EXPECT_TRUE(fs::exists(dir.path() / "packed.tar"));
  EXPECT_EQ(Listing("tar tzf " + vsktest::ShellQuote(tgz)), "one.txt\nsub/two.txt\n");
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  Listing("tar xzf " + vsktest::ShellQuote(tgz) + " -C " + vsktest::ShellQuote(out.string()));
  EXPECT_TRUE(vsktest::ReadFile(out / "one.txt") == vsktest::TextBytes(20000, 1));
}

TEST_F(TarWriting, AnOpenTarIsChangedAsATar) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string tar = Pack("old.tar", {{"a.txt", "alpha"}, {"b.txt", "bravo"}}, "tar cf {out} a.txt b.txt");
  fs::create_directories(dir.path() / "more");
  vsktest::WriteFile(dir.path() / "more/c.txt", "charlie");
  vsktest::WriteFile(dir.path() / "more/first.txt", "first");
  // A gzip-compressed tar made first in the same session: the open plain
  // tar is still changed as a plain tar afterwards.
  ASSERT_TRUE(Start({}));
  EXPECT_EQ(main->CmdAdd({(dir.path() / "first.gz").string(), {(dir.path() / "more/first.txt").string()}, 0,
                         vsk::sdExplorer_Auto, vsk::swAdd, true, false}).Added,
            1);
  ASSERT_TRUE(fs::exists(dir.path() / "first.tar.gz"));
  main->DisplayArchive(tar);
  ASSERT_EQ(Model().RowCount(), 2);

  // Deleting one member through the window.
  main->dfelvArchiveView->selectionModel()->select(Model().index(0, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  ui.ExpectMessage("Are you sure you want to\rDELETE the selected file ?", mtConfirmation, mrYes);
  ui.ExpectMessage("1 file successfully deleted.", mtInformation);
  main->acDeleteExecute();
  EXPECT_EQ(Listing("tar tf " + vsktest::ShellQuote(tar)), "b.txt\n");
  EXPECT_FALSE(fs::exists(dir.path() / "old.tar.gz"));

  // Adding keeps its members.
  EXPECT_EQ(main->CmdAdd({tar, {(dir.path() / "more/c.txt").string()},
                          0, vsk::sdExplorer_Auto, vsk::swAdd, true, false}).Added, 1);
  EXPECT_EQ(Listing("tar tf " + vsktest::ShellQuote(tar)), "b.txt\nc.txt\n");
  EXPECT_EQ(Listing("tar xOf " + vsktest::ShellQuote(tar) + " b.txt"), "bravo");
  EXPECT_EQ(Model().RowCount(), 2);
}

}  // namespace
}  // namespace brevane::testing
