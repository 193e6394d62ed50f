#include <QFileDialog>

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
  vsktest::WriteFile(exe, "old");
  ui.ExpectMessage(exe + " already exist. Do you want to overwrite this file ?", mtConfirmation, mrNo);
  main->CmdMakeSFX(zip, exe);
  EXPECT_EQ(vsktest::ReadFile(exe), "old");
  ui.ExpectMessage(exe + " already exist. Do you want to overwrite this file ?", mtConfirmation, mrYes);
  ui.ExpectMessage(exe + " created.", mtInformation);
  main->CmdMakeSFX(zip, exe);
  EXPECT_EQ(vsktest::RunTool(vsktest::ShellQuote(exe) + " -t").exitCode, 0);

  // A type without a stub is refused through the builder's error.
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string tar = Pack("x.tar", {{"x.txt", "x"}}, "tar cf {out} x.txt");
  ui.ExpectMessage(
      "Error making self-extracting executable.\rFilename: " + tar +
          "\rError: 25243\rInvalid or unsupported archive type for this operation",
      mtError);
  main->CmdMakeSFX(tar, (dir.path() / "tar.exe").string());
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

}  // namespace
}  // namespace brevane::testing
