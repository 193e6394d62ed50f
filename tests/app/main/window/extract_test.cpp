#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTreeView>
#include <QUrl>

#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/dialogs/extractdlg.h"
#include "app/dialogs/getpassword.h"
#include "app/dialogs/overwritedlg.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/components.h"
#include "app/main/folders.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "app/main/textutil.h"
#include "archive/formats/ace/unace.h"
#include "archive/formats/uu/uudecode.h"
#include "base/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

class Extraction : public WindowTest {
 protected:
  // Answers the extract dialog: destination, all or the selected files, and
  // whether existing files are asked about.
  void ExpectExtractDialog(const std::string& Destination, bool AllFiles, bool Confirm = false) {
    ui.ExpectModal([=](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmExtractDlg&>(Dialog);
      d.SetDestination(Destination);
      d.SetFilesIndex(AllFiles ? 1 : 0);
      d.ckRestoreFolders->setChecked(true);
      d.ckCreateDirectories->setChecked(true);
      d.ckDateAttribute->setChecked(true);
      d.ckConfirmOverwrites->setChecked(Confirm);
      d.bbExtractClick();
      return d.result();
    });
  }
  void ExpectPassword(const std::string& Answer, bool Ok = true) {
    ui.ExpectModal([=](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmGetPassword&>(Dialog);
      d.edPassword->setText(QString::fromStdString(Answer));
      return Ok ? static_cast<int>(mrOk) : static_cast<int>(mrCancel);
    });
  }
  void ExpectOverwrite(int Result, const std::string& AskedAbout = {}) {
    ui.ExpectModal([this, Result, AskedAbout](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmOverwriteDlg&>(Dialog);
      // Asked while the window is disabled for the run: the question itself can be answered.
      EXPECT_TRUE(d.isEnabled());
      EXPECT_FALSE(main->isEnabled());
      if (!AskedAbout.empty()) {
        EXPECT_NE(d.laReplaceFilename->text().toStdString().find(AskedAbout), std::string::npos)
            << d.laReplaceFilename->text().toStdString();
      }
      if (Result == mrOverwriteRename) {
        d.bbRenameClick();
        return d.result();
      }
      return Result;
    });
  }
  std::string Out(const std::string& Name = "out") { return (dir.path() / Name).string(); }
  std::string Completed(int N) { return msgtext::kExtractCompleted + std::to_string(N); }
  void SelectRows(const std::vector<int>& Rows) {
    main->dfelvArchiveView->clearSelection();
    for (int r : Rows)
      main->dfelvArchiveView->selectionModel()->select(Model().index(r, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  int RowOf(const std::string& Path) {
    for (int r = 0; r < Model().RowCount(); ++r)
      if (Model().Row(r).Data.Folder + Model().Row(r).Caption.toStdString() == Path) return r;
    ADD_FAILURE() << "no row " << Path;
    return -1;
  }
};

TEST(ComponentChoice, OneComponentPerClassServesEveryTypeOfIt) {
  const TArchiveComponents c;
  EXPECT_EQ(c.Readers().size(), 13u);
  EXPECT_EQ(c.Writers().size(), 7u);
  EXPECT_NE(dynamic_cast<vsk::TUnZip*>(c.Reader(vsk::atZipMV)), nullptr);
  EXPECT_EQ(c.Reader(vsk::atZipMV), c.Reader(vsk::atZipExe));
  EXPECT_NE(c.Reader(vsk::atJar), c.Reader(vsk::atZip));
  EXPECT_NE(dynamic_cast<vsk::TUnJar*>(c.Reader(vsk::atJar)), nullptr);
  EXPECT_EQ(c.Reader(vsk::atLzhExe), c.Reader(vsk::atLha));
  EXPECT_NE(dynamic_cast<vsk::TUUDecode*>(c.Reader(vsk::atUUE)), nullptr);
  EXPECT_NE(dynamic_cast<vsk::TUnACE*>(c.Reader(vsk::atAceExe)), nullptr);
  for (auto t : {vsk::atNA, vsk::atHA, vsk::atMsGZ, vsk::atJarExe, vsk::atTarGZip, vsk::atPak})
    EXPECT_EQ(c.Reader(t), nullptr) << int(t);
  // One LHA writer for both extensions; a gzip-compressed tar is the tar writer.
  EXPECT_EQ(c.Writer(vsk::atLzh), c.Writer(vsk::atLha));
  EXPECT_EQ(c.Writer(vsk::atTarGZip), c.Writer(vsk::atTar));
  EXPECT_NE(dynamic_cast<vsk::TTar*>(c.Writer(vsk::atTar)), nullptr);
  EXPECT_EQ(c.Writer(vsk::atZipExe), nullptr);
  EXPECT_EQ(c.ClassName(*c.Reader(vsk::atGZip)), "tungzip");
  EXPECT_EQ(c.ClassName(*c.Writer(vsk::atBh)), "tblakhole");
  EXPECT_EQ(WriterTypeForArchive(vsk::atZip), vsk::atZip);
  EXPECT_EQ(WriterTypeForArchive(vsk::atGZip), vsk::atNA);
}

TEST_F(Extraction, AllAndSelectedEntriesOfAZipComeOutByteForByte) {
  const std::string big = vsktest::TextBytes(300000), bin = vsktest::RandomBytes(70000);
  const std::string zip = Zip("set.zip", {{"readme.txt", "hello\n"},
                                          {"docs/report.txt", big},
                                          {"img/pic.bin", bin},
                                          {"other/report.txt", "second report\n"}});
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().RowCount(), 4);

  // No row selected: all files, and the choice cannot be changed. The
  // first extraction's folder tree opens at the archive's folder.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmExtractDlg&>(Dialog);
    auto* folders = dynamic_cast<QFileSystemModel*>(d.dfstvExplorer->model());
    EXPECT_EQ(folders->filePath(d.dfstvExplorer->currentIndex()).toStdString(), dir.str());
    EXPECT_FALSE(d.rgFiles->isEnabled());
    EXPECT_EQ(d.FilesIndex(), 1);
    return static_cast<int>(mrCancel);
  });
  main->acExtractExecute();
  ExpectExtractDialog(Out("all"), true);
  ui.ExpectMessage(Completed(4), mtInformation);
  main->acExtractExecute();
  EXPECT_TRUE(vsktest::ReadFile(Out("all") + "/docs/report.txt") == big);
  EXPECT_TRUE(vsktest::ReadFile(Out("all") + "/img/pic.bin") == bin);
  EXPECT_EQ(vsktest::ReadFile(Out("all") + "/readme.txt"), "hello\n");
  EXPECT_EQ(vsktest::ReadFile(Out("all") + "/other/report.txt"), "second report\n");
  EXPECT_EQ(CurrentReader, main->Components.Reader(vsk::atZip));
  EXPECT_EQ(CurrentWriter, nullptr);
  EXPECT_EQ(main->LedColor(), kLedIdle);
  EXPECT_FALSE(main->SimplePanel());

