#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>
#include <functional>
#include <utility>

#include "app/dialogs/batchdlg.h"
#include "app/dialogs/getpassword.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "base/messages.h"
#include "tests/app/main/window/windowtest.h"
#include "tests/support/canary.h"

namespace brevane::testing {
namespace {

class Batch : public WindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip") && vsktest::HaveTool("tar") &&
                vsktest::HaveTool("jlha") && vsktest::HaveTool("lhasa"))
        << "zip, unzip, tar, jlha-utils and lhasa are needed";
    zip = Zip("a.zip", {{"z1.txt", "zip one\n"}, {"d/z2.txt", vsktest::TextBytes(30000)}});
    tar = Pack("b.tar", {{"t1.txt", "tar one\n"}, {"d/t2.bin", vsktest::RandomBytes(5000)}}, "tar cf {out} t1.txt d");
    lzh = Pack("c.lzh", {{"l1.txt", vsktest::TextBytes(9000, 5)}}, "jlha a {out} l1.txt > /dev/null");
    ASSERT_TRUE(Start({}));
  }

  // Runs the batch operation Tag over Files: Options acts on the dialog on
  // each page before Next; the results log is returned. Each page before
  // the progress page is left by one Next (a page may keep a click for
  // itself, as the output folder's does when it makes the folder); the
  // last of them runs the operation.
  std::string RunBatch(int Tag, const std::vector<std::string>& Files,
                       const std::function<void(TfmBatch&)>& Options = {}) {
    const int pages[] = {0, 1, 1, 2, 3, 2, 3, 2};
    std::string log;
    ui.ExpectModal([&](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmBatch&>(Dialog);
      d.AddSelectedFiles(Files);
      int moves = 0;
      for (int guard = 0; guard < 8 && d.CurrentPage() != bpResult; ++guard) {
        if (Options) Options(d);
        const int page = d.CurrentPage();
        d.buNext->click();
        if (d.CurrentPage() != page) ++moves;
      }
      EXPECT_EQ(moves, pages[Tag]);
      EXPECT_TRUE(d.buNext->isHidden());
      EXPECT_EQ(d.CurrentPage(), bpResult);
      EXPECT_EQ(d.buCancel->text(), QStringLiteral("&Close"));
      log = d.meResults->toPlainText().toStdString();
      return static_cast<int>(mrOk);
    });
    main->acBatchExecute(Tag);
    return log;
  }

  static void Has(const std::string& Log, const std::string& Line) {
    EXPECT_NE(Log.find(Line + "\n"), std::string::npos) << "missing: " << Line << "\nin:\n" << Log;
  }

  static vsktest::ToolResult Tool(const std::string& Command, const std::string& File) {
    return vsktest::RunTool(Command + " " + vsktest::ShellQuote(File));
  }

  std::string zip, tar, lzh;
};

TEST_F(Batch, TestAndScanThreeArchives) {
  const std::string missing = (dir.path() / "gone.zip").string();
  // Damaged stored data fails the test, with the library's reason.
  const std::string bad = Pack("bad.zip", {{"hurt.txt", std::string(5000, 'h')}}, "zip -q -0 -X {out} hurt.txt");
  std::string bytes = vsktest::ReadFile(bad);
  bytes[bytes.find(std::string(100, 'h')) + 7] = 'x';
  vsktest::WriteFile(bad, bytes);

  std::string log = RunBatch(boTest, {zip, tar, lzh, missing, bad});
  Has(log, zip + " ::: Passed");
  Has(log, tar + " ::: Passed");
  Has(log, lzh + " ::: Passed");
  Has(log, missing + " ::: ERROR: File missing");
  EXPECT_NE(log.find(">> " + bad + " ::: FAILED << ("), std::string::npos) << log;
  EXPECT_NE(log.find(msgtext::kBatchCompleted), std::string::npos);

  // No scanner: said so, no dialog.
  Options.AVProduct = 0;
  ui.ExpectMessage(msgtext::kConfigureScanner, mtInformation);
  main->acBatchExecute(boVirusScan);

  const fs::path seen = dir.path() / "scan.log";
  const fs::path scanner = dir.path() / "scanner.sh";
  vsktest::WriteFile(scanner,
                     "#!/bin/sh\nfind \"$(dirname \"$1\")\" -type f >> " + vsktest::ShellQuote(seen.string()) + "\n");
  fs::permissions(scanner, fs::perms::owner_all);
  Options.AVProduct = 1;
  Options.VirusScanner = scanner.string();
  Options.Parameters = "*.*";
  log = RunBatch(boVirusScan, {zip, tar, lzh, missing});
  Has(log, zip + " ::: Archive scanned");
  Has(log, lzh + " ::: Archive scanned");
  Has(log, missing + " ::: File missing");
  const std::string scanned = vsktest::ReadFile(seen);
  for (const char* name : {"/d/z2.txt", "/d/t2.bin", "/l1.txt"})
    EXPECT_NE(scanned.find(name), std::string::npos) << scanned;
}

