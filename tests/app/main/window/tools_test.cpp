#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <sstream>

#include "app/dialogs/getpassword.h"
#include "app/dialogs/tooldialogs.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/contentlist.h"
#include "app/main/messages.h"
#include "base/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

class Tools : public WindowTest {
 protected:
  // "bad.zip": "ok.txt" and a stored "hurt.txt" whose data no longer
  // matches its CRC.
  std::string DamagedZip() {
    EXPECT_TRUE(vsktest::HaveTool("zip"));
    const std::string bad = Pack("bad.zip", {{"ok.txt", "fine"}, {"hurt.txt", std::string(5000, 'h')}},
                                 "zip -q -0 -X {out} ok.txt hurt.txt");
    std::string bytes = vsktest::ReadFile(bad);
    bytes[bytes.find(std::string(100, 'h')) + 7] = 'x';
    vsktest::WriteFile(bad, bytes);
    return bad;
  }
};

std::string Output() { return fmViewOutput->meOutput->toPlainText().toStdString(); }

constexpr const char* kOverwriteQuestion =
    "The output filename you entered already exist.\rAre you sure you want to overwrite this file ?";

TEST_F(Tools, TestingReportsEveryFile) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->acTestExecute();
  EXPECT_NE(Output().find(":: Testing Archive: " + zip), std::string::npos) << Output();
  EXPECT_NE(Output().find("> Testing: docs/report.txt ... Passed"), std::string::npos) << Output();
  EXPECT_EQ(main->LedColor(), kLedIdle);

  // A damaged file fails and the report is shown.
  const std::string bad = DamagedZip();
  main->DisplayArchive(bad);
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(&Dialog, fmViewOutput);
    EXPECT_NE(Output().find("> Testing: ok.txt ... Passed"), std::string::npos) << Output();
    EXPECT_NE(Output().find("> Testing: hurt.txt ... Failed"), std::string::npos) << Output();
    return static_cast<int>(mrOk);
  });
  main->acTestExecute();

  // Cancelled through the progress window: said so, not "no errors".
  main->DisplayArchive(zip);
  const auto ownBegin = main->vskZipCheck.OnBegin;
  main->vskZipCheck.OnBegin = [&](vsk::TZipCommon& Sender, const std::string& File, int Index, bool& Skip) {
    ownBegin(Sender, File, Index, Skip);
    main->acCancelTaskExecute();
  };
  ui.ExpectMessage(vsk::MessageText(vsk::msg::UserCanceled), mtInformation);
  main->acTestExecute();
  main->vskZipCheck.OnBegin = ownBegin;

  // A cabinet is tested; a type without a reader is refused.
  ASSERT_TRUE(vsktest::HaveTool("gcab"));
  const std::string cab = Pack("x.cab", {{"x.txt", "x"}}, "gcab -c {out} x.txt");
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->CmdTest(cab);
  const std::string ha = (dir.path() / "x.ha").string();
  vsktest::WriteFile(ha, std::string("HA\x01\x00", 4) + std::string(40, 'x'));
  ui.ExpectMessage(vsk::MessageText(vsk::msg::UnsupportedArcType), mtError);
  main->CmdTest(ha);
  EndProgram();

  // From the command line.
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  EXPECT_FALSE(Start({"-T", zip}));
}

