// New Archive, Add, Delete, files dropped on the list and the add entry
// points, each archive checked by unzip and by extracting it.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <map>
#include <set>

#include "app/dialogs/addpanels.h"
#include "app/dialogs/dialogsupport.h"
#include "app/dialogs/dialogtexts.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/renamefile.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "platform/trash.h"
#include "tests/app/main/window/windowtest.h"
#include "tests/support/cabbuild.h"

namespace brevane::testing {
namespace {

using Tree = std::map<std::string, std::string>;

class AddTest : public WindowTest {
 protected:
  fs::path MakeTree(const std::string& Folder, const Tree& Files, const std::string& Date = "2022-03-04 05:06") {
    const fs::path root = dir.path() / Folder;
    fs::create_directories(root);
    for (const auto& [name, data] : Files) {
      const fs::path p = root / name;
      fs::create_directories(p.parent_path());
      vsktest::WriteFile(p, data);
      Touch(p, Date);
    }
    return root;
  }
  static void Touch(const fs::path& File, const std::string& Date) {
    const auto r = vsktest::RunTool("touch -d '" + Date + "' " + vsktest::ShellQuote(File.string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
  }

  // unzip's own test of every entry.
  static ::testing::AssertionResult UnzipAccepts(const std::string& Archive) {
    const auto r = vsktest::RunTool("unzip -t " + vsktest::ShellQuote(Archive));
    if (r.exitCode == 0 && r.output.find("No errors detected") != std::string::npos)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << r.output;
  }
  // The archive extracted by unzip: every file by its path.
  Tree Extracted(const std::string& Archive) {
    const fs::path out = dir.path() / ("out-" + std::to_string(++FExtractions));
    fs::create_directories(out);
    const auto r = vsktest::RunTool("unzip -q -o " + vsktest::ShellQuote(Archive) + " -d " +
                                    vsktest::ShellQuote(out.string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    Tree t;
    for (auto it = fs::recursive_directory_iterator(out); it != fs::recursive_directory_iterator(); ++it)
      if (it->is_regular_file()) t[fs::relative(it->path(), out).string()] = vsktest::ReadFile(it->path());
    return t;
  }
  // The files of a tree by the names they are to have in an archive.
  static Tree Under(const std::string& Prefix, const Tree& Files) {
    Tree t;
    for (const auto& [name, data] : Files) t[Prefix + name] = data;
    return t;
  }

  // Answers a file dialog with these names in Folder.
  static std::function<int(QDialog&)> Choose(const fs::path& Folder, std::vector<std::string> Names) {
    return [Folder, Names](QDialog& Dialog) {
      auto& d = static_cast<QFileDialog&>(Dialog);
      d.setDirectory(QString::fromStdString(Folder.string()));
      QString text;
      if (Names.size() == 1) {
        text = QString::fromStdString(Names[0]);
      } else {
        for (const auto& n : Names) text += QStringLiteral("\"%1\" ").arg(QString::fromStdString(n));
      }
      d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(text);
      // Rows selected in the list win over the typed names; typing selects
      // only what the list has loaded so far.
      for (auto* view : d.findChildren<QAbstractItemView*>())
        if (view->selectionModel()) view->selectionModel()->clearSelection();
      return static_cast<int>(mrOk);
    };
  }

  void SelectRows(const std::vector<std::string>& Captions) {
    main->dfelvArchiveView->clearSelection();
    for (int r = 0; r < Model().RowCount(); ++r)
      for (const auto& c : Captions)
        if (Model().Row(r).Caption.toStdString() == c)
          main->dfelvArchiveView->selectionModel()->select(Model().index(r, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

  // The files in the Trash, by name, with their contents; its info files
  // under their own names.
  static Tree Trashed() {
    Tree t;
    const fs::path trash = vsk::HomeTrashDir();
    for (const char* sub : {"files", "info"}) {
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(trash / sub, ec))
        t[e.path().filename().string()] = vsktest::ReadFile(e.path());
    }
    return t;
  }

  // Nothing of a run stays beside the archive nor in the Trash.
  bool NothingSetAside(const fs::path& Folder) {
    for (const auto& e : fs::directory_iterator(Folder))
      if (e.path().filename().string().rfind(".brevane-", 0) == 0) return false;
    return Trashed().empty();
  }

  int FExtractions = 0;
};

TEST_F(AddTest, DroppedFoldersKeepTheirSubfolders) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  const Tree docs = {{"a.txt", vsktest::TextBytes(30000, 2)},
                     {"sub/readme.txt", "one\n"},
                     {"sub/deeper/data.bin", vsktest::RandomBytes(5000, 3)},
                     {"other/readme.txt", "a different readme\n"}};
  const fs::path src = MakeTree("src", {{"f.txt", "loose file\n"}});
  MakeTree("src/docs", docs);
  ASSERT_TRUE(Start({}));

  // No archive open: the add-options dialog names the new archive.
  ASSERT_TRUE(main->DropFileTargetDragOver());
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Add Options"));
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString((dir.path() / "dropped.zip").string()));
    return static_cast<int>(mrOk);
  });
  ui.ExpectMessage("Files Compressed: 5", mtInformation);
  main->DropFileTargetDrop({(src / "docs").string(), (src / "f.txt").string()});
  const std::string dropped = (dir.path() / "dropped.zip").string();
  ASSERT_TRUE(UnzipAccepts(dropped));
  Tree want = Under("docs/", docs);
  want["f.txt"] = "loose file\n";
  EXPECT_EQ(Extracted(dropped), want);
  EXPECT_EQ(main->vskVorsk.ArchiveFile(), dropped);
  EXPECT_EQ(Model().RowCount(), 5);

  // Onto the open archive: a folder that holds only folders is an input,
  // and its files keep the folders below it.
  const fs::path deep = MakeTree("deep", {{"x/y/z.txt", "zed\n"}, {"x/w.txt", "double-u\n"}});
  ui.ExpectMessage("Files Compressed: 2", mtInformation);
  main->DropFileTargetDrop({deep.string()});
  ASSERT_TRUE(UnzipAccepts(dropped));
  want["x/y/z.txt"] = "zed\n";
  want["x/w.txt"] = "double-u\n";
  EXPECT_EQ(Extracted(dropped), want);
  EXPECT_EQ(Model().RowCount(), 7);
  // The sources stay where they were.
  EXPECT_TRUE(fs::exists(deep / "x/y/z.txt"));

  // Through the list's drag-and-drop events; never while entries are being
  // dragged out of this list.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((src / "f.txt").string()))});
  QWidget* target = main->dfelvArchiveView->viewport();
  main->FDragTemp = (dir.path() / "drag").string();
  QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &refused);
  EXPECT_FALSE(refused.isAccepted());
  main->FDragTemp.clear();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  EXPECT_TRUE(drop.isAccepted());
  // The unchanged file meets its entry once the drop has returned.
  ui.ExpectModal([](QDialog&) { return mrSkipDupe; });
  QCoreApplication::processEvents();
  EXPECT_TRUE(ui.Steps.empty());
  EXPECT_EQ(Model().RowCount(), 7);
}

TEST_F(AddTest, NewArchiveReplacesAnOldFileOnlyWhenItWasWritten) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  const std::string old = Zip("target.zip", {{"old.txt", "old contents\n"}});
  const std::string before = vsktest::ReadFile(old);
  const Tree files = {{"one.txt", vsktest::TextBytes(4000, 7)}, {"two.bin", vsktest::RandomBytes(3000, 8)}};
  const fs::path src = MakeTree("src", files);
  ASSERT_TRUE(Start({}));
  const auto chooseTarget = [&](QDialog& Dialog) {
    auto& d = static_cast<QFileDialog&>(Dialog);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("New Archive"));
    d.selectFile(QString::fromStdString(old));
    return static_cast<int>(mrOk);
  };

