// Checking out: the open archive extracted into its folder, a menu group
// with a launcher per program, and both removed by the question that a
// later check-out or closing the archive asks.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialogs/checkoutdlg.h"
#include "app/main/messages.h"
#include "platform/menugroup.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

class Checkout : public WindowTest {
 protected:
  // Made: the check-out made the folder, which goes whole; otherwise only
  // the files it put there go.
  std::string Question(const std::string& Folder, const std::string& Group, bool Made = true) {
    return (Made ? msgtext::kTrashCheckoutFolder : msgtext::kTrashCheckedOutFiles) + Folder +
           msgtext::kTrashCheckoutAnd + Group + msgtext::kDeleteCheckoutEnd;
  }
  std::vector<std::string> Launchers(const fs::path& Group) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Group))
      if (e.path().extension() == ".desktop") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(Checkout, MakesAndRemovesTheFolderAndTheMenuGroup) {
  const std::string zip =
      Zip("tools.zip", {{"setup.exe", "MZ setup"}, {"bin/run.exe", "MZ run"}, {"readme.txt", "read me\n"}});
  ASSERT_TRUE(Start({zip}));
  std::vector<std::string> opened;
  main->ShellOpen = [&](const std::string& File) {
    opened.push_back(File);
    return true;
  };
  const fs::path folder = dir.path() / "tools";
  const fs::path group = env.root() / "home/.local/share/applications/tools";
  const fs::path menu = env.root() / "home/.config/menus/applications-merged/brevane-tools.menu";

  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmCheckout&>(Dialog);
    EXPECT_EQ(d.Folder(), folder.string());
    EXPECT_EQ(d.GroupName(), "tools");
    EXPECT_FALSE(d.ckVirusScan->isEnabled());
    // A group name that would lead out of the menu folder is refused.
    d.edGroupName->setText("..");
    ui.ExpectMessage(msgtext::kCheckoutBadGroup, mtWarning);
    d.buOKClick();
    EXPECT_EQ(d.result(), 0);
    d.edGroupName->setText("tools");
    // Nor is a folder that holds the archive: replacing it would delete it.
    d.edFolder->setText(QString::fromStdString(dir.path().string()));
    ui.ExpectMessage(msgtext::kCheckoutHoldsArchive, mtWarning);
    d.buOKClick();
    EXPECT_EQ(d.result(), 0);
    d.edFolder->setText(QString::fromStdString(folder.string()));
    d.buOKClick();
    return d.result();
  });
  main->acCheckOut->trigger();
  EXPECT_EQ(vsktest::ReadFile(folder / "bin/run.exe"), "MZ run");
  EXPECT_TRUE(fs::exists(folder / "readme.txt"));
  EXPECT_TRUE(fs::exists(group / "group.directory"));
  // Only the two programs get a launcher, each pointing at its own file.
  EXPECT_EQ(Launchers(group), (std::vector<std::string>{"run.exe.desktop", "setup.exe.desktop"}));
  EXPECT_NE(vsktest::ReadFile(group / "run.exe.desktop").find("Exec=" + (folder / "bin/run.exe").string()),
            std::string::npos);
  const std::string menuText = vsktest::ReadFile(menu);
  EXPECT_NE(menuText.find("<Name>tools</Name>"), std::string::npos);
  EXPECT_NE(menuText.find("<Filename>setup.exe.desktop</Filename>"), std::string::npos);
  EXPECT_EQ(opened, std::vector<std::string>{group.string()});

  // A second check-out asks first; Cancel leaves everything as it was.
  ui.ExpectMessage(Question(folder.string() + "/", "tools"), mtConfirmation, mrCancel);
  main->acCheckOut->trigger();
  EXPECT_TRUE(fs::exists(group / "setup.exe.desktop"));
  // Closing the archive asks too; Yes removes the folder (to the Trash)
  // and the group.
  ui.ExpectMessage(Question(folder.string() + "/", "tools"), mtConfirmation, mrYes);
  main->acCloseArchive->trigger();
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(fs::exists(group));
  EXPECT_FALSE(fs::exists(menu));

  // What an existing folder holds goes only when the user agrees.
  main->DisplayArchive(zip);
  fs::create_directories(folder);
  vsktest::WriteFile(folder / "keep.txt", "mine");
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmCheckout&>(Dialog);
    d.edFolder->setText(QString::fromStdString(folder.string()));
    ui.ExpectMessage(msgtext::kCheckoutFolderExists, mtWarning, mrNo);
    d.buOKClick();
    EXPECT_EQ(d.result(), 0);
    d.buCancel->click();
    return d.result();
  });
  main->acCheckOut->trigger();
  EXPECT_EQ(vsktest::ReadFile(folder / "keep.txt"), "mine");
  EXPECT_FALSE(main->FCheckoutPending);
}

