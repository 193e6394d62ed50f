// The program writes only the names the user agreed to, and each command's
// message and exit status say what happened on the disk.

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <sys/stat.h>

#include "app/dialogs/tooldialogs.h"
#include "app/main/backupscript.h"
#include "app/main/messages.h"
#include "app/main/program.h"
#include "tests/app/main/window/windowtest.h"
#include "tests/support/canary.h"

namespace brevane::testing {
namespace {

using WrittenNames = WindowTest;

std::function<int(QDialog&)> SaveAs(const std::string& Path) {
  return [Path](QDialog& Dialog) {
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(Path));
    return static_cast<int>(mrOk);
  };
}

// In the child process a row's run is killed in, nothing may paint: the
// painting threads of the parent are not there, and waiting for them hangs.
void NoPaintingInAChild(vsktest::Ending E) {
  if (E != vsktest::Ending::Kill) return;
  for (QWidget* w : QApplication::topLevelWidgets()) w->setUpdatesEnabled(false);
}

fs::path TrashFiles() { return fs::path(std::getenv("XDG_DATA_HOME")) / "Trash/files"; }

// Canaries at the part names of a spanned UUencode run and at the scratch
// name of Copy Archive; the Copy and Move targets go to the Trash.
TEST_F(WrittenNames, PartNamesScratchNamesAndReplacedTargets) {
  const std::string zip = Zip("a.zip", {{"big.bin", vsktest::RandomBytes(300000)}});
  vsktest::Canaries c;
  for (int k = 1; k <= 5; ++k) c.Plant(dir.path() / ("a.uu" + std::to_string(k)));
  c.Plant(dir.path() / "copy.zip.brevane-copy");
  ASSERT_TRUE(Start({zip}));

  // Parts that exist are asked about, all named; No writes nothing.
  std::string parts;
  for (int k = 1; k <= 5; ++k) parts += "\r\n" + (dir.path() / ("a.uu" + std::to_string(k))).string();
  const auto encode = [&](int Answer) {
    ui.ExpectModal([&](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmUUEncode&>(Dialog);
      EXPECT_EQ(d.rxfedOutput->text().toStdString(), (dir.path() / "a.uue").string());
      d.cbSpanSize->setCurrentIndex(1);
      return static_cast<int>(mrOk);
    });
    ui.ExpectMessage(msgtext::kUUPartsExist + parts + msgtext::kUUPartsOverwrite, mtConfirmation, Answer);
    if (Answer == mrYes) ui.ExpectMessage(msgtext::kUUEncodeDone, mtInformation);
    main->acUUencodeExecute();
  };
  encode(mrNo);
  EXPECT_FALSE(fs::exists(dir.path() / "a.uue"));
  EXPECT_TRUE(c.Intact());
  // Yes: the parts the run writes are those agreed to.
  encode(mrYes);
  for (int k = 1; k <= 5; ++k) c.Agree(dir.path() / ("a.uu" + std::to_string(k)));
  EXPECT_NE(vsktest::ReadFile(dir.path() / "a.uu1").find("part 1"), std::string::npos);

  // Copy over an existing target: the scratch canary stays, the old target
  // is in the Trash.
  const std::string copy = (dir.path() / "copy.zip").string();
  vsktest::WriteFile(copy, "the older copy");
  ui.ExpectModal(SaveAs(copy));
  ui.ExpectMessage(msgtext::kCopied, mtInformation);
  main->acCopyArchiveExecute();
  EXPECT_EQ(vsktest::ReadFile(copy), vsktest::ReadFile(zip));
  EXPECT_EQ(vsktest::ReadFile(TrashFiles() / "copy.zip"), "the older copy");

  // Move over an existing target: it waits in the Trash too.
  const std::string moved = (dir.path() / "moved.zip").string();
  vsktest::WriteFile(moved, "the older move target");
  const std::string bytes = vsktest::ReadFile(zip);
  ui.ExpectModal(SaveAs(moved));
  ui.ExpectMessage(msgtext::kMoved, mtInformation);
  main->acMoveArchiveExecute();
  EXPECT_EQ(vsktest::ReadFile(moved), bytes);
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_EQ(vsktest::ReadFile(TrashFiles() / "moved.zip"), "the older move target");
  EXPECT_TRUE(c.Intact());
}

// The program's canary rows: each command run to a success, a cancel, a
// failure and kill -9 (in a child process) writes only the names the user
// agreed to.
TEST_F(WrittenNames, CanaryRowsOfThePartNamesTargetsAndGenerations) {
  const std::string zip = Zip("a.zip", {{"big.bin", vsktest::RandomBytes(300000)}});
  ASSERT_TRUE(Start({}));
  const auto place = [&](const fs::path& Dir, vsktest::Canaries& C) {
    fs::copy_file(zip, Dir / "a.zip");
    C.Watch(Dir / "a.zip");
  };
  const auto parts = [](const fs::path& Dir) {
    std::vector<fs::path> names;
    for (int k = 1; k <= 3; ++k) names.push_back(Dir / ("a.uu" + std::to_string(k)));
    return names;
  };

  vsktest::CanaryRow uu;
  uu.name = "spanned UUencode";
  uu.setup = [&](const fs::path& Dir, vsktest::Canaries& C) {
    place(Dir, C);
    for (const fs::path& part : parts(Dir)) C.Plant(part);
    C.Plant(Dir / "a.uu9");
  };
  uu.run = [&](const fs::path& Dir, vsktest::Ending E, vsktest::Canaries& C) {
    NoPaintingInAChild(E);
    main->DisplayArchive((Dir / "a.zip").string());
    ui.ExpectModal([&, E](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmUUEncode&>(Dialog);
      d.cbSpanSize->setCurrentIndex(1);
      // An input gone by the time the run reads it fails the run.
      if (E == vsktest::Ending::Failure) {
        C.Agree(Dir / "a.zip");
        fs::remove(Dir / "a.zip");
      }
      return static_cast<int>(mrOk);
    });
    std::string listed;
    for (const fs::path& part : parts(Dir)) listed += "\r\n" + part.string();
    if (E != vsktest::Ending::Failure)
      ui.ExpectMessage(msgtext::kUUPartsExist + listed + msgtext::kUUPartsOverwrite, mtConfirmation,
                       E == vsktest::Ending::Cancel ? mrNo : mrYes);
    if (E == vsktest::Ending::Success || E == vsktest::Ending::Kill)
      for (const fs::path& part : parts(Dir)) C.Agree(part);
    if (E == vsktest::Ending::Success) ui.ExpectMessage(msgtext::kUUEncodeDone, mtInformation);
    if (E == vsktest::Ending::Failure) ui.ExpectMessage(msgtext::kUUEncodeFailed, mtError);
    const auto progress = main->vskUUEncode.OnProgress;
    if (E == vsktest::Ending::Kill)
      main->vskUUEncode.OnProgress = [](vsk::TZipCommon&, vsk::Byte, vsk::Byte) { vsktest::KillHere(); };
    main->acUUencodeExecute();
    main->vskUUEncode.OnProgress = progress;
    EXPECT_EQ(vsktest::ReadFile(Dir / "a.uu1").find("part 1") != std::string::npos, E == vsktest::Ending::Success);
  };

  // Copy and Move Archive: the target asked for may be replaced (the old
  // one waits in the Trash), nothing else; a failed run keeps it.
  const auto targetRow = [&](bool Move) {
    vsktest::CanaryRow row;
    row.name = Move ? "Move Archive" : "Copy Archive";
    row.setup = [&](const fs::path& Dir, vsktest::Canaries& C) {
      place(Dir, C);
      C.Plant(Dir / "target.zip");
      C.Plant(Dir / "target.zip.brevane-copy");
      C.Plant(Dir / "a.zip.brevane-copy");
    };
    row.run = [&, Move](const fs::path& Dir, vsktest::Ending E, vsktest::Canaries& C) {
      NoPaintingInAChild(E);
      main->DisplayArchive((Dir / "a.zip").string());
      const std::string bytes = vsktest::ReadFile(Dir / "a.zip");
      const fs::path target = E == vsktest::Ending::Failure ? Dir / "none/target.zip" : Dir / "target.zip";
      ui.ExpectModal([&, E](QDialog& Dialog) {
        if (E == vsktest::Ending::Cancel) return static_cast<int>(mrCancel);
        static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(target.string()));
        // Killed once the target is agreed, before the run writes it.
        if (E == vsktest::Ending::Kill) {
          C.Agree(target);
          vsktest::KillHere();
        }
        return static_cast<int>(mrOk);
      });
      if (E == vsktest::Ending::Success) {
        C.Agree(target);
        if (Move) C.Agree(Dir / "a.zip");
        ui.ExpectMessage(Move ? msgtext::kMoved : msgtext::kCopied, mtInformation);
      }
      if (E == vsktest::Ending::Failure) ui.ExpectMessage(Move ? msgtext::kMoveFailed : msgtext::kCopyFailed, mtError);
      if (Move)
        main->acMoveArchiveExecute();
      else
        main->acCopyArchiveExecute();
      if (E == vsktest::Ending::Success) {
        EXPECT_EQ(vsktest::ReadFile(target), bytes);
        EXPECT_EQ(fs::exists(Dir / "a.zip"), !Move);
      }
      EXPECT_FALSE(fs::exists(Dir / "none"));
    };
    return row;
  };