  // The add dialog cancelled: the old file is back, untouched.
  ui.ExpectModal(chooseTarget);
  ui.ExpectModal([&](QDialog& Dialog) {
    // While the new archive is chosen, the old file waits in the Trash,
    // where a run that is killed leaves it for the user to restore.
    EXPECT_FALSE(fs::exists(old));
    Tree trashed = Trashed();
    EXPECT_EQ(trashed["target.zip"], before);
    EXPECT_NE(trashed["target.zip.trashinfo"].find("Path=" + vsk::TrashEscapePath(old) + "\n"), std::string::npos);
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Add"));
    return static_cast<int>(mrCancel);
  });
  main->acNewArchiveExecute();
  EXPECT_EQ(vsktest::ReadFile(old), before);
  EXPECT_TRUE(NothingSetAside(dir.path()));

  // A run that adds nothing (the chosen file vanished) keeps it as well.
  vsktest::WriteFile(src / "gone.txt", "soon gone");
  ui.ExpectModal(chooseTarget);
  ui.ExpectModal([&](QDialog& Dialog) {
    Choose(src, {"gone.txt"})(Dialog);
    fs::remove(src / "gone.txt");
    return static_cast<int>(mrOk);
  });
  ui.ExpectMessage(msgtext::kNothingAdded, mtError);
  main->acNewArchiveExecute();
  EXPECT_EQ(vsktest::ReadFile(old), before);
  EXPECT_TRUE(NothingSetAside(dir.path()));