// "zip -r tree.zip tree" leaves the user's tree beside the archive: the
// check-out goes beside it, and the user's files are never deleted; a
// folder the user picks gives what it holds to the Trash, asked with No
// as the answer of Enter.
TEST_F(Checkout, BesideTheUsersOwnFolder) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const fs::path tree = dir.path() / "tree";
  fs::create_directories(tree / "sub");
  vsktest::WriteFile(tree / "a.txt", "archived");
  vsktest::WriteFile(tree / "sub/b.txt", "archived too");
  ASSERT_EQ(vsktest::RunTool("zip -q -r tree.zip tree", dir.path()).exitCode, 0);
  vsktest::WriteFile(tree / "mine.txt", "not in the archive");
  fs::create_directories(dir.path() / "tree-1");
  const std::string zip = (dir.path() / "tree.zip").string();
  ASSERT_TRUE(Start({zip}));
  main->ShellOpen = [](const std::string&) { return true; };
  const fs::path trash = fs::path(std::getenv("XDG_DATA_HOME")) / "Trash/files";

  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmCheckout&>(Dialog);
    EXPECT_EQ(d.Folder(), (dir.path() / "tree-2").string());
    d.buOKClick();
    return d.result();
  });
  main->acCheckOut->trigger();
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "tree-2/tree/a.txt"), "archived");
  ui.ExpectMessage(Question((dir.path() / "tree-2/").string(), "tree"), mtConfirmation, mrYes);
  main->acCloseArchive->trigger();
  EXPECT_FALSE(fs::exists(dir.path() / "tree-2"));
  EXPECT_EQ(vsktest::ReadFile(trash / "tree-2/tree/a.txt"), "archived");
  EXPECT_EQ(vsktest::ReadFile(tree / "mine.txt"), "not in the archive");

  // The user's own folder, picked: Enter would answer No; Yes moves what
  // it holds to the Trash.
  main->DisplayArchive(zip);
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmCheckout&>(Dialog);
    d.edFolder->setText(QString::fromStdString(tree.string()));
    AskedFirst([&] { ui.ExpectMessage(msgtext::kCheckoutBothExist, mtWarning, mrYes); });
    vsk::MenuGroups().Create("tree", {});
    d.buOKClick();
    EXPECT_EQ(ui.LastDefault, mbNo);
    return d.result();
  });
  main->acCheckOut->trigger();
  EXPECT_EQ(vsktest::ReadFile(trash / "mine.txt"), "not in the archive");
  EXPECT_EQ(vsktest::ReadFile(trash / "a.txt"), "archived");
  EXPECT_EQ(vsktest::ReadFile(tree / "tree/sub/b.txt"), "archived too");
  EXPECT_FALSE(fs::exists(tree / "mine.txt"));
  // Later only what the check-out put there goes; the folder stays the
  // user's, with what they added since.
  vsktest::WriteFile(tree / "later.txt", "added later");
  ui.ExpectMessage(Question(tree.string() + "/", "tree", false), mtConfirmation, mrYes);
  main->acCloseArchive->trigger();
  EXPECT_FALSE(fs::exists(tree / "tree"));
  EXPECT_EQ(vsktest::ReadFile(tree / "later.txt"), "added later");
  EXPECT_TRUE(fs::exists(dir.path() / "tree-1"));
}

// The folder typed is taken where it was typed, and the question later
// deletes that folder only: not a folder of the same name beside another
// archive opened since, nor one that took the check-out's place.
TEST_F(Checkout, OnlyTheCheckedOutFolderIsDeleted) {
  fs::create_directories(dir.path() / "one");
  fs::create_directories(dir.path() / "two");
  const std::string first = Zip("one/first.zip", {{"a.txt", "first"}});
  const std::string second = Zip("two/second.zip", {{"b.txt", "second"}});
  ASSERT_TRUE(Start({first}));
  main->ShellOpen = [](const std::string&) { return true; };
  const auto checkOutTo = [&](const std::string& Typed) {
    ui.ExpectModal([=](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmCheckout&>(Dialog);
      d.edFolder->setText(QString::fromStdString(Typed));
      d.buOKClick();
      return d.result();
    });
    main->acCheckOut->trigger();
  };
  const fs::path checkedOut = dir.path() / "one/co";
  checkOutTo("co");
  EXPECT_EQ(vsktest::ReadFile(checkedOut / "a.txt"), "first");

  // The user's own "co" beside the second archive survives the question.
  fs::create_directories(dir.path() / "two/co");
  vsktest::WriteFile(dir.path() / "two/co/mine.txt", "mine");
  main->DisplayArchive(second);
  ui.ExpectMessage(Question(checkedOut.string() + "/", "first"), mtConfirmation, mrYes);
  main->acCloseArchive->trigger();
  EXPECT_FALSE(fs::exists(checkedOut));
  EXPECT_EQ(vsktest::ReadFile(dir.path() / "two/co/mine.txt"), "mine");

  // A folder put where the check-out was is no longer the check-out.
  main->DisplayArchive(first);
  checkOutTo(checkedOut.string());
  fs::rename(checkedOut, dir.path() / "one/moved");
  fs::create_directories(checkedOut);
  vsktest::WriteFile(checkedOut / "new.txt", "new");
  ui.ExpectMessage(Question(checkedOut.string() + "/", "first"), mtConfirmation, mrYes);
  main->acCloseArchive->trigger();
  EXPECT_EQ(vsktest::ReadFile(checkedOut / "new.txt"), "new");
  EXPECT_FALSE(main->FCheckoutPending);
}

}  // namespace
}  // namespace brevane::testing