  // One row selected, as a click leaves it: offered, but all files stay
  // chosen; picked rows are chosen.
  SelectRows({RowOf("readme.txt")});
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmExtractDlg&>(Dialog);
    EXPECT_TRUE(d.rgFiles->isEnabled());
    EXPECT_EQ(d.FilesIndex(), 1);
    return static_cast<int>(mrCancel);
  });
  main->acExtractExecute();

  // Selected rows are passed by their exact stored paths: the report of the
  // other folder stays in the archive.
  SelectRows({RowOf("docs/report.txt"), RowOf("readme.txt")});
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(dynamic_cast<TfmExtractDlg&>(Dialog).FilesIndex(), 0);
    return static_cast<int>(mrCancel);
  });
  main->acExtractExecute();
  ExpectExtractDialog(Out("sel"), false);
  ui.ExpectMessage(Completed(2), mtInformation);
  main->acExtractExecute();
  EXPECT_TRUE(vsktest::ReadFile(Out("sel") + "/docs/report.txt") == big);
  EXPECT_TRUE(fs::exists(Out("sel") + "/readme.txt"));
  EXPECT_FALSE(fs::exists(Out("sel") + "/other"));
  EXPECT_FALSE(fs::exists(Out("sel") + "/img"));

  // Without ConfirmDecompress no message ends a good run.
  Options.ConfirmDecompress = false;
  ExpectExtractDialog(Out("quiet"), true);
  main->acExtractExecute();
  EXPECT_TRUE(fs::exists(Out("quiet") + "/img/pic.bin"));

  // The command-line form extracts everything; the selected form only the
  // selected rows, without a message.
  Options.ConfirmDecompress = true;
  ui.ExpectMessage(Completed(4), mtInformation);
  main->CmdExtract({zip, Out("cmd"), true, true, true, false, true, true, false});
  EXPECT_TRUE(vsktest::ReadFile(Out("cmd") + "/docs/report.txt") == big);
  SelectRows({RowOf("other/report.txt")});
  main->CmdExtract({"", Out("cmdsel"), true, false, true, false, true, false, true});
  EXPECT_TRUE(fs::exists(Out("cmdsel") + "/other/report.txt"));
  EXPECT_FALSE(fs::exists(Out("cmdsel") + "/docs"));
}

TEST_F(Extraction, AFilterLimitsExtractionToTheShownRows) {
  const std::string zip = Zip("mixed.zip", {{"a/notes.txt", "a notes\n"},
                                            {"b/notes.txt", "b notes\n"},
                                            {"b/data.bin", "binary"},
                                            {"top.txt", "top\n"}});
  ASSERT_TRUE(Start({zip}));
  main->rcbFilter->SetText("*.txt");
  main->sbApplyFilterClick();
  ASSERT_EQ(Model().RowCount(), 3);
  ExpectExtractDialog(Out("filtered"), true);
  ui.ExpectMessage(Completed(3), mtInformation);
  main->acExtractExecute();
  EXPECT_TRUE(fs::exists(Out("filtered") + "/a/notes.txt"));
  EXPECT_TRUE(fs::exists(Out("filtered") + "/top.txt"));
  EXPECT_FALSE(fs::exists(Out("filtered") + "/b/data.bin"));

  SelectRows({RowOf("b/notes.txt")});
  ExpectExtractDialog(Out("one"), false);
  ui.ExpectMessage(Completed(1), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("one") + "/b/notes.txt"), "b notes\n");
  EXPECT_FALSE(fs::exists(Out("one") + "/a"));
}