TEST_F(Batch, ExtractAndConvertThreeArchives) {
  std::string log = RunBatch(boExtract, {zip, tar, lzh});
  Has(log, zip + " -> " + dir.str() + "/a_zip/ ::: 2 files extracted");
  Has(log, lzh + " -> " + dir.str() + "/c_lzh/ ::: 1 file extracted");
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "b_tar/d/t2.bin"), vsktest::RandomBytes(5000));
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "c_lzh/l1.txt"), vsktest::TextBytes(9000, 5));

  // Into another folder, as zip, checked by unzip; the sources stay.
  const std::string out = (dir.path() / "out").string();
  log = RunBatch(boConvert, {zip, tar, lzh}, [&](TfmBatch& d) {
    if (d.CurrentPage() == bpSelectOutputDir) {
      d.rbOutputFolder->setChecked(true);
      d.rxdeOutputFolder->setText(QString::fromStdString(out));
    }
    if (d.CurrentPage() == bpSelectArcFmt) d.rbZip->setChecked(true);
  });
  for (const char* made : {"/a_zip.zip", "/b_tar.zip", "/c_lzh.zip"}) {
    Has(log, out + made + " ::: Created");
    const auto t = Tool("unzip -t", out + made);
    EXPECT_EQ(t.exitCode, 0) << t.output;
  }
  EXPECT_TRUE(fs::exists(zip));

  // Again, as lha, deleting the sources: an existing output is asked
  // about, and "No" skips that file without a line.
  vsktest::WriteFile(out + "/b_tar.lha", "keep");
  log = RunBatch(boConvert, {tar, lzh}, [&](TfmBatch& d) {
    if (d.CurrentPage() == bpSelectOutputDir) {
      d.rbOutputFolder->setChecked(true);
      d.rxdeOutputFolder->setText(QString::fromStdString(out));
    }
    if (d.CurrentPage() == bpSelectArcFmt) {
      d.rbLha->setChecked(true);
      d.ckDeleteSource->setChecked(true);
      AskedFirst([&] {
        ui.ExpectMessage(msgtext::kBatchOverwriteStart + ("\"" + out + "/b_tar.lha\"") + msgtext::kBatchOverwriteEnd,
                         mtConfirmation, mrNo);
      });
    }
  });
  EXPECT_EQ(log.find("b_tar.lha"), std::string::npos) << log;
  EXPECT_EQ(vsktest::ReadFile(out + "/b_tar.lha"), "keep");
  EXPECT_TRUE(fs::exists(tar));
  Has(log, out + "/c_lzh.lha ::: Created");
  const auto t = Tool("lhasa t", out + "/c_lzh.lha");
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_FALSE(fs::exists(lzh));

  // A conversion that fails keeps the source, even when asked to delete it.
  const std::string text = (dir.path() / "plain.zip").string();
  vsktest::WriteFile(text, "not an archive");
  log = RunBatch(boConvert, {text}, [&](TfmBatch& d) {
    if (d.CurrentPage() == bpSelectArcFmt) d.ckDeleteSource->setChecked(true);
  });
  EXPECT_NE(log.find(dir.str() + "/plain_zip.zip ::: ERROR"), std::string::npos) << log;
  EXPECT_TRUE(fs::exists(text));

  // An output it was allowed to replace comes back when the conversion fails.
  vsktest::WriteFile(dir.path() / "plain_zip.zip", "an older output");
  log = RunBatch(boConvert, {text}, [&](TfmBatch& d) {
    if (d.CurrentPage() == bpSelectArcFmt) d.ckAutoOverwrite->setChecked(true);
  });
  EXPECT_NE(log.find(dir.str() + "/plain_zip.zip ::: ERROR"), std::string::npos) << log;
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "plain_zip.zip"), "an older output");
}