TEST_F(Tools, RepairRebuildsACutArchive) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  const std::string zip = SampleZip();
  std::string bytes = vsktest::ReadFile(zip);
  vsktest::WriteFile(zip, bytes.substr(0, bytes.find("PK\x01\x02")));
  ASSERT_TRUE(Start({}));
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Select Zip File To Repair ..."));
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(zip));
    return static_cast<int>(mrOk);
  });
  const std::string fixed = (dir.path() / "sample_fixed.zip").string();
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = static_cast<QFileDialog&>(Dialog);
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Save Repaired File As ..."));
    EXPECT_FALSE(d.selectedFiles().isEmpty());
    EXPECT_TRUE(d.selectedFiles().front().endsWith(QStringLiteral("sample_fixed.zip")));
    d.selectFile(QString::fromStdString(fixed));
    return static_cast<int>(mrOk);
  });
  ui.ExpectModal([&](QDialog&) {
    EXPECT_NE(Output().find(":: REPAIR ZIP ARCHIVE ::\n> Source File : " + zip), std::string::npos) << Output();
    EXPECT_NE(Output().find("> readme.txt\t ... seems to be OK"), std::string::npos) << Output();
    EXPECT_NE(Output().find("files were recovered."), std::string::npos) << Output();
    return static_cast<int>(mrOk);
  });
  main->acRepairExecute();
  const auto t = vsktest::RunTool("unzip -t " + vsktest::ShellQuote(fixed));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_EQ(main->FRepairGood, main->FRepairFound);
  EXPECT_GE(main->FRepairGood, 3);

  // Nothing to recover: no empty file is left behind.
  const std::string text = (dir.path() / "text.zip").string();
  vsktest::WriteFile(text, "plain text");
  const std::string none = (dir.path() / "none_fixed.zip").string();
  ui.ExpectModal([&](QDialog& Dialog) {
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(none));
    return static_cast<int>(mrOk);
  });
  ui.ExpectModal([&](QDialog&) {
    EXPECT_NE(Output().find("> 0 out of 0 files were recovered."), std::string::npos) << Output();
    return static_cast<int>(mrOk);
  });
  main->CmdRepair(text);
  EXPECT_FALSE(fs::exists(none));
}

TEST_F(Tools, VirusScanRenameAndInstall) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  // No scanner configured: said so.
  Options.AVProduct = 0;
  ui.ExpectMessage(msgtext::kConfigureScanner, mtInformation);
  main->acVirusScanExecute();

  // A scanner that records what it was given and what it saw.
  const fs::path log = dir.path() / "scan.log";
  const fs::path scanner = dir.path() / "scanner.sh";
  vsktest::WriteFile(scanner, "#!/bin/sh\necho \"$@\" > " + vsktest::ShellQuote(log.string()) +
                                  "\nfind \"$(dirname \"$2\")\" -type f | sort >> " +
                                  vsktest::ShellQuote(log.string()) + "\n");
  fs::permissions(scanner, fs::perms::owner_all);
  Options.AVProduct = 1;
  Options.VirusScanner = scanner.string();
  Options.Parameters = "--recursive *.*";
  ui.ExpectMessage(msgtext::kScanCompleted, mtInformation);
  main->acVirusScanExecute();
  const std::string seen = vsktest::ReadFile(log);
  EXPECT_NE(seen.find("--recursive "), std::string::npos) << seen;
  EXPECT_NE(seen.find("/docs/report.txt"), std::string::npos) << seen;
  EXPECT_NE(seen.find("/img/pic.bin"), std::string::npos) << seen;
  // The scanned copy is gone.
  const std::string folder = seen.substr(seen.find(' ') + 1, seen.find("/*.*") - seen.find(' ') - 1);
  EXPECT_FALSE(fs::exists(folder)) << folder;

  // Renaming: no extension may be typed, no existing name taken.
  ui.ExpectInput(msgtext::kRenameArchivePrompt, true, "other.zip");
  ui.ExpectMessage(msgtext::kRenameNoExtension, mtError);
  main->acRenameArchiveExecute();
  EXPECT_EQ(ui.LastInputStart, "sample");
  Zip("taken.zip", {{"t.txt", "t"}});
  ui.ExpectInput(msgtext::kRenameArchivePrompt, true, "taken");
  ui.ExpectMessage(msgtext::kRenameExists, mtError);
  main->acRenameArchiveExecute();
  ui.ExpectInput(msgtext::kRenameArchivePrompt, true, "sub/x");
  ui.ExpectMessage(msgtext::kRenameInvalid, mtError);
  main->acRenameArchiveExecute();
  ui.ExpectInput(msgtext::kRenameArchivePrompt, true, "renamed");
  main->acRenameArchiveExecute();
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), (dir.path() / "renamed.zip").string());
  EXPECT_EQ(Model().RowCount(), 3);

  // Install: the archive's setup program runs from a temporary copy.
  const fs::path ran = dir.path() / "ran.txt";
  const std::string setup = Pack("setup.zip", {{"SETUP.EXE", "#!/bin/sh\necho installed > " +
                                                                vsktest::ShellQuote(ran.string()) + "\n"}},
                                 "chmod +x SETUP.EXE && zip -q -X {out} SETUP.EXE");
  main->DisplayArchive(setup);
  ASSERT_TRUE(main->CommandEnabled("acInstall"));
  ui.ExpectMessage(msgtext::kConfirmInstall, mtConfirmation, mrYes);
  ui.ExpectMessage(msgtext::kInstallWait, mtInformation);
  main->acInstallExecute();
  EXPECT_EQ(vsktest::ReadFile(ran), "installed\n");
}