TEST_F(Extraction, OverwriteAnswers) {
  const std::string zip = Pack("six.zip",
                               {{"f1.txt", "new 1"},
                                {"f2.txt", "new 2"},
                                {"f3.txt", "new 3"},
                                {"f4.txt", "new 4"},
                                {"f5.txt", "new 5"},
                                {"f6.txt", "new 6"}},
                               "zip -q -X {out} f1.txt f2.txt f3.txt f4.txt f5.txt f6.txt");
  ASSERT_TRUE(Start({zip}));
  const auto prepare = [&](const std::string& Name, const std::vector<int>& Existing) {
    for (int i : Existing) vsktest::WriteFile(Out(Name) + "/f" + std::to_string(i) + ".txt", "old");
  };
  const auto content = [&](const std::string& Name, int i) {
    return vsktest::ReadFile(Out(Name) + "/f" + std::to_string(i) + ".txt");
  };

  // Yes, No, then Yes to All: the rest is overwritten without asking.
  prepare("a", {1, 2, 3, 4, 5});
  ExpectExtractDialog(Out("a"), true, true);
  ExpectOverwrite(mrYes, "f1.txt");
  ExpectOverwrite(mrNo, "f2.txt");
  ExpectOverwrite(mrOverwriteYesToAll, "f3.txt");
  ui.ExpectMessage(Completed(5), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(content("a", 1), "new 1");
  EXPECT_EQ(content("a", 2), "old");
  EXPECT_EQ(content("a", 3), "new 3");
  EXPECT_EQ(content("a", 5), "new 5");
  EXPECT_EQ(content("a", 6), "new 6");

  // No to All keeps every later existing file without asking, and still
  // extracts the files that do not exist yet.
  prepare("b", {1, 2, 4});
  ExpectExtractDialog(Out("b"), true, true);
  ExpectOverwrite(mrOverwriteNoToAll, "f1.txt");
  ui.ExpectMessage(Completed(3), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(content("b", 1), "old");
  EXPECT_EQ(content("b", 2), "old");
  EXPECT_EQ(content("b", 3), "new 3");
  EXPECT_EQ(content("b", 4), "old");
  EXPECT_EQ(content("b", 6), "new 6");

  // The next run asks again; Rename writes the entry under the new name.
  prepare("c", {1});
  ExpectExtractDialog(Out("c"), true, true);
  ExpectOverwrite(mrOverwriteRename, "f1.txt");
  ui.ExpectInput(dlgtext::kRenameFilePrompt, true, Out("c") + "/renamed.txt");
  ui.ExpectMessage(Completed(6), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(content("c", 1), "old");
  EXPECT_EQ(vsktest::ReadFile(Out("c") + "/renamed.txt"), "new 1");

  // Cancel stops the run; the reader's flag tells the command so.
  prepare("d", {2});
  ExpectExtractDialog(Out("d"), true, true);
  ExpectOverwrite(mrCancel, "f2.txt");
  ui.ExpectMessage(std::string(msgtext::kExtractCancelled) + "1", mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(content("d", 1), "new 1");
  EXPECT_EQ(content("d", 2), "old");
  EXPECT_FALSE(fs::exists(Out("d") + "/f3.txt"));

  // Without confirmation everything is overwritten.
  prepare("e", {1, 2});
  ExpectExtractDialog(Out("e"), true, false);
  ui.ExpectMessage(Completed(6), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(content("e", 2), "new 2");
}

TEST_F(Extraction, PasswordsAreAskedOnceAndAskedAgainAfterAFailure) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string zip = Pack("secret.zip", {{"one.txt", "first secret\n"}, {"two.txt", "second secret\n"}},
                               "zip -q -P letmein {out} one.txt two.txt");
  ASSERT_TRUE(Start({zip}));

  // A wrong answer is refused and asked again; the right one then serves
  // every further entry.
  ExpectExtractDialog(Out("ok"), true);
  ExpectPassword("wrong");
  ExpectPassword("letmein");
  ui.ExpectMessage(Completed(2), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("ok") + "/one.txt"), "first secret\n");
  EXPECT_EQ(vsktest::ReadFile(Out("ok") + "/two.txt"), "second secret\n");
  EXPECT_EQ(main->FPassword, "letmein");

  // The remembered password is used without asking in the next run.
  ExpectExtractDialog(Out("again"), true);
  ui.ExpectMessage(Completed(2), mtInformation);
  main->acExtractExecute();
  EXPECT_TRUE(fs::exists(Out("again") + "/two.txt"));

  // Refusing to give one skips the encrypted entries without asking again
  // and ends with the password message, whatever else was reported.
  main->FPassword.clear();
  ExpectExtractDialog(Out("refused"), true);
  ExpectPassword("", false);
  ui.ExpectMessage(std::string(msgtext::kExtractPasswordError) + "0", mtError);
  ui.ExpectModal([](QDialog& Dialog) {
    EXPECT_EQ(&Dialog, fmViewOutput);
    const std::string text = fmViewOutput->meOutput->toPlainText().toStdString();
    EXPECT_NE(text.find("> one.txt ... Invalid password\n> two.txt ... Invalid password"), std::string::npos) << text;
    return static_cast<int>(mrOk);
  });
  main->acExtractExecute();
  EXPECT_FALSE(fs::exists(Out("refused") + "/one.txt"));
  EXPECT_FALSE(fs::exists(Out("refused") + "/two.txt"));
}

TEST_F(Extraction, ACrcErrorEndsWithTheCrcMessageAndTheErrorBlock) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string zip = Pack("bad.zip", {{"Good.txt", "good data\n"}, {"Damaged.txt", std::string(4000, 'x')}},
                               "zip -q -0 {out} Good.txt Damaged.txt");
  // Change one byte inside the stored data of the second entry.
  std::string bytes = vsktest::ReadFile(zip);
  const auto at = bytes.find(std::string(100, 'x'));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 50] = 'y';
  vsktest::WriteFile(zip, bytes);

  ASSERT_TRUE(Start({zip}));
  fmViewOutput->meOutput->setPlainText(QStringLiteral("an earlier block"));
  ExpectExtractDialog(Out(), true);
  // Only the file that passed counts; the output window, opened after the
  // message, names the one that failed below the last error block.
  ui.ExpectMessage(std::string(msgtext::kExtractCrcError) + "1", mtError);
  ui.ExpectModal([](QDialog& Dialog) {
    EXPECT_EQ(&Dialog, fmViewOutput);
    return static_cast<int>(mrOk);
  });
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out() + "/Good.txt"), "good data\n");
  const std::string block = fmViewOutput->meOutput->toPlainText().toStdString();
  EXPECT_EQ(block, ":: ERROR - tunzip ::\nArchive  : " + [&] {
    std::string s = zip;
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }() + "\nFilename : damaged.txt\nError No : 25151\nMessage  : File fails CRC check\nDetails  : \n\n\n" +
                   msgtext::kLeftOutTitle + zip + "\n> Damaged.txt ... File fails CRC check");
}

