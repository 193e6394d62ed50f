#include "app/components/regcontrols.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "tests/support/testutil.h"

namespace brevane {
namespace {

using vsktest::IsolatedEnvironment;

constexpr const char* kKey = "\\Software\\Brevane\\Filters";

std::vector<std::string> StoredHistory(vsk::THKey Hive = vsk::HKEY_CURRENT_USER) {
  vsk::TRegistry reg(Hive);
  if (!reg.OpenKeyReadOnly(kKey)) return {};
  auto names = reg.GetValueNames();
  reg.CloseKey();
  return names;
}

std::vector<std::string> Items(const TRegComboBox& Box) {
  std::vector<std::string> out;
  for (int i = 0; i < Box.count(); ++i) out.push_back(Box.itemText(i).toStdString());
  return out;
}

void Add(TRegComboBox& Box, const std::string& Text) {
  Box.SetText(Text);
  Box.AddToHistory();
}

TEST(RegComboBox, HistoryMostRecentFirstWithinItsMaximum) {
  IsolatedEnvironment env;
  TRegComboBox box;
  box.SetRegKey(kKey);
  box.RegMaxCount = 10;
  box.Loaded();
  EXPECT_EQ(box.count(), 0);
  for (int i = 1; i <= 10; ++i) Add(box, "*." + std::to_string(i));
  EXPECT_EQ(StoredHistory().front(), "*.10");
  EXPECT_EQ(StoredHistory().back(), "*.1");
  EXPECT_EQ(StoredHistory().size(), 10u);

  // An eleventh entry drops the oldest from the registry; the list keeps it
  // until the next load.
  Add(box, "*.doc");
  auto stored = StoredHistory();
  ASSERT_EQ(stored.size(), 10u);
  EXPECT_EQ(stored.front(), "*.doc");
  EXPECT_EQ(stored.back(), "*.2");
  EXPECT_EQ(box.count(), 11);
  EXPECT_EQ(box.currentIndex(), 0);
  EXPECT_EQ(box.Text(), "*.doc");

  // A text already in the history moves to the top; empty entries go.
  box.insertItem(3, QString());
  Add(box, "*.5");
  const auto items = Items(box);
  EXPECT_EQ(items.front(), "*.5");
  EXPECT_EQ(std::count(items.begin(), items.end(), "*.5"), 1);
  EXPECT_EQ(std::count(items.begin(), items.end(), ""), 0);
  EXPECT_EQ(box.count(), 11);
  stored = StoredHistory();
  EXPECT_EQ(stored[0], "*.5");
  EXPECT_EQ(stored[1], "*.doc");

  // An empty text is not added.
  box.SetText("");
  box.AddToHistory();
  EXPECT_EQ(box.count(), 11);

  TRegComboBox again;
  again.SetRegKey(kKey);
  again.Loaded();
  EXPECT_EQ(Items(again), StoredHistory());

  // Blank entries are not written.
  TRegComboBox blanks;
  blanks.SetRegKey(kKey);
  blanks.addItem(QStringLiteral("   "));
  blanks.addItem(QStringLiteral("*.txt"));
  blanks.SaveHistory();
  EXPECT_EQ(StoredHistory(), (std::vector<std::string>{"*.txt"}));

  // Without RegEnabled nothing is loaded.
  TRegComboBox off;
  off.SetRegKey(kKey);
  off.RegEnabled = false;
  off.Loaded();
  EXPECT_EQ(off.count(), 0);
}

// Writes to files beyond Bytes fail while it lives, as on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FOld;
    limit.rlim_cur = Bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }

 private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
};

TEST(RegComboBox, AFailedSaveKeepsTheOldHistory) {
  IsolatedEnvironment env;
  TRegComboBox box;
  box.SetRegKey(kKey);
  box.Loaded();
  for (int i = 1; i <= 5; ++i) Add(box, "*.ext" + std::to_string(i));
  const auto before = StoredHistory();
  ASSERT_EQ(before.size(), 5u);
  {
    // The hive may not grow: a history with one more entry cannot be
    // written, though the hive without the key could be.
    TFileSizeLimit full(std::filesystem::file_size(vsk::HiveFileName(vsk::HKEY_CURRENT_USER)));
    Add(box, "*.a-longer-entry");
  }
  EXPECT_EQ(StoredHistory(), before);
  Add(box, "*.again");
  EXPECT_EQ(StoredHistory().front(), "*.again");
  EXPECT_EQ(StoredHistory().size(), 7u);
}

TEST(RegComboBox, SavesWhenTheFocusLeaves) {
  IsolatedEnvironment env;
  QWidget form;
  auto* box = new TRegComboBox(&form);
  auto* other = new QLineEdit(&form);
  box->SetRegKey(kKey);
  box->RegSaveOnExit = true;
  box->Loaded();
  form.show();
  box->setFocus();
  box->SetText("*.zip");
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(box, &out);
  other->setFocus();
  EXPECT_EQ(StoredHistory(), (std::vector<std::string>{"*.zip"}));
}