TEST_F(Tools, VirusScanPassesEveryNameWholeInAsManyStartsAsNeeded) {
  // Names that a quoted list could let out: quotes, blanks, a command.
  std::vector<TEntry> entries = {{"a \"b\" c.txt", "1"}, {"$(touch pwned).txt", "2"}, {"sub/it's.txt", "3"},
                                 {".hidden", "4"}};
  for (int i = 0; i < 40; ++i) entries.push_back({"many/file" + std::to_string(i) + ".txt", "x"});
  const std::string zip = Zip("odd.zip", entries);
  ASSERT_TRUE(Start({zip}));
  // A scanner that writes each argument on a line and "--" after each start.
  const fs::path log = dir.path() / "scan.log";
  const fs::path scanner = dir.path() / "scanner.sh";
  vsktest::WriteFile(scanner, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " +
                                  vsktest::ShellQuote(log.string()) + "\necho -- >> " +
                                  vsktest::ShellQuote(log.string()) + "\nexit 0\n");
  fs::permissions(scanner, fs::perms::owner_all);
  Options.AVProduct = 1;
  Options.VirusScanner = scanner.string();
  Options.Parameters.clear();
  main->ScanArgumentBudget = 1000;
  ui.ExpectMessage(msgtext::kScanCompleted, mtInformation);
  main->acVirusScanExecute();

  std::vector<std::string> seen;
  int starts = 0;
  std::string folder;
  std::istringstream lines(vsktest::ReadFile(log));
  for (std::string line; std::getline(lines, line);) {
    if (line == "--") {
      ++starts;
      continue;
    }
    seen.push_back(line);
  }
  EXPECT_GE(starts, 2);
  ASSERT_EQ(seen.size(), entries.size());
  // Every file once, whole, from one folder that is gone again.
  for (const auto& e : entries) {
    const auto hit = std::find_if(seen.begin(), seen.end(), [&](const std::string& s) {
      return s.size() > e.Name.size() && s.compare(s.size() - e.Name.size() - 1, std::string::npos, "/" + e.Name) == 0;
    });
    ASSERT_NE(hit, seen.end()) << e.Name;
    if (folder.empty()) folder = hit->substr(0, hit->size() - e.Name.size() - 1);
    EXPECT_EQ(*hit, folder + "/" + e.Name);
  }
  EXPECT_FALSE(fs::exists(folder)) << folder;
  EXPECT_FALSE(fs::exists(dir.path() / "pwned"));

  // A scanner that ends abnormally is reported, not called a completed scan.
  vsktest::WriteFile(scanner, "#!/bin/sh\nexit 3\n");
  ui.ExpectMessage(std::string(msgtext::kScannerFailed) + "3" + msgtext::kScannerFailedEnd, mtError);
  main->acVirusScanExecute();
  Options.VirusScanner = (dir.path() / "no-scanner").string();
  ui.ExpectMessage(msgtext::kScannerNotStarted + Options.VirusScanner, mtError);
  main->acVirusScanExecute();
}