TEST_F(Extraction, TarArchivesAndTypesWithoutAReader) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string tar = Pack("plain.tar", {{"x.txt", "x"}, {"d/y.txt", "why"}}, "tar cf {out} x.txt d");
  ASSERT_TRUE(Start({tar}));
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atTar);
  ExpectExtractDialog(Out("tar"), true);
  ui.ExpectMessage(Completed(2), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("tar") + "/d/y.txt"), "why");
  EXPECT_EQ(CurrentReader, main->Components.Reader(vsk::atTar));

  // LHA archives as jlha writes them.
  ASSERT_TRUE(vsktest::HaveTool("jlha"));
  const std::string lzh = Pack("set.lzh", {{"l.txt", vsktest::TextBytes(9000, 5)}, {"d/m.bin", "mmm"}},
                               "jlha a {out} l.txt d/m.bin > /dev/null");
  main->DisplayArchive(lzh);
  ASSERT_TRUE(main->vskVorsk.ArcType() == vsk::atLha || main->vskVorsk.ArcType() == vsk::atLzh);
  ExpectExtractDialog(Out("lzh"), true);
  ui.ExpectMessage(Completed(2), mtInformation);
  main->acExtractExecute();
  EXPECT_TRUE(vsktest::ReadFile(Out("lzh") + "/l.txt") == vsktest::TextBytes(9000, 5));
  EXPECT_EQ(vsktest::ReadFile(Out("lzh") + "/d/m.bin"), "mmm");

  // A gzipped tar: the gzip layer first, then, when asked, the tar in it.
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string tgz = Pack("both.tgz", {{"t1.txt", "one"}, {"t/t2.txt", "two"}}, "tar czf {out} t1.txt t");
  main->DisplayArchive(tgz);
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atGZip);
  ExpectExtractDialog(Out("tgz"), true);
  ui.ExpectMessage(std::string("Found Nested Tar File.\r\rFile: ") + "both.tar" +
                       "\rCompressed file is a tar archive.\r\rDecompress the tar archive?",
                   mtConfirmation, mrYes);
  // Three files landed: the two entries and the tar, which stays and is named.
  ui.ExpectMessage(Completed(3) + "\r\n" + msgtext::kKeptFile + Out("tgz") + "/both.tar", mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("tgz") + "/t/t2.txt"), "two");
  EXPECT_EQ(vsktest::ReadFile(Out("tgz") + "/t1.txt"), "one");
  EXPECT_EQ(vsktest::RunTool("tar tf " + vsktest::ShellQuote(Out("tgz") + "/both.tar")).output, "t1.txt\nt/\nt/t2.txt\n");

  // ARJ archives as arj writes them.
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  const std::string arj = Pack("set.arj", {{"j.txt", vsktest::TextBytes(7000, 6)}}, "arj a -y {out} j.txt > /dev/null");
  main->DisplayArchive(arj);
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atArj);
  ExpectExtractDialog(Out("arj"), true);
  ui.ExpectMessage(Completed(1), mtInformation);
  main->acExtractExecute();
  EXPECT_TRUE(vsktest::ReadFile(Out("arj") + "/j.txt") == vsktest::TextBytes(7000, 6));

  // A uuencoded text gives back its one file.
  ASSERT_TRUE(vsktest::HaveTool("uuencode"));
  const std::string uue = Pack("note.uue", {{"n.bin", vsktest::RandomBytes(5000, 4)}}, "uuencode n.bin n.bin > {out}");
  main->DisplayArchive(uue);
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atUUE);
  ExpectExtractDialog(Out("uue"), true);
  ui.ExpectMessage(Completed(1), mtInformation);
  main->acExtractExecute();
  EXPECT_TRUE(vsktest::ReadFile(Out("uue") + "/n.bin") == vsktest::RandomBytes(5000, 4));

  ASSERT_TRUE(vsktest::HaveTool("gcab"));
  const std::string cab = Pack("plain.cab", {{"x.txt", "x"}}, "gcab -c {out} x.txt");
  main->DisplayArchive(cab);
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atCab);
  ExpectExtractDialog(Out("cab"), true);
  ui.ExpectMessage(Completed(1), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("cab") + "/x.txt"), "x");
  ui.ExpectMessage(Completed(1), mtInformation);
  main->CmdExtract({cab, Out("cab2"), true, true, true, false, true, true, false});
  EXPECT_EQ(vsktest::ReadFile(Out("cab2") + "/x.txt"), "x");

  // A destination that cannot be made.
  const std::string zip = SampleZip();
  vsktest::WriteFile(Out("file"), "a file, not a folder");
  ui.ExpectMessage(msgtext::kCmdExtractDirFailed, mtError);
  main->CmdExtract({zip, Out("file") + "/sub", true, true, true, false, true, true, false});

  // The archive vanished after it was opened: the window closes it.
  main->DisplayArchive(zip);
  ASSERT_EQ(Model().RowCount(), 3);
  fs::remove(zip);
  ui.ExpectMessage(msgtext::kArchiveVanished, mtError);
  main->acExtractExecute();
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_FALSE(main->CommandEnabled("acExtract"));
}

