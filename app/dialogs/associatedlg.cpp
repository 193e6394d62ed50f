#include "app/dialogs/associatedlg.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/dialogs/dialogsupport.h"
#include "app/main/userinterface.h"
#include "ui_associatedlg.h"

namespace brevane {

TfmAssociateDlg::TfmAssociateDlg(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmAssociateDlg>()) {
  ui->setupUi(this);
  laMsg = ui->laMsg;
  ckAskAgain = ui->ckAskAgain;
  buYes = ui->buYes;
  buNo = ui->buNo;
  buHelp = ui->buHelp;
  laMsg->setText(QString::fromStdString(DisplayText(kAssociatePrompt)));
  // Centred on the screen: at start-up the main window is not shown yet.
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  connect(buYes, &QPushButton::clicked, this, [this] { done(mrYes); });
  connect(buNo, &QPushButton::clicked, this, [this] { done(mrNo); });
  connect(buHelp, &QPushButton::clicked, this, &TfmAssociateDlg::buHelpClick);
}

TfmAssociateDlg::~TfmAssociateDlg() = default;

void TfmAssociateDlg::buHelpClick() { ShowHelpKeyword(kHlpFileAssociations); }

}  // namespace brevane
