#include "app/components/apopendlg.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "app/dialogs/addpanels.h"
#include "app/main/messages.h"
#include "platform/trash.h"
#include "tests/app/dialogs/scriptedui.h"
#include "tests/support/testutil.h"

namespace brevane {
namespace {

using testing::TScriptedUi;
using vsktest::IsolatedEnvironment;
using vsktest::TempDir;
using vsktest::WriteFile;

QStringList Strings(std::initializer_list<const char*> s) {
  QStringList out;
  for (const char* x : s) out << QString::fromUtf8(x);
  return out;
}

TEST(OpenDialog, FilterTexts) {
  EXPECT_EQ(TOpenDialog::NameFilters(msgtext::kAllFilesFilter), Strings({"All Files (*)"}));
  const QStringList archives = TOpenDialog::NameFilters(msgtext::kNewArchiveFilter);
  ASSERT_EQ(archives.size(), 7);
  EXPECT_EQ(archives[0], QStringLiteral("BlakHole Archive (*.bh)"));
  EXPECT_EQ(archives[6], QStringLiteral("Zip Archive (*.zip)"));
  const QStringList open = TOpenDialog::NameFilters(msgtext::kOpenArchiveFilter);
  ASSERT_EQ(open.size(), 3);
  EXPECT_TRUE(open[0].startsWith(QStringLiteral("All Archive Files (*.ace *.arc *.arj")));
  EXPECT_TRUE(open[1].endsWith(QStringLiteral("*.zoo *.exe)")));
  EXPECT_EQ(open[2], QStringLiteral("All Files (*)"));
  EXPECT_TRUE(TOpenDialog::NameFilters("").isEmpty());
  EXPECT_EQ(TOpenDialog::NameFilters("Text|*.txt;;*.TXT|odd"), Strings({"Text (*.txt *.TXT)"}));
}

TEST(OpenDialog, Placement) {
  const QRect screen(0, 0, 1000, 800);
  const QRect dialog(0, 0, 400, 300);
  TApPosParams p;
  EXPECT_EQ(PlaceDialogRect(dialog, screen, screen, p), QRect(300, 250, 400, 300));
  EXPECT_EQ(PlaceDialogRect(dialog, QRect(100, 100, 200, 100), screen, p).center(), QPoint(199, 149));
  p.ShiftX = 20;
  p.ShiftY = -10;
  EXPECT_EQ(PlaceDialogRect(dialog, screen, screen, p).topLeft(), QPoint(320, 240));
  p.ShiftX = 500;
  p.ShiftY = 600;
  EXPECT_EQ(PlaceDialogRect(dialog, screen, screen, p).topLeft(), QPoint(800, 850));
  p.FitToScreen = true;
  EXPECT_EQ(PlaceDialogRect(dialog, screen, screen, p).topLeft(), QPoint(600, 500));
  p.ShiftX = -900;
  p.ShiftY = -900;
  EXPECT_EQ(PlaceDialogRect(dialog, screen, screen, p).topLeft(), QPoint(0, 0));
  // Without a centre the dialog stays where it is, shifted.
  p = {};
  p.ShiftX = 5;
  EXPECT_EQ(PlaceDialogRect(QRect(10, 10, 400, 300), QRect(), screen, p).topLeft(), QPoint(15, 10));
}

class PanelDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    fmAddBottom = new TfmAddBottom();
    fmAddOptionsBottom = new TfmAddOptionsBottom();
  }
  void TearDown() override {
    delete fmAddBottom;
    fmAddBottom = nullptr;
    delete fmAddOptionsBottom;
    fmAddOptionsBottom = nullptr;
  }
  IsolatedEnvironment env;
};

QPushButton* AcceptButton(QDialog& Dialog) {
  auto* box = Dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  if (!box) return nullptr;
  if (auto* b = box->button(QDialogButtonBox::Open)) return b;
  return box->button(QDialogButtonBox::Save);
}

int RowOf(QGridLayout* Grid, QWidget* W) {
  const int i = Grid->indexOf(W);
  if (i < 0) return -1;
  int r = 0, c = 0, rs = 0, cs = 0;
  Grid->getItemPosition(i, &r, &c, &rs, &cs);
  return r;
}

