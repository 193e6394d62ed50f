#pragma once
// What the main-window tests share: a fresh desktop and registry, archives
// written by other archivers, and the program started and ended per test.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/main/archivemodel.h"
#include "app/main/mainform.h"
#include "app/main/program.h"
#include "tests/app/dialogs/scriptedui.h"
#include "tests/libs/ace/aceencoder.h"
#include "tests/support/testutil.h"

namespace brevane::testing {

namespace fs = std::filesystem;

struct TEntry {
  std::string Name;
  std::string Data;
  std::string Date = "2021-06-15 10:30";
};

class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EndProgram();
    // The program moves into the folders of the archives it opens; leave
    // before the test's folder is removed.
    std::error_code ec;
    fs::current_path("/", ec);
  }

  // Writes the entries below a fresh folder, dated, and packs them with
  // Command run there ("zip -q -r -X {out} ."); returns the archive's path.
  std::string Pack(const std::string& ArchiveName, const std::vector<TEntry>& Entries, const std::string& Command) {
    const fs::path src = dir.path() / ("src-" + ArchiveName);
    fs::create_directories(src);
    for (const auto& e : Entries) {
      const fs::path p = src / e.Name;
      fs::create_directories(p.parent_path());
      vsktest::WriteFile(p, e.Data);
      const auto touched = vsktest::RunTool("touch -d '" + e.Date + "' " + vsktest::ShellQuote(p.string()));
      EXPECT_EQ(touched.exitCode, 0) << touched.output;
    }
    const std::string out = (dir.path() / ArchiveName).string();
    std::string cmd = Command;
    cmd.replace(cmd.find("{out}"), 5, vsktest::ShellQuote(out));
    const auto r = vsktest::RunTool(cmd, src);
    EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
    return out;
  }
  std::string Zip(const std::string& Name, const std::vector<TEntry>& Entries) {
    EXPECT_TRUE(vsktest::HaveTool("zip")) << "zip is needed (Debian package zip)";
    return Pack(Name, Entries, "zip -q -r -X {out} .");
  }

  // The usual test archive: three entries in two folders.
  std::string SampleZip() {
    return Zip("sample.zip", {{"readme.txt", "hello\n"},
                              {"docs/report.txt", vsktest::TextBytes(50000)},
                              {"img/pic.bin", vsktest::RandomBytes(20000)}});
  }

  // An ACE archive written by the test encoder: Text as "docs/text.txt"
  // and "readme.txt" holding "read me\n".
  std::string SampleAce(const std::string& Text) {
    const std::string ace = (dir.path() / "set.ace").string();
    vsktest::WriteAce(ace, {{.name = "docs/text.txt", .data = Text}, {.name = "readme.txt", .data = "read me\n"}});
    return ace;
  }
  // The RAR fixture of two binary files, with bsdtar's extraction
  // of it in the test folder to compare with.
  std::string SampleRar() {
    const std::string rar = std::string(BREVANE_FIXTURES_DIR) + "/rar/rar_binary_data.rar";
    EXPECT_TRUE(vsktest::HaveTool("bsdtar")) << "bsdtar is needed (Debian package libarchive-tools)";
    EXPECT_EQ(vsktest::RunTool("bsdtar -xf " + vsktest::ShellQuote(rar), dir.path()).exitCode, 0);
    return rar;
  }

  bool Start(std::vector<std::string> Params) {
    const bool loop = StartProgram(Params);
    main = fmMain;
    return loop;
  }

  // Queues the questions Queue expects ahead of those already queued: for
  // questions asked inside a scripted dialog, before what follows it.
  void AskedFirst(const std::function<void()>& Queue) {
    std::deque<TScriptedUi::TStep> later;
    later.swap(ui.Steps);
    Queue();
    for (auto& step : later) ui.Steps.push_back(std::move(step));
  }

  TArchiveViewModel& Model() { return main->Model(); }
  std::vector<std::string> Column(int Column) {
    std::vector<std::string> out;
    for (int r = 0; r < Model().RowCount(); ++r) out.push_back(Model().CellText(r, Column).toStdString());
    return out;
  }
  int ColumnNamed(const std::string& Caption) {
    for (int c = 0; c < Model().columnCount(); ++c)
      if (Model().Caption(c).toStdString() == Caption) return c;
    return -1;
  }

  vsktest::IsolatedEnvironment env;
  vsktest::TempDir dir;
  TScriptedUi ui;
  TfmMain* main = nullptr;
};

}  // namespace brevane::testing