TEST_F(Tools, TheHomepageGoesToTheDesktopAsAWebAddress) {
  // A desktop opener that records what it was given.
  const fs::path bin = dir.path() / "bin";
  fs::create_directories(bin);
  const fs::path log = dir.path() / "open.log";
  vsktest::WriteFile(bin / "xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " +
                                           vsktest::ShellQuote(log.string() + ".part") + "\nmv " +
                                           vsktest::ShellQuote(log.string() + ".part") + " " +
                                           vsktest::ShellQuote(log.string()) + "\n");
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  const char* path = std::getenv("PATH");
  vsktest::ScopedEnv env2("PATH", bin.string() + ":" + (path ? path : "/usr/bin:/bin"));
  ASSERT_TRUE(Start({}));
  main->acHomepage->trigger();
  // The opener runs on its own; wait for its record.
  for (int i = 0; i < 600 && !fs::exists(log); ++i) QTest::qWait(50);
  EXPECT_EQ(vsktest::ReadFile(log), std::string(kProductHomePage) + "\n");
}

TEST_F(Tools, UUEncodingTheOpenArchive) {
  ASSERT_TRUE(vsktest::HaveTool("uudecode"));
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  const std::string out = (dir.path() / "sample.uue").string();
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmUUEncode&>(Dialog);
    EXPECT_EQ(d.InputName(), zip);
    EXPECT_EQ(d.OutputName(), out);
    d.rbXXEncode->setChecked(true);
    d.rgEncodeClick();
    EXPECT_EQ(d.OutputName(), (dir.path() / "sample.xxe").string());
    d.rbUUEncode->setChecked(true);
    d.rgEncodeClick();
    d.buOKClick();
    return d.result();
  });
  ui.ExpectMessage(msgtext::kUUEncodeDone, mtInformation);
  main->acUUencodeExecute();
  const fs::path back = dir.path() / "back";
  fs::create_directories(back);
  const auto r = vsktest::RunTool("uudecode -o " + vsktest::ShellQuote((back / "x.zip").string()) + " " +
                                  vsktest::ShellQuote(out));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(vsktest::ReadFile(back / "x.zip") == vsktest::ReadFile(zip));

  // The convert dialog checks what was entered.
  TfmConvertArc conv;
  conv.rxfedInput->setText(QString::fromStdString(zip));
  conv.rxfedOutputEnter();
  EXPECT_EQ(conv.OutputName(), zip);  // zip to zip: the same name
  ui.ExpectMessage("Please select a different output file format. Your current\r\noutput file seems to be the same "
                   "as your input file.",
                   mtWarning);
  conv.buConvertClick();
  // "GZipTar" shows the name the converter leaves, and back again.
  conv.cbFormat->setCurrentIndex(kConvertGZipTar);
  EXPECT_EQ(conv.OutputName(), (dir.path() / "sample.tar.gz").string());
  conv.cbFormat->setCurrentIndex(kConvertCabinet);
  EXPECT_EQ(conv.OutputName(), (dir.path() / "sample.cab").string());
  EXPECT_FALSE(conv.ckVerify->isEnabled());
  conv.cbFormat->setCurrentIndex(kConvertGZipTar);
  // The output follows the input until the user types one.
  conv.rxfedInput->setText(QString::fromStdString((dir.path() / "tree.zip").string()));
  EXPECT_EQ(conv.OutputName(), (dir.path() / "tree.tar.gz").string());
  conv.rxfedOutput->setText(QString::fromStdString((dir.path() / "sample").string()));
  QTest::keyClicks(conv.rxfedOutput, ".tar");
  conv.rxfedInput->setText(QString::fromStdString(zip));
  EXPECT_EQ(conv.OutputName(), (dir.path() / "sample.tar").string());
  // The question is about the file the run leaves, and the box shows it.
  vsktest::WriteFile(dir.path() / "sample.tar.gz", "old");
  ui.ExpectMessage("The output filename you entered already exist.\rAre you sure you want to overwrite this file ?",
                   mtConfirmation, mrNo);
  conv.buConvertClick();
  EXPECT_EQ(conv.result(), 0);
  EXPECT_EQ(conv.OutputName(), (dir.path() / "sample.tar.gz").string());
  // A name without ".tar" leaves "name.gz"; shown, it would leave
  // "name.gz.gz", so the box keeps what was typed.
  conv.rxfedOutput->setText(QString::fromStdString((dir.path() / "plain").string()));
  vsktest::WriteFile(dir.path() / "plain.gz", "old");
  ui.ExpectMessage("The output filename you entered already exist.\rAre you sure you want to overwrite this file ?",
                   mtConfirmation, mrNo);
  conv.buConvertClick();
  EXPECT_EQ(conv.OutputName(), (dir.path() / "plain").string());
  EXPECT_EQ(conv.MadeName(), (dir.path() / "plain.gz").string());
  ui.ExpectMessage("Checking this option will cause the original archive to be\rdeleted after conversion. Are you "
                   "sure you want to do this ?",
                   mtConfirmation, mrNo);
  conv.ckDeleteOrg->setChecked(true);
  conv.ckDeleteOrgClick();
  EXPECT_FALSE(conv.ckDeleteOrg->isChecked());
}

