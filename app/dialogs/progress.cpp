#include "app/dialogs/progress.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>

#include "app/dialogs/dialogtexts.h"
#include "app/main/userinterface.h"
#include "ui_progress.h"

namespace brevane {

namespace {
const char* const kHourGlassFrames[] = {"\u25D0", "\u25D3", "\u25D1", "\u25D2"};
constexpr int kFrameMs = 75;
}  // namespace

TfmProgress::TfmProgress(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmProgress>()) {
  ui->setupUi(this);
  laCurrentDesc = ui->laCurrentDesc;
  pbCurrent = ui->pbCurrent;
  laCurrent = ui->laCurrent;
  laTotalDesc = ui->laTotalDesc;
  pbTotal = ui->pbTotal;
  laTotal = ui->laTotal;
  aiHourGlass = ui->aiHourGlass;
  buCancel = ui->buCancel;

  FAnimation = new QTimer(this);
  FAnimation->setInterval(kFrameMs);
  connect(FAnimation, &QTimer::timeout, this, &TfmProgress::NextFrame);
  connect(buCancel, &QPushButton::clicked, this, &TfmProgress::buCancelClick);
  NextFrame();
}

TfmProgress::~TfmProgress() = default;

void TfmProgress::SetProgress(int ByFile, int ByArchive) {
  ByFile = std::clamp(ByFile, 0, 100);
  ByArchive = std::clamp(ByArchive, 0, 100);
  pbCurrent->setValue(ByFile);
  pbTotal->setValue(ByArchive);
  laCurrent->setText(QString::number(ByFile) + QLatin1Char('%'));
  laTotal->setText(QString::number(ByArchive) + QLatin1Char('%'));
}

bool TfmProgress::Animating() const { return FAnimation->isActive(); }

void TfmProgress::FormShow() {
  FAnimation->start();
  FCancel = false;
  pbCurrent->setValue(0);
  pbTotal->setValue(1);
  laCurrent->setText(QStringLiteral("0%"));
  laTotal->setText(QStringLiteral("1%"));
  buCancel->setText(QString::fromUtf8(dlgtext::kCancelCaption));
  buCancel->setEnabled(true);
  QApplication::processEvents();
}

void TfmProgress::FormActivate() {
  repaint();
  QApplication::processEvents();
}

void TfmProgress::FormClose() { FAnimation->stop(); }

void TfmProgress::buCancelClick() {
  if (FCancel || MessageDlg(dlgtext::kConfirmCancelTask, mtConfirmation, mbYesNo) != mrYes) return;
  FCancel = true;
  buCancel->setText(QString::fromUtf8(dlgtext::kWaitCaption));
  buCancel->setEnabled(false);
}

void TfmProgress::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FormShow();
  FormActivate();
}

void TfmProgress::hideEvent(QHideEvent* Event) {
  FormClose();
  QDialog::hideEvent(Event);
}

void TfmProgress::reject() { buCancelClick(); }

void TfmProgress::NextFrame() {
  FFrame = (FFrame + 1) % static_cast<int>(std::size(kHourGlassFrames));
  aiHourGlass->setText(QString::fromUtf8(kHourGlassFrames[FFrame]));
}

}  // namespace brevane