  // Cancelled during the run from the progress window: the old file stays.
  const fs::path big = MakeTree("big", {{"big.bin", vsktest::RandomBytes(3 << 20, 9)}});
  ui.ExpectModal(chooseTarget);
  ui.ExpectModal([&](QDialog& Dialog) {
    Choose(big, {"big.bin"})(Dialog);
    // Presses Cancel as soon as the progress window is up.
    auto* press = new QTimer(main);
    QObject::connect(press, &QTimer::timeout, press, [press] {
      if (!fmProgress->isVisible()) return;
      press->stop();
      press->deleteLater();
      fmProgress->buCancelClick();
    });
    press->start(0);
    return static_cast<int>(mrOk);
  });
  ui.ExpectMessage(dlgtext::kConfirmCancelTask, mtConfirmation, mrYes);
  ui.ExpectMessage(msgtext::kArchivingCancelled, mtError);
  main->acNewArchiveExecute();
  EXPECT_EQ(vsktest::ReadFile(old), before);
  EXPECT_TRUE(NothingSetAside(dir.path()));
  EXPECT_FALSE(main->FCancelTask);

  // Written: a fresh archive of just the new files takes the old one's
  // place, and the old one stays in the Trash.
  ui.ExpectModal(chooseTarget);
  ui.ExpectModal(Choose(src, {"one.txt", "two.bin"}));
  ui.ExpectMessage("Files Compressed: 2", mtInformation);
  main->acNewArchiveExecute();
  ASSERT_TRUE(UnzipAccepts(old));
  EXPECT_EQ(Extracted(old), files);
  EXPECT_EQ(Trashed().at("target.zip"), before);
  EXPECT_EQ(Trashed().size(), 2u);
  EXPECT_EQ(main->windowTitle().toStdString(), TitleText() + " - " + old);
  EXPECT_EQ(Model().RowCount(), 2);
  EXPECT_EQ(main->dfmruMainList.Items().front(), old);
}

TEST_F(AddTest, ANewArchiveIsNamedInTheTitleWhileItIsMade) {
  const std::string listed = Zip("listed.zip", {{"a.txt", "a"}});
  const fs::path src = MakeTree("large", {{"large.txt", vsktest::TextBytes(8 << 20, 11)}});
  const std::string made = (dir.path() / "made.zip").string();
  ASSERT_TRUE(Start({listed}));
  std::set<std::string> titles;  // while the progress window is up
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
    if (fmProgress->isVisible()) titles.insert(main->windowTitle().toStdString());
  });
  watch.start(1);
  ui.ExpectModal([&](QDialog& Dialog) {
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(made));
    return static_cast<int>(mrOk);
  });
  ui.ExpectModal(Choose(src, {"large.txt"}));
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  main->acNewArchiveExecute();
  EXPECT_EQ(titles, (std::set<std::string>{TitleText() + " - " + made}));
}

