// What the result messages of extraction, virus scan and delete say when
// entries were left out: each with its count and reason, the entries named
// in the output window.

#include <sys/mount.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <cerrno>
#include <cstring>

#include "app/dialogs/checkoutdlg.h"
#include "app/dialogs/extractdlg.h"
#include "app/dialogs/getpassword.h"
#include "app/dialogs/tooldialogs.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "base/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

class Results : public WindowTest {
 protected:
  void ExpectExtractDialog(const std::string& Destination, bool RestoreAttributes = false) {
    ui.ExpectModal([=](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmExtractDlg&>(Dialog);
      d.SetDestination(Destination);
      d.ckRestoreAttributes->setChecked(RestoreAttributes);
      d.SetFilesIndex(1);
      d.ckRestoreFolders->setChecked(true);
      d.ckCreateDirectories->setChecked(true);
      d.ckConfirmOverwrites->setChecked(false);
      d.bbExtractClick();
      return d.result();
    });
  }
  // The output window opened after the message, with the lines it must hold.
  void ExpectLeftOut(const std::vector<std::string>& Lines) {
    ui.ExpectModal([=](QDialog& Dialog) {
      EXPECT_EQ(&Dialog, fmViewOutput);
      const std::string text = fmViewOutput->meOutput->toPlainText().toStdString() + "\n";
      for (const std::string& line : Lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
      return static_cast<int>(mrOk);
    });
  }
  std::string Out(const std::string& Name) { return (dir.path() / Name).string(); }
  static std::string Text(int Code) { return vsk::MessageText(Code); }
  static std::string LeftOut(const std::string& Headline, const std::string& Lines, int Written) {
    return Headline + "\r\n\r\n" + Lines + "\r\n\r\n" + msgtext::kFilesExtracted + std::to_string(Written);
  }
};

TEST_F(Results, ExtractionSaysWhatWasLeftOutAndWhy) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  // Encrypted RAR entries: nothing comes out, and that is what is said.
  const std::string rar = std::string(BREVANE_FIXTURES_DIR) + "/rar/rar_encryption_data.rar";
  ASSERT_TRUE(Start({rar}));
  ASSERT_EQ(Model().RowCount(), 2);
  ExpectExtractDialog(Out("rar"));
  ui.ExpectMessage(LeftOut(msgtext::kExtractNothing,
                           msgtext::kLeftOutEncrypted + std::string("2 (") + Text(vsk::msg::EncryptedNotSupported) + ")",
                           0),
                   mtError);
  ExpectLeftOut({msgtext::kLeftOutTitle + rar, "> foo.txt ... " + Text(vsk::msg::EncryptedNotSupported),
                 "> bar.txt ... " + Text(vsk::msg::EncryptedNotSupported)});
  main->acExtractExecute();
  EXPECT_FALSE(fs::exists(Out("rar") + "/foo.txt"));

