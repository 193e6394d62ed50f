#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>

#include "app/dialogs/addpanels.h"
#include "app/dialogs/extractdlg.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "platform/registry.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using CommandLine = WindowTest;

std::string Completed(int N) { return msgtext::kExtractCompleted + std::to_string(N); }

TEST_F(CommandLine, ExtractSwitches) {
  const std::string zip = SampleZip();
  // "-S": a folder named like the archive, beside it.
  ui.ExpectMessage(Completed(3), mtInformation);
  EXPECT_FALSE(Start({"-S", zip}));
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "sample/readme.txt"), "hello\n");
  EXPECT_TRUE(fs::exists(dir.path() / "sample/docs/report.txt"));
  EXPECT_FALSE(main->isVisible());
  EndProgram();

  // "-H": here, beside the archive.
  ui.ExpectMessage(Completed(3), mtInformation);
  EXPECT_FALSE(Start({"-H", zip}));
  EXPECT_TRUE(fs::exists(dir.path() / "img/pic.bin"));
  EndProgram();

  // "-HM": each archive into its own folder, one message for all.
  const std::string second = Zip("second.zip", {{"b.txt", "bee"}});
  ui.ExpectMessage(std::string(msgtext::kMultipleExtracted) + "2", mtInformation);
  EXPECT_FALSE(Start({"-HM", zip, second}));
  EXPECT_TRUE(fs::exists(dir.path() / "sample_zip/readme.txt"));
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "second_zip/b.txt"), "bee");
  EndProgram();

  // "-E": the extract dialog, all files, then the chosen folder.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmExtractDlg&>(Dialog);
    EXPECT_EQ(d.FilesIndex(), 1);
    EXPECT_EQ(d.Destination(), dir.str());
    d.SetDestination((dir.path() / "chosen").string());
    d.ckConfirmOverwrites->setChecked(false);
    d.bbExtractClick();
    return d.result();
  });
  ui.ExpectMessage(Completed(3), mtInformation);
  EXPECT_FALSE(Start({"-E", zip}));
  EXPECT_TRUE(fs::exists(dir.path() / "chosen/docs/report.txt"));
}

TEST_F(CommandLine, AddSwitchesAndUnknownOnes) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  fs::create_directories(dir.path() / "in/sub");
  vsktest::WriteFile(dir.path() / "in/one.txt", "one");
  vsktest::WriteFile(dir.path() / "in/sub/two.txt", "two");
  const std::string made = (dir.path() / "made.zip").string();
  ui.ExpectMessage("Files Compressed: 2", mtInformation);
  EXPECT_FALSE(Start({"-G", made, (dir.path() / "in").string() + "/*.*"}));
  const auto listed = vsktest::RunTool("unzip -Z1 " + vsktest::ShellQuote(made));
  EXPECT_EQ(listed.output, "one.txt\nsub/two.txt\n");
  EndProgram();

  // "-A": the add-options dialog names the archive; an existing file of
  // that name is replaced only by the finished archive.
  const std::string chosen = (dir.path() / "chosen.zip").string();
  vsktest::WriteFile(chosen, "not yet replaced");
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = static_cast<QFileDialog&>(Dialog);
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Add Options"));
    EXPECT_FALSE(fmAddOptionsBottom->ckSaveFullPath->isChecked());
    d.selectFile(QString::fromStdString(chosen));
    return static_cast<int>(mrOk);
  });
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  EXPECT_FALSE(Start({"-A", "whatever.zip", (dir.path() / "in/one.txt").string()}));
  EXPECT_EQ(vsktest::RunTool("unzip -t " + vsktest::ShellQuote(chosen)).exitCode, 0);
  EndProgram();

  // Inputs that do not exist write nothing, and each is named.
  const std::string missingInput = (dir.path() / "missing.txt").string();
  ui.ExpectMessage("The file " + missingInput + " does not exist.\r\nThe file " + (dir.path() / "gone").string() +
                       " does not exist.",
                   mtError);
  EXPECT_FALSE(Start({"-G", (dir.path() / "none.zip").string(), missingInput, (dir.path() / "in/one.txt").string(),
                      (dir.path() / "gone").string() + "/*.*"}));
  EXPECT_EQ(main->ExitCode(), TfmMain::kExitFailed);
  EXPECT_FALSE(fs::exists(dir.path() / "none.zip"));
  EndProgram();
  ui.ExpectMessage("The file " + missingInput + " does not exist.", mtError);
  EXPECT_FALSE(Start({"-M", "letter.zip", missingInput}));
  EXPECT_EQ(main->ExitCode(), TfmMain::kExitFailed);
  EndProgram();

  // Switches are case-sensitive; "-SYS" needs "-REMOVEREG".
  ui.ExpectMessage(msgtext::kUnknownParameter, mtError);
  EXPECT_FALSE(Start({"-s", made}));
  EndProgram();
  EXPECT_FALSE(Start({"-SYS", "-other"}));
  EXPECT_TRUE(SettingsExist());
  EndProgram();
  EXPECT_FALSE(Start({"-SYS", "-REMOVEREG"}));
  EndProgram();
  EXPECT_FALSE(vsk::TRegistry(vsk::HKEY_CURRENT_USER).KeyExists("\\Software\\Brevane"));
}