TEST_F(AddTest, NewCabinetAndAddingToIt) {
  ASSERT_TRUE(vsktest::HaveTool("cabextract"));
  ASSERT_TRUE(Start({}));
  const std::string cab = (dir.path() / "x.cab").string();
  const Tree first = {{"one.txt", vsktest::TextBytes(4000, 7)}, {"two.bin", vsktest::RandomBytes(3000, 8)}};
  const fs::path src = MakeTree("src", first);
  ui.ExpectModal([&](QDialog& Dialog) {
    static_cast<QFileDialog&>(Dialog).selectFile(QString::fromStdString(cab));
    return static_cast<int>(mrOk);
  });
  ui.ExpectModal(Choose(src, {"one.txt", "two.bin"}));
  ui.ExpectMessage("Files Compressed: 2", mtInformation);
  main->acNewArchiveExecute();
  EXPECT_TRUE(NothingSetAside(dir.path()));
  EXPECT_EQ(main->vskVorsk.ArcType(), vsk::atCab);
  EXPECT_EQ(Model().RowCount(), 2);
  EXPECT_TRUE(main->CommandEnabled("acAdd"));
  EXPECT_TRUE(main->CommandEnabled("acTest"));

  // The command line's entry point adds to it; the old entries stay.
  const fs::path more = MakeTree("more", {{"three.txt", "three\n"}});
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  EXPECT_EQ(main->CmdAdd({cab, {(more / "three.txt").string()},
                          0, vsk::sdExplorer_Auto, vsk::swAdd, true, true}).Added, 1);
  Tree all = first;
  all["three.txt"] = "three\n";
  EXPECT_EQ(vsktest::Cabextract(cab, dir.path() / "x"), all);
}

TEST_F(AddTest, AddAsksBeforeReplacingAndRenaming) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  const std::string zip = Zip("work.zip", {{"a.txt", "alpha\n"}, {"b.txt", "bravo\n"}});
  const fs::path src = MakeTree("src", {{"a.txt", "alpha, changed\n"}, {"b.txt", "bravo, changed\n"}});
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().RowCount(), 2);

  // Yes to All on the first question answers the second too.
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Add"));
    EXPECT_TRUE(fmAddBottom->buPassword->isEnabled());
    EXPECT_TRUE(fmAddBottom->cbCompression->isEnabled());
    return Choose(src, {"a.txt", "b.txt"})(Dialog);
  });
  ui.ExpectMessage("Do you want to replace this file:\r   a.txt\r   Size: 6 bytes    Date: 06-15-21 10:30\r\r"
                   "With this file ?\r   " +
                       (src / "a.txt").string() + "\r   Size: 15 bytes    Date: 03-04-22 05:06",
                   mtConfirmation, mrYesToAll);
  ui.ExpectMessage("2 files added or updated.", mtInformation);
  main->acAddExecute();
  ASSERT_TRUE(UnzipAccepts(zip));
  EXPECT_EQ(Extracted(zip), (Tree{{"a.txt", "alpha, changed\n"}, {"b.txt", "bravo, changed\n"}}));

  // No to All keeps every entry. A file not replaced may still give the old
  // entry another name; Skip All there asks no more for the run.
  MakeTree("src", {{"a.txt", "alpha, third\n"}, {"b.txt", "bravo, third\n"}}, "2023-01-02 03:04");
  const std::string kept = vsktest::ReadFile(zip);
  ui.ExpectModal(Choose(src, {"a.txt", "b.txt"}));
  ui.ExpectMessage("Do you want to replace this file:\r   a.txt\r   Size: 15 bytes    Date: 03-04-22 05:06\r\r"
                   "With this file ?\r   " +
                       (src / "a.txt").string() + "\r   Size: 13 bytes    Date: 01-02-23 03:04",
                   mtConfirmation, mrNoToAll);
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(dynamic_cast<TfmRenameFile&>(Dialog).FileNameText(), "a.txt");
    return mrSkipAllDupes;
  });
  ui.ExpectMessage("0 files added or updated.", mtInformation);
  main->acAddExecute();
  EXPECT_EQ(vsktest::ReadFile(zip), kept);
  EXPECT_EQ(main->FReplaceAll, -1);

  // Yes for one file, No and Skip for the other; the next run asks again.
  ui.ExpectModal(Choose(src, {"a.txt", "b.txt"}));
  ui.ExpectMessage("Do you want to replace this file:\r   a.txt\r   Size: 15 bytes    Date: 03-04-22 05:06\r\r"
                   "With this file ?\r   " +
                       (src / "a.txt").string() + "\r   Size: 13 bytes    Date: 01-02-23 03:04",
                   mtConfirmation, mrYes);
  ui.ExpectMessage("Do you want to replace this file:\r   b.txt\r   Size: 15 bytes    Date: 03-04-22 05:06\r\r"
                   "With this file ?\r   " +
                       (src / "b.txt").string() + "\r   Size: 13 bytes    Date: 01-02-23 03:04",
                   mtConfirmation, mrNo);
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(dynamic_cast<TfmRenameFile&>(Dialog).FileNameText(), "b.txt");
    return mrSkipDupe;
  });
  ui.ExpectMessage("1 files added or updated.", mtInformation);
  main->acAddExecute();
  ASSERT_TRUE(UnzipAccepts(zip));
  EXPECT_EQ(Extracted(zip), (Tree{{"a.txt", "alpha, third\n"}, {"b.txt", "bravo, changed\n"}}));

  // The same unchanged file again: Skip All leaves both entries and asks
  // no more, also after the next file was not replaced.
  const std::string same = vsktest::ReadFile(zip);
  ui.ExpectModal(Choose(src, {"a.txt", "b.txt"}));
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmRenameFile&>(Dialog);
    EXPECT_EQ(d.FileNameText(), "a.txt");
    return mrSkipAllDupes;
  });
  ui.ExpectMessage("Do you want to replace this file:\r   b.txt\r   Size: 15 bytes    Date: 03-04-22 05:06\r\r"
                   "With this file ?\r   " +
                       (src / "b.txt").string() + "\r   Size: 13 bytes    Date: 01-02-23 03:04",
                   mtConfirmation, mrNo);
  ui.ExpectMessage("0 files added or updated.", mtInformation);
  main->acAddExecute();
  EXPECT_EQ(vsktest::ReadFile(zip), same);

  // Rename keeps the old entry under the new name beside the new file.
  MakeTree("src", {{"c.txt", "charlie\n"}});
  ui.ExpectModal(Choose(src, {"a.txt", "c.txt"}));
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmRenameFile&>(Dialog);
    d.edFileName->setText(QStringLiteral("a-old.txt"));
    return mrRenameDupe;
  });
  ui.ExpectMessage("2 files added or updated.", mtInformation);
  main->acAddExecute();
  ASSERT_TRUE(UnzipAccepts(zip));
  EXPECT_EQ(Extracted(zip), (Tree{{"a-old.txt", "alpha, third\n"},
                                  {"a.txt", "alpha, third\n"},
                                  {"b.txt", "bravo, changed\n"},
                                  {"c.txt", "charlie\n"}}));
  EXPECT_EQ(Model().RowCount(), 4);
}