// ACE and RAR archives go through their libraries: extracted, tested,
// viewed and dragged out like the others.
TEST_F(Extraction, AceAndRarArchivesThroughTheirLibraries) {
  const std::string text = vsktest::TextBytes(40000, 8);
  const std::string ace = SampleAce(text);
  const std::string rar = SampleRar();

  ASSERT_TRUE(Start({ace}));
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atAce);
  ExpectExtractDialog(Out("ace"), true);
  ui.ExpectMessage(Completed(2), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(CurrentReader, main->Components.Reader(vsk::atAce));
  EXPECT_TRUE(vsktest::ReadFile(Out("ace") + "/docs/text.txt") == text);
  EXPECT_EQ(vsktest::ReadFile(Out("ace") + "/readme.txt"), "read me\n");
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->acTestExecute();

  std::vector<std::string> opened;
  main->ShellOpen = [&](const std::string& File) {
    opened.push_back(File);
    return true;
  };
  SelectRows({RowOf("docs/text.txt")});
  main->acViewSelectedExecute();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_TRUE(vsktest::ReadFile(opened[0]) == text);

  main->DisplayArchive(rar);
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atRar);
  ExpectExtractDialog(Out("rar"), true);
  ui.ExpectMessage(Completed(2), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(CurrentReader, main->Components.Reader(vsk::atRar));
  for (const char* name : {"random_data.bin", "LibarchiveAddingTest.odt"})
    EXPECT_TRUE(vsktest::ReadFile(Out("rar") + "/" + name) == vsktest::ReadFile(dir.path() / name)) << name;
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->acTestExecute();

  SelectRows({RowOf("LibarchiveAddingTest.odt")});
  std::vector<std::string> dropped;
  main->DragExecutor = [&](QMimeData* Data) {
    for (const QUrl& u : Data->urls()) dropped.push_back(u.toLocalFile().toStdString());
    delete Data;
    return Qt::CopyAction;
  };
  main->dfelvArchiveViewMouseDown();
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_TRUE(vsktest::ReadFile(dropped[0]) == vsktest::ReadFile(dir.path() / "LibarchiveAddingTest.odt"));
}

// Whatever ran before (a test, a view, another current folder), the dialog
// offers the folder the settings give, and the tree shows it, also once the
// tree has the focus.
TEST_F(Extraction, TheDialogOffersTheSettingsDestinationWhateverRanBefore) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  main->ShellOpen = [](const std::string&) { return true; };
  const auto expectOffered = [&](const std::string& Folder) {
    ui.ExpectModal([=](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmExtractDlg&>(Dialog);
      d.show();
      d.dfstvExplorer->setFocus(Qt::TabFocusReason);
      QApplication::processEvents();
      auto* folders = dynamic_cast<QFileSystemModel*>(d.dfstvExplorer->model());
      EXPECT_EQ(d.Destination(), Folder);
      EXPECT_EQ(folders->filePath(d.dfstvExplorer->currentIndex()).toStdString(), Folder);
      d.hide();
      return static_cast<int>(mrCancel);
    });
    main->acExtractExecute();
  };
  expectOffered(dir.str());
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->acTestExecute();
  expectOffered(dir.str());
  SelectRows({RowOf("readme.txt")});
  main->acViewSelectedExecute();
  main->dfelvArchiveView->clearSelection();
  fs::current_path("/");
  expectOffered(dir.str());

  // A configured folder that is not absolute is never taken against the
  // current folder: the archive's folder is offered.
  Options.ExtractSame = false;
  Options.ExtractLast = false;
  fs::create_directories(dir.path() / "rel");
  fs::current_path(dir.path());
  Options.ExtractFolder = "rel";
  fs::current_path("/");
  expectOffered(dir.str());
  Options.ExtractFolder = Out("configured");
  fs::create_directories(Options.ExtractFolder);
  expectOffered(Options.ExtractFolder);

  // Accepted as typed relative to the folder the dialog made current, it
  // still reaches the reader as that absolute folder.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmExtractDlg&>(Dialog);
    d.cbDestination->setEditText(QStringLiteral("sub/inner"));
    d.ckConfirmOverwrites->setChecked(false);
    d.bbExtractClick();
    return d.result();
  });
  ui.ExpectMessage(Completed(3), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(vsktest::ReadFile(Out("configured") + "/sub/inner/readme.txt"), "hello\n");
}

// The tar of a .tgz viewed from the window lies in a temporary folder of
// the program's, which goes when the program ends: extracting from it
// offers the folder of the .tgz (in this run or another), else the default
// extract folder, and never that temporary folder.
TEST_F(Extraction, AViewedArchiveOffersALastingFolder) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string tgz = Pack("both.tgz", {{"t1.txt", "one"}}, "tar czf {out} t1.txt");
  ASSERT_TRUE(Start({tgz}));
  std::vector<std::string> opened;
  main->ShellOpen = [&](const std::string& File) {
    opened.push_back(File);
    return true;
  };
  SelectRows({0});
  ui.ExpectMessage(std::string("Found Nested Tar File.\r\rFile: ") + "both.tar" +
                       "\rCompressed file is a tar archive.\r\rDecompress the tar archive?",
                   mtConfirmation, mrNo);
  main->acViewSelectedExecute();
  ASSERT_EQ(opened.size(), 1u);
  const std::string inner = opened[0];
  EXPECT_TRUE(InTempFolder(inner));
  // Opened as the desktop opens it with the program.
  main->DisplayArchive(inner);
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atTar);
  const auto expectOffered = [&](const std::string& Folder) {
    ui.ExpectModal([=](QDialog& Dialog) {
      EXPECT_EQ(dynamic_cast<TfmExtractDlg&>(Dialog).Destination(), Folder);
      return static_cast<int>(mrCancel);
    });
    main->acExtractExecute();
  };
  expectOffered(dir.str());
  // The last folder extracted to is not offered when it is temporary.
  Options.ExtractLast = true;
  WriteSettingString("Folders", "ExtractLastPath", vsk::ParentFolder(inner));
  expectOffered(dir.str());
  Options.ExtractLast = false;

  // No trace of where it came from: the default extract folder.
  fs::remove(vsk::ParentFolder(inner) + "/.brevane-source");
  Options.ExtractFolder = Out("default");
  fs::create_directories(Options.ExtractFolder);
  expectOffered(Options.ExtractFolder);
}