  // A plain file where a folder must go: the files could not be written, for
  // the system's reason, and none is counted.
  const std::string zip = Zip("tree.zip", {{"sub/a.txt", "a"}, {"sub/b.txt", "b"}, {"sub/c/d.txt", "d"}});
  main->DisplayArchive(zip);
  vsktest::WriteFile(Out("blocked") + "/sub", "a plain file");
  ExpectExtractDialog(Out("blocked"));
  ui.ExpectMessage(LeftOut(msgtext::kExtractNothing,
                           msgtext::kLeftOutCannotWrite + std::string("3 (") + std::strerror(ENOTDIR) + ")", 0),
                   mtError);
  ExpectLeftOut({"> sub/a.txt ... " + std::string(std::strerror(ENOTDIR)),
                 "> sub/c/d.txt ... " + std::string(std::strerror(ENOTDIR))});
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("blocked") + "/sub"), "a plain file");

  // A "../" entry is refused and counted; the others come out. The command
  // line's exit status tells.
  const std::string hostile = Pack("hostile.zip", {{"aa/escape.txt", "x"}, {"one.txt", "1"}, {"two.txt", "2"}},
                                   "zip -q -X -D {out} one.txt aa/escape.txt two.txt");
  std::string bytes = vsktest::ReadFile(hostile);
  for (auto at = bytes.find("aa/escape.txt"); at != std::string::npos; at = bytes.find("aa/escape.txt", at))
    bytes.replace(at, 3, "../");
  vsktest::WriteFile(hostile, bytes);
  main->DisplayArchive(hostile);
  ExpectExtractDialog(Out("hostile"));
  ui.ExpectMessage(LeftOut(msgtext::kExtractIncomplete,
                           msgtext::kLeftOutRefusedName + std::string("1 (") + Text(vsk::msg::InvalidFileName) + ")", 2),
                   mtError);
  ExpectLeftOut({"> ../escape.txt ... " + Text(vsk::msg::InvalidFileName)});
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("hostile") + "/two.txt"), "2");
  EXPECT_FALSE(fs::exists(dir.path() / "escape.txt"));
  const TRunResult result = main->CmdExtract({hostile, Out("cmd"), true, true, true, false, true, false, false});
  EXPECT_FALSE(result);
  EXPECT_EQ(result.Written(), 2);
  EXPECT_EQ(result.Count(vsk::eoRefusedName), 1);
}

TEST_F(Results, VirusScanIsNotDoneOrIncompleteWhenEntriesStayedIn) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const fs::path ran = dir.path() / "scanner-ran";
  const fs::path scanner = dir.path() / "scanner.sh";
  vsktest::WriteFile(scanner, "#!/bin/sh\nls \"$(dirname \"$1\")\" >> " + vsktest::ShellQuote(ran.string()) + "\n");
  fs::permissions(scanner, fs::perms::owner_all);

  // Every entry encrypted, the password refused: the scanner never starts.
  const std::string secret = Pack("secret.zip", {{"s.txt", "secret"}}, "zip -q -P pw {out} s.txt");
  ASSERT_TRUE(Start({secret}));
  Options.AVProduct = 1;
  Options.VirusScanner = scanner.string();
  Options.Parameters.clear();
  ui.ExpectModal([](QDialog& Dialog) {
    EXPECT_NE(dynamic_cast<TfmGetPassword*>(&Dialog), nullptr);
    return static_cast<int>(mrCancel);
  });
  ui.ExpectMessage(std::string(msgtext::kScanNotDone) + "\r\n\r\n" + msgtext::kLeftOutEncrypted + "1 (" +
                       Text(vsk::msg::InvalidPassword) + ")",
                   mtError);
  ExpectLeftOut({msgtext::kScanLeftOutTitle + secret, "> s.txt ... " + Text(vsk::msg::InvalidPassword)});
  EXPECT_FALSE(main->CmdVirusScan(secret));
  EXPECT_FALSE(fs::exists(ran));

  // One entry left out: the others are scanned, and the scan is incomplete.
  const std::string mixed = Pack("mixed.zip", {{"s.txt", "secret"}, {"p.txt", "plain"}}, "zip -q -P pw {out} s.txt");
  ASSERT_EQ(vsktest::RunTool("zip -q " + vsktest::ShellQuote(mixed) + " p.txt", dir.path() / "src-mixed.zip").exitCode, 0);
  main->FPassword.clear();
  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrCancel); });
  ui.ExpectMessage(std::string(msgtext::kScanIncomplete) + "\r\n\r\n" + msgtext::kLeftOutEncrypted + "1 (" +
                       Text(vsk::msg::InvalidPassword) + ")\r\n\r\n" + msgtext::kFilesScanned + "1",
                   mtError);
  ExpectLeftOut({"> s.txt ... " + Text(vsk::msg::InvalidPassword)});
  EXPECT_FALSE(main->CmdVirusScan(mixed));
  EXPECT_EQ(vsktest::ReadFile(ran), "p.txt\n");
}