  // A set keeping three generations renumbers and writes only its own
  // names: the user's "Daily.zip" and "Daily4.zip" stay.
  vsktest::CanaryRow generations;
  generations.name = "backup generations";
  generations.setup = [&](const fs::path& Dir, vsktest::Canaries& C) {
    fs::create_directories(Dir / "src");
    vsktest::WriteFile(Dir / "src/a.txt", vsktest::TextBytes(200000));
    C.Plant(Dir / "store/Daily.zip");
    C.Plant(Dir / "store/Daily4.zip");
    C.Plant(Dir / "store/Other1.zip");
    TBackupScript s;
    s.Name = "Daily";
    s.Folder = (Dir / "store").string();
    s.Method = kBackupGenerations;
    s.Generations = 3;
    s.Entries = {(Dir / "src").string() + "/*.*"};
    fs::create_directories(BackupFolder());
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Daily"), s));
  };
  generations.run = [&](const fs::path& Dir, vsktest::Ending E, vsktest::Canaries&) {
    NoPaintingInAChild(E);
    vsk::TCompBase& writer = *main->Components.Writer(vsk::atZip);
    const auto progress = writer.OnProgress;
    if (E == vsktest::Ending::Cancel)
      writer.OnProgress = [](vsk::TZipCommon& S, vsk::Byte, vsk::Byte) { S.SetCancel(true); };
    if (E == vsktest::Ending::Kill)
      writer.OnProgress = [](vsk::TZipCommon&, vsk::Byte, vsk::Byte) { vsktest::KillHere(); };
    if (E == vsktest::Ending::Success) ui.ExpectMessage(std::string(msgtext::kQuickBackupDone) + "Daily", mtInformation);
    if (E == vsktest::Ending::Cancel) {
      ui.ExpectMessage(msgtext::kBackupNotMade, mtError);
      ui.ExpectMessage(msgtext::kQuickBackupFailed, mtError);
    }
    main->QuickBackupSelect("Daily");
    writer.OnProgress = progress;
    EXPECT_EQ(fs::exists(Dir / "store/Daily3.zip"), E == vsktest::Ending::Success);
  };
  // The set's run has no failure of its own to be driven to here: a source
  // that cannot be read is left out and the backup made.
  generations.endings = {vsktest::Ending::Success, vsktest::Ending::Cancel, vsktest::Ending::Kill};