TEST(RegComboBox, CompletesFromTheShortestMatch) {
  IsolatedEnvironment env;
  TRegComboBox box;
  box.SetRegKey(kKey);
  box.addItem(QStringLiteral("C:\\Program Files"));
  box.addItem(QStringLiteral("C:\\Temp"));
  box.addItem(QStringLiteral("D:\\Data"));
  box.SetText("c:");
  box.AutoFind();
  EXPECT_EQ(box.Text(), "c:\\Temp");
  EXPECT_EQ(box.lineEdit()->selectedText().toStdString(), "\\Temp");
  EXPECT_EQ(box.lineEdit()->selectionStart(), 2);

  box.RegAutoFindCaseSensitive = true;
  box.SetText("c:");
  box.AutoFind();
  EXPECT_EQ(box.Text(), "c:");
  box.SetText("C:\\P");
  box.AutoFind();
  EXPECT_EQ(box.Text(), "C:\\Program Files");

  // Equal lengths: the first in the list wins; overly long items never do.
  TRegComboBox ties;
  ties.addItem(QStringLiteral("abc1"));
  ties.addItem(QStringLiteral("abc2"));
  ties.addItem(QStringLiteral("ab") + QString(1000, QLatin1Char('x')));
  ties.SetText("ab");
  ties.AutoFind();
  EXPECT_EQ(ties.Text(), "abc1");
  ties.SetText("abx");
  ties.AutoFind();
  EXPECT_EQ(ties.Text(), "abx");

  ties.RegAutoFindValue = false;
  ties.SetText("a");
  ties.AutoFind();
  EXPECT_EQ(ties.Text(), "a");
}

TEST(RegComboBox, CompletionTimerFiresOncePerPause) {
  IsolatedEnvironment env;
  TRegComboBox box;
  box.SetRegAutoFindDelay(20);
  box.addItem(QStringLiteral("report.txt"));
  box.show();
  QLineEdit* edit = box.lineEdit();
  box.SetText("");

  // Typing starts the timer; its one tick completes and ends it.
  QTest::keyClicks(edit, QStringLiteral("rep"));
  EXPECT_TRUE(box.CompletionPending());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !box.CompletionPending(); }, 5000));
  EXPECT_EQ(box.Text(), "report.txt");

  // With nothing to complete the timer still stops after its tick.
  box.SetText("");
  QTest::keyClicks(edit, QStringLiteral("zz"));
  EXPECT_TRUE(box.CompletionPending());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !box.CompletionPending(); }, 5000));
  QTest::qWait(100);
  EXPECT_FALSE(box.CompletionPending());
  EXPECT_EQ(box.Text(), "zz");

  // Backspace stops a pending completion.
  QTest::keyClick(edit, Qt::Key_A);
  EXPECT_TRUE(box.CompletionPending());
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_FALSE(box.CompletionPending());

  // Below 1 ms every key release completes at once.
  box.SetRegAutoFindDelay(0);
  box.SetText("");
  QTest::keyClicks(edit, QStringLiteral("re"));
  EXPECT_FALSE(box.CompletionPending());
  EXPECT_EQ(box.Text(), "report.txt");
}

TEST(RegComboBox, KeyAndLocation) {
  IsolatedEnvironment env;
  TRegComboBox box;
  EXPECT_EQ(box.RegKey(), "\\Software\\Default");
  box.SetRegKey("\\Software\\Brevane\\Filters\\");
  EXPECT_EQ(box.RegKey(), kKey);
  box.SetRegKey("");
  EXPECT_EQ(box.RegKey(), kKey);
  EXPECT_EQ(box.RegAutoFindDelay(), 500);
  EXPECT_EQ(box.RegMaxCount, 20);

  // Before loading a change of hive only sets it.
  TRegComboBox early;
  early.SetRegKey(kKey);
  early.SetRegLocation(LocalMachine);
  EXPECT_TRUE(StoredHistory(vsk::HKEY_LOCAL_MACHINE).empty());

  // At run time the history moves to the new hive.
  box.Loaded();
  Add(box, "*.txt");
  Add(box, "*.doc");
  EXPECT_EQ(StoredHistory().size(), 2u);
  box.SetRegLocation(LocalMachine);
  EXPECT_TRUE(StoredHistory().empty());
  EXPECT_FALSE(vsk::TRegistry(vsk::HKEY_CURRENT_USER).KeyExists(kKey));
  EXPECT_EQ(StoredHistory(vsk::HKEY_LOCAL_MACHINE), (std::vector<std::string>{"*.doc", "*.txt"}));
}

}  // namespace
}  // namespace brevane