// Scripts rely on the exit status: 0 only when the command did what it was
// asked; an archive to be read that is not there is said to be missing.
TEST_F(CommandLine, ExitStatusTellsWhetherTheCommandDidItsWork) {
  const std::string zip = SampleZip();
  const auto status = [&](const std::vector<std::string>& Params) {
    EXPECT_FALSE(Start(Params));
    const int code = main->ExitCode();
    EndProgram();
    return code;
  };
  ui.ExpectMessage(Completed(3), mtInformation);
  EXPECT_EQ(status({"-S", zip}), 0);
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  EXPECT_EQ(status({"-T", zip}), 0);

  // A damaged archive: the test shows what failed and the run fails.
  const std::string damaged = Pack("damaged.zip", {{"a.txt", std::string(4000, 'x')}}, "zip -q -0 {out} a.txt");
  std::string bytes = vsktest::ReadFile(damaged);
  bytes[bytes.find(std::string(100, 'x')) + 50] = 'y';
  vsktest::WriteFile(damaged, bytes);
  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrOk); });
  EXPECT_EQ(status({"-T", damaged}), TfmMain::kExitFailed);
  // Only files that passed count as extracted; the output window names the failed one.
  ui.ExpectMessage(std::string(msgtext::kExtractCrcError) + "0", mtError);
  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrOk); });
  EXPECT_EQ(status({"-H", damaged}), TfmMain::kExitFailed);

  // Missing archives, for every switch that reads one.
  const std::string missing = (dir.path() / "missing.zip").string();
  const std::string said = "The file " + missing + " does not exist.";
  for (const char* sw : {"-S", "-H", "-E", "-T", "-R", "-C", "-X"}) {
    SCOPED_TRACE(sw);
    ui.ExpectMessage(said, mtError);
    EXPECT_EQ(status({sw, missing}), TfmMain::kExitFailed);
  }
  // "-HM" counts the archives that came out whole and names the others.
  ui.ExpectMessage(said, mtError);
  ui.ExpectMessage(std::string(msgtext::kMultipleExtracted) + "1" + msgtext::kArchivesNotExtracted + "\r\n" + missing,
                   mtError);
  EXPECT_EQ(status({"-HM", zip, missing}), TfmMain::kExitFailed);
  EXPECT_TRUE(fs::exists(dir.path() / "sample_zip/readme.txt"));

  // Refused switches and parameters.
  ui.ExpectMessage(msgtext::kUnknownParameter, mtError);
  EXPECT_EQ(status({"-Q", zip}), TfmMain::kExitRefused);
  EXPECT_EQ(status({"-G", zip}), TfmMain::kExitRefused);
  // Nothing to add, and an extract dialog that is cancelled.
  ui.ExpectMessage(said, mtError);
  EXPECT_EQ(status({"-G", (dir.path() / "none.zip").string(), missing}), TfmMain::kExitFailed);
  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrCancel); });
  EXPECT_EQ(status({"-E", zip}), TfmMain::kExitFailed);
}

// "-A" offers the folder of the archive named, whatever the current folder.
TEST_F(CommandLine, AddOptionsStartInTheArchivesFolder) {
  fs::create_directories(dir.path() / "target");
  vsktest::WriteFile(dir.path() / "one.txt", "one");
  fs::current_path("/");
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = static_cast<QFileDialog&>(Dialog);
    EXPECT_EQ(d.directory().absolutePath().toStdString(), (dir.path() / "target").string());
    EXPECT_EQ(fs::path(d.selectedFiles().value(0).toStdString()).stem(), "new");
    return static_cast<int>(mrCancel);
  });
  EXPECT_FALSE(Start({"-A", (dir.path() / "target/new.zip").string(), (dir.path() / "one.txt").string()}));
  EXPECT_EQ(main->ExitCode(), TfmMain::kExitFailed);
}