  vsktest::CheckCanaryRows({uu, targetRow(false), targetRow(true), generations});
}

// Each command-line failure is told, its exit status is 1, and the disk
// holds only what the message says.
TEST_F(WrittenNames, CommandLineFailuresAreToldAndMatchTheDisk) {
  fs::create_directories(dir.path() / "in");
  vsktest::WriteFile(dir.path() / "in/a.txt", "a");
  vsktest::WriteFile(dir.path() / "in/b.txt", "b");
  const auto status = [&](const std::vector<std::string>& Params) {
    EXPECT_FALSE(Start(Params));
    const int code = main->ExitCode();
    EndProgram();
    return code;
  };

  // An input that vanishes before the writer opens it: named, exit 1.
  ASSERT_TRUE(Start({}));
  const std::string made = (dir.path() / "made.zip").string();
  const std::string victim = (dir.path() / "in/b.txt").string();
  vsk::TCompBase& zip = *main->Components.Writer(vsk::atZip);
  const auto begin = zip.OnBegin;
  zip.OnBegin = [&](vsk::TZipCommon& S, const std::string& F, int N, bool& Go) {
    if (F == "a.txt") fs::remove(victim);
    if (begin) begin(S, F, N, Go);
  };
  ui.ExpectMessage(msgtext::kNotAdded + victim + " : " + vsk::MessageText(vsk::msg::ErrorOpeningFile), mtError);
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  SetParams({"-G", made, (dir.path() / "in/a.txt").string(), victim});
  main->ProcContextMenu();
  EXPECT_EQ(main->ExitCode(), TfmMain::kExitFailed);
  zip.OnBegin = begin;
  EndProgram();

  // A FIFO and an empty folder give no file: named, nothing made.
  const std::string fifo = (dir.path() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  fs::create_directories(dir.path() / "empty");
  const std::string never = (dir.path() / "never.zip").string();
  ui.ExpectMessage(msgtext::kNotAdded + fifo + msgtext::kNoFileToAdd + "\r\n" + (dir.path() / "empty").string() +
                       msgtext::kNoFileToAdd,
                   mtError);
  EXPECT_EQ(status({"-G", never, fifo, (dir.path() / "empty").string()}), TfmMain::kExitFailed);
  EXPECT_FALSE(fs::exists(never));

  // A file that is no archive: told, and no folder is made for it.
  const std::string text = (dir.path() / "notes.txt").string();
  vsktest::WriteFile(text, "no archive here\n");
  ui.ExpectMessage(std::string(msgtext::kExtractNotSupported) + "\n\r" + text, mtInformation);
  EXPECT_EQ(status({"-S", text}), TfmMain::kExitFailed);
  EXPECT_FALSE(fs::exists(dir.path() / "notes"));

  // An encrypted entry whose password is cancelled: named as left out,
  // exit 1, and the disk holds the other entry only.
  const std::string mixed = Pack("mixed.zip", {{"s.txt", "secret"}, {"p.txt", "plain"}}, "zip -q -P pw {out} s.txt");
  ASSERT_EQ(vsktest::RunTool("zip -q " + vsktest::ShellQuote(mixed) + " p.txt", dir.path() / "src-mixed.zip").exitCode,
            0);
  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrCancel); });
  ui.ExpectMessage(std::string(msgtext::kExtractPasswordError) + "1", mtError);
  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrOk); });  // the list of what was left out
  EXPECT_EQ(status({"-S", mixed}), TfmMain::kExitFailed);
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "mixed/p.txt"), "plain");
  EXPECT_FALSE(fs::exists(dir.path() / "mixed/s.txt"));

  // "-HM": only the archive that came out whole is counted.
  const std::string good = Zip("good.zip", {{"g.txt", "good"}});
  const std::string missing = (dir.path() / "missing.zip").string();
  ui.ExpectMessage(std::string(msgtext::kExtractNotSupported) + "\n\r" + text, mtInformation);
  ui.ExpectMessage(msgtext::kTheFile + missing + msgtext::kFileMissingEnd, mtError);
  ui.ExpectMessage(std::string(msgtext::kMultipleExtracted) + "1" + msgtext::kArchivesNotExtracted + "\r\n" + text +
                       "\r\n" + missing,
                   mtError);
  EXPECT_EQ(status({"-HM", good, text, missing}), TfmMain::kExitFailed);
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "good_zip/g.txt"), "good");
  EXPECT_FALSE(fs::exists(dir.path() / "notes_txt"));

  // The whole extension decides the type: "notes.c" and "new.t" are zips.
  for (const char* name : {"made.c", "made.t"}) {
    const std::string archive = (dir.path() / name).string();
    ui.ExpectMessage("Files Compressed: 1", mtInformation);
    EXPECT_EQ(status({"-G", archive, (dir.path() / "in/a.txt").string()}), 0);
    EXPECT_EQ(vsktest::RunTool("unzip -Z1 " + vsktest::ShellQuote(archive)).output, "a.txt\n") << name;
  }
  // A new ".tgz" is a gzip-compressed tar at that very name.
  const std::string tgz = (dir.path() / "new.tgz").string();
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  EXPECT_EQ(status({"-G", tgz, (dir.path() / "in/a.txt").string()}), 0);
  EXPECT_EQ(vsktest::RunTool("tar -tzf " + vsktest::ShellQuote(tgz)).output, "a.txt\n");
  EXPECT_FALSE(fs::exists(dir.path() / "new.tar.gz"));
}

}  // namespace
}  // namespace brevane::testing