TEST_F(PanelDialogs, AddPanelIsBorrowedAndGivenBack) {
  TScriptedUi ui;
  TApOpenDialog d;
  d.SetTitle("Add");
  d.DlgItemsCaptions.OK = "&Add";
  d.CustDlgParams.BottomFormName = "fmAddBottom";
  d.Options = {ofHideReadOnly, ofAllowMultiSelect, ofFileMustExist};
  for (int round = 0; round < 2; ++round) {
    ui.ExpectModal([&](QDialog& Dialog) {
      EXPECT_EQ(&Dialog, &d);
      EXPECT_EQ(TApCustomOpenDialog::Current(), &d);
      EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Add"));
      EXPECT_EQ(fmAddBottom->parentWidget(), &d);
      EXPECT_FALSE(fmAddBottom->isWindow());
      EXPECT_TRUE(fmAddBottom->isVisibleTo(&d));
      auto* grid = qobject_cast<QGridLayout*>(d.layout());
      EXPECT_EQ(RowOf(grid, fmAddBottom), grid->rowCount() - 1);
      EXPECT_GT(RowOf(grid, fmAddBottom), RowOf(grid, d.findChild<QWidget*>(QStringLiteral("fileTypeCombo"))));
      QPushButton* ok = AcceptButton(Dialog);
      EXPECT_TRUE(ok && ok->text() == QStringLiteral("&Add"));
      EXPECT_EQ(d.EmbeddedPanels().size(), 1u);
      return static_cast<int>(mrCancel);
    });
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(TApCustomOpenDialog::Current(), nullptr);
    EXPECT_EQ(fmAddBottom->parentWidget(), nullptr);
    EXPECT_TRUE(fmAddBottom->isWindow());
    EXPECT_FALSE(fmAddBottom->isVisible());
    EXPECT_TRUE(d.EmbeddedPanels().empty());
  }
}

TEST_F(PanelDialogs, TopAndLeftPanelsMoveTheStandardItems) {
  TScriptedUi ui;
  TApSaveDialog d;
  d.CustDlgParams.TopFormName = "FMADDOPTIONSBOTTOM";
  d.CustDlgParams.LeftFormName = "fmAddBottom";
  d.CustDlgParams.RightFormName = "fmNoSuchForm";
  auto* grid = qobject_cast<QGridLayout*>(d.layout());
  ASSERT_NE(grid, nullptr);
  QWidget* label = d.findChild<QWidget*>(QStringLiteral("lookInLabel"));
  ASSERT_NE(label, nullptr);
  const int rowBefore = RowOf(grid, label);
  const int itemsBefore = grid->count();
  ui.ExpectModal([&](QDialog&) {
    EXPECT_EQ(RowOf(grid, fmAddOptionsBottom), 0);
    EXPECT_EQ(RowOf(grid, label), rowBefore + 1);
    int r = 0, c = 0, rs = 0, cs = 0;
    grid->getItemPosition(grid->indexOf(fmAddBottom), &r, &c, &rs, &cs);
    EXPECT_EQ(c, 0);
    grid->getItemPosition(grid->indexOf(label), &r, &c, &rs, &cs);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(d.EmbeddedPanels().size(), 2u);
    return static_cast<int>(mrCancel);
  });
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(RowOf(grid, label), rowBefore);
  EXPECT_EQ(grid->count(), itemsBefore);
  EXPECT_EQ(fmAddOptionsBottom->parentWidget(), nullptr);
}