TEST_F(AddTest, AddWithWildcardsAndItsCommandChecks) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  ASSERT_TRUE(Start({}));
  ui.ExpectMessage(msgtext::kOpenArchiveFirst, mtInformation);
  main->acAddExecute();

  const std::string zip = Zip("w.zip", {{"keep.dat", "k"}});
  const fs::path src = MakeTree("src", {{"one.txt", "1"}, {"two.txt", "22"}, {"skip.dat", "3"},
                                        {"sub/three.txt", "333"}, {"my notes.dat", "4444"}});
  main->DisplayArchive(zip);
  ASSERT_EQ(Model().RowCount(), 1);
  // Masks typed in the name field, one quoted for its blank, with the
  // subfolders included and maximum compression.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = static_cast<QFileDialog&>(Dialog);
    d.setDirectory(QString::fromStdString(src.string()));
    d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("*.txt \"my notes.dat\""));
    fmAddBottom->ckIncludeSubfolders->setChecked(true);
    fmAddBottom->buWildcards->click();
    return static_cast<int>(mrCancel);
  });
  ui.ExpectMessage("4 files added or updated.", mtInformation);
  main->acAddExecute();
  ASSERT_TRUE(UnzipAccepts(zip));
  EXPECT_EQ(Extracted(zip), (Tree{{"keep.dat", "k"},
                                  {"one.txt", "1"},
                                  {"two.txt", "22"},
                                  {"sub/three.txt", "333"},
                                  {"my notes.dat", "4444"}}));
  EXPECT_EQ(ReadSettingString("Folders", "AddLastPath"), src.string());

  // The archive vanished behind the window's back.
  fs::remove(zip);
  ui.ExpectMessage(msgtext::kArchiveVanished, mtError);
  main->acAddExecute();
  EXPECT_TRUE(main->vskVorsk.ArchiveFile().empty());
}

