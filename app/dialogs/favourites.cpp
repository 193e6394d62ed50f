#include "app/dialogs/favourites.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>

#include "app/dialogs/dialogsupport.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "app/main/userinterface.h"
#include "platform/registry.h"
#include "ui_favourites.h"

namespace brevane {

std::vector<std::string> ReadFavourites() {
  std::vector<std::string> paths;
  vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(msgtext::kFavouritesKey)) return paths;
  for (const std::string& name : reg.GetValueNames()) paths.push_back(reg.ReadString(name));
  reg.CloseKey();
  return paths;
}

TfmFavourites::TfmFavourites(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmFavourites>()) {
  ui->setupUi(this);
  lbFavourites = ui->lbFavourites;
  buOK = ui->buOK;
  buCancel = ui->buCancel;
  buUp = ui->buUp;
  buDown = ui->buDown;
  buRemove = ui->buRemove;
  buHelp = ui->buHelp;
  connect(buUp, &QPushButton::clicked, this, &TfmFavourites::buUpClick);
  connect(buDown, &QPushButton::clicked, this, &TfmFavourites::buDownClick);
  connect(buRemove, &QPushButton::clicked, this, &TfmFavourites::buRemoveClick);
  connect(buOK, &QPushButton::clicked, this, &TfmFavourites::buOKClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, [] { ShowHelpKeyword(msgtext::kHlpUsingFavorites); });
  FormCreate();
}

TfmFavourites::~TfmFavourites() = default;

void TfmFavourites::FormCreate() {
  lbFavourites->clear();
  ShowExceptions([this] {
    for (const std::string& path : ReadFavourites()) {
      auto* item = new QListWidgetItem(lbFavourites);
      item->setData(Qt::UserRole, QString::fromStdString(path));
      item->setToolTip(QString::fromStdString(path));
    }
  });
  ElideRows();
}

// Each row shows its path shortened to the list's width; the row keeps the
// full path it was read from.
void TfmFavourites::ElideRows() {
  const QFontMetrics metrics(lbFavourites->font());
  const int width = std::max(80, lbFavourites->viewport()->width() - 8);
  for (int i = 0; i < lbFavourites->count(); ++i) {
    QListWidgetItem* item = lbFavourites->item(i);
    item->setText(metrics.elidedText(item->data(Qt::UserRole).toString(), Qt::ElideMiddle, width));
  }
}

void TfmFavourites::resizeEvent(QResizeEvent* Event) {
  QDialog::resizeEvent(Event);
  ElideRows();
}

void TfmFavourites::MoveRow(int From, int To) {
  if (From < 0 || To < 0 || From >= lbFavourites->count() || To >= lbFavourites->count() || From == To) return;
  QListWidgetItem* item = lbFavourites->takeItem(From);
  lbFavourites->insertItem(To, item);
  lbFavourites->setCurrentItem(item);
  lbFavourites->setFocus();
}

void TfmFavourites::buUpClick() {
  const int row = lbFavourites->currentRow();
  if (row > 0) MoveRow(row, row - 1);
}

void TfmFavourites::buDownClick() {
  const int row = lbFavourites->currentRow();
  if (row >= 0) MoveRow(row, row + 1);
}

void TfmFavourites::buRemoveClick() {
  const int row = lbFavourites->currentRow();
  if (row < 0 || !lbFavourites->item(row)->isSelected()) return;
  if (MessageDlg(msgtext::kConfirmRemoveFavourite, mtConfirmation, mbYesNo) != mrYes) return;
  delete lbFavourites->takeItem(row);
}

std::vector<std::string> TfmFavourites::Paths() const {
  std::vector<std::string> paths;
  for (int i = 0; i < lbFavourites->count(); ++i)
    paths.push_back(lbFavourites->item(i)->data(Qt::UserRole).toString().toStdString());
  return paths;
}

// The section is rewritten in one commit: a write that fails keeps the old
// favourites and the dialog open.
void TfmFavourites::buOKClick() {
  std::vector<std::pair<std::string, std::string>> values;
  for (const std::string& path : Paths()) values.emplace_back("Fav" + std::to_string(values.size() + 1), path);
  if (!ShowExceptions([&] { ReplaceKeyValues(vsk::HKEY_CURRENT_USER, msgtext::kFavouritesKey, values); })) return;
  done(mrOk);
}

}  // namespace brevane