TEST_F(PanelDialogs, ChoosingAFileAndTheFileType) {
  TempDir dir;
  WriteFile(dir / "one.zip", "PK");
  TScriptedUi ui;
  TApSaveDialog d;
  d.Filter = msgtext::kNewArchiveFilter;
  d.FilterIndex = 7;
  d.DefaultExt = "zip";
  d.InitialDir = dir.str();
  d.DlgItemsCaptions.FileType = "Archive type:";
  d.VisibleControls = kAllDlgControls - TApOpenDlgControls{dcToolBar};
  int typeChanges = 0;
  d.OnTypeChange = [&](TOpenDialog& Sender) {
    ++typeChanges;
    EXPECT_EQ(Sender.FilterIndex, 4);
  };
  bool shown = false;
  d.OnShow = [&](TApCustomOpenDialog&) { shown = true; };
  ui.ExpectModal([&](QDialog&) {
    EXPECT_TRUE(shown);
    EXPECT_EQ(d.selectedNameFilter(), QStringLiteral("Zip Archive (*.zip)"));
    EXPECT_EQ(d.CurrentFolder(), dir.str());
    EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("fileTypeLabel"))->text(), QStringLiteral("Archive type:"));
    EXPECT_FALSE(d.findChild<QWidget*>(QStringLiteral("toParentButton"))->isVisibleTo(&d));
    EXPECT_TRUE(d.findChild<QWidget*>(QStringLiteral("fileTypeCombo"))->isVisibleTo(&d));
    d.selectNameFilter(QStringLiteral("LHA Archive (*.lha)"));
    emit d.filterSelected(QStringLiteral("LHA Archive (*.lha)"));
    d.selectFile(QStringLiteral("new"));
    EXPECT_EQ(d.FileNameText(), "new");
    return static_cast<int>(mrOk);
  });
  ASSERT_TRUE(d.Execute());
  EXPECT_EQ(typeChanges, 1);
  EXPECT_EQ(d.FilterIndex, 4);
  EXPECT_EQ(d.FileName, (dir / "new.zip").string());

  // Shown again, the last name is selected, so typing replaces it; a
  // completion list open at the end goes with the dialog.
  QCompleter* completer = nullptr;
  ui.ExpectModal([&](QDialog&) {
    auto* edit = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("new.zip"));
    completer = edit->completer();
    if (!completer) return static_cast<int>(mrCancel);
    completer->popup()->show();
    EXPECT_TRUE(completer->popup()->isVisible());
    return static_cast<int>(mrCancel);
  });
  d.FileName = "new.zip";
  EXPECT_FALSE(d.Execute());
  ASSERT_NE(completer, nullptr);
  EXPECT_FALSE(completer->popup()->isVisible());
  d.FileName = (dir / "new.zip").string();

  // Cancelling keeps the last choice.
  ui.ExpectModal([](QDialog&) { return static_cast<int>(mrCancel); });
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.FileName, (dir / "new.zip").string());

  TOpenDialog open;
  open.Options = {ofAllowMultiSelect, ofFileMustExist};
  open.InitialDir = dir.str();
  WriteFile(dir / "two.zip", "PK");
  ui.ExpectModal([&](QDialog&) {
    EXPECT_EQ(open.fileMode(), QFileDialog::ExistingFiles);
    open.selectFile(QString::fromStdString((dir / "two.zip").string()));
    return static_cast<int>(mrOk);
  });
  ASSERT_TRUE(open.Execute());
  ASSERT_EQ(open.Files.size(), 1u);
  EXPECT_EQ(open.Files[0], (dir / "two.zip").string());
}

// Rejects any modal window that shows up meanwhile and remembers that one did.
struct TModalWatch {
  QTimer Timer;
  bool Seen = false;
  TModalWatch() {
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      if (QWidget* w = QApplication::activeModalWidget()) {
        if (w->inherits("QMessageBox")) {
          Seen = true;
          w->close();
        }
      }
    });
    Timer.start(50);
  }
};

