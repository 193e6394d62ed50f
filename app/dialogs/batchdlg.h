#pragma once
// The batch dialog: one operation (test, virus scan, make .EXE, convert,
// extract, create archives, add to archives) over many files, page by
// page: the files, the operation's options, the run with its progress,
// and the results log. The work on each file is the owner's (OnRunFile).

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/components/progressthrottle.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;
namespace Ui {
class TfmBatch;
}

namespace brevane {

// The operations, by the batch actions' Tag.
enum TBatchOperation : int {
  boTest = 1,
  boVirusScan = 2,
  boMakeSFX = 3,
  boConvert = 4,
  boExtract = 5,
  boCreate = 6,
  boAdd = 7,
};

// The pages of nbMain.
enum TBatchPage : int { bpSelectFiles, bpProgress, bpResult, bpSelectOutputDir, bpSelectArcFmt, bpAddOptions };

// What one file gave: a line for the log and one for the progress list;
// Skipped (the user kept an existing output) gives neither.
struct TBatchLines {
  bool Skipped = false;
  std::string Log;
  std::string Progress;
};

class TfmBatch : public QDialog {
  Q_OBJECT

 public:
  explicit TfmBatch(QWidget* Parent = nullptr);
  ~TfmBatch() override;

  // Fills captions, titles, filters and the page sequence of an operation.
  void SetUp(int Operation);
  int Operation() const { return FOperation; }
  const std::vector<int>& Sequence() const { return FSequence; }
  int CurrentPage() const;

  // Adds names to the file list (or the add list), skipping those listed.
  void AddSelectedFiles(const std::vector<std::string>& Files);
  void AddAddFiles(const std::vector<std::string>& Files);
  std::vector<std::string> SelectedFiles() const;
  std::vector<std::string> AddFiles() const;

  // The chosen output folder with a trailing "/", or "" for the source's.
  std::string OutputFolder() const;
  // The chosen format's position: 0 bh, 1 cab, 2 gz, 3 jar, 4 lha, 5 lzh,
  // 6 tar, 7 zip.
  int FormatIndex() const;
  // Per-file progress of the component at work.
  void SetCurrentProgress(int Percent);
  bool CancelRequested() const { return FCancelRequest; }

  void buNextClick();
  void buCancelClick();
  void buHelpClick();
  void buAddClick();
  void buRemoveClick();
  void buCopyResultsClick();
  void buSaveResultsClick();
  void rbOutputFolderClick();
  // On the file list of the page shown (the add list on the options page).
  void miSelectAllClick();
  void miDeselectAllClick();
  void miInvertSelectionClick();

  // The work on one file.
  std::function<TBatchLines(const std::string& File)> OnRunFile;
  // The product's web address for the log's last line.
  std::string WebAddress;

  QLabel* laTitle;
  QStackedWidget* nbMain;
  QListWidget* lbSelectedFiles;
  QPushButton* buAdd;
  QPushButton* buRemove;
  QLabel* laCurrentFile;
  QProgressBar* pbCurrent;
  QLabel* laCurrentPercent;
  QProgressBar* pbTotal;
  QLabel* laTotalPercent;
  QListWidget* lbProgressCompleted;
  QPlainTextEdit* meResults;
  QPushButton* buCopyResults;
  QPushButton* buSaveResults;
  QRadioButton* rbOutputSame;
  QRadioButton* rbOutputFolder;
  QLineEdit* rxdeOutputFolder;
  QToolButton* buOutputBrowse;
  QRadioButton* rbBh;
  QRadioButton* rbCab;
  QRadioButton* rbGz;
  QRadioButton* rbJar;
  QRadioButton* rbLha;
  QRadioButton* rbLzh;
  QRadioButton* rbTar;
  QRadioButton* rbZip;
  QCheckBox* ckDeleteSource;
  QCheckBox* ckAutoOverwrite;
  QListWidget* lbAddFiles;
  QPushButton* buAddFilesAdd;
  QPushButton* buAddFilesRemove;
  QComboBox* cbAddCompression;
  QCheckBox* ckAddSaveFullPath;
  QCheckBox* ckAddAutoOverwrite;
  QPushButton* buNext;
  QPushButton* buCancel;
  QPushButton* buHelp;

 protected:
  void reject() override;

 private:
  void ShowPage(int Page);
  void Run();
  QListWidget* ActiveList() const;
  std::string FileFilter() const;

  std::unique_ptr<Ui::TfmBatch> ui;
  std::vector<int> FSequence;
  int FStep = 0;
  int FOperation = 0;
  bool FCancelRequest = false;
  bool FRunning = false;
  // The current file's percentage is painted at a steady rate however
  // often the running component reports it.
  TProgressThrottle FPaint;
  std::string FHelpKeyword = "Hlp_Using_Batch";
};

}  // namespace brevane
