#pragma once
// The window shown (not modally) while an archive operation runs. Its
// Cancel sets a flag that the running component's progress handler reads:
// Cancelled(), or CancelFlag() to share it with a run.

#include <QDialog>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
namespace Ui {
class TfmProgress;
}

namespace brevane {

class TfmProgress : public QDialog {
  Q_OBJECT

 public:
  explicit TfmProgress(QWidget* Parent = nullptr);
  ~TfmProgress() override;

  // Escape must not hide the window while the run goes on; it asks as
  // Cancel does.
  void reject() override;

  bool Cancelled() const { return FCancel; }
  const bool* CancelFlag() const { return &FCancel; }
  // The two percentages (0-100) with their texts.
  void SetProgress(int ByFile, int ByArchive);
  bool Animating() const;

  void FormShow();
  void FormActivate();
  void FormClose();
  void buCancelClick();

  QLabel* laCurrentDesc;
  QProgressBar* pbCurrent;
  QLabel* laCurrent;
  QLabel* laTotalDesc;
  QProgressBar* pbTotal;
  QLabel* laTotal;
  QLabel* aiHourGlass;
  QPushButton* buCancel;

 protected:
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;

 private:
  void NextFrame();

  std::unique_ptr<Ui::TfmProgress> ui;
  QTimer* FAnimation;
  int FFrame = 0;
  bool FCancel = false;
};

}  // namespace brevane