TEST_F(AddTest, DeletingSelectedEntriesAndTheWholeArchive) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  const std::string zip = Zip("del.zip", {{"readme.txt", "read me\n"},
                                          {"notes.txt", "notes\n"},
                                          {"docs/report.txt", vsktest::TextBytes(20000)},
                                          {"img/pic.bin", vsktest::RandomBytes(9000)},
                                          {"img/readme.txt", "another readme\n"}});
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().RowCount(), 5);

  ui.ExpectMessage(msgtext::kNoneSelectedToDelete, mtInformation);
  main->acDeleteExecute();

  // Two rows: the plural question; only the exact paths selected go, not
  // the other readme.
  SelectRows({"report.txt", "pic.bin"});
  ui.ExpectMessage(msgtext::kDeleteSelectedFiles, mtConfirmation, mrNo);
  main->acDeleteExecute();
  EXPECT_EQ(Model().RowCount(), 5);
  ui.ExpectMessage(msgtext::kDeleteSelectedFiles, mtConfirmation, mrYes);
  ui.ExpectMessage("2 files successfully deleted.", mtInformation);
  main->acDeleteExecute();
  ASSERT_TRUE(UnzipAccepts(zip));
  EXPECT_EQ(Extracted(zip), (Tree{{"readme.txt", "read me\n"}, {"notes.txt", "notes\n"}, {"img/readme.txt",
                                                                                             "another readme\n"}}));
  EXPECT_EQ(Model().RowCount(), 3);

  // Every row of a filtered list: just those entries are deleted.
  main->rcbFilter->SetText("notes*");
  main->sbApplyFilterClick();
  ASSERT_EQ(Model().RowCount(), 1);
  main->acSelectAllExecute();
  ui.ExpectMessage(msgtext::kDeleteSelectedFile, mtConfirmation, mrYes);
  ui.ExpectMessage("1 file successfully deleted.", mtInformation);
  main->acDeleteExecute();
  ASSERT_TRUE(UnzipAccepts(zip));
  EXPECT_EQ(Extracted(zip), (Tree{{"readme.txt", "read me\n"}, {"img/readme.txt", "another readme\n"}}));
  EXPECT_EQ(Model().RowCount(), 0);

  // Every row of the whole list: the archive itself goes to the trash.
  main->sbRemoveFilterClick();
  ASSERT_EQ(Model().RowCount(), 2);
  main->acSelectAllExecute();
  ui.ExpectMessage(msgtext::kDeleteWholeArchive, mtWarning, mrNo);
  main->acDeleteExecute();
  EXPECT_TRUE(fs::exists(zip));
  EXPECT_EQ(Model().RowCount(), 2);
  ui.ExpectMessage(msgtext::kDeleteWholeArchive, mtWarning, mrYes);
  ui.ExpectMessage(msgtext::kArchiveDeleted, mtInformation);
  main->acDeleteExecute();
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_TRUE(fs::exists(env.root() / "home/.local/share/Trash/files/del.zip"));
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_EQ(main->windowTitle().toStdString(), TitleText());

  // Nothing open.
  ui.ExpectMessage(msgtext::kNoneSelectedToDelete, mtInformation);
  main->acDeleteExecute();
}