TEST_F(CommandLine, AddOptionsLandAGzipArchiveAtTheNameGiven) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  fs::create_directories(dir.path() / "in");
  vsktest::WriteFile(dir.path() / "in/one.txt", "one");
  const auto addAs = [&](const std::string& Chosen) {
    ui.ExpectModal([=](QDialog& Dialog) {
      static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(Chosen));
      return static_cast<int>(mrOk);
    });
  };
  const auto listed = [](const std::string& Archive) {
    return vsktest::RunTool("tar tzf " + vsktest::ShellQuote(Archive)).output;
  };
  // Nothing but what the user sees is left in the folder.
  const auto leftovers = [&] {
    std::vector<std::string> hidden;
    for (const auto& e : fs::directory_iterator(dir.path()))
      if (e.path().filename().string().front() == '.') hidden.push_back(e.path().string());
    return hidden;
  };

  for (const std::string name : {"pack.tar.gz", "pack.gz"}) {
    SCOPED_TRACE(name);
    const std::string chosen = (dir.path() / name).string();
    vsktest::WriteFile(chosen, "an older file");
    addAs(chosen);
    // The tar beside "pack.gz" is "pack.tar", which the run before made:
    // it is no file of this run, so it is asked about.
    if (name == "pack.gz")
      ui.ExpectMessage((dir.path() / "pack.tar").string() + "\r\r" + msgtext::kFileAlreadyExist +
                           msgtext::kTarNameToTrash,
                       mtConfirmation, mrYes);
    ui.ExpectMessage("Files Compressed: 1", mtInformation);
    EXPECT_FALSE(Start({"-A", "whatever.zip", (dir.path() / "in/one.txt").string()}));
    EndProgram();
    EXPECT_EQ(listed(chosen), "one.txt\n");
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
  }
  // "pack.gz" did not take the place of the other archive.
  EXPECT_EQ(listed((dir.path() / "pack.tar.gz").string()), "one.txt\n");

  // Nothing to add: the old file stays and nothing is said to be compressed.
  const std::string kept = (dir.path() / "kept.gz").string();
  vsktest::WriteFile(kept, "an older file");
  fs::create_directories(dir.path() / "empty");
  addAs(kept);
  ui.ExpectMessage(msgtext::kNotAdded + (dir.path() / "empty").string() + msgtext::kNoFileToAdd, mtError);
  EXPECT_FALSE(Start({"-A", "whatever.zip", (dir.path() / "empty").string()}));
  EndProgram();
  EXPECT_EQ(vsktest::ReadFile(kept), "an older file");
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(CommandLine, MailPacksTheInputsIntoASpooledArchive) {
  fs::create_directories(dir.path() / "in");
  vsktest::WriteFile(dir.path() / "in/one.txt", "one");
  // A mail tool that records its arguments stands in for the desktop's.
  const fs::path bin = dir.path() / "bin";
  fs::create_directories(bin);
  const fs::path log = dir.path() / "mail.log";
  const auto mailTool = [&](int Code) {
    vsktest::WriteFile(bin / "xdg-email",
                       "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > " + vsktest::ShellQuote(log.string()) +
                           "\nexit " + std::to_string(Code) + "\n");
    fs::permissions(bin / "xdg-email", fs::perms::owner_all);
  };
  const char* path = std::getenv("PATH");
  vsktest::ScopedEnv env2("PATH", bin.string() + ":" + (path ? path : "/usr/bin:/bin"));
  const auto attachment = [&] {
    const std::string mail = vsktest::ReadFile(log);
    const auto at = mail.find("--attach\n");
    EXPECT_NE(at, std::string::npos) << mail;
    return at == std::string::npos ? std::string() : mail.substr(at + 9, mail.find('\n', at + 9) - at - 9);
  };

  mailTool(0);
  EXPECT_FALSE(Start({"-M", "letter.zip", (dir.path() / "in/one.txt").string()}));
  EXPECT_EQ(main->ExitCode(), 0);
  EXPECT_NE(vsktest::ReadFile(log).find("Attached: letter.zip"), std::string::npos);
  EndProgram();
  // The mail program reads the attachment after the tool returned, even
  // after the run ended: it waits in the user's mail spool.
  const std::string sent = attachment();
  const fs::path spool = env.root() / "home/.cache/brevane/mail";
  EXPECT_EQ(fs::path(sent).parent_path().parent_path(), spool);
  EXPECT_NE(vsktest::RunTool("unzip -l " + vsktest::ShellQuote(sent)).output.find("one.txt"), std::string::npos);
  for (const auto& e : fs::directory_iterator(std::getenv("TMPDIR")))
    EXPECT_NE(e.path().filename().string().rfind("qv_", 0), 0u) << e.path();
  // A later start sweeps what is a day old, and only that.
  mailTool(0);
  EXPECT_FALSE(Start({"-M", "second.zip", (dir.path() / "in/one.txt").string()}));
  EndProgram();
  const std::string second = attachment();
  ASSERT_EQ(vsktest::RunTool("touch -d '2 days ago' " + vsktest::ShellQuote(fs::path(sent).parent_path().string()))
                .exitCode,
            0);
  EXPECT_TRUE(Start({}));
  EndProgram();
  EXPECT_FALSE(fs::exists(fs::path(sent).parent_path()));
  EXPECT_TRUE(fs::exists(second));

  // Every failure of the mail tool is told, from the command line and
  // from the window's mail command alike.
  mailTool(4);
  ui.ExpectMessage(msgtext::kMailFailed + std::string("4"), mtError);
  EXPECT_FALSE(Start({"-M", "letter.zip", (dir.path() / "in/one.txt").string()}));
  EndProgram();
  // What was not handed over does not wait in the spool.
  EXPECT_FALSE(fs::exists(fs::path(attachment()).parent_path()));
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  mailTool(1);
  ui.ExpectMessage(msgtext::kMailFailed + std::string("1"), mtError);
  main->acMailArchiveExecute();
  EXPECT_EQ(attachment(), zip);
  mailTool(3);
  ui.ExpectMessage(msgtext::kNoMailProgram, mtError);
  main->acMailArchiveExecute();
}

}  // namespace
}  // namespace brevane::testing
