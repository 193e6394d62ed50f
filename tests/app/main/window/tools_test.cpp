#include <QFileDialog>
#include <QPlainTextEdit>

#include "app/dialogs/viewoutput.h"
#include "app/main/messages.h"
#include "archive/core/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using Tools = WindowTest;

std::string Output() { return fmViewOutput->meOutput->toPlainText().toStdString(); }

TEST_F(Tools, TestingReportsEveryFile) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->acTestExecute();
  EXPECT_NE(Output().find(":: Testing Archive: " + zip), std::string::npos) << Output();
  EXPECT_NE(Output().find("> Testing: docs/report.txt ... Passed"), std::string::npos) << Output();
  EXPECT_EQ(main->LedColor(), kLedIdle);

  // A damaged file fails and the report is shown.
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string bad = Pack("bad.zip", {{"ok.txt", "fine"}, {"hurt.txt", std::string(5000, 'h')}},
                               "zip -q -0 -X {out} ok.txt hurt.txt");
  std::string bytes = vsktest::ReadFile(bad);
  bytes[bytes.find(std::string(100, 'h')) + 7] = 'x';
  vsktest::WriteFile(bad, bytes);
  main->DisplayArchive(bad);
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(&Dialog, fmViewOutput);
    EXPECT_NE(Output().find("> Testing: ok.txt ... Passed"), std::string::npos) << Output();
    EXPECT_NE(Output().find("> Testing: hurt.txt ... Failed"), std::string::npos) << Output();
    return static_cast<int>(mrOk);
  });
  main->acTestExecute();

  // A type without a reader is refused.
  ASSERT_TRUE(vsktest::HaveTool("arj"));
  const std::string arj = Pack("x.arj", {{"x.txt", "x"}}, "arj a -y {out} x.txt");
  ui.ExpectMessage(vsk::MessageText(vsk::msg::UnsupportedArcType), mtError);
  main->CmdTest(arj);
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

}  // namespace
}  // namespace brevane::testing