// A RAR set opened from the window: every next volume lying beside the
// first is found without a question, a missing one is asked for by its own
// name, and the set is listed, tested and extracted as unar reads it.
TEST_F(Extraction, ARarVolumeSetIsFollowedWithoutAsking) {
  ASSERT_TRUE(vsktest::HaveTool("unar"));
  const std::string fixtures = std::string(BREVANE_FIXTURES_DIR) + "/rar/";
  const std::string part = "rar_multivolume.part000";
  for (int i = 1; i <= 4; ++i)
    fs::copy_file(fixtures + part + std::to_string(i) + ".rar", dir.path() / (part + std::to_string(i) + ".rar"));
  const std::string first = (dir.path() / (part + "1.rar")).string();
  ASSERT_EQ(vsktest::RunTool("unar -q -D -o " + vsktest::ShellQuote(Out("unar")) + " " + vsktest::ShellQuote(first))
                .exitCode,
            0);

  ASSERT_TRUE(Start({first}));
  ASSERT_EQ(main->vskVorsk.ArcType(), vsk::atRar);
  std::vector<std::string> names;
  for (int r = 0; r < Model().RowCount(); ++r)
    names.push_back(Model().Row(r).Data.Folder + Model().Row(r).Caption.toStdString());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"LibarchiveAddingTest.html", "ppmd_lzss_conversion_test.txt",
                                             "testdir/LibarchiveAddingTest.html", "testdir/test.txt", "testlink"}));

  // The file that spans the volumes is beyond the decoder the RAR library
  // is built on (bsdtar fails on it as well): it is reported as failed,
  // never passed off as good; every other file comes out as unar has it.
  ExpectExtractDialog(Out("ours"), true);
  // The link is refused as such, its kind named.
  ui.ExpectMessage(std::string(msgtext::kExtractIncomplete) + "\r\n\r\n" + msgtext::kLeftOutFailedCheck +
                       "1 (File fails CRC check; Bad block)\r\n" + msgtext::kLeftOutLinks +
                       "1 (symbolic link)\r\n\r\n" + msgtext::kFilesExtracted + "3",
                   mtError);
  ui.ExpectModal([](QDialog&) {
    const std::string text = fmViewOutput->meOutput->toPlainText().toStdString();
    EXPECT_NE(text.find("> ppmd_lzss_conversion_test.txt ... File fails CRC check"), std::string::npos) << text;
    EXPECT_NE(text.find("> testlink ... symbolic link"), std::string::npos) << text;
    return static_cast<int>(mrOk);
  });
  main->acExtractExecute();
  for (const char* name : {"LibarchiveAddingTest.html", "testdir/test.txt", "testdir/LibarchiveAddingTest.html"})
    EXPECT_TRUE(vsktest::ReadFile(Out("ours") + "/" + name) == vsktest::ReadFile(Out("unar") + "/" + name)) << name;
  // The damaged file stays where no file stood, as from every reader.
  EXPECT_TRUE(fs::exists(Out("ours") + "/ppmd_lzss_conversion_test.txt"));

  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrOk); });
  main->acTestExecute();
  const std::string tested = fmViewOutput->meOutput->toPlainText().toStdString();
  for (const char* name : {"LibarchiveAddingTest.html", "testdir/test.txt", "testdir/LibarchiveAddingTest.html"})
    EXPECT_NE(tested.find(std::string("> Testing: ") + name + " ... Passed"), std::string::npos) << tested;

  // A volume that is not beside the one before is asked for by its own
  // name; the one after it lies beside it and is taken without a question.
  fs::create_directories(dir.path() / "elsewhere");
  for (const char* n : {"3.rar", "4.rar"}) fs::rename(dir.path() / (part + n), dir.path() / "elsewhere" / (part + n));
  ui.ExpectInput("Please enter the full path to " + part + "3.rar:", true,
                 (dir.path() / "elsewhere" / (part + "3.rar")).string());
  main->DisplayArchive(first);
  EXPECT_EQ(ui.LastInputStart, (dir.path() / (part + "3.rar")).string());
  EXPECT_EQ(Model().RowCount(), 5);
}

TEST_F(Extraction, ViewingExtractsIntoAFreshFolderThatLivesUntilTheEnd) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  std::vector<std::string> opened;
  main->ShellOpen = [&](const std::string& File) {
    opened.push_back(File);
    return true;
  };
  ui.ExpectMessage(msgtext::kNoFileToView, mtInformation);
  main->acViewSelectedExecute();
  EXPECT_TRUE(opened.empty());

  SelectRows({RowOf("docs/report.txt"), RowOf("readme.txt")});
  main->acViewSelectedExecute();
  ASSERT_EQ(opened.size(), 2u);
  ASSERT_EQ(main->FTempFolders.size(), 1u);
  const std::string folder = main->FTempFolders.front();
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened[0], folder + "/docs/report.txt");
  EXPECT_EQ(opened[1], folder + "/readme.txt");
  EXPECT_TRUE(vsktest::ReadFile(opened[0]) == vsktest::TextBytes(50000));
  EXPECT_EQ(vsktest::ReadFile(opened[1]), "hello\n");
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::others_all, fs::perms::none);

  // A second view gets its own folder; the program's end removes both.
  main->acViewSelectedExecute();
  ASSERT_EQ(main->FTempFolders.size(), 2u);
  EXPECT_NE(main->FTempFolders[0], main->FTempFolders[1]);
  const auto folders = main->FTempFolders;
  EndProgram();
  for (const auto& f : folders) EXPECT_FALSE(fs::exists(f)) << f;
}

