#pragma once
// Shows and edits the archive comment. Saving hands the text to the
// current writer through OnSaveComment (the archive is rewritten after the
// window closed); closing with unsaved changes asks to save them.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
namespace Ui {
class TfmComment;
}

namespace brevane {

class TfmComment : public QDialog {
  Q_OBJECT

 public:
  explicit TfmComment(QWidget* Parent = nullptr);
  ~TfmComment() override;

  // Escape and the window's close box close through buCloseClick too, so
  // unsaved changes are never dropped without asking.
  void reject() override;

  // Comment texts keep "\r\n" line breaks as stored in the archive.
  void SetComment(const std::string& Comment);
  std::string CommentText() const;

  // Receives the comment to write; bound by the opener to the writer. False
  // when the comment was refused (the handler told the user why): the
  // changes stay unsaved.
  std::function<bool(const std::string& Comment)> OnSaveComment;

  void FormActivate();
  void meCommentChange();
  void bbSaveClick();
  void buClearClick();
  void buCloseClick();
  void buHelpClick();

  QLabel* laComment;
  QPlainTextEdit* meComment;
  QPushButton* buClose;
  QPushButton* buClear;
  QPushButton* bbSave;
  QPushButton* buHelp;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  bool WriteComment();

  std::unique_ptr<Ui::TfmComment> ui;
  bool FClosing = false;
};

}  // namespace brevane