TEST_F(Tools, ConvertingTheOpenArchive) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  const std::string tar = (dir.path() / "sample.tar").string();
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
    EXPECT_EQ(d.InputName(), zip);
    d.cbFormat->setCurrentIndex(6);  // Tar
    EXPECT_EQ(d.OutputName(), tar);
    d.ckVerify->setChecked(true);
    d.buConvertClick();
    return d.result();
  });
  ui.ExpectMessage(msgtext::kConvDone, mtInformation);
  main->acConvertExecute();
  const auto r = vsktest::RunTool("tar tf " + vsktest::ShellQuote(tar) + " | sort");
  EXPECT_EQ(r.output, "docs/report.txt\nimg/pic.bin\nreadme.txt\n");
  EXPECT_NE(Output().find("> Integrity Check Completed."), std::string::npos) << Output();
  // The original archive stays open and untouched.
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), zip);

  // The "Cabinet" entry writes a cabinet that cabextract restores.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
    d.cbFormat->setCurrentIndex(1);  // Cabinet
    d.buConvertClick();
    return d.result();
  });
  ui.ExpectMessage(msgtext::kConvDone, mtInformation);
  main->acConvertExecute();
  const std::string cab = (dir.path() / "sample.cab").string();
  const auto t = vsktest::RunTool("cabextract -t " + vsktest::ShellQuote(cab));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_NE(t.output.find("docs/report.txt"), std::string::npos) << t.output;
}

TEST_F(Tools, ConverterAndTesterEventsReachTheWindow) {
  ASSERT_TRUE(vsktest::HaveTool("arj") && vsktest::HaveTool("unzip"));
  // A spanned input whose second volume was moved away, converted over an
  // old output: one question about the output, one for the volume.
  const std::string big = vsktest::RandomBytes(250000);
  const std::string arj =
      Pack("set.arj", {{"big.bin", big}, {"a.txt", "hello\n"}}, "arj a -v100k -y {out} big.bin a.txt");
  const std::string moved = (dir.path() / "set.a02.moved").string();
  fs::rename(dir.path() / "set.a02", moved);
  const std::string zip = (dir.path() / "set.zip").string();
  vsktest::WriteFile(zip, "an older output");
  ASSERT_TRUE(Start({}));
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
    d.rxfedInput->setText(QString::fromStdString(arj));
    d.rxfedOutput->setText(QString::fromStdString(zip));
    d.ckVerify->setChecked(true);
    AskedFirst([&] { ui.ExpectMessage(kOverwriteQuestion, mtConfirmation, mrYes); });
    d.buConvertClick();
    return d.result();
  });
  ui.ExpectInput("Volume ID: 2", true, moved);
  ui.ExpectMessage(msgtext::kConvDone, mtInformation);
  main->CmdConvert("");
  EXPECT_EQ(ui.LastInputCaption, "set.a02");
  EXPECT_TRUE(vsktest::RunTool("unzip -p " + vsktest::ShellQuote(zip) + " big.bin").output == big);
  // Integrity lines are counted; the clean-up is listed below the
  // temporary folder.
  const std::string out = Output();
  EXPECT_NE(out.find("> (2) Testing: "), std::string::npos) << out;
  EXPECT_EQ(out.find("> (3) Testing: "), std::string::npos) << out;
  EXPECT_NE(out.find("> Removing: vsk"), std::string::npos) << out;
  EXPECT_EQ(out.find("> Removing: /"), std::string::npos) << out;

  // The tester that went on into the tar inside a gzip file read it as it
  // was decoded: no tar file was made to stand for the archive.
  const std::string tgz = Pack("x.tgz", {{"x.txt", "x"}}, "tar czf {out} x.txt");
  ui.ExpectMessageEnding(msgtext::kVerifyNestedTar, mtInformation, mrYes);
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->CmdTest(tgz);
  EXPECT_EQ(fs::path(main->vskZipCheck.ArchiveFile()).extension(), ".tgz");
}

