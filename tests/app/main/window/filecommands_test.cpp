#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/components/progresscyl.h"
#include "app/dialogs/comment.h"
#include "app/dialogs/dialogtexts.h"
#include "app/dialogs/properties.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "base/messages.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using FileCommands = WindowTest;

// Answers a file dialog with a chosen name.
std::function<int(QDialog&)> SaveAs(const std::string& Path, const std::string& Title = {}) {
  return [Path, Title](QDialog& Dialog) {
    if (!Title.empty()) {
      EXPECT_EQ(Dialog.windowTitle().toStdString(), Title);
    }
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(Path));
    return static_cast<int>(mrOk);
  };
}

TEST_F(FileCommands, PropertiesShowTheArchiveAsAWhole) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string zip = SampleZip();
  vsktest::RunTool("echo 'A comment for the set' | zip -q -z " + vsktest::ShellQuote(zip));
  ASSERT_TRUE(Start({zip}));
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmProperties&>(Dialog);
    EXPECT_EQ(d.edFilename->text().toStdString(), zip);
    EXPECT_EQ(d.laArcType->text(), QStringLiteral("ZIP"));
    EXPECT_EQ(d.laTotalFiles->text(), QStringLiteral("3"));
    EXPECT_EQ(d.laUnpackedSize->text(), QStringLiteral("0.07 MB (70,006 bytes)"));
    EXPECT_TRUE(d.laPackedSize->text().endsWith(QStringLiteral(" bytes)")));
    EXPECT_EQ(d.laRatio->text().toStdString(), d.pcRatio->DisplayText());
    EXPECT_GT(d.pcRatio->Position(), 0);
    EXPECT_TRUE(d.ckArchive->isChecked());
    EXPECT_FALSE(d.ckReadOnly->isChecked());
    EXPECT_EQ(d.meComment->toPlainText().trimmed(), QStringLiteral("A comment for the set"));
    return static_cast<int>(mrOk);
  });
  main->acPropertiesExecute();
}

TEST_F(FileCommands, ExportsAndPrintingUseTheListAsShown) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  const std::string txt = (dir.path() / "list.txt").string();
  ui.ExpectModal(SaveAs(txt, "Save As ..."));
  ui.ExpectMessage(std::string(msgtext::kExported) + txt, mtInformation);
  main->ExportContentListClick(1);
  const std::string text = vsktest::ReadFile(txt);
  EXPECT_EQ(text.rfind("Archive File : " + zip + "\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nreadme.txt                       2021-06-15 10:30           6"), std::string::npos);

  const std::string csv = (dir.path() / "list.csv").string();
  ui.ExpectModal(SaveAs(csv));
  ui.ExpectMessage(std::string(msgtext::kExported) + csv, mtInformation);
  main->ExportContentListClick(2);
  const std::string lines = vsktest::ReadFile(csv);
  std::string header;
  for (int c = 0; c < Model().columnCount(); ++c)
    header += (c ? "," : "") + ("\"" + Model().Caption(c).toStdString() + "\"");
  EXPECT_EQ(lines.substr(0, lines.find("\r\n")), header);
  EXPECT_NE(lines.find("\"report.txt\",\"2021-06-15 10:30\""), std::string::npos) << lines;

  const std::string html = (dir.path() / "list.html").string();
  ui.ExpectModal(SaveAs(html));
  ui.ExpectMessage(std::string(msgtext::kExported) + html, mtInformation);
  main->ExportContentListClick(3);
  EXPECT_NE(vsktest::ReadFile(html).find("<title>sample.zip</title>"), std::string::npos);

  // Printing: asked first, then the same lines with the archive's title.
  std::vector<std::string> printed;
  std::string title;
  main->PrintJob = [&](TUCLinePrinter& P) {
    printed = P.Lines;
    title = P.PrintTitle;
    EXPECT_TRUE(P.PrintPageNumbers);
    EXPECT_EQ(P.TitleOnPrintout, TopOfPage);
    return true;
  };
  ui.ExpectMessage(msgtext::kConfirmPrint, mtConfirmation, mrNo);
  main->acPrintExecute();
  EXPECT_TRUE(printed.empty());
  ui.ExpectMessage(msgtext::kConfirmPrint, mtConfirmation, mrYes);
  main->acPrintExecute();
  EXPECT_EQ(title, "Brevane : sample.zip");
  ASSERT_EQ(printed.size(), 10u);
  std::string joined;
  for (const auto& l : printed) joined += l + "\r\n";
  EXPECT_EQ(joined, text);

  // Nothing listed, nothing exported.
  main->rcbFilter->SetText("*.none");
  main->sbApplyFilterClick();
  ui.ExpectMessage(msgtext::kNothingToExport, mtInformation);
  main->ExportContentListClick(1);
}