TEST_F(PanelDialogs, DeletingInTheFileListIsBlockedOrGoesToTheTrash) {
  TempDir dir;
  const auto victim = dir / "victim.txt";
  WriteFile(victim, "keep me");
  TScriptedUi ui;
  TApOpenDialog d;
  d.InitialDir = dir.str();
  d.ListViewStyles.EnableDelete = false;
  d.ListViewStyles.EnableRename = false;
  ui.ExpectModal([&](QDialog&) {
    d.show();
    auto* list = d.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    auto* model = qobject_cast<QFileSystemModel*>(list ? list->model() : nullptr);
    EXPECT_TRUE(list && model);
    if (!list || !model) return static_cast<int>(mrCancel);
    const QString path = QString::fromStdString(victim.string());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return model->index(path).isValid() && model->rowCount(model->index(dir.path().c_str())) > 0; }, 5000));
    d.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
    list->setFocus();
    list->setCurrentIndex(model->index(path));
    EXPECT_FALSE(d.findChild<QAction*>(QStringLiteral("qt_delete_action"))->isVisible());
    EXPECT_FALSE(d.findChild<QAction*>(QStringLiteral("qt_rename_action"))->isVisible());
    TModalWatch watch;
    QTest::keyClick(list, Qt::Key_Delete);
    QTest::qWait(200);
    EXPECT_FALSE(watch.Seen);
    EXPECT_TRUE(std::filesystem::exists(victim));
    // Other keys still reach the list.
    QTest::keyClick(list, Qt::Key_End);
    d.hide();
    return static_cast<int>(mrCancel);
  });
  d.Execute();
  EXPECT_TRUE(std::filesystem::exists(victim));

  // Allowed, Delete moves the file to the trash, asking through the
  // program's seam and never with a box of the dialog's own.
  TApOpenDialog allowed;
  allowed.InitialDir = dir.str();
  allowed.ListViewStyles.EnableDelete = true;
  ui.ExpectModal([&](QDialog&) {
    allowed.show();
    auto* list = allowed.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    auto* model = qobject_cast<QFileSystemModel*>(list->model());
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(model->index(dir.path().c_str())) == 1; }, 5000));
    allowed.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&allowed));
    list->setFocus();
    const QModelIndex file = model->index(QString::fromStdString(victim.string()));
    list->setCurrentIndex(file);
    list->selectionModel()->select(file, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    TModalWatch watch;
    ui.ExpectMessage(std::string(msgtext::kConfirmTrashFile) + "victim.txt" + msgtext::kConfirmTrashFileEnd,
                     mtConfirmation, mrYes);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_FALSE(watch.Seen);
    allowed.hide();
    return static_cast<int>(mrCancel);
  });
  allowed.Execute();
  EXPECT_FALSE(std::filesystem::exists(victim));
  EXPECT_EQ(vsktest::ReadFile(std::filesystem::path(vsk::HomeTrashDir()) / "files/victim.txt"), "keep me");

  // A plain file dialog of the program's goes the same way.
  const auto plainFile = dir / "plain.txt";
  WriteFile(plainFile, "plain");
  QFileDialog plain(nullptr, QString(), QString::fromStdString(dir.str()));
  RouteDeletesToTrash(plain);
  plain.show();
  auto* list = plain.findChild<QAbstractItemView*>(QStringLiteral("listView"));
  auto* model = qobject_cast<QFileSystemModel*>(list->model());
  const QString path = QString::fromStdString(plainFile.string());
  EXPECT_TRUE(QTest::qWaitFor([&] { return model->index(path).isValid(); }, 5000));
  plain.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&plain));
  list->setFocus();
  list->setCurrentIndex(model->index(path));
  list->selectionModel()->select(model->index(path), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  TModalWatch watch;
  ui.ExpectMessage(std::string(msgtext::kConfirmTrashFile) + "plain.txt" + msgtext::kConfirmTrashFileEnd,
                   mtConfirmation, mrYes);
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_FALSE(watch.Seen);
  EXPECT_EQ(vsktest::ReadFile(std::filesystem::path(vsk::HomeTrashDir()) / "files/plain.txt"), "plain");
}

