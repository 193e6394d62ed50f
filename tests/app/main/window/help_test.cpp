// The help pages and the help window: every keyword the program jumps to
// has its page, the pages link only to pages that exist, and the commands
// and dialogs open the window at their topic.

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QRegularExpression>
#include <set>

#include "app/dialogs/tooldialogs.h"
#include "app/main/help.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

// Every "Hlp_..." keyword written in the program's sources.
std::set<std::string> KeywordsInSources() {
  std::set<std::string> keywords;
  const QRegularExpression keyword(QStringLiteral("\"(Hlp_[A-Za-z0-9_]+)\""));
  for (const auto& e : fs::recursive_directory_iterator(fs::path(BREVANE_SOURCE_DIR) / "app")) {
    const std::string ext = e.path().extension().string();
    if (ext != ".cpp" && ext != ".h" && ext != ".ui") continue;
    const QString text = QString::fromStdString(vsktest::ReadFile(e.path()));
    for (const auto& m : keyword.globalMatch(text)) keywords.insert(m.captured(1).toStdString());
  }
  return keywords;
}

TEST(HelpPages, EveryKeywordHasAPageAndEveryLinkResolves) {
  const std::string folder = HelpFolder();
  ASSERT_FALSE(folder.empty());
  const std::set<std::string> keywords = KeywordsInSources();
  // The dialogs' and the help commands' topics at least.
  EXPECT_GE(keywords.size(), 20u);
  for (const auto& k : keywords) EXPECT_FALSE(HelpPageFile(folder, k).empty()) << k << " has no help page";
  EXPECT_TRUE(HelpPageFile(folder, "../Help/contents").empty());
  EXPECT_TRUE(HelpPageFile(folder, "Hlp_No_Such_Topic").empty());

  // The contents page lists every topic, and every link of every page leads
  // to a page of the folder.
  const QRegularExpression link(QStringLiteral("href=\"([^\"#]+)\""));
  const std::string contents = vsktest::ReadFile(fs::path(folder) / kHelpContentsPage);
  const auto topics = HelpTopics(folder);
  EXPECT_GE(topics.size(), keywords.size());
  for (const auto& t : topics) {
    EXPECT_NE(contents.find("href=\"" + t.File + "\""), std::string::npos) << t.File << " is not in the contents";
    EXPECT_NE(t.Title, t.File) << t.File << " has no title";
    const QString text = QString::fromStdString(vsktest::ReadFile(fs::path(folder) / t.File));
    for (const auto& m : link.globalMatch(text)) {
      const std::string target = m.captured(1).toStdString();
      EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / target)) << t.File << " links to " << target;
    }
  }

  // Searching needs every word, in any case; no words find nothing.
  const auto found = SearchHelp(topics, "CHECK-OUT launcher");
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found.front()->File, "Hlp_Check_Out.html");
  EXPECT_TRUE(SearchHelp(topics, "launcher zzzunknownword").empty());
  EXPECT_TRUE(SearchHelp(topics, "  ").empty());
}

class Help : public WindowTest {};

TEST_F(Help, CommandsAndDialogsOpenTheirTopics) {
  ASSERT_TRUE(Start({}));
  main->acHelpTutorial->trigger();
  THelpWindow& w = main->HelpWindow();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.CurrentFile(), "Hlp_Quick_Start.html");
  EXPECT_FALSE(w.tbPage->toPlainText().isEmpty());

  // A dialog's Help button goes through the program's help jump.
  TfmUUEncode uu;
  uu.buHelp->click();
  EXPECT_EQ(w.CurrentFile(), "Hlp_UUencode_Archive.html");
  main->ShowHelpTopic("Hlp_No_Such_Topic");
  EXPECT_EQ(w.CurrentFile(), kHelpContentsPage);

  main->acHelpSearch->trigger();
  EXPECT_EQ(w.tcNavigation->currentIndex(), 1);
  w.edSearch->setText("grid lines");
  ASSERT_GE(w.lbResults->count(), 1);
  w.lbResults->itemClicked(w.lbResults->item(0));
  EXPECT_EQ(w.CurrentFile(), "Hlp_CFG_View.html");
  main->acHelpContents->trigger();
  EXPECT_EQ(w.tcNavigation->currentIndex(), 0);
  EXPECT_EQ(w.lbContents->count(), static_cast<int>(HelpTopics(HelpFolder()).size()));

  // The page shown can go to the desktop's browser.
  std::vector<std::string> opened;
  main->OpenUrl = [&](const std::string& Url) {
    opened.push_back(Url);
    return true;
  };
  w.buBrowser->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "file://" + HelpFolder() + "/contents.html");
}

// Whether the help window takes input now, through the window system as a
// user's would (a window that modality blocks takes none): a click on the
// first contents row opens that topic, then Esc closes the window.
void ExpectUsable(THelpWindow& W) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&W));
  QListWidgetItem* first = W.lbContents->item(0);
  const QPoint at = W.lbContents->viewport()->mapTo(&W, W.lbContents->visualItemRect(first).center());
  QTest::mouseClick(W.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_EQ(W.CurrentFile(), first->data(Qt::UserRole).toString().toStdString());
  QTest::keyClick(W.windowHandle(), Qt::Key_Escape);
  EXPECT_FALSE(W.isVisible());
}

TEST_F(Help, UsableFromModalDialogsAndAtNumberedTopics) {
  ASSERT_TRUE(Start({}));
  THelpWindow& w = main->HelpWindow();
  // From a dialog running modally; the window outlives the dialog.
  {
    TfmConvertArc dlg(main);
    QTimer::singleShot(0, &dlg, [&] {
      dlg.buHelp->click();
      EXPECT_EQ(w.CurrentFile(), "Hlp_Convert_Archive.html");
      ExpectUsable(w);
      dlg.buHelp->click();
      dlg.done(mrCancel);
    });
    dlg.exec();
  }
  ExpectUsable(w);

  // The replace question's Help opens its topic and the question stays.
  QTimer::singleShot(0, main, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Help)->click();
    EXPECT_EQ(w.CurrentFile(), "Hlp_Add_Dialog.html");
    ExpectUsable(w);
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(TQtUserInterface().MessageDlgHelp("Replace?", mtConfirmation, mbYesNo | mbHelp, 740), mrYes);

  // The new-archive dialog's Help opens the page of its context.
  ui.ExpectModal([&](QDialog& Dialog) {
    Dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Help)->click();
    return static_cast<int>(mrCancel);
  });
  main->acNewArchiveExecute();
  EXPECT_EQ(w.CurrentFile(), "Hlp_New_Archive.html");
}

}  // namespace
}  // namespace brevane::testing
