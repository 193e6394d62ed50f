#include "app/dialogs/listrows.h"

#include <QFileDialog>
#include <QListWidget>

#include "app/main/userinterface.h"

namespace brevane {

void AddUniqueRows(QListWidget* List, const std::vector<std::string>& Names) {
  for (const std::string& name : Names) {
    const QString row = QString::fromStdString(name);
    if (!row.isEmpty() && List->findItems(row, Qt::MatchExactly).isEmpty()) List->addItem(row);
  }
}

std::vector<std::string> ListRows(const QListWidget* List) {
  std::vector<std::string> rows;
  for (int i = 0; i < List->count(); ++i) rows.push_back(List->item(i)->text().toStdString());
  return rows;
}

void RemoveSelectedRows(QListWidget* List) {
  for (QListWidgetItem* item : List->selectedItems()) delete item;
}

std::vector<std::string> ChooseFiles(QWidget* Parent, const QString& Title, const QString& Filter,
                                     const QString& AcceptCaption) {
  QFileDialog d(Parent);
  d.setOption(QFileDialog::DontUseNativeDialog);
  d.setFileMode(QFileDialog::ExistingFiles);
  if (!Title.isEmpty()) d.setWindowTitle(Title);
  if (!Filter.isEmpty()) d.setNameFilter(Filter);
  if (!AcceptCaption.isEmpty()) d.setLabelText(QFileDialog::Accept, AcceptCaption);
  std::vector<std::string> names;
  if (UI().ShowModal(d) != mrOk) return names;
  for (const QString& f : d.selectedFiles()) names.push_back(f.toStdString());
  return names;
}

std::string FolderEntry(std::string Folder) {
  while (!Folder.empty() && Folder.back() == '/') Folder.pop_back();
  return Folder + "/*.*";
}

}  // namespace brevane
