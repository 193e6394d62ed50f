#include "app/dialogs/favourites.h"

#include <QFileSystemModel>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>

#include "app/main/messages.h"
#include "app/main/settings.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

class Favourites : public WindowTest {
 protected:
  std::string Folder(const std::string& Name) {
    const fs::path p = dir.path() / Name;
    fs::create_directories(p);
    return p.string();
  }
  // Each favourite item as its number prefix and the full path it holds.
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    const auto items = main->miFavourites->actions();
    for (int i = 3; i < items.size(); ++i) {
      const std::string text = items[i]->text().toStdString();
      out.push_back(text.substr(0, text.find(' ') + 1) + items[i]->toolTip().toStdString());
    }
    return out;
  }
  void SelectInExplorer(const std::string& Path) {
    auto* model = static_cast<QFileSystemModel*>(main->dfstvExplorer->model());
    main->dfstvExplorer->setCurrentIndex(model->index(QString::fromStdString(Path)));
  }
  std::string ExplorerPath() {
    auto* model = static_cast<QFileSystemModel*>(main->dfstvExplorer->model());
    return model->filePath(main->dfstvExplorer->currentIndex()).toStdString();
  }
};

TEST_F(Favourites, AddedNumberedStoredAndJumpedTo) {
  ASSERT_TRUE(Start({}));
  std::vector<std::string> folders;
  for (int i = 1; i <= 11; ++i) folders.push_back(Folder("f" + std::to_string(i)));
  for (const auto& f : folders) {
    SelectInExplorer(f);
    main->acAddFavouritesExecute();
  }
  // The same folder again is not added twice.
  SelectInExplorer(folders[0]);
  main->acAddFavouritesExecute();
  const auto captions = Captions();
  ASSERT_EQ(captions.size(), 11u);
  EXPECT_EQ(captions[0], "&1 " + folders[0]);
  EXPECT_EQ(captions[9].substr(0, 4), "1&0 ");
  EXPECT_EQ(captions[10], "11 " + folders[10]);
  EXPECT_EQ(ReadSettingString("Favourites", "Fav11"), folders[10]);
  EXPECT_FALSE(SettingExists("Favourites", "Fav12"));

  // A long path the menu shortens is still known as a duplicate.
  const std::string deep = Folder(std::string(120, 'd') + "/" + std::string(120, 'e'));
  SelectInExplorer(deep);
  main->acAddFavouritesExecute();
  main->acAddFavouritesExecute();
  EXPECT_EQ(Captions().size(), 12u);

  // An "&" of a path is shown as itself: only the number is an accelerator.
  const std::string amp = Folder("R&D & more");
  SelectInExplorer(amp);
  main->acAddFavouritesExecute();
  const QString shown = main->miFavourites->actions().back()->text();
  EXPECT_TRUE(shown.endsWith(QStringLiteral("/R&&D && more"))) << shown.toStdString();
  EXPECT_EQ(QKeySequence::mnemonic(shown), QKeySequence());

  // Jumping: the explorer shows the folder, and a collapsed pane opens.
  SelectInExplorer(folders[0]);
  main->acExplorerViewExecute();
  ASSERT_TRUE(main->ExplorerMaximized());
  main->FavouriteSelect(3);
  EXPECT_EQ(ExplorerPath(), folders[2]);
  EXPECT_FALSE(main->ExplorerMaximized());

  // A folder that is gone: the message, and the explorer stays.
  fs::remove(folders[4]);
  ui.ExpectMessage(msgtext::kFavouriteMissing, mtError);
  main->FavouriteSelect(5);
  EXPECT_EQ(ExplorerPath(), folders[2]);

  // The menu is rebuilt from the registry at the next start.
  EndProgram();
  ASSERT_TRUE(Start({}));
  EXPECT_EQ(Captions().size(), 13u);
}

TEST_F(Favourites, OrganizeReordersAndRemoves) {
  ASSERT_TRUE(Start({}));
  const std::string a = Folder("a"), b = Folder("b"), c = Folder("c");
  for (const auto& f : {a, b, c}) main->InsertFavourite(f);

  // Remove the second, move the last up, press OK.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmFavourites&>(Dialog);
    EXPECT_EQ(d.Paths(), (std::vector<std::string>{a, b, c}));
    d.lbFavourites->setCurrentRow(1);
    AskedFirst([&] { ui.ExpectMessage(msgtext::kConfirmRemoveFavourite, mtConfirmation, mrYes); });
    d.buRemove->click();
    d.buUp->click();  // c above a
    d.buUp->click();  // already at the top: stays
    EXPECT_EQ(d.lbFavourites->currentRow(), 0);
    d.buOK->click();
    return d.result();
  });
  main->acOrganizeFavoritesExecute();
  EXPECT_EQ(ReadSettingString("Favourites", "Fav1"), c);
  EXPECT_EQ(ReadSettingString("Favourites", "Fav2"), a);
  EXPECT_FALSE(SettingExists("Favourites", "Fav3"));
  EXPECT_EQ(Captions(), (std::vector<std::string>{"&1 " + c, "&2 " + a}));

  // Cancel leaves everything; a "No" to the question keeps the row.
  ui.ExpectModal([&](QDialog& Dialog) {
    auto& d = dynamic_cast<TfmFavourites&>(Dialog);
    d.lbFavourites->setCurrentRow(0);
    AskedFirst([&] { ui.ExpectMessage(msgtext::kConfirmRemoveFavourite, mtConfirmation, mrNo); });
    d.buRemove->click();
    d.buDown->click();
    d.buDown->click();  // at the bottom: stays
    EXPECT_EQ(d.Paths(), (std::vector<std::string>{a, c}));
    return static_cast<int>(mrCancel);
  });
  main->acOrganizeFavoritesExecute();
  EXPECT_EQ(ReadSettingString("Favourites", "Fav1"), c);
}

}  // namespace
}  // namespace brevane::testing