TEST_F(Batch, ConvertToGzAsksAboutTheTarBesideIt) {
  const auto toGz = [&](bool AutoOverwrite, const std::function<void()>& Asked) {
    return RunBatch(boConvert, {zip}, [&](TfmBatch& d) {
      if (d.CurrentPage() != bpSelectArcFmt) return;
      d.rbGz->setChecked(true);
      d.ckAutoOverwrite->setChecked(AutoOverwrite);
      if (Asked) AskedFirst(Asked);
    });
  };
  const fs::path gz = dir.path() / "a_zip.tar.gz", tar = dir.path() / "a_zip.tar";
  // Nothing at the tar's name: only the ".gz" is left.
  Has(toGz(false, {}), gz.string() + " ::: Created");
  EXPECT_EQ(Tool("tar tzf", gz.string()).output, "d/z2.txt\nz1.txt\n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(tar)));
  fs::remove(gz);

  // A file at the tar's name is asked about unless "overwrite without
  // asking" is ticked; No makes nothing.
  vsktest::Canaries canaries;
  canaries.Plant(tar);
  const std::string old = vsktest::ReadFile(tar);
  const std::string question = tar.string() + "\r\r" + msgtext::kFileAlreadyExist + msgtext::kTarNameToTrash;
  EXPECT_NE(toGz(false, [&] { ui.ExpectMessage(question, mtConfirmation, mrNo); }).find(gz.string() + " ::: ERROR"),
            std::string::npos);
  EXPECT_TRUE(canaries.Intact());
  EXPECT_FALSE(fs::exists(gz));
  Has(toGz(true, {}), gz.string() + " ::: Created");
  canaries.Agree(tar);
  EXPECT_TRUE(canaries.Intact());
  EXPECT_EQ(vsktest::ReadFile(fs::path(std::getenv("XDG_DATA_HOME")) / "Trash/files/a_zip.tar"), old);
  EXPECT_EQ(Tool("tar tzf", gz.string()).output, "d/z2.txt\nz1.txt\n");
}

// An encrypted entry asks for its password in a batch scan and convert;
// cancelled, it is named on the archive's line as left out.
TEST_F(Batch, EncryptedEntriesAreAskedForAndNamedWhenLeftOut) {
  const std::string mixed = Pack("m.zip", {{"s.txt", "secret"}, {"p.txt", "plain"}}, "zip -q -P pw {out} s.txt");
  ASSERT_EQ(vsktest::RunTool("zip -q " + vsktest::ShellQuote(mixed) + " p.txt", dir.path() / "src-m.zip").exitCode, 0);
  const std::string leftOut = std::string(msgtext::kBatchLeftOut) + "s.txt (" +
                              vsk::MessageText(vsk::msg::InvalidPassword) + ")";
  // The password question comes while the batch dialog runs.
  const auto password = [&](const char* Answer) {
    main->FPassword.clear();
    return [this, Answer, asked = false](TfmBatch&) mutable {
      if (std::exchange(asked, true)) return;
      ui.ExpectModal([Answer](QDialog& Dialog) {
        if (!Answer) return static_cast<int>(mrCancel);
        dynamic_cast<TfmGetPassword&>(Dialog).edPassword->setText(QString::fromUtf8(Answer));
        return static_cast<int>(mrOk);
      });
    };
  };

  const fs::path seen = dir.path() / "scan.log";
  const fs::path scanner = dir.path() / "scanner.sh";
  vsktest::WriteFile(scanner, "#!/bin/sh\nfor f; do basename \"$f\"; done >> " + vsktest::ShellQuote(seen.string()) + "\n");
  fs::permissions(scanner, fs::perms::owner_all);
  Options.AVProduct = 1;
  Options.VirusScanner = scanner.string();
  Options.Parameters.clear();
  std::string log = RunBatch(boVirusScan, {mixed}, password(nullptr));
  Has(log, mixed + msgtext::kBatchPartlyScanned + leftOut);
  EXPECT_EQ(vsktest::ReadFile(seen), "p.txt\n");

  // Convert: the password is asked for; cancelled, the entry is named and
  // nothing is made.
  log = RunBatch(boConvert, {mixed}, password(nullptr));
  Has(log, dir.str() + "/m_zip.zip ::: ERROR (" + leftOut + ")");
  EXPECT_FALSE(fs::exists(dir.path() / "m_zip.zip"));
  log = RunBatch(boConvert, {mixed}, password("pw"));
  Has(log, dir.str() + "/m_zip.zip ::: Created");
  EXPECT_EQ(vsktest::RunTool("unzip -p " + vsktest::ShellQuote(dir.str() + "/m_zip.zip") + " s.txt").output, "secret");
}

TEST_F(Batch, CreateAndAddToArchives) {
  const fs::path src = dir.path() / "src";
  fs::create_directories(src / "other");
  const std::string a = (src / "a.txt").string(), b = (src / "b.dat").string();
  const std::string clash = (src / "other/a.txt").string();
  vsktest::WriteFile(a, vsktest::TextBytes(20000, 3));
  vsktest::WriteFile(b, vsktest::RandomBytes(3000, 4));
  vsktest::WriteFile(clash, "clash");

  // Two a.txt of different folders into one output folder: the second is
  // refused, never written into the first's archive.
  const std::string out = (dir.path() / "made").string();
  std::string log = RunBatch(boCreate, {a, b, clash}, [&](TfmBatch& d) {
    if (d.CurrentPage() == bpSelectOutputDir) {
      d.rbOutputFolder->setChecked(true);
      d.rxdeOutputFolder->setText(QString::fromStdString(out));
    }
    if (d.CurrentPage() == bpSelectArcFmt) {
      EXPECT_FALSE(d.rbGz->isVisible());
      d.rbLzh->setChecked(true);
    }
  });
  const std::string archive = out + "/a_txt.lzh";
  Has(log, a + " -> " + archive + " ::: Created");
  Has(log, b + " -> " + out + "/b_dat.lzh ::: Created");
  EXPECT_NE(log.find(clash + " -> " + archive + msgtext::kBatchSameOutput), std::string::npos) << log;
  auto t = Tool("lhasa v", archive);
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_NE(t.output.find("a.txt"), std::string::npos) << t.output;
  EXPECT_EQ(t.output.find(" 5 "), std::string::npos) << t.output;

  // As tar beside the source, overwriting without asking.
  vsktest::WriteFile(src.string() + "/b_dat.tar", "old");
  log = RunBatch(boCreate, {b}, [](TfmBatch& d) {
    if (d.CurrentPage() == bpSelectArcFmt) {
      d.rbTar->setChecked(true);
      d.ckAutoOverwrite->setChecked(true);
    }
  });
  t = Tool("tar tf", src.string() + "/b_dat.tar");
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_EQ(t.output, "b.dat\n");

  // Adding two files to the three archives, read back by their own tools.
  log = RunBatch(boAdd, {zip, tar, lzh, (dir.path() / "none.zip").string()}, [&](TfmBatch& d) {
    if (d.CurrentPage() == bpAddOptions) d.AddAddFiles({a, b});
  });
  Has(log, zip + " ::: Files added");
  Has(log, tar + " ::: Files added");
  Has(log, lzh + " ::: Files added");
  Has(log, dir.str() + "/none.zip ::: ERROR: File missing");
  t = Tool("unzip -t", zip);
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_NE(t.output.find("b.dat"), std::string::npos) << t.output;
  t = Tool("tar tf", tar);
  EXPECT_NE(t.output.find("a.txt"), std::string::npos) << t.output;
  EXPECT_NE(t.output.find("d/t2.bin"), std::string::npos) << t.output;
  t = Tool("lhasa t", lzh);
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_NE(t.output.find("b.dat"), std::string::npos) << t.output;
}

// Self-extracting programs of a zip and an lzh beside them, each run to
// list its archive; a missing source and a cabinet made by the batch.
TEST_F(Batch, MakeExeAndCabinet) {
  ASSERT_TRUE(vsktest::HaveTool("cabextract")) << "cabextract is needed";
  const std::string missing = (dir.path() / "gone.zip").string();
  std::string log = RunBatch(boMakeSFX, {zip, lzh, missing});
  const std::string zipExe = (dir.path() / "a_zip.exe").string();
  const std::string lzhExe = (dir.path() / "c_lzh.exe").string();
  Has(log, zipExe + " ::: Created");
  Has(log, lzhExe + " ::: Created");
  Has(log, missing + " ::: ERROR: Source file missing");
  auto t = vsktest::RunTool(vsktest::ShellQuote(zipExe) + " -l");
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_NE(t.output.find("z2.txt"), std::string::npos) << t.output;
  t = vsktest::RunTool(vsktest::ShellQuote(lzhExe) + " -t");
  EXPECT_EQ(t.exitCode, 0) << t.output;
  t = Tool("unzip -t", zipExe);
  EXPECT_EQ(t.exitCode, 0) << t.output;

  const std::string src = (dir.path() / "one.txt").string();
  vsktest::WriteFile(src, vsktest::TextBytes(40000, 3));
  log = RunBatch(boCreate, {src}, [](TfmBatch& d) {
    if (d.CurrentPage() == bpSelectArcFmt) d.rbCab->setChecked(true);
  });
  const std::string cab = (dir.path() / "one_txt.cab").string();
  Has(log, src + " -> " + cab + " ::: Created");
  t = Tool("cabextract -t", cab);
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_NE(t.output.find("one.txt"), std::string::npos) << t.output;
}

TEST_F(Batch, PagesCheckWhatWasEntered) {
  ui.ExpectModal([&](QDialog& Dialog) {
    AskedFirst([&] {
      ui.ExpectMessage(msgtext::kBatchNoFiles, mtInformation);
      ui.ExpectMessage(msgtext::kBatchFolderFailed, mtError);
      ui.ExpectMessage(msgtext::kBatchNoAddFiles, mtInformation);
      ui.ExpectMessage(msgtext::kBatchConfirmCancel, mtConfirmation, mrNo);
      ui.ExpectMessage(msgtext::kBatchConfirmCancel, mtConfirmation, mrYes);
    });
    auto& d = dynamic_cast<TfmBatch&>(Dialog);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Batch Extract Archive"));
    d.buNext->click();
    EXPECT_EQ(d.CurrentPage(), bpSelectFiles);
    d.AddSelectedFiles({zip, zip});
    EXPECT_EQ(d.SelectedFiles().size(), 1u);
    d.buNext->click();
    EXPECT_EQ(d.CurrentPage(), bpSelectOutputDir);
    // A folder is made on the first click, which stays on the page.
    d.rbOutputFolder->setChecked(true);
    const std::string made = (dir.path() / "new/folder").string();
    d.rxdeOutputFolder->setText(QString::fromStdString(made));
    d.buNext->click();
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_EQ(d.CurrentPage(), bpSelectOutputDir);
    // One that cannot be made is an error.
    vsktest::WriteFile(dir.path() / "file", "x");
    d.rxdeOutputFolder->setText(QString::fromStdString((dir.path() / "file/sub").string()));
    d.buNext->click();
    EXPECT_EQ(d.CurrentPage(), bpSelectOutputDir);
    // The add operation needs files to add.
    d.SetUp(boAdd);
    d.buNext->click();
    EXPECT_EQ(d.CurrentPage(), bpAddOptions);
    d.buNext->click();
    EXPECT_EQ(d.CurrentPage(), bpAddOptions);
    d.buCancel->click();  // No: stays
    d.buCancel->click();  // Yes
    return d.result();
  });
  main->acBatchExecute(boExtract);
}

}  // namespace
}  // namespace brevane::testing
