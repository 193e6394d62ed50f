#include "app/dialogs/viewoutput.h"

#include <QClipboard>
#include <QGuiApplication>

#include "app/main/userinterface.h"
#include "ui_viewoutput.h"

namespace brevane {

TfmViewOutput::TfmViewOutput(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmViewOutput>()) {
  ui->setupUi(this);
  meOutput = ui->meOutput;
  buClose = ui->buClose;
  buCopy = ui->buCopy;
  connect(buCopy, &QPushButton::clicked, this, &TfmViewOutput::buCopyClick);
  connect(buClose, &QPushButton::clicked, this, [this] { done(mrOk); });
}

TfmViewOutput::~TfmViewOutput() = default;

void TfmViewOutput::buCopyClick() { QGuiApplication::clipboard()->setText(meOutput->toPlainText()); }

}  // namespace brevane
