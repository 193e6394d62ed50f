// The Favourites menu: folders of the explorer pane remembered under
// "Favourites" as "Fav1", "Fav2", ..., one menu item each, and the dialog
// that reorders and removes them.

#include <QAction>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QMenu>
#include <QTreeView>
#include <filesystem>

#include "app/dialogs/favourites.h"
#include "app/main/mainform.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "app/main/userinterface.h"

namespace brevane {

namespace {

// The menu's fixed items: add, organize and a separator.
constexpr int kFixedFavouriteItems = 3;
// The width the menu gives a favourite's path.
constexpr int kFavouriteWidth = 250;

std::string FavouritePrefix(int N) {
  if (N <= 9) return "&" + std::to_string(N) + " ";
  if (N == 10) return "1&0 ";
  return std::to_string(N) + " ";
}

}  // namespace

void TfmMain::RefreshFavourites() {
  ClearFavourites();
  ShowExceptions([this] {
    for (const std::string& path : ReadFavourites()) InsertFavourite(path);
  });
}

void TfmMain::ClearFavourites() {
  const QList<QAction*> items = miFavourites->actions();
  for (int i = static_cast<int>(items.size()) - 1; i >= kFixedFavouriteItems; --i) {
    miFavourites->removeAction(items[i]);
    delete items[i];
  }
}

void TfmMain::InsertFavourite(const std::string& Path) {
  if (Path.empty()) return;
  const int n = static_cast<int>(miFavourites->actions().size()) - kFixedFavouriteItems + 1;
  QString shown =
      QFontMetrics(miFavourites->font()).elidedText(QString::fromStdString(Path), Qt::ElideMiddle, kFavouriteWidth);
  // Only the number prefix carries an accelerator; an "&" of the path is shown.
  shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
  QAction* item = miFavourites->addAction(QString::fromStdString(FavouritePrefix(n)) + shown);
  item->setData(n);
  item->setToolTip(QString::fromStdString(Path));
  connect(item, &QAction::triggered, this, [this, n] { FavouriteSelect(n); });
  if (!SettingExists("Favourites", "Fav" + std::to_string(n)))
    ShowExceptions([&] { WriteSettingString("Favourites", "Fav" + std::to_string(n), Path); });
}

// Compared by the full path each item was made from, so a long path that
// the menu shows shortened is recognised too.
bool TfmMain::CheckDupFavourite(const std::string& Path) const {
  const QString path = QString::fromStdString(Path);
  const QList<QAction*> items = miFavourites->actions();
  for (int i = kFixedFavouriteItems; i < items.size(); ++i)
    if (items[i]->toolTip().compare(path, Qt::CaseInsensitive) == 0) return true;
  return false;
}

std::string TfmMain::ExplorerFolder() const {
  if (!FFolderModel) return {};
  const QModelIndex index = dfstvExplorer->currentIndex();
  return index.isValid() ? FFolderModel->filePath(index).toStdString() : std::string();
}

void TfmMain::acAddFavouritesExecute() {
  const std::string path = ExplorerFolder();
  if (!path.empty() && !CheckDupFavourite(path)) InsertFavourite(path);
}

void TfmMain::FavouriteSelect(int Tag) {
  std::string path;
  ShowExceptions([&] { path = ReadSettingString("Favourites", "Fav" + std::to_string(Tag)); });
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_directory(path, ec)) {
    ShowError(msgtext::kFavouriteMissing);
    return;
  }
  if (FFolderModel) {
    const QModelIndex index = FFolderModel->index(QString::fromStdString(path));
    dfstvExplorer->setCurrentIndex(index);
    dfstvExplorer->scrollTo(index);
  }
  if (FSplitterMaximized) SetExplorerMaximized(false);
}

void TfmMain::acOrganizeFavoritesExecute() {
  TfmFavourites dlg(this);
  if (UI().ShowModal(dlg) == mrOk) RefreshFavourites();
}

}  // namespace brevane