// Converts Input into Output of the format at list position Format with
// "Delete Original File After Convert" ticked, as a user would.
void ConvertDeletingOriginal(TScriptedUi& Ui, const std::string& Input, const std::string& Output, int Format) {
  Ui.ExpectModal([=, &Ui](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
    d.rxfedInput->setText(QString::fromStdString(Input));
    d.cbFormat->setCurrentIndex(Format);
    d.rxfedOutput->setText(QString::fromStdString(Output));
    Ui.Steps.push_front({TScriptedUi::kMessage,
                         "Checking this option will cause the original archive to be\rdeleted after conversion. Are "
                         "you sure you want to do this ?",
                         mrYes, {}, {}, mtConfirmation});
    d.ckDeleteOrg->setChecked(true);
    d.ckDeleteOrgClick();
    // The dialog asks about the file the run leaves: a "GZipTar" output gets ".gz".
    if (fs::exists(Format == kConvertGZipTar ? Output + ".gz" : Output))
      Ui.Steps.push_front({TScriptedUi::kMessage,
                           "The output filename you entered already exist.\rAre you sure you want to overwrite this "
                           "file ?",
                           mrYes, {}, {}, mtConfirmation});
    d.buConvertClick();
    return d.result();
  });
}

// One message for a failed conversion, naming the entry by its name in
// the archive and its reason.
const std::string kHurtLeftOut = std::string(msgtext::kConvAborted) + "\r\n\r\nhurt.txt (" +
                                 vsk::MessageText(vsk::msg::CrcFailed) + ")";

TEST_F(Tools, AFailedConversionNeverDeletesTheOriginal) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string bad = DamagedZip();
  const std::string bytes = vsktest::ReadFile(bad);
  const std::string tar = (dir.path() / "bad.tar").string();
  vsktest::WriteFile(tar, "an older output");
  ASSERT_TRUE(Start({}));
  ConvertDeletingOriginal(ui, bad, tar, 6);  // Tar
  ui.ExpectMessage(kHurtLeftOut, mtError);
  main->CmdConvert("");
  EXPECT_TRUE(vsktest::ReadFile(bad) == bytes);

  // The tar beside a "GZipTar" output is no output of the run: it is asked
  // about, and agreed to it goes to the trash when the new tar takes its name.
  std::string zipped = SampleZip();
  const std::string old = (dir.path() / "sample.tar").string();
  vsktest::WriteFile(old, "an older output");
  ConvertDeletingOriginal(ui, zipped, old, kConvertGZipTar);
  ui.ExpectMessage(old + "\r\r" + msgtext::kFileAlreadyExist + msgtext::kTarNameToTrash, mtConfirmation, mrYes);
  ui.ExpectMessage(msgtext::kConvDone, mtInformation);
  main->CmdConvert("");
  EXPECT_FALSE(fs::exists(zipped));
  EXPECT_TRUE(fs::exists(old + ".gz"));
  EXPECT_EQ(vsktest::ReadFile(env.root() / "home/.local/share/Trash/files/sample.tar"), "an older output");
  zipped = SampleZip();

  // An input that is no archive: the converter does nothing at all, the
  // old output stays and so does the input.
  const std::string text = (dir.path() / "notes.txt").string();
  vsktest::WriteFile(text, "just some text");
  const std::string zip = (dir.path() / "notes.zip").string();
  vsktest::WriteFile(zip, "an older output");
  ConvertDeletingOriginal(ui, text, zip, 7);  // Zip
  ui.ExpectMessage(msgtext::kConvAborted, mtInformation);
  main->CmdConvert("");
  EXPECT_TRUE(fs::exists(text));
  EXPECT_EQ(vsktest::ReadFile(zip), "an older output");

  // The same file under another spelling is refused by the dialog.
  const std::string good = zipped;
  fs::current_path(dir.path());
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
    d.rxfedInput->setText(QStringLiteral("./sample.zip"));
    d.rxfedOutput->setText(QStringLiteral("sample.zip"));
    ui.Steps.push_front({TScriptedUi::kMessage,
                         "Please select a different output file format. Your current\r\noutput file seems to be the "
                         "same as your input file.",
                         mrOk, {}, {}, mtWarning});
    d.buConvertClick();
    EXPECT_EQ(d.result(), 0);
    return static_cast<int>(mrCancel);
  });
  main->CmdConvert("");

  // A good run replaces the old output and only then deletes the input.
  const std::string out = (dir.path() / "sample.tar").string();
  main->DisplayArchive(good);
  ConvertDeletingOriginal(ui, good, out, 6);  // Tar
  ui.ExpectMessage(msgtext::kConvDone, mtInformation);
  main->acConvertExecute();
  EXPECT_FALSE(fs::exists(good));
  const auto r = vsktest::RunTool("tar tf " + vsktest::ShellQuote(out) + " | sort");
  EXPECT_EQ(r.output, "docs/report.txt\nimg/pic.bin\nreadme.txt\n");
  // The window shows the converted archive in place of the deleted one.
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), out);
}

