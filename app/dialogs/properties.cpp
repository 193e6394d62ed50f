#include "app/dialogs/properties.h"

#include "app/main/userinterface.h"
#include "ui_properties.h"

namespace brevane {

TfmProperties::TfmProperties(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmProperties>()) {
  ui->setupUi(this);
  edFilename = ui->edFilename;
  laArcType = ui->laArcType;
  laTotalFiles = ui->laTotalFiles;
  laPackedSize = ui->laPackedSize;
  laUnpackedSize = ui->laUnpackedSize;
  laRatio = ui->laRatio;
  pcRatio = ui->pcRatio;
  laDate = ui->laDate;
  ckReadOnly = ui->ckReadOnly;
  ckArchive = ui->ckArchive;
  ckHidden = ui->ckHidden;
  ckSystem = ui->ckSystem;
  meComment = ui->meComment;
  buClose = ui->buClose;

  // The attribute boxes only show the file's state; nothing here changes it.
  for (QCheckBox* box : {ckReadOnly, ckArchive, ckHidden, ckSystem}) {
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
  }
  connect(buClose, &QPushButton::clicked, this, [this] { done(mrOk); });
}

TfmProperties::~TfmProperties() = default;

void TfmProperties::SetAttributes(unsigned Attributes) {
  ckReadOnly->setChecked(Attributes & 0x01);
  ckHidden->setChecked(Attributes & 0x02);
  ckSystem->setChecked(Attributes & 0x04);
  ckArchive->setChecked(Attributes & 0x20);
}

}  // namespace brevane
