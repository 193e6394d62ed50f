#include "app/dialogs/checkoutdlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>

#include "app/components/opendialog.h"
#include "app/dialogs/dialogsupport.h"
#include "app/main/messages.h"
#include "app/main/userinterface.h"
#include "platform/menugroup.h"
#include "ui_checkoutdlg.h"

namespace brevane {

TfmCheckout::TfmCheckout(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmCheckout>()) {
  ui->setupUi(this);
  edFolder = ui->edFolder;
  edGroupName = ui->edGroupName;
  udMaxIcons = ui->udMaxIcons;
  ckCreateIcons = ui->ckCreateIcons;
  ckVirusScan = ui->ckVirusScan;
  buBrowse = ui->buBrowse;
  buOK = ui->buOK;
  buCancel = ui->buCancel;
  buHelp = ui->buHelp;
  connect(buBrowse, &QPushButton::clicked, this, &TfmCheckout::buBrowseClick);
  connect(buOK, &QPushButton::clicked, this, &TfmCheckout::buOKClick);
  connect(buCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(buHelp, &QPushButton::clicked, this, [] { ShowHelpKeyword("Hlp_Check_Out"); });
}

TfmCheckout::~TfmCheckout() = default;

std::string TfmCheckout::Folder() const { return edFolder->text().toStdString(); }
std::string TfmCheckout::GroupName() const { return edGroupName->text().toStdString(); }

void TfmCheckout::buBrowseClick() {
  QFileDialog d(this, QString::fromUtf8(msgtext::kCheckoutBrowseTitle), QStringLiteral("/"));
  RouteDeletesToTrash(d);
  d.setFileMode(QFileDialog::Directory);
  d.setOption(QFileDialog::ShowDirsOnly);
  if (UI().ShowModal(d) != mrOk || d.selectedFiles().isEmpty()) return;
  QString folder = d.selectedFiles().front();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  edFolder->setText(folder);
  edFolder->setFocus();
}

void TfmCheckout::buOKClick() {
  const std::string folder = Folder(), group = GroupName();
  if (folder.empty() || group.empty() || udMaxIcons->text().isEmpty()) {
    MessageDlg(msgtext::kCheckoutIncomplete, mtWarning, mbOK);
    return;
  }
  // The group is one folder of the menu: a name that would lead elsewhere
  // is refused before anything is deleted.
  if (!vsk::ValidMenuGroupName(group)) {
    MessageDlg(msgtext::kCheckoutBadGroup, mtWarning, mbOK);
    edGroupName->setFocus();
    return;
  }
  // The folder is kept by its full name: the current folder moves with
  // every archive opened, and the check-out is removed much later.
  std::error_code ec;
  std::string full = std::filesystem::absolute(folder, ec).lexically_normal().string();
  if (ec || full.empty()) full = folder;
  std::string inside = std::filesystem::weakly_canonical(full, ec).string();
  while (inside.size() > 1 && inside.back() == '/') inside.pop_back();
  if (!inside.empty() && inside.back() != '/') inside += '/';
  if (!inside.empty() && !ArchiveFile.empty() &&
      std::filesystem::weakly_canonical(ArchiveFile, ec).string().starts_with(inside)) {
    MessageDlg(msgtext::kCheckoutHoldsArchive, mtWarning, mbOK);
    edFolder->setFocus();
    return;
  }
  // An empty folder loses nothing; what a folder holds goes to the Trash
  // only when the user agrees, and Enter answers No.
  const bool folderFull = std::filesystem::is_directory(full, ec) &&
                          std::filesystem::directory_iterator(full, ec) != std::filesystem::directory_iterator();
  const bool groupExists = std::filesystem::exists(vsk::MenuGroups().GroupFolder(group), ec);
  const char* question = folderFull && groupExists ? msgtext::kCheckoutBothExist
                         : folderFull              ? msgtext::kCheckoutFolderExists
                         : groupExists             ? msgtext::kCheckoutGroupExists
                                                   : nullptr;
  if (question && MessageDlgDefault(question, mtWarning, mbYesNo, mbNo) != mrYes) return;
  edFolder->setText(QString::fromStdString(full));
  done(mrOk);
}

}  // namespace brevane