// An encrypted input asks for its password; a conversion that fails takes
// its new output away again (an older file of that name stays).
TEST_F(Tools, AFailedConversionLeavesNoNewOutput) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("tar"));
  const std::string locked =
      Pack("locked.zip", {{"secret.txt", "top secret\n"}}, "zip -q -X -P opensesame {out} secret.txt");
  ASSERT_TRUE(Start({}));
  const std::string out = (dir.path() / "locked.tar.gz").string();

  // The converter asks for the password as extraction does.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
    d.rxfedInput->setText(QString::fromStdString(locked));
    d.cbFormat->setCurrentIndex(kConvertGZipTar);
    EXPECT_EQ(d.OutputName(), out);
    d.buConvertClick();
    return d.result();
  });
  ui.ExpectModal([](QDialog& Dialog) {
    dynamic_cast<TfmGetPassword&>(Dialog).edPassword->setText(QStringLiteral("opensesame"));
    return static_cast<int>(mrOk);
  });
  ui.ExpectMessage(msgtext::kConvDone, mtInformation);
  main->CmdConvert("");
  const auto r = vsktest::RunTool("tar xzOf " + vsktest::ShellQuote(out) + " secret.txt");
  EXPECT_EQ(r.output, "top secret\n");
  EXPECT_FALSE(fs::exists(dir.path() / "locked.tar"));

  // A damaged input: the run fails and takes what it wrote away, the tar
  // it built on the way too; over an older output, that output stays.
  const std::string bad = DamagedZip();
  for (const bool existed : {false, true}) {
    SCOPED_TRACE(existed);
    const std::string target = (dir.path() / (existed ? "bad.tar" : "bad.tar.gz")).string();
    if (existed) vsktest::WriteFile(target, "an older output");
    ui.ExpectModal([&](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
      d.rxfedInput->setText(QString::fromStdString(bad));
      d.cbFormat->setCurrentIndex(existed ? 6 : kConvertGZipTar);
      EXPECT_EQ(d.OutputName(), target);
      if (existed) AskedFirst([&] { ui.ExpectMessage(kOverwriteQuestion, mtConfirmation, mrYes); });
      d.buConvertClick();
      return d.result();
    });
    ui.ExpectMessage(kHurtLeftOut, mtError);
    main->CmdConvert("");
    if (existed) {
      EXPECT_EQ(vsktest::ReadFile(target), "an older output");
    } else {
      EXPECT_FALSE(fs::exists(target));
      EXPECT_FALSE(fs::exists(dir.path() / "bad.tar"));
    }
  }
}

}  // namespace
}  // namespace brevane::testing
