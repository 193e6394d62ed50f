#include "app/main/dialogtrash.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QShortcut>
#include <string>
#include <vector>

#include "app/main/messages.h"
#include "app/main/userinterface.h"
#include "platform/trash.h"

namespace brevane {

void DeleteSelectedToTrash(QFileDialog& Dialog) {
  auto* list = Dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
  if (!list || !list->selectionModel()) return;
  auto* proxy = qobject_cast<QAbstractProxyModel*>(list->model());
  auto* files = qobject_cast<QFileSystemModel*>(proxy ? proxy->sourceModel() : list->model());
  if (!files) return;
  std::vector<std::string> paths;
  for (const QModelIndex& row : list->selectionModel()->selectedRows()) {
    const QModelIndex index = proxy ? proxy->mapToSource(row) : row;
    if (index.isValid()) paths.push_back(QDir::cleanPath(files->filePath(index)).toStdString());
  }
  for (const std::string& path : paths) {
    const std::string name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    if (MessageDlg(msgtext::kConfirmTrashFile + name + msgtext::kConfirmTrashFileEnd, mtConfirmation, mbYesNo) !=
        mrYes)
      return;
    if (!vsk::MoveToTrash(path)) ShowError(msgtext::kTrashFileFailed + name + msgtext::kTrashFileFailedEnd);
  }
}

void RouteDeletesToTrash(QFileDialog& Dialog) {
  Dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // The dialog's own deletion removes a file for good; the program's goes
  // to the trash, as everywhere else in the program.
  const auto trash = [&Dialog] { DeleteSelectedToTrash(Dialog); };
  if (auto* del = Dialog.findChild<QAction*>(QStringLiteral("qt_delete_action"))) {
    QObject::disconnect(del, &QAction::triggered, &Dialog, nullptr);
    QObject::connect(del, &QAction::triggered, &Dialog, trash);
  }
  for (const char* name : {"listView", "treeView"})
    if (auto* view = Dialog.findChild<QAbstractItemView*>(QString::fromLatin1(name)))
      for (QShortcut* s : view->findChildren<QShortcut*>())
        if (s->key() == QKeySequence(QKeySequence::Delete)) {
          QObject::disconnect(s, &QShortcut::activated, &Dialog, nullptr);
          QObject::connect(s, &QShortcut::activated, &Dialog, trash);
        }
}

}  // namespace brevane
