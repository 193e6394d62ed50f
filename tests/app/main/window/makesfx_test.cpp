#include <QFileDialog>

#include "app/main/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using MakeExe = WindowTest;

TEST_F(MakeExe, MakesAProgramOfTheOpenArchive) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  ASSERT_TRUE(main->CommandEnabled("acMakeSFX"));
  const std::string exe = (dir.path() / "chosen.exe").string();
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = static_cast<QFileDialog&>(Dialog);
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Save EXE As ..."));
    EXPECT_TRUE(d.testOption(QFileDialog::DontConfirmOverwrite)) << "the builder asks itself";
    EXPECT_FALSE(d.selectedFiles().isEmpty());
    EXPECT_TRUE(d.selectedFiles().front().endsWith(QStringLiteral("sample.exe")));
    d.selectFile(QString::fromStdString(exe));
    return static_cast<int>(mrOk);
  });
  ui.ExpectMessage(exe + " created.", mtInformation);
  main->acMakeSFXExecute();
  auto r = vsktest::RunTool(vsktest::ShellQuote(exe) + " -t");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  r = vsktest::RunTool("unzip -t " + vsktest::ShellQuote(exe));
  EXPECT_EQ(r.exitCode, 0) << r.output;

  // The program opens as a self-extracting ZIP archive.
  main->DisplayArchive(exe);
  EXPECT_EQ(main->vskVorsk.ArcType(), vsk::atZipExe);
  EXPECT_EQ(Model().RowCount(), 3);
  EXPECT_FALSE(main->CommandEnabled("acMakeSFX"));

  // An existing program is replaced only when the user says so.
  vsktest::ReplaceFile(exe, "old");
  ui.ExpectMessage(exe + " already exist. Do you want to overwrite this file ?", mtConfirmation, mrNo);
  main->CmdMakeSFX({zip, exe});
  EXPECT_EQ(vsktest::ReadFile(exe), "old");
  ui.ExpectMessage(exe + " already exist. Do you want to overwrite this file ?", mtConfirmation, mrYes);
  ui.ExpectMessage(exe + " created.", mtInformation);
  main->CmdMakeSFX({zip, exe});
  EXPECT_EQ(vsktest::RunTool(vsktest::ShellQuote(exe) + " -t").exitCode, 0);

  // A type without a stub is refused through the builder's error.
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string tar = Pack("x.tar", {{"x.txt", "x"}}, "tar cf {out} x.txt");
  ui.ExpectMessage(
      "Error making self-extracting executable.\rFilename: " + tar +
          "\rError: 25243\rInvalid or unsupported archive type for this operation",
      mtError);
  main->CmdMakeSFX({tar, (dir.path() / "tar.exe").string()});
  EXPECT_FALSE(fs::exists(dir.path() / "tar.exe"));
  EndProgram();

  // From the command line.
  fs::remove(exe);
  ui.ExpectModal([&](QDialog& Dialog) {
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(exe));
    return static_cast<int>(mrOk);
  });
  ui.ExpectMessage(exe + " created.", mtInformation);
  EXPECT_FALSE(Start({"-X", zip}));
  EXPECT_TRUE(fs::exists(exe));
}