TEST_F(Extraction, DraggedEntriesExistBeforeTheDragAndStayUntilTheEnd) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  SelectRows({RowOf("docs/report.txt"), RowOf("readme.txt")});
  std::vector<std::string> dropped;
  bool existed = true;
  main->DragExecutor = [&](QMimeData* Data) {
    for (const QUrl& u : Data->urls()) {
      dropped.push_back(u.toLocalFile().toStdString());
      existed = existed && fs::exists(dropped.back());
    }
    delete Data;
    return Qt::CopyAction;
  };
  main->dfelvArchiveViewMouseDown();
  ASSERT_EQ(dropped.size(), 2u);
  EXPECT_TRUE(existed);
  std::sort(dropped.begin(), dropped.end());
  EXPECT_TRUE(main->FDragTemp.empty());
  // The target may copy after the drop returned: the files are still there.
  ASSERT_EQ(main->FTempFolders.size(), 1u);
  const std::string folder = main->FTempFolders.front();
  EXPECT_EQ(dropped[0], folder + "/docs");
  EXPECT_EQ(dropped[1], folder + "/readme.txt");
  EXPECT_TRUE(vsktest::ReadFile(folder + "/docs/report.txt") == vsktest::TextBytes(50000));
  EXPECT_EQ(vsktest::ReadFile(folder + "/readme.txt"), "hello\n");
  EndProgram();
  EXPECT_FALSE(fs::exists(folder));
}

TEST_F(Extraction, ViewingAndDraggingNeverReachOutsideTheirFolder) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  // An entry stored as "../escape.txt": zip writes "aa/escape.txt", whose
  // name is then changed in both headers.
  const std::string zip = Pack("hostile.zip", {{"aa/escape.txt", "inside"}, {"fine.txt", "fine"}},
                               "zip -q -X -D {out} aa/escape.txt fine.txt");
  std::string bytes = vsktest::ReadFile(zip);
  for (auto at = bytes.find("aa/escape.txt"); at != std::string::npos; at = bytes.find("aa/escape.txt", at))
    bytes.replace(at, 3, "../");
  vsktest::WriteFile(zip, bytes);
  // What the name would reach from a folder of the temporary folder.
  const fs::path outside = fs::path(std::getenv("TMPDIR")) / "escape.txt";
  vsktest::WriteFile(outside, "not the archive's");

  ASSERT_TRUE(Start({zip}));
  int hostile = -1;
  for (int r = 0; r < Model().RowCount(); ++r)
    if ((Model().Row(r).Data.Folder + Model().Row(r).Caption.toStdString()).find("escape") != std::string::npos)
      hostile = r;
  ASSERT_GE(hostile, 0);
  const std::string name = Model().Row(hostile).Data.Folder + Model().Row(hostile).Caption.toStdString();
  std::vector<std::string> opened;
  main->ShellOpen = [&](const std::string& File) {
    opened.push_back(File);
    return true;
  };
  SelectRows({hostile, RowOf("fine.txt")});
  ui.ExpectMessage(std::string(vsk::MessageText(vsk::msg::InvalidFileName)) + "\r\n" + name, mtError);
  main->acViewSelectedExecute();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], main->FTempFolders.back() + "/fine.txt");

  std::vector<std::string> dropped;
  main->DragExecutor = [&](QMimeData* Data) {
    for (const QUrl& u : Data->urls()) dropped.push_back(u.toLocalFile().toStdString());
    delete Data;
    return Qt::CopyAction;
  };
  ui.ExpectMessage(std::string(vsk::MessageText(vsk::msg::InvalidFileName)) + "\r\n" + name, mtError);
  main->dfelvArchiveViewMouseDown();
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0], main->FTempFolders.back() + "/fine.txt");
  EXPECT_EQ(vsktest::ReadFile(outside), "not the archive's");
}

TEST_F(Extraction, ClosingAfterAHeaderErrorWaitsForTheListing) {
  // An archive cut after its local headers: no directory, no end record.
  const std::string zip = Zip("cut.zip", {{"a.txt", "aaaa\n"}, {"b.txt", "bbbb\n"}});
  std::string bytes = vsktest::ReadFile(zip);
  const auto central = bytes.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  vsktest::WriteFile(zip, bytes.substr(0, central));

  ASSERT_TRUE(Start({}));
  ui.ExpectMessage(msgtext::kCorruptHeader, mtInformation, mrYes);
  main->DisplayArchive(zip);
  EXPECT_EQ(Model().RowCount(), 2);

  ui.ExpectMessage(msgtext::kCorruptHeader, mtInformation, mrNo);
  main->DisplayArchive(zip);
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_TRUE(main->vskVorsk.ArchiveFile().empty());
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Brevane"));
  EXPECT_FALSE(main->CommandEnabled("acExtract"));
}