TEST_F(AddTest, CommandLineAddEntryPoints) {
  ASSERT_TRUE(vsktest::HaveTool("unzip"));
  const fs::path src = MakeTree("src", {{"a.txt", vsktest::TextBytes(8000, 4)}, {"sub/b.txt", "bee\n"}});
  ASSERT_TRUE(Start({}));

  // A name without an extension makes a zip archive.
  const std::string plain = (dir.path() / "archive").string();
  ui.ExpectMessage("Files Compressed: 1", mtInformation);
  EXPECT_EQ(main->CmdAdd({plain, {(src / "a.txt").string()},
                          0, vsk::sdExplorer_Auto, vsk::swAdd, true, true}).Added, 1);
  ASSERT_TRUE(UnzipAccepts(plain + ".zip"));
  EXPECT_FALSE(fs::exists(plain));
  EXPECT_EQ(Extracted(plain + ".zip"), (Tree{{"a.txt", vsktest::TextBytes(8000, 4)}}));
  EXPECT_EQ(Model().RowCount(), 1);

  // Inputs that do not exist: -1, each one named, and neither the archive
  // nor the list changes.
  const std::string before = vsktest::ReadFile(plain + ".zip");
  ui.ExpectMessage(msgtext::kNotAdded + (src / "missing.txt").string() + msgtext::kNoFileToAdd + "\r\n" +
                       (dir.path() / "nowhere/*.*").string() + msgtext::kNoFileToAdd,
                   mtError);
  EXPECT_EQ(main->CmdAdd({plain + ".zip", {(src / "missing.txt").string(), (dir.path() / "nowhere/*.*").string()},
                          0, vsk::sdExplorer_Auto, vsk::swAdd, true, true}).Added,
            -1);
  EXPECT_EQ(main->CmdAdd({plain + ".zip", {}, 0, vsk::sdExplorer_Auto, vsk::swAdd, true, true}).Added, -1);
  EXPECT_EQ(vsktest::ReadFile(plain + ".zip"), before);
  EXPECT_EQ(Model().RowCount(), 1);

  // Full paths, the folder given as "folder/*.*", no result message.
  const std::string full = (dir.path() / "full.zip").string();
  EXPECT_EQ(main->CmdAdd({full, {(src.string() + "/*.*")}, 3, vsk::sdAbsoluteNoDrv, vsk::swAdd, true, false}).Added, 2);
  ASSERT_TRUE(UnzipAccepts(full));
  const std::string root = src.string().substr(1) + "/";
  EXPECT_EQ(Extracted(full), (Tree{{root + "a.txt", vsktest::TextBytes(8000, 4)}, {root + "sub/b.txt", "bee\n"}}));

  // Moving: the sources are deleted once they are in the archive.
  const fs::path moving = MakeTree("moving", {{"m1.txt", "m1"}, {"deeper/m2.txt", "m2"}});
  const std::string moved = (dir.path() / "moved.zip").string();
  EXPECT_EQ(main->CmdAdd({moved, {moving.string() + "/*.*"},
                          1, vsk::sdExplorer_Auto, vsk::swMove, true, false}).Added, 2);
  ASSERT_TRUE(UnzipAccepts(moved));
  EXPECT_EQ(Extracted(moved), (Tree{{"m1.txt", "m1"}, {"deeper/m2.txt", "m2"}}));
  EXPECT_FALSE(fs::exists(moving / "m1.txt"));
  EXPECT_FALSE(fs::exists(moving / "deeper/m2.txt"));

  // Without confirmations the result is not shown; an input that gives no
  // file does not change the names of the others.
  Options.ConfirmCompress = false;
  const std::string quiet = (dir.path() / "quiet.zip").string();
  ui.ExpectMessage(msgtext::kNotAdded + (dir.path() / "nowhere/*.*").string() + msgtext::kNoFileToAdd, mtError);
  EXPECT_EQ(main->CmdAdd({quiet, {(dir.path() / "nowhere/*.*").string(), (src / "sub/b.txt").string()},
                          0, vsk::sdExplorer_Auto, vsk::swAdd, true, true}).Added,
            1);
  ASSERT_TRUE(UnzipAccepts(quiet));
  EXPECT_EQ(Extracted(quiet), (Tree{{"b.txt", "bee\n"}}));
}

// The add command's result: the files added, and each input left out as an
// error of the run, so a run that left one out is not complete.
TEST_F(AddTest, TheAddResultNamesWhatWasLeftOut) {
  const fs::path src = MakeTree("src", {{"a.txt", "aye\n"}});
  ASSERT_TRUE(Start({}));
  Options.ConfirmCompress = false;
  TAddOptions adding;
  adding.Archive = (dir.path() / "whole.zip").string();
  adding.Files = {(src / "a.txt").string()};
  const TRunResult whole = main->CmdAdd(adding);
  EXPECT_EQ(whole.Added, 1);
  EXPECT_TRUE(whole.Complete());

  const std::string missing = (src / "missing.txt").string();
  ui.ExpectMessage(msgtext::kNotAdded + missing + msgtext::kNoFileToAdd, mtError);
  adding.Archive = (dir.path() / "part.zip").string();
  adding.Files = {(src / "a.txt").string(), missing};
  const TRunResult part = main->CmdAdd(adding);
  EXPECT_EQ(part.Added, 1);
  EXPECT_FALSE(part.Complete());
  EXPECT_EQ(part.RunErrors(), std::vector<std::string>{missing + msgtext::kNoFileToAdd});
}

}  // namespace
}  // namespace brevane::testing