// ACE and RAR archives become programs too; the window opens those as
// self-extracting types, lists, tests and extracts them.
TEST_F(MakeExe, AceAndRarProgramsOpenTestAndExtract) {
  const std::string text = vsktest::TextBytes(40000, 8);
  const std::string ace = SampleAce(text);
  const std::string rar = SampleRar();
  struct TCase {
    std::string archive;
    vsk::TArcType type;
    std::vector<std::pair<std::string, std::string>> files;
  };
  const std::vector<TCase> cases = {
      {ace, vsk::atAceExe, {{"docs/text.txt", text}, {"readme.txt", "read me\n"}}},
      {rar,
       vsk::atRarExe,
       {{"random_data.bin", vsktest::ReadFile(dir.path() / "random_data.bin")},
        {"LibarchiveAddingTest.odt", vsktest::ReadFile(dir.path() / "LibarchiveAddingTest.odt")}}},
  };
  ASSERT_TRUE(Start({}));
  for (const auto& c : cases) {
    const std::string exe = (dir.path() / (fs::path(c.archive).stem().string() + ".exe")).string();
    SCOPED_TRACE(exe);
    ui.ExpectMessage(exe + " created.", mtInformation);
    main->CmdMakeSFX({c.archive, exe});
    main->DisplayArchive(exe);
    EXPECT_EQ(main->vskVorsk.ArcType(), c.type);
    EXPECT_EQ(Model().RowCount(), 2);
    ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
    main->acTestExecute();
    const std::string out = (dir.path() / ("out-" + fs::path(exe).stem().string())).string();
    ui.ExpectMessage(msgtext::kExtractCompleted + std::to_string(c.files.size()), mtInformation);
    main->CmdExtract({exe, out, true, true, true, false, true, true, false});
    for (const auto& [name, data] : c.files) EXPECT_TRUE(vsktest::ReadFile(out + "/" + name) == data) << name;
  }
}

// "-AX": the inputs packed into a temporary archive and made a program
// named as the archive with ".exe". An existing program is asked about
// and replaced only by a finished one; the temporary folder always goes.
TEST_F(MakeExe, CommandLineMakesAProgramOfNewFiles) {
  fs::create_directories(dir.path() / "in/sub");
  vsktest::WriteFile(dir.path() / "in/one.txt", "one");
  const std::string two = vsktest::TextBytes(30000);
  vsktest::WriteFile(dir.path() / "in/sub/two.txt", two);
  const std::string archive = (dir.path() / "pack.zip").string();
  const std::string exe = (dir.path() / "pack.exe").string();
  const std::string inputs = (dir.path() / "in").string() + "/*.*";
  const std::string question = "The file pack.exe already exist. Do you want to overwrite this file ?";
  const auto noTemporaryFolder = [] {
    for (const auto& e : fs::directory_iterator(std::getenv("TMPDIR")))
      EXPECT_NE(e.path().filename().string().rfind("qv_", 0), 0u) << e.path();
  };
  const auto extracted = [&](const std::string& Name) {
    const fs::path out = dir.path() / Name;
    fs::create_directories(out);
    const auto r = vsktest::RunTool(vsktest::ShellQuote(exe), out);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return vsktest::ReadFile(out / "one.txt") == "one" && vsktest::ReadFile(out / "sub/two.txt") == two;
  };

  ui.ExpectMessage(exe + " created.", mtInformation);
  EXPECT_FALSE(Start({"-AX", archive, inputs}));
  EndProgram();
  EXPECT_TRUE(extracted("first"));
  EXPECT_FALSE(fs::exists(archive));
  noTemporaryFolder();

  // No: the old program and the inputs stay as they are.
  vsktest::ReplaceFile(exe, "old");
  ui.ExpectMessage(question, mtConfirmation, mrNo);
  EXPECT_FALSE(Start({"-AX", archive, inputs}));
  EndProgram();
  EXPECT_EQ(vsktest::ReadFile(exe), "old");
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "in/one.txt"), "one");
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "in/sub/two.txt"), two);
  noTemporaryFolder();

  // Nothing to pack: said at once, and the old program stays.
  ui.ExpectMessage("The file " + (dir.path() / "missing").string() + " does not exist.", mtError);
  EXPECT_FALSE(Start({"-AX", archive, (dir.path() / "missing").string() + "/*.*"}));
  EndProgram();
  EXPECT_EQ(vsktest::ReadFile(exe), "old");
  noTemporaryFolder();

  // Yes: asked once, replaced by the finished program.
  ui.ExpectMessage(question, mtConfirmation, mrYes);
  ui.ExpectMessage(exe + " created.", mtInformation);
  EXPECT_FALSE(Start({"-AX", archive, inputs}));
  EndProgram();
  EXPECT_TRUE(extracted("second"));
  noTemporaryFolder();
}

}  // namespace
}  // namespace brevane::testing