TEST_F(FileCommands, CopyMoveAndDeleteTheArchive) {
  const std::string zip = SampleZip();
  const std::string original = vsktest::ReadFile(zip);
  ASSERT_TRUE(Start({zip}));

  // A copy replaces an existing file whole; the list stays on the original.
  const std::string copy = (dir.path() / "copy.zip").string();
  vsktest::WriteFile(copy, "an older file");
  ui.ExpectModal(SaveAs(copy, "Copy to ..."));
  ui.ExpectMessage(msgtext::kCopied, mtInformation);
  main->acCopyArchiveExecute();
  EXPECT_TRUE(vsktest::ReadFile(copy) == original);
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), zip);
  // Copying onto itself fails and keeps the archive.
  ui.ExpectModal(SaveAs(zip));
  ui.ExpectMessage(msgtext::kCopyFailed, mtError);
  main->acCopyArchiveExecute();
  EXPECT_TRUE(vsktest::ReadFile(zip) == original);

  // A move lists the archive at its new place.
  fs::create_directories(dir.path() / "moved");
  const std::string moved = (dir.path() / "moved" / "m.zip").string();
  ui.ExpectModal(SaveAs(moved, "Move to ..."));
  ui.ExpectMessage(msgtext::kMoved, mtInformation);
  main->acMoveArchiveExecute();
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), moved);
  EXPECT_EQ(Model().RowCount(), 3);

  // Deleting asks; No keeps it, Yes moves it to the trash and closes it.
  ui.ExpectMessage(msgtext::kConfirmDeleteArchive, mtConfirmation, mrNo);
  main->acDeleteArchiveExecute();
  EXPECT_TRUE(fs::exists(moved));
  ui.ExpectMessage(msgtext::kConfirmDeleteArchive, mtConfirmation, mrYes);
  ui.ExpectMessage(msgtext::kArchiveDeleted, mtInformation);
  main->acDeleteArchiveExecute();
  EXPECT_FALSE(fs::exists(moved));
  EXPECT_TRUE(fs::exists(fs::path(std::getenv("XDG_DATA_HOME")) / "Trash/files/m.zip"));
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_FALSE(main->CommandEnabled("acDeleteArchive"));

  // The commands check that the archive is still there.
  main->DisplayArchive(copy);
  fs::remove(copy);
  ui.ExpectMessage(msgtext::kArchiveVanished, mtError);
  main->acPropertiesExecute();
  EXPECT_EQ(Model().RowCount(), 0);
}

TEST_F(FileCommands, TheArchiveCommentIsShownAndSaved) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip"));
  const std::string zip = SampleZip();
  const std::string plain = Zip("plain.zip", {{"p.txt", "p"}});
  vsktest::RunTool("echo 'First words' | zip -q -z " + vsktest::ShellQuote(zip));
  ASSERT_TRUE(Start({}));
  Options.CommentsOpen = true;
  // Opened with CommentsOpen: shown when there is one, not otherwise.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmComment&>(Dialog);
    EXPECT_EQ(d.CommentText().substr(0, 11), "First words");
    return static_cast<int>(mrOk);
  });
  main->dfmruMainListMRUItemClick(zip);
  main->dfmruMainListMRUItemClick(plain);
  EXPECT_EQ(Model().RowCount(), 1);

  // On request even an empty one; a saved change rewrites the archive.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmComment&>(Dialog);
    EXPECT_EQ(d.CommentText(), "");
    d.meComment->setPlainText(QStringLiteral("Now with words"));
    d.bbSaveClick();
    return static_cast<int>(mrOk);
  });
  main->acViewCommentExecute();
  const auto z = vsktest::RunTool("unzip -z " + vsktest::ShellQuote(plain));
  EXPECT_NE(z.output.find("Now with words"), std::string::npos) << z.output;
  EXPECT_EQ(vsktest::RunTool("unzip -t " + vsktest::ShellQuote(plain)).exitCode, 0);

  // A comment the format cannot hold is refused with the library's reason;
  // Save stays enabled, and closing with Yes keeps the window open. The
  // archive keeps its comment.
  const std::string refused = std::string(msgtext::kCommentNotSaved) +
                              vsk::MessageText(vsk::msg::MaxFileSizeExceeded) + "\r\ncomment longer than 65535 bytes";
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmComment&>(Dialog);
    d.meComment->setPlainText(QString(70000, QLatin1Char('c')));
    AskedFirst([&] { ui.ExpectMessage(refused, mtError); });
    d.bbSaveClick();
    EXPECT_TRUE(d.bbSave->isEnabled());
    AskedFirst([&] {
      ui.ExpectMessage(dlgtext::kConfirmSaveComment, mtConfirmation, mrYes);
      ui.ExpectMessage(refused, mtError);
    });
    d.setResult(mrNone);
    d.buCloseClick();
    EXPECT_EQ(d.result(), mrNone);
    EXPECT_TRUE(d.bbSave->isEnabled());
    return static_cast<int>(mrOk);
  });
  main->acViewCommentExecute();
  EXPECT_NE(vsktest::RunTool("unzip -z " + vsktest::ShellQuote(plain)).output.find("Now with words"), std::string::npos);
}

TEST_F(FileCommands, MailingWithoutAMailProgram) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  vsktest::ScopedEnv path("PATH", dir.str());
  ui.ExpectMessage(msgtext::kNoMailProgram, mtError);
  main->acMailArchiveExecute();
}

}  // namespace
}  // namespace brevane::testing