// Check-out and conversion of an archive whose encrypted entry stays in
// (the password cancelled): the message names what was left out, and the
// disk holds what the message says.
TEST_F(Results, CheckOutAndConversionSayWhatWasLeftOut) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const fs::path ran = dir.path() / "scanner-ran";
  const fs::path scanner = dir.path() / "scanner.sh";
  vsktest::WriteFile(scanner, "#!/bin/sh\nfor f; do basename \"$f\"; done >> " + vsktest::ShellQuote(ran.string()) + "\n");
  fs::permissions(scanner, fs::perms::owner_all);
  const std::string mixed = Pack("mixed.zip", {{"s.txt", "secret"}, {"p.txt", "plain"}}, "zip -q -P pw {out} s.txt");
  ASSERT_EQ(vsktest::RunTool("zip -q " + vsktest::ShellQuote(mixed) + " p.txt", dir.path() / "src-mixed.zip").exitCode, 0);
  ASSERT_TRUE(Start({mixed}));
  main->ShellOpen = [](const std::string&) { return true; };
  Options.AVProduct = 1;
  Options.VirusScanner = scanner.string();
  Options.Parameters.clear();
  const auto cancelPassword = [&] {
    ui.ExpectModal([](QDialog& Dialog) {
      EXPECT_NE(dynamic_cast<TfmGetPassword*>(&Dialog), nullptr);
      return static_cast<int>(mrCancel);
    });
  };
  const std::string encrypted = msgtext::kLeftOutEncrypted + std::string("1 (") + Text(vsk::msg::InvalidPassword) + ")";

  // Checked out and scanned: the scan is incomplete and says why.
  const fs::path folder = dir.path() / "mixed";
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmCheckout&>(Dialog);
    EXPECT_TRUE(d.ckVirusScan->isEnabled());
    d.ckVirusScan->setChecked(true);
    d.edFolder->setText(QString::fromStdString(folder.string()));
    d.buOKClick();
    return d.result();
  });
  cancelPassword();
  ui.ExpectMessage(std::string(msgtext::kScanIncomplete) + "\r\n\r\n" + encrypted + "\r\n\r\n" +
                       msgtext::kFilesScanned + "1",
                   mtError);
  ExpectLeftOut({msgtext::kScanLeftOutTitle + mixed, "> s.txt ... " + Text(vsk::msg::InvalidPassword)});
  main->acCheckOutExecute();
  EXPECT_EQ(vsktest::ReadFile(folder / "p.txt"), "plain");
  EXPECT_FALSE(fs::exists(folder / "s.txt"));
  EXPECT_EQ(vsktest::ReadFile(ran), "p.txt\n");

  // Converted: one message that names the entry and its reason, and no
  // output is left.
  const std::string out = Out("mixed.tar");
  main->FPassword.clear();
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmConvertArc&>(Dialog);
    d.rxfedInput->setText(QString::fromStdString(mixed));
    d.cbFormat->setCurrentIndex(6);  // Tar
    d.rxfedOutput->setText(QString::fromStdString(out));
    d.buConvertClick();
    return d.result();
  });
  cancelPassword();
  ui.ExpectMessage(std::string(msgtext::kConvAborted) + "\r\n\r\ns.txt (" + Text(vsk::msg::InvalidPassword) + ")",
                   mtError);
  const TRunResult result = main->CmdConvert("");
  EXPECT_FALSE(result);
  EXPECT_EQ(result.Count(vsk::eoEncrypted), 1);
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(Results, DeletingOnAFullDiskSaysSoAndKeepsTheArchive) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const fs::path small = dir.path() / "small";
  fs::create_directories(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "a small tmpfs cannot be mounted here: " << std::strerror(errno);
  struct TUnmount {
    fs::path Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{small};
  // Two entries that do not compress fill the disk: a new archive of one of
  // them has no room beside the old one.
  const std::string made = Pack("full.zip", {{"a.bin", vsktest::RandomBytes(100000)},
                                             {"b.bin", vsktest::RandomBytes(100000, 7)},
                                             {"c.txt", "small"}},
                                "zip -q -0 -X {out} a.bin b.bin c.txt");
  const std::string zip = (small / "full.zip").string();
  fs::copy_file(made, zip);
  const std::string before = vsktest::ReadFile(zip);
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().RowCount(), 3);
  for (int r = 0; r < Model().RowCount(); ++r)
    if (Model().Row(r).Caption == QStringLiteral("c.txt"))
      main->dfelvArchiveView->selectionModel()->select(Model().index(r, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
  ui.ExpectMessage(msgtext::kDeleteSelectedFile, mtConfirmation, mrYes);
  ui.ExpectMessage(std::string(msgtext::kDeleteFailed) + Text(vsk::msg::DiskFull), mtError);
  main->acDeleteExecute();
  EXPECT_TRUE(vsktest::ReadFile(zip) == before);
  EXPECT_EQ(Model().RowCount(), 3);
}

// With "Restore file attributes" a file a Unix archiver stored as
// executable comes out executable, without setuid, and never writable by
// more than the user's umask allows; a DOS-made one does not.
TEST_F(Results, UnixPermissionBitsComeBackWithTheAttributes) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  ::umask(022);
  const std::vector<TEntry> files = {
      {"run.sh", "#!/bin/sh\n"}, {"suid.sh", "#!/bin/sh\n"}, {"data.txt", "data"}, {"open.txt", "all"}};
  const std::string modes = "chmod 755 run.sh && chmod 4750 suid.sh && chmod 640 data.txt && chmod 666 open.txt && ";
  const std::string zip = Pack("unix.zip", files, modes + "zip -q -X {out} run.sh suid.sh data.txt open.txt");
  const std::string tar = Pack("unix.tar", files, modes + "tar cf {out} run.sh suid.sh data.txt open.txt");
  const std::string dos = Pack("dos.zip", files, modes + "zip -q -X -k {out} run.sh suid.sh data.txt");
  const auto mode = [&](const std::string& Folder, const std::string& Name) {
    EXPECT_TRUE(fs::exists(dir.path() / Folder / Name)) << Folder << "/" << Name;
    const fs::perms p = fs::status(dir.path() / Folder / Name).permissions();
    return static_cast<int>(p & fs::perms::all) | ((p & fs::perms::set_uid) != fs::perms::none ? 04000 : 0);
  };
  ASSERT_TRUE(Start({zip}));
  Options.ConfirmDecompress = false;
  for (const std::string& archive : {zip, tar}) {
    SCOPED_TRACE(archive);
    main->DisplayArchive(archive);
    const std::string folder = "attr-" + fs::path(archive).extension().string().substr(1);
    ExpectExtractDialog(Out(folder), true);
    main->acExtractExecute();
    EXPECT_EQ(mode(folder, "run.sh"), 0755);
    EXPECT_EQ(mode(folder, "suid.sh"), 0750);
    EXPECT_EQ(mode(folder, "data.txt"), 0640);
    EXPECT_EQ(mode(folder, "open.txt"), 0644);
  }
  // Without the box, and from DOS, the files are made as the system makes
  // new files.
  ExpectExtractDialog(Out("plain"), false);
  main->acExtractExecute();
  EXPECT_EQ(mode("plain", "run.sh") & 0111, 0);
  main->DisplayArchive(dos);
  ExpectExtractDialog(Out("dos"), true);
  main->acExtractExecute();
  // zip -k stores DOS names.
  EXPECT_EQ(mode("dos", "RUN.SH") & 0111, 0);
  EXPECT_EQ(mode("dos", "DATA.TXT") & 0600, 0600);
}

}  // namespace
}  // namespace brevane::testing
