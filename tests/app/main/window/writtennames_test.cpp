// The program writes only the names the user agreed to, and each command's
// message and exit status say what happened on the disk.

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <sys/stat.h>

#include "app/dialogs/tooldialogs.h"
#include "app/main/messages.h"
#include "app/main/program.h"
#include "tests/app/main/window/windowtest.h"
#include "tests/support/canary.h"

namespace brevane::testing {
namespace {

using WrittenNames = WindowTest;

std::function<int(QDialog&)> SaveAs(const std::string& Path) {
  return [Path](QDialog& Dialog) {
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(Path));
    return static_cast<int>(mrOk);
  };
}

fs::path TrashFiles() { return fs::path(std::getenv("XDG_DATA_HOME")) / "Trash/files"; }

// Canaries at the part names of a spanned UUencode run and at the scratch
// name of Copy Archive; the Copy and Move targets go to the Trash.
TEST_F(WrittenNames, PartNamesScratchNamesAndReplacedTargets) {
  const std::string zip = Zip("a.zip", {{"big.bin", vsktest::RandomBytes(300000)}});
  vsktest::Canaries c;
  for (int k = 1; k <= 5; ++k) c.Plant(dir.path() / ("a.uu" + std::to_string(k)));
  c.Plant(dir.path() / "copy.zip.brevane-copy");
  ASSERT_TRUE(Start({zip}));

  // Parts that exist are asked about, all named; No writes nothing.
  std::string parts;
  for (int k = 1; k <= 5; ++k) parts += "\r\n" + (dir.path() / ("a.uu" + std::to_string(k))).string();
  const auto encode = [&](int Answer) {
    ui.ExpectModal([&](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmUUEncode&>(Dialog);
      EXPECT_EQ(d.rxfedOutput->text().toStdString(), (dir.path() / "a.uue").string());
      d.cbSpanSize->setCurrentIndex(1);
      return static_cast<int>(mrOk);
    });
    ui.ExpectMessage(msgtext::kUUPartsExist + parts + msgtext::kUUPartsOverwrite, mtConfirmation, Answer);
    if (Answer == mrYes) ui.ExpectMessage(msgtext::kUUEncodeDone, mtInformation);
    main->acUUencodeExecute();
  };
  encode(mrNo);
  EXPECT_FALSE(fs::exists(dir.path() / "a.uue"));
  EXPECT_TRUE(c.Intact());
  // Yes: the parts the run writes are those agreed to.
  encode(mrYes);
  for (int k = 1; k <= 5; ++k) c.Agree(dir.path() / ("a.uu" + std::to_string(k)));
  EXPECT_NE(vsktest::ReadFile(dir.path() / "a.uu1").find("part 1"), std::string::npos);

  // Copy over an existing target: the scratch canary stays, the old target
  // is in the Trash.
  const std::string copy = (dir.path() / "copy.zip").string();
  vsktest::WriteFile(copy, "the older copy");
  ui.ExpectModal(SaveAs(copy));
  ui.ExpectMessage(msgtext::kCopied, mtInformation);
  main->acCopyArchiveExecute();
  EXPECT_EQ(vsktest::ReadFile(copy), vsktest::ReadFile(zip));
  EXPECT_EQ(vsktest::ReadFile(TrashFiles() / "copy.zip"), "the older copy");

  // Move over an existing target: it waits in the Trash too.
  const std::string moved = (dir.path() / "moved.zip").string();
  vsktest::WriteFile(moved, "the older move target");
  const std::string bytes = vsktest::ReadFile(zip);
  ui.ExpectModal(SaveAs(moved));
  ui.ExpectMessage(msgtext::kMoved, mtInformation);
  main->acMoveArchiveExecute();
  EXPECT_EQ(vsktest::ReadFile(moved), bytes);
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_EQ(vsktest::ReadFile(TrashFiles() / "moved.zip"), "the older move target");
  EXPECT_TRUE(c.Intact());
}

// Each command-line failure is told, its exit status is 1, and the disk
// holds only what the message says.
TEST_F(WrittenNames, CommandLineFailuresAreToldAndMatchTheDisk) {
  fs::create_directories(dir.path() / "in");
  vsktest::WriteFile(dir.path() / "in/a.txt", "a");
  vsktest::WriteFile(dir.path() / "in/b.txt", "b");
  const auto status = [&](const std::vector<std::string>& Params) {
    EXPECT_FALSE(Start(Params));
    const int code = main->ExitCode();
    EndProgram();
    return code;
  };

  // An input that vanishes before the writer opens it: named, exit 1.
  ASSERT_TRUE(Start({}));
  const std::string made = (dir.path() / "made.zip").string();
  const std::string victim = (dir.path() / "in/b.txt").string();
  vsk::TCompBase& zip = *main->Components.Writer(vsk::atZip);
  const auto begin = zip.OnBegin;
  zip.OnBegin = [&](vsk::TZipCommon& S, const std::string& F, int N, bool& Go) {
    if (F == "a.txt") fs::remove(victim);
    if (begin) begin(S, F, N, Go);
  };
  ui.ExpectMessage(msgtext::kNotAdded + victim + " : " + vsk::MessageText(vsk::msg::ErrorOpeningFile), mtError);
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  SetParams({"-G", made, (dir.path() / "in/a.txt").string(), victim});
  main->ProcContextMenu();
  EXPECT_EQ(main->ExitCode(), TfmMain::kExitFailed);
  zip.OnBegin = begin;
  EndProgram();

  // A FIFO and an empty folder give no file: named, nothing made.
  const std::string fifo = (dir.path() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  fs::create_directories(dir.path() / "empty");
  const std::string never = (dir.path() / "never.zip").string();
  ui.ExpectMessage(msgtext::kNotAdded + fifo + msgtext::kNoFileToAdd + "\r\n" + (dir.path() / "empty").string() +
                       msgtext::kNoFileToAdd,
                   mtError);
  EXPECT_EQ(status({"-G", never, fifo, (dir.path() / "empty").string()}), TfmMain::kExitFailed);
  EXPECT_FALSE(fs::exists(never));

  // A file that is no archive: told, and no folder is made for it.
  const std::string text = (dir.path() / "notes.txt").string();
  vsktest::WriteFile(text, "no archive here\n");
  ui.ExpectMessage(std::string(msgtext::kExtractNotSupported) + "\n\r" + text, mtInformation);
  EXPECT_EQ(status({"-S", text}), TfmMain::kExitFailed);
  EXPECT_FALSE(fs::exists(dir.path() / "notes"));

  // "-HM": only the archive that came out whole is counted.
  const std::string good = Zip("good.zip", {{"g.txt", "good"}});
  const std::string missing = (dir.path() / "missing.zip").string();
  ui.ExpectMessage(std::string(msgtext::kExtractNotSupported) + "\n\r" + text, mtInformation);
  ui.ExpectMessage(msgtext::kTheFile + missing + msgtext::kFileMissingEnd, mtError);
  ui.ExpectMessage(std::string(msgtext::kMultipleExtracted) + "1" + msgtext::kArchivesNotExtracted + "\r\n" + text +
                       "\r\n" + missing,
                   mtError);
  EXPECT_EQ(status({"-HM", good, text, missing}), TfmMain::kExitFailed);
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "good_zip/g.txt"), "good");
  EXPECT_FALSE(fs::exists(dir.path() / "notes_txt"));

  // The whole extension decides the type: "notes.c" and "new.t" are zips.
  for (const char* name : {"made.c", "made.t"}) {
    const std::string archive = (dir.path() / name).string();
    ui.ExpectMessage("Files Compressed: 1", mtInformation);
    EXPECT_EQ(status({"-G", archive, (dir.path() / "in/a.txt").string()}), 0);
    EXPECT_EQ(vsktest::RunTool("unzip -Z1 " + vsktest::ShellQuote(archive)).output, "a.txt\n") << name;
  }
  // A new ".tgz" is a gzip-compressed tar at that very name.
  const std::string tgz = (dir.path() / "new.tgz").string();
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  EXPECT_EQ(status({"-G", tgz, (dir.path() / "in/a.txt").string()}), 0);
  EXPECT_EQ(vsktest::RunTool("tar -tzf " + vsktest::ShellQuote(tgz)).output, "a.txt\n");
  EXPECT_FALSE(fs::exists(dir.path() / "new.tar.gz"));
}

}  // namespace
}  // namespace brevane::testing