// The folder picker behind UI().SelectDirectory (backup folders, batch
// output, the wizard): Delete in it moves a whole folder to the trash after
// the program's question, never removes it for good.
TEST_F(PanelDialogs, TheFolderPickerDeletesToTheTrash) {
  TempDir dir;
  std::filesystem::create_directories(dir / "doomed/deeper");
  WriteFile(dir / "doomed/deeper/inside.txt", "inside");
  struct TPicker : TQtUserInterface {
    std::vector<std::string> Asked;
    int MessageDlg(const std::string& Text, TMsgDlgType, TMsgDlgButtons) override {
      Asked.push_back(Text);
      return mrYes;
    }
    int ShowModal(QDialog& Dialog) override {
      auto& d = dynamic_cast<QFileDialog&>(Dialog);
      EXPECT_EQ(d.fileMode(), QFileDialog::Directory);
      d.show();
      auto* list = d.findChild<QAbstractItemView*>(QStringLiteral("listView"));
      auto* model = qobject_cast<QFileSystemModel*>(list ? list->model() : nullptr);
      EXPECT_TRUE(list && model);
      if (!list || !model) return mrCancel;
      const QString path = QString::fromStdString(Doomed);
      EXPECT_TRUE(QTest::qWaitFor([&] { return model->index(path).isValid(); }, 5000));
      d.activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
      list->setFocus();
      list->setCurrentIndex(model->index(path));
      list->selectionModel()->select(model->index(path),
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      QTest::keyClick(list, Qt::Key_Delete);
      d.hide();
      return mrCancel;
    }
    std::string Doomed;
  } picker;
  picker.Doomed = (dir / "doomed").string();
  SetUserInterface(&picker);
  std::string folder = dir.str();
  EXPECT_FALSE(UI().SelectDirectory("Backup Storage Folder", folder));
  SetUserInterface(nullptr);
  const std::string question = std::string(msgtext::kConfirmTrashFile) + "doomed" + msgtext::kConfirmTrashFileEnd;
  EXPECT_EQ(picker.Asked, std::vector<std::string>{question});
  EXPECT_FALSE(std::filesystem::exists(dir / "doomed"));
  EXPECT_EQ(vsktest::ReadFile(std::filesystem::path(vsk::HomeTrashDir()) / "files/doomed/deeper/inside.txt"),
            "inside");
}

TEST_F(PanelDialogs, NavigationCanBeRefused) {
  TempDir dir;
  std::filesystem::create_directories(dir / "inner");
  const QString inner = QString::fromStdString((dir / "inner").string());
  TScriptedUi ui;
  TApOpenDialog d;
  d.InitialDir = (dir / "inner").string();
  bool allow = false;
  int asked = 0, moved = 0;
  d.OnUpLevelNavigating = [&](TApCustomOpenDialog&, bool& AllowProceed) {
    ++asked;
    AllowProceed = allow;
  };
  d.OnUpLevelNavigate = [&](TApCustomOpenDialog&) { ++moved; };
  ui.ExpectModal([&](QDialog&) {
    d.show();
    auto* up = d.findChild<QToolButton*>(QStringLiteral("toParentButton"));
    EXPECT_NE(up, nullptr);
    if (!up) return static_cast<int>(mrCancel);
    EXPECT_TRUE(QTest::qWaitFor([&] { return up->isEnabled(); }, 5000));
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(d.directory().absolutePath(), inner);
    allow = true;
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(d.directory().absolutePath().toStdString(), dir.str());
    d.hide();
    return static_cast<int>(mrCancel);
  });
  d.Execute();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(moved, 1);
}

TEST_F(PanelDialogs, ListedFilesPassTheFilterEvent) {
  TempDir dir;
  WriteFile(dir / "a.zip", "PK");
  WriteFile(dir / "b.tmp", "x");
  WriteFile(dir / "c.zip", "PK");
  std::filesystem::create_directories(dir / "sub");
  TScriptedUi ui;
  TApOpenDialog d;
  d.InitialDir = dir.str();
  d.ExtFilter.Enabled = true;
  d.ExtFilter.ShowFolders = true;
  std::vector<std::string> asked;
  d.ExtFilter.OnIncludeFile = [&](TApCustomOpenDialog&, const std::string& Name, bool& Include) {
    asked.push_back(std::filesystem::path(Name).filename().string());
    Include = Name.size() > 4 && Name.substr(Name.size() - 4) == ".zip";
  };
  ui.ExpectModal([&](QDialog&) {
    d.show();
    auto* list = d.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 3; }, 5000));
    QStringList names;
    for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r)
      names << list->model()->index(r, 0, list->rootIndex()).data().toString();
    names.sort();
    EXPECT_EQ(names, Strings({"a.zip", "c.zip", "sub"}));
    d.hide();
    return static_cast<int>(mrCancel);
  });
  d.Execute();
  EXPECT_NE(std::find(asked.begin(), asked.end(), "b.tmp"), asked.end());
  EXPECT_EQ(std::find(asked.begin(), asked.end(), "sub"), asked.end());
}

}  // namespace
}  // namespace brevane
