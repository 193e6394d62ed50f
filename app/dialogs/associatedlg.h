#pragma once
// Asked at start-up when archive types are not associated with the program:
// Yes (6) associates them now, No (7) does not; the caller reads
// ckAskAgain ("Never ask me again") after the dialog closed.

#include <QDialog>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
namespace Ui {
class TfmAssociateDlg;
}

namespace brevane {

inline constexpr const char* kAssociatePrompt =
    "Brevane is not currently associated with some archive file types. To take full advantage of Brevane's Windows "
    "Explorer  and shell integration, Brevane must be properly associated with supported archive types.\r\n\r\nDo "
    "you want to associate Brevane with supported archive file types now ?";
inline constexpr const char* kHlpFileAssociations = "Hlp_File_Associations";

class TfmAssociateDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TfmAssociateDlg(QWidget* Parent = nullptr);
  ~TfmAssociateDlg() override;

  void buHelpClick();

  QLabel* laMsg;
  QCheckBox* ckAskAgain;
  QPushButton* buYes;
  QPushButton* buNo;
  QPushButton* buHelp;

 private:
  std::unique_ptr<Ui::TfmAssociateDlg> ui;
};

}  // namespace brevane