TEST_F(Extraction, ALongRunEndsOnItsLastStateAndCancelStopsIt) {
  constexpr int kFiles = 400;
  std::vector<TEntry> entries;
  for (int i = 0; i < kFiles; ++i)
    entries.push_back({"d/f" + std::to_string(i) + ".bin", vsktest::RandomBytes(30000, static_cast<std::uint32_t>(i))});
  const std::string zip = Zip("many.zip", entries);
  const auto listing = vsktest::RunTool("unzip -Z1 " + vsktest::ShellQuote(zip));
  ASSERT_EQ(listing.exitCode, 0);
  std::string last = listing.output.substr(0, listing.output.find_last_not_of("\n") + 1);
  last = last.substr(last.find_last_of('\n') + 1);
  ASSERT_TRUE(Start({zip}));

  // However many events the run sent, the window ends on its last one.
  ExpectExtractDialog(Out("all"), true);
  ui.ExpectMessage(Completed(kFiles), mtInformation);
  main->acExtractExecute();
  EXPECT_EQ(fmProgress->laTotal->text(), QStringLiteral("100%"));
  EXPECT_EQ(fmProgress->pbTotal->value(), 100);
  // The status bar names the last entry (its path shortened in the middle
  // when the bar is narrow).
  EXPECT_TRUE(main->SimpleText().startsWith(QString::fromUtf8(msgtext::kExtractingPrefix))) << main->SimpleText().toStdString();
  EXPECT_TRUE(main->SimpleText().endsWith(QString::fromStdString(PathFilePart(last)))) << main->SimpleText().toStdString();

  // Cancel pressed in the progress window while the run goes on stops it.
  auto* press = new QTimer(main);
  QObject::connect(press, &QTimer::timeout, press, [press] {
    if (!fmProgress->isVisible()) return;
    press->stop();
    press->deleteLater();
    fmProgress->buCancelClick();
  });
  press->start(0);
  ExpectExtractDialog(Out("cancelled"), true);
  ui.ExpectMessage(dlgtext::kConfirmCancelTask, mtConfirmation, mrYes);
  ui.ExpectMessageStarting(msgtext::kExtractCancelled, mtInformation);
  main->acExtractExecute();
  int extracted = 0;
  for (const auto& e : fs::recursive_directory_iterator(Out("cancelled"))) extracted += e.is_regular_file();
  EXPECT_LT(extracted, kFiles);
  EXPECT_EQ(main->SimpleText(), QString::fromUtf8(msgtext::kAborting));
  EXPECT_TRUE(ui.Steps.empty());
}

TEST_F(Extraction, ProgressCancelAndThePromptsOfTheReaders) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  CurrentReader = main->Components.Reader(vsk::atZip);
  CurrentWriter = nullptr;
  main->StartProgress();
  EXPECT_FALSE(main->isEnabled());
  EXPECT_TRUE(fmProgress->isEnabled());
  EXPECT_TRUE(fmProgress->buCancel->isEnabled());
  main->vskUnZipProgress(*main->Components.Reader(vsk::atZip), 40, 0);
  EXPECT_EQ(fmProgress->laCurrent->text(), QStringLiteral("40%"));
  EXPECT_EQ(fmProgress->pbTotal->value(), 1);
  EXPECT_EQ(fmProgress->laTotal->text(), QStringLiteral("0%"));
  // Cancel in the progress window reaches the running reader at its next
  // progress report.
  ui.ExpectMessage(dlgtext::kConfirmCancelTask, mtConfirmation, mrYes);
  fmProgress->buCancelClick();
  main->vskUnZipProgress(*main->Components.Reader(vsk::atZip), 50, 60);
  EXPECT_TRUE(main->Components.Reader(vsk::atZip)->GetCancel());
  EXPECT_TRUE(main->FCancelTask);
  EXPECT_EQ(main->SimpleText(), QString::fromUtf8(msgtext::kAborting));
  main->vskUnZipProgress(*main->Components.Reader(vsk::atZip), 100, 100);
  EXPECT_FALSE(fmProgress->buCancel->isEnabled());
  main->EndProgress();
  EXPECT_FALSE(fmProgress->isVisible());

  bool cancel = true;
  ui.ExpectMessage(msgtext::kInsertFirstDisk, mtInformation, mrOk);
  main->vskVorskGetZipFirstDisk(main->vskVorsk, cancel);
  EXPECT_FALSE(cancel);
  cancel = true;
  ui.ExpectMessage(msgtext::kInsertLastDisk, mtInformation, mrCancel);
  main->vskVorskGetZipLastDisk(main->vskVorsk, cancel);
  EXPECT_TRUE(cancel);
  ui.ExpectMessage(std::string(msgtext::kInsertDiskNumber) + "3", mtInformation, mrOk);
  main->vskVorskGetZipNextDisk(main->vskVorsk, "3", cancel);
  EXPECT_FALSE(cancel);

  // A missing volume is asked for by its full path.
  std::string volume = "/media/set.a01";
  ui.ExpectInput("Please enter the full path to set.a01:", true, Out("set.a01"));
  main->vskVorskNextVolume(*main->Components.Reader(vsk::atZip), volume, "2", false, cancel);
  EXPECT_EQ(ui.LastInputCaption, "set.a01 - Volume ID: 2");
  EXPECT_EQ(volume, Out("set.a01"));
  EXPECT_FALSE(cancel);
  main->Components.Reader(vsk::atZip)->SetCancel(false);
  ui.ExpectInput("Please enter the full path to set.a01:", false);
  main->vskVorskNextVolume(*main->Components.Reader(vsk::atZip), volume, "2", false, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_TRUE(main->Components.Reader(vsk::atZip)->GetCancel());

  bool untar = false;
  ui.ExpectMessage("Found Nested Tar File.\r\rFile: x.tar.gz\rCompressed file is a tar archive.\r\r"
                   "Decompress the tar archive?",
                   mtConfirmation, mrYes);
  main->vskUnGZIPNestedTarFile(*main->Components.Reader(vsk::atZip), "x.tar.gz", untar);
  EXPECT_TRUE(untar);
}

}  // namespace
}  // namespace brevane::testing
