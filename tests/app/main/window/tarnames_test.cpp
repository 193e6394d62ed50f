// The questions about the names a tar.gz run writes beside its ".gz":
// convert to "GZipTar" and adding to an existing tar.gz ask about a file
// at the tar's name; No leaves it and makes nothing, Yes sends it to the
// Trash.

#include <QComboBox>
#include <QLineEdit>
#include <cstdlib>
#include <set>

#include "app/dialogs/tooldialogs.h"
#include "app/main/messages.h"
#include "tests/app/main/window/windowtest.h"
#include "tests/support/canary.h"

namespace brevane::testing {
namespace {

using TarNames = WindowTest;
using vsktest::Ending;

std::set<std::string> Names(const fs::path& Dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(Dir)) names.insert(e.path().filename().string());
  return names;
}

bool InTrash(const std::string& Bytes) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(std::getenv("XDG_DATA_HOME")) / "Trash/files", ec))
    if (e.is_regular_file() && vsktest::ReadFile(e.path()) == Bytes) return true;
  return false;
}

std::string Asked(const fs::path& File, const char* Question) {
  return File.string() + "\r\r" + msgtext::kFileAlreadyExist + Question;
}

std::string Listed(const fs::path& Tgz) { return vsktest::RunTool("tar tzf " + vsktest::ShellQuote(Tgz.string())).output; }

TEST_F(TarNames, ConvertToGZipTarAsksAboutTheTarBesideIt) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("tar"));
  ASSERT_TRUE(Start({}));
  vsktest::CanaryRow row;
  row.name = "convert to GZipTar beside a.tar";
  row.endings = {Ending::Success, Ending::Cancel};
  row.setup = [](const fs::path& Dir, vsktest::Canaries& C) {
    vsktest::WriteFile(Dir / "in/x.txt", "x");
    ASSERT_EQ(vsktest::RunTool("zip -q -X ../a.zip x.txt", Dir / "in").exitCode, 0);
    C.Plant(Dir / "a.tar");
  };
  row.run = [&](const fs::path& Dir, Ending E, vsktest::Canaries& C) {
    const fs::path tar = Dir / "a.tar";
    const std::string old = vsktest::ReadFile(tar);
    const bool yes = E == Ending::Success;
    ui.ExpectModal([&](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
      d.rxfedInput->setText(QString::fromStdString((Dir / "a.zip").string()));
      d.cbFormat->setCurrentIndex(kConvertGZipTar);
      d.rxfedOutput->setText(QString::fromStdString((Dir / "a.tar.gz").string()));
      d.buConvertClick();
      return d.result();
    });
    ui.ExpectMessage(Asked(tar, msgtext::kTarNameToTrash), mtConfirmation, yes ? mrYes : mrNo);
    ui.ExpectMessage(yes ? msgtext::kConvDone : msgtext::kConvAborted, mtInformation);
    main->CmdConvert("");
    EXPECT_TRUE(ui.Steps.empty());
    if (!yes) {
      EXPECT_EQ(Names(Dir), (std::set<std::string>{"a.tar", "a.zip", "in"}));
      return;
    }
    C.Agree(tar);
    EXPECT_TRUE(InTrash(old));
    EXPECT_EQ(Listed(Dir / "a.tar.gz"), "x.txt\n");
  };
  vsktest::CheckCanaryRow(row);
}

TEST_F(TarNames, AddingToATarGzAsksAboutItAndTheTarBesideIt) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  vsktest::CanaryRow row;
  row.name = "add to old2.tar.gz beside old2.tar";
  row.endings = {Ending::Success, Ending::Cancel};
  row.setup = [](const fs::path& Dir, vsktest::Canaries& C) {
    vsktest::WriteFile(Dir / "in/n.txt", "new");
    vsktest::WriteFile(Dir / "src/o.txt", "old");
    ASSERT_EQ(vsktest::RunTool("tar czf ../old2.tar.gz o.txt", Dir / "src").exitCode, 0);
    C.Watch(Dir / "old2.tar.gz");
    C.Plant(Dir / "old2.tar");
  };
  row.run = [&](const fs::path& Dir, Ending E, vsktest::Canaries& C) {
    const fs::path gz = Dir / "old2.tar.gz", tar = Dir / "old2.tar";
    const std::string old = vsktest::ReadFile(tar);
    const bool yes = E == Ending::Success;
    ui.ExpectMessage(Asked(gz, msgtext::kAddToThisArchive), mtConfirmation, mrYes);
    ui.ExpectMessage(Asked(tar, msgtext::kTarNameToTrash), mtConfirmation, yes ? mrYes : mrNo);
    if (yes) ui.ExpectMessage("Files Compressed: 1", mtInformation);
    EXPECT_FALSE(Start({"-G", gz.string(), (Dir / "in/n.txt").string()}));
    EXPECT_TRUE(ui.Steps.empty());
    EXPECT_EQ(main->ExitCode(), yes ? 0 : TfmMain::kExitFailed);
    EndProgram();
    if (!yes) {
      EXPECT_EQ(Names(Dir), (std::set<std::string>{"in", "old2.tar", "old2.tar.gz", "src"}));
      return;
    }
    C.Agree(gz);
    C.Agree(tar);
    EXPECT_TRUE(InTrash(old));
    EXPECT_EQ(Listed(gz), "o.txt\nn.txt\n");
  };
  vsktest::CheckCanaryRow(row);
}

}  // namespace
}  // namespace brevane::testing
