#pragma once
// The organize-favourites dialog: the favourite folders in menu order, to
// be reordered (buttons or dragging a row) or removed. OK writes the list
// back as "Fav1", "Fav2", ... of the "Favourites" section.

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;
namespace Ui {
class TfmFavourites;
}

namespace brevane {

// The favourite folders as the registry holds them, in its order.
std::vector<std::string> ReadFavourites();

class TfmFavourites : public QDialog {
  Q_OBJECT

 public:
  explicit TfmFavourites(QWidget* Parent = nullptr);
  ~TfmFavourites() override;

  void FormCreate();
  void buUpClick();
  void buDownClick();
  void buRemoveClick();
  void buOKClick();
  // The full paths of the rows in list order.
  std::vector<std::string> Paths() const;

  QListWidget* lbFavourites;
  QPushButton* buOK;
  QPushButton* buCancel;
  QPushButton* buUp;
  QPushButton* buDown;
  QPushButton* buRemove;
  QPushButton* buHelp;

 protected:
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void MoveRow(int From, int To);
  void ElideRows();
  std::unique_ptr<Ui::TfmFavourites> ui;
};

}  // namespace brevane
